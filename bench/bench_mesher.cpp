// Timings of the block mesher: resampling an outline and meshing one block,
// from the sizes the cross-section driver uses up to a block of about 2500
// elements (which needs a larger capacity than the 2500 nodes of a block).

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "mesh2d/block_mesh.h"
#include "mesh2d/block_ops.h"
#include "mesh2d/measures.h"
#include "mesh2d/resample.h"
#include "mesh2d/geometry2d.h"

namespace {


// Closed polygon, one straight quadratic segment per side.
Outline Polygon(const std::vector<Point2>& c) {
  std::vector<Point2> p;
  for (std::size_t i = 0; i < c.size(); ++i) {
    const Point2& a = c[i];
    const Point2& b = c[(i + 1) % c.size()];
    p.push_back(a);
    p.push_back({0.5 * (a[0] + b[0]), 0.5 * (a[1] + b[1])});
  }
  return OutlineFromPoints(p);
}

Outline Circle(double r, int nSeg) {
  std::vector<Point2> p;
  for (int k = 0; k < 2 * nSeg; ++k) {
    const double a = std::numbers::pi * k / nSeg;
    p.push_back({r * std::cos(a), r * std::sin(a)});
  }
  return OutlineFromPoints(p);
}

Outline UChannel() { return Polygon({{0, 0}, {40, 0}, {40, 30}, {36, 30}, {36, 5}, {4, 5}, {4, 30}, {0, 30}}); }

// Resample with (pair, pair) and mesh with (pair, pair): elements of the block.
int MeshOnce(const Outline& raw, int pair, int capacity) {
  Outline in = raw, out;
  DivSpec rs;
  rs.c1 = rs.c2 = pair;
  ResampleOutline(1, in, out, rs);
  BlockWork w;
  BuildBlock(out, pair, pair, w, capacity);
  FlagMesh(w.blockMesh, out);
  SmoothMesh(w.blockMesh);
  benchmark::DoNotOptimize(w.blockMesh.xy.data());
  return w.blockMesh.ne;
}

void Run(benchmark::State& state, const Outline& raw) {
  const int pair = static_cast<int>(state.range(0));
  const int capacity = static_cast<int>(state.range(1));
  int ne = 0;
  for (auto _ : state) ne = MeshOnce(raw, pair, capacity);
  state.counters["elements"] = ne;
  state.counters["elements/s"] = benchmark::Counter(static_cast<double>(ne), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_BlockUChannel(benchmark::State& state) { Run(state, UChannel()); }
void BM_BlockCircle(benchmark::State& state) { Run(state, Circle(50.0, 16)); }

void BM_Resample(benchmark::State& state) {
  const Outline raw = Circle(50.0, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Outline in = raw, out;
    DivSpec s;
    s.c1 = s.c2 = 32;
    ResampleOutline(1, in, out, s);
    benchmark::DoNotOptimize(out.pts.data());
  }
}

}  // namespace

// Driver sizes (S + 4 = 36, second section mesh 48 at capacity 3500), and a
// block of about 2500 elements.
BENCHMARK(BM_BlockUChannel)->Args({36, 2500})->Args({48, 3500})->Args({113, 8000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlockCircle)->Args({36, 2500})->Args({48, 3500})->Args({88, 8000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Resample)->Arg(16)->Arg(128)->Arg(400)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
