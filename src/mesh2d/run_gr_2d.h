#pragma once
// Cross-section mesh driver of one variant: reads the variant's outline file,
// meshes the profile and the rings around it, hands the meshes to the
// variant record and writes them to the cross-section file named by File2d.

#include <vector>

#include "core/records.h"
#include "mesh2d/wall_size.h"

// Base division count S and increment R of a cross-section mesh density
// level; any level outside 1..5 gives the finest setting (32, 12).
void DivisionCounts(int meshLevel, int& S, int& R);

// Meshes one closed, resampled outline as a block with the division pair
// (c1, c2), then computes its quality, flags it against the outline and
// smooths it.  Unless `keepMarks`, the outline's marks are set to -1 first,
// so that all its nodes are outer boundary.  Returns the quality Krit.
// Elements are kept within the wall bound, if any.  `images` is the number
// of mirror copies of the outline's region that make up the whole region
// (its base size is the whole region's).
double MeshOutline(Outline& outline, int c1, int c2, Mesh2d& mesh, bool keepMarks = false,
                   const WallBound* wall = nullptr, double images = 1.0);

// Wall samples of the profile region of a variant whose outlines are in
// `Outlines` (outline 1, and outline 4 as the inner outline when SplitMode
// is 2); empty for the multi-outline layout (process types 7 and 9).
void ProfileWallSamples(const VariantSetup& setup, const SectionSet& sections,
                        std::vector<WallSample>& samples);

// A single hollow profile: outline 4 is its inner outline (SplitMode 2,
// not the multi-outline layout).
bool IsHollowProfile(const VariantSetup& setup, const SectionSet& sections);

// c = a merged with b (coincident nodes shared).
void Merge(const Mesh2d& a, const Mesh2d& b, Mesh2d& c);

// Sets the node flags to the topological boundary of the mesh: corner nodes
// 65 and mid-side nodes 1 on edges used by one triangle only, 64 and 0
// everywhere else.  Cut lines and interfaces inside merged meshes therefore
// never stay flagged as boundary.
void FlagBoundaryEdges(Mesh2d& mesh);

// Meshes the cross-sections of a variant from its input values (outline
// file, process type, mesh level, File2d): the meshes go to
// Pieces2d as the cross-section file carries them (SectionFileMesh), the
// areas of meshes 1..3 to Area2d, and the file File2d is written with them.
void Run_gr_2d(const VariantSetup& setup, SectionSet& sections);
