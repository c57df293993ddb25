// Time of the serial preparation of one variant of the bundled example: the
// cross-section meshes and their file, the working section, the flow and
// thermal volume meshes with their boundary data and the first result file.
// Prints the mesh sizes as counters.

#include <benchmark/benchmark.h>

#include <filesystem>

#include "driver/variant_steps.h"
#include "input/read_text_data.h"
#include "input/variants.h"

namespace fs = std::filesystem;

static void BM_PrepareExampleVariant(benchmark::State& state) {
  const fs::path dir = fs::temp_directory_path() / "kalmora_bench_prepare";
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const auto& e : fs::directory_iterator(fs::path(KALMORA_EXAMPLES_DIR) / "round-bar"))
    fs::copy_file(e.path(), dir / e.path().filename());
  fs::current_path(dir);
  ElementTables tab;
  iniELEM(tab);
  RunState run;
  ReadTextData(run.input);
  GenVariants(run);
  for (auto _ : state) {
    int iVar = 1;
    InpDat d = run.inp_dat(1);
    MeshRecord nodes, nodes_t;
    PrapareOneVariant(iVar, nodes, nodes_t, d, tab);
    benchmark::DoNotOptimize(nodes.g.nh);
    state.counters["flow_nodes"] = nodes.g.nh;
    state.counters["flow_wedges"] = nodes.g.ne;
    state.counters["flow_unknowns"] = d.DOF;
    state.counters["thermal_nodes"] = nodes_t.g.nh;
    state.counters["thermal_wedges"] = nodes_t.g.ne;
  }
}
BENCHMARK(BM_PrepareExampleVariant)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
