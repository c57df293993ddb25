#include "post/jacob_contr.h"

#include "mesh2d/measures.h"

#include <cassert>
#include <cmath>
#include <cstdlib>

double ElementVolume(const ElemType& et, const double xyz[][3]) {
  double v = 0.0;
  for (int ip = 1; ip <= et.ngp; ++ip) v += et.w(ip) * JacobianDet(et, ip, xyz);
  return std::abs(v);
}

void Jacob_contr(const MeshRecord& nodes, const ElemType& Wedge15, const ElemType& Tet10,
                 const SectionSet& sections, const AxialLayout& layout, VariantResults& results) {
  const Mesh3d& g = nodes.g;
  double xyz[kWedgeNodes][3];
  double Vmesh = 0.0;
  for (int e = 1; e <= g.ne; ++e) {
    const ElemType& et = IsWedge(g, e) ? Wedge15 : Tet10;
    assert(et.nn <= kWedgeNodes && et.nn <= g.nop.rows);
    for (int a = 1; a <= et.nn; ++a) {
      const int node = std::abs(g.nop(a, e));
      assert(node >= 1 && node <= g.nh);
      for (int i = 1; i <= 3; ++i) xyz[a - 1][i - 1] = g.xyz(i, node);
    }
    Vmesh += ElementVolume(et, xyz);
  }
  double Vref = (layout.Z1 - layout.Z0) * sections.Area2d(1) +
                (layout.Z2 - layout.Z1) * sections.Area2d(2) +
                (layout.Z3 - layout.Z2) * sections.Area2d(3);
  // Multi-outline layout: the single outlines 1..J-1 run from Z0 to Z1
  // side by side and the merged region J from Z1 to Z2, so the profile zone
  // holds the sum of the outline areas rather than the area of mesh 1.
  const int J = sections.nPiecesB;
  if (J >= 3 && sections.Pieces2d.size() >= J)
    Vref = (layout.Z1 - layout.Z0) * ProfileArea(sections, sections.Area2d(1)) +
           (layout.Z2 - layout.Z1) * sections.Pieces2d(J).area;
  results.dV = (Vmesh - Vref) / Vref;
}
