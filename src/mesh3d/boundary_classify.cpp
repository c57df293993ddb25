#include <algorithm>
#include <cmath>
#include <limits>

#include "mesh3d/boundary.h"

namespace {

// Slack on "within distance r" tests, so that a point exactly r away (up to
// the rounding of its coordinates) still counts as within.
constexpr double kDistSlack = 1e-9;

bool IsCorner(const Mesh3d& g, int i) { return i <= g.np; }

// Largest z of the corner nodes (0 for a mesh without corners).
double TopZ(const Mesh3d& g) {
  double zc = -std::numeric_limits<double>::max();
  for (int i = 1; i <= g.np; ++i) zc = std::max(zc, g.xyz(3, i));
  return g.np > 0 ? zc : 0.0;
}

// The outline of slot s when the variant has one with at least `minPts` points.
const Outline* SlotOutline(const SectionSet& sections, int s, int minPts) {
  if (sections.Outlines.size() < s) return nullptr;
  const Outline& o = sections.Outlines(s);
  if (o.n < minPts || o.pts.size() < o.n) return nullptr;
  return &o;
}

// Distance from (x, y) to the closed polygon through the outline points;
// 0 inside it.
double DistanceToRegion(const Outline& o, double x, double y) {
  bool inside = false;
  double best = std::numeric_limits<double>::max();
  for (int k = 1; k <= o.n; ++k) {
    const Point2& a = o.pts(k);
    const Point2& b = o.pts(k == o.n ? 1 : k + 1);
    if ((a[1] > y) != (b[1] > y)) {
      const double xc = a[0] + (y - a[1]) * (b[0] - a[0]) / (b[1] - a[1]);
      if (x < xc) inside = !inside;
    }
    const double ex = b[0] - a[0], ey = b[1] - a[1];
    const double len2 = ex * ex + ey * ey;
    double t = len2 > 0.0 ? ((x - a[0]) * ex + (y - a[1]) * ey) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double dx = x - (a[0] + t * ex), dy = y - (a[1] + t * ey);
    best = std::min(best, std::sqrt(dx * dx + dy * dy));
  }
  return inside ? 0.0 : best;
}

}  // namespace

bool NearOutlinePoint(const Outline& o, double x, double y, double r) {
  const double r2 = (r + kDistSlack) * (r + kDistSlack);
  for (int k = 1; k <= o.n; ++k) {
    const double dx = x - o.pts(k)[0], dy = y - o.pts(k)[1];
    if (dx * dx + dy * dy <= r2) return true;
  }
  return false;
}

namespace {

// z strictly inside one of the container zones (Z1, Z2) and (Z2, Z3),
// shrunk by tol at both ends.
bool InContainerZone(const AxialLayout& layout, double z, double tol) {
  return (layout.Z1 + tol < z && z < layout.Z2 - tol) ||
         (layout.Z2 + tol < z && z < layout.Z3 - tol);
}

// Rules 3 and 4: joint-plane rims (EndPlane 3) become kind 8; boundary nodes
// inside a container zone become kind 4.
void ContainerAndRim(const AxialLayout& layout, double tol, Mesh3d& g) {
  for (int i = 1; i <= g.nh; ++i) {
    const int base = IsCorner(g, i) ? 64 : 0;
    int& code = g.BoundaryConditions(i);
    const int before = code;
    if (g.EndPlane(i) == 3) code = base + 8;
    if (before > base && InContainerZone(layout, g.xyz(3, i), tol)) code = base + 4;
  }
}

}  // namespace

void ClassifyBoundary(const SectionSet& sections, const AxialLayout& layout, Mesh3d& g) {
  constexpr double delta = 0.001;
  const double zc = TopZ(g);
  for (int i = 1; i <= g.nh; ++i) {
    const int base = IsCorner(g, i) ? 64 : 0;
    int& code = g.BoundaryConditions(i);
    if (g.EndPlane(i) != 0 || code == base + 1) code = base + 9;
    if (code == base) continue;
    const double zp = g.xyz(3, i) + delta;
    if (layout.ZoneZ(1) > zp) code = base + 1;
    if (layout.ZoneZ(1) <= delta && layout.Z1 > zp) code = base + 1;
    if (zc < zp) code = base + 7;
  }
  ContainerAndRim(layout, delta, g);
  // Ram-face nodes on the container outline hold their velocity fully.
  const Outline* o3 = SlotOutline(sections, 3, 1);
  if (o3 == nullptr) return;
  for (int i = 1; i <= g.nh; ++i) {
    if (g.xyz(3, i) <= zc - delta) continue;
    int& code = g.BoundaryConditions(i);
    if (KindOfCode(code) != 7) continue;
    if (NearOutlinePoint(*o3, g.xyz(1, i), g.xyz(2, i), 0.001)) code += 3;
  }
}

void ClassifyBoundaryMulti(const SectionSet& sections, const AxialLayout& layout, Mesh3d& g) {
  constexpr double delta = 0.0001;
  const double zc = TopZ(g);
  for (int i = 1; i <= g.nh; ++i) {
    const int base = IsCorner(g, i) ? 64 : 0;
    int& code = g.BoundaryConditions(i);
    if (g.EndPlane(i) != 0 || code == base + 1) code = base + 9;
    if (code != base && g.xyz(3, i) > zc - delta) code = base + 10;
  }
  ContainerAndRim(layout, delta, g);

  // Below the die every node belongs to one piece, the one whose outline
  // contains it or lies nearest; its bearing spans ZoneZ of the outline's
  // slot to Z1, and the surface below the bearing (and the exit plane) is
  // free.
  constexpr int kSlots[4] = {1, 2, 4, 5};
  const Outline* piece[4] = {};
  double bearing[4] = {};
  bool any = false;
  for (int k = 0; k < 4; ++k) {
    piece[k] = SlotOutline(sections, kSlots[k], 3);
    const double zz = layout.ZoneZ(k + 1);  // slots 1, 2, 4, 5 own the levels ZoneZ(1..4)
    bearing[k] = zz > delta ? zz : layout.Z1;
    any = any || piece[k] != nullptr;
  }
  if (!any) return;
  for (int i = 1; i <= g.nh; ++i) {
    int& code = g.BoundaryConditions(i);
    const double z = g.xyz(3, i);
    if (KindOfCode(code) != 9 || z >= layout.Z1 - delta) continue;
    int nearest = -1;
    double best = std::numeric_limits<double>::max();
    for (int k = 0; k < 4; ++k) {
      if (piece[k] == nullptr) continue;
      const double dist = DistanceToRegion(*piece[k], g.xyz(1, i), g.xyz(2, i));
      if (dist < best) {
        best = dist;
        nearest = k;
      }
    }
    if (nearest >= 0 && z + delta < bearing[nearest]) code = (IsCorner(g, i) ? 64 : 0) + 1;
  }
}

void FourPieceAdjust(const SectionSet& sections, const AxialLayout& layout,
                     const ModelParams& model, Mesh3d& g) {
  const double zt =
      layout.Z3 > 1e-5 ? 0.4 * (layout.Z3 + layout.Z1) : 0.4 * (layout.Z2 + layout.Z1);
  const double zb = layout.ZoneZ(1) > 1e-5 ? layout.ZoneZ(1) - 1e-5
                                           : layout.Z1 - 1e-5 - model.EdgeR1 * model.EdgeScale;
  const Outline* o4 = SlotOutline(sections, 4, 2);
  if (o4 == nullptr || o4->n > 499) return;
  for (int i = 1; i <= g.nh; ++i) {
    int& code = g.BoundaryConditions(i);
    const int kind = KindOfCode(code);
    if (kind != 1 && kind != 4 && kind != 7 && kind != 9) continue;
    const double z = g.xyz(3, i);
    if (z < zb || z > zt + 1e-5) continue;
    bool near = false;
    for (int k = 1; k <= o4->n && !near; ++k) {
      const double dx = g.xyz(1, i) - o4->pts(k)[0], dy = g.xyz(2, i) - o4->pts(k)[1];
      near = dx * dx + dy * dy <= 1e-5;
    }
    // Die contact along the split: kind 9, corner nodes keep the offset 64.
    if (near) code = (IsCorner(g, i) ? 64 : 0) + 9;
  }
}

namespace {

// The inner outline of a hollow profile in the standard layout, or null.
const Outline* MandrelOutline(const SectionSet& sections) {
  return sections.SplitMode == 2 && sections.nPiecesB == 0 ? SlotOutline(sections, 4, 3) : nullptr;
}

}  // namespace

void MandrelCodes(const SectionSet& sections, const AxialLayout& layout, Mesh3d& g) {
  const Outline* core = MandrelOutline(sections);
  if (core == nullptr) return;
  constexpr double delta = 0.001;
  const double zc = TopZ(g);
  for (int i = 1; i <= g.nh; ++i) {
    int& code = g.BoundaryConditions(i);
    const double z = g.xyz(3, i);
    if (!IsBoundaryCode(code) || z < layout.Z1 - delta) continue;
    if (!NearOutlinePoint(*core, g.xyz(1, i), g.xyz(2, i), 0.001)) continue;
    // The ram corner holds its velocity fully; below it the mandrel wall
    // holds the lateral speed at 0 and leaves the axial speed free, down to
    // and including the die-face level, which the mandrel passes through.
    const int kind = z > zc - delta ? 10 : 4;
    code = (IsCorner(g, i) ? 64 : 0) + kind;
  }
}

void SymmetryPlanes(const SectionSet& sections, const AxialLayout& layout, Mesh3d& g) {
  if (g.np < 1) return;
  constexpr double eps = 0.01;
  double xmin = g.xyz(1, 1), xmax = xmin, ymin = g.xyz(2, 1), ymax = ymin;
  for (int i = 2; i <= g.np; ++i) {
    xmin = std::min(xmin, g.xyz(1, i));
    xmax = std::max(xmax, g.xyz(1, i));
    ymin = std::min(ymin, g.xyz(2, i));
    ymax = std::max(ymax, g.xyz(2, i));
  }
  const double zl = layout.Z3 >= 0.01 ? layout.Z2 : layout.Z1;
  // A plane exists when the corner nodes reach it from one side; a mesh
  // that extends across it (a full model centred on the axis) has none.
  const bool planeX = std::fabs(xmin) + eps < 0.02;
  const bool planeY = std::fabs(ymin) + eps < 0.02;
  const Outline* core = MandrelOutline(sections);
  for (int i = 1; i <= g.nh; ++i) {
    const double x = g.xyz(1, i), y = g.xyz(2, i), z = g.xyz(3, i);
    int& code = g.BoundaryConditions(i);
    const int kind = KindOfCode(code);
    // A mandrel-wall node on a symmetry plane already holds both lateral
    // components; freeing the one along the plane would open the mandrel.
    if (kind == 4 && core != nullptr && NearOutlinePoint(*core, x, y, 0.001)) continue;
    const bool onX = x <= eps && eps <= y && y > ymin + eps;
    const bool onY = y <= eps && eps <= x && x > xmin + eps;
    const bool sx = planeX && kind == 4 && onX && y < ymax - eps;
    const bool sy = planeY && kind == 4 && onY && x < xmax - eps;
    // Rim nodes count as lying on a plane only when that plane exists; in a
    // full model x <= 0.01 is half the rim, not a symmetry line.
    const bool rim = kind == 8 && std::fabs(z - zl) <= eps;
    const bool ly = planeY && rim && onY && x <= xmax - eps;
    const bool lx = planeX && rim && onX && y <= ymax - eps;
    int k = -1;
    if (sy) k = lx ? 3 : ly ? 2 : sx ? 5 : 6;
    else if (sx) k = lx ? 3 : ly ? 2 : 5;
    else if (ly) k = lx ? 3 : 2;
    else if (lx) k = 3;
    if (k >= 0) code = (IsCorner(g, i) ? 64 : 0) + k;
  }
}

void PlaneCodes(const SectionSet& sections, const AxialLayout& layout, const ModelParams& model,
                Mesh3d& g) {
  double levels[2] = {};
  int nl = 0;
  if (sections.nPiecesA == 2) {
    levels[nl++] = layout.Z1;
  } else if (sections.nPiecesA == 3) {
    levels[nl++] = layout.Z1 - model.EdgeR2 * model.EdgeScale;
    levels[nl++] = layout.Z2;
  }
  for (int i = 1; i <= g.nh; ++i) {
    bool on = false;
    for (int l = 0; l < nl; ++l) on = on || std::fabs(g.xyz(3, i) - levels[l]) <= 0.0001;
    if (!on) continue;
    int& code = g.BoundaryConditions(i);
    if (IsCorner(g, i) && code == 73) code = 71;
    else if (!IsCorner(g, i) && code == 9) code = 7;
  }
}
