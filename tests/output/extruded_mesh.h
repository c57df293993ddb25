#pragma once
// Test meshes: 6-node triangles extruded along z into layers of 15-node
// wedges with the volume mesher's numbering (corner nodes of every full
// layer first, then per half-level the mid-side nodes of a full layer or
// the mid-layer nodes above the corners) and its corner order B, A, C for a
// triangle (A, B, C, D, E, F), D on C-A, E on A-B, F on B-C.  A
// counter-clockwise triangle then gives a wedge whose Jacobian determinant
// is negative everywhere.

#include <array>
#include <vector>

#include "core/records.h"

struct Section6 {
  std::vector<std::array<double, 2>> xy;  // node coordinates; corner nodes 1..nv first, mm
  int nv = 0;                             // number of corner nodes
  std::vector<std::array<int, 6>> tri;    // triangles (A, B, C, D, E, F), 1-based
};

// Extrudes `s` through the full levels z[0] < z[1] < ... (one element layer
// between neighbouring levels) into `m`: coordinates, connectivity, etype -1,
// node codes 64 + 1 on corners and 1 elsewhere, and a field array of nh
// columns with temperature 20 and viscosity and stress 1.
inline void ExtrudeSection(const Section6& s, const std::vector<double>& z, MeshRecord& m) {
  const int nh2 = static_cast<int>(s.xy.size());
  const int nv2 = s.nv;
  const int ne2 = static_cast<int>(s.tri.size());
  const int d = static_cast<int>(z.size()) - 1;
  Mesh3d& g = m.g;
  g.ne = d * ne2;
  g.np = (d + 1) * nv2;
  g.nh = (d + 1) * (nh2 + nv2) - nv2;
  g.npe = 15;
  g.nve = 6;
  g.xyz.assign(3, g.nh, 0.0);
  g.nop.assign(15, g.ne, 0);
  g.etype.assign(g.ne, -1);
  g.EndPlane.assign(g.nh, 0);
  g.BoundaryConditions.assign(g.nh, 1);
  auto corner = [&](int j, int c) { return j * nv2 + c; };
  auto midside = [&](int j, int mnode) { return g.np + j * nh2 + (mnode - nv2); };
  auto midlayer = [&](int j, int c) { return g.np + j * nh2 + (nh2 - nv2) + c; };
  auto put = [&](int n, int node2d, double zz) {
    g.xyz(1, n) = s.xy[node2d - 1][0];
    g.xyz(2, n) = s.xy[node2d - 1][1];
    g.xyz(3, n) = zz;
  };
  for (int j = 0; j <= d; ++j) {
    for (int c = 1; c <= nv2; ++c) {
      put(corner(j, c), c, z[j]);
      g.BoundaryConditions(corner(j, c)) = 65;
    }
    for (int mn = nv2 + 1; mn <= nh2; ++mn) put(midside(j, mn), mn, z[j]);
    if (j < d)
      for (int c = 1; c <= nv2; ++c) put(midlayer(j, c), c, 0.5 * (z[j] + z[j + 1]));
  }
  for (int j = 0; j < d; ++j) {
    for (int e = 1; e <= ne2; ++e) {
      const auto& t = s.tri[e - 1];
      const int A = t[0], B = t[1], C = t[2], D = t[3], E = t[4], F = t[5];
      const int k = j * ne2 + e;
      const int w[15] = {corner(j, B),     corner(j, A),     corner(j, C),      corner(j + 1, B),
                         corner(j + 1, A), corner(j + 1, C), midside(j, F),     midside(j, E),
                         midside(j, D),    midlayer(j, B),   midlayer(j, A),    midlayer(j, C),
                         midside(j + 1, F), midside(j + 1, E), midside(j + 1, D)};
      for (int a = 1; a <= 15; ++a) g.nop(a, k) = w[a - 1];
    }
  }
  m.fld.assign(kNumFld, g.nh, 0.0f);
  for (int i = 1; i <= g.nh; ++i) {
    m.fld(kFldT, i) = 20.0f;
    m.fld(kFldVisc, i) = 1.0f;
    m.fld(kFldStress, i) = 1.0f;
  }
}

// Rectangle [x0, x1] x [y0, y1] as two counter-clockwise 6-node triangles
// with straight sides: corners 1..4 counter-clockwise from (x0, y0), then
// the five edge mid-points.
inline Section6 RectangleSection(double x0, double x1, double y0, double y1) {
  Section6 s;
  s.nv = 4;
  s.xy = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
  auto mid = [&](int a, int b) {
    s.xy.push_back({0.5 * (s.xy[a - 1][0] + s.xy[b - 1][0]), 0.5 * (s.xy[a - 1][1] + s.xy[b - 1][1])});
    return static_cast<int>(s.xy.size());
  };
  const int m12 = mid(1, 2), m23 = mid(2, 3), m13 = mid(1, 3), m34 = mid(3, 4), m41 = mid(4, 1);
  // (A, B, C, D on C-A, E on A-B, F on B-C)
  s.tri.push_back({1, 2, 3, m13, m12, m23});
  s.tri.push_back({1, 3, 4, m41, m13, m34});
  return s;
}
