#include "input/read_text_data.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/console.h"
#include "core/fatal.h"
#include "input/freeformat.h"
#include "input/process_types.h"

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

void Warn(const FreeFormatFile& f, int line, const std::string& text) { f.WarnAt(line, text); }

// Reads one real, then checks it with `check(line, value)`.
template <class Check>
void ReadChecked(FreeFormatFile& f, double& v, const std::string& what, Check check) {
  f.ReadReal(v, what);
  check(f.LastLine(), v);
}

}  // namespace

// Reads every item of the input file from `f` into `in`, checking values.
static void ReadAll(RunInput& in, FreeFormatFile& f) {
  in.setup.mat.MatTmax = 1200.0;
  in.setup.Switch3d = 0;
  in.setup.MaxIter = 10;
  in.InputFile = f.name;
  in.ListCountLine = {};
  Material& m = in.setup.mat;
  auto temperature = [&](const std::string& what) {
    return [&f, what](int line, double v) { CheckTemperature(f, line, v, what); };
  };
  auto length = [&](const std::string& what) {
    return [&f, what](int line, double v) { CheckLength(f, line, v, what); };
  };

  f.Skip(9, "file heading");
  f.ReadInt(m.MatLaw, "flow stress law code");
  // Law 1 takes its coefficients from no line of the file (they stay 0, so
  // its flow stress is 0); other codes have no law at all.
  if (m.MatLaw != 2 && m.MatLaw != 8)
    f.FatalAt(f.LastLine(), "flow stress law code MatLaw is " + std::to_string(m.MatLaw) +
                                "; expected 2 (C0 exp(a T) strain^b rate^c, coefficients on the next lines) or 8 (a "
                                "built-in aluminium law with its own fracture coefficients)");
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
  ReadChecked(f, in.setup.ToolTemp, "tool temperature", temperature("tool temperature"));
  ReadChecked(f, in.setup.LenB, "LenB, axial length of the thermal time offset", length("LenB"));
  ReadChecked(f, in.setup.ContactHtc, "contact heat-transfer coefficient", [&f](int line, double v) {
    if (!(v >= 0.0))
      f.FatalAt(line, "contact heat-transfer coefficient is " + FormatReal(v) + "; expected 0 or more");
  });
  for (int k = 1; k <= 3; ++k) f.ReadReal(in.setup.BcFactor(k), "boundary factor " + std::to_string(k));
  f.Skip(3, "heading of the lengths");
  ReadChecked(f, in.setup.LenA, "LenA, axial length of the layout", [&f](int line, double v) {
    if (!(v > 0.0))
      f.FatalAt(line, "LenA is " + FormatReal(v) + " mm; expected an axial length above 0 (the length of the model)");
  });
  ReadChecked(f, in.setup.PieceLen1, "PieceLen1, bearing length", length("PieceLen1"));
  f.ReadReal(in.setup.ZonePar(1), "zone parameter 1");
  in.ListCountLine(3) = ReadRealList(f, in.AxialLenList, lines, "number of extra-zone lengths", "extra-zone length");
  const std::vector<int> axialLines = lines;
  for (std::size_t k = 0; k < in.AxialLenList.size(); ++k) CheckLength(f, lines[k], in.AxialLenList[k], "extra-zone length");
  f.ReadReal(in.setup.ParE, "process parameter ParE");
  f.ReadReal(in.setup.FaceShift, "die-face correction scale");
  ReadChecked(f, in.setup.PieceLen2, "PieceLen2", length("PieceLen2"));
  f.ReadReal(in.setup.ZonePar(2), "zone parameter 2");
  ReadChecked(f, in.setup.PieceLen4, "PieceLen4", length("PieceLen4"));
  f.ReadReal(in.setup.ZonePar(3), "zone parameter 3");
  ReadChecked(f, in.setup.PieceLen5, "PieceLen5", length("PieceLen5"));
  f.ReadReal(in.setup.ZonePar(4), "zone parameter 4");
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
  f.Read({Int8Target(in.setup.MeshLevel3d, "volume mesh level MeshLevel3d")});
  if (in.setup.MeshLevel3d < 1)
    f.FatalAt(f.LastLine(), "volume mesh level MeshLevel3d is " + std::to_string(in.setup.MeshLevel3d) +
                                "; expected a level from 1 to 5");
  if (in.setup.MeshLevel3d > 5)
    Warn(f, f.LastLine(), "volume mesh level MeshLevel3d " + std::to_string(in.setup.MeshLevel3d) +
                              " lies above 5; the finest layering, that of level 5, is used");
  f.Read({Int8Target(in.setup.MeshLevel, "cross-section mesh level MeshLevel")});
  const int meshLevelLine = f.LastLine();
  if (in.setup.MeshLevel < 1)
    f.FatalAt(meshLevelLine, "cross-section mesh level MeshLevel is " + std::to_string(in.setup.MeshLevel) +
                                 "; expected a level from 1 to 5");
  f.Read({Int8Target(in.setup.Switch3d, "volume mesh switch Switch3d")});
  f.ReadInt(in.setup.ProfType, "process type ProfType");
  const int typeLine = f.LastLine();
  if (ProcessTypeMeaning(in.setup.ProfType).empty())
    f.FatalAt(typeLine, "process type ProfType is " + std::to_string(in.setup.ProfType) + "; expected " + ProcessTypeList());
  if (in.setup.ProfType == 9) Warn(f, typeLine, "process type 9 runs exactly as process type 7 (multi-hole die)");
  if (HasExtraZone(in.setup.ProfType))
    for (std::size_t k = 0; k < in.AxialLenList.size(); ++k)
      if (!(in.AxialLenList[k] >= kMinExtraZoneLength))
        f.FatalAt(axialLines[k], "extra-zone length is " + FormatReal(in.AxialLenList[k]) + " mm; process type " +
                                     std::to_string(in.setup.ProfType) + " (line " + std::to_string(typeLine) +
                                     ") meshes its extra zone in layers and needs " +
                                     FormatReal(kMinExtraZoneLength) +
                                     " mm or more (for no extra zone use process type 1)");
  if (in.setup.MeshLevel > 5) {
    const bool multi = IsMultiHole(in.setup.ProfType);
    Warn(f, meshLevelLine,
         "cross-section mesh level MeshLevel " + std::to_string(in.setup.MeshLevel) + " lies above 5; " +
             (multi ? std::string("process type ") + std::to_string(in.setup.ProfType) + " meshes at level 2 in any case"
                    : std::string("the finest setting is used (32 divisions per outline)")));
  }
  f.Read({Int16Target(in.setup.MaxIter, "iteration limit MaxIter")});
  f.Read({Int8Target(in.setup.Switch4, "switch 4")});
  f.Skip(3, "closing lines of the file");
}

namespace {

// "; <count> on line L is N, but only M values follow it ...".
std::string CountHint(const FreeFormatFile& f, const std::string& what, int line, int found) {
  const int count = std::atoi(f.lines[static_cast<std::size_t>(line - 1)].c_str());
  return "; the " + what + " on line " + std::to_string(line) + " is " + std::to_string(count) + ", but only " +
         std::to_string(found) + " value line(s) follow it (a value line is missing, or the count is too high)";
}

// True when the comment of `line` names `role` ("ram speed 2" is named by
// "5.0  ram speed, mm/s"): the words of the role up to a comma or a
// parenthesis, without a trailing number.
bool LabelNames(const std::string& line, const std::string& role) {
  std::string key = role.substr(0, role.find_first_of(",("));
  while (!key.empty() && (key.back() == ' ' || std::isdigit(static_cast<unsigned char>(key.back())))) key.pop_back();
  if (key.size() < 3) return false;
  auto lower = [](std::string t) {
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t;
  };
  return lower(line).find(lower(key)) != std::string::npos;
}

// The reader stopped at some line.  Tries what a user most likely did to the
// file: a line deleted (a value or a comment line), a line added, a list
// count raised without its values.  A guess counts only when the whole file
// then reads without any finding; returns "" when no guess does.
std::string GuessCause(const FreeFormatFile& orig, int stopLine, const Fix1<int32_t, 4>& countLines) {
  // Files of a user's size only: every guess reads the file once more.
  const int n = static_cast<int>(orig.lines.size());
  if (n > 2000) return "";
  // Reads `text`; true when it reads through.  `roles` gets what each line
  // was taken for, `score` how many lines look like what they were taken
  // for (a number where a number is read, words where a line is skipped).
  auto readsThrough = [&](const std::vector<std::string>& text, std::vector<std::string>* roles, int* score = nullptr,
                          int filler = -1) {
    FreeFormatFile f;
    f.name = orig.name;
    f.lines = text;
    f.roles.assign(text.size(), std::string());
    f.roleKinds.assign(text.size(), ' ');
    f.trial = true;
    RunInput in;
    try {
      ReadAll(in, f);
    } catch (const FreeFormatStop&) {
      return false;
    }
    // An empty variation list reads, but leaves no variant to compute.
    if (in.RamSpeedList.empty() || in.BilletTempList.empty() || in.AxialLenList.empty() || in.FileOutlineList.empty())
      return false;
    if (roles != nullptr) *roles = f.roles;
    if (score != nullptr) {
      *score = 0;
      for (std::size_t i = 0; i < text.size(); ++i) {
        if (static_cast<int>(i) == filler) continue;
        const std::string first = text[i].substr(0, text[i].find_first_of(" \t,/", text[i].find_first_not_of(" \t")));
        double v = 0.0;
        const bool number = ParseReal(first.substr(std::min(first.size(), first.find_first_not_of(" \t"))), v);
        const char kind = f.roleKinds[i];
        // A character value here is a file name: it has an extension.
        const std::size_t dot = first.find('.');
        const bool fileName = dot != std::string::npos && dot + 1 < first.size() &&
                              std::isalpha(static_cast<unsigned char>(first[dot + 1]));
        if ((kind == 'n' && number) || (kind == 's' && !number) || (kind == 't' && fileName)) ++*score;
        if (kind != ' ' && kind != 's' && LabelNames(text[i], f.roles[i])) ++*score;
      }
    }
    return true;
  };
  const int last = std::min(stopLine, n + 1);  // the cause lies at or before the stop
  // A missing line before line p (1-based), filled by a comment or by
  // zeros (two, for the lines that hold a pair).  Several neighbouring
  // places may fit (a heading of three lines, a run of reals): all are named.
  // Of the places that fit, those whose reading looks most like the file's
  // own lines are the likely ones.
  auto insertionScore = [&](int p, std::string& role) {
    int best = -1;
    for (const char* filler : {"?", "1 1", "0 0"}) {
      std::vector<std::string> text = orig.lines;
      text.insert(text.begin() + (p - 1), filler);
      std::vector<std::string> roles;
      int score = 0;
      if (readsThrough(text, &roles, &score, p - 1) && score > best) {
        best = score;
        role = roles[static_cast<std::size_t>(p - 1)];
      }
    }
    return best;
  };
  std::vector<int> scores(static_cast<std::size_t>(last + 1), -1);
  std::vector<std::string> roleAt(static_cast<std::size_t>(last + 1));
  int bestScore = -1;
  for (int p = 1; p <= last; ++p) {
    scores[static_cast<std::size_t>(p)] = insertionScore(p, roleAt[static_cast<std::size_t>(p)]);
    bestScore = std::max(bestScore, scores[static_cast<std::size_t>(p)]);
  }
  int missing = 0;
  for (int p = last; p >= 1 && missing == 0; --p)
    if (bestScore >= 0 && scores[static_cast<std::size_t>(p)] == bestScore) missing = p;
  const std::string role = missing > 0 ? roleAt[static_cast<std::size_t>(missing)] : std::string();
  if (missing > 0) {
    // A value of a variation list is missing: name the count of that list.
    static const char* const kLists[4][2] = {{"ram speed ", "number of ram speeds"},
                                             {"billet temperature ", "number of billet temperatures"},
                                             {"extra-zone length ", "number of extra-zone lengths"},
                                             {"outline file name ", "number of outline files"}};
    for (const auto& list : kLists) {
      const std::string value = list[0];
      if (role.rfind(value, 0) != 0) continue;
      const int k = std::atoi(role.c_str() + value.size());  // 1-based place of the missing value
      const int countLine = missing - k;
      if (countLine < 1) break;
      return CountHint(orig, list[1], countLine, k - 1);
    }
    int first = missing;
    while (first > 1 && scores[static_cast<std::size_t>(first - 1)] == bestScore) --first;
    const std::string firstRole = roleAt[static_cast<std::size_t>(first)];
    auto shown = [&](int p) {
      return p <= n ? "line " + std::to_string(p) + " (\"" + orig.lines[static_cast<std::size_t>(p - 1)] + "\")"
                    : std::string("the end of the file");
    };
    if (first == missing)
      return "; most likely a line is missing before " + shown(missing) + ", where the reader expects " + role +
             ": every later value sits one line too high";
    return "; most likely a line is missing somewhere from before " + shown(first) + " to before " + shown(missing) +
           ", where the reader expects " + (firstRole == role ? role : firstRole + " ... " + role) +
           ": every later value sits one line too high";
  }
  // Only lines the file has can be one too many (the stop may lie at its end).
  for (int p = std::min(last, static_cast<int>(orig.lines.size())); p >= 1; --p) {
    std::vector<std::string> text = orig.lines;
    text.erase(text.begin() + (p - 1));
    if (readsThrough(text, nullptr))
      return "; most likely line " + std::to_string(p) + " (\"" + orig.lines[static_cast<std::size_t>(p - 1)] +
             "\") is one line too many: every later value sits one line too low";
  }
  // A count raised by more than one: the count that, lowered, lets the file
  // read through.
  static const char* const kCounts[4] = {"number of ram speeds", "number of billet temperatures",
                                         "number of extra-zone lengths", "number of outline files"};
  for (int c = 1; c <= 4; ++c) {
    const int line = countLines(c);
    if (line < 1 || line > n) continue;
    const int count = std::atoi(orig.lines[static_cast<std::size_t>(line - 1)].c_str());
    for (int m = count - 1; m >= 0 && m >= count - 20; --m) {
      std::vector<std::string> text = orig.lines;
      text[static_cast<std::size_t>(line - 1)] = std::to_string(m);
      if (readsThrough(text, nullptr)) return CountHint(orig, kCounts[c - 1], line, m);
    }
  }
  return "";
}

}  // namespace

void ReadTextData(RunInput& in, const std::string& path) {
  FreeFormatFile f;
  f.Open(path, "input file");
  // A trial read first: a finding is reported with the line that most
  // likely caused it, which may lie well before the line where the types
  // stopped matching.
  f.trial = true;
  RunInput probe;
  try {
    ReadAll(probe, f);
  } catch (const FreeFormatStop& stop) {
    const std::size_t colon = stop.message.find(':', f.name.size());
    const int line = std::atoi(stop.message.c_str() + colon + 1);
    Fatal(stop.message + GuessCause(f, line, probe.ListCountLine));
  }
  f.trial = false;
  f.next = 0;
  f.roles.assign(f.lines.size(), std::string());
  ReadAll(in, f);
}

void RefuseTextOutline(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return;  // the outline reader names a missing file
  char buf[256];
  in.read(buf, sizeof buf);
  const std::streamsize got = in.gcount();
  if (got < 2) return;
  for (std::streamsize i = 0; i < got; ++i) {
    const unsigned char c = static_cast<unsigned char>(buf[i]);
    if (!(c == '\n' || c == '\r' || c == '\t' || (c >= 32 && c < 127))) return;
  }
  std::string first(buf, static_cast<std::size_t>(got));
  first = first.substr(0, first.find('\n'));
  const std::size_t dot = path.rfind('.');
  const std::string stem = dot == std::string::npos || path.find('/', dot) != std::string::npos ? path : path.substr(0, dot);
  Fatal(path + ": is a text description of outlines (line 1: \"" + first + "\"), not a binary outline file; make the " +
        "binary file with \"kalmora-outline " + path + " " + stem + ".olf\" and name " + stem + ".olf in the input file");
}
