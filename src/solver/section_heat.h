#pragma once
// One implicit step of transient heat conduction on the working
// cross-section of a variant (problem code 7).

#include <cstdint>

#include "core/records.h"
#include "fem/elements.h"
#include "solver/front_plan.h"

// Distance from a symmetry axis within which a section node counts as lying
// on it, mm.
inline constexpr double kSectionAxisTol = 0.01;

// Edges of every triangle of `m` through which the section exchanges heat
// with the tools, as a bit mask per element (1..ne): bit 0 the edge L1 = 0
// (corners 2-3, mid-side node 6), bit 1 the edge L2 = 0 (corners 3-1, node
// 4), bit 2 the edge L3 = 0 (corners 1-2, node 5), the edge order of the
// Tri6Edge rule.  An edge exchanges heat when no other triangle shares it
// (outer boundary) and it does not lie on a symmetry axis along which the
// model is cut: the axis x = 0 (y = 0) is a cut when the section ends on it,
// all its nodes lying on one side within kSectionAxisTol, and an edge lies
// on it when its three nodes do.  A full section centred on the axes has no
// cut and exchanges heat all round.
Vec1<uint8_t> ExchangeEdges(const Mesh2d& m);

// Advances the temperature of inp_dat.sections.Sect2d(1) by one backward-Euler step
// of length inp_dat.model.HeatDt from Told and stores the result in both Tnew and
// Told.  With diffusivity a(T) = lambda(T) / (rho c(T)) taken at the old
// temperature of each integration point, the step solves
//   (M / dt + K + H) Tnew = M Told / dt + h_tool,
//   M_ab = int N_a N_b dA,   K_ab = int a grad N_a . grad N_b dA,
//   H_ab = int_G q N_a N_b ds,   h_tool_a = int_G q ToolTemp N_a ds,
// q = 0.5 ContactHtc / (rho c(T)), over the exchange edges G of
// ExchangeEdges, in SI units (lengths converted from mm to m), with
// |det J| at every point so that either triangle orientation gives the same
// positive system.  Returns the plan of the frontal solve (empty with the
// sparse solver).
FrontPlanStats SolveSectionHeat(const ElementTables& tab, InpDat& inp_dat);
