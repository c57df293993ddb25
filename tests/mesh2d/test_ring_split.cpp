// Ring splitting and outline reduction: cut choice, cut-line counts and
// grading, and the invariants every split must keep (closed clockwise halves
// of whole quadratic segments, shared cut lines, exact area cover, no
// self-intersection).

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "mesh2d/measures.h"
#include "mesh2d/ring_split.h"

namespace {

constexpr double kPi = std::numbers::pi;

Outline FromPoints(const std::vector<Point2>& p) {
  Outline o;
  o.n = static_cast<int32_t>(p.size());
  o.nSeg = o.n / 2;
  o.pts.v = p;
  o.mark.assign(p.size(), -1);
  return o;
}

// Circle of nSeg segments, points at equal angles from `start`, clockwise
// (or counter-clockwise when ccw is set).
Outline Circle(double cx, double cy, double r, int nSeg, double start = 0.0, bool ccw = false) {
  std::vector<Point2> p;
  for (int k = 0; k < 2 * nSeg; ++k) {
    const double a = start + (ccw ? 1.0 : -1.0) * kPi * k / nSeg;
    p.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
  }
  return FromPoints(p);
}

// Clockwise polygon through the corners, each edge divided into `per`
// segments (corners are segment end points).
Outline Polygon(const std::vector<Point2>& corners, const std::vector<int>& per) {
  std::vector<Point2> p;
  const std::size_t m = corners.size();
  for (std::size_t e = 0; e < m; ++e) {
    const Point2& a = corners[e];
    const Point2& b = corners[(e + 1) % m];
    const int s = per[e];
    for (int k = 0; k < 2 * s; ++k) {
      const double t = static_cast<double>(k) / (2 * s);
      p.push_back({a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1])});
    }
  }
  return FromPoints(p);
}

// Clockwise rectangle of centre (cx, cy), w by h; sides of sx and sy segments.
Outline Rect(double cx, double cy, double w, double h, int sx, int sy) {
  const double x0 = cx - w / 2, x1 = cx + w / 2, y0 = cy - h / 2, y1 = cy + h / 2;
  return Polygon({{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}}, {sy, sx, sy, sx});
}

// Signed area of the polygon through all points (negative when clockwise).
double Area(const Outline& o) {
  double s = 0.0;
  for (int k = 1; k <= o.n; ++k) {
    const Point2& p = o.pts(k);
    const Point2& q = o.pts(k == o.n ? 1 : k + 1);
    s += p[0] * q[1] - q[0] * p[1];
  }
  return 0.5 * s;
}

double Orient(const Point2& a, const Point2& b, const Point2& c) {
  return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
}

bool OnSegment(const Point2& a, const Point2& b, const Point2& p) {
  return std::min(a[0], b[0]) <= p[0] && p[0] <= std::max(a[0], b[0]) && std::min(a[1], b[1]) <= p[1] &&
         p[1] <= std::max(a[1], b[1]);
}

// Closed segments ab and cd share a point (touching counts).
bool Intersect(const Point2& a, const Point2& b, const Point2& c, const Point2& d) {
  const double d1 = Orient(c, d, a), d2 = Orient(c, d, b), d3 = Orient(a, b, c), d4 = Orient(a, b, d);
  if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0))) return true;
  return (d1 == 0 && OnSegment(c, d, a)) || (d2 == 0 && OnSegment(c, d, b)) ||
         (d3 == 0 && OnSegment(a, b, c)) || (d4 == 0 && OnSegment(a, b, d));
}

// True when two non-adjacent edges of the closed polygon meet, or two points
// coincide.
bool SelfIntersects(const Outline& o) {
  const int n = o.n;
  for (int i = 1; i <= n; ++i)
    for (int j = i + 1; j <= n; ++j)
      if (o.pts(i) == o.pts(j)) return true;
  for (int i = 1; i <= n; ++i)
    for (int j = i + 2; j <= n; ++j) {
      if (i == 1 && j == n) continue;
      if (Intersect(o.pts(i), o.pts(i + 1), o.pts(j), o.pts(j == n ? 1 : j + 1))) return true;
    }
  return false;
}

bool IsPointOf(const Outline& o, const Point2& p) {
  for (int k = 1; k <= o.n; ++k)
    if (o.pts(k) == p) return true;
  return false;
}

// Maximal runs of points that belong to none of `outl` (the cut-line interior
// points), each with the outline point before and after it.
std::vector<std::vector<Point2>> CutRuns(const Outline& h, const std::vector<const Outline*>& outl) {
  const auto onOutline = [&](const Point2& p) {
    for (const Outline* o : outl)
      if (IsPointOf(*o, p)) return true;
    return false;
  };
  std::vector<std::vector<Point2>> runs;
  int k0 = 1;
  while (k0 <= h.n && !onOutline(h.pts(k0))) ++k0;  // start the scan on an outline point
  for (int s = 0; s < h.n;) {
    const int k = (k0 - 1 + s) % h.n + 1;
    const int next = k % h.n + 1;
    if (onOutline(h.pts(k)) && !onOutline(h.pts(next))) {
      std::vector<Point2> run{h.pts(k)};
      int m = next;
      int steps = 1;
      while (!onOutline(h.pts(m))) {
        run.push_back(h.pts(m));
        m = m % h.n + 1;
        ++steps;
      }
      run.push_back(h.pts(m));
      runs.push_back(run);
      s += steps;
    } else {
      ++s;
    }
  }
  return runs;
}

// The invariants of a split of the region inside outl[0] and outside the
// other outlines into h1 and h2.
void ExpectSoundSplit(const std::vector<const Outline*>& outl, const Outline& h1, const Outline& h2) {
  double region = std::fabs(Area(*outl[0]));
  for (std::size_t k = 1; k < outl.size(); ++k) region -= std::fabs(Area(*outl[k]));
  for (const Outline* h : {&h1, &h2}) {
    SCOPED_TRACE(h == &h1 ? "half 1" : "half 2");
    EXPECT_EQ(h->n % 2, 0);
    EXPECT_EQ(h->nSeg, h->n / 2);
    EXPECT_LE(h->n, kMaxOutlinePoints);
    ASSERT_EQ(h->pts.size(), h->n);
    ASSERT_EQ(h->mark.size(), h->n);
    EXPECT_LT(Area(*h), 0.0) << "a half must run clockwise";
    EXPECT_FALSE(SelfIntersects(*h));
    // Marks: 0 on the arcs of the enclosed outlines, -1 on the container and
    // the cut lines.
    for (int k = 1; k <= h->n; ++k) {
      bool onPiece = false;
      for (std::size_t o = 1; o < outl.size(); ++o) onPiece = onPiece || IsPointOf(*outl[o], h->pts(k));
      EXPECT_EQ(h->mark(k), onPiece ? 0 : -1) << "point " << k;
    }
  }
  EXPECT_NEAR(std::fabs(Area(h1)) + std::fabs(Area(h2)), region, 1e-9 * std::fabs(Area(*outl[0])));
  // Every cut line of half 1 is a cut line of half 2, point for point, in the
  // opposite direction, and both halves hold the same number of them.
  const auto r1 = CutRuns(h1, outl), r2 = CutRuns(h2, outl);
  EXPECT_EQ(r1.size(), r2.size());
  for (const auto& run : r1) {
    std::vector<Point2> rev(run.rbegin(), run.rend());
    bool found = false;
    for (const auto& other : r2) found = found || other == rev;
    EXPECT_TRUE(found) << "cut line from (" << run.front()[0] << ", " << run.front()[1] << ") not shared";
  }
  // Every outline point lies in one half; only cut end points lie in both.
  for (const Outline* o : outl)
    for (int k = 1; k <= o->n; ++k) EXPECT_TRUE(IsPointOf(h1, o->pts(k)) || IsPointOf(h2, o->pts(k)));
}

}  // namespace

TEST(FindCuts, ConcentricCirclesJoinClosestPairAndOppositePoints) {
  // Inner radius half the outer one, points at the same angles: the first
  // cut is radial (every radial pair is closest), the far outer point is the
  // opposite one and its nearest inner point lies on the same ray.
  const Outline inner = Circle(0, 0, 10, 40), outer = Circle(0, 0, 20, 40);
  const RingCuts c = FindCuts(inner, outer);
  EXPECT_EQ(c.first.i % 2, 1);
  EXPECT_EQ(c.first.i, c.first.j);
  EXPECT_EQ(c.second.j, (c.first.j + 39) % 80 + 1);
  EXPECT_EQ(c.second.i, c.second.j);
  // Gap 10 over the mean point spacing (10 + 20) sin(pi/80) = 1.178: q = 8.5.
  EXPECT_EQ(CutDivisions(inner, outer, c.first.i, c.first.j), 9);
  EXPECT_EQ(CutDivisions(inner, outer, c.second.i, c.second.j), 9);
  // Moving the inner circle by a tenth of a point spacing makes the pair at
  // angle 0 the unique closest one.
  const RingCuts d = FindCuts(Circle(0.1, 0, 10, 40), outer);
  EXPECT_EQ(d.first.i, 1);
  EXPECT_EQ(d.first.j, 1);
  EXPECT_EQ(d.second.j, 41);
  EXPECT_EQ(d.second.i, 41);
}

TEST(FindCuts, OffCentreInnerCircleCutsAtTheNarrowGap) {
  // Inner circle moved by 4 to the right: the narrow gap is at angle 0
  // (inner point 1, outer point 1), the far cut at angle pi.
  const Outline inner = Circle(4, 0, 10, 32, 0.01), outer = Circle(0, 0, 20, 48);
  const RingCuts c = FindCuts(inner, outer);
  EXPECT_EQ(c.first.i, 1);
  EXPECT_EQ(c.first.j, 1);
  EXPECT_EQ(c.second.j, 49);
  EXPECT_EQ(c.second.i, 33);
  EXPECT_NE(c.first.i, c.second.i);
}

TEST(FindCuts, RectangleInCircleCutsAtTheNarrowEnds) {
  const Outline inner = Rect(0, 0, 40, 4, 20, 2), outer = Circle(0, 0, 30, 48);
  const RingCuts c = FindCuts(inner, outer);
  // Closest: a corner at one end of the strip and the circle beyond it.
  const double x1 = inner.pts(c.first.i)[0];
  EXPECT_NEAR(std::fabs(x1), 20.0, 1e-12);
  EXPECT_GT(outer.pts(c.first.j)[0] * x1, 25.0 * 20.0);
  // The second cut joins the other end of the strip to the far side.
  EXPECT_NEAR(inner.pts(c.second.i)[0], -x1, 1e-12);
  EXPECT_LT(outer.pts(c.second.j)[0] * x1, -25.0 * 20.0);
}

TEST(FindCuts, StopsOnOutlinesTooSmallToCut) {
  const Outline inner = Circle(0, 0, 1, 1), outer = Circle(0, 0, 2, 8);
  EXPECT_EXIT(FindCuts(inner, outer), ::testing::ExitedWithCode(1), "FindCuts: outlines need an even point count");
}

TEST(CutDivisions, CountsFollowTheGapInLocalSpacings) {
  // Inner and outer spacing 1 next to the cut: the count is decided by the
  // gap alone.
  const auto count = [](double gap) {
    const Outline in = FromPoints({{0, 0}, {0, 1}, {-1, 1}, {-1, 0}});
    const Outline out = FromPoints({{gap, 0}, {gap, 1}, {gap + 1, 1}, {gap + 1, 0}});
    return CutDivisions(in, out, 1, 1);
  };
  EXPECT_EQ(count(2.0), 1);  // exactly two spacings: one interior point
  EXPECT_EQ(count(2.0 + 1e-9), 3);
  EXPECT_EQ(count(0.5), 1);
  EXPECT_EQ(count(4.0), 3);
  EXPECT_EQ(count(4.01), 5);
  EXPECT_EQ(count(21.0), 21);
  EXPECT_EQ(count(22.5), 23);
  EXPECT_EQ(count(500.0), 23);  // capped
}

TEST(CutGrading, RatioOfLocalSizesClampedToFortyPercent) {
  const auto grading = [](double inner, double outer) {
    const Outline in = FromPoints({{0, 0}, {0, inner}, {-1, 0}, {0, -inner}});
    const Outline out = FromPoints({{5, 0}, {5, outer}, {6, 0}, {5, -outer}});
    return CutGrading(in, out, 1, 1);
  };
  EXPECT_DOUBLE_EQ(grading(1.0, 1.0), 0.0);
  EXPECT_NEAR(grading(1.0, 2.0), 1.0 - std::pow(0.5, 0.4), 1e-6);
  EXPECT_NEAR(grading(1.0, 100.0), 0.4, 1e-7);
  EXPECT_NEAR(grading(100.0, 1.0), -0.4, 1e-7);
}

TEST(CutLinePoints, EvenWithoutGradingGeometricWithIt) {
  const Point2 a{0, 0}, b{12, 0};
  const auto even = CutLinePoints(a, b, 5, 0.0);
  ASSERT_EQ(even.size(), 5u);
  for (int k = 0; k < 5; ++k) EXPECT_DOUBLE_EQ(even[static_cast<std::size_t>(k)][0], 2.0 * (k + 1));
  // g = 0.3: steps shrink from `a` to `b` by a constant factor, the last step
  // being 0.7 of the first, and the points stay strictly inside the line.
  const auto graded = CutLinePoints(a, b, 5, 0.3);
  ASSERT_EQ(graded.size(), 5u);
  std::vector<double> x{0.0};
  for (const Point2& p : graded) x.push_back(p[0]);
  x.push_back(12.0);
  for (std::size_t k = 1; k < x.size(); ++k) EXPECT_GT(x[k], x[k - 1]);
  const double first = x[1] - x[0], last = x[6] - x[5];
  EXPECT_NEAR(last / first, 0.7, 1e-12);
  for (std::size_t k = 2; k < x.size(); ++k)
    EXPECT_NEAR((x[k] - x[k - 1]) / (x[k - 1] - x[k - 2]), std::pow(0.7, 0.2), 1e-12);
  EXPECT_TRUE(CutLinePoints(a, b, 0, 0.0).empty());
}

TEST(SplitRing, HalvesFollowTheCutsPointForPoint) {
  const Outline inner = Circle(0, 0, 10, 40), outer = Circle(0, 0, 20, 40);
  const RingCuts cuts{{1, 1}, {41, 41}};
  Outline h1, h2;
  SplitRing(inner, outer, cuts, 9, 9, h1, h2);
  // half 1: outer 1, 9 cut points, inner 1 back to 41 (41 points), 9 cut
  // points, outer 41..80 (40 points).
  ASSERT_EQ(h1.n, 1 + 9 + 41 + 9 + 40);
  EXPECT_EQ(h1.pts(1), outer.pts(1));
  EXPECT_EQ(h1.pts(11), inner.pts(1));
  EXPECT_EQ(h1.pts(12), inner.pts(80));
  EXPECT_EQ(h1.pts(51), inner.pts(41));
  EXPECT_EQ(h1.pts(61), outer.pts(41));
  EXPECT_EQ(h1.pts(h1.n), outer.pts(80));
  // Equal local sizes on both ends of a radial cut would give g = 0; here the
  // outer spacing is twice the inner one, so the steps shrink inwards.
  const double s1 = std::hypot(h1.pts(2)[0] - h1.pts(1)[0], h1.pts(2)[1] - h1.pts(1)[1]);
  const double s10 = std::hypot(h1.pts(11)[0] - h1.pts(10)[0], h1.pts(11)[1] - h1.pts(10)[1]);
  EXPECT_NEAR(s10 / s1, std::pow(0.5, 0.4), 1e-7);
  // half 2: outer 41, cut 2 inwards, inner 41 back to 1, cut 1 outwards,
  // outer 1..40.
  ASSERT_EQ(h2.n, 1 + 9 + 41 + 9 + 40);
  EXPECT_EQ(h2.pts(1), outer.pts(41));
  EXPECT_EQ(h2.pts(11), inner.pts(41));
  EXPECT_EQ(h2.pts(51), inner.pts(1));
  EXPECT_EQ(h2.pts(61), outer.pts(1));
  for (int k = 2; k <= 10; ++k) EXPECT_EQ(h2.pts(50 + k), h1.pts(12 - k));
  ExpectSoundSplit({&outer, &inner}, h1, h2);
}

TEST(SplitRing, SoundHalvesOnTypicalRings) {
  struct Case {
    const char* name;
    Outline inner, outer;
  };
  const std::vector<Case> cases{
      {"concentric circles", Circle(0, 0, 10, 40), Circle(0, 0, 20, 40)},
      {"off-centre inner circle", Circle(6, -3, 8, 36, 0.3), Circle(0, 0, 20, 48)},
      {"square in a circle", Rect(1, 2, 16, 16, 8, 8), Circle(0, 0, 20, 60, 0.1)},
      {"40 x 4 strip in a circle", Rect(0, 0, 40, 4, 20, 2), Circle(0, 0, 30, 64)},
      {"counter-clockwise input", Circle(0, 0, 5, 12, 0.2, true), Circle(1, 0, 15, 40, 0.0, true)},
      {"strip against a square container", Rect(0, 0, 40, 4, 20, 2), Rect(0, 0, 50, 50, 25, 25)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Outline h1, h2;
    SplitRing(c.inner, c.outer, h1, h2);
    ExpectSoundSplit({&c.outer, &c.inner}, h1, h2);
  }
}

TEST(SplitRing, HiddenNearestPointGetsAClearSecondCut) {
  // An inverted T whose mast reaches up to the container: the far outer
  // point is straight below, and its nearest segment end point (the foot of
  // the mast) lies behind the long bottom edge.  A cut there would cross the
  // outline; the split must pick a clear one.
  const Outline inner = Polygon({{-20, -5}, {-20, -4}, {-1, -4}, {-1, 24}, {1, 24}, {1, -4}, {20, -4}, {20, -5}},
                                {1, 1, 1, 1, 1, 1, 1, 1});
  const Outline outer = Circle(0, 0, 25, 64, kPi / 2);
  const RingCuts cuts = FindCuts(inner, outer);
  ASSERT_NEAR(inner.pts(cuts.second.i)[1], -4.0, 1e-12) << "the fixture no longer hides the nearest point";
  Outline h1, h2;
  SplitRing(inner, outer, h1, h2);
  ExpectSoundSplit({&outer, &inner}, h1, h2);
}

TEST(SplitRing, TouchingOutlinesShareOnePointInsteadOfACutLine) {
  // Inner circle touching the outer one at (20, 0): the first cut has no
  // length and must not produce coincident points.
  const Outline inner = Circle(10, 0, 10, 24), outer = Circle(0, 0, 20, 48);
  Outline h1, h2;
  SplitRing(inner, outer, h1, h2);
  for (const Outline* h : {&h1, &h2}) {
    EXPECT_EQ(h->n % 2, 0);
    EXPECT_LT(Area(*h), 0.0);
    EXPECT_FALSE(SelfIntersects(*h));
  }
  EXPECT_NEAR(std::fabs(Area(h1)) + std::fabs(Area(h2)), std::fabs(Area(outer)) - std::fabs(Area(inner)), 1e-9);
}

TEST(SplitRing, RejectsInvalidCutsAndOverfullHalves) {
  const Outline inner = Circle(0, 0, 10, 40), outer = Circle(0, 0, 20, 40);
  Outline h1, h2;
  EXPECT_EXIT(SplitRing(inner, outer, RingCuts{{1, 1}, {1, 41}}, 9, 9, h1, h2), ::testing::ExitedWithCode(1),
              "SplitRing: invalid cuts");
  EXPECT_EXIT(SplitRing(inner, outer, RingCuts{{2, 1}, {41, 41}}, 9, 9, h1, h2), ::testing::ExitedWithCode(1),
              "SplitRing: invalid cuts");
  EXPECT_EXIT(SplitRing(inner, outer, FindCuts(inner, outer), 4, 9, h1, h2), ::testing::ExitedWithCode(1),
              "must be odd");
  const Outline bigIn = Circle(0, 0, 10, 480), bigOut = Circle(0, 0, 20, 480);
  EXPECT_EXIT(SplitRing(bigIn, bigOut, h1, h2), ::testing::ExitedWithCode(1),
              "SplitRing: a half outline needs [0-9]+ points, more than the outline capacity of 1000");
}

namespace {

// Outlines 1..5 with the container in slot 3.
struct Layout {
  Vec1<Outline> outl{5};
  Fix1<int8_t, 5> order{};
  int count = 0;
};

void ExpectSoundAround(const Layout& l) {
  Outline h1, h2;
  SplitAround(l.count, l.order, l.outl, h1, h2);
  std::vector<const Outline*> outl;
  for (int k = 1; k <= l.count; ++k) outl.push_back(&l.outl(l.order(k)));
  ExpectSoundSplit(outl, h1, h2);
}

}  // namespace

TEST(SplitAround, SoundHalvesForTwoToFourPieces) {
  {
    SCOPED_TRACE("two circles side by side");
    Layout l;
    l.outl(3) = Circle(0, 0, 50, 64);
    l.outl(1) = Circle(-20, 0, 8, 16, 0.1);
    l.outl(2) = Circle(20, 0, 8, 16, 0.2);
    l.order = {{3, 2, 1}};
    l.count = 3;
    ExpectSoundAround(l);
  }
  {
    SCOPED_TRACE("three pieces in a row");
    Layout l;
    l.outl(3) = Circle(0, 0, 50, 64);
    l.outl(1) = Circle(-30, 0, 8, 16);
    l.outl(2) = Rect(0, 0, 16, 6, 8, 3);
    l.outl(4) = Circle(30, 0, 8, 16);
    l.order = {{3, 4, 2, 1}};
    l.count = 4;
    ExpectSoundAround(l);
  }
  {
    SCOPED_TRACE("four pieces in a square");
    Layout l;
    l.outl(3) = Circle(0, 0, 60, 80);
    l.outl(1) = Circle(-20, -20, 8, 16, 0.3);
    l.outl(2) = Rect(20, -20, 16, 10, 8, 5);
    l.outl(4) = Circle(20, 20, 8, 16);
    l.outl(5) = Rect(-20, 20, 12, 12, 6, 6);
    l.order = {{3, 4, 2, 1, 5}};
    l.count = 5;
    ExpectSoundAround(l);
  }
  {
    SCOPED_TRACE("last piece hidden behind the first");
    // The nearest container point of the last piece lies straight above it,
    // behind the first piece: the closing cut must go round it.
    Layout l;
    l.outl(3) = Circle(0, 0, 50, 96);
    l.outl(1) = Circle(0, 35, 8, 20);
    l.outl(2) = Circle(15, 20, 3, 10);
    l.outl(4) = Circle(0, 12, 4, 12, kPi / 2);
    l.order = {{3, 1, 2, 4}};
    l.count = 4;
    const Outline& last = l.outl(4);
    const Outline& box = l.outl(3);
    double best = 1e30;
    Point2 p{}, q{};
    for (int i = 1; i <= last.n; i += 2)
      for (int j = 1; j <= box.n; j += 2) {
        const double d = std::hypot(last.pts(i)[0] - box.pts(j)[0], last.pts(i)[1] - box.pts(j)[1]);
        if (d < best) {
          best = d;
          p = last.pts(i);
          q = box.pts(j);
        }
      }
    bool blocked = false;
    const Outline& first = l.outl(1);
    for (int k = 1; k <= first.n; ++k) blocked = blocked || Intersect(p, q, first.pts(k), first.pts(k % first.n + 1));
    ASSERT_TRUE(blocked) << "the fixture no longer hides the closing cut";
    ExpectSoundAround(l);
  }
  {
    SCOPED_TRACE("one piece: the ring split");
    Layout l;
    l.outl(3) = Circle(0, 0, 30, 48);
    l.outl(1) = Rect(0, 0, 40, 4, 20, 2);
    l.order = {{3, 1}};
    l.count = 2;
    ExpectSoundAround(l);
    Outline a1, a2, r1, r2;
    SplitAround(l.count, l.order, l.outl, a1, a2);
    SplitRing(l.outl(1), l.outl(3), r1, r2);
    EXPECT_EQ(a1.pts.v, r1.pts.v);
    EXPECT_EQ(a2.pts.v, r2.pts.v);
  }
}

TEST(SplitAround, StopsOnABadMeshingOrder) {
  Layout l;
  l.outl(3) = Circle(0, 0, 50, 64);
  l.outl(1) = Circle(-20, 0, 8, 16);
  Outline h1, h2;
  l.order = {{3}};
  EXPECT_EXIT(SplitAround(1, l.order, l.outl, h1, h2), ::testing::ExitedWithCode(1),
              "SplitAround: the number of outlines must be 2 to 5, not 1");
  l.order = {{3, 1, 1}};
  EXPECT_EXIT(SplitAround(3, l.order, l.outl, h1, h2), ::testing::ExitedWithCode(1), "appears twice");
  l.order = {{3, 1, 2}};
  EXPECT_EXIT(SplitAround(3, l.order, l.outl, h1, h2), ::testing::ExitedWithCode(1),
              "outline 2 in place 3 of the meshing order is missing");
}

TEST(ReduceOutline, CoarsensOnlyFarFromTheOtherOutline) {
  // Container of 200 points, profile near its right side.
  Outline a = Circle(0, 0, 50, 100, 0.013);
  const Outline b = Circle(40, 0, 5, 16);
  const Outline before = a;
  ReduceOutline(a, b);
  EXPECT_LT(a.n, before.n);
  EXPECT_EQ(a.n % 2, 0);
  EXPECT_EQ(a.nSeg, a.n / 2);
  EXPECT_EQ(a.mark.size(), a.n);
  // The kept points are original points in their original order, and every
  // end point within 0.1 of the diagonal of an end point of b is kept.
  int at = 1;
  for (int k = 1; k <= a.n; ++k) {
    while (at <= before.n && before.pts(at) != a.pts(k)) ++at;
    ASSERT_LE(at, before.n) << "point " << k << " is not an original point in order";
  }
  const double near2 = 0.01 * (100.0 * 100.0 * 2.0) * (1.0 - 1e-6);
  for (int k = 1; k <= before.n; k += 2) {
    bool nearB = false;
    for (int l = 1; l <= b.n; l += 2) {
      const double dx = before.pts(k)[0] - b.pts(l)[0], dy = before.pts(k)[1] - b.pts(l)[1];
      nearB = nearB || dx * dx + dy * dy < near2;
    }
    if (nearB) {
      EXPECT_TRUE(IsPointOf(a, before.pts(k))) << "end point " << k << " near the profile dropped";
    }
  }
}

TEST(ReduceOutline, KeepsCornersAxisPointsAndAnEvenCount) {
  // A square far from b: every end point is dropped except where the outline
  // turns (the corners) and on the y axis.
  Outline sq = Rect(100, 0, 20, 20, 5, 5);
  const Outline b = Circle(0, 0, 1, 8);
  ReduceOutline(sq, b);
  for (const Point2 c : {Point2{90, -10}, Point2{90, 10}, Point2{110, 10}, Point2{110, -10}})
    EXPECT_TRUE(IsPointOf(sq, c));
  EXPECT_EQ(sq.n % 2, 0);
  // Square straddling the y axis: its end points at x = 0 stay.
  Outline sy = Rect(0, 100, 20, 20, 4, 4);
  ReduceOutline(sy, b);
  EXPECT_TRUE(IsPointOf(sy, {0, 90}));
  EXPECT_TRUE(IsPointOf(sy, {0, 110}));
  EXPECT_EQ(sy.n % 2, 0);
  // Odd number of dropped end points: one is kept again.
  Outline odd = Circle(200, 0, 10, 9);
  ReduceOutline(odd, b);
  EXPECT_EQ(odd.n % 2, 0);
  EXPECT_GE(odd.n, 4);
}

TEST(RoundOutline, PutsMiddlePointsOnTheCircle) {
  Outline a = Circle(3, -2, 10, 12);
  for (int k = 2; k <= a.n; k += 2) {
    a.pts(k)[0] = 0.5 * (a.pts(k - 1)[0] + a.pts(k == a.n ? 1 : k + 1)[0]);  // middle points on the chords
    a.pts(k)[1] = 0.5 * (a.pts(k - 1)[1] + a.pts(k == a.n ? 1 : k + 1)[1]);
  }
  const Outline before = a;
  RoundOutline(a);
  for (int k = 1; k <= a.n; ++k) {
    if (k % 2 == 1) {
      EXPECT_EQ(a.pts(k), before.pts(k));
    } else {
      EXPECT_NEAR(std::hypot(a.pts(k)[0] - 3, a.pts(k)[1] + 2), 10.0, 1e-9);
    }
  }
  EXPECT_NEAR(Roundness(a), 1.0, 1e-9);
}

TEST(RoundOutline, ReducedContainerBecomesACircleAgain) {
  Outline a = Circle(0, 0, 50, 60, 0.05);
  ReduceOutline(a, Circle(45, 0, 2, 8));
  RoundOutline(a);
  // Radius: half the largest distance from point 1, which need not be
  // exactly opposite any more.
  for (int k = 1; k <= a.n; ++k) EXPECT_NEAR(std::hypot(a.pts(k)[0], a.pts(k)[1]), 50.0, 0.03);
}

TEST(SimplifyOutline, HalvesASmoothCircleAndKeepsCorners) {
  Outline c = Circle(0, 0, 40, 100);
  SimplifyOutline(c);
  EXPECT_LE(c.n, 102);
  EXPECT_EQ(c.n % 2, 0);
  EXPECT_EQ(c.nSeg, c.n / 2);
  EXPECT_EQ(c.mark.size(), c.n);
  for (int k = 1; k <= c.n; ++k) EXPECT_NEAR(std::hypot(c.pts(k)[0], c.pts(k)[1]), 40.0, 1e-9);
  EXPECT_NEAR(std::fabs(Area(c)), kPi * 1600.0, 0.01 * kPi * 1600.0);
  // Square of 10 segments per side: fewer points, corners still segment end
  // points.
  Outline sq = Rect(0, 0, 40, 40, 10, 10);
  SimplifyOutline(sq);
  EXPECT_LT(sq.n, 80);
  EXPECT_EQ(sq.n % 2, 0);
  for (const Point2 corner : {Point2{-20, -20}, Point2{-20, 20}, Point2{20, 20}, Point2{20, -20}}) {
    bool atEnd = false;
    for (int k = 1; k <= sq.n; k += 2) atEnd = atEnd || sq.pts(k) == corner;
    EXPECT_TRUE(atEnd);
  }
  EXPECT_NEAR(std::fabs(Area(sq)), 1600.0, 1e-9);
}

TEST(SimplifyOutline, AlwaysLowersThePointCount) {
  // A zigzag star: no pair of segments is smooth, yet the count must drop.
  std::vector<Point2> p;
  for (int k = 0; k < 40; ++k) {
    const double a = -2.0 * kPi * k / 40, r = k % 2 == 0 ? 20.0 : 12.0;
    p.push_back({r * std::cos(a), r * std::sin(a)});
  }
  Outline star = FromPoints(p);
  SimplifyOutline(star);
  EXPECT_EQ(star.n, 38);
  EXPECT_FALSE(SelfIntersects(star));
}
