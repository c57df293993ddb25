#include "solver/flow_relaxation.h"

#include <algorithm>
#include <cmath>

namespace {

// Offset of velocity component c (0 x, 1 y, 2 z) of node i (1-based) in the
// state vector; the corner pressures follow as component 3.
std::size_t Slot(int nh, int c, int i) { return static_cast<std::size_t>(c) * static_cast<std::size_t>(nh) + static_cast<std::size_t>(i - 1); }

// Secant estimate of the factor that cancels the dominant mode of the last
// two changes r0, r1: w1 = -w0 r0.(r1 - r0) / |r1 - r0|^2.
double AitkenFactor(double w0, const std::vector<double>& r0, const std::vector<double>& r1) {
  double num = 0.0, den = 0.0;
  for (std::size_t i = 0; i < r1.size(); ++i) {
    const double d = r1[i] - r0[i];
    num += r0[i] * d;
    den += d * d;
  }
  return den > 0.0 ? -w0 * num / den : w0;
}

// Aitken extrapolation factor 1 / (1 - l) of a creeping change r1 = l r0
// (l the projected slope r1.r0 / |r0|^2), or 1 where the two changes are
// not nearly parallel or the slope lies outside [0.3, 0.9].
double ExtrapolationFactor(const std::vector<double>& r0, const std::vector<double>& r1, double largest) {
  double r01 = 0.0, r00 = 0.0, r11 = 0.0;
  for (std::size_t i = 0; i < r1.size(); ++i) {
    r01 += r0[i] * r1[i];
    r00 += r0[i] * r0[i];
    r11 += r1[i] * r1[i];
  }
  if (!(r00 > 0.0 && r11 > 0.0) || r01 < kExtrapolateCos * std::sqrt(r00 * r11)) return 1.0;
  const double slope = r01 / r00;
  return slope >= 0.3 && slope <= 0.9 ? std::min(1.0 / (1.0 - slope), largest) : 1.0;
}

}  // namespace

void KeepFlowState(const MeshRecord& nodes, FlowRelaxation& relax) {
  const int nh = nodes.g.nh, np = nodes.g.np;
  relax.state.resize(static_cast<std::size_t>(3 * nh + np));
  for (int c = 0; c < 3; ++c)
    for (int i = 1; i <= nh; ++i) relax.state[Slot(nh, c, i)] = nodes.fld(kFldVx + c, i);
  for (int i = 1; i <= np; ++i) relax.state[Slot(nh, 3, i)] = nodes.fld(kFldP, i);
}

double RelaxFlowUpdate(double convV, FlowRelaxation& relax, MeshRecord& nodes) {
  const int nh = nodes.g.nh, np = nodes.g.np;
  const std::size_t nv = static_cast<std::size_t>(3 * nh);
  std::vector<double> r(nv);
  for (int c = 0; c < 3; ++c)
    for (int i = 1; i <= nh; ++i) r[Slot(nh, c, i)] = nodes.fld(kFldVx + c, i) - relax.state[Slot(nh, c, i)];
  ++relax.steps;
  if (relax.omega > 1.0 && relax.lastConvV >= 0.0 && convV > relax.lastConvV)
    relax.extrapolateMax = std::max(1.0, 0.5 * relax.extrapolateMax);
  relax.active = relax.active || (relax.steps > relax.after && relax.lastConvV >= 0.0 && convV > relax.lastConvV &&
                                   relax.omega <= 1.0);
  relax.lastConvV = convV;
  double w = 1.0;
  if (relax.active && relax.change.size() == nv)
    w = std::clamp(AitkenFactor(relax.omega, relax.change, r), kRelaxMin, 1.0);
  else if (relax.extrapolate && relax.omega == 1.0 && relax.change.size() == nv)
    w = ExtrapolationFactor(relax.change, r, relax.extrapolateMax);
  if (convV <= relax.plainBelow) w = 1.0;
  if (relax.cap > 0.0 && convV * w > relax.cap) w = relax.cap / convV;
  relax.change.swap(r);
  relax.omega = w;
  if (w == 1.0) return w;
  for (int c = 0; c < 3; ++c)
    for (int i = 1; i <= nh; ++i) {
      const std::size_t k = Slot(nh, c, i);
      nodes.fld(kFldVx + c, i) = static_cast<float>(relax.state[k] + w * relax.change[k]);
    }
  for (int i = 1; i <= np; ++i) {
    const double old = relax.state[Slot(nh, 3, i)];
    nodes.fld(kFldP, i) = static_cast<float>(old + w * (nodes.fld(kFldP, i) - old));
  }
  return w;
}
