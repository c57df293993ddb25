#include "input/variants.h"

#include <algorithm>

#include <cmath>

#include "core/console.h"
#include "core/fatal.h"
#include "material/flow_stress.h"

std::string VariantNumber(int n) { return std::to_string(n); }

void GenVariants(RunState& run) {
  const RunInput& in = run.input;
  const int nS = static_cast<int>(in.RamSpeedList.size());
  const int nP = static_cast<int>(in.FileOutlineList.size());
  const int nL = static_cast<int>(in.AxialLenList.size());
  const int nT = static_cast<int>(in.BilletTempList.size());
  // An input file without any variant is a mistake, not an empty run: the
  // first empty list is named with the line of its count.
  static const char* const kListNames[4] = {"ram speeds", "billet temperatures", "extra-zone lengths",
                                            "outline files"};
  const int sizes[4] = {nS, nT, nL, nP};
  if (!in.InputFile.empty())
    for (int k = 0; k < 4; ++k)
      if (sizes[k] == 0)
        Fatal(in.InputFile + ":" + std::to_string(in.ListCountLine(k + 1)) + ": the list of " + kListNames[k] +
              " is empty, so there is no variant to compute; expected a count of 1 or more");
  // Variant numbers are written with at most six digits into the file names.
  // The product is formed step by step and stops growing past the limit, so
  // no list lengths can wrap it around.
  constexpr int64_t kMaxVariants = 999999;
  int64_t count = 1;
  for (const int n : {nS, nP, nL, nT}) count = std::min<int64_t>(count * n, kMaxVariants + 1);
  Require(count <= kMaxVariants,
          (in.InputFile.empty() ? std::string("GenVariants") : in.InputFile) + ": " + std::to_string(nS) + " x " +
              std::to_string(nP) + " x " + std::to_string(nL) + " x " + std::to_string(nT) +
              " variants requested (ram speeds x outline files x extra-zone lengths x billet temperatures); at most " +
              std::to_string(kMaxVariants) + " are possible");
  run.nVar = static_cast<int32_t>(count);
  run.inp_dat.assign(static_cast<std::size_t>(run.nVar));
  run.nodes.assign(static_cast<std::size_t>(run.nVar));
  run.nodes_t.assign(static_cast<std::size_t>(run.nVar));

  run.iVar = 0;
  for (int iS = 1; iS <= nS; ++iS)
    for (int iP = 1; iP <= nP; ++iP)
      for (int iL = 1; iL <= nL; ++iL)
        for (int iT = 1; iT <= nT; ++iT) {
          const int iVar = ++run.iVar;
          InpDat& d = run.inp_dat(iVar);
          d = InpDat{};
          d.setup = in.setup;  // the run-wide values, then the variant's own
          const std::string n = VariantNumber(iVar);
          d.setup.VarName = "Variant_" + n;
          d.setup.File2d = "extrusion_var_" + n + ".f2d";
          d.setup.FileInf = "Variant_" + n + ".inf";

          d.setup.RamSpeed = in.RamSpeedList[static_cast<std::size_t>(iS - 1)];
          d.setup.FileOutline = in.FileOutlineList[static_cast<std::size_t>(iP - 1)];
          d.setup.AxialLen = in.AxialLenList[static_cast<std::size_t>(iL - 1)];
          d.setup.BilletTemp = in.BilletTempList[static_cast<std::size_t>(iT - 1)];

          d.iter.Tsr = d.iter.ViscMax = d.iter.ViscMin = d.iter.E0_min = d.iter.E0_max = 1.0;
          d.model.PScale = 1.0;
          d.model.PenaltyInit = 50.0;
          d.model.HeatDt = static_cast<double>(0.01f);
          d.solve.MemBudget = 2048000000;
          d.iter.i_iterat = 1;
          d.iter.Stage = 0;
          d.sections.nPiecesA = d.sections.nPiecesB = 0;
          d.sections.RingSym = 0;
          run.nodes(iVar).kind = 0;
          run.nodes_t(iVar).kind = 0;
        }
}

void SetAxialLayout(const VariantSetup& setup, const SectionSet& sections, AxialLayout& layout) {
  constexpr double kMinLen = static_cast<double>(0.01f);
  layout.LayLen = std::min(2.5 * sections.Diam2d + 5.0, setup.LenA);
  layout.Z0 = 100.0;
  layout.Z1 = layout.Z0 + layout.LayLen;
  if (HasExtraZone(setup.ProfType)) {
    layout.Z2 = layout.Z1 + setup.AxialLen;
    layout.Z3 = layout.Z2 + setup.LenA;
  } else {
    layout.Z2 = layout.Z1 + setup.LenA;
    layout.Z3 = 0.0;
  }
  const double lens[4] = {setup.PieceLen1, setup.PieceLen2, setup.PieceLen4, setup.PieceLen5};
  for (int k = 1; k <= 4; ++k) {
    layout.ZoneZ(k) = 0.0;
    if (lens[k - 1] > kMinLen) layout.ZoneZ(k) = layout.Z1 - lens[k - 1];
  }
}

double EstimatedMeanStrainRate(const VariantSetup& setup, const SectionSet& sections) {
  const double profile = sections.Area2d(1);
  const double rest = std::max(sections.Area2d(2), sections.Area2d(3));
  if (sections.nPiecesB != 0 || !(profile > 0.0) || !(rest > 0.0)) return 0.0;
  const double container = profile + rest;
  const double diameter = std::sqrt(4.0 * container / M_PI);
  return 6.0 * setup.RamSpeed * std::log(container / profile) / diameter;
}

void CheckStrainRateRange(int iVar, const VariantSetup& setup, const SectionSet& sections) {
  const double rate = EstimatedMeanStrainRate(setup, sections);
  if (!(rate > 0.0)) return;
  const std::string head = setup.VarName + " (ram speed " + FormatReal(setup.RamSpeed) +
                           " mm/s): estimated mean strain rate " + FormatReal(rate) + " 1/s";
  // The flow solve keeps the exit speed while the typical rates stay within
  // a factor 2 of the law's upper limit (50 mm/s on the round bar, 9.7 1/s).
  const double upper = 2.0 * kRateMax;
  if (rate > upper)
    Fatal(head + " lies above " + FormatReal(upper) + " 1/s; the flow stress law holds for " +
          FormatReal(kRateMin) + " to " + FormatReal(kRateMax) +
          " 1/s and treats faster flow as rate-independent, which the flow solve " +
          "cannot carry (the exit speed collapses); expected a ram speed up to " +
          FormatReal(setup.RamSpeed * upper / rate) + " mm/s for this die");
  if (rate < kRateMin)
    Console(TextLine("warning: ") << head << " lies below the flow stress law's lower limit " << kRateMin
                                  << " 1/s; the law evaluates slower flow at that limit, so the ram pressure comes out too low"
                                  << " (iVar=" << iVar << ")");
}
