#pragma once
// A box [0, a] x [0, b] x [0, H] of 15-node wedges: m x m squares per
// cross-section, each split into two triangles, nz layers.  Lattice points
// (I, J, K) at half-cell spacing; a point is a node when K is even (triangle
// planes) or when I and J are both even (mid-height points of the vertical
// edges).  Corner nodes (I, J, K all even) are numbered first.  The
// triangles run counter-clockwise, or clockwise with leftHanded (det J < 0
// at every point, as on the extruded meshes).

#include <array>
#include <cstddef>
#include <utility>
#include <vector>

#include "core/records.h"

// Replaces g by the box: node count, corner count, coordinates (mm) and
// connectivity; every other entry of g is left empty.
inline void BuildWedgeBox(Mesh3d& g, int m, int nz, double a, double b, double H, bool leftHanded) {
  const int P = 2 * m + 1, Q = 2 * nz + 1;
  std::vector<int> id(static_cast<std::size_t>(P) * P * Q, 0);
  auto lat = [&](int I, int J, int K) { return static_cast<std::size_t>((K * P + J) * P + I); };
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
  g.etype.assign(static_cast<std::size_t>(g.ne), 1);
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
}
