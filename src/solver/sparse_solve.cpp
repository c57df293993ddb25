#include "solver/sparse_solve.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "solver/blas_core.h"

#ifdef KALMORA_HAVE_MUMPS
#include <dmumps_c.h>
#endif

namespace {

// Sizes MUMPS gives in millions of bytes; the records keep MiB.
constexpr double kMBtoMiB = 1.0e6 / (1024.0 * 1024.0);

double InputMiB(const ElementalSystem& sys) {
  const double bytes = 4.0 * static_cast<double>(sys.eltptr.size() + sys.eltvar.size()) +
                       8.0 * static_cast<double>(sys.aelt.size() + sys.rhs.size());
  return bytes / (1024.0 * 1024.0);
}

// First unknown 1..n that no element lists, 0 when every one is listed.
int UnlistedUnknown(const ElementalSystem& sys) {
  std::vector<uint8_t> seen(static_cast<std::size_t>(sys.n) + 1, 0);
  for (int u : sys.eltvar)
    if (u >= 1 && u <= sys.n) seen[static_cast<std::size_t>(u)] = 1;
  for (int u = 1; u <= sys.n; ++u)
    if (!seen[static_cast<std::size_t>(u)]) return u;
  return 0;
}

#ifdef KALMORA_HAVE_MUMPS

// Fill-reducing ordering: nested dissection by SCOTCH (ICNTL(7) = 3), which
// the Debian build of sequential MUMPS links (it has no METIS).  The analysis
// of elemental input (MUMPS 5.5) applies approximate minimum degree whatever
// is asked, so SCOTCH orders the assembled pattern of the element graph in
// an analysis of its own and its pivot order is handed to the elemental
// analysis (ICNTL(7) = 1).  Other codes (measurements) go to the elemental
// analysis as they are.
constexpr int kOrderingScotch = 3;
constexpr int kOrderingGiven = 1;
// Extra working storage over the analysis estimate, percent; doubled (up to
// kMaxWorkPercent) when the factorisation reports that delayed pivots
// outgrew it.
constexpr int kWorkPercent = 30;
constexpr int kMaxWorkPercent = 480;

// The sequential MUMPS library keeps state of its own between calls: two
// variant threads using it at the same time corrupt each other's solves
// (measured: crashes with separate instances on separate threads).  Every
// use of the library is therefore serialised by this lock; the element
// systems are still computed by the variant threads in parallel.
std::mutex& LibraryLock() {
  static std::mutex lock;
  return lock;
}

// One MUMPS instance, released on every path.
struct Instance {
  DMUMPS_STRUC_C id{};
  bool live = false;
  Instance() {
    id.comm_fortran = -987654;  // the communicator of the sequential library
    id.par = 1;                 // the calling thread works as well
    id.sym = 0;                 // unsymmetric
    id.job = -1;
    dmumps_c(&id);
    live = id.infog[0] >= 0;
  }
  ~Instance() {
    if (!live) return;
    id.job = -2;
    dmumps_c(&id);
  }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;
};

bool IsMemoryError(int info1) {
  switch (info1) {
    case -5: case -7: case -8: case -9: case -11: case -13: case -14: case -19: return true;
    default: return false;
  }
}

SparseOutcome Outcome(SparseStatus st, const DMUMPS_STRUC_C& id) {
  SparseOutcome out;
  out.status = st;
  out.info1 = id.infog[0];
  out.info2 = id.infog[1];
  return out;
}

// Pivot order of SCOTCH's nested dissection of the pattern of A + A^T of
// the element graph of `sys` (position of each unknown in the order, 1..n);
// empty when the analysis failed.
std::vector<int> ScotchOrder(const ElementalSystem& sys) {
  std::vector<int> irn, jcn;
  try {
    std::size_t pairs = static_cast<std::size_t>(sys.n);
    for (int e = 0; e < sys.nelt; ++e) {
      const std::size_t m = static_cast<std::size_t>(sys.eltptr[static_cast<std::size_t>(e) + 1] - sys.eltptr[static_cast<std::size_t>(e)]);
      pairs += m * (m - 1) / 2;
    }
    irn.reserve(pairs);
    jcn.reserve(pairs);
    for (int u = 1; u <= sys.n; ++u) {
      irn.push_back(u);
      jcn.push_back(u);
    }
    for (int e = 0; e < sys.nelt; ++e) {
      const int* v = sys.eltvar.data() + sys.eltptr[static_cast<std::size_t>(e)] - 1;
      const int m = sys.eltptr[static_cast<std::size_t>(e) + 1] - sys.eltptr[static_cast<std::size_t>(e)];
      for (int j = 0; j < m; ++j)
        for (int i = 0; i < j; ++i) {
          irn.push_back(v[i]);
          jcn.push_back(v[j]);
        }
    }
  } catch (const std::bad_alloc&) {
    return {};
  }
  Instance inst;
  DMUMPS_STRUC_C& id = inst.id;
  if (!inst.live) return {};
  id.icntl[0] = -1;
  id.icntl[1] = -1;
  id.icntl[2] = -1;
  id.icntl[3] = 0;
  id.icntl[5] = 0;  // ICNTL(6): no column permutation (the pattern has no values)
  id.icntl[6] = kOrderingScotch;
  id.icntl[7] = 0;  // ICNTL(8): no scaling
  id.n = sys.n;
  id.nnz = static_cast<MUMPS_INT8>(irn.size());
  id.irn = irn.data();
  id.jcn = jcn.data();
  id.job = 1;
  dmumps_c(&id);
  if (id.infog[0] < 0 || id.infog[6] != kOrderingScotch || id.sym_perm == nullptr) return {};
  return std::vector<int>(id.sym_perm, id.sym_perm + sys.n);
}

// FNV-1a fingerprint of the element pattern (n, nelt, eltptr, eltvar),
// never 0.
uint64_t PatternFingerprint(const ElementalSystem& sys) {
  uint64_t h = 1469598103934665603ULL;
  auto mix = [&h](int64_t v) {
    for (int b = 0; b < 8; ++b) {
      h ^= static_cast<uint64_t>(v >> (8 * b)) & 0xffU;
      h *= 1099511628211ULL;
    }
  };
  mix(sys.n);
  mix(sys.nelt);
  for (int p : sys.eltptr) mix(p);
  for (int u : sys.eltvar) mix(u);
  return h != 0 ? h : 1;
}

// SCOTCH's pivot order of `sys`, taken from `pivots` when it holds the order
// of the same pattern, else computed and (when given) kept there.
std::vector<int> PivotOrderOf(const ElementalSystem& sys, SparsePivotOrder* pivots) {
  const uint64_t pattern = pivots != nullptr ? PatternFingerprint(sys) : 0;
  if (pivots != nullptr && pivots->pattern == pattern && pivots->order.size() == static_cast<std::size_t>(sys.n))
    return std::vector<int>(pivots->order.begin(), pivots->order.end());
  std::vector<int> perm = ScotchOrder(sys);
  if (pivots != nullptr && !perm.empty()) {
    pivots->pattern = pattern;
    pivots->order.assign(perm.begin(), perm.end());
  }
  return perm;
}

// Runs the analysis and, with `factor`, the factorisation and the solve.
SparseOutcome RunMumps(ElementalSystem& sys, SparseSolveStats& stats, bool factor, int ordering, int threads,
                       SparsePivotOrder* pivots) {
  const std::lock_guard<std::mutex> hold(LibraryLock());
  SetBlasThreads(threads);
  Instance inst;
  DMUMPS_STRUC_C& id = inst.id;
  if (!inst.live) return Outcome(IsMemoryError(id.infog[0]) ? SparseStatus::OutOfMemory : SparseStatus::Failed, id);
  id.icntl[0] = -1;  // ICNTL(1..4): no error, diagnostic or statistics output
  id.icntl[1] = -1;
  id.icntl[2] = -1;
  id.icntl[3] = 0;
  id.icntl[4] = 1;               // ICNTL(5): elemental input
  // ICNTL(7): fill-reducing ordering; SCOTCH's order handed over as given.
  std::vector<int> perm;
  if (ordering < 0 || ordering == kOrderingScotch) perm = PivotOrderOf(sys, pivots);
  id.icntl[6] = perm.empty() ? (ordering < 0 ? kOrderingScotch : ordering) : kOrderingGiven;
  id.perm_in = perm.empty() ? nullptr : perm.data();
  id.icntl[13] = kWorkPercent;   // ICNTL(14): working storage over the estimate, percent
  id.icntl[23] = 1;              // ICNTL(24): detect null pivots (reported as a singular system)
  id.n = sys.n;
  id.nelt = sys.nelt;
  id.eltptr = sys.eltptr.data();
  id.eltvar = sys.eltvar.data();
  id.a_elt = sys.aelt.empty() ? nullptr : sys.aelt.data();
  id.rhs = sys.rhs.empty() ? nullptr : sys.rhs.data();

  id.job = 1;
  dmumps_c(&id);
  if (id.infog[0] < 0) {
    if (IsMemoryError(id.infog[0])) return Outcome(SparseStatus::OutOfMemory, id);
    if (id.infog[0] == -6) return Outcome(SparseStatus::Singular, id);
    return Outcome(SparseStatus::AnalysisFailed, id);
  }
  stats.ordering = perm.empty() ? id.infog[6] : kOrderingScotch;
  stats.analysisMiB = kMBtoMiB * id.infog[16];  // INFOG(17): estimated storage of the factorisation
  stats.factorEntries = id.infog[19] >= 0 ? id.infog[19] : -1000000LL * id.infog[19];  // INFOG(20)
  if (!factor) return Outcome(SparseStatus::Solved, id);

  for (;;) {
    id.job = 2;
    dmumps_c(&id);
    const bool grow = id.infog[0] == -8 || id.infog[0] == -9;
    if (!grow || id.icntl[13] >= kMaxWorkPercent) break;
    id.icntl[13] *= 2;
  }
  if (id.infog[0] >= 0 && id.infog[27] > 0) {  // INFOG(28): null pivots found
    SparseOutcome out = Outcome(SparseStatus::Singular, id);
    out.info2 = id.infog[27];
    return out;
  }
  if (id.infog[0] < 0) {
    if (id.infog[0] == -10) return Outcome(SparseStatus::Singular, id);
    return Outcome(IsMemoryError(id.infog[0]) ? SparseStatus::OutOfMemory : SparseStatus::Failed, id);
  }
  stats.usedMiB = kMBtoMiB * id.infog[18];  // INFOG(19): storage the factorisation used
  stats.factorEntries = id.infog[28] >= 0 ? id.infog[28] : -1000000LL * id.infog[28];  // INFOG(29)

  id.job = 3;
  dmumps_c(&id);
  if (id.infog[0] < 0)
    return Outcome(IsMemoryError(id.infog[0]) ? SparseStatus::OutOfMemory : SparseStatus::Failed, id);
  return Outcome(SparseStatus::Solved, id);
}

#endif

}  // namespace

bool SparseSolverAvailable() {
#ifdef KALMORA_HAVE_MUMPS
  return true;
#else
  return false;
#endif
}

std::string SparseSolverName() {
  const std::string core = BlasCoreName();
  return std::string("sparse (MUMPS multifrontal LU, double precision, SCOTCH nested-dissection ordering") +
         (core.empty() ? ")" : ", OpenBLAS kernels " + core + ")");
}

namespace {

// The common start of an analysis or a solve: the stats reset, and an
// outcome settled already without the library (Failed) or without unknowns
// (Solved); `settled` false when the library must run.
SparseOutcome StartSparse(const ElementalSystem& sys, SparseSolveStats& stats, bool& settled) {
  stats = SparseSolveStats{};
  stats.inputMiB = InputMiB(sys);
  SparseOutcome out;
  settled = !SparseSolverAvailable() || sys.n < 1;
  if (SparseSolverAvailable() && sys.n < 1) out.status = SparseStatus::Solved;
  return out;
}

}  // namespace

SparseOutcome SparseSolveElemental(ElementalSystem& sys, SparseSolveStats& stats, [[maybe_unused]] int ordering,
                                   [[maybe_unused]] int threads, [[maybe_unused]] SparsePivotOrder* pivots) {
  bool settled = false;
  SparseOutcome out = StartSparse(sys, stats, settled);
  if (settled) return out;
  if (const int u = UnlistedUnknown(sys)) {
    out.status = SparseStatus::Singular;
    out.unknown = u;
    return out;
  }
#ifdef KALMORA_HAVE_MUMPS
  out = RunMumps(sys, stats, true, ordering, threads, pivots);
#endif
  return out;
}

SparseOutcome SparseAnalyse(ElementalSystem& sys, SparseSolveStats& stats) {
  bool settled = false;
  SparseOutcome out = StartSparse(sys, stats, settled);
  if (settled) return out;
#ifdef KALMORA_HAVE_MUMPS
  out = RunMumps(sys, stats, false, -1, 0, nullptr);
#endif
  return out;
}

double ElementalResidual(const ElementalSystem& sys, const double* x, const double* b) {
  std::vector<double> y(static_cast<std::size_t>(sys.n), 0.0);
  std::size_t a = 0;
  for (int e = 0; e < sys.nelt; ++e) {
    const int p0 = sys.eltptr[static_cast<std::size_t>(e)] - 1, p1 = sys.eltptr[static_cast<std::size_t>(e) + 1] - 1;
    const int* var = sys.eltvar.data() + p0;
    const int m = p1 - p0;
    for (int j = 0; j < m; ++j) {
      const double xj = x[var[j] - 1];
      for (int i = 0; i < m; ++i) y[static_cast<std::size_t>(var[i] - 1)] += sys.aelt[a++] * xj;
    }
  }
  double rn = 0, bn = 0;
  for (int i = 0; i < sys.n; ++i) {
    const double d = y[static_cast<std::size_t>(i)] - b[i];
    rn += d * d;
    bn += b[i] * b[i];
  }
  return bn > 0 ? std::sqrt(rn / bn) : std::sqrt(rn);
}

void SparseStop(const SparseOutcome& out, const char* problem, int n, const SparseSolveStats& stats) {
  const std::string what = std::string("the ") + problem + " system of " + std::to_string(n) + " unknowns";
  const std::string code = " (MUMPS error " + std::to_string(out.info1) + ", " + std::to_string(out.info2) + ")";
  char mib[32];
  std::snprintf(mib, sizeof mib, "%.0f", std::max(stats.analysisMiB, stats.usedMiB) + stats.inputMiB);
  switch (out.status) {
    case SparseStatus::Unavailable:
      Fatal("Kalmora: this build has no sparse solver (built without sequential MUMPS, as the MPI build is); run with --solver frontal");
    case SparseStatus::Singular:
      if (out.unknown > 0)
        Fatal("PIVOT=0: " + what + " is singular: unknown " + std::to_string(out.unknown) +
              " belongs to no element (sparse solver)");
      Fatal("PIVOT=0: " + what + " is singular: the sparse factorisation met a zero pivot" + code);
    case SparseStatus::OutOfMemory:
      Fatal("Out of memory in the sparse solver: " + what + " needs more memory than could be had" +
            (stats.analysisMiB > 0 ? std::string(" (its analysis asked for ") + mib + " MiB)" : std::string()) + code);
    case SparseStatus::AnalysisFailed:
      Fatal("Sparse solver: the analysis (ordering) of " + what + " failed" + code);
    case SparseStatus::Failed:
    case SparseStatus::Solved:
      break;
  }
  Fatal("Sparse solver: the solve of " + what + " failed" + code);
}
