#include "solver/nodal_stress.h"

#include <cmath>

#include "solver/flow_element.h"
#include "material/flow_stress.h"

double NormalComponent(const SymTensor& t, double nx, double ny, double nz) {
  return nx * nx * t.xx + ny * ny * t.yy + nz * nz * t.zz + 2.0 * (nx * ny * t.xy + ny * nz * t.yz + nx * nz * t.xz);
}

void NodalStrainRates(const ElementTables& tab, const MeshRecord& nodes, std::vector<SymTensor>& D) {
  const Mesh3d& g = nodes.g;
  D.assign(static_cast<size_t>(g.nh) + 1, SymTensor{});
  std::vector<double> wsum(static_cast<size_t>(g.nh) + 1, 0.0);
  FlowElementData d;
  double grad[15][3];
  for (int k = 1; k <= g.ne; ++k) {
    GatherFlowElement(nodes, k, d);
    const ElemType& et = d.wedge ? tab.Wedge15 : tab.Tet10;
    for (int p = 1; p <= et.ngp; ++p) {
      const double w = std::fabs(et.w(p) * PointGradients(et, p, d, grad));
      const StrainRate s = PointStrainRate(d, grad);
      const double* L = et.L.col(p);
      for (int a = 0; a < d.nen; ++a) {
        double lam;
        if (a < d.npe) {
          lam = L[a];
        } else if (d.wedge) {
          lam = 0.5 * (L[kWedgeEdge[a - 6][0] - 1] + L[kWedgeEdge[a - 6][1] - 1]);
        } else {
          lam = 0.5 * (L[kTetEdge[a - 4][0] - 1] + L[kTetEdge[a - 4][1] - 1]);
        }
        const double c = w * lam;
        SymTensor& t = D[static_cast<size_t>(d.node[a])];
        t.xx += c * s.xx;
        t.yy += c * s.yy;
        t.zz += c * s.zz;
        t.xy += c * s.xy;
        t.yz += c * s.yz;
        t.xz += c * s.xz;
        wsum[static_cast<size_t>(d.node[a])] += c;
      }
    }
  }
  for (int i = 1; i <= g.nh; ++i) {
    const double w = wsum[static_cast<size_t>(i)];
    if (!(w > 0.0)) continue;
    SymTensor& t = D[static_cast<size_t>(i)];
    t.xx /= w;
    t.yy /= w;
    t.zz /= w;
    t.xy /= w;
    t.yz /= w;
    t.xz /= w;
  }
}

void NodalStresses(const ElementTables& tab, const MeshRecord& nodes, const VariantSetup& setup,
                   std::vector<SymTensor>& S) {
  NodalStrainRates(tab, nodes, S);
  for (int i = 1; i <= nodes.g.nh; ++i) {
    SymTensor& t = S[static_cast<size_t>(i)];
    StrainRate f;
    f.xx = static_cast<float>(t.xx);
    f.yy = static_cast<float>(t.yy);
    f.zz = static_cast<float>(t.zz);
    f.xy = static_cast<float>(t.xy);
    f.yz = static_cast<float>(t.yz);
    f.xz = static_cast<float>(t.xz);
    double sigma = 0;
    const double mu = FlowViscosity(EquivalentStrainRate(f), nodes.fld(kFldStrain, i),
                                    nodes.fld(kFldT, i), setup.mat, sigma);
    const double p = nodes.fld(kFldP, i);
    t.xx = p + 2.0 * mu * t.xx;
    t.yy = p + 2.0 * mu * t.yy;
    t.zz = p + 2.0 * mu * t.zz;
    t.xy *= 2.0 * mu;
    t.yz *= 2.0 * mu;
    t.xz *= 2.0 * mu;
  }
}

void BoundaryNormalStresses(MeshRecord& nodes, const std::vector<SymTensor>& S) {
  for (BndNode& r : nodes.bnd) {
    if (r.node < 1 || static_cast<size_t>(r.node) >= S.size()) continue;
    r.sigmaN = static_cast<float>(NormalComponent(S[static_cast<size_t>(r.node)], r.nx, r.ny, r.nz));
  }
}
