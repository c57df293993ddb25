// Kalmora: steady hot extrusion of metal profiles, several process variants
// per run.  Reads "indata.txt" in the current directory.

#include <cstdio>
#include <memory>
#include <string>

#include "core/records.h"
#include "driver/command_line.h"
#include "driver/variant_steps.h"

int main(int argc, char** argv) {
  RunOptions options;
  std::string message;
  switch (ParseCommandLine(argc, argv, options, message)) {
    case CommandAction::Help:
      std::fputs(UsageText().c_str(), stdout);
      return 0;
    case CommandAction::Refuse:
      std::fprintf(stderr, "%s\n", message.c_str());
      return 2;
    case CommandAction::Run:
      break;
  }
  auto run = std::make_unique<RunState>();
  auto tables = std::make_unique<ElementTables>();
  return RunKalmora(*run, *tables, options);
}
