#pragma once
// Cross-section records: a closed piecewise-quadratic outline and a mesh of
// 6-node triangles.  Every cross-section routine works on these two records.

#include <array>
#include <cstdint>

#include "core/onebased.h"
#include "core/pivot_order.h"

// Largest number of points of one outline.
inline constexpr int kMaxOutlinePoints = 1000;
// Largest number of nodes and of elements of one block mesh.
inline constexpr int kMaxBlockNodes = 2500;
inline constexpr int kMaxBlockElems = 2500;

using Point2 = std::array<double, 2>;  // (x, y), mm

// One closed outline of quadratic segments.  Point 2k-1 starts segment k,
// point 2k is its middle point; the point after n is point 1.
struct Outline {
  int32_t nSeg = 0;    // number of quadratic segments
  int32_t n = 0;       // number of points, 2 * nSeg
  Vec1<Point2> pts;    // point coordinates, mm, 1..n
  Vec1<int32_t> mark;  // per-point mark of the node flagging, -1 before flagging, 1..n
};

// One cross-section mesh of 6-node triangles (also the record of a block mesh).
// Corner nodes are numbered 1..np, mid-side nodes np+1..nh.
struct Mesh2d {
  int32_t ne = 0;        // number of elements
  int32_t nh = 0;        // number of nodes
  int32_t np = 0;        // number of corner nodes
  int32_t npe = 6;       // nodes per element
  int32_t nve = 3;       // corner nodes per element
  Vec1<int32_t> mark;    // boundary mark: 0 inside, outline point number or -1 on the outline, 1..nh
  Vec1<int8_t> flag;     // 64 corner inside, 65 corner on boundary, 1 mid-side on boundary, 0 mid-side inside, 1..nh
  Vec1<Point2> xy;       // node coordinates, mm, 1..nh
  Mat1<int32_t> nop;     // (6, ne): corners 1,2,3; node 4 on edge 3-1, 5 on edge 1-2, 6 on edge 2-3; 1-based node numbers
  double Krit = 1.0;     // quality: largest ratio of largest to smallest angle sine
  double area = 0.0;     // sum of the element areas, mm^2
  Vec1<double> Tnew;     // nodal temperature after a transient heat step, deg C, 1..nh
  Vec1<double> Told;     // nodal temperature before the step, deg C, 1..nh
  Vec1<double> Twork;    // third nodal work array of the heat step, 1..nh
  Vec1<double> Pot;      // cross-section potential of the die-face correction (0 held, 1 under the die opening), 1..nh
  SparsePivotOrder pivots;  // pivot order of the sparse solves on this mesh, kept between heat steps
};
