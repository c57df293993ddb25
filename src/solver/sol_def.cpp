#include "solver/sol_def.h"

#include <algorithm>
#include <new>
#include <stdexcept>

LinearSolveOptions SolveOptionsOf(const SolveOptions& solve, SparsePivotOrder* pivots) {
  return {solve.Solver, solve.MemBudget, solve.SolveThreads, pivots};
}

SparseSolveStats& SparseStatsFor(SolveMode mode, VariantResults& results) {
  switch (mode) {
    case SolveMode::Flow: return results.Front.sparseFlow;
    case SolveMode::Temperature: return results.Front.sparseTemp;
    case SolveMode::SectionHeat:
    case SolveMode::Potential: break;
  }
  return results.Front.sparseSection;
}

const char* ProblemName(SolveMode mode) {
  switch (mode) {
    case SolveMode::Flow: return "flow";
    case SolveMode::Temperature: return "temperature";
    case SolveMode::SectionHeat: return "cross-section heat";
    case SolveMode::Potential: return "cross-section potential";
  }
  return "field";
}

void AllocateR1(Vec1<double>& r1, int n) {
  try {
    r1.assign(static_cast<std::size_t>(n), 0.0);
  } catch (const std::bad_alloc&) {
    Fatal("error in allocate r1");
  } catch (const std::length_error&) {
    Fatal("error in allocate r1");
  }
}
