#include "mesh3d/gen_gr3d.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <numeric>

#include "core/fatal.h"
#include "mesh3d/boundary.h"
#include "mesh3d/die_face.h"
#include "mesh2d/run_gr_2d.h"
#include "mesh2d/wall_size.h"

namespace {

// Mesh density level of the volume mesh -> (f, h) of the axial layout.
void LevelCounts(int level, int& f, int& h) {
  if (level <= 1) {
    f = 0;
    h = 1;
  } else {
    f = std::min(level, 5) - 1;
    h = 2;
  }
}

Piece3d Piece(int mesh2d, double z0, double z1, float grade, int nLayer) {
  return Piece3d{mesh2d, nLayer, z0, z1, static_cast<double>(grade)};
}

void ClearMesh(Mesh3d& m) { m = Mesh3d{}; }

// Node and element arrays of a wedge mesh whose ne, nh and np are set:
// zero coordinates, codes and end planes, empty connectivity, etype -1.
void AllocateWedgeMesh(Mesh3d& m) {
  m.npe = 15;
  m.nve = 6;
  m.xyz.assign(3, m.nh, 0.0);
  m.BoundaryConditions.assign(static_cast<std::size_t>(m.nh), 0);
  m.EndPlane.assign(static_cast<std::size_t>(m.nh), 0);
  m.nop.assign(15, m.ne, 0);
  m.etype.assign(static_cast<std::size_t>(m.ne), -1);
}

}  // namespace

// Longest first layer above the die face and (hollow profiles) below the
// outlet, in thicknesses of the profile's thinnest wall.
constexpr double kFaceLayerWalls = 2.5;
constexpr double kOutletLayerWalls = 0.5;
// A profile is thin-walled when its thinnest wall is under this share of its
// largest extent (a strip 50 x 5: 0.1; a square bar: 0.71).
constexpr double kThinWallShare = 0.25;

int LayersForEndLayer(int m0, double r, double length, double limit) {
  if (!(limit > 0.0) || !(length > 0.0) || m0 < 1) return m0;
  // End layer of m layers: the map z' - c = (L/2)(h + r(1 - h^2)) between
  // h = 1 - d and h = 1 (d = 2/m) spans (L/2)(d(1 - 2r) + r d^2); for r < 0
  // the lower end mirrors it with |r|.
  const double g = std::abs(r);
  auto end = [&](int m) {
    const double d = 2.0 / m;
    return 0.5 * length * (d * (1.0 - 2.0 * g) + g * d * d);
  };
  int m = m0;
  while (end(m) > limit && m < m0 + kMaxExtraLayers && end(m + 1) > 0.0) ++m;
  return m;
}

double ThinnestProfileWall(const VariantSetup& setup, const SectionSet& sections) {
  std::vector<WallSample> samples;
  ProfileWallSamples(setup, sections, samples);
  double t = 0.0;
  for (const WallSample& s : samples)
    if (s.t > 0.0 && (t == 0.0 || s.t < t)) t = s.t;
  return t;
}

double LenFeedOf(const VariantSetup& setup) {
  if (setup.Switch3d == 1) return setup.LenA <= 10.0 ? setup.LenA / 2.0 : 10.0;
  return setup.LenA;
}

void SinglePartPieces(const VariantSetup& setup, const SectionSet& sections,
                      const AxialLayout& layout, bool thermal, std::vector<Piece3d>& pieces,
                      std::vector<int>& joinOrder) {
  pieces.clear();
  joinOrder.clear();
  const int n = sections.nPiecesB != 0 ? sections.nPiecesB : sections.nPiecesA;
  int f = 0, h = 0;
  LevelCounts(setup.MeshLevel3d, f, h);
  const int t = thermal ? 1 : 0;
  const int m = f + 3 * t + 2;
  const int l = 4 * t + (setup.Switch3d == 1 ? 1 : f + 1);
  const double s = LenFeedOf(setup);
  const bool split = layout.Z0 < layout.ZoneZ(1) && layout.ZoneZ(1) < layout.Z1;
  const double zz = layout.ZoneZ(1);

  if (n <= 1) {
    if (!split) {
      pieces = {Piece(1, layout.Z0, layout.Z1, 0.5f, 5)};
      joinOrder = {1};
    } else {
      pieces = {Piece(1, zz, layout.Z1, 0.2f, 5), Piece(1, layout.Z0, zz, 0.5f, 5)};
      joinOrder = {1, 2};
    }
    return;
  }
  if (n == 2) {
    const float g1 = thermal ? 0.55f : 0.6f;
    if (!split) {
      pieces = {Piece(1, layout.Z0, layout.Z1, g1, m),
                Piece(2, layout.Z1, layout.Z1 + s, -0.47f, l)};
      joinOrder = {1, 2};
    } else {
      pieces = {Piece(1, zz, layout.Z1, 0.2f, 2), Piece(2, layout.Z1, layout.Z1 + s, -0.47f, l),
                Piece(1, layout.Z0, zz, 0.55f, m)};
      joinOrder = {3, 1, 2};
    }
  } else {
    const int l2 = thermal ? 4 : h;
    if (!split) {
      pieces = {Piece(1, layout.Z0, layout.Z1, 0.53f, m), Piece(2, layout.Z1, layout.Z2, -0.3f, l2),
                Piece(3, layout.Z2, layout.Z2 + s, -0.47f, l)};
      joinOrder = {1, 2, 3};
    } else {
      pieces = {Piece(1, zz, layout.Z1, 0.2f, 2), Piece(2, layout.Z1, layout.Z2, -0.3f, l2),
                Piece(3, layout.Z2, layout.Z2 + s, -0.47f, l), Piece(1, layout.Z0, zz, 0.53f, m)};
      joinOrder = {1, 2, 3, 4};
    }
  }
  // Layers of the flow mesh at the die's outlet and face where the profile
  // has thin walls (its thinnest wall under a quarter of its largest
  // extent; compact bars keep their layers).  Above the die face, the first
  // container layer is held to 2.5 thicknesses of the thinnest wall: the
  // share of material each part of the opening draws is decided within a
  // few wall thicknesses of the face, and with a first layer of 4
  // thicknesses the exit-speed balance of a 30 x 30 x 3 angle came out 50 %
  // off (shift 507 mm/m against 332, the ram pressure 6 % low).  Below the
  // outlet, a hollow profile's first free layer is held to half the thinnest
  // wall: where the tube leaves the mandrel and the bearing, a longer layer
  // lets 1 to 2 % of the flux out through the free surfaces (a solid
  // profile's thin walls lose less than 0.5 % with the standard layers).
  const double tWall = thermal ? 0.0 : ThinnestProfileWall(setup, sections);
  if (tWall > 0.0 && tWall < kThinWallShare * sections.Diam2d) {
    const bool hollow = IsHollowProfile(setup, sections);
    for (Piece3d& p : pieces) {
      if (p.zStart == layout.Z1 && p.grade < 0.0)
        p.nLayer = LayersForEndLayer(p.nLayer, p.grade, p.zEnd - p.zStart, kFaceLayerWalls * tWall);
      if (hollow && p.mesh2d == 1 && p.zStart == layout.Z0 && p.grade > 0.0)
        p.nLayer = LayersForEndLayer(p.nLayer, p.grade, p.zEnd - p.zStart, kOutletLayerWalls * tWall);
    }
  }
  // The alternative construction continues the last piece: one layer over
  // the next length s, then f + 1 layers up to the end of the layout, so that
  // the mesh still reaches the ram face.
  if (setup.Switch3d == 1) {
    const int last = n == 2 ? 2 : 3;
    const Piece3d& p = pieces[static_cast<std::size_t>(last - 1)];
    const double zEndAll = n == 2 ? layout.Z2 : layout.Z3;
    const float g = (n == 3 && split) ? -0.47f : -0.55f;
    pieces.push_back(Piece(p.mesh2d, p.zEnd, p.zEnd + s, g, 1));
    joinOrder.push_back(static_cast<int>(pieces.size()));
    if (zEndAll > p.zEnd + s + 0.01) {
      pieces.push_back(Piece(p.mesh2d, p.zEnd + s, zEndAll, -0.55f, f + 1));
      joinOrder.push_back(static_cast<int>(pieces.size()));
    }
  }
}

void ExtrudePiece(const Mesh2d& m2, int d, double zStart, double zEnd, Mesh3d& out) {
  ClearMesh(out);
  const int ne2 = m2.ne, nh2 = m2.nh, nv2 = m2.np;
  assert(d >= 1);
  out.ne = d * ne2;
  out.nh = (d + 1) * (nh2 + nv2) - nv2;
  out.np = (d + 1) * nv2;
  AllocateWedgeMesh(out);
  if (out.nh == 0) return;

  // Node numbers: corner c of full layer j, mid-side node m of full layer j,
  // mid-layer node above corner c between layers j and j + 1.
  const int np = out.np;
  auto corner = [&](int j, int c) { return j * nv2 + c; };
  auto midside = [&](int j, int m) { return np + j * nh2 + (m - nv2); };
  auto midlayer = [&](int j, int c) { return np + j * nh2 + (nh2 - nv2) + c; };

  const double dz = (zEnd - zStart) / (2.0 * d);
  auto put = [&](int node, const Point2& p, double z, int code) {
    out.xyz(1, node) = p[0];
    out.xyz(2, node) = p[1];
    out.xyz(3, node) = z;
    out.BoundaryConditions(node) = code;
  };
  for (int j = 0; j <= d; ++j) {
    const double z = zStart + 2 * j * dz;
    for (int c = 1; c <= nv2; ++c) put(corner(j, c), m2.xy(c), z, m2.flag(c));
    for (int m = nv2 + 1; m <= nh2; ++m) put(midside(j, m), m2.xy(m), z, m2.flag(m));
    if (j < d)
      for (int c = 1; c <= nv2; ++c) put(midlayer(j, c), m2.xy(c), z + dz, m2.flag(c) - 64);
  }

  for (int j = 0; j < d; ++j)
    for (int e = 1; e <= ne2; ++e) {
      const int A = std::abs(m2.nop(1, e)), B = std::abs(m2.nop(2, e)), C = std::abs(m2.nop(3, e));
      const int D = std::abs(m2.nop(4, e)), E = std::abs(m2.nop(5, e)), F = std::abs(m2.nop(6, e));
      const int k = j * ne2 + e;
      const int w[15] = {corner(j, B),      corner(j, A),      corner(j, C),      corner(j + 1, B),  corner(j + 1, A),
                         corner(j + 1, C),  midside(j, F),     midside(j, E),     midside(j, D),     midlayer(j, B),
                         midlayer(j, A),    midlayer(j, C),    midside(j + 1, F), midside(j + 1, E), midside(j + 1, D)};
      for (int a = 1; a <= 15; ++a) out.nop(a, k) = w[a - 1];
    }

  // End planes: the lower and upper plane of the piece are boundary planes.
  for (int i = 1; i <= out.nh; ++i) {
    const double z = out.xyz(3, i);
    if (z < zStart + 0.01 || z > zEnd - 0.01) {
      const int code = out.BoundaryConditions(i);
      if (code == 1 || code == 65) {
        out.EndPlane(i) = 2;
      } else {
        out.EndPlane(i) += 1;
        out.BoundaryConditions(i) += 1;
      }
    }
  }
  for (int e = 1; e <= out.ne; ++e)
    for (int a = 1; a <= 6; ++a) {
      int& code = out.BoundaryConditions(out.nop(a, e));
      if (code < 64) code += 64;
    }
}

void GradePiece(double r, Mesh3d& m) {
  if (m.nh == 0) return;
  double zmin = m.xyz(3, 1), zmax = zmin;
  for (int i = 1; i <= m.nh; ++i) {
    zmin = std::min(zmin, m.xyz(3, i));
    zmax = std::max(zmax, m.xyz(3, i));
  }
  const double c = 0.5 * (zmin + zmax), L = zmax - zmin;
  if (L <= 0.0) return;
  for (int i = 1; i <= m.nh; ++i) {
    const double h = 2.0 * (m.xyz(3, i) - c) / L;
    m.xyz(3, i) = c + 0.5 * L * h + r * 0.5 * L * (1.0 - h * h);
  }
  for (int e = 1; e <= m.ne; ++e)
    for (int k = 0; k < 3; ++k) {
      const int mid = std::abs(m.nop(10 + k, e));
      const int lo = std::abs(m.nop(1 + k, e)), hi = std::abs(m.nop(4 + k, e));
      m.xyz(3, mid) = 0.5 * (m.xyz(3, lo) + m.xyz(3, hi));
    }
}

void JoinMeshes(const Mesh3d& A, const Mesh3d& B, Mesh3d& C, bool match) {
  // Partner of every node of B in A (0: none).  End-plane nodes of B are
  // sorted by z so that each node of A scans only its own plane.
  std::vector<int> partner(static_cast<std::size_t>(B.nh) + 1, 0);
  double zJoint = 0.0;
  bool anyMatch = false;
  if (match) {
    std::vector<int> endB;
    for (int j = 1; j <= B.nh; ++j)
      if (B.EndPlane(j) > 0) endB.push_back(j);
    std::sort(endB.begin(), endB.end(), [&](int a, int b) {
      return B.xyz(3, a) < B.xyz(3, b) || (B.xyz(3, a) == B.xyz(3, b) && a < b);
    });
    std::vector<double> zB(endB.size());
    for (std::size_t k = 0; k < endB.size(); ++k) zB[k] = B.xyz(3, endB[k]);
    for (int i = 1; i <= A.nh; ++i) {
      if (A.EndPlane(i) <= 0) continue;
      const double xi = A.xyz(1, i), yi = A.xyz(2, i), zi = A.xyz(3, i);
      auto lo = std::upper_bound(zB.begin(), zB.end(), zi - 0.001);
      int best = 0;
      double bestD = 1e300;
      // Nearest node of B on this plane; of equally near nodes the one with
      // the larger number wins, as a plain scan over B in node order decides.
      for (auto it = lo; it != zB.end() && *it < zi + 0.001; ++it) {
        const int j = endB[static_cast<std::size_t>(it - zB.begin())];
        const double dx = xi - B.xyz(1, j), dy = yi - B.xyz(2, j), dz = zi - B.xyz(3, j);
        const double dist = std::sqrt(dx * dx + dy * dy + dz * dz);
        if (dist < bestD || (dist == bestD && j > best)) {
          bestD = dist;
          best = j;
        }
      }
      if (best != 0 && bestD <= 0.05) {
        partner[static_cast<std::size_t>(best)] = i;
        zJoint = zi;
        anyMatch = true;
      }
    }
  }

  // New numbers: corners of A, unmatched corners of B, other nodes of A,
  // other unmatched nodes of B.
  int addedCorners = 0;
  for (int j = 1; j <= B.np; ++j)
    if (partner[static_cast<std::size_t>(j)] == 0) ++addedCorners;
  std::vector<int> newA(static_cast<std::size_t>(A.nh) + 1), newB(static_cast<std::size_t>(B.nh) + 1);
  for (int i = 1; i <= A.nh; ++i) newA[static_cast<std::size_t>(i)] = i <= A.np ? i : i + addedCorners;
  int next = A.np;
  for (int j = 1; j <= B.np; ++j)
    if (partner[static_cast<std::size_t>(j)] == 0) newB[static_cast<std::size_t>(j)] = ++next;
  next = A.nh + addedCorners;
  for (int j = B.np + 1; j <= B.nh; ++j)
    if (partner[static_cast<std::size_t>(j)] == 0) newB[static_cast<std::size_t>(j)] = ++next;
  for (int j = 1; j <= B.nh; ++j)
    if (partner[static_cast<std::size_t>(j)] != 0) newB[static_cast<std::size_t>(j)] = newA[static_cast<std::size_t>(partner[static_cast<std::size_t>(j)])];

  Mesh3d out;
  out.nh = next;
  out.np = A.np + addedCorners;
  out.ne = A.ne + B.ne;
  AllocateWedgeMesh(out);
  std::vector<char> fromA(static_cast<std::size_t>(out.nh) + 1, 0);
  for (int i = 1; i <= A.nh; ++i) {
    const int n = newA[static_cast<std::size_t>(i)];
    for (int k = 1; k <= 3; ++k) out.xyz(k, n) = A.xyz(k, i);
    out.BoundaryConditions(n) = A.BoundaryConditions(i);
    out.EndPlane(n) = A.EndPlane(i);
    fromA[static_cast<std::size_t>(n)] = 1;
  }
  std::vector<int> endPlaneB(static_cast<std::size_t>(out.nh) + 1, 0);  // EndPlane of the B partner
  for (int j = 1; j <= B.nh; ++j) {
    const int n = newB[static_cast<std::size_t>(j)];
    endPlaneB[static_cast<std::size_t>(n)] = B.EndPlane(j);
    if (partner[static_cast<std::size_t>(j)] != 0) continue;
    for (int k = 1; k <= 3; ++k) out.xyz(k, n) = B.xyz(k, j);
    out.BoundaryConditions(n) = B.BoundaryConditions(j);
    out.EndPlane(n) = B.EndPlane(j);
  }
  for (int e = 1; e <= A.ne; ++e) {
    for (int a = 1; a <= 15; ++a) {
      const int v = A.nop(a, e);
      out.nop(a, e) = v == 0 ? 0 : newA[static_cast<std::size_t>(std::abs(v))];
    }
    out.etype(e) = A.etype(e);
  }
  for (int e = 1; e <= B.ne; ++e) {
    for (int a = 1; a <= 15; ++a) {
      const int v = B.nop(a, e);
      out.nop(a, A.ne + e) = v == 0 ? 0 : newB[static_cast<std::size_t>(std::abs(v))];
    }
    out.etype(A.ne + e) = B.etype(e);
  }

  if (anyMatch) {
    // Joint plane: rim nodes (a matched pair with a lateral-boundary node)
    // stay boundary nodes; the rest of A's plane becomes interior; B's
    // uncovered plane (EndPlane 1) is marked 4, lateral rims without a
    // partner 3.
    std::vector<char> rim(static_cast<std::size_t>(out.nh) + 1, 0);
    std::vector<int> before(out.EndPlane.begin(), out.EndPlane.end());
    for (int j = 1; j <= B.nh; ++j) {
      const int i = partner[static_cast<std::size_t>(j)];
      if (i != 0 && (A.EndPlane(i) == 2 || B.EndPlane(j) == 2)) {
        const int n = newA[static_cast<std::size_t>(i)];
        rim[static_cast<std::size_t>(n)] = 1;
        out.EndPlane(n) = 5;
      }
    }
    for (int n = 1; n <= out.nh; ++n) {
      if (std::fabs(out.xyz(3, n) - zJoint) >= 0.001) continue;
      const int was = before[static_cast<std::size_t>(n - 1)];
      if (rim[static_cast<std::size_t>(n)]) {
        out.BoundaryConditions(n) = n <= out.np ? 65 : 1;
        continue;
      }
      if (fromA[static_cast<std::size_t>(n)]) {
        int& code = out.BoundaryConditions(n);
        if (code == 65) code = 64;
        if (code == 1) code = 0;
        out.EndPlane(n) = 0;
      }
      if (was == 2) out.EndPlane(n) = 3;
      if (!fromA[static_cast<std::size_t>(n)] && was == 1) out.EndPlane(n) = 4;
    }
  }
  C = std::move(out);
}

void ReorderElements(Mesh3d& m) {
  const int ne = m.ne;
  if (ne <= 1) return;
  // Vertex nodes of an element: 6 for a wedge, 4 for a tetrahedron.
  auto nVert = [&](int e) { return IsWedge(m, e) ? 6 : 4; };

  // Neighbour lists (elements sharing a vertex node), ascending, from a
  // node-to-element table.
  std::vector<int> count(static_cast<std::size_t>(m.nh) + 2, 0);
  for (int e = 1; e <= ne; ++e)
    for (int a = 1; a <= nVert(e); ++a) ++count[static_cast<std::size_t>(std::abs(m.nop(a, e)))];
  std::vector<int> start(static_cast<std::size_t>(m.nh) + 2, 0);
  for (int i = 1; i <= m.nh; ++i) start[static_cast<std::size_t>(i) + 1] = start[static_cast<std::size_t>(i)] + count[static_cast<std::size_t>(i)];
  std::vector<int> elems(static_cast<std::size_t>(start[static_cast<std::size_t>(m.nh) + 1]));
  std::vector<int> fill(start.begin(), start.end());
  for (int e = 1; e <= ne; ++e)
    for (int a = 1; a <= nVert(e); ++a) elems[static_cast<std::size_t>(fill[static_cast<std::size_t>(std::abs(m.nop(a, e)))]++)] = e;

  std::vector<int> nbStart(static_cast<std::size_t>(ne) + 2, 0);
  std::vector<int> nb;
  std::vector<int> seen(static_cast<std::size_t>(ne) + 1, 0);
  for (int e = 1; e <= ne; ++e) {
    nbStart[static_cast<std::size_t>(e)] = static_cast<int>(nb.size());
    const std::size_t first = nb.size();
    for (int a = 1; a <= nVert(e); ++a) {
      const int node = std::abs(m.nop(a, e));
      for (int k = start[static_cast<std::size_t>(node)]; k < start[static_cast<std::size_t>(node) + 1]; ++k) {
        const int o = elems[static_cast<std::size_t>(k)];
        if (o != e && seen[static_cast<std::size_t>(o)] != e) {
          seen[static_cast<std::size_t>(o)] = e;
          nb.push_back(o);
        }
      }
    }
    std::sort(nb.begin() + static_cast<std::ptrdiff_t>(first), nb.end());
  }
  nbStart[static_cast<std::size_t>(ne) + 1] = static_cast<int>(nb.size());

  // Breadth-first search from `s`; returns the largest level size, or
  // `limit` as soon as a level reaches it (that start cannot win).
  std::vector<int> order(static_cast<std::size_t>(ne));
  std::vector<int> mark(static_cast<std::size_t>(ne) + 1, 0);
  int stamp = 0;
  auto bfs = [&](int s, int limit) {
    ++stamp;
    int n = 0;
    order[static_cast<std::size_t>(n++)] = s;
    mark[static_cast<std::size_t>(s)] = stamp;
    int levelBegin = 0, levelEnd = 1, width = 1;
    if (width >= limit) return limit;
    while (levelBegin < levelEnd) {
      for (int k = levelBegin; k < levelEnd; ++k) {
        const int e = order[static_cast<std::size_t>(k)];
        for (int q = nbStart[static_cast<std::size_t>(e)]; q < nbStart[static_cast<std::size_t>(e) + 1]; ++q) {
          const int o = nb[static_cast<std::size_t>(q)];
          if (mark[static_cast<std::size_t>(o)] == stamp) continue;
          mark[static_cast<std::size_t>(o)] = stamp;
          order[static_cast<std::size_t>(n++)] = o;
          if (n - levelEnd >= limit) return limit;
        }
      }
      width = std::max(width, n - levelEnd);
      levelBegin = levelEnd;
      levelEnd = n;
    }
    return width;
  };

  int best = ne + 1, bestStart = 1;
  for (int s = 1; s <= ne; ++s) {
    const int w = bfs(s, best);
    if (w < best) {
      best = w;
      bestStart = s;
    }
  }
  bfs(bestStart, ne + 1);
  // Elements unreachable from the start (a mesh in several parts) keep
  // their relative order after the reached ones.
  int reached = 0;
  for (int e = 1; e <= ne; ++e) reached += mark[static_cast<std::size_t>(e)] == stamp;
  for (int e = 1; e <= ne && reached < ne; ++e)
    if (mark[static_cast<std::size_t>(e)] != stamp) order[static_cast<std::size_t>(reached++)] = e;

  Mat1<int32_t> nop(15, ne);
  Vec1<int32_t> etype(static_cast<std::size_t>(ne));
  for (int k = 1; k <= ne; ++k) {
    const int e = order[static_cast<std::size_t>(k - 1)];
    for (int a = 1; a <= 15; ++a) nop(a, k) = m.nop(a, e);
    etype(k) = m.etype(e);
  }
  m.nop = std::move(nop);
  m.etype = std::move(etype);
}

// Extrudes and grades one piece.
static void BuildPiece(const SectionSet& sections, const Piece3d& p, Mesh3d& out) {
  Require(p.mesh2d >= 1 && p.mesh2d <= sections.Pieces2d.size(),
          "Gen_gr3d: cross-section mesh " + std::to_string(p.mesh2d) +
              " is missing (the section file holds " + std::to_string(sections.Pieces2d.size()) +
              ")");
  ExtrudePiece(sections.Pieces2d(p.mesh2d), p.nLayer, p.zStart, p.zEnd, out);
  GradePiece(p.grade, out);
}

// Multi-piece construction (J = nPiecesB >= 3 outlines): the single outlines
// 1..J-1 are extruded from Z0 (or their zone level) to Z1, side by side; the
// merged region J continues from Z1 over LenFeed and covers them all, so the
// joint at Z1 connects every hole of the die to the billet.  The two
// continuation pieces are extruded only by the alternative construction
// (Switch3d = 1), where piece J ends before Z2.
static void MultiPieceMesh(const VariantSetup& setup, const SectionSet& sections,
                           const AxialLayout& layout, bool thermal, Mesh3d& out) {
  const int J = std::min<int>(sections.nPiecesB, 5);
  int f = 0, h = 0;
  LevelCounts(setup.MeshLevel3d, f, h);
  const int t = thermal ? 1 : 0;
  const double lens[4] = {setup.PieceLen1, setup.PieceLen2, setup.PieceLen4, setup.PieceLen5};
  const bool split = layout.Z0 < layout.ZoneZ(1) && layout.ZoneZ(1) < layout.Z1;
  const float gBelow = thermal ? 0.53f : 0.6f;

  Mesh3d all;
  bool first = true;
  for (int k = 1; k <= J - 1; ++k) {
    double Lk = 0.0, Zk = 0.0;
    const int slot = k + 1 <= 5 ? sections.PieceOrder(k + 1) : 0;
    if (slot >= 1) {
      const int q = slot > 2 ? slot - 1 : slot;
      Lk = lens[q - 1];
      Zk = layout.ZoneZ(q);
    }
    if (Lk <= static_cast<double>(0.01f)) {
      Lk = 2.0;
      Zk = layout.Z1 - 2.0;
    }
    Mesh3d piece;
    if (split) {
      Mesh3d upper, lower;
      BuildPiece(sections, Piece(k, Zk, layout.Z1, 0.32f, Lk >= 1.0 ? 2 : 1), upper);
      BuildPiece(sections, Piece(k, layout.Z0, Zk, gBelow, f + 2 + 2 * t), lower);
      JoinMeshes(upper, lower, piece);
    } else {
      BuildPiece(sections, Piece(k, layout.Z0, layout.Z1, gBelow, f + 3 + 2 * t), piece);
    }
    if (first) {
      all = std::move(piece);
      first = false;
    } else {
      Mesh3d both;
      JoinMeshes(all, piece, both, /*match=*/false);
      all = std::move(both);
    }
  }
  const double s = LenFeedOf(setup);
  std::vector<Piece3d> above = {Piece(J, layout.Z1, layout.Z1 + s, thermal ? -0.47f : -0.64f,
                                      setup.Switch3d == 1 ? 1 : f + 1)};
  if (setup.Switch3d == 1) {
    above.push_back(Piece(J, layout.Z1 + s, layout.Z1 + 2 * s, -0.63f, 1));
    if (layout.Z2 > layout.Z1 + 2 * s + 0.01)
      above.push_back(Piece(J, layout.Z1 + 2 * s, layout.Z2, -0.63f, f + 1));
  }
  for (const Piece3d& p : above) {
    Mesh3d piece, joined;
    BuildPiece(sections, p, piece);
    if (first) {
      all = std::move(piece);
      first = false;
      continue;
    }
    JoinMeshes(all, piece, joined);
    all = std::move(joined);
  }
  out = std::move(all);
}

void BuildVolumeMesh(const VariantSetup& setup, const SectionSet& sections, AxialLayout& layout,
                     MeshRecord& nodes) {
  const bool thermal = nodes.kind == 2;
  layout.LenFeed = LenFeedOf(setup);
  Mesh3d mesh;
  if (sections.nPiecesB < 3) {
    std::vector<Piece3d> pieces;
    std::vector<int> order;
    SinglePartPieces(setup, sections, layout, thermal, pieces, order);
    std::vector<Mesh3d> built(pieces.size());
    for (std::size_t k = 0; k < pieces.size(); ++k) BuildPiece(sections, pieces[k], built[k]);
    mesh = std::move(built[static_cast<std::size_t>(order[0] - 1)]);
    for (std::size_t k = 1; k < order.size(); ++k) {
      Mesh3d joined;
      JoinMeshes(mesh, built[static_cast<std::size_t>(order[k] - 1)], joined);
      mesh = std::move(joined);
    }
  } else {
    MultiPieceMesh(setup, sections, layout, thermal, mesh);
  }
  ReorderElements(mesh);
  nodes.g = std::move(mesh);
  DefaultNodalFields(nodes);
  for (int e = 1; e <= nodes.g.ne; ++e) nodes.g.etype(e) = -1;
}

void Gen_gr3d(MeshRecord& nodes, InpDat& d, const ElementTables& tab) {
  BuildVolumeMesh(d.setup, d.sections, d.layout, nodes);
  BoundaryDataFirst(nodes, d, tab, d.sections.nPiecesB >= 3, d.sections.nOutlines);
  if (d.setup.FaceShift >= 1.0) DieFaceCorrection(nodes, d, tab);
  BoundaryDataSecond(d.setup, d.layout, d.model, tab, d.sections, nodes);
}
