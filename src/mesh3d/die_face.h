#pragma once
// Die-face correction of a volume mesh: a potential on the container section
// (1 under the die opening, 0 on the container outline, harmonic between)
// bends the plane die face into a surface that falls towards the opening,
// and the cross-section potential is written to the text file "sigma.fem".
//
// "sigma.fem" (text):
//   line 1             number of triangles ne
//   line 2             number of corner nodes nv
//   nv lines           x, y, potential, potential of corner node 1..nv
//                      (four fields of 20 characters, %20.12E)
//   ne lines           the three corner node numbers of triangle 1..ne
//                      (three fields of 10 characters)

#include <string>

#include "core/records.h"
#include "fem/elements.h"

// Boundary values of the potential on cross-section mesh h =
// PotentialMeshIndex(sections): every node starts free (flag 64 for a corner node, 0
// otherwise) with potential 0; a node within 0.001 in (x, y) of a node of any
// mesh 1..h-1 gets flag 66 (corner) or 2 and potential 1; else a node within
// 0.001 of a point of Outlines(3) gets flag 65 or 1 and potential 0.
void DieFaceBoundaryValues(SectionSet& sections);

// Moves the volume nodes along -z by FaceShift x the potential of the
// cross-section node within 0.001 in (x, y) (nodes without one stay):
// zt = max(Z2, Z3); nodes with z > zt - 0.001 (the ram face) stay; above Z1
// the shift of an interior node (code 0 or 64) falls linearly from the full
// value at Z1 to 0 at zt.
void ShiftDieFace(const VariantSetup& setup, const AxialLayout& layout, const Mesh2d& section,
                  Mesh3d& g);

// Writes the corner nodes, potentials and triangles of `section` to `path`
// in the layout above.  The text goes to path + ".tmp" first and replaces
// `path` only when completely written, so a failed write leaves any earlier
// file untouched; a failure stops the run naming the file.
void WriteSigmaFem(const std::string& path, const Mesh2d& section);

// The whole correction of one volume mesh, run by Gen_gr3d when FaceShift is
// 1.0 or more: boundary values, the potential (Sol_Def, problem code 100),
// the shift of the nodes of `nodes`, the file "sigma.fem" in the working
// directory; the cross-section mesh gets its flags back and potential 0.
void DieFaceCorrection(MeshRecord& nodes, InpDat& d, const ElementTables& tab);
