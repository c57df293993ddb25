// The bundled example prepared up to its first result file: the billet
// arrives cooled, between the tool and the furnace temperature, coldest at
// the container wall.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "output/write_paraview.h"
#include "support/example_case.h"
#include "support/scratch.h"

namespace fs = std::filesystem;

namespace {

// Coordinates and temperatures of the nodes of a legacy VTK result file.
struct ResultNodes {
  std::vector<double> x, y, T;
};

ResultNodes ReadResult(const fs::path& file) {
  std::ifstream in(file);
  ResultNodes r;
  std::string word;
  while (in >> word) {
    if (word == "POINTS") {
      int n = 0;
      in >> n >> word;
      for (int i = 0; i < n; ++i) {
        double x, y, z;
        in >> x >> y >> z;
        r.x.push_back(x);
        r.y.push_back(y);
      }
    } else if (word == "SCALARS") {
      in >> word;
      if (word != "Temperature") continue;
      std::string type, lookup, table;
      int comps = 0;
      in >> type >> comps >> lookup >> table;
      for (std::size_t i = 0; i < r.x.size(); ++i) {
        double t;
        in >> t;
        r.T.push_back(t);
      }
    }
  }
  return r;
}

}  // namespace

TEST(PreHeatExample, FirstResultFileShowsTheCooledBillet) {
  const fs::path dir = ScratchDir("preheat_example");
  ElementTables tab;
  iniELEM(tab);
  RunState run;
  ::testing::internal::CaptureStdout();
  PrepareExampleIn(dir, tab, run);
  const std::string out = ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(run.nVar, 1);
  const InpDat& d = run.inp_dat(1);
  const ResultNodes res = ReadResult(dir / ParaViewTwinName(1));

  // The cooling runs between the flow mesh and the thermal mesh.
  const std::vector<std::string> want = {
      " PrapareOneVariant>  Gen_gr3d ok iVar=1\n",
      "     PrapareOneVariant>>PRE_heat_main, start, iVar=1\n",
      "     PrapareOneVariant>>PRE_heat_main, ok, iVar=1\n",
      "     PrapareOneVariant>>Gen_gr3d, start, nodes_t, iVar=1\n",
  };
  std::size_t pos = 0;
  for (const std::string& line : want) {
    const std::size_t at = out.find(line, pos);
    ASSERT_NE(at, std::string::npos) << line << "in\n" << out;
    pos = at + line.size();
  }

  ASSERT_GT(res.T.size(), 100u);
  ASSERT_EQ(res.T.size(), res.x.size());
  double wallMax = -1e9, coreMin = 1e9, Tmin = 1e9, Tmax = -1e9, rMax = 0;
  for (std::size_t i = 0; i < res.T.size(); ++i) rMax = std::max(rMax, std::hypot(res.x[i], res.y[i]));
  for (std::size_t i = 0; i < res.T.size(); ++i) {
    const double r = std::hypot(res.x[i], res.y[i]), T = res.T[i];
    EXPECT_GE(T, d.setup.ToolTemp);
    EXPECT_LE(T, d.setup.BilletTemp);
    Tmin = std::min(Tmin, T);
    Tmax = std::max(Tmax, T);
    if (r > rMax - 0.1) wallMax = std::max(wallMax, T);
    if (r < 0.2 * rMax) coreMin = std::min(coreMin, T);
  }
  const double t = (d.setup.LenB - d.setup.LenA) / d.setup.RamSpeed;
  std::printf("example: section of %d nodes cooled %.2f s in %.0f steps of %.4f s; %zu result nodes, T from %.2f "
              "(wall up to %.2f) to %.2f (core from %.2f), tools %.1f, billet %.1f\n",
              d.sections.Sect2d(1).nh, t - d.model.HeatDt, std::round(t / d.model.HeatDt) - 1, d.model.HeatDt, res.T.size(), Tmin, wallMax, Tmax,
              coreMin, d.setup.ToolTemp, d.setup.BilletTemp);
  EXPECT_NEAR(rMax, 50.0, 0.1);  // the container bore
  EXPECT_LT(wallMax, coreMin);   // the wall is colder than the core everywhere
  EXPECT_LE(wallMax - Tmin, 0.05);  // and carries the lowest temperatures
  EXPECT_LT(Tmax, d.setup.BilletTemp - 1.0);  // the whole billet has cooled
  EXPECT_GT(Tmin, d.setup.ToolTemp + 1.0);    // but not down to the tools
}
