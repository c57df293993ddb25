#pragma once
// How many variants the parallel phase solves at a time.
//
// Each variant's solve is dominated by the frontal solver's storage: the
// dense front and the store of eliminated equations, sized by the solver's
// symbolic plan within the variant's budget.  Before the parallel phase the
// plan is made for the flow mesh (three velocities per node and a pressure
// per corner node) and for the thermal mesh (one temperature per node) of
// every variant; the larger of the two solves of a variant is its need.
// Threads are limited by the cores (or OMP_NUM_THREADS) and by the memory the
// machine has free.

#include <cstdint>
#include <string>

#include "core/records.h"
#include "solver/front_plan.h"

// Bytes that one frontal solve of n unknowns planned as `plan` allocates:
// the front matrix (single precision, rows padded to 16), the equation
// store, the per-unknown maps and vectors and the pending-update buffers.
int64_t FrontSolveBytes(int64_t n, const FrontPlanStats& plan);

// Bytes of the larger of the flow and the temperature solve of a variant,
// from its meshes and its storage budget.  The connectivities are left as
// they were.  A mesh without elements needs nothing; a plan that does not
// fit the budget is counted at the whole budget (the solve will stop with
// its own message).  With the sparse solver (solve.Solver) the need is the
// storage the solver's own analysis of the element graph asks for, plus the
// element matrices handed to it.
int64_t VariantSolveBytes(const MeshRecord& nodes, const MeshRecord& nodes_t,
                          const SolveOptions& solve);

// Memory the machine can give without swapping, bytes ("MemAvailable" of
// /proc/meminfo, else the free physical pages); 0 when unknown.
int64_t AvailableMemoryBytes();

struct SweepPlan {
  int threads = 1;             // threads of the parallel phase (at least 1)
  bool memoryLimited = false;  // fewer threads than cores allow, for memory
  bool fitsOne = true;         // one variant's solve fits the memory
  int solveThreads = 1;        // threads each linear solve may use: the cores left idle per running variant
};

// Threads for nVar variants: at most `maxThreads` and nVar; when `available`
// is known (> 0) and `perVariant` solves of that many bytes each would not
// fit in 90 % of it, as many as fit (at least one; fitsOne is false when not
// even one does).  The cores beyond one per running variant go to the
// dense updates of each variant's linear solves (solveThreads, at least 1):
// a single variant on two cores solves with two threads.
SweepPlan PlanSweep(int nVar, int maxThreads, int64_t perVariant, int64_t available);
