#pragma once
// Outline fixtures of the block-mesher tests and the standard finishing order
// of one block (resample, mesh, flag, smooth).

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

#include "core/section.h"
#include "mesh2d/block_mesh.h"
#include "mesh2d/block_ops.h"
#include "mesh2d/geometry2d.h"
#include "mesh2d/measures.h"
#include "mesh2d/resample.h"

namespace fixtures {

// Circle of radius r about (cx, cy), nSeg quadratic segments, counter-clockwise.
inline Outline Circle(double r, int nSeg, double cx = 0.0, double cy = 0.0) {
  std::vector<Point2> p;
  for (int k = 0; k < 2 * nSeg; ++k) {
    const double a = std::numbers::pi * k / nSeg;
    p.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
  }
  return OutlineFromPoints(p);
}

// Closed polygon with straight quadratic segments no longer than `segLen`
// (each side split evenly); corners stay segment end points.
inline Outline Polygon(const std::vector<Point2>& corners, double segLen) {
  std::vector<Point2> p;
  const std::size_t m = corners.size();
  for (std::size_t i = 0; i < m; ++i) {
    const Point2& a = corners[i];
    const Point2& b = corners[(i + 1) % m];
    const double len = std::hypot(b[0] - a[0], b[1] - a[1]);
    const int k = std::max(1, static_cast<int>(std::ceil(len / segLen - 1e-9)));
    for (int j = 0; j < 2 * k; ++j) {
      const double t = static_cast<double>(j) / (2 * k);
      p.push_back({a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1])});
    }
  }
  return OutlineFromPoints(p);
}

inline Outline Square(double side, double segLen = 2.0) {
  return Polygon({{0, 0}, {side, 0}, {side, side}, {0, side}}, segLen);
}
inline Outline Rect40x4() { return Polygon({{0, 0}, {40, 0}, {40, 4}, {0, 4}}, 2.0); }
// L-angle 30 x 30 with legs 3 mm thick.
inline Outline LAngle() { return Polygon({{0, 0}, {30, 0}, {30, 3}, {3, 3}, {3, 30}, {0, 30}}, 2.0); }
// U-channel 40 wide, 30 high, webs 4 thick, base 5 thick.
inline Outline UChannel() {
  return Polygon({{0, 0}, {40, 0}, {40, 30}, {36, 30}, {36, 5}, {4, 5}, {4, 30}, {0, 30}}, 2.0);
}

// Point at radius r and angle deg (degrees) about the origin.
inline Point2 Polar(double r, double deg) {
  const double a = deg * std::numbers::pi / 180.0;
  return {r * std::cos(a), r * std::sin(a)};
}

// Points from `from` towards `to` (from included, to excluded) in six steps
// that each are `ratio` times the one before.
inline void GradedLine(const Point2& from, const Point2& to, double ratio, std::vector<Point2>& p) {
  double sum = 0.0, step = 1.0;
  for (int k = 0; k < 6; ++k, step *= ratio) sum += step;
  double t = 0.0;
  step = 1.0;
  for (int k = 0; k < 6; ++k, step *= ratio) {
    p.push_back({from[0] + t / sum * (to[0] - from[0]), from[1] + t / sum * (to[1] - from[1])});
    t += step;
  }
}

// Half of the ring between a circle of radius 30 and the reduced, rounded
// container of radius 60 around it, as the ring splitting cuts it (clockwise):
// a cut line graded from the outer to the inner spacing, the inner arc in 15
// segments of 11.25 degrees (bulging into the block), the second cut, and
// the outer arc in six long segments.  The strong size gradient used to leave
// an interior corner next to a curved inner segment that folded its element.
inline Outline CoarseRingHalf() {
  std::vector<Point2> p;
  GradedLine(Polar(60, 97.5), Polar(30, 101.25), 0.903, p);
  for (int k = 0; k <= 30; ++k) p.push_back(Polar(30, 101.25 + 5.625 * k));
  p.pop_back();
  GradedLine(Polar(30, 270), Polar(60, 270), 1.0 / 0.903, p);
  for (double deg : {270.0, 258.75, 247.5, 232.5, 217.5, 202.5, 187.5, 172.5, 157.5, 142.5, 127.5, 112.5})
    p.push_back(Polar(60, deg));
  return OutlineFromPoints(p);
}

// Area enclosed by the piecewise-quadratic outline curve: the polygon of the
// segment end points plus, per segment, the parabolic segment between chord
// and curve, 4/3 of the triangle (start, middle, end) (Archimedes).
inline double EnclosedArea(const Outline& o) {
  auto cross = [](const Point2& a, const Point2& b) { return a[0] * b[1] - b[0] * a[1]; };
  double a2 = 0.0;
  for (int k = 1; k <= o.nSeg; ++k) {
    const Point2& p = o.pts(2 * k - 1);
    const Point2& m = o.pts(2 * k);
    const Point2& q = o.pts(k == o.nSeg ? 1 : 2 * k + 1);
    const double tri2 = (m[0] - p[0]) * (q[1] - p[1]) - (m[1] - p[1]) * (q[0] - p[0]);
    a2 += cross(p, q) + 4.0 / 3.0 * tri2;
  }
  return std::fabs(a2) / 2.0;
}

// One block through the finishing order of the cross-section driver.
struct Block {
  Outline outline;   // resampled outline
  BlockWork work;    // generator work record with the final mesh
  double kritRaw = 0;  // quality straight from the generator
  double krit = 0;     // quality after flagging and smoothing
};

inline Block MeshBlock(Outline raw, int S, int capacity = kMaxBlockNodes, int meshPair = -1) {
  Block b;
  DivSpec rs;
  rs.c1 = rs.c2 = S;
  ResampleOutline(1, raw, b.outline, rs);
  for (int i = 1; i <= b.outline.n; ++i) b.outline.mark(i) = -1;
  BuildBlock(b.outline, meshPair > 0 ? meshPair : S + 4, meshPair > 0 ? meshPair : S + 4, b.work, capacity);
  b.kritRaw = MeshKrit(b.work.blockMesh);
  FlagMesh(b.work.blockMesh, b.outline);
  SmoothMesh(b.work.blockMesh);
  b.krit = MeshKrit(b.work.blockMesh);
  return b;
}

// Mesh of 6-node triangles from corner points and counter-clockwise corner
// triangles: one mid-side node at the middle of every distinct edge (final
// column order: 4 on 3-1, 5 on 1-2, 6 on 2-3), marks 0, flags from the
// topological boundary.
inline Mesh2d MakeMesh(const std::vector<Point2>& corners, const std::vector<std::array<int, 3>>& tris) {
  Mesh2d m;
  m.np = static_cast<int>(corners.size());
  m.ne = static_cast<int>(tris.size());
  m.nop.assign(6, m.ne, 0);
  std::vector<Point2> xy(corners);
  std::vector<std::array<int, 3>> edges;  // lo, hi, node
  std::vector<int> uses;
  auto midNode = [&](int a, int b) {
    const int lo = std::min(a, b), hi = std::max(a, b);
    for (std::size_t k = 0; k < edges.size(); ++k)
      if (edges[k][0] == lo && edges[k][1] == hi) {
        ++uses[k];
        return edges[k][2];
      }
    xy.push_back({0.5 * (xy[static_cast<std::size_t>(a - 1)][0] + xy[static_cast<std::size_t>(b - 1)][0]),
                  0.5 * (xy[static_cast<std::size_t>(a - 1)][1] + xy[static_cast<std::size_t>(b - 1)][1])});
    edges.push_back({lo, hi, static_cast<int>(xy.size())});
    uses.push_back(1);
    return static_cast<int>(xy.size());
  };
  for (int e = 1; e <= m.ne; ++e) {
    const auto& t = tris[static_cast<std::size_t>(e - 1)];
    for (int k = 1; k <= 3; ++k) m.nop(k, e) = t[static_cast<std::size_t>(k - 1)];
    m.nop(4, e) = midNode(t[2], t[0]);
    m.nop(5, e) = midNode(t[0], t[1]);
    m.nop(6, e) = midNode(t[1], t[2]);
  }
  m.nh = static_cast<int>(xy.size());
  m.xy.assign(xy.size());
  for (int i = 1; i <= m.nh; ++i) m.xy(i) = xy[static_cast<std::size_t>(i - 1)];
  m.mark.assign(xy.size(), 0);
  m.flag.assign(xy.size(), 0);
  for (int i = 1; i <= m.np; ++i) m.flag(i) = 64;
  for (std::size_t k = 0; k < edges.size(); ++k)
    if (uses[k] == 1) {
      m.flag(edges[k][0]) = m.flag(edges[k][1]) = 65;
      m.flag(edges[k][2]) = 1;
    }
  return m;
}

}  // namespace fixtures
