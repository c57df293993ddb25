#include "solver/temperature.h"

#include "driver/fatal.h"

void SolveTemperature(MeshRecord& /*nodes*/, const ElementTables& /*tab*/, InpDat& /*inp_dat*/) {
  Fatal("SolveTemperature: not available in this build");
}
