// Small dense inversion: accuracy on well-conditioned matrices, exact row
// exchanges on permutations, and the singular-matrix message.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "solver/dense_inverse.h"

namespace {

double ProductDefect(int n, const std::vector<double>& A, const std::vector<double>& B) {
  double worst = 0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double s = 0;
      for (int k = 0; k < n; ++k) s += A[static_cast<size_t>(k * n + i)] * B[static_cast<size_t>(j * n + k)];
      worst = std::max(worst, std::fabs(s - (i == j ? 1.0 : 0.0)));
    }
  return worst;
}

int Count(const std::string& s, const std::string& what) {
  int n = 0;
  for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1)) ++n;
  return n;
}

TEST(InvertDense, RandomWellConditionedMatricesOfManyOrders) {
  std::mt19937 gen(11);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int n = 1; n <= 12; ++n) {
    for (int trial = 0; trial < 5; ++trial) {
      std::vector<double> A(static_cast<size_t>(n * n)), B(A.size());
      for (double& a : A) a = u(gen);
      for (int i = 0; i < n; ++i) A[static_cast<size_t>(i * n + i)] += (u(gen) > 0 ? 1 : -1) * (n + 1.0);
      const std::vector<double> A0 = A;
      testing::internal::CaptureStdout();
      EXPECT_TRUE(InvertDense(n, A.data(), B.data()));
      EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
      EXPECT_EQ(A, A0);  // input untouched
      EXPECT_LT(ProductDefect(n, A, B), 1e-12) << "n = " << n;
      EXPECT_LT(ProductDefect(n, B, A), 1e-12) << "n = " << n;
    }
  }
}

TEST(InvertDense, JacobianLikeMatrixNeedsNoPivotingAndMatchesCofactors) {
  // A sheared, scaled, left-handed 3 x 3 map.
  const double A[9] = {2.0, 0.3, -0.1, 0.5, -1.5, 0.2, 0.1, 0.4, 3.0};  // column-major
  double B[9];
  ASSERT_TRUE(InvertDense(3, A, B));
  auto a = [&](int i, int j) { return A[j * 3 + i]; };
  const double det = a(0, 0) * (a(1, 1) * a(2, 2) - a(1, 2) * a(2, 1)) -
                     a(0, 1) * (a(1, 0) * a(2, 2) - a(1, 2) * a(2, 0)) +
                     a(0, 2) * (a(1, 0) * a(2, 1) - a(1, 1) * a(2, 0));
  ASSERT_LT(det, 0);
  // (A^-1)(0, 0) = cofactor(0, 0) / det, (A^-1)(2, 1) = cofactor(1, 2) / det.
  EXPECT_NEAR(B[0], (a(1, 1) * a(2, 2) - a(1, 2) * a(2, 1)) / det, 1e-15);
  EXPECT_NEAR(B[1 * 3 + 2], -(a(0, 0) * a(2, 1) - a(0, 1) * a(2, 0)) / det, 1e-15);
}

TEST(InvertDense, PermutationMatricesAreInvertedExactly) {
  std::mt19937 gen(3);
  for (int n = 2; n <= 9; ++n) {
    for (int trial = 0; trial < 10; ++trial) {
      std::vector<int> perm(static_cast<size_t>(n));
      std::iota(perm.begin(), perm.end(), 0);
      std::shuffle(perm.begin(), perm.end(), gen);
      if (trial == 0) std::reverse(perm.begin(), perm.end());  // zero diagonal throughout
      std::vector<double> P(static_cast<size_t>(n * n), 0.0), B(P.size(), -7.0);
      for (int j = 0; j < n; ++j) P[static_cast<size_t>(j * n + perm[static_cast<size_t>(j)])] = 1.0;
      ASSERT_TRUE(InvertDense(n, P.data(), B.data()));
      for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)  // inverse = transpose, bit for bit
          EXPECT_EQ(B[static_cast<size_t>(j * n + i)], P[static_cast<size_t>(i * n + j)]);
    }
  }
}

TEST(InvertDense, ZeroDiagonalOfANonsingularMatrixIsCuredByARowExchange) {
  const double A[4] = {0.0, 2.0, 3.0, 1.0};  // [[0, 3], [2, 1]]
  double B[4];
  ASSERT_TRUE(InvertDense(2, A, B));
  EXPECT_LT(ProductDefect(2, std::vector<double>(A, A + 4), std::vector<double>(B, B + 4)), 1e-15);
}

TEST(InvertDense, RoundingResidueOnTheDiagonalIsNotTakenAsPivot) {
  // The Jacobian of a wedge whose first edge runs along y: dx/dxi_1 is 0
  // but comes out of the shape-function sums as a rounding residue.
  const double A[9] = {1e-17, 2.5, 0.0, -2.5, -2.5, 0.0, 0.0, 0.0, 2.5};  // column-major
  double B[9];
  ASSERT_TRUE(InvertDense(3, A, B));
  EXPECT_LT(ProductDefect(3, std::vector<double>(A, A + 9), std::vector<double>(B, B + 9)), 1e-15);
}

TEST(InvertDense, SingularMatrixWritesTheMessageOnceAndClearsTheResult) {
  // Zero second column: no nonzero pivot in column 2.
  const int n = 4;
  std::vector<double> A = {1, 2, 3, 4, 0, 0, 0, 0, 5, 1, 2, 7, 1, 1, 9, 2};
  std::vector<double> B(16, 42.0);
  testing::internal::CaptureStdout();
  const bool ok = InvertDense(n, A.data(), B.data());
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_FALSE(ok);
  EXPECT_EQ(Count(out, "Couldn't find a non-zero pivot: solution rubbish"), 1);
  EXPECT_EQ(Count(out, "\n"), 1);
  for (double b : B) EXPECT_EQ(b, 0.0);
  // Rank deficiency that shows only after elimination: rows 1 and 2 equal.
  const double S[9] = {1, 1, 0, 2, 2, 1, 3, 3, 5};
  double R[9];
  testing::internal::CaptureStdout();
  EXPECT_FALSE(InvertDense(3, S, R));
  EXPECT_EQ(Count(testing::internal::GetCapturedStdout(), "solution rubbish"), 1);
}

}  // namespace
