#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>

#include "solver/flow_example.h"
#include "support/element_tables.h"

TEST(FlowExample, Explore) {
  PreparedExample ex;
  PrepareExample(Tables(), ex, 1);
  std::printf("nh=%d Z0=%g Z1=%g Z2=%g ZoneZ1=%g A=%g %g %g VProf=%g\n", ex.nodes.g.nh, ex.d.Z0, ex.d.Z1, ex.d.Z2,
              ex.d.ZoneZ(1), ex.d.Area2d(1), ex.d.Area2d(2), ex.d.Area2d(3), ex.d.VProfAnalit);
  StartFlowIteration(ex);
  for (int it = 1; it <= 6; ++it) {
    Mat1<float> old = ex.nodes.fld;
    FlowIteration(Tables(), ex);
    {
      double best = 0; int bn = 0;
      for (int i = 1; i <= ex.nodes.g.nh; ++i) for (int c = 1; c <= 3; ++c) {
        double dd = std::fabs(old(c, i) - ex.nodes.fld(c, i)); if (dd > best) { best = dd; bn = i; } }
      std::printf("  maxchange %g node %d code %d x=(%.2f %.2f %.2f) old=(%.2f %.2f %.2f) new=(%.2f %.2f %.2f)\n", best, bn, ex.nodes.g.BoundaryConditions(bn),
        ex.nodes.g.xyz(1,bn), ex.nodes.g.xyz(2,bn), ex.nodes.g.xyz(3,bn), old(1,bn), old(2,bn), old(3,bn), ex.nodes.fld(1,bn), ex.nodes.fld(2,bn), ex.nodes.fld(3,bn));
    }
    std::printf("it %d: ConvV=%g ConvP=%g dVSR=%g dVMAX=%g\n", it, ex.d.ConvV, ex.d.ConvP, ex.d.Krit_dV_SR, ex.d.Krit_dV_MAX);
    {
      std::map<long, double> area;
      const auto flux = PlaneFluxes(Tables(), ex.nodes, area);
      for (const auto& [z, f] : flux) std::printf("   z=%.2f A=%.1f flux/(V A0)=%.5f\n", z / 1000.0, area[z], -f / (ex.d.RamSpeed * area.rbegin()->second));
    }
    if (it == 1 || it == 6) {
      for (int i = 1; i <= ex.nodes.g.nh; ++i) {
        const double z = ex.nodes.g.xyz(3, i), r = std::hypot(ex.nodes.g.xyz(1, i), ex.nodes.g.xyz(2, i));
        if ((std::fabs(z - 155) < 1e-3 || std::fabs(z - 153.8) < 1e-3 || std::fabs(z-154.4) < 1e-3) && r < 14 && std::fabs(ex.nodes.g.xyz(2, i)) < 1.5 && ex.nodes.g.xyz(1, i) >= -0.1)
          std::printf("    node %d code %d r=%.2f z=%.2f v=(%.2f %.2f %.2f) p=%.1f\n", i, ex.nodes.g.BoundaryConditions(i), r, z,
                      ex.nodes.fld(1, i), ex.nodes.fld(2, i), ex.nodes.fld(3, i), ex.nodes.fld(4, i));
      }
    }
    if (it % 4 == 10) {
      for (const BndNode& r : ex.nodes.bnd) {
        const int c = ex.nodes.g.BoundaryConditions(r.node);
        if (c != 9 && c != 73) continue;
        const int n = r.node;
        const double x = ex.nodes.g.xyz(1, n), y = ex.nodes.g.xyz(2, n), z = ex.nodes.g.xyz(3, n);
        const double vn = ex.nodes.fld(1, n) * r.nx + ex.nodes.fld(2, n) * r.ny + ex.nodes.fld(3, n) * r.nz;
        if (std::fabs(vn) < 0.05) continue;
        std::printf("  node %d code %d r=%.2f z=%.2f n=(%.2f %.2f %.2f) v=(%.2f %.2f %.2f) vn=%.3f pen=%g vs=%g sn=%g\n", n, c,
                    std::hypot(x, y), z, r.nx, r.ny, r.nz, ex.nodes.fld(1, n), ex.nodes.fld(2, n), ex.nodes.fld(3, n), vn,
                    r.penalty, r.vScale, r.sigmaN);
      }
    }
  }
}
