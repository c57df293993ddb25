#pragma once
// Relative residual of a linear system held in compressed columns.

#include <cmath>
#include <cstddef>
#include <vector>

// ||A x - b|| / ||b|| for the n x n matrix A in compressed columns (column
// starts Ap, 0-based row numbers Ai, values Ax) and x, b of n values.
inline double Residual(int n, const std::vector<int>& Ap, const std::vector<int>& Ai, const std::vector<double>& Ax,
                       const double* x, const std::vector<double>& b) {
  std::vector<double> y(static_cast<std::size_t>(n), 0.0);
  for (int j = 0; j < n; ++j)
    for (int p = Ap[static_cast<std::size_t>(j)]; p < Ap[static_cast<std::size_t>(j) + 1]; ++p)
      y[static_cast<std::size_t>(Ai[static_cast<std::size_t>(p)])] += Ax[static_cast<std::size_t>(p)] * x[j];
  double rn = 0, bn = 0;
  for (int i = 0; i < n; ++i) {
    const double d = y[static_cast<std::size_t>(i)] - b[static_cast<std::size_t>(i)];
    rn += d * d;
    bn += b[static_cast<std::size_t>(i)] * b[static_cast<std::size_t>(i)];
  }
  return std::sqrt(rn / bn);
}
