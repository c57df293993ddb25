#pragma once
// Point location in a mesh of 15-node wedges whose triangular faces lie in
// planes of constant z.
//
// An element "contains" the point (x, y, z) when z lies within 0.5 of the
// z range of its six corners and the point's (x, y) lies in the corner
// triangle (c1, c2, c3), measured by the area mismatch
//   m = | |A(p,c1,c3) + A(p,c2,c3) + A(p,c1,c2)| - |A(c1,c2,c3)| |
// with every area from Heron's formula.  The located element is the first
// element in element order with m <= 1e-4 (single-precision constant),
// otherwise the element of smallest mismatch (the later one on equal
// mismatch, only mismatches up to 1e10 count), otherwise 0.
//
// FindElementScan tests every element in order.  ElementIndex + FindElement
// give the same element for every point from a uniform grid over the
// elements' bounding boxes: an element is listed in every cell its box
// touches, the box widened in x and y far enough that no point outside it
// can reach a mismatch of 1e-4 even with the rounding of Heron's formula,
// and in z by the 0.5 margin.  Points that no element contains are settled
// by a ring search around the point, stopped by a lower bound of the
// mismatch of the elements not yet seen.

#include <cstdint>
#include <vector>

#include "core/records.h"

// Mismatch threshold of a containing element (the single-precision 1e-4).
inline constexpr double kMismatchTol = static_cast<double>(1e-4f);
// Margin of the z test, mm.
inline constexpr double kZMargin = 0.5;

// Heron's area sqrt(|s (s-a)(s-b)(s-c)|) of the triangle (x1,y1), (x2,y2),
// (x3,y3), s the half perimeter.
double HeronArea(double x1, double y1, double x2, double y2, double x3, double y3);

// Area mismatch of the point (px, py) against the triangle c (c[0..5] =
// x1, y1, x2, y2, x3, y3) of area a0 = HeronArea of c.
double TriangleMismatch(const double c[6], double a0, double px, double py);

// The element containing (x, y, z) by a scan over elements 1..ne of g in
// order; 0 when no element passes the z test.
int FindElementScan(const Mesh3d& g, double x, double y, double z);

// Search structure over the elements of one mesh.  Built per transfer and
// read-only afterwards; all storage is owned by the record.
struct ElementIndex {
  int ne = 0;                       // number of elements of the indexed mesh
  std::vector<double> tri;          // 6 per element (0-based e - 1): corner triangle x1, y1, x2, y2, x3, y3, mm
  std::vector<double> area;         // per element: Heron area of the corner triangle, mm^2
  std::vector<double> zlo, zhi;     // per element: z range of the corners widened by kZMargin, mm
  std::vector<double> box;          // 4 per element: xlo, xhi, ylo, yhi of the (x, y) reach box, mm
  std::vector<double> kap;          // per element: 2 A / max(width, height) of the corner triangle, mm
  std::vector<double> per;          // per element: perimeter of the corner triangle, mm
  std::vector<int32_t> always;      // elements too flat to bound (tested for every point), ascending, 1-based
  double x0 = 0, y0 = 0, z0 = 0;    // lower corner of the grid, mm
  double hx = 1, hy = 1, hz = 1;    // cell sizes, mm
  int nx = 0, ny = 0, nz = 0;       // cells per axis (0: no element indexed)
  std::vector<int32_t> start;       // cell c = (iz * ny + iy) * nx + ix lists items[start[c] .. start[c+1])
  std::vector<int32_t> items;       // element numbers, 1-based, ascending within a cell
  double kappa = 0;                 // smallest 2 A / max(width, height) of the listed elements, mm
  double perim = 0;                 // largest corner-triangle perimeter of the listed elements, mm
};

// Builds the index of the elements of g.
void BuildElementIndex(const Mesh3d& g, ElementIndex& idx);

// The element containing (x, y, z): the same element FindElementScan gives.
int FindElement(const ElementIndex& idx, const Mesh3d& g, double x, double y, double z);
