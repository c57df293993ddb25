#pragma once
// Coupled iteration of one variant: the viscoplastic flow on the flow mesh
// and the steady heat balance on the thermal mesh, alternated until the
// velocity field has settled and the temperature change is small, with a
// report after every iteration on the console and in the variant's log.

#include <cstdio>

#include "core/records.h"
#include "fem/elements.h"

// Convergence limits of the coupled iteration (the velocity limit is the
// single-precision 0.01, widened).
inline constexpr double kConvVelocity = 0.01f;  // relative velocity change
inline constexpr double kConvTemperature = 5.0;  // temperature change, deg C

// Runs the coupled iteration of variant iVar.  Per iteration: REOLOG_aver,
// ForceEval, flow solve, ExitSpeedCheck, SurfaceSpeedReg, VProfFEM,
// transfer to the thermal mesh (all fields in iteration 1, flow fields
// later), temperature solve, temperature back, RheologyUpdate, report.
// Ends when the iteration limit is passed or, while ConvT <= 5, when
// ConvV <= 0.01; then the force is evaluated once more and Stage = 1000.
// Report lines go to the console and to `log` (may be null).
void Run_3d(int iVar, MeshRecord& nodes, MeshRecord& nodes_t, InpDat& inp_dat, const ElementTables& tab,
            std::FILE* log);

// Loop control after an iteration: increments i_iterat and returns whether
// another iteration follows.  `goOn` is the continuation flag, cleared when
// ConvT <= 5 and ConvV <= 0.01 and the plain update holds (`plainHolds`,
// see PlainUpdateHolds); otherwise it is kept as it is.
bool NextCoupledIteration(InpDat& inp_dat, bool& goOn, bool plainHolds = true);

// Largest ram-force change of one plain flow update from a converged state.
inline constexpr double kPlainForceChange = 0.005;

// Whether the state in `nodes` solves the flow equations of the plain
// lagged update (no Newton tangents, no relaxation): one such update of a
// copy changes the velocities by ConvV <= kConvVelocity and the ram force by
// less than kPlainForceChange.  A state that tangent or extrapolated steps
// only passed close to does not: the tangent steps' change measures the
// distance to the fixed point of a different map, and a plain update
// amplifies what is left on the friction's fast modes.  Logs one line with
// the two changes.
bool PlainUpdateHolds(const ElementTables& tab, const MeshRecord& nodes, const InpDat& inp_dat, std::FILE* log);

// True when the finished coupled iteration reported "  solve, ok": the
// counter, already past the last iteration, is below MaxIter.
inline bool SolveEndedOk(const InpDat& inp_dat) { return inp_dat.iter.i_iterat < inp_dat.setup.MaxIter; }
