#pragma once
// Field-solve driver: the single entry point of every linear field problem.

#include "core/records.h"
#include "fem/elements.h"
#include "solver/sol_def.h"

// Solves the field problem `mode` of one variant and stores its solution:
//   Flow         velocity and pressure of the flow mesh `nodes`
//   Temperature  steady temperature of the thermal mesh `nodes`
//   SectionHeat  one implicit cooling step of inp_dat.sections.Sect2d(1)
//   Potential    cross-section potential of one cross-section mesh of inp_dat
// Returns the plan of the frontal solve (empty with the sparse solver).
FrontPlanStats Sol_Def(MeshRecord& nodes, const ElementTables& tab, SolveMode mode, InpDat& inp_dat);
