#pragma once
// Test support: a box [0, a] x [0, b] x [0, H] of 15-node wedges (m x m
// squares per cross-section, each split into two triangles, nz layers),
// corner nodes numbered first, as a flow mesh record with uniform
// temperature and strain.  With leftHanded the triangles run clockwise, so
// that det J < 0 at every point as on the extruded meshes.

#include <array>
#include <cstdlib>
#include <functional>
#include <vector>

#include "core/records.h"
#include "fem/elements.h"
#include "support/wedge_box.h"
#include "mesh3d/boundary.h"
#include "support/element_tables.h"

struct Block {
  MeshRecord mesh;
  InpDat inp;
  double a = 0, b = 0, H = 0;
};

inline void BuildBlock(Block& blk, int m, int nz, double a, double b, double H, bool leftHanded) {
  blk.a = a;
  blk.b = b;
  blk.H = H;
  Mesh3d& g = blk.mesh.g;
  BuildWedgeBox(g, m, nz, a, b, H, leftHanded);
  g.BoundaryConditions.assign(static_cast<size_t>(g.nh), 0);
  g.EndPlane.assign(static_cast<size_t>(g.nh), 0);
  blk.mesh.kind = 1;
  blk.mesh.fld.assign(kNumFld, g.nh, 0.0f);
  blk.mesh.edata.clear();
  blk.mesh.bnd.clear();
  blk.mesh.faces.clear();
  blk.inp = InpDat{};
  blk.inp.model.PScale = 1.0;
  blk.inp.solve.MemBudget = 2048000000;
  blk.inp.setup.mat.MatLaw = 2;
  blk.inp.setup.mat.MatC0 = 160.0;
  blk.inp.setup.mat.LawTable(1) = -0.0035;
  blk.inp.setup.mat.LawTable(2) = 0.02;
  blk.inp.setup.mat.LawTable(3) = 0.12;
  blk.inp.setup.mat.MatTmax = 600.0;
  for (int n = 1; n <= g.nh; ++n) {
    blk.mesh.fld(kFldT, n) = 480.0f;
    blk.mesh.fld(kFldStrain, n) = 0.5f;
    blk.mesh.fld(kFldVisc, n) = 1.0f;
    blk.mesh.fld(kFldStress, n) = 1.0f;
  }
}

// Sets the nodal velocity of every node from v(x).
inline void SetVelocity(Block& blk, const std::function<std::array<double, 3>(double, double, double)>& v) {
  const Mesh3d& g = blk.mesh.g;
  for (int n = 1; n <= g.nh; ++n) {
    const auto u = v(g.xyz(1, n), g.xyz(2, n), g.xyz(3, n));
    for (int i = 0; i < 3; ++i) blk.mesh.fld(kFldVx + i, n) = static_cast<float>(u[static_cast<size_t>(i)]);
  }
}

// Node code for the kind k on node n (corner nodes carry 64 more).
inline int CodeOf(const Block& blk, int n, int kind) { return (n <= blk.mesh.g.np ? 64 : 0) + kind; }

// Boundary data of a block whose node codes are set: boundary faces, face
// Jacobians and normals, nodal normals with no die planes (Z1 = Z2 below
// the block), and every boundary record with friction factor m, regularised
// speed s (mm/s) and adjustment coefficient `penalty`.
inline void BlockBoundaryData(Block& blk, float m, float s, float penalty) {
  FindBoundaryFaces(blk.mesh, Tables());
  FaceJacobian(blk.mesh, Tables());
  Cos_N_ALL(blk.mesh, Tables());
  blk.inp.layout.Z1 = blk.inp.layout.Z2 = -1000.0;
  NodalNormals(blk.inp.layout, blk.mesh);
  for (BndNode& r : blk.mesh.bnd) {
    r.factor = m;
    r.vScale = s;
    r.penalty = penalty;
  }
}
