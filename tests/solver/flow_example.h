#pragma once
// Test support: the bundled example prepared to its flow mesh, and the
// isothermal flow iteration of the coupled solve (force evaluation, flow
// solve, exit-speed check, surface-speed regularisation, nodal rheology).

#include <cmath>
#include <string>
#include <utility>

#include "solver/field_solve.h"
#include "solver/flow_element.h"
#include "solver/flow_force.h"
#include "solver/rheology.h"
#include "support/example_case.h"
#include "support/plane_fluxes.h"
#include "support/scratch.h"

struct PreparedExample {
  InpDat d;
  MeshRecord nodes, nodes_t;
};

// Prepares the example of examples/round-bar in a scratch directory, with
// the volume mesh level `level` (0: the example's own), and makes the flow
// mesh isothermal at the billet temperature.
inline void PrepareExample(const ElementTables& tab, PreparedExample& ex, int level = 0) {
  RunState run;
  PrepareExampleIn(ScratchDir("flow_example_" + std::to_string(level)), tab, run, level, ExampleLevel::BeforeVariants);
  ex.d = std::move(run.inp_dat(1));
  ex.nodes = std::move(run.nodes(1));
  ex.nodes_t = std::move(run.nodes_t(1));
  for (int i = 1; i <= ex.nodes.g.nh; ++i) ex.nodes.fld(kFldT, i) = static_cast<float>(ex.d.setup.BilletTemp);
}

// Starts the flow iteration as the coupled solve does: measures 1, friction
// constants, every record's adjustment coefficient at PenaltyInit.
inline void StartFlowIteration(PreparedExample& ex) {
  ex.d.iter.ConvV = ex.d.iter.ConvP = ex.d.iter.ConvT = ex.d.iter.ConvVisc = 1.0;
  ex.d.model.FricA = 0.9499999992549419;
  ex.d.model.FricB = 0.05000000074505806;
  for (BndNode& r : ex.nodes.bnd) {
    r.penalty = static_cast<float>(ex.d.model.PenaltyInit);
    r.regFactor = 0.0f;
  }
}

// One iteration of the isothermal flow loop.
inline void FlowIteration(const ElementTables& tab, PreparedExample& ex) {
  REOLOG_aver(ex.nodes, ex.d);
  ForceEval(ex.nodes, tab, ex.d);
  Sol_Def(ex.nodes, tab, SolveMode::Flow, ex.d);
  ExitSpeedCheck(ex.nodes, ex.d);
  SurfaceSpeedReg(true, ex.nodes);
  RheologyUpdate(tab, ex.nodes, ex.d);
}
