#pragma once
// Initial temperature field of the billet: the cross-section cooled for the
// time the ram needs to travel the offset length, given to the flow mesh.

#include "core/records.h"
#include "fem/elements.h"

void PRE_heat_main(MeshRecord& nodes, const ElementTables& tab, InpDat& inp_dat);
