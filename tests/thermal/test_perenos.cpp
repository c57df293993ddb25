#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <cmath>
#include <random>
#include <vector>

#include "mesh3d/gen_gr3d.h"
#include "support/grid_mesh2d.h"
#include "thermal/element_index.h"
#include "thermal/perenos.h"
#include "thermal/example_meshes.h"

namespace {

// A polynomial in the span of the 15 monomials.
struct SpanPoly {
  std::array<double, 15> a{};
  double operator()(double x, double y, double z) const {
    const double m[15] = {1, x, y, z, x * x, y * y, z * z, x * y, x * z, y * z,
                          x * y * z, x * x * z, y * y * z, x * z * z, y * z * z};
    double v = 0;
    for (int k = 0; k < 15; ++k) v += a[static_cast<std::size_t>(k)] * m[k];
    return v;
  }
};

SpanPoly RandomPoly(std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  SpanPoly p;
  for (double& c : p.a) c = u(rng);
  return p;
}

// Wedge with corners (B, A, C) of a counter-clockwise triangle between z0
// and z1 and mid-side nodes moved off the chords by `bend` (curved edges).
void CurvedWedge(double cx, double cy, double z0, double z1, double h, double bend, double xyz[15][3]) {
  const double tri[3][2] = {{cx + h, cy}, {cx, cy}, {cx + 0.3 * h, cy + 0.9 * h}};  // B, A, C
  for (int k = 0; k < 3; ++k) {
    xyz[k][0] = xyz[k + 3][0] = tri[k][0];
    xyz[k][1] = xyz[k + 3][1] = tri[k][1];
    xyz[k][2] = z0;
    xyz[k + 3][2] = z1;
  }
  for (int m = 0; m < 9; ++m) {
    const int a = kWedgeEdge[m][0] - 1, b = kWedgeEdge[m][1] - 1;
    for (int j = 0; j < 3; ++j) xyz[6 + m][j] = 0.5 * (xyz[a][j] + xyz[b][j]);
    if (m < 3 || m > 5) {  // horizontal edges bend in x-y
      xyz[6 + m][0] += bend * h * (m % 2 == 0 ? 1 : -1);
      xyz[6 + m][1] += 0.5 * bend * h;
    }
  }
}

// Extruded grid mesh: rectangle [0, w] x [0, h] in nx x ny squares, z in
// [z0, z1] in `layers` layers, graded by `grade`.
MeshRecord GridPrism(double w, double h, int nx, int ny, double z0, double z1, int layers, double grade) {
  MeshRecord m;
  ExtrudePiece(GridMesh2d(0, 0, w, h, nx, ny), layers, z0, z1, m.g);
  if (grade != 0.0) GradePiece(grade, m.g);
  m.fld.assign(kNumFld, m.g.nh, 0.0f);
  return m;
}

}  // namespace

TEST(FitEval15, ReproducesTheMonomialSpanInsideAndOutsideCurvedAndDistantElements) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  // Near the origin and far from it (local coordinates keep the fit exact).
  const double centres[3][3] = {{0, 0, 0}, {1000, -500, 2000}, {-3e4, 2e4, 1e4}};
  for (const auto& c : centres)
    for (double bend : {0.0, 0.05, 0.15}) {
      double xyz[15][3];
      CurvedWedge(c[0], c[1], c[2], c[2] + 2.5, 4.0, bend, xyz);
      const SpanPoly p = RandomPoly(rng);
      double val[15];
      double scale = 0;
      for (int k = 0; k < 15; ++k) {
        val[k] = p(xyz[k][0] - c[0], xyz[k][1] - c[1], xyz[k][2] - c[2]);
        scale = std::max(scale, std::fabs(val[k]));
      }
      // Fit in shifted coordinates: evaluate the shifted polynomial.
      Fit15 fit;
      ASSERT_TRUE(Fit15Factor(xyz, fit));
      for (int t = 0; t < 40; ++t) {
        // Points inside the box of the element and up to half a size beyond.
        const double x = c[0] - 2.0 + 8.0 * u(rng), y = c[1] - 2.0 + 7.6 * u(rng), z = c[2] - 1.2 + 4.9 * u(rng);
        const double want = p(x - c[0], y - c[1], z - c[2]);
        double vals[1][15];
        std::copy(val, val + 15, vals[0]);
        double got = 0;
        Fit15Eval(fit, x, y, z, 1, vals, &got);
        EXPECT_NEAR(got, want, 1e-9 * (1.0 + scale)) << "bend " << bend << " centre " << c[0];
        EXPECT_NEAR(FitEval15(x, y, z, xyz, val), want, 1e-9 * (1.0 + scale));
      }
      // At the nodes the fit returns the nodal values.
      for (int k = 0; k < 15; ++k)
        EXPECT_NEAR(FitEval15(xyz[k][0], xyz[k][1], xyz[k][2], xyz, val), val[k], 1e-10 * (1.0 + scale));
    }
}

TEST(FitEval15, DegenerateElementsGiveFiniteValuesWithinTheNodalRange) {
  double val[15];
  for (int k = 0; k < 15; ++k) val[k] = 400.0 + 7.0 * k;
  double xyz[15][3];
  // All nodes at one point, a wedge of zero height, a collapsed triangle.
  std::vector<std::function<void()>> makers = {
      [&] { for (auto& p : xyz) p[0] = 3.0, p[1] = -2.0, p[2] = 5.0; },
      [&] { CurvedWedge(0, 0, 5.0, 5.0, 4.0, 0.0, xyz); },
      [&] {
        CurvedWedge(0, 0, 5.0, 8.0, 4.0, 0.0, xyz);
        for (auto& p : xyz) p[1] = 0.0;  // every node on the plane y = 0
      }};
  for (std::size_t t = 0; t < makers.size(); ++t) {
    makers[t]();
    Fit15 fit;
    EXPECT_FALSE(Fit15Factor(xyz, fit)) << t;
    for (double x : {-1.0, 0.5, 2.0, 9.0}) {
      const double v = FitEval15(x, 0.3, 5.5, xyz, val);
      EXPECT_TRUE(std::isfinite(v)) << t;
      EXPECT_GE(v, 400.0) << t;
      EXPECT_LE(v, 400.0 + 7.0 * 14) << t;
    }
    // A constant field stays that constant.
    double one[15];
    std::fill(one, one + 15, 123.25);
    EXPECT_DOUBLE_EQ(FitEval15(1.0, 0.2, 5.1, xyz, one), 123.25) << t;
  }
}

TEST(FindElement, IndexAgreesWithTheScanOnGradedPrismsInsideOutsideAndAtLayerPlanes) {
  // Grading beyond 0.5 folds the layers: elements overlap in z, so the
  // order rule of the scan decides.
  for (double grade : {0.0, 0.3, 0.6}) {
    const MeshRecord m = GridPrism(10.0, 6.0, 5, 3, 100.0, 130.0, 6, grade);
    ElementIndex idx;
    BuildElementIndex(m.g, idx);
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> ux(-8.0, 18.0), uy(-6.0, 12.0), uz(98.0, 132.0);
    int inside = 0, outside = 0, none = 0;
    for (int t = 0; t < 4000; ++t) {
      const double x = ux(rng), y = uy(rng), z = uz(rng);
      const int s = FindElementScan(m.g, x, y, z);
      ASSERT_EQ(FindElement(idx, m.g, x, y, z), s) << x << " " << y << " " << z << " grade " << grade;
      if (s == 0) ++none;
      else if (x >= 0 && x <= 10 && y >= 0 && y <= 6) ++inside;
      else ++outside;
    }
    EXPECT_GT(inside, 100);
    EXPECT_GT(outside, 100);
    EXPECT_GT(none, 10);
    // Every node, and points on the element edges and the z margin planes.
    for (int i = 1; i <= m.g.nh; ++i)
      for (double dz : {0.0, -0.5, 0.5, 0.5000001})
        ASSERT_EQ(FindElement(idx, m.g, m.g.xyz(1, i), m.g.xyz(2, i), m.g.xyz(3, i) + dz),
                  FindElementScan(m.g, m.g.xyz(1, i), m.g.xyz(2, i), m.g.xyz(3, i) + dz))
            << "node " << i;
  }
}

TEST(FindElement, DegenerateAndFarElementsAndNonFinitePoints) {
  MeshRecord m = GridPrism(4.0, 4.0, 2, 2, 0.0, 10.0, 2, 0.0);
  // Collapse the corner triangle of element 3 (and its layer twin) onto a
  // line: zero area, reached from everywhere.
  for (int e : {3, 3 + m.g.ne / 2}) {
    const int a = m.g.nop(1, e), b = m.g.nop(2, e), c = m.g.nop(3, e);
    const double mx = 0.5 * (m.g.xyz(1, a) + m.g.xyz(1, b)), my = 0.5 * (m.g.xyz(2, a) + m.g.xyz(2, b));
    m.g.xyz(1, c) = mx;
    m.g.xyz(2, c) = my;
  }
  ElementIndex idx;
  BuildElementIndex(m.g, idx);
  EXPECT_FALSE(idx.always.empty());
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-30.0, 34.0), uz(-2.0, 12.0);
  for (int t = 0; t < 3000; ++t) {
    const double x = u(rng), y = u(rng), z = uz(rng);
    ASSERT_EQ(FindElement(idx, m.g, x, y, z), FindElementScan(m.g, x, y, z)) << x << " " << y << " " << z;
  }
  // Far away in x-y (mismatch above 1e10: no element) and in z.
  for (double far : {1e3, 1e6, 1e9}) {
    EXPECT_EQ(FindElement(idx, m.g, far, -far, 5.0), FindElementScan(m.g, far, -far, 5.0));
    EXPECT_EQ(FindElement(idx, m.g, 2.0, 2.0, far), 0);
  }
  EXPECT_EQ(FindElement(idx, m.g, std::nan(""), 1.0, 1.0), FindElementScan(m.g, std::nan(""), 1.0, 1.0));
  EXPECT_EQ(FindElement(idx, m.g, 1.0, 1.0, std::nan("")), 0);
}

TEST(FindElement, IndexAgreesWithTheScanOnEveryNodeOfTheExampleBothWays) {
  const PreparedExample& ex = Example();
  const MeshRecord* meshes[2] = {&ex.nodes, &ex.nodes_t};
  for (int dir = 0; dir < 2; ++dir) {
    const Mesh3d& src = meshes[dir]->g;
    const Mesh3d& dst = meshes[1 - dir]->g;
    ElementIndex idx;
    BuildElementIndex(src, idx);
    int fallback = 0;
    for (int i = 1; i <= dst.nh; ++i) {
      const double x = dst.xyz(1, i), y = dst.xyz(2, i), z = dst.xyz(3, i);
      const int s = FindElementScan(src, x, y, z);
      ASSERT_EQ(FindElement(idx, src, x, y, z), s) << "direction " << dir << " node " << i;
      ASSERT_GT(s, 0);
      double c[6];
      for (int k = 0; k < 3; ++k) {
        c[2 * k] = src.xyz(1, src.nop(k + 1, s));
        c[2 * k + 1] = src.xyz(2, src.nop(k + 1, s));
      }
      fallback += TriangleMismatch(c, HeronArea(c[0], c[1], c[2], c[3], c[4], c[5]), x, y) > kMismatchTol;
    }
    // Mid-side nodes on the curved outlines lie outside the chord triangles.
    EXPECT_GT(fallback, 0) << dir;
    // Points around and outside both meshes.
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
    for (int i = 1; i <= src.nh; ++i)
      for (int a = 0; a < 3; ++a) {
        lo[a] = std::min(lo[a], src.xyz(a + 1, i));
        hi[a] = std::max(hi[a], src.xyz(a + 1, i));
      }
    std::mt19937 rng(5 + dir);
    for (int t = 0; t < 3000; ++t) {
      double p[3];
      for (int a = 0; a < 3; ++a) {
        const double w = hi[a] - lo[a];
        p[a] = std::uniform_real_distribution<double>(lo[a] - 0.3 * w, hi[a] + 0.3 * w)(rng);
      }
      ASSERT_EQ(FindElement(idx, src, p[0], p[1], p[2]), FindElementScan(src, p[0], p[1], p[2]))
          << p[0] << " " << p[1] << " " << p[2];
    }
  }
}

TEST(Perenos3d, SpanFieldsAreReproducedOnTheExampleAndModesTouchOnlyTheirFields) {
  const PreparedExample& ex = Example();
  std::mt19937 rng(21);
  // Source fields: a span polynomial per field, in coordinates scaled to
  // the model (mm / 50) so that all terms matter.
  std::array<SpanPoly, kNumFld + 1> poly;
  for (auto& p : poly) p = RandomPoly(rng);
  auto field = [&](int f, double x, double y, double z) { return 100.0 * poly[static_cast<std::size_t>(f)](x / 50, y / 50, z / 50); };
  MeshRecord src = ex.nodes;
  for (int i = 1; i <= src.g.nh; ++i)
    for (int f = 1; f <= kNumFld; ++f)
      src.fld(f, i) = static_cast<float>(field(f, src.g.xyz(1, i), src.g.xyz(2, i), src.g.xyz(3, i)));
  const std::vector<int> want[4] = {{}, {1, 2, 3, 4, 7, 8}, {1, 2, 3, 4, 5, 7, 8}, {5}};
  for (int mode = 1; mode <= 3; ++mode) {
    MeshRecord dst = ex.nodes_t;
    for (int i = 1; i <= dst.g.nh; ++i)
      for (int f = 1; f <= kNumFld; ++f) dst.fld(f, i) = -1000.0f - static_cast<float>(f);
    Perenos_3d(src, dst, mode);
    for (int i = 1; i <= dst.g.nh; ++i) {
      const double x = dst.g.xyz(1, i), y = dst.g.xyz(2, i), z = dst.g.xyz(3, i);
      for (int f = 1; f <= kNumFld; ++f) {
        const bool moved = std::find(want[mode].begin(), want[mode].end(), f) != want[mode].end();
        if (moved)
          ASSERT_NEAR(dst.fld(f, i), field(f, x, y, z), 2e-3) << "mode " << mode << " field " << f << " node " << i;
        else
          ASSERT_EQ(dst.fld(f, i), -1000.0f - static_cast<float>(f)) << "mode " << mode << " field " << f;
      }
    }
  }
  // Back from the thermal to the flow mesh (mode 3), and the scan transfer
  // gives the same values bit for bit.
  MeshRecord tsrc = ex.nodes_t;
  for (int i = 1; i <= tsrc.g.nh; ++i)
    tsrc.fld(kFldT, i) = static_cast<float>(field(kFldT, tsrc.g.xyz(1, i), tsrc.g.xyz(2, i), tsrc.g.xyz(3, i)));
  MeshRecord back = ex.nodes, scan = ex.nodes;
  Perenos_3d(tsrc, back, 3);
  Perenos_3dWith(tsrc, scan, 3, TransferSearch::Scan);
  for (int i = 1; i <= back.g.nh; ++i) {
    ASSERT_NEAR(back.fld(kFldT, i), field(kFldT, back.g.xyz(1, i), back.g.xyz(2, i), back.g.xyz(3, i)), 2e-3) << i;
    ASSERT_EQ(back.fld(kFldT, i), scan.fld(kFldT, i)) << i;
    ASSERT_EQ(back.fld(kFldVx, i), ex.nodes.fld(kFldVx, i));
  }
}

TEST(Perenos3d, SmoothFieldsStayAccurateOnTheBulgeOfLongCurvedBoundaryEdges) {
  // The example's container outline has boundary edges of about 25 mm whose
  // mid-side nodes lie well outside the chord triangles; the element of
  // smallest area mismatch for them is a small element tens of millimetres
  // away.  Their values must come from their own element.
  const PreparedExample& ex = Example();
  auto field = [](double x, double y, double z) { return 400.0 + 50.0 * std::sin(x / 40.0) * std::cos(y / 40.0) + 0.2 * z; };
  MeshRecord src[2] = {ex.nodes, ex.nodes_t};
  for (MeshRecord& m : src)
    for (int i = 1; i <= m.g.nh; ++i) m.fld(kFldT, i) = static_cast<float>(field(m.g.xyz(1, i), m.g.xyz(2, i), m.g.xyz(3, i)));
  for (int dir = 0; dir < 2; ++dir) {
    MeshRecord dst = src[1 - dir];
    Perenos_3d(src[dir], dst, 3);
    double worst = 0;
    for (int i = 1; i <= dst.g.nh; ++i)
      worst = std::max(worst, std::fabs(dst.fld(kFldT, i) - field(dst.g.xyz(1, i), dst.g.xyz(2, i), dst.g.xyz(3, i))));
    EXPECT_LT(worst, 1.0) << "direction " << dir;
  }
}

TEST(Perenos3d, PreparationGivesTheThermalMeshTheFlowMeshFields) {
  const PreparedExample& ex = Example();
  const Mesh3d& f = ex.nodes.g;
  const Mesh3d& t = ex.nodes_t.g;
  // Thermal nodes at the place of a flow node (the common cross-section
  // at the piece planes) take that node's values.
  std::map<std::array<long, 3>, int> flowAt;
  for (int i = 1; i <= f.nh; ++i)
    flowAt[{std::lround(f.xyz(1, i) * 1e5), std::lround(f.xyz(2, i) * 1e5), std::lround(f.xyz(3, i) * 1e5)}] = i;
  int same = 0;
  for (int i = 1; i <= t.nh; ++i) {
    const auto it = flowAt.find({std::lround(t.xyz(1, i) * 1e5), std::lround(t.xyz(2, i) * 1e5), std::lround(t.xyz(3, i) * 1e5)});
    if (it == flowAt.end()) continue;
    ++same;
    for (int k : {kFldT, kFldVx, kFldVy, kFldVz, kFldP, kFldVisc, kFldStress}) {
      const double v = ex.nodes.fld(k, it->second);
      ASSERT_NEAR(ex.nodes_t.fld(k, i), v, 1e-4 * (1.0 + std::fabs(v))) << "field " << k << " node " << i;
    }
  }
  EXPECT_GT(same, t.nh / 10);
  // The initial field steps from the billet to the tool temperature across
  // one element; the quadratic fit overshoots such a step by a fraction of
  // it, never more.
  const double t0 = std::min(ex.inp.setup.BilletTemp, ex.inp.setup.ToolTemp), t1 = std::max(ex.inp.setup.BilletTemp, ex.inp.setup.ToolTemp);
  for (int i = 1; i <= t.nh; ++i) {
    const double T = ex.nodes_t.fld(kFldT, i);
    ASSERT_GT(T, t0 - 0.3 * (t1 - t0)) << i;
    ASSERT_LT(T, t1 + 0.3 * (t1 - t0)) << i;
    ASSERT_TRUE(std::isfinite(ex.nodes_t.fld(kFldVz, i))) << i;
  }
}

TEST(Perenos3d, RefusesBadModesAndEmptySources) {
  MeshRecord a = GridPrism(2.0, 2.0, 1, 1, 0.0, 1.0, 1, 0.0);
  MeshRecord b = a;
  EXPECT_DEATH(Perenos_3d(a, b, 4), "transfer mode 4 is not 1, 2 or 3");
  MeshRecord empty;
  EXPECT_DEATH(Perenos_3d(empty, b, 3), "source mesh has no elements");
  // A transfer onto itself keeps a span field.
  for (int i = 1; i <= a.g.nh; ++i) a.fld(kFldT, i) = static_cast<float>(3.0 * a.g.xyz(1, i) - a.g.xyz(3, i) + 7.0);
  const MeshRecord before = a;
  Perenos_3d(a, a, 3);
  for (int i = 1; i <= a.g.nh; ++i) EXPECT_NEAR(a.fld(kFldT, i), before.fld(kFldT, i), 1e-4) << i;
}
