#pragma once
// The batch shared by the ranks of an MPI job (built with KALMORA_MPI).
//
// Started by mpirun (or a batch system's launcher) in the run folder, every
// rank is one `kalmora` process, normally one per machine.  Rank 0 reads the
// input, checks the outline files and hands out the variant numbers one at a
// time, to whichever rank asks next, so that long variants do not hold up a
// fixed share of the others.  Each rank prepares and solves the variants it
// is given with its own threads, as the single-process run does on one
// machine, and sends the summary row of each back to rank 0, which writes
// "kalmora_summary.csv" and the console table in variant order when all are
// in.  All files of a variant are written by the one rank that holds it.
// A stop on any rank ends the whole job.

#include "core/records.h"
#include "driver/command_line.h"
#include "fem/elements.h"

// Runs the batch as one rank of the job and returns the exit status.  Starts
// and ends MPI itself; a single rank (or a start without mpirun) runs the
// single-process batch unchanged.  Any exit before the end (a stop anywhere)
// aborts every rank of the job.
int RunKalmoraMpi(RunState& run, ElementTables& tab, const RunOptions& options);
