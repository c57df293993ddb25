#pragma once
// Test fixture: the bundled example variant prepared in a scratch directory
// (cross-sections, flow and thermal volume meshes with boundary data and
// initial fields), built once per test program.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>

#include "support/element_tables.h"
#include "support/example_case.h"
#include "support/scratch.h"

struct PreparedExample {
  InpDat inp;           // the variant record after preparation
  MeshRecord nodes;     // flow mesh
  MeshRecord nodes_t;   // thermal mesh
};

// Prepares variant 1 of the example with the volume mesh level `level3d`
// (0: the example's own level).
inline PreparedExample PrepareExample(int level3d = 0) {
  namespace fs = std::filesystem;
  const fs::path dir = ScratchDir("transfer_" + std::to_string(level3d));
  RunState run;
  PrepareExampleIn(dir, Tables(), run, level3d, ExampleLevel::AfterVariants);
  fs::remove_all(dir);
  PreparedExample p;
  p.inp = std::move(run.inp_dat(1));
  p.nodes = std::move(run.nodes(1));
  p.nodes_t = std::move(run.nodes_t(1));
  return p;
}

inline const PreparedExample& Example() {
  static const PreparedExample p = PrepareExample();
  return p;
}
