#pragma once
// Test support: the viscous block, the friction drag and the exit-surface
// resistance of one flow element, each probed by its quadratic form.

#include <cstddef>
#include <vector>

#include "solver/flow_element.h"
#include "solver/friction.h"
#include "support/element_tables.h"

struct ToolTerms {
  std::vector<double> kv, kf, ke;  // element matrices (51 x 51, column-major): viscous, friction, exit resistance
  double stiff = 0;                // mean viscous diagonal of the velocity block
  double qv = 0, qf = 0, qe = 0;   // u^T K u of kv, kf, ke over the 45 velocity unknowns
};

// Element k of `mesh` with the tool terms in orientation `orient` (-1 on
// left-handed elements), probed with the velocity vector u(i), i = 0..44.
template <class Probe>
inline ToolTerms ElementToolTerms(const MeshRecord& mesh, const InpDat& inp, int k, double orient, Probe u) {
  constexpr int ld = 51, nu = 45;
  ToolTerms t;
  t.kv.assign(ld * ld, 0.0);
  t.kf.assign(ld * ld, 0.0);
  t.ke.assign(ld * ld, 0.0);
  FlowElementMatrix(Tables(), mesh, inp.setup, k, t.kv.data(), ld);
  FrictionDrag(Tables(), mesh, inp.setup, inp.model, inp.results, k, orient, 0.0, t.kf.data(), ld, nullptr);
  t.stiff = ViscousDiagonal(t.kv.data(), ld, 15);
  ExitResistance(mesh, k, orient, t.stiff, t.ke.data(), ld);
  std::vector<double> v(nu);
  for (int i = 0; i < nu; ++i) v[static_cast<std::size_t>(i)] = u(i);
  auto quad = [&](const std::vector<double>& K) {
    double s = 0;
    for (int i = 0; i < nu; ++i)
      for (int j = 0; j < nu; ++j)
        s += v[static_cast<std::size_t>(i)] * K[static_cast<std::size_t>(j) * ld + static_cast<std::size_t>(i)] *
             v[static_cast<std::size_t>(j)];
    return s;
  };
  t.qv = quad(t.kv);
  t.qf = quad(t.kf);
  t.qe = quad(t.ke);
  return t;
}
