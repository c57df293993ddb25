#include "post/exit_balance.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

// The tolerances of the exit-plane match of the distortion estimate.
constexpr double kExitDz = 0.05f;   // axial tolerance of the exit plane, mm
constexpr double kExitDxy = 0.02f;  // x-y tolerance of a node match, mm

// Statistics of the axial speeds w (NaN values without speeds).
ExitSpeed Stats(const std::vector<double>& w) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  ExitSpeed s{static_cast<int32_t>(w.size()), nan, nan, nan, nan};
  if (w.empty()) return s;
  double sum = 0.0;
  for (double x : w) sum += x;
  s.mean = sum / static_cast<double>(w.size());
  const auto [lo, hi] = std::minmax_element(w.begin(), w.end());
  s.low = *lo;
  s.high = *hi;
  s.spreadPct = s.mean != 0.0 ? (s.high - s.low) / s.mean * 100.0 : nan;
  return s;
}

}  // namespace

int ProfilePieceCount(const SectionSet& sections) {
  if (sections.nPiecesB == 0) return 1;
  return sections.nPiecesB < 2 ? 0 : sections.nPiecesB - 1;
}

void ExitSpeedBalance(const MeshRecord& nodes, const Vec1<Mesh2d>& pieces, int nPieces, Vec1<ExitSpeed>& perPiece,
                      ExitSpeed& all) {
  const Mesh3d& g = nodes.g;
  nPieces = std::clamp(nPieces, 0, pieces.size());
  double zmin = std::numeric_limits<double>::infinity();
  for (int j = 1; j <= g.nh; ++j) zmin = std::min(zmin, g.xyz(3, j));
  std::vector<int> exitNodes;
  for (int j = 1; j <= g.nh; ++j)
    if (g.xyz(3, j) <= zmin + kExitDz) exitNodes.push_back(j);

  // taken[k]: exit node k already belongs to a piece.
  std::vector<char> taken(exitNodes.size(), 0);
  std::vector<double> wAll;
  perPiece.assign(static_cast<std::size_t>(nPieces));
  for (int p = 1; p <= nPieces; ++p) {
    const Mesh2d& piece = pieces(p);
    std::vector<double> w;
    for (std::size_t k = 0; k < exitNodes.size(); ++k) {
      if (taken[k]) continue;
      const int j = exitNodes[k];
      for (int i = 1; i <= piece.nh; ++i)
        if (std::hypot(piece.xy(i)[0] - g.xyz(1, j), piece.xy(i)[1] - g.xyz(2, j)) <= kExitDxy) {
          taken[k] = 1;
          w.push_back(-static_cast<double>(nodes.fld(kFldVz, j)));
          break;
        }
    }
    perPiece(p) = Stats(w);
    wAll.insert(wAll.end(), w.begin(), w.end());
  }
  all = Stats(wAll);
}
