// Boundary data of whole meshes and the initial nodal values: surface
// integrals against the analytic surface, nodal normals, velocities by zone,
// the analytic strain field, zone factors and velocity scales, edge
// rounding, the final z-relaxation and the fatal stop of the velocity scale.

#include <gtest/gtest.h>


#include "material/flow_stress.h"
#include "test_boundary_fixtures.h"

namespace {

MeshRecord Generate(InpDat& d, int kind = 1) {
  MeshRecord m;
  m.kind = static_cast<int8_t>(kind);
  BuildVolumeMesh(d.setup, d.sections, d.layout, m);
  return m;
}

Vec3 NodalNormal(const MeshRecord& m, int node) {
  const BndNode& b = m.bnd(m.g.EndPlane(node));
  return {b.nx, b.ny, b.nz};
}

// A mesh record of loose nodes at the given z (no elements), every node a
// boundary node with its record.
MeshRecord LooseNodes(const std::vector<double>& zs, const std::vector<int>& codes) {
  MeshRecord m;
  Mesh3d& g = m.g;
  g.nh = static_cast<int>(zs.size());
  g.np = g.nh;
  g.xyz.assign(3, g.nh, 0.0);
  g.BoundaryConditions.assign(static_cast<std::size_t>(g.nh), 0);
  g.EndPlane.assign(static_cast<std::size_t>(g.nh), 0);
  m.fld.assign(kNumFld, g.nh, 0.0f);
  m.bnd.assign(static_cast<std::size_t>(g.nh));
  for (int i = 1; i <= g.nh; ++i) {
    g.xyz(3, i) = zs[static_cast<std::size_t>(i - 1)];
    g.BoundaryConditions(i) = codes[static_cast<std::size_t>(i - 1)];
    g.EndPlane(i) = i;
    m.bnd(i).node = i;
  }
  return m;
}

}  // namespace

TEST(BoundaryData, TwoSectionMeshesGetTrueSurfacesNormalsAndInitialValues) {
  for (int kind : {1, 2}) {
    SCOPED_TRACE(kind == 1 ? "flow mesh" : "thermal mesh");
    InpDat d = TwoSectionVariant(TwoSection{});
    MeshRecord m = Generate(d, kind);
    BoundaryData(m, d, Tables(), false, 2);
    const Mesh3d& g = m.g;

    // Surface: profile lateral 80 and exit 4, container lateral 720, ram
    // face 36, die face 32.
    double area = 0.0;
    for (const BndFace& bf : m.faces)
      for (int p = 1; p <= bf.npt; ++p) area += bf.v(kBfWJ, p);
    EXPECT_NEAR(area, 872.0, 872.0 * 1e-6);

    // Every face normal points out of its element.
    for (const BndFace& bf : m.faces) {
      double c[3] = {};
      for (int k = 1; k <= 6; ++k)
        for (int j = 0; j < 3; ++j) c[j] += g.xyz(j + 1, g.nop(k, bf.elem)) / 6.0;
      const FaceRule& r = Tables().Wedge15Faces(bf.local);
      for (int p = 1; p <= bf.npt; ++p) {
        double dot = 0.0;
        for (int j = 0; j < 3; ++j) {
          double x = 0.0;
          for (int k = 1; k <= 15; ++k) x += r.N(k, p) * g.xyz(j + 1, g.nop(k, bf.elem));
          dot += (x - c[j]) * bf.v(kBfN + j, p);
        }
        ASSERT_GT(dot, 0.0) << "element " << bf.elem << " face " << bf.local;
      }
    }

    // Nodal normals: unit length; inside flat faces the face normal.
    for (const BndNode& b : m.bnd) EXPECT_NEAR(b.nx * b.nx + b.ny * b.ny + b.nz * b.nz, 1.0, 1e-6);
    const double probes[4][3] = {{1, 1, 140}, {1, 1, 100}, {-2, 1, 125}, {3, -1, 110}};
    const Vec3 normals[4] = {{0, 0, 1}, {0, 0, -1}, {-1, 0, 0}, {0, 0, -1}};  // ram, exit, wall, die face
    for (int k = 0; k < 4; ++k) {
      if (kind == 2 && k == 2) continue;  // no mid-layer at 125 in the finer mesh
      const int node = FindNode(g, probes[k][0], probes[k][1], probes[k][2]);
      ASSERT_GT(node, 0);
      EXPECT_EQ(NodalNormal(m, node), normals[k]);
    }

    // Initial values.
    EXPECT_DOUBLE_EQ(d.model.VProfAnalit, 45.0);
    for (int i = 1; i <= g.nh; ++i) {
      for (int k = 1; k <= kNumFld; ++k) ASSERT_TRUE(std::isfinite(m.fld(k, i)));
      const double z = g.xyz(3, i);
      const int code = g.BoundaryConditions(i);
      EXPECT_EQ(m.fld(kFldT, i), TouchesTools(code) ? 400.0f : 450.0f);
      if (z > 135.0) {
        EXPECT_EQ(m.fld(kFldVz, i), -5.0f);
      } else if (KindOfCode(code) == 0 || KindOfCode(code) == 1) {
        EXPECT_EQ(m.fld(kFldVz, i), z <= d.layout.Z1 ? -45.0f : -5.0f);
      }
    }
    for (const BndNode& b : m.bnd) {
      const double z = g.xyz(3, b.node);
      const float f = z > 135.0 ? 1.0f : z >= d.layout.Z1 + 0.01 ? 0.8f : 0.3f;
      EXPECT_EQ(b.factor, f);
      const double u = z <= d.layout.Z1 ? 45.0 : 5.0;
      EXPECT_FLOAT_EQ(b.vScale, static_cast<float>((1.0 - f) * (1.0 - f) * u + 0.5));
    }
  }
}

TEST(InitialVelocities, AnalyticStrainFieldThroughTheFlowStressLaw) {
  InpDat d = TwoSectionVariant(TwoSection{});
  SetExampleMaterial(d.setup.mat);
  d.setup.ProfType = 1;
  MeshRecord m = Generate(d);
  ClassifyBoundary(d.sections, d.layout, m.g);
  InitialVelocities(d.setup, d.sections, d.layout, d.model, d.iter, m);

  const double eT = std::log(36.0 / 4.0), V = 5.0;
  const double r = 0.2f * V * eT * eT / (d.layout.Z2 - d.layout.Z1);
  double vmax = -1.0, vmin = 1e30;
  for (int i = 1; i <= m.g.nh; ++i) {
    const double z = m.g.xyz(3, i);
    double e = z <= d.layout.Z1 ? eT : eT * (d.layout.Z2 - z) / (d.layout.Z2 - d.layout.Z1) + 0.01f;
    double s = z <= d.layout.Z1 ? r * (z - d.layout.Z0) / (d.layout.Z1 - d.layout.Z0) + 0.01f * r : r * (d.layout.Z2 - z) / (d.layout.Z2 - d.layout.Z1) + 0.01f * r;
    double T = d.setup.BilletTemp, sigma = 1.0, eta = 0.0;
    FlowStress(s, e, T, d.setup.mat, sigma, eta);
    EXPECT_FLOAT_EQ(m.fld(kFldStrain, i), static_cast<float>(e));
    EXPECT_FLOAT_EQ(m.fld(kFldRate0, i), static_cast<float>(s));
    EXPECT_FLOAT_EQ(m.fld(kFldVisc, i), static_cast<float>(eta));
    EXPECT_FLOAT_EQ(m.fld(kFldStress, i), static_cast<float>(sigma));
    EXPECT_EQ(m.fld(kFldP, i), -m.fld(kFldStress, i));
    EXPECT_GE(m.fld(kFldRate0, i), 0.05f);  // limited by the law
    vmax = std::max(vmax, eta);
    vmin = std::min(vmin, eta);
  }
  EXPECT_FLOAT_EQ(static_cast<float>(d.iter.ViscMax), static_cast<float>(vmax));
  EXPECT_FLOAT_EQ(static_cast<float>(d.iter.ViscMin), static_cast<float>(std::min(vmin, 1.0)));
}

TEST(InitialVelocities, EmptyOrEqualAreasGiveFiniteFields) {
  for (int prof : {1, 3}) {
    for (int variant = 0; variant < 3; ++variant) {
      InpDat d = TwoSectionVariant(TwoSection{});
      d.setup.ProfType = prof;
      d.setup.mat.MatLaw = 2;
      d.setup.mat.MatC0 = 100.0;
      d.setup.mat.MatTmax = 600.0;
      if (variant == 0) d.sections.Area2d(1) = 0.0;           // no profile area
      if (variant == 1) d.sections.Area2d(2) = 0.0;           // unmeshed ring
      if (variant == 2) d.sections.Area2d(2) = d.sections.Area2d(1);   // A2 largest with A1: no strain in the zone
      MeshRecord m = Generate(d);
      ClassifyBoundary(d.sections, d.layout, m.g);
      InitialVelocities(d.setup, d.sections, d.layout, d.model, d.iter, m);
      EXPECT_TRUE(std::isfinite(d.model.VProfAnalit));
      for (int i = 1; i <= m.g.nh; ++i)
        for (int k = 1; k <= kNumFld; ++k)
          ASSERT_TRUE(std::isfinite(m.fld(k, i))) << "ProfType " << prof << " case " << variant << " field " << k;
    }
  }
}

TEST(RoundEdge, QuarterCircleTowardsTheOrificeEdgeAndShiftBelow) {
  InpDat d = TwoSectionVariant(TwoSection{});
  MeshRecord m = Generate(d);
  BoundaryDataFirst(m, d, Tables(), false, 2);  // EdgeR1 = 0: nothing moves
  MeshRecord ref = Generate(d);
  EXPECT_EQ(m.g.xyz.v, ref.g.xyz.v);

  const Mat1<double> z0 = m.g.xyz;
  d.model.EdgeR1 = 0.8;
  d.model.EdgeScale = 1.0;
  RoundEdge(d.layout, d.model, 1, m);
  int bent = 0;
  for (int i = 1; i <= m.g.nh; ++i) {
    const double x = z0(1, i), y = z0(2, i), z = z0(3, i);
    const double dz = m.g.xyz(3, i) - z;
    const int code = m.g.BoundaryConditions(i);
    const bool onPlane = std::fabs(z - d.layout.Z1) <= 0.001;
    // Orifice edge: the profile outline [0, 2]^2 at Z1.
    const bool edge = onPlane && (code == 73 || code == 9) && x > -1e-9 && x < 2 + 1e-9 && y > -1e-9 &&
                      y < 2 + 1e-9 && (x < 1e-9 || x > 2 - 1e-9 || y < 1e-9 || y > 2 - 1e-9);
    if (z < d.layout.Z1 - 0.001 || edge || (onPlane && !IsBoundaryCode(code))) {
      EXPECT_NEAR(dz, -0.8, 1e-12) << x << " " << y << " " << z;
    } else if (onPlane) {
      // Distance to the outline of the square [0, 2]^2.
      const double dx = std::max({0.0 - x, 0.0, x - 2.0}), dy = std::max({0.0 - y, 0.0, y - 2.0});
      const double dist = std::sqrt(dx * dx + dy * dy);
      const double drop = dist < 0.8 ? 0.8 - std::sqrt(0.64 - (0.8 - dist) * (0.8 - dist)) : 0.0;
      EXPECT_NEAR(dz, -drop, 1e-12) << x << " " << y;
      bent += drop > 0.0;
    } else {
      EXPECT_EQ(dz, 0.0);
    }
  }
  EXPECT_GT(bent, 10);
}

TEST(RelaxZ, InteriorNodesReturnToTheirLayersAndBoundaryNodesStay) {
  InpDat d = TwoSectionVariant(TwoSection{});
  MeshRecord m = Generate(d);
  BoundaryData(m, d, Tables(), false, 2);
  const Mat1<double> ref = m.g.xyz;
  const int corner = FindNode(m.g, 1, 1, 110);  // interior corner of the joint plane
  const int mid = FindNode(m.g, 1, 1, 125);     // mid-layer node above an interior corner
  ASSERT_EQ(m.g.BoundaryConditions(corner), 64);
  ASSERT_EQ(m.g.BoundaryConditions(mid), 0);
  m.g.xyz(3, corner) += 0.3;
  m.g.xyz(3, mid) -= 2.0;
  RelaxZ(m.g);
  EXPECT_NEAR(m.g.xyz(3, corner), 110.0, 2e-4);
  for (int i = 1; i <= m.g.nh; ++i) {
    if (IsBoundaryCode(m.g.BoundaryConditions(i))) {
      EXPECT_EQ(m.g.xyz(3, i), ref(3, i));
    }
    EXPECT_EQ(m.g.xyz(1, i), ref(1, i));
  }
  // Mid-edge interior nodes sit halfway between the corners of their edge.
  for (int e = 1; e <= m.g.ne; ++e)
    for (int k = 7; k <= 15; ++k) {
      const int n = m.g.nop(k, e);
      if (m.g.BoundaryConditions(n) != 0) continue;
      const double zm = 0.5 * (m.g.xyz(3, m.g.nop(kWedgeEdge[k - 7][0], e)) + m.g.xyz(3, m.g.nop(kWedgeEdge[k - 7][1], e)));
      ASSERT_DOUBLE_EQ(m.g.xyz(3, n), zm);
    }
}

TEST(ZoneValues, ThreePartZonesPlaneCodesAndVelocityScaleStop) {
  InpDat d;
  d.layout.Z1 = 110;
  d.layout.Z2 = 130;
  d.layout.Z3 = 200;
  d.sections.nPiecesA = 3;
  d.setup.RamSpeed = -4.0;  // magnitudes count
  d.sections.Area2d(1) = 2.0;
  d.sections.Area2d(2) = 8.0;
  d.sections.Area2d(3) = 40.0;
  d.setup.BcFactor(1) = 0.9;
  d.setup.BcFactor(2) = 0.2;
  d.setup.BcFactor(3) = 0.5;
  d.model.EdgeR2 = 0.5;
  d.model.EdgeScale = 2.0;
  const std::vector<double> zs = {105, 110.005, 110.02, 130.02, 109.0, 109.0, 130.0, 130.0};
  MeshRecord m = LooseNodes(zs, {65, 65, 65, 65, 73, 9, 73, 9});
  ZoneFactors(d.setup, d.sections, d.layout, m);
  const float f[8] = {0.2f, 0.2f, 0.5f, 0.9f, 0.2f, 0.2f, 0.5f, 0.5f};
  for (int i = 1; i <= 8; ++i) EXPECT_EQ(m.bnd(i).factor, f[i - 1]) << i;
  VelocityScale(d.setup, d.sections, d.layout, m);
  const double c = 4.0 * 40.0 / 2.0, dz = 4.0 * 40.0 / 8.0;
  const double u[8] = {c, dz, dz, 4.0, c, c, dz, dz};
  for (int i = 1; i <= 8; ++i)
    EXPECT_FLOAT_EQ(m.bnd(i).vScale, static_cast<float>((1.0 - f[i - 1]) * (1.0 - f[i - 1]) * u[i - 1] + 0.4)) << i;
  // Plane codes at Z1 - EdgeR2 EdgeScale = 109 and Z2 = 130 (nodes 5..8).
  m.g.np = 5;  // nodes 6..8 are not corner nodes
  m.g.BoundaryConditions(7) = 9;
  PlaneCodes(d.sections, d.layout, d.model, m.g);
  EXPECT_EQ(m.g.BoundaryConditions(5), 71);
  EXPECT_EQ(m.g.BoundaryConditions(6), 7);
  EXPECT_EQ(m.g.BoundaryConditions(7), 7);
  EXPECT_EQ(m.g.BoundaryConditions(1), 65);
  // End velocities above Z3 - |v|... with v = RamSpeed as given.
  d.setup.RamSpeed = 4.0;
  m.g.xyz(3, 2) = 197.0;
  EndVelocities(d.setup, d.sections, d.layout, m);
  EXPECT_EQ(m.fld(kFldVz, 2), -4.0f);
  EXPECT_EQ(m.bnd(2).factor, 1.0f);
  EXPECT_EQ(m.fld(kFldVz, 1), 0.0f);

  d.sections.nPiecesA = 4;
  EXPECT_EXIT(VelocityScale(d.setup, d.sections, d.layout, m), ::testing::ExitedWithCode(1),
              "error in dVp0");
}
