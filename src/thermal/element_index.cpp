#include "thermal/element_index.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

// Corner triangle (x, y of corners 1, 2, 3) and z range of the six
// corners of element e.
void ElementGeometry(const Mesh3d& g, int e, double c[6], double& zmin, double& zmax) {
  zmin = 0;
  zmax = 0;
  for (int k = 1; k <= 6; ++k) {
    const int n = std::abs(g.nop(k, e));
    const double z = g.xyz(3, n);
    if (k == 1 || z > zmax) zmax = z;
    if (k == 1 || z < zmin) zmin = z;
    if (k <= 3) {
      c[2 * (k - 1)] = g.xyz(1, n);
      c[2 * (k - 1) + 1] = g.xyz(2, n);
    }
  }
}

// Mismatch with the rounding of Heron's formula: for a point within the
// reach of a triangle of perimeter P every area carries an absolute error
// of about sqrt(eps) P^2; kRoundCoef P^2 bounds the sum of the four with a
// margin of ten.
constexpr double kRoundCoef = 4e-6;

// Cell of coordinate v on an axis of n cells of size h from v0, clamped.
int CellOf(double v, double v0, double h, int n) {
  const double t = (v - v0) / h;
  if (!(t >= 0.0)) return 0;
  if (t >= static_cast<double>(n)) return n - 1;
  const int i = static_cast<int>(t);
  return i < n ? i : n - 1;
}

// Scan order rule of the fallback: the smaller mismatch, the later element
// on equal mismatch; mismatches above the starting value 1e10 never count.
inline void KeepBest(double m, int e, double& best, int& bestE) {
  if (m < best || (m == best && e > bestE)) {
    best = m;
    bestE = e;
  }
}

}  // namespace

double HeronArea(double x1, double y1, double x2, double y2, double x3, double y3) {
  const double a = std::sqrt((x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1));
  const double b = std::sqrt((x3 - x2) * (x3 - x2) + (y3 - y2) * (y3 - y2));
  const double c = std::sqrt((x1 - x3) * (x1 - x3) + (y1 - y3) * (y1 - y3));
  const double s = 0.5 * (a + b + c);
  return std::sqrt(std::fabs(s * (s - a) * (s - b) * (s - c)));
}

double TriangleMismatch(const double c[6], double a0, double px, double py) {
  const double a1 = HeronArea(px, py, c[0], c[1], c[4], c[5]);
  const double a2 = HeronArea(px, py, c[2], c[3], c[4], c[5]);
  const double a3 = HeronArea(px, py, c[0], c[1], c[2], c[3]);
  return std::fabs(std::fabs(a1 + a2 + a3) - std::fabs(a0));
}

int FindElementScan(const Mesh3d& g, double x, double y, double z) {
  double best = 1e10;
  int bestE = 0;
  for (int e = 1; e <= g.ne; ++e) {
    double c[6], zmin, zmax;
    ElementGeometry(g, e, c, zmin, zmax);
    if (!(zmin - kZMargin <= z && z <= zmax + kZMargin)) continue;
    const double a0 = HeronArea(c[0], c[1], c[2], c[3], c[4], c[5]);
    const double m = TriangleMismatch(c, a0, x, y);
    if (m <= best) {
      if (m <= kMismatchTol) return e;
      best = m;
      bestE = e;
    }
  }
  return bestE;
}

void BuildElementIndex(const Mesh3d& g, ElementIndex& idx) {
  idx = ElementIndex{};
  const int ne = g.ne;
  idx.ne = ne;
  const std::size_t n = static_cast<std::size_t>(ne < 0 ? 0 : ne);
  idx.tri.resize(6 * n);
  idx.area.resize(n);
  idx.zlo.resize(n);
  idx.zhi.resize(n);
  idx.box.resize(4 * n);
  idx.kap.assign(n, 0.0);
  idx.per.assign(n, 0.0);
  std::vector<char> listed(n, 0);

  // Per element: triangle, area, widened z range and the (x, y) reach box.
  // The points of mismatch at most t form the hexagon with vertices
  // c_i + (tau/2)(c_i - c_j), tau = t / A, inside the bounding box widened
  // by tau/2 times its width and height.  Elements with tau >= 1 (area at
  // most t) are not bounded that way and are tested for every point.
  double sx = 0, sy = 0, sz = 0;
  int nl = 0;
  idx.kappa = 1e300;
  for (int e = 1; e <= ne; ++e) {
    const std::size_t k = static_cast<std::size_t>(e - 1);
    double* c = &idx.tri[6 * k];
    double zmin, zmax;
    ElementGeometry(g, e, c, zmin, zmax);
    idx.zlo[k] = zmin - kZMargin;
    idx.zhi[k] = zmax + kZMargin;
    const double a0 = HeronArea(c[0], c[1], c[2], c[3], c[4], c[5]);
    idx.area[k] = a0;
    const double xlo = std::min({c[0], c[2], c[4]}), xhi = std::max({c[0], c[2], c[4]});
    const double ylo = std::min({c[1], c[3], c[5]}), yhi = std::max({c[1], c[3], c[5]});
    const double P = std::hypot(c[2] - c[0], c[3] - c[1]) + std::hypot(c[4] - c[2], c[5] - c[3]) +
                     std::hypot(c[0] - c[4], c[1] - c[5]);
    const double t = kMismatchTol + kRoundCoef * P * P;
    double* b = &idx.box[4 * k];
    if (!(a0 > t) || !std::isfinite(P) || !std::isfinite(zmin) || !std::isfinite(zmax)) {
      idx.always.push_back(e);
      b[0] = xlo;
      b[1] = xhi;
      b[2] = ylo;
      b[3] = yhi;
      continue;
    }
    const double half = 0.5 * t / a0;
    const double wx = xhi - xlo, wy = yhi - ylo;
    const double pad = 1e-9 * (1.0 + std::max({std::fabs(xlo), std::fabs(xhi), std::fabs(ylo), std::fabs(yhi)}));
    b[0] = xlo - half * wx - pad;
    b[1] = xhi + half * wx + pad;
    b[2] = ylo - half * wy - pad;
    b[3] = yhi + half * wy + pad;
    listed[k] = 1;
    ++nl;
    idx.kap[k] = 2.0 * a0 / std::max(wx, wy);
    idx.per[k] = P;
    idx.kappa = std::min(idx.kappa, idx.kap[k]);
    idx.perim = std::max(idx.perim, P);
    sx += b[1] - b[0];
    sy += b[3] - b[2];
    sz += idx.zhi[k] - idx.zlo[k];
  }
  if (nl == 0) return;

  // Grid: cells about the mean size of the listed boxes, at most about two
  // cells per listed element.
  double X0 = 1e300, X1 = -1e300, Y0 = 1e300, Y1 = -1e300, Z0 = 1e300, Z1 = -1e300;
  for (std::size_t k = 0; k < n; ++k) {
    if (!listed[k]) continue;
    const double* b = &idx.box[4 * k];
    X0 = std::min(X0, b[0]);
    X1 = std::max(X1, b[1]);
    Y0 = std::min(Y0, b[2]);
    Y1 = std::max(Y1, b[3]);
    Z0 = std::min(Z0, idx.zlo[k]);
    Z1 = std::max(Z1, idx.zhi[k]);
  }
  const double ext[3] = {X1 - X0, Y1 - Y0, Z1 - Z0};
  double h[3] = {sx / nl, sy / nl, sz / nl};
  int cnt[3];
  const double cap = 2.0 * nl + 8.0;
  for (int pass = 0; pass < 2; ++pass) {
    double total = 1;
    for (int a = 0; a < 3; ++a) {
      const double c = std::ceil(ext[a] / h[a]);
      cnt[a] = static_cast<int>(std::clamp(std::isfinite(c) ? c : 1.0, 1.0, 4096.0));
      total *= cnt[a];
    }
    if (total <= cap) break;
    const double f = std::cbrt(total / cap);
    for (double& v : h) v *= f;
  }
  idx.nx = cnt[0];
  idx.ny = cnt[1];
  idx.nz = cnt[2];
  idx.x0 = X0;
  idx.y0 = Y0;
  idx.z0 = Z0;
  idx.hx = ext[0] > 0 ? ext[0] / idx.nx : 1.0;
  idx.hy = ext[1] > 0 ? ext[1] / idx.ny : 1.0;
  idx.hz = ext[2] > 0 ? ext[2] / idx.nz : 1.0;

  // Cell lists in element order (compressed rows).
  const std::size_t ncell = static_cast<std::size_t>(idx.nx) * idx.ny * idx.nz;
  idx.start.assign(ncell + 1, 0);
  auto forCells = [&](std::size_t k, auto&& f) {
    const double* b = &idx.box[4 * k];
    const int i0 = CellOf(b[0], idx.x0, idx.hx, idx.nx), i1 = CellOf(b[1], idx.x0, idx.hx, idx.nx);
    const int j0 = CellOf(b[2], idx.y0, idx.hy, idx.ny), j1 = CellOf(b[3], idx.y0, idx.hy, idx.ny);
    const int l0 = CellOf(idx.zlo[k], idx.z0, idx.hz, idx.nz), l1 = CellOf(idx.zhi[k], idx.z0, idx.hz, idx.nz);
    for (int l = l0; l <= l1; ++l)
      for (int j = j0; j <= j1; ++j)
        for (int i = i0; i <= i1; ++i)
          f((static_cast<std::size_t>(l) * idx.ny + j) * idx.nx + i);
  };
  for (std::size_t k = 0; k < n; ++k)
    if (listed[k]) forCells(k, [&](std::size_t cell) { ++idx.start[cell + 1]; });
  for (std::size_t c = 0; c < ncell; ++c) idx.start[c + 1] += idx.start[c];
  idx.items.resize(static_cast<std::size_t>(idx.start[ncell]));
  std::vector<int32_t> fill(idx.start.begin(), idx.start.end() - 1);
  for (std::size_t k = 0; k < n; ++k)
    if (listed[k])
      forCells(k, [&](std::size_t cell) { idx.items[static_cast<std::size_t>(fill[cell]++)] = static_cast<int32_t>(k + 1); });
}

int FindElement(const ElementIndex& idx, const Mesh3d& g, double x, double y, double z) {
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z) || idx.ne != g.ne)
    return FindElementScan(g, x, y, z);

  auto zPass = [&](std::size_t k) { return idx.zlo[k] <= z && z <= idx.zhi[k]; };
  auto mismatch = [&](std::size_t k) { return TriangleMismatch(&idx.tri[6 * k], idx.area[k], x, y); };

  // First element in element order within the threshold.  Only elements
  // whose reach box holds the point can be within it; they are all listed
  // in the point's cell.
  int first = INT_MAX;
  for (const int32_t e : idx.always) {
    const std::size_t k = static_cast<std::size_t>(e - 1);
    if (zPass(k) && mismatch(k) <= kMismatchTol) {
      first = e;
      break;
    }
  }
  const bool inGridZ = idx.nx > 0 && z >= idx.z0 && z <= idx.z0 + idx.nz * idx.hz + idx.hz;
  int ix0 = 0, iy0 = 0, iz = 0;
  if (idx.nx > 0) {
    ix0 = CellOf(x, idx.x0, idx.hx, idx.nx);
    iy0 = CellOf(y, idx.y0, idx.hy, idx.ny);
    iz = CellOf(z, idx.z0, idx.hz, idx.nz);
  }
  auto cellAt = [&](int i, int j) { return (static_cast<std::size_t>(iz) * idx.ny + j) * idx.nx + i; };
  if (inGridZ) {
    const std::size_t cell = cellAt(ix0, iy0);
    for (int32_t p = idx.start[cell]; p < idx.start[cell + 1]; ++p) {
      const int e = idx.items[static_cast<std::size_t>(p)];
      if (e >= first) break;
      const std::size_t k = static_cast<std::size_t>(e - 1);
      const double* b = &idx.box[4 * k];
      if (x < b[0] || x > b[1] || y < b[2] || y > b[3] || !zPass(k)) continue;
      if (mismatch(k) <= kMismatchTol) {
        first = e;
        break;
      }
    }
  }
  if (first != INT_MAX) return first;

  // No element within the threshold: smallest mismatch over all elements
  // that pass the z test, by rings of cells around the point's cell.
  double best = 1e10;
  int bestE = 0;
  for (const int32_t e : idx.always) {
    const std::size_t k = static_cast<std::size_t>(e - 1);
    if (zPass(k)) KeepBest(mismatch(k), e, best, bestE);
  }
  if (!inGridZ) return bestE;

  // An element not yet seen lies at an axis distance G of at least the gap
  // to the visited block; its mismatch is at least kappa G less the
  // rounding kRoundCoef (P + 1.5 G)^2.  That bound grows with G as long as
  // kappa > 3 kRoundCoef (P + 1.5 G); beyond the farthest possible G the
  // search runs over the whole slab.
  const double gx = std::max({0.0, idx.x0 - x, x - (idx.x0 + idx.nx * idx.hx)});
  const double gy = std::max({0.0, idx.y0 - y, y - (idx.y0 + idx.ny * idx.hy)});
  const double gmax = std::hypot(gx, gy) + std::hypot(idx.nx * idx.hx, idx.ny * idx.hy);
  const bool monotone = idx.kappa > 3.0 * kRoundCoef * (idx.perim + 1.5 * gmax);
  // The same bound per element skips the area evaluation of elements that
  // cannot reach the best mismatch (elements are listed in several cells).
  auto visit = [&](int i, int j) {
    const std::size_t cell = cellAt(i, j);
    for (int32_t p = idx.start[cell]; p < idx.start[cell + 1]; ++p) {
      const int e = idx.items[static_cast<std::size_t>(p)];
      const std::size_t k = static_cast<std::size_t>(e - 1);
      if (!zPass(k)) continue;
      const double* b = &idx.box[4 * k];
      const double g = std::max({0.0, b[0] - x, x - b[1], b[2] - y, y - b[3]});
      if (g > 0.0) {
        const double q = idx.per[k] + 1.5 * g;
        if (idx.kap[k] * g - kRoundCoef * q * q > best) continue;
      }
      KeepBest(mismatch(k), e, best, bestE);
    }
  };
  for (int r = 0;; ++r) {
    const int ia = ix0 - r, ib = ix0 + r, ja = iy0 - r, jb = iy0 + r;
    for (int j = std::max(ja, 0); j <= std::min(jb, idx.ny - 1); ++j) {
      if (j == ja || j == jb) {
        for (int i = std::max(ia, 0); i <= std::min(ib, idx.nx - 1); ++i) visit(i, j);
      } else {
        if (ia >= 0) visit(ia, j);
        if (ib <= idx.nx - 1 && ib != ia) visit(ib, j);
      }
    }
    const bool left = ia <= 0, right = ib >= idx.nx - 1, low = ja <= 0, high = jb >= idx.ny - 1;
    if (left && right && low && high) break;
    if (!monotone) continue;
    double gap = 1e300;
    const double tiny = 1e-9 * (1.0 + std::fabs(x) + std::fabs(y) + std::fabs(idx.x0) + std::fabs(idx.y0) +
                                idx.nx * idx.hx + idx.ny * idx.hy);
    if (!left) gap = std::min(gap, x - (idx.x0 + ia * idx.hx));
    if (!right) gap = std::min(gap, idx.x0 + (ib + 1) * idx.hx - x);
    if (!low) gap = std::min(gap, y - (idx.y0 + ja * idx.hy));
    if (!high) gap = std::min(gap, idx.y0 + (jb + 1) * idx.hy - y);
    gap = std::max(0.0, gap - tiny);
    const double slack = kRoundCoef * (idx.perim + 1.5 * gap) * (idx.perim + 1.5 * gap);
    if (idx.kappa * gap - slack > best) break;
  }
  return bestE;
}
