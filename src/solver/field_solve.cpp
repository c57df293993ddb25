#include "solver/field_solve.h"

#include "solver/flow_solve.h"
#include "solver/potential.h"
#include "solver/section_heat.h"
#include "solver/temperature.h"

void Sol_Def(MeshRecord& nodes, const ElementTables& tab, SolveMode mode, InpDat& inp_dat) {
  switch (mode) {
    case SolveMode::Flow: SolveFlow(nodes, tab, inp_dat); return;
    case SolveMode::Temperature: SolveTemperature(nodes, tab, inp_dat); return;
    case SolveMode::SectionHeat: SolveSectionHeat(tab, inp_dat); return;
    case SolveMode::Potential: SolvePotential(tab, inp_dat); return;
  }
  Fatal("Sol_Def: unknown problem code");
}
