#include "driver/variant_steps.h"

#include <omp.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/console.h"
#include "core/fatal.h"
#include "driver/sweep_plan.h"
#include "driver/run_3d.h"
#include "input/read_text_data.h"
#include "input/variants.h"
#include "mesh2d/gen_gr2d.h"
#include "mesh2d/mesh_check.h"
#include "mesh2d/outline_check.h"
#include "mesh2d/outline_file.h"
#include "mesh2d/ring_rule.h"
#include "mesh2d/run_gr_2d.h"
#include "mesh3d/gen_gr3d.h"
#include "output/summary.h"
#include "output/write_paraview.h"
#include "post/energy_balance.h"
#include "post/exit_balance.h"
#include "solver/sparse_solve.h"
#include "post/int_main.h"
#include "post/layer_flux.h"
#include "post/jacob_contr.h"
#include "thermal/pre_heat.h"
#include "thermal/perenos.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;  // bytes per MiB (a power of two: SolveMiB holds the bytes exactly)

// Mesh report of a prepared variant, two lines: the fewest elements across
// a wall of the profile mesh and where, the worst element shape of the
// cross-section meshes; the node and unknown counts of the flow and thermal
// meshes and the memory of the larger of their solves.
void MeshReport(int iVar, const MeshRecord& nodes, const MeshRecord& nodes_t,
                const VariantSetup& setup, const SectionSet& sections, const SolveOptions& solve,
                std::FILE* log) {
  std::vector<WallSample> samples;
  ProfileWallSamples(setup, sections, samples);
  const WallLayers w = sections.Pieces2d.size() >= 1
                           ? FewestWallLayers(sections.Pieces2d(1), samples)
                           : WallLayers{};
  double worst = 1.0;
  int worstMesh = 0, worstElem = 0;
  for (int k = 1; k <= sections.Pieces2d.size(); ++k) {
    int e = 0;
    const double q = WorstCurvedShape(sections.Pieces2d(k), e);
    if (e > 0 && (worstMesh == 0 || q < worst)) worst = q, worstMesh = k, worstElem = e;
  }
  TextLine quality("Mesh quality iVar=");
  quality << iVar << ": fewest elements across a wall=" << w.layers;
  if (w.layers > 0) quality << " at (" << w.where[0] << ", " << w.where[1] << "), wall " << w.thickness << " mm";
  quality << "; worst element shape=" << worst << " (mesh " << worstMesh << ", element " << worstElem << ")";
  TextLine size("Mesh size iVar=");
  size << iVar << ": flow nodes=" << nodes.g.nh << " unknowns=" << 3 * nodes.g.nh + nodes.g.np
       << "; thermal nodes=" << nodes_t.g.nh << " unknowns=" << nodes_t.g.nh
       << "; solve memory about " << static_cast<int64_t>(solve.SolveMiB) << " MB";
  // A wall two or three quadratic elements thick gives an ill-conditioned
  // flow system: measured on a 40 x 4 mm strip, the single-precision front
  // missed the double-precision velocities by 80 to 90 % of the largest
  // speed with two elements across and by 13 % with three (4 % with four).
  TextLine thin("Warning iVar=");
  const bool warnThin = w.layers > 0 && w.layers <= 3 && solve.Solver == LinearSolver::Frontal;
  if (warnThin) {
    thin << iVar << ": a wall has only " << w.layers << " elements across; the single-precision frontal solve "
         << "is not accurate enough there, ";
    if (SparseSolverAvailable()) thin << "run with --solver sparse";
    else thin << "raise the mesh levels to 4 elements across or build with the sparse solver";
  }
  auto emit = [log](const TextLine& line) {
    if (log == nullptr) Console(line);
    else LogLine(log, line);
  };
  emit(quality);
  emit(size);
  if (warnThin) emit(thin);
}

}  // namespace

void PrapareOneVariant(int& iVar, MeshRecord& nodes, MeshRecord& nodes_t, InpDat& inp_dat, const ElementTables& tab) {
  Console(TextLine("PrapareOneVariant>  iVar= ") << iVar);
  inp_dat.sections.Sect2d.assign(1);

  Console(TextLine("PrapareOneVariant>  Run_gr_2d start iVar=") << iVar);
  Run_gr_2d(inp_dat.setup, inp_dat.sections);
  CheckStrainRateRange(iVar, inp_dat.setup, inp_dat.sections);
  SetAxialLayout(inp_dat.setup, inp_dat.sections, inp_dat.layout);
  const int nPieces = inp_dat.sections.nPiecesB != 0 ? inp_dat.sections.nPiecesB : inp_dat.sections.nPiecesA;
  for (int k = 1; k <= nPieces && k <= inp_dat.sections.Pieces2d.size(); ++k) {
    const Mesh2d& m = inp_dat.sections.Pieces2d(k);
    Console(TextLine("Run_gr_2d: nh=") << m.nh << " ne=" << m.ne << " Krit=" << m.Krit);
  }
  inp_dat.iter.Stage = 90;
  Console(TextLine("PrapareOneVariant>  Run_gr_2d ok iVar=") << iVar);

  gen_gr2d(iVar, inp_dat.sections);

  Console(TextLine("PrapareOneVariant>  Gen_gr3d start iVar=") << iVar);
  nodes.kind = 1;
  Gen_gr3d(nodes, inp_dat, tab);
  inp_dat.iter.DOF = 3 * nodes.g.nh + nodes.g.np;
  Console(TextLine(" nodes=") << nodes.g.nh << " elements=" << nodes.g.ne << " iVar=" << iVar);
  Console(TextLine(" DOF=") << inp_dat.iter.DOF);
  Console(TextLine("PrapareOneVariant>  Gen_gr3d ok iVar=") << iVar);

  Console(TextLine("    PrapareOneVariant>>PRE_heat_main, start, iVar=") << iVar);
  PRE_heat_main(nodes, tab, inp_dat);
  inp_dat.results.TempPressed = SectionMeanTemperature(inp_dat.sections.Sect2d(1));
  Console(TextLine("    PrapareOneVariant>>PRE_heat_main, ok, iVar=") << iVar);

  Console(TextLine("    PrapareOneVariant>>Gen_gr3d, start, nodes_t, iVar=") << iVar);
  nodes_t.kind = 2;
  Gen_gr3d(nodes_t, inp_dat, tab);
  Console(TextLine("    PrapareOneVariant>>Gen_gr3d ok nodes_t%g%nh=") << nodes_t.g.nh);

  Console(TextLine("    PrapareOneVariant>>Perenos_3d, start,  nodes->nodes_t, iVar=") << iVar);
  Perenos_3d(nodes, nodes_t, 2);
  Console(TextLine("    PrapareOneVariant>>Perenos_3d, ok, iVar=") << iVar);
  // The memory of the variant's larger solve, once (with the sparse solver an
  // analysis of both meshes): the mesh report, the sweep plan and the log read it.
  inp_dat.solve.SolveMiB =
      static_cast<double>(VariantSolveBytes(nodes, nodes_t, inp_dat.solve)) / kMiB;
  MeshReport(iVar, nodes, nodes_t, inp_dat.setup, inp_dat.sections, inp_dat.solve, nullptr);

  Console(TextLine("SolverOneVariant>  WriteParaView start iVar=") << iVar);
  WriteParaView(nodes, iVar);
  Console(TextLine("SolverOneVariant>  WriteParaView ok iVar=") << iVar);
}

void SolverOneVariant(int iVar, MeshRecord& nodes, MeshRecord& nodes_t, InpDat& inp_dat, const ElementTables& tab) {
  std::FILE* log = std::fopen(inp_dat.setup.FileInf.c_str(), "w");
  if (log == nullptr) Fatal(inp_dat.setup.FileInf + ": cannot create the variant log file: " + std::strerror(errno));

  Console(TextLine("SolverOneVariant>  iVar= ") << iVar);
  LogLine(log, TextLine("SolverOneVariant> DOF=") << inp_dat.iter.DOF << " iVar=" << iVar);
  LogLine(log, TextLine("SolverOneVariant> linear solver: ") << SolverDescription(inp_dat.solve.Solver) << ", planned "
                                                             << static_cast<int32_t>(std::lround(inp_dat.solve.SolveMiB)) << " MiB");
  MeshReport(iVar, nodes, nodes_t, inp_dat.setup, inp_dat.sections, inp_dat.solve, log);

  Console(TextLine("SolverOneVariant>  Jacob_contr start, iVar=") << iVar);
  Jacob_contr(nodes, tab.Wedge15, tab.Tet10, inp_dat.sections, inp_dat.layout, inp_dat.results);
  Console(TextLine("SolverOneVariant>  Jacob_contr finish dV=") << inp_dat.results.dV);

  Console(TextLine("SolverOneVariant>  Run_3d startiVar=") << iVar);
  Run_3d(iVar, nodes, nodes_t, inp_dat, tab, log);
  Console(TextLine("SolverOneVariant>  Run_3d ok, iVar=") << iVar);
  // The exit plane is level until the distortion estimate moves its nodes.
  inp_dat.results.TempExit = ExitPlaneTemperature(nodes);
  ExitSpeedBalance(nodes, inp_dat.sections.Pieces2d, ProfilePieceCount(inp_dat.sections),
                   inp_dat.results.ExitPieces, inp_dat.results.ExitAll);
  ComputeEnergyBalance(nodes, nodes_t, tab, inp_dat.setup, inp_dat.model, inp_dat.results,
                       inp_dat.results.Energy);
  WarnAboveLawLimit(log, iVar, inp_dat.setup, nodes, nodes_t);
  // Volume flux by element layer, before the distortion estimate moves the
  // nodes and overwrites the die level; logged after the results.
  std::vector<LayerFlux> layers;
  int skippedElements = 0;
  LayerFluxes(nodes, tab.Wedge15, inp_dat.sections.Pieces2d, ProfilePieceCount(inp_dat.sections), inp_dat.layout.Z1, layers,
              skippedElements);

  const double tPost = omp_get_wtime();
  Console(TextLine("SolverOneVariant>  Int_main start iVar=") << iVar);
  Int_main(inp_dat.sections, inp_dat.layout, inp_dat.results, nodes);
  Console(TextLine("SolverOneVariant>  Int_main ok, iVar=") << iVar);

  Console(TextLine("SolverOneVariant>  WriteParaView start iVar=") << iVar);
  WriteParaView(nodes, iVar);
  Console(TextLine("SolverOneVariant>  WriteParaView ok iVar=") << iVar);
  inp_dat.times.TimePost = omp_get_wtime() - tPost;

  WriteResultsBlock(log, inp_dat, CollectResult(iVar, inp_dat, nodes));
  WriteLayerFluxLog(log, layers, inp_dat.setup.RamSpeed, ContainerFreeArea(inp_dat.sections));
  if (std::ferror(log) != 0 || std::fclose(log) != 0) Fatal(inp_dat.setup.FileInf + ": cannot write the variant log file");
}

void ReadRun(RunState& run, ElementTables& tab, const RunOptions& options) {
  if (options.solver == LinearSolver::Sparse && !SparseSolverAvailable())
    Fatal("kalmora: this build has no sparse solver (built without sequential MUMPS, as the MPI build is); run with --solver frontal");
  Console(TextLine("SERIAL CALCULATION START "));
  Console(TextLine("Kalmora>  iniELEM start "));
  iniELEM(tab);
  Console(TextLine("Kalmora>  iniELEM ok "));

  Console(TextLine("Kalmora>  ReadTextData, GenVariants start "));
  ReadTextData(run.input);
  GenVariants(run);
  for (int k = 1; k <= run.nVar; ++k) run.inp_dat(k).solve.Solver = options.solver;
  Console(TextLine("Kalmora>  ReadTextData, GenVariants ok "));

  // Every outline file is read and its geometry checked for the process
  // type before any variant writes a file, so a bad geometry file stops the
  // run with nothing written.
  if (run.nVar > 0)
    for (const std::string& name : run.input.FileOutlineList) {
      RefuseTextOutline(name);
      CheckOutlineFile(name, run.input.setup.ProfType);
      OutlineFileData outlines;
      ReadOutlineFile(name, outlines);
      const std::string ring = RingRuleFinding(name, outlines, run.input.setup.ProfType);
      if (!ring.empty()) Console(TextLine(ring));
    }
}

int RunKalmora(RunState& run, ElementTables& tab, const RunOptions& options) {
  // An earlier run's summary goes first, so that a run stopped by bad input
  // does not leave it behind as if it were this run's.
  RemoveSummary(kSummaryFile);
  ReadRun(run, tab, options);

  for (run.iVar = 1; run.iVar <= run.nVar; ++run.iVar) {
    const int k = run.iVar;
    PrapareOneVariant(run.iVar, run.nodes(k), run.nodes_t(k), run.inp_dat(k), tab);
  }

  Console(TextLine("SERIAL CALCULATION FINISH "));
  if (options.prepareOnly) {
    Console(TextLine("Kalmora>  prepare-only: every variant prepared, no solve "));
    return 0;
  }
  Console(TextLine());
  Console(TextLine());
  Console(TextLine("PARALLEL CALCULATION START "));

  // Threads: at most the runtime's default team (the cores, or
  // OMP_NUM_THREADS when set) and the number of variants, and no more than
  // the machine's free memory holds solves of the largest variant.
  const int nVar = run.nVar;
  int64_t perVariant = 0;
  for (int k = 1; k <= nVar; ++k)
    perVariant = std::max(perVariant, static_cast<int64_t>(run.inp_dat(k).solve.SolveMiB * kMiB));
  const int64_t available = AvailableMemoryBytes();
  const SweepPlan plan = PlanSweep(nVar, omp_get_max_threads(), perVariant, available);
  constexpr int64_t kMB = 1024 * 1024;
  if (!plan.fitsOne)
    Fatal("Kalmora: the solve of one variant needs about " + std::to_string(perVariant / kMB) + " MB, but only " +
          std::to_string(available / kMB) + " MB of memory are free; no variant is solved");
  if (plan.memoryLimited)
    Console(TextLine("Kalmora>  memory: ") << static_cast<int32_t>(plan.threads)
                                           << " variants at a time, not " << static_cast<int32_t>(std::min(nVar, omp_get_max_threads()))
                                           << " (one solve needs about " << perVariant / kMB << " MB, "
                                           << available / kMB << " MB free)");

  // Cores that no variant thread occupies speed up each variant's linear
  // solves; the solution does not depend on their number.
  for (int k = 1; k <= nVar; ++k) run.inp_dat(k).solve.SolveThreads = plan.solveThreads;
  if (plan.solveThreads > 1) omp_set_max_active_levels(2);

  // The team that solves the variants, counted by a sum reduction.
  int kernels = 0;
#pragma omp parallel num_threads(plan.threads) reduction(+ : kernels)
  kernels += 1;
  Console(TextLine("Numbers of avaible kernels =") << kernels);

  // Variants differ in size, so each thread takes the next unsolved variant
  // when it is done.  Every variant works only on its own records and files,
  // so the results do not depend on the thread count.  The loop ends with the
  // implicit barrier.
  // With one variant thread the variants run on the main thread outside any
  // parallel region, so that the teams of their linear solves are outermost
  // regions and reuse the runtime's idle threads (a nested team is started
  // afresh every time, which costs more than a small update saves).
  // After each variant one progress line: its own wall time and the time
  // left, the wall time of the sweep so far per finished variant times the
  // variants still to finish (the pace of the whole team, so it holds for
  // one thread and for several).
  const double tSweep = omp_get_wtime();
  int finished = 0;
  auto solve = [&](int iVar) {
    const double tStart = omp_get_wtime();
    SolverOneVariant(iVar, run.nodes(iVar), run.nodes_t(iVar), run.inp_dat(iVar), tab);
    const double tEnd = omp_get_wtime();
    int done = 0;
#pragma omp atomic capture
    done = ++finished;
    const double left = (tEnd - tSweep) / done * (nVar - done);
    Console(TextLine("variant ") << iVar << " of " << nVar << " finished in "
                                 << static_cast<int64_t>(std::llround(tEnd - tStart)) << " s; about "
                                 << static_cast<int64_t>(std::llround(left)) << " s left");
  };
  if (plan.threads <= 1) {
    for (int iVar = 1; iVar <= nVar; ++iVar) solve(iVar);
  } else {
#pragma omp parallel for schedule(dynamic, 1) num_threads(plan.threads)
    for (int iVar = 1; iVar <= nVar; ++iVar) solve(iVar);
  }

  Console(TextLine("PARALLEL CALCULATION FINISH "));

  // Every variant has finished: the summary, then the same table.
  std::vector<VariantResult> rows;
  for (int k = 1; k <= nVar; ++k) rows.push_back(CollectResult(k, run.inp_dat(k), run.nodes(k)));
  WriteSummary(kSummaryFile, rows);
  Console(TextLine());
  Console(TextLine("Results of the run (") << kSummaryFile << "):");
  for (const std::string& line : SummaryTable(rows)) Console(TextLine(line));
  return 0;
}
