// Nodal rheology update, REOLOG_aver and the fracture criterion on a small
// hand-built column of wedges numbered like the extruded flow meshes
// (negative Jacobian determinant).

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "material/flow_stress.h"
#include "solver/flow_element.h"
#include "solver/rheology.h"
#include "support/element_tables.h"

namespace {


// Column of wedges over the triangle (0,0), (8,0), (0,6) between the given z
// levels.  Corner nodes first; local corners 1-3 lie on the upper level of
// each layer, so detJ < 0 as in the extruded meshes.
MeshRecord Column(const std::vector<double>& z, int extraNodes = 0) {
  const double tri[3][2] = {{0, 0}, {8, 0}, {0, 6}};
  const int nl = static_cast<int>(z.size()) - 1;
  const int np = 3 * (nl + 1);
  auto corner = [&](int l, int c) { return 3 * l + c + 1; };
  auto edge = [&](int l, int e) { return np + 3 * l + e + 1; };
  auto vert = [&](int m, int c) { return np + 3 * (nl + 1) + 3 * m + c + 1; };
  MeshRecord r;
  Mesh3d& g = r.g;
  g.ne = nl;
  g.np = np;
  g.nh = np + 3 * (nl + 1) + 3 * nl + extraNodes;
  g.npe = 15;
  g.nve = 6;
  g.xyz.assign(3, g.nh, 0.0);
  g.BoundaryConditions.assign(g.nh, 0);
  for (int l = 0; l <= nl; ++l)
    for (int c = 0; c < 3; ++c) {
      const int n = corner(l, c);
      g.xyz(1, n) = tri[c][0];
      g.xyz(2, n) = tri[c][1];
      g.xyz(3, n) = z[static_cast<size_t>(l)];
      g.BoundaryConditions(n) = 64;
    }
  for (int l = 0; l <= nl; ++l)
    for (int e = 0; e < 3; ++e)
      for (int i = 1; i <= 3; ++i)
        g.xyz(i, edge(l, e)) = 0.5 * (g.xyz(i, corner(l, kWedgeEdge[e][0] - 1)) + g.xyz(i, corner(l, kWedgeEdge[e][1] - 1)));
  for (int m = 0; m < nl; ++m)
    for (int c = 0; c < 3; ++c)
      for (int i = 1; i <= 3; ++i) g.xyz(i, vert(m, c)) = 0.5 * (g.xyz(i, corner(m, c)) + g.xyz(i, corner(m + 1, c)));
  for (int n = g.nh - extraNodes + 1; n <= g.nh; ++n) g.xyz(3, n) = z.back() + 5.0;  // outside every element
  g.nop.assign(15, nl, 0);
  g.etype.assign(nl, 1);
  for (int m = 0; m < nl; ++m) {
    const int k = m + 1;
    for (int c = 0; c < 3; ++c) {
      g.nop(1 + c, k) = corner(m + 1, c);
      g.nop(4 + c, k) = corner(m, c);
      g.nop(7 + c, k) = edge(m + 1, c);
      g.nop(10 + c, k) = vert(m, c);
      g.nop(13 + c, k) = edge(m, c);
    }
  }
  r.fld.assign(kNumFld, g.nh, 0.0f);
  return r;
}

void SetVelocity(MeshRecord& r, const std::function<void(const double*, double*)>& u) {
  for (int n = 1; n <= r.g.nh; ++n) {
    const double x[3] = {r.g.xyz(1, n), r.g.xyz(2, n), r.g.xyz(3, n)};
    double v[3];
    u(x, v);
    for (int i = 0; i < 3; ++i) r.fld(kFldVx + i, n) = static_cast<float>(v[i]);
  }
}

InpDat Law2() {
  InpDat inp;
  inp.setup.mat.MatLaw = 2;
  inp.setup.mat.MatTmax = 1200.0;
  inp.setup.mat.MatC0 = 120.0;
  inp.setup.mat.LawTable(1) = -0.003;
  inp.setup.mat.LawTable(2) = 0.1;
  inp.setup.mat.LawTable(3) = 0.5;
  inp.layout.Z0 = -100.0;  // below the column: no entry-plane nodes unless a test moves it
  return inp;
}

TEST(RheologyUpdate, ColumnHasTheExtrudedMeshOrientation) {
  const MeshRecord r = Column({0, 4, 10});
  FlowElementData d;
  double grad[15][3];
  for (int k = 1; k <= 2; ++k) {
    GatherFlowElement(r, k, d);
    for (int g = 1; g <= 42; ++g) EXPECT_LT(PointGradients(Tables().Wedge15, g, d, grad), 0.0);
  }
}

// A linear velocity field has one strain rate everywhere: the extremes
// coincide, and every node gets the law at that rate, its own strain and its
// own temperature (which stay as stored, even out of the law's range).
TEST(RheologyUpdate, UniformStrainRateGivesTheLawAtEveryNode) {
  MeshRecord r = Column({0, 4, 10});
  SetVelocity(r, [](const double* x, double* v) {
    v[0] = 0.4 * x[0] + 0.2 * x[2];
    v[1] = -0.1 * x[1];
    v[2] = 3.0 - 0.3 * x[2];
  });
  for (int n = 1; n <= r.g.nh; ++n) {
    r.fld(kFldT, n) = static_cast<float>(400.0 + 10.0 * n);
    r.fld(kFldStrain, n) = static_cast<float>(0.02 * n);
    r.fld(kFldVisc, n) = 2.0f;
  }
  r.fld(kFldT, 1) = 1300.0f;    // above MatTmax
  r.fld(kFldStrain, 2) = 0.0f;  // below the strain limit
  InpDat inp = Law2();
  RheologyUpdate(Tables(), r, inp);

  // D = [[0.4, 0, 0.1], [0, -0.1, 0], [0.1, 0, -0.3]].
  const double dxx = 0.4, dyy = -0.1, dzz = -0.3, dxz = 0.1;
  const double rate = std::sqrt(2.0) / 3.0 *
                      std::sqrt((dxx - dyy) * (dxx - dyy) + (dyy - dzz) * (dyy - dzz) + (dzz - dxx) * (dzz - dxx) +
                                6 * dxz * dxz);
  EXPECT_NEAR(inp.iter.E0_min, rate, 1e-5 * rate);
  EXPECT_NEAR(inp.iter.E0_max, rate, 1e-5 * rate);
  EXPECT_NEAR(inp.iter.E0_av_min, rate, 1e-5 * rate);
  EXPECT_NEAR(inp.iter.E0_av_max, rate, 1e-5 * rate);
  double vmax = 0, vmin = 1e20, mean = 0;
  for (int n = 1; n <= r.g.nh; ++n) {
    double rt = rate, e = static_cast<double>(static_cast<float>(0.02 * n)), T = 400.0 + 10.0 * n, s = 0, eta = 0;
    if (n == 1) T = 1300.0;
    if (n == 2) e = 0.0;
    FlowStress(rt, e, T, inp.setup.mat, s, eta);
    EXPECT_NEAR(r.fld(kFldStress, n), s, 1e-5 * s) << "node " << n;
    EXPECT_NEAR(r.fld(kFldVisc, n), eta, 1e-5 * eta) << "node " << n;
    vmax = std::max(vmax, eta);
    vmin = std::min(vmin, eta);
    mean += eta;
  }
  mean /= r.g.nh;
  EXPECT_NEAR(inp.iter.ViscMax, vmax, 1e-5 * vmax);
  EXPECT_NEAR(inp.iter.ViscMin, vmin, 1e-5 * vmin);
  EXPECT_NEAR(inp.iter.ConvVisc, std::fabs((mean - 2.0) / (2.0 + 1e-6)), 1e-5);
  EXPECT_EQ(r.fld(kFldT, 1), 1300.0f);  // nodal fields keep their values
  EXPECT_EQ(r.fld(kFldStrain, 2), 0.0f);
}

// A rigid lower layer and a sheared upper layer of different volumes: nodes
// of the shared plane receive the |V|-weighted mean of the two element rates.
TEST(RheologyUpdate, NodalRateIsTheVolumeWeightedMeanOfItsElements) {
  MeshRecord r = Column({0, 4, 10}, 1);  // plus one node outside every element
  const double s = 6.0;                  // shear rate dvx/dz of the upper layer
  SetVelocity(r, [&](const double* x, double* v) {
    v[0] = x[2] > 4.0 ? s * (x[2] - 4.0) : 0.0;
    v[1] = 0.0;
    v[2] = 7.0;
  });
  for (int n = 1; n <= r.g.nh; ++n) {
    r.fld(kFldT, n) = 450.0f;
    r.fld(kFldStrain, n) = 0.5f;
  }
  InpDat inp = Law2();
  RheologyUpdate(Tables(), r, inp);
  const double upper = s / std::sqrt(3.0);  // equivalent rate of simple shear
  EXPECT_NEAR(inp.iter.E0_min, 0.0, 1e-6);
  EXPECT_NEAR(inp.iter.E0_max, upper, 1e-5 * upper);
  EXPECT_NEAR(inp.iter.E0_av_min, 0.0, 1e-6);
  EXPECT_NEAR(inp.iter.E0_av_max, upper, 1e-5 * upper);
  // Volumes 4 and 6 (x triangle area 24): the shared plane z = 4 gets 0.6 upper.
  auto nodalRate = [&](int n) { return r.fld(kFldStress, n) / r.fld(kFldVisc, n); };  // sigma / eta
  const int shared = 4;  // corner node of level 1
  ASSERT_EQ(r.g.xyz(3, shared), 4.0);
  EXPECT_NEAR(nodalRate(shared), 0.6 * upper, 1e-5);
  EXPECT_NEAR(nodalRate(1), 0.05, 1e-6);      // rigid layer only: the lower rate limit
  EXPECT_NEAR(nodalRate(7), upper, 1e-5);     // upper layer only
  EXPECT_NEAR(nodalRate(r.g.nh), 0.05, 1e-6); // orphan node: no rate, no NaN
}

TEST(RheologyUpdate, EntryPlaneNodesAndTheirElementsGetTheLargestViscosity) {
  MeshRecord r = Column({0, 4, 10, 13});
  SetVelocity(r, [](const double* x, double* v) {
    v[0] = 0.2 * x[0];
    v[1] = 0.0;
    v[2] = 4.0 - 0.2 * x[2];
  });
  for (int n = 1; n <= r.g.nh; ++n) {
    r.fld(kFldT, n) = static_cast<float>(380.0 + 12.0 * r.g.xyz(3, n));  // hotter, softer upwards
    r.fld(kFldStrain, n) = 0.3f;
  }
  InpDat inp = Law2();
  inp.layout.Z0 = -1e-4;  // z = 0 lies exactly at Z0 + 1e-4
  MeshRecord ref = r;
  InpDat inpRef = Law2();
  RheologyUpdate(Tables(), ref, inpRef);  // same update without entry-plane nodes
  RheologyUpdate(Tables(), r, inp);
  EXPECT_EQ(inp.iter.ViscMax, inpRef.iter.ViscMax);
  EXPECT_EQ(inp.iter.ConvVisc, inpRef.iter.ConvVisc);  // measured before the entry-plane rule
  std::vector<bool> inFirst(static_cast<size_t>(r.g.nh) + 1, false);
  for (int a = 1; a <= 15; ++a) inFirst[static_cast<size_t>(r.g.nop(a, 1))] = true;  // element on z in [0, 4]
  const float vmax = static_cast<float>(inp.iter.ViscMax);
  int raised = 0;
  for (int n = 1; n <= r.g.nh; ++n) {
    if (inFirst[static_cast<size_t>(n)]) {
      EXPECT_EQ(r.fld(kFldVisc, n), vmax) << "node " << n;
      ++raised;
    } else {
      EXPECT_EQ(r.fld(kFldVisc, n), ref.fld(kFldVisc, n)) << "node " << n;
      EXPECT_LT(r.fld(kFldVisc, n), vmax);
    }
    EXPECT_EQ(r.fld(kFldStress, n), ref.fld(kFldStress, n));  // stresses untouched
  }
  EXPECT_EQ(raised, 15);
  // One step higher, nothing lies on the entry plane.
  MeshRecord r2 = ref;
  InpDat inp2 = Law2();
  inp2.layout.Z0 = -2e-4;
  RheologyUpdate(Tables(), r2, inp2);
  for (int n = 1; n <= r.g.nh; ++n) EXPECT_EQ(r2.fld(kFldVisc, n), ref.fld(kFldVisc, n));
}

TEST(FractureCriterion, MatchesTheCriterionAndLaw8InstallsItsCoefficients) {
  MeshRecord r = Column({0, 4});
  SetVelocity(r, [](const double* x, double* v) {
    v[0] = 0.5 * x[0];
    v[1] = -0.25 * x[1];
    v[2] = 2.0 - 0.25 * x[2];
  });
  for (int n = 1; n <= r.g.nh; ++n) {
    r.fld(kFldT, n) = static_cast<float>(420.0 + n);
    r.fld(kFldStrain, n) = 0.7f;
    r.fld(kFldP, n) = static_cast<float>(-60.0 + 8.0 * n);
  }
  InpDat inp = Law2();
  inp.setup.mat.MatLaw = 8;
  RheologyUpdate(Tables(), r, inp);
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(inp.setup.mat.FracTable(i), kLaw8Frac[i - 1]);
  const double s3 = 1.7320508f;
  for (int n = 1; n <= r.g.nh; ++n) {
    const double p = r.fld(kFldP, n), T = r.fld(kFldT, n), sg = r.fld(kFldStress, n), eta = r.fld(kFldVisc, n);
    double t = p / (sg * s3);
    t = std::min(10.0, std::max(-10.0, t));
    double q = sg / eta / s3;
    q = std::min(10.0, std::max(0.01, q));
    const double epsP = kLaw8Frac[0] * s3 * std::exp(-kLaw8Frac[1] * t) *
                        std::exp(kLaw8Frac[2] * std::min(500.0, std::max(100.0, T))) * std::pow(q, kLaw8Frac[3]);
    EXPECT_NEAR(r.fld(kFldEpsP, n), epsP, 1e-6 * epsP) << "node " << n;
    EXPECT_NEAR(r.fld(kFldPsi, n), 0.7 / epsP, 1e-5 * 0.7 / epsP) << "node " << n;
  }
}

TEST(FractureCriterion, DegenerateInputsGiveFiniteValues) {
  MeshRecord r = Column({0, 4});
  Material m;
  m.FracTable(1) = 0.2;
  m.FracTable(2) = 0.5;
  m.FracTable(3) = 0.001;
  m.FracTable(4) = -0.2;
  r.fld(kFldP, 1) = -30.0f;  // sigma = eta = 0: pressure ratio at its limit
  r.fld(kFldP, 2) = 0.0f;
  r.fld(kFldStrain, 1) = 0.4f;
  FractureCriterion(r, m);
  const double s3 = 1.7320508f;
  const double c = std::pow(0.01, -0.2);
  EXPECT_NEAR(r.fld(kFldEpsP, 1), 0.2 * s3 * std::exp(5.0) * std::exp(0.1) * c, 1e-4);
  EXPECT_NEAR(r.fld(kFldEpsP, 2), 0.2 * s3 * std::exp(0.1) * c, 1e-5);
  // Without a fracture strain (D1 = 0) there is no damage measure.
  m.FracTable(1) = 0.0;
  FractureCriterion(r, m);
  for (int n = 1; n <= r.g.nh; ++n) {
    EXPECT_EQ(r.fld(kFldEpsP, n), 0.0f);
    EXPECT_EQ(r.fld(kFldPsi, n), 0.0f);
  }
}

TEST(REOLOG_aver, TemperatureStatisticsAndMeanStressOverBoundaryNodes) {
  MeshRecord r = Column({0, 4});
  for (int n = 1; n <= r.g.nh; ++n) {
    r.fld(kFldT, n) = static_cast<float>(300 + 10 * n);
    r.fld(kFldStress, n) = static_cast<float>(n);
    r.g.BoundaryConditions(n) = n <= r.g.np ? 64 : 0;
  }
  r.g.BoundaryConditions(2) = 65;
  r.g.BoundaryConditions(9) = 9;
  r.g.BoundaryConditions(12) = 72;
  InpDat inp;
  REOLOG_aver(r, inp);
  const int nh = r.g.nh;
  EXPECT_EQ(inp.iter.TempMax, 300.0 + 10 * nh);
  EXPECT_EQ(inp.iter.TempMin, 310.0);
  EXPECT_EQ(inp.iter.TempSum, 300.0 * nh + 10.0 * nh * (nh + 1) / 2);
  EXPECT_DOUBLE_EQ(inp.iter.Tsr, (2.0 + 9.0 + 12.0) / 3.0);
  // Only interior codes: the mean over all nodes.
  for (int n = 1; n <= nh; ++n) r.g.BoundaryConditions(n) = n % 2 ? 0 : 64;
  REOLOG_aver(r, inp);
  EXPECT_DOUBLE_EQ(inp.iter.Tsr, (nh + 1) / 2.0);
  // All temperatures below zero: the maximum keeps its start value 0.
  for (int n = 1; n <= nh; ++n) r.fld(kFldT, n) = -5.0f;
  REOLOG_aver(r, inp);
  EXPECT_EQ(inp.iter.TempMax, 0.0);
  EXPECT_EQ(inp.iter.TempMin, -5.0);
  // An empty mesh leaves the mean stress alone.
  MeshRecord empty;
  inp.iter.Tsr = 1.0;
  REOLOG_aver(empty, inp);
  EXPECT_EQ(inp.iter.Tsr, 1.0);
  EXPECT_EQ(inp.iter.TempMin, 1e9);
}

}  // namespace
