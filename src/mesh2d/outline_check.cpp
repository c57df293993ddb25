#include "mesh2d/outline_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/fatal.h"
#include "core/records.h"
#include "mesh2d/geometry2d.h"

namespace {

// Half-width of the band around the symmetry axes in which outlines of half
// and quarter models may share points (the mesher's symmetry tolerance).
constexpr double kAxisBand = 0.05;

// One outline as the closed polygon through all its points.
struct Poly {
  std::string label;          // "outline NAME (slot k, role)"
  std::vector<Point2> p;      // points, 0-based
  double tol = 0.0;           // distance below which two points count as one, mm
  double area = 0.0;          // signed area, mm2
};

std::string Num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

std::string At(const Point2& q) { return "(" + Num(q[0]) + ", " + Num(q[1]) + ")"; }

std::string Trimmed(const std::string& name) {
  std::string s = name;
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

// Slot an outline takes by its name: 1..5, or 0 for none.
int SlotOfName(const std::string& name, bool has3) {
  if (name == "WPIECE") return 1;
  if (name.size() < 5) return 0;
  switch (name[4]) {
    case '1': return 2;
    case '2': return 3;
    case '3': return 4;
    case '4': return has3 ? 5 : 4;
    default: return 0;
  }
}

double SegDist2(const Point2& q, const Point2& a, const Point2& b) {
  const double dx = b[0] - a[0], dy = b[1] - a[1];
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0.0 ? ((q[0] - a[0]) * dx + (q[1] - a[1]) * dy) / len2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  const Point2 f{a[0] + t * dx, a[1] + t * dy};
  return Dist2(q, f);
}

int Sign(double v) { return (v > 0.0) - (v < 0.0); }

// Whether the open segments ab and cd cross at one interior point of both.
bool ProperCross(const Point2& a, const Point2& b, const Point2& c, const Point2& d) {
  const int d1 = Sign(Cross(c, d, a)), d2 = Sign(Cross(c, d, b));
  const int d3 = Sign(Cross(a, b, c)), d4 = Sign(Cross(a, b, d));
  return d1 * d2 < 0 && d3 * d4 < 0;
}

// Smallest distance of the segments ab and cd, squared (0 when they cross).
double SegSegDist2(const Point2& a, const Point2& b, const Point2& c, const Point2& d) {
  if (ProperCross(a, b, c, d)) return 0.0;
  return std::min({SegDist2(a, c, d), SegDist2(b, c, d), SegDist2(c, a, b), SegDist2(d, a, b)});
}

// Point classification against a closed polygon.
enum class Where { Inside, Outside, OnBoundary };

Where Locate(const Point2& q, const Poly& o, double tol) {
  const std::size_t n = o.p.size();
  for (std::size_t i = 0; i < n; ++i)
    if (SegDist2(q, o.p[i], o.p[(i + 1) % n]) <= tol * tol) return Where::OnBoundary;
  // Crossing number of a ray towards +x.
  bool in = false;
  for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
    const Point2& a = o.p[i];
    const Point2& b = o.p[j];
    if ((a[1] > q[1]) != (b[1] > q[1])) {
      const double x = a[0] + (q[1] - a[1]) * (b[0] - a[0]) / (b[1] - a[1]);
      if (q[0] < x) in = !in;
    }
  }
  return in ? Where::Inside : Where::Outside;
}

bool OnAxis(const Point2& q) { return std::fabs(q[0]) < kAxisBand || std::fabs(q[1]) < kAxisBand; }

// Checks of one outline on its own.
std::string CheckSingle(const Poly& o) {
  const std::size_t n = o.p.size();
  const double tol2 = o.tol * o.tol;
  bool allSame = true;
  for (const Point2& q : o.p) allSame = allSame && Dist2(q, o.p[0]) <= tol2;
  if (allSame) return "all its " + std::to_string(n) + " points coincide at " + At(o.p[0]) + ": it encloses no area";
  if (n == 2)
    return "has only 2 points (one segment from point 1 through point 2 back to point 1): it encloses no area; "
           "an outline needs at least two segments (4 points)";
  if (Dist2(o.p[n - 1], o.p[0]) <= tol2)
    return "its last point " + std::to_string(n) + " repeats point 1 " + At(o.p[0]) +
           ": an outline closes by itself from its last point back to the first, so leave the repeated point out";
  for (std::size_t i = 0; i + 1 < n; ++i)
    if (Dist2(o.p[i], o.p[i + 1]) <= tol2)
      return "points " + std::to_string(i + 1) + " and " + std::to_string(i + 2) + " coincide at " + At(o.p[i]);
  double xmin = o.p[0][0], xmax = xmin, ymin = o.p[0][1], ymax = ymin;
  for (const Point2& q : o.p) {
    xmin = std::min(xmin, q[0]), xmax = std::max(xmax, q[0]);
    ymin = std::min(ymin, q[1]), ymax = std::max(ymax, q[1]);
  }
  const double extent2 = (xmax - xmin) * (xmax - xmin) + (ymax - ymin) * (ymax - ymin);
  if (std::fabs(o.area) <= 1e-9 * extent2) return "encloses no area (its points lie on one line)";
  // Neighbouring pieces may only meet at their common point; any other two
  // pieces must stay apart.
  for (std::size_t i = 0; i < n; ++i) {
    const Point2& a = o.p[i];
    const Point2& b = o.p[(i + 1) % n];
    const Point2& c = o.p[(i + 2) % n];
    // Folding back: the next piece runs back along this one.
    if (SegDist2(c, a, b) <= tol2 || SegDist2(a, b, c) <= tol2)
      return "turns back on itself at point " + std::to_string((i + 1) % n + 1) + " " + At(b);
    for (std::size_t j = i + 2; j < n; ++j) {
      if ((j + 1) % n == i) continue;  // the piece before piece i shares its start
      const Point2& d = o.p[j];
      const Point2& e = o.p[(j + 1) % n];
      if (SegSegDist2(a, b, d, e) <= tol2)
        return "crosses itself: the piece from point " + std::to_string(i + 1) + " " + At(a) + " to point " +
               std::to_string((i + 1) % n + 1) + " " + At(b) + " meets the piece from point " + std::to_string(j + 1) +
               " " + At(d) + " to point " + std::to_string((j + 1) % n + 1) + " " + At(e);
    }
  }
  return "";
}

// `inner` must lie inside `outer`; common points only on the symmetry axes.
std::string CheckInside(const Poly& inner, const Poly& outer) {
  const double tol = outer.tol;
  const std::size_t n = inner.p.size(), m = outer.p.size();
  std::size_t onBoundary = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Point2& q = inner.p[i];
    const Where w = Locate(q, outer, tol);
    if (w == Where::Outside)
      return "point " + std::to_string(i + 1) + " " + At(q) + " lies outside " + outer.label + "; it must lie inside it";
    if (w == Where::OnBoundary) ++onBoundary;
  }
  if (onBoundary == n) return "lies on " + outer.label + " all along: the two outlines are the same line";
  for (std::size_t i = 0; i < n; ++i) {
    const Point2& q = inner.p[i];
    if (Locate(q, outer, tol) == Where::OnBoundary && !OnAxis(q))
      return "touches " + outer.label + " at point " + std::to_string(i + 1) + " " + At(q) +
             "; the two outlines need a gap (they may meet only on a symmetry axis)";
  }
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < m; ++j)
      if (ProperCross(inner.p[i], inner.p[(i + 1) % n], outer.p[j], outer.p[(j + 1) % m]))
        return "crosses " + outer.label + " between its points " + std::to_string(i + 1) + " and " +
               std::to_string((i + 1) % n + 1);
  if (std::fabs(inner.area) >= std::fabs(outer.area))
    return "encloses no less area than " + outer.label + " around it";
  return "";
}

// Two holes of a multi-hole die: apart, neither inside the other.
std::string CheckApart(const Poly& a, const Poly& b) {
  const double tol = std::max(a.tol, b.tol);
  const std::size_t n = a.p.size(), m = b.p.size();
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < m; ++j)
      if (SegSegDist2(a.p[i], a.p[(i + 1) % n], b.p[j], b.p[(j + 1) % m]) <= tol * tol)
        return "meets " + b.label + " near point " + std::to_string(i + 1) + " " + At(a.p[i]) +
               "; the holes of a multi-hole die must lie apart";
  if (Locate(a.p[0], b, tol) == Where::Inside) return "lies inside " + b.label + "; the holes of a multi-hole die must lie apart";
  if (Locate(b.p[0], a, tol) == Where::Inside) return "encloses " + b.label + "; the holes of a multi-hole die must lie apart";
  return "";
}

// Slots of the nested chain, innermost first (see the header).
std::vector<int> NestedChain(const OutlineFileData& data) {
  const int m = data.nOutlines - data.SplitMode + 1;
  std::vector<int> chain;
  for (int k = 1; k <= std::min(m, 4); ++k) chain.push_back(k == 4 && data.SplitMode == 2 ? 5 : k);
  return chain;
}

}  // namespace

OutlineLayout LayoutOfProcess(int32_t profType) {
  return IsMultiHole(profType) ? OutlineLayout::MultiHole : OutlineLayout::Nested;
}

int NestedOutlinesNeeded(int32_t profType) { return HasExtraZone(profType) ? 3 : 2; }

std::string SlotRole(int slot, const OutlineFileData& data, int32_t profType) {
  if (LayoutOfProcess(profType) == OutlineLayout::MultiHole)
    return slot == 3 ? "the container bore" : slot == 1 ? "the profile, a hole of the die" : "a hole of the die";
  if (slot == 1) return "the profile";
  if (slot == 4 && data.SplitMode == 2) return "the inner outline of the hollow profile";
  const std::vector<int> chain = NestedChain(data);
  if (!chain.empty() && slot == chain.back()) return "the container bore";
  return "an intermediate ring";
}

std::string CheckOutlineGeometry(const std::string& path, const OutlineFileData& data, int32_t profType) {
  const int N = data.nOutlines;
  const int used = std::min(N, 5);
  const bool multi = LayoutOfProcess(profType) == OutlineLayout::MultiHole;
  const std::string head = path + ": ";
  auto nameOf = [&](int index) {
    const std::string nm = Trimmed(data.outlines[static_cast<std::size_t>(index - 1)].name);
    return nm.empty() ? "number " + std::to_string(index) + " (no name)" : nm;
  };

  // 1. Slots.
  bool has3 = false;
  for (const RawOutline& o : data.outlines) has3 = has3 || (o.name.size() >= 5 && o.name != "WPIECE" && o.name[4] == '3');
  std::vector<int> slotOf(static_cast<std::size_t>(N) + 1, 0);
  std::vector<int> first(6, 0);
  for (int k = 1; k <= N; ++k) {
    const int s = SlotOfName(data.outlines[static_cast<std::size_t>(k - 1)].name, has3);
    slotOf[static_cast<std::size_t>(k)] = s;
    if (s == 0) continue;
    if (first[static_cast<std::size_t>(s)] != 0)
      return head + "outline " + nameOf(k) + " (slot " + std::to_string(s) + "): outline " + std::to_string(k) +
             " of the file takes the same slot as outline " + std::to_string(first[static_cast<std::size_t>(s)]) +
             " (" + nameOf(first[static_cast<std::size_t>(s)]) + "); every slot takes one outline";
    first[static_cast<std::size_t>(s)] = k;
  }
  for (int s = 1; s <= used; ++s) {
    if (data.slot[static_cast<std::size_t>(s - 1)] != 0) continue;
    // Name the outline that stands where this one was expected.
    std::string why;
    for (int k = 1; k <= N && why.empty(); ++k) {
      const int t = slotOf[static_cast<std::size_t>(k)];
      if (t == 0)
        why = "outline " + nameOf(k) + " has no slot (its name is not WPIECE and has no '1' to '4' in fifth place)";
      else if (t > used)
        why = "outline " + nameOf(k) + " takes slot " + std::to_string(t);
    }
    const std::string want = s == 1 ? "an outline named WPIECE (the profile)"
                                    : "an outline with '" + std::to_string(s - 1) + "' in fifth place";
    return head + "outline slot " + std::to_string(s) + " is empty: the file holds " + std::to_string(N) +
           " outline(s), which fill slots 1 to " + std::to_string(used) + " in order, and slot " + std::to_string(s) +
           " needs " + want + (why.empty() ? "" : "; " + why) +
           " (a profile with a container alone: WPIECE and CONT1; with an intermediate ring: WPIECE, RING1, CONT2)";
  }

  // 2. Every used outline on its own.
  std::vector<Poly> poly(6);
  for (int s = 1; s <= used; ++s) {
    const int k = data.slot[static_cast<std::size_t>(s - 1)];
    const RawOutline& raw = data.outlines[static_cast<std::size_t>(k - 1)];
    Poly& o = poly[static_cast<std::size_t>(s)];
    o.label = "outline " + nameOf(k) + " (slot " + std::to_string(s) + ", " + SlotRole(s, data, profType) + ")";
    o.p.resize(raw.x.size());
    double xmin = 0, xmax = 0, ymin = 0, ymax = 0;
    for (std::size_t i = 0; i < raw.x.size(); ++i) {
      o.p[i] = {raw.x[i], raw.y[i]};
      for (double& c : o.p[i])
        if (std::fabs(c) < kAxisBand) c = 0.0;
      xmin = i == 0 ? o.p[i][0] : std::min(xmin, o.p[i][0]);
      xmax = i == 0 ? o.p[i][0] : std::max(xmax, o.p[i][0]);
      ymin = i == 0 ? o.p[i][1] : std::min(ymin, o.p[i][1]);
      ymax = i == 0 ? o.p[i][1] : std::max(ymax, o.p[i][1]);
    }
    // Points closer than a millionth of the outline's size (single-precision
    // noise) are the same point; all-equal points give a zero tolerance.
    o.tol = 1e-6 * std::hypot(xmax - xmin, ymax - ymin);
    for (std::size_t i = 0; i < o.p.size(); ++i) {
      const Point2& a = o.p[i];
      const Point2& b = o.p[(i + 1) % o.p.size()];
      o.area += 0.5 * (a[0] * b[1] - b[0] * a[1]);
    }
    const std::string what = CheckSingle(o);
    if (!what.empty()) return head + o.label + ": " + what;
  }

  // 3. The layout.
  if (multi) {
    if (used < 3)
      return head + "process type " + std::to_string(profType) +
             " (multi-hole die) needs at least three outlines: WPIECE, a second hole ('1' in fifth place) and the "
             "container bore ('2' in fifth place); the file holds " + std::to_string(N);
    for (int s = 1; s <= used; ++s) {
      if (s == 3) continue;
      const std::string what = CheckInside(poly[static_cast<std::size_t>(s)], poly[3]);
      if (!what.empty()) return head + poly[static_cast<std::size_t>(s)].label + ": " + what;
    }
    for (int s = 1; s <= used; ++s)
      for (int t = s + 1; t <= used; ++t) {
        if (s == 3 || t == 3) continue;
        const std::string what = CheckApart(poly[static_cast<std::size_t>(s)], poly[static_cast<std::size_t>(t)]);
        if (!what.empty()) return head + poly[static_cast<std::size_t>(s)].label + ": " + what;
      }
    return "";
  }
  const std::vector<int> chain = NestedChain(data);
  const int need = NestedOutlinesNeeded(profType);
  if (static_cast<int>(chain.size()) < need)
    return head + "outline " + nameOf(data.slot[0]) + " (slot 1, the profile): process type " +
           std::to_string(profType) + " needs " + std::to_string(need) + " nested outlines (" +
           (need == 3 ? "the profile, the outline of the extra zone ('1' in fifth place) and the container bore ('2')"
                      : "the profile and at least the container bore around it ('1' in fifth place)") +
           "); the file holds " + std::to_string(chain.size());
  for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
    const Poly& in = poly[static_cast<std::size_t>(chain[i])];
    const std::string what = CheckInside(in, poly[static_cast<std::size_t>(chain[i + 1])]);
    if (!what.empty()) return head + in.label + ": " + what;
  }
  if (data.SplitMode == 2 && used >= 4) {
    const std::string what = CheckInside(poly[4], poly[1]);
    if (!what.empty()) return head + poly[4].label + ": " + what;
  }
  return "";
}

void CheckOutlineFile(const std::string& path, int32_t profType) {
  OutlineFileData data;
  ReadOutlineFile(path, data);
  const std::string what = CheckOutlineGeometry(path, data, profType);
  if (!what.empty()) Fatal(what);
}
