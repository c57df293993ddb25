#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "block_fixtures.h"
#include "mesh2d/mesh_check.h"

namespace {

using namespace fixtures;

// Square of 2 x 2 cells, 8 triangles, sound.
Mesh2d Grid() {
  std::vector<Point2> c;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) c.push_back({static_cast<double>(x), static_cast<double>(y)});
  std::vector<std::array<int, 3>> t;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) {
      const int a = y * 3 + x + 1, b = a + 1, d = a + 3, e = d + 1;
      t.push_back({a, b, e});
      t.push_back({a, e, d});
    }
  return MakeMesh(c, t);
}

bool Has(const std::vector<MeshFinding>& f, const std::string& kind) {
  for (const auto& x : f)
    if (x.kind == kind) return true;
  return false;
}

TEST(CheckMesh, SoundMeshHasNoFinding) {
  const Mesh2d m = Grid();
  const auto f = CheckMesh(m);
  EXPECT_TRUE(f.empty()) << FormatFindings(f);
  EXPECT_TRUE(CheckMesh(Mesh2d{}).empty());
}

TEST(CheckMesh, ClockwiseAndDegenerateElements) {
  Mesh2d m = Grid();
  std::swap(m.nop(2, 1), m.nop(3, 1));  // element 1 clockwise (columns no longer match either)
  auto f = CheckMesh(m);
  ASSERT_TRUE(Has(f, "orientation")) << FormatFindings(f);
  EXPECT_EQ(f.front().elem, 1);

  Mesh2d d = MakeMesh({{0, 0}, {2, 0}, {1, 1e-9}, {1, 1}}, {{1, 2, 3}, {1, 3, 4}, {3, 2, 4}});
  f = CheckMesh(d);
  ASSERT_TRUE(Has(f, "degenerate")) << FormatFindings(f);
}

TEST(CheckMesh, CurvedEdgeFoldingTheElement) {
  Mesh2d m = MakeMesh({{0, 0}, {1, 0}, {0, 1}}, {{1, 2, 3}});
  m.xy(m.nop(5, 1)) = {0.5, 0.2};  // mildly curved edge 1-2: still sound
  EXPECT_FALSE(Has(CheckMesh(m, {.flags = false}), "jacobian"));
  m.xy(m.nop(5, 1)) = {0.5, 0.45};  // bulges across the element
  const auto f = CheckMesh(m, {.flags = false, .finalColumns = true, .minShape = 1e-3, .dupRel = 1e-6, .midsideRel = 1.0});
  ASSERT_TRUE(Has(f, "jacobian")) << FormatFindings(f);
  EXPECT_EQ(f.front().elem, 1);
  EXPECT_LE(f.front().value, 0.0);
}

// det J of the 6-node triangle p (corners, then edges 1-2, 2-3, 3-1) at
// area coordinates (L1, L2), by finite differences of the mapping.
double DetJAt(const std::array<Point2, 6>& p, double L1, double L2) {
  auto map = [&](double a, double b) {
    const double c = 1.0 - a - b;
    const double N[6] = {a * (2 * a - 1), b * (2 * b - 1), c * (2 * c - 1), 4 * a * b, 4 * b * c, 4 * c * a};
    Point2 x{0, 0};
    for (int k = 0; k < 6; ++k) {
      x[0] += N[k] * p[static_cast<std::size_t>(k)][0];
      x[1] += N[k] * p[static_cast<std::size_t>(k)][1];
    }
    return x;
  };
  const double h = 1e-6;
  const Point2 xa = map(L1 + h, L2), xb = map(L1 - h, L2), ya = map(L1, L2 + h), yb = map(L1, L2 - h);
  const double dxdL1 = (xa[0] - xb[0]) / (2 * h), dydL1 = (xa[1] - xb[1]) / (2 * h);
  const double dxdL2 = (ya[0] - yb[0]) / (2 * h), dydL2 = (ya[1] - yb[1]) / (2 * h);
  return dxdL1 * dydL2 - dxdL2 * dydL1;
}

TEST(QuadJacobianMin, ExactMinimumOverTheElement) {
  // Random curved triangles: the minimum is attained (a fine grid never goes
  // below it and comes within its resolution) and it finds folds that the
  // nodes and the centroid do not show.
  std::mt19937 gen(12345);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int foldsBetweenSamples = 0;
  for (int trial = 0; trial < 300; ++trial) {
    std::array<Point2, 6> p;
    p[0] = {0.0, 0.0};
    p[1] = {4.0 + u(gen), 0.5 * u(gen)};
    p[2] = {1.5 + u(gen), 3.0 + u(gen)};
    for (int k = 0; k < 3; ++k) {
      const Point2 &a = p[static_cast<std::size_t>(k)], &b = p[static_cast<std::size_t>((k + 1) % 3)];
      p[static_cast<std::size_t>(3 + k)] = {0.5 * (a[0] + b[0]) + 1.2 * u(gen), 0.5 * (a[1] + b[1]) + 1.2 * u(gen)};
    }
    const double exact = QuadJacobianMin(p);
    double grid = 1e300;
    const int n = 80;
    for (int i = 0; i <= n; ++i)
      for (int j = 0; i + j <= n; ++j) grid = std::min(grid, DetJAt(p, static_cast<double>(i) / n, static_cast<double>(j) / n));
    EXPECT_LE(exact, grid + 1e-6) << trial;
    EXPECT_GE(exact, grid - 0.05) << trial;
    double samples = 1e300;
    for (const auto& q : {std::array<double, 2>{1, 0}, {0, 1}, {0, 0}, {0.5, 0.5}, {0, 0.5}, {0.5, 0}, {1.0 / 3, 1.0 / 3}})
      samples = std::min(samples, DetJAt(p, q[0], q[1]));
    if (exact < 0.0 && samples > 0.0) ++foldsBetweenSamples;
  }
  EXPECT_GT(foldsBetweenSamples, 0);
}

TEST(QuadJacobianMin, StraightAndCurvedShapes) {
  const double h = std::sqrt(3.0);
  std::array<Point2, 6> eq = {Point2{0, 0}, {2, 0}, {1, h}, {1, 0}, {1.5, 0.5 * h}, {0.5, 0.5 * h}};
  EXPECT_NEAR(QuadJacobianMin(eq), 2.0 * h, 1e-12);  // twice the area
  EXPECT_NEAR(CurvedShape(eq), 1.0, 1e-12);
  eq[3] = {1.0, -0.3};  // edge 1-2 bulging outwards widens the corners at its ends
  EXPECT_NEAR(CurvedShape(eq), 1.0, 1e-12);
  eq[3] = {1.0, 0.3};  // bulging inwards narrows them
  EXPECT_GT(CurvedShape(eq), 0.0);
  EXPECT_LT(CurvedShape(eq), 1.0);
  eq[3] = {1.0, 1.0};  // bulging in past the sides at its ends: folded
  EXPECT_LE(QuadJacobianMin(eq), 0.0);
  EXPECT_LE(CurvedShape(eq), 0.0);
}

TEST(CheckMesh, NonConformingEdges) {
  // T-junction: node 5 halfway along the edge 1-2 of element 1.
  Mesh2d t = MakeMesh({{0, 0}, {2, 0}, {1, 2}, {1, -1}, {1, 0}}, {{1, 2, 3}, {1, 4, 5}, {5, 4, 2}});
  auto f = CheckMesh(t, {.flags = false});
  EXPECT_TRUE(Has(f, "conformity")) << FormatFindings(f);
  // An edge used by three elements.
  Mesh2d three = MakeMesh({{0, 0}, {1, 0}, {0.5, 1}, {0.5, -1}, {0.5, 2}},
                          {{1, 2, 3}, {2, 1, 4}, {1, 2, 5}});
  f = CheckMesh(three, {.flags = false});
  EXPECT_TRUE(Has(f, "conformity")) << FormatFindings(f);
}

TEST(CheckMesh, MidsideNodesAndDuplicates) {
  Mesh2d m = Grid();
  // Element 2 gets its own node on the edge it shares with element 1.
  const int shared = m.nop(4, 1);  // edge 3-1 of element 1 = edge 1-2 of element 2
  ASSERT_EQ(m.nop(5, 2), shared);
  m.nh += 1;
  m.xy.push_back(m.xy(shared));
  m.flag.push_back(0);
  m.mark.push_back(0);
  m.nop(5, 2) = m.nh;
  const auto f = CheckMesh(m);
  EXPECT_TRUE(Has(f, "midside")) << FormatFindings(f);
  EXPECT_TRUE(Has(f, "duplicate")) << FormatFindings(f);

  Mesh2d far = Grid();
  far.xy(far.nop(5, 1)) = {0.5, 0.6};  // far off its chord 1-2
  EXPECT_TRUE(Has(CheckMesh(far), "midside"));
}

TEST(CheckMesh, CornerNodesFirstAndFlags) {
  Mesh2d m = Grid();
  m.np -= 1;  // the last corner node now counts as mid-side
  auto f = CheckMesh(m, {.flags = false});
  EXPECT_TRUE(Has(f, "numbering")) << FormatFindings(f);

  Mesh2d g = Grid();
  g.flag(5) = 65;  // the centre node claims to be on the boundary
  f = CheckMesh(g);
  ASSERT_TRUE(Has(f, "flag"));
  EXPECT_EQ(f.front().node, 5);
  EXPECT_EQ(f.front().value, 65.0);
  Mesh2d h = Grid();
  h.flag(h.nop(5, 1)) = 0;  // boundary mid-side node flagged inside
  EXPECT_TRUE(Has(CheckMesh(h), "flag"));
  EXPECT_NE(FormatFindings(CheckMesh(h)).find("expected 1"), std::string::npos);
}

}  // namespace
