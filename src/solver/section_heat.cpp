#include "solver/section_heat.h"

#include "core/fatal.h"

void SolveSectionHeat(MeshRecord& /*nodes*/, const ElementTables& /*tab*/, InpDat& /*inp_dat*/) {
  Fatal("SolveSectionHeat: not available in this build");
}
