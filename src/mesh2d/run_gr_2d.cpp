#include "mesh2d/run_gr_2d.h"

#include <algorithm>
#include <cmath>

#include "driver/fatal.h"
#include "mesh2d/measures.h"
#include "mesh2d/outline_file.h"

void DivisionCounts(int meshLevel, int& S, int& R) {
  static constexpr int kS[5] = {16, 18, 20, 22, 28};
  static constexpr int kR[5] = {8, 12, 12, 12, 12};
  if (meshLevel >= 1 && meshLevel <= 5) {
    S = kS[meshLevel - 1];
    R = kR[meshLevel - 1];
  } else {
    S = 32;
    R = 12;
  }
}

namespace {

// Slot outline in double precision, as read from the file.
Outline ToOutline(const RawOutline& raw) {
  Outline o;
  o.n = static_cast<int32_t>(raw.x.size());
  o.nSeg = o.n / 2;
  o.pts.assign(static_cast<std::size_t>(o.n));
  o.mark.assign(static_cast<std::size_t>(o.n), -1);
  for (int i = 1; i <= o.n; ++i)
    o.pts(i) = {static_cast<double>(raw.x[static_cast<std::size_t>(i - 1)]),
                static_cast<double>(raw.y[static_cast<std::size_t>(i - 1)])};
  return o;
}

}  // namespace

void Run_gr_2d(int /*iVar*/, InpDat& d) {
  d.PieceOrder = {};
  d.RingSym = 0;
  d.nPiecesB = 0;
  d.nPiecesA = (d.ProfType == 3 || d.ProfType == 4 || d.ProfType == 6) ? 3 : 2;

  OutlineFileData file;
  ReadOutlineFile(d.FileOutline, file);
  d.nOutlines = file.nOutlines;
  d.SplitMode = file.SplitMode;
  const int used = std::min(d.nOutlines, 5);
  for (int k = 1; k <= used; ++k)
    if (file.slot[static_cast<std::size_t>(k - 1)] == 0)
      Fatal(d.FileOutline + ": outline slot " + std::to_string(k) +
            " is empty; the file needs an outline named WPIECE and outlines whose fifth name character is 1, 2, ...");

  d.Outlines.assign(5);
  const Outline profile = ToOutline(file.outlines[static_cast<std::size_t>(file.slot[0] - 1)]);
  d.Diam2d = MaxDistance(profile);
}
