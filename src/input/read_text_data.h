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
// the wrong type stops the run with "file:line: expected ...".
void ReadTextData(RunInput& input, const std::string& path = kInputFileName);
