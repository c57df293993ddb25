#pragma once
// Process results of a flow solution on the tool faces: the extrusion force,
// the exit-speed check and the surface-speed regularisation of the friction.

#include "core/records.h"
#include "fem/elements.h"

// Extrusion force and normal stresses at the face integration points of the
// boundary faces, from the current velocity and pressure fields.  At every
// face point: sigma_n = p + 2 mu n.D.n with p interpolated from the face's
// nodal pressures, D the element's strain rate at the point, mu the shear
// viscosity of the element law (FlowViscosity) and n the point's outward
// normal; stored in array kBfSigmaN.  Points whose normal has nz >= 0.999
// (the ram face) give FORSE = sum sigma_n (weight x surface measure), in N
// (negative in compression), and Psr = FORSE / (their area), in MPa (0 when
// the mesh has no such face).  Every face point then receives the exit value
// x = (mean |sigma_n| over the points of the exit faces, the faces with a
// bearing node of code 9) / |Psr| in array kBfExit (1 when Psr is 0 or the
// mesh has no exit face), which the friction of the exit faces uses
// (solver/friction.h).  The contact pressure of the bearing is taken from
// the mean level of its normal stress rather than point by point: the
// local normal stress there changes sign between neighbouring points (the
// exit resistance, not the stress, holds the material on the bearing), and
// at the bearing's outlet corners a point's own stress fed back on its
// friction (a slower corner raised its contact pressure, its friction and
// so slowed further) without a fixed point on coarse meshes.
void ForceEval(MeshRecord& nodes, const ElementTables& tab, InpDat& inp);

// Exit-speed check after a flow solve, over the records of the nodes with
// code 9 or 73: m = v.n - target normal speed; the adjustment coefficient
// is multiplied by 1.5 where m >= 0.01 RamSpeed and by 0.5 where
// m <= -0.01 RamSpeed, never below PenaltyInit / 4 by the halving.  Krit_dV_SR = sqrt(sum m^2) / count, Krit_dV_MAX =
// largest |m| (both 0 when no record qualifies).
void ExitSpeedCheck(MeshRecord& nodes, InpDat& inp);

// Regularised sliding speed of every boundary node record:
// |v| / Q + 1e-8 with the factor q = max(1, (|v| / (vmax / 2))^4), vmax the
// largest record-node speed (at least 1e-8).  Speeds above half the largest
// are lowered, which raises the friction on the fastest surfaces (the
// bearing) toward sticking.  Q = q on a record's first call (regFactor 0),
// afterwards the geometric mean of q and the record's previous Q, which is
// kept in regFactor; a converged iteration has Q = q.  Without damping
// (while the friction drag takes its Newton tangent, which linearises about
// the undamped factor) Q = q on every call.
void SurfaceSpeedReg(bool damped, MeshRecord& nodes);
