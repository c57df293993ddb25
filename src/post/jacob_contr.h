#pragma once
// Volume control of a flow mesh: the volume of the elements, integrated
// through their Jacobians, against the volume of the axial layout.

#include "core/records.h"
#include "fem/elements.h"

// Volume of one element, |sum over the integration points of w * det J|.
// The wedge and tetrahedron weights sum to the reference volumes (1 and
// 1/6), so the rule integrates det J exactly for straight-sided and
// quadratically curved cross-sections with straight axial edges.
double ElementVolume(const ElemType& et, const double xyz[][3]);

// Relative deviation of the mesh volume from the layout volume,
//   dV = (Vmesh - Vref) / Vref,
//   Vmesh = sum over elements of ElementVolume (Wedge15 when bit 0 of etype
//           is set, else Tet10; node numbers by absolute value),
//   Vref  = (Z1 - Z0) Area2d(1) + (Z2 - Z1) Area2d(2) + (Z3 - Z2) Area2d(3),
// stored in results.dV.  An empty mesh gives -1; a layout of zero volume a
// non-finite value.
void Jacob_contr(const MeshRecord& nodes, const ElemType& Wedge15, const ElemType& Tet10,
                 const SectionSet& sections, const AxialLayout& layout, VariantResults& results);
