#pragma once
// Exit-speed balance of a solved variant: the axial speed over the exit
// section of every profile piece.  Where one part of the section leaves
// faster than another, the profile bends, twists or waves; for a die with
// several holes, a hole whose mean speed differs from the others gives
// profiles of different lengths.

#include "core/records.h"

// Number of profile pieces of a variant: 1 in the standard layout,
// nPiecesB - 1 in the multi-outline one (0 when nPiecesB < 2).
int ProfilePieceCount(const SectionSet& sections);

// Axial exit speed of pieces 1..nPieces of `pieces` on the flow mesh
// `nodes` (taken before the distortion estimate moves the exit nodes).
//   Exit plane: nodes with z <= zmin + 0.05 (zmin the smallest z of the mesh).
//   Piece j takes every exit-plane node within 0.02 in x-y of one of its
//   cross-section nodes (corner and mid-side), each node once.
//   Axial speed w = -vz; per piece and over the nodes of all pieces
//   together: mean, lowest and highest w, spread = (highest - lowest) / mean
//   * 100 (NaN when the mean is 0).  A set without nodes has NaN values.
// perPiece is resized to nPieces (1-based piece numbers).
void ExitSpeedBalance(const MeshRecord& nodes, const Vec1<Mesh2d>& pieces, int nPieces, Vec1<ExitSpeed>& perPiece,
                      ExitSpeed& all);
