// Field transfer between the flow and the thermal mesh of the bundled
// example, with the grid index and with the element scan, at the example's
// volume mesh level and at the finest level; then one steady temperature
// solve of the example's thermal mesh.  Prints sizes and processor times
// (best of several runs; the code is serial, and processor time does not
// count the waits of a shared machine) and checks that both searches give
// the same fields.

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>

#include "example_case.h"
#include "solver/field_solve.h"
#include "thermal/perenos.h"

namespace {

double BestSeconds(int runs, const std::function<void()>& f) {
  double best = 1e300;
  for (int k = 0; k < runs; ++k) {
    const std::clock_t t0 = std::clock();
    f();
    const std::clock_t t1 = std::clock();
    best = std::min(best, static_cast<double>(t1 - t0) / CLOCKS_PER_SEC);
  }
  return best;
}

struct Prepared {
  InpDat inp;
  MeshRecord nodes, nodes_t;
};

Prepared Prepare(const ElementTables& tab, const std::string& name, int level3d) {
  RunState run;
  PrepareBenchExample(name, tab, run, level3d, ExampleLevel::AfterVariants);
  Prepared p;
  p.inp = std::move(run.inp_dat(1));
  p.nodes = std::move(run.nodes(1));
  p.nodes_t = std::move(run.nodes_t(1));
  return p;
}

bool SameField(const MeshRecord& a, const MeshRecord& b) {
  for (int i = 1; i <= a.g.nh; ++i)
    for (int f = 1; f <= kNumFld; ++f)
      if (a.fld(f, i) != b.fld(f, i)) return false;
  return true;
}

void TransferFigures(const Prepared& p, int level) {
  const int runs = 3;
  std::printf("level %d: flow mesh %d nodes %d wedges, thermal mesh %d nodes %d wedges\n", level,
              p.nodes.g.nh, p.nodes.g.ne, p.nodes_t.g.nh, p.nodes_t.g.ne);
  struct Dir {
    const char* name;
    const MeshRecord* src;
    const MeshRecord* dst;
    int mode;
  } dirs[2] = {{"flow->thermal (mode 2)", &p.nodes, &p.nodes_t, 2}, {"thermal->flow (mode 3)", &p.nodes_t, &p.nodes, 3}};
  for (const Dir& d : dirs) {
    MeshRecord a = *d.dst, b = *d.dst;
    const double ti = BestSeconds(runs, [&] { Perenos_3dWith(*d.src, a, d.mode, TransferSearch::Index); });
    const double ts = BestSeconds(level >= 5 ? 1 : runs, [&] { Perenos_3dWith(*d.src, b, d.mode, TransferSearch::Scan); });
    std::printf("  %-24s index %9.4f s   scan %9.4f s   scan/index %7.1f   same fields: %s\n", d.name, ti, ts, ts / ti,
                SameField(a, b) ? "yes" : "NO");
  }
}

}  // namespace

int main() {
  ElementTables tab;
  iniELEM(tab);
  Prepared ex = Prepare(tab, "transfer/example", 0);
  const int level = ex.inp.setup.MeshLevel3d;
  Prepared fine = Prepare(tab, "transfer/finest", 5);
  std::fflush(stdout);
  std::printf("\n");
  TransferFigures(ex, level);
  TransferFigures(fine, 5);

  // One steady temperature solve of the example after the first transfer,
  // with the friction constants of the coupled iteration.
  for (Prepared* p : {&ex, &fine}) {
    p->inp.model.FricA = 0.9499999992549419;
    p->inp.model.FricB = 0.05000000074505806;
    MeshRecord t = p->nodes_t;
    FrontPlanStats plan{};
    const double ts = BestSeconds(p == &ex ? 2 : 1, [&] {
      t = p->nodes_t;
      plan = Sol_Def(t, tab, SolveMode::Temperature, p->inp);
    });
    float lo = 1e30f, hi = -1e30f;
    for (int i = 1; i <= t.g.nh; ++i) {
      lo = std::min(lo, t.fld(kFldT, i));
      hi = std::max(hi, t.fld(kFldT, i));
    }
    std::printf("steady temperature, level %d: %d unknowns, front %lld, %.4f s, T %.1f..%.1f deg C, ConvT %.2f\n",
                p->inp.setup.MeshLevel3d, p->inp.iter.nUnknownsT, static_cast<long long>(plan.FrontDim), ts, lo, hi,
                p->inp.iter.ConvT);
  }
  return 0;
}
