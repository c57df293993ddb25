#include "post/int_main.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "core/console.h"
#include "core/fatal.h"
#include "fem/elements.h"

namespace {

// Single-precision tolerances of the exit-plane match and the columns,
// widened as stored.
constexpr double kExitDz = 0.05f;   // axial tolerance of the exit plane, mm
constexpr double kExitDxy = 0.02f;  // x-y tolerance of the exit match, mm
constexpr double kColDxy = 0.01f;   // x-y radius of a column, mm
constexpr double kColDz = 0.01f;    // axial margin of the column range, mm
constexpr double kDotMin = 0.01f;   // smallest |dot| of the twist angle
constexpr double kHalfPi = 1.570796251296997;
constexpr double kPi = 3.141592502593994;

int LowByte(int code) { return code & 0xFF; }

double DistXY(double x1, double y1, double x2, double y2) { return std::hypot(x1 - x2, y1 - y2); }

// One node of a column: position, velocity (widened) and node number.
struct ColumnNode {
  double x, y, z;
  double vx, vy, vz;
  int node;
};

}  // namespace

void END_PROF(const MeshRecord& nodes, const Mesh2d& piece, Vec1<int32_t>& map, double& exitLevel) {
  const Mesh3d& g = nodes.g;
  map.assign(static_cast<std::size_t>(piece.nh), 0);
  if (exitLevel == 1e10) {
    double zmin = 1e10;
    for (int j = 1; j <= g.nh; ++j) zmin = std::min(zmin, g.xyz(3, j));
    exitLevel = zmin;
  }
  for (int i = 1; i <= piece.nh; ++i) {
    const double x = piece.xy(i)[0], y = piece.xy(i)[1];
    for (int j = 1; j <= g.nh; ++j)
      if (g.xyz(3, j) <= exitLevel + kExitDz && DistXY(x, y, g.xyz(1, j), g.xyz(2, j)) <= kExitDxy) map(i) = j;
  }
  for (int i = 1; i <= piece.nh; ++i)
    if (map(i) == 0) Console(TextLine("error in sub END_PROF"));
}

void TraceColumns(MeshRecord& nodes, const Mesh2d& piece) {
  Mesh3d& g = nodes.g;
  const auto speed = [&](int j) {
    const double vx = nodes.fld(kFldVx, j), vy = nodes.fld(kFldVy, j), vz = nodes.fld(kFldVz, j);
    return std::sqrt(vx * vx + vy * vy + vz * vz);
  };

  // Axial extent and lowest axial speed of the free profile surface; zTop
  // is the lowest top or end-plane level not below the surface reached so far.
  double zLow = 1e10, zHigh = 0.0, vAxMin = 1e10, zTop = 1e10;
  for (int j = 1; j <= g.nh; ++j) {
    const int c = LowByte(g.BoundaryConditions(j));
    const double z = g.xyz(3, j);
    if (c == 65 || c == 1) {
      zLow = std::min(zLow, z);
      zHigh = std::max(zHigh, z);
      vAxMin = std::min(vAxMin, static_cast<double>(std::abs(nodes.fld(kFldVz, j))));
    } else if (c == 71 || c == 7 || c == 73 || c == 9) {
      zTop = std::max(zHigh, std::min(z, zTop));
    }
  }
  const auto inColumnRange = [&](double z) { return zLow - kColDz <= z && z < zHigh - kColDz; };

  double vmax = 0.0;
  for (int j = 1; j <= g.nh; ++j) {
    if (!inColumnRange(g.xyz(3, j))) continue;
    for (int i = 1; i <= piece.nh; ++i)
      if (DistXY(piece.xy(i)[0], piece.xy(i)[1], g.xyz(1, j), g.xyz(2, j)) <= kColDxy) {
        vmax = std::max(vmax, speed(j));
        break;
      }
  }

  std::vector<ColumnNode> col;  // grows with the column; meshes keep it near 20
  std::vector<char> moved(static_cast<std::size_t>(g.nh), 0);
  if (vmax > 0.0) {
    for (int i = 1; i <= piece.nh; ++i) {
      const double x = piece.xy(i)[0], y = piece.xy(i)[1];
      col.clear();
      for (int j = 1; j <= g.nh; ++j)
        if (inColumnRange(g.xyz(3, j)) && DistXY(x, y, g.xyz(1, j), g.xyz(2, j)) <= kColDxy)
          col.push_back({g.xyz(1, j), g.xyz(2, j), g.xyz(3, j), nodes.fld(kFldVx, j), nodes.fld(kFldVy, j),
                         nodes.fld(kFldVz, j), j});
      std::stable_sort(col.begin(), col.end(), [](const ColumnNode& a, const ColumnNode& b) { return a.z > b.z; });
      double dx = 0.0, dy = 0.0, dz = 0.0, zPrev = zTop;
      for (const ColumnNode& c : col) {
        const double dt = std::abs(c.z - zPrev) / vmax;
        zPrev = c.z;
        dx += c.vx * dt;
        dy += c.vy * dt;
        dz += (std::abs(c.vz) - vAxMin) * dt;
        g.xyz(1, c.node) = c.x + dx;
        g.xyz(2, c.node) = c.y + dy;
        g.xyz(3, c.node) = c.z - dz;
        moved[static_cast<std::size_t>(c.node - 1)] = 1;
      }
    }
  }
  RecentreMidNodes(nodes, &moved);
}

void RecentreMidNodes(MeshRecord& nodes, const std::vector<char>* moved) {
  Mesh3d& g = nodes.g;
  const auto holdsMoved = [&](int e) {
    for (int k = 1; k <= g.nop.rows; ++k) {
      const int n = std::abs(g.nop(k, e));
      if (n != 0 && (*moved)[static_cast<std::size_t>(n - 1)]) return true;
    }
    return false;
  };
  const auto centre = [&](int e, int mid, int a, int b) {
    const int m = std::abs(g.nop(mid, e)), p = std::abs(g.nop(a, e)), q = std::abs(g.nop(b, e));
    if (m == 0 || p == 0 || q == 0) return;
    for (int k = 1; k <= 3; ++k) g.xyz(k, m) = 0.5 * (g.xyz(k, p) + g.xyz(k, q));
  };
  for (int e = 1; e <= g.ne; ++e) {
    if (moved != nullptr && !holdsMoved(e)) continue;
    const bool wedge = (g.etype(e) & 1) != 0 && g.nop.rows >= kWedgeNodes && g.nop(kWedgeNodes, e) != 0;
    if (wedge)
      for (int k = 0; k < 9; ++k) centre(e, 7 + k, kWedgeEdge[k][0], kWedgeEdge[k][1]);
    else if (g.nop.rows >= 10)
      for (int k = 0; k < 6; ++k) centre(e, 5 + k, kTetEdge[k][0], kTetEdge[k][1]);
  }
}

void ProfileDistortion(const MeshRecord& nodes, const Mesh2d& piece, Vec1<int32_t>& map, double L,
                       double& shift, double& twist) {
  const Mesh3d& g = nodes.g;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  shift = twist = nan;

  int e = 0;
  double dmin = 1e300;
  for (int i = 1; i <= piece.nh && i <= map.size(); ++i) {
    const int j = map(i);
    if (j == 0) continue;
    const double d = DistXY(piece.xy(i)[0], piece.xy(i)[1], g.xyz(1, j), g.xyz(2, j));
    if (d <= dmin) {
      dmin = d;
      e = i;
    }
  }
  if (e != 0) {
    shift = dmin * 1000.0 / L;
    int m = 0;
    double dfar = -1.0;
    for (int i = 1; i <= piece.nh; ++i) {
      const double d = DistXY(piece.xy(i)[0], piece.xy(i)[1], piece.xy(e)[0], piece.xy(e)[1]);
      if (d >= dfar) {
        dfar = d;
        m = i;
      }
    }
    if (m != 0 && m <= map.size() && map(m) != 0) {
      const double ax = piece.xy(m)[0] - piece.xy(e)[0], ay = piece.xy(m)[1] - piece.xy(e)[1];
      const int je = map(e), jm = map(m);
      const double bx = g.xyz(1, jm) - g.xyz(1, je), by = g.xyz(2, jm) - g.xyz(2, je);
      const double dot = ax * bx + ay * by;
      const double cross = ax * by - ay * bx;
      const double angle = std::abs(dot) <= kDotMin ? kHalfPi : std::atan(cross / dot);
      twist = angle / L * 180000.0 / kPi;
    }
  }
  map.clear();
}

void Int_main(const SectionSet& sections, AxialLayout& layout, VariantResults& results,
              MeshRecord& nodes) {
  const Mesh3d& g = nodes.g;
  double z0 = 1e10, z1 = 1e10;
  for (int j = 1; j <= g.nh; ++j) {
    const double z = g.xyz(3, j);
    z0 = std::min(z0, z);
    const int c = LowByte(g.BoundaryConditions(j));
    if (c == 72 || c == 8) z1 = std::min(z1, z);
  }
  layout.Z0 = z0;
  layout.Z1 = z1;
  const double L = z1 - z0;

  double exitLevel = 1e10;
  int nPieces = 1;
  if (sections.nPiecesB != 0) nPieces = sections.nPiecesB < 2 ? 0 : sections.nPiecesB - 1;
  Require(nPieces <= sections.Pieces2d.size(), "Int_main: " + std::to_string(nPieces) +
                                                   " profile pieces expected, " +
                                                   std::to_string(sections.Pieces2d.size()) +
                                                   " cross-section meshes held by the variant");
  Vec1<int32_t> map;
  for (int j = 1; j <= nPieces; ++j) {
    const Mesh2d& piece = sections.Pieces2d(j);
    END_PROF(nodes, piece, map, exitLevel);
    TraceColumns(nodes, piece);
    double shift = 0.0, twist = 0.0;
    ProfileDistortion(nodes, piece, map, L, shift, twist);
    if (j <= 4) {
      results.IntRes(2 * j - 1) = shift;
      results.IntRes(2 * j) = twist;
    }
  }
}
