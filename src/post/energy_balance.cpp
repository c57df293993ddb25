#include "post/energy_balance.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "solver/flow_element.h"
#include "solver/friction.h"
#include "solver/temperature.h"

namespace {

// Mass flow (kg/s) and enthalpy flow (W) through the triangular wedge faces
// lying in the plane z = zp (within 0.01 mm), both along -z.
void PlaneFlows(const MeshRecord& m, const ElementTables& tab, const Material& mat, double zp, double& mass,
                double& enthalpy) {
  static constexpr int kTri[2][6] = {{1, 2, 3, 7, 8, 9}, {4, 5, 6, 13, 14, 15}};
  const ElemType& t = tab.Tri6;
  const Mesh3d& g = m.g;
  mass = enthalpy = 0.0;
  for (int e = 1; e <= g.ne; ++e) {
    if (!IsWedge(g, e)) continue;
    for (const auto& face : kTri) {
      int nd[6];
      bool on = true;
      for (int a = 0; a < 6 && on; ++a) {
        nd[a] = std::abs(g.nop(face[a], e));
        on = std::fabs(g.xyz(3, nd[a]) - zp) <= 0.01;
      }
      if (!on) continue;
      for (int p = 1; p <= t.ngp; ++p) {
        double xa = 0, xb = 0, ya = 0, yb = 0, vz = 0, T = 0;
        for (int a = 1; a <= 6; ++a) {
          const int n = nd[a - 1];
          xa += t.dN1(a, p) * g.xyz(1, n);
          xb += t.dN2(a, p) * g.xyz(1, n);
          ya += t.dN1(a, p) * g.xyz(2, n);
          yb += t.dN2(a, p) * g.xyz(2, n);
          vz += t.N(a, p) * m.fld(kFldVz, n);
          T += t.N(a, p) * m.fld(kFldT, n);
        }
        // kg/m^3 x mm/s x mm^2 = 1e-9 kg/s.
        const double dm = -Density(mat, T) * vz * t.w(p) * std::fabs(xa * yb - xb * ya) * 1e-9;
        mass += dm;
        enthalpy += dm * SpecificEnthalpy(mat, T);
      }
    }
  }
}

}  // namespace

double SpecificEnthalpy(const Material& mat, double T) {
  const double c0 = mat.PairX(1), c1 = mat.PairY(1), tm = mat.MatTmax;
  if (T < tm) return c0 * T + 0.5 * c1 * T * T;
  const double d = T - tm;
  return c0 * tm + 0.5 * c1 * tm * tm + c0 * d + 2.0 * d * d;
}

double PlasticPower(const MeshRecord& nodes, const ElementTables& tab, const VariantSetup& setup) {
  const Mesh3d& g = nodes.g;
  FlowElementData d;
  double grad[15][3];
  double sum = 0.0;
  for (int k = 1; k <= g.ne; ++k) {
    GatherFlowElement(nodes, k, d);
    const ElemType& et = d.wedge ? tab.Wedge15 : tab.Tet10;
    for (int p = 1; p <= et.ngp; ++p) {
      const double detJ = PointGradients(et, p, d, grad);
      const double* N = et.N.col(p);
      double strain = 0, temp = 0;
      for (int a = 0; a < d.nen; ++a) {
        strain += N[a] * d.e[a];
        temp += N[a] * d.T[a];
      }
      const double rate = EquivalentStrainRate(PointStrainRate(d, grad));
      sum += PlasticDissipation(rate, strain, temp, setup.mat) * std::fabs(et.w(p) * detJ);
    }
  }
  return sum * 1e-3;  // MPa/s x mm^3 = 1e-3 W
}

double FrictionPower(const MeshRecord& nodes, const ElementTables& tab, const VariantSetup& setup,
                     const ModelParams& model, const VariantResults& results) {
  const Mesh3d& g = nodes.g;
  double sum = 0.0;
  for (int k = 1; k <= g.ne && k <= nodes.edata.size(); ++k) {
    const FaceList& fl = nodes.edata(k).fl;
    const bool wedge = IsWedge(g, k);
    for (int j = 1; j <= fl.nf; ++j) {
      const FaceRule& rule = wedge ? tab.Wedge15Faces(fl.local(j)) : tab.Tet10Faces(fl.local(j));
      const BndFace& bf = nodes.faces(fl.face(j));
      const int nfn = rule.nfn;
      int loc[8], node[8];
      bool drag[8];
      const BndNode* rec[8];
      bool skip = false, exitFace = false;
      for (int q = 0; q < nfn; ++q) {
        loc[q] = rule.fnode(q + 1) - 1;
        node[q] = std::abs(g.nop(loc[q] + 1, k));
        const int code = g.BoundaryConditions(node[q]);
        drag[q] = DragCode(code);
        rec[q] = BoundaryRecordOf(nodes, node[q]);
        skip = skip || NoFrictionCode(code) || rec[q] == nullptr;
        exitFace = exitFace || code == 9;
      }
      if (skip) continue;
      for (int p = 1; p <= bf.npt; ++p) {
        const double* N = rule.N.col(p);
        double sig = 0, m = 0, s = 0, v[3] = {0, 0, 0};
        for (int q = 0; q < nfn; ++q) {
          const double Na = N[loc[q]];
          sig += Na * nodes.fld(kFldStress, rec[q]->node);
          m += Na * rec[q]->factor;
          s += Na * rec[q]->vScale;
          if (drag[q])
            for (int i = 0; i < 3; ++i) v[i] += Na * nodes.fld(kFldVx + i, node[q]);
        }
        s = std::max(s, 0.1 * setup.RamSpeed);
        const double pc =
            ContactPressure(bf.v(kBfSigmaN, p), bf.v(kBfExit, p), exitFace, results.Psr);
        const double kf = FrictionCoefficient(std::fabs(sig), m, pc, s, model.FricA, model.FricB);
        const bool ram = bf.v(kBfN + 2, p) >= 0.999f;
        const double v2 = v[0] * v[0] + v[1] * v[1] + (ram ? 0.0 : v[2] * v[2]);
        sum += kf * v2 * std::fabs(static_cast<double>(bf.v(kBfWJ, p)));
      }
    }
  }
  return sum * 1e-3;  // MPa s/mm x mm^2/s^2 x mm^2 = 1e-3 W
}

double CarriedEnthalpyPower(const MeshRecord& nodes, const ElementTables& tab,
                            const VariantSetup& setup) {
  const Mesh3d& g = nodes.g;
  if (g.nh < 1) return 0.0;
  double zmin = 1e300, zmax = -1e300;
  for (int i = 1; i <= g.nh; ++i) {
    zmin = std::min(zmin, g.xyz(3, i));
    zmax = std::max(zmax, g.xyz(3, i));
  }
  double mExit = 0, hExit = 0, mRam = 0, hRam = 0;
  PlaneFlows(nodes, tab, setup.mat, zmin, mExit, hExit);
  PlaneFlows(nodes, tab, setup.mat, zmax, mRam, hRam);
  if (!(mExit > 0.0) || !(mRam > 0.0)) return 0.0;
  return mRam * (hExit / mExit - hRam / mRam);
}

void ComputeEnergyBalance(const MeshRecord& nodes, const MeshRecord& nodes_t,
                          const ElementTables& tab, const VariantSetup& setup,
                          const ModelParams& model, const VariantResults& results,
                          EnergyBalance& out) {
  out = EnergyBalance{};
  out.ramPower = std::fabs(results.FORSE * setup.RamSpeed) * 1e-6;  // N mm/s = 1e-3 W
  out.plastic = PlasticPower(nodes, tab, setup) * 1e-3;
  out.friction = FrictionPower(nodes, tab, setup, model, results) * 1e-3;
  ThermalHeat th;
  ThermalHeatFlows(nodes_t, tab, setup, model, th);
  out.plasticHeat = th.source * 1e-3;
  out.frictionHeat = th.frictionGenerated * 1e-3;
  out.frictionToBillet = th.frictionIn * 1e-3;
  out.toTools = (th.toTools + th.frictionGenerated - th.frictionIn) * 1e-3;
  out.toAir = th.toAir * 1e-3;
  out.ramConduction = th.topConduction * 1e-3;
  out.carriedOut = CarriedEnthalpyPower(nodes, tab, setup) * 1e-3 - out.ramConduction;
  out.stored = (1.0 - kPlasticHeatShare) * out.plastic;
  const double rest = out.ramPower - out.carriedOut - out.toTools - out.toAir - out.stored;
  out.imbalancePct = out.ramPower > 0.0 ? 100.0 * rest / out.ramPower : 0.0;
}
