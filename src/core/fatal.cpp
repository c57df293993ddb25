#include "core/fatal.h"

#include <cstdio>
#include <cstdlib>

void Fatal(std::string_view message) {
  std::fflush(stdout);
  std::string line(message);
  line.push_back('\n');
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  std::exit(1);
}
