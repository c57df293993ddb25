// Boundary data of the flow and thermal meshes of real cross-sections (the
// profile fixture set, meshed by the cross-section driver): boundary faces
// against the topological boundary, plane areas against the section areas,
// outward unit normals, finite initial fields and the boundary kinds the
// geometry implies.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <set>

#include "input/variants.h"
#include "mesh2d/section_file.h"
#include "support/fixture_sections.h"
#include "support/profile_fixtures.h"
#include "test_boundary_fixtures.h"
#include "support/scratch.h"

namespace {

// The input values of the round-bar example.
InpDat SectionVariant(const Fixture& f) {
  InpDat d = FixtureSections(f, "bnd");
  d.setup.BilletTemp = 480.0;
  d.setup.ToolTemp = 450.0;
  for (int k = 1; k <= 3; ++k) d.setup.BcFactor(k) = 0.9;
  SetExampleMaterial(d.setup.mat);
  d.iter.ViscMax = d.iter.ViscMin = 1.0;
  return d;
}

// Area of the boundary faces whose normal is axial (+1 or -1 in z) at every
// point and whose points lie at level z.
double PlaneArea(const MeshRecord& m, double z, float nz) {
  double a = 0.0;
  for (const BndFace& bf : m.faces) {
    bool on = true;
    for (int p = 1; p <= bf.npt && on; ++p) on = bf.v(kBfN + 2, p) * nz > 0.9999f;
    for (int k = 1; k <= 6 && on; ++k) {
      const int node = m.g.nop(kWedgeFaceNodes[bf.local - 1][k - 1], bf.elem);
      on = std::fabs(m.g.xyz(3, node) - z) < 1e-6;
    }
    if (!on) continue;
    for (int p = 1; p <= bf.npt; ++p) a += bf.v(kBfWJ, p);
  }
  return a;
}

// Area of a mesh of 6-node triangles with their curved sides: the 7-point
// rule integrates the determinant of the quadratic map exactly.
double QuadraticArea(const Mesh2d& m2) {
  const ElemType& t = Tables().Tri6;
  double a = 0.0;
  for (int e = 1; e <= m2.ne; ++e)
    for (int p = 1; p <= t.ngp; ++p) {
      double j11 = 0, j12 = 0, j21 = 0, j22 = 0;
      for (int k = 1; k <= 6; ++k) {
        const Point2& x = m2.xy(std::abs(m2.nop(k, e)));
        j11 += t.dN1(k, p) * x[0];
        j12 += t.dN1(k, p) * x[1];
        j21 += t.dN2(k, p) * x[0];
        j22 += t.dN2(k, p) * x[1];
      }
      a += t.w(p) * std::fabs(j11 * j22 - j12 * j21);
    }
  return a;
}

}  // namespace

TEST(BoundaryData, FixtureSectionsGiveSoundBoundaryData) {
  for (const Fixture& f : Fixtures()) {
    SCOPED_TRACE(f.name);
    InpDat d = SectionVariant(f);
    const bool multi = d.sections.nPiecesB >= 3;
    for (int kind : {1, 2}) {
      MeshRecord m;
      m.kind = static_cast<int8_t>(kind);
      const auto t0 = std::chrono::steady_clock::now();
      BuildVolumeMesh(d.setup, d.sections, d.layout, m);
      const auto t1 = std::chrono::steady_clock::now();
      BoundaryData(m, d, Tables(), multi, d.sections.nOutlines);
      const auto t2 = std::chrono::steady_clock::now();
      const Mesh3d& g = m.g;
      std::printf("[ %-9s ] %s mesh: nodes=%d elements=%d DOF=%d faces=%d gen=%.3f s boundary=%.3f s\n",
                  f.name.c_str(), kind == 1 ? "flow" : "thermal", g.nh, g.ne, 3 * g.nh + g.np, m.faces.size(),
                  std::chrono::duration<double>(t1 - t0).count(), std::chrono::duration<double>(t2 - t1).count());
      std::printf("[ %-9s ] codes:", f.name.c_str());
      for (const auto& [code, n] : CodeCounts(g)) std::printf(" %dx%d", code, n);
      std::printf("\n");

      // Boundary faces are the faces of one element only.
      EXPECT_EQ(FoundFaces(m), TopologicalBoundaryFaces(g));

      // The exit plane carries the profile section, the ram face the
      // container section.
      const Mesh2d& last = d.sections.Pieces2d(d.sections.Pieces2d.size());
      double zTop = -1e30, zBottom = 1e30;
      for (int i = 1; i <= g.np; ++i) {
        zTop = std::max(zTop, g.xyz(3, i));
        zBottom = std::min(zBottom, g.xyz(3, i));
      }
      // Tolerance: the regularisation sqrt(J^2 + 1e-5) of the measure adds
      // about 5e-6 / J per unit weight.
      const double topArea = QuadraticArea(last);
      EXPECT_NEAR(PlaneArea(m, zTop, 1.0f), topArea, 5e-6 * topArea);
      double exitArea = 0.0;
      for (int k = 1; k < (multi ? d.sections.Pieces2d.size() : 2); ++k) exitArea += QuadraticArea(d.sections.Pieces2d(k));
      EXPECT_NEAR(PlaneArea(m, zBottom, -1.0f), exitArea, 5e-6 * exitArea);
      // The expected exit speed carries the ram's volume through all holes.
      EXPECT_NEAR(d.model.VProfAnalit * exitArea / (d.setup.RamSpeed * topArea), 1.0, 1e-3);

      // Unit nodal normals, finite fields, codes with their corner offset.
      for (const BndNode& b : m.bnd) ASSERT_NEAR(b.nx * b.nx + b.ny * b.ny + b.nz * b.nz, 1.0, 1e-5);
      std::map<int, int> kinds;
      for (int i = 1; i <= g.nh; ++i) {
        for (int k = 1; k <= kNumFld; ++k) ASSERT_TRUE(std::isfinite(m.fld(k, i))) << "node " << i << " field " << k;
        const int code = g.BoundaryConditions(i);
        ASSERT_EQ(code >= 64, i <= g.np) << "node " << i << " code " << code;
        ++kinds[KindOfCode(code)];
      }
      // Free profile surface, container wall and its corner with the die,
      // ram face; symmetry kinds only in the half model.
      EXPECT_GT(kinds[1], 0);
      EXPECT_GT(kinds[4], 0);
      EXPECT_GT(kinds[8] + kinds[2] + kinds[3], 0);
      EXPECT_GT(kinds[10], 0);
      if (!multi) {
        EXPECT_GT(kinds[7], 0);
      }
      // The tube's inner outline bounds a fixed mandrel: held on the ram
      // face, laterally down to the die face, a bearing, then free.
      for (int i = 1; i <= g.nh && d.sections.SplitMode == 2 && !multi; ++i) {
        const double z = g.xyz(3, i);
        const int want = z > zTop - 1e-3 ? 10 : z > d.layout.Z1 - 1e-3 ? 4 : z > d.layout.ZoneZ(1) - 1e-3 ? 9 : 1;
        const bool onCore = NearOutlinePoint(d.sections.Outlines(4), g.xyz(1, i), g.xyz(2, i), 1e-3);
        EXPECT_TRUE(!onCore || KindOfCode(g.BoundaryConditions(i)) == want) << z;
      }
      const int sym = kinds[2] + kinds[3] + kinds[5] + kinds[6];
      if (f.name == "half") {
        EXPECT_GT(kinds[5], 0);
      } else {
        EXPECT_EQ(sym, 0);
      }
    }
  }
}
