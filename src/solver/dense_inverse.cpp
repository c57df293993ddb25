#include "solver/dense_inverse.h"

#include <algorithm>
#include <cassert>
#include <vector>

#include "core/console.h"

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
    if (at(k, k) == 0.0) {
      int r = k + 1;
      while (r < n && at(r, k) == 0.0) ++r;
      if (r == n) {
        Console(TextLine("Couldn't find a non-zero pivot: solution rubbish"));
        std::fill(Ainv, Ainv + static_cast<size_t>(n) * n, 0.0);
        return false;
      }
      std::swap_ranges(&at(k, 0), &at(k, 0) + w, &at(r, 0));
    }
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
