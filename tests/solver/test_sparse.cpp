// Sparse direct solve (MUMPS, double precision) beside the frontal solver:
// residual of the elemental solve, the same flow solution as the frontal
// solver on a small block, and the stops of a singular system.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "solver/field_solve.h"
#include "solver/flow_block.h"
#include "solver/sparse_solve.h"
#include "support/element_tables.h"

namespace {

// A chain of 3-node elements over n one-unknown nodes (element k: k, k+1,
// k+2) with random unsymmetric matrices whose diagonal is zero at every
// third unknown (pivoting off the diagonal is needed); element 2 has an
// absent third node and a marked (negative) first one.
struct Chain {
  Mat1<int32_t> nop;
  std::vector<double> K, F;  // element k: K[9(k-1) ..] column-major, F[3(k-1) ..]
  Chain(int n, unsigned seed) : nop(3, n - 2, 0), K(9 * static_cast<std::size_t>(n - 2)), F(3 * static_cast<std::size_t>(n - 2)) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int k = 1; k <= n - 2; ++k)
      for (int a = 0; a < 3; ++a) nop(a + 1, k) = k + a;
    for (std::size_t i = 0; i < K.size(); ++i) K[i] = u(rng) + (i % 9 % 4 == 0 && (i / 9 + i % 9 / 4) % 3 != 2 ? 4.0 : 0.0);
    for (double& f : F) f = u(rng);
    nop(3, 2) = 0;
    nop(1, 2) = -2;
  }
  int Unknowns(int k, int32_t* lm) const {
    for (int a = 1; a <= 3; ++a) lm[a - 1] = nop(a, k);
    return 3;
  }
  int System(int k, int32_t* lm, double* est, int ld, double* r) const {
    const std::size_t e = static_cast<std::size_t>(k - 1);
    for (int j = 0; j < 3; ++j) {
      for (int i = 0; i < 3; ++i) est[j * ld + i] = K[9 * e + static_cast<std::size_t>(3 * j + i)];
      r[j] = F[3 * e + static_cast<std::size_t>(j)];
    }
    return Unknowns(k, lm);
  }
};

// Largest |a - b| over the nodal field `f` of two meshes, relative to the
// largest |a|.
double FieldDifference(const MeshRecord& a, const MeshRecord& b, int f) {
  double d = 0, m = 0;
  for (int i = 1; i <= a.g.nh; ++i) {
    d = std::max(d, static_cast<double>(std::fabs(a.fld(f, i) - b.fld(f, i))));
    m = std::max(m, static_cast<double>(std::fabs(a.fld(f, i))));
  }
  return d / m;
}

}  // namespace

// The gathered elemental system drops absent entries and marks; its sparse
// solution leaves a residual at the rounding level of double precision.
TEST(SparseSolve, ElementalSolveIsExactWithZeroDiagonalsAndAbsentEntries) {
  if (!SparseSolverAvailable()) GTEST_SKIP() << "built without the sparse solver";
  Chain s(40, 7);
  ElementalSystem sys;
  ASSERT_TRUE(GatherElementalSystem(40, 3, s, s.nop.cols, sys));
  EXPECT_EQ(sys.eltptr[2] - sys.eltptr[1], 2);  // element 2 lost its absent node
  EXPECT_EQ(sys.eltvar[3], 2);                  // and its mark
  const std::vector<double> b = sys.rhs;
  SparseSolveStats st;
  ASSERT_EQ(SparseSolveElemental(sys, st).status, SparseStatus::Solved);
  EXPECT_LT(ElementalResidual(sys, sys.rhs.data(), b.data()), 1e-13);
  EXPECT_GE(st.ordering, 0);
  EXPECT_GT(st.factorEntries, 0);
}

// A kept pivot order serves every later system of the same element pattern
// (new values, the same exact solution) and is replaced by another pattern's.
TEST(SparseSolve, KeptPivotOrderServesTheSamePatternOnly) {
  if (!SparseSolverAvailable()) GTEST_SKIP() << "built without the sparse solver";
  const auto identity = [](int n) {
    std::vector<int32_t> id(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) id[static_cast<std::size_t>(i)] = i + 1;
    return id;
  };
  SparsePivotOrder kept;
  for (const auto& [n, seed] : {std::pair{40, 7u}, std::pair{40, 8u}, std::pair{52, 7u}}) {
    Chain s(n, seed);
    ElementalSystem sys, fresh;
    ASSERT_TRUE(GatherElementalSystem(n, 3, s, s.nop.cols, sys));
    fresh = sys;
    const std::vector<double> b = sys.rhs;
    SparseSolveStats st;
    ASSERT_EQ(SparseSolveElemental(sys, st, -1, 0, &kept).status, SparseStatus::Solved) << n << " " << seed;
    EXPECT_LT(ElementalResidual(sys, sys.rhs.data(), b.data()), 1e-13) << n << " " << seed;
    EXPECT_EQ(st.ordering, 3);
    ASSERT_EQ(kept.order.size(), static_cast<std::size_t>(n));
    EXPECT_TRUE(std::is_permutation(kept.order.begin(), kept.order.end(), identity(n).begin()));
    // The second system (same pattern) must factorise in the order kept, which is set
    // to the natural one here; the third (another pattern) replaces it.
    EXPECT_EQ(kept.order == identity(n), seed == 8u) << n << " " << seed;
    if (seed == 7u && n == 40) kept.order = identity(n);
    ASSERT_EQ(SparseSolveElemental(fresh, st).status, SparseStatus::Solved);
    for (int i = 0; i < n; ++i)
      EXPECT_NEAR(sys.rhs[static_cast<std::size_t>(i)], fresh.rhs[static_cast<std::size_t>(i)],
                  1e-12 * (1.0 + std::fabs(fresh.rhs[static_cast<std::size_t>(i)])));
  }
}

// Variants solve on threads of their own: concurrent sparse solves (which
// the library does not survive unserialised) give each its own solution.
TEST(SparseSolve, ConcurrentSolvesOfDifferentSystemsStayApart) {
  if (!SparseSolverAvailable()) GTEST_SKIP() << "built without the sparse solver";
  std::vector<std::vector<double>> serial(6), threaded(6);
  auto solve = [](int t, std::vector<double>& x) {
    Chain s(3000 + 100 * t, static_cast<unsigned>(t));
    ElementalSystem sys;
    GatherElementalSystem(s.nop.cols + 2, 3, s, s.nop.cols, sys);
    SparseSolveStats st;
    if (SparseSolveElemental(sys, st).status == SparseStatus::Solved) x = sys.rhs;
  };
  for (int t = 0; t < 6; ++t) solve(t, serial[static_cast<std::size_t>(t)]);
#pragma omp parallel for num_threads(3) schedule(dynamic, 1)
  for (int t = 0; t < 6; ++t) solve(t, threaded[static_cast<std::size_t>(t)]);
  for (std::size_t t = 0; t < 6; ++t) {
    ASSERT_EQ(threaded[t].size(), serial[t].size()) << t;
    for (std::size_t i = 0; i < serial[t].size(); ++i) ASSERT_NEAR(threaded[t][i], serial[t][i], 1e-9 * (1 + std::fabs(serial[t][i])));
  }
}

// A listed unknown whose rows and columns are zero, and an unknown that no
// element lists: both stop with the frontal solver's "PIVOT=0" and why.
TEST(SparseSolveDeath, SingularSystemsStopWithOneLine) {
  if (!SparseSolverAvailable()) GTEST_SKIP() << "built without the sparse solver";
  Chain s(12, 3);
  for (int k = 4; k <= 6; ++k)  // the elements of unknown 6, where it is node 7 - k
    for (int c = 0; c < 3; ++c) {
      s.K[9 * static_cast<std::size_t>(k - 1) + static_cast<std::size_t>(3 * (6 - k) + c)] = 0.0;
      s.K[9 * static_cast<std::size_t>(k - 1) + static_cast<std::size_t>(3 * c + 6 - k)] = 0.0;
    }
  Vec1<double> r1;
  EXPECT_EXIT(SparseSolve("flow", 12, 3, s, s.nop.cols, 1, nullptr, nullptr, r1), ::testing::ExitedWithCode(1),
              "^PIVOT=0: the flow system of 12 unknowns is singular: the sparse factorisation met a zero pivot "
              "\\(MUMPS error [-0-9]+, [0-9]+\\)\n$");
  Chain t(12, 3);
  EXPECT_EXIT(SparseSolve("temperature", 13, 3, t, t.nop.cols, 1, nullptr, nullptr, r1), ::testing::ExitedWithCode(1),
              "^PIVOT=0: the temperature system of 13 unknowns is singular: unknown 13 belongs to no element "
              "\\(sparse solver\\)\n$");
}

// On a small block of wedges the flow solve through the solver switch
// reports the sparse sizes and no frontal plan, leaves the connectivity
// positive, and agrees with the frontal solve to the single precision of its
// front.  (The field-solve tests run every problem with both solvers.)
TEST(SparseSolve, FlowSolveOfASmallBlockAgreesWithTheFrontalSolve) {
  if (!SparseSolverAvailable()) GTEST_SKIP() << "built without the sparse solver";
  // A block held at its base and sheared and squeezed at its top (free sides).
  Block blk;
  BuildBlock(blk, 3, 3, 4.0, 3.0, 5.0, true);
  SetVelocity(blk, [](double, double, double z) { return std::array<double, 3>{z > 4.9 ? 1.0 : 0.0, 0.0, z > 4.9 ? -0.5 : 0.0}; });
  Mesh3d& g = blk.mesh.g;
  for (int n = 1; n <= g.nh; ++n)
    g.BoundaryConditions(n) = CodeOf(blk, n, g.xyz(3, n) < 1e-9 ? 8 : g.xyz(3, n) > 4.9 ? 10 : 0);
  MeshRecord mf = blk.mesh, ms = blk.mesh;
  InpDat iff = blk.inp, is = blk.inp;
  is.solve.Solver = LinearSolver::Sparse;
  const FrontPlanStats planF = Sol_Def(mf, Tables(), SolveMode::Flow, iff);
  const FrontPlanStats planS = Sol_Def(ms, Tables(), SolveMode::Flow, is);
  for (int f : {kFldVx, kFldVy, kFldVz, kFldP}) EXPECT_LT(FieldDifference(mf, ms, f), 1e-4) << f;
  EXPECT_GT(FieldDifference(blk.mesh, ms, kFldVz), 0.1);  // the inside did move
  EXPECT_EQ(planS.FrontDim, 0);
  EXPECT_GT(planF.FrontDim, 0);
  EXPECT_GT(is.results.Front.sparseFlow.factorEntries, 0);
  EXPECT_EQ(iff.results.Front.sparseFlow.ordering, -1);
  EXPECT_NEAR(is.iter.ConvV, iff.iter.ConvV, 1e-4);
  for (int k = 1; k <= g.ne; ++k)
    for (int a = 1; a <= g.npe; ++a) EXPECT_GT(ms.g.nop(a, k), 0);
}
