#pragma once
// Command line of the program: no argument runs the whole batch,
// --prepare-only stops after the preparation of every variant, --solver
// chooses the direct solver of the field solves, --help prints what the
// program reads and writes.

#include <string>

#include "core/records.h"

// What the batch run does.
struct RunOptions {
  bool prepareOnly = false;  // stop after the preparation of every variant, before any solve
  LinearSolver solver = LinearSolver::Frontal;  // direct solver of every field solve (--solver frontal|sparse)
};

enum class CommandAction {
  Run,     // run the batch with the parsed options
  Help,    // print the usage text, exit status 0
  Refuse,  // print the one-line message, exit status 2
};

// Parses argv[1..argc-1] ("--solver NAME" and "--solver=NAME" alike).
// Refuse sets `message` to one line naming the argument that is not
// understood.  Whether this build has the sparse solver is not checked here.
CommandAction ParseCommandLine(int argc, const char* const* argv, RunOptions& options, std::string& message);

// Usage text: the options, the input files read and the files written.
std::string UsageText();

// One line naming the direct solver `s`, for the log.
std::string SolverDescription(LinearSolver s);
