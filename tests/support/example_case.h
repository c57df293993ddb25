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

// Copies the example's files into the empty folder `dir`, reads the input
// there and generates the variants into `run`, sets the volume mesh level
// `level3d` (0: the example's own) and, with `prepare`, prepares variant 1
// into run.inp_dat(1), run.nodes(1) and run.nodes_t(1).  The prepared files
// stay in `dir`; the working folder is the caller's again on return.
inline void PrepareExampleIn(const std::filesystem::path& dir, const ElementTables& tab, RunState& run,
                             int level3d = 0, ExampleLevel at = ExampleLevel::AfterVariants, bool prepare = true) {
  namespace fs = std::filesystem;
  CopyExampleInto(dir);
  const fs::path home = fs::current_path();
  fs::current_path(dir);
  ReadTextData(run.input);
  if (level3d > 0 && at == ExampleLevel::BeforeVariants) run.input.MeshLevel3d = static_cast<int8_t>(level3d);
  GenVariants(run);
  if (level3d > 0 && at == ExampleLevel::AfterVariants) run.inp_dat(1).MeshLevel3d = static_cast<int8_t>(level3d);
  if (prepare) {
    int iVar = 1;
    PrapareOneVariant(iVar, run.nodes(1), run.nodes_t(1), run.inp_dat(1), tab);
  }
  fs::current_path(home);
}
