#pragma once
// Outline resampling and the boundary size law.
//
// A resampled outline has its segment end points dense where the outline is
// curved and sparse where it is straight.  The local density is a refinement
// factor f >= 1 per outline point derived from the curvature of the quadratic
// segments; the number of new segments along an input segment is the integral
// of f over its arc length divided by the base element size h0.

#include <cstdint>

#include "core/onebased.h"
#include "core/section.h"

struct WallBound;

// Division record of one meshing call together with the size-law constants
// derived from it.  Filled by SetSizeLaw / OutlineFactors; read by the block
// mesh generator (h0).
struct DivSpec {
  int32_t c1 = 0;       // first division count: boundary segments of a circle of the same area
  int32_t c2 = 0;       // second division count: bounds the flattest curvature that still refines
  double area = 0.0;    // absolute area the size law takes (images x the enclosed area), mm^2
  double images = 1.0;  // copies of the outline's region that make up the whole region (2 or 4 for a
                        // half or quarter meshed and mirrored, 1 otherwise)
  double h0 = 0.0;      // base element size, mm
  double kmin = 0.0;    // curvature below which no refinement happens, 1/mm
  double k1 = 0.0;      // curvature of a quarter turn over one base element, 1/mm
  double k2 = 0.0;      // end curvature of the steeper branch, 1/mm
  double kmid = 0.0;    // (k2 + 2 k1)/3, 1/mm
  double s1 = 0.1f;     // relative size at k2 (steeper branch)
  double s2 = 0.4f;     // relative size at k1
  double slope1 = 0.0;  // (1 - s2)/(k1 - kmin), mm
  double slope2 = 0.0;  // (s2 - s1)/(k2 - k1), mm
};

// Size law for an enclosed area: replaces a pair with c1 < 5 by (28, 30),
// stores `area` and sets h0 = 2 sqrt(pi area)/c1 and the derived constants.
void SetSizeLaw(DivSpec& spec, double area);

// Relative element size r(k) = s2 + (k1 - clamp(k, kmin, k1)) * slope1 for a
// curvature k (1/mm): 1 on flat parts, s2 from k1 on.
double RelativeSize(const DivSpec& spec, double k);

// Twice the signed area of the closed polygon through all points of `o`
// (positive when the points run counter-clockwise), mm^2.
double OutlineSignedArea2(const Outline& o);

// Makes the outline run in the required sense: sense 1 clockwise, any other
// value counter-clockwise.  Reversal keeps point 1 in place so that odd points
// remain segment end points; marks travel with their points.
void OrientOutline(int sense, Outline& o);

// Size law on an outline: fills `spec` (area = images x enclosed area, h0,
// constants; c1, c2 and images must be set) and the refinement factor f(1..n) of every point: curvature factor
// 1/r on middle points, neighbour mean on end points, then spread to points
// within 3.5 h0 with weight ((a - d)/a)^4.
void OutlineFactors(DivSpec& spec, const Outline& o, Vec1<double>& f);

// Applies the mode of the resampling law to the factors: mode 1 f^0.2,
// mode 2 unchanged, mode 3 0.2 sqrt(f).
void ApplyFactorMode(int mode, Vec1<double>& f);

// Redistributes the points of `in` (oriented, factors f) into `out`: each
// input segment keeps its end points and is divided into
// e = max(1, round(integral(f ds)/h0)) new segments at equal increments of the
// integral; each new middle point is the point of the input curve nearest to
// the middle of the new chord.  `out.mark` is set to -1.  Stops the run when
// the result would exceed kMaxOutlinePoints points.  With a wall-thickness
// bound the factor along the curve is at least h0 / (bound there); where the
// bound is not below h0 / f the points are those of the plain law, bit for bit.
void RedistributeOutline(const Outline& in, const Vec1<double>& f, const DivSpec& spec, Outline& out,
                         const WallBound* wall = nullptr);

// Whole resampling: orient `in` clockwise (in place), size law with the pair
// in `spec`, mode, redistribution into `out` (under the wall bound, if any).
void ResampleOutline(int mode, Outline& in, Outline& out, DivSpec& spec, const WallBound* wall = nullptr);

// Point of the quadratic segment through a (t=-1), b (t=0), c (t=1) at
// parameter t.
Point2 QuadPoint(const Point2& a, const Point2& b, const Point2& c, double t);

// Nearest point to `m` on the quadratic segment (a, b, c) for parameters in
// [tlo, thi]: returns the squared distance and sets `t` to its parameter.
double NearestOnQuad(const Point2& a, const Point2& b, const Point2& c, const Point2& m, double tlo,
                     double thi, double& t);
