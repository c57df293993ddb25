#include "solver/temperature.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/fatal.h"
#include "material/flow_stress.h"
#include "solver/flow_element.h"
#include "solver/sol_def.h"

namespace {

// Heat-transfer coefficient (W/(m^2 K)) and temperature (deg C) of the
// surroundings on a free face.
constexpr double kFreeHtc = 150.0;
constexpr double kFreeTemp = 50.0;
// Share of the frictional heat that can enter the material at most; the
// share taken is 0.9 T_tool / (T + T_tool).
constexpr double kFrictionShare = 0.9;
// Nodes this far below the top plane are still held, mm.
constexpr double kTopTol = 0.01;

// A face with a node of kind 1 (free surface) or 5, 6 (symmetry planes)
// is free: it exchanges with the surroundings, not with a tool.
bool FreeCode(int code) {
  return code == 1 || code == 5 || code == 6 || code == 65 || code == 69 || code == 70;
}
// Nodes that exchange heat on their faces: kinds 4, 7, 8, 9, 10.
bool ExchangeCode(int code) {
  const int k = code >= 64 ? code - 64 : code;
  return k == 4 || k == 7 || k == 8 || k == 9 || k == 10;
}

// rho c at T, J/(m^3 K); stops when it is not positive.
double HeatCapacity(const Material& mat, double T) {
  const double rc = SpecificHeat(mat, T) * Density(mat, T);
  if (!(rc > 0.0) || !std::isfinite(rc))
    Fatal("SolveTemperature: heat capacity rho c = " + std::to_string(rc) + " J/(m3 K) at T = " +
          std::to_string(T) + " deg C is not positive; check the specific heat and density of the material");
  return rc;
}

// Regularised sliding speed of every boundary node of the mesh, from its
// current speed |v|: with vmax the largest speed of the boundary nodes and
// q = (|v| / (vmax / 2))^4, s = |v| / max(1, q) + 1e-8; 0 for other nodes.
std::vector<double> RegularisedSpeeds(const MeshRecord& m) {
  std::vector<double> s(static_cast<std::size_t>(m.g.nh) + 1, 0.0);
  auto speed = [&](int i) {
    const double vx = m.fld(kFldVx, i), vy = m.fld(kFldVy, i), vz = m.fld(kFldVz, i);
    return std::sqrt(vx * vx + vy * vy + vz * vz);
  };
  double vmax = 1e-8;
  for (const BndNode& b : m.bnd) vmax = std::max(vmax, speed(b.node));
  for (const BndNode& b : m.bnd) {
    const double v = speed(b.node);
    const double q = std::pow(v / (0.5 * vmax), 4);
    s[static_cast<std::size_t>(b.node)] = v / std::max(1.0, q) + 1e-8;
  }
  return s;
}

// Largest corner-node z of a mesh, mm (-1e300 without corner nodes).
double TopCornerZ(const Mesh3d& g) {
  double z = -1e300;
  for (int i = 1; i <= g.np; ++i) z = std::max(z, g.xyz(3, i));
  return z;
}

// Exchange and frictional heat at one point of a boundary face.
struct FacePoint {
  const double* N = nullptr;  // element functions at the point
  int nfn = 0;                // face nodes
  int fn[8] = {};             // their element-local indices, 0-based
  bool exch[8] = {};          // face node exchanges heat (kinds 4, 7, 8, 9, 10)
  bool free = false;          // free face: surroundings, not a tool
  double pf = 0;              // weight x surface measure, mm^2
  double T = 0;               // temperature at the point, deg C
  double rc = 0;              // rho c at the point, J/(m^3 K)
  double htc = 0;             // heat-transfer coefficient, W/(m^2 K)
  double tAmb = 0;            // tool or surrounding temperature, deg C
  double flux = 0;            // frictional heat generated, W/m^2
  double share = 0;           // part of it that enters the material
};

// Calls visit(FacePoint) for every point of every boundary face of element
// k (d gathered from the mesh), with the face's exchange data and the
// frictional heat of tool contact (free faces generate none).
template <class Visit>
void ForFacePoints(const MeshRecord& mesh, const ElementTables& tab, const VariantSetup& setup,
                   const ModelParams& model, const std::vector<double>& sreg, int k,
                   const FlowElementData& d, Visit visit) {
  if (k > mesh.edata.size()) return;
  const Mesh3d& g = mesh.g;
  const FaceList& fl = mesh.edata(k).fl;
  for (int j = 1; j <= fl.nf; ++j) {
    const BndFace& bf = mesh.faces(fl.face(j));
    const int lf = fl.local(j);
    const FaceRule& rule = d.wedge ? tab.Wedge15Faces(lf) : tab.Tet10Faces(lf);
    FacePoint fp;
    fp.nfn = d.wedge ? (lf <= 2 ? 6 : 8) : 6;
    double pres[8], stress[8], fric[8], slide[8];
    for (int q = 0; q < fp.nfn; ++q) {
      fp.fn[q] = (d.wedge ? kWedgeFaceNodes[lf - 1][q] : kTetFaceNodes[lf - 1][q]) - 1;
      const int node = d.node[fp.fn[q]];
      const int code = g.BoundaryConditions(node);
      fp.free = fp.free || FreeCode(code);
      fp.exch[q] = ExchangeCode(code);
      pres[q] = mesh.fld(kFldP, node);
      stress[q] = mesh.fld(kFldStress, node);
      const int rec = g.EndPlane.empty() ? 0 : g.EndPlane(node);
      fric[q] = rec > 0 && rec <= mesh.bnd.size() ? mesh.bnd(rec).factor : 0.0;
      slide[q] = sreg[static_cast<std::size_t>(node)];
    }
    fp.htc = fp.free ? kFreeHtc : setup.ContactHtc;
    fp.tAmb = fp.free ? kFreeTemp : setup.ToolTemp;
    const int npt = std::min<int>(bf.npt, rule.npt);
    for (int p = 1; p <= npt; ++p) {
      const double* N = rule.N.col(p);
      fp.N = N;
      fp.T = 0;
      for (int a = 0; a < d.nen; ++a) fp.T += N[a] * d.T[a];
      fp.rc = HeatCapacity(setup.mat, fp.T);
      fp.pf = bf.v(kBfWJ, p);
      fp.flux = fp.share = 0;
      if (!fp.free) {
        double sigmaS = 0, m = 0, s = 0, pr = 0, v[3] = {0, 0, 0};
        for (int q = 0; q < fp.nfn; ++q) {
          const double Nq = N[fp.fn[q]];
          sigmaS += Nq * stress[q];
          m += Nq * fric[q];
          s += Nq * slide[q];
          pr += Nq * pres[q];
          for (int i = 0; i < 3; ++i) v[i] += Nq * d.v[fp.fn[q]][i];
        }
        const double n[3] = {bf.v(kBfN, p), bf.v(kBfN + 1, p), bf.v(kBfN + 2, p)};
        const double vn = v[0] * n[0] + v[1] * n[1] + v[2] * n[2];
        const double u = std::sqrt(std::max(0.0, v[0] * v[0] + v[1] * v[1] + v[2] * v[2] - vn * vn));
        s = std::max(0.1 * setup.RamSpeed, s);
        fp.flux = FrictionHeatFlux(model, std::fabs(sigmaS), m, std::fabs(std::min(0.0, pr)), u, s);
        if (fp.flux > 0.0) {
          const double den = fp.T + fp.tAmb;
          fp.share = den > 0.0 ? std::clamp(kFrictionShare * fp.tAmb / den, 0.0, kFrictionShare) : 0.5 * kFrictionShare;
        }
      }
      visit(fp);
    }
  }
}

// Plastic heat source of the temperature equation at an element point, K/s:
// beta sigma_bar epsdot / (rho c), the strain rate from the element's
// velocities (global derivatives grad), strain and temperature interpolated
// with the functions N.  Also returns the dissipation itself, MPa/s.
double PointHeatSource(const Material& mat, const FlowElementData& d, const double* N, const double grad[][3],
                       double Tg, double& dissipation) {
  double strain = 0;
  for (int a = 0; a < d.nen; ++a) strain += N[a] * d.e[a];
  const double rate = EquivalentStrainRate(PointStrainRate(d, grad));
  dissipation = PlasticDissipation(rate, strain, Tg, mat);
  return kPlasticHeatShare * dissipation * 1e6 / HeatCapacity(mat, Tg);
}

// Element routine of the frontal solver for the steady temperature.
struct TemperatureElements {
  const MeshRecord& mesh;          // thermal mesh (connectivity signs may be set by the solver)
  const ElementTables& tab;        // element library
  const VariantSetup& setup;       // input values of the variant: material, tools, ram speed
  const ModelParams& model;        // friction-law constants
  const std::vector<double>& sreg; // regularised sliding speed by node, mm/s
  double zTop;                     // largest corner z of the mesh, mm
  bool holdTop = true;             // hold the top plane (false: the unconstrained element system)

  int Unknowns(int k, int32_t* lm) const {
    // A connectivity column whose 15th entry is 0 is a tetrahedron.
    const int nen = mesh.g.npe >= 15 && mesh.g.nop(15, k) != 0 ? kWedgeNodes : kTetNodes;
    for (int a = 0; a < nen; ++a) lm[a] = mesh.g.nop(a + 1, k);
    return nen;
  }

  int System(int k, int32_t* lm, double* est, int ld, double* r) const {
    const Mesh3d& g = mesh.g;
    const Material& mat = setup.mat;
    FlowElementData d;
    GatherFlowElement(mesh, k, d);
    const ElemType& et = d.wedge ? tab.Wedge15 : tab.Tet10;
    const int nen = d.nen;
    for (int a = 0; a < nen; ++a) lm[a] = g.nop(a + 1, k);
    auto E = [&](int i, int j) -> double& { return est[static_cast<std::size_t>(j) * ld + i]; };

    // 1. Conduction and advection: a grad N_a . grad N_b + N_a v . grad N_b,
    // and the heat of plastic deformation on the right-hand side.
    double grad[15][3];
    double vol = 0;
    const double vzCap = std::fabs(10.0 * setup.RamSpeed);
    for (int p = 1; p <= et.ngp; ++p) {
      const double detJ = PointGradients(et, p, d, grad);
      const double* N = et.N.col(p);
      double Tg = 0, v[3] = {0, 0, 0};
      for (int a = 0; a < nen; ++a) {
        Tg += N[a] * d.T[a];
        for (int i = 0; i < 3; ++i) v[i] += N[a] * d.v[a][i];
      }
      const double lambda = Conductivity(mat, Tg);
      if (lambda < 0.0)
        Fatal("SolveTemperature: conductivity " + std::to_string(lambda) + " W/(m K) at T = " +
              std::to_string(Tg) + " deg C is negative; check the conductivity of the material");
      const double diff = lambda / HeatCapacity(mat, Tg) * 1e6;
      double dissipation = 0;
      const double source = PointHeatSource(mat, d, N, grad, Tg, dissipation);
      if (v[2] >= vzCap) v[2] = -10.0 * setup.RamSpeed;
      const double wd = et.w(p) * detJ;
      vol += wd;
      for (int b = 0; b < nen; ++b) {
        const double* gb = grad[b];
        const double adv = wd * (v[0] * gb[0] + v[1] * gb[1] + v[2] * gb[2]);
        double* col = est + static_cast<std::size_t>(b) * ld;
        for (int a = 0; a < nen; ++a) {
          const double* ga = grad[a];
          col[a] += diff * wd * (ga[0] * gb[0] + ga[1] * gb[1] + ga[2] * gb[2]) + N[a] * adv;
        }
        r[b] += N[b] * wd * source;
      }
    }
    // Sign of the exchange terms: subtracted on left-handed elements, whose
    // volume integrals are negative.
    const double orient = vol < 0.0 ? 1.0 : -1.0;

    // 2. Exchange with the tools or the surroundings on the element's
    // boundary faces, and the frictional heat of the tool contact, in the
    // units of H x T (K mm/s): q / (rho c) x 1000.
    ForFacePoints(mesh, tab, setup, model, sreg, k, d, [&](const FacePoint& fp) {
      const double H = fp.htc * 1000.0 / fp.rc;  // mm/s
      const double heat = fp.share * fp.flux * 1000.0 / fp.rc;
      for (int qa = 0; qa < fp.nfn; ++qa) {
        if (!fp.exch[qa]) continue;
        const int a = fp.fn[qa];
        r[a] -= orient * fp.N[a] * fp.pf * (H * fp.tAmb + heat);
        for (int qb = 0; qb < fp.nfn; ++qb)
          if (fp.exch[qb]) E(a, fp.fn[qb]) -= orient * H * fp.pf * fp.N[a] * fp.N[fp.fn[qb]];
      }
    });

    // 3. The top plane keeps its current temperature: row and column
    // elimination of every node at most kTopTol below it.
    for (int a = 0; a < nen && holdTop; ++a) {
      if (!(d.x[a][2] >= zTop - kTopTol)) continue;
      const double w = d.T[a];
      const double diag = E(a, a);
      for (int j = 0; j < nen; ++j)
        if (j != a) E(a, j) = 0.0;
      r[a] = diag * w;
      for (int i = 0; i < nen; ++i) {
        if (i == a) continue;
        r[i] -= E(i, a) * w;
        E(i, a) = 0.0;
      }
    }
    return nen;
  }
};

}  // namespace

double SpecificHeat(const Material& mat, double T) {
  if (T < mat.MatTmax) return mat.PairX(1) + mat.PairY(1) * T;
  return mat.PairX(1) + 4.0 * std::fabs(T - mat.MatTmax);
}

double Density(const Material& mat, double T) { return mat.PairX(2) + mat.PairY(2) * T; }

double Conductivity(const Material& mat, double T) { return mat.PairX(3) + mat.PairY(3) * T; }

double PlasticDissipation(double rate, double strain, double temp, const Material& mat) {
  double sigma = 0;
  const double mu = FlowViscosity(rate, strain, temp, mat, sigma);
  return 3.0 * mu * rate * rate;
}

double FrictionHeatFlux(const ModelParams& model, double sigmaS, double m, double pc, double u,
                        double s) {
  if (!(sigmaS > 0.0) || !(s > 0.0) || !(u > 0.0)) return 0.0;
  const double sat = 1.0 - std::exp(-1.25 * pc / (static_cast<double>(1.73f) * sigmaS));
  const double tau =
      (model.FricB + model.FricA * sat) * m * sigmaS / std::sqrt(3.0) * u / s;  // MPa
  return 1000.0 * tau * u;
}

FrontPlanStats SolveTemperature(MeshRecord& nodes, const ElementTables& tab, InpDat& inp) {
  Mesh3d& g = nodes.g;
  const int n = g.nh;
  inp.iter.nUnknownsT = n;
  inp.iter.ConvT = 0.0;
  if (n < 1 || g.ne < 1) return {};
  Require(nodes.fld.rows >= kNumFld && nodes.fld.cols >= n,
          "SolveTemperature: the field table does not cover the " + std::to_string(n) + " nodes of the thermal mesh");

  const std::vector<double> sreg = RegularisedSpeeds(nodes);
  const double zTop = TopCornerZ(g);  // the ram plane, held at its temperature
  TemperatureElements elem{nodes, tab, inp.setup, inp.model, sreg, zTop};
  Vec1<double> r1;
  const FrontPlanStats plan = FrontalSolve(SolveMode::Temperature, g.nop, g.npe, g.ne, g.nh, n,
                                           g.npe, elem, SolveOptionsOf(inp.solve, &nodes.pivots),
                                           SparseStatsFor(SolveMode::Temperature, inp.results), r1);

  double change = 0.0;
  for (int i = 1; i <= n; ++i) {
    const double t = r1(i);
    change = std::max(change, std::fabs(static_cast<double>(nodes.fld(kFldT, i)) - t));
    nodes.fld(kFldT, i) = static_cast<float>(t);
  }
  inp.iter.ConvT = change;
  return plan;
}

void ThermalHeatFlows(const MeshRecord& nodes, const ElementTables& tab, const VariantSetup& setup,
                      const ModelParams& model, ThermalHeat& out) {
  out = ThermalHeat{};
  const Mesh3d& g = nodes.g;
  if (g.nh < 1 || g.ne < 1) return;
  const std::vector<double> sreg = RegularisedSpeeds(nodes);
  const double zTop = TopCornerZ(g);
  const TemperatureElements elem{nodes, tab, setup, model, sreg, zTop, false};
  FlowElementData d;
  double grad[15][3];
  double est[15 * 15], rhs[15];
  int32_t lm[15];
  for (int k = 1; k <= g.ne; ++k) {
    GatherFlowElement(nodes, k, d);
    const ElemType& et = d.wedge ? tab.Wedge15 : tab.Tet10;
    bool top = false;
    for (int a = 0; a < d.nen; ++a) top = top || d.x[a][2] >= zTop - kTopTol;
    double vol = 0;
    for (int p = 1; p <= et.ngp; ++p) {
      const double detJ = PointGradients(et, p, d, grad);
      vol += et.w(p) * detJ;
      const double* N = et.N.col(p);
      double Tg = 0;
      for (int a = 0; a < d.nen; ++a) Tg += N[a] * d.T[a];
      double dissipation = 0;
      PointHeatSource(setup.mat, d, N, grad, Tg, dissipation);
      // MPa/s x mm^3 = 1e-3 W.
      out.source += kPlasticHeatShare * dissipation * std::fabs(et.w(p) * detJ) * 1e-3;
    }
    // The held top plane: the residual of a held node's equation, E T - r
    // of the element system without the constraint, is the heat / (rho c)
    // conducted in through the plane at that node (its sign follows the
    // element's orientation).
    if (top) {
      std::fill(est, est + 15 * 15, 0.0);
      std::fill(rhs, rhs + 15, 0.0);
      elem.System(k, lm, est, 15, rhs);
      const double sgn = vol < 0.0 ? -1.0 : 1.0;
      for (int a = 0; a < d.nen; ++a) {
        if (!(d.x[a][2] >= zTop - kTopTol)) continue;
        double res = -rhs[a];
        for (int b = 0; b < d.nen; ++b) res += est[b * 15 + a] * d.T[b];
        out.topConduction +=
            sgn * res * HeatCapacity(setup.mat, d.T[a]) * 1e-9;  // K mm^3/s x J/(m^3 K)
      }
    }
    // The equations of the exchanging face nodes carry the exchange: their
    // functions at a point sum to w, so h w (T_x - T_amb) of the point's
    // flux enters, T_x interpolated from those nodes.  The equations of
    // held nodes are replaced; their part is in the residual above.
    ForFacePoints(nodes, tab, setup, model, sreg, k, d, [&](const FacePoint& fp) {
      double w = 0, Tx = 0;
      for (int q = 0; q < fp.nfn; ++q)
        if (fp.exch[q]) {
          const int a = fp.fn[q];
          if (!(d.x[a][2] >= zTop - kTopTol)) w += fp.N[a];
          Tx += fp.N[a] * d.T[a];
        }
      const double exchange = fp.htc * w * (Tx - fp.tAmb) * fp.pf * 1e-6;  // W
      (fp.free ? out.toAir : out.toTools) += exchange;
      out.frictionGenerated += w * fp.flux * fp.pf * 1e-6;
      out.frictionIn += w * fp.share * fp.flux * fp.pf * 1e-6;
    });
  }
}
