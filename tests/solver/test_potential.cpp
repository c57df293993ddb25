#include <gtest/gtest.h>

#include <cmath>

#include "solver/field_solve.h"
#include "solver/potential.h"
#include "support/element_tables.h"
#include "support/grid_mesh2d.h"
#include "support/solvers.h"

namespace {

// Variant whose potential mesh is a rectangle [0, L] x [0, H] held at 0 on
// x = 0 and at 1 on x = L, free elsewhere.
InpDat Strip(double L, double H, int nx, int ny) {
  Mesh2d m = GridMesh2d(0, 0, L, H, nx, ny);
  for (int i = 1; i <= m.nh; ++i) {
    const double x = m.xy(i)[0];
    m.flag(i) = static_cast<int8_t>((i <= m.np ? 64 : 0) + (x < 1e-9 ? 1 : x > L - 1e-9 ? 2 : 0));
  }
  InpDat d;
  d.sections.nPiecesA = 1;
  d.solve.MemBudget = 2048000000;
  d.sections.Pieces2d.assign(1);
  d.sections.Pieces2d(1) = m;
  return d;
}

void Solve(InpDat& d) {
  MeshRecord unused;
  Sol_Def(unused, Tables(), SolveMode::Potential, d);
}

}  // namespace

// -p'' = c with p(0) = 0, p(L) = 1 and free sides: p = x/L + c x (L - x)/2,
// quadratic, so 6-node triangles give it at every node up to the
// single-precision front.  Negative connectivity entries are read as their
// node and come back positive.
TEST(Potential, QuadraticSolutionIsExactAndConnectivityComesBackPositive) {
  const double L = 40, c = 0.004;
  for (const LinearSolver solver : Solvers()) {
  InpDat d = Strip(L, 15, 5, 3);
  d.model.PotSource = c;
  d.solve.Solver = solver;
  Mesh2d& m = d.sections.Pieces2d(1);
  for (int e = 1; e <= m.ne; e += 2) m.nop(2, e) = -m.nop(2, e);
  Solve(d);
  EXPECT_EQ(d.results.Front.sparseSection.factorEntries > 0, solver == LinearSolver::Sparse);
  for (int i = 1; i <= m.nh; ++i) {
    const double x = m.xy(i)[0];
    EXPECT_NEAR(m.Pot(i), x / L + c * x * (L - x) / 2, 2e-6) << "node " << i;
  }
  for (int e = 1; e <= m.ne; ++e)
    for (int k = 1; k <= 6; ++k) EXPECT_GT(m.nop(k, e), 0);
  }
}

// The potential mesh is the last section, or the merged region of a
// multi-hole die.  Without a held node and source the potential is 0; a
// source without held nodes, a missing mesh and a degenerate triangle stop
// the run.
TEST(Potential, MeshChoiceUnheldMeshesAndBadInput) {
  InpDat d;
  d.sections.nPiecesA = 2;
  EXPECT_EQ(PotentialMeshIndex(d.sections), 2);
  d.sections.nPiecesB = 2;
  EXPECT_EQ(PotentialMeshIndex(d.sections), 2);
  d.sections.nPiecesB = 4;
  EXPECT_EQ(PotentialMeshIndex(d.sections), 4);

  InpDat free = Strip(10, 10, 2, 2);
  Mesh2d& m = free.sections.Pieces2d(1);
  for (int i = 1; i <= m.nh; ++i) m.flag(i) = static_cast<int8_t>(i <= m.np ? 64 : 0);
  m.nop(1, 1) = -m.nop(1, 1);
  Solve(free);
  EXPECT_GT(m.nop(1, 1), 0);
  for (int i = 1; i <= m.nh; ++i) EXPECT_EQ(m.Pot(i), 0.0);
  free.model.PotSource = 1.0;
  EXPECT_EXIT(Solve(free), ::testing::ExitedWithCode(1), "no node with a held value");

  InpDat missing = Strip(10, 10, 1, 1);
  missing.sections.nPiecesA = 3;
  EXPECT_EXIT(Solve(missing), ::testing::ExitedWithCode(1), "cross-section mesh 3 is missing");
  InpDat flat = Strip(10, 10, 1, 1);
  Mesh2d& f = flat.sections.Pieces2d(1);
  for (int k = 1; k <= 6; ++k) f.xy(f.nop(k, 2)) = {1.0, 1.0};
  EXPECT_EXIT(Solve(flat), ::testing::ExitedWithCode(1), "element 2 of cross-section mesh 1 has a zero Jacobian");
}
