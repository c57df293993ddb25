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
          const std::string n = VariantNumber(iVar);
          d.VarName = "Variant_" + n;
          d.File2d = "extrusion_var_" + n + ".f2d";
          d.FileInf = "Variant_" + n + ".inf";

          d.RamSpeed = in.RamSpeedList[static_cast<std::size_t>(iS - 1)];
          d.FileOutline = in.FileOutlineList[static_cast<std::size_t>(iP - 1)];
          d.AxialLen = in.AxialLenList[static_cast<std::size_t>(iL - 1)];
          d.BilletTemp = in.BilletTempList[static_cast<std::size_t>(iT - 1)];

          d.mat = in.mat;
          d.ToolTemp = in.ToolTemp;
          d.ContactHtc = in.ContactHtc;
          d.LenA = in.LenA;
          d.LenB = in.LenB;
          d.BcFactor = in.BcFactor;
          d.PieceLen1 = in.PieceLen1;
          d.PieceLen2 = in.PieceLen2;
          d.PieceLen4 = in.PieceLen4;
          d.PieceLen5 = in.PieceLen5;
          d.ZonePar = in.ZonePar;
          d.ParE = in.ParE;
          d.FaceShift = in.FaceShift;
          d.MeshLevel3d = in.MeshLevel3d;
          d.MeshLevel = in.MeshLevel;
          d.Switch3d = in.Switch3d;
          d.Switch4 = in.Switch4;
          d.ProfType = in.ProfType;
          d.MaxIter = in.MaxIter;

          d.Tsr = d.ViscMax = d.ViscMin = d.E0_min = d.E0_max = 1.0;
          d.PScale = 1.0;
          d.PenaltyInit = 50.0;
          d.HeatDt = static_cast<double>(0.01f);
          d.MemBudget = 2048000000;
          d.i_iterat = 1;
          d.Stage = 0;
          d.nPiecesA = d.nPiecesB = 0;
          d.RingSym = 0;
          run.nodes(iVar).kind = 0;
          run.nodes_t(iVar).kind = 0;
        }
}

void SetAxialLayout(InpDat& d) {
  constexpr double kMinLen = static_cast<double>(0.01f);
  d.LayLen = std::min(2.5 * d.Diam2d + 5.0, d.LenA);
  d.Z0 = 100.0;
  d.Z1 = d.Z0 + d.LayLen;
  if (HasExtraZone(d.ProfType)) {
    d.Z2 = d.Z1 + d.AxialLen;
    d.Z3 = d.Z2 + d.LenA;
  } else {
    d.Z2 = d.Z1 + d.LenA;
    d.Z3 = 0.0;
  }
  const double lens[4] = {d.PieceLen1, d.PieceLen2, d.PieceLen4, d.PieceLen5};
  for (int k = 1; k <= 4; ++k) {
    d.ZoneZ(k) = 0.0;
    if (lens[k - 1] > kMinLen) d.ZoneZ(k) = d.Z1 - lens[k - 1];
  }
}

double EstimatedMeanStrainRate(const InpDat& d) {
  const double profile = d.Area2d(1);
  const double rest = std::max(d.Area2d(2), d.Area2d(3));
  if (d.nPiecesB != 0 || !(profile > 0.0) || !(rest > 0.0)) return 0.0;
  const double container = profile + rest;
  const double diameter = std::sqrt(4.0 * container / M_PI);
  return 6.0 * d.RamSpeed * std::log(container / profile) / diameter;
}

void CheckStrainRateRange(int iVar, const InpDat& d) {
  const double rate = EstimatedMeanStrainRate(d);
  if (!(rate > 0.0)) return;
  const std::string head = d.VarName + " (ram speed " + FormatReal(d.RamSpeed) + " mm/s): estimated mean strain rate " +
                           FormatReal(rate) + " 1/s";
  // The flow solve keeps the exit speed while the typical rates stay within
  // a factor 2 of the law's upper limit (50 mm/s on the round bar, 9.7 1/s).
  const double upper = 2.0 * kRateMax;
  if (rate > upper)
    Fatal(head + " lies above " + FormatReal(upper) + " 1/s; the flow stress law holds for " + FormatReal(kRateMin) +
          " to " + FormatReal(kRateMax) + " 1/s and treats faster flow as rate-independent, which the flow solve " +
          "cannot carry (the exit speed collapses); expected a ram speed up to " + FormatReal(d.RamSpeed * upper / rate) +
          " mm/s for this die");
  if (rate < kRateMin)
    Console(TextLine("warning: ") << head << " lies below the flow stress law's lower limit " << kRateMin
                                  << " 1/s; the law evaluates slower flow at that limit, so the ram pressure comes out too low"
                                  << " (iVar=" << iVar << ")");
}
