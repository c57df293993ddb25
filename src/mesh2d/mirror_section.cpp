#include "mesh2d/mirror_section.h"

#include <algorithm>
#include <cmath>

#include "core/fatal.h"
#include "mesh2d/geometry2d.h"
#include "mesh2d/measures.h"
#include "mesh2d/resample.h"
#include "mesh2d/run_gr_2d.h"

namespace {

// Reflection about one axis (kMirrorX or kMirrorY).
Point2 Reflect(const Point2& p, int axis) { return axis == kMirrorX ? Point2{p[0], -p[1]} : Point2{-p[0], p[1]}; }

// The coordinate that changes sign under the reflection about `axis`.
double Across(const Point2& p, int axis) { return axis == kMirrorX ? p[1] : p[0]; }

void PutOnAxis(Point2& p, int axis) { (axis == kMirrorX ? p[1] : p[0]) = 0.0; }

// Largest coordinate magnitude of the points of a set of outlines.
double Extent(const std::vector<Outline>& outlines) {
  double e = 0.0;
  for (const Outline& o : outlines)
    for (int i = 1; i <= o.n; ++i) e = std::max({e, std::fabs(o.pts(i)[0]), std::fabs(o.pts(i)[1])});
  return e;
}

// Distance from p to the closed polygon through the points of o.
double PolygonDistance(const Outline& o, const Point2& p) {
  double best = 1e300;
  for (int k = 1; k <= o.n; ++k) {
    const Point2& a = o.pts(k);
    const Point2& b = o.pts(k == o.n ? 1 : k + 1);
    const double ex = b[0] - a[0], ey = b[1] - a[1], len2 = ex * ex + ey * ey;
    const double t = len2 > 0.0 ? std::clamp(((p[0] - a[0]) * ex + (p[1] - a[1]) * ey) / len2, 0.0, 1.0) : 0.0;
    best = std::min(best, std::hypot(p[0] - a[0] - t * ex, p[1] - a[1] - t * ey));
  }
  return best;
}

// Part of o on the side Across >= 0 of one axis (see MirrorPart).
bool ClipToAxis(const Outline& o, int axis, double tol, Outline& part) {
  struct Piece {
    Point2 a, m, b;  // start, middle and end point of a quadratic piece
    double side;     // Across at the middle parameter
  };
  std::vector<Piece> pieces;
  for (int k = 1; k <= o.nSeg; ++k) {
    const Point2& a = o.pts(2 * k - 1);
    const Point2& b = o.pts(2 * k);
    const Point2& c = o.pts(2 * k + 1 <= o.n ? 2 * k + 1 : 1);
    // Across along the segment: s(t) = al t^2 + be t + ga, t in [-1, 1].
    const double sa = Across(a, axis), sb = Across(b, axis), sc = Across(c, axis);
    const double ga = sb, be = 0.5 * (sc - sa), al = 0.5 * (sa + sc) - sb;
    std::vector<double> cuts = {-1.0};
    auto addRoot = [&](double t) {
      if (t > -1.0 + 1e-9 && t < 1.0 - 1e-9) cuts.push_back(t);
    };
    if (std::fabs(al) <= 1e-12 * (std::fabs(be) + std::fabs(ga) + tol)) {
      if (std::fabs(be) > 0.0) addRoot(-ga / be);
    } else {
      const double disc = be * be - 4.0 * al * ga;
      if (disc > 0.0) {
        const double r = std::sqrt(disc);
        addRoot((-be - r) / (2.0 * al));
        addRoot((-be + r) / (2.0 * al));
      }
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.push_back(1.0);
    for (std::size_t j = 0; j + 1 < cuts.size(); ++j) {
      const double t0 = cuts[j], t1 = cuts[j + 1], tm = 0.5 * (t0 + t1);
      Piece p{QuadPoint(a, b, c, t0), QuadPoint(a, b, c, tm), QuadPoint(a, b, c, t1), 0.0};
      p.side = Across(p.m, axis);
      if (j > 0) PutOnAxis(p.a, axis);
      if (j + 2 < cuts.size()) PutOnAxis(p.b, axis);
      if (std::fabs(Across(p.a, axis)) < tol) PutOnAxis(p.a, axis);
      if (std::fabs(Across(p.b, axis)) < tol) PutOnAxis(p.b, axis);
      pieces.push_back(p);
    }
  }
  const std::size_t n = pieces.size();
  // One run of kept pieces (side > 0), entered and left on the axis.
  std::size_t first = n;
  int runs = 0;
  for (std::size_t j = 0; j < n; ++j) {
    const bool kept = pieces[j].side > tol, prevKept = pieces[(j + n - 1) % n].side > tol;
    if (std::fabs(pieces[j].side) <= tol) return false;  // a piece along the axis
    if (kept && !prevKept) ++runs, first = j;
  }
  if (runs != 1) return false;
  std::vector<Point2> pts;
  std::size_t j = first;
  for (; pieces[j].side > tol; j = (j + 1) % n) {
    if (j != first && Across(pieces[j].a, axis) == 0.0) return false;  // touches the axis inside the run
    pts.push_back(pieces[j].a);
    pts.push_back(pieces[j].m);
  }
  const Point2 start = pieces[first].a, end = pieces[(j + n - 1) % n].b;
  if (Across(start, axis) != 0.0 || Across(end, axis) != 0.0) return false;
  pts.push_back(end);
  pts.push_back({0.5 * (start[0] + end[0]), 0.5 * (start[1] + end[1])});
  part = OutlineFromPoints(pts);
  return true;
}

// Open arc a(0..m) extended by its reflection about `axis`, which holds its
// last point: a(0..m), then the reflections of a(m-1) down to a(0).
std::vector<Point2> Extend(const std::vector<Point2>& a, int axis) {
  std::vector<Point2> r = a;
  for (std::size_t i = a.size() - 1; i-- > 0;) r.push_back(Reflect(a[i], axis));
  return r;
}

// Closed outline of the open arc a(0..m), whose ends lie on `axis`, and its
// reflection: a(0..m), then the reflections of a(m-1) down to a(1).
std::vector<Point2> Close(const std::vector<Point2>& a, int axis) {
  std::vector<Point2> r = a;
  for (std::size_t i = a.size() - 1; i-- > 1;) r.push_back(Reflect(a[i], axis));
  return r;
}

// Mesh `m` reflected about one axis, elements in their sense of rotation.
void ReflectOnce(const Mesh2d& m, int axis, Mesh2d& r) {
  r = m;
  for (int i = 1; i <= r.nh; ++i) r.xy(i) = Reflect(m.xy(i), axis);
  // The reflection reverses the sense of rotation: corners 1 and 2 change
  // places, and with them the mid-side columns of edges 3-1 and 2-3.
  for (int e = 1; e <= r.ne; ++e) {
    std::swap(r.nop(1, e), r.nop(2, e));
    std::swap(r.nop(4, e), r.nop(6, e));
  }
}

// Mesh `m` merged with its reflection about `axis`.
void MirrorOnce(const Mesh2d& m, int axis, Mesh2d& whole) {
  Mesh2d r;
  ReflectOnce(m, axis, r);
  Mesh2d merged;
  Merge(m, r, merged);
  // Each element followed by its reflection: the front of an element-wise
  // solve then sweeps both sides together instead of holding every node on
  // the axis open while the first side is assembled.
  whole = merged;
  for (int e = 1; e <= m.ne; ++e)
    for (int k = 1; k <= 6; ++k) {
      whole.nop(k, 2 * e - 1) = merged.nop(k, e);
      whole.nop(k, 2 * e) = merged.nop(k, m.ne + e);
    }
}

}  // namespace

bool OnSameAxis(const Point2& p, const Point2& q) {
  constexpr double kTol = 0.05;
  return (std::fabs(p[0]) < kTol && std::fabs(q[0]) < kTol) || (std::fabs(p[1]) < kTol && std::fabs(q[1]) < kTol);
}

bool AxisRun(const Outline& o, int& P, int& Q) {
  const int ns = o.nSeg;
  auto startOf = [&](int k) { return 2 * ((k - 1 + ns) % ns) + 1; };
  auto onAxis = [&](int k) { return OnSameAxis(o.pts(startOf(k)), o.pts(startOf(k + 1))); };
  int first = 0;
  for (int k = 1; k <= ns; ++k)
    if (onAxis(k) && !onAxis(k - 1)) {
      first = k;
      break;
    }
  if (first == 0) return false;  // no run, or the whole outline on the axes
  int last = first;
  while (onAxis(last + 1) && last - first + 1 < ns) ++last;
  P = startOf(first);
  Q = startOf(last + 1);
  return true;
}

int MirrorAxes(const std::vector<Outline>& outlines) {
  if (outlines.empty()) return 0;
  const double tol = 1e-7 * std::max(Extent(outlines), 1.0);
  int axes = kMirrorX | kMirrorY;
  for (const Outline& o : outlines) {
    if (o.nSeg < 2 || o.n != 2 * o.nSeg) return 0;
    Outline copy = o;
    if (SymmetryCode(copy) != 0) return 0;  // already a half or quarter model
    for (const int axis : {kMirrorX, kMirrorY})
      for (int i = 1; i <= o.n && (axes & axis); ++i)
        if (PolygonDistance(o, Reflect(o.pts(i), axis)) > tol) axes &= ~axis;
  }
  return axes;
}

bool MirrorPart(const Outline& o, int axes, Outline& part) {
  const double tol = 1e-7 * std::max(Extent({o}), 1.0);
  part = o;
  for (const int axis : {kMirrorX, kMirrorY}) {
    if (!(axes & axis)) continue;
    Outline clipped;
    if (!ClipToAxis(part, axis, tol, clipped)) return false;
    part = std::move(clipped);
  }
  return true;
}

void WholeOutline(const Outline& part, int axes, Outline& whole) {
  int P = 0, Q = 0;
  Require(AxisRun(part, P, Q), "WholeOutline: the part of a mirrored outline has no run along an axis");
  std::vector<Point2> arc;
  for (int i = Q;; i = i % part.n + 1) {
    arc.push_back(part.pts(i));
    if (i == P) break;
  }
  // Ends on an axis exactly (the resampling keeps the part's end points).
  auto snap = [](Point2& p) {
    if (std::fabs(p[0]) < 1e-9) p[0] = 0.0;
    if (std::fabs(p[1]) < 1e-9) p[1] = 0.0;
  };
  snap(arc.front());
  snap(arc.back());
  std::vector<Point2> pts;
  if (axes == (kMirrorX | kMirrorY)) {
    // The quarter's arc runs from one axis to the other: reflect it about the
    // axis its last point lies on, then close it about the other.
    const int last = arc.back()[0] == 0.0 ? kMirrorY : kMirrorX;
    pts = Close(Extend(arc, last), last == kMirrorY ? kMirrorX : kMirrorY);
  } else {
    pts = Close(arc, axes);
  }
  whole = OutlineFromPoints(pts);
}

void MirrorMesh(const Mesh2d& part, int axes, Mesh2d& whole) {
  Mesh2d m = part;
  double extent = 0.0;
  for (int i = 1; i <= m.nh; ++i) extent = std::max({extent, std::fabs(m.xy(i)[0]), std::fabs(m.xy(i)[1])});
  const double tol = 1e-9 * std::max(extent, 1.0);
  for (const int axis : {kMirrorX, kMirrorY}) {
    if (!(axes & axis)) continue;
    for (int i = 1; i <= m.nh; ++i)
      if (std::fabs(Across(m.xy(i), axis)) < tol) PutOnAxis(m.xy(i), axis);
    Mesh2d next;
    MirrorOnce(m, axis, next);
    m = std::move(next);
  }
  whole = std::move(m);
}

int NegativeSides(const Outline& o, int axes) {
  int negative = 0;
  for (const int axis : {kMirrorX, kMirrorY}) {
    if (!(axes & axis)) continue;
    double sum = 0.0;
    for (int i = 1; i <= o.n; ++i) sum += Across(o.pts(i), axis);
    if (sum < 0.0) negative |= axis;
  }
  return negative;
}

int LayoutMirrorAxes(const std::vector<Outline>& outlines, std::size_t container) {
  if (container >= outlines.size()) return 0;
  int axes = MirrorAxes({outlines[container]});
  const double tol = 1e-7 * std::max(Extent(outlines), 1.0);
  for (std::size_t k = 0; k < outlines.size() && axes != 0; ++k) {
    if (k == container) continue;
    const Outline& o = outlines[k];
    if (o.nSeg < 2 || o.n != 2 * o.nSeg) return 0;
    double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
    for (int i = 1; i <= o.n; ++i)
      for (int c = 0; c < 2; ++c) lo[c] = std::min(lo[c], o.pts(i)[c]), hi[c] = std::max(hi[c], o.pts(i)[c]);
    const double clear = 0.01 * std::max(hi[0] - lo[0], hi[1] - lo[1]);
    for (const int axis : {kMirrorX, kMirrorY}) {
      if (!(axes & axis)) continue;
      const int c = axis == kMirrorX ? 1 : 0;
      if (lo[c] < clear && hi[c] > -clear) {  // on or too near the axis
        axes &= ~axis;
        continue;
      }
      // Some other outline is the image of this one.
      bool found = false;
      for (std::size_t l = 0; l < outlines.size() && !found; ++l) {
        if (l == k || l == container) continue;
        bool image = true;
        for (int i = 1; i <= o.n && image; ++i) image = PolygonDistance(outlines[l], Reflect(o.pts(i), axis)) <= tol;
        for (int i = 1; i <= outlines[l].n && image; ++i)
          image = PolygonDistance(o, Reflect(outlines[l].pts(i), axis)) <= tol;
        found = image;
      }
      if (!found) axes &= ~axis;
    }
  }
  return axes;
}

void ReflectOutline(const Outline& o, int axes, Outline& image) {
  image = o;
  int flips = 0;
  for (const int axis : {kMirrorX, kMirrorY}) {
    if (!(axes & axis)) continue;
    for (int i = 1; i <= image.n; ++i) image.pts(i) = Reflect(image.pts(i), axis);
    ++flips;
  }
  // An odd number of reflections reverses the sense: run backwards from point 1.
  if (flips % 2 == 1 && image.n >= 3) {
    std::reverse(image.pts.begin() + 1, image.pts.begin() + image.n);
    if (image.mark.size() >= image.n) std::reverse(image.mark.begin() + 1, image.mark.begin() + image.n);
  }
}

void ReflectMesh(const Mesh2d& m, int axes, Mesh2d& image) {
  image = m;
  for (const int axis : {kMirrorX, kMirrorY}) {
    if (!(axes & axis)) continue;
    Mesh2d r;
    ReflectOnce(image, axis, r);
    image = std::move(r);
  }
}
