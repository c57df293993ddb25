#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "input/read_text_data.h"
#include "support/scratch.h"

namespace {

// Writes `text` to a fresh file and returns its path.
std::string WriteTemp(const std::string& name, const std::string& text) {
  const std::string path = ScratchFile(name);
  std::ofstream(path) << text;
  return path;
}

// A complete input file; the fields in braces can be replaced by the tests.
struct InputText {
  std::string matTmax = "650.0";
  std::string speeds = "2\n4.0\n8.0";
  std::string temps = "1\n470.0";
  std::string lengths = "1\n0.0";
  std::string files = "1\n'die a.olf'";
  std::string maxIter = "25";
  std::string tool = "450";
  std::string lenA = "100";
  std::string pieceLen1 = "3";
  std::string levels = "2\n3";  // MeshLevel3d, MeshLevel

  std::string str() const {
    std::string s;
    for (int k = 0; k < 9; ++k) s += "heading line\n";
    s += "2  law\n155.5  C0\n";
    for (int k = 1; k <= 15; ++k) s += std::to_string(k) + ".0\n";
    s += "skip\nskip\n";
    s += "900 0.45 cp\n2700,0 rho\n200 0.02 lambda\n";
    s += matTmax + "  tmax\n";
    s += "skip\nskip\n4  count\n";
    for (int k = 1; k <= 15; ++k) s += "0." + std::to_string(k) + "\n";
    s += "skip\nskip\nskip\n";
    s += speeds + "\n" + temps + "\n";
    s += tool + "  tool\n300  LenB\n3000  htc\n0.9\n0.8\n0.7\n";
    s += "skip\nskip\nskip\n";
    s += lenA + "  LenA\n" + pieceLen1 + "  PieceLen1\n0.5  zone par 1\n";
    s += lengths + "\n";
    s += "0.25  ParE\n0  FaceShift\n1\n2\n3\n4\n5\n6\n";
    s += files + "\n";
    s += "skip\nskip\nskip\n";
    s += levels + "\n0\n1\n" + maxIter + "\n0\n";
    s += "end\nend\nend\n";
    return s;
  }
};

}  // namespace

TEST(ReadTextData, ReadsEveryItemInOrder) {
  RunInput in;
  ReadTextData(in, WriteTemp("full.txt", InputText{}.str()));
  EXPECT_EQ(in.setup.mat.MatLaw, 2);
  EXPECT_DOUBLE_EQ(in.setup.mat.MatC0, 155.5);
  EXPECT_DOUBLE_EQ(in.setup.mat.LawTable(1), 1.0);
  EXPECT_DOUBLE_EQ(in.setup.mat.LawTable(15), 15.0);
  EXPECT_DOUBLE_EQ(in.setup.mat.PairX(1), 900.0);
  EXPECT_DOUBLE_EQ(in.setup.mat.PairY(1), 0.45);
  EXPECT_DOUBLE_EQ(in.setup.mat.PairX(2), 2700.0);
  EXPECT_DOUBLE_EQ(in.setup.mat.PairY(3), 0.02);
  EXPECT_DOUBLE_EQ(in.setup.mat.MatTmax, 650.0);
  EXPECT_EQ(in.setup.mat.FracCount, 4);
  EXPECT_DOUBLE_EQ(in.setup.mat.FracTable(1), 0.1);
  EXPECT_DOUBLE_EQ(in.setup.mat.FracTable(15), 0.15);
  ASSERT_EQ(in.RamSpeedList.size(), 2u);
  EXPECT_DOUBLE_EQ(in.RamSpeedList[1], 8.0);
  EXPECT_DOUBLE_EQ(in.BilletTempList.at(0), 470.0);
  EXPECT_DOUBLE_EQ(in.setup.ToolTemp, 450.0);
  EXPECT_DOUBLE_EQ(in.setup.LenB, 300.0);
  EXPECT_DOUBLE_EQ(in.setup.ContactHtc, 3000.0);
  EXPECT_DOUBLE_EQ(in.setup.BcFactor(3), 0.7);
  EXPECT_DOUBLE_EQ(in.setup.LenA, 100.0);
  EXPECT_DOUBLE_EQ(in.setup.PieceLen1, 3.0);
  EXPECT_DOUBLE_EQ(in.setup.ZonePar(1), 0.5);
  EXPECT_DOUBLE_EQ(in.setup.ParE, 0.25);
  EXPECT_DOUBLE_EQ(in.setup.PieceLen2, 1.0);
  EXPECT_DOUBLE_EQ(in.setup.ZonePar(2), 2.0);
  EXPECT_DOUBLE_EQ(in.setup.PieceLen5, 5.0);
  EXPECT_DOUBLE_EQ(in.setup.ZonePar(4), 6.0);
  ASSERT_EQ(in.FileOutlineList.size(), 1u);
  EXPECT_EQ(in.FileOutlineList[0], "die a.olf");
  EXPECT_EQ(in.setup.MeshLevel3d, 2);
  EXPECT_EQ(in.setup.MeshLevel, 3);
  EXPECT_EQ(in.setup.Switch3d, 0);
  EXPECT_EQ(in.setup.ProfType, 1);
  EXPECT_EQ(in.setup.MaxIter, 25);
}

TEST(ReadTextData, DefaultsSurviveEmptyValuesAndNegativeCountsGiveEmptyLists) {
  InputText t;
  t.matTmax = ",";    // empty value: the default 1200 stays
  t.maxIter = "/";    // slash before the value: the default 10 stays
  t.speeds = "-3";    // negative count: empty list without value lines
  t.temps = "0";
  RunInput in;
  in.setup.mat.MatTmax = 5.0;
  in.setup.MaxIter = 3;
  ReadTextData(in, WriteTemp("defaults.txt", t.str()));
  EXPECT_DOUBLE_EQ(in.setup.mat.MatTmax, 1200.0);
  EXPECT_EQ(in.setup.MaxIter, 10);
  EXPECT_TRUE(in.RamSpeedList.empty());
  EXPECT_TRUE(in.BilletTempList.empty());
  EXPECT_EQ(in.FileOutlineList.size(), 1u);  // later items still line up
  EXPECT_EQ(in.setup.ProfType, 1);
}

TEST(ReadTextData, BundledExampleReads) {
  RunInput in;
  ReadTextData(in, std::string(KALMORA_EXAMPLES_DIR) + "/round-bar/indata.txt");
  EXPECT_EQ(in.RamSpeedList, std::vector<double>{5.0});
  EXPECT_EQ(in.BilletTempList, std::vector<double>{480.0});
  EXPECT_DOUBLE_EQ(in.setup.ToolTemp, 450.0);
  EXPECT_DOUBLE_EQ(in.setup.LenA, 100.0);
  EXPECT_DOUBLE_EQ(in.setup.LenB, 300.0);
  EXPECT_DOUBLE_EQ(in.setup.PieceLen1, 3.0);
  EXPECT_DOUBLE_EQ(in.setup.mat.PairX(1), 900.0);
  EXPECT_DOUBLE_EQ(in.setup.mat.PairX(2), 2700.0);
  EXPECT_DOUBLE_EQ(in.setup.mat.PairX(3), 200.0);
  EXPECT_DOUBLE_EQ(in.setup.ContactHtc, 3000.0);
  EXPECT_EQ(in.FileOutlineList, std::vector<std::string>{"round-bar.olf"});
  EXPECT_EQ(in.setup.MeshLevel, 2);
  EXPECT_EQ(in.setup.MeshLevel3d, 2);
  EXPECT_EQ(in.setup.ProfType, 1);
  EXPECT_EQ(in.setup.MaxIter, 25);
}

TEST(ReadTextDataDeath, WrongTypeAndShortFileNameTheItem) {
  InputText t;
  t.speeds = "abc";
  const std::string bad = WriteTemp("indata.txt", t.str());
  RunInput in;
  // Line 54 holds the count of ram speeds in this layout.
  EXPECT_EXIT(ReadTextData(in, bad), ::testing::ExitedWithCode(1),
              "indata.txt:54: expected an integer \\(number of ram speeds\\), found \"abc\"");
  std::string text = InputText{}.str();
  text.resize(text.find("skip\nskip\nskip\n2\n3\n"));  // ends before the mesh controls
  const std::string shortFile = WriteTemp("short.txt", text);
  EXPECT_EXIT(ReadTextData(in, shortFile), ::testing::ExitedWithCode(1),
              "short.txt:[0-9]+: expected a line \\(heading of the mesh controls\\), found end of file");
}

// Line numbers below are those of the default InputText layout: ram speeds
// on 55-56 (count on 54), billet temperature 58, tool temperature 59, LenA 68,
// PieceLen1 69, extra-zone length 72 (count 71), outline count 81,
// MeshLevel3d 86, MeshLevel 87.
TEST(ReadTextDataDeath, ImpossibleValuesStopWithFileLineAndValue) {
  struct Case {
    void (*edit)(InputText&);
    std::string want;
  };
  const std::vector<Case> cases = {
      {[](InputText& t) { t.speeds = "2\n4.0\n-5"; },
       "range.txt:56: ram speed is -5 mm/s; expected a speed above 0"},
      {[](InputText& t) { t.speeds = "1\n0.0"; }, "range.txt:55: ram speed is 0 mm/s"},
      {[](InputText& t) { t.temps = "1\n1e30"; },
       "range.txt:58: billet temperature is 1e\\+30 deg C; expected a temperature above absolute zero"},
      {[](InputText& t) { t.temps = "1\n-300"; }, "range.txt:58: billet temperature is -300 deg C"},
      {[](InputText& t) { t.matTmax = "-274"; }, "range.txt:32: the upper temperature limit MatTmax is -274 deg C"},
      {[](InputText& t) { t.tool = "-273.15"; }, "range.txt:59: tool temperature is -273.15 deg C"},
      {[](InputText& t) { t.lenA = "0"; }, "range.txt:68: LenA is 0 mm; expected an axial length above 0"},
      {[](InputText& t) { t.pieceLen1 = "-3"; }, "range.txt:69: PieceLen1 is -3 mm; expected a length of 0 or more"},
      {[](InputText& t) { t.lengths = "1\n-0.5"; }, "range.txt:72: extra-zone length is -0.5 mm"},
      {[](InputText& t) { t.levels = "0\n3"; }, "range.txt:86: volume mesh level MeshLevel3d is 0; expected a level from 1 to 5"},
      {[](InputText& t) { t.levels = "2\n0"; }, "range.txt:87: cross-section mesh level MeshLevel is 0; expected a level from 1 to 5"},
      {[](InputText& t) { t.levels = "2\n-3"; }, "range.txt:87: cross-section mesh level MeshLevel is -3"},
      // Counts are held against the rest of the file before any list is sized.
      {[](InputText& t) { t.speeds = "2147483647"; },
       "range.txt:54: number of ram speeds is 2147483647, but only 38 line\\(s\\) follow in the file"},
      {[](InputText& t) { t.files = "300000000"; },
       "range.txt:81: number of outline files is 300000000, but only 12 line\\(s\\) follow"},
  };
  for (const Case& c : cases) {
    InputText t;
    c.edit(t);
    const std::string path = WriteTemp("range.txt", t.str());
    RunInput in;
    EXPECT_EXIT(ReadTextData(in, path), ::testing::ExitedWithCode(1), c.want) << c.want;
  }
}

TEST(ReadTextData, ValuesBeyondTheDocumentedRangeRunWithOneWarningEach) {
  InputText t;
  t.matTmax = "600";
  t.temps = "2\n650\n480";
  t.levels = "7\n9";
  RunInput in;
  const std::string path = WriteTemp("warn.txt", t.str());
  ::testing::internal::CaptureStdout();
  ReadTextData(in, path);
  const std::string out = ::testing::internal::GetCapturedStdout();
  // Values are kept as read; the meshers and the law decide what they use.
  EXPECT_EQ(in.setup.MeshLevel, 9);
  EXPECT_EQ(in.setup.MeshLevel3d, 7);
  EXPECT_EQ(in.BilletTempList, (std::vector<double>{650.0, 480.0}));
  const std::string want =
      " " + path + ":58: warning: billet temperature 650 deg C lies above the upper temperature limit 600 deg C of the "
      "flow stress law; the law uses 600 deg C there\n"
      " " + path + ":87: warning: volume mesh level MeshLevel3d 7 lies above 5; the finest layering, that of level 5, is "
      "used\n"
      " " + path + ":88: warning: cross-section mesh level MeshLevel 9 lies above 5; the finest setting is used (32 "
      "divisions per outline)\n";
  EXPECT_EQ(out, want);
  // The lines of the four list counts are kept for later messages.
  EXPECT_EQ(in.InputFile, path);
  EXPECT_EQ(in.ListCountLine(1), 54);
  EXPECT_EQ(in.ListCountLine(2), 57);
  EXPECT_EQ(in.ListCountLine(3), 72);
  EXPECT_EQ(in.ListCountLine(4), 82);
}
