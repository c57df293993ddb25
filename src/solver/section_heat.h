#pragma once
// one implicit heat step of the working cross-section (problem code 7).

#include "core/records.h"
#include "fem/elements.h"

void SolveSectionHeat(MeshRecord& nodes, const ElementTables& tab, InpDat& inp_dat);
