#pragma once
// Measures of cross-section meshes and outlines: mesh quality, mesh area,
// outline diameter, distance range between two outlines, symmetry code and
// roundness, and the cross-section area through which the profile leaves
// the die.

#include "core/records.h"
#include "core/section.h"

// Quality of a mesh: the largest ratio (largest / smallest sine of the three
// corner angles) over all elements, starting from 1.  An element whose corner
// triangle is degenerate ((s-a)(s-b)(s-c) below 1e-4 with s the half
// perimeter) gives 1000 and ends the scan.  An empty mesh gives 1.
double MeshKrit(const Mesh2d& mesh);

// Area of a mesh: the sum over the 6-node elements of the area of the
// quadratic (isoparametric) triangle, the integral of |det J| over the
// reference triangle, exact with the three-point edge-midpoint rule because
// det J is quadratic.  For straight-sided elements this equals the sum of the
// four sub-triangles (corner 1, node 5, node 4), (5, corner 2, 6), (4, 5, 6),
// (4, 6, corner 3); for curved boundary elements it is the area the volume
// mesh actually has, so that the volume check and the exit-speed ratio see
// the same geometry as the finite elements.
double MeshArea(const Mesh2d& mesh);

// Unsigned area of a triangle by Heron's formula; 0 for a degenerate one.
double HeronArea(const Point2& a, const Point2& b, const Point2& c);

// Largest distance between two points of an outline (0 for fewer than two).
double MaxDistance(const Outline& o);

// Smallest and largest distance between a point of `a` and a point of `b`
// (1e10 and -1e10 when either outline is empty).
void DistanceRange(const Outline& a, const Outline& b, double& dmin, double& dmax);

// Symmetry code of an outline.  Points within 0.05 of the y axis get x = 0
// exactly.  The outline lies against an axis only when at least one whole
// segment (its start and end point) lies on that axis; then the code is
// 3 (both axes, exactly one point at the origin), 1 (x axis only),
// 2 (y axis only), 0 (neither) or -1 (any other combination).
int SymmetryCode(Outline& o);

// Roundness: the smallest over i = 1..n/2 of |p(i) - p(i + n/2)| divided by
// the largest; -1 when n/2 < 1.
double Roundness(const Outline& o);

// Cross-section area through which the profile leaves the die: mesh 1, or
// for a multi-hole die (nPiecesB >= 3 outlines) all its holes, meshes
// 1..nPiecesB-1, together.  `area1` is the area the caller takes for mesh 1.
inline double ProfileArea(const SectionSet& sections, double area1) {
  if (sections.nPiecesB < 3 || sections.Pieces2d.size() < sections.nPiecesB) return area1;
  double a = 0.0;
  for (int k = 1; k < sections.nPiecesB; ++k) a += sections.Pieces2d(k).area;
  return a;
}
