#pragma once
// The bundled example examples/round-bar read and prepared in a folder of
// its own: input, variants, optional volume mesh level, cross-sections and
// both volume meshes of variant 1.  Needs KALMORA_EXAMPLES_DIR.

#include <cstdint>
#include <filesystem>

#include "driver/variant_steps.h"
#include "input/read_text_data.h"
#include "input/variants.h"
#include "support/scratch.h"

// Where a volume mesh level override goes: into the run input before the
// variants are generated (every variant inherits it), or into the record of
// variant 1 after.
enum class ExampleLevel { BeforeVariants, AfterVariants };

// Reads the input file in `dir` and generates the variants into `run`, sets
// the volume mesh level `level3d` and the cross-section level `level2d` (0:
// the input's own) and, with `prepare`, prepares variant 1 into
// run.inp_dat(1), run.nodes(1) and run.nodes_t(1).  The prepared files stay
// in `dir`; the working folder is the caller's again on return.
inline void PrepareCaseIn(const std::filesystem::path& dir, const ElementTables& tab, RunState& run, int level3d,
                          ExampleLevel at, bool prepare, int level2d = 0) {
  namespace fs = std::filesystem;
  const fs::path home = fs::current_path();
  fs::current_path(dir);
  ReadTextData(run.input);
  if (level3d > 0 && at == ExampleLevel::BeforeVariants) run.input.setup.MeshLevel3d = static_cast<int8_t>(level3d);
  if (level2d > 0) run.input.setup.MeshLevel = static_cast<int8_t>(level2d);
  GenVariants(run);
  if (level3d > 0 && at == ExampleLevel::AfterVariants) run.inp_dat(1).setup.MeshLevel3d = static_cast<int8_t>(level3d);
  if (prepare) {
    int iVar = 1;
    PrapareOneVariant(iVar, run.nodes(1), run.nodes_t(1), run.inp_dat(1), tab);
  }
  fs::current_path(home);
}

// Copies the example's files into the empty folder `dir` and prepares them
// there as PrepareCaseIn does.
inline void PrepareExampleIn(const std::filesystem::path& dir, const ElementTables& tab, RunState& run,
                             int level3d = 0, ExampleLevel at = ExampleLevel::AfterVariants, bool prepare = true) {
  CopyExampleInto(dir);
  PrepareCaseIn(dir, tab, run, level3d, at, prepare);
}
