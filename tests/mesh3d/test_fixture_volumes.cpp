#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "fem/elements.h"
#include "input/variants.h"
#include "mesh2d/section_file.h"
#include "mesh3d/gen_gr3d.h"
#include "mesh3d/volume_check.h"
#include "post/jacob_contr.h"
#include "support/element_tables.h"
#include "support/fixture_sections.h"
#include "support/profile_fixtures.h"
#include "support/scratch.h"

namespace {


// Largest Jacobian determinant over all integration points of all wedges
// (negative when every wedge is correctly oriented) and the smallest ratio of
// the smallest to the largest |det J| inside one element.
void JacobianRange(const Mesh3d& m, double& maxDet, double& minRatio) {
  const ElemType& w = Tables().Wedge15;
  maxDet = -1e300;
  minRatio = 1e300;
  for (int e = 1; e <= m.ne; ++e) {
    double lo = 1e300, hi = 0;
    for (int g = 1; g <= w.ngp; ++g) {
      const double det = ElementDetJ(m, w, e, g);
      maxDet = std::max(maxDet, det);
      lo = std::min(lo, std::fabs(det));
      hi = std::max(hi, std::fabs(det));
    }
    minRatio = std::min(minRatio, lo / hi);
  }
}

}  // namespace

TEST(FixtureVolumes, EveryLayoutGivesOrientedWedgesOneNodePerPointAndItsVolume) {
  for (const Fixture& f : Fixtures()) {
    SCOPED_TRACE(f.name);
    InpDat d = FixtureSections(f, "vol");
    for (int kind = 1; kind <= 2; ++kind) {
      MeshRecord nodes;
      nodes.kind = static_cast<int8_t>(kind);
      Gen_gr3d(nodes, d, Tables());
      double maxDet = 0, minRatio = 0;
      JacobianRange(nodes.g, maxDet, minRatio);
      Jacob_contr(nodes, Tables().Wedge15, Tables().Tet10, d.sections, d.layout, d.results);
      std::printf("[ %-9s ] %s mesh: nodes=%d corners=%d wedges=%d dV=%.2e max detJ=%.3e min detJ ratio=%.3f\n",
                  f.name.c_str(), kind == 1 ? "flow   " : "thermal", nodes.g.nh, nodes.g.np, nodes.g.ne, d.results.dV, maxDet,
                  minRatio);
      EXPECT_LT(maxDet, 0.0);
      const auto findings = CheckVolumeMesh(nodes.g, Tables());
      EXPECT_TRUE(findings.empty()) << findings.front();
      EXPECT_LT(std::fabs(d.results.dV), 0.005);
      // Expected exit speed from volume conservation: container section over
      // the profile section (all holes of a multi-hole die together).
      const int last = d.sections.Pieces2d.size();
      double profile = d.sections.Pieces2d(1).area;
      if (d.sections.nPiecesB >= 3)
        for (int k = 2; k < last; ++k) profile += d.sections.Pieces2d(k).area;
      EXPECT_NEAR(d.model.VProfAnalit, 5.0 * d.sections.Pieces2d(last).area / profile, 1e-9 * d.model.VProfAnalit);
    }
  }
}
