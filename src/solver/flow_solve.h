#pragma once
// velocity and pressure of the flow mesh (problem code 1).

#include "core/records.h"
#include "fem/elements.h"

void SolveFlow(MeshRecord& nodes, const ElementTables& tab, InpDat& inp_dat);
