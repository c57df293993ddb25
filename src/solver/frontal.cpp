#include "solver/frontal.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "core/fatal.h"
#include "solver/frontal_kernels.h"

#ifdef _OPENMP
#include <omp.h>
#endif

// The small kernels kept here are compiled for several instruction sets and
// the best one is picked when the program loads; the block and row updates,
// which carry most of the time, live in frontal_kernels.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define KALMORA_KERNEL __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define KALMORA_KERNEL
#endif

namespace {

// Pivots whose update of the leading (not fully summed) block is collected
// before it is applied as one product.
constexpr int kPendingPivots = 64;

// Pivots run on one thread after a window of team updates that waited for
// the team (doubled for every further such window in a row), and the
// window's length in team updates.
constexpr int64_t kSoloPivots = 4096;
constexpr int kTeamWindow = 256;

// Smallest pivot magnitude accepted: the single-precision 1e-25, widened.
constexpr double kPivotMin = static_cast<double>(1e-25f);

template <class T>
void Allocate(std::vector<T>& v, std::size_t n, const T& init, const char* message) {
  try {
    v.assign(n, init);
  } catch (const std::bad_alloc&) {
    Fatal(message);
  } catch (const std::length_error&) {
    Fatal(message);
  }
}

// Uninitialised store of `n` entries (the equation store is written before
// it is read, so clearing it would only cost time).
template <class T>
void AllocateStore(std::unique_ptr<T[]>& p, std::size_t& cap, std::size_t n, const char* message) {
  p.reset(new (std::nothrow) T[std::max<std::size_t>(n, 1)]);
  if (!p) Fatal(message);
  cap = std::max<std::size_t>(n, 1);
}

// Grows a store to at least `need` entries, keeping the first `used`.
template <class T>
void GrowStore(std::unique_ptr<T[]>& p, std::size_t& cap, std::size_t used, std::size_t need,
               const char* message) {
  std::size_t n = std::max(need, cap + cap / 2);
  std::unique_ptr<T[]> q(new (std::nothrow) T[n]);
  if (!q) Fatal(message);
  std::memcpy(q.get(), p.get(), used * sizeof(T));
  p = std::move(q);
  cap = n;
}

// Largest magnitude among e[0..len-1] as the bits of its absolute value:
// for non-negative floats the order of the bit patterns is the order of
// the values (a NaN ranks above every number).
KALMORA_KERNEL
uint32_t MaxMagnitudeBits(const float* __restrict e, int len) {
  uint32_t m = 0;
  for (int c = 0; c < len; ++c) {
    const uint32_t b = std::bit_cast<uint32_t>(e[c]) & 0x7fffffffu;
    m = b > m ? b : m;
  }
  return m;
}

#ifdef _OPENMP
int ThreadId() { return omp_get_thread_num(); }
double Now() { return omp_get_wtime(); }
int TeamCount() { return omp_get_num_threads(); }
#else
int ThreadId() { return 0; }
double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }
int TeamCount() { return 1; }
#endif

// Threads for a dense update of `flops` floating-point operations; smaller
// updates stay on one thread (starting a team costs a few microseconds on
// an idle machine, up to a time slice on a busy one).
int TeamSize(const FrontWork& w, double flops) {
  return flops < w.teamFlops || w.pivots < w.soloUntil ? 1 : w.threads;
}

// Runs body(thread, threads) on a team of nt threads and books the calling
// thread's own share and its wait for the rest of the team.
template <class F>
void RunTeam(FrontWork& w, int nt, F&& body) {
  const double t0 = Now();
  double tOwn = t0;
#pragma omp parallel num_threads(nt)
  {
    body(ThreadId(), TeamCount());
    if (ThreadId() == 0) tOwn = Now();
  }
  FrontTeamTimed(w, tOwn - t0, Now() - tOwn);
}

float* Row(FrontWork& w, int r) { return w.eq + static_cast<std::size_t>(r) * w.ld; }

int Abs(int32_t u) { return u < 0 ? -u : u; }

// Column and row moves inside the front; entries outside the active block
// stay zero.  The column moves of one element's placement change the
// bookkeeping at once and are queued for the front entries (w.colOps:
// source, destination, 1 for a swap or 0 for a move that clears the
// source), then applied to every row in one pass.
void SwapColumns(FrontWork& w, int s, int t) {
  w.colOps.insert(w.colOps.end(), {s, t, 1});
  for (int q = 0; q < w.kb; ++q) std::swap(w.U[static_cast<std::size_t>(q) * w.ld + s], w.U[static_cast<std::size_t>(q) * w.ld + t]);
  std::swap(w.colU[s], w.colU[t]);
  std::swap(w.colT[s], w.colT[t]);
  w.posC[Abs(w.colU[s])] = s;
  w.posC[Abs(w.colU[t])] = t;
}

void MoveColumn(FrontWork& w, int src, int dst) {
  w.colOps.insert(w.colOps.end(), {src, dst, 0});
  for (int q = 0; q < w.kb; ++q) w.U[static_cast<std::size_t>(q) * w.ld + dst] = w.U[static_cast<std::size_t>(q) * w.ld + src];
  w.colU[dst] = w.colU[src];
  w.colT[dst] = w.colT[src];
  w.posC[Abs(w.colU[dst])] = dst;
}

// The queued column moves applied to the entries of every row, in order.
void ApplyColumnOps(FrontWork& w) {
  const int32_t* op = w.colOps.data();
  const std::size_t n = w.colOps.size();
  if (n == 0) return;
  for (int r = 0; r < w.nr; ++r) {
    float* e = Row(w, r);
    for (std::size_t k = 0; k < n; k += 3) {
      if (op[k + 2]) {
        std::swap(e[op[k]], e[op[k + 1]]);
      } else {
        e[op[k + 1]] = e[op[k]];
        e[op[k]] = 0.0f;
      }
    }
  }
  w.colOps.clear();
}

void SwapRows(FrontWork& w, int s, int t) {
  std::swap_ranges(Row(w, s), Row(w, s) + w.nc, Row(w, t));
  std::swap(w.rowU[s], w.rowU[t]);
  std::swap(w.rowT[s], w.rowT[t]);
  w.posR[Abs(w.rowU[s])] = s;
  w.posR[Abs(w.rowU[t])] = t;
}

void MoveRow(FrontWork& w, int src, int dst) {
  std::memcpy(Row(w, dst), Row(w, src), sizeof(float) * static_cast<std::size_t>(w.nc));
  std::memset(Row(w, src), 0, sizeof(float) * static_cast<std::size_t>(w.nc));
  w.rowU[dst] = w.rowU[src];
  w.rowT[dst] = w.rowT[src];
  w.posR[Abs(w.rowU[dst])] = dst;
}

[[noreturn]] void FrontOverflow(const FrontWork& w) {
  Fatal("progon: the front exceeds FrontDim = " + std::to_string(w.dim) +
        "; the plan was made for another element order or unknown list");
}

// Pending update of the leading block.  For leading rows r < nrN and
// leading columns c < ncN the true front entry is
//   eq(r, c) - sum over t < kb of L(r, t) U(t, c);
// every other entry is current.  Assembly only adds to entries, so the
// update can stay pending across elements; a leading row or column that
// becomes fully summed is brought up to date first.

double& Lr(FrontWork& w, int r, int t) { return w.L[static_cast<std::size_t>(r) * w.kcap + t]; }
double& Uc(FrontWork& w, int t, int c) { return w.U[static_cast<std::size_t>(t) * w.ld + c]; }

// Columns slots[0..J-1], which were leading when the pending pivots were
// eliminated, made current over the leading rows.
void FlushColumns(FrontWork& w, const int32_t* slots, int J) {
  if (w.kb == 0 || J == 0) return;
  double* ug = w.ug.data();  // ug[j kcap + t] = U(t, slots[j])
  for (int j = 0; j < J; ++j)
    for (int t = 0; t < w.kb; ++t) ug[static_cast<std::size_t>(j) * w.kcap + t] = Uc(w, t, slots[j]);
  // Rows shared out over the team: each entry is summed by one thread.
  const int rows = w.nrN;
  w.flopsFlush += 2.0 * rows * J * w.kb;
  const int nt = TeamSize(w, 2.0 * rows * J * w.kb);
  if (nt <= 1) {
    FrontColumnsUpdate(w.kernel, w.eq, w.ld, 0, rows, slots, J, w.L.data(), w.kcap, w.kb, ug);
  } else {
    RunTeam(w, nt, [&](int id, int cnt) {
      FrontColumnsUpdate(w.kernel, w.eq, w.ld, rows * id / cnt, rows * (id + 1) / cnt, slots, J, w.L.data(), w.kcap,
                         w.kb, ug);
    });
  }
}

// Columns of U from `cols` up to the next multiple of eight set to zero for
// the pending pivots, so that the block kernel may run over whole groups of
// eight columns (the extra columns are current; subtracting zero products
// leaves them as they are).  Returns that multiple.
int PadPending(FrontWork& w, int cols) {
  const int cend = std::min(w.ld, (cols + 7) / 8 * 8);
  for (int t = 0; t < w.kb; ++t) {
    double* u = w.U.data() + static_cast<std::size_t>(t) * w.ld;
    std::fill(u + cols, u + cend, 0.0);
  }
  return cend;
}

// Row r (leading) made current over the leading columns by the block
// kernel, the column groups shared out over the team.
void FlushRow(FrontWork& w, int r) {
  if (w.kb == 0 || w.ncN == 0) return;
  const int cols = w.ncN;
  const int cend = PadPending(w, cols);
  w.flopsFlush += 2.0 * cols * w.kb;
  const int nt = TeamSize(w, 2.0 * cols * w.kb);
  const int32_t row[1] = {r};
  if (nt <= 1) {
    FrontBlockUpdate(w.kernel, w.eq, w.ld, row, 1, 0, cend, w.L.data(), w.kcap, w.kb, w.U.data(), w.ld);
    return;
  }
  const int groups = cend / 8;
  RunTeam(w, nt, [&](int id, int cnt) {
    FrontBlockUpdate(w.kernel, w.eq, w.ld, row, 1, 8 * (groups * id / cnt), 8 * (groups * (id + 1) / cnt),
                     w.L.data(), w.kcap, w.kb, w.U.data(), w.ld);
  });
}

// Places unknown u (signed) in the column front: the leading part for an
// unknown still to receive contributions, the trailing part once fully
// summed.  `stamp` is its arrival order when new.
void PlaceColumn(FrontWork& w, int32_t u, int64_t stamp) {
  const int a = Abs(u);
  int s = w.posC[a];
  if (s >= 0) {
    if (u < 0 && s < w.ncN) {
      const int t = w.ncN - 1;
      if (s != t) SwapColumns(w, s, t);
      w.fsNew[static_cast<std::size_t>(w.nfsNew++)] = a;  // brought up to date after placement
      --w.ncN;
      s = t;
    }
    if (u < 0) w.colU[s] = u;
    return;
  }
  if (w.nc >= w.dim) FrontOverflow(w);
  int slot = w.nc;
  if (u > 0) {
    slot = w.ncN;
    if (w.ncN < w.nc) MoveColumn(w, w.ncN, w.nc);
    for (int q = 0; q < w.kb; ++q) Uc(w, q, slot) = 0.0;
    ++w.ncN;
  }
  ++w.nc;
  w.colU[slot] = u;
  w.colT[slot] = stamp;
  w.posC[a] = slot;
}

// The same for the row front; runs after all columns of the element are
// placed.
void PlaceRow(FrontWork& w, int32_t u, int64_t stamp) {
  const int a = Abs(u);
  int s = w.posR[a];
  if (s >= 0) {
    if (u < 0 && s < w.nrN) {
      const int t = w.nrN - 1;
      if (s != t) {
        SwapRows(w, s, t);
        std::swap_ranges(&Lr(w, s, 0), &Lr(w, s, 0) + w.kb, &Lr(w, t, 0));
      }
      FlushRow(w, t);
      --w.nrN;
      s = t;
    }
    if (u < 0) w.rowU[s] = u;
    return;
  }
  if (w.nr >= w.dim) FrontOverflow(w);
  int slot = w.nr;
  if (u > 0) {
    slot = w.nrN;
    if (w.nrN < w.nr) MoveRow(w, w.nrN, w.nr);
    std::fill(&Lr(w, slot, 0), &Lr(w, slot, 0) + w.kb, 0.0);
    ++w.nrN;
  }
  ++w.nr;
  w.rowU[slot] = u;
  w.rowT[slot] = stamp;
  w.posR[a] = slot;
}

// Applies the collected update to the leading block and empties it.
void FlushPending(FrontWork& w) {
  if (w.kb == 0) return;
  const int rows = w.nrN, cols = w.ncN;
  // Rows without any nonzero factor are left alone.
  std::vector<int32_t>& act = w.slotR;  // reused as the list of rows to update
  int na = 0;
  if (static_cast<int>(act.size()) < rows) act.resize(static_cast<std::size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    const double* l = w.L.data() + static_cast<std::size_t>(r) * w.kcap;
    bool any = false;
    for (int t = 0; t < w.kb; ++t) any |= (l[t] != 0.0);
    if (any) act[static_cast<std::size_t>(na++)] = r;
  }
  const int cend = PadPending(w, cols);
  // Column groups of eight split evenly over the team; each front entry is
  // updated by one thread with the same operations as on a single thread.
  const int groups = cend / 8;
  w.flopsBlock += 2.0 * na * cols * w.kb;
  const int nt = TeamSize(w, 2.0 * na * cols * w.kb);
  if (nt <= 1) {
    FrontBlockUpdate(w.kernel, w.eq, w.ld, act.data(), na, 0, cend, w.L.data(), w.kcap, w.kb, w.U.data(), w.ld);
  } else {
    RunTeam(w, nt, [&](int id, int cnt) {
      const int g0 = groups * id / cnt, g1 = groups * (id + 1) / cnt;
      FrontBlockUpdate(w.kernel, w.eq, w.ld, act.data(), na, 8 * g0, 8 * g1, w.L.data(), w.kcap, w.kb,
                       w.U.data(), w.ld);
    });
  }
  w.kb = 0;
}

void StoreEquation(FrontWork& w, int d, int q) {
  const int c = w.nc;
  if (w.ip + static_cast<std::size_t>(c) + 3 > w.icap) {
    GrowStore(w.istor, w.icap, w.ip, w.ip + static_cast<std::size_t>(c) + 3, "Out of memory, istor");
    ++w.grown;
  }
  if (w.ap + static_cast<std::size_t>(c) > w.acap)
    GrowStore(w.astor, w.acap, w.ap, w.ap + static_cast<std::size_t>(c), "Out of memory, astor");
  int32_t* is = w.istor.get() + w.ip;
  std::memcpy(is, w.colU.data(), sizeof(int32_t) * static_cast<std::size_t>(c));
  is[c] = d;
  is[c + 1] = q + 1;
  is[c + 2] = c;
  float* as = w.astor.get() + w.ap;
  for (int j = 0; j < c; ++j) as[j] = static_cast<float>(w.prow[static_cast<std::size_t>(j)]);
  w.ip += static_cast<std::size_t>(c) + 3;
  w.ap += static_cast<std::size_t>(c);
}

// One elimination step on the fully summed block (rows nrN..nr-1, columns
// ncN..nc-1).
void EliminateOne(FrontWork& w, double* r1) {
  const int nr = w.nr, nc = w.nc, rN = w.nrN, cN = w.ncN;
  // Pivot of largest magnitude; among equal magnitudes the one met last when
  // columns are searched in front order and, inside a column, rows in front
  // order (front order = arrival stamp).
  // The row maxima are kept from the previous elimination unless an
  // element was assembled since.
  uint32_t* rmax = w.rmax.data();
  uint32_t best = 0;
  for (int r = rN; r < nr; ++r) {
    if (!w.rmaxValid) rmax[r] = MaxMagnitudeBits(Row(w, r) + cN, nc - cN);
    best = std::max(best, rmax[r]);
  }
  int pr = -1, pc = -1;
  for (int r = rN; r < nr; ++r) {
    if (rmax[r] != best) continue;
    const float* e = Row(w, r);
    for (int c = cN; c < nc; ++c) {
      if ((std::bit_cast<uint32_t>(e[c]) & 0x7fffffffu) != best) continue;
      if (pr < 0 || w.colT[c] > w.colT[pc] || (w.colT[c] == w.colT[pc] && w.rowT[r] > w.rowT[pr])) {
        pr = r;
        pc = c;
      }
    }
  }
  const double piv = Row(w, pr)[pc];
  if (!(std::fabs(piv) >= kPivotMin)) Fatal("PIVOT=0");

  // Normalised pivot row and right-hand side.
  double* p = w.prow.data();
  const float* er = Row(w, pr);
  for (int c = 0; c < nc; ++c) p[c] = er[c] / piv;
  const int d = Abs(w.rowU[pr]);
  const int j = Abs(w.colU[pc]);
  r1[d - 1] /= piv;
  const double rd = r1[d - 1];
  StoreEquation(w, d, pc);

  // Fully summed rows: updated at once over the whole width, and their
  // largest magnitude over the fully summed columns taken while the row is
  // at hand (the pivot column becomes exactly zero, f - f * 1, so it does
  // not count).  Leading rows: the fully summed columns at once, the leading
  // block later.  In every row the last column then moves into the place of
  // the pivot column.  Rows are independent, so they may be shared out over
  // the team.
  const int lc = nc - 1;
  double* L = w.L.data();
  auto updateRows = [&](int r0, int r1e) {
    int64_t n = 0;  // entries updated
    for (int r = r0; r < r1e; ++r) {
      if (r == pr) continue;
      float* e = Row(w, r);
      const double f = e[pc];
      const bool leading = r < rN;
      if (leading) L[static_cast<std::size_t>(r) * w.kcap + w.kb] = f;
      if (f != 0.0) {
        if (leading) {
          FrontRowUpdate(w.kernel, e + cN, p + cN, f, nc - cN);
        } else {
          FrontRowUpdate(w.kernel, e, p, f, nc);
          rmax[r] = MaxMagnitudeBits(e + cN, nc - cN);
        }
        n += leading ? nc - cN : nc;
        r1[Abs(w.rowU[r]) - 1] -= f * rd;
      }
      e[pc] = e[lc];
      e[lc] = 0.0f;
    }
    return n;
  };
  // Fully summed rows cost up to four times a leading row and many rows
  // have no entry in the pivot column, so the rows are handed out in small
  // chunks to whichever thread is free.
  const int64_t total = static_cast<int64_t>(rN) * (nc - cN) + static_cast<int64_t>(nr - rN) * nc;
  const int nt = TeamSize(w, 2.0 * static_cast<double>(total));
  int64_t done = 0;
  if (nt <= 1) {
    done = updateRows(0, nr);
  } else {
    constexpr int kChunk = 32;
    const int chunks = (nr + kChunk - 1) / kChunk;
    RunTeam(w, nt, [&](int, int) {
      int64_t mine = 0;
#pragma omp for schedule(dynamic, 1) nowait
      for (int c = 0; c < chunks; ++c) mine += updateRows(c * kChunk, std::min(nr, (c + 1) * kChunk));
#pragma omp atomic
      done += mine;
    });
  }
  ++w.pivots;
  w.flopsRows += 2.0 * static_cast<double>(done);
  std::memcpy(w.U.data() + static_cast<std::size_t>(w.kb) * w.ld, p, sizeof(double) * static_cast<std::size_t>(cN));
  ++w.kb;

  // Remove the pivot row and column: the last ones move into their places
  // (the front entries of the column have moved above).
  const int lr = nr - 1;
  if (pr != lr) {
    MoveRow(w, lr, pr);
    rmax[pr] = rmax[lr];
  } else {
    std::memset(Row(w, lr), 0, sizeof(float) * static_cast<std::size_t>(nc));
  }
  w.posR[d] = -1;
  if (pr != lr) w.posR[Abs(w.rowU[pr])] = pr;
  w.nr = lr;
  if (pc != lc) {
    for (int q = 0; q < w.kb; ++q) Uc(w, q, pc) = Uc(w, q, lc);
    w.colU[pc] = w.colU[lc];
    w.colT[pc] = w.colT[lc];
    w.posC[Abs(w.colU[pc])] = pc;
  }
  w.posC[j] = -1;
  if (pc != lc) w.posC[Abs(w.colU[pc])] = pc;
  w.nc = lc;
  w.rmaxValid = true;

  if (w.kb == w.kcap) FlushPending(w);
}

}  // namespace

void FrontTeamTimed(FrontWork& w, double work, double wait) {
  w.teamWork += work;
  w.teamWait += wait;
  if (++w.teamRuns < kTeamWindow) return;
  if (w.teamWait >= w.teamWork) {
    // Each window that waits again doubles the next solo stretch.
    w.soloLen = w.soloLen == 0 ? kSoloPivots : 2 * w.soloLen;
    w.soloUntil = w.pivots + w.soloLen;
    ++w.soloRuns;
  } else {
    w.soloLen = 0;
  }
  w.teamWork = w.teamWait = 0;
  w.teamRuns = 0;
}

void MarkLastAppearance(Mat1<int32_t>& nop, int npe, int ne, int nnode) {
  Require(npe <= nop.rows && ne <= nop.cols,
          "MarkLastAppearance: connectivity of " + std::to_string(nop.rows) + " x " +
              std::to_string(nop.cols) + " entries is smaller than " + std::to_string(npe) + " x " +
              std::to_string(ne));
  std::vector<uint8_t> met(static_cast<std::size_t>(std::max(nnode, 0)) + 1, 0);
  for (int e = ne; e >= 1; --e) {
    int32_t* col = nop.col(e);
    for (int i = 0; i < npe; ++i) {
      const int32_t v = col[i];
      if (v == 0) continue;
      const int32_t a = v < 0 ? -v : v;
      if (a > nnode)
        Fatal("MarkLastAppearance: node " + std::to_string(a) + " of element " + std::to_string(e) +
              " is outside 1.." + std::to_string(nnode));
      if (!met[static_cast<std::size_t>(a)]) {
        met[static_cast<std::size_t>(a)] = 1;
        col[i] = -a;
      } else {
        col[i] = a;
      }
    }
  }
}

void RestoreConnectivity(Mat1<int32_t>& nop, int npe, int ne) {
  for (int e = 1; e <= ne; ++e) {
    int32_t* col = nop.col(e);
    for (int i = 0; i < npe; ++i) col[i] = col[i] < 0 ? -col[i] : col[i];
  }
}

bool FrontPlanFromCounts(int n, const Vec1<int32_t>& newIn, const Vec1<int32_t>& elimIn,
                         int64_t budget, FrontPlanStats& plan) {
  const int ne = newIn.size();
  if (ne < 1 || n < 1 || elimIn.size() != ne) return false;
  // Activated (A) and eliminated (E) unknowns after each element.
  std::vector<int64_t> A(static_cast<std::size_t>(ne) + 1, 0), E(static_cast<std::size_t>(ne) + 1, 0);
  for (int e = 1; e <= ne; ++e) {
    A[static_cast<std::size_t>(e)] = A[static_cast<std::size_t>(e - 1)] + newIn(e);
    E[static_cast<std::size_t>(e)] = E[static_cast<std::size_t>(e - 1)] + elimIn(e);
  }
  // Front of immediate elimination when element e+1 is assembled.
  int64_t W = A[1];
  for (int e = 1; e < ne; ++e)
    W = std::max(W, A[static_cast<std::size_t>(e)] - E[static_cast<std::size_t>(e)] + newIn(e + 1));

  const int64_t B = budget / 2;
  if (B < 3 * W + 3) return false;
  // Largest F with 2F^2 + 9F + 3 <= B, evaluated in single precision.
  const float root = std::sqrt(static_cast<float>(B) * 8.0f + 57.0f);
  int64_t F = static_cast<int64_t>(std::floor((root - 9.0f) / 4.0f));
  if (B < 3 * F + 3) F = (B - 3) / 3;
  F = std::min<int64_t>(F, n);
  if (F < W) return false;

  int64_t R = 0;
  for (int e = 1; e < ne; ++e)
    if (A[static_cast<std::size_t>(e + 1)] > W) R = std::max<int64_t>(R, newIn(e + 1));
  const int64_t limit = W - R;

  // Replay of the delayed elimination to size the equation store.
  const int64_t Bs = std::min(B - (2 * W * W + 6 * W), B);
  int64_t f = 0, s = 0, curI = 0, curR = 0, maxI = 0, maxR = 0, extra = 0;
  for (int e = 1; e <= ne; ++e) {
    f += newIn(e);
    s += elimIn(e);
    const bool lastE = (e == ne);
    while (!(f == 0 && lastE) && (f > limit || lastE) && s > 0) {
      const bool restart = (curI + 2 * curR) + 3 * f + 3 > Bs ||
                           std::max(maxI, curI + f + 3) + 2 * std::max(maxR, curR + f) > Bs;
      if (restart) {
        maxI = std::max(maxI, curI);
        maxR = std::max(maxR, curR);
        curI = curR = 0;
        ++extra;
      }
      curI += f + 3;
      curR += f;
      --f;
      --s;
    }
  }
  plan.FrontLimit = limit;
  plan.FrontDim = W;
  plan.IntStore = std::max(maxI, curI);
  plan.RealStore = std::max(maxR, curR);
  plan.ExtraBlocks = extra;
  return true;
}

void FrontStart(FrontWork& w, int n, int ncn, const FrontPlanStats& plan) {
  Require(plan.FrontDim >= 1 && plan.FrontDim <= n, "Out of memory in progon");
  w.n = n;
  w.ncn = ncn;
  w.limit = plan.FrontLimit;
  w.dim = static_cast<int>(plan.FrontDim);
  w.ld = (w.dim + 15) / 16 * 16;
  w.kernel = FrontKernelFor(w.path);
#ifdef _OPENMP
  w.threads = std::clamp(w.threads, 1, omp_get_num_procs());
#else
  w.threads = 1;
#endif
  const std::size_t dim = static_cast<std::size_t>(w.dim);
  const std::size_t nu = static_cast<std::size_t>(n) + 1;
  const std::size_t mc = static_cast<std::size_t>(std::max(ncn, 1));
  Allocate(w.posC, nu, int32_t{-1}, "Out of memory 1");
  Allocate(w.posR, nu, int32_t{-1}, "Out of memory 1");
  Allocate(w.lm, mc, int32_t{0}, "Out of memory 2");
  Allocate(w.slotC, std::max(mc, dim), int32_t{0}, "Out of memory 3");
  Allocate(w.slotR, std::max(mc, dim), int32_t{0}, "Out of memory 4");
  Allocate(w.colU, dim, int32_t{0}, "Out of memory 5");
  Allocate(w.colT, dim, int64_t{0}, "Out of memory 5");
  Allocate(w.rowU, dim, int32_t{0}, "Out of memory 6");
  Allocate(w.rowT, dim, int64_t{0}, "Out of memory 6");
  Allocate(w.rmax, dim, uint32_t{0}, "Out of memory 8");
  Allocate(w.sol, nu, 0.0, "Out of memory 9");
  Allocate(w.prow, static_cast<std::size_t>(w.ld), 0.0, "Out of memory 10");
  if (w.kcap < 1) w.kcap = kPendingPivots;  // a caller may preset a smaller batch
  Allocate(w.L, dim * static_cast<std::size_t>(w.kcap), 0.0, "Out of memory 10");
  Allocate(w.U, static_cast<std::size_t>(w.kcap) * static_cast<std::size_t>(w.ld), 0.0, "Out of memory 10");
  Allocate(w.eqBuf, dim * static_cast<std::size_t>(w.ld) + 16, 0.0f, "Out of memory, eq");
  {
    std::uintptr_t a = reinterpret_cast<std::uintptr_t>(w.eqBuf.data());
    w.eq = w.eqBuf.data() + ((64 - a % 64) % 64) / sizeof(float);
  }
  AllocateStore(w.istor, w.icap, static_cast<std::size_t>(std::max<int64_t>(plan.IntStore, 0)),
                "Out of memory, istor");
  AllocateStore(w.astor, w.acap, static_cast<std::size_t>(std::max<int64_t>(plan.RealStore, 0)),
                "Out of memory, astor");
  Allocate(w.fsNew, mc, int32_t{0}, "Out of memory 7");
  w.colOps.reserve(3 * mc);
  Allocate(w.ug, (static_cast<std::size_t>(w.kcap) + 1) * mc, 0.0, "Out of memory 10");
  Allocate(w.est, mc * mc, 0.0, "Out of memory, est");
  Allocate(w.r, mc, 0.0, "Out of memory, r(ncn)");
}

void FrontAssemble(FrontWork& w, int m, double* r1) {
  const int32_t* lm = w.lm.data();
  w.rmaxValid = false;
  w.nfsNew = 0;
  for (int i = 0; i < m; ++i)
    if (lm[i] != 0) PlaceColumn(w, lm[i], w.stamp + i + 1);
  ApplyColumnOps(w);
  if (w.nfsNew > 0) {
    // Columns that became fully summed: pending update applied in one pass.
    int32_t* slots = w.fsNew.data();
    for (int j = 0; j < w.nfsNew; ++j) slots[j] = w.posC[slots[j]];
    FlushColumns(w, slots, w.nfsNew);
  }
  for (int i = 0; i < m; ++i)
    if (lm[i] != 0) PlaceRow(w, lm[i], w.stamp + i + 1);
  w.stamp += m;
  int32_t* sc = w.slotC.data();
  int32_t* sr = w.slotR.data();
  for (int i = 0; i < m; ++i) {
    const int32_t u = lm[i];
    sc[i] = u == 0 ? -1 : w.posC[Abs(u)];
    sr[i] = u == 0 ? -1 : w.posR[Abs(u)];
  }
  const double* est = w.est.data();
  for (int jj = 0; jj < m; ++jj) {
    const int cs = sc[jj];
    if (cs < 0) continue;
    const double* ej = est + static_cast<std::size_t>(jj) * w.ncn;
    for (int i = 0; i < m; ++i) {
      const double v = ej[i];
      if (v == 0.0 || sr[i] < 0) continue;
      float& x = Row(w, sr[i])[cs];
      x = static_cast<float>(static_cast<double>(x) + v);
    }
  }
  for (int i = 0; i < m; ++i)
    if (lm[i] != 0) r1[Abs(lm[i]) - 1] += w.r[static_cast<std::size_t>(i)];
}

void FrontEliminate(FrontWork& w, bool last, double* r1) {
  if (!last && w.nr <= w.limit) return;
  for (;;) {
    if (w.nr == w.nrN) {
      if (last && w.nr > 0)
        Fatal("progon: " + std::to_string(w.nr) +
              " unknowns remain without a last appearance; the connectivity was not marked");
      break;
    }
    EliminateOne(w, r1);
    if (w.nr > w.limit) continue;
    if (!last || w.nr == 0) break;
  }
  if (w.nrN == 0) w.kb = 0;  // no leading block left to update
}

void FrontBackSubstitute(FrontWork& w, double* r1) {
  const int32_t* is = w.istor.get();
  const float* as = w.astor.get();
  double* sol = w.sol.data();
  std::size_t ip = w.ip, ap = w.ap;
  while (ip > 0) {
    const int c = is[ip - 1];
    const int q = is[ip - 2] - 1;
    const int d = is[ip - 3];
    const int32_t* cols = is + ip - 3 - c;
    const float* p = as + ap - c;
    double s = r1[d - 1];
    for (int k = 0; k < q; ++k) s -= static_cast<double>(p[k]) * sol[Abs(cols[k])];
    for (int k = q + 1; k < c; ++k) s -= static_cast<double>(p[k]) * sol[Abs(cols[k])];
    sol[Abs(cols[q])] = s;
    ip -= static_cast<std::size_t>(c) + 3;
    ap -= static_cast<std::size_t>(c);
  }
  for (int i = 1; i <= w.n; ++i) r1[i - 1] = sol[i];
}
