#pragma once
// Relaxation of the flow update of the coupled iteration.
//
// The coupled iteration is a fixed-point iteration x <- G(x) on the flow
// state x (nodal velocities and corner pressures): every quantity the flow
// solve lags (viscosity, friction saturation, normal stress, regularised
// speed, exit resistance) is evaluated from the previous state.  On thin
// sections parts of G do not contract: the pressure at die-face edges flips
// in a two-cycle, and the free profile's nearly rigid swing grows from one
// iteration to the next.  The relaxed update
//   x_{k+1} = x_k + w_k (G(x_k) - x_k)
// has exactly the fixed points of G, so the converged field solves the same
// equations, and the velocity change the convergence test reads is that of
// the undamped step G(x_k) - x_k.  w_k follows the secant rule of Irons and
// Tuck (Aitken's dynamic relaxation) from the last two undamped changes,
// which cancels the dominant oscillating mode, within [kRelaxMin, 1].  It is
// switched on for the rest of the run once the undamped change grows from
// one iteration to the next after the first kRelaxAfter iterations (in
// which the dead zones form and the change may grow on a sound run); a run
// whose plain update contracts keeps w = 1.  Once the flow solve takes the
// Newton tangents (`extrapolate`), a step where the update creeps instead
// (the last two changes nearly parallel, r1 = l r0 with 0.3 <= l <= 0.9:
// nodes that the lagged friction brings to their sliding speed or to rest
// geometrically) is extrapolated by Aitken's w = 1 / (1 - l), at most
// kExtrapolateMax, which lands on the fixed point of a single linear mode
// (the largest factor is halved whenever the change after an extrapolated
// step grows: the creep was not one mode, and a U-channel at level 3 went
// round 0.03, 0.1, 0.05 for 25 iterations under factors of 4);
// a step after an extrapolated or relaxed one is not extrapolated, since its
// change no longer measures the plain update's slope.  From then on a step
// is also cut to the relative change `cap`: far from the solution a tangent
// step can overshoot by an order of magnitude (a channel: 0.5, then 2.5, 9,
// and a velocity of 2e5 mm/s), and the shortened step keeps the fixed
// points as any other w does.  A step whose change already meets the
// convergence test (`plainBelow`) is taken in full: the run may end on it,
// and it must end on the solve's own result, not on a multiple of the step
// (an angle ended on a step lengthened 3.4 times, 0.04 away from the fixed
// point).
#include <vector>

#include "core/records.h"

inline constexpr double kRelaxMin = 0.1;  // smallest relaxation factor
inline constexpr int kRelaxAfter = 10;    // iterations before a growing change switches the relaxation on
inline constexpr double kExtrapolateCos = 0.9;  // least cosine of the last two changes for an extrapolated step
inline constexpr double kExtrapolateMax = 4.0;  // largest extrapolation factor

struct FlowRelaxation {
  int after = kRelaxAfter;      // steps before a growing change may switch the relaxation on
  int steps = 0;                // flow updates so far
  bool active = false;          // relaxation switched on (the undamped change grew once)
  double omega = 1.0;           // relaxation factor of the last step (1 = undamped)
  double lastConvV = -1.0;      // undamped relative velocity change of the last step, -1 before the first
  double cap = 0.0;             // largest relative velocity change a step applies (0: no limit)
  bool extrapolate = false;     // creeping steps may be extrapolated (set with the Newton tangents)
  double plainBelow = 0.0;      // relative velocity change at or below which a step is taken in full (the convergence test's)
  double extrapolateMax = kExtrapolateMax;  // largest extrapolation factor, halved whenever an extrapolated step's next change grows
  std::vector<double> state;    // flow state before the solve: vx, vy, vz blocks of nodes 1..nh, then corner pressures 1..np
  std::vector<double> change;   // last undamped velocity change G(x) - x (3 nh), empty before the first step
};


// Keeps the flow state of `nodes` in relax.state before a flow solve.
void KeepFlowState(const MeshRecord& nodes, FlowRelaxation& relax);

// After a flow solve has stored G(x) in `nodes` with the relative velocity
// change convV: chooses the factor w and stores x + w (G(x) - x) as the
// velocities and corner pressures (the caller derives the mid-edge pressures
// and stresses again, FlowStresses).  Returns w.
double RelaxFlowUpdate(double convV, FlowRelaxation& relax, MeshRecord& nodes);
