#include "solver/field_solve.h"

#include "solver/flow_solve.h"
#include "solver/potential.h"
#include "solver/section_heat.h"
#include "solver/temperature.h"

FrontPlanStats Sol_Def(MeshRecord& nodes, const ElementTables& tab, SolveMode mode, InpDat& inp_dat) {
  switch (mode) {
    case SolveMode::Flow: return SolveFlow(nodes, tab, inp_dat);
    case SolveMode::Temperature: return SolveTemperature(nodes, tab, inp_dat);
    case SolveMode::SectionHeat: return SolveSectionHeat(tab, inp_dat);
    case SolveMode::Potential: return SolvePotential(tab, inp_dat);
  }
  Fatal("Sol_Def: unknown problem code");
}
