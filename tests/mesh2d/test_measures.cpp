#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "mesh2d/measures.h"
#include "mesh2d/geometry2d.h"

namespace {

// One straight-sided 6-node triangle with the given corners.
Mesh2d OneTriangle(Point2 a, Point2 b, Point2 c) {
  Mesh2d m;
  m.ne = 1;
  m.np = 3;
  m.nh = 6;
  m.xy.assign(6);
  m.flag.assign(6);
  m.xy(1) = a;
  m.xy(2) = b;
  m.xy(3) = c;
  m.xy(4) = {(c[0] + a[0]) / 2, (c[1] + a[1]) / 2};
  m.xy(5) = {(a[0] + b[0]) / 2, (a[1] + b[1]) / 2};
  m.xy(6) = {(b[0] + c[0]) / 2, (b[1] + c[1]) / 2};
  m.nop.assign(6, 1);
  for (int k = 1; k <= 6; ++k) m.nop(k, 1) = k;
  return m;
}

Outline Arc(double r, double a0, double a1, int n, bool closeWithChord) {
  std::vector<Point2> p;
  for (int k = 0; k < n; ++k) {
    const double a = a0 + (a1 - a0) * k / (closeWithChord ? n - 1 : n);
    p.push_back({r * std::cos(a), r * std::sin(a)});
  }
  return OutlineFromPoints(p);
}

}  // namespace

TEST(MeshKrit, EquilateralRightAngledAndEmpty) {
  const double h = std::sqrt(3.0) / 2.0;
  EXPECT_NEAR(MeshKrit(OneTriangle({0, 0}, {1, 0}, {0.5, h})), 1.0, 1e-12);
  EXPECT_NEAR(MeshKrit(OneTriangle({0, 0}, {1, 0}, {0, 1})), std::sqrt(2.0), 1e-12);
  Mesh2d empty;
  EXPECT_EQ(MeshKrit(empty), 1.0);
  EXPECT_EQ(MeshArea(empty), 0.0);
}

TEST(MeshKrit, CollinearCornersGive1000AndStopTheScan) {
  Mesh2d m = OneTriangle({0, 0}, {1, 0}, {2, 0});
  EXPECT_EQ(MeshKrit(m), 1000.0);
  // A flat first element hides a worse-shaped (but valid) later one.
  Mesh2d two = OneTriangle({0, 0}, {1, 0}, {2, 0});
  EXPECT_EQ(MeshKrit(two), 1000.0);
  // Below the single-precision threshold 1e-4 of (s-a)(s-b)(s-c).
  EXPECT_EQ(MeshKrit(OneTriangle({0, 0}, {1, 0}, {0.5, 1e-4})), 1000.0);
}

TEST(MeshArea, StraightAndCurvedElements) {
  EXPECT_NEAR(MeshArea(OneTriangle({0, 0}, {4, 0}, {0, 3})), 6.0, 1e-12);
  // Moving the mid-side node of edge 1-2 outwards by 1 bends that edge into
  // a parabola: the element gains the parabolic segment 2/3 * chord * 1.
  Mesh2d m = OneTriangle({0, 0}, {4, 0}, {0, 3});
  m.xy(5) = {2.0, -1.0};
  EXPECT_NEAR(MeshArea(m), 6.0 + 2.0 / 3.0 * 4.0 * 1.0, 1e-12);
  // A reversed (clockwise) element has the same area.
  Mesh2d r = OneTriangle({0, 0}, {0, 3}, {4, 0});
  EXPECT_NEAR(MeshArea(r), 6.0, 1e-12);
}

TEST(OutlineMeasures, DiameterDistanceRangeAndRoundness) {
  const Outline c10 = Arc(5.0, 0.0, 2 * std::numbers::pi, 20, false);
  EXPECT_NEAR(MaxDistance(c10), 10.0, 1e-12);
  EXPECT_NEAR(Roundness(c10), 1.0, 1e-12);
  const Outline c20 = Arc(10.0, 0.0, 2 * std::numbers::pi, 20, false);
  double dmin = 0, dmax = 0;
  DistanceRange(c10, c20, dmin, dmax);
  EXPECT_NEAR(dmin, 5.0, 1e-12);
  EXPECT_NEAR(dmax, 15.0, 1e-12);
  // A 2 by 1 ellipse sampled at its axes.
  const Outline ellipse = OutlineFromPoints({{2, 0}, {0, 1}, {-2, 0}, {0, -1}});
  EXPECT_NEAR(Roundness(ellipse), 0.5, 1e-12);
  Outline none;
  EXPECT_EQ(Roundness(none), -1.0);
  DistanceRange(none, c10, dmin, dmax);
  EXPECT_EQ(dmin, 1e10);
  EXPECT_EQ(dmax, -1e10);
}

TEST(SymmetryCode, AxesAreRecognisedOnlyAlongWholeSegments) {
  // A full circle of 10 points hits (r, 0) and (-r, 0) but runs along no axis.
  Outline circle = Arc(10.0, 0.0, 2 * std::numbers::pi, 10, false);
  EXPECT_EQ(SymmetryCode(circle), 0);

  // Half circle above the x axis, closed by the diameter (one segment from
  // (-r, 0) through the origin to (r, 0)): it lies against the x axis only,
  // although its origin and top points are near the y axis.
  std::vector<Point2> half;
  for (int k = 0; k < 8; ++k) {
    const double a = std::numbers::pi * k / 8.0;
    half.push_back({10 * std::cos(a), 10 * std::sin(a)});
  }
  half.push_back({-10, 0});
  half.push_back({0, 0});
  Outline h = OutlineFromPoints(half);
  EXPECT_EQ(SymmetryCode(h), 1);

  // Quarter: along both axes with one point at the origin.
  Outline q = OutlineFromPoints({{0, 0}, {5, 0}, {10, 0}, {7.07, 7.07}, {0, 10}, {0, 5}});
  EXPECT_EQ(SymmetryCode(q), 3);

  // Half to the right of the y axis, closed along x = 0 (points within 0.05
  // are snapped to x = 0 exactly).
  Outline r = OutlineFromPoints({{0.01, -10}, {10, 0}, {0.02, 10}, {-0.03, 0}});
  EXPECT_EQ(SymmetryCode(r), 2);
  EXPECT_EQ(r.pts(1)[0], 0.0);
  EXPECT_EQ(r.pts(4)[0], 0.0);
  EXPECT_EQ(r.pts(2)[0], 10.0);

  // Along both axes but with two points at the origin: no valid code.
  Outline two = OutlineFromPoints({{0, 0}, {5, 0}, {10, 0}, {5, 5}, {0, 10}, {0, 0.01}});
  EXPECT_EQ(SymmetryCode(two), -1);
}
