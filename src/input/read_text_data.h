#pragma once
// The input text file of a run: material, tools, lengths, mesh controls and
// the four variation lists.

#include <string>

#include "core/records.h"

// Name of the input file in the working directory.
inline constexpr const char* kInputFileName = "indata.txt";

// Reads the input file at `path` into the run-wide input values.  Defaults
// before reading: MatTmax 1200, Switch3d 0, MaxIter 10; an empty value keeps
// them.  Negative list counts give empty lists.  Any missing line or value of
// the wrong type stops the run with "file:line: expected ...".  List counts
// are checked against the lines left in the file before a list is sized.
// Values that cannot be physical stop the run with "file:line: <value>;
// expected ...": ram speeds must be above 0; temperatures (limit, billet,
// tool) above absolute zero and below 10000 deg C; lengths (LenB,
// PieceLen1/2/4/5, extra-zone lengths) 0 or more and LenA above 0; the
// contact heat-transfer coefficient 0 or more; mesh levels 1 or more.  Mesh
// levels above 5 and billet temperatures above MatTmax run as the meshers
// and the flow stress law define them, with one console warning line
// "file:line: warning: ..." each.  Records the file name and the lines of the
// four list counts in `input` for later messages.
void ReadTextData(RunInput& input, const std::string& path = kInputFileName);

// Stops when the outline file `path` is a text description (the input of
// kalmora-outline) rather than the binary outline file made from it: a
// binary file starts with a 2-byte outline count, never with text.
void RefuseTextOutline(const std::string& path);
