#pragma once
// steady temperature of the thermal mesh (problem code 3).

#include "core/records.h"
#include "fem/elements.h"

void SolveTemperature(MeshRecord& nodes, const ElementTables& tab, InpDat& inp_dat);
