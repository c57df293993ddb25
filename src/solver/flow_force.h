#pragma once
// Process results of a flow solution on the tool faces: the extrusion force,
// the exit-speed check and the surface-speed regularisation of the friction.

#include "core/records.h"
#include "fem/elements.h"

// Extrusion force and normal stresses at the face integration points of the
// tool faces, from the current velocity and pressure fields; sets FORSE (N)
// and Psr (MPa) of inp and the face-point normal stresses of nodes.faces.
void ForceEval(MeshRecord& nodes, const ElementTables& tab, InpDat& inp);

// Exit-speed check after a flow solve: Krit_dV_SR, Krit_dV_MAX and the
// adjustment coefficients of the exit-surface records.
void ExitSpeedCheck(MeshRecord& nodes, InpDat& inp);

// Regularised sliding speed of every boundary node record.
void SurfaceSpeedReg(MeshRecord& nodes);
