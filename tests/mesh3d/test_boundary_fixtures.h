#pragma once
// Fixtures of the boundary-data tests: element tables, single elements,
// outlines and variants of extruded rectangular sections.

#include <array>
#include <cmath>
#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "fem/elements.h"
#include "mesh3d/boundary.h"
#include "mesh3d/gen_gr3d.h"
#include "support/grid_mesh2d.h"
#include "support/element_tables.h"

// Closed outline through the corners of a rectangle, `per` points per side.
inline Outline RectOutline(double x0, double y0, double x1, double y1, int per) {
  Outline o;
  const double cx[4] = {x0, x1, x1, x0}, cy[4] = {y0, y0, y1, y1};
  for (int s = 0; s < 4; ++s)
    for (int k = 0; k < per; ++k) {
      const double t = static_cast<double>(k) / per;
      o.pts.push_back({cx[s] + t * (cx[(s + 1) % 4] - cx[s]), cy[s] + t * (cy[(s + 1) % 4] - cy[s])});
    }
  o.n = o.pts.size();
  o.nSeg = o.n / 2;
  return o;
}

// One element mesh: the nodes are numbered as the local nodes, corners first.
inline Mesh3d SingleElement(const std::vector<Vec3>& x, bool wedge) {
  Mesh3d g;
  const int nn = wedge ? 15 : 10;
  g.ne = 1;
  g.nh = nn;
  g.npe = 15;
  g.np = wedge ? 6 : 4;
  g.nve = g.np;
  g.xyz.assign(3, nn);
  g.nop.assign(15, 1, 0);
  for (int k = 1; k <= nn; ++k) {
    g.nop(k, 1) = k;
    for (int j = 0; j < 3; ++j) g.xyz(j + 1, k) = x[static_cast<std::size_t>(k - 1)][static_cast<std::size_t>(j)];
  }
  g.etype.assign(1, wedge ? -1 : 0);
  g.EndPlane.assign(static_cast<std::size_t>(nn), 0);
  g.BoundaryConditions.assign(static_cast<std::size_t>(nn), 0);
  for (int k = 1; k <= nn; ++k) g.BoundaryConditions(k) = k <= g.np ? 65 : 1;
  return g;
}

// Mid-side nodes placed on the chords of the corners (straight edges).
inline void StraightMidNodes(std::vector<Vec3>& x, bool wedge) {
  const int nm = wedge ? 9 : 6;
  for (int k = 0; k < nm; ++k) {
    const int* e = wedge ? kWedgeEdge[k] : kTetEdge[k];
    for (int j = 0; j < 3; ++j)
      x[static_cast<std::size_t>((wedge ? 6 : 4) + k)][static_cast<std::size_t>(j)] =
          0.5 * (x[static_cast<std::size_t>(e[0] - 1)][static_cast<std::size_t>(j)] +
                 x[static_cast<std::size_t>(e[1] - 1)][static_cast<std::size_t>(j)]);
  }
}

// A two-section variant: profile [px0, px0 + pw] x [py0, py0 + ph] below Z1
// and container [cx0, cx0 + cw] x [cy0, cy0 + ch] above it, grid spacing h.
struct TwoSection {
  double px0 = 0, py0 = 0, pw = 2, ph = 2;
  double cx0 = -2, cy0 = -2, cw = 6, ch = 6;
  double h = 1.0;
};

inline InpDat TwoSectionVariant(const TwoSection& s) {
  InpDat d;
  d.layout.Z0 = 100;
  d.layout.Z1 = 110;
  d.layout.Z2 = 140;
  d.setup.LenA = 30;
  d.setup.MeshLevel3d = 1;
  d.sections.nPiecesA = 2;
  d.setup.RamSpeed = 5.0;
  d.setup.BilletTemp = 450.0;
  d.setup.ToolTemp = 400.0;
  d.setup.BcFactor(1) = 0.8;
  d.setup.BcFactor(2) = 0.3;
  d.setup.BcFactor(3) = 0.5;
  d.iter.ViscMax = 1.0;
  d.iter.ViscMin = 1.0;
  d.sections.Pieces2d.assign(2);
  d.sections.Pieces2d(1) = GridMesh2d(s.px0, s.py0, s.pw, s.ph, static_cast<int>(std::lround(s.pw / s.h)),
                             static_cast<int>(std::lround(s.ph / s.h)));
  d.sections.Pieces2d(2) = GridMesh2d(s.cx0, s.cy0, s.cw, s.ch, static_cast<int>(std::lround(s.cw / s.h)),
                             static_cast<int>(std::lround(s.ch / s.h)));
  d.sections.Area2d(1) = s.pw * s.ph;
  d.sections.Area2d(2) = s.cw * s.ch;
  d.sections.Outlines.assign(5);
  d.sections.Outlines(1) = RectOutline(s.px0, s.py0, s.px0 + s.pw, s.py0 + s.ph, 8);
  d.sections.Outlines(3) = RectOutline(s.cx0, s.cy0, s.cx0 + s.cw, s.cy0 + s.ch, 4 * static_cast<int>(std::lround(s.cw / s.h)));
  return d;
}

// The example's flow stress law: law 2, C0 = 160 MPa, table -0.0035, 0.02,
// 0.12, up to 600 deg C.
inline void SetExampleMaterial(Material& mat) {
  mat.MatLaw = 2;
  mat.MatC0 = 160.0;
  mat.LawTable(1) = -0.0035;
  mat.LawTable(2) = 0.02;
  mat.LawTable(3) = 0.12;
  mat.MatTmax = 600.0;
}

// Number of nodes per code.
inline std::map<int, int> CodeCounts(const Mesh3d& g) {
  std::map<int, int> c;
  for (int i = 1; i <= g.nh; ++i) ++c[g.BoundaryConditions(i)];
  return c;
}

// Node at (x, y, z) within 1e-6, or 0.
inline int FindNode(const Mesh3d& g, double x, double y, double z) {
  for (int i = 1; i <= g.nh; ++i)
    if (std::fabs(g.xyz(1, i) - x) < 1e-6 && std::fabs(g.xyz(2, i) - y) < 1e-6 && std::fabs(g.xyz(3, i) - z) < 1e-6)
      return i;
  return 0;
}

// Wedge faces (element, local face) that no other element shares, from the
// sorted corner numbers of every face.
inline std::set<std::pair<int, int>> TopologicalBoundaryFaces(const Mesh3d& g) {
  std::map<std::vector<int>, std::vector<std::pair<int, int>>> byKey;
  for (int e = 1; e <= g.ne; ++e)
    for (int f = 1; f <= 5; ++f) {
      std::vector<int> key;
      for (int k = 0; k < (f <= 2 ? 3 : 4); ++k) key.push_back(g.nop(kWedgeFaceNodes[f - 1][k], e));
      std::sort(key.begin(), key.end());
      byKey[key].push_back({e, f});
    }
  std::set<std::pair<int, int>> out;
  for (const auto& [key, uses] : byKey)
    if (uses.size() == 1) out.insert(uses.front());
  return out;
}

inline std::set<std::pair<int, int>> FoundFaces(const MeshRecord& m) {
  std::set<std::pair<int, int>> out;
  for (const BndFace& bf : m.faces) out.insert({bf.elem, bf.local});
  return out;
}
