#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "solver/blas_core.h"
#include "support/scratch.h"
#include "support/text_files.h"

namespace fs = std::filesystem;

namespace {

struct RunResult {
  int status = -1;        // exit status of the program
  std::string out;        // standard output
  std::string err;        // standard error
};

// Runs the program in `dir` (with the environment settings `env`, e.g.
// "OMP_NUM_THREADS=1", and the arguments `args`) and captures both streams.
RunResult RunIn(const fs::path& dir, const std::string& env = "", const std::string& args = "") {
  const fs::path errFile = dir / "stderr.txt";
  const std::string cmd =
      "cd '" + dir.string() + "' && " + env + " '" KALMORA_EXE "' " + args + " 2>'" + errFile.string() + "'";
  RunResult r;
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  r.err = ReadFile(errFile);
  return r;
}

// Both mesh levels of a scratch copy of the example set to 1, for runs that
// check files, threads or volumes rather than results that depend on the mesh.
void CoarsestMeshes(const fs::path& dir) {
  EditLines(dir / "indata.txt", {{"2                  MeshLevel3d", "1   MeshLevel3d"}, {"2                  MeshLevel:", "1   MeshLevel:"}});
}

// Asserts that the lines appear in this order (not necessarily adjacent).
void ExpectInOrder(const std::vector<std::string>& got, const std::vector<std::string>& want) {
  std::size_t k = 0;
  for (const std::string& line : got)
    if (k < want.size() && line == want[k]) ++k;
  EXPECT_EQ(k, want.size()) << "missing or out of order: \"" << (k < want.size() ? want[k] : "") << "\"";
}

// Binary outline file of named point lists (int16 counts, float32 x then y,
// 6-character names at the end), written byte by byte.
void WriteOutlines(const fs::path& p, const std::vector<std::pair<std::string, std::vector<float>>>& outlines) {
  std::string b;
  auto i16 = [&](int v) {
    b.push_back(static_cast<char>(v & 0xff));
    b.push_back(static_cast<char>((v >> 8) & 0xff));
  };
  auto f32 = [&](float f) {
    unsigned char c[4];
    std::memcpy(c, &f, 4);
    b.append(reinterpret_cast<const char*>(c), 4);
  };
  i16(-static_cast<int>(outlines.size()));
  for (const auto& [name, xy] : outlines) {
    const int n = static_cast<int>(xy.size() / 2);
    i16(n / 2);
    i16(n);
    for (int k = 0; k < n; ++k) f32(xy[2 * k]);
    for (int k = 0; k < n; ++k) f32(xy[2 * k + 1]);
  }
  for (const auto& o : outlines) b += (o.first + "      ").substr(0, 6);
  std::ofstream(p, std::ios::binary) << b;
}

// Points (x1, y1, x2, y2, ...) of a circle of diameter d, nSeg segments.
std::vector<float> Circle(double d, int nSeg) {
  std::vector<float> xy;
  for (int k = 0; k < 2 * nSeg; ++k) {
    const double a = M_PI * k / nSeg;
    xy.push_back(static_cast<float>(0.5 * d * std::cos(a)));
    xy.push_back(static_cast<float>(0.5 * d * std::sin(a)));
  }
  return xy;
}

// Names of the files a run leaves besides the input it was given.
std::vector<std::string> Written(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string n = e.path().filename().string();
    if (n.rfind("Variant_", 0) == 0 || n.rfind("extrusion_var_", 0) == 0 || n.rfind("kalm3d_", 0) == 0)
      out.push_back(n);
  }
  return out;
}

}  // namespace

TEST(Run, ExamplePrintsEveryPhaseInOrderAndExitsZero) {
  const fs::path dir = ExampleScratch("example");
  EditLines(dir / "indata.txt", {{"25                 MaxIter", "2   MaxIter: the phases need no converged solve"}});
  // The phases do not depend on the linear solver: the sparse one where this
  // build has it, and the log's second line names it.
  const bool sparse = RunIn(dir, "", "--help").out.find("not in this build") == std::string::npos;
  const RunResult r = RunIn(dir, "", sparse ? "--solver sparse" : "");
  EXPECT_EQ(r.status, 0) << r.err;
  const auto lines = Lines(r.out);
  ExpectInOrder(lines, {" SERIAL CALCULATION START ", " Kalmora>  iniELEM start ", " Kalmora>  iniELEM ok ",
                        " Kalmora>  ReadTextData, GenVariants start ", " Kalmora>  ReadTextData, GenVariants ok ",
                        " PrapareOneVariant>  iVar= 1", " PrapareOneVariant>  Run_gr_2d start iVar=1",
                        " PrapareOneVariant>  Run_gr_2d ok iVar=1", " SERIAL CALCULATION FINISH ", " ", " ",
                        " PARALLEL CALCULATION START ", " SolverOneVariant>  iVar= 1",
                        " PARALLEL CALCULATION FINISH "});
  // After the last phase line only the summary table follows.
  const auto finish = std::find(lines.begin(), lines.end(), " PARALLEL CALCULATION FINISH ");
  ASSERT_NE(finish, lines.end());
  ASSERT_EQ(lines.end() - finish, 5);
  EXPECT_EQ(finish[2], " Results of the run (kalmora_summary.csv):");
  EXPECT_EQ(finish[3].rfind(" variant  ram_speed_mm_s", 0), 0u) << finish[3];
  std::string first;
  std::istringstream(finish[4]) >> first;
  EXPECT_EQ(first, "1") << finish[4];
  bool kernels = false;
  for (const auto& l : lines) kernels = kernels || l.rfind(" Numbers of avaible kernels =", 0) == 0;
  EXPECT_TRUE(kernels);
  // The cross-section file and both names of the first result file exist.
  EXPECT_TRUE(fs::exists(dir / "extrusion_var_1.f2d"));
  EXPECT_EQ(ReadFile(dir / "kalm3d_Var_1.vtu"), ReadFile(dir / "kalm3d_Var_1.vtk"));
  EXPECT_NE(ReadFile(dir / "kalm3d_Var_1.vtu").find("UNSTRUCTURED_GRID"), std::string::npos);
  // The variant's log file is written and closed.
  EXPECT_NE(ReadFile(dir / "Variant_1.inf").find(" SolverOneVariant> DOF="), std::string::npos);
  EXPECT_EQ(Lines(ReadFile(dir / "Variant_1.inf"))[1].rfind(sparse ? " SolverOneVariant> linear solver: sparse (MUMPS"
                                                                   : " SolverOneVariant> linear solver: frontal", 0), 0u);
  // A sparse run names the BLAS kernels it ran with; a fallback to old
  // kernels that the program can mend has been mended by its restart.
  const std::string solverLine = Lines(ReadFile(dir / "Variant_1.inf"))[1];
  const std::size_t core = solverLine.find("OpenBLAS kernels ");
  if (core != std::string::npos) {
    const std::string name = solverLine.substr(core + 17, solverLine.find(')', core) - core - 17);
    EXPECT_EQ(BlasCoreToRequest(DetectCpuVectorUnits(), name.c_str(), std::getenv("OPENBLAS_CORETYPE")), nullptr)
        << solverLine;
  }
  EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST(Run, ThreeZoneLayoutWithTwoExtraZoneLengthsSolvesTwoVariantsInParallel) {
  const fs::path dir = ExampleScratch("threezone");
  EditLines(dir / "indata.txt", {{"1                  number of extra-zone lengths", "2   extra-zone lengths"},
                                 {"0.0                extra-zone length", "20.0\n40.0"},
                                 {"1                  ProfType", "3   ProfType: three zones"},
                                 {"25                 MaxIter", "2   MaxIter: two coupled iterations suffice here"}});
  CoarsestMeshes(dir);
  const RunResult r = RunIn(dir);
  ASSERT_EQ(r.status, 0) << r.err;
  int checks = 0;
  for (const std::string& line : Lines(r.out)) {
    const std::string key = " SolverOneVariant>  Jacob_contr finish dV=";
    if (line.rfind(key, 0) != 0) continue;
    ++checks;
    EXPECT_LT(std::fabs(std::stod(line.substr(key.size()))), 0.005) << line;
  }
  EXPECT_EQ(checks, 2);
  for (int v = 1; v <= 2; ++v) {
    const std::string n = std::to_string(v);
    EXPECT_TRUE(fs::exists(dir / ("extrusion_var_" + n + ".f2d")));
    EXPECT_TRUE(fs::exists(dir / ("kalm3d_Var_" + n + ".vtk")));
    EXPECT_NE(ReadFile(dir / ("Variant_" + n + ".inf")).find(" iVar=" + n), std::string::npos);
    // Three cross-section meshes per variant.
    EXPECT_EQ(ReadFile(dir / ("extrusion_var_" + n + ".f2d")).substr(0, 5), " 3 2\n");
  }
  // The longer extra zone gives the larger mesh.
  EXPECT_NE(ReadFile(dir / "kalm3d_Var_1.vtk"), ReadFile(dir / "kalm3d_Var_2.vtk"));
}

TEST(Run, EmptyVariationListIsRefusedBeforeAnyVariantFile) {
  // An empty list leaves no variant to compute: a mistake in the input that
  // is named, not a successful run that writes nothing.
  const fs::path dir = ExampleScratch("empty");
  EditLines(dir / "indata.txt", {{"1                  number of billet temperatures", "0   no billet temperature"},
                                 {"480.0", ""}});
  const RunResult r = RunIn(dir);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(Lines(r.err), std::vector<std::string>{"indata.txt:56: the list of billet temperatures is empty, so there "
                                                   "is no variant to compute; expected a count of 1 or more"});
  const auto lines = Lines(r.out);
  ExpectInOrder(lines, {" SERIAL CALCULATION START ", " Kalmora>  ReadTextData, GenVariants start "});
  for (const auto& l : lines) EXPECT_EQ(l.find("iVar"), std::string::npos) << l;
  EXPECT_FALSE(fs::exists(dir / "Variant_1.inf"));
}

TEST(Run, BadInputStopsWithOneLineNamingFileLineAndItem) {
  {
    const fs::path dir = ExampleScratch("missing");
    fs::remove(dir / "indata.txt");
    const RunResult r = RunIn(dir);
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(Lines(r.err), std::vector<std::string>{"indata.txt: cannot open the input file: No such file or directory"});
  }
  {
    const fs::path dir = ExampleScratch("badtype");
    EditLines(dir / "indata.txt", {{"25                 MaxIter", "ten  MaxIter"}});
    const RunResult r = RunIn(dir);
    EXPECT_NE(r.status, 0);
    ASSERT_EQ(Lines(r.err).size(), 1u) << r.err;
    EXPECT_NE(r.err.find("indata.txt:89: expected an integer (iteration limit MaxIter), found \"ten\""), std::string::npos)
        << r.err;
  }
  {
    const fs::path dir = ExampleScratch("short");
    std::string text = ReadFile(dir / "indata.txt");
    text.resize(text.find("--- mesh and control ---"));
    WriteFile(dir / "indata.txt", text);
    const RunResult r = RunIn(dir);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("indata.txt:82: expected a line (heading of the mesh controls), found end of file"),
              std::string::npos)
        << r.err;
  }
  {
    const fs::path dir = ExampleScratch("nooutline");
    fs::remove(dir / "round-bar.olf");
    const RunResult r = RunIn(dir);
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(Lines(r.err), std::vector<std::string>{"round-bar.olf: cannot open the outline file: No such file or directory"});
    EXPECT_FALSE(fs::exists(dir / "extrusion_var_1.f2d"));
  }
  {
    // A truncated outline file named by the second of two variants stops the
    // run before the first variant writes anything.
    const fs::path dir = ExampleScratch("badoutline");
    EditLines(dir / "indata.txt", {{"1                  number of outline files", "2   outline files"},
                                   {"round-bar.olf", "round-bar.olf\ncut.olf"}});
    std::string bytes = ReadFile(dir / "round-bar.olf");
    bytes.resize(100);
    WriteFile(dir / "cut.olf", bytes);
    const RunResult r = RunIn(dir);
    EXPECT_NE(r.status, 0);
    ASSERT_EQ(Lines(r.err).size(), 1u) << r.err;
    EXPECT_NE(r.err.find("cut.olf: outline file ends at byte 100"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "extrusion_var_1.f2d"));
    EXPECT_FALSE(fs::exists(dir / "kalm3d_Var_1.vtu"));
  }
}

TEST(Run, ImpossibleInputIsRefusedWithOneLineBeforeAnyFile) {
  struct Case {
    std::string name, prefix, line;  // scratch name, line to replace (its start), replacement
    std::string want;                // the one line on standard error
  };
  const std::vector<Case> cases = {
      {"speedneg", "5.0                ram speed", "-5.0  ram speed",
       "indata.txt:55: ram speed is -5 mm/s; expected a speed above 0 (the ram pushes the billet)"},
      {"speedzero", "5.0                ram speed", "0  ram speed",
       "indata.txt:55: ram speed is 0 mm/s; expected a speed above 0 (the ram pushes the billet)"},
      {"billethot", "480.0", "1e30",
       "indata.txt:57: billet temperature is 1e+30 deg C; expected a temperature above absolute zero (-273.15) and "
       "below 10000"},
      {"level0", "2                  MeshLevel:", "0  MeshLevel",
       "indata.txt:86: cross-section mesh level MeshLevel is 0; expected a level from 1 to 5"},
      {"hugecount", "1                  number of ram speeds", "2147483647",
       "indata.txt:54: number of ram speeds is 2147483647, but only 39 line(s) follow in the file (1 per entry)"},
  };
  for (const Case& c : cases) {
    const fs::path dir = ExampleScratch(c.name);
    EditLines(dir / "indata.txt", {{c.prefix, c.line}});
    const RunResult r = RunIn(dir);
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_EQ(Lines(r.err), std::vector<std::string>{c.want}) << c.name;
    EXPECT_TRUE(Written(dir).empty()) << c.name;
  }
}

TEST(Run, MisreadInputIsRefusedWithTheLineThatMostLikelyCausedIt) {
  // Inputs that used to run on a misreading, or stopped far from their
  // cause: each stops with one line before any file is written.
  struct Case {
    std::string name;
    std::vector<std::pair<std::string, std::string>> edits;  // line starts and replacements
    std::string want;                                        // part of the one line on standard error
  };
  const std::vector<Case> cases = {
      {"zonezero", {{"1                  ProfType", "3  ProfType"}},
       "indata.txt:71: extra-zone length is 0 mm; process type 3 (line 88) meshes its extra zone in layers and needs 1 "
       "mm or more (for no extra zone use process type 1)"},
      {"law1", {{"2                  MatLaw", "1  MatLaw"}}, "indata.txt:10: flow stress law code MatLaw is 1; expected 2 ("},
      {"type10", {{"1                  ProfType", "10  ProfType"}}, "indata.txt:88: process type ProfType is 10; expected 1 ("},
      {"comma", {{"5.0                ram speed", "2,5  ram speed"}},
       "indata.txt:55: ram speed 1 is written \"2,5\": the comma ends the value, so 2 would be read and the rest "
       "ignored; write a decimal point (2.5)"},
      // The heading line "    constant   slope" deleted (edited below).
      {"deleted", {},
       "indata.txt:31: expected a real (heat conductivity slope), found \"MatTmax:\"; most likely a line is missing "
       "somewhere from before line 27 (\"--- thermal"},
      {"count", {{"1                  number of ram speeds", "2  number of ram speeds"}},
       "; the number of ram speeds on line 54 is 2, but only 1 value line(s) follow it"},
      // Refused while the variant is prepared, from its cross-section areas.
      {"fast", {{"5.0                ram speed", "500  ram speed"}},
       "Variant_1 (ram speed 500 mm/s): estimated mean strain rate 95.8"},
      {"textoutline", {{"round-bar.olf ", "outlines.txt"}},
       "outlines.txt: is a text description of outlines (line 1: \"# Round bar die: the profile, an intermediate circle "
       "and the container bore.\"), not a binary outline file; make the binary file with \"kalmora-outline outlines.txt "
       "outlines.olf\""},
  };
  for (const Case& c : cases) {
    const fs::path dir = ExampleScratch(c.name);
    EditLines(dir / "indata.txt", c.edits);
    if (c.name == "deleted") {
      std::string text = ReadFile(dir / "indata.txt");
      const std::size_t at = text.find("    constant   slope\n");
      ASSERT_NE(at, std::string::npos);
      WriteFile(dir / "indata.txt", text.erase(at, 21));
    }
    WriteFile(dir / "kalmora_summary.csv", "left over from an earlier run\n");
    const RunResult r = RunIn(dir);
    EXPECT_EQ(r.status, 1) << c.name;
    ASSERT_EQ(Lines(r.err).size(), 1u) << c.name << ": " << r.err;
    EXPECT_NE(r.err.find(c.want), std::string::npos) << c.name << ": " << r.err;
    EXPECT_FALSE(fs::exists(dir / "kalm3d_Var_1.vtk")) << c.name;
    EXPECT_FALSE(fs::exists(dir / "kalmora_summary.csv")) << c.name;  // no stale summary passes for this run's
  }
  // Input that runs, with one warning line each: a ram speed below the flow
  // stress law's rate range, an intermediate ring too close to the profile.
  const fs::path dir = ExampleScratch("warnings");
  // No ram travel before pressing: at 0.01 mm/s any travel is hours of cooling.
  EditLines(dir / "indata.txt", {{"5.0                ram speed", "0.01  ram speed"}, {"300.0              LenB", "0  LenB"}});
  WriteOutlines(dir / "round-bar.olf", {{"WPIECE", Circle(20, 16)}, {"RING1", Circle(24, 16)}, {"CONT2", Circle(100, 24)}});
  const RunResult r = RunIn(dir, "", "--prepare-only");
  EXPECT_EQ(r.status, 0) << r.err;
  int warnings = 0;
  for (const std::string& line : Lines(r.out)) {
    if (line.find("warning") == std::string::npos) continue;
    ++warnings;
    EXPECT_TRUE(line.find("round-bar.olf: warning: the intermediate ring RING1 lies 2 mm from the profile") == 1 ||
                line.find("warning: Variant_1 (ram speed 0.01 mm/s): estimated mean strain rate 0.00") == 1)
        << line;
  }
  EXPECT_EQ(warnings, 2);
}

// A wall two elements thick: the frontal solve's thin-wall warning, in the
// console of the preparation; the sparse solver needs none.
TEST(Run, ThinWallUnderTheFrontalSolverIsWarnedOf) {
  const fs::path dir = ExampleScratch("thinwall");
  const std::vector<float> strip = {-20, -2, 0, -2, 20, -2, 20, 0, 20, 2, 0, 2, -20, 2, -20, 0};
  WriteOutlines(dir / "round-bar.olf", {{"WPIECE", strip}, {"RING1", Circle(60, 16)}, {"CONT2", Circle(100, 24)}});
  const RunResult r = RunIn(dir, "", "--prepare-only");
  ASSERT_EQ(r.status, 0) << r.err;
  // The warning names the variant and the fewest elements across the wall.
  const std::string head = " Warning iVar=1: a wall has only ";
  const std::size_t at = r.out.find(head);
  ASSERT_NE(at, std::string::npos) << r.out;
  EXPECT_EQ(std::stoi(r.out.substr(at + head.size())), 2) << r.out.substr(at, 120);
  const RunResult sparse = RunIn(dir, "", "--prepare-only --solver sparse");
  if (sparse.status == 0) {
    EXPECT_EQ(sparse.out.find(" Warning iVar=1: a wall"), std::string::npos);
  }
}

TEST(Run, FourLongListsCannotWrapTheVariantCount) {
  // 65536 entries in each of the four lists: 2^64 variants, which a 64-bit
  // product wraps to 0.
  const fs::path dir = ExampleScratch("fourlists");
  std::string text = ReadFile(dir / "indata.txt");
  // Each count line becomes 65536 and 65535 values; the value line that
  // followed the count is the last one.
  auto list = [](const std::string& value) {
    std::string s = "65536  entries";
    for (int k = 1; k < 65536; ++k) s += "\n" + value;
    return s;
  };
  text = ReplaceLine(text, "1                  number of ram speeds", list("5.0"));
  text = ReplaceLine(text, "1                  number of billet temperatures", list("480.0"));
  text = ReplaceLine(text, "1                  number of extra-zone lengths", list("0.0"));
  text = ReplaceLine(text, "1                  number of outline files", list("round-bar.olf"));
  WriteFile(dir / "indata.txt", text);
  const RunResult r = RunIn(dir);
  EXPECT_EQ(r.status, 1) << r.err;
  ASSERT_EQ(Lines(r.err).size(), 1u) << r.err;
  EXPECT_NE(r.err.find("65536 x 65536 x 65536 x 65536 variants requested"), std::string::npos) << r.err;
  EXPECT_TRUE(Written(dir).empty());
}

TEST(Run, BadOutlineGeometryIsNamedByFileOutlineAndSlot) {
  const std::vector<float> ring = Circle(50, 16), cont = Circle(100, 24);
  struct Case {
    std::string name;
    std::vector<std::pair<std::string, std::vector<float>>> outlines;
    std::string want;  // start of the one line on standard error
  };
  const std::vector<Case> cases = {
      {"crossing", {{"WPIECE", {0, 0, 15, 5, 30, 10, 30, 5, 30, 0, 15, 10, 0, 20, 0, 10}}, {"RING1", ring}, {"CONT2", cont}},
       "round-bar.olf: outline WPIECE (slot 1, the profile): crosses itself"},
      {"identical", {{"WPIECE", ring}, {"RING1", ring}, {"CONT2", cont}},
       "round-bar.olf: outline WPIECE (slot 1, the profile): lies on outline RING1 (slot 2, an intermediate ring) all "
       "along"},
      {"larger", {{"WPIECE", Circle(20, 16)}, {"RING1", ring}, {"CONT2", Circle(40, 24)}},
       "round-bar.olf: outline RING1 (slot 2, an intermediate ring): point 1 (25, 0) lies outside outline CONT2 (slot "
       "3, the container bore)"},
      {"twopoints", {{"WPIECE", {0, 0, 5, 0}}, {"RING1", ring}, {"CONT2", cont}},
       "round-bar.olf: outline WPIECE (slot 1, the profile): has only 2 points"},
      {"samepoints", {{"WPIECE", {3, 3, 3, 3, 3, 3, 3, 3}}, {"RING1", ring}, {"CONT2", cont}},
       "round-bar.olf: outline WPIECE (slot 1, the profile): all its 4 points coincide at (3, 3)"},
      {"noring", {{"WPIECE", Circle(20, 16)}, {"CONT2", cont}},
       "round-bar.olf: outline slot 2 is empty: the file holds 2 outline(s), which fill slots 1 to 2 in order, and "
       "slot 2 needs an outline with '1' in fifth place; outline CONT2 takes slot 3"},
  };
  for (const Case& c : cases) {
    const fs::path dir = ExampleScratch("geometry_" + c.name);
    WriteOutlines(dir / "round-bar.olf", c.outlines);
    const RunResult r = RunIn(dir);
    EXPECT_EQ(r.status, 1) << c.name;
    ASSERT_EQ(Lines(r.err).size(), 1u) << r.err;
    EXPECT_EQ(r.err.substr(0, c.want.size()), c.want) << c.name;
    EXPECT_TRUE(Written(dir).empty()) << c.name;
  }
}

TEST(Run, ThreadsAreBoundedAndResultsDoNotDependOnThem) {
  // Three ram speeds, solved by one thread and by three threads (more are
  // asked for than there are variants, so each variant's linear solves get
  // a nested team of two): the same files either way.  At the coarse mesh
  // level: the files' sameness does not depend on the mesh size.
  std::vector<fs::path> dirs;
  const std::vector<std::pair<std::string, std::string>> runs = {{"OMP_NUM_THREADS=1", "1"},
                                                                 {"OMP_NUM_THREADS=8", "3"}};
  for (const auto& [env, want] : runs) {
    const fs::path dir = ExampleScratch("threads" + want);
    EditLines(dir / "indata.txt", {{"1                  number of ram speeds", "3  ram speeds\n5.0\n6.0"},
                                   {"25                 MaxIter", "1   MaxIter: one coupled iteration"}});
    CoarsestMeshes(dir);
    const RunResult r = RunIn(dir, env);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = Lines(r.out);
    EXPECT_NE(std::find(lines.begin(), lines.end(), " Numbers of avaible kernels =" + want), lines.end()) << env;
    // A progress line per variant; the last to finish leaves nothing.
    for (const char* p : {" variant 1 of 3 finished in ", " variant 2 of 3 finished in ", " variant 3 of 3 finished in ",
                          " s; about 0 s left\n PARALLEL CALCULATION FINISH"})
      EXPECT_NE(r.out.find(p), std::string::npos) << p;
    dirs.push_back(dir);
  }
  for (int v = 1; v <= 3; ++v) {
    const std::string n = std::to_string(v);
    for (const std::string& f : {"extrusion_var_" + n + ".f2d", "kalm3d_Var_" + n + ".vtk", "Variant_" + n + ".inf"}) {
      ASSERT_TRUE(fs::exists(dirs[0] / f)) << f;
      // The log's wall-time line is the one line that may differ.
      auto content = [](const fs::path& p) {
        std::string kept;
        for (const std::string& line : Lines(ReadFile(p)))
          if (line.rfind("   wall time, s:", 0) != 0) kept += line + "\n";
        return kept;
      };
      EXPECT_EQ(content(dirs[0] / f), content(dirs[1] / f)) << f;
    }
  }
}

TEST(Run, OutlineToolChecksGeometryAndNumbersBeforeWriting) {
  const fs::path dir = ExampleScratch("tool");
  auto tool = [&](const std::string& text, const std::string& args = "") {
    WriteFile(dir / "d.txt", text);
    fs::remove(dir / "d.olf");
    const std::string cmd = "cd '" + dir.string() + "' && '" KALMORA_OUTLINE_EXE "' " + args + " d.txt d.olf >out.txt 2>err.txt";
    const int st = std::system(cmd.c_str());
    return std::make_pair(WIFEXITED(st) ? WEXITSTATUS(st) : -1, ReadFile(dir / "err.txt") + ReadFile(dir / "out.txt"));
  };
  auto [st, msg] = tool("outline WPIECE\ncircle 0 0 10 1e30\n");
  EXPECT_EQ(st, 1);
  EXPECT_EQ(msg, "d.txt:2: numbers must lie between -1000000 and 1000000 (mm)\n");
  std::tie(st, msg) = tool("outline WPIECE\npolygon 0 0 30 10 30 0 0 20\noutline RING1\ncircle 0 0 80\n");
  EXPECT_EQ(st, 1);
  EXPECT_EQ(msg.rfind("d.olf: outline WPIECE (slot 1, the profile): crosses itself", 0), 0u) << msg;
  EXPECT_FALSE(fs::exists(dir / "d.olf"));
  // A profile and a container only, the container named for slot 3.
  std::tie(st, msg) = tool("outline WPIECE\ncircle 0 0 20\noutline CONT2\ncircle 0 0 100\n");
  EXPECT_EQ(st, 1);
  EXPECT_NE(msg.find("outline slot 2 is empty"), std::string::npos) << msg;
  // Two holes side by side fit only the multi-hole layout: written with a
  // note, refused for a one-hole process type.
  const std::string holes = "outline WPIECE\ncircle -15 0 10\noutline HOLE1\ncircle 15 0 10\noutline CONT2\ncircle 0 0 100\n";
  std::tie(st, msg) = tool(holes);
  EXPECT_EQ(st, 0);
  EXPECT_NE(msg.find("fit the multi-hole layout only"), std::string::npos) << msg;
  std::tie(st, msg) = tool(holes, "--type 1");
  EXPECT_EQ(st, 1);
  // The README's worked example of a new profile is written and runs.
  std::tie(st, msg) = tool("outline WPIECE\nrectangle 0 0 40 10 2\noutline RING1\ncircle 0 0 70 24\noutline CONT2\n"
                           "circle 0 0 100 24\n");
  ASSERT_EQ(st, 0) << msg;
  fs::copy_file(dir / "d.olf", dir / "round-bar.olf", fs::copy_options::overwrite_existing);
  EditLines(dir / "indata.txt", {{"25                 MaxIter", "1   MaxIter: one coupled iteration"}});
  CoarsestMeshes(dir);
  const RunResult r = RunIn(dir);
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(Run, ScratchFoldersAreFreshAndUniqueSoRunsCannotCollide) {
  // Two folders of one name (as two concurrent runs of this test would ask
  // for) are distinct, exist and start empty.
  const fs::path a = ScratchDir("same"), b = ScratchDir("same");
  EXPECT_NE(a, b);
  EXPECT_TRUE(fs::is_directory(a));
  EXPECT_TRUE(fs::is_empty(b));
  WriteFile(a / "x.txt", "x");
  EXPECT_TRUE(fs::is_empty(b));
  EXPECT_EQ(a.filename().string().rfind("kalmora_same_", 0), 0u);
}

TEST(Run, HelpAndUnknownOptionsTouchNothing) {
  const fs::path dir = ExampleScratch("options");
  const RunResult help = RunIn(dir, "", "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--prepare-only"), std::string::npos);
  EXPECT_NE(help.out.find("kalmora_summary.csv"), std::string::npos);
  const RunResult bad = RunIn(dir, "", "--prepare");
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(Lines(bad.err),
            std::vector<std::string>{"kalmora: unknown option \"--prepare\" (kalmora --help lists the options)"});
  EXPECT_TRUE(bad.out.empty());
  EXPECT_EQ(RunIn(dir, "", "--prepare-only --help").status, 0);
  EXPECT_NE(help.out.find("--solver sparse"), std::string::npos);
  const RunResult solver = RunIn(dir, "", "--solver=gmres");
  EXPECT_EQ(solver.status, 2);
  EXPECT_EQ(Lines(solver.err), std::vector<std::string>{"kalmora: unknown solver \"gmres\" after --solver (frontal or sparse)"});
  const RunResult extra = RunIn(dir, "", "indata.txt");
  EXPECT_EQ(extra.status, 2);
  EXPECT_EQ(Lines(extra.err),
            std::vector<std::string>{"kalmora: unexpected argument \"indata.txt\" (kalmora --help lists the options)"});
  EXPECT_FALSE(fs::exists(dir / "extrusion_var_1.f2d"));
  EXPECT_FALSE(fs::exists(dir / "kalm3d_Var_1.vtk"));
}

TEST(Run, PrepareOnlyWritesThePreparedVariantsAndStopsBeforeTheSolve) {
  const fs::path dir = ExampleScratch("prepare");
  EditLines(dir / "indata.txt", {{"1                  number of ram speeds", "2   ram speeds"},
                                 {"5.0                ram speed", "5.0\n10.0"}});
  WriteFile(dir / "kalmora_summary.csv", "left over from an earlier run\n");
  const RunResult r = RunIn(dir, "", "--prepare-only");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto lines = Lines(r.out);
  ExpectInOrder(lines, {" PrapareOneVariant>  iVar= 1", " PrapareOneVariant>  iVar= 2", " SERIAL CALCULATION FINISH "});
  for (const auto& l : lines) {
    EXPECT_EQ(l.find("PARALLEL"), std::string::npos) << l;
    EXPECT_EQ(l.find("SolverOneVariant>  iVar"), std::string::npos) << l;
  }
  for (const char* f : {"extrusion_var_1.f2d", "extrusion_var_2.f2d", "kalm3d_Var_1.vtk", "kalm3d_Var_2.vtk"})
    EXPECT_TRUE(fs::exists(dir / f)) << f;
  EXPECT_FALSE(fs::exists(dir / "Variant_1.inf"));
  EXPECT_FALSE(fs::exists(dir / "kalmora_summary.csv"));
}

TEST(Run, FailureInOneVariantSolveStopsTheRunWithoutASummary) {
  const fs::path dir = ExampleScratch("failing");
  EditLines(dir / "indata.txt", {{"1                  number of ram speeds", "2   ram speeds"},
                                 {"5.0                ram speed", "5.0\n10.0"}});
  WriteFile(dir / "kalmora_summary.csv", "left over from an earlier run\n");
  // The log of variant 2 cannot be created: its solve stops the run.
  fs::create_directories(dir / "Variant_2.inf" / "blocked");
  const RunResult r = RunIn(dir);
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("Variant_2.inf: cannot create the variant log file"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "kalmora_summary.csv"));
  EXPECT_FALSE(fs::exists(dir / "kalmora_summary.csv.tmp"));
}
