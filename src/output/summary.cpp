#include "output/summary.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/console.h"
#include "core/fatal.h"
#include "core/replace_file.h"

namespace {

// A value of the summary and its log lines: 7 significant digits; an
// infinite value is written "Inf" or "-Inf", as ParseNumber reads it back.
std::string Number(double v) {
  if (std::isinf(v)) return v > 0 ? "Inf" : "-Inf";
  return FormatReal(v, 7);
}

std::string Quoted(const std::string& s) {
  if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

// Splits one CSV line into cells (quoted cells may hold commas and doubled
// quotes).  False on an unterminated quote.
bool SplitCsv(const std::string& line, std::vector<std::string>& cells) {
  cells.clear();
  std::string cell;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        cell += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        cell += c;
      }
    } else if (c == '"' && cell.empty()) {
      quoted = true;
    } else if (c == ',') {
      cells.push_back(cell);
      cell.clear();
    } else {
      cell += c;
    }
  }
  cells.push_back(cell);
  return !quoted;
}

bool ParseNumber(const std::string& s, double& v) {
  if (s == "NaN") v = std::nan("");
  else if (s == "Inf") v = HUGE_VAL;
  else if (s == "-Inf") v = -HUGE_VAL;
  else {
    if (s.empty()) return false;
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return end == s.c_str() + s.size() && std::isfinite(v);
  }
  return true;
}

bool ParseInt(const std::string& s, int& v) {
  double d = 0;
  if (!ParseNumber(s, d) || d != std::floor(d) || std::abs(d) > 2e9) return false;
  v = static_cast<int>(d);
  return true;
}

const char* kColumnNames[kSummaryColumns] = {
    "variant", "ram_speed_mm_s", "billet_temp_C", "extra_length_mm", "outline_file", "iterations",
    "converged", "ram_force_kN", "ram_pressure_MPa", "flow_stress_MPa", "temp_max_C", "temp_min_C",
    "exit_temp_C", "vprof_ratio", "krit_dv_max_mm_s", "dV", "shift_1", "twist_1", "exit_speed_mean_mm_s",
    "exit_speed_spread_pct", "billet_temp_pressed_C", "ram_power_kW", "plastic_heat_kW", "friction_heat_kW",
    "energy_imbalance_pct"};

}  // namespace

double ExitPlaneTemperature(const MeshRecord& nodes) {
  const Mesh3d& g = nodes.g;
  double zmin = 1e300;
  for (int i = 1; i <= g.nh; ++i) zmin = std::min(zmin, g.xyz(3, i));
  double sum = 0.0;
  int n = 0;
  for (int i = 1; i <= g.nh; ++i)
    if (g.xyz(3, i) <= zmin + 0.01) {
      sum += nodes.fld(kFldT, i);
      ++n;
    }
  return n > 0 ? sum / n : 0.0;
}

double SectionMeanTemperature(const Mesh2d& s) {
  if (s.ne < 1 || s.Tnew.size() < s.nh) return std::nan("");
  double sum = 0.0, area = 0.0;
  for (int e = 1; e <= s.ne; ++e) {
    const Point2 &a = s.xy(s.nop(1, e)), &b = s.xy(s.nop(2, e)), &c = s.xy(s.nop(3, e));
    const double ae = 0.5 * std::fabs((b[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (b[1] - a[1]));
    sum += ae * (s.Tnew(s.nop(4, e)) + s.Tnew(s.nop(5, e)) + s.Tnew(s.nop(6, e))) / 3.0;
    area += ae;
  }
  return area > 0.0 ? sum / area : std::nan("");
}

int PiecesWithDistortion(const SectionSet& sections) {
  if (sections.nPiecesB == 0) return 1;
  return std::clamp(sections.nPiecesB - 1, 0, 4);
}

VariantResult CollectResult(int iVar, const InpDat& d, const MeshRecord& nodes) {
  VariantResult r;
  r.variant = iVar;
  r.ramSpeed = d.setup.RamSpeed;
  r.billetTemp = d.setup.BilletTemp;
  r.extraLength = d.setup.AxialLen;
  r.outlineFile = d.setup.FileOutline;
  r.iterations = std::max(0, d.iter.i_iterat - 1);
  // Finished, and the counter (one past the last iteration) below the
  // limit: the condition of "  solve, ok".
  r.converged = d.iter.Stage == 1000 && d.iter.i_iterat < d.setup.MaxIter ? 1 : 0;
  r.ramForce = -d.results.FORSE / 1000.0;
  r.ramPressure = -d.results.Psr;
  r.flowStress = d.iter.Tsr;
  double tmax = -1e300, tmin = 1e300;
  for (int i = 1; i <= nodes.g.nh; ++i) {
    tmax = std::max(tmax, static_cast<double>(nodes.fld(kFldT, i)));
    tmin = std::min(tmin, static_cast<double>(nodes.fld(kFldT, i)));
  }
  r.tempMax = nodes.g.nh > 0 ? tmax : std::nan("");
  r.tempMin = nodes.g.nh > 0 ? tmin : std::nan("");
  r.tempExit = d.results.TempExit;
  r.vprofRatio = d.iter.VProfFEM / d.model.VProfAnalit;
  r.kritDvMax = d.iter.Krit_dV_MAX;
  r.dV = d.results.dV;
  const bool piece1 = PiecesWithDistortion(d.sections) >= 1;
  r.shift1 = piece1 ? d.results.IntRes(1) : std::nan("");
  r.twist1 = piece1 ? d.results.IntRes(2) : std::nan("");
  r.exitSpeedMean = d.results.ExitAll.mean;
  r.exitSpeedSpread = d.results.ExitAll.spreadPct;
  r.tempPressed = d.results.TempPressed;
  r.ramPower = d.results.Energy.ramPower;
  r.plasticHeat = d.results.Energy.plastic;
  r.frictionHeat = d.results.Energy.friction;
  r.energyImbalance = d.results.Energy.imbalancePct;
  return r;
}

void WriteResultsBlock(std::FILE* log, const InpDat& d, const VariantResult& r) {
  LogLine(log, TextLine());
  LogLine(log, TextLine("Results"));
  LogLine(log, TextLine("  coupled iterations           ") << r.iterations
                                                            << (r.converged ? "  (converged: solve, ok)"
                                                                            : "  (not converged: limit of iterations)"));
  LogLine(log, TextLine("  ram force, kN                ") << Number(r.ramForce));
  LogLine(log, TextLine("  ram pressure, MPa            ") << Number(r.ramPressure));
  LogLine(log, TextLine("  mean flow stress, MPa        ") << Number(r.flowStress));
  LogLine(log, TextLine("  largest temperature, C       ") << Number(r.tempMax));
  LogLine(log, TextLine("  lowest temperature, C        ") << Number(r.tempMin));
  LogLine(log, TextLine("  mean exit temperature, C     ") << Number(r.tempExit));
  LogLine(log, TextLine("  billet temperature pressed, C") << Number(r.tempPressed) << "  (mean after the cooling before pressing)");
  LogLine(log, TextLine("  VProfFEM/VProfAnalit         ") << Number(r.vprofRatio) << "  (" << Number(d.iter.VProfFEM)
                                                            << " / " << Number(d.model.VProfAnalit) << " mm/s)");
  LogLine(log, TextLine("  Krit_dV_MAX, mm/s            ") << Number(r.kritDvMax));
  LogLine(log, TextLine("  dV (mesh volume deviation)   ") << Number(r.dV));
  const int pieces = PiecesWithDistortion(d.sections);
  if (pieces == 0) LogLine(log, TextLine("  profile distortion           not computed (single outline)"));
  for (int j = 1; j <= pieces; ++j)
    LogLine(log, TextLine("  piece ") << j << ": shift, mm/m " << Number(d.results.IntRes(2 * j - 1)) << "   twist, deg/m "
                                      << Number(d.results.IntRes(2 * j)));
  // Exit-speed balance: per piece, and with several pieces (the holes of a
  // multi-hole die) each piece's mean against the mean over all of them and
  // its share of the volume that leaves the die (mean speed x section area).
  const int balance = std::min(d.results.ExitPieces.size(), d.sections.Pieces2d.size());
  double flux = 0.0;
  for (int j = 1; j <= balance; ++j) flux += d.results.ExitPieces(j).mean * d.sections.Pieces2d(j).area;
  for (int j = 1; j <= balance; ++j) {
    const ExitSpeed& e = d.results.ExitPieces(j);
    TextLine line("  piece ");
    line << j << ": exit speed, mm/s: mean " << Number(e.mean) << "  lowest " << Number(e.low) << "  highest "
         << Number(e.high) << "  spread, % " << Number(e.spreadPct);
    if (balance > 1)
      line << "  mean against all pieces, % " << Number((e.mean / d.results.ExitAll.mean - 1.0) * 100.0)
           << "  share of the flux " << Number(e.mean * d.sections.Pieces2d(j).area / flux);
    LogLine(log, line);
  }
  if (balance > 1)
    LogLine(log, TextLine("  all pieces: exit speed, mm/s: mean ")
                     << Number(d.results.ExitAll.mean) << "  lowest " << Number(d.results.ExitAll.low) << "  highest "
                     << Number(d.results.ExitAll.high) << "  spread, % " << Number(d.results.ExitAll.spreadPct));
  const EnergyBalance& e = d.results.Energy;
  LogLine(log, TextLine("  energy balance, kW"));
  LogLine(log, TextLine("    ram power F v              ") << Number(e.ramPower));
  LogLine(log, TextLine("    plastic dissipation        ") << Number(e.plastic) << "  (released as heat "
                                                            << Number(e.plasticHeat) << ", stored " << Number(e.stored)
                                                            << ")");
  LogLine(log, TextLine("    friction on the tools      ") << Number(e.friction) << "  (heat " << Number(e.frictionHeat)
                                                            << ", into the material " << Number(e.frictionToBillet)
                                                            << ")");
  LogLine(log, TextLine("    carried out, exit - ram    ") << Number(e.carriedOut) << "  (conducted in at the ram "
                                                            << Number(e.ramConduction) << ")");
  LogLine(log, TextLine("    heat to the tools          ") << Number(e.toTools));
  LogLine(log, TextLine("    heat to the air            ") << Number(e.toAir));
  LogLine(log, TextLine("    imbalance, %               ") << Number(e.imbalancePct));
  LogLine(log, TextLine("  wall time, s: flow ") << Number(d.times.TimeFlow) << "  temperature " << Number(d.times.TimeTemp)
                                                 << "  transfers " << Number(d.times.TimeTransfer) << "  rheology "
                                                 << Number(d.times.TimeRheo) << "  distortion and result file "
                                                 << Number(d.times.TimePost));
}

void WarnAboveLawLimit(std::FILE* log, int iVar, const VariantSetup& setup, const MeshRecord& nodes,
                       const MeshRecord& nodes_t) {
  double tmax = -1e300;
  for (const MeshRecord* m : {&nodes, &nodes_t})
    for (int i = 1; i <= m->g.nh; ++i) tmax = std::max(tmax, static_cast<double>(m->fld(kFldT, i)));
  if (!(tmax > setup.mat.MatTmax)) return;
  const std::string text =
      "Warning: largest temperature " + Number(tmax) + " C above MatTmax " +
      Number(setup.mat.MatTmax) +
      " C: the flow stress is taken at MatTmax there; risk of incipient melting";
  Console(TextLine(text) << " iVar=" << iVar);
  LogLine(log, TextLine(text));
}

std::vector<std::string> SummaryCells(const VariantResult& r) {
  return {std::to_string(r.variant), Number(r.ramSpeed),    Number(r.billetTemp), Number(r.extraLength),
          Quoted(r.outlineFile),      std::to_string(r.iterations), std::to_string(r.converged),
          Number(r.ramForce),         Number(r.ramPressure), Number(r.flowStress), Number(r.tempMax),
          Number(r.tempMin),          Number(r.tempExit),    Number(r.vprofRatio), Number(r.kritDvMax),
          Number(r.dV),               Number(r.shift1),      Number(r.twist1),     Number(r.exitSpeedMean),
          Number(r.exitSpeedSpread),  Number(r.tempPressed), Number(r.ramPower),   Number(r.plasticHeat),
          Number(r.frictionHeat),     Number(r.energyImbalance)};
}

void WriteSummary(const std::string& path, const std::vector<VariantResult>& rows) {
  std::string text = std::string(kSummaryHeader) + "\n";
  for (const VariantResult& r : rows) {
    const std::vector<std::string> cells = SummaryCells(r);
    for (std::size_t k = 0; k < cells.size(); ++k) text += (k ? "," : "") + cells[k];
    text += "\n";
  }
  ReplaceFile(path, text, "the run summary");
}

void RemoveSummary(const std::string& path) {
  if (std::remove(path.c_str()) != 0 && errno != ENOENT)
    Fatal(path + ": cannot remove the summary of an earlier run: " + std::strerror(errno));
}

bool ReadSummary(const std::string& path, std::vector<VariantResult>& rows, std::string& error) {
  rows.clear();
  std::ifstream in(path);
  if (!in) {
    error = path + ": cannot open the run summary";
    return false;
  }
  std::string line;
  int lineNo = 1;
  if (!std::getline(in, line) || line != kSummaryHeader) {
    error = path + ":1: expected the summary header line";
    return false;
  }
  std::vector<std::string> c;
  while (std::getline(in, line)) {
    ++lineNo;
    const std::string where = path + ":" + std::to_string(lineNo) + ": ";
    if (!SplitCsv(line, c) || static_cast<int>(c.size()) != kSummaryColumns) {
      error = where + "expected " + std::to_string(kSummaryColumns) + " cells, found " + std::to_string(c.size());
      return false;
    }
    VariantResult r;
    int* ints[] = {&r.variant, &r.iterations, &r.converged};
    const int intCol[] = {0, 5, 6};
    for (int k = 0; k < 3; ++k)
      if (!ParseInt(c[static_cast<std::size_t>(intCol[k])], *ints[k])) {
        error = where + "expected an integer in column " + kColumnNames[intCol[k]] + ", found \"" +
                c[static_cast<std::size_t>(intCol[k])] + "\"";
        return false;
      }
    r.outlineFile = c[4];
    for (const SummaryReal& cell : kSummaryReals)
      if (!ParseNumber(c[static_cast<std::size_t>(cell.column)], r.*cell.member)) {
        error = where + "expected a number in column " + kColumnNames[cell.column] + ", found \"" +
                c[static_cast<std::size_t>(cell.column)] + "\"";
        return false;
      }
    rows.push_back(r);
  }
  return true;
}

std::vector<std::string> SummaryTable(const std::vector<VariantResult>& rows) {
  std::vector<std::vector<std::string>> cells;
  cells.emplace_back(kColumnNames, kColumnNames + kSummaryColumns);
  for (const VariantResult& r : rows) {
    cells.push_back(SummaryCells(r));
    cells.back()[4] = r.outlineFile;
  }
  std::vector<std::size_t> width(kSummaryColumns, 0);
  for (const auto& row : cells)
    for (int k = 0; k < kSummaryColumns; ++k) width[k] = std::max(width[k], row[static_cast<std::size_t>(k)].size());
  std::vector<std::string> lines;
  for (const auto& row : cells) {
    std::string line;
    for (int k = 0; k < kSummaryColumns; ++k) {
      const std::string& s = row[static_cast<std::size_t>(k)];
      const std::string pad(width[static_cast<std::size_t>(k)] - s.size(), ' ');
      if (k) line += "  ";
      line += k == 4 ? s + pad : pad + s;  // file names left, numbers right
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}
