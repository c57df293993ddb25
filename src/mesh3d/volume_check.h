#pragma once
// Consistency checker of a volume mesh of 15-node wedges (and 10-node
// tetrahedra).  It finds what would make a solve on the mesh wrong: node
// numbers out of range, vertex nodes not numbered first, elements whose
// Jacobian determinant is not negative at every integration point (the
// extruded meshes have det J < 0 everywhere, and the flow and heat element
// matrices rely on that sign), two nodes at one point, and faces shared by
// more than two elements.

#include <string>
#include <vector>

#include "core/records.h"
#include "fem/elements.h"

// Jacobian determinant of element e of type t at its integration point g.
double ElementDetJ(const Mesh3d& g, const ElemType& t, int e, int point);

// Checks the mesh proper of `nodes`; returns one line per finding (with the
// element or node and the value), at most `maxFindings`.  Empty when sound.
std::vector<std::string> CheckVolumeMesh(const Mesh3d& g, const ElementTables& tab, int maxFindings = 20);
