#include "solver/friction.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "solver/flow_element.h"

namespace {

constexpr double kSqrt3 = 1.7320508075688772;
constexpr double kF173 = 1.73f;  // single-precision 1.73, widened

}  // namespace

// Codes whose faces carry no friction: free profile surface and symmetry planes.
bool NoFrictionCode(int code) {
  return code == 1 || code == 5 || code == 6 || code == 65 || code == 69 || code == 70;
}

// Codes of the nodes that take part in the drag.
bool DragCode(int code) {
  const int k = KindOfCode(code);
  return k == 4 || k == 7 || k == 8 || k == 9;
}

const BndNode* BoundaryRecordOf(const MeshRecord& m, int n) {
  if (m.g.EndPlane.size() < n) return nullptr;
  const int j = m.g.EndPlane(n);
  return j >= 1 && j <= m.bnd.size() ? &m.bnd(j) : nullptr;
}

double FrictionCoefficient(double sigma_s, double m, double pc, double s, double fricA, double fricB) {
  if (!(sigma_s > 0.0) || !(s > 0.0)) return 0.0;
  const double sat = fricB + fricA * (1.0 - std::exp(-1.25 * pc / (kF173 * sigma_s)));
  return sat * m * sigma_s / (kSqrt3 * s);
}

double ContactPressure(float sn, float x, bool exitFace, double psr) {
  if (exitFace && std::fabs(x) <= 0.5f) return (1.0 - std::exp(-2.0 * std::fabs(static_cast<double>(x)))) * std::fabs(psr);
  return std::fabs(std::min(0.0, static_cast<double>(sn)));
}

namespace {

// Newton part of a drag whose coefficient depends on the sliding speed,
// k ~ |v|^g at the point (g = growth): the derivative of k(v) v is
// k (I + g t t^T) with t the sliding direction of the current point
// velocity vp.  ct = g x (the point's drag coefficient c); the term
// ct N_a N_b t t^T goes into est and its product with the current velocity,
// ct N_a |vp| t, into r (vp interpolated from the drag nodes only, as the
// matrix term sums over them), so that at the current velocity the system
// is unchanged and a fixed point of the lagged drag stays one.
void AddDragTangent(int nfn, const int* loc, const int* code, const double* N, double ct, const double* vp, int nen,
                    double* est, int ld, double* r) {
  const double speed = std::sqrt(vp[0] * vp[0] + vp[1] * vp[1] + vp[2] * vp[2]);
  if (!(speed > 0.0)) return;
  const double t[3] = {vp[0] / speed, vp[1] / speed, vp[2] / speed};
  for (int qa = 0; qa < nfn; ++qa) {
    if (!DragCode(code[qa])) continue;
    const int a = loc[qa] - 1;
    for (int i = 0; i < 3; ++i) r[i * nen + a] += ct * N[a] * speed * t[i];
    for (int qb = 0; qb < nfn; ++qb) {
      if (!DragCode(code[qb])) continue;
      const int b = loc[qb] - 1;
      const double v = ct * N[a] * N[b];
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
          est[static_cast<size_t>(j * nen + b) * ld + static_cast<size_t>(i * nen + a)] += v * t[i] * t[j];
    }
  }
}

}  // namespace

void FrictionDrag(const ElementTables& tab, const MeshRecord& nodes, const VariantSetup& setup,
                  const ModelParams& model, const VariantResults& results, int k, double orient, double tangent,
                  double* est, int ld, double* r) {
  if (nodes.edata.size() < k) return;
  const FaceList& fl = nodes.edata(k).fl;
  if (fl.nf <= 0) return;
  const Mesh3d& g = nodes.g;
  const bool wedge = IsWedge(g, k);
  const int nen = wedge ? kWedgeNodes : kTetNodes;
  for (int j = 1; j <= fl.nf; ++j) {
    const int local = fl.local(j);
    const FaceRule& rule = wedge ? tab.Wedge15Faces(local) : tab.Tet10Faces(local);
    const BndFace& bf = nodes.faces(fl.face(j));
    const int nfn = rule.nfn;
    int loc[8], code[8];
    const BndNode* rec[8];
    double fall[8];  // -d s_a / d ln|v_a| of each face node
    bool skip = false, exitFace = false;
    for (int q = 0; q < nfn; ++q) {
      loc[q] = rule.fnode(q + 1);
      const int n = std::abs(g.nop(loc[q], k));
      code[q] = g.BoundaryConditions(n);
      rec[q] = BoundaryRecordOf(nodes, n);
      skip = skip || NoFrictionCode(code[q]) || rec[q] == nullptr;
      exitFace = exitFace || code[q] == 9;
      if (rec[q] == nullptr) continue;
      // 3 s_a where the regularisation amplifies (s_a ~ |v_a|^-3), -s_a
      // where it does not (s_a = |v_a|), faded out on nodes sliding slower
      // than kDragNewtonFull RamSpeed.
      const double u = setup.RamSpeed > 0.0 ? rec[q]->vScale / setup.RamSpeed : kDragNewtonFull;
      const double fade = std::clamp((u - 1.0) / (kDragNewtonFull - 1.0), 0.0, 1.0);
      fall[q] = rec[q]->vScale * (rec[q]->regFactor > 1.0f ? 3.0 : -fade);
    }
    if (skip) continue;
    for (int p = 1; p <= bf.npt; ++p) {
      const double* N = rule.N.col(p);
      double sig = 0, m = 0, s = 0, sFall = 0, vp[3] = {0, 0, 0};
      for (int q = 0; q < nfn; ++q) {
        const double Na = N[loc[q] - 1];
        sig += Na * nodes.fld(kFldStress, rec[q]->node);
        m += Na * rec[q]->factor;
        s += Na * rec[q]->vScale;
        sFall += Na * fall[q];
        // The point velocity of the drag's own nodes: the tangent's matrix
        // and right-hand side then cancel exactly at the current velocity.
        if (DragCode(code[q]))
          for (int i = 0; i < 3; ++i) vp[i] += Na * nodes.fld(kFldVx + i, rec[q]->node);
      }
      // d ln(k) / d ln|v| at the point, k ~ 1 / s: 3 where the
      // regularisation amplifies (traction ~ |v|^4), -1 where it does not
      // (traction independent of the speed); 0 where s is floored (k fixed).
      const double growth = s > 0.1 * setup.RamSpeed ? sFall / s : 0.0;
      sig = std::fabs(sig);
      s = std::max(s, 0.1 * setup.RamSpeed);
      const double pc =
          ContactPressure(bf.v(kBfSigmaN, p), bf.v(kBfExit, p), exitFace, results.Psr);
      const double kf = FrictionCoefficient(sig, m, pc, s, model.FricA, model.FricB);
      if (kf == 0.0) continue;
      const double c = orient * kf * bf.v(kBfWJ, p);
      for (int qa = 0; qa < nfn; ++qa) {
        if (!DragCode(code[qa])) continue;
        const int a = loc[qa] - 1;
        const double ca = c * N[a];
        for (int qb = 0; qb < nfn; ++qb) {
          if (!DragCode(code[qb])) continue;
          const int b = loc[qb] - 1;
          const double v = ca * N[b];
          for (int i = 0; i < 3; ++i)
            est[static_cast<size_t>(i * nen + b) * ld + static_cast<size_t>(i * nen + a)] += v;
        }
      }
      if (tangent > 0.0 && r != nullptr && growth != 0.0) AddDragTangent(nfn, loc, code, N, tangent * growth * c, vp, nen, est, ld, r);
    }
  }
}

double ViscousDiagonal(const double* est, int ld, int nen) {
  double s = 0.0;
  for (int i = 0; i < 3 * nen; ++i) s += std::fabs(est[static_cast<size_t>(i) * ld + static_cast<size_t>(i)]);
  return nen > 0 ? s / (3 * nen) : 0.0;
}

void ExitResistance(const MeshRecord& nodes, int k, double orient, double stiffness, double* est, int ld) {
  const Mesh3d& g = nodes.g;
  if (!IsWedge(g, k) || nodes.edata.size() < k || nodes.edata(k).fl.nf <= 0) return;
  for (int a = 0; a < kWedgeNodes; ++a) {
    const int n = std::abs(g.nop(a + 1, k));
    const int code = g.BoundaryConditions(n);
    if (code != 9 && code != 73) continue;
    const BndNode* r = BoundaryRecordOf(nodes, n);
    if (r == nullptr) continue;
    const double c = orient * r->penalty * stiffness;
    const double nv[3] = {r->nx, r->ny, r->nz};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        est[static_cast<size_t>(j * kWedgeNodes + a) * ld + static_cast<size_t>(i * kWedgeNodes + a)] +=
            c * nv[i] * nv[j];
  }
}
