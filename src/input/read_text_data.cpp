#include "input/read_text_data.h"

#include <algorithm>

#include "input/freeformat.h"

namespace {

// Reads a list count and then that many values, one line each.
void ReadRealList(FreeFormatFile& f, std::vector<double>& list, const std::string& countWhat,
                  const std::string& valueWhat) {
  int32_t n = 0;
  f.ReadInt(n, countWhat);
  n = std::max(n, 0);
  list.assign(static_cast<std::size_t>(n), 0.0);
  for (int32_t k = 0; k < n; ++k)
    f.ReadReal(list[static_cast<std::size_t>(k)], valueWhat + " " + std::to_string(k + 1));
}

}  // namespace

void ReadTextData(RunInput& in, const std::string& path) {
  in.mat.MatTmax = 1200.0;
  in.Switch3d = 0;
  in.MaxIter = 10;

  FreeFormatFile f;
  f.Open(path, "input file");
  Material& m = in.mat;

  f.Skip(9, "file heading");
  f.ReadInt(m.MatLaw, "flow stress law code");
  f.ReadReal(m.MatC0, "constant of the flow stress law");
  for (int k = 1; k <= 15; ++k) f.ReadReal(m.LawTable(k), "flow stress table value " + std::to_string(k));
  f.Skip(2, "heading of the thermal properties");
  static const char* const kPairNames[3] = {"specific heat", "density", "heat conductivity"};
  for (int k = 1; k <= 3; ++k)
    f.Read({RealTarget(m.PairX(k), std::string(kPairNames[k - 1]) + " constant"),
            RealTarget(m.PairY(k), std::string(kPairNames[k - 1]) + " slope")});
  f.ReadReal(m.MatTmax, "upper temperature limit");
  f.Skip(2, "heading of the fracture table");
  f.ReadInt(m.FracCount, "fracture table count");
  for (int k = 1; k <= 15; ++k) f.ReadReal(m.FracTable(k), "fracture table value " + std::to_string(k));
  f.Skip(3, "heading of the process values");
  ReadRealList(f, in.RamSpeedList, "number of ram speeds", "ram speed");
  ReadRealList(f, in.BilletTempList, "number of billet temperatures", "billet temperature");
  f.ReadReal(in.ToolTemp, "tool temperature");
  f.ReadReal(in.LenB, "LenB, axial length of the thermal time offset");
  f.ReadReal(in.ContactHtc, "contact heat-transfer coefficient");
  for (int k = 1; k <= 3; ++k) f.ReadReal(in.BcFactor(k), "boundary factor " + std::to_string(k));
  f.Skip(3, "heading of the lengths");
  f.ReadReal(in.LenA, "LenA, axial length of the layout");
  f.ReadReal(in.PieceLen1, "PieceLen1, bearing length");
  f.ReadReal(in.ZonePar(1), "zone parameter 1");
  ReadRealList(f, in.AxialLenList, "number of extra-zone lengths", "extra-zone length");
  f.ReadReal(in.ParE, "process parameter ParE");
  f.ReadReal(in.FaceShift, "die-face correction scale");
  f.ReadReal(in.PieceLen2, "PieceLen2");
  f.ReadReal(in.ZonePar(2), "zone parameter 2");
  f.ReadReal(in.PieceLen4, "PieceLen4");
  f.ReadReal(in.ZonePar(3), "zone parameter 3");
  f.ReadReal(in.PieceLen5, "PieceLen5");
  f.ReadReal(in.ZonePar(4), "zone parameter 4");
  int32_t nP = 0;
  f.ReadInt(nP, "number of outline files");
  nP = std::max(nP, 0);
  in.FileOutlineList.assign(static_cast<std::size_t>(nP), std::string());
  for (int32_t k = 0; k < nP; ++k)
    f.ReadText(in.FileOutlineList[static_cast<std::size_t>(k)], "outline file name " + std::to_string(k + 1));
  f.Skip(3, "heading of the mesh controls");
  f.Read({Int8Target(in.MeshLevel3d, "volume mesh level MeshLevel3d")});
  f.Read({Int8Target(in.MeshLevel, "cross-section mesh level MeshLevel")});
  f.Read({Int8Target(in.Switch3d, "volume mesh switch Switch3d")});
  f.ReadInt(in.ProfType, "process type ProfType");
  f.Read({Int16Target(in.MaxIter, "iteration limit MaxIter")});
  f.Read({Int8Target(in.Switch4, "switch 4")});
  f.Skip(3, "closing lines of the file");
}
