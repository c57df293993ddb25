#include "solver/flow_force.h"

#include "core/fatal.h"

void ForceEval(MeshRecord& /*nodes*/, const ElementTables& /*tab*/, InpDat& /*inp*/) {
  Fatal("ForceEval: not available in this build");
}

void ExitSpeedCheck(MeshRecord& /*nodes*/, InpDat& /*inp*/) { Fatal("ExitSpeedCheck: not available in this build"); }

void SurfaceSpeedReg(MeshRecord& /*nodes*/) { Fatal("SurfaceSpeedReg: not available in this build"); }
