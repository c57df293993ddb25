// Ring splitting and outline reduction: cut choice, cut-line counts and
// grading, and the invariants of every split (closed clockwise halves of whole
// quadratic segments, shared cut lines, exact area cover, no self-crossing).

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "mesh2d/ring_split.h"

namespace {

constexpr double kPi = std::numbers::pi;

Outline OutlineFromPoints(const std::vector<Point2>& p) {
  Outline o;
  o.n = static_cast<int32_t>(p.size());
  o.nSeg = o.n / 2;
  o.pts.v = p;
  o.mark.assign(p.size(), -1);
  return o;
}

// Circle of nSeg segments from angle `start`, clockwise unless ccw.
Outline Circle(double cx, double cy, double r, int nSeg, double start = 0.0, bool ccw = false) {
  std::vector<Point2> p;
  for (int k = 0; k < 2 * nSeg; ++k) {
    const double a = start + (ccw ? 1.0 : -1.0) * kPi * k / nSeg;
    p.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
  }
  return OutlineFromPoints(p);
}

// Polygon through the corners (clockwise order expected), `per` segments per edge.
Outline Polygon(const std::vector<Point2>& c, int per) {
  std::vector<Point2> p;
  for (std::size_t e = 0; e < c.size(); ++e)
    for (int k = 0; k < 2 * per; ++k) {
      const double t = static_cast<double>(k) / (2 * per);
      const Point2& a = c[e];
      const Point2& b = c[(e + 1) % c.size()];
      p.push_back({a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1])});
    }
  return OutlineFromPoints(p);
}

Outline Rect(double cx, double cy, double w, double h, int per) {
  return Polygon({{cx - w / 2, cy - h / 2},
                  {cx - w / 2, cy + h / 2},
                  {cx + w / 2, cy + h / 2},
                  {cx + w / 2, cy - h / 2}},
                 per);
}

double Area(const Outline& o) {  // signed, negative when clockwise
  double s = 0.0;
  for (int k = 1; k <= o.n; ++k)
    s += o.pts(k)[0] * o.pts(k % o.n + 1)[1] - o.pts(k % o.n + 1)[0] * o.pts(k)[1];
  return 0.5 * s;
}

double Orient(const Point2& a, const Point2& b, const Point2& c) {
  return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
}

// Closed segments ab and cd meet (touching included).
bool Meet(const Point2& a, const Point2& b, const Point2& c, const Point2& d) {
  const double d1 = Orient(c, d, a), d2 = Orient(c, d, b), d3 = Orient(a, b, c), d4 = Orient(a, b, d);
  const auto on = [](const Point2& p, const Point2& q, const Point2& r) {
    return std::min(p[0], q[0]) <= r[0] && r[0] <= std::max(p[0], q[0]) && std::min(p[1], q[1]) <= r[1] &&
           r[1] <= std::max(p[1], q[1]);
  };
  if (d1 * d2 < 0 && d3 * d4 < 0) return true;
  return (d1 == 0 && on(c, d, a)) || (d2 == 0 && on(c, d, b)) || (d3 == 0 && on(a, b, c)) ||
         (d4 == 0 && on(a, b, d));
}

bool SelfIntersects(const Outline& o) {
  for (int i = 1; i <= o.n; ++i)
    for (int j = i + 1; j <= o.n; ++j) {
      if (o.pts(i) == o.pts(j)) return true;
      if (j >= i + 2 && !(i == 1 && j == o.n) && Meet(o.pts(i), o.pts(i + 1), o.pts(j), o.pts(j % o.n + 1)))
        return true;
    }
  return false;
}

int Find(const Outline& o, const Point2& p) {
  for (int k = 1; k <= o.n; ++k)
    if (o.pts(k) == p) return k;
  return 0;
}

// Invariants of a split of the region inside outl[0] and outside the others.
void ExpectSoundSplit(const std::vector<const Outline*>& outl, const Outline& h1, const Outline& h2) {
  const auto onPiece = [&](const Point2& p) {
    for (std::size_t o = 1; o < outl.size(); ++o)
      if (Find(*outl[o], p)) return true;
    return false;
  };
  double region = std::fabs(Area(*outl[0]));
  for (std::size_t k = 1; k < outl.size(); ++k) region -= std::fabs(Area(*outl[k]));
  EXPECT_NEAR(std::fabs(Area(h1)) + std::fabs(Area(h2)), region, 1e-9 * std::fabs(Area(*outl[0])));
  for (const Outline* h : {&h1, &h2}) {
    const Outline& o = h == &h1 ? h2 : h1;
    SCOPED_TRACE(h == &h1 ? "half 1" : "half 2");
    ASSERT_TRUE(h->n % 2 == 0 && h->nSeg == h->n / 2 && h->pts.size() == h->n && h->mark.size() == h->n);
    EXPECT_LT(Area(*h), 0.0) << "a half must run clockwise";
    EXPECT_FALSE(SelfIntersects(*h));
    for (int k = 1; k <= h->n; ++k) {
      const Point2& p = h->pts(k);
      EXPECT_EQ(h->mark(k), onPiece(p) && !Find(*outl[0], p) ? 0 : -1) << "point " << k;
      if (onPiece(p) || Find(*outl[0], p)) continue;
      // A cut-line point: the other half holds it with this half's successor
      // as its predecessor (the cut runs the other way there).
      const int m = Find(o, p);
      ASSERT_NE(m, 0) << "cut point " << k << " missing in the other half";
      EXPECT_EQ(o.pts(m == 1 ? o.n : m - 1), h->pts(k % h->n + 1));
    }
  }
  for (const Outline* o : outl)
    for (int k = 1; k <= o->n; ++k) EXPECT_TRUE(Find(h1, o->pts(k)) || Find(h2, o->pts(k)));
}

}  // namespace

TEST(FindCuts, ConcentricCirclesCutsAndCounts) {
  // Inner radius half the outer one; the inner circle moved by a tenth of a
  // spacing makes the pair at angle 0 the closest; the far cut is opposite.
  const Outline inner = Circle(0.1, 0, 10, 40), outer = Circle(0, 0, 20, 40);
  const RingCuts c = FindCuts(inner, outer);
  EXPECT_EQ(c.first.i, 1);
  EXPECT_EQ(c.first.j, 1);
  EXPECT_EQ(c.second.j, 41);
  EXPECT_EQ(c.second.i, 41);
  // Gap 9.9 over the mean point spacing (10 + 20) sin(pi/80) = 1.178: q = 8.4.
  EXPECT_EQ(CutDivisions(inner, outer, 1, 1), 9);
  EXPECT_EXIT(FindCuts(Circle(0, 0, 1, 1), outer), ::testing::ExitedWithCode(1), "FindCuts: outlines need");
}

TEST(CutDivisions, GapInLocalSpacings) {
  const auto count = [](double gap) {  // spacing 1 next to the cut on both sides
    return CutDivisions(OutlineFromPoints({{0, 0}, {0, 1}, {-1, 1}, {-1, 0}}),
                        OutlineFromPoints({{gap, 0}, {gap, 1}, {gap + 1, 1}, {gap + 1, 0}}), 1, 1);
  };
  EXPECT_EQ(count(2.0), 1);  // exactly two spacings: one interior point
  EXPECT_EQ(count(2.0 + 1e-9), 3);
  EXPECT_EQ(count(4.0), 3);
  EXPECT_EQ(count(4.01), 5);
  EXPECT_EQ(count(22.5), 23);
  EXPECT_EQ(count(500.0), 23);  // capped
}

TEST(CutGrading, ClampedRatioShapesTheCutLine) {
  const auto grading = [](double in, double out) {
    return CutGrading(OutlineFromPoints({{0, 0}, {0, in}, {-1, 0}, {0, -in}}),
                      OutlineFromPoints({{5, 0}, {5, out}, {6, 0}, {5, -out}}), 1, 1);
  };
  EXPECT_DOUBLE_EQ(grading(1, 1), 0.0);
  EXPECT_NEAR(grading(1, 2), 1.0 - std::pow(0.5, 0.4), 1e-6);
  EXPECT_NEAR(grading(1, 100), 0.4, 1e-7);
  EXPECT_NEAR(grading(100, 1), -0.4, 1e-7);
  const auto even = CutLinePoints({0, 0}, {12, 0}, 5, 0.0);
  for (int k = 0; k < 5; ++k) EXPECT_DOUBLE_EQ(even[static_cast<std::size_t>(k)][0], 2.0 * (k + 1));
  // g = 0.3: monotone geometric steps, the last 0.7 of the first.
  std::vector<double> x{0.0};
  for (const Point2& p : CutLinePoints({0, 0}, {12, 0}, 5, 0.3)) x.push_back(p[0]);
  x.push_back(12.0);
  ASSERT_EQ(x.size(), 7u);
  for (std::size_t k = 2; k < x.size(); ++k)
    EXPECT_NEAR((x[k] - x[k - 1]) / (x[k - 1] - x[k - 2]), std::pow(0.7, 0.2), 1e-12);
}

TEST(SplitRing, HalvesInTheOrderOfTheCuts) {
  const Outline inner = Circle(0, 0, 10, 40), outer = Circle(0, 0, 20, 40);
  Outline h1, h2;
  SplitRing(inner, outer, RingCuts{{1, 1}, {41, 41}}, 9, 9, h1, h2);
  // half 1: outer 1, 9 cut points, inner 1 back to 41, 9 cut points, outer 41..80.
  ASSERT_EQ(h1.n, 1 + 9 + 41 + 9 + 40);
  EXPECT_EQ(h1.pts(11), inner.pts(1));
  EXPECT_EQ(h1.pts(12), inner.pts(80));
  EXPECT_EQ(h1.pts(61), outer.pts(41));
  // half 2 starts at outer 41 and ends before outer 41.
  EXPECT_EQ(h2.pts(1), outer.pts(41));
  EXPECT_EQ(h2.pts(61), outer.pts(1));
  // Outer spacing twice the inner one: steps shrink inwards to 0.5^0.4.
  const auto len = [&](int k) {
    return std::hypot(h1.pts(k + 1)[0] - h1.pts(k)[0], h1.pts(k + 1)[1] - h1.pts(k)[1]);
  };
  EXPECT_NEAR(len(10) / len(1), std::pow(0.5, 0.4), 1e-7);
  ExpectSoundSplit({&outer, &inner}, h1, h2);
  EXPECT_EXIT(SplitRing(inner, outer, RingCuts{{1, 1}, {1, 41}}, 9, 9, h1, h2), ::testing::ExitedWithCode(1),
              "SplitRing: invalid cuts");
  EXPECT_EXIT(SplitRing(Circle(0, 0, 10, 480), Circle(0, 0, 20, 480), h1, h2), ::testing::ExitedWithCode(1),
              "SplitRing: a half outline needs [0-9]+ points, more than the outline capacity of 1000");
}

TEST(SplitRing, SoundHalvesOnTypicalRings) {
  // The inverted T reaches up to the container: the far outer point is
  // straight below and its nearest end point (the foot of the mast) lies
  // behind the long bottom edge, so the second cut must be replaced.
  const Outline tee =
      Polygon({{-20, -5}, {-20, -4}, {-1, -4}, {-1, 24}, {1, 24}, {1, -4}, {20, -4}, {20, -5}}, 1);
  const Outline teeBox = Circle(0, 0, 25, 64, kPi / 2);
  ASSERT_NEAR(tee.pts(FindCuts(tee, teeBox).second.i)[1], -4.0, 1e-12) << "fixture no longer hides the point";
  const struct {
    const char* name;
    Outline inner, outer;
  } cases[] = {
      {"concentric circles", Circle(0, 0, 10, 40), Circle(0, 0, 20, 40)},
      {"off-centre inner circle", Circle(6, -3, 8, 36, 0.3), Circle(0, 0, 20, 48)},
      {"square in a circle", Rect(1, 2, 16, 16, 8), Circle(0, 0, 20, 60, 0.1)},
      {"40 x 4 strip in a circle", Polygon({{-20, -2}, {-20, 2}, {20, 2}, {20, -2}}, 1),
       Circle(0, 0, 30, 64)},
      {"counter-clockwise input", Circle(0, 0, 5, 12, 0.2, true), Circle(1, 0, 15, 40, 0.0, true)},
      {"hidden nearest point", tee, teeBox},
      {"inner circle touching the outer one", Circle(10, 0, 10, 24), Circle(0, 0, 20, 48)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Outline h1, h2;
    SplitRing(c.inner, c.outer, h1, h2);
    ExpectSoundSplit({&c.outer, &c.inner}, h1, h2);
  }
}

TEST(SplitAround, SoundHalvesForOneToFourPieces) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, Outline>> outl;
    std::vector<int8_t> order;
  };
  const std::vector<Case> cases{
      {"one piece: the ring split", {{3, Circle(0, 0, 30, 48)}, {1, Rect(0, 0, 40, 4, 4)}}, {3, 1}},
      {"two circles",
       {{3, Circle(0, 0, 50, 64)}, {1, Circle(-20, 0, 8, 16, 0.1)}, {2, Circle(20, 0, 8, 16)}},
       {3, 2, 1}},
      {"last piece touching the container",
       {{3, Circle(0, 0, 50, 64)}, {1, Circle(-20, 0, 8, 16, 0.1)}, {2, Circle(40, 0, 10, 16)}},
       {3, 1, 2}},
      {"three in a row",
       {{3, Circle(0, 0, 50, 64)},
        {1, Circle(-30, 0, 8, 16)},
        {2, Rect(0, 0, 16, 6, 3)},
        {4, Circle(30, 0, 8, 16)}},
       {3, 4, 2, 1}},
      {"four in a square",
       {{3, Circle(0, 0, 60, 80)},
        {1, Circle(-20, -20, 8, 16, 0.3)},
        {2, Rect(20, -20, 16, 10, 4)},
        {4, Circle(20, 20, 8, 16)},
        {5, Rect(-20, 20, 12, 12, 3)}},
       {3, 4, 2, 1, 5}},
      // The nearest container point of the last piece lies straight above it,
      // behind the first piece: the closing cut must go round it.
      {"last piece hidden behind the first",
       {{3, Circle(0, 0, 50, 96)},
        {1, Circle(0, 35, 8, 20)},
        {2, Circle(15, 20, 3, 10)},
        {4, Circle(0, 12, 4, 12, kPi / 2)}},
       {3, 1, 2, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Vec1<Outline> outl(5);
    for (const auto& [slot, o] : c.outl) outl(slot) = o;
    Fix1<int8_t, 5> order{};
    std::vector<const Outline*> parts;
    for (std::size_t k = 0; k < c.order.size(); ++k) {
      order(static_cast<int>(k) + 1) = c.order[k];
      parts.push_back(&outl(c.order[k]));
    }
    Outline h1, h2;
    SplitAround(static_cast<int>(c.order.size()), order, outl, h1, h2);
    ExpectSoundSplit(parts, h1, h2);
  }
  Vec1<Outline> outl(5);
  outl(3) = Circle(0, 0, 50, 64);
  outl(1) = Circle(-20, 0, 8, 16);
  Outline h1, h2;
  EXPECT_EXIT(SplitAround(1, Fix1<int8_t, 5>{{3}}, outl, h1, h2), ::testing::ExitedWithCode(1),
              "SplitAround: the number of outlines must be 2 to 5, not 1");
  EXPECT_EXIT(SplitAround(3, Fix1<int8_t, 5>{{3, 1, 2}}, outl, h1, h2), ::testing::ExitedWithCode(1),
              "outline 2 in place 3 of the meshing order is missing");
}

TEST(ReduceOutline, CoarsensFarFromTheOtherOutlineOnly) {
  Outline a = Circle(0, 0, 50, 100, 0.013);  // diagonal 141: "near" is within 14.1
  const Outline b = Circle(40, 0, 5, 16), before = a;
  ReduceOutline(a, b);
  EXPECT_LT(a.n, before.n);
  EXPECT_TRUE(a.n % 2 == 0 && a.nSeg == a.n / 2 && a.mark.size() == a.n);
  for (int k = 1, prev = 0; k <= a.n; ++k) {  // original points in their order
    const int at = Find(before, a.pts(k));
    EXPECT_GT(at, prev);
    prev = at;
  }
  int nearB = 0;
  for (int k = 1; k <= before.n; k += 2)
    for (int l = 1; l <= b.n; l += 2)
      if (std::hypot(before.pts(k)[0] - b.pts(l)[0], before.pts(k)[1] - b.pts(l)[1]) < 14.1) {
        EXPECT_NE(Find(a, before.pts(k)), 0) << "end point " << k << " near b dropped";
        ++nearB;
        break;
      }
  EXPECT_GT(nearB, 0);
  // A square far away keeps its corners (the outline turns there) and the
  // end points on the y axis.
  Outline sq = Rect(0, 100, 20, 20, 4);
  ReduceOutline(sq, b);
  for (const Point2 p : {Point2{-10, 90}, Point2{10, 110}, Point2{0, 90}, Point2{0, 110}})
    EXPECT_NE(Find(sq, p), 0);
  EXPECT_EQ(sq.n % 2, 0);
  Outline odd = Circle(200, 0, 10, 41);  // all 41 end points dropped: one comes back
  ReduceOutline(odd, b);
  EXPECT_EQ(odd.n, 42);
}

TEST(RoundOutline, MiddlePointsOnTheCircleEndPointsKept) {
  Outline a = Circle(3, -2, 10, 12);
  for (int k = 2; k <= a.n; k += 2)
    for (int d = 0; d < 2; ++d) a.pts(k)[d] = 0.5 * (a.pts(k - 1)[d] + a.pts(k % a.n + 1)[d]);
  const Outline before = a;
  RoundOutline(a);
  for (int k = 1; k <= a.n; ++k) {
    if (k % 2 == 1) {
      EXPECT_EQ(a.pts(k), before.pts(k));
    }
    EXPECT_NEAR(std::hypot(a.pts(k)[0] - 3, a.pts(k)[1] + 2), 10.0, 1e-9);
  }
}

TEST(SimplifyOutline, FewerPointsSameShape) {
  Outline c = Circle(0, 0, 40, 100);
  SimplifyOutline(c);
  EXPECT_TRUE(c.n <= 102 && c.n % 2 == 0 && c.nSeg == c.n / 2 && c.mark.size() == c.n);
  for (int k = 1; k <= c.n; ++k) EXPECT_NEAR(std::hypot(c.pts(k)[0], c.pts(k)[1]), 40.0, 1e-9);
  Outline sq = Rect(0, 0, 40, 40, 10);  // corners stay segment end points
  SimplifyOutline(sq);
  EXPECT_LT(sq.n, 80);
  for (const Point2 p : {Point2{-20, -20}, Point2{-20, 20}, Point2{20, 20}, Point2{20, -20}})
    EXPECT_EQ(Find(sq, p) % 2, 1);
  std::vector<Point2> star;  // no smooth pair at all, yet the count drops
  for (int k = 0; k < 40; ++k)
    star.push_back(
        {(k % 2 ? 12.0 : 20.0) * std::cos(-kPi * k / 20), (k % 2 ? 12.0 : 20.0) * std::sin(-kPi * k / 20)});
  Outline s = OutlineFromPoints(star);
  SimplifyOutline(s);
  EXPECT_EQ(s.n, 38);
  EXPECT_FALSE(SelfIntersects(s));
}
