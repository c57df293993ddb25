// Shape functions of the element library: partition of unity, nodal
// interpolation, derivatives, face rules and the wedge-to-triangle reduction.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "fem/elements.h"
#include "support/element_tables.h"

namespace {


// Local coordinates of the nodes of each element type.
std::vector<LocalPoint> WedgeNodes() {
  std::vector<LocalPoint> p(15);
  for (int k = 0; k < 3; ++k) {
    LocalPoint c{0, 0, 0, -1};
    c[k] = 1;
    p[k] = c;
    c[3] = 1;
    p[k + 3] = c;
    c[3] = 0;
    p[k + 9] = c;
  }
  for (int e = 0; e < 3; ++e) {
    LocalPoint c{0, 0, 0, -1};
    c[kWedgeEdge[e][0] - 1] = 0.5;
    c[kWedgeEdge[e][1] - 1] = 0.5;
    p[6 + e] = c;
    c[3] = 1;
    p[12 + e] = c;
  }
  return p;
}

std::vector<LocalPoint> TetNodes() {
  std::vector<LocalPoint> p(10);
  for (int k = 0; k < 4; ++k) {
    LocalPoint c{};
    c[k] = 1;
    p[k] = c;
  }
  for (int e = 0; e < 6; ++e) {
    LocalPoint c{};
    c[kTetEdge[e][0] - 1] = 0.5;
    c[kTetEdge[e][1] - 1] = 0.5;
    p[4 + e] = c;
  }
  return p;
}

std::vector<LocalPoint> TriNodes() {
  std::vector<LocalPoint> p(6);
  for (int k = 0; k < 3; ++k) {
    LocalPoint c{};
    c[k] = 1;
    p[k] = c;
  }
  for (int e = 0; e < 3; ++e) {
    LocalPoint c{};
    c[kTriEdge[e][0] - 1] = 0.5;
    c[kTriEdge[e][1] - 1] = 0.5;
    p[3 + e] = c;
  }
  return p;
}

// Partition of unity and vanishing derivative sums in every column.
void ExpectPartition(const Mat1<double>& N, const Mat1<double>& d1, const Mat1<double>& d2,
                     const Mat1<double>& d3, int npt, const char* what) {
  for (int k = 1; k <= npt; ++k) {
    double s = 0, s1 = 0, s2 = 0, s3 = 0;
    for (int a = 1; a <= N.rows; ++a) {
      s += N(a, k);
      s1 += d1(a, k);
      s2 += d2(a, k);
      s3 += d3(a, k);
    }
    EXPECT_NEAR(s, 1.0, 1e-14) << what << " point " << k;
    EXPECT_NEAR(s1, 0.0, 1e-13) << what << " point " << k;
    EXPECT_NEAR(s2, 0.0, 1e-13) << what << " point " << k;
    EXPECT_NEAR(s3, 0.0, 1e-13) << what << " point " << k;
  }
}

TEST(ElementTables, CountsAndPartitionOfUnityAtEveryPoint) {
  const ElementTables& t = Tables();
  EXPECT_EQ(t.Wedge15.nn, 15);
  EXPECT_EQ(t.Wedge15.nv, 6);
  EXPECT_EQ(t.Wedge15.ngp, 42);
  EXPECT_EQ(t.Tet10.nn, 10);
  EXPECT_EQ(t.Tet10.nv, 4);
  EXPECT_EQ(t.Tet10.ngp, 14);
  EXPECT_EQ(t.Tri6.ngp, 7);
  EXPECT_EQ(t.Tri6Edge.ngp, 15);
  for (const ElemType* e : {&t.Wedge15, &t.Tet10, &t.Tri6, &t.Tri6Edge}) {
    ExpectPartition(e->N, e->dN1, e->dN2, e->dN3, e->ngp, "volume rule");
    // Local coordinates form a partition of unity; linear functions too.
    for (int k = 1; k <= e->ngp; ++k) {
      const LocalPoint& p = e->gp(k);
      const double s = e == &t.Tet10 ? p[0] + p[1] + p[2] + p[3] : p[0] + p[1] + p[2];
      EXPECT_NEAR(s, 1.0, 1e-15);
      double sl = 0;
      for (int m = 1; m <= e->nv; ++m) sl += e->L(m, k);
      EXPECT_NEAR(sl, 1.0, 1e-15);
    }
  }
  for (int f = 1; f <= 5; ++f) {
    const FaceRule& r = t.Wedge15Faces(f);
    ExpectPartition(r.N, r.dN1, r.dN2, r.dN3, r.npt, "wedge face");
  }
  for (int f = 1; f <= 4; ++f) {
    const FaceRule& r = t.Tet10Faces(f);
    ExpectPartition(r.N, r.dN1, r.dN2, r.dN3, r.npt, "tet face");
  }
  EXPECT_EQ(t.Tet10Faces(5).npt, 0);
}

TEST(ElementTables, EachFunctionIsOneAtItsNodeAndZeroAtTheOthers) {
  double N[15], d1[15], d2[15], d3[15];
  const auto wn = WedgeNodes();
  for (int j = 0; j < 15; ++j) {
    ShapeWedge15At(wn[j], N, d1, d2, d3);
    for (int a = 0; a < 15; ++a) EXPECT_NEAR(N[a], a == j ? 1.0 : 0.0, 1e-15) << "wedge " << a << " at " << j;
  }
  const auto tn = TetNodes();
  for (int j = 0; j < 10; ++j) {
    ShapeTet10At(tn[j], N, d1, d2, d3);
    for (int a = 0; a < 10; ++a) EXPECT_NEAR(N[a], a == j ? 1.0 : 0.0, 1e-15) << "tet " << a << " at " << j;
  }
  const auto rn = TriNodes();
  for (int j = 0; j < 6; ++j) {
    ShapeTri6At(rn[j], N, d1, d2);
    for (int a = 0; a < 6; ++a) EXPECT_NEAR(N[a], a == j ? 1.0 : 0.0, 1e-15) << "tri " << a << " at " << j;
  }
}

// Central differences in the independent coordinates, moving the dependent
// area or volume coordinate along.
TEST(ElementTables, DerivativesMatchFiniteDifferences) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> u(0.05, 0.3);
  const double h = 1e-6;
  for (int trial = 0; trial < 20; ++trial) {
    const double l1 = u(gen), l2 = u(gen), l3 = u(gen), z = 2 * u(gen) - 0.3;
    double N[15], d1[15], d2[15], d3[15], Np[15], Nm[15], t1[15], t2[15], t3[15];
    // Wedge: coordinates (L1, L2, 1 - L1 - L2, zeta).
    auto W = [&](double a, double b, double c, double* out) {
      ShapeWedge15At(LocalPoint{a, b, 1 - a - b, c}, out, t1, t2, t3);
    };
    ShapeWedge15At(LocalPoint{l1, l2, 1 - l1 - l2, z}, N, d1, d2, d3);
    const double* dw[3] = {d1, d2, d3};
    for (int dir = 0; dir < 3; ++dir) {
      const double e[3] = {dir == 0 ? h : 0, dir == 1 ? h : 0, dir == 2 ? h : 0};
      W(l1 + e[0], l2 + e[1], z + e[2], Np);
      W(l1 - e[0], l2 - e[1], z - e[2], Nm);
      for (int a = 0; a < 15; ++a) EXPECT_NEAR(dw[dir][a], (Np[a] - Nm[a]) / (2 * h), 1e-8) << "wedge " << a;
    }
    // Tetrahedron: (L1, L2, L3, 1 - L1 - L2 - L3).
    auto T = [&](double a, double b, double c, double* out) {
      ShapeTet10At(LocalPoint{a, b, c, 1 - a - b - c}, out, t1, t2, t3);
    };
    ShapeTet10At(LocalPoint{l1, l2, l3, 1 - l1 - l2 - l3}, N, d1, d2, d3);
    for (int dir = 0; dir < 3; ++dir) {
      const double e[3] = {dir == 0 ? h : 0, dir == 1 ? h : 0, dir == 2 ? h : 0};
      T(l1 + e[0], l2 + e[1], l3 + e[2], Np);
      T(l1 - e[0], l2 - e[1], l3 - e[2], Nm);
      for (int a = 0; a < 10; ++a) EXPECT_NEAR(dw[dir][a], (Np[a] - Nm[a]) / (2 * h), 1e-8) << "tet " << a;
    }
    // Triangle.
    ShapeTri6At(LocalPoint{l1, l2, 1 - l1 - l2, 0}, N, d1, d2);
    for (int dir = 0; dir < 2; ++dir) {
      const double e0 = dir == 0 ? h : 0, e1 = dir == 1 ? h : 0;
      ShapeTri6At(LocalPoint{l1 + e0, l2 + e1, 1 - l1 - l2 - e0 - e1, 0}, Np, t1, t2);
      ShapeTri6At(LocalPoint{l1 - e0, l2 - e1, 1 - l1 - l2 + e0 + e1, 0}, Nm, t1, t2);
      for (int a = 0; a < 6; ++a) EXPECT_NEAR(dw[dir][a], (Np[a] - Nm[a]) / (2 * h), 1e-8) << "tri " << a;
    }
  }
}

TEST(ElementTables, WedgeLinearFunctionsAndTheirDerivatives) {
  const ElemType& w = Tables().Wedge15;
  for (int k = 1; k <= w.ngp; ++k) {
    const LocalPoint& p = w.gp(k);
    const double a = 1 - p[3], b = 1 + p[3];
    for (int m = 1; m <= 3; ++m) {
      EXPECT_NEAR(w.L(m, k), 0.5 * p[m - 1] * a, 1e-15);
      EXPECT_NEAR(w.L(m + 3, k), 0.5 * p[m - 1] * b, 1e-15);
    }
    double s1 = 0, s2 = 0, s3 = 0;
    for (int m = 1; m <= 6; ++m) {
      s1 += w.dL1(m, k);
      s2 += w.dL2(m, k);
      s3 += w.dL3(m, k);
    }
    EXPECT_NEAR(s1, 0, 1e-15);
    EXPECT_NEAR(s2, 0, 1e-15);
    EXPECT_NEAR(s3, 0, 1e-15);
    // L3 depends on L1 and L2: d(L3 a / 2)/dL1 = -a / 2.
    EXPECT_NEAR(w.dL1(3, k), -0.5 * a, 1e-15);
    EXPECT_NEAR(w.dL2(6, k), -0.5 * b, 1e-15);
    EXPECT_NEAR(w.dL3(4, k), 0.5 * p[0], 1e-15);
  }
}

TEST(ElementTables, FacePointsLieOnTheirFaces) {
  const ElementTables& t = Tables();
  auto check = [](const FaceRule& r, int nn, const char* what, int face) {
    std::vector<bool> on(static_cast<size_t>(nn) + 1, false);
    for (int i = 1; i <= r.nfn; ++i) on[static_cast<size_t>(r.fnode(i))] = true;
    for (int k = 1; k <= r.npt; ++k) {
      double sOn = 0;
      for (int a = 1; a <= nn; ++a) {
        if (on[static_cast<size_t>(a)]) sOn += r.N(a, k);
        else EXPECT_NEAR(r.N(a, k), 0.0, 1e-15) << what << " face " << face << " node " << a << " point " << k;
      }
      EXPECT_NEAR(sOn, 1.0, 1e-14);
    }
  };
  for (int f = 1; f <= 5; ++f) {
    const FaceRule& r = t.Wedge15Faces(f);
    EXPECT_EQ(r.npt, f <= 2 ? 7 : 9);
    EXPECT_EQ(r.nfn, f <= 2 ? 6 : 8);
    check(r, 15, "wedge", f);
  }
  for (int f = 1; f <= 4; ++f) {
    const FaceRule& r = t.Tet10Faces(f);
    EXPECT_EQ(r.npt, 7);
    check(r, 10, "tet", f);
    for (int k = 1; k <= 7; ++k) EXPECT_EQ(r.gp(k)[4 - f], 0.0);  // L(5 - f) = 0
  }
  // Tri6Edge points: 5 on each edge, opposite corner coordinate zero.
  for (int k = 1; k <= 15; ++k) EXPECT_EQ(t.Tri6Edge.gp(k)[(k - 1) / 5], 0.0);
  // Quadrilateral face 3 point 4: t index 1, zeta index 2.
  const LocalPoint& q = t.Wedge15Faces(3).gp(4);
  EXPECT_DOUBLE_EQ(q[0], 0.1127015);
  EXPECT_DOUBLE_EQ(q[1], 1 - 0.1127015);
  EXPECT_EQ(q[3], 0.0);
}

TEST(ElementTables, WedgeReducesToTriangleAtItsEnds) {
  const int bottom[6] = {1, 2, 3, 7, 8, 9};
  const int top[6] = {4, 5, 6, 13, 14, 15};
  const ElemType& tri = Tables().Tri6;
  for (int k = 1; k <= tri.ngp; ++k) {
    for (double z : {-1.0, 1.0}) {
      LocalPoint p = tri.gp(k);
      p[3] = z;
      double N[15], d1[15], d2[15], d3[15];
      ShapeWedge15At(p, N, d1, d2, d3);
      const int* face = z < 0 ? bottom : top;
      double sFace = 0;
      for (int i = 0; i < 6; ++i) {
        EXPECT_NEAR(N[face[i] - 1], tri.N(i + 1, k), 1e-15);
        // In-plane derivatives reduce to the triangle's as well.
        EXPECT_NEAR(d1[face[i] - 1], tri.dN1(i + 1, k), 1e-14);
        EXPECT_NEAR(d2[face[i] - 1], tri.dN2(i + 1, k), 1e-14);
        sFace += N[face[i] - 1];
      }
      EXPECT_NEAR(sFace, 1.0, 1e-15);
    }
  }
}

TEST(ElementTables, WedgeNodeSamplePoints) {
  const ElemType& w = Tables().Wedge15;
  const LocalPoint n8{0.45, 0.45, 0.1, -0.9}, n11{0.1, 0.8, 0.1, 0.0};
  const LocalPoint n1{0.8, 0.1, 0.1, -0.9}, n15{0.1, 0.45, 0.45, 0.9};
  EXPECT_EQ(w.nodept(8), n8);
  EXPECT_EQ(w.nodept(11), n11);
  EXPECT_EQ(w.nodept(1), n1);
  EXPECT_EQ(w.nodept(15), n15);
  // Every sample point is nearer to its node than to any other node.
  const auto nodes = WedgeNodes();
  for (int a = 1; a <= 15; ++a) {
    auto dist = [&](int b) {
      const LocalPoint& p = w.nodept(a);
      const LocalPoint& q = nodes[static_cast<size_t>(b - 1)];
      double s = 0;
      for (int i = 0; i < 3; ++i) s += (p[i] - q[i]) * (p[i] - q[i]);
      return s + 0.25 * (p[3] - q[3]) * (p[3] - q[3]);
    };
    for (int b = 1; b <= 15; ++b) {
      if (b != a) {
        EXPECT_LT(dist(a), dist(b)) << "sample point " << a << " vs node " << b;
      }
    }
  }
}

}  // namespace
