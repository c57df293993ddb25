#pragma once
// Nodal strain-rate and stress tensors of a flow solution, and the normal
// stresses of the boundary node records.

#include <vector>

#include "core/records.h"
#include "fem/elements.h"

// Symmetric tensor: xx, yy, zz, xy, yz, xz (tensor components).
struct SymTensor {
  double xx = 0, yy = 0, zz = 0, xy = 0, yz = 0, xz = 0;
};

// n . T . n for the direction n (unit length expected).
double NormalComponent(const SymTensor& t, double nx, double ny, double nz);

// Nodal strain-rate tensors (1/s) of the current velocity field, entries
// 1..nh of D (D[0] unused): every element adds, at each of its integration
// points g, |w_g det J_g| lambda_a(g) D(g) to its node a, where lambda_a is
// the linear (corner) function of a corner node and the mean of the two
// corner functions of its edge for a mid-side node; the sums are divided by
// the summed weights.  Non-negative weights concentrated near the node: a
// homogeneous field is reproduced exactly, and no node takes a value from
// an element it does not belong to.
void NodalStrainRates(const ElementTables& tab, const MeshRecord& nodes, std::vector<SymTensor>& D);

// Nodal stress tensors (MPa), entries 1..nh: sigma = p I + 2 mu D with the
// nodal pressure p, the nodal strain-rate tensor D of NodalStrainRates and
// the shear viscosity mu = FlowViscosity of the element law at the node's
// equivalent strain rate, strain and temperature (deviatoric stress
// (2/3) (sigma_s / rate) D, von Mises value sigma_s).
void NodalStresses(const ElementTables& tab, const MeshRecord& nodes, const VariantSetup& setup,
                   std::vector<SymTensor>& S);

// Every boundary node record receives the normal stress n . sigma . n of its
// node (sigmaN), n the nodal normal of the record.  S from NodalStresses.
void BoundaryNormalStresses(MeshRecord& nodes, const std::vector<SymTensor>& S);
