#include "post/layer_flux.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <unordered_map>

#include "core/console.h"
#include "core/onebased.h"
#include "solver/dense_inverse.h"

namespace {

constexpr double kMatch = 0.02;  // x-y tolerance of a piece-node match, mm (that of the exit-plane match)

// Grid of the cross-section nodes of the pieces, cells of kMatch: which
// pieces have a node within kMatch of a point, as a bit set (bit j-1 for
// piece j, pieces 1..32).
class PieceGrid {
 public:
  PieceGrid(const Vec1<Mesh2d>& pieces, int nPieces) {
    for (int j = 1; j <= std::min(nPieces, 32); ++j)
      for (int i = 1; i <= pieces(j).nh; ++i) {
        const Point2& p = pieces(j).xy(i);
        cells_[Key(Cell(p[0]), Cell(p[1]))].push_back({p[0], p[1], 1u << (j - 1)});
      }
  }
  uint32_t PiecesAt(double x, double y) const {
    const int64_t cx = Cell(x), cy = Cell(y);
    uint32_t mask = 0;
    for (int64_t dx = -1; dx <= 1; ++dx)
      for (int64_t dy = -1; dy <= 1; ++dy) {
        const auto it = cells_.find(Key(cx + dx, cy + dy));
        if (it == cells_.end()) continue;
        for (const Entry& e : it->second)
          if (std::hypot(e.x - x, e.y - y) <= kMatch) mask |= e.bit;
      }
    return mask;
  }

 private:
  struct Entry {
    double x, y;
    uint32_t bit;
  };
  static int64_t Cell(double v) { return static_cast<int64_t>(std::floor(v / kMatch)); }
  static int64_t Key(int64_t cx, int64_t cy) { return cx * 4000003 + cy; }
  std::unordered_map<int64_t, std::vector<Entry>> cells_;
};

// Inverse of the 3 x 3 matrix J (rows m = local coordinate, columns i =
// global coordinate) into Ji, so that grad = Ji * (local derivatives);
// returns det J.
double Invert3(const double J[3][3], double Ji[3][3]) {
  double Jcm[9], Jinv[9];  // column-major: (m, i) at i * 3 + m
  for (int m = 0; m < 3; ++m)
    for (int i = 0; i < 3; ++i) Jcm[i * 3 + m] = J[m][i];
  InvertDense(3, Jcm, Jinv);
  // Ji(i, m) = (J^-1)(i, m): grad_i = sum_m Ji(i, m) d_m.
  for (int i = 0; i < 3; ++i)
    for (int m = 0; m < 3; ++m) Ji[i][m] = Jinv[m * 3 + i];
  return J[0][0] * (J[1][1] * J[2][2] - J[1][2] * J[2][1]) - J[0][1] * (J[1][0] * J[2][2] - J[1][2] * J[2][0]) +
         J[0][2] * (J[1][0] * J[2][1] - J[1][1] * J[2][0]);
}

}  // namespace

void LayerFluxes(const MeshRecord& nodes, const ElemType& wedge, const Vec1<Mesh2d>& pieces, int nPieces, double zDie,
                 std::vector<LayerFlux>& layers, int& skipped) {
  // Contract: for every layer k, F_k = -sum over its wedges of the integral
  // of grad(Q_k) . v dV, where Q_k is the sum of the linear (pressure)
  // functions of the wedge's upper corners, and A_k the integral of
  // dQ_k/dz dV (the cross-section area when the layer's planes are level).
  const Mesh3d& g = nodes.g;
  nPieces = std::clamp(nPieces, 0, pieces.size());
  const PieceGrid grid(pieces, nPieces);
  std::map<long, LayerFlux> byLow;
  skipped = 0;
  for (int k = 1; k <= g.ne; ++k) {
    if (g.nop(15, k) == 0) {
      ++skipped;
      continue;
    }
    int nd[15];
    double x[15][3];
    for (int a = 0; a < 15; ++a) {
      nd[a] = std::abs(g.nop(a + 1, k));
      for (int i = 0; i < 3; ++i) x[a][i] = g.xyz(i + 1, nd[a]);
    }
    const double zA = (x[0][2] + x[1][2] + x[2][2]) / 3.0, zB = (x[3][2] + x[4][2] + x[5][2]) / 3.0;
    const int up0 = zB > zA ? 3 : 0;  // first upper corner (local 0-based)
    const int lo0 = 3 - up0;
    const double zLow = std::min(zA, zB), zHigh = std::max(zA, zB);
    LayerFlux& L = byLow[std::lround(zLow * 1000.0)];
    L.zLow = zLow;
    L.zHigh = zHigh;
    L.profile = zHigh < zDie + 1e-3;
    double flux = 0.0, area = 0.0;
    for (int p = 1; p <= wedge.ngp; ++p) {
      double J[3][3] = {}, Ji[3][3];
      for (int a = 0; a < 15; ++a)
        for (int i = 0; i < 3; ++i) {
          J[0][i] += wedge.dN1(a + 1, p) * x[a][i];
          J[1][i] += wedge.dN2(a + 1, p) * x[a][i];
          J[2][i] += wedge.dN3(a + 1, p) * x[a][i];
        }
      const double det = Invert3(J, Ji);
      double dQ[3] = {};  // local derivatives of Q
      for (int a = up0; a < up0 + 3; ++a) {
        dQ[0] += wedge.dL1(a + 1, p);
        dQ[1] += wedge.dL2(a + 1, p);
        dQ[2] += wedge.dL3(a + 1, p);
      }
      double gradQ[3], v[3] = {};
      for (int i = 0; i < 3; ++i) gradQ[i] = Ji[i][0] * dQ[0] + Ji[i][1] * dQ[1] + Ji[i][2] * dQ[2];
      for (int a = 0; a < 15; ++a)
        for (int i = 0; i < 3; ++i) v[i] += wedge.N(a + 1, p) * nodes.fld(kFldVx + i, nd[a]);
      const double dV = wedge.w(p) * std::fabs(det);
      flux -= (gradQ[0] * v[0] + gradQ[1] * v[1] + gradQ[2] * v[2]) * dV;
      area += gradQ[2] * dV;
    }
    L.flux += flux;
    L.area += area;
    if (!L.profile || nPieces == 0) continue;
    L.pieceFlux.resize(static_cast<std::size_t>(nPieces), 0.0);
    L.pieceArea.resize(static_cast<std::size_t>(nPieces), 0.0);
    // The first piece that has a node under each lower corner.
    const uint32_t mask = grid.PiecesAt(x[lo0][0], x[lo0][1]) & grid.PiecesAt(x[lo0 + 1][0], x[lo0 + 1][1]) &
                          grid.PiecesAt(x[lo0 + 2][0], x[lo0 + 2][1]);
    if (mask == 0) continue;
    const int j = std::countr_zero(mask) + 1;
    L.pieceFlux[static_cast<std::size_t>(j - 1)] += flux;
    L.pieceArea[static_cast<std::size_t>(j - 1)] += area;
  }
  layers.clear();
  for (auto it = byLow.rbegin(); it != byLow.rend(); ++it) layers.push_back(it->second);
}

void WriteLayerFluxLog(std::FILE* log, const std::vector<LayerFlux>& layers, double ramSpeed, double freeArea) {
  const double q = ramSpeed * freeArea;
  double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
  int count[2] = {0, 0};
  std::vector<double> pieceFlux, pieceArea;
  int profileLayers = 0;
  for (const LayerFlux& L : layers) {
    const int s = L.profile ? 1 : 0;
    lo[s] = std::min(lo[s], L.flux / q);
    hi[s] = std::max(hi[s], L.flux / q);
    ++count[s];
    if (!L.profile || L.pieceFlux.empty()) continue;
    ++profileLayers;
    pieceFlux.resize(L.pieceFlux.size(), 0.0);
    pieceArea.resize(L.pieceFlux.size(), 0.0);
    for (std::size_t j = 0; j < L.pieceFlux.size(); ++j) {
      pieceFlux[j] += L.pieceFlux[j];
      pieceArea[j] += L.pieceArea[j];
    }
  }
  LogLine(log, TextLine("  volume flux by element layer, mm3/s: ram speed x free container area ")
                   << q << "  (free area " << freeArea << " mm2, " << static_cast<int32_t>(layers.size()) << " layers)");
  const char* names[2] = {"container and die", "profile"};
  for (int s = 0; s < 2; ++s)
    if (count[s] > 0)
      LogLine(log, TextLine("    ") << names[s] << " layers: " << count[s] << "  flux / (ram speed x free area) lowest "
                                    << lo[s] << "  highest " << hi[s]);
  double total = 0.0;
  for (double f : pieceFlux) total += f;
  for (std::size_t j = 0; j < pieceFlux.size(); ++j)
    LogLine(log, TextLine("    piece ") << static_cast<int32_t>(j + 1) << ": share of the profile flux "
                                        << pieceFlux[j] / total << "  layer-mean axial speed, mm/s "
                                        << pieceFlux[j] / pieceArea[j] << "  (mean over " << profileLayers
                                        << " profile layers)");
  for (const LayerFlux& L : layers) {
    TextLine line("    layer z ");
    line << L.zHigh << " to " << L.zLow << " mm: flux " << L.flux << "  ratio " << L.flux / q << "  area " << L.area;
    for (std::size_t j = 0; j < L.pieceFlux.size(); ++j)
      line << "  piece " << static_cast<int32_t>(j + 1) << " " << L.pieceFlux[j] / q;
    LogLine(log, line);
  }
}

double ContainerFreeArea(const SectionSet& s) {
  const int J = s.nPiecesB;
  if (J >= 3 && s.Pieces2d.size() >= J) return s.Pieces2d(J).area;
  return std::max({s.Area2d(1), s.Area2d(2), s.Area2d(3)});
}
