#pragma once
// The cross-section file: the text file that records the cross-section meshes
// of a variant (an output of the run; the volume mesher takes the meshes from
// the variant record), its writer and its reader.  Layout: a line "M 2"; per mesh a line "ne area Krit", a
// line "np nh 0 0 0", nh lines "i x y flag" and ne lines of six node numbers.

#include <string>
#include <vector>

#include "core/records.h"
#include "core/section.h"

// Writes the meshes in order.  The file is written under a temporary name and
// renamed when complete, so a failed write never leaves a partial file under
// `path`; any I/O failure stops the run with a message naming the file.
void WriteSectionFile(const std::string& path, const std::vector<const Mesh2d*>& meshes);

// The mesh as the cross-section file carries it and ReadSection2d returns it:
// the counts, area, quality, coordinates, flags and connectivity of `m`; the
// marks and the three temperature arrays zero; no potential.
Mesh2d SectionFileMesh(const Mesh2d& m);

// Reads the file named by setup.File2d into sections.Pieces2d (areas of meshes 1..3 also
// into sections.Area2d).  A missing file or a malformed line stops the run with a
// message naming the file and line.
void ReadSection2d(const VariantSetup& setup, SectionSet& sections);
