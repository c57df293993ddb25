// Flow solve on boxes of wedges with known solutions: homogeneous uniaxial
// extension (pressure, stress difference equal to the flow stress, the rate
// limit of the law), rigid translation, prescribed-velocity codes, the
// stored solution and its convergence measures.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "solver/field_solve.h"
#include "solver/flow_solve.h"
#include "material/flow_stress.h"
#include "solver/nodal_stress.h"
#include "support/element_tables.h"
#include "solver/flow_block.h"
#include "mesh3d/boundary.h"
#include "support/solvers.h"

namespace {

int KindOfCodeForTest(int code) { return code >= 64 ? code - 64 : code; }

// Uniaxial tension along z at rate r: v = r (-x/2, -y/2, z).  The planes
// x = 0, y = 0 hold their normal component (symmetry), the bottom and the
// top their z component (codes 5, 6, 7 and their combinations 4, 3, 2, 10
// on edges); the faces x = a and y = b are free of traction, so that
// sigma_xx = sigma_yy = 0, p = sigma_s / 3 and sigma_zz = sigma_s.
void UniaxialBlock(Block& blk, double r, bool leftHanded) {
  BuildBlock(blk, 2, 2, 4.0, 3.0, 5.0, leftHanded);
  SetVelocity(blk, [&](double x, double y, double z) { return std::array<double, 3>{-0.5 * r * x, -0.5 * r * y, r * z}; });
  Mesh3d& g = blk.mesh.g;
  for (int n = 1; n <= g.nh; ++n) {
    const bool px = g.xyz(1, n) < 1e-9, py = g.xyz(2, n) < 1e-9;
    const bool pz = g.xyz(3, n) < 1e-9 || g.xyz(3, n) > blk.H - 1e-9;
    const int mask = int(px) | int(py) << 1 | int(pz) << 2;
    static constexpr int kKind[8] = {0, 5, 6, 4, 7, 3, 2, 10};
    g.BoundaryConditions(n) = CodeOf(blk, n, kKind[mask]);
  }
}

double FlowStressAt(const Block& blk, double rate) {
  double r = rate, e = 0.5f, T = 480.0, sigma = 0, eta = 0;
  FlowStress(r, e, T, blk.inp.setup.mat, sigma, eta);
  return sigma;
}

// Pressure a third of the flow stress, the stress difference the flow
// stress; at 50 1/s the law's value at its upper rate limit 10 1/s (not
// five times it).
TEST(FlowSolve, UniaxialExtensionGivesTheFlowStress) {
  for (const LinearSolver solver : Solvers())
  for (const bool left : {true, false})
    for (const double rate : {1.0, 50.0}) {
      Block blk;
      UniaxialBlock(blk, rate, left);
      blk.inp.solve.Solver = solver;
      Sol_Def(blk.mesh, Tables(), SolveMode::Flow, blk.inp);
      EXPECT_EQ(blk.inp.results.Front.sparseFlow.factorEntries > 0, solver == LinearSolver::Sparse);
      const double sig = FlowStressAt(blk, rate);
      ASSERT_GT(sig, 10.0);
      const Mesh3d& g = blk.mesh.g;
      for (int n = 1; n <= g.nh; ++n) {
        EXPECT_NEAR(blk.mesh.fld(kFldVx, n), -0.5 * rate * g.xyz(1, n), 2e-3 * rate * blk.H) << n;  // single-precision front
        EXPECT_NEAR(blk.mesh.fld(kFldVz, n), rate * g.xyz(3, n), 2e-3 * rate * blk.H) << n;  // single-precision front
        EXPECT_NEAR(blk.mesh.fld(kFldP, n), sig / 3.0, 0.01 * sig) << "node " << n << " rate " << rate;
      }
      std::vector<SymTensor> S;
      NodalStresses(Tables(), blk.mesh, blk.inp.setup, S);
      for (int n = 1; n <= g.nh; ++n) {
        const SymTensor& s = S[static_cast<size_t>(n)];
        EXPECT_NEAR(s.zz - s.xx, sig, 0.01 * sig) << "node " << n << " rate " << rate;
        EXPECT_NEAR(s.zz - s.yy, sig, 0.01 * sig);
        EXPECT_NEAR(s.zz, sig, 0.01 * sig);
        EXPECT_NEAR(s.xx, 0.0, 0.01 * sig);
        EXPECT_NEAR(s.xy, 0.0, 0.01 * sig);
        EXPECT_NEAR(s.xz, 0.0, 0.01 * sig);
      }
      EXPECT_EQ(blk.inp.iter.DOF, 3 * g.nh + g.np);
      for (int k = 1; k <= g.ne; ++k)
        for (int a = 1; a <= 15; ++a) EXPECT_GT(g.nop(a, k), 0);
    }
  // Above the limit the stress no longer grows with the rate.
  Block blk;
  BuildBlock(blk, 1, 1, 1, 1, 1, true);
  EXPECT_NEAR(FlowStressAt(blk, 50.0), FlowStressAt(blk, 10.0), 1e-12);
}

// A rigid translation: zero strain rate, zero pressure under the free
// faces; a second solve changes nothing.
TEST(FlowSolve, RigidTranslationHasNoStressAndConverges) {
  Block blk;
  UniaxialBlock(blk, 0.0, true);
  SetVelocity(blk, [](double, double, double) { return std::array<double, 3>{0.0, 0.0, 3.0}; });
  Sol_Def(blk.mesh, Tables(), SolveMode::Flow, blk.inp);
  const Mesh3d& g = blk.mesh.g;
  std::vector<SymTensor> D;
  NodalStrainRates(Tables(), blk.mesh, D);
  for (int n = 1; n <= g.nh; ++n) {
    EXPECT_NEAR(blk.mesh.fld(kFldVx, n), 0.0, 1e-5);
    EXPECT_NEAR(blk.mesh.fld(kFldVy, n), 0.0, 1e-5);
    EXPECT_NEAR(blk.mesh.fld(kFldVz, n), 3.0, 1e-5);
    EXPECT_NEAR(blk.mesh.fld(kFldP, n), 0.0, 1e-3);
    const SymTensor& d = D[static_cast<size_t>(n)];
    EXPECT_NEAR(std::fabs(d.xx) + std::fabs(d.yy) + std::fabs(d.zz) + std::fabs(d.xy) + std::fabs(d.yz) + std::fabs(d.xz), 0.0, 1e-4);
  }
  Sol_Def(blk.mesh, Tables(), SolveMode::Flow, blk.inp);
  EXPECT_LT(blk.inp.iter.ConvV, 1e-5);
}

// The stored solution: velocity change relative to max(RamSpeed, |v|),
// pressure change relative to max(flow stress, |p|), pressure divided by
// PScale, mid-edge pressures the mean of their corners.
TEST(FlowSolve, ConvergenceMeasuresAndPressureScale) {
  Block blk;
  UniaxialBlock(blk, 1.0, true);
  blk.inp.setup.mat.MatLaw = 0;  // constant viscosity: the disturbance does not alter the matrix
  blk.inp.setup.RamSpeed = 100.0;
  Mesh3d& g = blk.mesh.g;
  // Disturb a free node: its change measures ConvV.
  int top = 0;
  for (int n = g.np + 1; n <= g.nh && top == 0; ++n)
    if (g.xyz(1, n) > blk.a - 1e-9 && g.BoundaryConditions(n) == 0) top = n;
  ASSERT_GT(top, 0);
  const float exact = blk.mesh.fld(kFldVx, top);
  blk.mesh.fld(kFldVx, top) = exact + 7.0f;
  for (int n = 1; n <= g.nh; ++n) blk.mesh.fld(kFldStress, n) = 1000.0f;
  blk.inp.model.PScale = 4.0;
  Sol_Def(blk.mesh, Tables(), SolveMode::Flow, blk.inp);
  EXPECT_NEAR(blk.inp.iter.ConvV, 7.0 / 100.0, 1e-4);
  const double p = 1.0 / 9.0;  // shear viscosity 1/9: sigma_xx = p - 2/9 r/2 = 0
  EXPECT_NEAR(blk.inp.iter.ConvP, p / 1000.0, 0.02 * p / 1000.0);
  for (int n = 1; n <= g.nh; ++n) EXPECT_NEAR(blk.mesh.fld(kFldP, n), p / 4.0, 0.02 * p / 4.0);
  // Mid-edge pressures follow their corners exactly.
  for (int k = 1; k <= g.ne; ++k)
    for (int e = 0; e < 9; ++e)
      EXPECT_EQ(blk.mesh.fld(kFldP, g.nop(7 + e, k)),
                0.5f * (blk.mesh.fld(kFldP, g.nop(kWedgeEdge[e][0], k)) + blk.mesh.fld(kFldP, g.nop(kWedgeEdge[e][1], k))));
  // An unchanged pressure gives ConvP = 0 even with a zero reference stress.
  blk.inp.model.PScale = 1.0;
  for (int n = 1; n <= g.nh; ++n) blk.mesh.fld(kFldStress, n) = 0.0f;
  Sol_Def(blk.mesh, Tables(), SolveMode::Flow, blk.inp);
  Sol_Def(blk.mesh, Tables(), SolveMode::Flow, blk.inp);
  EXPECT_LT(blk.inp.iter.ConvP, 1e-3);
}

// Codes 8 and 4 hold zero components, 10 the stored velocity exactly,
// 7 the stored z velocity; the others stay free.
TEST(FlowSolve, PrescribedComponentsByCode) {
  bool zero = false;
  EXPECT_EQ(PrescribedComponents(2, zero), 6);
  EXPECT_EQ(PrescribedComponents(76, zero), 6);
  EXPECT_EQ(PrescribedComponents(67, zero), 5);
  EXPECT_EQ(PrescribedComponents(68, zero), 3);
  EXPECT_TRUE(zero);
  EXPECT_EQ(PrescribedComponents(75, zero), 1);
  EXPECT_FALSE(zero);
  EXPECT_EQ(PrescribedComponents(70, zero), 2);
  EXPECT_EQ(PrescribedComponents(71, zero), 4);
  EXPECT_EQ(PrescribedComponents(72, zero), 7);
  EXPECT_TRUE(zero);
  EXPECT_EQ(PrescribedComponents(74, zero), 7);
  EXPECT_FALSE(zero);
  for (int c : {0, 1, 9, 64, 65, 73, 13}) EXPECT_EQ(PrescribedComponents(c, zero), 0) << c;

  Block blk;
  UniaxialBlock(blk, 1.0, true);
  Mesh3d& g = blk.mesh.g;
  // Two top nodes get code 8 and code 4 (stored velocities nonzero).
  int n8 = 0, n4 = 0;
  for (int n = 1; n <= g.nh; ++n)
    if (g.xyz(3, n) > blk.H - 1e-9 && g.xyz(1, n) > 0.1 && g.xyz(2, n) > 0.1 && g.xyz(1, n) < blk.a - 0.1) {
      if (n8 == 0) n8 = n;
      else if (n4 == 0) n4 = n;
    }
  ASSERT_GT(n8, 0);
  ASSERT_GT(n4, 0);
  g.BoundaryConditions(n8) = CodeOf(blk, n8, 8);
  g.BoundaryConditions(n4) = CodeOf(blk, n4, 4);
  const float vz4 = blk.mesh.fld(kFldVz, n4);
  Sol_Def(blk.mesh, Tables(), SolveMode::Flow, blk.inp);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(blk.mesh.fld(kFldVx + i, n8), 0.0f);
  EXPECT_EQ(blk.mesh.fld(kFldVx, n4), 0.0f);
  EXPECT_EQ(blk.mesh.fld(kFldVy, n4), 0.0f);
  EXPECT_NE(blk.mesh.fld(kFldVz, n4), vz4);  // z is free on code 4
  // Code 10 nodes keep their stored velocity exactly.
  Block ref;
  UniaxialBlock(ref, 1.0, true);
  for (int n = 1; n <= g.nh; ++n)
    if (KindOfCodeForTest(g.BoundaryConditions(n)) == 10) {
      for (int i = 0; i < 3; ++i) EXPECT_EQ(blk.mesh.fld(kFldVx + i, n), ref.mesh.fld(kFldVx + i, n));
    }
}

// A square bar of 4 x 4 mm pushed at U through a container with friction:
// ram face (z = H) holding vz = -U, rim of the ram fully held, walls holding
// x and y, free outflow at z = 0 over the whole section or, with a die, only
// through the opening x, y <= 2 (the rest of z = 0 a die face holding
// vz = 0).  The axial volume flux through every layer plane equals U x the
// container section (exactly without a die, within the discretisation error
// with one), and no material crosses the walls or the die face.
double PlaneFluxRatio(const Block& blk, double zPlane, double U) {
  const Mesh3d& g = blk.mesh.g;
  const ElemType& tri = Tables().Tri6;
  const int map6[6] = {1, 2, 3, 7, 8, 9};
  double flux = 0.0;
  for (int k = 1; k <= g.ne; ++k) {
    if (std::fabs(g.xyz(3, g.nop(1, k)) - zPlane) > 1e-9) continue;
    for (int p = 1; p <= tri.ngp; ++p) {
      double j11 = 0, j12 = 0, j21 = 0, j22 = 0, vz = 0;
      for (int a = 0; a < 6; ++a) {
        const int n = g.nop(map6[a], k);
        j11 += tri.dN1(a + 1, p) * g.xyz(1, n);
        j12 += tri.dN1(a + 1, p) * g.xyz(2, n);
        j21 += tri.dN2(a + 1, p) * g.xyz(1, n);
        j22 += tri.dN2(a + 1, p) * g.xyz(2, n);
        vz += tri.N(a + 1, p) * blk.mesh.fld(kFldVz, n);
      }
      flux += vz * tri.w(p) * std::fabs(j11 * j22 - j12 * j21);
    }
  }
  return -flux / (U * blk.a * blk.b);
}

TEST(FlowSolve, PushedBarConservesTheVolumeFluxPlaneByPlane) {
  const double U = 5.0, c30 = std::sqrt(0.75), s30 = 0.5;
  // Without a die; with a die whose edge along the walls is held (kind 8);
  // turned by 30 degrees about z, with that edge of kind 7: its nodes slide
  // along the walls without crossing them, and its corners are held.
  for (const int variant : {0, 1, 2}) {
    const bool die = variant > 0, turned = variant == 2;
    Block blk;
    BuildBlock(blk, 4, 4, 4.0, 4.0, 8.0, true);
    Mesh3d& g = blk.mesh.g;
    const Mat1<double> xyz0 = g.xyz;
    auto onDie = [&](int n) { return die && xyz0(3, n) < 1e-9 && (xyz0(1, n) > 2.0 + 1e-9 || xyz0(2, n) > 2.0 + 1e-9); };
    auto onWallX = [&](int n) { return xyz0(1, n) < 1e-9 || xyz0(1, n) > blk.a - 1e-9; };
    auto onWallY = [&](int n) { return xyz0(2, n) < 1e-9 || xyz0(2, n) > blk.b - 1e-9; };
    for (int n = 1; n <= g.nh; ++n) {
      const double z = xyz0(3, n);
      const bool wall = onWallX(n) || onWallY(n);
      int kind = wall ? 4 : 0;
      if (z < 1e-9) kind = onDie(n) ? (wall && !turned ? 8 : 7) : (wall ? 4 : 1);
      if (z > blk.H - 1e-9) kind = wall ? 10 : 7;
      g.BoundaryConditions(n) = CodeOf(blk, n, kind);
      blk.mesh.fld(kFldStress, n) = 30.0f;
      blk.mesh.fld(kFldVz, n) = onDie(n) ? 0.0f : static_cast<float>(-U);
      if (turned) {
        g.xyz(1, n) = c30 * xyz0(1, n) - s30 * xyz0(2, n);
        g.xyz(2, n) = s30 * xyz0(1, n) + c30 * xyz0(2, n);
      }
    }
    BlockBoundaryData(blk, 0.9f, static_cast<float>(U), 50.0f);
    for (BndFace& f : blk.mesh.faces)
      for (int p = 1; p <= f.npt; ++p) f.v(kBfSigmaN, p) = -30.0f;
    blk.inp.model.FricA = 0.95;
    blk.inp.model.FricB = 0.05;
    blk.inp.setup.RamSpeed = U;
    for (int it = 0; it < 3; ++it) Sol_Def(blk.mesh, Tables(), SolveMode::Flow, blk.inp);  // viscosity from the flow
    for (int K = 0; K < 4; ++K)
      EXPECT_NEAR(PlaneFluxRatio(blk, 2.0 * K, U), 1.0, die && K > 0 ? 0.02 : 2e-3) << "die " << die << " plane z = " << 2.0 * K;
    Vec1<EdgeFrame> frames;
    DieEdgeFrames(Tables(), blk.mesh, frames);
    double slide = 0.0;
    for (int n = 1; n <= g.nh; ++n) {
      const double vx = blk.mesh.fld(kFldVx, n), vy = blk.mesh.fld(kFldVy, n);
      const bool edge = turned && onDie(n) && (onWallX(n) || onWallY(n));
      EXPECT_EQ(frames(n).mode, !edge ? 0 : onWallX(n) && onWallY(n) ? 2 : 1) << n;
      if (edge && frames(n).mode == 1) {  // wall normal (c30, s30) or (-s30, c30): v.n = 0, v.t free
        EXPECT_NEAR(std::fabs(frames(n).nx * (onWallX(n) ? c30 : -s30) + frames(n).ny * (onWallX(n) ? s30 : c30)), 1.0, 1e-6);
        EXPECT_NEAR(vx * frames(n).nx + vy * frames(n).ny, 0.0, 1e-6 * U) << n;
        slide = std::max(slide, std::fabs(-vx * frames(n).ny + vy * frames(n).nx));
        continue;
      }
      EXPECT_TRUE(!onWallX(n) || vx == 0.0f) << n;
      EXPECT_TRUE(!onWallY(n) || vy == 0.0f) << n;
      EXPECT_TRUE(!onDie(n) || blk.mesh.fld(kFldVz, n) == 0.0f) << n;
    }
    EXPECT_TRUE(!turned || slide > 0.01 * U) << slide;
  }
}

}  // namespace
