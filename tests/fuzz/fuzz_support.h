#pragma once
// Shared parts of the fuzz targets.
//
// The readers stop the run through Fatal on bad input.  In the fuzz targets
// Fatal throws FuzzStop instead of ending the process (fuzz_fatal.cpp), so a
// clean refusal is an ordinary outcome and only crashes, sanitizer reports
// and hangs count as findings.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

struct FuzzStop {};

// Writes the input to a file of this process and returns its path: the
// readers take file names.
inline std::string FuzzFile(const uint8_t* data, std::size_t size, const char* suffix) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/kalmora_fuzz_" +
                           std::to_string(static_cast<long>(getpid())) + suffix;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) __builtin_trap();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) __builtin_trap();
  std::fclose(f);
  return path;
}

// Progress and warning lines of the readers go nowhere while fuzzing.
inline void QuietStdout() {
  static const bool done = std::freopen("/dev/null", "w", stdout) != nullptr;
  (void)done;
}
