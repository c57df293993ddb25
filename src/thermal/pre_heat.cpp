#include "thermal/pre_heat.h"

#include "core/fatal.h"

void PRE_heat_main(MeshRecord& /*nodes*/, const ElementTables& /*tab*/, InpDat& /*inp_dat*/) {
  Fatal("PRE_heat_main: not available in this build");
}
