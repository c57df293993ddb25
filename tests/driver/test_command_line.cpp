// Command line: the default run, --prepare-only, --help and the refusal of
// anything else with one line.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/command_line.h"

namespace {

CommandAction Parse(std::vector<const char*> args, RunOptions& o, std::string& msg) {
  args.insert(args.begin(), "kalmora");
  return ParseCommandLine(static_cast<int>(args.size()), args.data(), o, msg);
}

}  // namespace

TEST(CommandLine, NoArgumentRunsEverythingAndPrepareOnlyStopsBeforeTheSolve) {
  RunOptions o;
  o.prepareOnly = true;
  std::string msg;
  EXPECT_EQ(Parse({}, o, msg), CommandAction::Run);
  EXPECT_FALSE(o.prepareOnly);
  EXPECT_EQ(Parse({"--prepare-only"}, o, msg), CommandAction::Run);
  EXPECT_TRUE(o.prepareOnly);
  EXPECT_EQ(Parse({"--prepare-only", "--help"}, o, msg), CommandAction::Help);
  EXPECT_EQ(Parse({"-h"}, o, msg), CommandAction::Help);
}

TEST(CommandLine, AnythingElseIsRefusedWithOneLineNamingIt) {
  RunOptions o;
  std::string msg;
  EXPECT_EQ(Parse({"--prepare"}, o, msg), CommandAction::Refuse);
  EXPECT_EQ(msg, "kalmora: unknown option \"--prepare\" (kalmora --help lists the options)");
  EXPECT_EQ(Parse({"--help", "indata2.txt"}, o, msg), CommandAction::Refuse);
  EXPECT_EQ(msg, "kalmora: unexpected argument \"indata2.txt\" (kalmora --help lists the options)");
  EXPECT_EQ(msg.find('\n'), std::string::npos);
}

TEST(CommandLine, HelpNamesWhatIsReadAndWritten) {
  const std::string t = UsageText();
  for (const char* s : {"--prepare-only", "indata.txt", "Variant_<n>.inf", "kalm3d_Var_<n>.vtk",
                        "extrusion_var_<n>.f2d", "kalmora_summary.csv"})
    EXPECT_NE(t.find(s), std::string::npos) << s;
}
