// Final results of a variant and the run summary: the values taken from the
// records (signs, units, the exit plane, the converged flag), the CSV round
// trip with awkward file names and non-finite values, the exact header, the
// aligned console table and the error paths of writing and reading.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "output/extruded_mesh.h"
#include "output/summary.h"
#include "post/exit_balance.h"
#include "support/grid_mesh2d.h"
#include "support/scratch.h"
#include "support/text_files.h"

namespace fs = std::filesystem;

namespace {

VariantResult Sample(int n) {
  VariantResult r;
  r.variant = n;
  r.ramSpeed = 5.0 * n;
  r.billetTemp = 480.0 - n;
  r.extraLength = 0.0;
  r.outlineFile = "round-bar.olf";
  r.iterations = 6 + n;
  r.converged = n % 2;
  r.ramForce = 2345.678 * n;
  r.ramPressure = 298.765;
  r.flowStress = 31.25;
  r.tempMax = 512.5;
  r.tempMin = 448.125;
  r.tempExit = 505.0;
  r.vprofRatio = 1.0234567;
  r.kritDvMax = 1.5e-7;
  r.dV = -1.0153731e-15;
  r.shift1 = 0.0;
  r.twist1 = -12.5;
  r.exitSpeedSpread = 3.5 * n;
  r.ramPower = 9.125 * n;
  r.plasticHeat = 6.5;
  r.frictionHeat = 2.25;
  r.energyImbalance = -1.75;
  return r;
}

void ExpectSame(double a, double b) {
  if (std::isnan(a)) {
    EXPECT_TRUE(std::isnan(b));
  } else if (std::isinf(a)) {
    EXPECT_EQ(a, b);
  } else {
    EXPECT_NEAR(b, a, 1e-6 * std::abs(a));
  }
}

// A two-level flow mesh of one square whose exit plane (z = 100) holds
// temperatures 400 + x and whose top plane holds 480.
MeshRecord TwoLevelMesh() {
  Section6 s;
  s.nv = 4;
  s.xy = {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {1, 0}, {2, 1}, {1, 2}, {0, 1}, {1, 1}};
  s.tri = {{1, 2, 3, 9, 5, 6}, {1, 3, 4, 9, 7, 8}};
  MeshRecord m;
  ExtrudeSection(s, {100.0, 110.0}, m);
  for (int i = 1; i <= m.g.nh; ++i)
    m.fld(kFldT, i) = static_cast<float>(m.g.xyz(3, i) < 100.001 ? 400.0 + m.g.xyz(1, i) : 480.0);
  return m;
}

}  // namespace

TEST(Summary, ResultTakesFinalValuesWithCompressionPositiveAndForceInKilonewtons) {
  InpDat d;
  d.setup.RamSpeed = 5.0;
  d.setup.BilletTemp = 480.0;
  d.setup.AxialLen = 20.0;
  d.setup.FileOutline = "angle.olf";
  d.setup.MaxIter = 10;
  d.iter.i_iterat = 5;  // four iterations, converged
  d.iter.Stage = 1000;
  d.results.FORSE = -2.5e6;
  d.results.Psr = -318.3;
  d.iter.Tsr = 33.0;
  d.iter.VProfFEM = 130.0;
  d.model.VProfAnalit = 125.0;
  d.iter.Krit_dV_MAX = 0.25;
  d.results.dV = 1e-3;
  d.results.IntRes(1) = 0.5;
  d.results.IntRes(2) = 7.0;
  const MeshRecord m = TwoLevelMesh();
  d.results.TempExit = ExitPlaneTemperature(m);
  const VariantResult r = CollectResult(4, d, m);
  EXPECT_EQ(r.variant, 4);
  EXPECT_EQ(r.iterations, 4);
  EXPECT_EQ(r.converged, 1);
  EXPECT_DOUBLE_EQ(r.ramForce, 2500.0);
  EXPECT_DOUBLE_EQ(r.ramPressure, 318.3);
  EXPECT_DOUBLE_EQ(r.vprofRatio, 1.04);
  EXPECT_DOUBLE_EQ(r.tempMax, 480.0);
  EXPECT_DOUBLE_EQ(r.tempMin, 400.0);
  // Exit plane: 9 nodes with x = 0, 1, 2 three times each, mean x = 1.
  EXPECT_NEAR(r.tempExit, 401.0, 1e-9);
  EXPECT_EQ(r.outlineFile, "angle.olf");
  EXPECT_DOUBLE_EQ(r.shift1, 0.5);
  EXPECT_DOUBLE_EQ(r.twist1, 7.0);
  // The pressed billet's mean temperature is exact for a field quadratic
  // in each triangle: T = 400 + x^2 over the square 0..2 has the mean 400 + 4/3.
  Mesh2d sec;
  sec.ne = 2;
  sec.nh = 9;
  sec.xy.assign(9);
  sec.Tnew.assign(9);
  const Point2 xy[9] = {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {1, 0}, {2, 1}, {1, 2}, {0, 1}, {1, 1}};
  for (int i = 1; i <= 9; ++i) sec.xy(i) = xy[i - 1], sec.Tnew(i) = 400.0 + xy[i - 1][0] * xy[i - 1][0];
  sec.nop.assign(6, 2, 0);
  const int tri[2][6] = {{1, 2, 3, 9, 5, 6}, {1, 3, 4, 8, 9, 7}};
  for (int e = 1; e <= 2; ++e)
    for (int k = 1; k <= 6; ++k) sec.nop(k, e) = tri[e - 1][k - 1];
  EXPECT_NEAR(SectionMeanTemperature(sec), 400.0 + 4.0 / 3.0, 1e-12);

  d.iter.i_iterat = 10;  // the counter reached the limit
  EXPECT_EQ(CollectResult(4, d, m).converged, 0);
  d.iter.i_iterat = 3;
  d.iter.Stage = 200;  // stopped inside the iteration
  EXPECT_EQ(CollectResult(4, d, m).converged, 0);
  d.sections.nPiecesB = 1;  // no distortion computed
  EXPECT_TRUE(std::isnan(CollectResult(4, d, m).shift1));
  EXPECT_EQ(PiecesWithDistortion(d.sections), 0);
  d.sections.nPiecesB = 9;
  EXPECT_EQ(PiecesWithDistortion(d.sections), 4);

  // Exit-speed balance: axial speed 10 + x + y on the exit plane z = 100
  // (x, y in {0, 1, 2}; the level above, at 99 mm/s, must not count); two
  // holes, rows y = 0, 1 (mean 11.5) and row y = 2 (mean 13); together mean
  // 12, speeds 10 to 14, spread 33.3 %.
  MeshRecord v = TwoLevelMesh();
  for (int i = 1; i <= v.g.nh; ++i)
    v.fld(kFldVz, i) = v.g.xyz(3, i) < 100.001 ? -static_cast<float>(10.0 + v.g.xyz(1, i) + v.g.xyz(2, i)) : -99.0f;
  d.sections.Pieces2d.push_back(GridMesh2d(0, 0, 2, 1, 1, 1));
  d.sections.Pieces2d.push_back(GridMesh2d(0, 1.5, 2, 0.5, 1, 1));
  ExitSpeedBalance(v, d.sections.Pieces2d, 2, d.results.ExitPieces, d.results.ExitAll);
  EXPECT_NEAR(d.results.ExitPieces(1).mean + d.results.ExitPieces(2).spreadPct, 11.5 + 200.0 / 13.0, 1e-5);
  const std::vector<std::string> cells = SummaryCells(CollectResult(4, d, v));
  EXPECT_EQ(cells[18] + " " + cells[19], "12 33.33333");
}

TEST(Summary, CsvRoundTripKeepsEveryValueAndTheExactHeader) {
  const fs::path dir = ScratchDir("summary_roundtrip");
  std::vector<VariantResult> rows = {Sample(1), Sample(2), Sample(3)};
  rows[1].outlineFile = "profile, \"L\" 40x40.olf";
  rows[2].twist1 = std::nan("");
  rows[2].shift1 = HUGE_VAL;
  rows[2].ramForce = -1.25e-12;
  const std::string path = (dir / "kalmora_summary.csv").string();
  WriteSummary(path, rows);
  EXPECT_FALSE(fs::exists(path + ".tmp"));
  const std::string text = ReadFile(path);
  EXPECT_EQ(text.substr(0, text.find('\n')),
            "variant,ram_speed_mm_s,billet_temp_C,extra_length_mm,outline_file,iterations,converged,ram_force_kN,"
            "ram_pressure_MPa,flow_stress_MPa,temp_max_C,temp_min_C,exit_temp_C,vprof_ratio,krit_dv_max_mm_s,dV,"
            "shift_1,twist_1,exit_speed_mean_mm_s,exit_speed_spread_pct,billet_temp_pressed_C,ram_power_kW,"
            "plastic_heat_kW,friction_heat_kW,energy_imbalance_pct");
  EXPECT_EQ(text.find(" kN"), std::string::npos);  // no units in the cells
  std::vector<VariantResult> back;
  std::string err;
  ASSERT_TRUE(ReadSummary(path, back, err)) << err;
  ASSERT_EQ(back.size(), rows.size());
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const VariantResult &a = rows[k], &b = back[k];
    EXPECT_EQ(b.variant, a.variant);
    EXPECT_EQ(b.outlineFile, a.outlineFile);
    EXPECT_EQ(b.iterations, a.iterations);
    EXPECT_EQ(b.converged, a.converged);
    for (const SummaryReal& cell : kSummaryReals) ExpectSame(a.*cell.member, b.*cell.member);
  }
  // A second run replaces the summary whole.
  WriteSummary(path, {Sample(7)});
  ASSERT_TRUE(ReadSummary(path, back, err)) << err;
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].variant, 7);
}

TEST(Summary, ReadingRefusesForeignOrDamagedFilesWithFileAndLine) {
  const fs::path dir = ScratchDir("summary_damaged");
  const std::string path = (dir / "s.csv").string();
  std::vector<VariantResult> rows;
  std::string err;
  EXPECT_FALSE(ReadSummary(path, rows, err));
  EXPECT_NE(err.find("cannot open"), std::string::npos) << err;

  std::ofstream(path) << "variant,ram_speed\n1,5\n";
  EXPECT_FALSE(ReadSummary(path, rows, err));
  EXPECT_NE(err.find(":1: expected the summary header"), std::string::npos) << err;

  WriteSummary(path, {Sample(1), Sample(2)});
  const std::string text = ReadFile(path);
  std::ofstream(path) << text.substr(0, text.size() - 10) << "\n";  // last row cut short
  EXPECT_FALSE(ReadSummary(path, rows, err));
  EXPECT_NE(err.find(":3: expected " + std::to_string(kSummaryColumns) + " cells"), std::string::npos) << err;
}

TEST(Summary, ConsoleTableAlignsEveryColumn) {
  std::vector<VariantResult> rows = {Sample(1), Sample(12)};
  rows[1].outlineFile = "a-much-longer-outline-name.olf";
  const std::vector<std::string> lines = SummaryTable(rows);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("variant", 0), 0u);
  // Numbers are right-aligned: every column ends at the same place, so the
  // lines are equally long and each cell ends where its header ends.
  EXPECT_EQ(lines[1].size(), lines[0].size());
  EXPECT_EQ(lines[2].size(), lines[0].size());
  const std::size_t endForce = lines[0].find("ram_force_kN") + std::string("ram_force_kN").size();
  for (int k : {1, 2}) {
    const std::string& l = lines[static_cast<std::size_t>(k)];
    EXPECT_NE(l[endForce - 1], ' ') << l;
    EXPECT_EQ(l[endForce], ' ') << l;
  }
  EXPECT_NE(lines[2].find("a-much-longer-outline-name.olf"), std::string::npos);
}

TEST(SummaryDeathTest, UnwritableSummaryStopsTheRunAndLeavesNoFile) {
  const fs::path dir = ScratchDir("summary_unwritable");
  const std::string path = (dir / "missing-dir" / "kalmora_summary.csv").string();
  EXPECT_EXIT(WriteSummary(path, {Sample(1)}), ::testing::ExitedWithCode(1),
              "kalmora_summary.csv: cannot write the run summary");
  EXPECT_FALSE(fs::exists(path));
  // An old summary that cannot be removed stops the run before any work.
  fs::create_directories(dir / "kalmora_summary.csv" / "inside");
  EXPECT_EXIT(RemoveSummary((dir / "kalmora_summary.csv").string()), ::testing::ExitedWithCode(1),
              "cannot remove the summary of an earlier run");
  const std::string old = (dir / "old.csv").string();
  WriteSummary(old, {Sample(1)});
  RemoveSummary(old);
  EXPECT_FALSE(fs::exists(old));
  RemoveSummary(old);  // nothing to remove is fine
}

TEST(Summary, OneWarningLineWhenATemperatureExceedsTheLawLimit) {
  InpDat d;
  d.setup.mat.MatTmax = 600.0;
  const MeshRecord cool = TwoLevelMesh();  // 400 .. 480 deg C
  MeshRecord hot = TwoLevelMesh();
  hot.fld(kFldT, 5) = 612.5f;
  hot.fld(kFldT, 6) = 605.0f;
  const fs::path path = ScratchDir("summary_warning") / "log.inf";
  std::FILE* log = std::fopen(path.string().c_str(), "w");
  testing::internal::CaptureStdout();
  WarnAboveLawLimit(log, 3, d.setup, cool, cool);
  WarnAboveLawLimit(log, 3, d.setup, cool, hot);
  const std::string out = testing::internal::GetCapturedStdout();
  std::fclose(log);
  // One line, on the console with the variant number, in the log without:
  // the hottest nodal temperature of either mesh and the law's limit.
  ASSERT_EQ(Lines(out).size(), 1u) << out;
  const std::string line = Lines(out)[0];
  const std::string tail = " iVar=3";
  ASSERT_EQ(line.rfind(tail), line.size() - tail.size()) << line;
  EXPECT_EQ(ReadFile(path), line.substr(0, line.size() - tail.size()) + "\n");
  auto valueAfter = [&line](const std::string& key) {
    const std::size_t at = line.find(key);
    return at == std::string::npos ? std::nan("") : std::stod(line.substr(at + key.size()));
  };
  EXPECT_EQ(valueAfter("largest temperature "), 612.5) << line;
  EXPECT_EQ(valueAfter("above MatTmax "), 600.0) << line;
}
