#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <tuple>

#include "fem/elements.h"
#include "mesh3d/gen_gr3d.h"
#include "mesh3d/volume_check.h"
#include "support/grid_mesh2d.h"
#include "support/element_tables.h"

namespace {


// Jacobian determinants of wedge e at every integration point.
std::vector<double> WedgeDets(const Mesh3d& m, int e) {
  std::vector<double> dets;
  for (int g = 1; g <= Tables().Wedge15.ngp; ++g) dets.push_back(ElementDetJ(m, Tables().Wedge15, e, g));
  return dets;
}

double MeshVolume(const Mesh3d& m) {
  const ElemType& w = Tables().Wedge15;
  double v = 0;
  for (int e = 1; e <= m.ne; ++e) {
    const auto d = WedgeDets(m, e);
    for (int g = 1; g <= w.ngp; ++g) v += w.w(g) * d[static_cast<std::size_t>(g - 1)];
  }
  return std::fabs(v);
}

// Reference wedge volume of the weights: the tables' weights sum to this
// factor times the element volume.
double WeightScale() {
  const ElemType& w = Tables().Wedge15;
  double s = 0;
  for (int g = 1; g <= w.ngp; ++g) s += w.w(g);
  return 1.0 / (s * 1.0);  // weights of a unit reference prism (area 1/2, height 2) sum to 1
}

// Every geometric point carries exactly one node.
int DuplicatePoints(const Mesh3d& m) {
  std::set<std::tuple<long, long, long>> seen;
  int dup = 0;
  for (int i = 1; i <= m.nh; ++i) {
    auto key = std::make_tuple(std::lround(m.xyz(1, i) * 1e4), std::lround(m.xyz(2, i) * 1e4), std::lround(m.xyz(3, i) * 1e4));
    dup += !seen.insert(key).second;
  }
  return dup;
}

}  // namespace

TEST(ExtrudePiece, CountsNumberingCodesAndNegativeJacobians) {
  const Mesh2d m2 = GridMesh2d(0, 0, 4, 2, 4, 2);
  const int d = 3;
  Mesh3d m;
  ExtrudePiece(m2, d, 10.0, 16.0, m);
  EXPECT_EQ(m.nh, (d + 1) * (m2.nh + m2.np) - m2.np);
  EXPECT_EQ(m.np, (d + 1) * m2.np);
  EXPECT_EQ(m.ne, d * m2.ne);
  EXPECT_EQ(DuplicatePoints(m), 0);
  // Corner nodes first: the six vertex nodes of every wedge are numbered 1..np,
  // the others above np; every node is used.
  std::vector<int> used(static_cast<std::size_t>(m.nh) + 1, 0);
  for (int e = 1; e <= m.ne; ++e)
    for (int a = 1; a <= 15; ++a) {
      const int n = m.nop(a, e);
      ASSERT_GE(n, 1);
      ASSERT_LE(n, m.nh);
      used[static_cast<std::size_t>(n)] = 1;
      if (a <= 6) EXPECT_LE(n, m.np);
      else EXPECT_GT(n, m.np);
    }
  for (int i = 1; i <= m.nh; ++i) EXPECT_TRUE(used[static_cast<std::size_t>(i)]) << i;
  // Wedges of counter-clockwise triangles have negative determinants at every
  // point, and the mesh volume is the prism volume.
  for (int e = 1; e <= m.ne; ++e)
    for (double det : WedgeDets(m, e)) EXPECT_LT(det, 0.0) << "element " << e;
  EXPECT_NEAR(MeshVolume(m) * WeightScale(), 4 * 2 * 6, 1e-9 * 48 + 1e-6);
  // Codes: corners 64/65, end planes are boundary, interior nodes 0/64.
  for (int i = 1; i <= m.nh; ++i) {
    const double x = m.xyz(1, i), y = m.xyz(2, i), z = m.xyz(3, i);
    const bool lateral = x < 1e-9 || x > 4 - 1e-9 || y < 1e-9 || y > 2 - 1e-9;
    const bool end = z < 10.01 || z > 15.99;
    const int b = m.BoundaryConditions(i) % 64;
    EXPECT_EQ(b, (lateral || end) ? 1 : 0) << "node " << i;
    EXPECT_EQ(m.BoundaryConditions(i) >= 64, i <= m.np);
    EXPECT_EQ(m.EndPlane(i), end ? (lateral ? 2 : 1) : 0);
  }
}

TEST(GradePiece, ZeroGradeKeepsZAndAnyGradeKeepsTheEnds) {
  const Mesh2d m2 = GridMesh2d(0, 0, 2, 2, 2, 2);
  Mesh3d a, b;
  ExtrudePiece(m2, 4, 100.0, 160.0, a);
  b = a;
  GradePiece(0.0, b);
  for (int i = 1; i <= a.nh; ++i) EXPECT_NEAR(b.xyz(3, i), a.xyz(3, i), 1e-12);
  GradePiece(0.4, b);
  double zmin = 1e9, zmax = -1e9;
  for (int i = 1; i <= b.nh; ++i) zmin = std::min(zmin, b.xyz(3, i)), zmax = std::max(zmax, b.xyz(3, i));
  EXPECT_DOUBLE_EQ(zmin, 100.0);
  EXPECT_DOUBLE_EQ(zmax, 160.0);
  // Positive r shortens the layers towards zmax; mid-layer nodes sit halfway.
  std::set<double> levels;
  for (int i = 1; i <= b.np; ++i) levels.insert(b.xyz(3, i));
  std::vector<double> z(levels.begin(), levels.end());
  ASSERT_EQ(z.size(), 5u);
  EXPECT_GT(z[1] - z[0], z[4] - z[3]);
  for (int e = 1; e <= b.ne; ++e)
    EXPECT_NEAR(b.xyz(3, b.nop(10, e)), 0.5 * (b.xyz(3, b.nop(1, e)) + b.xyz(3, b.nop(4, e))), 1e-12);
  for (int e = 1; e <= b.ne; ++e)
    for (double det : WedgeDets(b, e)) EXPECT_LT(det, 0.0);
}

TEST(LayersForEndLayer, ShortEndLayerWithinTheLimitAndNeverFolded) {
  // The count's closed-form end layer against the graded mesh it stands for,
  // at the upper end (r > 0, a profile below the outlet) and the lower end
  // (r < 0, the container above the die face).
  const Mesh2d m2 = GridMesh2d(0, 0, 2, 2, 2, 2);
  auto endLayer = [&](int m, double r, std::size_t& planes) {
    Mesh3d a;
    ExtrudePiece(m2, m, 100.0, 192.0, a);
    GradePiece(r, a);
    std::set<double> levels;
    for (int i = 1; i <= a.np; ++i) levels.insert(a.xyz(3, i));
    const std::vector<double> z(levels.begin(), levels.end());
    planes = z.size();
    EXPECT_DOUBLE_EQ(z.front(), 100.0);
    EXPECT_DOUBLE_EQ(z.back(), 192.0);
    return r > 0.0 ? z[z.size() - 1] - z[z.size() - 2] : z[1] - z[0];
  };
  std::size_t planes = 0;
  for (const double r : {0.53, 0.55, 0.6, -0.3, -0.47})
    for (const double limit : {0.0, 1.25, 2.5, 7.5, 50.0, 1e-3}) {
      const int m0 = 3, m = LayersForEndLayer(m0, r, 92.0, limit);
      ASSERT_GE(m, m0);
      ASSERT_LE(m, m0 + kMaxExtraLayers);
      const double end = endLayer(m, r, planes);
      ASSERT_EQ(planes, static_cast<std::size_t>(m + 1)) << "r " << r << " limit " << limit;  // none folded
      EXPECT_GT(end, 0.0);
      if (limit <= 0.0 || limit >= 50.0) {
        EXPECT_EQ(m, m0);  // no wall, or a compact section: the layers stay
      } else if (m > m0 && m < m0 + kMaxExtraLayers && limit > 1.0) {
        // The fewest layers that meet the limit: one fewer would not.
        EXPECT_LE(end, limit + 1e-9) << "r " << r;
        EXPECT_GT(endLayer(m - 1, r, planes), limit) << "r " << r;
      }
    }
}

TEST(JoinMeshes, ProfileUnderBilletSharesOneNodePerPointAndMarksTheJoint) {
  // Profile 2 x 2 below the die plane z = 10, billet 6 x 6 above it; the
  // billet's grid contains the profile's grid nodes.
  const Mesh2d prof = GridMesh2d(0, 0, 2, 2, 2, 2);
  const Mesh2d bill = GridMesh2d(-2, -2, 6, 6, 6, 6);
  Mesh3d A, B, C;
  ExtrudePiece(prof, 2, 0.0, 10.0, A);
  ExtrudePiece(bill, 3, 10.0, 40.0, B);
  JoinMeshes(A, B, C);
  // Matched nodes: the profile's top plane (corner and mid-side nodes).
  const int matched = prof.nh;
  EXPECT_EQ(C.nh, A.nh + B.nh - matched);
  EXPECT_EQ(C.np, A.np + B.np - prof.np);
  EXPECT_EQ(C.ne, A.ne + B.ne);
  EXPECT_EQ(DuplicatePoints(C), 0);
  for (int e = 1; e <= C.ne; ++e)
    for (int a = 1; a <= 6; ++a) EXPECT_LE(C.nop(a, e), C.np);
  int rim = 0, dieFace = 0, corner = 0;
  for (int i = 1; i <= C.nh; ++i) {
    if (std::fabs(C.xyz(3, i) - 10.0) > 1e-9) continue;
    const double x = C.xyz(1, i), y = C.xyz(2, i);
    const bool inProfile = x > -1e-9 && x < 2 + 1e-9 && y > -1e-9 && y < 2 + 1e-9;
    const bool profileEdge = inProfile && (x < 1e-9 || x > 2 - 1e-9 || y < 1e-9 || y > 2 - 1e-9);
    const bool containerEdge = x < -2 + 1e-9 || x > 4 - 1e-9 || y < -2 + 1e-9 || y > 4 - 1e-9;
    if (profileEdge) {
      EXPECT_EQ(C.EndPlane(i), 5) << x << " " << y;  // orifice edge
      EXPECT_EQ(C.BoundaryConditions(i) % 64, 1);
      ++rim;
    } else if (inProfile) {
      EXPECT_EQ(C.EndPlane(i), 0);  // inside the material
      EXPECT_EQ(C.BoundaryConditions(i) % 64, 0);
    } else if (containerEdge) {
      EXPECT_EQ(C.EndPlane(i), 3);  // die face meets the container wall
      ++corner;
    } else {
      EXPECT_EQ(C.EndPlane(i), 4);  // die face
      ++dieFace;
    }
  }
  EXPECT_EQ(rim, 16);
  EXPECT_GT(dieFace, 0);
  EXPECT_EQ(corner, 48);
}

TEST(ReorderElements, MatchesTheDirectBreadthFirstSearchAndVisitsEveryElementOnce) {
  const Mesh2d m2 = GridMesh2d(0, 0, 3, 2, 3, 2);
  Mesh3d m;
  ExtrudePiece(m2, 3, 0.0, 3.0, m);
  const Mesh3d before = m;
  ReorderElements(m);

  // Reference: all-pairs neighbour lists and a full search from every start.
  const int ne = before.ne;
  std::vector<std::vector<int>> nb(static_cast<std::size_t>(ne) + 1);
  for (int a = 1; a <= ne; ++a)
    for (int b = 1; b <= ne; ++b) {
      if (a == b) continue;
      bool share = false;
      for (int p = 1; p <= 6 && !share; ++p)
        for (int q = 1; q <= 6 && !share; ++q) share = before.nop(p, a) == before.nop(q, b);
      if (share) nb[static_cast<std::size_t>(a)].push_back(b);
    }
  auto search = [&](int s, std::vector<int>& order) {
    std::vector<int> seen(static_cast<std::size_t>(ne) + 1, 0);
    order = {s};
    seen[static_cast<std::size_t>(s)] = 1;
    std::size_t lb = 0, le = 1;
    int width = 1;
    while (lb < le) {
      for (std::size_t k = lb; k < le; ++k)
        for (int o : nb[static_cast<std::size_t>(order[k])])
          if (!seen[static_cast<std::size_t>(o)]) seen[static_cast<std::size_t>(o)] = 1, order.push_back(o);
      width = std::max(width, static_cast<int>(order.size() - le));
      lb = le;
      le = order.size();
    }
    return width;
  };
  int best = ne + 1, bestStart = 0;
  std::vector<int> order;
  for (int s = 1; s <= ne; ++s) {
    const int w = search(s, order);
    if (w < best) best = w, bestStart = s;
  }
  search(bestStart, order);
  ASSERT_EQ(static_cast<int>(order.size()), ne);
  std::set<int> distinct(order.begin(), order.end());
  EXPECT_EQ(static_cast<int>(distinct.size()), ne);
  for (int k = 1; k <= ne; ++k)
    for (int a = 1; a <= 15; ++a) ASSERT_EQ(m.nop(a, k), before.nop(a, order[static_cast<std::size_t>(k - 1)]));
}

TEST(SinglePartPieces, LayoutTableAndThermalRefinement) {
  InpDat d;
  d.layout.Z0 = 100;
  d.layout.Z1 = 155;
  d.layout.Z2 = 255;
  d.setup.LenA = 100;
  d.setup.MeshLevel3d = 2;
  d.sections.nPiecesA = 2;
  d.layout.ZoneZ(1) = 152;  // bearing of 3 mm: the part below Z1 is split
  std::vector<Piece3d> flow, heat;
  std::vector<int> of, oh;
  SinglePartPieces(d.setup, d.sections, d.layout, false, flow, of);
  SinglePartPieces(d.setup, d.sections, d.layout, true, heat, oh);
  ASSERT_EQ(flow.size(), 3u);
  EXPECT_EQ(of, (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(flow[0].zStart, 152.0);
  EXPECT_EQ(flow[0].nLayer, 2);
  EXPECT_EQ(flow[1].zEnd, 255.0);   // Z1 + LenFeed (= LenA)
  EXPECT_EQ(flow[1].nLayer, 2);     // f + 1
  EXPECT_EQ(flow[2].nLayer, 3);     // f + 2
  EXPECT_FLOAT_EQ(static_cast<float>(flow[2].grade), 0.55f);
  ASSERT_EQ(heat.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(heat[k].zStart, flow[k].zStart);
    EXPECT_EQ(heat[k].zEnd, flow[k].zEnd);
    EXPECT_GE(heat[k].nLayer, flow[k].nLayer);
  }
  EXPECT_GT(heat[1].nLayer, flow[1].nLayer);
  EXPECT_GT(heat[2].nLayer, flow[2].nLayer);
  EXPECT_DOUBLE_EQ(LenFeedOf(d.setup), 100.0);
  d.setup.Switch3d = 1;
  EXPECT_DOUBLE_EQ(LenFeedOf(d.setup), 10.0);
  d.setup.LenA = 8;
  EXPECT_DOUBLE_EQ(LenFeedOf(d.setup), 4.0);
}

TEST(Gen_gr3d, TwoSectionsGiveOneConnectedMeshWithFields) {
  InpDat d;
  d.layout.Z0 = 100;
  d.layout.Z1 = 110;
  d.layout.Z2 = 140;
  d.setup.LenA = 30;
  d.setup.MeshLevel3d = 1;
  d.sections.nPiecesA = 2;
  d.sections.Pieces2d.assign(2);
  d.sections.Pieces2d(1) = GridMesh2d(0, 0, 2, 2, 2, 2);
  d.sections.Pieces2d(2) = GridMesh2d(-2, -2, 6, 6, 6, 6);
  MeshRecord nodes;
  nodes.kind = 1;
  BuildVolumeMesh(d.setup, d.sections, d.layout, nodes);
  EXPECT_DOUBLE_EQ(d.layout.LenFeed, 30.0);
  EXPECT_EQ(DuplicatePoints(nodes.g), 0);
  EXPECT_NEAR(MeshVolume(nodes.g) * WeightScale(), 4 * 10 + 36 * 30, 1e-6);
  for (int e = 1; e <= nodes.g.ne; ++e) {
    EXPECT_EQ(nodes.g.etype(e), -1);
    for (double det : WedgeDets(nodes.g, e)) ASSERT_LT(det, 0.0);
  }
  ASSERT_EQ(nodes.fld.cols, nodes.g.nh);
  EXPECT_EQ(nodes.fld(kFldT, 1), 20.0f);
  EXPECT_EQ(nodes.fld(kFldVisc, nodes.g.nh), 1.0f);
}

TEST(CheckVolumeMesh, FindsFlippedElementsDuplicatesAndOvercrowdedFaces) {
  const Mesh2d m2 = GridMesh2d(0, 0, 2, 2, 2, 2);
  Mesh3d m;
  ExtrudePiece(m2, 2, 0.0, 4.0, m);
  EXPECT_TRUE(CheckVolumeMesh(m, Tables()).empty());

  // Swapping bottom and top corners of one wedge turns its determinant positive.
  Mesh3d flipped = m;
  for (int a = 1; a <= 3; ++a) std::swap(flipped.nop(a, 5), flipped.nop(a + 3, 5));
  std::swap(flipped.nop(7, 5), flipped.nop(13, 5));
  std::swap(flipped.nop(8, 5), flipped.nop(14, 5));
  std::swap(flipped.nop(9, 5), flipped.nop(15, 5));
  auto f = CheckVolumeMesh(flipped, Tables());
  ASSERT_FALSE(f.empty());
  EXPECT_NE(f[0].find("orientation: element 5"), std::string::npos) << f[0];

  // A node moved onto another one.
  Mesh3d dup = m;
  for (int k = 1; k <= 3; ++k) dup.xyz(k, 2) = dup.xyz(k, 1);
  bool found = false;
  for (const auto& s : CheckVolumeMesh(dup, Tables())) found = found || s.find("duplicate: nodes 1 and 2") != std::string::npos;
  EXPECT_TRUE(found);

  // A copy of element 1 makes its faces belong to two elements, the shared
  // ones to three.
  Mesh3d twice = m;
  twice.ne += 1;
  twice.nop.v.insert(twice.nop.v.end(), m.nop.col(1), m.nop.col(1) + 15);
  twice.nop.cols += 1;
  twice.etype.push_back(-1);
  found = false;
  for (const auto& s : CheckVolumeMesh(twice, Tables())) found = found || s.find("conformity:") != std::string::npos;
  EXPECT_TRUE(found);
}

TEST(CheckVolumeMesh, ElementTypesDecideTheShapeAndMustCoverEveryElement) {
  const Mesh2d m2 = GridMesh2d(0, 0, 2, 2, 2, 2);
  Mesh3d m;
  ExtrudePiece(m2, 2, 0.0, 4.0, m);
  // Every extruded element is a wedge by its type code and fills row 15.
  for (int e = 1; e <= m.ne; ++e) {
    EXPECT_TRUE(IsWedge(m, e));
    EXPECT_NE(m.nop(15, e), 0);
  }
  // A type table shorter than the element list is a count finding, not a
  // read past its end.
  Mesh3d shortTypes = m;
  shortTypes.etype.v.pop_back();
  const auto f = CheckVolumeMesh(shortTypes, Tables());
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(f[0].rfind("counts:", 0), 0u) << f[0];
}
