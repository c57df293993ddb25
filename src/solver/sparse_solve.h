#pragma once
// Sparse direct solve of an element-by-element system in double precision.
//
// The element routine of a field problem (the ElementRoutine of
// solver/frontal.h) hands over each element matrix with its boundary
// conditions built in.  The matrices go unassembled ("elemental" input) to
// the multifrontal sparse LU factorisation of MUMPS; the element right-hand
// sides are summed into one vector.  The unknowns are ordered by nested
// dissection (SCOTCH) so that the factors fill in little; MUMPS factorises
// with threshold partial pivoting in double precision and solves.  Unlike the frontal
// solver the cost does not grow with the square of a whole cross-section
// layer held in the front.
//
// The MUMPS library is linked only where it is installed (sequential build);
// elsewhere SparseSolverAvailable() is false and a sparse solve stops the
// run with one line.

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "core/fatal.h"
#include "core/onebased.h"
#include "core/records.h"
#include "solver/frontal.h"

// The system as the sparse solver takes it: every element's unknown list and
// its full matrix, and the assembled right-hand side.
struct ElementalSystem {
  int n = 0;                  // number of unknowns
  int nelt = 0;               // number of elements
  std::vector<int> eltptr;    // element e (1..nelt) lists its unknowns at eltvar[eltptr[e-1]-1 .. eltptr[e]-2]; nelt+1 entries, 1-based positions
  std::vector<int> eltvar;    // unknowns of every element in turn, 1..n
  std::vector<double> aelt;   // matrices of every element in turn, m x m column-major for an element of m unknowns
  std::vector<double> rhs;    // summed right-hand side, rhs[u-1] for unknown u; the solution after a solve
};

// Outcome of a sparse solve.
enum class SparseStatus {
  Solved,          // rhs holds the solution
  Singular,        // a pivot of the factorisation vanished, or an unknown belongs to no element
  OutOfMemory,     // the factors or the working storage could not be allocated
  AnalysisFailed,  // the ordering or the symbolic factorisation failed
  Failed,          // any other error reported by the library
  Unavailable,     // the program was built without the sparse solver
};

struct SparseOutcome {
  SparseStatus status = SparseStatus::Unavailable;
  int info1 = 0, info2 = 0;  // the library's error code and its detail (0 when solved)
  int unknown = 0;           // for Singular: an unknown that belongs to no element (0: a vanished pivot)
};

// True when the program was built with the sparse solver.
bool SparseSolverAvailable();

// One line naming the sparse solver, its ordering and the kernel type of the
// BLAS under it (when the BLAS names it), for the log.
std::string SparseSolverName();

// Sizes of the elemental system of elements 1..ne of `elem` (largest
// element size ncn): `vars` the listed unknowns summed over the elements
// (entries 0 left out), `mat` the entries of their element matrices.
template <ElementRoutine E>
void CountElemental(int ncn, E& elem, int ne, int64_t& vars, int64_t& mat) {
  std::vector<int32_t> lm(static_cast<std::size_t>(ncn));
  vars = mat = 0;
  for (int k = 1; k <= ne; ++k) {
    int m = 0;
    const int mm = elem.Unknowns(k, lm.data());
    for (int i = 0; i < mm; ++i) m += lm[static_cast<std::size_t>(i)] != 0;
    vars += m;
    mat += int64_t{m} * m;
  }
}

// Bytes the elemental system of elements 1..ne of `elem` takes (lists,
// matrices and right-hand side); the element routine's Unknowns is called
// for every element.
template <ElementRoutine E>
int64_t ElementalBytes(int n, int ncn, E& elem, int ne) {
  int64_t vars = 0, mat = 0;
  CountElemental(ncn, elem, ne, vars, mat);
  return 4 * (vars + ne + 1) + 8 * mat + 8 * int64_t{n};
}

// Gathers the element systems of elements 1..ne of `elem` (n unknowns,
// largest element size ncn) into `sys`: entries of an element list that are
// 0 are left out with their rows and columns, the sign of an unknown (the
// frontal solver's last-appearance mark) is dropped.  Returns false, with
// `sys` emptied, when the storage cannot be had.
template <ElementRoutine E>
bool GatherElementalSystem(int n, int ncn, E& elem, int ne, ElementalSystem& sys) {
  sys = ElementalSystem{};
  try {
    int64_t vars = 0, mat = 0;
    CountElemental(ncn, elem, ne, vars, mat);
    sys.n = n;
    sys.nelt = ne;
    sys.eltptr.reserve(static_cast<std::size_t>(ne) + 1);
    sys.eltvar.reserve(static_cast<std::size_t>(vars));
    sys.aelt.reserve(static_cast<std::size_t>(mat));
    sys.rhs.assign(static_cast<std::size_t>(n), 0.0);
    const std::size_t ld = static_cast<std::size_t>(ncn);
    std::vector<double> est(ld * ld), r(ld);
    std::vector<int32_t> lm(ld);
    std::vector<int> keep;
    keep.reserve(ld);
    sys.eltptr.push_back(1);
    for (int k = 1; k <= ne; ++k) {
      std::fill(est.begin(), est.end(), 0.0);
      std::fill(r.begin(), r.end(), 0.0);
      const int m = elem.System(k, lm.data(), est.data(), ncn, r.data());
      keep.clear();
      for (int i = 0; i < m; ++i) {
        const int32_t u = lm[static_cast<std::size_t>(i)];
        if (u == 0) continue;
        keep.push_back(i);
        const int a = u < 0 ? -u : u;
        sys.eltvar.push_back(a);
        sys.rhs[static_cast<std::size_t>(a) - 1] += r[static_cast<std::size_t>(i)];
      }
      for (int j : keep)
        for (int i : keep) sys.aelt.push_back(est[static_cast<std::size_t>(j) * ld + static_cast<std::size_t>(i)]);
      sys.eltptr.push_back(static_cast<int>(sys.eltvar.size()) + 1);
    }
  } catch (const std::bad_alloc&) {
    sys = ElementalSystem{};
    return false;
  }
  return true;
}

// Concurrent variants take turns in the library (it is not thread-safe):
// a sparse solve waits while another variant's is running.
//
// Solves the gathered system with MUMPS (unsymmetric, double precision,
// SCOTCH's nested dissection of the element graph as the pivot order); on Solved sys.rhs holds the
// solution x of A x = b, and `stats` the sizes the library reported.
// Unknowns that belong to no element make the system singular and are
// reported before any factorisation; so are pivots that vanish against the
// size of the matrix entries.
// `ordering` overrides the fill-reducing ordering (the library's ICNTL(7)
// code, for measurements: 0 AMD, 2 AMF, 4 PORD, 6 QAMD as the elemental
// analysis applies them); -1 or 3 is SCOTCH.  `threads` (at least 1) is
// the number of threads the dense kernels of the BLAS may use, the cores
// the run gives each linear solve; 0 leaves the BLAS's own setting.
// `pivots`, when given, keeps SCOTCH's order between solves: a system whose
// element pattern matches the kept fingerprint is factorised in that order
// without ordering it again (the order SCOTCH gave that pattern), another
// pattern is ordered and replaces it.
SparseOutcome SparseSolveElemental(ElementalSystem& sys, SparseSolveStats& stats, int ordering = -1, int threads = 0,
                                   SparsePivotOrder* pivots = nullptr);

// The analysis alone (ordering and symbolic factorisation) of a system of
// which only n, nelt, eltptr and eltvar need be filled: `stats` receives the
// ordering, the estimated factor entries and the storage the factorisation
// will ask for.
SparseOutcome SparseAnalyse(ElementalSystem& sys, SparseSolveStats& stats);

// ||A x - b|| / ||b|| (Euclidean norms) of the element matrices of `sys`
// summed, for x and b of sys.n values each; 0 when b is zero and A x is too.
double ElementalResidual(const ElementalSystem& sys, const double* x, const double* b);

// Ends the run with one line for a failed sparse solve of `problem` ("flow",
// "temperature", ...) with n unknowns: a singular system starts with
// "PIVOT=0" as the frontal solver's stop does.
[[noreturn]] void SparseStop(const SparseOutcome& out, const char* problem, int n, const SparseSolveStats& stats);

// The sparse counterpart of FrontalSolve (solver/sol_def.h): solves the
// system of elements 1..ne of `elem` (n unknowns, largest element size ncn)
// into r1 (n entries); the connectivity is not touched.  The sizes reported
// go to *keep when it is given; the BLAS's kernels use `threads` threads;
// `pivots` as for SparseSolveElemental.  Stops the run on any failure
// (SparseStop).
template <ElementRoutine E>
void SparseSolve(const char* problem, int n, int ncn, E& elem, int ne, int threads, SparseSolveStats* keep,
                 SparsePivotOrder* pivots, Vec1<double>& r1) {
  SparseSolveStats stats{};
  if (!SparseSolverAvailable()) SparseStop(SparseOutcome{}, problem, n, stats);
  ElementalSystem sys;
  if (!GatherElementalSystem(n, ncn, elem, ne, sys)) {
    SparseOutcome out;
    out.status = SparseStatus::OutOfMemory;
    SparseStop(out, problem, n, stats);
  }
  const SparseOutcome out = SparseSolveElemental(sys, stats, -1, threads, pivots);
  if (keep) *keep = stats;
  if (out.status != SparseStatus::Solved) SparseStop(out, problem, n, stats);
  r1.v.swap(sys.rhs);
}
