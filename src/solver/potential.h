#pragma once
// cross-section potential (problem code 100).

#include "core/records.h"
#include "fem/elements.h"

void SolvePotential(MeshRecord& nodes, const ElementTables& tab, InpDat& inp_dat);
