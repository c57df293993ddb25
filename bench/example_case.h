#pragma once
// The bundled example prepared for a benchmark in the emptied folder
// "<temp>/kalmora_bench_<name>".

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
