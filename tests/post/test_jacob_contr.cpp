// Volume control: element volumes through the Jacobian (exactness,
// orientation sign, swapped elements, tetrahedra) and the relative volume
// deviation of whole meshes against the axial layout.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "fem/elements.h"
#include "output/extruded_mesh.h"
#include "post/jacob_contr.h"
#include "support/element_tables.h"

namespace {


// Local coordinates (L1, L2, third coordinate) of the nodes: for the wedge
// the third is zeta, for the tetrahedron L3.
std::vector<std::array<double, 3>> WedgeRefNodes() {
  std::vector<std::array<double, 3>> p(15);
  const double c[3][2] = {{1, 0}, {0, 1}, {0, 0}};
  for (int k = 0; k < 3; ++k) {
    p[k] = {c[k][0], c[k][1], -1};
    p[k + 3] = {c[k][0], c[k][1], 1};
    p[k + 9] = {c[k][0], c[k][1], 0};
  }
  for (int e = 0; e < 3; ++e) {
    const int a = kWedgeEdge[e][0] - 1, b = kWedgeEdge[e][1] - 1;
    p[6 + e] = {0.5 * (c[a][0] + c[b][0]), 0.5 * (c[a][1] + c[b][1]), -1};
    p[12 + e] = {p[6 + e][0], p[6 + e][1], 1};
  }
  return p;
}

std::vector<std::array<double, 3>> TetRefNodes() {
  std::vector<std::array<double, 3>> p(10);
  const double c[4][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}};
  for (int k = 0; k < 4; ++k) p[k] = {c[k][0], c[k][1], c[k][2]};
  for (int e = 0; e < 6; ++e) {
    const int a = kTetEdge[e][0] - 1, b = kTetEdge[e][1] - 1;
    for (int i = 0; i < 3; ++i) p[4 + e][i] = 0.5 * (c[a][i] + c[b][i]);
  }
  return p;
}

double Det3(const double A[3][3]) {
  return A[0][0] * (A[1][1] * A[2][2] - A[1][2] * A[2][1]) - A[0][1] * (A[1][0] * A[2][2] - A[1][2] * A[2][0]) +
         A[0][2] * (A[1][0] * A[2][1] - A[1][1] * A[2][0]);
}

// Node coordinates of an element after the affine map x = A r + b.
void MapNodes(const std::vector<std::array<double, 3>>& ref, const double A[3][3], const double b[3],
              double xyz[][3]) {
  for (std::size_t n = 0; n < ref.size(); ++n)
    for (int i = 0; i < 3; ++i)
      xyz[n][i] = b[i] + A[i][0] * ref[n][0] + A[i][1] * ref[n][1] + A[i][2] * ref[n][2];
}

// Appends the elements and nodes of `part` to `into` (geometry only).
void AppendMesh(MeshRecord& into, const MeshRecord& part) {
  Mesh3d& g = into.g;
  const Mesh3d& p = part.g;
  Mat1<double> xyz(3, g.nh + p.nh);
  Mat1<int32_t> nop(15, g.ne + p.ne, 0);
  Vec1<int32_t> etype(g.ne + p.ne);
  for (int i = 1; i <= g.nh; ++i)
    for (int c = 1; c <= 3; ++c) xyz(c, i) = g.xyz(c, i);
  for (int i = 1; i <= p.nh; ++i)
    for (int c = 1; c <= 3; ++c) xyz(c, g.nh + i) = p.xyz(c, i);
  for (int e = 1; e <= g.ne; ++e) {
    etype(e) = g.etype(e);
    for (int a = 1; a <= 15; ++a) nop(a, e) = g.nop(a, e);
  }
  for (int e = 1; e <= p.ne; ++e) {
    etype(g.ne + e) = p.etype(e);
    for (int a = 1; a <= 15; ++a) nop(a, g.ne + e) = p.nop(a, e) == 0 ? 0 : p.nop(a, e) + g.nh;
  }
  g.xyz = std::move(xyz);
  g.nop = std::move(nop);
  g.etype = std::move(etype);
  g.nh += p.nh;
  g.ne += p.ne;
  g.npe = 15;
}

void Gather(const MeshRecord& m, int e, int nn, double xyz[][3]) {
  for (int a = 1; a <= nn; ++a)
    for (int i = 1; i <= 3; ++i) xyz[a - 1][i - 1] = m.g.xyz(i, std::abs(m.g.nop(a, e)));
}

InpDat Layout(double z0, double z1, double z2, double z3, double a1, double a2, double a3) {
  InpDat inp;
  inp.layout.Z0 = z0;
  inp.layout.Z1 = z1;
  inp.layout.Z2 = z2;
  inp.layout.Z3 = z3;
  inp.sections.Area2d(1) = a1;
  inp.sections.Area2d(2) = a2;
  inp.sections.Area2d(3) = a3;
  return inp;
}

TEST(ElementVolume, AffineWedgesAndTetrahedraAreExact) {
  const auto& tab = Tables();
  const auto wref = WedgeRefNodes();
  const auto tref = TetRefNodes();
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int trial = 0; trial < 50; ++trial) {
    double A[3][3], b[3];
    for (int i = 0; i < 3; ++i) {
      b[i] = 100.0 * u(rng);
      for (int j = 0; j < 3; ++j) A[i][j] = (i == j ? 3.0 : 0.0) + u(rng);
    }
    const double detA = Det3(A);
    double xw[15][3], xt[10][3];
    MapNodes(wref, A, b, xw);
    MapNodes(tref, A, b, xt);
    // Reference volumes: wedge 1/2 * 2 = 1 (its weights are scaled to sum
    // 1), tetrahedron 1/6 (its stored weights reach 1/6 within 3e-8).
    EXPECT_NEAR(ElementVolume(tab.Wedge15, xw), std::abs(detA), 1e-12 * std::abs(detA));
    EXPECT_NEAR(ElementVolume(tab.Tet10, xt), std::abs(detA) / 6.0, 5e-8 * std::abs(detA));
    for (int ip = 1; ip <= tab.Wedge15.ngp; ++ip) EXPECT_NEAR(JacobianDet(tab.Wedge15, ip, xw), detA, 1e-9 * std::abs(detA));
    for (int ip = 1; ip <= tab.Tet10.ngp; ++ip) EXPECT_NEAR(JacobianDet(tab.Tet10, ip, xt), detA, 1e-9 * std::abs(detA));
  }
}

TEST(ElementVolume, CurvedEdgeAddsParabolicSegment) {
  // A straight prism over a triangle whose edge A-B bows out by delta at its
  // mid-node: area = triangle + 2/3 * |AB| * delta, exactly integrated.
  const auto& tab = Tables();
  Section6 s;
  s.nv = 3;
  s.xy = {{0, 0}, {8, 0}, {0, 6}, {0, 3}, {4, -1.5}, {4, 3}};
  s.tri.push_back({1, 2, 3, 4, 5, 6});
  MeshRecord m;
  ExtrudeSection(s, {10.0, 12.5}, m);
  double xyz[15][3];
  Gather(m, 1, 15, xyz);
  const double area = 0.5 * 8 * 6 + 2.0 / 3.0 * 8 * 1.5;
  EXPECT_NEAR(ElementVolume(tab.Wedge15, xyz), area * 2.5, 1e-7 * area * 2.5);
}

TEST(ElementVolume, OrientationSignAndSwappedTopBottom) {
  // The mesher's corner order B, A, C over a counter-clockwise triangle gives
  // a negative determinant at every point; exchanging the top and bottom
  // triangles flips it, and the volume stays the same.
  const auto& tab = Tables();
  Section6 s;
  s.nv = 3;
  s.xy = {{1, 1}, {9, 2}, {3, 7}, {2, 4}, {5, 1.5}, {6, 4.5}};
  s.tri.push_back({1, 2, 3, 4, 5, 6});
  MeshRecord m;
  ExtrudeSection(s, {0.0, 4.0}, m);
  MeshRecord swapped = m;
  const int swap[6][2] = {{1, 4}, {2, 5}, {3, 6}, {7, 13}, {8, 14}, {9, 15}};
  for (const auto& p : swap) std::swap(swapped.g.nop(p[0], 1), swapped.g.nop(p[1], 1));
  double xm[15][3], xs[15][3];
  Gather(m, 1, 15, xm);
  Gather(swapped, 1, 15, xs);
  for (int ip = 1; ip <= tab.Wedge15.ngp; ++ip) {
    EXPECT_LT(JacobianDet(tab.Wedge15, ip, xm), 0.0) << ip;
    EXPECT_GT(JacobianDet(tab.Wedge15, ip, xs), 0.0) << ip;
  }
  const double v = 0.5 * std::abs((9 - 1) * (7 - 1) - (3 - 1) * (2 - 1)) * 4.0;
  EXPECT_NEAR(ElementVolume(tab.Wedge15, xm), v, 1e-9 * v);
  EXPECT_NEAR(ElementVolume(tab.Wedge15, xs), v, 1e-9 * v);

  InpDat a = Layout(0, 4, 4, 0, v / 4.0, 0, 0), b = a;
  Jacob_contr(m, tab.Wedge15, tab.Tet10, a.sections, a.layout, a.results);
  Jacob_contr(swapped, tab.Wedge15, tab.Tet10, b.sections, b.layout, b.results);
  EXPECT_NEAR(a.results.dV, 0.0, 1e-9);
  EXPECT_NEAR(b.results.dV, 0.0, 1e-9);
}

TEST(JacobContr, MeshFillingThreeZones) {
  // Zone 1: 20 x 10 rectangle over Z0..Z1 in graded layers; zone 2: a
  // rectangle with one bowed edge over Z1..Z2; zone 3: a small rectangle
  // over Z2..Z3.  One element is stored with the solver's negative marks.
  const auto& tab = Tables();
  MeshRecord m, z2, z3;
  ExtrudeSection(RectangleSection(0, 20, 0, 10), {100.0, 112.0, 121.0, 127.0, 130.0}, m);
  Section6 s2 = RectangleSection(2, 12, 1, 6);
  s2.xy[4][1] -= 0.75;  // mid-node of the bottom edge (length 10)
  ExtrudeSection(s2, {130.0, 134.0, 140.0}, z2);
  ExtrudeSection(RectangleSection(3, 8, 2, 4), {140.0, 142.0, 145.0}, z3);
  AppendMesh(m, z2);
  AppendMesh(m, z3);
  for (int a = 1; a <= 15; ++a) m.g.nop(a, 3) = -m.g.nop(a, 3);
  const double area2 = 50.0 + 2.0 / 3.0 * 10.0 * 0.75;
  InpDat inp = Layout(100, 130, 140, 145, 200.0, area2, 10.0);
  inp.results.dV = 7.0;
  Jacob_contr(m, tab.Wedge15, tab.Tet10, inp.sections, inp.layout, inp.results);
  EXPECT_NEAR(inp.results.dV, 0.0, 1e-8);

  // A zone that falls 1 mm short shows up as its share of the volume.
  InpDat longer = Layout(100, 130, 140, 146, 200.0, area2, 10.0);
  Jacob_contr(m, tab.Wedge15, tab.Tet10, longer.sections, longer.layout, longer.results);
  const double vref = 30 * 200.0 + 10 * area2 + 6 * 10.0;
  EXPECT_NEAR(longer.results.dV, -10.0 / vref, 1e-8);
}

TEST(JacobContr, TwoSectionLayoutIgnoresThirdZone) {
  // With two cross-section meshes Area2d(3) is 0 and Z3 stays 0.
  const auto& tab = Tables();
  MeshRecord m, z2;
  ExtrudeSection(RectangleSection(0, 4, 0, 5), {100.0, 103.0, 110.0}, m);
  ExtrudeSection(RectangleSection(1, 3, 1, 3), {110.0, 113.0}, z2);
  AppendMesh(m, z2);
  InpDat inp = Layout(100, 110, 113, 0, 20.0, 4.0, 0.0);
  Jacob_contr(m, tab.Wedge15, tab.Tet10, inp.sections, inp.layout, inp.results);
  EXPECT_NEAR(inp.results.dV, 0.0, 1e-9);
}

TEST(JacobContr, ElementTypeFromBitZero) {
  // etype -1 and 1: wedge; 0 and 2: tetrahedron (connectivity rows 11..15
  // unused).  Both tetrahedra are the corner tetrahedron of a 2 x 3 x 4 box.
  const auto& tab = Tables();
  MeshRecord m;
  ExtrudeSection(RectangleSection(0, 2, 0, 3), {0.0, 4.0}, m);  // two wedges, volume 24
  m.g.etype(2) = 1;
  const auto tref = TetRefNodes();
  for (int t = 0; t < 2; ++t) {
    MeshRecord tet;
    tet.g.nh = 10;
    tet.g.ne = 1;
    tet.g.xyz.assign(3, 10, 0.0);
    tet.g.nop.assign(15, 1, 0);
    tet.g.etype.assign(1, t == 0 ? 0 : 2);
    const double A[3][3] = {{2, 0, 0}, {0, 3, 0}, {0, 0, 4}}, b[3] = {10, 0, 0};
    double x[10][3];
    MapNodes(tref, A, b, x);
    for (int n = 1; n <= 10; ++n) {
      tet.g.nop(n, 1) = n;
      for (int i = 1; i <= 3; ++i) tet.g.xyz(i, n) = x[n - 1][i - 1];
    }
    AppendMesh(m, tet);
  }
  // Vref = 24 + 2 * 4: the whole mesh volume (tetrahedron weights good to 3e-8).
  InpDat inp = Layout(0, 1, 2, 0, 24.0, 8.0, 0.0);
  Jacob_contr(m, tab.Wedge15, tab.Tet10, inp.sections, inp.layout, inp.results);
  EXPECT_NEAR(inp.results.dV, 0.0, 5e-8);
}

TEST(JacobContr, DegenerateInputs) {
  const auto& tab = Tables();
  MeshRecord empty;
  InpDat inp = Layout(100, 130, 140, 0, 200.0, 50.0, 0.0);
  Jacob_contr(empty, tab.Wedge15, tab.Tet10, inp.sections, inp.layout, inp.results);
  EXPECT_EQ(inp.results.dV, -1.0);

  // A layout of zero volume leaves a non-finite deviation for the report.
  MeshRecord m;
  ExtrudeSection(RectangleSection(0, 1, 0, 1), {0.0, 1.0}, m);
  InpDat none;
  Jacob_contr(m, tab.Wedge15, tab.Tet10, none.sections, none.layout, none.results);
  EXPECT_FALSE(std::isfinite(none.results.dV));
}

}  // namespace
