// One flow solve of the bundled example: prepares the variant (cross-sections,
// flow mesh with boundary data), starts the flow iteration as the coupled
// solve does and runs one solve.  Prints the unknowns, the front, the time
// of assembling every element system alone, the time of the frontal solve
// (plan, assembly and elimination), and the time of UMFPACK of SuiteSparse on
// the same assembled system, with both relative residuals.  Times are wall
// seconds; the frontal solve is also given in processor seconds (the machine
// may be shared), with its floating-point operations by kernel.
//   bench_flow [level] [--threads T] [--team-flops F] [--repeat R] [--portable]
// (R runs of the frontal solve, the least processor time counts; F: the
// smallest update, in operations, shared out over the threads.)
// Last line:
//   unknowns=N front=W assembly_s=Ta frontal_s=Tf frontal_cpu_s=Tc umfpack_s=Tu umfpack_cpu_s=Tuc ratio=R frontal_residual=E1 umfpack_residual=E2

#include <umfpack.h>

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
  int level = 0, threads = 1;
  int repeat = 1;
  double teamFlops = 0;
  bool portable = false;
  for (int a = 1; a < argc; ++a) {
    if (std::strcmp(argv[a], "--threads") == 0 && a + 1 < argc) threads = std::atoi(argv[++a]);
    else if (std::strcmp(argv[a], "--portable") == 0) portable = true;
    else if (std::strcmp(argv[a], "--team-flops") == 0 && a + 1 < argc) teamFlops = std::atof(argv[++a]);
    else if (std::strcmp(argv[a], "--repeat") == 0 && a + 1 < argc) repeat = std::max(1, std::atoi(argv[++a]));
    else level = std::atoi(argv[a]);
  }
  ElementTables tab;
  iniELEM(tab);
  RunState run;
  PrepareBenchExample("flow", tab, run, level, ExampleLevel::BeforeVariants);
  InpDat& d = run.inp_dat(1);
  MeshRecord& nodes = run.nodes(1);
  d.FricA = 0.9499999992549419;
  d.FricB = 0.05000000074505806;
  for (BndNode& r : nodes.bnd) r.penalty = static_cast<float>(d.PenaltyInit);
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
    ws.path = portable ? FrontPath::Portable : FrontPath::Auto;
    if (teamFlops > 0) ws.teamFlops = teamFlops;
    const double c0 = CpuSeconds();
    const auto ts = std::chrono::steady_clock::now();
    MarkLastAppearance(nodes.g.nop, g.npe, g.ne, g.nh);
    plan = FrontPlanStats{};
    if (!FrontPlan(n, ncn, elem, g.ne, d.MemBudget, plan)) {
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
      w.vec = ws.vec;
      w.threads = ws.threads;
    }
  };
  for (int rep = 0; rep < repeat; ++rep) solve(tFront, cFront);
  const double flops = w.flopsBlock + w.flopsRows + w.flopsFlush;

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
  std::printf(" mesh: nodes=%d corner_nodes=%d wedges=%d level=%d\n", g.nh, g.np, g.ne, d.MeshLevel3d);
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
              w.vec ? "vector" : "portable", w.threads, w.flopsBlock, w.flopsRows, w.flopsFlush, flops,
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
  return 0;
}
