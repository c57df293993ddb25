#pragma once
// Transfer of nodal fields between the flow mesh and the thermal mesh.

#include "core/records.h"

// mode 1: velocity, pressure, viscosity, stress; 2: temperature and the
// fields of mode 1; 3: temperature only.
void Perenos_3d(const MeshRecord& src, MeshRecord& dst, int mode);
