#include "solver/temperature.h"

#include "core/fatal.h"

void SolveTemperature(MeshRecord& /*nodes*/, const ElementTables& /*tab*/, InpDat& /*inp_dat*/) {
  Fatal("SolveTemperature: not available in this build");
}
