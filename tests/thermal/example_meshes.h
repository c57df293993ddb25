#pragma once
// Test fixture: the bundled example variant prepared in a scratch directory
// (cross-sections, flow and thermal volume meshes with boundary data and
// initial fields), built once per test program.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "driver/variant_steps.h"
#include "input/read_text_data.h"
#include "input/variants.h"
#include "support/element_tables.h"
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
  for (const auto& e : fs::directory_iterator(fs::path(KALMORA_EXAMPLES_DIR) / "round-bar"))
    fs::copy_file(e.path(), dir / e.path().filename());
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  RunState run;
  ReadTextData(run.input);
  GenVariants(run);
  PreparedExample p;
  p.inp = run.inp_dat(1);
  if (level3d > 0) p.inp.MeshLevel3d = static_cast<int8_t>(level3d);
  int iVar = 1;
  PrapareOneVariant(iVar, p.nodes, p.nodes_t, p.inp, Tables());
  fs::current_path(old);
  fs::remove_all(dir);
  return p;
}

inline const PreparedExample& Example() {
  static const PreparedExample p = PrepareExample();
  return p;
}
