// Writes the first result file of a real variant into the current directory
// and prints its corner-node and wedge counts, for the legacy-reader check.
// Without an argument the variant is the bundled example; the environment
// variable KALMORA_FIXTURE names one of the profile fixtures instead.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "driver/variant_steps.h"
#include "input/read_text_data.h"
#include "input/variants.h"
#include "mesh2d/outline_file.h"
#include "mesh2d/outline_shapes.h"
#include "support/profile_fixtures.h"

namespace fs = std::filesystem;

int main() {
  ElementTables tab;
  iniELEM(tab);
  RunState run;
  for (const auto& e : fs::directory_iterator(fs::path(KALMORA_EXAMPLES_DIR) / "round-bar"))
    fs::copy_file(e.path(), e.path().filename(), fs::copy_options::overwrite_existing);
  ReadTextData(run.input);
  GenVariants(run);
  InpDat& d = run.inp_dat(1);
  if (const char* name = std::getenv("KALMORA_FIXTURE")) {
    const Fixture* f = nullptr;
    for (const Fixture& x : Fixtures())
      if (x.name == name) f = &x;
    if (f == nullptr) {
      std::fprintf(stderr, "unknown fixture %s\n", name);
      return 2;
    }
    std::string err;
    if (!WriteOutlineFile("fixture.olf", ParseOutlineDescription(f->name, f->outlines, err))) return 1;
    d.setup.FileOutline = "fixture.olf";
    d.setup.ProfType = f->profType;
    d.setup.AxialLen = 20.0;
  }
  int iVar = 1;
  PrapareOneVariant(iVar, run.nodes(1), run.nodes_t(1), d, tab);
  std::fflush(stdout);
  // The counts go on a line of their own after the progress lines; the
  // reader check takes the last line.
  std::printf("%d %d\n", run.nodes(1).g.np, run.nodes(1).g.ne);
  return 0;
}
