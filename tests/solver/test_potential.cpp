#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "solver/field_solve.h"
#include "solver/potential.h"
#include "support/element_tables.h"
#include "support/grid_mesh2d.h"

namespace {

// Variant holding one cross-section mesh as its potential mesh.
InpDat OneSection(const Mesh2d& m) {
  InpDat d;
  d.nPiecesA = 1;
  d.MemBudget = 2048000000;
  d.Pieces2d.assign(1);
  d.Pieces2d(1) = m;
  return d;
}

void Solve(InpDat& d) {
  MeshRecord unused;
  Sol_Def(unused, Tables(), SolveMode::Potential, d);
}

// Annulus a <= r <= b of 6-node triangles on a polar grid; every mid-side
// node sits at the mid point of its edge in (r, theta), so the circles are
// followed by the element edges.  Corner nodes first, counter-clockwise
// triangles.  Inner circle flagged 66/2 (held at 1), outer 65/1 (held at 0).
Mesh2d Annulus(double a, double b, int nr, int nt) {
  auto cid = [&](int i, int j) { return i * nt + (j % nt) + 1; };
  std::vector<std::pair<double, double>> rt;  // (r, theta) per node
  for (int i = 0; i <= nr; ++i)
    for (int j = 0; j < nt; ++j) rt.push_back({a + (b - a) * i / nr, 2 * M_PI * j / nt});
  const int nc = static_cast<int>(rt.size());
  std::vector<std::array<int, 3>> tri;
  for (int i = 0; i < nr; ++i)
    for (int j = 0; j < nt; ++j) {
      const int p = cid(i, j), q = cid(i + 1, j), s = cid(i + 1, j + 1), t = cid(i, j + 1);
      tri.push_back({p, q, s});
      tri.push_back({p, s, t});
    }
  std::map<std::pair<int, int>, int> mid;
  auto midOf = [&](int p, int q) {
    const auto key = std::make_pair(std::min(p, q), std::max(p, q));
    auto it = mid.find(key);
    if (it != mid.end()) return it->second;
    auto [r1, t1] = rt[static_cast<std::size_t>(p - 1)];
    auto [r2, t2] = rt[static_cast<std::size_t>(q - 1)];
    if (t2 - t1 > M_PI) t2 -= 2 * M_PI;
    if (t1 - t2 > M_PI) t1 -= 2 * M_PI;
    rt.push_back({0.5 * (r1 + r2), 0.5 * (t1 + t2)});
    return mid[key] = static_cast<int>(rt.size());
  };
  Mesh2d m;
  m.ne = static_cast<int>(tri.size());
  m.nop.assign(6, m.ne);
  for (int e = 1; e <= m.ne; ++e) {
    const auto& t = tri[static_cast<std::size_t>(e - 1)];
    const int v[6] = {t[0], t[1], t[2], midOf(t[2], t[0]), midOf(t[0], t[1]), midOf(t[1], t[2])};
    for (int k = 1; k <= 6; ++k) m.nop(k, e) = v[k - 1];
  }
  m.np = nc;
  m.nh = static_cast<int>(rt.size());
  m.xy.assign(static_cast<std::size_t>(m.nh));
  m.flag.assign(static_cast<std::size_t>(m.nh));
  m.mark.assign(static_cast<std::size_t>(m.nh), 0);
  for (int i = 1; i <= m.nh; ++i) {
    auto [r, t] = rt[static_cast<std::size_t>(i - 1)];
    m.xy(i) = {r * std::cos(t), r * std::sin(t)};
    const int corner = i <= nc ? 64 : 0;
    m.flag(i) = static_cast<int8_t>(corner + (std::fabs(r - a) < 1e-12 ? 2 : std::fabs(r - b) < 1e-12 ? 1 : 0));
  }
  return m;
}

// Largest nodal deviation from ln(b/r)/ln(b/a) on the annulus.
double AnnulusError(int nr, int nt) {
  const double a = 10, b = 50;
  InpDat d = OneSection(Annulus(a, b, nr, nt));
  Solve(d);
  const Mesh2d& m = d.Pieces2d(1);
  double err = 0;
  for (int i = 1; i <= m.nh; ++i) {
    const double r = std::hypot(m.xy(i)[0], m.xy(i)[1]);
    err = std::max(err, std::fabs(m.Pot(i) - std::log(b / r) / std::log(b / a)));
  }
  return err;
}

}  // namespace

// Potential between two circles: p = ln(b/r) / ln(b/a), the die-face
// potential of a round bar from a round container.  Quadratic elements
// converge at third order at the nodes; the maximum principle holds.
TEST(Potential, AnnulusMatchesTheLogarithmicSolutionAndConverges) {
  const double coarse = AnnulusError(4, 24), fine = AnnulusError(8, 48);
  std::printf("annulus nodal error: %.3e (4 x 24)  %.3e (8 x 48)\n", coarse, fine);
  EXPECT_LT(coarse, 2e-3);
  EXPECT_LT(fine, coarse / 4);

  InpDat d = OneSection(Annulus(10, 50, 6, 36));
  Solve(d);
  const Mesh2d& m = d.Pieces2d(1);
  for (int i = 1; i <= m.nh; ++i) {
    EXPECT_GE(m.Pot(i), -1e-6);
    EXPECT_LE(m.Pot(i), 1 + 1e-6);
    if (m.flag(i) == 66 || m.flag(i) == 2) {
      EXPECT_NEAR(m.Pot(i), 1.0, 1e-6);
    }
    if (m.flag(i) == 65 || m.flag(i) == 1) {
      EXPECT_NEAR(m.Pot(i), 0.0, 1e-6);
    }
  }
}

// With a source, -p'' = c between x = 0 (p = 0) and x = L (p = 1), the sides
// free: p = x/L + c x (L - x)/2, quadratic in x, so 6-node triangles give it
// exactly at every node (up to the single-precision front).
TEST(Potential, SourceProblemOnARectangleIsExactForQuadratics) {
  const double L = 40, H = 15, c = 0.004;
  Mesh2d g = GridMesh2d(0, 0, L, H, 5, 3);
  for (int i = 1; i <= g.nh; ++i) {
    const int corner = i <= g.np ? 64 : 0;
    const double x = g.xy(i)[0];
    g.flag(i) = static_cast<int8_t>(corner + (x < 1e-9 ? 1 : x > L - 1e-9 ? 2 : 0));
  }
  InpDat d = OneSection(g);
  d.PotSource = c;
  Solve(d);
  const Mesh2d& m = d.Pieces2d(1);
  for (int i = 1; i <= m.nh; ++i) {
    const double x = m.xy(i)[0];
    EXPECT_NEAR(m.Pot(i), x / L + c * x * (L - x) / 2, 2e-6) << "node " << i;
  }
}

// The potential mesh is the last section, or the merged region of a
// multi-hole die; the connectivity is positive afterwards even when it came
// with negative entries, and the result does not depend on those signs.
TEST(Potential, MeshChoiceAndConnectivitySigns) {
  InpDat d;
  d.nPiecesA = 2;
  EXPECT_EQ(PotentialMeshIndex(d), 2);
  d.nPiecesB = 2;
  EXPECT_EQ(PotentialMeshIndex(d), 2);
  d.nPiecesB = 4;
  EXPECT_EQ(PotentialMeshIndex(d), 4);

  InpDat plain = OneSection(Annulus(10, 50, 3, 16));
  InpDat neg = plain;
  Mesh2d& n = neg.Pieces2d(1);
  for (int e = 1; e <= n.ne; e += 2)
    for (int k = 1; k <= 6; k += 3) n.nop(k, e) = -n.nop(k, e);
  Solve(plain);
  Solve(neg);
  for (int e = 1; e <= n.ne; ++e)
    for (int k = 1; k <= 6; ++k) {
      EXPECT_GT(n.nop(k, e), 0);
      EXPECT_EQ(n.nop(k, e), plain.Pieces2d(1).nop(k, e));
    }
  for (int i = 1; i <= n.nh; ++i) EXPECT_DOUBLE_EQ(n.Pot(i), plain.Pieces2d(1).Pot(i));
}

// Without a held node Laplace's equation has the constant solution, taken
// as 0; a source without held nodes, a missing mesh and a degenerate
// triangle stop the run.
TEST(Potential, UnheldMeshesAndBadInput) {
  Mesh2d g = GridMesh2d(0, 0, 10, 10, 2, 2);
  for (int i = 1; i <= g.nh; ++i) g.flag(i) = static_cast<int8_t>(i <= g.np ? 64 : 0);
  InpDat d = OneSection(g);
  d.Pieces2d(1).nop(1, 1) = -d.Pieces2d(1).nop(1, 1);
  Solve(d);
  EXPECT_GT(d.Pieces2d(1).nop(1, 1), 0);
  for (int i = 1; i <= g.nh; ++i) EXPECT_EQ(d.Pieces2d(1).Pot(i), 0.0);

  d.PotSource = 1.0;
  EXPECT_EXIT(Solve(d), ::testing::ExitedWithCode(1), "no node with a held value");
  InpDat missing = OneSection(g);
  missing.nPiecesA = 3;
  EXPECT_EXIT(Solve(missing), ::testing::ExitedWithCode(1), "cross-section mesh 3 is missing");
  InpDat flat = OneSection(GridMesh2d(0, 0, 10, 10, 1, 1));
  Mesh2d& f = flat.Pieces2d(1);
  f.flag(1) = 65;
  for (int k = 1; k <= 6; ++k) f.xy(std::abs(f.nop(k, 2))) = {1.0, 1.0};
  EXPECT_EXIT(Solve(flat), ::testing::ExitedWithCode(1), "element 2 of cross-section mesh 1 has a zero Jacobian");
}
