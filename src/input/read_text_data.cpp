#include "input/read_text_data.h"

#include <algorithm>
#include <cmath>

#include "core/console.h"
#include "input/freeformat.h"

namespace {

// Reads a list count and then that many values, one line each.  The count
// is checked against the lines left in the file before the list is sized.
// Returns the line of the count; `valueLines` gets the line of every value.
int ReadRealList(FreeFormatFile& f, std::vector<double>& list, std::vector<int>& valueLines,
                 const std::string& countWhat, const std::string& valueWhat) {
  int32_t n = 0;
  f.ReadInt(n, countWhat);
  const int line = f.LastLine();
  n = std::max(n, 0);
  f.RequireLines(n, 1, line, countWhat);
  list.assign(static_cast<std::size_t>(n), 0.0);
  valueLines.assign(static_cast<std::size_t>(n), 0);
  for (int32_t k = 0; k < n; ++k) {
    f.ReadReal(list[static_cast<std::size_t>(k)], valueWhat + " " + std::to_string(k + 1));
    valueLines[static_cast<std::size_t>(k)] = f.LastLine();
  }
  return line;
}

// Highest temperature accepted, deg C: above the boiling point of every
// metal, so no billet or tool can be hotter; larger values are typing
// errors that would run to plausible-looking result files.
constexpr double kMaxTemperature = 10000.0;
constexpr double kAbsoluteZero = -273.15;

void CheckTemperature(const FreeFormatFile& f, int line, double t, const std::string& what) {
  if (!(t > kAbsoluteZero && t < kMaxTemperature))
    f.FatalAt(line, what + " is " + FormatReal(t) + " deg C; expected a temperature above absolute zero (" +
                        FormatReal(kAbsoluteZero) + ") and below " + FormatReal(kMaxTemperature));
}

void CheckLength(const FreeFormatFile& f, int line, double v, const std::string& what) {
  if (!(v >= 0.0)) f.FatalAt(line, what + " is " + FormatReal(v) + " mm; expected a length of 0 or more");
}

void Warn(const FreeFormatFile& f, int line, const std::string& text) {
  Console(TextLine(f.name + ":" + std::to_string(line) + ": warning: " + text));
}

// Reads one real, then checks it with `check(line, value)`.
template <class Check>
void ReadChecked(FreeFormatFile& f, double& v, const std::string& what, Check check) {
  f.ReadReal(v, what);
  check(f.LastLine(), v);
}

}  // namespace

void ReadTextData(RunInput& in, const std::string& path) {
  in.mat.MatTmax = 1200.0;
  in.Switch3d = 0;
  in.MaxIter = 10;
  in.InputFile = path;
  in.ListCountLine = {};

  FreeFormatFile f;
  f.Open(path, "input file");
  Material& m = in.mat;
  auto temperature = [&](const std::string& what) {
    return [&f, what](int line, double v) { CheckTemperature(f, line, v, what); };
  };
  auto length = [&](const std::string& what) {
    return [&f, what](int line, double v) { CheckLength(f, line, v, what); };
  };

  f.Skip(9, "file heading");
  f.ReadInt(m.MatLaw, "flow stress law code");
  f.ReadReal(m.MatC0, "constant of the flow stress law");
  for (int k = 1; k <= 15; ++k) f.ReadReal(m.LawTable(k), "flow stress table value " + std::to_string(k));
  f.Skip(2, "heading of the thermal properties");
  static const char* const kPairNames[3] = {"specific heat", "density", "heat conductivity"};
  for (int k = 1; k <= 3; ++k)
    f.Read({RealTarget(m.PairX(k), std::string(kPairNames[k - 1]) + " constant"),
            RealTarget(m.PairY(k), std::string(kPairNames[k - 1]) + " slope")});
  ReadChecked(f, m.MatTmax, "upper temperature limit", temperature("the upper temperature limit MatTmax"));
  f.Skip(2, "heading of the fracture table");
  f.ReadInt(m.FracCount, "fracture table count");
  for (int k = 1; k <= 15; ++k) f.ReadReal(m.FracTable(k), "fracture table value " + std::to_string(k));
  f.Skip(3, "heading of the process values");

  std::vector<int> lines;
  in.ListCountLine(1) = ReadRealList(f, in.RamSpeedList, lines, "number of ram speeds", "ram speed");
  for (std::size_t k = 0; k < in.RamSpeedList.size(); ++k) {
    const double v = in.RamSpeedList[k];
    if (!(v > 0.0))
      f.FatalAt(lines[k], "ram speed is " + FormatReal(v) + " mm/s; expected a speed above 0 (the ram pushes the billet)");
  }
  in.ListCountLine(2) = ReadRealList(f, in.BilletTempList, lines, "number of billet temperatures", "billet temperature");
  for (std::size_t k = 0; k < in.BilletTempList.size(); ++k) {
    const int line = lines[k];
    const double t = in.BilletTempList[k];
    CheckTemperature(f, line, t, "billet temperature");
    // The flow stress law evaluates every temperature above its upper limit
    // at the limit; the run goes on, but the user is told.
    if (t > m.MatTmax)
      Warn(f, line, "billet temperature " + FormatReal(t) + " deg C lies above the upper temperature limit " +
                        FormatReal(m.MatTmax) + " deg C of the flow stress law; the law uses " +
                        FormatReal(m.MatTmax) + " deg C there");
  }
  ReadChecked(f, in.ToolTemp, "tool temperature", temperature("tool temperature"));
  ReadChecked(f, in.LenB, "LenB, axial length of the thermal time offset", length("LenB"));
  ReadChecked(f, in.ContactHtc, "contact heat-transfer coefficient", [&f](int line, double v) {
    if (!(v >= 0.0))
      f.FatalAt(line, "contact heat-transfer coefficient is " + FormatReal(v) + "; expected 0 or more");
  });
  for (int k = 1; k <= 3; ++k) f.ReadReal(in.BcFactor(k), "boundary factor " + std::to_string(k));
  f.Skip(3, "heading of the lengths");
  ReadChecked(f, in.LenA, "LenA, axial length of the layout", [&f](int line, double v) {
    if (!(v > 0.0))
      f.FatalAt(line, "LenA is " + FormatReal(v) + " mm; expected an axial length above 0 (the length of the model)");
  });
  ReadChecked(f, in.PieceLen1, "PieceLen1, bearing length", length("PieceLen1"));
  f.ReadReal(in.ZonePar(1), "zone parameter 1");
  in.ListCountLine(3) = ReadRealList(f, in.AxialLenList, lines, "number of extra-zone lengths", "extra-zone length");
  for (std::size_t k = 0; k < in.AxialLenList.size(); ++k) CheckLength(f, lines[k], in.AxialLenList[k], "extra-zone length");
  f.ReadReal(in.ParE, "process parameter ParE");
  f.ReadReal(in.FaceShift, "die-face correction scale");
  ReadChecked(f, in.PieceLen2, "PieceLen2", length("PieceLen2"));
  f.ReadReal(in.ZonePar(2), "zone parameter 2");
  ReadChecked(f, in.PieceLen4, "PieceLen4", length("PieceLen4"));
  f.ReadReal(in.ZonePar(3), "zone parameter 3");
  ReadChecked(f, in.PieceLen5, "PieceLen5", length("PieceLen5"));
  f.ReadReal(in.ZonePar(4), "zone parameter 4");
  int32_t nP = 0;
  f.ReadInt(nP, "number of outline files");
  in.ListCountLine(4) = f.LastLine();
  nP = std::max(nP, 0);
  f.RequireLines(nP, 1, in.ListCountLine(4), "number of outline files");
  in.FileOutlineList.assign(static_cast<std::size_t>(nP), std::string());
  for (int32_t k = 0; k < nP; ++k)
    f.ReadText(in.FileOutlineList[static_cast<std::size_t>(k)], "outline file name " + std::to_string(k + 1));
  f.Skip(3, "heading of the mesh controls");

  // Mesh levels are documented from 1 to 5.  Below 1 is refused; above 5
  // the meshers run with their finest setting, which is said once.
  f.Read({Int8Target(in.MeshLevel3d, "volume mesh level MeshLevel3d")});
  if (in.MeshLevel3d < 1)
    f.FatalAt(f.LastLine(), "volume mesh level MeshLevel3d is " + std::to_string(in.MeshLevel3d) +
                                "; expected a level from 1 to 5");
  if (in.MeshLevel3d > 5)
    Warn(f, f.LastLine(), "volume mesh level MeshLevel3d " + std::to_string(in.MeshLevel3d) +
                              " lies above 5; the finest layering, that of level 5, is used");
  f.Read({Int8Target(in.MeshLevel, "cross-section mesh level MeshLevel")});
  const int meshLevelLine = f.LastLine();
  if (in.MeshLevel < 1)
    f.FatalAt(meshLevelLine, "cross-section mesh level MeshLevel is " + std::to_string(in.MeshLevel) +
                                 "; expected a level from 1 to 5");
  f.Read({Int8Target(in.Switch3d, "volume mesh switch Switch3d")});
  f.ReadInt(in.ProfType, "process type ProfType");
  if (in.MeshLevel > 5) {
    const bool multi = in.ProfType == 7 || in.ProfType == 9;
    Warn(f, meshLevelLine,
         "cross-section mesh level MeshLevel " + std::to_string(in.MeshLevel) + " lies above 5; " +
             (multi ? std::string("process type ") + std::to_string(in.ProfType) + " meshes at level 2 in any case"
                    : std::string("the finest setting is used (32 divisions per outline)")));
  }
  f.Read({Int16Target(in.MaxIter, "iteration limit MaxIter")});
  f.Read({Int8Target(in.Switch4, "switch 4")});
  f.Skip(3, "closing lines of the file");
}
