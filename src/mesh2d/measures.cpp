#include "mesh2d/measures.h"

#include <algorithm>
#include <cmath>

namespace {

double Dist(const Point2& a, const Point2& b) { return std::hypot(a[0] - b[0], a[1] - b[1]); }

}  // namespace

double HeronArea(const Point2& a, const Point2& b, const Point2& c) {
  const double la = Dist(b, c), lb = Dist(c, a), lc = Dist(a, b);
  const double s = 0.5 * (la + lb + lc);
  const double q = s * (s - la) * (s - lb) * (s - lc);
  return q > 0.0 ? std::sqrt(q) : 0.0;
}

double MeshKrit(const Mesh2d& mesh) {
  // Degeneracy threshold of the corner triangle, the single-precision 1e-4.
  constexpr double kFlat = static_cast<double>(1.0e-4f);
  double krit = 1.0;
  for (int e = 1; e <= mesh.ne; ++e) {
    const Point2& p1 = mesh.xy(std::abs(mesh.nop(1, e)));
    const Point2& p2 = mesh.xy(std::abs(mesh.nop(2, e)));
    const Point2& p3 = mesh.xy(std::abs(mesh.nop(3, e)));
    const double a = Dist(p2, p3), b = Dist(p3, p1), c = Dist(p1, p2);
    const double s = 0.5 * (a + b + c);
    const double h = (s - a) * (s - b) * (s - c);
    if (h < kFlat) return 1000.0;
    // Law of sines: sin(alpha) = 2A / (b c), etc.
    const double area2 = 2.0 * std::sqrt(s * h);
    const double s1 = area2 / (b * c), s2 = area2 / (c * a), s3 = area2 / (a * b);
    const double ratio = std::max({s1, s2, s3}) / std::min({s1, s2, s3});
    krit = std::max(krit, ratio);
  }
  return krit;
}

double MeshArea(const Mesh2d& mesh) {
  // Quadratic triangle in area coordinates: x = sum N_a x_a with corner
  // functions L(2L-1) and mid-side functions 4 L_i L_j (node 4 on 3-1, 5 on
  // 1-2, 6 on 2-3).  det J = x_xi y_eta - x_eta y_xi with xi = L1, eta = L2.
  static constexpr double kPts[3][2] = {{0.5, 0.0}, {0.5, 0.5}, {0.0, 0.5}};
  double area = 0.0;
  for (int e = 1; e <= mesh.ne; ++e) {
    Point2 p[6];
    for (int a = 0; a < 6; ++a) p[a] = mesh.xy(std::abs(mesh.nop(a + 1, e)));
    double signedArea = 0.0;
    for (const auto& q : kPts) {
      const double L1 = q[0], L2 = q[1], L3 = 1.0 - L1 - L2;
      // Derivatives of N1..N6 by L1 and L2 (L3 = 1 - L1 - L2).
      const double dN1[6] = {4 * L1 - 1, 0.0, 1 - 4 * L3, 4 * (L3 - L1), 4 * L2, -4 * L2};
      const double dN2[6] = {0.0, 4 * L2 - 1, 1 - 4 * L3, -4 * L1, 4 * L1, 4 * (L3 - L2)};
      double xa = 0, ya = 0, xb = 0, yb = 0;
      for (int a = 0; a < 6; ++a) {
        xa += dN1[a] * p[a][0];
        ya += dN1[a] * p[a][1];
        xb += dN2[a] * p[a][0];
        yb += dN2[a] * p[a][1];
      }
      signedArea += (xa * yb - xb * ya) / 6.0;  // weight 1/6 per point
    }
    area += std::fabs(signedArea);
  }
  return area;
}

double MaxDistance(const Outline& o) {
  double d = 0.0;
  for (int i = 1; i <= o.n; ++i)
    for (int j = i + 1; j <= o.n; ++j) d = std::max(d, Dist(o.pts(i), o.pts(j)));
  return d;
}

void DistanceRange(const Outline& a, const Outline& b, double& dmin, double& dmax) {
  dmin = 1e10;
  dmax = -1e10;
  for (int i = 1; i <= a.n; ++i)
    for (int j = 1; j <= b.n; ++j) {
      const double d = Dist(a.pts(i), b.pts(j));
      dmin = std::min(dmin, d);
      dmax = std::max(dmax, d);
    }
}

int SymmetryCode(Outline& o) {
  constexpr double kTol = 0.05;
  int onY = 0, onX = 0, atOrigin = 0;
  for (int i = 1; i <= o.n; ++i) {
    Point2& p = o.pts(i);
    const bool nearY = std::fabs(p[0]) < kTol;
    const bool nearX = std::fabs(p[1]) < kTol;
    if (nearY) p[0] = 0.0;
    onY += nearY;
    onX += nearX;
    atOrigin += nearY && nearX;
  }
  // An outline lies against an axis only when it runs along it: some whole
  // segment (start and end point) must lie on the axis.  Single points near
  // an axis, as on any full circle, do not count.
  bool segX = false, segY = false;
  for (int k = 1; k <= o.nSeg && 2 * k - 1 <= o.n; ++k) {
    const Point2& a = o.pts(2 * k - 1);
    const Point2& b = o.pts(2 * k + 1 <= o.n ? 2 * k + 1 : 1);
    segX = segX || (std::fabs(a[1]) < kTol && std::fabs(b[1]) < kTol);
    segY = segY || (std::fabs(a[0]) < kTol && std::fabs(b[0]) < kTol);
  }
  const bool x = segX && onX > 0;
  const bool y = segY && onY > 0;
  if (x && y) return atOrigin == 1 ? 3 : -1;
  if (x) return 1;
  if (y) return 2;
  return 0;
}

double Roundness(const Outline& o) {
  const int half = o.n / 2;
  if (half < 1) return -1.0;
  double dmin = 1e30, dmax = 0.0;
  for (int i = 1; i <= half; ++i) {
    const double d = Dist(o.pts(i), o.pts(i + half));
    dmin = std::min(dmin, d);
    dmax = std::max(dmax, d);
  }
  return dmax > 0.0 ? dmin / dmax : -1.0;
}
