#include "mesh2d/edge_table.h"

#include <algorithm>

std::vector<EdgeUse> SortedEdges(const Mesh2d& m) {
  std::vector<EdgeUse> uses;
  uses.reserve(static_cast<std::size_t>(3 * m.ne));
  for (int e = 1; e <= m.ne; ++e)
    for (int k = 1; k <= 3; ++k) {
      const int a = m.nop(k, e), b = m.nop(k % 3 + 1, e);
      uses.push_back({std::min(a, b), std::max(a, b), e, k});
    }
  std::sort(uses.begin(), uses.end(), [](const EdgeUse& x, const EdgeUse& y) {
    return x.lo != y.lo ? x.lo < y.lo : (x.hi != y.hi ? x.hi < y.hi : (x.e != y.e ? x.e < y.e : x.k < y.k));
  });
  return uses;
}
