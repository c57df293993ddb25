#include "solver/temperature.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/fatal.h"
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

// Element routine of the frontal solver for the steady temperature.
struct TemperatureElements {
  const MeshRecord& mesh;          // thermal mesh (connectivity signs may be set by the solver)
  const ElementTables& tab;        // element library
  const InpDat& inp;               // variant record: material, tools, friction constants
  const std::vector<double>& sreg; // regularised sliding speed by node, mm/s
  double zTop;                     // largest corner z of the mesh, mm

  int Unknowns(int k, int32_t* lm) const {
    // A connectivity column whose 15th entry is 0 is a tetrahedron.
    const int nen = mesh.g.npe >= 15 && mesh.g.nop(15, k) != 0 ? kWedgeNodes : kTetNodes;
    for (int a = 0; a < nen; ++a) lm[a] = mesh.g.nop(a + 1, k);
    return nen;
  }

  int System(int k, int32_t* lm, double* est, int ld, double* r) const {
    const Mesh3d& g = mesh.g;
    const Material& mat = inp.mat;
    FlowElementData d;
    GatherFlowElement(mesh, k, d);
    const ElemType& et = d.wedge ? tab.Wedge15 : tab.Tet10;
    const int nen = d.nen;
    for (int a = 0; a < nen; ++a) lm[a] = g.nop(a + 1, k);
    auto E = [&](int i, int j) -> double& { return est[static_cast<std::size_t>(j) * ld + i]; };

    // 1. Conduction and advection: a grad N_a . grad N_b + N_a v . grad N_b.
    double grad[15][3];
    double vol = 0;
    const double vzCap = std::fabs(10.0 * inp.RamSpeed);
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
      if (v[2] >= vzCap) v[2] = -10.0 * inp.RamSpeed;
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
      }
    }
    // Sign of the exchange terms: subtracted on left-handed elements, whose
    // volume integrals are negative.
    const double orient = vol < 0.0 ? 1.0 : -1.0;

    // 2. Exchange with the tools or the surroundings on the element's
    // boundary faces, and the frictional heat of the tool contact.
    if (k <= mesh.edata.size()) {
      const FaceList& fl = mesh.edata(k).fl;
      for (int j = 1; j <= fl.nf; ++j) {
        const BndFace& bf = mesh.faces(fl.face(j));
        const int lf = fl.local(j);
        const FaceRule& rule = d.wedge ? tab.Wedge15Faces(lf) : tab.Tet10Faces(lf);
        int fn[8];
        const int nfn = d.wedge ? (lf <= 2 ? 6 : 8) : 6;
        for (int q = 0; q < nfn; ++q) fn[q] = (d.wedge ? kWedgeFaceNodes[lf - 1][q] : kTetFaceNodes[lf - 1][q]) - 1;
        bool free = false;
        bool exch[8];
        double pres[8], stress[8], fric[8], slide[8];
        for (int q = 0; q < nfn; ++q) {
          const int node = d.node[fn[q]];
          const int code = g.BoundaryConditions(node);
          free = free || FreeCode(code);
          exch[q] = ExchangeCode(code);
          pres[q] = mesh.fld(kFldP, node);
          stress[q] = mesh.fld(kFldStress, node);
          const int rec = g.EndPlane.empty() ? 0 : g.EndPlane(node);
          fric[q] = rec > 0 && rec <= mesh.bnd.size() ? mesh.bnd(rec).factor : 0.0;
          slide[q] = sreg[static_cast<std::size_t>(node)];
        }
        const double htc = free ? kFreeHtc : inp.ContactHtc;
        const double tAmb = free ? kFreeTemp : inp.ToolTemp;
        const int npt = std::min<int>(bf.npt, rule.npt);
        for (int p = 1; p <= npt; ++p) {
          const double* N = rule.N.col(p);
          double Tp = 0;
          for (int a = 0; a < nen; ++a) Tp += N[a] * d.T[a];
          const double rc = HeatCapacity(mat, Tp);
          const double H = htc * 1000.0 / rc;  // mm/s
          const double pf = bf.v(kBfWJ, p);    // weight x surface measure, mm^2
          // Frictional heat, in the units of H x T (K mm/s): q / (rho c) x 1000.
          double heat = 0;
          if (!free) {
            double sigmaS = 0, m = 0, s = 0, pr = 0, v[3] = {0, 0, 0};
            for (int q = 0; q < nfn; ++q) {
              const double Nq = N[fn[q]];
              sigmaS += Nq * stress[q];
              m += Nq * fric[q];
              s += Nq * slide[q];
              pr += Nq * pres[q];
              for (int i = 0; i < 3; ++i) v[i] += Nq * d.v[fn[q]][i];
            }
            const double n[3] = {bf.v(kBfN, p), bf.v(kBfN + 1, p), bf.v(kBfN + 2, p)};
            const double vn = v[0] * n[0] + v[1] * n[1] + v[2] * n[2];
            const double u = std::sqrt(std::max(0.0, v[0] * v[0] + v[1] * v[1] + v[2] * v[2] - vn * vn));
            s = std::max(0.1 * inp.RamSpeed, s);
            const double flux = FrictionHeatFlux(inp, std::fabs(sigmaS), m, std::fabs(std::min(0.0, pr)), u, s);
            if (flux > 0.0) {
              const double den = Tp + tAmb;
              const double share = den > 0.0 ? std::clamp(kFrictionShare * tAmb / den, 0.0, kFrictionShare)
                                             : 0.5 * kFrictionShare;
              heat = share * flux * 1000.0 / rc;
            }
          }
          for (int qa = 0; qa < nfn; ++qa) {
            if (!exch[qa]) continue;
            const int a = fn[qa];
            r[a] -= orient * N[a] * pf * (H * tAmb + heat);
            for (int qb = 0; qb < nfn; ++qb)
              if (exch[qb]) E(a, fn[qb]) -= orient * H * pf * N[a] * N[fn[qb]];
          }
        }
      }
    }

    // 3. The top plane keeps its current temperature: row and column
    // elimination of every node at most kTopTol below it.
    for (int a = 0; a < nen; ++a) {
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

double FrictionHeatFlux(const InpDat& inp, double sigmaS, double m, double pc, double u, double s) {
  if (!(sigmaS > 0.0) || !(s > 0.0) || !(u > 0.0)) return 0.0;
  const double sat = 1.0 - std::exp(-1.25 * pc / (static_cast<double>(1.73f) * sigmaS));
  const double tau = (inp.FricB + inp.FricA * sat) * m * sigmaS / std::sqrt(3.0) * u / s;  // MPa
  return 1000.0 * tau * u;
}

void SolveTemperature(MeshRecord& nodes, const ElementTables& tab, InpDat& inp) {
  Mesh3d& g = nodes.g;
  StoreCornerZRange(g, inp);
  const int n = g.nh;
  inp.nUnknownsT = n;
  inp.ConvT = 0.0;
  if (n < 1 || g.ne < 1) return;
  Require(nodes.fld.rows >= kNumFld && nodes.fld.cols >= n,
          "SolveTemperature: the field table does not cover the " + std::to_string(n) + " nodes of the thermal mesh");

  const std::vector<double> sreg = RegularisedSpeeds(nodes);
  TemperatureElements elem{nodes, tab, inp, sreg, inp.ZMaxCorner};
  Vec1<double> r1;
  FrontalSolve(SolveMode::Temperature, g.nop, g.npe, g.ne, g.nh, n, g.npe, elem, inp, r1);

  double change = 0.0;
  for (int i = 1; i <= n; ++i) {
    const double t = r1(i);
    change = std::max(change, std::fabs(static_cast<double>(nodes.fld(kFldT, i)) - t));
    nodes.fld(kFldT, i) = static_cast<float>(t);
  }
  inp.ConvT = change;
}
