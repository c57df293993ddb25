#pragma once
// Geometry check of an outline file before anything is meshed.
//
// The cross-section mesher assumes simple closed outlines that nest as the
// process type's layout needs; a file that breaks this would otherwise stop
// deep inside the mesher with a message that names neither the file nor the
// outline.  The check reads the outlines as the polygon through all their
// points (segment start and middle points) and tests, in this order:
//
//  1. Slots: the outlines fill slots 1..min(count, 5), one outline per slot.
//  2. Every used outline: three or more distinct points, no two consecutive
//     points equal (a repeated first point at the end is reported as such),
//     a non-zero area and no self-crossing or self-touching.
//  3. The layout.  Nested layout (every process type but 7 and 9): the
//     profile (slot 1) inside slot 2 inside slot 3 inside the outermost
//     outline (slot 4, or slot 5 when the file holds a '3' outline, which
//     then is the hole of a hollow profile and must lie inside the profile);
//     at least two nested outlines, three for process types 3, 4 and 6.
//     Multi-hole layout (7, 9): at least three outlines; every other outline
//     (a hole of the die) inside the container (slot 3) and the holes apart.
//     "Inside" allows common points only on the symmetry axes, where half
//     and quarter models put their cut; as in the mesher's symmetry code, a
//     coordinate below 0.05 mm in magnitude counts as 0.
//
// Each finding is one line "file: outline NAME (slot k): what is wrong".

#include <cstdint>
#include <string>

#include "mesh2d/outline_file.h"

// Layout of the cross-section meshes that a process type asks for.
enum class OutlineLayout { Nested, MultiHole };

// Multi-hole for process types 7 and 9, nested for all others.
OutlineLayout LayoutOfProcess(int32_t profType);

// Fewest nested outlines (profile included) that process type needs in the
// nested layout: 3 for types 3, 4 and 6 (three cross-section meshes), else 2.
int NestedOutlinesNeeded(int32_t profType);

// Checks the outlines of `data` (read from `path`) for process type
// `profType`; returns "" when they can be meshed, else the first finding.
std::string CheckOutlineGeometry(const std::string& path, const OutlineFileData& data, int32_t profType);

// Reads the outline file `path` (stops on a damaged file, see
// ReadOutlineFile) and checks its geometry for process type `profType`;
// any finding stops the run with its line.
void CheckOutlineFile(const std::string& path, int32_t profType);

// What slot `slot` holds in the layout of process type `profType` ("the
// profile", "an intermediate ring", "the container bore", ...).
std::string SlotRole(int slot, const OutlineFileData& data, int32_t profType);
