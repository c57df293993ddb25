#include "solver/dense_inverse.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <vector>

#include "core/console.h"

namespace {
// A diagonal entry below this share of the largest entry of its column is
// taken for a rounding residue of 0.
constexpr double kResidue = 1e-10;
}  // namespace

bool InvertDense(int n, const double* A, double* Ainv) {
  assert(n >= 1);
  // Work matrix [A | I], row-major with 2n entries per row; small orders
  // (the 2 x 2 and 3 x 3 Jacobians) stay on the stack.
  constexpr int kStackOrder = 6;
  double stackBuf[kStackOrder * 2 * kStackOrder];
  std::vector<double> heapBuf;
  double* m = stackBuf;
  const int w = 2 * n;
  if (n > kStackOrder) {
    heapBuf.resize(static_cast<size_t>(n) * static_cast<size_t>(w));
    m = heapBuf.data();
  }
  auto at = [&](int i, int j) -> double& { return m[static_cast<size_t>(i) * w + j]; };
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      at(i, j) = A[static_cast<size_t>(j) * n + i];
      at(i, n + j) = i == j ? 1.0 : 0.0;
    }
  }
  for (int k = 0; k < n; ++k) {
    // A diagonal entry that is 0, or a rounding residue next to the
    // column's other entries (a Jacobian of an element with an edge along
    // a coordinate axis gives 1e-17 where the exact value is 0), is not
    // taken as the pivot: the row of largest magnitude in the column below
    // is exchanged up.  Other matrices are eliminated in their own order.
    int r = k;
    for (int i = k + 1; i < n; ++i)
      if (std::fabs(at(i, k)) > std::fabs(at(r, k))) r = i;
    if (at(r, k) == 0.0) {
      Console(TextLine("Couldn't find a non-zero pivot: solution rubbish"));
      std::fill(Ainv, Ainv + static_cast<size_t>(n) * n, 0.0);
      return false;
    }
    if (std::fabs(at(k, k)) > kResidue * std::fabs(at(r, k))) r = k;
    if (r != k) std::swap_ranges(&at(k, 0), &at(k, 0) + w, &at(r, 0));
    const double piv = at(k, k);
    for (int j = 0; j < w; ++j) at(k, j) /= piv;
    for (int i = 0; i < n; ++i) {
      if (i == k) continue;
      const double f = at(i, k);
      if (f == 0.0) continue;
      for (int j = 0; j < w; ++j) at(i, j) -= f * at(k, j);
    }
  }
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) Ainv[static_cast<size_t>(j) * n + i] = at(i, n + j);
  return true;
}
