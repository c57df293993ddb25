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

// Turns the lateral unknowns (slots ix, iy) of an element system to the
// normal and tangential components w = (w_n, w_t) of v = n w_n + t w_t,
// t = (-ny, nx): est becomes R^T est R and r becomes R^T r, R the rotation
// that maps w to (vx, vy).
void RotateLateral(double* est, int ld, double* r, int m, int ix, int iy, double nx, double ny) {
  const size_t L = static_cast<size_t>(ld);
  double* cx = est + static_cast<size_t>(ix) * L;
  double* cy = est + static_cast<size_t>(iy) * L;
  for (int i = 0; i < m; ++i) {  // columns
    const double a = cx[i], b = cy[i];
    cx[i] = nx * a + ny * b;
    cy[i] = -ny * a + nx * b;
  }
  for (int j = 0; j < m; ++j) {  // rows
    double& a = est[static_cast<size_t>(j) * L + static_cast<size_t>(ix)];
    double& b = est[static_cast<size_t>(j) * L + static_cast<size_t>(iy)];
    const double ra = a, rb = b;
    a = nx * ra + ny * rb;
    b = -ny * ra + nx * rb;
  }
  const double ra = r[ix], rb = r[iy];
  r[ix] = nx * ra + ny * rb;
  r[iy] = -ny * ra + nx * rb;
}

// A face is a wall when its centre normal lies within 60 degrees of the x-y
// plane; two wall faces meet at an outline corner when their centre normals
// differ by more than 30 degrees.
constexpr double kWallNz = 0.5;
constexpr double kCornerCos = 0.8660254037844386;

}  // namespace

void DieEdgeFrames(const ElementTables& tab, const MeshRecord& nodes, Vec1<EdgeFrame>& frames) {
  const Mesh3d& g = nodes.g;
  frames.assign(static_cast<std::size_t>(g.nh));
  // Per edge node: the integral of N_i n (x, y) over its wall faces and the
  // x-y directions of their centre normals, of which the first is kept and
  // the smallest cosine to it.
  struct Sum {
    double ax = 0, ay = 0, fx = 0, fy = 0, minCos = 1;
    bool any = false;
  };
  std::vector<Sum> sum(static_cast<std::size_t>(g.nh) + 1);
  for (int f = 1; f <= nodes.faces.size(); ++f) {
    const BndFace& bf = nodes.faces(f);
    const int e = bf.elem;
    const int centre = bf.npt == 9 ? 5 : 1;
    const double cx = bf.v(kBfN, centre), cy = bf.v(kBfN + 1, centre), cz = bf.v(kBfN + 2, centre);
    if (std::fabs(cz) >= kWallNz) continue;
    const double cl = std::hypot(cx, cy);
    const bool wedge = IsWedge(g, e);
    const FaceRule& rule = wedge ? tab.Wedge15Faces(bf.local) : tab.Tet10Faces(bf.local);
    for (int q = 1; q <= rule.nfn; ++q) {
      const int a = rule.fnode(q);
      const int n = std::abs(g.nop(a, e));
      if (KindOfCode(g.BoundaryConditions(n)) != 7) continue;
      Sum& s = sum[static_cast<std::size_t>(n)];
      for (int p = 1; p <= bf.npt; ++p) {
        const double w = rule.N(a, p) * bf.v(kBfWJ, p);
        s.ax += w * bf.v(kBfN, p);
        s.ay += w * bf.v(kBfN + 1, p);
      }
      const double ux = cx / cl, uy = cy / cl;
      if (!s.any) {
        s.fx = ux;
        s.fy = uy;
        s.any = true;
      }
      s.minCos = std::min(s.minCos, s.fx * ux + s.fy * uy);
    }
  }
  for (int n = 1; n <= g.nh; ++n) {
    const Sum& s = sum[static_cast<std::size_t>(n)];
    if (!s.any) continue;
    EdgeFrame& fr = frames(n);
    const double len = std::hypot(s.ax, s.ay);
    if (s.minCos < kCornerCos || !(len > 0.0)) {
      fr.mode = 2;
      continue;
    }
    fr.mode = 1;
    fr.nx = s.ax / len;
    fr.ny = s.ay / len;
  }
}

void EdgeVelocitiesToXY(const Vec1<EdgeFrame>& frames, int nh, Vec1<double>& r1) {
  for (int i = 1; i <= std::min(nh, frames.size()); ++i) {
    const EdgeFrame& fr = frames(i);
    if (fr.mode != 1) continue;
    const double wn = r1(i), wt = r1(nh + i);
    r1(i) = fr.nx * wn - fr.ny * wt;
    r1(nh + i) = fr.ny * wn + fr.nx * wt;
  }
}

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
    int mask = PrescribedComponents(g.BoundaryConditions(n), zero);
    const int edge = edges != nullptr && n <= edges->size() ? (*edges)(n).mode : 0;
    if (edge == 1) {
      RotateLateral(est, ld, r, m, a, nen + a, (*edges)(n).nx, (*edges)(n).ny);
      PrescribeUnknown(est, ld, r, m, a, 0.0);  // normal speed 0; the tangent stays free
    } else if (edge == 2) {
      PrescribeUnknown(est, ld, r, m, a, 0.0);
      PrescribeUnknown(est, ld, r, m, nen + a, 0.0);
    }
    if (edge != 0) mask &= 4;
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
  Vec1<EdgeFrame> edges;
  DieEdgeFrames(tab, nodes, edges);
  FlowElements elem{&tab, &nodes, &inp_dat, &edges};
  const FrontPlanStats plan = FrontalSolve(SolveMode::Flow, g.nop, g.npe, g.ne, nh, n,
                                           std::max(ncn, 1), elem, SolveOptionsOf(inp_dat.solve, &nodes.pivots),
                                           SparseStatsFor(SolveMode::Flow, inp_dat.results), r1);
  EdgeVelocitiesToXY(edges, nh, r1);

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
