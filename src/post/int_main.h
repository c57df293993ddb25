#pragma once
// Profile distortion at the die exit: the converged velocity field is
// integrated along the extrusion axis to displace the profile nodes of the
// flow mesh into the shape the material takes, and the exit cross-section
// is compared with the profile's own cross-section mesh (shift and twist
// rate per profile piece).

#include <vector>

#include "core/records.h"

// Distortion of every profile piece of a solved variant.
//   Z0 = smallest z of the flow mesh, Z1 = smallest z of the die-face rim
//   nodes (codes 8, 72), each 1e10 when there is none; L = Z1 - Z0.
//   Multi-outline layout (nPiecesB != 0): pieces 1 .. nPiecesB - 1 (none
//   when nPiecesB < 2); standard layout: piece 1.  Per piece END_PROF,
//   TraceColumns, ProfileDistortion; pieces 1..4 store (shift, twist) in
//   IntRes(2j - 1), IntRes(2j).  The flow-mesh coordinates keep the
//   displaced shape.
void Int_main(const SectionSet& sections, AxialLayout& layout, VariantResults& results,
              MeshRecord& nodes);

// Node map of a piece at the exit plane: map(i) = the last flow-mesh node j
// with z_j <= exitLevel + 0.05 and an x-y distance to piece node i of at
// most 0.02, 0 when there is none ("error in sub END_PROF" on the console
// per unmatched node).  exitLevel = 1e10 is replaced by the smallest z of
// the flow mesh.
void END_PROF(const MeshRecord& nodes, const Mesh2d& piece, Vec1<int32_t>& map, double& exitLevel);

// Streamline displacement of the profile columns.  Under every piece node
// the flow-mesh nodes within 0.01 in x-y and zLow - 0.01 <= z < zHigh - 0.01
// (z range of the free profile surface, codes 1, 65) form a column, taken
// from the container side (largest z) towards the exit; with the transit
// time dt = dz / vmax (vmax the largest speed in the columns) each node
// moves by the accumulated (vx, vy, |vz| - vAxMin) dt, vAxMin the lowest
// axial speed on the free surface (z is lowered).  The column store grows
// with the column; a zero vmax (no flow) moves nothing.  Ends with
// RecentreMidNodes over the elements that hold a displaced node, so that the
// curved outlines of the other pieces of a multi-hole die keep their
// mid-edge nodes where their own node maps and columns find them.
void TraceColumns(MeshRecord& nodes, const Mesh2d& piece);

// Puts every mid-edge node (wedge nodes 7..15, tetrahedron nodes 5..10) at
// the midpoint of the two corner nodes of its edge; with `moved` (one flag
// per node, index node - 1) only in the elements that hold a flagged node.
void RecentreMidNodes(MeshRecord& nodes, const std::vector<char>* moved = nullptr);

// Shift and twist rate of a piece from its exit node map and the length L
// of the free profile:
//   shift = dmin * 1000 / L, dmin the smallest x-y distance between a piece
//           node and its (displaced) exit node, at node e;
//   twist = atan(cross(a, b) / dot(a, b)) / L * 180000 / pi, in 1/1000
//           degree per mm, a = piece vector e -> m (m the piece node
//           farthest from e), b = the same vector between the exit nodes;
//           pi/2 when |dot| <= 0.01.
// Unmatched nodes (map 0) take no part: without any exit node both results
// are NaN, without one for m the twist is NaN.  Releases the map.
void ProfileDistortion(const MeshRecord& nodes, const Mesh2d& piece, Vec1<int32_t>& map, double L,
                       double& shift, double& twist);
