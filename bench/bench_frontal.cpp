// Benchmark of the frontal solver against two sparse direct solvers:
// UMFPACK of SuiteSparse and, where installed, sequential MUMPS (both take
// their dense kernels from the system BLAS, OpenBLAS when installed).
//
//   bench_frontal [--threads T] [--repeat R] [--portable | --avx2] [--progon-only] N1 [N2 ...]
//   bench_frontal --kernels [--repeat R]
//
// For each size N it builds a finite-element system of about N unknowns on a
// structured box mesh of 15-node wedges: m x m squares per cross-section,
// each split into two triangles, extruded into nz layers along z (about four
// times as long as wide, elements ordered layer by layer like an extruded
// mesh).  The same stored element matrices are solved by progon (mark and
// plan, assembly and elimination, back-substitution), by UMFPACK (triplet
// conversion, symbolic, numeric and solve phases) and by MUMPS from element
// input (analysis, factorization, solve); every phase is timed, each solver
// runs R times (default 1) and the smallest wall time counts.  T threads
// (default 1) are given to progon's dense updates and to OpenBLAS.  The
// relative residuals ||A x - b|| / ||b|| are computed in double with the
// assembled matrix.  The last line of each size:
//   unknowns= front= progon_s= umfpack_s= mumps_s= ratio_umfpack= ratio_mumps=
//   progon_residual= umfpack_residual= mumps_residual=
// (one line; the MUMPS values are nan when the benchmark was built without it).
//
// --portable and --avx2 choose progon's kernels (by default the widest vector
// path the processor has).  --kernels times the dense kernels of the front
// alone on every path the processor has, on a front of 1304 rows with 64 pending pivots, and prints their
// GFlop/s from the thread's processor time.

#include <dlfcn.h>
#include <time.h>
#include <umfpack.h>
#ifdef KALMORA_BENCH_MUMPS
#include <dmumps_c.h>
#endif

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/records.h"
#include "solver/frontal.h"
#include "solver/sol_def.h"
#include "sparse_residual.h"
#include "support/wedge_box.h"
#ifdef KALMORA_BENCH_FLOW
#include "fem/elements.h"
#include "solver/flow_element.h"
#endif

namespace {

constexpr int kAspect = 4;        // layers per cross-section square count
constexpr double kCell = 10.0;    // edge length of a square and layer height, mm

// ---------------------------------------------------------------------------
// Structured wedge mesh of m x m squares and nz layers of edge kCell,
// corner nodes numbered first, counter-clockwise triangles.

struct BoxMesh {
  int m = 0, nz = 0;
  Mesh3d g;
};

void BuildBoxMesh(int m, int nz, BoxMesh& b) {
  b.m = m;
  b.nz = nz;
  BuildWedgeBox(b.g, m, nz, kCell * m, kCell * m, kCell * nz, false);
}

// ---------------------------------------------------------------------------
// The problem: unknown lists and element matrices.

enum class Problem { Conduction, Flow };

struct Bench {
  Problem problem = Problem::Conduction;
  BoxMesh mesh;
  int n = 0;    // unknowns
  int ncn = 0;  // largest element size
#ifdef KALMORA_BENCH_FLOW
  ElementTables tab;  // element library
  MeshRecord rec;     // flow mesh record: the box mesh with zero nodal fields
  InpDat inp;         // material with the constant viscosity 1/3 MPa s (no flow stress law)
#endif
};

// Signed unknown list of element k from the (possibly marked) connectivity.
int ElementUnknowns(const Bench& b, int k, int32_t* lm) {
  const Mesh3d& g = b.mesh.g;
  if (b.problem == Problem::Conduction) {
    for (int a = 1; a <= 15; ++a) lm[a - 1] = g.nop(a, k);
    return 15;
  }
  for (int a = 1; a <= 15; ++a) {
    const int32_t v = g.nop(a, k), s = v < 0 ? -1 : 1, i = v < 0 ? -v : v;
    lm[a - 1] = s * i;
    lm[15 + a - 1] = s * (g.nh + i);
    lm[30 + a - 1] = s * (2 * g.nh + i);
    if (a <= 6) lm[45 + a - 1] = s * (3 * g.nh + i);
  }
  return 51;
}

// Values and derivatives of the 15 wedge functions at (L1, L2, zeta) with
// L3 = 1 - L1 - L2; derivatives by L1, L2 (at fixed zeta) and zeta.
void Wedge15(double l1, double l2, double z, double N[15], double d1[15], double d2[15], double d3[15]) {
  const double L[3] = {l1, l2, 1.0 - l1 - l2};
  const double dL1[3] = {1, 0, -1}, dL2[3] = {0, 1, -1};
  const double zs[2] = {-1.0, 1.0};
  for (int h = 0; h < 2; ++h) {
    const double zf = 1.0 + zs[h] * z;  // 1 -+ zeta
    for (int i = 0; i < 3; ++i) {
      const int a = 3 * h + i;
      const double Li = L[i];
      N[a] = 0.5 * Li * (2 * Li - 1) * zf - 0.5 * Li * (1 - z * z);
      const double dLi = 0.5 * (4 * Li - 1) * zf - 0.5 * (1 - z * z);
      d1[a] = dLi * dL1[i];
      d2[a] = dLi * dL2[i];
      d3[a] = 0.5 * Li * (2 * Li - 1) * zs[h] + Li * z;
    }
    // Mid-sides of the triangle edges 1-3, 1-2, 2-3 at this end.
    const int edges[3][2] = {{0, 2}, {0, 1}, {1, 2}};
    for (int q = 0; q < 3; ++q) {
      const int a = (h == 0 ? 6 : 12) + q, i = edges[q][0], j = edges[q][1];
      N[a] = 2 * L[i] * L[j] * zf;
      d1[a] = 2 * (dL1[i] * L[j] + L[i] * dL1[j]) * zf;
      d2[a] = 2 * (dL2[i] * L[j] + L[i] * dL2[j]) * zf;
      d3[a] = 2 * L[i] * L[j] * zs[h];
    }
  }
  for (int i = 0; i < 3; ++i) {  // mid-height points of the vertical edges
    N[9 + i] = L[i] * (1 - z * z);
    d1[9 + i] = dL1[i] * (1 - z * z);
    d2[9 + i] = dL2[i] * (1 - z * z);
    d3[9 + i] = -2 * L[i] * z;
  }
}

// Conduction element: est(a, b) = integral of k grad N_a . grad N_b, r(a) =
// integral of a volume source q times N_a (k = 0.2 W/(mm K), q = 1e-4 W/mm^3) (6-point triangle rule times
// 3-point Gauss rule along zeta).  Returns the unknown count.
int ConductionElement(const Bench& b, int k, double* est, int ld, double* r) {
  static constexpr double ta = 0.445948490915965, tb = 0.091576213509771;
  static constexpr double wa = 0.223381589678011 / 2, wb = 0.109951743655322 / 2;
  const double tp[6][3] = {{ta, ta, wa}, {1 - 2 * ta, ta, wa}, {ta, 1 - 2 * ta, wa},
                           {tb, tb, wb}, {1 - 2 * tb, tb, wb}, {tb, 1 - 2 * tb, wb}};
  const double gz[3] = {-std::sqrt(0.6), 0.0, std::sqrt(0.6)}, gw[3] = {5.0 / 9, 8.0 / 9, 5.0 / 9};
  const Mesh3d& g = b.mesh.g;
  double x[15][3];
  for (int a = 0; a < 15; ++a) {
    const int v = std::abs(g.nop(a + 1, k));
    for (int c = 0; c < 3; ++c) x[a][c] = g.xyz(c + 1, v);
  }
  for (const auto& t : tp)
    for (int q = 0; q < 3; ++q) {
      double N[15], d[3][15];
      Wedge15(t[0], t[1], gz[q], N, d[0], d[1], d[2]);
      double J[3][3] = {};
      for (int mm = 0; mm < 3; ++mm)
        for (int c = 0; c < 3; ++c)
          for (int a = 0; a < 15; ++a) J[mm][c] += d[mm][a] * x[a][c];
      const double det = J[0][0] * (J[1][1] * J[2][2] - J[1][2] * J[2][1]) -
                         J[0][1] * (J[1][0] * J[2][2] - J[1][2] * J[2][0]) +
                         J[0][2] * (J[1][0] * J[2][1] - J[1][1] * J[2][0]);
      double Ji[3][3];  // inverse of J
      Ji[0][0] = (J[1][1] * J[2][2] - J[1][2] * J[2][1]) / det;
      Ji[0][1] = (J[0][2] * J[2][1] - J[0][1] * J[2][2]) / det;
      Ji[0][2] = (J[0][1] * J[1][2] - J[0][2] * J[1][1]) / det;
      Ji[1][0] = (J[1][2] * J[2][0] - J[1][0] * J[2][2]) / det;
      Ji[1][1] = (J[0][0] * J[2][2] - J[0][2] * J[2][0]) / det;
      Ji[1][2] = (J[0][2] * J[1][0] - J[0][0] * J[1][2]) / det;
      Ji[2][0] = (J[1][0] * J[2][1] - J[1][1] * J[2][0]) / det;
      Ji[2][1] = (J[0][1] * J[2][0] - J[0][0] * J[2][1]) / det;
      Ji[2][2] = (J[0][0] * J[1][1] - J[0][1] * J[1][0]) / det;
      double G[15][3];  // global gradients: grad = J^-1 local derivatives
      for (int a = 0; a < 15; ++a)
        for (int c = 0; c < 3; ++c) G[a][c] = Ji[c][0] * d[0][a] + Ji[c][1] * d[1][a] + Ji[c][2] * d[2][a];
      const double wgt = t[2] * gw[q] * std::fabs(det);
      for (int bb = 0; bb < 15; ++bb)
        for (int a = 0; a < 15; ++a)
          est[bb * ld + a] += 0.2 * wgt * (G[a][0] * G[bb][0] + G[a][1] * G[bb][1] + G[a][2] * G[bb][2]);
      for (int a = 0; a < 15; ++a) r[a] += 1e-4 * wgt * N[a];
    }
  return 15;
}

// The one source of element matrices: est (leading dimension ld) and r of
// element k, before boundary conditions.  Returns the unknown count.
int ElementMatrix(const Bench& b, int k, double* est, int ld, double* r) {
#ifdef KALMORA_BENCH_FLOW
  if (b.problem == Problem::Flow) return FlowElementMatrix(b.tab, b.rec, b.inp.setup, k, est, ld);
#endif
  return ConductionElement(b, k, est, ld, r);
}

// Prescribed value of element unknown u (positive), or false when u is
// free.  Conduction: temperatures on both ends (deg C).  Flow: the three
// velocity components on the z = 0 end (mm/s), the rest of the surface free.
bool Prescribed(const Bench& b, int u, double& value) {
  const Mesh3d& g = b.mesh.g;
  const int node = b.problem == Problem::Conduction ? u : (u - 1) % g.nh + 1;
  const int comp = b.problem == Problem::Conduction ? 0 : (u - 1) / g.nh;
  const double x = g.xyz(1, node), y = g.xyz(2, node), z = g.xyz(3, node);
  if (b.problem == Problem::Conduction) {
    if (z == 0.0) value = 450.0 + 0.05 * x + 0.02 * y;
    else if (z == kCell * b.mesh.nz) value = 480.0;
    else return false;
    return true;
  }
  if (comp == 3 || z != 0.0) return false;
  value = comp == 0 ? 0.01 * y : comp == 1 ? 0.0 : 1.0 + 0.02 * x;
  return true;
}

// Stored element systems with the boundary conditions built in (clear the
// row but the diagonal, right-hand side diagonal x value, move the column
// times the value to the right-hand side).
struct ElementSet {
  int ncn = 0;
  std::vector<double> K, F;

  const double* Ke(int k) const { return K.data() + static_cast<std::size_t>(k - 1) * ncn * ncn; }
  const double* Fe(int k) const { return F.data() + static_cast<std::size_t>(k - 1) * ncn; }
};

void BuildElementSet(const Bench& b, ElementSet& s) {
  const int ne = b.mesh.g.ne, ld = b.ncn;
  s.ncn = ld;
  s.K.assign(static_cast<std::size_t>(ne) * ld * ld, 0.0);
  s.F.assign(static_cast<std::size_t>(ne) * ld, 0.0);
  std::vector<int32_t> lm(static_cast<std::size_t>(ld));
  for (int k = 1; k <= ne; ++k) {
    double* est = s.K.data() + static_cast<std::size_t>(k - 1) * ld * ld;
    double* r = s.F.data() + static_cast<std::size_t>(k - 1) * ld;
    const int m = ElementMatrix(b, k, est, ld, r);
    ElementUnknowns(b, k, lm.data());
    for (int i = 0; i < m; ++i) {
      double w = 0;
      if (!Prescribed(b, std::abs(lm[i]), w)) continue;
      for (int j = 0; j < m; ++j)
        if (j != i) est[j * ld + i] = 0.0;
      r[i] = est[i * ld + i] * w;
      for (int q = 0; q < m; ++q) {
        if (q == i) continue;
        r[q] -= est[i * ld + q] * w;
        est[i * ld + q] = 0.0;
      }
    }
  }
}

// Element routine of the frontal solver over the stored systems.
struct StoredElements {
  const Bench* b;
  const ElementSet* s;
  int Unknowns(int k, int32_t* lm) { return ElementUnknowns(*b, k, lm); }
  int System(int k, int32_t* lm, double* est, int ld, double* r) {
    const int m = ElementUnknowns(*b, k, lm);
    const double* K = s->Ke(k);
    for (int j = 0; j < m; ++j) std::copy(K + j * s->ncn, K + j * s->ncn + m, est + j * ld);
    std::copy(s->Fe(k), s->Fe(k) + m, r);
    return m;
  }
};

double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Processor time of the process (all threads) and of the calling thread, s.
double CpuSeconds(clockid_t id) {
  timespec ts{};
  clock_gettime(id, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Unknowns of an m x m x nz box.
long Unknowns(Problem p, long m, long nz) {
  const long plane = (2 * m + 1) * (2 * m + 1), mid = (m + 1) * (m + 1);
  const long nh = (nz + 1) * plane + nz * mid;
  return p == Problem::Conduction ? nh : 3 * nh + (nz + 1) * mid;
}

// OpenBLAS thread count, when the BLAS in use is OpenBLAS (looked up at run
// time so that any BLAS links).  Returns the library's configuration text or
// "not OpenBLAS".
std::string SetBlasThreads(int threads) {
  using SetFn = void (*)(int);
  using ConfigFn = char* (*)();
  auto set = reinterpret_cast<SetFn>(dlsym(RTLD_DEFAULT, "openblas_set_num_threads"));
  auto config = reinterpret_cast<ConfigFn>(dlsym(RTLD_DEFAULT, "openblas_get_config"));
  if (set) set(threads);
  return config ? std::string(config()) : std::string("not OpenBLAS");
}

// Wall time of one phase: the smallest over the repeats.
struct Phase {
  const char* name;
  double best = std::numeric_limits<double>::infinity();
  void Keep(double t) { best = std::min(best, t); }
};

void PrintPhases(const char* solver, const std::vector<Phase>& ph, double total, double cpu) {
  std::printf(" %s phases:", solver);
  for (const Phase& p : ph) std::printf(" %s %.3f", p.name, p.best);
  std::printf(" s; total %.3f s wall, %.3f s processor\n", total, cpu);
}

struct Options {
  int threads = 1;       // threads of progon's dense updates and of OpenBLAS
  int repeat = 1;        // runs of each solver; the fastest counts
  FrontPath path = FrontPath::Auto; // progon's kernel path
  bool progonOnly = false; // the reference solvers are not run
};

// progon step by step as the field solves run it (mark, plan, numeric
// phase, back-substitution, restore), with the time of each step.
void RunProgon(const Bench& b, const ElementSet& es, const Options& o, Mesh3d& g, std::vector<double>& x,
               FrontPlanStats& plan, double& total, double& cpu, std::vector<Phase>& ph, FrontWork& stats) {
  StoredElements elem{&b, &es};
  const int n = b.n;
  total = std::numeric_limits<double>::infinity();
  cpu = total;
  for (int rep = 0; rep < o.repeat; ++rep) {
    const double c0 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    auto t0 = std::chrono::steady_clock::now();
    MarkLastAppearance(g.nop, 15, g.ne, g.nh);
    plan = FrontPlanStats{};
    if (!FrontPlan(n, b.ncn, elem, g.ne, 2048000000, plan)) {
      std::fprintf(stderr, "FrontPlan failed\n");
      std::exit(1);
    }
    const double tPlan = Seconds(t0);
    FrontWork w;
    w.threads = o.threads;
    w.path = o.path;
    std::vector<double> r1(static_cast<std::size_t>(n), 0.0);
    FrontStart(w, n, b.ncn, plan);
    const std::size_t esz = static_cast<std::size_t>(b.ncn) * static_cast<std::size_t>(b.ncn);
    for (int k = 1; k <= g.ne; ++k) {
      std::fill(w.est.begin(), w.est.begin() + static_cast<std::ptrdiff_t>(esz), 0.0);
      std::fill(w.r.begin(), w.r.end(), 0.0);
      const int m = elem.System(k, w.lm.data(), w.est.data(), b.ncn, w.r.data());
      FrontAssemble(w, m, r1.data());
      FrontEliminate(w, k == g.ne, r1.data());
    }
    const double tFactor = Seconds(t0);
    FrontBackSubstitute(w, r1.data());
    RestoreConnectivity(g.nop, 15, g.ne);
    const double tAll = Seconds(t0);
    cpu = std::min(cpu, CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - c0);
    ph[0].Keep(tPlan);
    ph[1].Keep(tFactor - tPlan);
    ph[2].Keep(tAll - tFactor);
    if (tAll < total) {
      total = tAll;
      x = r1;
      stats.flopsBlock = w.flopsBlock;
      stats.flopsRows = w.flopsRows;
      stats.flopsFlush = w.flopsFlush;
      stats.kernel = w.kernel;
      stats.threads = w.threads;
    }
  }
}

bool RunUmfpack(int n, const std::vector<int>& Ti, const std::vector<int>& Tj, const std::vector<double>& Tx,
                const std::vector<double>& rhs, const Options& o, std::vector<int>& Ap, std::vector<int>& Ai,
                std::vector<double>& Ax, std::vector<double>& x, double& total, double& cpu,
                std::vector<Phase>& ph) {
  const int nz = static_cast<int>(Tx.size());
  Ap.assign(static_cast<std::size_t>(n) + 1, 0);
  Ai.assign(static_cast<std::size_t>(nz), 0);
  Ax.assign(static_cast<std::size_t>(nz), 0.0);
  x.assign(static_cast<std::size_t>(n), 0.0);
  total = std::numeric_limits<double>::infinity();
  cpu = total;
  for (int rep = 0; rep < o.repeat; ++rep) {
    void *symb = nullptr, *num = nullptr;
    double t[4];
    const double c0 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    auto t0 = std::chrono::steady_clock::now();
    int st = umfpack_di_triplet_to_col(n, n, nz, Ti.data(), Tj.data(), Tx.data(), Ap.data(), Ai.data(), Ax.data(),
                                       nullptr);
    t[0] = Seconds(t0);
    if (st == UMFPACK_OK) st = umfpack_di_symbolic(n, n, Ap.data(), Ai.data(), Ax.data(), &symb, nullptr, nullptr);
    t[1] = Seconds(t0);
    if (st == UMFPACK_OK) st = umfpack_di_numeric(Ap.data(), Ai.data(), Ax.data(), symb, &num, nullptr, nullptr);
    t[2] = Seconds(t0);
    if (st == UMFPACK_OK)
      st = umfpack_di_solve(UMFPACK_A, Ap.data(), Ai.data(), Ax.data(), x.data(), rhs.data(), num, nullptr, nullptr);
    t[3] = Seconds(t0);
    umfpack_di_free_symbolic(&symb);
    umfpack_di_free_numeric(&num);
    cpu = std::min(cpu, CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - c0);
    if (st != UMFPACK_OK) {
      std::fprintf(stderr, "UMFPACK failed with status %d\n", st);
      return false;
    }
    ph[0].Keep(t[0]);
    ph[1].Keep(t[1] - t[0]);
    ph[2].Keep(t[2] - t[1]);
    ph[3].Keep(t[3] - t[2]);
    total = std::min(total, t[3]);
  }
  return true;
}

#ifdef KALMORA_BENCH_MUMPS
// MUMPS from element input: the unknowns and the full (unsymmetric) matrix
// of each element by columns, the right-hand side assembled.
bool RunMumps(const Bench& b, const ElementSet& es, const std::vector<double>& rhs, const Options& o,
              std::vector<double>& x, double& total, double& cpu, std::vector<Phase>& ph, double& flops) {
  const Mesh3d& g = b.mesh.g;
  std::vector<MUMPS_INT> eltptr(1, 1), eltvar;
  std::vector<double> aelt;
  std::vector<int32_t> lm(static_cast<std::size_t>(b.ncn));
  std::vector<int> keep;
  for (int k = 1; k <= g.ne; ++k) {
    const int m = ElementUnknowns(b, k, lm.data());
    keep.clear();
    for (int i = 0; i < m; ++i)
      if (lm[static_cast<std::size_t>(i)] != 0) keep.push_back(i);
    for (int i : keep) eltvar.push_back(std::abs(lm[static_cast<std::size_t>(i)]));
    const double* K = es.Ke(k);
    for (int j : keep)
      for (int i : keep) aelt.push_back(K[j * es.ncn + i]);
    eltptr.push_back(static_cast<MUMPS_INT>(eltvar.size()) + 1);
  }
  total = std::numeric_limits<double>::infinity();
  cpu = total;
  bool ok = true;
  for (int rep = 0; rep < o.repeat && ok; ++rep) {
    x = rhs;
    DMUMPS_STRUC_C id{};
    id.comm_fortran = -987654;  // the communicator of the sequential library
    id.par = 1;
    id.sym = 0;
    id.job = -1;
    dmumps_c(&id);
    id.icntl[0] = -1;  // no error, diagnostic or global output
    id.icntl[1] = -1;
    id.icntl[2] = -1;
    id.icntl[3] = 0;
    id.icntl[4] = 1;  // elemental input
    id.icntl[6] = 7;  // automatic choice of the ordering
    id.n = b.n;
    id.nelt = g.ne;
    id.eltptr = eltptr.data();
    id.eltvar = eltvar.data();
    id.a_elt = aelt.data();
    id.rhs = x.data();
    double t[3];
    const double c0 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    auto t0 = std::chrono::steady_clock::now();
    id.job = 1;
    dmumps_c(&id);
    t[0] = Seconds(t0);
    if (id.infog[0] >= 0) {
      id.job = 2;
      dmumps_c(&id);
    }
    t[1] = Seconds(t0);
    if (id.infog[0] >= 0) {
      id.job = 3;
      dmumps_c(&id);
    }
    t[2] = Seconds(t0);
    cpu = std::min(cpu, CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - c0);
    ok = id.infog[0] >= 0;
    if (!ok) std::fprintf(stderr, "MUMPS failed with INFOG(1)=%d INFOG(2)=%d\n", id.infog[0], id.infog[1]);
    if (ok && rep == 0)
      std::printf(" mumps: ordering INFOG(7)=%d, factor entries %lld, elimination flops %.3e\n", id.infog[6],
                  static_cast<long long>(id.infog[8]), id.rinfog[2]);
    flops = id.rinfog[2];
    id.job = -2;
    dmumps_c(&id);
    ph[0].Keep(t[0]);
    ph[1].Keep(t[1] - t[0]);
    ph[2].Keep(t[2] - t[1]);
    total = std::min(total, t[2]);
  }
  return ok;
}
#endif

int RunSize(long target, const Options& o) {
  Bench b;
#ifdef KALMORA_BENCH_FLOW
  b.problem = Problem::Flow;
#else
  b.problem = Problem::Conduction;
#endif
  b.ncn = b.problem == Problem::Conduction ? 15 : 51;
  int m = 1;
  while (Unknowns(b.problem, m + 1, kAspect * (m + 1)) <= target) ++m;
  const long perLayer = Unknowns(b.problem, m, 2) - Unknowns(b.problem, m, 1);
  const int nz = static_cast<int>(std::max(1L, std::lround(static_cast<double>(target - Unknowns(b.problem, m, 0)) /
                                                          static_cast<double>(perLayer))));
  BuildBoxMesh(m, nz, b.mesh);
  Mesh3d& g = b.mesh.g;
  b.n = static_cast<int>(Unknowns(b.problem, m, nz));
#ifdef KALMORA_BENCH_FLOW
  iniELEM(b.tab);
  b.rec.kind = 1;
  b.rec.g = g;
  b.rec.fld.assign(kNumFld, g.nh, 0.0f);
  b.inp.setup.mat.MatLaw = 0;
#endif
  std::printf(" problem=%s mesh=%dx%dx%d wedges=%d nodes=%d\n",
              b.problem == Problem::Conduction ? "conduction" : "flow", m, m, nz, g.ne, g.nh);

  ElementSet es;
  BuildElementSet(b, es);
  std::vector<double> rhs(static_cast<std::size_t>(b.n), 0.0);
  std::vector<int> Ti, Tj;
  std::vector<double> Tx;
  {
    std::vector<int32_t> lm(static_cast<std::size_t>(b.ncn));
    for (int k = 1; k <= g.ne; ++k) {
      const int mm = ElementUnknowns(b, k, lm.data());
      const double* K = es.Ke(k);
      for (int j = 0; j < mm; ++j)
        for (int i = 0; i < mm; ++i) {
          const double v = K[j * es.ncn + i];
          if (v == 0.0) continue;
          Ti.push_back(std::abs(lm[i]) - 1);
          Tj.push_back(std::abs(lm[j]) - 1);
          Tx.push_back(v);
        }
      for (int i = 0; i < mm; ++i) rhs[static_cast<std::size_t>(std::abs(lm[i]) - 1)] += es.Fe(k)[i];
    }
  }
  const int n = b.n;

  std::vector<double> xf, xu, xm;
  FrontPlanStats plan;
  FrontWork fs;
  double tF = 0, cF = 0;
  std::vector<Phase> phF = {{"mark+plan"}, {"assembly+elimination"}, {"back-substitution"}};
  RunProgon(b, es, o, g, xf, plan, tF, cF, phF, fs);
  std::printf(" plan: FrontLimit=%lld FrontDim=%lld IntStore=%lld RealStore=%lld ExtraBlocks=%lld\n",
              static_cast<long long>(plan.FrontLimit), static_cast<long long>(plan.FrontDim),
              static_cast<long long>(plan.IntStore), static_cast<long long>(plan.RealStore),
              static_cast<long long>(plan.ExtraBlocks));
  PrintPhases("progon", phF, tF, cF);
  const double flops = fs.flopsBlock + fs.flopsRows + fs.flopsFlush;
  std::printf(" progon: %s path, %d thread(s); flops block %.3e rows %.3e flush %.3e total %.3e = %.2f GFlop/s\n",
              FrontKernelName(fs.kernel), fs.threads, fs.flopsBlock, fs.flopsRows, fs.flopsFlush, flops,
              1e-9 * flops / phF[1].best);
  {
    // Fingerprint of the solution bits, to compare builds and thread counts.
    uint64_t h = 1469598103934665603ull;
    for (double v : xf) {
      uint64_t u;
      std::memcpy(&u, &v, sizeof u);
      h = (h ^ u) * 1099511628211ull;
    }
    std::printf(" progon solution fingerprint %016llx\n", static_cast<unsigned long long>(h));
  }

  std::vector<int> Ap, Ai;
  std::vector<double> Ax;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  double tU = nan, cU = 0, eU = nan;
  std::vector<Phase> phU = {{"triplets"}, {"symbolic"}, {"numeric"}, {"solve"}};
  if (o.progonOnly) {
    // Compressed columns for the residual only.
    Ap.assign(static_cast<std::size_t>(n) + 1, 0);
    Ai.assign(Tx.size(), 0);
    Ax.assign(Tx.size(), 0.0);
    umfpack_di_triplet_to_col(n, n, static_cast<int>(Tx.size()), Ti.data(), Tj.data(), Tx.data(), Ap.data(),
                              Ai.data(), Ax.data(), nullptr);
  } else {
    if (!RunUmfpack(n, Ti, Tj, Tx, rhs, o, Ap, Ai, Ax, xu, tU, cU, phU)) return 1;
    PrintPhases("umfpack", phU, tU, cU);
    eU = Residual(n, Ap, Ai, Ax, xu.data(), rhs);
  }

  double tM = nan, eM = nan;
#ifdef KALMORA_BENCH_MUMPS
  double cM = 0, flM = 0;
  std::vector<Phase> phM = {{"analysis"}, {"factorization"}, {"solve"}};
  if (!o.progonOnly) {
    if (!RunMumps(b, es, rhs, o, xm, tM, cM, phM, flM)) return 1;
    PrintPhases("mumps", phM, tM, cM);
    eM = Residual(n, Ap, Ai, Ax, xm.data(), rhs);
  }
#else
  std::printf(" mumps: not built (sequential MUMPS not found)\n");
#endif

  const double eF = Residual(n, Ap, Ai, Ax, xf.data(), rhs);
  std::printf("unknowns=%d front=%lld progon_s=%.3f umfpack_s=%.3f mumps_s=%.3f ratio_umfpack=%.2f ratio_mumps=%.2f "
              "progon_residual=%.2e umfpack_residual=%.2e mumps_residual=%.2e\n",
              n, static_cast<long long>(plan.FrontDim), tF, tU, tM, tF / tU, tF / tM, eF, eU, eM);
  std::fflush(stdout);
  return 0;
}

// GFlop/s of the dense kernels on one front, from the thread's processor
// time: the pending block product (1304 rows, 1304 columns, 64 pivots), the
// single-pivot row update (1304 rows of 1304 columns) and the batched row
// update (64 pivots, rounded after each, on 352 rows of 1304 columns).
void RunKernels(const Options& o) {
  constexpr int rows = 1304, cols = 1304, ld = 1312, k = 64;
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<float> eq(static_cast<std::size_t>(rows) * ld);
  std::vector<double> L(static_cast<std::size_t>(rows) * k), U(static_cast<std::size_t>(k) * ld, 0.0), p(ld);
  for (float& v : eq) v = static_cast<float>(u(rng));
  for (double& v : L) v = 1e-3 * u(rng);
  for (int t = 0; t < k; ++t)
    for (int c = 0; c < cols; ++c) U[static_cast<std::size_t>(t) * ld + c] = u(rng);
  for (double& v : p) v = u(rng);
  std::vector<int32_t> list(rows);
  for (int r = 0; r < rows; ++r) list[static_cast<std::size_t>(r)] = r;
  for (FrontKernel vec : {FrontKernel::Portable, FrontKernel::Avx2, FrontKernel::Avx512}) {
    if (!FrontKernelAvailable(vec)) continue;
    double best = 1e30, bestRow = 1e30, bestRows = 1e30;
    constexpr int batchRows = 352;
    for (int rep = 0; rep < std::max(o.repeat, 3); ++rep) {
      double c0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
      FrontBlockUpdate(vec, eq.data(), ld, list.data(), rows, 0, cols, L.data(), k, k, U.data(), ld);
      best = std::min(best, CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - c0);
      c0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
      for (int r = 0; r < rows; ++r)
        FrontRowUpdate(vec, eq.data() + static_cast<std::size_t>(r) * ld, p.data(), 1e-3 * (r % 7), cols);
      bestRow = std::min(bestRow, CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - c0);
      c0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
      for (int r = 0; r < batchRows; ++r)
        FrontRowUpdates(vec, eq.data() + static_cast<std::size_t>(r) * ld, U.data(), ld,
                        L.data() + static_cast<std::size_t>(r) * k, k, cols);
      bestRows = std::min(bestRows, CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - c0);
    }
    std::printf(" %-8s block update %.2f GFlop/s, row update %.2f GFlop/s, batched row update %.2f GFlop/s\n",
                FrontKernelName(vec), 2e-9 * rows * cols * k / best, 2e-9 * rows * cols / bestRow,
                2e-9 * batchRows * cols * k / bestRows);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::vector<long> sizes;
  bool kernels = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--threads" && i + 1 < argc) o.threads = std::max(1, std::atoi(argv[++i]));
    else if (a == "--repeat" && i + 1 < argc) o.repeat = std::max(1, std::atoi(argv[++i]));
    else if (a == "--portable") o.path = FrontPath::Portable;
    else if (a == "--avx2") o.path = FrontPath::Avx2;
    else if (a == "--progon-only") o.progonOnly = true;
    else if (a == "--kernels") kernels = true;
    else if (std::atol(a.c_str()) >= 100) sizes.push_back(std::atol(a.c_str()));
    else {
      std::fprintf(stderr,
                   "usage: bench_frontal [--threads T] [--repeat R] [--portable | --avx2] [--progon-only] N1 [N2 ...]   "
                   "(N: approximate number of unknowns, at least 100)\n"
                   "       bench_frontal --kernels [--repeat R]\n");
      return 1;
    }
  }
  if (kernels) {
    RunKernels(o);
    return 0;
  }
  if (sizes.empty()) sizes.push_back(30000);
  const std::string blas = SetBlasThreads(o.threads);
  std::printf(" threads=%d repeat=%d blas: %s\n", o.threads, o.repeat, blas.c_str());
  for (long s : sizes)
    if (RunSize(s, o) != 0) return 1;
  return 0;
}
