// Relaxation of the coupled iteration's flow update on a scripted linear
// map G(x) = x* + L (x - x*): an update that amplifies an alternating mode
// (the plain iteration diverges) converges to x* once relaxed, and an update
// that contracts keeps its full steps, cut only by a step cap, and one that
// creeps along a single mode is extrapolated onto x*.

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "solver/flow_relaxation.h"

namespace {

// Iterates the map with slopes lx (x velocity of node 1) and ly (y velocity
// of node 2) from zero, the pressure of corner 1 following the x velocity;
// returns the largest distance from x* = (3, -2, p 40) after `steps` steps.
double Iterate(double lx, double ly, int steps, FlowRelaxation& relax, bool& allFull) {
  MeshRecord m;
  m.g.nh = 2;
  m.g.np = 1;
  m.fld.assign(kNumFld, 2, 0.0f);
  allFull = true;
  auto map = [](double x, double star, double slope) { return static_cast<float>(star + slope * (x - star)); };
  for (int k = 0; k < steps; ++k) {
    KeepFlowState(m, relax);
    const float vx = m.fld(kFldVx, 1), vy = m.fld(kFldVy, 2);
    m.fld(kFldVx, 1) = map(vx, 3.0, lx);
    m.fld(kFldVy, 2) = map(vy, -2.0, ly);
    m.fld(kFldP, 1) = 40.0f + 10.0f * (m.fld(kFldVx, 1) - 3.0f);
    const double convV = std::max(std::fabs(m.fld(kFldVx, 1) - vx), std::fabs(m.fld(kFldVy, 2) - vy)) / 5.0;
    const double w = RelaxFlowUpdate(convV, relax, m);
    allFull = allFull && w == 1.0;
  }
  return std::max({std::fabs(m.fld(kFldVx, 1) - 3.0), std::fabs(m.fld(kFldVy, 2) + 2.0), std::fabs(m.fld(kFldP, 1) - 40.0) / 10.0});
}

}  // namespace

TEST(FlowRelaxation, AmplifiedTwoCycleSettlesAtTheFixedPointAndAContractionKeepsFullSteps) {
  FlowRelaxation amplified;
  amplified.after = 2;  // growth from the third step on
  bool full = true;
  EXPECT_LT(Iterate(-2.5, 0.3, 30, amplified, full), 1e-4);
  EXPECT_TRUE(amplified.active);
  EXPECT_FALSE(full);
  EXPECT_GE(amplified.omega, kRelaxMin);

  FlowRelaxation contracting;
  EXPECT_LT(Iterate(0.5, 0.3, 30, contracting, full), 1e-4);
  EXPECT_FALSE(contracting.active);
  EXPECT_TRUE(full);

  // A step cap shortens the first steps (change 0.3 of the speed scale
  // against a cap of 0.1) and leaves the fixed point where it is.
  FlowRelaxation capped;
  capped.cap = 0.1;
  EXPECT_GT(Iterate(0.5, 0.3, 1, capped, full), 2.4);
  EXPECT_NEAR(capped.omega, 0.1 / 0.3, 1e-6);
  EXPECT_LT(Iterate(0.5, 0.3, 40, capped, full), 1e-4);

  // With the tangents on, a creeping mode (both slopes 0.7: the changes
  // parallel) lands on x* at its second step (w = 1 / 0.3); slopes of 0.95
  // (beyond the extrapolated range) and of 0.7 against -0.5 (changes no
  // longer parallel) keep full steps.
  for (const auto& [lx, ly, steps, extrapolated] : {std::tuple{0.7, 0.7, 2, true}, std::tuple{0.95, 0.95, 5, false},
                                                    std::tuple{0.7, -0.5, 3, false}}) {
    FlowRelaxation creeping;
    creeping.extrapolate = true;
    const double left = Iterate(lx, ly, steps, creeping, full);
    EXPECT_EQ(full, !extrapolated) << lx << " " << ly;
    if (extrapolated) {
      EXPECT_LT(left, 1e-5);
      EXPECT_NEAR(creeping.omega, 1.0 / 0.3, 1e-6);
    }
  }
  // An extrapolated step whose next change grows halves the largest factor.
  FlowRelaxation over;
  over.omega = kExtrapolateMax;
  over.lastConvV = 0.03;
  MeshRecord one;
  one.g.nh = 1;
  one.fld.assign(kNumFld, 1, 0.0f);
  KeepFlowState(one, over);
  RelaxFlowUpdate(0.09, over, one);
  EXPECT_EQ(over.extrapolateMax, 0.5 * kExtrapolateMax);
  // A change that meets the convergence test is applied in full: the run
  // then ends on the solve's own result, not on an extrapolation of it.
  FlowRelaxation settled;
  settled.extrapolate = true;
  settled.plainBelow = 1.0;
  Iterate(0.7, 0.7, 3, settled, full);
  EXPECT_TRUE(full);
}
