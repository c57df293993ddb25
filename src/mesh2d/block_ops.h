#pragma once
// Operations on finished block meshes: flagging against the outline,
// raising flags of nodes on an outline, smoothing, and merging two meshes
// that share an interface into one.
//
// Node flags: 64 corner inside, 65 corner on the boundary, 1 mid-side on the
// boundary, 0 mid-side inside.  Marks: 0 inside, else the outline point the
// node stands on, or -1 on an interface that is not outer boundary.

#include <cstdint>

#include "core/section.h"

// Squared distance below which two nodes of merged meshes coincide, mm^2.
inline constexpr double kMergeTol2 = static_cast<double>(1.0e-4f);
// Squared distance below which a node stands on an outline point, mm^2.
inline constexpr double kOnPointTol2 = static_cast<double>(1.0e-5f);
// Smoothing ends when no node moved farther than this in a pass, mm.
inline constexpr double kSmoothConverged = static_cast<double>(0.1f);

// Sets flag, np, npe, nve and the final mid-side column order (columns 4, 5,
// 6 on edges 3-1, 1-2, 2-3) of a block mesh from the generator.  A boundary
// node whose outline point has an even mark becomes an interface node
// (mark -1).
void FlagMesh(Mesh2d& mesh, const Outline& outline);

// Raises to boundary (65 corner, 1 mid-side) the flags of the nodes standing
// on a point of `outline`.  When nPiecesB is not 0 (multi-outline layout) all
// flags are first reset to 64 / 0.
void FlagOnOutline(int nPiecesB, const Outline& outline, Mesh2d& mesh);

// Moves the unmarked corner nodes towards the mean of the opposite corners of
// their elements (in place, node after node, at most 20 passes, until no node
// moved by more than 0.1), never folding an element: the Jacobian of every
// curved element stays positive everywhere.  Then puts every mid-side node
// whose edge is not an outline edge at the midpoint of its edge and runs
// UnfoldCorners.
void SmoothMesh(Mesh2d& mesh);

// Relocates the unmarked corner nodes of elements whose curved shape (the
// smallest Jacobian of the quadratic map over the element, scaled like the
// linear shape, 1 for an equilateral triangle) is below 0.1: each such node
// goes to the place that maximises the worst shape of its elements.  The
// node of an edge with an unmarked corner stays at the middle of the edge;
// edges between two marked corners (the outline) keep their nodes.  Mid-side
// columns in the final order (4, 5, 6 on edges 3-1, 1-2, 2-3) or, with
// finalColumns false, in generator order (1-2, 2-3, 3-1).  Returns the number
// of elements still folded (Jacobian not positive somewhere).
int UnfoldCorners(Mesh2d& mesh, bool finalColumns);

// Counts of the merge of a and b into c (ne, nh, np, npe, nve): nodes of b
// coinciding with a node of a are shared.
void MergeCount(const Mesh2d& a, const Mesh2d& b, Mesh2d& c);

// Fills c (whose counts MergeCount set) with the merged mesh: corner nodes of
// a, new corner nodes of b, mid-side nodes of a, new mid-side nodes of b;
// elements of a, then of b.  Shared nodes on an interface (mark -1 in either
// mesh) become interior; all marks of c are 0.  a and b are not changed.
void MergeMeshes(const Mesh2d& a, const Mesh2d& b, Mesh2d& c);
