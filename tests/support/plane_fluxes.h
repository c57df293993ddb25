#pragma once
// Axial volume flux through the corner levels of an extruded wedge mesh.

#include <cmath>
#include <cstdlib>
#include <map>

#include "core/records.h"
#include "fem/elements.h"
#include "solver/flow_element.h"

struct LevelFlux {
  double flux = 0.0;  // integral of vz over the level, mm^3/s
  double area = 0.0;  // area of the level, mm^2
};

// For every level z of the mesh (z rounded to 1e-4 mm): the integral of vz
// over the triangular faces of the wedges at that level, with the
// triangle's rule on the isoparametric 6-node triangle (corners and
// mid-edge nodes 1, 2, 3, 7, 8, 9 of one triangular face, 4, 5, 6, 13, 14,
// 15 of the other), and the level's area.  Each level is integrated over
// the first faces found there (those of nodes 1..3 unless the level has
// none, as at an end of the mesh), so no face is counted twice.
inline std::map<double, LevelFlux> PlaneFluxes(const MeshRecord& m, const ElementTables& tab) {
  const ElemType& t = tab.Tri6;
  std::map<double, LevelFlux> first, second;
  const int faces[2][6] = {{1, 2, 3, 7, 8, 9}, {4, 5, 6, 13, 14, 15}};
  for (int e = 1; e <= m.g.ne; ++e)
    for (int f = 0; f < 2; ++f) {
      int nd[6];
      for (int a = 0; a < 6; ++a) nd[a] = std::abs(m.g.nop(faces[f][a], e));
      const double z = std::round(m.g.xyz(3, nd[0]) * 1e4) / 1e4;
      LevelFlux& L = (f == 0 ? first : second)[z];
      for (int p = 1; p <= t.ngp; ++p) {
        double xa = 0, xb = 0, ya = 0, yb = 0, vz = 0;
        for (int a = 1; a <= 6; ++a) {
          xa += t.dN1(a, p) * m.g.xyz(1, nd[a - 1]);
          xb += t.dN2(a, p) * m.g.xyz(1, nd[a - 1]);
          ya += t.dN1(a, p) * m.g.xyz(2, nd[a - 1]);
          yb += t.dN2(a, p) * m.g.xyz(2, nd[a - 1]);
          vz += t.N(a, p) * m.fld(kFldVz, nd[a - 1]);
        }
        const double dA = t.w(p) * std::abs(xa * yb - xb * ya);
        L.flux += vz * dA;
        L.area += dA;
      }
    }
  for (const auto& [z, L] : second)
    if (!first.count(z)) first[z] = L;
  return first;
}

// Axial volume flux averaged over every element layer of an extruded wedge
// mesh: the integral of vz over the layer's volume divided by its height,
// keyed by the layer's lower plane z in micrometres.
inline std::map<long, double> LayerMeanFluxes(const ElementTables& tab, const MeshRecord& m) {
  std::map<long, double> flux;
  const ElemType& et = tab.Wedge15;
  const Mesh3d& g = m.g;
  for (int k = 1; k <= g.ne; ++k) {
    FlowElementData d;
    GatherFlowElement(m, k, d);
    const double z1 = g.xyz(3, std::abs(g.nop(1, k))), z4 = g.xyz(3, std::abs(g.nop(4, k)));
    double grad[15][3], s = 0.0;
    for (int p = 1; p <= et.ngp; ++p) {
      const double det = PointGradients(et, p, d, grad);
      double vz = 0.0;
      for (int a = 0; a < d.nen; ++a) vz += et.N(a + 1, p) * d.v[a][2];
      s += et.w(p) * std::fabs(det) * vz;
    }
    flux[std::lround(std::min(z1, z4) * 1000.0)] += s / std::fabs(z4 - z1);
  }
  return flux;
}
