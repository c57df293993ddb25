#include "solver/flow_solve.h"

#include "core/fatal.h"

void SolveFlow(MeshRecord& /*nodes*/, const ElementTables& /*tab*/, InpDat& /*inp_dat*/) {
  Fatal("SolveFlow: not available in this build");
}
