#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct RunResult {
  int status = -1;        // exit status of the program
  std::string out;        // standard output
  std::string err;        // standard error
};

// Runs the program in `dir` and captures both streams.
RunResult RunIn(const fs::path& dir) {
  const fs::path errFile = dir / "stderr.txt";
  const std::string cmd = "cd '" + dir.string() + "' && '" KALMORA_EXE "' 2>'" + errFile.string() + "'";
  RunResult r;
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  std::ifstream e(errFile);
  std::stringstream ss;
  ss << e.rdbuf();
  r.err = ss.str();
  return r;
}

std::vector<std::string> Lines(const std::string& s) {
  std::vector<std::string> out;
  std::istringstream in(s);
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

// A scratch copy of the bundled example.
fs::path ExampleCopy(const std::string& name) {
  const fs::path dir = fs::path(::testing::TempDir()) / ("kalmora_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const auto& e : fs::directory_iterator(fs::path(KALMORA_EXAMPLES_DIR) / "round-bar"))
    fs::copy_file(e.path(), dir / e.path().filename());
  return dir;
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const fs::path& p, const std::string& s) { std::ofstream(p) << s; }

// Replaces the first line of `text` that starts with `prefix`.
std::string ReplaceLine(std::string text, const std::string& prefix, const std::string& line) {
  const std::size_t pos = text.find("\n" + prefix);
  EXPECT_NE(pos, std::string::npos) << prefix;
  const std::size_t end = text.find('\n', pos + 1);
  return text.replace(pos + 1, end - pos - 1, line);
}

// Asserts that the lines appear in this order (not necessarily adjacent).
void ExpectInOrder(const std::vector<std::string>& got, const std::vector<std::string>& want) {
  std::size_t k = 0;
  for (const std::string& line : got)
    if (k < want.size() && line == want[k]) ++k;
  EXPECT_EQ(k, want.size()) << "missing or out of order: \"" << (k < want.size() ? want[k] : "") << "\"";
}

}  // namespace

TEST(Run, ExamplePrintsEveryPhaseInOrderAndExitsZero) {
  const fs::path dir = ExampleCopy("example");
  const RunResult r = RunIn(dir);
  EXPECT_EQ(r.status, 0) << r.err;
  const auto lines = Lines(r.out);
  ExpectInOrder(lines, {" SERIAL CALCULATION START ", " Kalmora>  iniELEM start ", " Kalmora>  iniELEM ok ",
                        " Kalmora>  ReadTextData, GenVariants start ", " Kalmora>  ReadTextData, GenVariants ok ",
                        " PrapareOneVariant>  iVar= 1", " PrapareOneVariant>  Run_gr_2d start iVar=1",
                        " PrapareOneVariant>  Run_gr_2d ok iVar=1", " SERIAL CALCULATION FINISH ", " ", " ",
                        " PARALLEL CALCULATION START ", " SolverOneVariant>  iVar= 1",
                        " PARALLEL CALCULATION FINISH "});
  EXPECT_EQ(lines.back(), " PARALLEL CALCULATION FINISH ");
  bool kernels = false;
  for (const auto& l : lines) kernels = kernels || l.rfind(" Numbers of avaible kernels =", 0) == 0;
  EXPECT_TRUE(kernels);
  // The cross-section file and both names of the first result file exist.
  EXPECT_TRUE(fs::exists(dir / "extrusion_var_1.f2d"));
  EXPECT_EQ(ReadFile(dir / "kalm3d_Var_1.vtu"), ReadFile(dir / "kalm3d_Var_1.vtk"));
  EXPECT_NE(ReadFile(dir / "kalm3d_Var_1.vtu").find("UNSTRUCTURED_GRID"), std::string::npos);
  // The variant's log file is written and closed.
  EXPECT_NE(ReadFile(dir / "Variant_1.inf").find(" SolverOneVariant> DOF="), std::string::npos);
  EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST(Run, ThreeZoneLayoutWithTwoExtraZoneLengthsSolvesTwoVariantsInParallel) {
  const fs::path dir = ExampleCopy("threezone");
  std::string text = ReadFile(dir / "indata.txt");
  text = ReplaceLine(text, "1                  number of extra-zone lengths", "2   extra-zone lengths");
  text = ReplaceLine(text, "0.0                extra-zone length", "20.0\n40.0");
  text = ReplaceLine(text, "1                  ProfType", "3   ProfType: three zones");
  WriteFile(dir / "indata.txt", text);
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

TEST(Run, EmptyVariationListStillPrintsEveryPhase) {
  const fs::path dir = ExampleCopy("empty");
  std::string text = ReadFile(dir / "indata.txt");
  text = ReplaceLine(text, "1                  number of billet temperatures", "0   no billet temperature");
  text = ReplaceLine(text, "480.0", "");
  WriteFile(dir / "indata.txt", text);
  const RunResult r = RunIn(dir);
  EXPECT_EQ(r.status, 0) << r.err;
  const auto lines = Lines(r.out);
  ExpectInOrder(lines, {" SERIAL CALCULATION START ", " Kalmora>  iniELEM start ", " Kalmora>  iniELEM ok ",
                        " Kalmora>  ReadTextData, GenVariants start ", " Kalmora>  ReadTextData, GenVariants ok ",
                        " SERIAL CALCULATION FINISH ", " PARALLEL CALCULATION START ", " PARALLEL CALCULATION FINISH "});
  for (const auto& l : lines) EXPECT_EQ(l.find("iVar"), std::string::npos) << l;
}

TEST(Run, BadInputStopsWithOneLineNamingFileLineAndItem) {
  {
    const fs::path dir = ExampleCopy("missing");
    fs::remove(dir / "indata.txt");
    const RunResult r = RunIn(dir);
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(Lines(r.err), std::vector<std::string>{"indata.txt: cannot open the input file: No such file or directory"});
  }
  {
    const fs::path dir = ExampleCopy("badtype");
    WriteFile(dir / "indata.txt", ReplaceLine(ReadFile(dir / "indata.txt"), "10                 MaxIter", "ten  MaxIter"));
    const RunResult r = RunIn(dir);
    EXPECT_NE(r.status, 0);
    ASSERT_EQ(Lines(r.err).size(), 1u) << r.err;
    EXPECT_NE(r.err.find("indata.txt:89: expected an integer (iteration limit MaxIter), found \"ten\""), std::string::npos)
        << r.err;
  }
  {
    const fs::path dir = ExampleCopy("short");
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
    const fs::path dir = ExampleCopy("nooutline");
    fs::remove(dir / "round-bar.olf");
    const RunResult r = RunIn(dir);
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(Lines(r.err), std::vector<std::string>{"round-bar.olf: cannot open the outline file: No such file or directory"});
    EXPECT_FALSE(fs::exists(dir / "extrusion_var_1.f2d"));
  }
  {
    // A truncated outline file named by the second of two variants stops the
    // run before the first variant writes anything.
    const fs::path dir = ExampleCopy("badoutline");
    std::string text = ReadFile(dir / "indata.txt");
    text = ReplaceLine(text, "1                  number of outline files", "2   outline files");
    text = ReplaceLine(text, "round-bar.olf", "round-bar.olf\ncut.olf");
    WriteFile(dir / "indata.txt", text);
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
