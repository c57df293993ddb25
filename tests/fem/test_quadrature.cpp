// Integration rules of the element library: weight sums and polynomial
// exactness, measured against closed-form integrals.  The stored
// coefficients carry six to eight digits, so "exact" means to about 1e-7
// relative; the largest error found is printed for the record.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "fem/elements.h"
#include "support/element_tables.h"

namespace {


double Fact(int n) { return n <= 1 ? 1.0 : n * Fact(n - 1); }

// Integral of zeta^c over [-1, 1] and of |zeta|^c.
double ZetaMoment(int c) { return c % 2 ? 0.0 : 2.0 / (c + 1); }
double ZetaAbsMoment(int c) { return 2.0 / (c + 1); }

// Tolerances set by the digits of the stored coefficients: the triangle
// rule carries eight digits; the Gauss levels and weights in zeta and on the
// edges eight, which high powers amplify; the tetrahedron's third orbit
// (0.045504, 0.454496) and the quadrilateral faces' zeta = 0.774597 carry
// five to six.
constexpr double kTol = 1e-7;
constexpr double kTolGauss = 5e-7;
constexpr double kTolTet = 2e-6;
constexpr double kTolQuad = 3e-6;

TEST(Quadrature, WeightSums) {
  const ElementTables& t = Tables();
  auto sum = [](const Vec1<double>& w, int from, int to) {
    double s = 0;
    for (int k = from; k <= to; ++k) s += w(k);
    return s;
  };
  EXPECT_NEAR(sum(t.Wedge15.w, 1, 42), 1.0, 1e-15);  // scaled to the reference volume
  EXPECT_NEAR(sum(t.Tet10.w, 1, 14), 1.0 / 6.0, 1e-8);
  EXPECT_NEAR(sum(t.Tri6.w, 1, 7), 0.5, 2e-8);
  for (int e = 0; e < 3; ++e) EXPECT_NEAR(sum(t.Tri6Edge.w, 5 * e + 1, 5 * e + 5), 1.0, 1e-7);
  for (int f = 1; f <= 5; ++f) {
    const FaceRule& r = t.Wedge15Faces(f);
    EXPECT_NEAR(sum(r.w, 1, r.npt), f <= 2 ? 0.5 : 1.0, f <= 2 ? 2e-8 : 1e-15);
  }
  for (int f = 1; f <= 4; ++f) EXPECT_NEAR(sum(t.Tet10Faces(f).w, 1, 7), 0.5, 2e-8);
  EXPECT_DOUBLE_EQ(t.Wedge15Faces(3).w(1), 25.0 / 324.0);
  EXPECT_DOUBLE_EQ(t.Wedge15Faces(4).w(2), 40.0 / 324.0);
  EXPECT_DOUBLE_EQ(t.Wedge15Faces(5).w(5), 64.0 / 324.0);
}

// Triangle: the integral of L1^a L2^b over the reference triangle is
// a! b! / (a + b + 2)!.
TEST(Quadrature, TriangleRuleIsExactToDegreeFive) {
  const ElemType& t = Tables().Tri6;
  double worst = 0, worst6 = 0;
  for (int a = 0; a <= 6; ++a) {
    for (int b = 0; a + b <= 6; ++b) {
      double q = 0;
      for (int k = 1; k <= t.ngp; ++k) q += t.w(k) * std::pow(t.gp(k)[0], a) * std::pow(t.gp(k)[1], b);
      const double exact = Fact(a) * Fact(b) / Fact(a + b + 2);
      const double rel = std::fabs(q - exact) / exact;
      if (a + b <= 5) {
        EXPECT_LT(rel, kTol) << "x^" << a << " y^" << b;
        worst = std::max(worst, rel);
      } else {
        worst6 = std::max(worst6, rel);
      }
    }
  }
  EXPECT_GT(worst6, 1e-4);  // degree 6 is beyond the rule: the measure discriminates
  std::printf("triangle rule: largest relative error to degree 5 = %.3g (degree 6: %.3g)\n", worst, worst6);
}

// Wedge: L1^a L2^b zeta^c over the reference wedge (triangle x [-1, 1]).
TEST(Quadrature, WedgeRuleIsExactForDegreeFiveInPlaneAndElevenAxially) {
  const ElemType& t = Tables().Wedge15;
  double worst = 0;
  for (int a = 0; a <= 5; ++a) {
    for (int b = 0; a + b <= 5; ++b) {
      for (int c = 0; c <= 12; ++c) {
        double q = 0;
        for (int k = 1; k <= t.ngp; ++k)
          q += t.w(k) * std::pow(t.gp(k)[0], a) * std::pow(t.gp(k)[1], b) * std::pow(t.gp(k)[3], c);
        const double tri = Fact(a) * Fact(b) / Fact(a + b + 2);
        const double exact = tri * ZetaMoment(c);
        const double rel = std::fabs(q - exact) / (tri * ZetaAbsMoment(c));
        if (c <= 11) {
          EXPECT_LT(rel, kTolGauss) << "x^" << a << " y^" << b << " z^" << c;
          worst = std::max(worst, rel);
        } else if (a + b == 0) {
          EXPECT_GT(rel, 1e-4);  // zeta^12 is beyond the 6-point Gauss rule
        }
      }
    }
  }
  std::printf("wedge rule: largest relative error (a+b<=5, c<=11) = %.3g\n", worst);
}

// Tetrahedron: L1^a L2^b L3^c over the reference tetrahedron is
// a! b! c! / (a + b + c + 3)!.
TEST(Quadrature, TetrahedronRuleIsExactToDegreeFive) {
  const ElemType& t = Tables().Tet10;
  double worst = 0;
  for (int a = 0; a <= 5; ++a) {
    for (int b = 0; a + b <= 5; ++b) {
      for (int c = 0; a + b + c <= 5; ++c) {
        double q = 0;
        for (int k = 1; k <= t.ngp; ++k)
          q += t.w(k) * std::pow(t.gp(k)[0], a) * std::pow(t.gp(k)[1], b) * std::pow(t.gp(k)[2], c);
        const double exact = Fact(a) * Fact(b) * Fact(c) / Fact(a + b + c + 3);
        const double rel = std::fabs(q - exact) / exact;
        EXPECT_LT(rel, kTolTet) << "x^" << a << " y^" << b << " z^" << c;
        worst = std::max(worst, rel);
      }
    }
  }
  std::printf("tetrahedron rule: largest relative error to degree 5 = %.3g\n", worst);
}

// Edge rule: 5-point Gauss on [0, 1] integrates t^m exactly up to m = 9 on
// each edge; the parameter is the first nonzero-by-construction coordinate.
TEST(Quadrature, EdgeRuleIsExactToDegreeNine) {
  const ElemType& t = Tables().Tri6Edge;
  const int param[3] = {1, 0, 0};  // coordinate carrying t on edges 1, 2, 3
  double worst = 0;
  for (int e = 0; e < 3; ++e) {
    for (int m = 0; m <= 9; ++m) {
      double q = 0;
      for (int k = 5 * e + 1; k <= 5 * e + 5; ++k) q += t.w(k) * std::pow(t.gp(k)[param[e]], m);
      const double rel = std::fabs(q - 1.0 / (m + 1)) * (m + 1);
      EXPECT_LT(rel, kTolGauss) << "edge " << e + 1 << " t^" << m;
      worst = std::max(worst, rel);
    }
  }
  std::printf("edge rule: largest relative error to degree 9 = %.3g\n", worst);
}

// Quadrilateral wedge faces: 3 x 3 Gauss, exact for t^m zeta^n, m, n <= 5,
// against (1 / (m + 1)) * (zeta moment) / 2 (weights sum to 1).
TEST(Quadrature, QuadrilateralFaceRulesAreExactToDegreeFivePerDirection) {
  const int param[3] = {0, 0, 1};  // L1 = t on faces 3, 4; L2 = t on face 5
  double worst = 0;
  for (int f = 3; f <= 5; ++f) {
    const FaceRule& r = Tables().Wedge15Faces(f);
    for (int m = 0; m <= 5; ++m) {
      for (int n = 0; n <= 5; ++n) {
        double q = 0;
        for (int k = 1; k <= r.npt; ++k) q += r.w(k) * std::pow(r.gp(k)[param[f - 3]], m) * std::pow(r.gp(k)[3], n);
        const double exact = ZetaMoment(n) / 2.0 / (m + 1);
        const double rel = std::fabs(q - exact) / (ZetaAbsMoment(n) / 2.0 / (m + 1));
        EXPECT_LT(rel, kTolQuad) << "face " << f << " t^" << m << " z^" << n;
        worst = std::max(worst, rel);
      }
    }
  }
  std::printf("quadrilateral face rule: largest relative error (m, n <= 5) = %.3g\n", worst);
}

// Triangular faces of both volume elements integrate like the triangle rule.
TEST(Quadrature, TriangularFaceRulesAreExactToDegreeFive) {
  const ElementTables& t = Tables();
  for (int f = 1; f <= 2; ++f) {
    const FaceRule& r = t.Wedge15Faces(f);
    for (int a = 0; a <= 5; ++a) {
      for (int b = 0; a + b <= 5; ++b) {
        double q = 0;
        for (int k = 1; k <= r.npt; ++k) q += r.w(k) * std::pow(r.gp(k)[0], a) * std::pow(r.gp(k)[1], b);
        const double exact = Fact(a) * Fact(b) / Fact(a + b + 2);
        EXPECT_LT(std::fabs(q - exact) / exact, kTol);
      }
    }
  }
  // Tetrahedron face 4 (L1 = 0): coordinates L2, L3 carry the triangle.
  const FaceRule& r = t.Tet10Faces(4);
  for (int a = 0; a <= 5; ++a) {
    for (int b = 0; a + b <= 5; ++b) {
      double q = 0;
      for (int k = 1; k <= r.npt; ++k) q += r.w(k) * std::pow(r.gp(k)[1], a) * std::pow(r.gp(k)[2], b);
      const double exact = Fact(a) * Fact(b) / Fact(a + b + 2);
      EXPECT_LT(std::fabs(q - exact) / exact, kTol);
    }
  }
}

}  // namespace
