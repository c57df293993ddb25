#pragma once
// Block mesh generator: meshes one closed region bounded by one resampled
// outline with 6-node triangles.  An advancing front triangulates the corner
// nodes, the interior nodes are smoothed, the corner nodes renumbered for a
// small front width and the elements reordered, then the mid-side nodes are
// made; boundary mid-side nodes stand on the outline's middle points.

#include <cstdint>

#include "core/onebased.h"
#include "core/section.h"
#include "mesh2d/resample.h"
#include "mesh2d/wall_size.h"

// Work record of one block, owned by the caller.
struct BlockWork {
  int32_t nSeg = 0;      // number of quadratic segments of the block outline
  int32_t n = 0;         // number of outline points, 2 nSeg
  Vec1<Point2> pts;      // outline points (clockwise), mm, 1..n
  Vec1<int32_t> pnode;   // node standing on each outline point (0: none), 1..n
  Vec1<double> pfac;     // boundary refinement factor of each outline point, 1..n
  Mesh2d blockMesh;      // the block mesh
  const WallBound* wall = nullptr;  // wall-thickness size bound of the section, none when null
};

// Runs the size law on `outline` (sets h0 and the constants of `spec`, whose
// c1, c2 the caller sets), copies the outline into `work`, creates pnode (0)
// and pfac (the size-law factors until BoundaryFactors replaces them).
void PrepareBlock(const Outline& outline, BlockWork& work, DivSpec& spec);

// Boundary factor of every outline point from the local point spacing:
// pfac(i) = (mean spacing / smaller adjacent spacing)^1.2, kept in [0.4, 8].
void BoundaryFactors(const Outline& outline, BlockWork& work);

// Meshes the block: front triangulation, improvement (smoothing,
// renumbering, element order), mid-side nodes, then UnfoldCorners.  On
// return blockMesh holds ne, nh, np, xy, mark and nop with mid-side columns
// in generation order (column 3+k on edge k: 1 = corners 1-2, 2 = corners
// 2-3, 3 = corners 3-1), and every element has a positive Jacobian of its
// curved map everywhere; a block whose outline passes so close to itself
// that no corner placement or diagonal swap unfolds an element stops the
// run.  `capacity` bounds nodes and elements; exceeding it stops the run.
void GenerateBlock(BlockWork& work, const DivSpec& spec, int capacity = kMaxBlockNodes);

// The three steps every caller runs in order on one block outline: the size
// law with the division pair (c1, c2), the boundary factors and the
// generation.  The mesh is left in work.blockMesh.  A wall bound raises the
// refinement factor of front vertices and new points to h0 / bound where
// that exceeds 1 (elements no larger than the bound).  `images` is the
// number of mirror copies of the block that make up the whole region: the
// base size is that of the whole region's area.
void BuildBlock(const Outline& outline, int c1, int c2, BlockWork& work, int capacity = kMaxBlockNodes,
                const WallBound* wall = nullptr, double images = 1.0);

// The stages of GenerateBlock, callable on their own.

// Advancing-front triangulation of the corner nodes: nodes 1..nSeg are the
// outline end points taken in reverse order (counter-clockwise), the others
// interior points.  Outline edges of the front count as the curves through
// their middle points: a cut or a new point must not make a triangle that
// such an edge folds or that reaches over such a curve, nor leave a sliver
// angle on the front (the relaxed rules apply only when no cut meets them).
// Fills ne, nh (= np), xy, mark and nop rows 1..3.
void TriangulateFront(BlockWork& work, const DivSpec& spec, int capacity);

// Laplacian smoothing of the corner nodes numbered above nFixed, at most
// maxPasses passes, each moving every such node to the mean of its neighbours
// of the previous pass; a pass that leaves an element without positive area
// (that had one before) is discarded and ends the smoothing.  With the block
// `outline` (nodes marked with their outline point numbers) an element must
// also keep a positive Jacobian of its curved map, its outline edges running
// through the outline's middle points.  Returns the number of passes kept.
int SmoothInterior(Mesh2d& m, int nFixed, int maxPasses, const Vec1<Point2>* outline = nullptr);

// Largest active front of the corner numbering: while nodes 1, 2, ... are
// taken in turn, the number of not yet taken nodes adjacent to taken ones.
int CornerFrontWidth(const Mesh2d& m);

// Renumbers the corner nodes for a small front width (greedy numbering from
// the peripheral nodes of the node graph, best trial kept) and reorders the
// elements by the first of their corners in the new numbering; coordinates,
// marks and connectivity follow.
void RenumberCorners(Mesh2d& m);

// Creates the mid-side nodes (numbered after the corners, elements and their
// edges in order): an inner edge gets the midpoint of its corners, an outline
// edge the outline's middle point of that segment (mark = point number, pnode
// set).  Stops the run when the node count would exceed `capacity`.
void AddMidsideNodes(BlockWork& work, int capacity);
