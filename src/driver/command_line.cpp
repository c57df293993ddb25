#include "driver/command_line.h"

#include <string_view>

#include "solver/sparse_solve.h"

CommandAction ParseCommandLine(int argc, const char* const* argv, RunOptions& options, std::string& message) {
  options = RunOptions{};
  bool help = false;
  for (int k = 1; k < argc; ++k) {
    const std::string_view a(argv[k]);
    if (a == "--help" || a == "-h") {
      help = true;
    } else if (a == "--prepare-only") {
      options.prepareOnly = true;
    } else if (a == "--solver" || a.starts_with("--solver=")) {
      if (a == "--solver" && k + 1 >= argc) {
        message = "kalmora: --solver needs a name: frontal or sparse";
        return CommandAction::Refuse;
      }
      const std::string_view name = a == "--solver" ? std::string_view(argv[++k]) : a.substr(9);
      if (name == "frontal") {
        options.solver = LinearSolver::Frontal;
      } else if (name == "sparse") {
        options.solver = LinearSolver::Sparse;
      } else {
        message = "kalmora: unknown solver \"" + std::string(name) + "\" after --solver (frontal or sparse)";
        return CommandAction::Refuse;
      }
    } else {
      message = "kalmora: " + std::string(a.starts_with("-") ? "unknown option" : "unexpected argument") + " \"" +
                std::string(a) + "\" (kalmora --help lists the options)";
      return CommandAction::Refuse;
    }
  }
  return help ? CommandAction::Help : CommandAction::Run;
}

std::string UsageText() {
  return "usage: kalmora [--solver frontal|sparse] [--prepare-only | --help]\n"
         "\n"
         "Simulates the steady hot extrusion of every process variant described by\n"
         "indata.txt in the current directory and writes all results there.\n"
         "\n"
         "Options:\n"
         "  (none)          prepare and solve every variant\n"
         "  --prepare-only  prepare every variant (cross-sections, flow and thermal\n"
         "                  meshes, billet cooling, first result file) and stop\n"
         "                  before any solve, to check meshes and the cooled billet\n"
         "  --solver frontal  (default) element-by-element frontal solver with a\n"
         "                  single-precision front; its memory and time grow with\n"
         "                  the square of a cross-section layer's unknowns\n"
         "  --solver sparse   sparse direct solver (MUMPS multifrontal LU, double\n"
         "                  precision, nested-dissection ordering) for every field\n"
         "                  solve: faster and more accurate on fine meshes" +
         std::string(SparseSolverAvailable() ? "" : "\n                  (not in this build: built without sequential MUMPS, as the MPI build is)") +
         "\n"
         "  --help          print this text\n"
         "\n"
         "Reads:\n"
         "  indata.txt                 material, tools, controls, variation lists\n"
         "  the outline files it names binary profile geometry (kalmora-outline)\n"
         "\n"
         "Writes, per variant n:\n"
         "  extrusion_var_<n>.f2d      cross-section meshes (text)\n"
         "  Variant_<n>.inf            log: iteration history and a Results block\n"
         "  kalm3d_Var_<n>.vtk         result fields on the distorted shape (legacy\n"
         "                             VTK, open with a VTK viewer); identical twin\n"
         "                             kalm3d_Var_<n>.vtu\n"
         "  sigma.fem                  die-face potential (with die-face correction)\n"
         "and, when every variant is solved:\n"
         "  kalmora_summary.csv        one row of final results per variant\n"
         "\n"
         "Exit status: 0 done, 1 stopped by an error (message on standard error),\n"
         "2 command line not understood.\n"
         "\n"
         "Several machines (a build configured with -DKALMORA_MPI=ON):\n"
         "  mpirun -n K kalmora        K ranks share the variants: rank 0 reads the\n"
         "                             input and hands out one variant at a time,\n"
         "                             each rank prepares and solves its variants on\n"
         "                             its machine's cores, rank 0 writes the summary\n"
         "  mpirun -n K --hostfile hosts --map-by ppr:1:node --bind-to none kalmora\n"
         "                             one rank per machine listed in hosts\n"
         "  in a batch job: one task per node, all its cores to that task, and\n"
         "                             mpirun --map-by ppr:1:node --bind-to none kalmora\n"
         "  The run folder must be on a file system every machine sees at the same\n"
         "  path; kalmora must be at the same path too.  A stop on any rank ends\n"
         "  the whole job.  Without mpirun the MPI build runs as one process.\n";
}

std::string SolverDescription(LinearSolver s) {
  if (s == LinearSolver::Sparse) return SparseSolverName();
  return "frontal (element-by-element elimination, single-precision front)";
}
