#pragma once
// Volume meshes of a variant: the cross-section meshes are extruded along z
// into graded layers of 15-node wedges, the pieces are joined at their common
// planes and the elements are reordered for the frontal solver.
//
// Wedge node order: corners 1, 2, 3 at the lower z level and 4, 5, 6 above
// them; mid-edge nodes 7 (edge 1-3), 8 (1-2), 9 (2-3), 10 (1-4), 11 (2-5),
// 12 (3-6), 13 (4-6), 14 (4-5), 15 (5-6).  The corners of a counter-clockwise
// triangle (A, B, C) become (B, A, C), so every wedge has a negative Jacobian
// determinant.

#include <vector>

#include "core/records.h"
#include "fem/elements.h"

// Working record of one axial piece.
struct Piece3d {
  int mesh2d = 0;       // number of the cross-section mesh in Pieces2d, 1-based
  int nLayer = 0;       // number of element layers
  double zStart = 0.0;  // lower z of the piece, mm
  double zEnd = 0.0;    // upper z of the piece, mm
  double grade = 0.0;   // grading parameter r of GradePiece
};

// Axial length of the first piece after Z1: with Switch3d = 1, LenA/2 when
// LenA <= 10, else 10; otherwise LenA.
double LenFeedOf(const VariantSetup& setup);

// Pieces of the single-part construction (fewer than three outlines in the
// multi-outline layout), in extrusion order; `thermal` selects the layer
// counts of the thermal mesh.  In the flow mesh of a thin-walled profile the
// first container layer above the die face is at most 2.5 thinnest walls
// long, and a hollow profile's first free layer below the outlet at most
// half a wall (LayersForEndLayer).  `joinOrder` receives the order of
// joining as a list of piece numbers: the result is
// join(...join(join(p1, p2), p3)..., pn).
void SinglePartPieces(const VariantSetup& setup, const SectionSet& sections,
                      const AxialLayout& layout, bool thermal, std::vector<Piece3d>& pieces,
                      std::vector<int>& joinOrder);

// Element layers of a piece of `length` graded by GradePiece with grade r:
// the fewest m >= m0 whose end layer on the side the grade shortens (the
// upper end for r > 0, the lower for r < 0) is at most `limit` long; at most
// m0 + kMaxExtraLayers, and never a count whose end layer would fold (the
// map turns back near that end when m is large); m0 when limit <= 0.
constexpr int kMaxExtraLayers = 6;
int LayersForEndLayer(int m0, double r, double length, double limit);

// Thinnest wall of the profile, mm: the smallest wall thickness over the
// samples of its outline (and inner outline); 0 for a multi-hole die or
// without an outline.
double ThinnestProfileWall(const VariantSetup& setup, const SectionSet& sections);

// Extrudes cross-section mesh `m2` over [zStart, zEnd] in `nLayer` layers
// (corner nodes first, end planes flagged, etype -1).
void ExtrudePiece(const Mesh2d& m2, int nLayer, double zStart, double zEnd, Mesh3d& out);

// Maps z by h = 2(z - c)/L, z' = c + (L/2) h + r (L/2)(1 - h^2) with c and L the
// centre and length of the piece's z range; end planes stay in place.  The
// mid-layer nodes (wedge nodes 10, 11, 12) are then put halfway between the
// corners below and above them.
void GradePiece(double r, Mesh3d& m);

// Joins B to A at their common plane: end-plane nodes of the same z (within
// 0.001) and at most 0.05 apart are one node.  With `match` false the meshes
// are only concatenated (pieces side by side).  C receives corner nodes of A,
// unmatched corner nodes of B, other nodes of A, other unmatched nodes of B;
// elements of A, then of B; the joint-plane codes are updated.
void JoinMeshes(const Mesh3d& A, const Mesh3d& B, Mesh3d& C, bool match = true);

// Breadth-first element order of smallest level width (first such start
// element); permutes nop and etype.  Node numbers do not change.
void ReorderElements(Mesh3d& m);

// Builds the mesh proper of `nodes` (kind 1 flow, kind 2 thermal) from the
// variant's cross-section meshes: pieces, extrusion, grading, joining,
// reordering, then the nodal fields (temperature 20, viscosity and stress 1).
// Sets LenFeed.
void BuildVolumeMesh(const VariantSetup& setup, const SectionSet& sections, AxialLayout& layout,
                     MeshRecord& nodes);

// The whole volume mesh of a variant: BuildVolumeMesh, then the boundary
// kinds, boundary faces and records, normals and initial fields; with
// FaceShift >= 1.0 the die-face correction (die_face.h) bends the die face
// before the surface data are computed again.
void Gen_gr3d(MeshRecord& nodes, InpDat& inp_dat, const ElementTables& tab);
