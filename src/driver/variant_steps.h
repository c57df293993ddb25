#pragma once
// The two per-variant procedures of a run: the serial preparation and the
// solve on a variant thread, and the main program that schedules them.

#include "core/records.h"
#include "driver/command_line.h"
#include "fem/elements.h"

// Serial preparation of one variant: cross-section meshes and their file,
// axial layout, then the later meshing and thermal steps.
void PrapareOneVariant(int& iVar, MeshRecord& nodes, MeshRecord& nodes_t, InpDat& inp_dat, const ElementTables& tab);

// Solve of one variant on its own thread, with the variant's log file:
// volume check, coupled iteration, profile distortion, final result file
// and the "Results" block of the log.
void SolverOneVariant(int iVar, MeshRecord& nodes, MeshRecord& nodes_t, InpDat& inp_dat, const ElementTables& tab);

// The whole batch in the current directory: reads "indata.txt", checks every
// outline file, prepares every variant in order, then solves the variants
// concurrently, each thread taking the next variant, with at most as many
// threads as the runtime's default team (cores or OMP_NUM_THREADS) and as
// fit the free memory; then writes "kalmora_summary.csv" and prints the same
// table.  With options.prepareOnly it stops after the preparation.  The
// summary of an earlier run is removed before the preparation, so a run that
// stops leaves none.  Returns the process exit status (0).
int RunKalmora(RunState& run, ElementTables& tab, const RunOptions& options = {});

// The opening of a run: the element tables, indata.txt read into the run's
// variants (each with the chosen linear solver) and every outline file
// checked, with their console lines, before any variant writes a file.
void ReadRun(RunState& run, ElementTables& tab, const RunOptions& options);
