#include "solver/rheology.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "material/flow_stress.h"
#include "solver/flow_element.h"

namespace {
constexpr double kSqrt3 = 1.7320508f;  // single-precision sqrt(3), widened

double MeanNodalEta(const MeshRecord& m) {
  const int nh = m.g.nh;
  if (nh == 0) return 0.0;
  double s = 0;
  for (int i = 1; i <= nh; ++i) s += m.fld(kFldVisc, i);
  return s / nh;
}
}  // namespace

void REOLOG_aver(const MeshRecord& nodes, InpDat& inp) {
  const int nh = nodes.g.nh;
  double tmax = 0.0, tmin = 1e9, tsum = 0.0;
  double sBnd = 0.0, nBnd = 0.0, sAll = 0.0;
  for (int i = 1; i <= nh; ++i) {
    const double T = nodes.fld(kFldT, i);
    tmax = std::max(tmax, T);
    tmin = std::min(tmin, T);
    tsum += T;
    const double s = nodes.fld(kFldStress, i);
    sAll += s;
    const int code = nodes.g.BoundaryConditions(i);
    if (IsBoundaryCode(code)) {
      sBnd += s;
      nBnd += 1.0;
    }
  }
  inp.iter.TempMax = tmax;
  inp.iter.TempMin = tmin;
  inp.iter.TempSum = tsum;
  if (nBnd > 1e-4) inp.iter.Tsr = sBnd / nBnd;
  else if (nh > 0) inp.iter.Tsr = sAll / nh;
}

void RheologyUpdate(const ElementTables& tab, MeshRecord& nodes, InpDat& inp) {
  const Mesh3d& g = nodes.g;
  const int nh = g.nh;
  if (nh > 0) ApplyLawFractureTable(inp.setup.mat);  // the nodal law evaluations below

  const double meanOld = MeanNodalEta(nodes);
  std::vector<double> weight(static_cast<size_t>(nh) + 1, 0.0);
  std::vector<double> accum(static_cast<size_t>(nh) + 1, 0.0);
  for (int i = 1; i <= nh; ++i) {
    nodes.fld(kFldVisc, i) = 0.0f;
    nodes.fld(kFldStress, i) = 0.0f;
  }

  // Element strain rates at the integration points, averaged at the nodes.
  double e0min = 1000.0, e0max = -1000.0, avmin = 10000.0, avmax = -10000.0;
  FlowElementData d;
  double grad[15][3];
  for (int k = 1; k <= g.ne; ++k) {
    GatherFlowElement(nodes, k, d);
    const ElemType& et = d.wedge ? tab.Wedge15 : tab.Tet10;
    double vol = 0.0, sum = 0.0;
    for (int p = 1; p <= et.ngp; ++p) {
      const double detJ = PointGradients(et, p, d, grad);
      const double rate = EquivalentStrainRate(PointStrainRate(d, grad));
      e0min = std::min(e0min, rate);
      e0max = std::max(e0max, rate);
      const double wd = et.w(p) * detJ;
      vol += wd;
      sum += wd * rate;
    }
    const double mean = vol != 0.0 ? sum / vol : 0.0;
    avmin = std::min(avmin, mean);
    avmax = std::max(avmax, mean);
    const double av = std::fabs(vol);
    for (int a = 0; a < d.nen; ++a) {
      weight[static_cast<size_t>(d.node[a])] += av;
      accum[static_cast<size_t>(d.node[a])] += av * mean;
    }
  }
  inp.iter.E0_min = e0min;
  inp.iter.E0_max = e0max;
  inp.iter.E0_av_min = avmin;
  inp.iter.E0_av_max = avmax;

  // Flow stress law at the nodes.
  double vmax = 0.0, vmin = 1e20;
  for (int i = 1; i <= nh; ++i) {
    const size_t n = static_cast<size_t>(i);
    // A node outside every element has no strain rate of its own.
    double rate = weight[n] > 0.0 ? static_cast<float>(accum[n] / weight[n]) : 0.0;
    double strain = nodes.fld(kFldStrain, i);
    double temp = nodes.fld(kFldT, i);
    double sigma = nodes.fld(kFldStress, i);
    double eta = 0.0;
    FlowStress(rate, strain, temp, inp.setup.mat, sigma, eta);
    nodes.fld(kFldVisc, i) = static_cast<float>(eta);
    nodes.fld(kFldStress, i) = static_cast<float>(sigma);
    vmax = std::max(vmax, static_cast<double>(nodes.fld(kFldVisc, i)));
    vmin = std::min(vmin, static_cast<double>(nodes.fld(kFldVisc, i)));
  }
  inp.iter.ViscMax = vmax;
  inp.iter.ViscMin = vmin;
  const double meanNew = MeanNodalEta(nodes);

  // The material at and behind the entry plane Z0 is held at the largest
  // viscosity, together with every element touching it by a corner node.
  const double zLim = inp.layout.Z0 + 1e-4;
  const float fmax = static_cast<float>(vmax);
  for (int i = 1; i <= nh; ++i)
    if (g.xyz(3, i) <= zLim) nodes.fld(kFldVisc, i) = fmax;
  for (int k = 1; k <= g.ne; ++k) {
    const bool wedge = IsWedge(g, k);
    const int nen = wedge ? kWedgeNodes : kTetNodes;
    const int nc = wedge ? kWedgeCorners : kTetCorners;
    bool touches = false;
    for (int a = 1; a <= nc && !touches; ++a) touches = g.xyz(3, std::abs(g.nop(a, k))) <= zLim;
    if (!touches) continue;
    for (int a = 1; a <= nen; ++a) nodes.fld(kFldVisc, std::abs(g.nop(a, k))) = fmax;
  }

  inp.iter.ConvVisc = std::fabs((meanNew - meanOld) / (meanOld + 1e-6));
  FractureCriterion(nodes, inp.setup.mat);
}

void FractureCriterion(MeshRecord& nodes, const Material& mat) {
  const double D1 = mat.FracTable(1), D2 = mat.FracTable(2);
  const double D3 = mat.FracTable(3), D4 = mat.FracTable(4);
  for (int i = 1; i <= nodes.g.nh; ++i) {
    const double p = nodes.fld(kFldP, i);
    const double T = nodes.fld(kFldT, i);
    const double sigma = nodes.fld(kFldStress, i);
    const double eta = nodes.fld(kFldVisc, i);
    const double strain = nodes.fld(kFldStrain, i);

    double t;
    if (sigma != 0.0) t = std::clamp(p / (sigma * kSqrt3), -10.0, 10.0);
    else t = p > 0.0 ? 10.0 : (p < 0.0 ? -10.0 : 0.0);
    const double a = std::exp(-D2 * t);
    const double b = std::exp(D3 * std::clamp(T, 100.0, 500.0));
    double ratio = eta != 0.0 ? sigma / eta / kSqrt3 : 0.0;
    if (!(ratio >= 0.01)) ratio = 0.01;  // also catches a non-finite ratio
    if (ratio > 10.0) ratio = 10.0;
    const double c = std::pow(ratio, D4);
    const float epsP = static_cast<float>(D1 * kSqrt3 * a * b * c);
    nodes.fld(kFldEpsP, i) = epsP;
    nodes.fld(kFldPsi, i) = epsP > 0.0f ? static_cast<float>(strain / epsP) : 0.0f;
  }
}
