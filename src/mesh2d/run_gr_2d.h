#pragma once
// Cross-section mesh driver of one variant: reads the variant's outline file,
// meshes the profile and the rings around it, and writes the cross-section
// file named by File2d.

#include "core/records.h"

// Base division count S and increment R of a cross-section mesh density
// level; any level outside 1..5 gives the finest setting (32, 12).
void DivisionCounts(int meshLevel, int& S, int& R);

// Meshes one closed, resampled outline as a block with the division pair
// (c1, c2), then computes its quality, flags it against the outline and
// smooths it.  Unless `keepMarks`, the outline's marks are set to -1 first,
// so that all its nodes are outer boundary.  Returns the quality Krit.
double MeshOutline(Outline& outline, int c1, int c2, Mesh2d& mesh, bool keepMarks = false);

// c = a merged with b (coincident nodes shared).
void Merge(const Mesh2d& a, const Mesh2d& b, Mesh2d& c);

// Sets the node flags to the topological boundary of the mesh: corner nodes
// 65 and mid-side nodes 1 on edges used by one triangle only, 64 and 0
// everywhere else.  Cut lines and interfaces inside merged meshes therefore
// never stay flagged as boundary.
void FlagBoundaryEdges(Mesh2d& mesh);

void Run_gr_2d(int iVar, InpDat& inp_dat);
