#include "thermal/pre_heat.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/fatal.h"
#include "mesh2d/geometry2d.h"
#include "solver/field_solve.h"

namespace {

// Index of the node of `m` nearest to (x, y); on equal distances the later
// node.  Nodes are sorted into a uniform grid of buckets once; the search
// widens ring by ring until no closer node can lie outside the rings seen.
struct NearestNode {
  const Mesh2d& m;
  double x0 = 0, y0 = 0, cell = 1;
  int nx = 1, ny = 1;
  std::vector<int> start, list;  // bucket b holds list[start[b] .. start[b+1]-1]

  explicit NearestNode(const Mesh2d& mesh) : m(mesh) {
    double xmin, xmax, ymin, ymax;
    MeshBox(m, xmin, xmax, ymin, ymax);
    const double w = std::max(xmax - xmin, 1e-9), h = std::max(ymax - ymin, 1e-9);
    const int k = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(m.nh) / 2.0)));
    cell = std::max(w, h) / k;
    nx = std::max(1, static_cast<int>(w / cell) + 1);
    ny = std::max(1, static_cast<int>(h / cell) + 1);
    x0 = xmin;
    y0 = ymin;
    start.assign(static_cast<std::size_t>(nx * ny + 1), 0);
    for (int i = 1; i <= m.nh; ++i) ++start[static_cast<std::size_t>(Bucket(m.xy(i)[0], m.xy(i)[1]) + 1)];
    for (std::size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
    list.assign(static_cast<std::size_t>(m.nh), 0);
    std::vector<int> fill(start.begin(), start.end() - 1);
    for (int i = 1; i <= m.nh; ++i) list[static_cast<std::size_t>(fill[static_cast<std::size_t>(Bucket(m.xy(i)[0], m.xy(i)[1]))]++)] = i;
  }

  int Clamp(double v, int n) const { return std::clamp(static_cast<int>(std::floor(v)), 0, n - 1); }
  int Bucket(double x, double y) const { return Clamp((y - y0) / cell, ny) * nx + Clamp((x - x0) / cell, nx); }

  int Find(double x, double y) const {
    const int cx = Clamp((x - x0) / cell, nx), cy = Clamp((y - y0) / cell, ny);
    const int last = std::max({cx, nx - 1 - cx, cy, ny - 1 - cy});
    double best = 0;
    int bestNode = 0;
    for (int ring = 0; ring <= last; ++ring) {
      for (int jy = std::max(cy - ring, 0); jy <= std::min(cy + ring, ny - 1); ++jy) {
        // Cells of the ring only: its full rows at the top and bottom, two
        // cells on the rows between.
        const bool edgeRow = jy == cy - ring || jy == cy + ring;
        const int step = edgeRow || ring == 0 ? 1 : 2 * ring;
        for (int jx = cx - ring; jx <= cx + ring; jx += step) {
          if (jx < 0 || jx >= nx) continue;
          const int b = jy * nx + jx;
          for (int q = start[static_cast<std::size_t>(b)]; q < start[static_cast<std::size_t>(b) + 1]; ++q) {
            const int j = list[static_cast<std::size_t>(q)];
            const double dd = Dist2(m.xy(j), Point2{x, y});
            if (bestNode == 0 || dd < best || (dd == best && j > bestNode)) {
              best = dd;
              bestNode = j;
            }
          }
        }
      }
      // Nodes not seen yet lie outside the block of cells of the rings so
      // far, at least `reach` from the point.
      const double reach = std::min({x - (x0 + (cx - ring) * cell), x0 + (cx + ring + 1) * cell - x,
                                     y - (y0 + (cy - ring) * cell), y0 + (cy + ring + 1) * cell - y});
      if (bestNode != 0 && reach > 0.0 && reach * reach > best) break;
    }
    return bestNode;
  }
};

double Half(const Point2& a, const Point2& b, const Point2& c) { return 0.5 * Cross(a, b, c); }

}  // namespace

double Interp2d(double x, double y, const Mesh2d& sect, const Vec1<double>& v) {
  if (sect.ne < 1) return 400.0;
  // Containment threshold of the area mismatch, the single-precision 1e-4.
  const double kInside = static_cast<double>(1.0e-4f);
  const Point2 p{x, y};
  double best = 1e10;
  int tri = 0;
  for (int e = 1; e <= sect.ne; ++e) {
    const Point2& c1 = sect.xy(std::abs(sect.nop(1, e)));
    const Point2& c2 = sect.xy(std::abs(sect.nop(2, e)));
    const Point2& c3 = sect.xy(std::abs(sect.nop(3, e)));
    const double a0 = std::fabs(Half(c1, c2, c3));
    const double mis = std::fabs(std::fabs(Half(p, c2, c3)) + std::fabs(Half(c1, p, c3)) +
                                 std::fabs(Half(c1, c2, p)) - a0);
    if (mis <= best) {
      tri = e;
      if (mis <= kInside) break;
      best = mis;
    }
  }
  const int n1 = std::abs(sect.nop(1, tri)), n2 = std::abs(sect.nop(2, tri)), n3 = std::abs(sect.nop(3, tri));
  const Point2 &c1 = sect.xy(n1), &c2 = sect.xy(n2), &c3 = sect.xy(n3);
  const double a0 = Half(c1, c2, c3);
  if (a0 == 0.0) return (v(n1) + v(n2) + v(n3)) / 3.0;  // collinear corners: no direction to weigh
  double w1 = std::max(Half(p, c2, c3) / a0, 0.0);
  double w2 = std::max(Half(c1, p, c3) / a0, 0.0);
  double w3 = std::max(Half(c1, c2, p) / a0, 0.0);
  const double sum = w1 + w2 + w3;
  w1 /= sum;
  w2 /= sum;
  w3 /= sum;
  return w1 * v(n1) + w2 * v(n2) + w3 * v(n3);
}

void CoolSection(MeshRecord& nodes, const ElementTables& tab, InpDat& d) {
  Mesh2d& s = d.sections.Sect2d(1);
  const double len = d.setup.LenB - d.setup.LenA;
  // Without cooling length the billet is pressed as it left the furnace.
  if (!(len > 0.0)) {
    for (int i = 1; i <= s.nh; ++i) s.Tnew(i) = s.Told(i);
    return;
  }
  const double speed = std::fabs(d.setup.RamSpeed);
  Require(speed > 0.0 && std::isfinite(speed),
          "CoolSection: " + d.setup.VarName + ": ram speed " + std::to_string(d.setup.RamSpeed) +
              " mm/s gives no cooling time for the ram travel LenB - LenA = " + std::to_string(len) +
              " mm; a nonzero ram speed is expected");
  const double t = len / speed;

  double ymin = s.xy(1)[1], ymax = ymin, Tm = 0.0;
  for (int i = 1; i <= s.nh; ++i) {
    ymin = std::min(ymin, s.xy(i)[1]);
    ymax = std::max(ymax, s.xy(i)[1]);
    Tm += s.Told(i);
  }
  Tm /= s.nh;
  const Material& m = d.setup.mat;
  const double rhoc = (m.PairX(1) + m.PairY(1) * Tm) * m.PairX(2);
  Require(rhoc > 0.0, "CoolSection: " + d.setup.VarName + ": heat capacity rho c = " + std::to_string(rhoc) +
                          " J/(m3 K) at " + std::to_string(Tm) +
                          " deg C; the thermal properties must give a positive value");
  const double a = (m.PairX(3) + m.PairY(3) * Tm) / rhoc;

  // Steps of ten times the explicit stability limit of an element of the
  // mean size h (m).
  const double h = static_cast<double>(0.001f) / std::sqrt(static_cast<double>(s.nh)) * (ymax - ymin);
  const double ratio = t / (10.0 * h * h / (2.0 * a));
  const int steps = ratio < kMaxCoolingSteps ? static_cast<int>(ratio) : kMaxCoolingSteps;
  d.model.HeatDt = t / (steps + 2);
  for (int k = 0; k <= steps; ++k) {
    Sol_Def(nodes, tab, SolveMode::SectionHeat, d);
    for (int i = 1; i <= s.nh; ++i) s.Told(i) = s.Tnew(i);
  }
}

void PRE_heat_main(MeshRecord& nodes, const ElementTables& tab, InpDat& d) {
  Require(d.sections.Sect2d.size() >= 1 && d.sections.Sect2d(1).ne >= 1 && d.sections.Sect2d(1).nh >= 1,
          "PRE_heat_main: " + d.setup.VarName + ": the working cross-section has no elements");
  const int nPieces = d.sections.nPiecesB != 0 ? d.sections.nPiecesB : d.sections.nPiecesA;
  Require(nPieces >= 1 && nPieces <= d.sections.Pieces2d.size() && d.sections.Pieces2d(nPieces).nh >= 1,
          "PRE_heat_main: " + d.setup.VarName + ": cross-section mesh " + std::to_string(nPieces) +
              " is missing (" + std::to_string(d.sections.Pieces2d.size()) + " meshes read)");
  Mesh2d& s = d.sections.Sect2d(1);
  s.Tnew.assign(static_cast<std::size_t>(s.nh), d.setup.BilletTemp);
  s.Told.assign(static_cast<std::size_t>(s.nh), d.setup.BilletTemp);
  CoolSection(nodes, tab, d);

  const Vec1<double> T = s.Tnew;
  Mesh2d& last = d.sections.Pieces2d(nPieces);
  last.Tnew.assign(static_cast<std::size_t>(last.nh), 0.0);
  last.Told.assign(static_cast<std::size_t>(last.nh), 0.0);
  for (int k = 1; k <= last.nh; ++k) {
    const double v = Interp2d(last.xy(k)[0], last.xy(k)[1], s, T);
    last.Tnew(k) = v;
    last.Told(k) = v;
  }

  const NearestNode near(last);
  for (int i = 1; i <= nodes.g.nh; ++i) {
    const int j = near.Find(nodes.g.xyz(1, i), nodes.g.xyz(2, i));
    nodes.fld(kFldT, i) = static_cast<float>(last.Tnew(j));
  }
}
