#pragma once
// The bundled example prepared for a benchmark in the emptied folder
// "<temp>/kalmora_bench_<name>"; or the example's process with another
// profile geometry.

#include <filesystem>
#include <string>

#include "support/example_case.h"

inline std::filesystem::path PrepareBenchExample(const std::string& name, const ElementTables& tab, RunState& run,
                                                 int level3d = 0, ExampleLevel at = ExampleLevel::AfterVariants,
                                                 bool prepare = true) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("kalmora_bench_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  PrepareExampleIn(dir, tab, run, level3d, at, prepare);
  return dir;
}

// The example's input with the binary outline file `outline` in place of
// its own (profile, intermediate ring and container bore from that file),
// volume mesh level `level3d` and cross-section mesh level `level2d` (0:
// the example's), prepared as variant 1 in "<temp>/kalmora_bench_<name>".
inline std::filesystem::path PrepareBenchOutline(const std::string& name, const std::filesystem::path& outline,
                                                 const ElementTables& tab, RunState& run, int level3d,
                                                 int level2d) {
  namespace fs = std::filesystem;
  const fs::path source = fs::absolute(outline);
  const fs::path dir = fs::temp_directory_path() / ("kalmora_bench_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  CopyExampleInto(dir);
  fs::copy_file(source, dir / "round-bar.olf", fs::copy_options::overwrite_existing);
  PrepareCaseIn(dir, tab, run, level3d, ExampleLevel::BeforeVariants, true, level2d);
  return dir;
}
