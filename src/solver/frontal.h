#pragma once
// Element-by-element frontal solver for unsymmetric sparse systems.
//
// Solves A x = b where A and b are the sums of element matrices and element
// right-hand sides; the global matrix is never formed.  Elements are
// assembled in order into a dense front (single precision); an unknown is
// eliminated only once the last element that contains it has been
// assembled, with the pivot of largest magnitude in the block of fully
// summed rows and columns.  Eliminated equations are kept in memory and
// resolved by back-substitution.
//
// Three pieces, always used in this order on the same connectivity and the
// same element order:
//   MarkLastAppearance  flags the last element of every node (negative entry)
//   FrontPlan           symbolic pass: front size and storage from a budget
//   progon              numeric assembly, elimination, back-substitution
//
// The element routine is a type E with two member functions (no virtual
// dispatch; the assembly loop is instantiated for each routine):
//   int Unknowns(int k, int32_t* lm)
//       signed unknown list of element k (1-based, called in increasing
//       order) into lm[0..m-1]; returns m.  The sign of a node's
//       connectivity entry is carried over to every unknown of that node; a
//       negative unknown is fully summed once this element is assembled; a
//       zero entry is skipped.
//   int System(int k, int32_t* lm, double* est, int ld, double* r)
//       the same list, plus the element matrix est (column-major, leading
//       dimension ld = the largest element size ncn, est[j*ld + i] is row i,
//       column j, 0-based) and the right-hand side r[0..m-1], boundary
//       conditions included; returns m <= ld.  est and r arrive cleared.

#include <algorithm>
#include <cassert>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/onebased.h"
#include "solver/front_plan.h"
#include "solver/frontal_kernels.h"

template <class E>
concept ElementRoutine = requires(E& e, int k, int32_t* lm, double* est, int ld, double* r) {
  { e.Unknowns(k, lm) } -> std::convertible_to<int>;
  { e.System(k, lm, est, ld, r) } -> std::convertible_to<int>;
};

// Negates, for every node 1..nnode, its entry in the last element (in
// element order) that contains it; inside an element the first entry of the
// node counts.  Entries already negative are read as their node, so marking
// a marked connectivity again gives the same result.  Zero entries are
// skipped; an entry above nnode stops the run.
void MarkLastAppearance(Mat1<int32_t>& nop, int npe, int ne, int nnode);

// Makes entries 1..npe of elements 1..ne positive again.
void RestoreConnectivity(Mat1<int32_t>& nop, int npe, int ne);

// The symbolic part of FrontPlan.  Per element e = 1..ne: newIn(e) unknowns
// appear for the first time in e, elimIn(e) unknowns are fully summed in e.
// Sizes the front and the equation store of n unknowns for a budget of
// `budget` units (an integer costs 1, a single-precision real 2).  Returns
// false and leaves `plan` untouched when the budget cannot hold the front.
bool FrontPlanFromCounts(int n, const Vec1<int32_t>& newIn, const Vec1<int32_t>& elimIn,
                         int64_t budget, FrontPlanStats& plan);

// Plans the solve of n unknowns over elements 1..ne of routine `elem`
// (largest element size ncn) within `budget` units; see FrontPlanFromCounts.
// Must run after MarkLastAppearance.
template <ElementRoutine E>
bool FrontPlan(int n, int ncn, E& elem, int ne, int64_t budget, FrontPlanStats& plan) {
  if (ne < 1 || n < 1) return false;
  Vec1<int32_t> newIn(static_cast<std::size_t>(ne), 0);
  Vec1<int32_t> elimIn(static_cast<std::size_t>(ne), 0);
  std::vector<int32_t> lm(static_cast<std::size_t>(ncn));
  std::vector<uint8_t> seen(static_cast<std::size_t>(n) + 1, 0);
  for (int k = 1; k <= ne; ++k) {
    const int m = elem.Unknowns(k, lm.data());
    for (int i = 0; i < m; ++i) {
      const int32_t u = lm[static_cast<std::size_t>(i)];
      if (u == 0) continue;
      const std::size_t a = static_cast<std::size_t>(u < 0 ? -u : u);
      if (!seen[a]) {
        seen[a] = 1;
        ++newIn(k);
      }
      if (u < 0) ++elimIn(k);
    }
  }
  return FrontPlanFromCounts(n, newIn, elimIn, budget, plan);
}

// Working storage of one progon call: the front, its bookkeeping and the
// store of eliminated equations.  Front slots are 0-based offsets; within
// the front the rows and columns of not yet fully summed unknowns come
// first, the fully summed ones last.
struct FrontWork {
  int n = 0;                 // number of unknowns
  int ncn = 0;               // largest element size
  int64_t limit = 0;         // FrontLimit: row count above which elimination starts
  int dim = 0;               // FrontDim: capacity of the front
  int ld = 0;                // row stride of eq (dim rounded up to 16)
  int nr = 0, nc = 0;        // active rows and columns
  int nrN = 0, ncN = 0;      // rows and columns not yet fully summed (the leading ones)
  int64_t stamp = 0;         // arrival counter: front order of rows and columns
  std::vector<int32_t> posC, posR;      // unknown 1..n -> column / row slot, -1 if absent
  std::vector<int32_t> lm;              // signed unknown list of the current element
  std::vector<int32_t> slotC, slotR;    // element unknown -> column / row slot
  std::vector<int32_t> colU, rowU;      // signed unknown of each column / row slot
  std::vector<int64_t> colT, rowT;      // arrival stamp of each column / row slot
  std::vector<uint32_t> rmax;           // largest magnitude (as bits) of each fully summed row
  bool rmaxValid = false;               // rmax is current (no element assembled since it was taken)
  std::vector<double> sol;              // solution by unknown, index 1..n
  std::vector<double> prow;             // normalised pivot row, double
  std::vector<float> eqBuf;             // front matrix storage, row-major, stride ld
  float* eq = nullptr;                  // 64-byte aligned start of eqBuf
  std::vector<double> L, U;             // factors and pivot rows of the pending update
  std::vector<int32_t> fsNew;           // columns fully summed by the current element
  std::vector<int32_t> colOps;          // column moves of the current placement, not yet applied to the rows
  int nfsNew = 0;                       // their count
  std::vector<double> ug;               // work space of the column update
  int kb = 0;                           // pivots whose update of the leading block is pending
  int kcap = 0;                         // capacity of L and U in pivots (0: the default)
  int bN = 0;                           // leading rows/columns of the pending update
  std::unique_ptr<int32_t[]> istor;     // integer part of the eliminated equations
  std::unique_ptr<float[]> astor;       // real part of the eliminated equations
  std::size_t icap = 0, acap = 0;       // allocated lengths of istor and astor
  std::size_t ip = 0, ap = 0;           // used lengths of istor and astor
  int64_t grown = 0;                    // times the store had to grow beyond the plan
  std::vector<double> est;              // element matrix, ncn x ncn, column-major
  std::vector<double> r;                // element right-hand side
  int threads = 1;                      // threads the dense updates may use (set before FrontStart)
  double teamFlops = 5.0e5;             // smallest update (operations) shared out over the threads: the row
                                        // updates of one pivot in fronts of some hundred rows and up, and the
                                        // batched block products; smaller ones cost less than waking the team
  // Teams on a machine whose cores are also busy elsewhere: a thread that
  // has lost its core holds up every update it shares.  The time the
  // calling thread waits for the team after its own share is weighed
  // against that share over a window of team updates; a window that waited
  // as long as it worked runs the next pivots on one thread.
  double teamWork = 0;                  // s, the calling thread's own shares in the window
  double teamWait = 0;                  // s, its waits for the rest of the team in the window
  int teamRuns = 0;                     // team updates in the window
  int64_t pivots = 0;                   // pivots eliminated so far
  int64_t soloUntil = 0;                // below this pivot count every update runs on one thread
  int64_t soloLen = 0;                  // pivots of the last solo stretch, 0 after a window without waits
  int64_t soloRuns = 0;                 // windows that sent the updates back to one thread
  FrontPath path = FrontPath::Auto;     // kernel path asked for (set before FrontStart)
  FrontKernel kernel = FrontKernel::Portable;  // kernels the solve runs (set by FrontStart)
  double flopsBlock = 0;                // floating-point operations of the pending block products
  double flopsRows = 0;                 // operations of the immediate row updates
  double flopsFlush = 0;                // operations of bringing rows and columns up to date
};

// Books one team update of a solve: the calling thread's own share and its
// wait for the rest of the team, s.  A window of team updates whose waits
// reach its work (the team's threads were not running when needed)
// runs the next pivots on one thread, twice as many after every further
// such window in a row; then the team is tried again.
void FrontTeamTimed(FrontWork& w, double work, double wait);

// Allocates and clears the storage of one solve (stops on allocation failure
// with the message of the array concerned).
void FrontStart(FrontWork& w, int n, int ncn, const FrontPlanStats& plan);
// Assembles the element held in w.lm / w.est / w.r (m unknowns) into the
// front and its right-hand side into r1 (0-based, by unknown - 1).
void FrontAssemble(FrontWork& w, int m, double* r1);
// Eliminates as the delayed scheme allows after an assembly; with `last`
// (all elements assembled) eliminates every remaining equation.
void FrontEliminate(FrontWork& w, bool last, double* r1);
// Back-substitution over the stored equations; r1 receives the solution.
void FrontBackSubstitute(FrontWork& w, double* r1);

// Solves the system of elements 1..ne of `elem` with n unknowns and largest
// element size ncn, planned by FrontPlan.  On entry r1 (size n) is zero; on
// return it holds the solution x of A x = b.  Stops the run with "PIVOT=0"
// when no pivot of magnitude 1e-25 or more is left in the fully summed block.
// The dense updates of the front are split by columns (or rows) over up to
// `threads` threads, never more than the machine has processors; every
// front entry is computed by the same operations whatever the split, so
// the solution is bit-identical for any thread count.  Called from inside
// a parallel region, the extra threads exist only where nested parallelism
// is enabled (omp_set_max_active_levels); otherwise the solve runs on one.
template <ElementRoutine E>
void progon(int n, int ncn, const FrontPlanStats& plan, E& elem, int ne, Vec1<double>& r1, int threads = 1) {
  if (n < 1 || ne < 1) return;
  FrontWork w;
  w.threads = threads;
  FrontStart(w, n, ncn, plan);
  const std::size_t esz = static_cast<std::size_t>(ncn) * static_cast<std::size_t>(ncn);
  for (int k = 1; k <= ne; ++k) {
    std::fill(w.est.begin(), w.est.begin() + static_cast<std::ptrdiff_t>(esz), 0.0);
    std::fill(w.r.begin(), w.r.end(), 0.0);
    const int m = elem.System(k, w.lm.data(), w.est.data(), ncn, w.r.data());
    assert(m >= 0 && m <= ncn);
    FrontAssemble(w, m, r1.data());
    FrontEliminate(w, k == ne, r1.data());
  }
  FrontBackSubstitute(w, r1.data());
}
