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
  const int P = 2 * m + 1, Q = 2 * nz + 1;
  std::vector<int> id(static_cast<size_t>(P) * P * Q, 0);
  auto lat = [&](int I, int J, int K) { return static_cast<size_t>((K * P + J) * P + I); };
  Mesh3d& g = blk.mesh.g;
  g = Mesh3d{};
  int next = 0;
  for (int pass = 0; pass < 2; ++pass)
    for (int K = 0; K < Q; ++K)
      for (int J = 0; J < P; ++J)
        for (int I = 0; I < P; ++I) {
          const bool corner = I % 2 == 0 && J % 2 == 0 && K % 2 == 0;
          const bool node = K % 2 == 0 || (I % 2 == 0 && J % 2 == 0);
          if (node && corner == (pass == 0)) id[lat(I, J, K)] = ++next;
          if (pass == 0 && node && corner) g.np = next;
        }
  g.nh = next;
  g.npe = 15;
  g.nve = 6;
  g.ne = 2 * m * m * nz;
  g.xyz.assign(3, g.nh);
  for (int K = 0; K < Q; ++K)
    for (int J = 0; J < P; ++J)
      for (int I = 0; I < P; ++I) {
        const int n = id[lat(I, J, K)];
        if (n == 0) continue;
        g.xyz(1, n) = a * I / (2.0 * m);
        g.xyz(2, n) = b * J / (2.0 * m);
        g.xyz(3, n) = H * K / (2.0 * nz);
      }
  g.nop.assign(15, g.ne);
  g.etype.assign(static_cast<size_t>(g.ne), 1);
  int e = 0;
  for (int k = 0; k < nz; ++k)
    for (int j = 0; j < m; ++j)
      for (int i = 0; i < m; ++i) {
        const std::array<int, 2> p00{2 * i, 2 * j}, p10{2 * i + 2, 2 * j}, p11{2 * i + 2, 2 * j + 2}, p01{2 * i, 2 * j + 2};
        std::array<std::array<int, 2>, 3> tri[2] = {{p00, p10, p11}, {p00, p11, p01}};
        for (auto& t : tri) {
          if (leftHanded) std::swap(t[1], t[2]);
          ++e;
          auto mid = [](const std::array<int, 2>& u, const std::array<int, 2>& v) {
            return std::array<int, 2>{(u[0] + v[0]) / 2, (u[1] + v[1]) / 2};
          };
          auto nd = [&](const std::array<int, 2>& p, int K) { return id[lat(p[0], p[1], K)]; };
          const int K0 = 2 * k, K1 = 2 * k + 1, K2 = 2 * k + 2;
          const int nodes[15] = {nd(t[0], K0), nd(t[1], K0), nd(t[2], K0), nd(t[0], K2), nd(t[1], K2), nd(t[2], K2),
                                 nd(mid(t[0], t[2]), K0), nd(mid(t[0], t[1]), K0), nd(mid(t[1], t[2]), K0),
                                 nd(t[0], K1), nd(t[1], K1), nd(t[2], K1),
                                 nd(mid(t[0], t[2]), K2), nd(mid(t[0], t[1]), K2), nd(mid(t[1], t[2]), K2)};
          for (int q = 0; q < 15; ++q) g.nop(q + 1, e) = nodes[q];
        }
      }
  g.BoundaryConditions.assign(static_cast<size_t>(g.nh), 0);
  g.EndPlane.assign(static_cast<size_t>(g.nh), 0);
  blk.mesh.kind = 1;
  blk.mesh.fld.assign(kNumFld, g.nh, 0.0f);
  blk.mesh.edata.clear();
  blk.mesh.bnd.clear();
  blk.mesh.faces.clear();
  blk.inp = InpDat{};
  blk.inp.PScale = 1.0;
  blk.inp.MemBudget = 2048000000;
  blk.inp.mat.MatLaw = 2;
  blk.inp.mat.MatC0 = 160.0;
  blk.inp.mat.LawTable(1) = -0.0035;
  blk.inp.mat.LawTable(2) = 0.02;
  blk.inp.mat.LawTable(3) = 0.12;
  blk.inp.mat.MatTmax = 600.0;
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
  blk.inp.Z1 = blk.inp.Z2 = -1000.0;
  NodalNormals(blk.mesh, blk.inp);
  for (BndNode& r : blk.mesh.bnd) {
    r.factor = m;
    r.vScale = s;
    r.penalty = penalty;
  }
}
