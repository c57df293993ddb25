#pragma once
// Shared calling sequence of every linear field solve.
//
// A field problem supplies its unknown count n, its largest element size ncn
// and an element routine (see solver/frontal.h).  The variant record names
// the direct solver: the sparse one (solver/sparse_solve.h) takes the
// element systems as they are; for the frontal one the sequence marks the last
// appearance of every node in the connectivity, plans the front within the
// storage budget of the solve options, runs the frontal solver, makes the
// connectivity positive again and returns the plan.  The field-solve
// driver selects the element routine by problem code, each branch
// instantiating the sequence for its own routine type:
//
//   switch (mode) {
//     case SolveMode::Flow: {
//       FlowElements elem{...};
//       plan = FrontalSolve(mode, mesh.g.nop, mesh.g.npe, mesh.g.ne, mesh.g.nh, n, ncn, elem,
//                           SolveOptionsOf(inp.solve), SparseStatsFor(mode, inp.results), r1);
//       ... store velocities and pressures from r1 ...
//       break;
//     }
//     ...
//   }

#include <cstdint>

#include "core/fatal.h"
#include "core/onebased.h"
#include "core/records.h"
#include "solver/frontal.h"
#include "solver/sparse_solve.h"

// Problem codes of the field-solve driver.
enum class SolveMode : int32_t {
  Flow = 1,           // velocity and pressure on the flow mesh
  Temperature = 3,    // steady temperature on the thermal mesh
  SectionHeat = 7,    // transient heat step on the cross-section working mesh
  Potential = 100,    // potential on one cross-section mesh
};

// Options of one linear solve.
struct LinearSolveOptions {
  LinearSolver solver = LinearSolver::Frontal;  // direct solver
  int64_t memBudget = 0;                         // storage budget of the frontal solver, units (reals and integers of the plan)
  int threads = 1;                               // threads the frontal solver's dense updates may use, at least 1
  SparsePivotOrder* pivots = nullptr;            // sparse solver: pivot order kept between solves (null: ordered anew)
};

// The solve options of a variant: its Solver, MemBudget and SolveThreads,
// and the pivot order the sparse solver keeps for the mesh solved (null:
// ordered anew at every solve).
LinearSolveOptions SolveOptionsOf(const SolveOptions& solve, SparsePivotOrder* pivots = nullptr);

// Sizes r1 to n entries, all zero; stops with "error in allocate r1" when the
// storage cannot be had.
void AllocateR1(Vec1<double>& r1, int n);

// Sizes the sparse solver reported for a solve of `mode`: the flow, the
// temperature or the cross-section entry of the variant's results.
SparseSolveStats& SparseStatsFor(SolveMode mode, VariantResults& results);

// Name of the problem of `mode` in the stop messages of the sparse solver.
const char* ProblemName(SolveMode mode);

// Solves the system of elements 1..ne of `elem` (n unknowns, largest element
// size ncn) whose nodes 1..nnode are listed in entries 1..npe of `nop`, with
// the direct solver opt.solver names.  On return r1 (n entries) holds the
// solution and every connectivity entry is positive.  A problem without
// unknowns or elements gives an all-zero r1.
// Frontal solver: returns the plan (five results); a plan that does not fit
// opt.memBudget stops the run with "Out of memory in progon".  The dense
// updates use up to opt.threads threads (same solution for any count).
// Sparse solver (solver/sparse_solve.h): the same element systems in double
// precision, the BLAS's dense kernels on opt.threads threads; its sizes go
// to `sparse`, the returned plan is empty.
template <ElementRoutine E>
FrontPlanStats FrontalSolve(SolveMode mode, Mat1<int32_t>& nop, int npe, int ne, int nnode, int n, int ncn, E& elem,
                            const LinearSolveOptions& opt, SparseSolveStats& sparse, Vec1<double>& r1) {
  FrontPlanStats plan{};
  if (n < 1 || ne < 1) {
    AllocateR1(r1, n < 0 ? 0 : n);
    return plan;
  }
  if (opt.solver == LinearSolver::Sparse) {
    RestoreConnectivity(nop, npe, ne);  // unknowns carry no last-appearance marks
    SparseSolve(ProblemName(mode), n, ncn, elem, ne, opt.threads, &sparse, opt.pivots, r1);
    return plan;
  }
  MarkLastAppearance(nop, npe, ne, nnode);
  FrontPlan(n, ncn, elem, ne, opt.memBudget, plan);
  if (plan.FrontDim == 0) Fatal("Out of memory in progon");
  AllocateR1(r1, n);
  progon(n, ncn, plan, elem, ne, r1, opt.threads);
  RestoreConnectivity(nop, npe, ne);
  return plan;
}
