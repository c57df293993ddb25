#include "solver/flow_solve.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "solver/flow_element.h"
#include "solver/friction.h"
#include "solver/nodal_stress.h"
#include "solver/sol_def.h"

namespace {

constexpr double kF1em5 = 1e-5f;  // single-precision 1e-5, widened

// Sign of det J of element k at its first integration point.
double Orientation(const ElementTables& tab, const MeshRecord& nodes, int k) {
  FlowElementData d;
  GatherFlowElement(nodes, k, d);
  double grad[15][3];
  return PointGradients(d.wedge ? tab.Wedge15 : tab.Tet10, 1, d, grad) < 0.0 ? -1.0 : 1.0;
}

// |a - b| / s, 0 where a equals b (so that a zero scale gives no change).
double RelChange(double a, double b, double s) {
  const double diff = std::fabs(a - b);
  return diff == 0.0 ? 0.0 : diff / s;
}

}  // namespace

int PrescribedComponents(int code, bool& zero) {
  zero = false;
  switch (code >= 64 ? code - 64 : code) {
    case 2:
    case 12: return 2 | 4;
    case 3: return 1 | 4;
    case 4: zero = true; return 1 | 2;
    case 5:
    case 11: return 1;
    case 6: return 2;
    case 7: return 4;
    case 8: zero = true; return 1 | 2 | 4;
    case 10: return 1 | 2 | 4;
    default: return 0;
  }
}

void PrescribeUnknown(double* est, int ld, double* r, int m, int kk, double w) {
  const size_t L = static_cast<size_t>(ld), K = static_cast<size_t>(kk);
  for (int j = 0; j < m; ++j)
    if (j != kk) est[static_cast<size_t>(j) * L + K] = 0.0;
  const double diag = est[K * L + K];
  r[kk] = diag * w;
  double* col = est + K * L;
  for (int i = 0; i < m; ++i) {
    if (i == kk) continue;
    r[i] -= col[i] * w;
    col[i] = 0.0;
  }
}

int FlowElements::Unknowns(int k, int32_t* lm) const {
  const Mesh3d& g = nodes->g;
  const bool wedge = IsWedge(g, k);
  const int nen = wedge ? kWedgeNodes : kTetNodes, npe = wedge ? kWedgeCorners : kTetCorners;
  const int32_t nh = g.nh;
  for (int a = 0; a < nen; ++a) {
    const int32_t v = g.nop(a + 1, k), s = v < 0 ? -1 : 1, i = v < 0 ? -v : v;
    lm[a] = s * i;
    lm[nen + a] = s * (nh + i);
    lm[2 * nen + a] = s * (2 * nh + i);
    if (a < npe) lm[3 * nen + a] = s * (3 * nh + i);
  }
  return 3 * nen + npe;
}

int FlowElements::System(int k, int32_t* lm, double* est, int ld, double* r) const {
  const int m = Unknowns(k, lm);
  FlowElementMatrix(*tab, *nodes, inp->setup, k, est, ld);
  const Mesh3d& g = nodes->g;
  if (nodes->edata.size() >= k && nodes->edata(k).fl.nf > 0) {
    const double orient = Orientation(*tab, *nodes, k);
    const double stiffness = ViscousDiagonal(est, ld, IsWedge(g, k) ? kWedgeNodes : kTetNodes);
    FrictionDrag(*tab, *nodes, inp->setup, inp->model, inp->results, k, orient, inp->iter.FricTangent, est, ld, r);
    ExitResistance(*nodes, k, orient, stiffness, est, ld);
  }
  if (inp->iter.ViscTangent > 0.0) ViscosityTangent(*tab, *nodes, inp->setup, k, inp->iter.ViscTangent, est, ld, r);
  const int nen = IsWedge(g, k) ? kWedgeNodes : kTetNodes;
  for (int a = 0; a < nen; ++a) {
    const int n = std::abs(g.nop(a + 1, k));
    bool zero = false;
    const int mask = PrescribedComponents(g.BoundaryConditions(n), zero);
    for (int i = 0; i < 3; ++i) {
      if ((mask & (1 << i)) == 0) continue;
      const double w = zero ? 0.0 : static_cast<double>(nodes->fld(kFldVx + i, n));
      PrescribeUnknown(est, ld, r, m, i * nen + a, w);
    }
  }
  return m;
}

FrontPlanStats SolveFlow(MeshRecord& nodes, const ElementTables& tab, InpDat& inp_dat) {
  Mesh3d& g = nodes.g;
  const int nh = g.nh, np = g.np;
  const int n = 3 * nh + np;
  const int ncn = 3 * std::min(g.npe, kWedgeNodes) + std::min(g.nve, kWedgeCorners);
  inp_dat.iter.DOF = n;

  Vec1<double> r1;
  FlowElements elem{&tab, &nodes, &inp_dat};
  const FrontPlanStats plan = FrontalSolve(SolveMode::Flow, g.nop, g.npe, g.ne, nh, n,
                                           std::max(ncn, 1), elem, SolveOptionsOf(inp_dat.solve),
                                           SparseStatsFor(SolveMode::Flow, inp_dat.results), r1);

  // Velocities and their largest relative change.
  double convV = 0.0;
  for (int i = 1; i <= nh; ++i) {
    const double v[3] = {r1(i), r1(nh + i), r1(2 * nh + i)};
    const double s = std::max(std::fabs(inp_dat.setup.RamSpeed), std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
    for (int c = 0; c < 3; ++c) {
      convV = std::max(convV, RelChange(nodes.fld(kFldVx + c, i), v[c], s));
      nodes.fld(kFldVx + c, i) = static_cast<float>(v[c]);
    }
  }
  inp_dat.iter.ConvV = convV;

  // Corner pressures, relative to the node's flow stress.
  double convP = 0.0;
  const double scale = inp_dat.model.PScale >= 1.0 ? inp_dat.model.PScale : 1.0;
  for (int i = 1; i <= np; ++i) {
    const double p = r1(3 * nh + i);
    const double old = nodes.fld(kFldP, i);
    convP = std::max(convP, RelChange(old, p, std::max(static_cast<double>(nodes.fld(kFldStress, i)), std::fabs(p))));
    nodes.fld(kFldP, i) = static_cast<float>(p / scale);
  }
  inp_dat.iter.ConvP = convP;

  FlowStresses(tab, nodes, inp_dat);
  return plan;
}

void FlowStresses(const ElementTables& tab, MeshRecord& nodes, InpDat& inp_dat) {
  Mesh3d& g = nodes.g;
  const int nh = g.nh;
  // Mid-edge pressures of the wedges: mean of the edge's corners.
  for (int k = 1; k <= g.ne; ++k) {
    if (!IsWedge(g, k)) continue;
    for (int e = 0; e < 9; ++e) {
      const int mid = g.nop(kWedgeCorners + 1 + e, k);
      const int c1 = g.nop(kWedgeEdge[e][0], k), c2 = g.nop(kWedgeEdge[e][1], k);
      nodes.fld(kFldP, mid) = 0.5f * (nodes.fld(kFldP, c1) + nodes.fld(kFldP, c2));
    }
  }

  // Nodal stresses, boundary normal stresses, ram-rim pressure and force.
  std::vector<SymTensor> S;
  NodalStresses(tab, nodes, inp_dat.setup, S);
  BoundaryNormalStresses(nodes, S);
  double sum = 0.0, count = 0.0;
  for (int i = 1; i <= nh; ++i) {
    if (g.BoundaryConditions(i) != 74 || g.EndPlane.size() < i) continue;
    const int j = g.EndPlane(i);
    if (j < 1 || j > nodes.bnd.size()) continue;
    sum += nodes.bnd(j).sigmaN;
    count += 1.0;
  }
  inp_dat.results.Psr = count > 0.0001 ? sum / count : sum;
  double area = inp_dat.sections.Area2d(1);
  if (inp_dat.sections.Area2d(3) > kF1em5) area = inp_dat.sections.Area2d(3);
  else if (inp_dat.sections.Area2d(2) > kF1em5) area = inp_dat.sections.Area2d(2);
  inp_dat.results.FORSE = inp_dat.results.Psr * area;
}
