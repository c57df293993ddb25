#pragma once
// Test fixture: the direct solvers a field-solve test runs with, the sparse
// one only where the program was built with it.

#include <vector>

#include "core/records.h"
#include "solver/sparse_solve.h"

inline std::vector<LinearSolver> Solvers() {
  if (SparseSolverAvailable()) return {LinearSolver::Frontal, LinearSolver::Sparse};
  return {LinearSolver::Frontal};
}
