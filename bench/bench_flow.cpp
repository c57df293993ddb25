// One flow solve of the bundled example: prepares the variant (cross-sections,
// flow mesh with boundary data), starts the flow iteration as the coupled
// solve does and runs one solve.  Prints the unknowns, the front, the time
// of assembling every element system alone, the time of the frontal solve
// (plan, assembly and elimination), the time of UMFPACK of SuiteSparse on
// the same assembled system, and the time of the program's sparse solver
// (MUMPS from the element systems, double precision) with its memory, with
// the relative residuals and the differences of the solutions.  Times are
// wall seconds; the frontal and the sparse solve are also given in
// processor seconds (the machine may be shared), the frontal one with its
// floating-point operations by kernel.
//   bench_flow [level] [--threads T] [--team-flops F] [--repeat R] [--portable | --avx2] [--ordering K]
//              [--outline FILE.olf [--section-level L]]
// (T threads for the frontal solver's dense updates and for the BLAS under
// the sparse solver, 1 by default;
// --outline: the example's process with the profile, ring and container
// of that outline file, the cross-section mesh at level L, by default the
// example's; --portable, --avx2: the frontal solver's kernels, by default the widest
// vector path the processor has; R runs of the frontal and of the sparse solve, the least processor time
// counts; F: the smallest update, in operations, shared out over the
// threads; K: the sparse solver's ordering as MUMPS numbers it, 0 AMD,
// 2 AMF, 3 SCOTCH, 4 PORD, 6 QAMD, 7 automatic.)
// Last two lines:
//   unknowns=N front=W assembly_s=Ta frontal_s=Tf frontal_cpu_s=Tc umfpack_s=Tu umfpack_cpu_s=Tuc ratio=R frontal_residual=E1 umfpack_residual=E2
//   unknowns=N front=W frontal_cpu_s=T1 sparse_cpu_s=T2 ratio_sparse=T2/T1 sparse_residual=E sparse_mib=M velocity_difference=D
// (sparse_mib: the factorisation's working storage as MUMPS reported it
// plus the element matrices handed over; velocity_difference: the largest
// difference of the frontal and the sparse velocities over the largest
// speed.)

#include <umfpack.h>

#ifdef KALMORA_BENCH_MUMPS
#include <dmumps_c.h>
#endif

#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <vector>

#include "example_case.h"
#include "sparse_residual.h"
#include "solver/flow_force.h"
#include "solver/flow_solve.h"
#include "solver/sol_def.h"
#include "solver/blas_core.h"
#include "solver/sparse_solve.h"
#include "driver/sweep_plan.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

}  // namespace

int main(int argc, char** argv) {
  // The BLAS kernels the program itself would run with (this may start the
  // benchmark again with OPENBLAS_CORETYPE set).
  RestartForBlasKernels(argv);
  int level = 0, threads = 1;
  int repeat = 1;
  double teamFlops = 0;
  FrontPath path = FrontPath::Auto;
  int ordering = -1;
  const char* outline = nullptr;
  int level2d = 0;
  for (int a = 1; a < argc; ++a) {
    if (std::strcmp(argv[a], "--threads") == 0 && a + 1 < argc) threads = std::atoi(argv[++a]);
    else if (std::strcmp(argv[a], "--portable") == 0) path = FrontPath::Portable;
    else if (std::strcmp(argv[a], "--avx2") == 0) path = FrontPath::Avx2;
    else if (std::strcmp(argv[a], "--team-flops") == 0 && a + 1 < argc) teamFlops = std::atof(argv[++a]);
    else if (std::strcmp(argv[a], "--repeat") == 0 && a + 1 < argc) repeat = std::max(1, std::atoi(argv[++a]));
    else if (std::strcmp(argv[a], "--ordering") == 0 && a + 1 < argc) ordering = std::atoi(argv[++a]);
    else if (std::strcmp(argv[a], "--outline") == 0 && a + 1 < argc) outline = argv[++a];
    else if (std::strcmp(argv[a], "--section-level") == 0 && a + 1 < argc) level2d = std::atoi(argv[++a]);
    else level = std::atoi(argv[a]);
  }
  ElementTables tab;
  iniELEM(tab);
  RunState run;
  if (outline != nullptr) PrepareBenchOutline("flow", outline, tab, run, level, level2d);
  else PrepareBenchExample("flow", tab, run, level, ExampleLevel::BeforeVariants);
  InpDat& d = run.inp_dat(1);
  MeshRecord& nodes = run.nodes(1);
  d.model.FricA = 0.9499999992549419;
  d.model.FricB = 0.05000000074505806;
  for (BndNode& r : nodes.bnd) r.penalty = static_cast<float>(d.model.PenaltyInit);
  ForceEval(nodes, tab, d);

  const Mesh3d& g = nodes.g;
  const int n = 3 * g.nh + g.np, ncn = 51;
  FlowElements elem{&tab, &nodes, &d};

  // Every element system alone, gathered as triplets for UMFPACK.
  std::vector<int> Ti, Tj;
  std::vector<double> Tx, rhs(static_cast<std::size_t>(n), 0.0);
  std::vector<double> est(static_cast<std::size_t>(ncn) * ncn), r(ncn);
  std::vector<int32_t> lm(ncn);
  auto t0 = std::chrono::steady_clock::now();
  for (int k = 1; k <= g.ne; ++k) {
    std::fill(r.begin(), r.end(), 0.0);
    elem.System(k, lm.data(), est.data(), ncn, r.data());
  }
  const double tAsm = Seconds(t0);
  for (int k = 1; k <= g.ne; ++k) {
    std::fill(r.begin(), r.end(), 0.0);
    const int m = elem.System(k, lm.data(), est.data(), ncn, r.data());
    for (int j = 0; j < m; ++j)
      for (int i = 0; i < m; ++i) {
        const double v = est[static_cast<std::size_t>(j) * ncn + static_cast<std::size_t>(i)];
        if (v == 0.0) continue;
        Ti.push_back(std::abs(lm[static_cast<std::size_t>(i)]) - 1);
        Tj.push_back(std::abs(lm[static_cast<std::size_t>(j)]) - 1);
        Tx.push_back(v);
      }
    for (int i = 0; i < m; ++i) rhs[static_cast<std::size_t>(std::abs(lm[static_cast<std::size_t>(i)]) - 1)] += r[static_cast<std::size_t>(i)];
  }

  // Frontal solver on the same element systems, step by step as
  // FrontalSolve runs it (mark, plan, numeric phase, back-substitution);
  // the run of least processor time counts.
  Vec1<double> r1;
  FrontPlanStats plan{};
  FrontWork w;
  double tFront = 1e30, cFront = 1e30;
  auto solve = [&](double& tBest, double& cBest) {
    FrontWork ws;
    ws.threads = threads;
    ws.path = path;
    if (teamFlops > 0) ws.teamFlops = teamFlops;
    const double c0 = CpuSeconds();
    const auto ts = std::chrono::steady_clock::now();
    MarkLastAppearance(nodes.g.nop, g.npe, g.ne, g.nh);
    plan = FrontPlanStats{};
    if (!FrontPlan(n, ncn, elem, g.ne, d.solve.MemBudget, plan)) {
      std::fprintf(stderr, "FrontPlan failed\n");
      std::exit(1);
    }
    AllocateR1(r1, n);
    FrontStart(ws, n, ncn, plan);
    const std::size_t esz = static_cast<std::size_t>(ncn) * static_cast<std::size_t>(ncn);
    for (int k = 1; k <= g.ne; ++k) {
      std::fill(ws.est.begin(), ws.est.begin() + static_cast<std::ptrdiff_t>(esz), 0.0);
      std::fill(ws.r.begin(), ws.r.end(), 0.0);
      const int m = elem.System(k, ws.lm.data(), ws.est.data(), ncn, ws.r.data());
      FrontAssemble(ws, m, r1.data());
      FrontEliminate(ws, k == g.ne, r1.data());
    }
    FrontBackSubstitute(ws, r1.data());
    RestoreConnectivity(nodes.g.nop, g.npe, g.ne);
    tBest = std::min(tBest, Seconds(ts));
    const double c = CpuSeconds() - c0;
    if (c < cBest) {
      cBest = c;
      w.flopsBlock = ws.flopsBlock;
      w.flopsRows = ws.flopsRows;
      w.flopsFlush = ws.flopsFlush;
      w.kernel = ws.kernel;
      w.threads = ws.threads;
    }
  };
  for (int rep = 0; rep < repeat; ++rep) solve(tFront, cFront);
  const double flops = w.flopsBlock + w.flopsRows + w.flopsFlush;

  // The program's sparse solver on the same element systems: gathering them
  // (every element matrix computed again) and the solve, as a field solve
  // runs it.
  ElementalSystem sys;
  SparseSolveStats sst{};
  double tSparse = 1e30, cSparse = 1e30, cGather = 1e30;
  if (SparseSolverAvailable()) {
    for (int rep = 0; rep < repeat; ++rep) {
      const double c0 = CpuSeconds();
      const auto ts = std::chrono::steady_clock::now();
      if (!GatherElementalSystem(n, ncn, elem, g.ne, sys)) {
        std::fprintf(stderr, "sparse solver: out of memory gathering the element systems\n");
        return 1;
      }
      const double cg = CpuSeconds() - c0;
      SparseSolveStats st{};
      const SparseOutcome out = SparseSolveElemental(sys, st, ordering, threads);
      if (out.status != SparseStatus::Solved) {
        std::fprintf(stderr, "sparse solver failed: status %d, MUMPS error %d, %d\n", static_cast<int>(out.status),
                     out.info1, out.info2);
        return 1;
      }
      tSparse = std::min(tSparse, Seconds(ts));
      const double c = CpuSeconds() - c0;
      if (c < cSparse) {
        cSparse = c;
        cGather = cg;
        sst = st;
      }
    }
  }

  // The analysis alone (the SCOTCH ordering of the element graph and the
  // symbolic factorisation): the share of a solve that depends on the mesh
  // only.
  double cAnalyse = 1e30;
  if (SparseSolverAvailable()) {
    for (int rep = 0; rep < repeat; ++rep) {
      SparseSolveStats st{};
      const double c0 = CpuSeconds();
      SparseAnalyse(sys, st);
      cAnalyse = std::min(cAnalyse, CpuSeconds() - c0);
    }
  }

  const int nz = static_cast<int>(Tx.size());
  std::vector<int> Ap(static_cast<std::size_t>(n) + 1), Ai(static_cast<std::size_t>(nz));
  std::vector<double> Ax(static_cast<std::size_t>(nz)), xu(static_cast<std::size_t>(n));
  void *symb = nullptr, *num = nullptr;
  const double cu0 = CpuSeconds();
  t0 = std::chrono::steady_clock::now();
  int st = umfpack_di_triplet_to_col(n, n, nz, Ti.data(), Tj.data(), Tx.data(), Ap.data(), Ai.data(), Ax.data(), nullptr);
  if (st == UMFPACK_OK) st = umfpack_di_symbolic(n, n, Ap.data(), Ai.data(), Ax.data(), &symb, nullptr, nullptr);
  if (st == UMFPACK_OK) st = umfpack_di_numeric(Ap.data(), Ai.data(), Ax.data(), symb, &num, nullptr, nullptr);
  if (st == UMFPACK_OK)
    st = umfpack_di_solve(UMFPACK_A, Ap.data(), Ai.data(), Ax.data(), xu.data(), rhs.data(), num, nullptr, nullptr);
  const double tUmf = Seconds(t0);
  const double cUmf = CpuSeconds() - cu0;
  umfpack_di_free_symbolic(&symb);
  umfpack_di_free_numeric(&num);
  if (st != UMFPACK_OK) {
    std::fprintf(stderr, "UMFPACK failed with status %d\n", st);
    return 1;
  }
  std::printf(" mesh: nodes=%d corner_nodes=%d wedges=%d level=%d section_level=%d\n", g.nh, g.np, g.ne, d.setup.MeshLevel3d,
              d.setup.MeshLevel);
  std::printf(" plan: FrontLimit=%lld FrontDim=%lld IntStore=%lld RealStore=%lld ExtraBlocks=%lld\n",
              static_cast<long long>(plan.FrontLimit), static_cast<long long>(plan.FrontDim),
              static_cast<long long>(plan.IntStore), static_cast<long long>(plan.RealStore),
              static_cast<long long>(plan.ExtraBlocks));
  // Largest differences of the two solutions: velocities relative to the
  // largest speed, pressures relative to the largest pressure magnitude.
  double dv = 0, vmax = 0, dp = 0, pmax = 0;
  for (int i = 0; i < 3 * g.nh; ++i) {
    dv = std::max(dv, std::fabs(r1.data()[i] - xu[static_cast<std::size_t>(i)]));
    vmax = std::max(vmax, std::fabs(xu[static_cast<std::size_t>(i)]));
  }
  for (int i = 3 * g.nh; i < n; ++i) {
    dp = std::max(dp, std::fabs(r1.data()[i] - xu[static_cast<std::size_t>(i)]));
    pmax = std::max(pmax, std::fabs(xu[static_cast<std::size_t>(i)]));
  }
  std::printf(" frontal: %s path, %d thread(s); flops block %.3e rows %.3e flush %.3e total %.3e = %.2f GFlop/s "
              "of processor time\n",
              FrontKernelName(w.kernel), w.threads, w.flopsBlock, w.flopsRows, w.flopsFlush, flops,
              1e-9 * flops / cFront);
  {
    // Fingerprint of the solution bits, to compare builds and thread counts.
    uint64_t h = 1469598103934665603ull;
    for (int i = 0; i < n; ++i) {
      uint64_t u;
      std::memcpy(&u, r1.data() + i, sizeof u);
      h = (h ^ u) * 1099511628211ull;
    }
    std::printf(" frontal solution fingerprint %016llx\n", static_cast<unsigned long long>(h));
  }
  std::printf(" solution difference: velocity %.2e of the largest speed, pressure %.2e of the largest pressure\n",
              dv / vmax, dp / pmax);
  const double eF = Residual(n, Ap, Ai, Ax, r1.data(), rhs);
  const double eU = Residual(n, Ap, Ai, Ax, xu.data(), rhs);
  std::printf("unknowns=%d front=%lld assembly_s=%.3f frontal_s=%.3f frontal_cpu_s=%.3f umfpack_s=%.3f umfpack_cpu_s=%.3f ratio=%.2f "
              "frontal_residual=%.2e umfpack_residual=%.2e\n",
              n, static_cast<long long>(plan.FrontDim), tAsm, tFront, cFront, tUmf, cUmf, tFront / tUmf, eF, eU);
#ifdef KALMORA_BENCH_MUMPS
  {
    // The same system assembled (triplets) for MUMPS, ordered by SCOTCH's
    // nested dissection, which the analysis of assembled input offers: the
    // fill and time an assembled input would give, against the elemental one.
    std::vector<MUMPS_INT> irn(Ti.size()), jcn(Tj.size());
    for (std::size_t p = 0; p < Ti.size(); ++p) {
      irn[p] = Ti[p] + 1;
      jcn[p] = Tj[p] + 1;
    }
    std::vector<double> a = Tx, xa = rhs;
    DMUMPS_STRUC_C id{};
    id.comm_fortran = -987654;
    id.par = 1;
    id.sym = 0;
    id.job = -1;
    dmumps_c(&id);
    id.icntl[0] = -1;
    id.icntl[1] = -1;
    id.icntl[2] = -1;
    id.icntl[3] = 0;
    id.icntl[6] = 3;  // SCOTCH
    id.icntl[13] = 30;
    id.n = n;
    id.nnz = static_cast<MUMPS_INT8>(Tx.size());
    id.irn = irn.data();
    id.jcn = jcn.data();
    id.a = a.data();
    id.rhs = xa.data();
    const double c0 = CpuSeconds();
    id.job = 6;
    dmumps_c(&id);
    const double c = CpuSeconds() - c0;
    if (id.infog[0] >= 0)
      std::printf(" assembled input, SCOTCH asked: ordering %d, factor entries %lld, storage %.1f MiB, %.3f s "
                  "processor time (assembly not counted), residual %.2e\n",
                  id.infog[6], static_cast<long long>(id.infog[28]), id.infog[18] * 1e6 / 1048576.0, c,
                  Residual(n, Ap, Ai, Ax, xa.data(), rhs));
    else
      std::printf(" assembled input: MUMPS error %d, %d\n", id.infog[0], id.infog[1]);
    id.job = -2;
    dmumps_c(&id);
  }
#endif
  const double frontalMiB = static_cast<double>(FrontSolveBytes(n, plan)) / (1024.0 * 1024.0);
  if (!SparseSolverAvailable()) {
    std::printf(" sparse: not built (sequential MUMPS not found)\n");
    return 0;
  }
  // Sparse against frontal: residual of the sparse solution, velocity
  // difference relative to the largest speed of the sparse solution.
  const double eS = Residual(n, Ap, Ai, Ax, sys.rhs.data(), rhs);
  double dvs = 0, vmaxs = 0, dps = 0;
  for (int i = 0; i < 3 * g.nh; ++i) {
    dvs = std::max(dvs, std::fabs(r1.data()[i] - sys.rhs[static_cast<std::size_t>(i)]));
    vmaxs = std::max(vmaxs, std::fabs(sys.rhs[static_cast<std::size_t>(i)]));
  }
  for (int i = 3 * g.nh; i < n; ++i) dps = std::max(dps, std::fabs(r1.data()[i] - sys.rhs[static_cast<std::size_t>(i)]));
  const double sparseMiB = std::max(sst.analysisMiB, sst.usedMiB) + sst.inputMiB;
  std::printf(" sparse: ordering %d (0 AMD, 2 AMF, 3 SCOTCH, 4 PORD, 6 QAMD), factor entries %lld, analysis asked "
              "%.1f MiB, factorisation used %.1f MiB, element systems %.1f MiB; gathering %.3f s and analysis %.3f s "
              "of %.3f s processor time, %.3f s wall\n",
              sst.ordering, static_cast<long long>(sst.factorEntries), sst.analysisMiB, sst.usedMiB, sst.inputMiB,
              cGather, cAnalyse, cSparse, tSparse);
  std::printf(" blas: kernels %s, %d thread(s)\n", BlasCoreName().empty() ? "(not OpenBLAS)" : BlasCoreName().c_str(), threads);
  std::printf(" memory: frontal %.1f MiB, sparse %.1f MiB; sparse against frontal: pressure %.2e of the largest "
              "pressure\n",
              frontalMiB, sparseMiB, dps / pmax);
  std::printf("unknowns=%d front=%lld frontal_cpu_s=%.3f sparse_cpu_s=%.3f ratio_sparse=%.3f sparse_residual=%.2e "
              "sparse_mib=%.1f velocity_difference=%.2e\n",
              n, static_cast<long long>(plan.FrontDim), cFront, cSparse, cSparse / cFront, eS, sparseMiB,
              dvs / vmaxs);
  return 0;
}
