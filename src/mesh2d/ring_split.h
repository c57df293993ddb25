#pragma once
// Ring splitting and outline reduction.
//
// The block mesh generator meshes regions bounded by one closed outline.  A
// ring between an inner and an outer outline (and the region around several
// pieces inside a container outline) is therefore cut into two simply
// connected halves joined along straight cut lines.  Both halves run
// clockwise, consist of whole quadratic segments (point 2k-1 starts segment k,
// point 2k is its middle point) and share every cut-line point with identical
// coordinates, traversed in opposite directions, so that the two block meshes
// merge node to node.  The smaller operations reduce, round and simplify one
// outline before it is split.
//
// Marks of a half: 0 on points of an inner arc (the outline of a piece or of
// the inner outline of a ring), -1 on the cut lines and on the outer arc.

#include <cstdint>
#include <vector>

#include "core/onebased.h"
#include "core/section.h"

// One cut line: from segment end point i of the inner outline to segment end
// point j of the outer outline.
struct RingCut {
  int32_t i = 0;  // point on the inner outline, odd, 1..n_inner
  int32_t j = 0;  // point on the outer outline, odd, 1..n_outer
};

// The two cut lines that divide a ring into two halves.
struct RingCuts {
  RingCut first;   // the closest pair of segment end points
  RingCut second;  // from the far side of the outer outline to the nearest inner point
};

// Cut lines of the ring between `inner` and `outer` (each with at least two
// segments): first the closest pair of segment end points (first pair kept on
// ties); then the outer end point farthest from j1 among those more than
// 2 n_outer / 5 points away from it (the bound lowered by 2 until one exists);
// then the inner end point other than i1 closest to it.
RingCuts FindCuts(const Outline& inner, const Outline& outer);

// Grading value of the cut from inner point i to outer point j:
// g = 1 - (Li/Lj)^0.4 clamped to [-0.4, 0.4], where Li and Lj are the sums of
// the distances to the two neighbouring points at each end.  g = 0 for equal
// local sizes.
double CutGrading(const Outline& inner, const Outline& outer, int i, int j);

// Number c of interior points of the cut from inner point i to outer point j:
// with q = |P_i - P_j| / mean(|P_i - P_i+1|, |P_j - P_j+1|), c = 1 for q <= 2,
// else the odd number t+1 of the largest even t < q, capped at 23.
int CutDivisions(const Outline& inner, const Outline& outer, int i, int j);

// Interior points of a straight cut line from `from` to `to` with c points.
// The c+1 steps form a geometric progression whose last step (at `to`) is
// (1 - g) times the first (at `from`); g = 0 gives equal steps.  With `from`
// on the outer and `to` on the inner outline this grades the cut from the
// outer local size towards the inner one.
std::vector<Point2> CutLinePoints(const Point2& from, const Point2& to, int c, double g);

// Splits the ring between the clockwise outlines `inner` and `outer` along the
// cuts with c1 and c2 interior points (odd).  half1: outer j1, cut 1 towards
// i1, inner points i1 backwards to i2, cut 2 towards j2, outer points j2
// forwards to the point before j1.  half2: outer j2, cut 2 towards i2, inner
// points i2 backwards to i1, cut 1 towards j1, outer points j1 forwards to the
// point before j2.  A cut whose end points lie within 0.01 of each other
// (touching outlines) gets no interior points and keeps only its outer end
// point, shared by both halves and marked -1.  Stops
// the run when a half would exceed kMaxOutlinePoints points.
void SplitRing(const Outline& inner, const Outline& outer, const RingCuts& cuts, int c1, int c2,
               Outline& half1, Outline& half2);

// Whole split of the ring between `inner` and `outer` (either orientation):
// FindCuts, CutDivisions for both cuts and the split above.  A cut line that
// would cross an outline or the other cut (possible on strongly non-convex
// outlines) is replaced by the nearest clear one.
void SplitRing(const Outline& inner, const Outline& outer, Outline& half1, Outline& half2);

// Splits the region inside outline order(1) and outside the outlines
// order(2..count) (2 <= count <= 5, entries of `outlines`) into two clockwise
// halves along a chain of cut lines order(1) -> order(2) -> ... ->
// order(count) -> order(1).  With count 2 this is the ring split above.
void SplitAround(int count, const Fix1<int8_t, 5>& order, const Vec1<Outline>& outlines, Outline& half1,
                 Outline& half2);

// Coarsens outline `a` where it is far from outline `b`: segment end points of
// `a` farther than 0.1 of its bounding-box diagonal from every segment end
// point of `b` (and off the y axis) are dropped, unless the outline turns
// there or an adjacent spacing exceeds a slowly growing threshold; an odd
// count keeps one dropped point again.  The kept points are renumbered in
// order.  An outline that would keep fewer than 4 points is left unchanged.
void ReduceOutline(Outline& a, const Outline& b);

// Moves every middle point of `a` onto the circle about the bounding-box
// centre whose radius is half the largest distance from point 1, in the
// direction of the midpoint of its two neighbours.
void RoundOutline(Outline& a);

// Lowers the point count of a closed outline of at least 4 segments by
// merging pairs of neighbouring segments into one where the merged quadratic
// passes within 1% of its chord of the dropped middle points (corners and
// strongly curved stretches stay); when no pair qualifies the best pair is
// merged.  Keeps the outline closed with an even point count.
void SimplifyOutline(Outline& a);
