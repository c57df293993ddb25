#pragma once
// Cross-section potential (problem code 100): a scalar potential on one
// cross-section mesh of 6-node triangles, used to shape the die face.

#include "core/records.h"
#include "fem/elements.h"
#include "solver/front_plan.h"

// Number of the cross-section mesh that carries the potential: nPiecesB when
// it exceeds 2 (the merged region of a multi-hole die), else nPiecesA (the
// last mesh, the container section).
int PotentialMeshIndex(const SectionSet& sections);

// Solves -div grad p = c (c = inp_dat.model.PotSource, 0 unless a caller sets it)
// on cross-section mesh PotentialMeshIndex(inp_dat.sections) with
//   p = 0 on nodes flagged 1 or 65,  p = 1 on nodes flagged 2 or 66,
// natural (zero normal derivative) conditions elsewhere on the boundary, by
// 6-node triangles with the 7-point area rule of tab.Tri6.  The nodal values
// go to Pot of that mesh; its connectivity is positive on return (negative
// entries on entry are read as their node).  A mesh without held nodes and
// without source has the potential 0.  Returns the plan of the frontal solve
// (empty with the sparse solver or without a solve).
FrontPlanStats SolvePotential(const ElementTables& tab, InpDat& inp_dat);
