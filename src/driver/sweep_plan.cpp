#include "driver/sweep_plan.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "solver/frontal.h"
#include "solver/sparse_solve.h"

namespace {

// Unknown lists of a mesh for the symbolic plan: `perNode` unknowns per node
// (node i: perNode (i-1) + 1 ..), plus one pressure unknown per corner node
// (perNode nh + c) when `pressure` is set.  Signs follow the node entries.
struct NodeUnknowns {
  const Mat1<int32_t>& nop;
  int npe, nh, np, perNode;
  bool pressure;

  int Unknowns(int k, int32_t* lm) const {
    int m = 0;
    for (int a = 1; a <= npe; ++a) {
      const int32_t e = nop(a, k);
      if (e == 0) continue;
      const int32_t node = e < 0 ? -e : e;
      const int32_t s = e < 0 ? -1 : 1;
      for (int c = 1; c <= perNode; ++c) lm[m++] = s * (perNode * (node - 1) + c);
      if (pressure && node <= np) lm[m++] = s * (perNode * nh + node);
    }
    return m;
  }
  int System(int, int32_t*, double*, int, double*) const { return 0; }
};

int64_t PlanBytes(const Mesh3d& g, int perNode, bool pressure, int64_t budget) {
  if (g.ne < 1 || g.nh < 1 || g.npe < 1) return 0;
  const int64_t n = int64_t{perNode} * g.nh + (pressure ? g.np : 0);
  if (n > INT32_MAX) return budget * 2;
  Mat1<int32_t> nop = g.nop;  // marked copy: the mesh itself stays untouched
  MarkLastAppearance(nop, g.npe, g.ne, g.nh);
  NodeUnknowns elem{nop, g.npe, g.nh, g.np, perNode, pressure};
  const int ncn = g.npe * (perNode + (pressure ? 1 : 0));
  FrontPlanStats plan{};
  if (!FrontPlan(static_cast<int>(n), ncn, elem, g.ne, budget, plan) || plan.FrontDim == 0)
    return budget * 2;  // budget units are at most 2 bytes' worth of storage each
  return FrontSolveBytes(n, plan);
}

// Bytes of a sparse solve of the same unknowns: the storage the solver's
// analysis (ordering and symbolic factorisation of the element graph) asks
// for the factorisation, the element matrices handed over, and the solution
// vectors.  0 when the analysis fails (the solve stops with its own message).
int64_t SparsePlanBytes(const Mesh3d& g, int perNode, bool pressure) {
  if (g.ne < 1 || g.nh < 1 || g.npe < 1) return 0;
  const int64_t n = int64_t{perNode} * g.nh + (pressure ? g.np : 0);
  if (n > INT32_MAX) return INT64_MAX / 4;
  NodeUnknowns elem{g.nop, g.npe, g.nh, g.np, perNode, pressure};
  const int ncn = g.npe * (perNode + (pressure ? 1 : 0));
  ElementalSystem sys;
  sys.n = static_cast<int>(n);
  sys.nelt = g.ne;
  std::vector<int32_t> lm(static_cast<std::size_t>(ncn));
  sys.eltptr.push_back(1);
  for (int k = 1; k <= g.ne; ++k) {
    const int m = elem.Unknowns(k, lm.data());
    for (int i = 0; i < m; ++i) sys.eltvar.push_back(std::abs(lm[static_cast<std::size_t>(i)]));
    sys.eltptr.push_back(static_cast<int>(sys.eltvar.size()) + 1);
  }
  SparseSolveStats st;
  if (SparseAnalyse(sys, st).status != SparseStatus::Solved) return 0;
  const int64_t input = ElementalBytes(static_cast<int>(n), ncn, elem, g.ne);
  return static_cast<int64_t>(st.analysisMiB * 1024.0 * 1024.0) + input + 2 * 8 * (n + 1);
}

}  // namespace

int64_t FrontSolveBytes(int64_t n, const FrontPlanStats& plan) {
  constexpr int64_t kPending = 64;  // pivots of a pending block update
  const int64_t dim = plan.FrontDim;
  const int64_t ld = (dim + 15) / 16 * 16;
  const int64_t front = 4 * dim * ld;                           // eq, float
  const int64_t store = 4 * plan.IntStore + 4 * plan.RealStore;  // istor, astor
  const int64_t perUnknown = (4 + 4 + 8 + 8) * (n + 1);         // two slot maps, solution, right-hand side
  const int64_t perSlot = dim * (4 + 4 + 4 + 8 + 4 + 8 + 4 + 4) + 8 * ld;
  const int64_t pending = 8 * kPending * (dim + ld);
  return front + store + perUnknown + perSlot + pending;
}

int64_t VariantSolveBytes(const MeshRecord& nodes, const MeshRecord& nodes_t,
                          const SolveOptions& solve) {
  if (solve.Solver == LinearSolver::Sparse)
    return std::max(SparsePlanBytes(nodes.g, 3, true), SparsePlanBytes(nodes_t.g, 1, false));
  const int64_t flow = PlanBytes(nodes.g, 3, true, solve.MemBudget);
  const int64_t heat = PlanBytes(nodes_t.g, 1, false, solve.MemBudget);
  return std::max(flow, heat);
}

int64_t AvailableMemoryBytes() {
  std::ifstream in("/proc/meminfo");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("MemAvailable:", 0) == 0) {
      std::istringstream ls(line.substr(13));
      int64_t kb = 0;
      if (ls >> kb && kb > 0) return kb * 1024;
    }
  const long pages = sysconf(_SC_AVPHYS_PAGES);
  const long size = sysconf(_SC_PAGESIZE);
  return pages > 0 && size > 0 ? int64_t{pages} * size : 0;
}

SweepPlan PlanSweep(int nVar, int maxThreads, int64_t perVariant, int64_t available) {
  SweepPlan p;
  p.threads = std::max(1, std::min(nVar, maxThreads));
  if (available > 0 && perVariant > 0) {
    const int64_t usable = available / 10 * 9;
    const int64_t fit = usable / perVariant;
    if (fit < 1) {
      p.fitsOne = false;
      p.memoryLimited = p.threads > 1;
      p.threads = 1;
    } else if (fit < p.threads) {
      p.threads = static_cast<int>(fit);
      p.memoryLimited = true;
    }
  }
  p.solveThreads = std::max(1, maxThreads / p.threads);
  return p;
}
