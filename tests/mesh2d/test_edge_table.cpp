#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <utility>

#include "mesh2d/edge_table.h"
#include "support/grid_mesh2d.h"

TEST(SortedEdges, GridMeshHasEulerEdgeCountAndOneOrTwoUsesPerEdge) {
  for (const auto& [nx, ny] : {std::pair{1, 1}, std::pair{3, 2}, std::pair{5, 7}}) {
    const Mesh2d m = GridMesh2d(0.0, 0.0, 3.0, 2.0, nx, ny);
    const auto uses = SortedEdges(m);
    ASSERT_EQ(uses.size(), static_cast<std::size_t>(3 * m.ne));
    // Sorted by (lo, hi, e, k), each use naming its element's corners.
    for (std::size_t i = 0; i < uses.size(); ++i) {
      const EdgeUse& u = uses[i];
      const int a = m.nop(u.k, u.e), b = m.nop(u.k % 3 + 1, u.e);
      EXPECT_EQ(u.lo, std::min(a, b));
      EXPECT_EQ(u.hi, std::max(a, b));
      if (i > 0) {
        const EdgeUse& p = uses[i - 1];
        EXPECT_TRUE(std::tie(p.lo, p.hi, p.e, p.k) < std::tie(u.lo, u.hi, u.e, u.k));
      }
    }
    // A disk: corners - edges + elements = 1; boundary edges are the
    // perimeter 2 (nx + ny), every other edge has two uses.
    int edges = 0, boundary = 0;
    for (std::size_t i = 0; i < uses.size();) {
      const std::size_t j = EdgeRunEnd(uses, i);
      ASSERT_TRUE(j - i == 1 || j - i == 2) << "edge " << uses[i].lo << "-" << uses[i].hi;
      if (j - i == 2) {
        EXPECT_NE(uses[i].e, uses[i + 1].e);
      }
      ++edges;
      boundary += j - i == 1 ? 1 : 0;
      i = j;
    }
    EXPECT_EQ(m.np - edges + m.ne, 1);
    EXPECT_EQ(boundary, 2 * (nx + ny));
  }
}

TEST(SortedEdges, EmptyMeshAndRepeatedElement) {
  EXPECT_TRUE(SortedEdges(Mesh2d{}).empty());
  // The same triangle twice: every edge has two uses, ordered by element.
  Mesh2d m = GridMesh2d(0.0, 0.0, 1.0, 1.0, 1, 1);
  m.ne = 1;
  for (int a = 1; a <= 6; ++a) m.nop(a, 2) = m.nop(a, 1);
  m.ne = 2;
  const auto uses = SortedEdges(m);
  ASSERT_EQ(uses.size(), 6u);
  for (std::size_t i = 0; i < uses.size(); i += 2) {
    EXPECT_EQ(EdgeRunEnd(uses, i), i + 2);
    EXPECT_EQ(uses[i].e, 1);
    EXPECT_EQ(uses[i + 1].e, 2);
    EXPECT_EQ(uses[i].k, uses[i + 1].k);
  }
}
