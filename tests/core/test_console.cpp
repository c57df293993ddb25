#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/console.h"
#include "support/scratch.h"
#include "support/text_files.h"

TEST(Console, LogLinesReachTheFileBeforeItIsClosed) {
  // A variant log is followed with tail -f while the variant runs and must
  // keep its lines when the run is stopped: each line is on disk at once.
  const std::string path = ScratchFile("variant.inf");
  std::FILE* log = std::fopen(path.c_str(), "w");
  ASSERT_NE(log, nullptr);
  LogLine(log, TextLine("Iteration ") << int32_t{3});
  LogLine(log, TextLine("Psr, MPa = ") << 227.5);
  EXPECT_EQ(ReadFile(path), " Iteration 3\n Psr, MPa = 227.5\n");
  std::fclose(log);
}
