#pragma once
// Expansion of the four variation lists into variant records, and the axial
// layout of a variant.

#include <string>

#include "core/records.h"

// Decimal variant number as the file names use it (no blanks).
std::string VariantNumber(int n);

// Forms nVar = nS * nP * nL * nT variants in nested-loop order (ram speed
// outermost, billet temperature innermost), allocates inp_dat, nodes and
// nodes_t with nVar entries each and sets every record's names and starting
// values.  Leaves run.iVar at nVar.  More than 999999 variants stop the run
// (the product is formed without overflow); when the lists come from an input
// file (run.input.InputFile set), an empty list stops the run with the file
// and the line of its count, otherwise it gives nVar = 0.
void GenVariants(RunState& run);

// Axial levels of the model: LayLen = min(2.5 Diam2d + 5, LenA), Z0 = 100,
// Z1 = Z0 + LayLen, Z2/Z3 by ProfType, and the zone levels Z1 - length of
// every slot length above the single-precision 0.01.
void SetAxialLayout(InpDat& d);
