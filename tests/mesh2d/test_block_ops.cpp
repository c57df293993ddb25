#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "block_fixtures.h"
#include "mesh2d/block_mesh.h"
#include "mesh2d/block_ops.h"
#include "mesh2d/measures.h"
#include "mesh2d/mesh_check.h"

namespace {

using namespace fixtures;

// A block meshed directly from a closed outline (no resampling), the way the
// halves of a split ring are meshed.
Mesh2d MeshDirect(Outline o, int pair) {
  OrientOutline(1, o);
  BlockWork w;
  BuildBlock(o, pair, pair, w);
  FlagMesh(w.blockMesh, o);
  SmoothMesh(w.blockMesh);
  return w.blockMesh;
}

TEST(FlagMesh, ColumnsFlagsAndInterfaceMarks) {
  Outline o = Polygon({{0, 0}, {12, 0}, {12, 6}, {0, 6}}, 3.0);
  OrientOutline(1, o);
  // Points of the side x = 12 form an interface (even mark), the rest boundary.
  for (int i = 1; i <= o.n; ++i) o.mark(i) = o.pts(i)[0] == 12.0 ? 0 : -1;
  BlockWork w;
  BuildBlock(o, 20, 20, w);
  const Mesh2d gen = w.blockMesh;
  Mesh2d m = gen;
  FlagMesh(m, o);
  EXPECT_EQ(m.np, gen.np);
  EXPECT_EQ(m.npe, 6);
  EXPECT_EQ(m.nve, 3);
  for (int e = 1; e <= m.ne; ++e) {
    EXPECT_EQ(m.nop(4, e), gen.nop(6, e));  // node on edge 3-1
    EXPECT_EQ(m.nop(5, e), gen.nop(4, e));  // node on edge 1-2
    EXPECT_EQ(m.nop(6, e), gen.nop(5, e));  // node on edge 2-3
  }
  for (int i = 1; i <= m.nh; ++i) {
    const bool onOutline = gen.mark(i) != 0;
    const int want = i <= m.np ? (onOutline ? 65 : 64) : (onOutline ? 1 : 0);
    EXPECT_EQ(m.flag(i), want) << i;
    if (!onOutline) {
      EXPECT_EQ(m.mark(i), 0);
    } else if (m.xy(i)[0] == 12.0) {
      EXPECT_EQ(m.mark(i), -1) << i;
    } else {
      EXPECT_EQ(m.mark(i), gen.mark(i)) << i;
    }
  }
  EXPECT_TRUE(CheckMesh(m).empty()) << FormatFindings(CheckMesh(m));
}

TEST(FlagOnOutline, StandardLayoutOnlyRaisesFlags) {
  Mesh2d m = MeshDirect(Polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, 2.0), 20);
  // Every flag set to the "inside" value except a few raised ones.
  for (int i = 1; i <= m.nh; ++i) m.flag(i) = i <= m.np ? 64 : 0;
  m.flag(1) = 65;
  const Mesh2d before = m;
  Outline side = Polygon({{0, 0}, {10, 0}, {10, 10}}, 2.0);  // points of two sides only
  FlagOnOutline(0, side, m);
  int raised = 0;
  for (int i = 1; i <= m.nh; ++i) {
    EXPECT_GE(m.flag(i), before.flag(i)) << i;
    bool onPoint = false;
    for (int k = 1; k <= side.n; ++k) onPoint |= std::hypot(m.xy(i)[0] - side.pts(k)[0], m.xy(i)[1] - side.pts(k)[1]) < 1e-3;
    if (onPoint) {
      EXPECT_EQ(m.flag(i), i <= m.np ? 65 : 1) << i;
      ++raised;
    } else {
      EXPECT_EQ(m.flag(i), before.flag(i)) << i;
    }
  }
  EXPECT_GT(raised, 10);
  // The multi-outline layout resets first: node 1 loses its flag unless on the outline.
  Mesh2d r = before;
  Outline none = Polygon({{100, 100}, {101, 100}, {101, 101}}, 5.0);
  FlagOnOutline(3, none, r);
  for (int i = 1; i <= r.nh; ++i) EXPECT_EQ(r.flag(i), i <= r.np ? 64 : 0);
}

TEST(SmoothMesh, MarkedMeshIsUnchanged) {
  Mesh2d m = MeshDirect(Polygon({{0, 0}, {8, 0}, {8, 8}, {0, 8}}, 1000.0), 20);
  for (int i = 1; i <= m.nh; ++i) m.mark(i) = 7;
  const Mesh2d before = m;
  SmoothMesh(m);
  for (int i = 1; i <= m.nh; ++i) EXPECT_EQ(m.xy(i), before.xy(i));
}

TEST(SmoothMesh, MoveOfPointOneEndsAfterOnePass) {
  // 4 x 3 grid, interior nodes 6 and 7; node 6 sits 0.1 left of its
  // neighbour mean, node 7 0.05 right of the grid point.  The first pass moves
  // node 6 by 0.1 (the limit) and node 7 by less: smoothing ends, although a
  // second pass would still move node 6.
  std::vector<Point2> c;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) c.push_back({static_cast<double>(x), static_cast<double>(y)});
  std::vector<std::array<int, 3>> t;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      const int a = y * 4 + x + 1, b = a + 1, d = a + 4, e = d + 1;
      t.push_back({a, b, e});
      t.push_back({a, e, d});
    }
  Mesh2d m = MakeMesh(c, t);
  for (int i = 1; i <= m.nh; ++i) m.mark(i) = 1;
  m.mark(6) = m.mark(7) = 0;
  // Mean of the opposite corners of node 6's elements with the grid as is.
  auto target = [&](int j) {
    Point2 p{0, 0};
    int cnt = 0;
    for (int e = 1; e <= m.ne; ++e)
      for (int k = 1; k <= 3; ++k)
        if (m.nop(k, e) == j)
          for (int l = 1; l <= 3; ++l)
            if (l != k) {
              p[0] += m.xy(m.nop(l, e))[0];
              p[1] += m.xy(m.nop(l, e))[1];
              ++cnt;
            }
    return Point2{p[0] / cnt, p[1] / cnt};
  };
  m.xy(7) = {2.05, 1.0};
  const Point2 t6 = target(6);
  m.xy(6) = {t6[0] - 0.1, t6[1]};
  SmoothMesh(m);
  EXPECT_NEAR(m.xy(6)[0], t6[0], 1e-12);
  EXPECT_NEAR(m.xy(6)[1], t6[1], 1e-12);
  const Point2 again = target(6);
  EXPECT_GT(std::hypot(again[0] - m.xy(6)[0], again[1] - m.xy(6)[1]), 1e-4);  // not yet converged
}

TEST(SmoothMesh, NeverFoldsAnElement) {
  // Dart with a reflex vertex D: the mean of P's neighbours lies outside the
  // region it can see.
  Mesh2d m = MakeMesh({{0, 0}, {10, 5}, {0, 10}, {8, 5}, {9, 5}}, {{1, 2, 5}, {2, 3, 5}, {3, 4, 5}, {4, 1, 5}});
  for (int i = 1; i <= m.nh; ++i) m.mark(i) = i == 5 ? 0 : 1;
  SmoothMesh(m);
  EXPECT_TRUE(CheckMesh(m).empty()) << FormatFindings(CheckMesh(m));
  // Mid-side nodes of edges with a free corner are re-centred.
  for (int e = 1; e <= m.ne; ++e) {
    const Point2 &a = m.xy(m.nop(1, e)), &b = m.xy(m.nop(2, e)), &mid = m.xy(m.nop(5, e));
    EXPECT_NEAR(mid[0], 0.5 * (a[0] + b[0]), 1e-12);
    EXPECT_NEAR(mid[1], 0.5 * (a[1] + b[1]), 1e-12);
  }
}

// Element e of a flagged mesh as the six points QuadJacobianMin takes.
std::array<Point2, 6> ElementNodes(const Mesh2d& m, int e) {
  return {m.xy(m.nop(1, e)), m.xy(m.nop(2, e)), m.xy(m.nop(3, e)),
          m.xy(m.nop(5, e)), m.xy(m.nop(6, e)), m.xy(m.nop(4, e))};
}

// Node of the edge between corners a and b.
int EdgeNode(const Mesh2d& m, int a, int b) {
  for (int e = 1; e <= m.ne; ++e)
    for (int k = 1; k <= 3; ++k) {
      const int p = m.nop(k, e), q = m.nop(k % 3 + 1, e);
      if ((p == a && q == b) || (p == b && q == a)) return m.nop(k == 1 ? 5 : (k == 2 ? 6 : 4), e);
    }
  return 0;
}

// Square block 4 x 4 fanned around one interior corner P; the outline edge
// A-B bulges in through (2, 0.8) and P sits just above the bulge, so the
// curved element (A, B, P) folds.
Mesh2d FoldedFan() {
  Mesh2d m = MakeMesh({{0, 0}, {4, 0}, {4, 4}, {0, 4}, {2, 0.9}}, {{1, 2, 5}, {2, 3, 5}, {3, 4, 5}, {4, 1, 5}});
  for (int i = 1; i <= m.nh; ++i) m.mark(i) = m.flag(i) == 65 || m.flag(i) == 1 ? 1 : 0;
  m.xy(EdgeNode(m, 1, 2)) = {2.0, 0.8};
  return m;
}

TEST(UnfoldCorners, RelocatesAFreeCornerThatACurvedEdgeFolds) {
  Mesh2d m = FoldedFan();
  ASSERT_LE(QuadJacobianMin(ElementNodes(m, 1)), 0.0);
  const Mesh2d before = m;
  EXPECT_EQ(UnfoldCorners(m, /*finalColumns=*/true), 0);
  const auto findings = CheckMesh(m);
  EXPECT_TRUE(findings.empty()) << FormatFindings(findings);
  for (int e = 1; e <= m.ne; ++e) EXPECT_GT(CurvedShape(ElementNodes(m, e)), 0.1) << e;
  // Outline nodes stay; the free corner moved up; inner edges stay straight.
  for (int i = 1; i <= m.nh; ++i) {
    if (m.mark(i) != 0) {
      EXPECT_EQ(m.xy(i), before.xy(i)) << i;
    }
  }
  EXPECT_GT(m.xy(5)[1], 1.5);
  for (int c = 1; c <= 4; ++c) {
    const Point2& mid = m.xy(EdgeNode(m, c, 5));
    EXPECT_NEAR(mid[0], 0.5 * (m.xy(c)[0] + m.xy(5)[0]), 1e-12);
    EXPECT_NEAR(mid[1], 0.5 * (m.xy(c)[1] + m.xy(5)[1]), 1e-12);
  }
  // The generator's column order gives the same placement.
  Mesh2d g = FoldedFan();
  for (int e = 1; e <= g.ne; ++e) {
    const int n4 = g.nop(4, e), n5 = g.nop(5, e), n6 = g.nop(6, e);
    g.nop(4, e) = n5;  // edge 1-2
    g.nop(5, e) = n6;  // edge 2-3
    g.nop(6, e) = n4;  // edge 3-1
  }
  EXPECT_EQ(UnfoldCorners(g, /*finalColumns=*/false), 0);
  EXPECT_NEAR(g.xy(5)[0], m.xy(5)[0], 1e-12);
  EXPECT_NEAR(g.xy(5)[1], m.xy(5)[1], 1e-12);
}

TEST(UnfoldCorners, SwapsTheDiagonalOfAFoldWithoutFreeCorners) {
  // Quadrilateral of outline nodes A B C D; the curved edge A-B folds the
  // triangle (A, B, C) at A.  The diagonal B-D gives two sound elements.
  Mesh2d m = MakeMesh({{0, 0}, {4, 0}, {5, 1}, {1, 3}}, {{1, 2, 3}, {1, 3, 4}});
  for (int i = 1; i <= m.nh; ++i) m.mark(i) = m.flag(i) == 65 || m.flag(i) == 1 ? 1 : 0;
  m.xy(EdgeNode(m, 1, 2)) = {2.0, 0.5};
  ASSERT_LE(QuadJacobianMin(ElementNodes(m, 1)), 0.0);
  const int diagonal = EdgeNode(m, 1, 3);
  EXPECT_EQ(UnfoldCorners(m, /*finalColumns=*/true), 0);
  const auto findings = CheckMesh(m);
  EXPECT_TRUE(findings.empty()) << FormatFindings(findings);
  EXPECT_EQ(EdgeNode(m, 1, 3), 0);
  EXPECT_EQ(EdgeNode(m, 2, 4), diagonal);  // the node of the old diagonal serves the new one
  EXPECT_NEAR(m.xy(diagonal)[0], 2.5, 1e-12);
  EXPECT_NEAR(m.xy(diagonal)[1], 1.5, 1e-12);
  EXPECT_EQ(m.xy(EdgeNode(m, 1, 2)), (Point2{2.0, 0.5}));
}

TEST(SmoothMesh, RepairsAndNeverFoldsCurvedElements) {
  // SmoothMesh receives the folded fan: its smoothing may not fold anything
  // new and its unfolding step leaves every element sound.
  Mesh2d m = FoldedFan();
  SmoothMesh(m);
  const auto findings = CheckMesh(m);
  EXPECT_TRUE(findings.empty()) << FormatFindings(findings);
  // A sound fan whose Laplacian target (2, 2) lies below the tangents of a
  // bulge through (2, 1.2): the node may not go there.
  Mesh2d s = FoldedFan();
  s.xy(EdgeNode(s, 1, 2)) = {2.0, 1.2};
  s.xy(5) = {2.0, 3.0};
  for (int c = 1; c <= 4; ++c) s.xy(EdgeNode(s, c, 5)) = {0.5 * (s.xy(c)[0] + 2.0), 0.5 * (s.xy(c)[1] + 3.0)};
  for (int e = 1; e <= s.ne; ++e) ASSERT_GT(QuadJacobianMin(ElementNodes(s, e)), 0.0) << e;
  SmoothMesh(s);
  const MeshCheckLimits strongBulge{.flags = true, .finalColumns = true, .minShape = 1e-3, .dupRel = 1e-6, .midsideRel = 0.5};
  EXPECT_TRUE(CheckMesh(s, strongBulge).empty()) << FormatFindings(CheckMesh(s, strongBulge));
  EXPECT_GT(s.xy(5)[1], 2.2);
}

TEST(MergeMeshes, EmptyMeshReproducesTheOther) {
  const Mesh2d a = MeshDirect(Polygon({{0, 0}, {6, 0}, {6, 6}, {0, 6}}, 2.0), 20);
  Mesh2d empty;
  empty.flag.clear();
  for (int order = 0; order < 2; ++order) {
    const Mesh2d& x = order == 0 ? a : empty;
    const Mesh2d& y = order == 0 ? empty : a;
    Mesh2d c;
    MergeCount(x, y, c);
    MergeMeshes(x, y, c);
    ASSERT_EQ(c.ne, a.ne);
    ASSERT_EQ(c.nh, a.nh);
    ASSERT_EQ(c.np, a.np);
    for (int i = 1; i <= a.nh; ++i) {
      EXPECT_EQ(c.xy(i), a.xy(i));
      EXPECT_EQ(c.flag(i), a.flag(i));
      EXPECT_EQ(c.mark(i), 0);
    }
    for (int e = 1; e <= a.ne; ++e)
      for (int k = 1; k <= 6; ++k) EXPECT_EQ(c.nop(k, e), a.nop(k, e));
  }
}

TEST(MergeMeshes, TwoTrianglesSharingAnEdge) {
  Mesh2d a = MakeMesh({{0, 0}, {1, 0}, {0, 1}}, {{1, 2, 3}});
  Mesh2d b = MakeMesh({{1, 0}, {1, 1}, {0, 1}}, {{1, 2, 3}});
  // The shared edge is an interface in both.
  for (int i = 1; i <= 6; ++i) a.mark(i) = b.mark(i) = 1;
  a.mark(2) = a.mark(3) = -1;
  a.mark(6) = -1;  // node on edge 2-3
  b.mark(1) = b.mark(3) = -1;
  b.mark(6) = -1;  // node on edge 3-1 of b
  Mesh2d c;
  MergeCount(a, b, c);
  EXPECT_EQ(c.ne, 2);
  EXPECT_EQ(c.np, 4);
  EXPECT_EQ(c.nh, 9);
  MergeMeshes(a, b, c);
  const auto findings = CheckMesh(c);
  // The interface corners lie on the outer boundary of the merged square:
  // only its mid-side node turns interior.
  int interior = 0;
  for (int i = 1; i <= c.nh; ++i) {
    if (c.flag(i) == 0) {
      ++interior;
      EXPECT_NEAR(c.xy(i)[0], 0.5, 1e-15);
      EXPECT_NEAR(c.xy(i)[1], 0.5, 1e-15);
    }
    EXPECT_EQ(c.mark(i), 0);
  }
  EXPECT_EQ(interior, 1);
  // Corner nodes keep the front, mid-side nodes of a are shifted behind them.
  EXPECT_EQ(c.nop(1, 1), 1);
  EXPECT_GT(c.nop(4, 1), c.np);
  EXPECT_EQ(c.nop(2, 2), 4);
  EXPECT_EQ(c.nop(1, 2), 2);
  EXPECT_EQ(c.nop(3, 2), 3);
  EXPECT_EQ(c.nop(4, 2), c.nop(6, 1));  // shared mid-side node
  for (const auto& f : findings) EXPECT_EQ(f.kind, "flag") << f.text;
}

TEST(MergeMeshes, TwoHalvesGiveOneConformingMesh) {
  // Rectangle 20 x 10 cut at x = 10 into two halves with identical cut
  // points; the cut points between its ends carry the interface mark.
  Outline left = Polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, 1.25);
  Outline right = Polygon({{10, 0}, {20, 0}, {20, 10}, {10, 10}}, 1.25);
  for (Outline* o : {&left, &right})
    for (int i = 1; i <= o->n; ++i) {
      const Point2& p = o->pts(i);
      o->mark(i) = (p[0] == 10.0 && p[1] > 0.0 && p[1] < 10.0) ? 0 : -1;
    }
  const Mesh2d a = MeshDirect(left, 24);
  const Mesh2d b = MeshDirect(right, 24);
  Mesh2d c;
  MergeCount(a, b, c);
  MergeMeshes(a, b, c);
  EXPECT_EQ(c.ne, a.ne + b.ne);
  const auto findings = CheckMesh(c);
  EXPECT_TRUE(findings.empty()) << FormatFindings(findings);
  EXPECT_NEAR(MeshArea(c), 200.0, 1e-9 * 200.0);
  int cutNodes = 0;
  for (int i = 1; i <= c.nh; ++i) {
    const Point2& p = c.xy(i);
    if (std::fabs(p[0] - 10.0) < 1e-12) {
      ++cutNodes;
      const bool end = p[1] == 0.0 || p[1] == 10.0;
      if (end) {
        EXPECT_EQ(c.flag(i), 65);
      } else {
        EXPECT_TRUE(c.flag(i) == 64 || c.flag(i) == 0) << "interface node " << i;
      }
    }
  }
  EXPECT_EQ(cutNodes, 17);  // 8 segments of 1.25: 9 corners, 8 mid-side nodes
  EXPECT_LT(MeshKrit(c), 10.0);
}

TEST(MergeMeshes, MidsideNodeOnTheOuterBoundaryKeepsAMidsideFlag) {
  // The first shared boundary pairs include a mid-side node: it is flagged
  // as a boundary mid-side node, never as a corner.
  Mesh2d a = MakeMesh({{0, 0}, {1, 0}, {0, 1}}, {{1, 2, 3}});
  Mesh2d b = MakeMesh({{1, 0}, {1, 1}, {0, 1}}, {{1, 2, 3}});
  for (int i = 1; i <= 6; ++i) a.mark(i) = b.mark(i) = 1;
  a.mark(2) = -1;
  Mesh2d c;
  MergeCount(a, b, c);
  MergeMeshes(a, b, c);
  for (int i = c.np + 1; i <= c.nh; ++i) EXPECT_LE(c.flag(i), 1) << i;
  for (int i = 1; i <= c.np; ++i) EXPECT_GE(c.flag(i), 64) << i;
}

TEST(MergeMeshes, CountsMustComeFromMergeCount) {
  const Mesh2d a = MakeMesh({{0, 0}, {1, 0}, {0, 1}}, {{1, 2, 3}});
  const Mesh2d b = MakeMesh({{1, 0}, {1, 1}, {0, 1}}, {{1, 2, 3}});
  Mesh2d c;
  EXPECT_EXIT(MergeMeshes(a, b, c), ::testing::ExitedWithCode(1), "differ from MergeCount");
}

}  // namespace
