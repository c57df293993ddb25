#include "mesh2d/outline_shapes.h"

#include <cmath>
#include <numbers>
#include <sstream>

#include "core/section.h"

namespace {

void Add(RawOutline& o, double x, double y) {
  o.x.push_back(static_cast<float>(x));
  o.y.push_back(static_cast<float>(y));
}

void Finish(RawOutline& o) { o.nSeg = static_cast<int32_t>(o.x.size() / 2); }

// Arc of centre c and radius r from angle a0 to a1 in nSeg segments; adds the
// start and middle points of every segment (not the final end point).
void AddArc(RawOutline& o, double cx, double cy, double r, double a0, double a1, int nSeg) {
  for (int k = 0; k < 2 * nSeg; ++k) {
    const double a = a0 + (a1 - a0) * k / (2.0 * nSeg);
    Add(o, cx + r * std::cos(a), cy + r * std::sin(a));
  }
}

// Straight segment from (x0, y0) towards (x1, y1): start and middle point.
void AddLine(RawOutline& o, double x0, double y0, double x1, double y1) {
  Add(o, x0, y0);
  Add(o, 0.5 * (x0 + x1), 0.5 * (y0 + y1));
}

std::string StripComment(const std::string& line) {
  const auto p = line.find('#');
  return p == std::string::npos ? line : line.substr(0, p);
}

}  // namespace

RawOutline CircleOutline(double cx, double cy, double d, int nSeg) {
  RawOutline o;
  AddArc(o, cx, cy, 0.5 * d, 0.0, 2.0 * std::numbers::pi, nSeg);
  Finish(o);
  return o;
}

RawOutline RectangleOutline(double cx, double cy, double w, double h, double r) {
  RawOutline o;
  const double x0 = cx - 0.5 * w, x1 = cx + 0.5 * w, y0 = cy - 0.5 * h, y1 = cy + 0.5 * h;
  if (r <= 0.0) {
    AddLine(o, x0, y0, x1, y0);
    AddLine(o, x1, y0, x1, y1);
    AddLine(o, x1, y1, x0, y1);
    AddLine(o, x0, y1, x0, y0);
  } else {
    const double pi = std::numbers::pi;
    // Sides between the arcs are left out when the radius uses the full side.
    if (w > 2 * r) AddLine(o, x0 + r, y0, x1 - r, y0);
    AddArc(o, x1 - r, y0 + r, r, -pi / 2, 0.0, 2);
    if (h > 2 * r) AddLine(o, x1, y0 + r, x1, y1 - r);
    AddArc(o, x1 - r, y1 - r, r, 0.0, pi / 2, 2);
    if (w > 2 * r) AddLine(o, x1 - r, y1, x0 + r, y1);
    AddArc(o, x0 + r, y1 - r, r, pi / 2, pi, 2);
    if (h > 2 * r) AddLine(o, x0, y1 - r, x0, y0 + r);
    AddArc(o, x0 + r, y0 + r, r, pi, 1.5 * pi, 2);
  }
  Finish(o);
  return o;
}

RawOutline PolygonOutline(const std::vector<double>& xy) {
  RawOutline o;
  const std::size_t m = xy.size() / 2;
  for (std::size_t k = 0; k < m; ++k) {
    const std::size_t j = (k + 1) % m;
    AddLine(o, xy[2 * k], xy[2 * k + 1], xy[2 * j], xy[2 * j + 1]);
  }
  Finish(o);
  return o;
}

std::vector<RawOutline> ParseOutlineDescription(const std::string& fileName, const std::string& text,
                                                std::string& error) {
  std::vector<RawOutline> result;
  std::istringstream in(text);
  std::string raw;
  int lineNo = 0;
  bool pendingShape = false;  // an "outline" line waits for its shape
  std::string name;
  auto fail = [&](const std::string& msg) {
    error = fileName + ":" + std::to_string(lineNo) + ": " + msg;
    result.clear();
    return result;
  };
  auto readNumbers = [](std::istringstream& ls, std::vector<double>& v) {
    double x;
    while (ls >> x) v.push_back(x);
    return ls.eof();  // false when a non-number stopped the read
  };
  // Every number becomes a single-precision coordinate: it must be finite
  // and of a size that leaves the shapes built from it within range.
  auto inRange = [](const std::vector<double>& v) {
    for (const double x : v)
      if (!(std::fabs(x) <= kMaxCoordinate)) return false;
    return true;
  };
  const std::string rangeText = "numbers must lie between -" + std::to_string(static_cast<long>(kMaxCoordinate)) +
                                " and " + std::to_string(static_cast<long>(kMaxCoordinate)) + " (mm)";

  while (std::getline(in, raw)) {
    ++lineNo;
    std::istringstream ls(StripComment(raw));
    std::string word;
    if (!(ls >> word)) continue;
    if (word == "outline") {
      if (pendingShape) return fail("outline " + name + " has no shape");
      if (!(ls >> name) || name.size() > 6) return fail("expected an outline name of 1 to 6 characters");
      pendingShape = true;
      continue;
    }
    if (!pendingShape) return fail("expected \"outline NAME\" before \"" + word + "\"");
    std::vector<double> v;
    if (!readNumbers(ls, v)) return fail("expected numbers after \"" + word + "\"");
    if (!inRange(v)) return fail(rangeText);
    RawOutline o;
    if (word == "circle") {
      if (v.size() < 3 || v.size() > 4) return fail("expected: circle CX CY D [NSEG]");
      // The segment count is range-checked as a real before it becomes an
      // integer: a conversion of an out-of-range real is undefined.
      const double segs = v.size() == 4 ? v[3] : 16.0;
      if (v[2] <= 0.0) return fail("the circle diameter must be positive");
      if (!(segs >= 3.0 && 2.0 * segs <= kMaxOutlinePoints) || segs != std::floor(segs))
        return fail("the segment count must be a whole number from 3 to " + std::to_string(kMaxOutlinePoints / 2));
      const int nSeg = static_cast<int>(segs);
      o = CircleOutline(v[0], v[1], v[2], nSeg);
    } else if (word == "rectangle") {
      if (v.size() < 4 || v.size() > 5) return fail("expected: rectangle CX CY W H [R]");
      const double r = v.size() == 5 ? v[4] : 0.0;
      if (v[2] <= 0.0 || v[3] <= 0.0) return fail("the rectangle sides must be positive");
      if (r < 0.0 || 2 * r > std::min(v[2], v[3])) return fail("the corner radius must lie between 0 and half the shorter side");
      o = RectangleOutline(v[0], v[1], v[2], v[3], r);
    } else if (word == "polygon") {
      if (v.size() < 6 || v.size() % 2 != 0) return fail("expected: polygon X1 Y1 X2 Y2 X3 Y3 ... (at least 3 corners)");
      if (v.size() > kMaxOutlinePoints) return fail("too many polygon corners");
      o = PolygonOutline(v);
    } else if (word == "points") {
      if (!v.empty()) return fail("\"points\" takes no values on its own line");
      for (;;) {
        if (!std::getline(in, raw)) return fail("the point list of outline " + name + " has no \"end\"");
        ++lineNo;
        std::istringstream ps(StripComment(raw));
        std::string first;
        if (!(ps >> first)) continue;
        if (first == "end") break;
        std::istringstream xs(StripComment(raw));
        double x, y;
        if (!(xs >> x >> y)) return fail("expected a point \"X Y\" or \"end\"");
        if (!inRange({x, y})) return fail(rangeText);
        if (o.x.size() >= kMaxOutlinePoints) return fail("outline " + name + " has more than " + std::to_string(kMaxOutlinePoints) + " points");
        Add(o, x, y);
      }
      if (o.x.size() < 2 || o.x.size() % 2 != 0 || o.x.size() > kMaxOutlinePoints)
        return fail("outline " + name + " has " + std::to_string(o.x.size()) +
                    " points; expected an even count from 2 to " + std::to_string(kMaxOutlinePoints));
      Finish(o);
    } else {
      return fail("unknown shape \"" + word + "\" (expected circle, rectangle, polygon or points)");
    }
    o.name = name;
    result.push_back(std::move(o));
    pendingShape = false;
  }
  if (pendingShape) return fail("outline " + name + " has no shape");
  if (result.empty()) return fail("the description holds no outline");
  if (result.size() > 32767) return fail("too many outlines");
  return result;
}
