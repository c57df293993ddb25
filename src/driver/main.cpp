// Kalmora: steady hot extrusion of metal profiles, several process variants
// per run.  Reads "indata.txt" in the current directory; takes no arguments.

#include <cstdio>
#include <memory>

#include "core/records.h"
#include "driver/variant_steps.h"

int main(int argc, char** argv) {
  if (argc > 1) {
    std::fprintf(stderr,
                 "usage: %s\n"
                 "Runs the extrusion variants described by indata.txt in the current directory.\n"
                 "Writes Variant_<n>.inf (log), extrusion_var_<n>.f2d (cross-sections) and\n"
                 "kalm3d_Var_<n>.vtu / .vtk (results) there.  Takes no arguments.\n",
                 argv[0]);
    return 2;
  }
  auto run = std::make_unique<RunState>();
  auto tables = std::make_unique<ElementTables>();
  return RunKalmora(*run, *tables);
}
