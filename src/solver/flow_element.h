#pragma once
// Flow element of the mixed velocity-pressure problem of creeping
// viscoplastic flow: viscous block and velocity-pressure coupling of one
// 15-node wedge (51 unknowns) or 10-node tetrahedron (34 unknowns).
//
// Element unknown order: x-velocities of the element nodes 1..nen, then the
// y-velocities, then the z-velocities, then the pressures of the corner
// nodes 1..npe (nen = 15, npe = 6 for the wedge; 10 and 4 for the
// tetrahedron).

#include "core/records.h"
#include "fem/elements.h"

// Largest number of unknowns of a flow element: 3 x 15 + 6.
inline constexpr int kFlowMaxUnknowns = 51;

// Nodal data of one flow element, gathered once before integration.
struct FlowElementData {
  int nen = 0;          // nodes of the element: 15 wedge, 10 tetrahedron
  int npe = 0;          // corner nodes carrying a pressure: 6 or 4
  bool wedge = false;   // true for the 15-node wedge
  int node[15] = {};    // global node numbers, 1-based (sign of the connectivity removed)
  double x[15][3] = {};  // node coordinates, mm
  double v[15][3] = {};  // node velocities, mm/s (nodal single precision widened)
  double T[15] = {};     // node temperatures, deg C
  double e[15] = {};     // node equivalent strains
};

// Strain-rate tensor at a point, single precision, 1/s:
// xx, yy, zz, xy, yz, xz (tensor components, not engineering shears).
struct StrainRate {
  float xx = 0, yy = 0, zz = 0, xy = 0, yz = 0, xz = 0;
};

// Gathers coordinates, velocities, temperatures and strains of element k.
// Connectivity entries may carry the frontal solver's temporary sign.
void GatherFlowElement(const MeshRecord& mesh, int k, FlowElementData& d);

// Isoparametric map at integration point g of the element type et:
// J(m, i) = dx_i / dxi_m, global derivatives grad[a] = J^-1 (dN1, dN2, dN3)
// of every node function.  Returns det J with its sign (negative where the
// local node order is left-handed in space).
double PointGradients(const ElemType& et, int g, const FlowElementData& d, double grad[][3]);
// The same from the local derivatives d1, d2, d3 of the element's nen
// functions at any point (a face point, for instance).
double PointGradients(const double* d1, const double* d2, const double* d3, const FlowElementData& d,
                      double grad[][3]);

// Strain-rate tensor of the element's velocity field from the global
// derivatives at a point, summed in single precision.
StrainRate PointStrainRate(const FlowElementData& d, const double grad[][3]);

// Equivalent strain rate sqrt(2/3 D':D') in the form
// 0.47140452 sqrt((Dxx-Dyy)^2 + (Dyy-Dzz)^2 + (Dzz-Dxx)^2 + 6 (Dxy^2 + Dyz^2 + Dxz^2)),
// single precision.
float EquivalentStrainRate(const StrainRate& D);

// Element matrix of element k: est (ncn x ncn, column-major, leading
// dimension ncn) is cleared and its leading block filled with
//   velocity rows a, columns b:  sum_g mu_g w_g detJ_g
//        (2 D(N_b e_j) : D(N_a e_i) - 2/3 div(N_b e_j) div(N_a e_i)),
//   velocity row (i, a), pressure column k, and its transpose:
//        sum_g w_g detJ_g dN_a/dx_i P_k,
// with the pressure block zero.  mu_g = FlowViscosity at the point's
// equivalent strain rate, strain and temperature (mat of inp): the
// deviatoric stress is 2 mu D = (2/3) (sigma_s / rate) D, whose von Mises
// value is the flow stress.
// detJ keeps its sign, so every entry scales with the orientation sign of
// the element.  Returns the element's unknown count (51 or 34).
int FlowElementMatrix(const ElementTables& tab, const MeshRecord& mesh, const VariantSetup& setup,
                      int k, double* est, int ncn);

// Newton tangent of the viscosity's dependence on the strain rate, scaled
// by share, added to the element matrix of FlowElementMatrix.  The viscous
// stress 2 mu(rate) D'(v) has the derivative
//   2 mu D'(dv) + 2 mu gamma (D'(v):D(dv)) D'(v) / (D'(v):D'(v)),
// gamma = d ln mu / d ln rate (m - 1 for a rate sensitivity m, 0 where the
// law holds the rate at a bound).  The second term, a rank-one matrix
// share c q q^T per point (c = 2 mu gamma w detJ / D':D', q the rows of
// D'(v):D(N_a e_i)), is added to est, and its product with the current
// velocity to r, so that the current velocity solves the tangent system
// exactly when it solves the lagged one: the fixed points are unchanged.
void ViscosityTangent(const ElementTables& tab, const MeshRecord& mesh, const VariantSetup& setup,
                      int k, double share, double* est, int ncn, double* r);
