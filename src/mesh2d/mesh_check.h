#pragma once
// Consistency checker of a cross-section mesh of 6-node triangles.  It finds
// what would turn into a bad element of every volume mesh extruded from it:
// clockwise or degenerate triangles, quadratic elements whose curved edges
// fold them (Jacobian not positive), non-conforming edges, mid-side nodes
// that are not shared consistently, duplicate nodes, corner nodes not
// numbered first, and boundary flags that disagree with the topological
// boundary.

#include <array>
#include <string>
#include <vector>

#include "core/section.h"

// Smallest value over the whole element of det J of the isoparametric map of
// a 6-node triangle from the reference triangle (L1, L2 in [0, 1], L1 + L2 <=
// 1; det J = twice the area for a straight counter-clockwise triangle).
// `p` holds corners 1, 2, 3, then the nodes on edges 1-2, 2-3, 3-1.  det J is
// a quadratic polynomial, so its minimum is exact: corners, the vertex of the
// parabola along each edge, the stationary point inside.
double QuadJacobianMin(const std::array<Point2, 6>& p);

// Shape measure of a curved 6-node triangle: 2 sqrt(3) QuadJacobianMin over
// the sum of the squared corner-to-corner sides.  1 for a straight
// equilateral triangle, like the linear shape 4 sqrt(3) A / (sum of squared
// sides), smaller for distorted or curved elements, not positive when a
// curved edge folds the element.
double CurvedShape(const std::array<Point2, 6>& p);

// Smallest CurvedShape over the elements of a mesh in the final column
// order (node 4 on edge 3-1, 5 on 1-2, 6 on 2-3); `elem` is its element
// (0 and the value 1 for an empty mesh).
double WorstCurvedShape(const Mesh2d& mesh, int& elem);

// One finding of the checker.
struct MeshFinding {
  std::string kind;   // short class: "counts", "numbering", "orientation", "degenerate", "jacobian",
                      // "conformity", "midside", "duplicate", "flag"
  int elem = 0;       // element concerned (1-based), 0 for none
  int node = 0;       // node concerned (1-based), 0 for none
  double value = 0.0; // measured value (area, shape ratio, distance, flag, count)
  std::string text;   // the whole finding as one readable line
};

// What the checker looks at and its limits.
struct MeshCheckLimits {
  bool flags = true;             // compare flags with the topological boundary (needs flag(1..nh))
  bool finalColumns = true;      // mid-side columns 4, 5, 6 on edges 3-1, 1-2, 2-3 (else 1-2, 2-3, 3-1)
  double minShape = 1.0e-3;      // smallest 4 sqrt(3) A / (sum of squared sides); 1 for an equilateral triangle
  double dupRel = 1.0e-6;        // nodes closer than dupRel times the box diagonal are duplicates
  double midsideRel = 0.25;      // largest distance of a mid-side node from its chord middle, per chord length
};

// Checks `mesh` and returns all findings (empty when the mesh is sound).
std::vector<MeshFinding> CheckMesh(const Mesh2d& mesh, const MeshCheckLimits& limits = {});

// The findings as text, one per line, at most `maxLines` lines.
std::string FormatFindings(const std::vector<MeshFinding>& findings, int maxLines = 20);
