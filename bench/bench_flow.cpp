// One flow solve of the bundled example: prepares the variant (cross-sections,
// flow mesh with boundary data), starts the flow iteration as the coupled
// solve does and runs one solve.  Prints the unknowns, the front, the time
// of assembling every element system alone, the time of the frontal solve
// (plan, assembly and elimination), and the time of UMFPACK of SuiteSparse on
// the same assembled system, with both relative residuals.  Last line:
//   unknowns=N front=W assembly_s=Ta frontal_s=Tf umfpack_s=Tu ratio=R frontal_residual=E1 umfpack_residual=E2

#include <umfpack.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
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

}  // namespace

int main(int argc, char** argv) {
  ElementTables tab;
  iniELEM(tab);
  RunState run;
  PrepareBenchExample("flow", tab, run, argc > 1 ? std::atoi(argv[1]) : 0, ExampleLevel::BeforeVariants);
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

  // Frontal solver on the same element systems.
  Vec1<double> r1;
  t0 = std::chrono::steady_clock::now();
  FrontalSolve(SolveMode::Flow, nodes.g.nop, g.npe, g.ne, g.nh, n, ncn, elem, d, r1);
  const double tFront = Seconds(t0);
  const FrontPlanStats& plan = d.Front.flow;

  const int nz = static_cast<int>(Tx.size());
  std::vector<int> Ap(static_cast<std::size_t>(n) + 1), Ai(static_cast<std::size_t>(nz));
  std::vector<double> Ax(static_cast<std::size_t>(nz)), xu(static_cast<std::size_t>(n));
  void *symb = nullptr, *num = nullptr;
  t0 = std::chrono::steady_clock::now();
  int st = umfpack_di_triplet_to_col(n, n, nz, Ti.data(), Tj.data(), Tx.data(), Ap.data(), Ai.data(), Ax.data(), nullptr);
  if (st == UMFPACK_OK) st = umfpack_di_symbolic(n, n, Ap.data(), Ai.data(), Ax.data(), &symb, nullptr, nullptr);
  if (st == UMFPACK_OK) st = umfpack_di_numeric(Ap.data(), Ai.data(), Ax.data(), symb, &num, nullptr, nullptr);
  if (st == UMFPACK_OK)
    st = umfpack_di_solve(UMFPACK_A, Ap.data(), Ai.data(), Ax.data(), xu.data(), rhs.data(), num, nullptr, nullptr);
  const double tUmf = Seconds(t0);
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
  std::printf(" solution difference: velocity %.2e of the largest speed, pressure %.2e of the largest pressure\n",
              dv / vmax, dp / pmax);
  const double eF = Residual(n, Ap, Ai, Ax, r1.data(), rhs);
  const double eU = Residual(n, Ap, Ai, Ax, xu.data(), rhs);
  std::printf("unknowns=%d front=%lld assembly_s=%.3f frontal_s=%.3f umfpack_s=%.3f ratio=%.2f frontal_residual=%.2e umfpack_residual=%.2e\n",
              n, static_cast<long long>(plan.FrontDim), tAsm, tFront, tUmf, tFront / tUmf, eF, eU);
  return 0;
}
