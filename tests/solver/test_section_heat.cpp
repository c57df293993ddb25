// Implicit heat step of the working cross-section: exchange edges, steady
// states, symmetry of full, half and quarter models, orientation.

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <cmath>

#include "solver/field_solve.h"
#include "solver/section_heat.h"
#include "support/element_tables.h"
#include "support/grid_mesh2d.h"
#include "support/solvers.h"

namespace {

// Aluminium-like constant properties; ContactHtc in W/(m2 K).
InpDat HeatVariant(const Mesh2d& m, double T0, double tool, double htc, double dt) {
  InpDat d;
  d.solve.MemBudget = 2048000000;
  d.setup.mat.PairX(1) = 900.0;
  d.setup.mat.PairX(2) = 2700.0;
  d.setup.mat.PairX(3) = 200.0;
  d.setup.ToolTemp = tool;
  d.setup.ContactHtc = htc;
  d.model.HeatDt = dt;
  d.sections.Sect2d.assign(1, m);
  Mesh2d& s = d.sections.Sect2d(1);
  s.Tnew.assign(static_cast<std::size_t>(s.nh), 0.0);
  s.Told.assign(static_cast<std::size_t>(s.nh), T0);
  return d;
}

void Steps(InpDat& d, int n) {
  MeshRecord none;
  for (int k = 0; k < n; ++k) Sol_Def(none, Tables(), SolveMode::SectionHeat, d);
}

int CountBits(const Vec1<uint8_t>& mask) {
  int n = 0;
  for (uint8_t b : mask) n += (b & 1) + ((b >> 1) & 1) + ((b >> 2) & 1);
  return n;
}

// Node of `m` at (x, y), 0 when there is none.
int NodeAt(const Mesh2d& m, double x, double y) {
  for (int i = 1; i <= m.nh; ++i)
    if (std::fabs(m.xy(i)[0] - x) < 1e-9 && std::fabs(m.xy(i)[1] - y) < 1e-9) return i;
  return 0;
}

}  // namespace

TEST(SectionHeat, ExchangeEdgesLeaveOutOnlyTheAxesTheModelIsCutAlong) {
  // 8 x 6 grid cells: 28 outer edges.
  const Mesh2d full = GridMesh2d(-40, -30, 80, 60, 8, 6);
  EXPECT_EQ(CountBits(ExchangeEdges(full)), 28);  // centred full model: no cut
  const Mesh2d offset = GridMesh2d(5, 5, 80, 60, 8, 6);
  EXPECT_EQ(CountBits(ExchangeEdges(offset)), 28);  // away from the axes
  const Mesh2d half = GridMesh2d(0, -30, 40, 60, 4, 6);
  EXPECT_EQ(CountBits(ExchangeEdges(half)), 20 - 6);  // x = 0 side removed
  const Mesh2d halfLeft = GridMesh2d(-40, -30, 40, 60, 4, 6);
  EXPECT_EQ(CountBits(ExchangeEdges(halfLeft)), 20 - 6);  // the model may lie on x <= 0 too
  const Mesh2d quarter = GridMesh2d(0, 0, 40, 30, 4, 3);
  EXPECT_EQ(CountBits(ExchangeEdges(quarter)), 14 - 4 - 3);
  EXPECT_EQ(ExchangeEdges(Mesh2d{}).size(), 0);
}

TEST(SectionHeat, UniformFieldStaysUniformWithoutExchangeOrAtToolTemperature) {
  const Mesh2d m = GridMesh2d(-20, -10, 40, 20, 6, 4);
  InpDat noEx = HeatVariant(m, 480.0, 20.0, 0.0, 0.5);
  Steps(noEx, 3);
  InpDat atTool = HeatVariant(m, 450.0, 450.0, 3000.0, 0.5);
  Steps(atTool, 3);
  for (int i = 1; i <= m.nh; ++i) {
    EXPECT_NEAR(noEx.sections.Sect2d(1).Tnew(i), 480.0, 1e-3) << i;
    EXPECT_NEAR(noEx.sections.Sect2d(1).Told(i), noEx.sections.Sect2d(1).Tnew(i), 0.0) << i;
    EXPECT_NEAR(atTool.sections.Sect2d(1).Tnew(i), 450.0, 1e-3) << i;
  }
}

TEST(SectionHeat, ExchangePullsTowardToolTemperatureAndNeverPastIt) {
  const Mesh2d m = GridMesh2d(-25, -25, 50, 50, 8, 8);
  const int centre = NodeAt(m, 0, 0), corner = NodeAt(m, 25, 25);
  ASSERT_GT(centre, 0);
  ASSERT_GT(corner, 0);
  for (const double tool : {400.0, 600.0}) {
    InpDat d = HeatVariant(m, 500.0, tool, 20000.0, 1.0);
    const Mesh2d& s = d.sections.Sect2d(1);
    double prevCentre = 500.0;
    for (int step = 0; step < 40; ++step) {
      Steps(d, 1);
      for (int i = 1; i <= s.nh; ++i) {
        EXPECT_GE(s.Tnew(i), std::min(tool, 500.0) - 1e-3) << i;
        EXPECT_LE(s.Tnew(i), std::max(tool, 500.0) + 1e-3) << i;
      }
      // The surface leads, the centre follows monotonically.
      EXPECT_LT(std::fabs(s.Tnew(corner) - tool), std::fabs(s.Tnew(centre) - tool));
      EXPECT_LE(std::fabs(s.Tnew(centre) - tool), std::fabs(prevCentre - tool) + 1e-3);
      prevCentre = s.Tnew(centre);
    }
    EXPECT_LT(std::fabs(s.Tnew(centre) - tool), 60.0);  // well on its way
  }
}

TEST(SectionHeat, FullModelCoolsSymmetricallyAndHalfAndQuarterModelsMatchIt) {
  const double W = 30, H = 20;
  InpDat full = HeatVariant(GridMesh2d(-W, -H, 2 * W, 2 * H, 12, 8), 500.0, 400.0, 8000.0, 2.0);
  InpDat half = HeatVariant(GridMesh2d(0, -H, W, 2 * H, 6, 8), 500.0, 400.0, 8000.0, 2.0);
  InpDat quarter = HeatVariant(GridMesh2d(0, 0, W, H, 6, 4), 500.0, 400.0, 8000.0, 2.0);
  Steps(full, 5);
  Steps(half, 5);
  Steps(quarter, 5);
  // The grid's diagonals all run one way, so mirrored models differ by
  // their triangulation only: 0.01 K against a drop of 75 K.
  const double tol = 0.01;
  const Mesh2d& f = full.sections.Sect2d(1);
  double drop = 0;
  for (int i = 1; i <= f.nh; ++i) {
    const double x = f.xy(i)[0], y = f.xy(i)[1];
    const double T = f.Tnew(i);
    drop = std::max(drop, 500.0 - T);
    // Mirror images in both axes carry the same temperature.
    for (const auto& [mx, my] : {std::pair{-x, y}, std::pair{x, -y}, std::pair{-x, -y}}) {
      const int j = NodeAt(f, mx, my);
      ASSERT_GT(j, 0);
      EXPECT_NEAR(f.Tnew(j), T, tol) << x << " " << y;
    }
    const int h = NodeAt(half.sections.Sect2d(1), std::fabs(x), y);
    ASSERT_GT(h, 0);
    EXPECT_NEAR(half.sections.Sect2d(1).Tnew(h), T, tol) << x << " " << y;
    const int q = NodeAt(quarter.sections.Sect2d(1), std::fabs(x), std::fabs(y));
    ASSERT_GT(q, 0);
    EXPECT_NEAR(quarter.sections.Sect2d(1).Tnew(q), T, tol) << x << " " << y;
  }
  EXPECT_GT(drop, 50.0);  // the comparison is not between unchanged fields
}

TEST(SectionHeat, TriangleOrientationDoesNotChangeTheStep) {
  const Mesh2d m = GridMesh2d(-20, -15, 40, 30, 6, 5);
  Mesh2d flipped = m;
  // Corners 1, 3, 2: the mid-side nodes of the edges 3-1 and 1-2 change places.
  for (int k = 1; k <= flipped.ne; ++k) {
    std::swap(flipped.nop(2, k), flipped.nop(3, k));
    std::swap(flipped.nop(4, k), flipped.nop(5, k));
  }
  for (const LinearSolver solver : Solvers()) {
  InpDat a = HeatVariant(m, 500.0, 400.0, 5000.0, 1.5);
  InpDat b = HeatVariant(flipped, 500.0, 400.0, 5000.0, 1.5);
  b.solve.Solver = solver;
  Steps(a, 3);
  Steps(b, 3);
  double drop = 0;
  for (int i = 1; i <= m.nh; ++i) {
    EXPECT_NEAR(a.sections.Sect2d(1).Tnew(i), b.sections.Sect2d(1).Tnew(i), 2e-3) << i;
    drop = std::max(drop, 500.0 - a.sections.Sect2d(1).Tnew(i));
  }
  EXPECT_GT(drop, 5.0);
  // The connectivity comes back positive after every solve.
  for (int k = 1; k <= b.sections.Sect2d(1).ne; ++k)
    for (int a6 = 1; a6 <= 6; ++a6) EXPECT_GT(b.sections.Sect2d(1).nop(a6, k), 0);
  EXPECT_EQ(b.results.Front.sparseSection.factorEntries > 0, solver == LinearSolver::Sparse);
  }
}

TEST(SectionHeatDeath, StopsWithoutWorkingSectionOrWithZeroStep) {
  MeshRecord none;
  InpDat empty;
  EXPECT_EXIT(Sol_Def(none, Tables(), SolveMode::SectionHeat, empty), ::testing::ExitedWithCode(1),
              "no working cross-section");
  InpDat zero = HeatVariant(GridMesh2d(0, 0, 10, 10, 2, 2), 500.0, 400.0, 1000.0, 0.0);
  EXPECT_EXIT(Sol_Def(none, Tables(), SolveMode::SectionHeat, zero), ::testing::ExitedWithCode(1),
              "time step must be positive");
}
