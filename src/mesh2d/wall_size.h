#pragma once
// Element size bound from the wall thickness of a profile.
//
// The curvature size law refines where the outline bends, never where two
// sides of the profile run close together, so a thin wall would get as few
// elements across as a compact bar of the same area.  The wall thickness at
// a boundary point is the distance to the nearest opposite boundary point
// (a point in front of it whose boundary faces back towards it); the size
// bound there is the thickness over the number of elements a wall must get
// across, and it grows linearly with the distance from the wall, so that it
// also grades the rings around the profile from which the wall's material
// comes.  Where the bound is larger than the sizes the other laws give, it
// changes nothing.

#include <vector>

#include "core/section.h"

// One sample of the profile boundary with its wall thickness.
struct WallSample {
  Point2 p{};        // point on the boundary, mm
  Point2 n{};        // unit normal into the material
  Point2 q{};        // nearest opposite boundary point, mm (p when there is none)
  double t = 0.0;    // wall thickness |q - p|, mm; 0 when no opposite point exists
  double ds = 0.0;   // boundary length the sample stands for, mm
  int outline = 1;   // 1 outer profile outline, 2 inner outline of a hollow profile
};

// Size bound field: the bound at p is the smallest over the samples s of
// h_s + grade max(0, |p - s| - r_s): constant within half a wall thickness
// of the sample (so that the end face of a wall is bounded like its sides),
// growing linearly beyond.
struct WallBound {
  std::vector<Point2> p;   // sample points, mm, in ascending order of h
  std::vector<double> h;   // size bound at each sample point, mm
  std::vector<double> r;   // radius of the constant part, half the wall thickness |q - p|, mm
  double grade = 0.5;      // growth of the bound per unit distance from the wall
  double scale = 1.0;      // factor by which the capacity budget enlarged the sizes (1: none)
  bool Empty() const { return p.empty(); }
};

// Samples of the boundary of the profile region: the closed outline `outer`
// (material inside) and, for a hollow profile, the closed outline `hole`
// (material outside; null for none).  Every quadratic segment is sampled
// densely (about 1200 samples over the whole boundary); each sample gets its
// inward normal and its wall thickness.  The thickness is the nearest
// opposite point rather than the medial (inscribed-disk) distance: the disk
// that touches a sharp convex corner shrinks to nothing there, whereas the
// distance to the facing side stays the wall's thickness up to its end.
void WallSamples(const Outline& outer, const Outline* hole, std::vector<WallSample>& samples);

// Elements a wall gets across at a cross-section mesh level: 2 at levels 1
// and 2 (one quadratic element across a wall cannot carry the shear between
// its two faces), 3, 4, 5 at levels 3, 4, 5, and 6 for the finest setting.
int WallElementsAcross(int meshLevel);

// Size bound h_s = t_s / across of every sample with a thickness.  The sizes
// are enlarged by one common factor (kept in `bound.scale`) when the
// estimated point count of a profile outline (twice its length over the
// bound) would exceed 60 % of the capacity of an outline (1000 points), or
// the estimated node count of one of the `blocks` blocks the profile region
// is meshed in (the two halves of a hollow profile, the half or quarter of
// a mirrored section, which is meshed once and reflected) 70 % of the
// capacity of a block (2500 nodes; the estimate overshoots the generated
// count by about 6 %); the wall then gets fewer elements across than asked,
// which the mesh report shows.  Ring blocks beyond their capacity are
// handled where they are meshed.
void BuildWallBound(const std::vector<WallSample>& samples, int across, int blocks, WallBound& bound);

// The bound at p, mm (a huge value when the bound is empty).
double WallSize(const WallBound& bound, const Point2& p);

// Fewest element layers across a wall of a profile mesh.
struct WallLayers {
  int layers = 0;        // corner-edge hops from a boundary node to the opposite side (0: no wall found)
  Point2 where{};        // boundary node where it is fewest, mm
  double thickness = 0;  // wall thickness there, mm
};

// Element layers across the walls of the profile mesh `m` (corner nodes
// 1..np, flags 65 on the boundary): for every boundary corner node near a
// sample with a thickness, the number of corner edges of the shortest path
// through the mesh to a boundary node on the opposite side (at least 0.7 of
// the thickness away along the normal and within 1.5 thicknesses of the
// opposite point).  Returns the fewest (on equal counts the thinnest wall).
WallLayers FewestWallLayers(const Mesh2d& m, const std::vector<WallSample>& samples);
