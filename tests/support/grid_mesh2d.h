#pragma once
// Test fixture: a structured mesh of 6-node triangles on a rectangle, built
// the way the block mesher delivers its meshes (counter-clockwise triangles,
// corner nodes first, flags 64/65 for corners and 0/1 for mid-side nodes on
// the boundary).

#include <algorithm>
#include <map>
#include <utility>

#include "core/section.h"

inline Mesh2d GridMesh2d(double x0, double y0, double w, double h, int nx, int ny) {
  Mesh2d m;
  const int nc = (nx + 1) * (ny + 1);
  auto cid = [&](int i, int j) { return j * (nx + 1) + i + 1; };
  std::vector<Point2> xy(static_cast<std::size_t>(nc));
  for (int j = 0; j <= ny; ++j)
    for (int i = 0; i <= nx; ++i) xy[static_cast<std::size_t>(cid(i, j) - 1)] = {x0 + w * i / nx, y0 + h * j / ny};
  std::map<std::pair<int, int>, int> mid;
  std::map<std::pair<int, int>, int> uses;
  std::vector<std::array<int, 3>> tri;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      const int a = cid(i, j), b = cid(i + 1, j), c = cid(i + 1, j + 1), d = cid(i, j + 1);
      tri.push_back({a, b, c});
      tri.push_back({a, c, d});
    }
  auto edge = [](int p, int q) { return std::make_pair(std::min(p, q), std::max(p, q)); };
  for (const auto& t : tri)
    for (int k = 0; k < 3; ++k) ++uses[edge(t[static_cast<std::size_t>(k)], t[static_cast<std::size_t>((k + 1) % 3)])];
  int next = nc;
  for (const auto& [e, n] : uses) {
    (void)n;
    mid[e] = ++next;
    const Point2& p = xy[static_cast<std::size_t>(e.first - 1)];
    const Point2& q = xy[static_cast<std::size_t>(e.second - 1)];
    xy.push_back({0.5 * (p[0] + q[0]), 0.5 * (p[1] + q[1])});
  }
  m.np = nc;
  m.nh = next;
  m.ne = static_cast<int>(tri.size());
  m.xy.assign(static_cast<std::size_t>(m.nh));
  m.flag.assign(static_cast<std::size_t>(m.nh));
  m.mark.assign(static_cast<std::size_t>(m.nh), 0);
  for (int i = 1; i <= m.nh; ++i) {
    m.xy(i) = xy[static_cast<std::size_t>(i - 1)];
    m.flag(i) = i <= nc ? 64 : 0;
  }
  for (const auto& [e, n] : uses)
    if (n == 1) {
      m.flag(e.first) = 65;
      m.flag(e.second) = 65;
      m.flag(mid[e]) = 1;
    }
  m.nop.assign(6, m.ne);
  for (int e = 1; e <= m.ne; ++e) {
    const auto& t = tri[static_cast<std::size_t>(e - 1)];
    const int A = t[0], B = t[1], C = t[2];
    const int v[6] = {A, B, C, mid[edge(C, A)], mid[edge(A, B)], mid[edge(B, C)]};
    for (int a = 1; a <= 6; ++a) m.nop(a, e) = v[a - 1];
  }
  return m;
}
