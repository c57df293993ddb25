#pragma once
// Axial volume flux of a solved flow mesh by element layer.  The mesh is a
// stack of wedge layers between planes of constant z; the discrete
// continuity equation of the mixed element (continuous linear pressure)
// holds for the test function that is 0 on and below a layer's lower plane,
// 1 on and above its upper plane and linear in z in between, whose gradient
// is (0, 0, 1/h) in the layer.  The mean of -vz over the layer's volume times
// its cross-section, -(1/h) * integral of vz dV, therefore equals the flux
// that enters through the ram face less what crosses the lateral surface
// above and inside the layer, to the precision of the linear solve: it is
// the measure of volume conservation that the discretisation keeps exactly,
// where a flux through one node plane is kept only approximately.

#include <cstdio>
#include <vector>

#include "core/records.h"
#include "fem/elements.h"

struct LayerFlux {
  double zLow = 0.0;               // lower plane of the layer (mean z of its lower corners), mm
  double zHigh = 0.0;              // upper plane, mm
  double area = 0.0;               // layer volume / height: the cross-section area, mm^2
  double flux = 0.0;               // -(1/h) * integral of vz dV over the layer: flux towards the exit, mm^3/s
  std::vector<double> pieceFlux;   // the same over the elements of profile piece j at index j-1 (profile layers only), mm^3/s
  std::vector<double> pieceArea;   // cross-section area of piece j's elements in the layer, mm^2
  bool profile = false;            // true when the layer lies below the die level Z1 (in the die opening)
};

// Flux of every element layer of the flow mesh `nodes`, ordered from the
// ram (largest z) to the exit.  Wedges only (a tetrahedron, which the
// layered meshes do not hold, is skipped and counted in `skipped`).  A layer
// is the set of wedges whose lower corners lie at one z (rounded to 1e-3 mm).
// In the layers below zDie + 1e-3 each wedge is given to the first piece of
// `pieces` (1..nPieces, at most 32) that has a cross-section node within
// 0.02 mm (x-y) of each of its lower corners, as the pieces are extruded
// into the profile; a wedge that matches no piece counts in the layer's
// flux only.
void LayerFluxes(const MeshRecord& nodes, const ElemType& wedge, const Vec1<Mesh2d>& pieces, int nPieces, double zDie,
                 std::vector<LayerFlux>& layers, int& skipped);

// Log lines of the layer fluxes against q = ramSpeed x freeArea (the flux
// the ram pushes in over the container's free area): the lowest and
// highest ratio of the container layers and of the profile layers, each
// piece's share of the profile flux and its flux-weighted exit speed
// (piece flux / piece area, mean over the profile layers), then one line
// per layer.
void WriteLayerFluxLog(std::FILE* log, const std::vector<LayerFlux>& layers, double ramSpeed, double freeArea);

// Free area of the container, mm^2: the section the ram pushes, the largest
// cross-section mesh, or for a die of three holes or more the container's
// mesh (the last one, `nPiecesB`); a hollow profile's mandrel is not part
// of it.
double ContainerFreeArea(const SectionSet& sections);
