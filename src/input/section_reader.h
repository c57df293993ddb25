#pragma once
// Reader of a variant's cross-section file into its variant record.

#include "driver/records.h"

// Cross-section area through which the profile leaves the die: mesh 1, or
// for a multi-hole die (nPiecesB >= 3 outlines) all its holes, meshes
// 1..nPiecesB-1, together.  `area1` is the area the caller takes for mesh 1.
inline double ProfileArea(const InpDat& d, double area1) {
  if (d.nPiecesB < 3 || d.Pieces2d.size() < d.nPiecesB) return area1;
  double a = 0.0;
  for (int k = 1; k < d.nPiecesB; ++k) a += d.Pieces2d(k).area;
  return a;
}

// Reads the file named by d.File2d into d.Pieces2d (areas of meshes 1..3 also
// into d.Area2d) and creates the eight integer work arrays sized by the node
// count of mesh 1.  A missing file or a malformed line stops the run with a
// message naming the file and line.
void ReadSection2d(int iVar, InpDat& d);
