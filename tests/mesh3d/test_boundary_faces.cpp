// Boundary faces of single elements: face detection, surface measures
// against independently integrated face areas, outward orthonormal frames,
// the near-point rule and the fatal stops of the frame routines.

#include <gtest/gtest.h>

#include <cmath>

#include "test_boundary_fixtures.h"

namespace {

LocalPoint NodeLocal(bool wedge, int k) {
  LocalPoint p{};
  if (wedge) {
    p[static_cast<std::size_t>((k - 1) % 3)] = 1.0;
    p[3] = k <= 3 ? -1.0 : 1.0;
  } else {
    p[static_cast<std::size_t>(k - 1)] = 1.0;
  }
  return p;
}

Vec3 Map(const Mesh3d& g, bool wedge, const LocalPoint& p) {
  double N[15], d1[15], d2[15], d3[15];
  if (wedge) ShapeWedge15At(p, N, d1, d2, d3);
  else ShapeTet10At(p, N, d1, d2, d3);
  Vec3 x{};
  for (int k = 0; k < (wedge ? 15 : 10); ++k)
    for (int j = 0; j < 3; ++j) x[static_cast<std::size_t>(j)] += N[k] * g.xyz(j + 1, k + 1);
  return x;
}

LocalPoint Lerp(const LocalPoint& a, const LocalPoint& b, double t) {
  LocalPoint r{};
  for (int j = 0; j < 4; ++j) r[static_cast<std::size_t>(j)] = a[static_cast<std::size_t>(j)] + t * (b[static_cast<std::size_t>(j)] - a[static_cast<std::size_t>(j)]);
  return r;
}

Vec3 CrossV(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double DotV(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Area of local face f of the single element, integrated on its own
// parametrisation (corners of the face in local coordinates, bilinear on a
// quadrilateral, linear on a triangle) with finite-difference tangents and a
// fine midpoint rule.
double TrueFaceArea(const Mesh3d& g, bool wedge, int f) {
  const int* fn = wedge ? kWedgeFaceNodes[f - 1] : kTetFaceNodes[f - 1];
  const bool quad = wedge && f >= 3;
  LocalPoint c[4];
  for (int k = 0; k < (quad ? 4 : 3); ++k) c[k] = NodeLocal(wedge, fn[k]);
  auto at = [&](double s, double t) {
    if (quad) return Lerp(Lerp(c[0], c[1], s), Lerp(c[3], c[2], s), t);
    // Collapsed square: (s, t) -> corner 0 + s (c1 - c0) + s t (c2 - c1).
    return Lerp(c[0], Lerp(c[1], c[2], t), s);
  };
  const int n = 100;
  const double h = 1e-6;
  double area = 0.0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const double s = (i + 0.5) / n, t = (j + 0.5) / n;
      const Vec3 xs1 = Map(g, wedge, at(s + h, t)), xs0 = Map(g, wedge, at(s - h, t));
      const Vec3 xt1 = Map(g, wedge, at(s, t + h)), xt0 = Map(g, wedge, at(s, t - h));
      Vec3 us, ut;
      for (int k = 0; k < 3; ++k) {
        us[static_cast<std::size_t>(k)] = (xs1[static_cast<std::size_t>(k)] - xs0[static_cast<std::size_t>(k)]) / (2 * h);
        ut[static_cast<std::size_t>(k)] = (xt1[static_cast<std::size_t>(k)] - xt0[static_cast<std::size_t>(k)]) / (2 * h);
      }
      const Vec3 w = CrossV(us, ut);
      area += std::sqrt(DotV(w, w)) / (n * n);
    }
  return area;
}

// Wedge over the triangle (A, B, C) in the plane z = 0 up to z = 3, with a
// smooth non-affine distortion of strength eps; `mirrored` swaps A and B.
Mesh3d DistortedWedge(double eps, bool mirrored) {
  Vec3 A{0.0, 0.0, 0.0}, B{2.0, 0.3, 0.0}, C{0.4, 1.7, 0.0};
  if (mirrored) std::swap(A, B);
  std::vector<Vec3> x(15);
  auto X = [&](const LocalPoint& p) {
    const double L1 = p[0], L2 = p[1], L3 = p[2], z = p[3];
    Vec3 r{};
    for (int j = 0; j < 3; ++j) r[static_cast<std::size_t>(j)] = L1 * A[static_cast<std::size_t>(j)] + L2 * B[static_cast<std::size_t>(j)] + L3 * C[static_cast<std::size_t>(j)];
    r[0] += 0.2 * z + eps * (L1 * L2 + 0.5 * z * z);
    r[1] += eps * (L2 * z - 0.7 * L1 * L3);
    r[2] += 1.5 * (z + 1.0) + 0.3 * L1 + eps * (L2 * L3 + 0.4 * L1 * z);
    return r;
  };
  for (int k = 1; k <= 6; ++k) x[static_cast<std::size_t>(k - 1)] = X(NodeLocal(true, k));
  for (int k = 0; k < 9; ++k) {
    const int a = kWedgeEdge[k][0], b = kWedgeEdge[k][1];
    x[static_cast<std::size_t>(6 + k)] = X(Lerp(NodeLocal(true, a), NodeLocal(true, b), 0.5));
  }
  return SingleElement(x, true);
}

Mesh3d DistortedTet(double eps) {
  const Vec3 V[4] = {{0, 0, 0}, {2.0, 0.2, 0.1}, {0.3, 1.8, -0.2}, {0.5, 0.4, 1.6}};
  std::vector<Vec3> x(10);
  auto X = [&](const LocalPoint& p) {
    Vec3 r{};
    for (int v = 0; v < 4; ++v)
      for (int j = 0; j < 3; ++j) r[static_cast<std::size_t>(j)] += p[static_cast<std::size_t>(v)] * V[v][static_cast<std::size_t>(j)];
    r[0] += eps * p[0] * p[1];
    r[1] += eps * p[2] * p[3];
    r[2] -= eps * p[1] * p[3];
    return r;
  };
  for (int k = 1; k <= 4; ++k) x[static_cast<std::size_t>(k - 1)] = X(NodeLocal(false, k));
  for (int k = 0; k < 6; ++k)
    x[static_cast<std::size_t>(4 + k)] = X(Lerp(NodeLocal(false, kTetEdge[k][0]), NodeLocal(false, kTetEdge[k][1]), 0.5));
  return SingleElement(x, false);
}

// Upright prism over the triangle (B, A, C) from z = 0 to 2, straight edges
// (the extruded mesh's corner order, negative Jacobian).
Mesh3d UprightWedge() {
  const Vec3 A{0.0, 0.0, 0.0}, B{2.0, 0.3, 0.0}, C{0.4, 1.7, 0.0};
  const Vec3 base[3] = {B, A, C};
  std::vector<Vec3> x(15);
  for (int k = 0; k < 6; ++k) {
    x[static_cast<std::size_t>(k)] = base[k % 3];
    x[static_cast<std::size_t>(k)][2] = k < 3 ? 0.0 : 2.0;
  }
  StraightMidNodes(x, true);
  return SingleElement(x, true);
}

MeshRecord Prepared(const Mesh3d& g) {
  MeshRecord m;
  m.g = g;
  FindBoundaryFaces(m, Tables());
  FaceJacobian(m, Tables());
  Cos_N_ALL(m, Tables());
  return m;
}

// Surface integrals and frames of every face of a single element.
void CheckElement(const Mesh3d& g, bool wedge, double relTol) {
  const MeshRecord m = Prepared(g);
  const int nf = wedge ? 5 : 4;
  ASSERT_EQ(m.faces.size(), nf);
  Vec3 centre{};
  for (int k = 1; k <= g.np; ++k)
    for (int j = 0; j < 3; ++j) centre[static_cast<std::size_t>(j)] += g.xyz(j + 1, k) / g.np;
  for (int f = 1; f <= nf; ++f) {
    const BndFace& bf = m.faces(f);
    ASSERT_EQ(bf.local, f);
    const FaceRule& r = wedge ? Tables().Wedge15Faces(f) : Tables().Tet10Faces(f);
    double sumWJ = 0.0, sumFactor = 0.0;
    for (int p = 1; p <= bf.npt; ++p) {
      sumWJ += r.w(p) * bf.v(kBfJac, p);
      sumFactor += bf.v(kBfWJ, p);
      const Vec3 n{bf.v(kBfN, p), bf.v(kBfN + 1, p), bf.v(kBfN + 2, p)};
      const Vec3 t1{bf.v(kBfT1, p), bf.v(kBfT1 + 1, p), bf.v(kBfT1 + 2, p)};
      const Vec3 t2{bf.v(kBfT2, p), bf.v(kBfT2 + 1, p), bf.v(kBfT2 + 2, p)};
      EXPECT_NEAR(DotV(n, n), 1.0, 1e-6);
      EXPECT_NEAR(DotV(t1, t1), 1.0, 1e-6);
      EXPECT_NEAR(DotV(t2, t2), 1.0, 1e-6);
      EXPECT_NEAR(DotV(t1, t2), 0.0, 1e-4);
      const Vec3 c = CrossV(t1, t2);
      for (int j = 0; j < 3; ++j) EXPECT_NEAR(c[static_cast<std::size_t>(j)], n[static_cast<std::size_t>(j)], 2e-4) << "face " << f;
      // Outward: away from the element's centre.
      const Vec3 xp = Map(g, wedge, r.gp(p));
      const Vec3 out{xp[0] - centre[0], xp[1] - centre[1], xp[2] - centre[2]};
      EXPECT_GT(DotV(n, out), 0.0) << "face " << f << " point " << p;
    }
    EXPECT_NEAR(sumFactor, sumWJ, 1e-5 * sumWJ);
    const double area = TrueFaceArea(g, wedge, f);
    EXPECT_NEAR(sumWJ, area, relTol * area) << (wedge ? "wedge" : "tet") << " face " << f;
  }
}

}  // namespace

TEST(FaceJacobian, SurfaceIntegralsGiveTrueFaceAreasOfDistortedWedgesOfBothOrientations) {
  for (bool mirrored : {false, true}) {
    SCOPED_TRACE(mirrored ? "negative Jacobian" : "positive Jacobian");
    // Straight-sided (affine faces): the rules are exact.
    std::vector<Vec3> x(15);
    const Mesh3d curved = DistortedWedge(0.0, mirrored);
    for (int k = 1; k <= 15; ++k) x[static_cast<std::size_t>(k - 1)] = {curved.xyz(1, k), curved.xyz(2, k), curved.xyz(3, k)};
    StraightMidNodes(x, true);
    CheckElement(SingleElement(x, true), true, 2e-5);
    // Curved faces: the 7- and 9-point rules integrate the measure closely.
    CheckElement(DistortedWedge(0.25, mirrored), true, 2e-3);
  }
}

TEST(FaceJacobian, SurfaceIntegralsGiveTrueFaceAreasOfATetrahedron) {
  CheckElement(DistortedTet(0.0), false, 2e-5);
  CheckElement(DistortedTet(0.2), false, 2e-3);
}

TEST(FindBoundaryFaces, FaceCountFollowsTheBoundaryNodesOfTheFace) {
  Mesh3d g = UprightWedge();
  MeshRecord m = Prepared(g);
  EXPECT_EQ(m.edata(1).fl.nf, 5);
  EXPECT_EQ(m.bnd.size(), 15);
  for (int f = 1; f <= 5; ++f) EXPECT_EQ(m.faces(f).npt, f >= 3 ? 9 : 7);
  // Flat lateral faces: t1 = (ny, -nx, 0), t2 = (0, 0, -1), n horizontal.
  for (int f = 3; f <= 5; ++f)
    for (int p = 1; p <= 9; ++p) {
      const BndFace& bf = m.faces(f);
      EXPECT_EQ(bf.v(kBfN + 2, p), 0.0f);
      EXPECT_EQ(bf.v(kBfT1, p), bf.v(kBfN + 1, p));
      EXPECT_EQ(bf.v(kBfT1 + 1, p), -bf.v(kBfN, p));
      EXPECT_EQ(bf.v(kBfT1 + 2, p), 0.0f);
      EXPECT_EQ(bf.v(kBfT2, p), 0.0f);
      EXPECT_EQ(bf.v(kBfT2 + 1, p), 0.0f);
      EXPECT_EQ(bf.v(kBfT2 + 2, p), -1.0f);
    }
  // The top: outward +z, tangents x and y.
  EXPECT_EQ(m.faces(2).v(kBfN + 2, 4), 1.0f);
  EXPECT_EQ(m.faces(2).v(kBfT1, 4), 1.0f);
  EXPECT_EQ(m.faces(2).v(kBfT2 + 1, 4), 1.0f);

  // Only the bottom six nodes on the boundary: one face, the bottom.
  for (int k = 1; k <= 15; ++k) {
    const bool bottom = k <= 3 || (k >= 7 && k <= 9);
    g.BoundaryConditions(k) = k <= 6 ? (bottom ? 65 : 64) : (bottom ? 1 : 0);
  }
  m = Prepared(g);
  ASSERT_EQ(m.edata(1).fl.nf, 1);
  EXPECT_EQ(m.edata(1).fl.local(1), 1);
  EXPECT_EQ(m.edata(1).fl.face(1), 1);
  ASSERT_EQ(m.bnd.size(), 6);
  // EndPlane holds the position in the boundary node list.
  int j = 0;
  for (int k = 1; k <= 15; ++k) {
    if (m.g.EndPlane(k) == 0) continue;
    EXPECT_EQ(m.g.EndPlane(k), ++j);
    EXPECT_EQ(m.bnd(j).node, k);
  }
  // The bottom of a wedge standing on z: outward normal -z, tangents the axes.
  for (int p = 1; p <= 7; ++p) {
    EXPECT_FLOAT_EQ(m.faces(1).v(kBfN + 2, p), -1.0f);
    EXPECT_EQ(m.faces(1).v(kBfT1 + 1, p), 1.0f);
    EXPECT_EQ(m.faces(1).v(kBfT2, p), 1.0f);
    EXPECT_EQ(m.faces(1).v(kBfDefect, p), 0.0f);
  }
}

TEST(FaceJacobian, TinyFacesKeepTheRegularisedMeasure) {
  // sqrt(|u x v|^2 + 1e-5): a degenerate face still gets a positive measure.
  std::vector<Vec3> x(15, Vec3{});
  MeshRecord m;
  m.g = SingleElement(x, true);
  FindBoundaryFaces(m, Tables());
  FaceJacobian(m, Tables());
  EXPECT_FLOAT_EQ(m.faces(1).v(kBfJac, 1), static_cast<float>(std::sqrt(1e-5)));
}

TEST(Cos_N_ALL, DegenerateFaceStops) {
  std::vector<Vec3> x(15, Vec3{});
  MeshRecord m;
  m.g = SingleElement(x, true);
  FindBoundaryFaces(m, Tables());
  EXPECT_EXIT(Cos_N_ALL(m, Tables()), ::testing::ExitedWithCode(1), "Error 1 in Cos_N_ALL");
}

TEST(Lp_simplex, NearPointsStayOnTheFaceAndOffFacePointsStop) {
  for (int f = 1; f <= 5; ++f) {
    const FaceRule& r = Tables().Wedge15Faces(f);
    for (int p = 1; p <= r.npt; ++p) {
      std::array<LocalPoint, 3> q;
      Lp_simplex(r.gp(p), true, q);
      for (const LocalPoint& s : q) {
        EXPECT_NEAR(s[0] + s[1] + s[2], 1.0, 1e-12);
        // The coordinate that defines the face keeps its value.
        const int fixedCoord[5] = {3, 3, 2, 1, 0};
        const double fixedValue[5] = {-1.0, 1.0, 0.0, 0.0, 0.0};
        EXPECT_EQ(s[static_cast<std::size_t>(fixedCoord[f - 1])], fixedValue[f - 1]);
      }
    }
  }
  for (int f = 1; f <= 4; ++f) {
    const FaceRule& r = Tables().Tet10Faces(f);
    std::array<LocalPoint, 3> q;
    Lp_simplex(r.gp(1), false, q);
    for (const LocalPoint& s : q) {
      EXPECT_NEAR(s[0] + s[1] + s[2] + s[3], 1.0, 1e-12);
      EXPECT_EQ(s[static_cast<std::size_t>(4 - f)], 0.0);
    }
  }
  std::array<LocalPoint, 3> q;
  EXPECT_EXIT(Lp_simplex(LocalPoint{0.3, 0.3, 0.4, 0.2}, true, q), ::testing::ExitedWithCode(1),
              "error in Lp_simplex");
  EXPECT_EXIT(Lp_simplex(LocalPoint{0.3, 0.3, 0.2, 0.2}, false, q), ::testing::ExitedWithCode(1),
              "error in Lp_simplex");
}

TEST(FrameFromPoints, RightAngledFrameAndCollinearPoints) {
  Vec3 t1, t2, n;
  double defect = FrameFromPoints({2, 0, 0}, {0, 0, 0}, {1, 3, 0}, t1, t2, n);
  EXPECT_EQ(t1, (Vec3{1, 0, 0}));
  EXPECT_EQ(t2, (Vec3{0, -1, 0}));
  EXPECT_EQ(n, (Vec3{0, 0, -1}));
  EXPECT_NEAR(defect, 0.0, 1e-15);
  // Components below 1e-4 vanish; the defect reports the lost length.
  defect = FrameFromPoints({1, 0, 0}, {0, 0, 0}, {0, 1, 5e-5}, t1, t2, n);
  EXPECT_EQ(n[1], 0.0);
  EXPECT_LT(defect, 1e-8);
  defect = FrameFromPoints({1, 1, 1}, {0, 0, 0}, {2, 2, 2}, t1, t2, n);
  EXPECT_EQ(n, (Vec3{0, 0, 0}));
  EXPECT_LT(defect, -0.3);
}

TEST(point_sos, MidSideNodeOfAnEdgeAndStopOnADiagonal) {
  const Mesh3d g = DistortedWedge(0.0, false);
  EXPECT_EQ(point_sos(g, 1, 1, 3), 7);
  EXPECT_EQ(point_sos(g, 1, 2, 1), 8);
  EXPECT_EQ(point_sos(g, 1, 6, 3), 12);
  EXPECT_EQ(point_sos(g, 1, 5, 6), 15);
  EXPECT_EXIT(point_sos(g, 1, 1, 5), ::testing::ExitedWithCode(1), "error in point_sos");
}
