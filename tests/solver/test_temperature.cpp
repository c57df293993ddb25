#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "mesh3d/boundary.h"
#include "mesh3d/gen_gr3d.h"
#include "solver/field_solve.h"
#include "solver/temperature.h"
#include "support/element_tables.h"
#include "support/grid_mesh2d.h"
#include "support/solvers.h"

namespace {

// A square bar [0, W] x [0, W] x [0, L] of wedges moving along -z at speed
// U: lateral nodes are container-wall nodes (kind 4), the top plane z = L
// is the ram face (kind 7), the bottom plane is left open (no faces, so no
// flux through it).  Every node starts at T0.
constexpr double W = 10.0, L = 100.0;

struct Bar {
  MeshRecord m;
  InpDat inp;
};

Bar MakeBar(double U, double T0, int n2d = 4, int layers = 20) {
  Bar b;
  Mesh3d& g = b.m.g;
  ExtrudePiece(GridMesh2d(0, 0, W, W, n2d, n2d), layers, 0.0, L, g);
  for (int i = 1; i <= g.nh; ++i) {
    const double x = g.xyz(1, i), y = g.xyz(2, i), z = g.xyz(3, i);
    const bool lateral = x < 1e-9 || y < 1e-9 || x > W - 1e-9 || y > W - 1e-9;
    const int kind = lateral ? 4 : (z > L - 1e-9 ? 7 : 0);
    g.BoundaryConditions(i) = (i <= g.np ? 64 : 0) + kind;
  }
  g.EndPlane.assign(static_cast<std::size_t>(g.nh), 0);
  FindBoundaryFaces(b.m, Tables());
  FaceJacobian(b.m, Tables());
  Cos_N_ALL(b.m, Tables());
  b.m.fld.assign(kNumFld, g.nh, 0.0f);
  for (int i = 1; i <= g.nh; ++i) {
    b.m.fld(kFldVz, i) = static_cast<float>(-U);
    b.m.fld(kFldT, i) = static_cast<float>(T0);
  }
  InpDat& d = b.inp;
  d.solve.MemBudget = 2048000000;
  d.setup.RamSpeed = U;
  d.setup.mat.PairX(1) = 900.0;   // J/(kg K)
  d.setup.mat.PairX(2) = 2700.0;  // kg/m3
  d.setup.mat.PairX(3) = 200.0;   // W/(m K)
  d.setup.mat.MatTmax = 1200.0;
  return b;
}

constexpr double kRhoC = 900.0 * 2700.0;
constexpr double kDiff = 200.0 / kRhoC * 1e6;  // mm^2/s
constexpr double kPerArea = 4.0 * W / (W * W);  // exchanging perimeter / section, 1/mm

// theta(z) of a theta'' + U theta' - beta theta = 0 on [0, L] with
// theta'(0) = 0 and theta(L) = theta0: the section-mean excess temperature
// of a bar moving along -z, cooled through its sides.
double FinProfile(double U, double beta, double theta0, double z, double diff = kDiff) {
  const double s = std::sqrt(U * U + 4.0 * diff * beta);
  const double r1 = (-U + s) / (2.0 * diff), r2 = (-U - s) / (2.0 * diff);
  const double A = theta0 / (std::exp(r1 * L) - r1 / r2 * std::exp(r2 * L));
  return A * (std::exp(r1 * z) - r1 / r2 * std::exp(r2 * z));
}

// theta of a theta'' + U theta' + S = 0 with theta'(0) = 0, theta(L) = 0:
// a bar heated uniformly through its sides.
double HeatedProfile(double U, double S, double z, double diff = kDiff) {
  return S / U * (L - z) - S * diff / (U * U) * (std::exp(-U * z / diff) - std::exp(-U * L / diff));
}

double MaxDeviation(const MeshRecord& m, double tRef, const std::function<double(double)>& excess) {
  double worst = 0;
  for (int i = 1; i <= m.g.nh; ++i)
    worst = std::max(worst, std::fabs(m.fld(kFldT, i) - tRef - excess(m.g.xyz(3, i))));
  return worst;
}

}  // namespace

TEST(SolveTemperature, UniformTopTemperatureWithoutExchangeStaysUniform) {
  for (double U : {0.0, 5.0, 50.0}) {
    Bar b = MakeBar(U, 20.0);
    // The current field differs from the top value only below the top.
    for (int i = 1; i <= b.m.g.nh; ++i)
      if (b.m.g.xyz(3, i) < L - 1.0) b.m.fld(kFldT, i) = 300.0f;
    for (int i = 1; i <= b.m.g.nh; ++i)
      if (b.m.g.xyz(3, i) >= L - 1.0) b.m.fld(kFldT, i) = 480.0f;
    b.inp.setup.ToolTemp = 20.0;  // no exchange: ContactHtc 0
    Sol_Def(b.m, Tables(), SolveMode::Temperature, b.inp);
    // The front of the solver is single precision: a few 1e-4 relative.
    for (int i = 1; i <= b.m.g.nh; ++i) ASSERT_NEAR(b.m.fld(kFldT, i), 480.0, 0.2) << "U " << U << " node " << i;
    EXPECT_NEAR(b.inp.iter.ConvT, 180.0, 0.05);
    EXPECT_EQ(b.inp.iter.nUnknownsT, b.m.g.nh);
    // Solving again changes nothing.
    Sol_Def(b.m, Tables(), SolveMode::Temperature, b.inp);
    EXPECT_LT(b.inp.iter.ConvT, 0.05);
  }
}

TEST(SolveTemperature, CooledBarFollowsTheAdvectionDiffusionExchangeSolution) {
  const double T0 = 480.0, Tinf = 50.0, h = 500.0;
  const double beta = h * 1000.0 / kRhoC * kPerArea;
  for (const LinearSolver solver : Solvers())
  for (double U : {2.0, 5.0, 20.0}) {
    Bar b = MakeBar(U, T0);
    b.inp.setup.ContactHtc = h;
    b.inp.setup.ToolTemp = Tinf;
    b.inp.solve.Solver = solver;
    Sol_Def(b.m, Tables(), SolveMode::Temperature, b.inp);
    EXPECT_EQ(b.inp.results.Front.sparseTemp.factorEntries > 0, solver == LinearSolver::Sparse);
    const double dev = MaxDeviation(b.m, Tinf, [&](double z) { return FinProfile(U, beta, T0 - Tinf, z); });
    EXPECT_LT(dev, 0.02 * (T0 - Tinf)) << "U " << U;
    // The exchange draws every temperature toward Tinf but never past it,
    // the surface more than the axis.
    const double bottom = FinProfile(U, beta, T0 - Tinf, 0.0) + Tinf;
    EXPECT_LT(bottom, T0 - 0.1 * (T0 - Tinf)) << "the exchange must matter, U " << U;
    for (int i = 1; i <= b.m.g.nh; ++i) {
      ASSERT_GE(b.m.fld(kFldT, i), Tinf) << i;
      ASSERT_LE(b.m.fld(kFldT, i), T0 + 1e-3) << i;
    }
    for (int i = 1; i <= b.m.g.nh; ++i) {
      const double x = b.m.g.xyz(1, i), y = b.m.g.xyz(2, i), z = b.m.g.xyz(3, i);
      if (x != 0.0 || y != 0.0 || z > L - 1.0) continue;  // a corner line node below the top
      for (int j = 1; j <= b.m.g.nh; ++j) {
        if (b.m.g.xyz(1, j) == W / 2 && b.m.g.xyz(2, j) == W / 2 && b.m.g.xyz(3, j) == z) {
          EXPECT_LT(b.m.fld(kFldT, i), b.m.fld(kFldT, j)) << "z " << z;
        }
      }
    }
  }
}

TEST(SolveTemperature, HeatingToolsWarmTheBarUpToTheirTemperatureAndNoFurther) {
  const double T0 = 400.0, Tinf = 600.0;
  Bar b = MakeBar(1.0, T0);
  b.inp.setup.ContactHtc = 20000.0;  // strong exchange, slow bar: close to the tools
  b.inp.setup.ToolTemp = Tinf;
  Sol_Def(b.m, Tables(), SolveMode::Temperature, b.inp);
  double hottest = 0;
  for (int i = 1; i <= b.m.g.nh; ++i) {
    ASSERT_GE(b.m.fld(kFldT, i), T0 - 1e-3) << i;
    ASSERT_LE(b.m.fld(kFldT, i), Tinf + 1e-3) << i;
    hottest = std::max(hottest, static_cast<double>(b.m.fld(kFldT, i)));
  }
  EXPECT_GT(hottest, Tinf - 0.05 * (Tinf - T0));
}

TEST(SolveTemperature, MirroredRightHandedMeshGivesTheSameField) {
  const double T0 = 480.0, Tinf = 50.0;
  Bar a = MakeBar(5.0, T0), b = MakeBar(5.0, T0);
  for (int i = 1; i <= b.m.g.nh; ++i) b.m.g.xyz(1, i) = -b.m.g.xyz(1, i);
  FaceJacobian(b.m, Tables());
  for (Bar* p : {&a, &b}) {
    p->inp.setup.ContactHtc = 500.0;
    p->inp.setup.ToolTemp = Tinf;
    Sol_Def(p->m, Tables(), SolveMode::Temperature, p->inp);
  }
  for (int i = 1; i <= a.m.g.nh; ++i) ASSERT_NEAR(a.m.fld(kFldT, i), b.m.fld(kFldT, i), 1e-3) << i;
}

TEST(SolveTemperature, FrictionalHeatOfTheWallShearStressTimesSlidingSpeed) {
  // Saturated contact pressure: wall shear stress m sigma_s / sqrt(3) where
  // the regularised speed equals the sliding speed (0.1 RamSpeed = U).
  const double U = 5.0, T0 = 450.0, sigma = 20.0, m = 0.9;
  auto heated = [&](double ramSpeed) {
    Bar b = MakeBar(U, T0);
    b.inp.setup.RamSpeed = ramSpeed;
    b.inp.model.FricA = 0.9499999992549419;
    b.inp.model.FricB = 0.05000000074505806;
    b.inp.setup.ToolTemp = T0;  // no exchange (ContactHtc 0); share 0.9 T0 / (T0 + T0)
    for (int i = 1; i <= b.m.g.nh; ++i) {
      b.m.fld(kFldStress, i) = static_cast<float>(sigma);
      b.m.fld(kFldP, i) = -2000.0f;
    }
    for (BndNode& r : b.m.bnd) r.factor = static_cast<float>(m);
    Sol_Def(b.m, Tables(), SolveMode::Temperature, b.inp);
    return b;
  };
  const Bar b = heated(10.0 * U);
  const double tau = m * sigma / std::sqrt(3.0);              // MPa
  const double q = 1000.0 * tau * U;                           // W/m^2
  EXPECT_NEAR(FrictionHeatFlux(b.inp.model, sigma, m, 2000.0, U, U), q, 1e-9 * q);
  const double S = 0.45 * q * 1000.0 / kRhoC * kPerArea;       // K/s
  const double rise = HeatedProfile(U, S, 0.0);
  EXPECT_GT(rise, 20.0);
  const double dev = MaxDeviation(b.m, T0, [&](double z) { return HeatedProfile(U, S, z); });
  EXPECT_LT(dev, 0.02 * rise);
  // At the ram speed itself the regularised speed is 0.1 U (the floor of
  // 0.1 RamSpeed above the regularisation's U / 16): ten times the heat.
  const Bar c = heated(U);
  for (int i = 1; i <= b.m.g.nh; ++i)
    ASSERT_NEAR(c.m.fld(kFldT, i) - T0, 10.0 * (b.m.fld(kFldT, i) - T0), 5e-4 * 10.0 * rise) << i;
  // Without contact pressure only FricB acts.
  EXPECT_NEAR(FrictionHeatFlux(b.inp.model, sigma, m, 0.0, U, U), 0.05000000074505806 * q,
              1e-9 * q);
  EXPECT_EQ(FrictionHeatFlux(b.inp.model, 0.0, m, 10.0, U, U), 0.0);
}

TEST(SolveTemperature, TemperatureDependentConductivityConvergesToTheOneDimensionalSolution) {
  // lambda = 100 + 0.25 T; repeated solves (properties at the last field)
  // settle on the solution of (a(T) theta')' + U theta' - beta theta = 0.
  const double T0 = 480.0, Tinf = 50.0, h = 500.0, U = 3.0;
  Bar b = MakeBar(U, T0);
  b.inp.setup.mat.PairX(3) = 100.0;
  b.inp.setup.mat.PairY(3) = 0.25;
  b.inp.setup.ContactHtc = h;
  b.inp.setup.ToolTemp = Tinf;
  int solves = 0;
  do {
    Sol_Def(b.m, Tables(), SolveMode::Temperature, b.inp);
    ++solves;
  } while (b.inp.iter.ConvT > 1e-3 && solves < 30);
  EXPECT_LT(solves, 30);
  // Finite differences on a fine grid, Picard iteration.
  const int n = 4000;
  const double dz = L / n, beta = h * 1000.0 / kRhoC * kPerArea;
  std::vector<double> th(n + 1, T0 - Tinf);
  for (int it = 0; it < 200; ++it) {
    std::vector<double> lo(n + 1), di(n + 1), up(n + 1), rhs(n + 1, 0.0);
    auto a = [&](int i) { return (100.0 + 0.25 * (th[static_cast<std::size_t>(i)] + Tinf)) / kRhoC * 1e6; };
    for (int i = 0; i < n; ++i) {
      const std::size_t k = static_cast<std::size_t>(i);
      const double aw = i > 0 ? 0.5 * (a(i) + a(i - 1)) : 0.0, ae = 0.5 * (a(i) + a(i + 1));
      // Zero flux at z = 0: mirror node.
      const double awEff = i > 0 ? aw : 0.0, aeEff = i > 0 ? ae : 2.0 * ae;
      lo[k] = awEff / (dz * dz) - (i > 0 ? U / (2 * dz) : 0.0);
      up[k] = aeEff / (dz * dz) + (i > 0 ? U / (2 * dz) : 0.0);
      di[k] = -(awEff + aeEff) / (dz * dz) - beta;
    }
    di[static_cast<std::size_t>(n)] = 1.0;
    rhs[static_cast<std::size_t>(n)] = T0 - Tinf;
    lo[static_cast<std::size_t>(n)] = 0.0;
    // Thomas algorithm.
    std::vector<double> cp(n + 1), dp(n + 1);
    cp[0] = up[0] / di[0];
    dp[0] = rhs[0] / di[0];
    for (int i = 1; i <= n; ++i) {
      const std::size_t k = static_cast<std::size_t>(i);
      const double den = di[k] - lo[k] * cp[k - 1];
      cp[k] = up[k] / den;
      dp[k] = (rhs[k] - lo[k] * dp[k - 1]) / den;
    }
    std::vector<double> nt(n + 1);
    nt[static_cast<std::size_t>(n)] = dp[static_cast<std::size_t>(n)];
    for (int i = n - 1; i >= 0; --i)
      nt[static_cast<std::size_t>(i)] = dp[static_cast<std::size_t>(i)] - cp[static_cast<std::size_t>(i)] * nt[static_cast<std::size_t>(i) + 1];
    th = nt;
  }
  auto ref = [&](double z) {
    const double s = z / dz;
    const int i = std::min(n - 1, static_cast<int>(s));
    const double f = s - i;
    return (1 - f) * th[static_cast<std::size_t>(i)] + f * th[static_cast<std::size_t>(i) + 1];
  };
  EXPECT_LT(MaxDeviation(b.m, Tinf, ref), 0.02 * (T0 - Tinf));
  // Constant conductivity 100 W/(m K) would give a visibly different bar.
  EXPECT_GT(std::fabs(ref(0.0) - FinProfile(U, beta, T0 - Tinf, 0.0, 100.0 / kRhoC * 1e6)), 0.02 * (T0 - Tinf));
}

TEST(SolveTemperature, PlasticWorkHeatsAnInsulatedBlockAtBetaSigmaRateOverRhoC) {
  // Simple shear vx = g (y - W/2) (equivalent strain rate g / sqrt3)
  // carried along -z at U through insulated faces: the block warms by the
  // plastic heat beta sigma epsdot / (rho c) per second of residence.  A
  // flow stress independent of strain, rate and temperature (law 2 with
  // a = b = c = 0) keeps the answer exact; what conduction carries back
  // through the held top plane is a / (U L) = 0.8 % of the rise.
  const double U = 10.0, T0 = 400.0, sigma = 30.0, rate = 1.0, lambda = 20.0;
  Bar b = MakeBar(U, T0);
  b.inp.setup.mat.PairX(3) = lambda;
  b.inp.setup.mat.MatLaw = 2;
  b.inp.setup.mat.MatC0 = sigma;
  for (int i = 1; i <= b.m.g.nh; ++i)
    b.m.fld(kFldVx, i) = static_cast<float>(std::sqrt(3.0) * rate * (b.m.g.xyz(2, i) - W / 2));
  Sol_Def(b.m, Tables(), SolveMode::Temperature, b.inp);
  const double S = kPlasticHeatShare * sigma * rate * 1e6 / kRhoC;  // K/s
  const double rise = S * L / U;
  ASSERT_GT(rise, 100.0);
  const double diff = lambda / kRhoC * 1e6;
  double outlet = 0;
  int n = 0;
  for (int i = 1; i <= b.m.g.nh; ++i) {
    const double z = b.m.g.xyz(3, i), T = b.m.fld(kFldT, i);
    ASSERT_NEAR(T - T0, HeatedProfile(U, S, z, diff), 0.01 * rise) << "node " << i;
    if (z == 0.0) {
      outlet += T;
      ++n;
    }
  }
  EXPECT_NEAR(outlet / n - T0, rise, 0.01 * rise);
  // The heat flows of the solved block: the source is beta sigma epsdot over
  // the volume; nothing crosses the insulated faces.
  ThermalHeat th;
  ThermalHeatFlows(b.m, Tables(), b.inp.setup, b.inp.model, th);
  EXPECT_NEAR(th.source, kPlasticHeatShare * sigma * rate * W * W * L * 1e-3, 1e-6 * th.source);
  EXPECT_EQ(th.toTools + th.toAir + th.frictionGenerated, 0.0);
  // Below the law's smallest rate the stress falls with the rate: the
  // dissipation is 3 mu epsdot^2 with mu = sigma / (3 x 0.05).
  EXPECT_NEAR(PlasticDissipation(0.01, 0.5, T0, b.inp.setup.mat), sigma * 0.01 * 0.01 / 0.05, 1e-12);
  EXPECT_NEAR(PlasticDissipation(2.0, 0.5, T0, b.inp.setup.mat), sigma * 2.0, 1e-12);
}

TEST(SolveTemperature, NodesWithinOneHundredthOfTheTopPlaneAreHeld) {
  Bar b = MakeBar(0.0, 100.0);
  // Two interior mid-side nodes of the top face, one lowered by exactly
  // 0.01 (held), one by 0.02 (free).
  int held = 0, free = 0;
  for (int i = b.m.g.np + 1; i <= b.m.g.nh && (!held || !free); ++i)
    if (b.m.g.BoundaryConditions(i) == 7) {
      if (!held) held = i;
      else free = i;
    }
  ASSERT_TRUE(held && free);
  b.m.g.xyz(3, held) = L - 0.01;
  b.m.g.xyz(3, free) = L - 0.02;
  b.m.fld(kFldT, held) = 137.0f;
  b.m.fld(kFldT, free) = 137.0f;
  Sol_Def(b.m, Tables(), SolveMode::Temperature, b.inp);
  EXPECT_FLOAT_EQ(b.m.fld(kFldT, held), 137.0f);
  EXPECT_GT(std::fabs(b.m.fld(kFldT, free) - 137.0f), 1.0f);
}

TEST(SolveTemperature, RefusesANonPositiveHeatCapacity) {
  Bar b = MakeBar(1.0, 100.0, 1, 1);
  b.inp.setup.mat.PairX(2) = 0.0;
  EXPECT_DEATH(Sol_Def(b.m, Tables(), SolveMode::Temperature, b.inp), "heat capacity rho c = 0");
  b.inp.setup.mat.PairX(2) = 2700.0;
  b.inp.setup.mat.PairX(3) = -5.0;
  EXPECT_DEATH(Sol_Def(b.m, Tables(), SolveMode::Temperature, b.inp), "conductivity -5");
  // A mesh without elements keeps its temperatures.
  MeshRecord empty;
  Sol_Def(empty, Tables(), SolveMode::Temperature, b.inp);
  EXPECT_EQ(b.inp.iter.ConvT, 0.0);
}
