#include "mesh3d/volume_check.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <tuple>
#include <unordered_map>

double ElementDetJ(const Mesh3d& m, const ElemType& t, int e, int g) {
  double xyz[kWedgeNodes][3];
  for (int a = 1; a <= t.nn; ++a)
    for (int i = 1; i <= 3; ++i) xyz[a - 1][i - 1] = m.xyz(i, std::abs(m.nop(a, e)));
  return JacobianDet(t, g, xyz);
}

std::vector<std::string> CheckVolumeMesh(const Mesh3d& m, const ElementTables& tab, int maxFindings) {
  std::vector<std::string> out;
  auto add = [&](const std::string& s) {
    if (static_cast<int>(out.size()) < maxFindings) out.push_back(s);
  };
  if (m.nop.rows != 15 || m.nop.cols != m.ne || m.etype.size() != m.ne || m.xyz.cols != m.nh || m.np > m.nh) {
    add("counts: connectivity (" + std::to_string(m.nop.rows) + " x " + std::to_string(m.nop.cols) +
        "), element types (" + std::to_string(m.etype.size()) + ") or coordinates (" + std::to_string(m.xyz.cols) +
        ") do not match ne=" + std::to_string(m.ne) +
        " nh=" + std::to_string(m.nh) + " np=" + std::to_string(m.np));
    return out;
  }
  bool numbersOk = true;
  for (int e = 1; e <= m.ne; ++e) {
    const bool wedge = IsWedge(m, e);
    const int nn = wedge ? 15 : 10, nv = wedge ? 6 : 4;
    for (int a = 1; a <= nn; ++a) {
      const int n = std::abs(m.nop(a, e));
      if (n < 1 || n > m.nh) {
        add("numbering: node " + std::to_string(m.nop(a, e)) + " of element " + std::to_string(e) + " outside 1.." +
            std::to_string(m.nh));
        numbersOk = false;
      } else if ((a <= nv) != (n <= m.np)) {
        add("numbering: local node " + std::to_string(a) + " of element " + std::to_string(e) + " is node " +
            std::to_string(n) + ", but corner nodes are 1.." + std::to_string(m.np));
      }
    }
  }
  if (!numbersOk) return out;

  // Orientation: det J < 0 at every integration point.
  for (int e = 1; e <= m.ne; ++e) {
    const ElemType& t = IsWedge(m, e) ? tab.Wedge15 : tab.Tet10;
    double worst = -1e300;
    for (int g = 1; g <= t.ngp; ++g) worst = std::max(worst, ElementDetJ(m, t, e, g));
    if (!(worst < 0.0)) add("orientation: element " + std::to_string(e) + " has det J = " + std::to_string(worst) + " >= 0");
  }

  // Coincident nodes, found by sorting on coordinates rounded to 1e-6 of the
  // mesh extent.
  double extent = 0.0;
  for (int i = 1; i <= m.nh; ++i)
    for (int k = 1; k <= 3; ++k) extent = std::max(extent, std::fabs(m.xyz(k, i)));
  const double q = std::max(extent, 1.0) * 1e-6;
  std::map<std::tuple<long long, long long, long long>, int> at;
  for (int i = 1; i <= m.nh; ++i) {
    const auto key = std::make_tuple(std::llround(m.xyz(1, i) / q), std::llround(m.xyz(2, i) / q),
                                     std::llround(m.xyz(3, i) / q));
    const auto [it, fresh] = at.emplace(key, i);
    if (!fresh) add("duplicate: nodes " + std::to_string(it->second) + " and " + std::to_string(i) + " stand at one point");
  }

  // Conformity: every face (by its sorted corner nodes) belongs to one or
  // two elements.
  std::map<std::array<int, 4>, int> faces;
  for (int e = 1; e <= m.ne; ++e) {
    const bool wedge = IsWedge(m, e);
    const int nf = wedge ? 5 : 4;
    for (int f = 0; f < nf; ++f) {
      std::array<int, 4> key{0, 0, 0, 0};
      const int nc = wedge ? (f < 2 ? 3 : 4) : 3;
      for (int k = 0; k < nc; ++k)
        key[static_cast<std::size_t>(k)] = std::abs(m.nop(wedge ? kWedgeFaceNodes[f][k] : kTetFaceNodes[f][k], e));
      std::sort(key.begin(), key.end());
      ++faces[key];
    }
  }
  for (const auto& [key, count] : faces)
    if (count > 2)
      add("conformity: face with corners " + std::to_string(key[1]) + " " + std::to_string(key[2]) + " " +
          std::to_string(key[3]) + " belongs to " + std::to_string(count) + " elements");
  return out;
}
