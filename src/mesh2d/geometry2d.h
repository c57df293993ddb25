#pragma once
// Small plane-geometry helpers of the cross-section routines.

#include <vector>

#include "core/section.h"

// Twice the signed area of the triangle (o, a, b): positive when it runs
// counter-clockwise.
inline double Cross(const Point2& o, const Point2& a, const Point2& b) {
  return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
}

// Squared distance of two points.
inline double Dist2(const Point2& p, const Point2& q) {
  const double dx = p[0] - q[0];
  const double dy = p[1] - q[1];
  return dx * dx + dy * dy;
}

// Bounding box of the nodes of a mesh (all zero for an empty mesh).
inline void MeshBox(const Mesh2d& m, double& xmin, double& xmax, double& ymin, double& ymax) {
  xmin = xmax = ymin = ymax = 0.0;
  for (int i = 1; i <= m.nh; ++i) {
    const Point2& p = m.xy(i);
    if (i == 1 || p[0] < xmin) xmin = p[0];
    if (i == 1 || p[0] > xmax) xmax = p[0];
    if (i == 1 || p[1] < ymin) ymin = p[1];
    if (i == 1 || p[1] > ymax) ymax = p[1];
  }
}

// Closed outline through the given points (segment start and middle points
// alternately), all marks -1.
inline Outline OutlineFromPoints(const std::vector<Point2>& p) {
  Outline o;
  o.n = static_cast<int>(p.size());
  o.nSeg = o.n / 2;
  o.pts.assign(p.size());
  o.mark.assign(p.size(), -1);
  for (int i = 1; i <= o.n; ++i) o.pts(i) = p[static_cast<std::size_t>(i - 1)];
  return o;
}
