// Fuzz target: the binary outline file reader and the geometry check of both
// layouts.
#include "fuzz_support.h"
#include "mesh2d/outline_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  QuietStdout();
  const std::string path = FuzzFile(data, size, ".olf");
  try {
    OutlineFileData d;
    ReadOutlineFile(path, d);
    (void)CheckOutlineGeometry(path, d, 1);
    (void)CheckOutlineGeometry(path, d, 3);
    (void)CheckOutlineGeometry(path, d, 7);
  } catch (const FuzzStop&) {
  }
  return 0;
}
