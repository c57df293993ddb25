#include "mesh2d/ring_rule.h"

#include <algorithm>
#include <cmath>

#include "core/console.h"

namespace {

// Smallest distance from the points of `a` to the closed polygon through
// the points of `b`, and the other way round.
double Gap(const RawOutline& a, const RawOutline& b) {
  auto toPolygon = [](const RawOutline& p, const RawOutline& q) {
    double best = HUGE_VAL;
    const std::size_t n = q.x.size();
    for (std::size_t i = 0; i < p.x.size(); ++i)
      for (std::size_t k = 0; k < n; ++k) {
        const double ax = q.x[k], ay = q.y[k], bx = q.x[(k + 1) % n], by = q.y[(k + 1) % n];
        const double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
        double t = len2 > 0.0 ? ((p.x[i] - ax) * dx + (p.y[i] - ay) * dy) / len2 : 0.0;
        t = std::clamp(t, 0.0, 1.0);
        best = std::min(best, std::hypot(p.x[i] - (ax + t * dx), p.y[i] - (ay + t * dy)));
      }
    return best;
  };
  return std::min(toPolygon(a, b), toPolygon(b, a));
}

double Width(const RawOutline& o) {
  double w = 0.0;
  for (std::size_t i = 0; i < o.x.size(); ++i)
    for (std::size_t k = i + 1; k < o.x.size(); ++k) w = std::max(w, std::hypot(double{o.x[i]} - o.x[k], double{o.y[i]} - o.y[k]));
  return w;
}

}  // namespace

std::string RingRuleFinding(const std::string& path, const OutlineFileData& data, int32_t profType) {
  if ((profType != 1 && profType != 5) || data.nOutlines != 3 || data.SplitMode != 1) return "";
  if (data.slot[0] == 0 || data.slot[1] == 0 || data.slot[2] == 0) return "";
  const RawOutline& profile = data.outlines[static_cast<std::size_t>(data.slot[0] - 1)];
  const RawOutline& ring = data.outlines[static_cast<std::size_t>(data.slot[1] - 1)];
  const RawOutline& bore = data.outlines[static_cast<std::size_t>(data.slot[2] - 1)];
  const double w = Width(profile), least = 0.25 * w;
  const double inner = Gap(profile, ring), outer = Gap(ring, bore);
  if (inner >= least && outer >= least) return "";
  return path + ": warning: the intermediate ring " + ring.name.substr(0, ring.name.find(' ')) + " lies " +
         FormatReal(std::round(inner * 10) / 10) + " mm from the profile and " + FormatReal(std::round(outer * 10) / 10) +
         " mm from the container bore " + bore.name.substr(0, bore.name.find(' ')) +
         "; keep both gaps at least a quarter of the profile's largest width " + FormatReal(std::round(w * 10) / 10) +
         " mm (" + FormatReal(std::round(least * 10) / 10) +
         " mm), e.g. a circle midway between the profile's width and the container bore";
}
