#include "solver/potential.h"

#include "core/fatal.h"

void SolvePotential(MeshRecord& /*nodes*/, const ElementTables& /*tab*/, InpDat& /*inp_dat*/) {
  Fatal("SolvePotential: not available in this build");
}
