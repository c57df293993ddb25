#include <gtest/gtest.h>

#include "driver/sweep_plan.h"
#include "solver/sparse_solve.h"

namespace {

constexpr int64_t kGB = int64_t{1} << 30;

// One 15-node wedge: corner nodes 1..6, 15 nodes.
MeshRecord OneWedge() {
  MeshRecord m;
  m.g.ne = 1;
  m.g.nh = 15;
  m.g.np = 6;
  m.g.npe = 15;
  m.g.nve = 6;
  m.g.nop.assign(15, 1, 0);
  for (int a = 1; a <= 15; ++a) m.g.nop(a, 1) = a;
  return m;
}

}  // namespace

// Variant threads, and the idle cores per variant thread that its linear
// solves may use (solveThreads, at least 1).
TEST(SweepPlan, ThreadsBoundedByCoresVariantsAndMemory) {
  // Enough memory: the cores (or OMP_NUM_THREADS) and the variants decide.
  SweepPlan p = PlanSweep(1000, 2, 1 * kGB, 24 * kGB);
  EXPECT_EQ(p.threads, 2);
  EXPECT_EQ(p.solveThreads, 1);
  EXPECT_FALSE(p.memoryLimited);
  p = PlanSweep(3, 8, 1 * kGB, 24 * kGB);
  EXPECT_EQ(p.threads, 3);
  EXPECT_EQ(p.solveThreads, 2);
  EXPECT_EQ(PlanSweep(1, 2, 1 * kGB, 24 * kGB).solveThreads, 2);
  EXPECT_EQ(PlanSweep(0, 8, 0, 24 * kGB).threads, 1);
  EXPECT_EQ(PlanSweep(0, 1, 0, 0).solveThreads, 1);
  // Memory unknown: nothing but cores and variants.
  EXPECT_EQ(PlanSweep(10, 4, 100 * kGB, 0).threads, 4);
  // 90 % of 24 GB holds three solves of 7 GB, not eight.
  p = PlanSweep(1000, 8, 7 * kGB, 24 * kGB);
  EXPECT_EQ(p.threads, 3);
  EXPECT_EQ(p.solveThreads, 2);
  EXPECT_TRUE(p.memoryLimited);
  EXPECT_TRUE(p.fitsOne);
  // Not even one solve fits: one thread, and the caller refuses.
  p = PlanSweep(1000, 2, 30 * kGB, 24 * kGB);
  EXPECT_EQ(p.threads, 1);
  EXPECT_FALSE(p.fitsOne);
}

TEST(SweepPlan, SolveStorageOfOneDenseElementFromThePlan) {
  // One wedge: 3 x 15 velocities and 6 pressures, all in the front at once
  // and eliminated in that element; the store holds 51 equations of
  // c = 51, 50, ..., 1 columns, c + 3 integers and c reals each.
  MeshRecord flow = OneWedge(), heat;
  InpDat d;
  d.solve.MemBudget = 2048000000;
  FrontPlanStats plan{};
  plan.FrontDim = 51;
  plan.IntStore = 51 * 52 / 2 + 3 * 51;
  plan.RealStore = 51 * 52 / 2;
  const int64_t want = FrontSolveBytes(51, plan);
  EXPECT_EQ(VariantSolveBytes(flow, heat, d.solve), want);
  EXPECT_GE(want, 4 * 51 * 51 + 4 * (plan.IntStore + plan.RealStore));
  // The connectivity is left as it was (the plan marks a copy).
  for (int a = 1; a <= 15; ++a) EXPECT_EQ(flow.g.nop(a, 1), a);
  // The temperature solve of the same wedge (15 unknowns) is smaller; the
  // larger of the two counts.
  EXPECT_EQ(VariantSolveBytes(flow, flow, d.solve), want);
  EXPECT_LT(VariantSolveBytes(heat, flow, d.solve), want);
  EXPECT_GT(VariantSolveBytes(heat, flow, d.solve), 0);
  // A budget too small for the front counts the whole budget.
  d.solve.MemBudget = 1000;
  EXPECT_EQ(VariantSolveBytes(flow, heat, d.solve), 2000);
  // The sparse solver's need: at least the element matrix handed over
  // (51 x 51 doubles), whatever the frontal budget; the flow solve is the larger.
  d.solve.Solver = LinearSolver::Sparse;
  if (SparseSolverAvailable()) {
    EXPECT_GE(VariantSolveBytes(flow, heat, d.solve), 8 * 51 * 51);
    EXPECT_GT(VariantSolveBytes(flow, heat, d.solve), VariantSolveBytes(heat, flow, d.solve));
  }
}
