#pragma once
// Transfer of nodal fields between the flow mesh and the thermal mesh.
//
// Every destination node takes its values from the source element that
// contains it (see thermal/element_index.h), evaluated with the element's
// full quadratic variation: the 15 nodal values are fitted exactly by the
// 15 monomials
//   1, x, y, z, x^2, y^2, z^2, xy, xz, yz, xyz, x^2 z, y^2 z, x z^2, y z^2
// (the span of the 15-node wedge's functions when its vertical edges are
// parallel to z) and the fit is evaluated at the node, also outside the
// element when the node lies in none.

#include "core/records.h"

// Fields of one transfer: mode 1 velocity, pressure, viscosity, stress
// (kFldVx, kFldVy, kFldVz, kFldP, kFldVisc, kFldStress); mode 2 temperature
// first, then the fields of mode 1; mode 3 temperature only.  No other field
// of the destination changes.  A node that no element contains within the
// z margin takes the fit of element 1.  Stops when the mode is not 1, 2 or
// 3, when the source has no elements or an element is not a 15-node wedge.
void Perenos_3d(const MeshRecord& src, MeshRecord& dst, int mode);

// How a transfer locates its elements: the grid index, or the scan over
// all source elements (the reference; same elements, for tests and timing).
enum class TransferSearch { Index, Scan };

// Perenos_3d with the search chosen.
void Perenos_3dWith(const MeshRecord& src, MeshRecord& dst, int mode, TransferSearch search);

// Factorised quadratic fit of one element: LU with partial pivoting of the
// 15 x 15 matrix of the monomials at the nodes, in coordinates centred on
// the element and scaled by its half extents (the same polynomial, better
// conditioned).
struct Fit15 {
  double lu[15][15] = {};    // L (unit, below the diagonal) and U of the row-permuted matrix
  int perm[15] = {};         // row k of the factors is row perm[k] of the matrix
  bool dead[15] = {};        // columns without a usable pivot (their coefficient is 0)
  bool singular = false;     // any dead column: the nodes do not fix a unique fit
  double c[3] = {};          // centre of the element's node box, mm
  double s[3] = {1, 1, 1};   // half extents of the box (1 on a flat axis), mm
};

// Factorises the fit of the nodes xyz (15 nodes, mm).  A column whose best
// pivot is below 1e-10 of the largest matrix entry is dead; returns false
// when any is (a degenerate element).
bool Fit15Factor(const double xyz[15][3], Fit15& fit);

// Coefficients coef[f][0..14] of the fits of nf <= 7 fields (val[f][k]:
// value of field f at node k) in the fit's local frame.
void Fit15Solve(const Fit15& fit, int nf, const double (*val)[15], double (*coef)[15]);

// Value at (x, y, z) of the fit with coefficients coef.
double Fit15Value(const Fit15& fit, const double coef[15], double x, double y, double z);

// Evaluates the fits of nf fields (val[f][k]: value of field f at node k)
// at (x, y, z) into out[f].  With a singular fit the values are kept
// within the range of the field's nodal values.
void Fit15Eval(const Fit15& fit, double x, double y, double z, int nf, const double (*val)[15],
               double* out);

// The quadratic fit of the 15 nodal values val at the nodes xyz, evaluated
// at (x, y, z).
double FitEval15(double x, double y, double z, const double xyz[15][3], const double val[15]);
