#pragma once
// Writer of the cross-section file: the text file through which the
// cross-section meshes of a variant pass from the mesher to the volume
// mesher.  Layout: a line "M 2"; per mesh a line "ne area Krit", a line
// "np nh 0 0 0", nh lines "i x y flag" and ne lines of six node numbers.
// The reader is ReadSection2d (input/section_reader.h).

#include <string>
#include <vector>

#include "mesh2d/section.h"

// Writes the meshes in order.  The file is written under a temporary name and
// renamed when complete, so a failed write never leaves a partial file under
// `path`; any I/O failure stops the run with a message naming the file.
void WriteSectionFile(const std::string& path, const std::vector<const Mesh2d*>& meshes);
