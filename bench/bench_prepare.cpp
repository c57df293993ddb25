// Time of the serial preparation of one variant of the bundled example: the
// cross-section meshes and their file, the working section, the flow and
// thermal volume meshes with their boundary data and the first result file.
// Prints the mesh sizes as counters.

#include <benchmark/benchmark.h>

#include <filesystem>

#include "example_case.h"

namespace fs = std::filesystem;

static void BM_PrepareExampleVariant(benchmark::State& state) {
  ElementTables tab;
  iniELEM(tab);
  RunState run;
  // Variant 1 read and generated only; every timed run prepares it afresh
  // in the example's folder, where it writes its files.  The folder is
  // emptied on each call of this function, so the working folder goes back
  // afterwards.
  const fs::path home = fs::current_path();
  fs::current_path(PrepareBenchExample("prepare", tab, run, 0, ExampleLevel::AfterVariants, false));
  for (auto _ : state) {
    int iVar = 1;
    InpDat d = run.inp_dat(1);
    MeshRecord nodes, nodes_t;
    PrapareOneVariant(iVar, nodes, nodes_t, d, tab);
    benchmark::DoNotOptimize(nodes.g.nh);
    state.counters["flow_nodes"] = nodes.g.nh;
    state.counters["flow_wedges"] = nodes.g.ne;
    state.counters["flow_unknowns"] = d.iter.DOF;
    state.counters["thermal_nodes"] = nodes_t.g.nh;
    state.counters["thermal_wedges"] = nodes_t.g.ne;
  }
  fs::current_path(home);
}
BENCHMARK(BM_PrepareExampleVariant)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
