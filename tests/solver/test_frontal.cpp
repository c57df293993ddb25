#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "solver/frontal.h"
#include "solver/sol_def.h"

namespace {

// Element routine over stored element matrices.  Node a, component c
// (1..dof) is unknown (c-1) nnode + a, so the unknowns of an element come in
// blocks by component; a zero node entry gives a zero unknown entry.
struct StoredElements {
  Mat1<int32_t>* nop = nullptr;
  int npe = 0, dof = 1, nnode = 0;
  std::vector<std::vector<double>> K;  // per element, (npe dof)^2, column-major
  std::vector<std::vector<double>> F;  // per element, npe dof

  int m() const { return npe * dof; }
  int Unknowns(int k, int32_t* lm) {
    for (int c = 0; c < dof; ++c)
      for (int a = 1; a <= npe; ++a) {
        const int32_t v = (*nop)(a, k);
        const int32_t u = v == 0 ? 0 : c * nnode + std::abs(v);
        lm[c * npe + a - 1] = v < 0 ? -u : u;
      }
    return m();
  }
  int System(int k, int32_t* lm, double* est, int ld, double* r) {
    const int mm = Unknowns(k, lm);
    const auto& Ke = K[static_cast<std::size_t>(k - 1)];
    for (int j = 0; j < mm; ++j)
      for (int i = 0; i < mm; ++i) est[j * ld + i] = Ke[static_cast<std::size_t>(j * mm + i)];
    for (int i = 0; i < mm; ++i) r[i] = F[static_cast<std::size_t>(k - 1)][static_cast<std::size_t>(i)];
    return mm;
  }
};

// Fills random element matrices; `zeroDiagFrom` > 0 leaves the diagonal of
// components >= zeroDiagFrom at zero (a saddle-point block).
void RandomSystem(StoredElements& s, std::mt19937& rng, int zeroDiagFrom = 0) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const int m = s.m(), ne = s.nop->cols;
  s.K.assign(static_cast<std::size_t>(ne), std::vector<double>(static_cast<std::size_t>(m * m)));
  s.F.assign(static_cast<std::size_t>(ne), std::vector<double>(static_cast<std::size_t>(m)));
  for (int k = 1; k <= ne; ++k) {
    auto& Ke = s.K[static_cast<std::size_t>(k - 1)];
    for (int j = 0; j < m; ++j)
      for (int i = 0; i < m; ++i) {
        const bool absent = (*s.nop)(i % s.npe + 1, k) == 0 || (*s.nop)(j % s.npe + 1, k) == 0;
        double v = absent ? 0.0 : u(rng);
        if (i == j && !absent) v = (zeroDiagFrom > 0 && i / s.npe + 1 >= zeroDiagFrom) ? 0.0 : v + 2.0 * m;
        Ke[static_cast<std::size_t>(j * m + i)] = v;
      }
    for (int i = 0; i < m; ++i)
      s.F[static_cast<std::size_t>(k - 1)][static_cast<std::size_t>(i)] =
          (*s.nop)(i % s.npe + 1, k) == 0 ? 0.0 : u(rng);
  }
}

// Global dense matrix and right-hand side of the stored elements.
void Assemble(StoredElements& s, std::vector<double>& A, std::vector<double>& b) {
  const int n = s.dof * s.nnode, m = s.m();
  A.assign(static_cast<std::size_t>(n) * n, 0.0);
  b.assign(static_cast<std::size_t>(n), 0.0);
  std::vector<int32_t> lm(static_cast<std::size_t>(m));
  for (int k = 1; k <= s.nop->cols; ++k) {
    s.Unknowns(k, lm.data());
    for (int j = 0; j < m; ++j) {
      if (lm[j] == 0) continue;
      for (int i = 0; i < m; ++i)
        if (lm[i] != 0)
          A[static_cast<std::size_t>(std::abs(lm[i]) - 1) * n + std::abs(lm[j]) - 1] +=
              s.K[static_cast<std::size_t>(k - 1)][static_cast<std::size_t>(j * m + i)];
    }
    for (int i = 0; i < m; ++i)
      if (lm[i] != 0) b[static_cast<std::size_t>(std::abs(lm[i]) - 1)] += s.F[static_cast<std::size_t>(k - 1)][static_cast<std::size_t>(i)];
  }
}

// Dense LU with partial pivoting in double (row-major A, n x n).
std::vector<double> DenseSolve(std::vector<double> A, std::vector<double> b) {
  const int n = static_cast<int>(b.size());
  auto a = [&](int i, int j) -> double& { return A[static_cast<std::size_t>(i) * n + j]; };
  for (int k = 0; k < n; ++k) {
    int p = k;
    for (int i = k + 1; i < n; ++i)
      if (std::fabs(a(i, k)) > std::fabs(a(p, k))) p = i;
    for (int j = 0; j < n; ++j) std::swap(a(k, j), a(p, j));
    std::swap(b[static_cast<std::size_t>(k)], b[static_cast<std::size_t>(p)]);
    for (int i = k + 1; i < n; ++i) {
      const double f = a(i, k) / a(k, k);
      for (int j = k; j < n; ++j) a(i, j) -= f * a(k, j);
      b[static_cast<std::size_t>(i)] -= f * b[static_cast<std::size_t>(k)];
    }
  }
  std::vector<double> x(static_cast<std::size_t>(n));
  for (int i = n - 1; i >= 0; --i) {
    double s = b[static_cast<std::size_t>(i)];
    for (int j = i + 1; j < n; ++j) s -= a(i, j) * x[static_cast<std::size_t>(j)];
    x[static_cast<std::size_t>(i)] = s / a(i, i);
  }
  return x;
}

// Plans and solves the stored system; returns the solution.
std::vector<double> Solve(StoredElements& s, FrontPlanStats* planOut = nullptr, int64_t budget = 2048000000) {
  const int n = s.dof * s.nnode, ne = s.nop->cols;
  MarkLastAppearance(*s.nop, s.npe, ne, s.nnode);
  FrontPlanStats plan;
  EXPECT_TRUE(FrontPlan(n, s.m(), s, ne, budget, plan));
  if (planOut) *planOut = plan;
  Vec1<double> r1(static_cast<std::size_t>(n), 0.0);
  progon(n, s.m(), plan, s, ne, r1);
  RestoreConnectivity(*s.nop, s.npe, ne);
  return r1.v;
}

double MaxRelDiff(const std::vector<double>& x, const std::vector<double>& y) {
  double num = 0, den = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    num = std::max(num, std::fabs(x[i] - y[i]));
    den = std::max(den, std::fabs(y[i]));
  }
  return num / den;
}

// Meshes: a chain of 3-node line elements, a grid of 4- or 9-node quads
// (row by row), and elements on random node sets with some absent nodes.
Mat1<int32_t> ChainMesh(int ne) {
  Mat1<int32_t> nop(3, ne);
  for (int e = 1; e <= ne; ++e) {
    nop(1, e) = 2 * e - 1;
    nop(2, e) = 2 * e + 1;
    nop(3, e) = 2 * e;
  }
  return nop;
}

Mat1<int32_t> QuadMesh(int nx, int ny, bool nine) {
  const int px = nine ? 2 * nx + 1 : nx + 1;
  const int step = nine ? 2 : 1;
  Mat1<int32_t> nop(nine ? 9 : 4, nx * ny);
  auto id = [&](int i, int j) { return j * px + i + 1; };
  int e = 0;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      ++e;
      const int I = i * step, J = j * step;
      nop(1, e) = id(I, J);
      nop(2, e) = id(I + step, J);
      nop(3, e) = id(I + step, J + step);
      nop(4, e) = id(I, J + step);
      if (nine) {
        nop(5, e) = id(I + 1, J);
        nop(6, e) = id(I + 2, J + 1);
        nop(7, e) = id(I + 1, J + 2);
        nop(8, e) = id(I, J + 1);
        nop(9, e) = id(I + 1, J + 1);
      }
    }
  return nop;
}

Mat1<int32_t> RandomMesh(int nnode, int ne, int npe, std::mt19937& rng) {
  Mat1<int32_t> nop(npe, ne);
  std::vector<int32_t> nodes(static_cast<std::size_t>(nnode));
  std::iota(nodes.begin(), nodes.end(), 1);
  for (int e = 1; e <= ne; ++e) {
    // The first entry walks through all nodes, so every node is used.
    const int32_t first = (e - 1) % nnode + 1;
    std::shuffle(nodes.begin(), nodes.end(), rng);
    nodes.erase(std::find(nodes.begin(), nodes.end(), first));
    nodes.insert(nodes.begin(), first);
    for (int a = 1; a <= npe; ++a)
      nop(a, e) = (a == npe && e % 3 == 0) ? 0 : nodes[static_cast<std::size_t>(a - 1)];
  }
  return nop;
}

int NodeCount(const Mat1<int32_t>& nop) {
  return *std::max_element(nop.v.begin(), nop.v.end());
}

}  // namespace

TEST(MarkLastAppearance, FlagsLastElementAndIsRepeatable) {
  Mat1<int32_t> nop = ChainMesh(3);  // elements (1,3,2), (3,5,4), (5,7,6)
  nop(3, 2) = 0;                     // node 4 absent
  MarkLastAppearance(nop, 3, 3, 7);
  const std::vector<int32_t> want = {-1, 3, -2, -3, 5, 0, -5, -7, -6};
  EXPECT_EQ(nop.v, want);
  MarkLastAppearance(nop, 3, 3, 7);
  EXPECT_EQ(nop.v, want);
  RestoreConnectivity(nop, 3, 3);
  for (int32_t v : nop.v) EXPECT_GE(v, 0);
  Mat1<int32_t> bad = ChainMesh(2);
  EXPECT_EXIT(MarkLastAppearance(bad, 3, 2, 4), ::testing::ExitedWithCode(1), "node 5 of element 2");
}

TEST(FrontPlan, HandComputedChain) {
  // Two-node elements (1,2), (2,3), (3,4): new (2,1,1), fully summed (1,1,2).
  Mat1<int32_t> nop(2, 3);
  nop.v = {1, 2, 2, 3, 3, 4};
  StoredElements s{&nop, 2, 1, 4, {}, {}};
  MarkLastAppearance(nop, 2, 3, 4);
  FrontPlanStats p;
  ASSERT_TRUE(FrontPlan(4, 2, s, 3, 2048000000, p));
  EXPECT_EQ(p.FrontDim, 2);
  EXPECT_EQ(p.FrontLimit, 1);
  EXPECT_EQ(p.IntStore, 19);  // records of 2, 2, 2 and 1 columns
  EXPECT_EQ(p.RealStore, 7);
  EXPECT_EQ(p.ExtraBlocks, 0);

  // Budget thresholds: B = budget / 2 must reach 3W + 3 and 2W^2 + 9W + 3.
  FrontPlanStats q;
  q.FrontDim = 77;
  EXPECT_FALSE(FrontPlan(4, 2, s, 3, 2 * (3 * 2 + 3) - 1, q));
  EXPECT_FALSE(FrontPlan(4, 2, s, 3, 2 * 28 + 1, q));
  EXPECT_EQ(q.FrontDim, 77);  // untouched on failure
  ASSERT_TRUE(FrontPlan(4, 2, s, 3, 2 * 29, q));
  // Tight store: every equation after the first restarts the store.
  EXPECT_EQ(q.IntStore, 5);
  EXPECT_EQ(q.RealStore, 2);
  EXPECT_EQ(q.ExtraBlocks, 3);
}

TEST(Progon, SingleElementIsCompletePivoting) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const int m = 12;
  Mat1<int32_t> nop(m, 1);
  for (int a = 1; a <= m; ++a) nop(a, 1) = a;
  StoredElements s{&nop, m, 1, m, {}, {}};
  s.K.assign(1, std::vector<double>(m * m));
  s.F.assign(1, std::vector<double>(m));
  for (double& v : s.K[0]) v = u(rng);
  for (double& v : s.F[0]) v = u(rng);

  // Reference: complete pivoting with the same arithmetic (single-precision
  // matrix, updates in double), ties to the later column, then later row.
  std::vector<float> a(m * m);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < m; ++j) a[i * m + j] = static_cast<float>(s.K[0][j * m + i]);
  std::vector<double> b = s.F[0];
  std::vector<int> rows(m), cols(m);
  std::iota(rows.begin(), rows.end(), 0);
  std::iota(cols.begin(), cols.end(), 0);
  std::vector<std::pair<int, int>> order;
  std::vector<std::vector<double>> prow;
  while (!rows.empty()) {
    int bi = 0, bj = 0;
    float best = 0;
    for (std::size_t jj = 0; jj < cols.size(); ++jj)
      for (std::size_t ii = 0; ii < rows.size(); ++ii)
        if (std::fabs(a[rows[ii] * m + cols[jj]]) >= best) {
          best = std::fabs(a[rows[ii] * m + cols[jj]]);
          bi = static_cast<int>(ii);
          bj = static_cast<int>(jj);
        }
    const int pr = rows[bi], pc = cols[bj];
    const double piv = a[pr * m + pc];
    std::vector<double> p(m, 0.0);
    for (int c : cols) p[c] = a[pr * m + c] / piv;
    b[pr] /= piv;
    for (int r : rows) {
      if (r == pr) continue;
      const double f = a[r * m + pc];
      for (int c : cols) a[r * m + c] = static_cast<float>(a[r * m + c] - p[c] * f);
      b[r] -= f * b[pr];
    }
    order.emplace_back(pr + 1, pc + 1);
    prow.push_back(p);
    rows.erase(rows.begin() + bi);
    cols.erase(cols.begin() + bj);
  }
  std::vector<double> x(m, 0.0);
  for (int k = m - 1; k >= 0; --k) {
    const auto [d, j] = order[k];
    double v = b[d - 1];
    for (int c = 0; c < m; ++c)
      if (c != j - 1) v -= static_cast<double>(static_cast<float>(prow[k][c])) * x[c];
    x[j - 1] = v;
  }

  // Engine driven step by step to read the pivot sequence from the store.
  MarkLastAppearance(nop, m, 1, m);
  FrontPlanStats plan;
  ASSERT_TRUE(FrontPlan(m, m, s, 1, 2048000000, plan));
  FrontWork w;
  FrontStart(w, m, m, plan);
  Vec1<double> r1(m, 0.0);
  const int cnt = s.System(1, w.lm.data(), w.est.data(), m, w.r.data());
  FrontAssemble(w, cnt, r1.data());
  FrontEliminate(w, true, r1.data());
  EXPECT_EQ(w.ip, static_cast<std::size_t>(plan.IntStore));
  EXPECT_EQ(w.ap, static_cast<std::size_t>(plan.RealStore));
  std::vector<std::pair<int, int>> got;
  for (std::size_t ip = 0, c = m; ip < w.ip; --c) {
    // One element: the k-th record (0-based) has m - k columns.
    const int32_t* rec = w.istor.get() + ip;
    EXPECT_EQ(rec[c + 2], static_cast<int32_t>(c));
    got.emplace_back(rec[c], std::abs(rec[rec[c + 1] - 1]));
    ip += c + 3;
  }
  EXPECT_EQ(got, order);
  FrontBackSubstitute(w, r1.data());
  for (int i = 0; i < m; ++i) EXPECT_NEAR(r1(i + 1), x[i], 1e-12 * (1 + std::fabs(x[i])));
}

TEST(Progon, TiesGoToLaterColumnThenLaterRow) {
  // Largest magnitude 4 at (row 1, column 3) and (row 3, column 2): the
  // later column wins although its row comes first.
  Mat1<int32_t> nop(3, 1);
  nop.v = {1, 2, 3};
  StoredElements s{&nop, 3, 1, 3, {}, {}};
  // column-major: columns (1,0,1), (0,2,-4), (4,1,0)
  s.K = {{1, 0, 1, 0, 2, -4, 4, 1, 0}};
  s.F = {{1, 2, 3}};
  MarkLastAppearance(nop, 3, 1, 3);
  FrontPlanStats plan;
  ASSERT_TRUE(FrontPlan(3, 3, s, 1, 2048000000, plan));
  FrontWork w;
  FrontStart(w, 3, 3, plan);
  Vec1<double> r1(3, 0.0);
  const int cnt = s.System(1, w.lm.data(), w.est.data(), 3, w.r.data());
  FrontAssemble(w, cnt, r1.data());
  FrontEliminate(w, true, r1.data());
  const int32_t* rec = w.istor.get();
  EXPECT_EQ(rec[3], 1);                   // pivot row unknown 1
  EXPECT_EQ(std::abs(rec[rec[4] - 1]), 3);  // pivot column unknown 3
  FrontBackSubstitute(w, r1.data());
  std::vector<double> A = {1, 0, 4, 0, 2, 1, 1, -4, 0}, b = {1, 2, 3};
  const auto x = DenseSolve(A, b);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(r1(i + 1), x[static_cast<std::size_t>(i)], 1e-6);
}

TEST(Progon, AgreesWithDenseLuOnSeveralMeshes) {
  std::mt19937 rng(11);
  struct Case {
    Mat1<int32_t> nop;
    int dof;
    int zeroDiagFrom;
  };
  std::vector<Case> cases;
  cases.push_back({ChainMesh(20), 1, 0});
  cases.push_back({ChainMesh(15), 3, 3});  // third component: zero diagonal
  cases.push_back({QuadMesh(5, 4, false), 2, 0});
  cases.push_back({QuadMesh(3, 4, true), 1, 0});
  cases.push_back({QuadMesh(3, 3, true), 2, 2});
  cases.push_back({RandomMesh(30, 36, 5, rng), 2, 0});
  for (auto& c : cases) {
    StoredElements s{&c.nop, c.nop.rows, c.dof, NodeCount(c.nop), {}, {}};
    RandomSystem(s, rng, c.zeroDiagFrom);
    std::vector<double> A, b;
    Assemble(s, A, b);
    const auto ref = DenseSolve(A, b);
    FrontPlanStats plan;
    const auto x = Solve(s, &plan);
    EXPECT_LT(MaxRelDiff(x, ref), 2e-5) << "npe=" << s.npe << " dof=" << s.dof;
    EXPECT_GT(plan.FrontDim, 0);
    EXPECT_LE(plan.FrontLimit, plan.FrontDim);
    for (int32_t v : c.nop.v) EXPECT_GE(v, 0);
  }
}

TEST(Progon, ElementOrderDoesNotChangeTheSolution) {
  std::mt19937 rng(3);
  for (bool nine : {false, true}) {
    Mat1<int32_t> nop = QuadMesh(6, 5, nine);
    StoredElements s{&nop, nop.rows, 2, NodeCount(nop), {}, {}};
    RandomSystem(s, rng);
    const auto x1 = Solve(s);
    // Same elements in a shuffled order.
    std::vector<int> perm(static_cast<std::size_t>(nop.cols));
    std::iota(perm.begin(), perm.end(), 0);
    std::shuffle(perm.begin(), perm.end(), rng);
    Mat1<int32_t> nop2(nop.rows, nop.cols);
    StoredElements s2 = s;
    s2.nop = &nop2;
    for (int e = 0; e < nop.cols; ++e) {
      std::copy(nop.col(perm[e] + 1), nop.col(perm[e] + 1) + nop.rows, nop2.col(e + 1));
      s2.K[static_cast<std::size_t>(e)] = s.K[static_cast<std::size_t>(perm[e])];
      s2.F[static_cast<std::size_t>(e)] = s.F[static_cast<std::size_t>(perm[e])];
    }
    const auto x2 = Solve(s2);
    EXPECT_LT(MaxRelDiff(x2, x1), 2e-5);
  }
}

TEST(Progon, StoreRestartsNeverLoseEquations) {
  // A budget so tight that the planned store would restart for nearly every
  // equation: the store grows instead and the solution stays right.
  std::mt19937 rng(5);
  Mat1<int32_t> nop = QuadMesh(4, 4, true);
  StoredElements s{&nop, 9, 1, NodeCount(nop), {}, {}};
  RandomSystem(s, rng);
  std::vector<double> A, b;
  Assemble(s, A, b);
  const auto ref = DenseSolve(A, b);
  FrontPlanStats roomy;
  Solve(s, &roomy);
  const int64_t W = roomy.FrontDim;
  FrontPlanStats tight;
  const auto x = Solve(s, &tight, 2 * (2 * W * W + 9 * W + 3));
  EXPECT_EQ(tight.FrontDim, W);
  EXPECT_GT(tight.ExtraBlocks, 0);
  EXPECT_LT(tight.IntStore, roomy.IntStore);
  EXPECT_LT(MaxRelDiff(x, ref), 2e-5);
}

TEST(Progon, StopsOnSingularAndMismatchedSystems) {
  Mat1<int32_t> nop(2, 1);
  nop.v = {1, 2};
  StoredElements s{&nop, 2, 1, 2, {{1, 1, 1, 1}}, {{1, 1}}};
  EXPECT_EXIT(Solve(s), ::testing::ExitedWithCode(1), "^PIVOT=0\n$");

  // A zero fully summed block in the middle of a chain.
  Mat1<int32_t> chain = ChainMesh(4);
  StoredElements c{&chain, 3, 1, 9, {}, {}};
  std::mt19937 rng(1);
  RandomSystem(c, rng);
  for (auto& K : c.K) {
    for (int j = 0; j < 3; ++j) K[static_cast<std::size_t>(j * 3)] = K[static_cast<std::size_t>(j)] = 0.0;
  }
  EXPECT_EXIT(Solve(c), ::testing::ExitedWithCode(1), "^PIVOT=0\n$");

  // A plan whose front is smaller than the element order needs.
  Mat1<int32_t> grid = QuadMesh(4, 4, false);
  StoredElements g{&grid, 4, 1, NodeCount(grid), {}, {}};
  RandomSystem(g, rng);
  MarkLastAppearance(grid, 4, 16, g.nnode);
  FrontPlanStats plan;
  ASSERT_TRUE(FrontPlan(g.nnode, 4, g, 16, 2048000000, plan));
  plan.FrontDim = 3;
  Vec1<double> r1(g.nnode, 0.0);
  EXPECT_EXIT(progon(g.nnode, 4, plan, g, 16, r1), ::testing::ExitedWithCode(1),
              "front exceeds FrontDim = 3");
}

TEST(FrontalSolve, ReturnsPlanRestoresConnectivityAndStopsOnBudget) {
  std::mt19937 rng(9);
  Mat1<int32_t> nop = QuadMesh(3, 3, true);
  StoredElements s{&nop, 9, 1, NodeCount(nop), {}, {}};
  RandomSystem(s, rng);
  std::vector<double> A, b;
  Assemble(s, A, b);
  const auto ref = DenseSolve(A, b);
  LinearSolveOptions opt;
  opt.memBudget = 2048000000;
  SparseSolveStats sparse;
  Vec1<double> r1;
  const FrontPlanStats plan = FrontalSolve(SolveMode::Temperature, nop, 9, 9, s.nnode, s.nnode, 9, s, opt, sparse, r1);
  EXPECT_LT(MaxRelDiff(r1.v, ref), 2e-5);
  for (int32_t v : nop.v) EXPECT_GT(v, 0);
  EXPECT_GT(plan.FrontDim, 0);

  // No elements: a zero solution, an empty plan, no stop.
  EXPECT_EQ(FrontalSolve(SolveMode::Flow, nop, 9, 0, s.nnode, 5, 9, s, opt, sparse, r1).FrontDim, 0);
  EXPECT_EQ(r1.v, std::vector<double>(5, 0.0));

  opt.memBudget = 2 * (3 * plan.FrontDim + 3) - 2;
  EXPECT_EXIT(FrontalSolve(SolveMode::Temperature, nop, 9, 9, s.nnode, s.nnode, 9, s, opt, sparse, r1),
              ::testing::ExitedWithCode(1), "^Out of memory in progon\n$");
}

TEST(Progon, PendingUpdateBatchSizeOnlyChangesRounding) {
  // The update of the not yet fully summed block is collected over up to
  // kcap pivots; batches of 1, 3 and the default give the same solution.
  std::mt19937 rng(21);
  Mat1<int32_t> nop = QuadMesh(12, 10, true);
  StoredElements s{&nop, 9, 2, NodeCount(nop), {}, {}};
  RandomSystem(s, rng);
  std::vector<double> A, b;
  Assemble(s, A, b);
  const auto ref = DenseSolve(A, b);
  const int n = 2 * s.nnode, ne = nop.cols;
  MarkLastAppearance(nop, 9, ne, s.nnode);
  FrontPlanStats plan;
  ASSERT_TRUE(FrontPlan(n, 18, s, ne, 2048000000, plan));
  for (int kcap : {1, 3, 0}) {
    FrontWork w;
    w.kcap = kcap;
    FrontStart(w, n, 18, plan);
    Vec1<double> r1(n, 0.0);
    for (int k = 1; k <= ne; ++k) {
      std::fill(w.est.begin(), w.est.end(), 0.0);
      const int m = s.System(k, w.lm.data(), w.est.data(), 18, w.r.data());
      FrontAssemble(w, m, r1.data());
      FrontEliminate(w, k == ne, r1.data());
    }
    EXPECT_EQ(w.ip, static_cast<std::size_t>(plan.IntStore));  // the replay sized the store exactly
    EXPECT_EQ(w.ap, static_cast<std::size_t>(plan.RealStore));
    EXPECT_EQ(w.grown, 0);
    FrontBackSubstitute(w, r1.data());
    EXPECT_LT(MaxRelDiff(r1.v, ref), 2e-5) << "kcap=" << kcap;
  }
}

namespace {

// Solution bits of the stored system solved step by step with the given
// kernel path and thread count (a low teamFlops, so that the updates of
// these small fronts are shared out over the threads too).
std::vector<double> SolveWith(StoredElements& s, FrontPath path, int threads, int64_t soloUntil = 0) {
  const int n = s.dof * s.nnode, ne = s.nop->cols, m = s.m();
  MarkLastAppearance(*s.nop, s.npe, ne, s.nnode);
  FrontPlanStats plan;
  EXPECT_TRUE(FrontPlan(n, m, s, ne, 2048000000, plan));
  FrontWork w;
  w.path = path;
  w.threads = threads;
  w.teamFlops = 2000;
  w.soloUntil = soloUntil;
  FrontStart(w, n, m, plan);
  Vec1<double> r1(static_cast<std::size_t>(n), 0.0);
  for (int k = 1; k <= ne; ++k) {
    std::fill(w.est.begin(), w.est.end(), 0.0);
    std::fill(w.r.begin(), w.r.end(), 0.0);
    const int cnt = s.System(k, w.lm.data(), w.est.data(), m, w.r.data());
    FrontAssemble(w, cnt, r1.data());
    FrontEliminate(w, k == ne, r1.data());
  }
  FrontBackSubstitute(w, r1.data());
  RestoreConnectivity(*s.nop, s.npe, ne);
  return r1.v;
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// Reference of the pending block product: every entry summed in pivot order
// in double and rounded once.
void BlockReference(std::vector<float>& eq, int ld, const std::vector<int32_t>& rows, int c0, int c1,
                    const std::vector<double>& L, int lk, int k, const std::vector<double>& U) {
  for (int r : rows)
    for (int c = c0; c < c1; ++c) {
      double a = eq[static_cast<std::size_t>(r) * ld + c];
      for (int t = 0; t < k; ++t) {
        const double prod = L[static_cast<std::size_t>(r) * lk + t] * U[static_cast<std::size_t>(t) * ld + c];
        a = a - prod;
      }
      eq[static_cast<std::size_t>(r) * ld + c] = static_cast<float>(a);
    }
}

}  // namespace

// Every kernel path; those the processor lacks are skipped.
const FrontKernel kKernels[] = {FrontKernel::Portable, FrontKernel::Avx2, FrontKernel::Avx512};

TEST(FrontKernels, BlockUpdateMatchesPivotOrderSumOnEveryPathAndSplit) {
  std::mt19937 rng(41);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const int ld = 80, nrow = 23, lk = 64;
  for (int k : {1, 5, 64}) {
    std::vector<float> eq0(static_cast<std::size_t>(nrow) * ld);
    for (float& v : eq0) v = static_cast<float>(u(rng));
    std::vector<double> L(static_cast<std::size_t>(nrow) * lk), U(static_cast<std::size_t>(k) * ld);
    for (double& v : L) v = u(rng);
    for (double& v : U) v = u(rng) * 1e3;  // large products: rounding differences would show
    // Rows in a scattered order; 4, 7 and 11 rows take the blocks of six and
    // four rows and the single-row remainder.
    const std::vector<int32_t> all = {3, 17, 0, 9, 22, 11, 5, 14, 1, 20, 8};
    for (int nuse : {4, 7, 11}) {
      const std::vector<int32_t> rows(all.begin(), all.begin() + nuse);
      std::vector<float> ref = eq0;
      BlockReference(ref, ld, rows, 8, 72, L, lk, k, U);
      for (FrontKernel vec : kKernels) {
        if (!FrontKernelAvailable(vec)) continue;
        std::vector<float> whole = eq0, split = eq0;
        FrontBlockUpdate(vec, whole.data(), ld, rows.data(), nuse, 8, 72, L.data(), lk, k, U.data(), ld);
        // The same columns in pieces of 32, 8, 16 and 24 columns, as threads would take them.
        FrontBlockUpdate(vec, split.data(), ld, rows.data(), nuse, 40, 72, L.data(), lk, k, U.data(), ld);
        FrontBlockUpdate(vec, split.data(), ld, rows.data(), nuse, 8, 16, L.data(), lk, k, U.data(), ld);
        FrontBlockUpdate(vec, split.data(), ld, rows.data(), nuse, 24, 40, L.data(), lk, k, U.data(), ld);
        FrontBlockUpdate(vec, split.data(), ld, rows.data(), nuse, 16, 24, L.data(), lk, k, U.data(), ld);
        EXPECT_EQ(std::memcmp(whole.data(), ref.data(), ref.size() * sizeof(float)), 0)
            << FrontKernelName(vec) << " k=" << k << " rows=" << nuse;
        EXPECT_EQ(std::memcmp(split.data(), ref.data(), ref.size() * sizeof(float)), 0)
            << FrontKernelName(vec) << " k=" << k << " rows=" << nuse;
      }
    }
  }
}

TEST(FrontKernels, RowUpdatesRoundAfterEveryPivotLikeSingleUpdates) {
  std::mt19937 rng(43);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const int ldp = 160, k = 9;
  for (int len : {1, 3, 4, 17, 45, 150}) {
    std::vector<float> row0(static_cast<std::size_t>(len));
    for (float& v : row0) v = static_cast<float>(u(rng));
    std::vector<double> P(static_cast<std::size_t>(k) * ldp), f(k);
    for (double& v : P) v = u(rng) * 100.0;
    for (double& v : f) v = u(rng);
    f[3] = 0.0;  // a row without factor for this pivot is left alone
    // Reference: one pivot at a time, rounded after each, as the scalar rule.
    std::vector<float> ref = row0;
    for (int t = 0; t < k; ++t) {
      if (f[static_cast<std::size_t>(t)] == 0.0) continue;
      for (int c = 0; c < len; ++c) {
        const double prod = P[static_cast<std::size_t>(t) * ldp + c] * f[static_cast<std::size_t>(t)];
        ref[static_cast<std::size_t>(c)] = static_cast<float>(static_cast<double>(ref[static_cast<std::size_t>(c)]) - prod);
      }
    }
    for (FrontKernel vec : kKernels) {
      if (!FrontKernelAvailable(vec)) continue;
      std::vector<float> one = row0, many = row0;
      for (int t = 0; t < k; ++t)
        if (f[static_cast<std::size_t>(t)] != 0.0)
          FrontRowUpdate(vec, one.data(), P.data() + static_cast<std::size_t>(t) * ldp, f[static_cast<std::size_t>(t)], len);
      FrontRowUpdates(vec, many.data(), P.data(), ldp, f.data(), k, len);
      EXPECT_EQ(std::memcmp(one.data(), ref.data(), ref.size() * sizeof(float)), 0) << FrontKernelName(vec) << " len=" << len;
      EXPECT_EQ(std::memcmp(many.data(), ref.data(), ref.size() * sizeof(float)), 0) << FrontKernelName(vec) << " len=" << len;
    }
  }
}

TEST(FrontKernels, ColumnsUpdateKeepsItsSummationOrderOnEveryPathAndRowSplit) {
  std::mt19937 rng(47);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const int ld = 32, nrow = 9, lk = 64;
  const std::vector<int32_t> slots = {30, 2, 17, 5, 11};  // scattered columns, an odd count
  for (int k : {3, 8, 21, 64}) {
    std::vector<float> eq0(static_cast<std::size_t>(nrow) * ld);
    for (float& v : eq0) v = static_cast<float>(u(rng));
    std::vector<double> L(static_cast<std::size_t>(nrow) * lk), ug(slots.size() * lk);
    for (double& v : L) v = u(rng);
    for (double& v : ug) v = u(rng) * 1e3;
    // Reference: eight interleaved partial sums, pairwise combined, then the tail.
    std::vector<float> ref = eq0;
    for (int r = 0; r < nrow; ++r)
      for (std::size_t j = 0; j < slots.size(); ++j) {
        double part[8] = {};
        const int k8 = k / 8 * 8;
        for (int t = 0; t < k8; ++t) {
          const double prod = L[static_cast<std::size_t>(r) * lk + t] * ug[j * lk + t];
          part[t % 8] = part[t % 8] + prod;
        }
        double sum = ((part[0] + part[1]) + (part[2] + part[3])) + ((part[4] + part[5]) + (part[6] + part[7]));
        for (int t = k8; t < k; ++t) {
          const double prod = L[static_cast<std::size_t>(r) * lk + t] * ug[j * lk + t];
          sum = sum + prod;
        }
        float& x = ref[static_cast<std::size_t>(r) * ld + slots[j]];
        x = static_cast<float>(static_cast<double>(x) - sum);
      }
    for (FrontKernel vec : kKernels) {
      if (!FrontKernelAvailable(vec)) continue;
      std::vector<float> whole = eq0, split = eq0;
      FrontColumnsUpdate(vec, whole.data(), ld, 0, nrow, slots.data(), 5, L.data(), lk, k, ug.data());
      FrontColumnsUpdate(vec, split.data(), ld, 5, nrow, slots.data(), 5, L.data(), lk, k, ug.data());
      FrontColumnsUpdate(vec, split.data(), ld, 0, 5, slots.data(), 5, L.data(), lk, k, ug.data());
      EXPECT_EQ(std::memcmp(whole.data(), ref.data(), ref.size() * sizeof(float)), 0) << FrontKernelName(vec) << " k=" << k;
      EXPECT_EQ(std::memcmp(split.data(), ref.data(), ref.size() * sizeof(float)), 0) << FrontKernelName(vec) << " k=" << k;
    }
  }
}

TEST(Progon, KernelPathAndThreadCountGiveIdenticalSolutions) {
  // The solver's meshes, a wide grid whose front spans several pending
  // batches, and saddle-point blocks: the portable path on one thread is the
  // reference; both vector paths and two threads must reproduce it bit for bit.
  std::mt19937 rng(17);
  struct Case {
    Mat1<int32_t> nop;
    int dof;
    int zeroDiagFrom;
  };
  std::vector<Case> cases;
  cases.push_back({ChainMesh(20), 1, 0});
  cases.push_back({ChainMesh(15), 3, 3});
  cases.push_back({QuadMesh(5, 4, false), 2, 0});
  cases.push_back({QuadMesh(3, 3, true), 2, 2});
  cases.push_back({RandomMesh(30, 36, 5, rng), 2, 0});
  cases.push_back({QuadMesh(12, 6, true), 2, 0});
  for (auto& c : cases) {
    StoredElements s{&c.nop, c.nop.rows, c.dof, NodeCount(c.nop), {}, {}};
    RandomSystem(s, rng, c.zeroDiagFrom);
    std::vector<double> A, b;
    Assemble(s, A, b);
    const auto ref = SolveWith(s, FrontPath::Portable, 1);
    EXPECT_LT(MaxRelDiff(ref, DenseSolve(A, b)), 2e-5) << "npe=" << s.npe << " dof=" << s.dof;
    EXPECT_TRUE(SameBits(SolveWith(s, FrontPath::Vector, 1), ref)) << "npe=" << s.npe << " dof=" << s.dof;
    EXPECT_TRUE(SameBits(SolveWith(s, FrontPath::Portable, 2), ref)) << "npe=" << s.npe << " dof=" << s.dof;
    EXPECT_TRUE(SameBits(SolveWith(s, FrontPath::Vector, 2), ref)) << "npe=" << s.npe << " dof=" << s.dof;
    EXPECT_TRUE(SameBits(SolveWith(s, FrontPath::Avx2, 2), ref)) << "npe=" << s.npe << " dof=" << s.dof;
    // A team that backs off to one thread part-way through the solve.
    EXPECT_TRUE(SameBits(SolveWith(s, FrontPath::Vector, 2, s.dof * s.nnode / 2), ref))
        << "npe=" << s.npe << " dof=" << s.dof;
    // The template entry with two threads (default path) as the field solves call it.
    const int n = s.dof * s.nnode, ne = c.nop.cols;
    MarkLastAppearance(c.nop, s.npe, ne, s.nnode);
    FrontPlanStats plan;
    ASSERT_TRUE(FrontPlan(n, s.m(), s, ne, 2048000000, plan));
    Vec1<double> r1(static_cast<std::size_t>(n), 0.0);
    progon(n, s.m(), plan, s, ne, r1, 2);
    RestoreConnectivity(c.nop, s.npe, ne);
    EXPECT_TRUE(SameBits(r1.v, ref)) << "npe=" << s.npe << " dof=" << s.dof;
  }
}

TEST(Progon, TeamBacksOffToOneThreadWhileItsThreadsAreHeldUp) {
  FrontWork w;
  w.pivots = 1000;
  // A window of updates whose waits stay small keeps the team.
  for (int i = 0; i < 256; ++i) FrontTeamTimed(w, 1e-4, 6e-5);
  EXPECT_EQ(w.soloUntil, 0);
  // Waits as long as the work: one thread for 4096 pivots, then 8192 after
  // a second such window in a row.
  for (int i = 0; i < 256; ++i) FrontTeamTimed(w, 1e-4, 1e-4);
  EXPECT_EQ(w.soloUntil, 1000 + 4096);
  w.pivots = 6000;
  for (int i = 0; i < 256; ++i) FrontTeamTimed(w, 1e-4, 1e-2);
  EXPECT_EQ(w.soloUntil, 6000 + 8192);
  // A quiet window starts the count again.
  w.pivots = 20000;
  for (int i = 0; i < 256; ++i) FrontTeamTimed(w, 1e-4, 0.0);
  for (int i = 0; i < 256; ++i) FrontTeamTimed(w, 1e-4, 1e-3);
  EXPECT_EQ(w.soloUntil, 20000 + 4096);
  EXPECT_EQ(w.soloRuns, 3);
}

namespace {

// The plain frontal elimination, written from its definition: dense
// single-precision front in arrival order, elimination delayed until the
// row front exceeds the limit, complete pivoting over the fully summed block
// (ties to the later column, then the later row), every update formed in
// double and rounded at once.  Each equation record is returned as its row
// unknown, pivot column unknown and (|column unknown|, value bits) sorted.
using Rec = std::vector<int64_t>;
Rec Canonical(int32_t row, int32_t col, const int32_t* u, const float* p, int c) {
  std::vector<std::pair<int32_t, uint32_t>> v;
  for (int k = 0; k < c; ++k) v.emplace_back(u[k], std::bit_cast<uint32_t>(p[k]));
  std::sort(v.begin(), v.end(), [](auto& x, auto& y) { return std::abs(x.first) < std::abs(y.first); });
  Rec rec{row, col};
  for (auto [a, b] : v) rec.insert(rec.end(), {a, b});
  return rec;
}

std::vector<Rec> PlainFrontal(StoredElements& s, int64_t limit) {
  const int m = s.m(), ne = s.nop->cols;
  std::vector<int32_t> cols, rows, lm(m);
  std::vector<std::vector<float>> eq;  // eq[row][column]
  std::vector<double> est(m * m), r(m);
  std::vector<Rec> out;
  auto place = [](std::vector<int32_t>& f, int32_t u) {
    auto it = std::find_if(f.begin(), f.end(), [u](int32_t v) { return std::abs(v) == std::abs(u); });
    if (it == f.end()) it = f.insert(f.end(), u);
    *it = u;
    return static_cast<int>(it - f.begin());
  };
  for (int k = 1; k <= ne; ++k) {
    std::fill(est.begin(), est.end(), 0.0);
    s.System(k, lm.data(), est.data(), m, r.data());
    std::vector<int> pc(m), pr(m);
    for (int i = 0; i < m; ++i) pc[i] = lm[i] ? place(cols, lm[i]) : -1;
    for (int i = 0; i < m; ++i) pr[i] = lm[i] ? place(rows, lm[i]) : -1;
    eq.resize(rows.size());
    for (auto& row : eq) row.resize(cols.size(), 0.0f);
    for (int j = 0; j < m * m; ++j)
      if (lm[j % m] && lm[j / m] && est[j] != 0.0)
        eq[pr[j % m]][pc[j / m]] = static_cast<float>(static_cast<double>(eq[pr[j % m]][pc[j / m]]) + est[j]);
    while (static_cast<int64_t>(rows.size()) > limit || (k == ne && !rows.empty())) {
      std::size_t bi = rows.size(), bj = 0;
      float best = 0.0f;
      for (std::size_t j = 0; j < cols.size(); ++j)
        for (std::size_t i = 0; i < rows.size(); ++i)
          if (cols[j] < 0 && rows[i] < 0 && std::fabs(best) <= std::fabs(eq[i][j])) best = eq[i][j], bi = i, bj = j;
      if (bi == rows.size()) break;
      std::vector<double> p(cols.size());
      std::vector<float> pf(cols.size());
      for (std::size_t c = 0; c < cols.size(); ++c) pf[c] = static_cast<float>(p[c] = eq[bi][c] / static_cast<double>(best));
      out.push_back(Canonical(std::abs(rows[bi]), std::abs(cols[bj]), cols.data(), pf.data(), static_cast<int>(cols.size())));
      for (std::size_t i = 0; i < rows.size(); ++i)
        for (std::size_t c = 0; c < cols.size() && i != bi && eq[i][bj] != 0.0f; ++c)
          if (c != bj) eq[i][c] = static_cast<float>(eq[i][c] - p[c] * static_cast<double>(eq[i][bj]));
      eq.erase(eq.begin() + bi);
      for (auto& row : eq) row.erase(row.begin() + bj);
      rows.erase(rows.begin() + bi);
      cols.erase(cols.begin() + bj);
    }
  }
  return out;
}

}  // namespace

TEST(Progon, OnePendingPivotStoresThePlainEliminationBitForBit) {
  // With one pivot per batch every entry is rounded after every pivot, as
  // in the plain elimination: same pivots, same columns, same value bits.
  std::mt19937 rng(77);
  Mat1<int32_t> nop = QuadMesh(9, 7, true);
  StoredElements s{&nop, 9, 2, NodeCount(nop), {}, {}};
  RandomSystem(s, rng, 2);
  const int n = 2 * s.nnode, ne = nop.cols;
  MarkLastAppearance(nop, 9, ne, s.nnode);
  FrontPlanStats plan;
  ASSERT_TRUE(FrontPlan(n, 18, s, ne, 2048000000, plan));
  const std::vector<Rec> ref = PlainFrontal(s, plan.FrontLimit);
  for (FrontPath path : {FrontPath::Portable, FrontPath::Avx2, FrontPath::Vector}) {
    FrontWork w;
    w.kcap = 1;
    w.path = path;
    FrontStart(w, n, 18, plan);
    Vec1<double> r1(n, 0.0);
    for (int k = 1; k <= ne; ++k) {
      std::fill(w.est.begin(), w.est.end(), 0.0);
      FrontAssemble(w, s.System(k, w.lm.data(), w.est.data(), 18, w.r.data()), r1.data());
      FrontEliminate(w, k == ne, r1.data());
    }
    std::vector<Rec> got;  // the store read backwards by its trailing counts
    for (std::size_t ip = w.ip, ap = w.ap; ip > 0;) {
      const int c = w.istor[ip - 1];
      const int32_t* u = w.istor.get() + ip - 3 - c;
      got.insert(got.begin(), Canonical(w.istor[ip - 3], std::abs(u[w.istor[ip - 2] - 1]), u, w.astor.get() + ap - c, c));
      ip -= c + 3, ap -= c;
    }
    EXPECT_TRUE(got == ref) << "path " << static_cast<int>(path);
  }
  RestoreConnectivity(nop, 9, ne);
}
