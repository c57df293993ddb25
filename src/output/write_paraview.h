#pragma once
// Result file of a variant: the flow mesh with its nodal fields as a legacy
// VTK text file (version 2.0, ASCII, unstructured grid of linear wedge
// cells over the corner nodes).
//
// The file "kalm3d_Var_<n>.vtu" is written in the working directory together
// with an identical twin "kalm3d_Var_<n>.vtk": visualisers choose their
// reader by the extension, and only the ".vtk" name reaches the legacy
// reader.  Both are written under temporary names and renamed when complete,
// so a reader never meets a half-written result presented as finished.

#include <string>

#include "core/records.h"

// Writes the result file of variant iVar from the flow mesh `nodes`: corner
// nodes 1..np with their coordinates, the wedges by their six corners
// (zero-based), ten scalar arrays and the velocity vectors.  Every written
// number is finite.  Replaces the files of an earlier call for the same
// variant.  Stops the run when a file cannot be written.  Keeps no state
// between calls, so variants may write concurrently.
void WriteParaView(const MeshRecord& nodes, int iVar);

// Name of the result file of variant iVar: "kalm3d_Var_" + iVar + ".vtu".
std::string ParaViewFileName(int iVar);

// Name of its twin with the legacy extension: "kalm3d_Var_" + iVar + ".vtk".
std::string ParaViewTwinName(int iVar);

// Fixed-point rendering with `decimals` digits after the point and no
// blanks (the Fw.d edit descriptor without the field width): 12.5 with 2
// decimals is "12.50".  A value that rounds to zero is written unsigned.
std::string FormatFixed(double value, int decimals);

// Scientific rendering with a mantissa in [0.1, 1) of five digits and a
// signed exponent of at least two digits (the E13.5 edit descriptor without
// blanks): 123.45 is "0.12345E+03", 0 is "0.00000E+00".
std::string FormatE13_5(double value);
