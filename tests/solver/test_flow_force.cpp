// Extrusion force from the face points, the exit-speed check and the
// surface-speed regularisation.

#include <gtest/gtest.h>

#include <cmath>

#include "mesh3d/boundary.h"
#include "solver/flow_force.h"
#include "material/flow_stress.h"
#include "solver/flow_block.h"
#include "support/element_tables.h"

namespace {

// Homogeneous uniaxial field v = r (-x/2, -y/2, z) with the pressure p0 on a
// block whose whole surface carries boundary records.
void ForceBlock(Block& blk, double r, double p0) {
  BuildBlock(blk, 2, 2, 4.0, 3.0, 5.0, true);
  Mesh3d& g = blk.mesh.g;
  for (int n = 1; n <= g.nh; ++n) {
    const double x = g.xyz(1, n), y = g.xyz(2, n), z = g.xyz(3, n);
    const bool bnd = x < 1e-9 || y < 1e-9 || z < 1e-9 || x > blk.a - 1e-9 || y > blk.b - 1e-9 || z > blk.H - 1e-9;
    g.BoundaryConditions(n) = CodeOf(blk, n, bnd ? 9 : 0);
    blk.mesh.fld(kFldP, n) = static_cast<float>(p0);
  }
  FindBoundaryFaces(blk.mesh, Tables());
  FaceJacobian(blk.mesh, Tables());
  Cos_N_ALL(blk.mesh, Tables());
  SetVelocity(blk, [&](double x, double y, double z) { return std::array<double, 3>{-0.5 * r * x, -0.5 * r * y, r * z}; });
}

double Sigma(const Block& blk, double rate) {
  double e = 0.5f, T = 480.0, s = 0, eta = 0;
  FlowStress(rate, e, T, blk.inp.setup.mat, s, eta);
  return s;
}

// On the top face (normal +z) sigma_zz = p0 + 2/3 sigma_s: the force is
// sigma_zz times the area in newtons, Psr is sigma_zz in MPa; at 50 1/s the
// flow stress of the rate limit enters, not five times it.  Every face is
// an exit face: each point's exit value is the area mean of |sigma_n| over
// the surface relative to |Psr|.
TEST(ForceEval, UniaxialFieldGivesTheAxialStressTimesTheArea) {
  for (const double rate : {1.0, 50.0}) {
    Block blk;
    const double p0 = -40.0;
    ForceBlock(blk, rate, p0);
    ForceEval(blk.mesh, Tables(), blk.inp);
    const double s = Sigma(blk, std::min(rate, 10.0));
    const double szz = p0 + 2.0 / 3.0 * s, sxx = p0 - 1.0 / 3.0 * s;
    EXPECT_NEAR(blk.inp.results.Psr, szz, 1e-4 * s) << rate;
    EXPECT_NEAR(blk.inp.results.FORSE, szz * blk.a * blk.b, 1e-3 * s * blk.a * blk.b) << rate;
    const double top = 2.0 * blk.a * blk.b, side = 2.0 * (blk.a + blk.b) * blk.H;
    const double x = (top * std::fabs(szz) + side * std::fabs(sxx)) / ((top + side) * std::fabs(szz));
    int sides = 0;
    for (const BndFace& f : blk.mesh.faces)
      for (int p = 1; p <= f.npt; ++p) {
        EXPECT_NEAR(f.v(kBfExit, p), x, 1e-4 * x);
        if (std::fabs(f.v(kBfN, p)) > 0.999) {
          EXPECT_NEAR(f.v(kBfSigmaN, p), sxx, 1e-4 * s);
          ++sides;
        }
      }
    EXPECT_GT(sides, 0);
  }
}

// Without a face of normal +z there is no force and Psr = 0; the exit
// values are then 1.
TEST(ForceEval, NoRamFaceGivesNoForce) {
  Block blk;
  ForceBlock(blk, 1.0, -10.0);
  for (BndFace& f : blk.mesh.faces)
    for (int p = 1; p <= f.npt; ++p) f.v(kBfN + 2, p) = std::min(f.v(kBfN + 2, p), 0.5f);
  // Cos_N_ALL would restore the normals; the force pass reads them as stored.
  blk.inp.results.FORSE = blk.inp.results.Psr = 99.0;
  ForceEval(blk.mesh, Tables(), blk.inp);
  EXPECT_EQ(blk.inp.results.FORSE, 0.0);
  EXPECT_EQ(blk.inp.results.Psr, 0.0);
  EXPECT_EQ(blk.mesh.faces(1).v(kBfExit, 1), 1.0f);
}

// Records of codes 9 and 73 measure m = v.n - target: 1.5 x the coefficient
// at m >= 0.01 RamSpeed, 0.5 x at m <= -0.01 RamSpeed, unchanged between.
TEST(ExitSpeedCheck, AdjustsTheCoefficientsAndMeasuresTheDeviation) {
  MeshRecord m;
  m.g.nh = 5;
  m.g.BoundaryConditions.v = {9, 73, 9, 7, 9};
  m.fld.assign(kNumFld, 5, 0.0f);
  const float vz[5] = {-0.2f, 0.3f, 0.001f, -5.0f, -0.02f};
  m.bnd.assign(5, BndNode{});
  for (int i = 1; i <= 5; ++i) {
    m.fld(kFldVz, i) = vz[i - 1];
    BndNode& r = m.bnd(i);
    r.node = i;
    r.nz = -1.0f;
    r.penalty = 50.0f;
  }
  m.bnd(5).vnTarget = 0.02f;  // v.n = 0.02 on target
  InpDat inp;
  inp.setup.RamSpeed = 5.0;  // tolerance 0.05
  inp.model.PenaltyInit = 50.0;
  ExitSpeedCheck(m, inp);
  EXPECT_EQ(m.bnd(1).penalty, 75.0f);  // m = 0.2
  EXPECT_EQ(m.bnd(2).penalty, 25.0f);  // m = -0.3
  EXPECT_EQ(m.bnd(3).penalty, 50.0f);  // within the tolerance
  EXPECT_EQ(m.bnd(4).penalty, 50.0f);  // code 7: not an exit record
  EXPECT_EQ(m.bnd(5).penalty, 50.0f);
  const double ms[4] = {0.2, -0.3, -0.001, 0.0};
  double sum = 0;
  for (double v : ms) sum += v * v;
  EXPECT_NEAR(inp.iter.Krit_dV_SR, std::sqrt(sum) / 4.0, 1e-6);
  EXPECT_NEAR(inp.iter.Krit_dV_MAX, 0.3, 1e-6);
  // Repeated pulling away halves the coefficient down to PenaltyInit / 4
  // and no further; pushing out raises it again without bound.
  for (int i = 0; i < 5; ++i) ExitSpeedCheck(m, inp);
  EXPECT_EQ(m.bnd(2).penalty, 12.5f);
  EXPECT_EQ(m.bnd(1).penalty, 75.0f * std::pow(1.5f, 5));
  MeshRecord none;
  ExitSpeedCheck(none, inp);
  EXPECT_EQ(inp.iter.Krit_dV_SR, 0.0);
  EXPECT_EQ(inp.iter.Krit_dV_MAX, 0.0);
}

// Speeds up to half the largest keep their value, faster ones are divided
// by (|v| / (vmax / 2))^4: the fastest by 16; from one call to the next the
// divisor moves to the geometric mean of its old and new value.
TEST(SurfaceSpeedReg, LowersTheFastestSpeeds) {
  MeshRecord m;
  m.g.nh = 3;
  m.fld.assign(kNumFld, 3, 0.0f);
  m.fld(kFldVx, 1) = 1.0f;
  m.fld(kFldVy, 2) = 6.0f;
  m.fld(kFldVz, 3) = -10.0f;
  m.bnd.assign(3, BndNode{});
  for (int i = 1; i <= 3; ++i) m.bnd(i).node = i;
  SurfaceSpeedReg(true, m);
  EXPECT_NEAR(m.bnd(1).vScale, 1.0, 1e-6);
  EXPECT_NEAR(m.bnd(2).vScale, 6.0 / std::pow(6.0 / 5.0, 4), 1e-5);
  EXPECT_NEAR(m.bnd(3).vScale, 10.0 / 16.0, 1e-6);
  // Unchanged speeds are a fixed point of the damped factor.
  SurfaceSpeedReg(true, m);
  EXPECT_NEAR(m.bnd(3).vScale, 10.0 / 16.0, 1e-6);
  // When node 2 becomes the fastest, node 3's factor q = (8/6)^4 is damped
  // toward its previous 16 by the geometric mean; node 2's factor rises
  // from (6/5)^4 to 16 only as far as the mean of the two.
  m.fld(kFldVy, 2) = 12.0f;
  m.fld(kFldVz, 3) = -8.0f;
  SurfaceSpeedReg(true, m);
  EXPECT_NEAR(m.bnd(3).vScale, 8.0 / std::sqrt(16.0 * std::pow(8.0 / 6.0, 4)), 1e-5);
  EXPECT_NEAR(m.bnd(2).vScale, 12.0 / std::sqrt(16.0 * std::pow(6.0 / 5.0, 4)), 1e-5);
  EXPECT_NEAR(m.bnd(1).vScale, 1.0, 1e-6);
  // Undamped, the factor is that of the current speeds at once.
  SurfaceSpeedReg(false, m);
  EXPECT_NEAR(m.bnd(3).vScale, 8.0 / std::pow(8.0 / 6.0, 4), 1e-5);
  EXPECT_NEAR(m.bnd(3).regFactor, std::pow(8.0 / 6.0, 4), 1e-5);
  // All at rest: the floor 1e-8.
  m.fld.assign(kNumFld, 3, 0.0f);
  SurfaceSpeedReg(true, m);
  EXPECT_NEAR(m.bnd(1).vScale, 1e-8, 1e-12);
}

}  // namespace
