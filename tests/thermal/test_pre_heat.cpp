// Billet cooling against the series solution of a cylinder with a
// convective surface, cooling time edge cases, section interpolation and
// the temperatures given to the flow mesh.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "mesh2d/gen_gr2d.h"
#include "mesh2d/geometry2d.h"
#include "support/element_tables.h"
#include "support/grid_mesh2d.h"
#include "thermal/pre_heat.h"

namespace {

constexpr double kR = 50.0;          // billet radius, mm
constexpr double kLambda = 200.0;    // W/(m K)
constexpr double kRho = 2700.0;      // kg/m3
constexpr double kC = 900.0;         // J/(kg K)
constexpr double kHtc = 4000.0;      // ContactHtc: h = 0.5 * 4000 = 2000 W/(m2 K), Bi = h R / lambda = 0.5
constexpr double kBillet = 500.0, kTool = 400.0;

// Points of a closed outline: arc of radius r from angle a0 to a1 in nSeg
// quadratic segments (start and middle points), followed by `tail`.
std::vector<Point2> Arc(double r, double a0, double a1, int nSeg, const std::vector<Point2>& tail) {
  std::vector<Point2> p;
  for (int k = 0; k < 2 * nSeg; ++k) {
    const double a = a0 + (a1 - a0) * k / (2.0 * nSeg);
    p.push_back({r * std::cos(a), r * std::sin(a)});
  }
  p.insert(p.end(), tail.begin(), tail.end());
  return p;
}

Mesh2d Section(const std::vector<Point2>& pts, int c) {
  Outline o = OutlineFromPoints(pts);
  Mesh2d m;
  Gen2dBlock(o, c, c, m);
  return m;
}

Mesh2d FullDisc(int c) { return Section(Arc(kR, 0, 2 * M_PI, 24, {}), c); }
// Half disc on x >= 0, closed along the y axis.
Mesh2d HalfDisc(int c) { return Section(Arc(kR, -M_PI / 2, M_PI / 2, 16, {{0, kR}, {0, 0}}), c); }
// Quarter disc in x, y >= 0, closed along both axes.
Mesh2d QuarterDisc(int c) {
  return Section(Arc(kR, 0, M_PI / 2, 8, {{0, kR}, {0, kR / 2}, {0, 0}, {kR / 2, 0}}), c);
}

// Variant with constant properties and the cooling length LenB - LenA at
// RamSpeed 5 mm/s.
InpDat CoolingVariant(const Mesh2d& sect, double seconds) {
  InpDat d;
  d.setup.VarName = "Variant_1";
  d.solve.MemBudget = 2048000000;
  d.setup.mat.PairX(1) = kC;
  d.setup.mat.PairX(2) = kRho;
  d.setup.mat.PairX(3) = kLambda;
  d.setup.BilletTemp = kBillet;
  d.setup.ToolTemp = kTool;
  d.setup.ContactHtc = kHtc;
  d.setup.RamSpeed = 5.0;
  d.setup.LenA = 100.0;
  d.setup.LenB = 100.0 + 5.0 * seconds;
  d.model.HeatDt = static_cast<double>(0.01f);
  d.sections.Sect2d.assign(1, sect);
  Mesh2d& s = d.sections.Sect2d(1);
  s.Tnew.assign(static_cast<std::size_t>(s.nh), 0.0);
  s.Told.assign(static_cast<std::size_t>(s.nh), kBillet);
  return d;
}

// Roots z_n of z J1(z) = Bi J0(z), the first n of them, by bisection
// between sign changes on a fine scan.
std::vector<double> SeriesRoots(double Bi, int n) {
  auto f = [&](double z) { return z * std::cyl_bessel_j(1.0, z) - Bi * std::cyl_bessel_j(0.0, z); };
  std::vector<double> roots;
  double z0 = 1e-9;
  for (double z = 0.01; static_cast<int>(roots.size()) < n; z += 0.01) {
    if ((f(z0) < 0) != (f(z) < 0)) {
      double a = z0, b = z;
      for (int it = 0; it < 60; ++it) {
        const double m = 0.5 * (a + b);
        ((f(a) < 0) == (f(m) < 0) ? a : b) = m;
      }
      roots.push_back(0.5 * (a + b));
    }
    z0 = z;
  }
  return roots;
}

// theta / theta0 of an infinite cylinder with a convective surface:
// sum_n C_n exp(-z_n^2 Fo) J0(z_n r/R), z_n J1(z_n) = Bi J0(z_n),
// C_n = 2 J1(z_n) / (z_n (J0(z_n)^2 + J1(z_n)^2)).
double CylinderSeries(const std::vector<double>& roots, double Fo, double rr) {
  double sum = 0;
  for (const double zn : roots) {
    const double j0 = std::cyl_bessel_j(0.0, zn), j1 = std::cyl_bessel_j(1.0, zn);
    sum += 2 * j1 / (zn * (j0 * j0 + j1 * j1)) * std::exp(-zn * zn * Fo) * std::cyl_bessel_j(0.0, zn * rr);
  }
  return sum;
}

struct SeriesErrors {
  double centre = 0;    // |T - T_series| at the node nearest to the axis, K
  double surface = 0;   // largest |T - T_series| on the cooled surface, K
  double all = 0;       // largest |T - T_series| over all nodes, K
  double ring = 0;      // spread of T over the surface nodes, K
  double dropCentre = 0, dropSurface = 0;  // simulated drops, K
};

// Cools the section and compares with the series at the time simulated.
SeriesErrors CoolAndCompare(const Mesh2d& sect, double seconds) {
  InpDat d = CoolingVariant(sect, seconds);
  MeshRecord nodes;
  CoolSection(nodes, Tables(), d);
  const double t = seconds - d.model.HeatDt;  // s + 1 steps of t / (s + 2)
  const double a = kLambda / (kRho * kC);
  const double Fo = a * t / (kR * kR * 1e-6);
  const double Bi = 0.5 * kHtc * kR * 1e-3 / kLambda;
  const std::vector<double> roots = SeriesRoots(Bi, 40);
  const Mesh2d& s = d.sections.Sect2d(1);
  SeriesErrors e;
  double rmin = 1e9, smin = 1e9, smax = -1e9;
  for (int i = 1; i <= s.nh; ++i) {
    const double r = std::hypot(s.xy(i)[0], s.xy(i)[1]);
    const double T = s.Tnew(i);
    EXPECT_EQ(T, s.Told(i));
    const double ref = kTool + (kBillet - kTool) * CylinderSeries(roots, Fo, std::min(r / kR, 1.0));
    const double err = std::fabs(T - ref);
    e.all = std::max(e.all, err);
    if (r < rmin) {
      rmin = r;
      e.centre = err;
      e.dropCentre = kBillet - T;
    }
    if (r > kR - 0.01) {
      e.surface = std::max(e.surface, err);
      smin = std::min(smin, T);
      smax = std::max(smax, T);
      e.dropSurface = std::max(e.dropSurface, kBillet - T);
    }
  }
  e.ring = smax - smin;
  std::printf("Fo=%.4f Bi=%.3f steps=%d: centre err %.3f K (drop %.2f), surface err %.3f K (drop %.2f), "
              "largest %.3f K, surface spread %.4f K\n",
              Fo, Bi, static_cast<int>(std::lround(seconds / d.model.HeatDt)) - 1, e.centre, e.dropCentre, e.surface,
              e.dropSurface, e.all, e.ring);
  return e;
}

}  // namespace

TEST(CoolSection, SeriesSolutionOfTheTool100KColderIsMatchedOnFullHalfAndQuarterBillets) {
  // 3 % and 1 % of the temperature difference billet - tool (100 K).  The
  // full section exchanges heat all round (no quadrant left out); the half
  // and quarter sections exchange nowhere along their cut axes.
  for (const double seconds : {4.0, 15.0}) {
    for (const Mesh2d& m : {FullDisc(48), HalfDisc(48), QuarterDisc(48)}) {
      const SeriesErrors e = CoolAndCompare(m, seconds);
      EXPECT_LT(e.centre, 3.0);
      EXPECT_LT(e.surface, 3.0);
      EXPECT_LT(e.all, 3.0);
      EXPECT_LT(e.ring, 1.0);
      EXPECT_GT(e.dropSurface, 10.0);
    }
  }
}

TEST(CoolSection, StepLengthFollowsTheMeshAndAVeryLongCoolingEndsAtTheToolTemperature) {
  // Step rule: s = floor(t / (10 h^2 / (2 a))), h = 0.001 H / sqrt(n).
  InpDat d = CoolingVariant(GridMesh2d(-10, -10, 20, 20, 2, 2), 30.0);
  const Mesh2d& s = d.sections.Sect2d(1);
  const double a = kLambda / (kRho * kC);
  const double h = static_cast<double>(0.001f) / std::sqrt(25.0) * 20.0;
  const int steps = static_cast<int>(30.0 / (10 * h * h / (2 * a)));
  MeshRecord nodes;
  CoolSection(nodes, Tables(), d);
  EXPECT_DOUBLE_EQ(d.model.HeatDt, 30.0 / (steps + 2));
  for (int i = 1; i <= s.nh; ++i) EXPECT_LT(s.Tnew(i), kBillet);
  // Three days: the step count is capped, the billet reaches the tools.
  InpDat longer = CoolingVariant(GridMesh2d(-10, -10, 20, 20, 2, 2), 3 * 86400.0);
  CoolSection(nodes, Tables(), longer);
  EXPECT_DOUBLE_EQ(longer.model.HeatDt, 3 * 86400.0 / (kMaxCoolingSteps + 2));
  for (int i = 1; i <= s.nh; ++i) {
    EXPECT_NEAR(longer.sections.Sect2d(1).Tnew(i), kTool, 1e-3);
    EXPECT_GE(longer.sections.Sect2d(1).Tnew(i), kTool - 1e-3);
  }
}

TEST(CoolSectionDeath, ZeroRamSpeedOrNoHeatCapacityStopsWithTheValues) {
  MeshRecord nodes;
  InpDat still = CoolingVariant(GridMesh2d(0, 0, 10, 10, 1, 1), 10.0);
  still.setup.RamSpeed = 0.0;
  EXPECT_EXIT(CoolSection(nodes, Tables(), still), ::testing::ExitedWithCode(1),
              "Variant_1: ram speed 0.0+ mm/s gives no cooling time .* nonzero ram speed is expected");
  InpDat noRho = CoolingVariant(GridMesh2d(0, 0, 10, 10, 1, 1), 10.0);
  noRho.setup.mat.PairX(2) = 0.0;
  EXPECT_EXIT(CoolSection(nodes, Tables(), noRho), ::testing::ExitedWithCode(1), "heat capacity rho c = 0");
}

TEST(Interp2d, ExactForLinearFieldsInsideAndBoundedOutside) {
  const Mesh2d m = FullDisc(24);
  Vec1<double> lin(static_cast<std::size_t>(m.nh)), one(static_cast<std::size_t>(m.nh), 1.0);
  double vmin = 1e9, vmax = -1e9;
  for (int i = 1; i <= m.nh; ++i) {
    lin(i) = 3.0 + 2.0 * m.xy(i)[0] - 0.5 * m.xy(i)[1];
    vmin = std::min(vmin, lin(i));
    vmax = std::max(vmax, lin(i));
  }
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (int k = 0; k < 300; ++k) {
    // A point inside a random triangle.
    const int e = 1 + static_cast<int>(u(gen) * m.ne) % m.ne;
    double l1 = u(gen), l2 = u(gen);
    if (l1 + l2 > 1) l1 = 1 - l1, l2 = 1 - l2;
    const Point2 &a = m.xy(m.nop(1, e)), &b = m.xy(m.nop(2, e)), &c = m.xy(m.nop(3, e));
    const double x = l1 * a[0] + l2 * b[0] + (1 - l1 - l2) * c[0];
    const double y = l1 * a[1] + l2 * b[1] + (1 - l1 - l2) * c[1];
    EXPECT_NEAR(Interp2d(x, y, m, lin), 3.0 + 2.0 * x - 0.5 * y, 1e-9);
  }
  // Points outside the corner triangles (beyond the chords of the curved
  // edges, or off the section) take a convex combination of the nearest
  // triangle's corners: constants stay exact, values stay in range.
  for (int k = 0; k < 72; ++k) {
    const double ang = 2 * M_PI * (k + 0.37) / 72;
    for (const double r : {kR, kR + 0.3, kR + 5.0}) {
      const double x = r * std::cos(ang), y = r * std::sin(ang);
      EXPECT_NEAR(Interp2d(x, y, m, one), 1.0, 1e-12) << x << " " << y;
      const double v = Interp2d(x, y, m, lin);
      EXPECT_GE(v, vmin - 1e-9);
      EXPECT_LE(v, vmax + 1e-9);
    }
  }
  EXPECT_EQ(Interp2d(0, 0, Mesh2d{}, one), 400.0);
}

TEST(PreHeat, FlowNodesTakeTheCooledTemperatureOfTheNearestNodeOfTheLastSection) {
  InpDat d = CoolingVariant(FullDisc(24), 8.0);
  d.sections.nPiecesA = 2;
  d.sections.Pieces2d.assign(2);
  d.sections.Pieces2d(1) = GridMesh2d(-5, -5, 10, 10, 2, 2);
  d.sections.Pieces2d(2) = FullDisc(20);
  const Mesh2d& last = d.sections.Pieces2d(2);
  // Flow nodes: random points over and around the container at three levels
  // plus every node of the last section, at several heights.
  MeshRecord nodes;
  std::mt19937 gen(11);
  std::uniform_real_distribution<double> u(-60.0, 60.0);
  std::vector<Point2> pts;
  for (int k = 0; k < 400; ++k) pts.push_back({u(gen), u(gen)});
  for (int i = 1; i <= last.nh; ++i) pts.push_back(last.xy(i));
  const int n = static_cast<int>(pts.size());
  nodes.g.nh = 3 * n;
  nodes.g.xyz.assign(3, nodes.g.nh);
  nodes.fld.assign(kNumFld, nodes.g.nh, 0.0f);
  for (int lev = 0; lev < 3; ++lev)
    for (int k = 0; k < n; ++k) {
      const int i = lev * n + k + 1;
      nodes.g.xyz(1, i) = pts[static_cast<std::size_t>(k)][0];
      nodes.g.xyz(2, i) = pts[static_cast<std::size_t>(k)][1];
      nodes.g.xyz(3, i) = -40.0 + 35.0 * lev;
    }
  PRE_heat_main(nodes, Tables(), d);

  const Mesh2d& s = d.sections.Sect2d(1);
  for (int k = 1; k <= last.nh; ++k) {
    EXPECT_EQ(last.Tnew(k), last.Told(k));
    EXPECT_EQ(last.Tnew(k), Interp2d(last.xy(k)[0], last.xy(k)[1], s, s.Tnew));
    EXPECT_GT(last.Tnew(k), kTool);
    EXPECT_LT(last.Tnew(k), kBillet);
  }
  for (int i = 1; i <= nodes.g.nh; ++i) {
    // Brute-force nearest node, the later one on equal distances.
    const Point2 p{nodes.g.xyz(1, i), nodes.g.xyz(2, i)};
    int best = 0;
    for (int j = 1; j <= last.nh; ++j)
      if (best == 0 || Dist2(last.xy(j), p) <= Dist2(last.xy(best), p)) best = j;
    EXPECT_EQ(nodes.fld(kFldT, i), static_cast<float>(last.Tnew(best))) << i;
    EXPECT_EQ(nodes.fld(kFldT, i), nodes.fld(kFldT, (i - 1) % n + 1)) << i;  // same (x, y), same temperature
  }
}

// No cooling length (LenB <= LenA): no step is taken and the billet keeps its
// furnace temperature instead of a cleared field.
TEST(PreHeat, WithoutCoolingLengthTheBilletKeepsItsTemperature) {
  for (const double lenB : {100.0, 60.0}) {
    InpDat d = CoolingVariant(FullDisc(16), 0.0);
    d.setup.LenB = lenB;
    d.sections.nPiecesA = 1;
    d.sections.Pieces2d.assign(1, FullDisc(12));
    MeshRecord nodes;
    nodes.g.nh = 5;
    nodes.g.xyz.assign(3, 5, 0.0);
    for (int i = 1; i <= 5; ++i) nodes.g.xyz(1, i) = 12.0 * (i - 1);
    nodes.fld.assign(kNumFld, 5, 20.0f);
    PRE_heat_main(nodes, Tables(), d);
    for (int i = 1; i <= d.sections.Sect2d(1).nh; ++i) ASSERT_EQ(d.sections.Sect2d(1).Tnew(i), kBillet);
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(nodes.fld(kFldT, i), static_cast<float>(kBillet));
    EXPECT_EQ(d.model.HeatDt, static_cast<double>(0.01f));  // no step taken
  }
}

TEST(PreHeatDeath, MissingSectionsStopWithAMessage) {
  MeshRecord nodes;
  InpDat noSect = CoolingVariant(FullDisc(8), 1.0);
  noSect.sections.Sect2d.clear();
  EXPECT_EXIT(PRE_heat_main(nodes, Tables(), noSect), ::testing::ExitedWithCode(1),
              "working cross-section has no elements");
  InpDat noPiece = CoolingVariant(FullDisc(8), 1.0);
  noPiece.sections.nPiecesA = 2;
  EXPECT_EXIT(PRE_heat_main(nodes, Tables(), noPiece), ::testing::ExitedWithCode(1),
              "cross-section mesh 2 is missing");
}
