// Profile distortion on prescribed velocity fields: purely axial flow, a
// rigid rotation about the axis and a uniform lateral drift give the known
// shift and twist; columns longer than 20 nodes; the layouts that compute
// nothing; unmatched exit nodes.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "output/extruded_mesh.h"
#include "post/int_main.h"
#include "support/grid_mesh2d.h"

namespace {

constexpr double kPiF = 3.141592502593994;

Section6 ToSection(const Mesh2d& m) {
  Section6 s;
  s.nv = m.np;
  for (int i = 1; i <= m.nh; ++i) s.xy.push_back({m.xy(i)[0], m.xy(i)[1]});
  for (int e = 1; e <= m.ne; ++e)
    s.tri.push_back({m.nop(1, e), m.nop(2, e), m.nop(3, e), m.nop(4, e), m.nop(5, e), m.nop(6, e)});
  return s;
}

// Flow mesh of a straight profile `piece` from the exit plane z = 100 to the
// die level zDie (free surface, kind 1), one layer of rim nodes at zDie
// (kind 8) and one layer above it of top nodes (kind 7).
struct Case {
  InpDat inp;
  MeshRecord nodes;
  Mat1<double> xyz0;  // coordinates before the distortion
};

Case MakeCase(const Mesh2d& piece, const std::vector<double>& z, double zDie) {
  Case c;
  c.inp.sections.Pieces2d.push_back(piece);
  c.inp.sections.nPiecesA = 1;
  ExtrudeSection(ToSection(piece), z, c.nodes);
  Mesh3d& g = c.nodes.g;
  for (int i = 1; i <= g.nh; ++i) {
    const double zz = g.xyz(3, i);
    const int kind = zz < zDie - 0.01 ? 1 : (zz < zDie + 0.01 ? 8 : 7);
    g.BoundaryConditions(i) = (i <= g.np ? 64 : 0) + kind;
  }
  c.xyz0 = g.xyz;
  return c;
}

void SetVelocity(Case& c, const std::function<std::array<double, 3>(double, double, double)>& v) {
  for (int i = 1; i <= c.nodes.g.nh; ++i) {
    const auto w = v(c.nodes.g.xyz(1, i), c.nodes.g.xyz(2, i), c.nodes.g.xyz(3, i));
    for (int k = 0; k < 3; ++k) c.nodes.fld(kFldVx + k, i) = static_cast<float>(w[k]);
  }
}

// Square profile 10 x 10 mm centred on the axis (node at the centre).
Mesh2d Square() { return GridMesh2d(-5, -5, 10, 10, 2, 2); }

// Levels 100, 110, 120 (free profile), 130 (die) and 140 (top): the
// columns start at the lowest top-plane level above the free surface, the
// mid-layer 135, and the free profile length is 30.
const std::vector<double> kLevels = {100, 110, 120, 130, 140};
constexpr double kColumnTop = 135.0;
constexpr double kLength = 30.0;

}  // namespace

TEST(IntMain, AxialFlowKeepsTheCrossSectionAndGivesNoShiftOrTwist) {
  Case c = MakeCase(Square(), kLevels, 130.0);
  SetVelocity(c, [](double, double, double z) { return std::array<double, 3>{0, 0, -(5.0 + 0.2 * (z - 100))}; });
  Int_main(c.inp.sections, c.inp.layout, c.inp.results, c.nodes);
  EXPECT_DOUBLE_EQ(c.inp.layout.Z0, 100.0);
  EXPECT_DOUBLE_EQ(c.inp.layout.Z1, 130.0);
  EXPECT_DOUBLE_EQ(c.inp.results.IntRes(1), 0.0);
  EXPECT_DOUBLE_EQ(c.inp.results.IntRes(2), 0.0);
  bool zMoved = false;
  for (int i = 1; i <= c.nodes.g.nh; ++i) {
    EXPECT_DOUBLE_EQ(c.nodes.g.xyz(1, i), c.xyz0(1, i)) << i;
    EXPECT_DOUBLE_EQ(c.nodes.g.xyz(2, i), c.xyz0(2, i)) << i;
    EXPECT_LE(c.nodes.g.xyz(3, i), c.xyz0(3, i) + 1e-12) << i;
    zMoved = zMoved || c.nodes.g.xyz(3, i) < c.xyz0(3, i) - 1e-6;
  }
  // Faster material nearer the die lowers the nodes below it.
  EXPECT_TRUE(zMoved);
}

TEST(IntMain, RigidRotationGivesTheTwistOfTheTransitTime) {
  Case c = MakeCase(Square(), kLevels, 130.0);
  const double w = 0.02, V = 10.0;
  SetVelocity(c, [&](double x, double y, double) { return std::array<double, 3>{-w * y, w * x, -V}; });
  Int_main(c.inp.sections, c.inp.layout, c.inp.results, c.nodes);
  // Column transit time at the largest speed (the profile corners).
  const double vmax = std::sqrt(V * V + w * w * 50.0);
  const double T = (kColumnTop - 100.0) / vmax;
  EXPECT_NEAR(c.inp.results.IntRes(1), 0.0, 1e-9);  // the centre stays on the axis
  EXPECT_NEAR(c.inp.results.IntRes(2), std::atan(w * T) / kLength * 180000.0 / kPiF, 1e-4);
  EXPECT_GT(c.inp.results.IntRes(2), 0.0);  // counter-clockwise seen from the ram side (from +z)
  // Every exit node is turned by the same angle about the axis.
  for (int i = 1; i <= c.nodes.g.nh; ++i) {
    if (std::abs(c.xyz0(3, i) - 100.0) > 1e-9) continue;
    const double x0 = c.xyz0(1, i), y0 = c.xyz0(2, i);
    EXPECT_NEAR(c.nodes.g.xyz(1, i), x0 - w * y0 * T, 1e-6);
    EXPECT_NEAR(c.nodes.g.xyz(2, i), y0 + w * x0 * T, 1e-6);
  }
}

TEST(IntMain, LateralDriftGivesTheShiftAndNoTwist) {
  Case c = MakeCase(Square(), kLevels, 130.0);
  const double u = 0.5, V = 10.0;
  SetVelocity(c, [&](double, double, double) { return std::array<double, 3>{u, 0, -V}; });
  Int_main(c.inp.sections, c.inp.layout, c.inp.results, c.nodes);
  const double T = (kColumnTop - 100.0) / std::hypot(u, V);
  EXPECT_NEAR(c.inp.results.IntRes(1), u * T * 1000.0 / kLength, 1e-6);
  EXPECT_NEAR(c.inp.results.IntRes(2), 0.0, 1e-9);
}

TEST(IntMain, ColumnsLongerThanTwentyNodesAreDisplacedWhole) {
  // 30 layers of 1 mm: 61 nodes per column.
  std::vector<double> z;
  for (int k = 0; k <= 31; ++k) z.push_back(100.0 + k);
  Case c = MakeCase(GridMesh2d(-2, -2, 4, 4, 1, 1), z, 130.0);
  const double u = 0.3, V = 10.0;
  SetVelocity(c, [&](double, double, double) { return std::array<double, 3>{u, 0, -V}; });
  Int_main(c.inp.sections, c.inp.layout, c.inp.results, c.nodes);
  const double vmax = std::hypot(u, V);
  const double top = 130.5;  // mid-layer above the die level
  int checked = 0;
  for (int i = 1; i <= c.nodes.g.nh; ++i) {
    if (c.xyz0(3, i) > 129.0 + 1e-9) continue;
    EXPECT_NEAR(c.nodes.g.xyz(1, i) - c.xyz0(1, i), u * (top - c.xyz0(3, i)) / vmax, 1e-6) << i;
    EXPECT_DOUBLE_EQ(c.nodes.g.xyz(2, i), c.xyz0(2, i));
    ++checked;
  }
  EXPECT_EQ(checked, 30 * 9 + 29 * 4);  // 9 nodes per level 100..129, 4 per mid-layer between
}

TEST(IntMain, SinglePieceOfTheMultiOutlineLayoutComputesNothing) {
  Case c = MakeCase(Square(), kLevels, 130.0);
  c.inp.sections.nPiecesB = 1;
  c.inp.layout.Z0 = c.inp.layout.Z1 = -1.0;
  for (int k = 1; k <= 8; ++k) c.inp.results.IntRes(k) = 7.0 + k;
  SetVelocity(c, [](double x, double y, double) { return std::array<double, 3>{-y, x, -10}; });
  Int_main(c.inp.sections, c.inp.layout, c.inp.results, c.nodes);
  EXPECT_DOUBLE_EQ(c.inp.layout.Z0, 100.0);
  EXPECT_DOUBLE_EQ(c.inp.layout.Z1, 130.0);
  for (int k = 1; k <= 8; ++k) EXPECT_DOUBLE_EQ(c.inp.results.IntRes(k), 7.0 + k);
  for (int i = 1; i <= c.nodes.g.nh; ++i)
    for (int k = 1; k <= 3; ++k) EXPECT_DOUBLE_EQ(c.nodes.g.xyz(k, i), c.xyz0(k, i));
}

TEST(IntMain, MultiOutlineLayoutTreatsEveryPieceButTheMergedRegion) {
  // Two profile pieces side by side and a third mesh (the region around
  // them) that is not traced; the flow drifts the left piece only.
  Mesh2d left = GridMesh2d(-12, -2, 4, 4, 1, 1), right = GridMesh2d(8, -2, 4, 4, 1, 1);
  Case c = MakeCase(left, kLevels, 130.0);
  c.inp.sections.Pieces2d.push_back(right);
  c.inp.sections.Pieces2d.push_back(GridMesh2d(-20, -20, 40, 40, 1, 1));
  c.inp.sections.nPiecesB = 3;
  SetVelocity(c, [](double, double, double) { return std::array<double, 3>{0.5, 0, -10}; });
  testing::internal::CaptureStdout();
  Int_main(c.inp.sections, c.inp.layout, c.inp.results, c.nodes);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_GT(c.inp.results.IntRes(1), 0.0);
  EXPECT_NEAR(c.inp.results.IntRes(2), 0.0, 1e-9);
  // The right piece has no exit nodes in this mesh: one line per node.
  std::size_t lines = 0;
  for (std::size_t p = out.find(" error in sub END_PROF\n"); p != std::string::npos;
       p = out.find(" error in sub END_PROF\n", p + 1))
    ++lines;
  EXPECT_EQ(lines, static_cast<std::size_t>(right.nh));
  EXPECT_TRUE(std::isnan(c.inp.results.IntRes(3)));
  EXPECT_TRUE(std::isnan(c.inp.results.IntRes(4)));
}

TEST(IntMain, RecentreMidNodesRestoresStraightEdges) {
  Case c = MakeCase(Square(), kLevels, 130.0);
  Mesh3d& g = c.nodes.g;
  for (int i = g.np + 1; i <= g.nh; ++i) {
    g.xyz(1, i) += 0.3;
    g.xyz(3, i) -= 0.7;
  }
  RecentreMidNodes(c.nodes);
  for (int i = 1; i <= g.nh; ++i)
    for (int k = 1; k <= 3; ++k) EXPECT_NEAR(g.xyz(k, i), c.xyz0(k, i), 1e-12) << i;
}

TEST(IntMain, StillMaterialMovesNothing) {
  // No flow at all: the transit time would divide by a zero speed.
  Case c = MakeCase(Square(), kLevels, 130.0);
  Int_main(c.inp.sections, c.inp.layout, c.inp.results, c.nodes);
  for (int i = 1; i <= c.nodes.g.nh; ++i)
    for (int k = 1; k <= 3; ++k) EXPECT_DOUBLE_EQ(c.nodes.g.xyz(k, i), c.xyz0(k, i));
  EXPECT_DOUBLE_EQ(c.inp.results.IntRes(1), 0.0);
  EXPECT_DOUBLE_EQ(c.inp.results.IntRes(2), 0.0);
}
