#include "solver/flow_force.h"

#include <algorithm>
#include <cmath>

#include "solver/flow_element.h"
#include "material/flow_stress.h"

void ForceEval(MeshRecord& nodes, const ElementTables& tab, InpDat& inp) {
  FlowElementData d;
  double grad[15][3];
  double force = 0.0, area = 0.0, exitStress = 0.0, exitArea = 0.0;
  for (BndFace& bf : nodes.faces) {
    const int k = bf.elem;
    GatherFlowElement(nodes, k, d);
    const FaceRule& rule = d.wedge ? tab.Wedge15Faces(bf.local) : tab.Tet10Faces(bf.local);
    bool exitFace = false;
    for (int q = 1; q <= rule.nfn; ++q) exitFace = exitFace || nodes.g.BoundaryConditions(d.node[rule.fnode(q) - 1]) == 9;
    for (int p = 1; p <= bf.npt; ++p) {
      PointGradients(rule.dN1.col(p), rule.dN2.col(p), rule.dN3.col(p), d, grad);
      const StrainRate D = PointStrainRate(d, grad);
      const double* N = rule.N.col(p);
      double strain = 0, temp = 0, pres = 0;
      for (int a = 0; a < d.nen; ++a) {
        strain += N[a] * d.e[a];
        temp += N[a] * d.T[a];
        pres += N[a] * nodes.fld(kFldP, d.node[a]);
      }
      double sigma = 0;
      const double mu = FlowViscosity(EquivalentStrainRate(D), strain, temp, inp.setup.mat, sigma);
      const double n[3] = {bf.v(kBfN, p), bf.v(kBfN + 1, p), bf.v(kBfN + 2, p)};
      const double nDn = n[0] * n[0] * D.xx + n[1] * n[1] * D.yy + n[2] * n[2] * D.zz +
                         2.0 * (n[0] * n[1] * D.xy + n[1] * n[2] * D.yz + n[0] * n[2] * D.xz);
      const double sn = pres + 2.0 * mu * nDn;
      bf.v(kBfSigmaN, p) = static_cast<float>(sn);
      if (exitFace) {
        exitStress += std::fabs(sn) * bf.v(kBfWJ, p);
        exitArea += bf.v(kBfWJ, p);
      }
      if (n[2] >= 0.999) {
        force += sn * bf.v(kBfWJ, p);
        area += bf.v(kBfWJ, p);
      }
    }
  }
  inp.results.FORSE = force;
  inp.results.Psr = area > 0.0 ? force / area : 0.0;
  const float x = inp.results.Psr != 0.0 && exitArea > 0.0 ? static_cast<float>(exitStress / exitArea / std::fabs(inp.results.Psr)) : 1.0f;
  for (BndFace& bf : nodes.faces)
    for (int p = 1; p <= bf.npt; ++p) bf.v(kBfExit, p) = x;
}

void ExitSpeedCheck(MeshRecord& nodes, InpDat& inp) {
  const double tol = 0.01 * inp.setup.RamSpeed;
  // Where the material pulls away from the tool the resistance is halved,
  // but not below a quarter of its starting value: halving without end
  // frees the node a little more in every iteration, and its inward drift
  // then never settles.
  const float floor = 0.25f * static_cast<float>(inp.model.PenaltyInit);
  double sum = 0.0, big = 0.0;
  int count = 0;
  for (BndNode& r : nodes.bnd) {
    const int code = nodes.g.BoundaryConditions(r.node);
    if (code != 9 && code != 73) continue;
    const float m = nodes.fld(kFldVx, r.node) * r.nx + nodes.fld(kFldVy, r.node) * r.ny +
                    nodes.fld(kFldVz, r.node) * r.nz - r.vnTarget;
    const double m2 = static_cast<double>(m) * m;
    sum += m2;
    big = std::max(big, m2);
    ++count;
    if (m >= tol) r.penalty *= 1.5f;
    else if (m <= -tol) r.penalty = std::max(0.5f * r.penalty, floor);
  }
  inp.iter.Krit_dV_SR = count > 0 ? std::sqrt(sum) / count : 0.0;
  inp.iter.Krit_dV_MAX = count > 0 ? std::sqrt(big) : 0.0;
}

void SurfaceSpeedReg(bool damped, MeshRecord& nodes) {
  auto speed = [&](int n) {
    const double vx = nodes.fld(kFldVx, n), vy = nodes.fld(kFldVy, n), vz = nodes.fld(kFldVz, n);
    return std::sqrt(vx * vx + vy * vy + vz * vz);
  };
  double vmax = 1e-8;
  for (const BndNode& r : nodes.bnd) vmax = std::max(vmax, speed(r.node));
  for (BndNode& r : nodes.bnd) {
    const double v = speed(r.node);
    double q = std::max(1.0, std::pow(v / (0.5 * vmax), 4));
    // The friction traction grows like |v|^4 above vmax / 2, so the fixed-
    // point update of the sliding speed overshoots by up to a factor of
    // three and alternates between sticking and slipping.  The geometric
    // mean with the previous factor damps that; at convergence both agree
    // and the regularised speed is the undamped one.
    if (damped && r.regFactor > 0.0f) q = std::sqrt(q * r.regFactor);
    r.regFactor = static_cast<float>(q);
    r.vScale = static_cast<float>(v / q + 1e-8);
  }
}
