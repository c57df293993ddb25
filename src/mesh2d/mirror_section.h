#pragma once
// Mirror-symmetric cross-sections meshed by halves.
//
// An advancing-front mesh of a symmetric region is not symmetric: the front
// order and the interior node placement follow the outline's start point
// and orientation, so the two sides of a flat bar get different elements
// and the solved flow bends and twists the profile by the mesh alone.  A
// section whose outlines are all mirror images of themselves about the x
// axis, the y axis or both is therefore meshed on one half (or quarter)
// and the mesh is reflected; the nodes on the axes are shared.

#include <vector>

#include "core/section.h"

// Mirror axes of a section (bit set).
constexpr int kMirrorX = 1;  // reflection about the x axis: (x, y) -> (x, -y)
constexpr int kMirrorY = 2;  // reflection about the y axis: (x, y) -> (-x, y)

// Axes about which every outline of `outlines` (closed, as read) is its own
// mirror image: each point's reflection lies on the outline's polygon within
// 1e-7 of the section's extent, and no outline already lies along an axis (a
// half model as given).  0 when there is none.
int MirrorAxes(const std::vector<Outline>& outlines);

// The part of the closed outline `o` with y >= 0 (kMirrorX) and x >= 0
// (kMirrorY), closed by straight segments along the axes.  Segments that
// cross an axis are split at the crossing (the parts of a quadratic segment
// are quadratic); points on an axis get that coordinate exactly 0.  Returns
// false when the outline does not cross each axis exactly twice, so that the
// part would not be one region.
bool MirrorPart(const Outline& o, int axes, Outline& part);

// Whether outline points p and q both lie on one axis (x = 0 or y = 0,
// within 0.05 mm).
bool OnSameAxis(const Point2& p, const Point2& q);

// The run of consecutive segments of `o` that lie on the axes: returns false
// when there is none; otherwise `P` is the first point of the run and `Q`
// its last (both segment end points), so that the free arc runs forward from
// Q to P.
bool AxisRun(const Outline& o, int& P, int& Q);

// The whole outline from a (resampled) part made by MirrorPart: its free arc
// and the arc's reflections, in the part's sense of rotation; marks -1.
void WholeOutline(const Outline& part, int axes, Outline& whole);

// The whole mesh from the mesh of a part: reflected about each axis of
// `axes` and merged, nodes on an axis shared.  Nodes within 1e-9 of the
// section's extent from an axis are put on it first.  Elements keep their
// sense of rotation, and each is followed by its reflection; flags follow
// the merge (the caller sets them again).
void MirrorMesh(const Mesh2d& part, int axes, Mesh2d& whole);

// Axes about which a multi-outline layout is mirror-symmetric: outline
// `container` (0-based) is its own mirror image as MirrorAxes finds it, every
// other outline lies on one side of each axis, clear of it by more than a
// hundredth of its own size, and the reflection of each such outline is
// another outline of the layout (as MirrorAxes compares them).  0 when none.
int LayoutMirrorAxes(const std::vector<Outline>& outlines, std::size_t container);

// The side of each axis of `axes` on which the outline lies: the axes whose
// negative side holds it (its points' mean coordinate across the axis).
int NegativeSides(const Outline& o, int axes);

// The outline reflected about each axis of `axes`, in its own sense of
// rotation, point 1 the image of point 1; marks kept.
void ReflectOutline(const Outline& o, int axes, Outline& image);

// The mesh reflected about each axis of `axes`; elements keep their sense
// of rotation, nodes their numbers and flags.
void ReflectMesh(const Mesh2d& m, int axes, Mesh2d& image);
