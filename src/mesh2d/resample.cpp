#include "mesh2d/resample.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "core/fatal.h"
#include "mesh2d/wall_size.h"

namespace {

constexpr double kPi = std::numbers::pi;

// Parameter range searched for the nearest point of a segment.
constexpr double kNearLo = -1.01;
constexpr double kNearHi = 1.01;

// Largest parameter step of the arc-length integral of a segment.
constexpr int kStepsPerSegment = 2000;  // steps of 0.001 over [-1, 1]

struct Quad {
  Point2 a;  // t^2 coefficient
  Point2 b;  // t coefficient
  Point2 c;  // constant (the middle point)
};

Quad QuadCoef(const Point2& p1, const Point2& p2, const Point2& p3) {
  Quad q;
  for (int k = 0; k < 2; ++k) {
    q.a[k] = 0.5 * (p1[k] + p3[k]) - p2[k];
    q.b[k] = 0.5 * (p3[k] - p1[k]);
    q.c[k] = p2[k];
  }
  return q;
}

// Unsigned curvature of the quadratic at parameter t.
double QuadCurvature(const Quad& q, double t) {
  const double dx = 2.0 * q.a[0] * t + q.b[0];
  const double dy = 2.0 * q.a[1] * t + q.b[1];
  const double ddx = 2.0 * q.a[0];
  const double ddy = 2.0 * q.a[1];
  const double speed2 = dx * dx + dy * dy;
  if (speed2 <= 0.0) return 0.0;  // a segment collapsed to a point has no direction
  return std::fabs(dx * ddy - dy * ddx) / (speed2 * std::sqrt(speed2));
}

double Dist2(const Point2& p, const Point2& q) {
  const double dx = p[0] - q[0];
  const double dy = p[1] - q[1];
  return dx * dx + dy * dy;
}

// Index of the point after i on a closed outline of m points (1-based).
int NextPt(int i, int m) { return i == m ? 1 : i + 1; }

// Squared distance from m to the axis-aligned box of segment q over [lo, hi].
double BoxDist2(const Quad& q, double lo, double hi, const Point2& m) {
  double d2 = 0.0;
  for (int k = 0; k < 2; ++k) {
    const double v1 = (q.a[k] * lo + q.b[k]) * lo + q.c[k];
    const double v2 = (q.a[k] * hi + q.b[k]) * hi + q.c[k];
    double vmin = std::min(v1, v2);
    double vmax = std::max(v1, v2);
    if (q.a[k] != 0.0) {
      const double ts = -q.b[k] / (2.0 * q.a[k]);
      if (ts > lo && ts < hi) {
        const double v = (q.a[k] * ts + q.b[k]) * ts + q.c[k];
        vmin = std::min(vmin, v);
        vmax = std::max(vmax, v);
      }
    }
    const double e = m[k] < vmin ? vmin - m[k] : (m[k] > vmax ? m[k] - vmax : 0.0);
    d2 += e * e;
  }
  return d2;
}

}  // namespace

void SetSizeLaw(DivSpec& spec, double area) {
  if (spec.c1 < 5) {
    spec.c1 = 28;
    spec.c2 = 30;
  }
  Require(spec.c2 > 0, "OutlineFactors: second division count must be positive, c2=" + std::to_string(spec.c2));
  Require(area > 0.0 && std::isfinite(area),
          "OutlineFactors: outline encloses no area, area=" + std::to_string(area));
  spec.area = area;
  spec.h0 = 2.0 * std::sqrt(kPi * area) / spec.c1;
  spec.kmin = 2.0 * kPi / (spec.c2 * spec.h0);
  spec.k1 = (kPi / 2.0) / spec.h0;
  spec.k2 = (10.0 * kPi / 3.0) / spec.h0;
  spec.kmid = (spec.k2 + 2.0 * spec.k1) / 3.0;
  spec.s1 = 0.1f;
  spec.s2 = 0.4f;
  // A c2 so small that kmin reaches k1 leaves no refining range: no slope.
  spec.slope1 = spec.k1 > spec.kmin ? (1.0 - spec.s2) / (spec.k1 - spec.kmin) : 0.0;
  spec.slope2 = (spec.s2 - spec.s1) / (spec.k2 - spec.k1);
}

double RelativeSize(const DivSpec& spec, double k) {
  const double kc = std::clamp(k, std::min(spec.kmin, spec.k1), spec.k1);
  return spec.s2 + (spec.k1 - kc) * spec.slope1;
}

double OutlineSignedArea2(const Outline& o) {
  double s = 0.0;
  for (int i = 1; i <= o.n; ++i) {
    const Point2& p = o.pts(i);
    const Point2& q = o.pts(NextPt(i, o.n));
    s += p[0] * q[1] - q[0] * p[1];
  }
  return s;
}

void OrientOutline(int sense, Outline& o) {
  if (o.n < 3) return;
  double ymin = o.pts(1)[1];
  for (int i = 2; i <= o.n; ++i) ymin = std::min(ymin, o.pts(i)[1]);
  // Trapezoid sum: positive for a counter-clockwise polygon.
  double s = 0.0;
  for (int i = 1; i <= o.n; ++i) {
    const Point2& p = o.pts(i);
    const Point2& q = o.pts(NextPt(i, o.n));
    s += (p[0] - q[0]) * ((p[1] + q[1]) / 2.0 - ymin);
  }
  const bool reverse = sense == 1 ? s >= 0.0 : s < 0.0;
  if (!reverse) return;
  std::reverse(o.pts.begin() + 1, o.pts.begin() + o.n);
  if (o.mark.size() >= o.n) std::reverse(o.mark.begin() + 1, o.mark.begin() + o.n);
}

void OutlineFactors(DivSpec& spec, const Outline& o, Vec1<double>& f) {
  Require(o.nSeg >= 1 && o.n >= 2 * o.nSeg && o.pts.size() >= o.n,
          "OutlineFactors: malformed outline, nSeg=" + std::to_string(o.nSeg) + " n=" + std::to_string(o.n));
  const int n = 2 * o.nSeg;
  SetSizeLaw(spec, spec.images * std::fabs(OutlineSignedArea2(o)) / 2.0);
  f.assign(static_cast<std::size_t>(std::max(n, kMaxOutlinePoints)), 0.0);

  // Curvature factor of every segment on its middle point.
  constexpr double gauss[5] = {0.0, 0.5384693101, -0.5384693101, 0.9061798459, -0.9061798459};
  for (int j = 1; j <= o.nSeg; ++j) {
    const Quad q = QuadCoef(o.pts(2 * j - 1), o.pts(2 * j), o.pts(NextPt(2 * j, n)));
    double k = 0.0;
    for (double t : gauss) k += QuadCurvature(q, t);
    k *= 0.2;
    f(2 * j) = 1.0 / RelativeSize(spec, k);
  }
  // End points: mean of the two neighbouring middle points.
  for (int j = 1; j <= n; j += 2) f(j) = (f(j == 1 ? n : j - 1) + f(j + 1)) / 2.0;

  // Spreading: a point takes the largest influence of stronger points nearby.
  const double a = 3.5 * spec.h0;
  const double a2 = a * a;
  std::vector<double> g(static_cast<std::size_t>(n));
  for (int i = 1; i <= n; ++i) {
    double best = 0.0;
    for (int j = 1; j <= n; ++j) {
      if (j == i || f(j) < f(i)) continue;
      const double d2 = Dist2(o.pts(i), o.pts(j));
      if (d2 > a2) continue;
      const double w = (a - std::sqrt(d2)) / a;
      best = std::max(best, (f(j) - f(i)) * (w * w) * (w * w));
    }
    g[static_cast<std::size_t>(i - 1)] = f(i) + best;
  }
  for (int i = 1; i <= n; ++i) f(i) = g[static_cast<std::size_t>(i - 1)];
}

void ApplyFactorMode(int mode, Vec1<double>& f) {
  if (mode == 1) {
    for (double& v : f) v = std::pow(v, static_cast<double>(0.2f));
  } else if (mode == 3) {
    for (double& v : f) v = 0.2 * std::sqrt(v);
  }
}

Point2 QuadPoint(const Point2& a, const Point2& b, const Point2& c, double t) {
  const double wa = 0.5 * t * (t - 1.0);
  const double wb = 1.0 - t * t;
  const double wc = 0.5 * t * (t + 1.0);
  return {wa * a[0] + wb * b[0] + wc * c[0], wa * a[1] + wb * b[1] + wc * c[1]};
}

double NearestOnQuad(const Point2& pa, const Point2& pb, const Point2& pc, const Point2& m, double tlo,
                     double thi, double& t) {
  // Stationary points of |X(t) - m|^2 are the real roots of the cubic
  // p(t) = (X - m) . X' = c3 t^3 + c2 t^2 + c1 t + c0.
  const Quad q = QuadCoef(pa, pb, pc);
  const Point2 w = {q.c[0] - m[0], q.c[1] - m[1]};
  const double aa = q.a[0] * q.a[0] + q.a[1] * q.a[1];
  const double ab = q.a[0] * q.b[0] + q.a[1] * q.b[1];
  const double bb = q.b[0] * q.b[0] + q.b[1] * q.b[1];
  const double aw = q.a[0] * w[0] + q.a[1] * w[1];
  const double bw = q.b[0] * w[0] + q.b[1] * w[1];
  const double c3 = 2.0 * aa, c2 = 3.0 * ab, c1 = bb + 2.0 * aw, c0 = bw;
  auto p = [&](double s) { return ((c3 * s + c2) * s + c1) * s + c0; };
  auto g = [&](double s) {
    const double x = (q.a[0] * s + q.b[0]) * s + w[0];
    const double y = (q.a[1] * s + q.b[1]) * s + w[1];
    return x * x + y * y;
  };

  // Break points: interval ends and the extrema of p (roots of p').
  double brk[4] = {tlo, thi, tlo, tlo};
  int nb = 2;
  const double qa = 3.0 * c3, qb = 2.0 * c2, qc = c1;
  if (qa != 0.0) {
    const double disc = qb * qb - 4.0 * qa * qc;
    if (disc > 0.0) {
      const double sq = std::sqrt(disc);
      const double r1 = (-qb - sq) / (2.0 * qa);
      const double r2 = (-qb + sq) / (2.0 * qa);
      if (r1 > tlo && r1 < thi) brk[nb++] = r1;
      if (r2 > tlo && r2 < thi) brk[nb++] = r2;
    }
  } else if (qb != 0.0) {
    const double r = -qc / qb;
    if (r > tlo && r < thi) brk[nb++] = r;
  }
  std::sort(brk, brk + nb);

  double bestT = tlo;
  double best = g(tlo);
  auto consider = [&](double s) {
    const double v = g(s);
    if (v < best) {
      best = v;
      bestT = s;
    }
  };
  consider(thi);
  for (int k = 0; k + 1 < nb; ++k) {
    double lo = brk[k], hi = brk[k + 1];
    double plo = p(lo), phi = p(hi);
    if (plo == 0.0) consider(lo);
    if (phi == 0.0) consider(hi);
    if ((plo < 0.0) == (phi < 0.0) || plo == 0.0 || phi == 0.0) continue;
    for (int it = 0; it < 200 && hi - lo > 1e-15; ++it) {  // p is monotone on [lo, hi]
      const double mid = 0.5 * (lo + hi);
      const double pm = p(mid);
      if ((pm < 0.0) == (plo < 0.0)) {
        lo = mid;
        plo = pm;
      } else {
        hi = mid;
      }
    }
    consider(0.5 * (lo + hi));
  }
  t = bestT;
  return best;
}

void RedistributeOutline(const Outline& in, const Vec1<double>& f, const DivSpec& spec, Outline& out,
                         const WallBound* wall) {
  const int nSeg = in.nSeg;
  const int n = 2 * nSeg;
  Require(nSeg >= 1 && in.pts.size() >= n && f.size() >= n && spec.h0 > 0.0,
          "ResampleOutline: malformed outline or size law, nSeg=" + std::to_string(nSeg));

  // Arc-length integral of f along every input segment, kept per step.
  const double dt = 2.0 / kStepsPerSegment;
  const double gp = 0.5 / std::sqrt(3.0);  // two-point Gauss offsets within a step, in units of dt
  std::vector<double> cum(static_cast<std::size_t>(nSeg) * (kStepsPerSegment + 1));
  std::vector<int> e(static_cast<std::size_t>(nSeg));
  std::vector<Quad> quads(static_cast<std::size_t>(nSeg));
  long total = 0;
  // Factor of the wall bound, h0 / (wscale bound), at kWallKnots + 1
  // parameters of a segment and linear in between.  An outline that would
  // exceed its capacity under the bound is integrated again with the bound
  // enlarged by the excess (plus 5 %).
  constexpr int kWallKnots = 64;
  std::vector<double> wf(kWallKnots + 1, 0.0);
  const bool bounded = wall != nullptr && !wall->Empty();
  // Integrals and segment counts of all input segments, the bound enlarged by wscale.
  auto integrateAll = [&](double wscale) {
    total = 0;
    for (int j = 1; j <= nSeg; ++j) {
      const int ia = 2 * j - 1, ib = 2 * j, ic = NextPt(ib, n);
      const Quad q = QuadCoef(in.pts(ia), in.pts(ib), in.pts(ic));
      quads[static_cast<std::size_t>(j - 1)] = q;
      const double fa = f(ia), fb = f(ib), fc = f(ic);
      if (bounded)
        for (int k = 0; k <= kWallKnots; ++k) {
          const double t = -1.0 + 2.0 * k / kWallKnots;
          wf[static_cast<std::size_t>(k)] =
              spec.h0 / (wscale * WallSize(*wall, {(q.a[0] * t + q.b[0]) * t + q.c[0], (q.a[1] * t + q.b[1]) * t + q.c[1]}));
        }
      auto integrand = [&](double t) {
        const double dx = 2.0 * q.a[0] * t + q.b[0];
        const double dy = 2.0 * q.a[1] * t + q.b[1];
        // The factor varies linearly between the end points and the middle point.
        double fv = t < 0.0 ? fb + (fb - fa) * t : fb + (fc - fb) * t;
        if (bounded) {
          const double u = (t + 1.0) * 0.5 * kWallKnots;
          const int k = std::clamp(static_cast<int>(u), 0, kWallKnots - 1);
          const double w = wf[static_cast<std::size_t>(k)] +
                           (u - k) * (wf[static_cast<std::size_t>(k + 1)] - wf[static_cast<std::size_t>(k)]);
          fv = std::max(fv, w);
        }
        return fv * std::sqrt(dx * dx + dy * dy);
      };
      double* c = cum.data() + static_cast<std::size_t>(j - 1) * (kStepsPerSegment + 1);
      c[0] = 0.0;
      for (int s = 0; s < kStepsPerSegment; ++s) {
        const double tm = -1.0 + (s + 0.5) * dt;
        c[s + 1] = c[s] + 0.5 * dt * (integrand(tm - gp * dt) + integrand(tm + gp * dt));
      }
      const double I = c[kStepsPerSegment];
      e[static_cast<std::size_t>(j - 1)] = std::max(1, static_cast<int>(std::lround(I / spec.h0)));
      total += e[static_cast<std::size_t>(j - 1)];
    }
  };
  double wscale = 1.0;
  integrateAll(wscale);
  for (int attempt = 1; bounded && attempt <= 6 && 2 * total > kMaxOutlinePoints; ++attempt) {
    wscale *= 1.05 * (2.0 * total) / kMaxOutlinePoints;
    integrateAll(wscale);
  }
  Require(2 * total <= kMaxOutlinePoints,
          "ResampleOutline: resampled outline needs " + std::to_string(2 * total) +
              " points, more than the capacity of " + std::to_string(kMaxOutlinePoints));

  // Segment end points at equal increments of the integral.
  std::vector<Point2> ends;
  ends.reserve(static_cast<std::size_t>(total));
  std::vector<int> owner;  // input segment of every new segment
  owner.reserve(static_cast<std::size_t>(total));
  for (int j = 1; j <= nSeg; ++j) {
    const Quad& q = quads[static_cast<std::size_t>(j - 1)];
    const double* c = cum.data() + static_cast<std::size_t>(j - 1) * (kStepsPerSegment + 1);
    const double I = c[kStepsPerSegment];
    const int ej = e[static_cast<std::size_t>(j - 1)];
    const double inc = ej < 2 ? (I + 1.0e-4 * I) / 2.0 : (I + 1.0e-5 * spec.h0) / ej / 2.0;
    ends.push_back(in.pts(2 * j - 1));
    owner.push_back(j);
    int s = 0;
    for (int m = 1;; ++m) {
      const double target = 2.0 * inc * m;
      if (target >= I) break;
      while (s < kStepsPerSegment && c[s + 1] < target) ++s;
      const double span = c[s + 1] - c[s];
      const double frac = span > 0.0 ? (target - c[s]) / span : 0.0;
      const double t = -1.0 + (s + frac) * dt;
      ends.push_back({(q.a[0] * t + q.b[0]) * t + q.c[0], (q.a[1] * t + q.b[1]) * t + q.c[1]});
      owner.push_back(j);
    }
  }
  const int nOut = static_cast<int>(ends.size());
  Require(2 * nOut <= kMaxOutlinePoints,
          "ResampleOutline: resampled outline needs " + std::to_string(2 * nOut) +
              " points, more than the capacity of " + std::to_string(kMaxOutlinePoints));

  out.nSeg = nOut;
  out.n = 2 * nOut;
  out.pts.assign(static_cast<std::size_t>(out.n));
  out.mark.assign(static_cast<std::size_t>(out.n), -1);
  for (int k = 1; k <= nOut; ++k) {
    const Point2& p = ends[static_cast<std::size_t>(k - 1)];
    const Point2& r = ends[static_cast<std::size_t>(k == nOut ? 0 : k)];
    const Point2 mid = {0.5 * (p[0] + r[0]), 0.5 * (p[1] + r[1])};
    // Nearest point of the input curve to the chord middle, over all input
    // segments in order (first strictly nearest wins); the owning segment is
    // evaluated first so that its distance bounds the box test of the others.
    const int own = owner[static_cast<std::size_t>(k - 1)];
    double tOwn = 0.0;
    const double dOwn = NearestOnQuad(in.pts(2 * own - 1), in.pts(2 * own), in.pts(NextPt(2 * own, n)), mid,
                                      kNearLo, kNearHi, tOwn);
    const double start = 1000.0 * 1000.0;
    const double bound = std::min(dOwn, start);
    double best = start;
    Point2 bestP = mid;
    for (int j = 1; j <= nSeg; ++j) {
      double d2, t;
      if (j == own) {
        d2 = dOwn;
        t = tOwn;
      } else {
        if (BoxDist2(quads[static_cast<std::size_t>(j - 1)], kNearLo, kNearHi, mid) > bound) continue;
        d2 = NearestOnQuad(in.pts(2 * j - 1), in.pts(2 * j), in.pts(NextPt(2 * j, n)), mid, kNearLo, kNearHi, t);
      }
      if (d2 < best) {
        best = d2;
        bestP = QuadPoint(in.pts(2 * j - 1), in.pts(2 * j), in.pts(NextPt(2 * j, n)), t);
      }
    }
    out.pts(2 * k - 1) = p;
    out.pts(2 * k) = bestP;
  }
}

void ResampleOutline(int mode, Outline& in, Outline& out, DivSpec& spec, const WallBound* wall) {
  OrientOutline(1, in);
  Vec1<double> f;
  OutlineFactors(spec, in, f);
  ApplyFactorMode(mode, f);
  RedistributeOutline(in, f, spec, out, wall);
}
