#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "block_fixtures.h"
#include "mesh2d/resample.h"

namespace {

using namespace fixtures;
constexpr double kPi = std::numbers::pi;

TEST(SizeLaw, FallbackPairAndConstants) {
  DivSpec s;  // c1 = 0 behaves as (28, 30)
  SetSizeLaw(s, 100.0);
  EXPECT_EQ(s.c1, 28);
  EXPECT_EQ(s.c2, 30);
  EXPECT_DOUBLE_EQ(s.h0, 2.0 * std::sqrt(kPi * 100.0) / 28);
  EXPECT_DOUBLE_EQ(s.k1, kPi / 2.0 / s.h0);
  EXPECT_DOUBLE_EQ(s.kmin, 2.0 * kPi / (30 * s.h0));
  EXPECT_EQ(s.s2, 0.4000000059604645);
  EXPECT_EQ(s.s1, 0.10000000149011612);
  // r is 1 on flat parts, s2 from k1 on, and linear in between.
  EXPECT_DOUBLE_EQ(RelativeSize(s, 0.0), 1.0);
  EXPECT_DOUBLE_EQ(RelativeSize(s, s.kmin), 1.0);
  EXPECT_DOUBLE_EQ(RelativeSize(s, s.k1), s.s2);
  EXPECT_DOUBLE_EQ(RelativeSize(s, 10.0 * s.k1), s.s2);
  EXPECT_NEAR(RelativeSize(s, 0.5 * (s.kmin + s.k1)), 0.5 * (1.0 + s.s2), 1e-12);
}

TEST(SizeLaw, ZeroAreaStops) {
  DivSpec s;
  s.c1 = s.c2 = 20;
  EXPECT_EXIT(SetSizeLaw(s, 0.0), ::testing::ExitedWithCode(1), "encloses no area");
}

TEST(OrientOutline, ClockwiseKeepsPointOneAndParity) {
  Outline o = Circle(5.0, 6);  // counter-clockwise
  for (int i = 1; i <= o.n; ++i) o.mark(i) = i;
  const Outline before = o;
  OrientOutline(1, o);
  EXPECT_LT(OutlineSignedArea2(o), 0.0);
  EXPECT_EQ(o.pts(1), before.pts(1));
  for (int i = 2; i <= o.n; ++i) {
    EXPECT_EQ(o.pts(i), before.pts(o.n + 2 - i));
    EXPECT_EQ(o.mark(i), o.n + 2 - i);  // marks travel with their points
    EXPECT_EQ(o.mark(i) % 2, i % 2);    // end points stay end points
  }
  const Outline cw = o;
  OrientOutline(1, o);  // already clockwise: unchanged
  for (int i = 1; i <= o.n; ++i) EXPECT_EQ(o.pts(i), cw.pts(i));
  OrientOutline(-1, o);  // any other sense: counter-clockwise
  EXPECT_GT(OutlineSignedArea2(o), 0.0);
}

TEST(OutlineFactors, CircleFactorsBelowCap) {
  // A circle given with 2 c1 points keeps about c1 segments.
  const double R = 10.0;
  const int c1 = 20;
  Outline o = Circle(R, c1);
  DivSpec s;
  s.c1 = s.c2 = c1;
  Vec1<double> f;
  OutlineFactors(s, o, f);
  EXPECT_NEAR(s.h0, 2.0 * kPi * R / c1, 0.01 * s.h0);
  for (int i = 1; i <= o.n; ++i) {
    EXPECT_GE(f(i), 1.0);  // curvature 1/R is exactly kmin when c1 = c2
    EXPECT_LT(f(i), 2.5);
  }
  Outline out;
  DivSpec s2;
  s2.c1 = s2.c2 = c1;
  ResampleOutline(2, o, out, s2);
  EXPECT_NEAR(out.nSeg, c1, 0.25 * c1);
  // Every new point lies on the circle.
  for (int i = 1; i <= out.n; ++i) EXPECT_NEAR(std::hypot(out.pts(i)[0], out.pts(i)[1]), R, 2e-3 * R);
}

TEST(OutlineFactors, SquareCornersRefineTheirNeighbourhood) {
  // Square of side 40 whose corners are rounded by one short quadratic segment
  // each (its middle point is the sharp corner).
  const double L = 40.0, d = 0.5;
  std::vector<Point2> p;
  const Point2 c[4] = {{0, 0}, {L, 0}, {L, L}, {0, L}};
  for (int k = 0; k < 4; ++k) {
    const Point2& a = c[k];
    const Point2& b = c[(k + 1) % 4];
    const double ux = (b[0] - a[0]) / L, uy = (b[1] - a[1]) / L;
    p.push_back({a[0] + d * ux, a[1] + d * uy});            // side start
    p.push_back({a[0] + 0.5 * L * ux, a[1] + 0.5 * L * uy});  // side middle
    p.push_back({b[0] - d * ux, b[1] - d * uy});            // corner segment start
    p.push_back(b);                                          // its middle: the corner
  }
  Outline o = OutlineFromPoints(p);
  DivSpec s;
  s.c1 = s.c2 = 32;
  Vec1<double> f;
  OutlineFactors(s, o, f);
  const double a = 3.5 * s.h0;
  for (int i = 1; i <= o.n; ++i) {
    const bool cornerMid = i % 4 == 0;
    if (cornerMid) {
      EXPECT_NEAR(f(i), 2.5, 1e-6) << "corner " << i;
      continue;
    }
    double dmin = 1e9;
    for (int j = 4; j <= o.n; j += 4)
      dmin = std::min(dmin, std::hypot(o.pts(i)[0] - o.pts(j)[0], o.pts(i)[1] - o.pts(j)[1]));
    if (i % 4 == 2) {
      // Side middle points lie beyond 3.5 h0 from every corner: flat, factor 1.
      ASSERT_GT(dmin, a);
      EXPECT_DOUBLE_EQ(f(i), 1.0) << "side " << i;
    } else {
      // Corner segment end points: mean of the middle points, then spread up.
      EXPECT_GT(f(i), 1.75) << "end " << i;
      EXPECT_LE(f(i), 2.5) << "end " << i;
    }
  }
}

TEST(OutlineFactors, ModesOfTheLaw) {
  Vec1<double> f(5, 1.0);
  ApplyFactorMode(1, f);
  for (double v : f) EXPECT_EQ(v, 1.0);  // mode 1 keeps unit factors
  Vec1<double> g(3, 2.5);
  ApplyFactorMode(1, g);
  EXPECT_DOUBLE_EQ(g(1), std::pow(2.5, 0.2000000029802322));
  ApplyFactorMode(2, g);
  EXPECT_DOUBLE_EQ(g(2), std::pow(2.5, 0.2000000029802322));
  Vec1<double> q(2, 4.0);
  ApplyFactorMode(3, q);
  EXPECT_DOUBLE_EQ(q(1), 0.4);
}

TEST(ResampleOutline, KeepsEndPointsAndSpacesStraightSidesEvenly) {
  Outline coarse = Polygon({{0, 0}, {40, 0}, {40, 4}, {0, 4}}, 1000.0);
  for (int S : {16, 24, 32}) {
    Outline in = coarse;
    Outline out;
    DivSpec s;
    s.c1 = s.c2 = S;
    ResampleOutline(1, in, out, s);
    EXPECT_EQ(out.n, 2 * out.nSeg);
    EXPECT_LT(OutlineSignedArea2(out), 0.0) << "resampled outlines run clockwise";
    EXPECT_NEAR(EnclosedArea(out), 160.0, 1e-9);
    // The four corners are kept as end points, in order.
    int kept = 0;
    for (int i = 1; i <= out.n; i += 2)
      for (int k = 1; k <= in.n; k += 2) kept += out.pts(i) == in.pts(k) ? 1 : 0;
    EXPECT_EQ(kept, 4);
    // The long sides get round(40 / h0) equal segments; middles at chord middles.
    const int e = static_cast<int>(std::lround(40.0 / s.h0));
    int onBottom = 0;
    for (int i = 1; i <= out.n; i += 2) {
      const Point2& p = out.pts(i);
      const Point2& m = out.pts(i + 1);
      const Point2& q = out.pts(i + 2 > out.n ? 1 : i + 2);
      if (p[1] == 0.0 && q[1] == 0.0) {
        ++onBottom;
        EXPECT_NEAR(std::fabs(q[0] - p[0]), 40.0 / e, 1e-4 * s.h0);
        EXPECT_NEAR(m[0], 0.5 * (p[0] + q[0]), 1e-9);
        EXPECT_NEAR(m[1], 0.0, 1e-12);
      }
    }
    EXPECT_EQ(onBottom, e);
  }
}

TEST(ResampleOutline, TooManyPointsStops) {
  // 600 segments are all kept: 1200 points exceed the outline capacity.
  Outline o = Circle(10.0, 600);
  Outline out;
  DivSpec s;
  s.c1 = s.c2 = 16;
  EXPECT_EXIT(ResampleOutline(1, o, out, s), ::testing::ExitedWithCode(1), "more than the capacity of 1000");
}

TEST(NearestOnQuad, MatchesDenseSampling) {
  const Point2 a = {0, 0}, b = {1, 1.5}, c = {3, 0.5};
  const Point2 probes[] = {{1, 0}, {2, 3}, {-1, 1}, {4, -1}, {1.2, 1.1}};
  for (const Point2& m : probes) {
    double t = 0;
    const double d2 = NearestOnQuad(a, b, c, m, -1.01, 1.01, t);
    double best = 1e30;
    for (int k = 0; k <= 202000; ++k) {
      const double s = -1.01 + 2.02 * k / 202000;
      const Point2 p = QuadPoint(a, b, c, s);
      best = std::min(best, (p[0] - m[0]) * (p[0] - m[0]) + (p[1] - m[1]) * (p[1] - m[1]));
    }
    EXPECT_LE(d2, best + 1e-12);
    EXPECT_NEAR(d2, best, 1e-8);
    const Point2 p = QuadPoint(a, b, c, t);
    EXPECT_NEAR((p[0] - m[0]) * (p[0] - m[0]) + (p[1] - m[1]) * (p[1] - m[1]), d2, 1e-12);
  }
}

}  // namespace
