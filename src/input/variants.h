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
void SetAxialLayout(const VariantSetup& setup, const SectionSet& sections, AxialLayout& layout);

// Mean equivalent strain rate of the extrusion, 1/s, estimated from the ram
// speed v (mm/s), the extrusion ratio R = container area / profile area and
// the container's equivalent diameter D (mm): 6 v ln R / D (the strain ln R
// over a deformation zone about D/6 long, passed at the ram speed).  The
// areas are those of the cross-section meshes (profile = mesh 1, the rest =
// the largest other mesh); 0 when they are not known (multi-hole layout).
double EstimatedMeanStrainRate(const VariantSetup& setup, const SectionSet& sections);

// Holds the estimate against the strain-rate range of the flow stress law
// (0.05 to 10 1/s).  Above twice the upper limit the variant is refused:
// the law takes every rate above 10 1/s as 10, so the material turns
// rate-independent, the viscosity falls as 1/rate and the flow solve loses
// the exit speed (at 500 mm/s on the round-bar example the largest speed
// stays near 0.2 of the exit speed and the first ram pressure exceeds
// 100000 MPa).  Below the lower limit one console warning line is written:
// the law divides by 0.05 1/s there and the ram pressure comes out too low.
void CheckStrainRateRange(int iVar, const VariantSetup& setup, const SectionSet& sections);
