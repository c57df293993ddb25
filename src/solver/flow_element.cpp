#include "solver/flow_element.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <string>

#include "core/fatal.h"
#include "material/flow_stress.h"
#include "solver/dense_inverse.h"

void GatherFlowElement(const MeshRecord& mesh, int k, FlowElementData& d) {
  const Mesh3d& g = mesh.g;
  d.wedge = IsWedge(g, k);
  d.nen = d.wedge ? kWedgeNodes : kTetNodes;
  d.npe = d.wedge ? kWedgeCorners : kTetCorners;
  assert(!d.wedge || g.npe >= kWedgeNodes);
  for (int a = 0; a < d.nen; ++a) {
    const int n = std::abs(g.nop(a + 1, k));
    assert(n >= 1 && n <= g.nh);
    d.node[a] = n;
    for (int i = 0; i < 3; ++i) {
      d.x[a][i] = g.xyz(i + 1, n);
      d.v[a][i] = mesh.fld(kFldVx + i, n);
    }
    d.T[a] = mesh.fld(kFldT, n);
    d.e[a] = mesh.fld(kFldStrain, n);
  }
}

double PointGradients(const double* d1, const double* d2, const double* d3, const FlowElementData& d,
                      double grad[][3]) {
  const double* dn[3] = {d1, d2, d3};
  double J[3][3] = {};  // J[m][i] = dx_i / dxi_m
  for (int a = 0; a < d.nen; ++a)
    for (int m = 0; m < 3; ++m)
      for (int i = 0; i < 3; ++i) J[m][i] += dn[m][a] * d.x[a][i];
  const double det = J[0][0] * (J[1][1] * J[2][2] - J[1][2] * J[2][1]) -
                     J[0][1] * (J[1][0] * J[2][2] - J[1][2] * J[2][0]) +
                     J[0][2] * (J[1][0] * J[2][1] - J[1][1] * J[2][0]);
  double Jcm[9], Jinv[9];  // column-major: (m, i) at i * 3 + m
  for (int m = 0; m < 3; ++m)
    for (int i = 0; i < 3; ++i) Jcm[i * 3 + m] = J[m][i];
  InvertDense(3, Jcm, Jinv);
  for (int a = 0; a < d.nen; ++a)
    for (int i = 0; i < 3; ++i)
      grad[a][i] = Jinv[0 * 3 + i] * dn[0][a] + Jinv[1 * 3 + i] * dn[1][a] + Jinv[2 * 3 + i] * dn[2][a];
  return det;
}

double PointGradients(const ElemType& et, int g, const FlowElementData& d, double grad[][3]) {
  return PointGradients(et.dN1.col(g), et.dN2.col(g), et.dN3.col(g), d, grad);
}

StrainRate PointStrainRate(const FlowElementData& d, const double grad[][3]) {
  StrainRate D;
  float sxy = 0, syz = 0, sxz = 0;
  for (int a = 0; a < d.nen; ++a) {
    const double* v = d.v[a];
    const double* gr = grad[a];
    D.xx += static_cast<float>(v[0] * gr[0]);
    D.yy += static_cast<float>(v[1] * gr[1]);
    D.zz += static_cast<float>(v[2] * gr[2]);
    sxy += static_cast<float>(v[0] * gr[1] + v[1] * gr[0]);
    syz += static_cast<float>(v[1] * gr[2] + v[2] * gr[1]);
    sxz += static_cast<float>(v[0] * gr[2] + v[2] * gr[0]);
  }
  D.xy = 0.5f * sxy;
  D.yz = 0.5f * syz;
  D.xz = 0.5f * sxz;
  return D;
}

float EquivalentStrainRate(const StrainRate& D) {
  const float a = D.xx - D.yy, b = D.yy - D.zz, c = D.zz - D.xx;
  return 0.47140452f * std::sqrt(a * a + b * b + c * c + 6.0f * (D.xy * D.xy + D.yz * D.yz + D.xz * D.xz));
}

namespace {

// Arguments of the flow stress law at integration point g: the equivalent
// strain rate of the element's velocity (single precision, widened) and the
// strain and temperature interpolated from the nodes.
struct PointLaw {
  double rate = 0, strain = 0, temp = 0;
};

PointLaw PointLawInputs(const ElemType& et, int g, const FlowElementData& d, const double grad[][3]) {
  PointLaw p;
  p.rate = EquivalentStrainRate(PointStrainRate(d, grad));
  const double* N = et.N.col(g);
  for (int a = 0; a < d.nen; ++a) {
    p.strain += N[a] * d.e[a];
    p.temp += N[a] * d.T[a];
  }
  return p;
}

}  // namespace

int FlowElementMatrix(const ElementTables& tab, const MeshRecord& mesh, const VariantSetup& setup,
                      int k, double* est, int ncn) {
  FlowElementData d;
  GatherFlowElement(mesh, k, d);
  const ElemType& et = d.wedge ? tab.Wedge15 : tab.Tet10;
  const int nen = d.nen, npe = d.npe;
  const int nu = 3 * nen + npe;
  Require(ncn >= nu, "FlowElementMatrix: element size " + std::to_string(ncn) +
                         " below the element's unknown count " + std::to_string(nu));
  std::fill(est, est + static_cast<size_t>(ncn) * ncn, 0.0);
  auto col = [&](int j) { return est + static_cast<size_t>(j) * ncn; };  // 0-based column

  constexpr double kTwoThirds = 2.0 / 3.0;
  double grad[15][3];
  for (int g = 1; g <= et.ngp; ++g) {
    const double detJ = PointGradients(et, g, d, grad);
    const PointLaw law = PointLawInputs(et, g, d, grad);
    double sigma = 0;
    const double mu = FlowViscosity(law.rate, law.strain, law.temp, setup.mat, sigma);

    // Signed integration measure: the element matrix follows the sign of
    // the Jacobian determinant.
    const double wd = et.w(g) * detJ;
    const double c = mu * wd;

    // Viscous block, component rows i and columns j:
    //   c (delta_ij grad_a.grad_b + g_a[j] g_b[i] - 2/3 g_a[i] g_b[j]).
    for (int j = 0; j < 3; ++j) {
      for (int b = 0; b < nen; ++b) {
        double* cp = col(j * nen + b);
        const double* gb = grad[b];
        for (int i = 0; i < 3; ++i) {
          double* rp = cp + i * nen;
          const double gbi = gb[i], gbj = gb[j];
          for (int a = 0; a < nen; ++a) {
            const double* ga = grad[a];
            double v = ga[j] * gbi - kTwoThirds * ga[i] * gbj;
            if (i == j) v += ga[0] * gb[0] + ga[1] * gb[1] + ga[2] * gb[2];
            rp[a] += c * v;
          }
        }
      }
    }
    // Velocity-pressure coupling and its transpose.
    const double* P = et.L.col(g);
    for (int kp = 0; kp < npe; ++kp) {
      const int pc = 3 * nen + kp;
      double* cp = col(pc);
      for (int i = 0; i < 3; ++i) {
        for (int a = 0; a < nen; ++a) {
          const int r = i * nen + a;
          const double v = wd * grad[a][i] * P[kp];
          cp[r] += v;
          col(r)[pc] += v;
        }
      }
    }
  }
  return nu;
}

void ViscosityTangent(const ElementTables& tab, const MeshRecord& mesh, const VariantSetup& setup,
                      int k, double share, double* est, int ncn, double* r) {
  FlowElementData d;
  GatherFlowElement(mesh, k, d);
  const ElemType& et = d.wedge ? tab.Wedge15 : tab.Tet10;
  const int nen = d.nen;
  constexpr double kStep = 1e-3;  // relative step of the rate for d ln mu / d ln rate
  double grad[15][3], q[45];
  for (int g = 1; g <= et.ngp; ++g) {
    const double detJ = PointGradients(et, g, d, grad);
    const PointLaw law = PointLawInputs(et, g, d, grad);
    double sigma = 0;
    const double mu = FlowViscosity(law.rate, law.strain, law.temp, setup.mat, sigma);
    const double mu2 = FlowViscosity(law.rate * (1.0 + kStep), law.strain, law.temp, setup.mat, sigma);
    if (!(mu > 0.0 && mu2 > 0.0)) continue;
    const double gamma = std::clamp(std::log(mu2 / mu) / std::log1p(kStep), -1.0, 0.0);
    if (gamma == 0.0) continue;
    // Deviatoric strain rate of the current velocity, double precision.
    double L[3][3] = {};
    for (int a = 0; a < nen; ++a)
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) L[i][j] += d.v[a][i] * grad[a][j];
    double D[3][3];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) D[i][j] = 0.5 * (L[i][j] + L[j][i]);
    const double tr = (D[0][0] + D[1][1] + D[2][2]) / 3.0;
    double dd = 0.0;
    for (int i = 0; i < 3; ++i) {
      D[i][i] -= tr;
      for (int j = 0; j < 3; ++j) dd += D[i][j] * D[i][j];
    }
    if (!(dd > 0.0)) continue;
    // q(i, a) = D'(v) : D(N_a e_i) = sum_j D'_ij dN_a/dx_j; q . v = D':D'.
    double qv = 0.0;
    for (int i = 0; i < 3; ++i)
      for (int a = 0; a < nen; ++a) {
        const double v = D[i][0] * grad[a][0] + D[i][1] * grad[a][1] + D[i][2] * grad[a][2];
        q[i * nen + a] = v;
        qv += v * d.v[a][i];
      }
    const double c = share * 2.0 * mu * gamma * et.w(g) * detJ / dd;
    const int nv = 3 * nen;
    for (int j = 0; j < nv; ++j) {
      double* cp = est + static_cast<size_t>(j) * ncn;
      const double cq = c * q[j];
      for (int i = 0; i < nv; ++i) cp[i] += cq * q[i];
      r[j] += cq * qv;
    }
  }
}
