// Fuzz target: the outline description parser of the outline tool, then the
// geometry check of what it parsed, as the tool runs them.
#include "fuzz_support.h"
#include "mesh2d/outline_check.h"
#include "mesh2d/outline_shapes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  QuietStdout();
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    std::string error;
    OutlineFileData d;
    d.outlines = ParseOutlineDescription("fuzz.txt", text, error);
    if (!error.empty() || d.outlines.empty()) return 0;
    for (RawOutline& o : d.outlines) o.name.resize(6, ' ');
    d.nOutlines = static_cast<int32_t>(d.outlines.size());
    AssignOutlineSlots(d);
    (void)CheckOutlineGeometry("fuzz.olf", d, 1);
    (void)CheckOutlineGeometry("fuzz.olf", d, 7);
  } catch (const FuzzStop&) {
  }
  return 0;
}
