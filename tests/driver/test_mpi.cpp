// The MPI build under mpirun: ranks that share the variants leave what one
// process leaves, and a stop on any rank ends the job.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/scratch.h"
#include "support/text_files.h"

namespace fs = std::filesystem;

namespace {

struct JobRun {
  int status = -1;
  std::vector<std::string> out, err;
};

// The program in `dir` on one thread per process, under mpirun with `ranks`
// ranks or alone (ranks 0).
JobRun RunIn(const fs::path& dir, int ranks) {
  const std::string launch = ranks == 0 ? "OMP_NUM_THREADS=1 " :
      std::string(KALMORA_MPIEXEC) + (geteuid() == 0 ? " --allow-run-as-root" : "") + " --oversubscribe -n " +
      std::to_string(ranks) + " -x OMP_NUM_THREADS=1 ";
  const std::string cmd = "cd '" + dir.string() + "' && " + launch + "'" KALMORA_EXE "' >out.txt 2>err.txt";
  const int st = std::system(cmd.c_str());
  return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, Lines(ReadFile(dir / "out.txt")), Lines(ReadFile(dir / "err.txt"))};
}

// Six short variants of the example: two ram speeds, three billet
// temperatures, coarsest meshes, one coupled iteration.
fs::path SixVariants(const std::string& name) {
  const fs::path dir = ExampleScratch(name);
  EditLines(dir / "indata.txt", {{"1                  number of ram speeds", "2  ram speeds\n5.0"},
                                 {"5.0                ram speed", "8.0"},
                                 {"1                  number of billet temperatures", "3  temperatures\n440.0\n520.0"},
                                 {"2                  MeshLevel3d", "1"},
                                 {"2                  MeshLevel:", "1"},
                                 {"25                 MaxIter", "1"}});
  return dir;
}

// A file's lines without the log's wall-time line.
std::string Content(const fs::path& p) {
  std::string kept;
  for (const std::string& line : Lines(ReadFile(p)))
    if (line.rfind("   wall time, s:", 0) != 0) kept += line + "\n";
  return kept;
}

// Console lines without the progress lines, which carry wall times.
std::vector<std::string> Steady(const std::vector<std::string>& lines) {
  std::vector<std::string> kept;
  for (const std::string& l : lines)
    if (l.rfind(" variant ", 0) != 0 || l.find(" finished in ") == std::string::npos) kept.push_back(l);
  return kept;
}

}  // namespace

TEST(MpiSweep, RanksShareTheVariantsAndLeaveTheFilesOfOneProcess) {
  const fs::path alone = SixVariants("alone"), three = SixVariants("three"), one = SixVariants("one");
  const JobRun a = RunIn(alone, 0), b = RunIn(three, 3), c = RunIn(one, 1);
  for (const JobRun* r : {&a, &b, &c}) ASSERT_EQ(r->status, 0) << (r->err.empty() ? "" : r->err[0]);
  int files = 0;
  for (const auto& e : fs::directory_iterator(alone)) {
    const std::string f = e.path().filename().string();
    if (f == "out.txt" || f == "err.txt") continue;
    ++files;
    EXPECT_EQ(Content(e.path()), Content(three / f)) << f;
    EXPECT_EQ(Content(e.path()), Content(one / f)) << f;
  }
  EXPECT_EQ(files, 3 + 6 * 4 + 1);  // input, outline text and file; per variant .f2d .inf .vtk .vtu; summary
  EXPECT_EQ(Steady(c.out), Steady(a.out));
  // Every console line of the shared run is a whole line of the single run
  // (its phase and kernel lines aside), and every variant's line is there.
  std::vector<std::string> want, got;
  for (const std::string& l : Steady(a.out))
    if (l != " " && l != " SERIAL CALCULATION FINISH " && l.rfind(" Numbers of avaible kernels", 0) != 0) want.push_back(l);
  for (const std::string& l : b.out)
    if (l != " " && l.rfind(" Kalmora>  MPI: ", 0) != 0) got.push_back(l);
  std::sort(want.begin(), want.end());
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, want);
  // The table closes the output, in variant order.
  ASSERT_GE(b.out.size(), 7u);
  EXPECT_TRUE(std::equal(b.out.end() - 7, b.out.end(), a.out.end() - 7));
}

TEST(MpiSweep, AStopOnAnyRankEndsTheJobWithItsMessageAndNoSummary) {
  // A truncated outline file, the first of two: rank 0 stops before any
  // variant is handed out.
  const fs::path bad = SixVariants("badoutline");
  EditLines(bad / "indata.txt", {{"1                  number of outline files", "2  outline files\ncut.olf"}});
  WriteFile(bad / "cut.olf", ReadFile(bad / "round-bar.olf").substr(0, 100));
  // Every log file blocked by a folder: the first rank to solve stops.
  const fs::path blocked = SixVariants("blocked");
  for (int v = 1; v <= 6; ++v) fs::create_directories(blocked / ("Variant_" + std::to_string(v) + ".inf") / "x");
  for (const auto& [dir, message] : {std::pair{bad, "cut.olf: outline file ends at byte 100"},
                                     std::pair{blocked, ".inf: cannot create the variant log file"}}) {
    WriteFile(dir / "kalmora_summary.csv", "left over from an earlier run\n");
    const JobRun r = RunIn(dir, 3);
    EXPECT_NE(r.status, 0);
    // The message, and after it whatever mpirun says about the abort.
    EXPECT_TRUE(std::any_of(r.err.begin(), r.err.end(), [&](const std::string& l) { return l.find(message) != std::string::npos; }))
        << (r.err.empty() ? "" : r.err[0]);
    EXPECT_FALSE(fs::exists(dir / "kalmora_summary.csv"));
  }
  EXPECT_FALSE(fs::exists(bad / "extrusion_var_1.f2d"));
}
