// Boundary kinds of extruded meshes: single-part and multi-piece rules, the
// tolerances of the top plane and the container outline, symmetry planes,
// the four-piece adjustment, and boundary faces against the topological
// boundary of the mesh.

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <set>

#include "test_boundary_fixtures.h"

namespace {

MeshRecord Generate(InpDat& d) {
  MeshRecord m;
  m.kind = 1;
  BuildVolumeMesh(d.setup, d.sections, d.layout, m);
  return m;
}

double TopZ(const Mesh3d& g) {
  double z = -1e30;
  for (int i = 1; i <= g.np; ++i) z = std::max(z, g.xyz(3, i));
  return z;
}

void PrintCounts(const char* name, const Mesh3d& g) {
  std::cout << "[ codes    ] " << name << ":";
  for (const auto& [code, n] : CodeCounts(g)) std::cout << " " << code << "x" << n;
  std::cout << "\n";
}

// Faces of one set missing from the other, for the failure message.
std::string FaceDiff(const std::set<std::pair<int, int>>& a, const std::set<std::pair<int, int>>& b) {
  std::string out;
  for (const auto& f : a)
    if (!b.count(f)) out += " (" + std::to_string(f.first) + "," + std::to_string(f.second) + ")";
  return out;
}

}  // namespace

TEST(ClassifyBoundary, TwoSectionMeshGetsTheKindsTheGeometryImplies) {
  InpDat d = TwoSectionVariant(TwoSection{});
  MeshRecord m = Generate(d);
  ASSERT_EQ(m.g.nh, 455);
  ClassifyBoundary(d.sections, d.layout, m.g);
  PrintCounts("two sections, classified", m.g);
  // Profile (2 x 2 cells, two layers) below Z1: exit plane and lateral
  // surface free (no bearing length); its joint-plane interior stays inside.
  // Container (6 x 6 cells, one layer): die face and orifice edge 9, rim 8,
  // wall 4 on the mid-layer, ram face 7 with 10 on the container outline.
  const std::map<int, int> expected = {{0, 43}, {1, 40}, {64, 2}, {65, 17}, {9, 88}, {73, 24}, {8, 24},
                                       {72, 24}, {4, 24}, {7, 96}, {71, 25}, {10, 24}, {74, 24}};
  EXPECT_EQ(CodeCounts(m.g), expected);

  BoundaryData(m, d, Tables(), false, 2);
  PrintCounts("two sections, final", m.g);
  // The plane codes turn die face and orifice edge at Z1 into kind 7.
  const std::map<int, int> after = {{0, 43}, {1, 40}, {64, 2}, {65, 17}, {7, 184}, {71, 49}, {8, 24},
                                    {72, 24}, {4, 24}, {10, 24}, {74, 24}};
  EXPECT_EQ(CodeCounts(m.g), after);
  // Boundary faces are exactly the faces no two elements share.
  const auto found = FoundFaces(m), topo = TopologicalBoundaryFaces(m.g);
  EXPECT_EQ(found, topo) << "extra:" << FaceDiff(found, topo) << " missing:" << FaceDiff(topo, found);
}

TEST(ClassifyBoundary, BearingZoneBetweenZoneLevelAndDie) {
  InpDat d = TwoSectionVariant(TwoSection{});
  d.layout.ZoneZ(1) = 108.0;
  MeshRecord m = Generate(d);
  ClassifyBoundary(d.sections, d.layout, m.g);
  for (int i = 1; i <= m.g.nh; ++i) {
    const double x = m.g.xyz(1, i), z = m.g.xyz(3, i);
    if (std::fabs(x) > 1e-9 || z > d.layout.Z1 - 1e-6) continue;  // the lateral face x = 0 below the die
    const int kind = KindOfCode(m.g.BoundaryConditions(i));
    EXPECT_EQ(kind, z < 108.0 - 0.001 ? 1 : 9) << "z=" << z;
  }
}

TEST(ClassifyBoundary, TopPlaneAndContainerOutlineTolerances) {
  InpDat d = TwoSectionVariant(TwoSection{});
  MeshRecord m0 = Generate(d);
  const double zc = TopZ(m0.g);
  const int a = FindNode(m0.g, 1.0, 1.0, zc), b = FindNode(m0.g, 0.0, 1.0, zc), c = FindNode(m0.g, 2.0, 1.0, zc);
  ASSERT_TRUE(a > 0 && b > 0 && c > 0);
  // Top-plane nodes 0.0009 and 0.0011 below the top level.
  MeshRecord m = m0;
  m.g.xyz(3, a) -= 0.0009;
  m.g.xyz(3, b) -= 0.0011;
  ClassifyBoundary(d.sections, d.layout, m.g);
  EXPECT_EQ(m.g.BoundaryConditions(a), 71);
  EXPECT_EQ(m.g.BoundaryConditions(b), 68);  // no longer top: inside the container zone, wall

  // Container outline points exactly 0.001 and 0.0011 from two top nodes.
  d.sections.Outlines(3) = Outline{};
  d.sections.Outlines(3).pts.push_back({1.0 + 0.001, 1.0});
  d.sections.Outlines(3).pts.push_back({0.0, 1.0 - 0.0011});
  d.sections.Outlines(3).pts.push_back({2.0 - 0.0006, 1.0 + 0.0008});
  d.sections.Outlines(3).n = 3;
  m = m0;
  ClassifyBoundary(d.sections, d.layout, m.g);
  EXPECT_EQ(m.g.BoundaryConditions(a), 74);
  EXPECT_EQ(m.g.BoundaryConditions(b), 71);
  EXPECT_EQ(m.g.BoundaryConditions(c), 74);
}

TEST(ClassifyBoundaryMulti, PiecesGetTheirBearingsAndTheRamFaceIsHeld) {
  InpDat d = TwoSectionVariant(TwoSection{});
  d.sections.nPiecesB = 3;
  d.sections.Pieces2d.assign(3);
  d.sections.Pieces2d(1) = GridMesh2d(-3, -1, 2, 2, 2, 2);
  d.sections.Pieces2d(2) = GridMesh2d(1, -1, 2, 2, 2, 2);
  d.sections.Pieces2d(3) = GridMesh2d(-4, -4, 8, 8, 8, 8);
  d.sections.PieceOrder(1) = 3;
  d.sections.PieceOrder(2) = 1;
  d.sections.PieceOrder(3) = 2;
  d.setup.PieceLen1 = 2.0;
  d.layout.ZoneZ(1) = d.layout.Z1 - 2.0;
  d.sections.Outlines(1) = RectOutline(-3, -1, -1, 1, 8);
  d.sections.Outlines(2) = RectOutline(1, -1, 3, 1, 8);
  d.sections.Outlines(3) = RectOutline(-4, -4, 4, 4, 32);
  MeshRecord m = Generate(d);
  ClassifyBoundaryMulti(d.sections, d.layout, m.g);
  PrintCounts("two holes, classified", m.g);
  const double zc = TopZ(m.g);
  int checked = 0;
  for (int i = 1; i <= m.g.nh; ++i) {
    const double x = m.g.xyz(1, i), y = m.g.xyz(2, i), z = m.g.xyz(3, i);
    const int kind = KindOfCode(m.g.BoundaryConditions(i));
    if (z > zc - 1e-6) {
      EXPECT_EQ(kind, 10);
    } else if (z < d.layout.Z1 - 1e-6 && std::fabs(y + 1.0) < 1e-9) {  // lateral face y = -1 of both pieces
      const double bearing = x < 0 ? d.layout.ZoneZ(1) : d.layout.Z1;  // piece 2 has no bearing length
      EXPECT_EQ(kind, z + 1e-4 < bearing ? 1 : 9) << "x=" << x << " z=" << z;
      ++checked;
    } else if (z > d.layout.Z1 + 1e-6 && std::fabs(x + 4.0) < 1e-9 && std::fabs(y) < 3.5) {
      EXPECT_EQ(kind, 4);  // container wall
    } else if (std::fabs(z - d.layout.Z1) < 1e-6 && std::fabs(x + 4.0) < 1e-9) {
      EXPECT_EQ(kind, 8);  // corner of die face and wall
    } else if (std::fabs(z - d.layout.Z1) < 1e-6 && std::fabs(y - 2.0) < 1e-9 && std::fabs(x) < 3.5) {
      EXPECT_EQ(kind, 9);  // die face
    }
  }
  EXPECT_GT(checked, 20);
  BoundaryData(m, d, Tables(), true, 3);
  const auto found = FoundFaces(m), topo = TopologicalBoundaryFaces(m.g);
  EXPECT_EQ(found, topo) << "extra:" << FaceDiff(found, topo) << " missing:" << FaceDiff(topo, found);
}

TEST(FourPieceAdjust, NodesAlongTheFourthOutlineBetweenTheLevelsTouchTheDie) {
  InpDat d = TwoSectionVariant(TwoSection{});
  d.layout.Z2 = 290;
  d.setup.LenA = 180;
  d.setup.MeshLevel3d = 5;
  d.layout.ZoneZ(1) = 108;
  d.sections.Outlines(4) = Outline{};
  for (int k = 0; k <= 24; ++k) d.sections.Outlines(4).pts.push_back({-2.0 + 0.25 * k, -2.0});  // the wall y = -2
  d.sections.Outlines(4).n = d.sections.Outlines(4).pts.size();
  MeshRecord m = Generate(d);
  ClassifyBoundary(d.sections, d.layout, m.g);
  const Vec1<int32_t> before = m.g.BoundaryConditions;
  FourPieceAdjust(d.sections, d.layout, d.model, m.g);
  const double zt = 0.4 * (d.layout.Z2 + d.layout.Z1), zb = d.layout.ZoneZ(1) - 1e-5;
  int changed = 0;
  for (int i = 1; i <= m.g.nh; ++i) {
    const int old = before(i), kind = KindOfCode(old);
    const double z = m.g.xyz(3, i);
    const bool onWall = std::fabs(m.g.xyz(2, i) + 2.0) < 1e-9;
    const bool hit = onWall && z >= zb && z <= zt + 1e-5 && (kind == 1 || kind == 4 || kind == 7 || kind == 9);
    const int expect = hit ? (i <= m.g.np ? 73 : 9) : old;
    EXPECT_EQ(m.g.BoundaryConditions(i), expect) << "node " << i << " z=" << z;
    changed += m.g.BoundaryConditions(i) != old;
  }
  EXPECT_GT(changed, 10);
  // An outline of 500 points is left alone.
  d.sections.Outlines(4).n = 500;
  d.sections.Outlines(4).pts.resize(500, Point2{-2.0, -2.0});
  m.g.BoundaryConditions = before;
  FourPieceAdjust(d.sections, d.layout, d.model, m.g);
  EXPECT_EQ(m.g.BoundaryConditions.v, before.v);
}

TEST(SymmetryPlanes, HalfModelPlanesAndFullModelRims) {
  TwoSection s;
  s.px0 = 0;
  s.py0 = 0;
  s.cx0 = 0;
  s.cy0 = -2;
  s.cw = 4;
  s.ch = 6;  // symmetric about x = 0 only
  InpDat d = TwoSectionVariant(s);
  MeshRecord m = Generate(d);
  ClassifyBoundary(d.sections, d.layout, m.g);
  MeshRecord before = m;
  SymmetryPlanes(d.sections, d.layout, m.g);
  PrintCounts("half model", m.g);
  int wall = 0, rim = 0;
  for (int i = 1; i <= m.g.nh; ++i) {
    const double x = m.g.xyz(1, i), y = m.g.xyz(2, i), z = m.g.xyz(3, i);
    const int old = KindOfCode(before.g.BoundaryConditions(i));
    const int kind = KindOfCode(m.g.BoundaryConditions(i));
    // The plane x = 0 takes the nodes with 0.01 <= y < ymax - 0.01.
    const bool inside = y >= 0.01 && y < 4 - 0.01;
    if (old == 4 && x < 1e-9 && inside) {
      EXPECT_EQ(kind, 5);
      ++wall;
    } else if (old == 8 && x < 1e-9 && inside && std::fabs(z - d.layout.Z1) < 1e-9) {
      EXPECT_EQ(kind, 3);
      ++rim;
    } else {
      EXPECT_EQ(kind, old) << x << " " << y << " " << z;
    }
    EXPECT_EQ(m.g.BoundaryConditions(i) >= 64, i <= m.g.np);
  }
  EXPECT_EQ(wall, 3);  // the mid-layer nodes above y = 1, 2, 3
  EXPECT_EQ(rim, 3);  // y = 2.5, 3, 3.5: the rim between the orifice edge and the far wall

  // A full model has no symmetry plane: its rim nodes at y <= 0.01 stay 8.
  InpDat full = TwoSectionVariant(TwoSection{});
  MeshRecord f = Generate(full);
  ClassifyBoundary(full.sections, full.layout, f.g);
  const auto counts = CodeCounts(f.g);
  SymmetryPlanes(full.sections, full.layout, f.g);
  EXPECT_EQ(CodeCounts(f.g), counts);
}
