#include "mesh2d/ring_split.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <string>

#include "core/fatal.h"

namespace {

// Squared distance below which two points are one point (the node merge
// tolerance of the block meshes, single-precision 1e-4).
constexpr double kTouch2 = static_cast<double>(1.0e-4f);

double Dist2(const Point2& a, const Point2& b) {
  const double dx = a[0] - b[0], dy = a[1] - b[1];
  return dx * dx + dy * dy;
}

double Dist(const Point2& a, const Point2& b) { return std::sqrt(Dist2(a, b)); }

// Point number i reduced cyclically to 1..n.
int Wrap(int i, int n) { return ((i - 1) % n + n) % n + 1; }

// Twice the signed area of the polygon through all points (positive when the
// points run counter-clockwise).
double SignedArea2(const Outline& o) {
  double s = 0.0;
  for (int k = 1; k <= o.n; ++k) {
    const Point2& p = o.pts(k);
    const Point2& q = o.pts(k == o.n ? 1 : k + 1);
    s += p[0] * q[1] - q[0] * p[1];
  }
  return s;
}

// Copy of `o` running clockwise; the reversal keeps point 1 in place so that
// odd points stay segment end points.
Outline ClockwiseCopy(const Outline& o) {
  Outline c = o;
  if (SignedArea2(o) > 0.0) {
    for (int k = 2; k <= o.n; ++k) {
      c.pts(k) = o.pts(o.n + 2 - k);
      if (o.mark.size() == o.n) c.mark(k) = o.mark(o.n + 2 - k);
    }
  }
  return c;
}

// z component of (b - a) x (c - a).
double Orient(const Point2& a, const Point2& b, const Point2& c) {
  return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
}

// True when the segments ab and cd cross at a point interior to both.
bool SegmentsCross(const Point2& a, const Point2& b, const Point2& c, const Point2& d) {
  const double d1 = Orient(c, d, a), d2 = Orient(c, d, b);
  const double d3 = Orient(a, b, c), d4 = Orient(a, b, d);
  return ((d1 > 0.0 && d2 < 0.0) || (d1 < 0.0 && d2 > 0.0)) &&
         ((d3 > 0.0 && d4 < 0.0) || (d3 < 0.0 && d4 > 0.0));
}

// Crossing-number test of p against the polygon through all points of o.
bool InsidePolygon(const Outline& o, const Point2& p) {
  bool in = false;
  for (int k = 1; k <= o.n; ++k) {
    const Point2& a = o.pts(k);
    const Point2& b = o.pts(k == o.n ? 1 : k + 1);
    if ((a[1] > p[1]) != (b[1] > p[1])) {
      const double x = a[0] + (p[1] - a[1]) * (b[0] - a[0]) / (b[1] - a[1]);
      if (x > p[0]) in = !in;
    }
  }
  return in;
}

// The outlines of one split: entry 0 is the enclosing outline, the others are
// the pieces (holes) inside it; `cuts` holds the cut segments placed so far.
struct CutScene {
  std::vector<const Outline*> outl;         // container first, then the pieces
  std::vector<std::array<Point2, 2>> cuts;  // straight cut segments already chosen
};

// A straight cut from point jx of outline ox to point iy of outline oy is
// clear when it crosses no outline edge (apart from the edges at its own end
// points) and no cut already placed, and runs inside the container and
// outside every piece (tested at its midpoint).  Touching end points are
// always clear: such a cut has no length.
bool CutIsClear(const CutScene& s, int ox, int jx, int oy, int iy) {
  const Point2& A = s.outl[ox]->pts(jx);
  const Point2& B = s.outl[oy]->pts(iy);
  if (Dist2(A, B) < kTouch2) return true;
  for (int k = 0; k < static_cast<int>(s.outl.size()); ++k) {
    const Outline& o = *s.outl[k];
    for (int p = 1; p <= o.n; ++p) {
      const int q = p == o.n ? 1 : p + 1;
      if (k == ox && (p == jx || q == jx)) continue;
      if (k == oy && (p == iy || q == iy)) continue;
      if (SegmentsCross(A, B, o.pts(p), o.pts(q))) return false;
    }
  }
  for (const auto& c : s.cuts)
    if (SegmentsCross(A, B, c[0], c[1])) return false;
  const Point2 m{0.5 * (A[0] + B[0]), 0.5 * (A[1] + B[1])};
  if (!InsidePolygon(*s.outl[0], m)) return false;
  for (std::size_t k = 1; k < s.outl.size(); ++k)
    if (InsidePolygon(*s.outl[k], m)) return false;
  return true;
}

// Nearest clear cut between outline ox (outer role, point j) and outline oy
// (inner role, point i), over segment end points other than the excluded
// ones (0: none).  Pairs are taken by increasing distance, the first of equal
// ones in the scan order of FindCuts.  Returns false when none is clear.
bool NearestClearCut(const CutScene& s, int ox, int oy, int excludeJ, int excludeI, RingCut& cut) {
  const Outline& X = *s.outl[ox];
  const Outline& Y = *s.outl[oy];
  struct Cand {
    double d2;
    int i, j;
  };
  std::vector<Cand> cand;
  cand.reserve(static_cast<std::size_t>((Y.n / 2) * (X.n / 2)));
  for (int i = 1; i <= Y.n; i += 2) {
    if (i == excludeI) continue;
    for (int j = 1; j <= X.n; j += 2)
      if (j != excludeJ) cand.push_back({Dist2(Y.pts(i), X.pts(j)), i, j});
  }
  std::stable_sort(cand.begin(), cand.end(), [](const Cand& a, const Cand& b) { return a.d2 < b.d2; });
  for (const Cand& c : cand)
    if (CutIsClear(s, ox, c.j, oy, c.i)) {
      cut.i = c.i;
      cut.j = c.j;
      return true;
    }
  return false;
}

// One cut line of a split, from point jx of local outline x to point iy of
// local outline y.
struct Link {
  int x = 0, jx = 0;        // start: local outline index, point number
  int y = 0, iy = 0;        // end: local outline index, point number
  std::vector<Point2> mid;  // interior points in order from start to end
  bool closed = false;      // end points coincide: no interior points, one shared point
};

Link MakeLink(const Outline& X, int ox, int jx, const Outline& Y, int oy, int iy,
              const std::vector<Point2>& mid) {
  Link l;
  l.x = ox;
  l.jx = jx;
  l.y = oy;
  l.iy = iy;
  l.closed = Dist2(X.pts(jx), Y.pts(iy)) < kTouch2;
  if (!l.closed) l.mid = mid;
  return l;
}

// Points of a half outline under construction with their marks and roles.
struct Emitted {
  std::vector<Point2> p;      // coordinates in traversal order
  std::vector<int32_t> mark;  // 0 on piece arcs, -1 elsewhere
  std::vector<char> isEnd;    // 1 for a segment end point, 0 for a middle point
};

// Appends the points of o from `from` to `to` (both included) stepping by
// `step` (+1 forwards, -1 backwards).  The first or last point is left out
// when it is the far end of a closed link: a closed link keeps only its start
// point, in both halves, so that they share it exactly.
void EmitArc(const Outline& o, int from, int to, int step, bool skipFirst, bool skipLast, int32_t mark,
             Emitted& e) {
  for (int k = from;; k = Wrap(k + step, o.n)) {
    if (!(k == from && skipFirst) && !(k == to && skipLast)) {
      e.p.push_back(o.pts(k));
      e.mark.push_back(mark);
      e.isEnd.push_back(static_cast<char>(k % 2 == 1));
    }
    if (k == to) break;
  }
}

// Appends the interior points of a link, forwards or reversed.  The link has
// an odd number c of interior points, so counted from either end point m is a
// segment end point exactly when m is even.
void EmitLink(const Link& l, bool reversed, Emitted& e) {
  const int c = static_cast<int>(l.mid.size());
  for (int m = 1; m <= c; ++m) {
    e.p.push_back(l.mid[static_cast<std::size_t>(reversed ? c - m : m - 1)]);
    e.mark.push_back(-1);
    e.isEnd.push_back(static_cast<char>(m % 2 == 0));
  }
}

// Turns the emitted cycle into an outline starting at entry `start`.
void FinishHalf(const Emitted& e, std::size_t start, const char* who, Outline& half) {
  const int n = static_cast<int>(e.p.size());
  Require(n <= kMaxOutlinePoints, std::string(who) + ": a half outline needs " + std::to_string(n) +
                                      " points, more than the outline capacity of " +
                                      std::to_string(kMaxOutlinePoints));
  half.n = n;
  half.nSeg = n / 2;
  half.pts.assign(static_cast<std::size_t>(n));
  half.mark.assign(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) {
    const std::size_t src = (start + static_cast<std::size_t>(k)) % static_cast<std::size_t>(n);
    half.pts(k + 1) = e.p[src];
    half.mark(k + 1) = e.mark[src];
    // Whole quadratic segments: end and middle points alternate from point 1.
    assert(e.isEnd[src] == static_cast<char>(k % 2 == 0));
  }
  assert(n % 2 == 0);
}

// Assembles the two halves of a split along a closed chain of links.  Local
// outline 0 is the container, 1..m the pieces in chain order; link p runs from
// outline p to outline p+1 (outline m+1 is the container).
//
// half1 lies to the right of the chain container -> piece 1 -> ... -> piece m
// -> container: every link forwards, each piece from its arrival point
// backwards (counter-clockwise round the hole) to its departure point, and the
// container from the arrival point of link m forwards (clockwise) to the
// departure point of link 0.  half2 lies to the left: the complementary arcs
// and every link reversed.  Because the container and the pieces run
// clockwise, both halves keep their region on the right, i.e. run clockwise.
// half1 starts at the container point of link 0, half2 at that of link m.
// Piece arcs are marked 0, everything else -1; the one point left of a closed
// link that touches the container lies on the outer boundary and is marked -1.
void AssembleHalves(const std::vector<const Outline*>& outl, const std::vector<Link>& links, const char* who,
                    Outline& half1, Outline& half2) {
  const int m = static_cast<int>(links.size()) - 1;
  const Outline& C = *outl[0];
  const auto touchesContainer = [&](int p) { return links[p].closed && links[p].y == 0; };
  {
    Emitted e;
    EmitArc(C, links[m].iy, links[0].jx, +1, links[m].closed, false, -1, e);
    const std::size_t start = e.p.size() - 1;
    for (int p = 1; p <= m; ++p) {
      EmitLink(links[p - 1], false, e);
      EmitArc(*outl[p], links[p - 1].iy, links[p].jx, -1, links[p - 1].closed, false, 0, e);
      if (touchesContainer(p)) e.mark.back() = -1;
    }
    EmitLink(links[m], false, e);
    FinishHalf(e, start, who, half1);
  }
  {
    Emitted e;
    EmitArc(C, links[0].jx, links[m].iy, +1, false, links[m].closed, -1, e);
    const std::size_t start = e.p.size() - (links[m].closed ? 0 : 1);
    for (int p = m; p >= 1; --p) {
      EmitLink(links[p], true, e);
      const std::size_t first = e.p.size();
      EmitArc(*outl[p], links[p].jx, links[p - 1].iy, -1, false, links[p - 1].closed, 0, e);
      if (touchesContainer(p)) e.mark[first] = -1;
    }
    EmitLink(links[0], true, e);
    FinishHalf(e, start, who, half2);
  }
}

bool IsEndPoint(int k, int n) { return k >= 1 && k <= n && k % 2 == 1; }

// Point at parameter t of the quadratic through a (t = -1), b (0), c (1).
Point2 Quad(const Point2& a, const Point2& b, const Point2& c, double t) {
  const double wa = 0.5 * t * (t - 1.0), wb = 1.0 - t * t, wc = 0.5 * t * (t + 1.0);
  return {wa * a[0] + wb * b[0] + wc * c[0], wa * a[1] + wb * b[1] + wc * c[1]};
}

// Distance from p to the quadratic (a, b, c) over parameters [lo, hi]: coarse
// sampling, then golden-section refinement round the best sample.
double DistToQuad(const Point2& a, const Point2& b, const Point2& c, const Point2& p, double lo, double hi) {
  constexpr int kSamples = 32;
  double bestT = lo, best = Dist2(Quad(a, b, c, lo), p);
  for (int s = 1; s <= kSamples; ++s) {
    const double t = lo + (hi - lo) * s / kSamples;
    const double d = Dist2(Quad(a, b, c, t), p);
    if (d < best) {
      best = d;
      bestT = t;
    }
  }
  const double h = (hi - lo) / kSamples;
  double l = std::max(lo, bestT - h), r = std::min(hi, bestT + h);
  const double gr = 0.5 * (std::sqrt(5.0) - 1.0);
  for (int it = 0; it < 40; ++it) {
    const double m1 = r - gr * (r - l), m2 = l + gr * (r - l);
    if (Dist2(Quad(a, b, c, m1), p) < Dist2(Quad(a, b, c, m2), p))
      r = m2;
    else
      l = m1;
  }
  best = std::min(best, Dist2(Quad(a, b, c, 0.5 * (l + r)), p));
  return std::sqrt(best);
}

// Second cut of FindCuts for a given first cut.
RingCut SecondCut(const Outline& inner, const Outline& outer, const RingCut& first) {
  // Outer point: the farthest from j1 among the end points more than m points
  // away from it (the shorter way round), m lowered until there is one.
  const int j1 = first.j;
  int m = (2 * outer.n) / 5;
  int j2 = 0;
  for (; j2 == 0; m -= 2) {
    Require(m >= -2, "FindCuts: no second cut point on an outline of " + std::to_string(outer.n) + " points");
    double far = 0.0;
    for (int j = 1; j <= outer.n; j += 2) {
      int dj = std::abs(j - j1);
      dj = std::min(dj, outer.n - dj);
      if (dj <= m) continue;
      const double d2 = Dist2(outer.pts(j), outer.pts(j1));
      if (d2 > far) {
        far = d2;
        j2 = j;
      }
    }
  }
  // Inner point: the end point other than i1 closest to j2.
  double best = static_cast<double>(1.0e20f);
  int i2 = 0;
  for (int i = 1; i <= inner.n; i += 2) {
    if (i == first.i) continue;
    const double d2 = Dist2(inner.pts(i), outer.pts(j2));
    if (d2 < best) {
      best = d2;
      i2 = i;
    }
  }
  return {i2, j2};
}

}  // namespace

RingCuts FindCuts(const Outline& inner, const Outline& outer) {
  Require(inner.n >= 4 && outer.n >= 4 && inner.n % 2 == 0 && outer.n % 2 == 0,
          "FindCuts: outlines need an even point count of at least 4 (inner " + std::to_string(inner.n) +
              ", outer " + std::to_string(outer.n) + ")");
  RingCuts cuts;
  // First cut: the closest pair of segment end points.
  double best = static_cast<double>(1.0e20f);
  for (int i = 1; i <= inner.n; i += 2)
    for (int j = 1; j <= outer.n; j += 2) {
      const double d2 = Dist2(inner.pts(i), outer.pts(j));
      if (d2 < best) {
        best = d2;
        cuts.first = {i, j};
      }
    }
  cuts.second = SecondCut(inner, outer, cuts.first);
  return cuts;
}

double CutGrading(const Outline& inner, const Outline& outer, int i, int j) {
  const auto localSize = [](const Outline& o, int k) {
    return Dist(o.pts(k), o.pts(Wrap(k - 1, o.n))) + Dist(o.pts(k), o.pts(Wrap(k + 1, o.n)));
  };
  const double li = localSize(inner, i), lj = localSize(outer, j);
  const double lim = static_cast<double>(0.4f);
  if (!(li > 0.0) || !(lj > 0.0)) return 0.0;  // degenerate spacing: no grading
  return std::clamp(1.0 - std::pow(li / lj, static_cast<double>(0.4f)), -lim, lim);
}

int CutDivisions(const Outline& inner, const Outline& outer, int i, int j) {
  const double l1 = Dist(inner.pts(i), inner.pts(Wrap(i + 1, inner.n)));
  const double l2 = Dist(outer.pts(j), outer.pts(Wrap(j + 1, outer.n)));
  const double q = Dist(inner.pts(i), outer.pts(j)) / (0.5 * (l1 + l2));
  int c = 1;
  for (int t = 2; t <= 22; t += 2)
    if (q > t) c = t + 1;
  return c;
}

std::vector<Point2> CutLinePoints(const Point2& from, const Point2& to, int c, double g) {
  std::vector<Point2> pts;
  if (c < 1) return pts;
  // Step m (m = 0..c) is proportional to r^m with r^c = 1 - g; the position
  // of interior point k is the sum of the first k steps over the total.
  const double r = std::pow(1.0 - g, 1.0 / c);
  std::vector<double> t(static_cast<std::size_t>(c) + 2, 0.0);
  double step = 1.0;
  for (int m = 0; m <= c; ++m) {
    t[static_cast<std::size_t>(m) + 1] = t[static_cast<std::size_t>(m)] + step;
    step *= r;
  }
  const double total = t[static_cast<std::size_t>(c) + 1];
  pts.reserve(static_cast<std::size_t>(c));
  for (int k = 1; k <= c; ++k) {
    const double s = g == 0.0 ? static_cast<double>(k) / (c + 1) : t[static_cast<std::size_t>(k)] / total;
    pts.push_back({from[0] + s * (to[0] - from[0]), from[1] + s * (to[1] - from[1])});
  }
  return pts;
}

void SplitRing(const Outline& inner, const Outline& outer, const RingCuts& cuts, int c1, int c2,
               Outline& half1, Outline& half2) {
  const RingCut& a = cuts.first;
  const RingCut& b = cuts.second;
  Require(inner.n >= 4 && outer.n >= 4 && inner.n % 2 == 0 && outer.n % 2 == 0 && IsEndPoint(a.i, inner.n) &&
              IsEndPoint(b.i, inner.n) && IsEndPoint(a.j, outer.n) && IsEndPoint(b.j, outer.n) &&
              a.i != b.i && a.j != b.j,
          "SplitRing: invalid cuts (" + std::to_string(a.i) + ", " + std::to_string(a.j) + ") and (" +
              std::to_string(b.i) + ", " + std::to_string(b.j) + ") for outlines of " +
              std::to_string(inner.n) + " and " + std::to_string(outer.n) + " points");
  Require(c1 >= 1 && c1 % 2 == 1 && c2 >= 1 && c2 % 2 == 1,
          "SplitRing: cut-line point counts must be odd and positive (" + std::to_string(c1) + ", " +
              std::to_string(c2) + ")");
  assert(SignedArea2(inner) < 0.0 && SignedArea2(outer) < 0.0);
  // Both cut lines are placed from the outer towards the inner end point and
  // graded there; the second runs inner -> outer in the chain, so its points
  // are reversed.
  std::vector<Point2> cut1 =
      CutLinePoints(outer.pts(a.j), inner.pts(a.i), c1, CutGrading(inner, outer, a.i, a.j));
  std::vector<Point2> cut2 =
      CutLinePoints(outer.pts(b.j), inner.pts(b.i), c2, CutGrading(inner, outer, b.i, b.j));
  std::reverse(cut2.begin(), cut2.end());
  const std::vector<const Outline*> outl{&outer, &inner};
  std::vector<Link> links{MakeLink(outer, 0, a.j, inner, 1, a.i, cut1),
                          MakeLink(inner, 1, b.i, outer, 0, b.j, cut2)};
  AssembleHalves(outl, links, "SplitRing", half1, half2);
}

void SplitRing(const Outline& inner0, const Outline& outer0, Outline& half1, Outline& half2) {
  const Outline inner = ClockwiseCopy(inner0);
  const Outline outer = ClockwiseCopy(outer0);
  RingCuts cuts = FindCuts(inner, outer);
  CutScene scene;
  scene.outl = {&outer, &inner};
  if (!CutIsClear(scene, 0, cuts.first.j, 1, cuts.first.i)) {
    Require(NearestClearCut(scene, 0, 1, 0, 0, cuts.first), "SplitRing: no clear cut line across the ring");
    cuts.second = SecondCut(inner, outer, cuts.first);
  }
  scene.cuts.push_back({outer.pts(cuts.first.j), inner.pts(cuts.first.i)});
  const RingCut c1 = cuts.first;
  RingCut& c2 = cuts.second;
  if (c2.i == c1.i || c2.j == c1.j || !CutIsClear(scene, 0, c2.j, 1, c2.i)) {
    // Outer points by decreasing distance from j1, for each the inner points
    // by increasing distance: the first clear pair keeps the halves balanced.
    std::vector<int> js;
    for (int j = 1; j <= outer.n; j += 2)
      if (j != c1.j) js.push_back(j);
    std::stable_sort(js.begin(), js.end(), [&](int p, int q) {
      return Dist2(outer.pts(p), outer.pts(c1.j)) > Dist2(outer.pts(q), outer.pts(c1.j));
    });
    bool found = false;
    for (int j : js) {
      std::vector<int> is;
      for (int i = 1; i <= inner.n; i += 2)
        if (i != c1.i) is.push_back(i);
      std::stable_sort(is.begin(), is.end(), [&](int p, int q) {
        return Dist2(inner.pts(p), outer.pts(j)) < Dist2(inner.pts(q), outer.pts(j));
      });
      for (int i : is)
        if (CutIsClear(scene, 0, j, 1, i)) {
          c2 = {i, j};
          found = true;
          break;
        }
      if (found) break;
    }
    Require(found, "SplitRing: no clear second cut line across the ring");
  }
  SplitRing(inner, outer, cuts, CutDivisions(inner, outer, cuts.first.i, cuts.first.j),
            CutDivisions(inner, outer, cuts.second.i, cuts.second.j), half1, half2);
}

// The region inside the container order(1) and outside the pieces
// order(2..count) is cut along one chain of straight cut lines
// container -> order(2) -> order(3) -> ... -> order(count) -> container,
// following the meshing order (each piece is the nearest unused one to its
// predecessor, so neighbouring links are short).  Each link is the closest
// pair of segment end points between its two outlines (order(k) in the outer
// role, order(k+1) in the inner role) that
//   - does not reuse the point where the previous link arrived on the same
//     outline (so every piece keeps two non-empty arcs),
//   - crosses no outline and no link placed before it, and runs inside the
//     container and outside every piece.
// The chain then meets the container twice and every piece once on each side,
// so it splits the region into two simply connected parts: one on each side
// of the chain (see AssembleHalves).  Each cut line gets CutDivisions interior
// points graded by CutGrading.  A single piece (count 2) is the ring split
// with its two cut lines.
void SplitAround(int count, const Fix1<int8_t, 5>& order, const Vec1<Outline>& outlines, Outline& half1,
                 Outline& half2) {
  Require(count >= 2 && count <= 5,
          "SplitAround: the number of outlines must be 2 to 5, not " + std::to_string(count));
  for (int k = 1; k <= count; ++k) {
    const int o = order(k);
    Require(o >= 1 && o <= outlines.size() && outlines(o).n >= 4,
            "SplitAround: outline " + std::to_string(o) + " in place " + std::to_string(k) +
                " of the meshing order is missing or has fewer than 4 points");
    for (int l = 1; l < k; ++l)
      Require(order(l) != order(k),
              "SplitAround: outline " + std::to_string(o) + " appears twice in the meshing order");
  }
  if (count == 2) {
    SplitRing(outlines(order(2)), outlines(order(1)), half1, half2);
    return;
  }
  std::vector<Outline> cw;
  cw.reserve(static_cast<std::size_t>(count));
  for (int k = 1; k <= count; ++k) cw.push_back(ClockwiseCopy(outlines(order(k))));
  CutScene scene;
  for (const Outline& o : cw) scene.outl.push_back(&o);
  std::vector<Link> links;
  for (int k = 0; k < count; ++k) {
    const int ox = k, oy = (k + 1) % count;
    const Outline& X = cw[static_cast<std::size_t>(ox)];
    const Outline& Y = cw[static_cast<std::size_t>(oy)];
    const int excludeJ = k > 0 ? links.back().iy : 0;     // arrival point on X
    const int excludeI = oy == 0 ? links.front().jx : 0;  // departure point on the container
    RingCut cut;
    Require(NearestClearCut(scene, ox, oy, excludeJ, excludeI, cut),
            "SplitAround: no clear cut line between outlines " + std::to_string(order(ox + 1)) + " and " +
                std::to_string(order(oy + 1)));
    const int c = CutDivisions(Y, X, cut.i, cut.j);
    const double g = CutGrading(Y, X, cut.i, cut.j);
    links.push_back(MakeLink(X, ox, cut.j, Y, oy, cut.i, CutLinePoints(X.pts(cut.j), Y.pts(cut.i), c, g)));
    scene.cuts.push_back({X.pts(cut.j), Y.pts(cut.i)});
  }
  AssembleHalves(scene.outl, links, "SplitAround", half1, half2);
}

void ReduceOutline(Outline& a, const Outline& b) {
  const int n = a.n;
  if (n < 4) return;
  double xmin = a.pts(1)[0], xmax = xmin, ymin = a.pts(1)[1], ymax = ymin;
  for (int k = 2; k <= n; ++k) {
    xmin = std::min(xmin, a.pts(k)[0]);
    xmax = std::max(xmax, a.pts(k)[0]);
    ymin = std::min(ymin, a.pts(k)[1]);
    ymax = std::max(ymax, a.pts(k)[1]);
  }
  const double diag2 = (xmax - xmin) * (xmax - xmin) + (ymax - ymin) * (ymax - ymin);
  const double near2 = static_cast<double>(0.01f) * diag2;
  std::vector<char> keep(static_cast<std::size_t>(n) + 1, 1);
  // End points far from every end point of b (and off the y axis) are dropped.
  for (int k = 1; k <= n; k += 2) {
    bool close = std::fabs(a.pts(k)[0]) < 1.0e-4;
    for (int l = 1; l <= b.n && !close; l += 2) close = Dist2(a.pts(k), b.pts(l)) < near2;
    keep[static_cast<std::size_t>(k)] = close;
  }
  // Kept again where the outline turns: |tan| of the turning angle above 0.2.
  for (int k = 1; k <= n; k += 2) {
    if (keep[static_cast<std::size_t>(k)]) continue;
    const Point2& p0 = a.pts(Wrap(k - 1, n));
    const Point2& p1 = a.pts(k);
    const Point2& p2 = a.pts(Wrap(k + 1, n));
    const double v1x = p1[0] - p0[0], v1y = p1[1] - p0[1];
    const double v2x = p2[0] - p1[0], v2y = p2[1] - p1[1];
    const double cr = v1x * v2y - v1y * v2x;
    double dt = v1x * v2x + v1y * v2y;
    if (std::fabs(dt) < 1.0e-4) dt = 1.0e-4;
    if (std::fabs(cr / dt) > static_cast<double>(0.2f)) keep[static_cast<std::size_t>(k)] = 1;
  }
  // Kept again where the spacing is coarse; the threshold grows by 2% per
  // tested point so that only the coarsest stretches keep their points.
  double sum = 0.0;
  for (int k = 1; k <= n; k += 2)
    sum += Dist(a.pts(k), a.pts(Wrap(k - 1, n))) + Dist(a.pts(k), a.pts(Wrap(k + 1, n)));
  double threshold = sum / n;
  for (int k = 1; k <= n; k += 2) {
    if (keep[static_cast<std::size_t>(k)]) continue;
    threshold *= static_cast<double>(1.02f);
    const double s = std::max(Dist(a.pts(k), a.pts(Wrap(k - 1, n))), Dist(a.pts(k), a.pts(Wrap(k + 1, n))));
    if (s > threshold) keep[static_cast<std::size_t>(k)] = 1;
  }
  int kept = 0;
  for (int k = 1; k <= n; ++k) kept += keep[static_cast<std::size_t>(k)];
  // An odd count keeps one dropped end point again: the first among 1, 5, 9,
  // ..., else the first dropped one.
  if (kept % 2 == 1) {
    int back = 0;
    for (int k = 1; k <= n && back == 0; k += 4)
      if (!keep[static_cast<std::size_t>(k)]) back = k;
    for (int k = 1; k <= n && back == 0; k += 2)
      if (!keep[static_cast<std::size_t>(k)]) back = k;
    assert(back != 0);
    keep[static_cast<std::size_t>(back)] = 1;
    ++kept;
  }
  if (kept < 4 || kept == n) return;
  const bool hasMarks = a.mark.size() == n;
  Outline r;
  r.n = kept;
  r.nSeg = kept / 2;
  r.pts.assign(static_cast<std::size_t>(kept));
  r.mark.assign(static_cast<std::size_t>(kept), -1);
  int m = 0;
  for (int k = 1; k <= n; ++k) {
    if (!keep[static_cast<std::size_t>(k)]) continue;
    ++m;
    r.pts(m) = a.pts(k);
    if (hasMarks) r.mark(m) = a.mark(k);
  }
  a = std::move(r);
}

void RoundOutline(Outline& a) {
  const int n = a.n;
  if (n < 2) return;
  double xmin = a.pts(1)[0], xmax = xmin, ymin = a.pts(1)[1], ymax = ymin;
  double dmax = 0.0;
  for (int k = 1; k <= n; ++k) {
    xmin = std::min(xmin, a.pts(k)[0]);
    xmax = std::max(xmax, a.pts(k)[0]);
    ymin = std::min(ymin, a.pts(k)[1]);
    ymax = std::max(ymax, a.pts(k)[1]);
    dmax = std::max(dmax, Dist(a.pts(1), a.pts(k)));
  }
  const Point2 c{0.5 * (xmin + xmax), 0.5 * (ymin + ymax)};
  const double R = 0.5 * dmax;
  for (int i = 2; i <= n; i += 2) {
    const Point2& p = a.pts(i - 1);
    const Point2& q = a.pts(i == n ? 1 : i + 1);
    const double dx = 0.5 * (p[0] + q[0]) - c[0], dy = 0.5 * (p[1] + q[1]) - c[1];
    const double len = std::hypot(dx, dy);
    if (len > 0.0) a.pts(i) = {c[0] + R * dx / len, c[1] + R * dy / len};
  }
}

void SimplifyOutline(Outline& a) {
  const int nSeg = a.n / 2;
  if (nSeg < 4) return;
  // Relative deviation of merging segments k and k+1 into the quadratic
  // through points 2k-1, 2k+1 and 2k+3: the larger distance of the dropped
  // middle points 2k and 2k+2 from it, over its chord.
  std::vector<double> dev(static_cast<std::size_t>(nSeg) + 1, 1e30);
  for (int k = 1; k < nSeg; ++k) {
    const Point2& q0 = a.pts(2 * k - 1);
    const Point2& qm = a.pts(2 * k + 1);
    const Point2& q1 = a.pts(Wrap(2 * k + 3, a.n));
    const double chord = Dist(q0, q1);
    if (!(chord > 0.0)) continue;
    const double d = std::max(DistToQuad(q0, qm, q1, a.pts(2 * k), -1.0, 0.0),
                              DistToQuad(q0, qm, q1, a.pts(2 * k + 2), 0.0, 1.0));
    dev[static_cast<std::size_t>(k)] = d / chord;
  }
  constexpr double kTol = 0.01;
  std::vector<char> merge(static_cast<std::size_t>(nSeg) + 1, 0);
  int merged = 0;
  for (int k = 1; k < nSeg;) {
    if (dev[static_cast<std::size_t>(k)] <= kTol) {
      merge[static_cast<std::size_t>(k)] = 1;
      ++merged;
      k += 2;
    } else {
      ++k;
    }
  }
  if (merged == 0) {
    const auto best = std::min_element(dev.begin() + 1, dev.begin() + nSeg);
    merge[static_cast<std::size_t>(best - dev.begin())] = 1;
  }
  const bool hasMarks = a.mark.size() == a.n;
  Outline r;
  std::vector<Point2> pts;
  std::vector<int32_t> marks;
  const auto put = [&](int k) {
    pts.push_back(a.pts(k));
    marks.push_back(hasMarks ? a.mark(k) : -1);
  };
  for (int k = 1; k <= nSeg;) {
    if (k < nSeg && merge[static_cast<std::size_t>(k)]) {
      put(2 * k - 1);
      put(2 * k + 1);
      k += 2;
    } else {
      put(2 * k - 1);
      put(2 * k);
      k += 1;
    }
  }
  r.n = static_cast<int32_t>(pts.size());
  r.nSeg = r.n / 2;
  r.pts.v = std::move(pts);
  r.mark.v = std::move(marks);
  a = std::move(r);
}
