#pragma once
// Nodal rheology results of the flow mesh: equivalent stress and effective
// viscosity at the nodes, strain-rate extremes, the mean flow stress and
// temperature statistics, and the fracture criterion.

#include "core/records.h"
#include "fem/elements.h"

// Mean flow stress and temperature statistics of the flow mesh, into inp:
// TempMax (from 0), TempMin (from 1e9) and TempSum over all nodes; Tsr =
// mean nodal equivalent stress over the nodes whose code is neither 0 nor 64
// (the boundary nodes), or over all nodes when there is none.  An empty
// mesh leaves Tsr unchanged.
void REOLOG_aver(const MeshRecord& nodes, InpDat& inp);

// Nodal rheology update after a flow and temperature solve:
//  1. the volume-weighted element mean of the equivalent strain rate is
//     averaged at the nodes (weights |element volume|), giving E0_min,
//     E0_max (point values) and E0_av_min, E0_av_max (element means);
//  2. the flow stress law at each node gives its eta and equivalent stress
//     (ViscMax, ViscMin); nodal strain and temperature are not altered;
//  3. nodes at or below Z0 + 1e-4, and all nodes of elements with such a
//     corner node, get eta = ViscMax;
//  4. ConvVisc = |(mean eta new - mean eta old) / (mean eta old + 1e-6)|,
//     the new mean taken before step 3;
//  5. the fracture criterion.
void RheologyUpdate(const ElementTables& tab, MeshRecord& nodes, InpDat& inp);

// Fracture strain and damage at every node, with p, T, sigma, eta and the
// equivalent strain of the node and D1..D4 = mat.FracTable(1..4):
//   t = clamp(p / (sqrt3 sigma), -10, 10),  a = exp(-D2 t),
//   b = exp(D3 clamp(T, 100, 500)),  c = clamp(sigma / eta / sqrt3, 0.01, 10)^D4,
//   EpsP = D1 sqrt3 a b c,  Psi = strain / EpsP.
// Where sigma or eta is zero the quotients take their limiting clamp value
// (t = +-10 or 0 by the sign of p, c from 0.01), and where EpsP is not
// positive (D1 = 0) Psi is 0: no fracture strain, no damage measure.
void FractureCriterion(MeshRecord& nodes, const Material& mat);
