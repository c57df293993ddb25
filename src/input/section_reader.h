#pragma once
// Reader of a variant's cross-section file into its variant record.

#include "driver/records.h"

// Reads the file named by d.File2d into d.Pieces2d (areas of meshes 1..3 also
// into d.Area2d) and creates the eight integer work arrays sized by the node
// count of mesh 1.  A missing file or a malformed line stops the run with a
// message naming the file and line.
void ReadSection2d(int iVar, InpDat& d);
