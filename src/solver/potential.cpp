#include "solver/potential.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "core/fatal.h"
#include "solver/sol_def.h"

namespace {

// Held value of a node flag: 0 on flags 1 and 65, 1 on flags 2 and 66; false
// for a free node.
bool HeldValue(int flag, double& value) {
  if (flag == 1 || flag == 65) {
    value = 0.0;
    return true;
  }
  if (flag == 2 || flag == 66) {
    value = 1.0;
    return true;
  }
  return false;
}

// Element routine of the potential problem: one unknown per node, the
// unknown number being the node number.
struct PotentialElements {
  Mesh2d& m;             // the cross-section mesh (connectivity signed by the solver)
  const ElemType& tri;   // Tri6 with its 7-point area rule
  double source = 0.0;   // source coefficient c of -lap(p) = c
  int meshIndex = 0;     // number of the mesh in Pieces2d, for messages

  int Unknowns(int k, int32_t* lm) {
    for (int a = 1; a <= 6; ++a) lm[a - 1] = m.nop(a, k);
    return 6;
  }

  // Element matrix  est(a, b) = int grad N_a . grad N_b dA  and load
  // r(a) = int c N_a dA, then the held values eliminated symmetrically.
  int System(int k, int32_t* lm, double* est, int ld, double* r) {
    Unknowns(k, lm);
    double x[6], y[6];
    for (int a = 0; a < 6; ++a) {
      const Point2& p = m.xy(std::abs(lm[a]));
      x[a] = p[0];
      y[a] = p[1];
    }
    for (int g = 1; g <= tri.ngp; ++g) {
      double j11 = 0, j12 = 0, j21 = 0, j22 = 0;  // d(x, y)/d(xi), d(x, y)/d(eta)
      for (int a = 0; a < 6; ++a) {
        j11 += tri.dN1(a + 1, g) * x[a];
        j12 += tri.dN1(a + 1, g) * y[a];
        j21 += tri.dN2(a + 1, g) * x[a];
        j22 += tri.dN2(a + 1, g) * y[a];
      }
      const double det = j11 * j22 - j12 * j21;
      if (!(std::fabs(det) > 1e-300))
        Fatal("SolvePotential: element " + std::to_string(k) + " of cross-section mesh " +
              std::to_string(meshIndex) + " has a zero Jacobian at point " + std::to_string(g));
      const double F = std::fabs(det) * tri.w(g);
      double nx[6], ny[6];
      for (int a = 0; a < 6; ++a) {
        const double d1 = tri.dN1(a + 1, g), d2 = tri.dN2(a + 1, g);
        nx[a] = (j22 * d1 - j12 * d2) / det;
        ny[a] = (-j21 * d1 + j11 * d2) / det;
      }
      for (int b = 0; b < 6; ++b)
        for (int a = 0; a < 6; ++a) est[b * ld + a] += F * (nx[a] * nx[b] + ny[a] * ny[b]);
      if (source != 0.0)
        for (int a = 0; a < 6; ++a) r[a] += F * source * tri.N(a + 1, g);
    }
    // Held nodes: the row keeps its diagonal only with r = diagonal x value;
    // the column moves to the right-hand side.  Every element around the
    // node does the same, so the assembled row reads (sum of diagonals) p =
    // (sum of diagonals) value.
    for (int kk = 0; kk < 6; ++kk) {
      double w = 0.0;
      if (!HeldValue(m.flag(std::abs(lm[kk])), w)) continue;
      for (int j = 0; j < 6; ++j)
        if (j != kk) est[j * ld + kk] = 0.0;
      r[kk] = est[kk * ld + kk] * w;
      for (int i = 0; i < 6; ++i) {
        if (i == kk) continue;
        r[i] -= est[kk * ld + i] * w;
        est[kk * ld + i] = 0.0;
      }
    }
    return 6;
  }
};

}  // namespace

int PotentialMeshIndex(const SectionSet& sections) {
  return sections.nPiecesB > 2 ? sections.nPiecesB : sections.nPiecesA;
}

FrontPlanStats SolvePotential(const ElementTables& tab, InpDat& inp_dat) {
  const int h = PotentialMeshIndex(inp_dat.sections);
  Require(h >= 1 && h <= inp_dat.sections.Pieces2d.size(),
          "SolvePotential: cross-section mesh " + std::to_string(h) + " is missing (the variant holds " +
              std::to_string(inp_dat.sections.Pieces2d.size()) + ")");
  Mesh2d& m = inp_dat.sections.Pieces2d(h);
  Require(m.nop.rows >= 6 && m.nop.cols >= m.ne && m.xy.size() >= m.nh && m.flag.size() >= m.nh,
          "SolvePotential: cross-section mesh " + std::to_string(h) + " is incomplete");
  m.Pot.assign(static_cast<std::size_t>(m.nh), 0.0);

  // Without a held node Laplace's equation fixes p only up to a constant;
  // with zero data that constant is taken as 0.  A source without held
  // nodes has no steady solution at all.
  bool held = false;
  for (int i = 1; i <= m.nh && !held; ++i) {
    double w = 0.0;
    held = HeldValue(m.flag(i), w);
  }
  if (!held) {
    Require(inp_dat.model.PotSource == 0.0,
            "SolvePotential: cross-section mesh " + std::to_string(h) + " has a source but no node with a held value");
    RestoreConnectivity(m.nop, 6, m.ne);
    return {};
  }

  PotentialElements elem{m, tab.Tri6, inp_dat.model.PotSource, h};
  Vec1<double> r1;
  const FrontPlanStats plan = FrontalSolve(
      SolveMode::Potential, m.nop, 6, m.ne, m.nh, m.nh, 6, elem, SolveOptionsOf(inp_dat.solve),
      SparseStatsFor(SolveMode::Potential, inp_dat.results), r1);
  for (int i = 1; i <= m.nh; ++i) m.Pot(i) = r1(i);
  return plan;
}
