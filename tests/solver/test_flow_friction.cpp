// Friction drag and exit-surface resistance of the flow element: the wall
// shear stress of a block sliding along a tool wall against the
// friction-factor law, its independence of the speed scale, and the sign of
// both tool terms against the viscous block in both element orientations.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "mesh3d/boundary.h"
#include "solver/flow_element.h"
#include "solver/flow_solve.h"
#include "material/flow_stress.h"
#include "solver/friction.h"
#include "solver/flow_block.h"
#include "support/element_tables.h"
#include "solver/tool_terms.h"

namespace {

constexpr double kFricA = 0.9499999992549419, kFricB = 0.05000000074505806;

// Block with the tool wall x = 0 (code 4, or `wallKind`), every other
// boundary node free (code 1), boundary records with friction factor m and
// regularised speed s, nodal flow stress sigma, face-point normal stress -pc.
void WallBlock(Block& blk, bool leftHanded, int wallKind, double m, double s, double sigma, double pc) {
  BuildBlock(blk, 2, 2, 4.0, 3.0, 5.0, leftHanded);
  Mesh3d& g = blk.mesh.g;
  for (int n = 1; n <= g.nh; ++n) {
    const double x = g.xyz(1, n), y = g.xyz(2, n), z = g.xyz(3, n);
    const bool bnd = x < 1e-9 || y < 1e-9 || z < 1e-9 || x > blk.a - 1e-9 || y > blk.b - 1e-9 || z > blk.H - 1e-9;
    g.BoundaryConditions(n) = CodeOf(blk, n, !bnd ? 0 : x < 1e-9 ? wallKind : 1);
    blk.mesh.fld(kFldStress, n) = static_cast<float>(sigma);
    blk.mesh.fld(kFldVisc, n) = static_cast<float>(sigma);  // eta at 1/s
  }
  BlockBoundaryData(blk, static_cast<float>(m), static_cast<float>(s), 1.0f);
  for (BndFace& f : blk.mesh.faces)
    for (int p = 1; p <= f.npt; ++p) {
      f.v(kBfSigmaN, p) = static_cast<float>(-pc);
      f.v(kBfExit, p) = 1.0f;
    }
  blk.inp.model.FricA = kFricA;
  blk.inp.model.FricB = kFricB;
}

// Sum over the elements of (element system x element velocities), z rows:
// the z force the element systems exert for the nodal velocity field; with
// `scale` and without the right-hand side, that of the system built at the
// nodal velocities applied to `scale` times them.
double ZForce(const Block& blk, double scale = 1.0, bool withRhs = true) {
  const Mesh3d& g = blk.mesh.g;
  FlowElements el{&Tables(), &blk.mesh, &blk.inp};
  std::vector<double> est(51 * 51), r(51);
  int32_t lm[51];
  double F = 0;
  for (int k = 1; k <= g.ne; ++k) {
    std::fill(r.begin(), r.end(), 0.0);
    el.System(k, lm, est.data(), 51, r.data());
    for (int i = 30; i < 45; ++i) {
      double row = withRhs ? -r[static_cast<size_t>(i)] : 0.0;
      for (int j = 0; j < 45; ++j)
        row += est[static_cast<size_t>(j) * 51 + i] * scale * blk.mesh.fld(kFldVx + j / 15, std::abs(g.nop(j % 15 + 1, k)));
      F += row;
    }
  }
  return F;
}

double LawTraction(double m, double sigma, double pc) {
  return (kFricB + kFricA * (1.0 - std::exp(-1.25 * pc / (static_cast<double>(1.73f) * sigma)))) * m * sigma / std::sqrt(3.0);
}

// A rigid slide at speed U along the wall (the viscous and pressure terms
// vanish): the wall traction is the friction-factor law, for a low and a
// saturating contact pressure, without a speed or factor-2 scale.
TEST(Friction, SlidingBlockWallShearStressFollowsTheFrictionFactorLaw) {
  const double sigma = 30.0, U = 5.0, area = 3.0 * 5.0;
  for (const bool left : {true, false})
    for (const double m : {0.3, 0.9})
      for (const double pc : {0.05 * sigma, 20.0 * sigma}) {
        Block blk;
        WallBlock(blk, left, 4, m, U, sigma, pc);
        blk.inp.setup.RamSpeed = U;
        SetVelocity(blk, [&](double, double, double) { return std::array<double, 3>{0.0, 0.0, -U}; });
        const double tau = ZForce(blk) / area;
        const double sign = left ? -1.0 : 1.0;  // orientation of the elements
        EXPECT_NEAR(sign * tau, -LawTraction(m, sigma, pc), 0.02 * LawTraction(m, sigma, pc))
            << "m " << m << " pc " << pc << " left " << left;
      }
  // Saturation: (FricA + FricB) m sigma / sqrt3; no contact pressure: FricB.
  EXPECT_NEAR(LawTraction(0.9, 30.0, 1e6), (kFricA + kFricB) * 0.9 * 30.0 / std::sqrt(3.0), 1e-9);
  EXPECT_NEAR(FrictionCoefficient(30.0, 0.9, 0.0, 2.0, kFricA, kFricB), kFricB * 0.9 * 30.0 / (std::sqrt(3.0) * 2.0), 1e-12);
  EXPECT_EQ(FrictionCoefficient(0.0, 0.9, 10.0, 2.0, kFricA, kFricB), 0.0);
}

// Doubling every speed (ram speed and sliding speed) leaves the wall shear
// stress of a rate-insensitive material unchanged.
TEST(Friction, WallShearStressDoesNotScaleWithSpeed) {
  Material mat;
  mat.MatLaw = 2;
  mat.MatC0 = 160.0;
  mat.LawTable(1) = -0.0035;
  mat.LawTable(2) = 0.02;
  mat.LawTable(3) = 0.0;  // rate exponent c = 0
  mat.MatTmax = 600.0;
  double tau[2];
  for (int k = 0; k < 2; ++k) {
    const double U = 5.0 * (k + 1);
    double rate = U / 5.0, strain = 0.5, T = 480.0, sigma = 0, eta = 0;
    FlowStress(rate, strain, T, mat, sigma, eta);
    Block blk;
    WallBlock(blk, true, 4, 0.9, U, sigma, 0.5 * sigma);
    blk.inp.setup.mat = mat;
    blk.inp.setup.RamSpeed = U;
    SetVelocity(blk, [&](double, double, double) { return std::array<double, 3>{0.0, 0.0, -U}; });
    tau[k] = ZForce(blk) / 15.0;
  }
  EXPECT_NEAR(tau[1], tau[0], 1e-6 * std::fabs(tau[0]));
  EXPECT_GT(std::fabs(tau[0]), 1.0);
}

// The drag of a rigid slide grows like U^4 where the speed regularisation
// amplifies the friction (s = |v| / q, q = (|v| / c)^4) and does not change
// with U where it does not (s = |v|).  The drag's tangent (share 1)
// predicts the change of the wall force for a 1e-4 change of the slide
// speed (fourfold, and nothing, of the lagged drag's prediction), and
// leaves the system's residual at the current velocity unchanged.  A plain
// slide slower than three times the ram speed keeps part of the lagged
// drag (half at twice the ram speed, all below it).
TEST(Friction, TangentOfTheDragIsItsDerivative) {
  const double sigma = 30.0, c = 2.0, eps = 1e-4;
  enum Case { kAmplified, kPlain, kForeignNode, kPlainSlow, kPlainAtRest };
  for (const Case cs : {kAmplified, kPlain, kForeignNode, kPlainSlow, kPlainAtRest}) {
    SCOPED_TRACE(cs);
    const double U = cs == kPlainSlow ? 2.0 : cs == kPlainAtRest ? 0.5 : 5.0;
    const double ratio = cs == kAmplified ? 4.0 : cs == kPlainSlow ? 0.5 : cs == kPlainAtRest ? 1.0 : 0.0;
    const bool amplified = cs == kAmplified || cs == kForeignNode;
    // Wall force at slide speed u; with `probe`, the change the system built
    // at u predicts for the speed u (1 + probe).  A foreign node: one wall
    // node that takes no part in the drag (code 0) on faces that do.
    auto force = [&](double u, double tangent, double probe, double skew = 0.0) {
      Block blk;
      const double q = amplified ? std::pow(u / c, 4) : 1.0;
      WallBlock(blk, true, 4, 0.9, u / q, sigma, 20.0 * sigma);
      for (BndNode& r : blk.mesh.bnd) r.regFactor = static_cast<float>(q);
      if (cs == kForeignNode)
        for (int n = 1; n <= blk.mesh.g.nh; ++n)
          if (blk.mesh.g.xyz(1, n) < 1e-9 && std::fabs(blk.mesh.g.xyz(2, n) - 1.5) < 1e-9 &&
              std::fabs(blk.mesh.g.xyz(3, n) - 2.5) < 1e-9)
            blk.mesh.g.BoundaryConditions(n) = 0;
      blk.inp.setup.RamSpeed = 1.0;
      blk.inp.iter.FricTangent = tangent;
      SetVelocity(blk, [&](double, double y, double) { return std::array<double, 3>{0.0, 0.0, -u * (1.0 + skew * y)}; });
      return probe == 0.0 ? ZForce(blk) : ZForce(blk, probe, false);
    };
    // At the current velocity, also one that varies over the faces, the
    // tangent leaves the system's residual as it is.
    const double skewed = force(U, 0.0, 0.0, 0.1);
    EXPECT_NEAR(force(U, 1.0, 0.0, 0.1), skewed, 1e-9 * std::fabs(skewed));
    if (cs == kForeignNode) continue;
    const double f = force(U, 0.0, 0.0);
    const double exact = force(U * (1.0 + eps), 0.0, 0.0) - f;
    const double lagged = force(U, 0.0, eps), newton = force(U, 1.0, eps);
    // Amplified, the traction grows like U^4; plain, it does not change.
    if (ratio == 4.0 || ratio == 0.0) {
      EXPECT_NEAR(newton, exact, 1e-3 * std::max(std::fabs(exact), std::fabs(lagged)));
    }
    EXPECT_NEAR(newton / lagged, ratio, 1e-6);
  }
}

// Faces with a node of code 1, 5, 6 (or +64) carry no friction; codes 4, 7,
// 8, 9 do.
TEST(Friction, FacesOfFreeAndSymmetryNodesCarryNoDrag) {
  for (const int kind : {1, 5, 6, 7, 8, 9}) {
    Block blk;
    WallBlock(blk, true, kind, 0.9, 5.0, 30.0, 10.0);
    blk.inp.setup.RamSpeed = 5.0;
    std::vector<double> est(51 * 51, 0.0);
    double sum = 0;
    for (int k = 1; k <= blk.mesh.g.ne; ++k) {
      std::fill(est.begin(), est.end(), 0.0);
      FrictionDrag(Tables(), blk.mesh, blk.inp.setup, blk.inp.model, blk.inp.results, k, -1.0, 0.0,
                   est.data(), 51, nullptr);
      for (double v : est) sum += std::fabs(v);
    }
    if (kind == 1 || kind == 5 || kind == 6) EXPECT_EQ(sum, 0.0) << kind;
    else EXPECT_GT(sum, 0.0) << kind;
  }
}

// Contact pressure: the compressive normal stress; on exit faces with a
// small exit value x the smooth estimate (1 - exp(-2|x|)) |Psr|.
TEST(Friction, ContactPressure) {
  EXPECT_EQ(ContactPressure(-12.5f, 1.0f, false, 100.0), 12.5);
  EXPECT_EQ(ContactPressure(8.0f, 1.0f, false, 100.0), 0.0);
  EXPECT_EQ(ContactPressure(-12.5f, 0.3f, false, 100.0), 12.5);
  EXPECT_NEAR(ContactPressure(8.0f, -0.3f, true, -100.0), (1.0 - std::exp(-0.6)) * 100.0, 1e-5);
  EXPECT_EQ(ContactPressure(-60.0f, 0.6f, true, -100.0), 60.0);
}

// u.K u of the friction drag and of the exit resistance has the sign of
// u.K u of the viscous block (all three dissipate) in both orientations;
// per unit coefficient the exit resistance is the element's mean viscous
// diagonal along the normal.
TEST(Friction, ToolTermsHaveTheSignOfTheViscousBlock) {
  for (const bool left : {true, false}) {
    Block blk;
    WallBlock(blk, left, 9, 0.9, 5.0, 30.0, 10.0);
    blk.inp.setup.RamSpeed = 5.0;
    SetVelocity(blk, [](double x, double y, double z) {
      return std::array<double, 3>{0.3 * y - 0.1 * z, 0.2 * x * z, -5.0 + 0.4 * x * y};
    });
    int tested = 0;
    for (int k = 1; k <= blk.mesh.g.ne; ++k) {
      bool wallFace = false;  // a boundary face on the wall x = 0
      const FaceList& fl = blk.mesh.edata(k).fl;
      for (int j = 1; j <= fl.nf; ++j) {
        bool all = true;
        for (int q = 0; q < 8; ++q) all = all && blk.mesh.g.xyz(1, blk.mesh.g.nop(kWedgeFaceNodes[fl.local(j) - 1][q] == 0 ? 1 : kWedgeFaceNodes[fl.local(j) - 1][q], k)) < 1e-9;
        wallFace = wallFace || all;
      }
      if (!wallFace) continue;
      ++tested;
      const double orient = left ? -1.0 : 1.0;
      const ToolTerms t =
          ElementToolTerms(blk.mesh, blk.inp, k, orient, [k](int i) { return std::sin(1.3 * i + 0.7 * k); });
      const std::vector<double>& ke = t.ke;
      const double stiff = t.stiff, qv = t.qv, qf = t.qf, qe = t.qe;
      EXPECT_GT(qv * orient, 0.0);
      EXPECT_GT(qf * orient, 0.0) << "friction, element " << k;
      EXPECT_GT(qe * orient, 0.0) << "exit resistance, element " << k;
      // The block of a wall node (coefficient 1) is the element's mean
      // viscous diagonal times n n^T of the node's normal.
      for (int a = 0; a < 15; ++a) {
        const int n = blk.mesh.g.nop(a + 1, k);
        if (blk.mesh.g.xyz(1, n) > 1e-9) continue;
        const BndNode& rec = blk.mesh.bnd(blk.mesh.g.EndPlane(n));
        EXPECT_NEAR(ke[static_cast<size_t>(a) * 51 + a], orient * stiff * rec.nx * rec.nx, 1e-6 * stiff);
        EXPECT_NEAR(ke[static_cast<size_t>(15 + a) * 51 + a], orient * stiff * rec.nx * rec.ny, 1e-6 * stiff);
        EXPECT_NEAR(ke[static_cast<size_t>(30 + a) * 51 + 30 + a], orient * stiff * rec.nz * rec.nz, 1e-6 * stiff);
      }
    }
    EXPECT_EQ(tested, 4);  // 2 squares of the wall in each of the 2 layers, one wedge on each
  }
}

}  // namespace
