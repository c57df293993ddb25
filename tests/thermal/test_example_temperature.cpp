#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "solver/field_solve.h"
#include "thermal/example_meshes.h"
#include "thermal/perenos.h"

// The example's thermal mesh after the first transfer, solved once with
// flow, exchange and the heat of plastic deformation but without friction:
// every temperature lies between the coldest of the held top plane, the
// tools and the surroundings of the free faces and the hottest of them plus
// the adiabatic rise of the plastic work (at most p / (rho c), about 90 K
// for the example's 230 MPa), and the change reported is the change made.
// The temperature goes back to the flow mesh within the same range.
TEST(SteadyTemperatureOnTheExample, StaysWithinItsBoundaryTemperaturesAndReportsItsChange) {
  const PreparedExample& ex = Example();
  MeshRecord t = ex.nodes_t;
  InpDat inp = ex.inp;
  // The billet at 480 everywhere, the ram face (top plane) included, so
  // that the tools at 450 and the surroundings at 50 cool it.
  for (int i = 1; i <= t.g.nh; ++i) t.fld(kFldT, i) = 480.0f;
  const MeshRecord before = t;
  Sol_Def(t, Tables(), SolveMode::Temperature, inp);
  const double lo = std::min({50.0, inp.setup.ToolTemp, 480.0}), hi = std::max({50.0, inp.setup.ToolTemp, 480.0}) + 90.0;
  double change = 0, coldest = 1e30, zTop = -1e300;
  for (int i = 1; i <= t.g.np; ++i) zTop = std::max(zTop, t.g.xyz(3, i));
  for (int i = 1; i <= t.g.nh; ++i) {
    const double T = t.fld(kFldT, i);
    ASSERT_TRUE(std::isfinite(T)) << i;
    ASSERT_GE(T, lo - 0.01 * (hi - lo)) << i;
    ASSERT_LE(T, hi + 0.01 * (hi - lo)) << i;
    change = std::max(change, std::fabs(T - before.fld(kFldT, i)));
    coldest = std::min(coldest, T);
    if (t.g.xyz(3, i) >= zTop - 0.01) {
      ASSERT_NEAR(t.fld(kFldT, i), 480.0, 1e-3) << i;
    }
  }
  EXPECT_NEAR(inp.iter.ConvT, change, 1e-3);
  EXPECT_LT(coldest, 480.0 - 1.0);  // the exchange cools the billet
  EXPECT_EQ(inp.iter.nUnknownsT, t.g.nh);
  MeshRecord flow = ex.nodes;
  Perenos_3d(t, flow, 3);
  for (int i = 1; i <= flow.g.nh; ++i) {
    ASSERT_GE(flow.fld(kFldT, i), lo - 0.05 * (hi - lo)) << i;
    ASSERT_LE(flow.fld(kFldT, i), hi + 0.05 * (hi - lo)) << i;
  }
}
