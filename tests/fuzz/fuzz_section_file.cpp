// Fuzz target: the cross-section file reader.
#include "fuzz_support.h"
#include "mesh2d/section_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  QuietStdout();
  InpDat d;
  d.setup.File2d = FuzzFile(data, size, ".f2d");
  try {
    ReadSection2d(d.setup, d.sections);
  } catch (const FuzzStop&) {
  }
  return 0;
}
