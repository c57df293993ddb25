// Kalmora: steady hot extrusion of metal profiles, several process variants
// per run.  Reads "indata.txt" in the current directory.

#include <cstdio>
#include <memory>
#include <string>

#include "core/records.h"
#include "driver/command_line.h"
#include "driver/variant_steps.h"
#include "solver/blas_core.h"
#include "solver/sparse_solve.h"
#ifdef KALMORA_MPI
#include "driver/mpi_sweep.h"
#endif

int main(int argc, char** argv) {
  RunOptions options;
  std::string message;
  switch (ParseCommandLine(argc, argv, options, message)) {
    case CommandAction::Help:
      std::fputs(UsageText().c_str(), stdout);
      return 0;
    case CommandAction::Refuse:
      std::fprintf(stderr, "%s\n", message.c_str());
      return 2;
    case CommandAction::Run:
      break;
  }
  // A sparse run needs the BLAS's fast kernels, which can only be chosen
  // before the library is loaded: this may start the program again (same
  // process, same arguments), before any thread or MPI is started.
  if (options.solver == LinearSolver::Sparse && SparseSolverAvailable()) RestartForBlasKernels(argv);
  auto run = std::make_unique<RunState>();
  auto tables = std::make_unique<ElementTables>();
#ifdef KALMORA_MPI
  return RunKalmoraMpi(*run, *tables, options);
#else
  return RunKalmora(*run, *tables, options);
#endif
}
