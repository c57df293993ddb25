#include "mesh3d/die_face.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/fatal.h"
#include "core/replace_file.h"
#include "mesh3d/boundary.h"
#include "solver/field_solve.h"
#include "solver/potential.h"

namespace {

// Distance within which two points in the (x, y) plane are one point, mm.
constexpr double kSame = 0.001;
// Slack so that a point exactly kSame away (up to rounding) still counts.
constexpr double kSlack = 1e-9;

// Points of the plane sorted by x, for "is there a point within r of (x, y)"
// queries in logarithmic time.
struct PointFinder {
  std::vector<double> xs;  // sorted x
  std::vector<double> ys;  // y of the same points
  std::vector<int> ids;    // caller's number of the same points

  void Add(double x, double y, int id) {
    xs.push_back(x);
    ys.push_back(y);
    ids.push_back(id);
  }
  void Sort() {
    std::vector<std::size_t> order(xs.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return xs[a] < xs[b]; });
    std::vector<double> x2, y2;
    std::vector<int> i2;
    for (std::size_t k : order) {
      x2.push_back(xs[k]);
      y2.push_back(ys[k]);
      i2.push_back(ids[k]);
    }
    xs.swap(x2);
    ys.swap(y2);
    ids.swap(i2);
  }
  // Number of the nearest point within r of (x, y); 0 when there is none.
  int Nearest(double x, double y, double r) const {
    const double rr = r + kSlack;
    auto it = std::lower_bound(xs.begin(), xs.end(), x - rr);
    int best = 0;
    double bestD2 = rr * rr;
    for (std::size_t k = static_cast<std::size_t>(it - xs.begin()); k < xs.size() && xs[k] <= x + rr; ++k) {
      const double dx = x - xs[k], dy = y - ys[k];
      const double d2 = dx * dx + dy * dy;
      if (d2 <= bestD2) {
        bestD2 = d2;
        best = ids[k];
      }
    }
    return best;
  }
};

// The cross-section mesh of the potential; stops when the variant lacks it.
Mesh2d& SectionOf(SectionSet& sections) {
  const int h = PotentialMeshIndex(sections);
  Require(h >= 1 && h <= sections.Pieces2d.size(),
          "Die-face correction: cross-section mesh " + std::to_string(h) +
              " is missing (the variant holds " + std::to_string(sections.Pieces2d.size()) + ")");
  return sections.Pieces2d(h);
}

}  // namespace

void DieFaceBoundaryValues(SectionSet& sections) {
  Mesh2d& s = SectionOf(sections);
  const int h = PotentialMeshIndex(sections);
  PointFinder inner, outline;
  for (int k = 1; k < h; ++k) {
    const Mesh2d& o = sections.Pieces2d(k);
    for (int j = 1; j <= o.nh; ++j) inner.Add(o.xy(j)[0], o.xy(j)[1], j);
  }
  if (sections.Outlines.size() >= 3) {
    const Outline& o3 = sections.Outlines(3);
    for (int k = 1; k <= std::min(o3.n, o3.pts.size()); ++k) outline.Add(o3.pts(k)[0], o3.pts(k)[1], k);
  }
  inner.Sort();
  outline.Sort();

  s.Pot.assign(static_cast<std::size_t>(s.nh), 0.0);
  for (int i = 1; i <= s.nh; ++i) {
    const int corner = i <= s.np ? 64 : 0;
    const double x = s.xy(i)[0], y = s.xy(i)[1];
    if (inner.Nearest(x, y, kSame) != 0) {
      s.flag(i) = static_cast<int8_t>(corner + 2);
      s.Pot(i) = 1.0;
    } else if (outline.Nearest(x, y, kSame) != 0) {
      s.flag(i) = static_cast<int8_t>(corner + 1);
    } else {
      s.flag(i) = static_cast<int8_t>(corner);
    }
  }
}

void ShiftDieFace(const VariantSetup& setup, const AxialLayout& layout, const Mesh2d& s,
                  Mesh3d& g) {
  Require(s.Pot.size() >= s.nh, "Die-face correction: the cross-section potential has not been computed");
  PointFinder nodes2d;
  for (int j = 1; j <= s.nh; ++j) nodes2d.Add(s.xy(j)[0], s.xy(j)[1], j);
  nodes2d.Sort();
  const double zt = std::max(layout.Z2, layout.Z3);
  for (int i = 1; i <= g.nh; ++i) {
    double& z = g.xyz(3, i);
    if (z > zt - kSame) continue;
    const int j = nodes2d.Nearest(g.xyz(1, i), g.xyz(2, i), kSame);
    if (j == 0) continue;
    double shift = s.Pot(j) * setup.FaceShift;
    // Above the die face the shift of interior nodes fades out towards the
    // ram face, which stays plane.
    if (!IsBoundaryCode(g.BoundaryConditions(i)) && z >= layout.Z1)
      shift *= (zt - z) / (zt - layout.Z1);
    z -= shift;
  }
}

void WriteSigmaFem(const std::string& path, const Mesh2d& s) {
  std::string text = std::to_string(s.ne) + "\n" + std::to_string(s.np) + "\n";
  char buf[96];
  for (int k = 1; k <= s.np; ++k) {
    const double p = s.Pot.size() >= k ? s.Pot(k) : 0.0;
    std::snprintf(buf, sizeof buf, "%20.12E%20.12E%20.12E%20.12E\n", s.xy(k)[0], s.xy(k)[1], p, p);
    text += buf;
  }
  for (int e = 1; e <= s.ne; ++e) {
    std::snprintf(buf, sizeof buf, "%10d%10d%10d\n", std::abs(s.nop(1, e)), std::abs(s.nop(2, e)), std::abs(s.nop(3, e)));
    text += buf;
  }
  ReplaceFile(path, text, "the cross-section potential");
}

void DieFaceCorrection(MeshRecord& nodes, InpDat& d, const ElementTables& tab) {
  Mesh2d& s = SectionOf(d.sections);
  // The section's own flags are kept: the thermal mesh is extruded from the
  // same section after this step and needs its boundary marks.
  const Vec1<int8_t> flags = s.flag;
  DieFaceBoundaryValues(d.sections);
  Sol_Def(nodes, tab, SolveMode::Potential, d);
  ShiftDieFace(d.setup, d.layout, s, nodes.g);
  WriteSigmaFem("sigma.fem", s);
  s.flag = flags;
  s.Pot.assign(static_cast<std::size_t>(s.nh), 0.0);
}
