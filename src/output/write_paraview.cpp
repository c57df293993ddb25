#include "output/write_paraview.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/fatal.h"
#include "core/replace_file.h"

namespace {

// Square root of 3 in single precision, widened: the factor between the
// equivalent stress over the viscosity and the equivalent strain rate.
constexpr double kSqrt3 = 1.7320508f;

// Bounds of the equivalent stress in the denominator of the triaxiality,
// MPa: keeps the ratio finite at nodes without stress.
constexpr double kTriaxStressMin = 1.0;
constexpr double kTriaxStressMax = 1000.0;

// VTK cell type of the six-node (linear) wedge.
constexpr std::string_view kWedgeCellType = "13";

// Longest rendering of a finite double with a few decimals: 309 integer
// digits, sign, point, decimals.
constexpr int kNumberBuf = 352;

// The value as written to the file: a non-finite value (which only a failed
// or unset field produces) is written as 0, because a reader stops taking
// arrays at the first nan or inf and would lose every array after it.
double Shown(double v) { return std::isfinite(v) ? v : 0.0; }

void AppendFixed(std::string& out, double value, int decimals) {
  assert(std::isfinite(value));
  char buf[kNumberBuf];
  const int n = std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  assert(n > 0 && n < static_cast<int>(sizeof buf));
  std::string_view s(buf, static_cast<std::size_t>(n));
  // A negative value that rounds to zero is written without its sign.
  if (s.front() == '-' && s.find_first_not_of("-0.") == std::string_view::npos) s.remove_prefix(1);
  out.append(s);
}

void AppendE13_5(std::string& out, double value) {
  assert(std::isfinite(value));
  if (value == 0.0) {
    out.append("0.00000E+00");
    return;
  }
  // %.4E gives d.ddddE+xx with the five significant digits already rounded;
  // moving the point one place left raises the exponent by one.
  char buf[40];
  [[maybe_unused]] const int n = std::snprintf(buf, sizeof buf, "%.4E", value);
  assert(n > 0 && n < static_cast<int>(sizeof buf));
  const char* p = buf;
  if (*p == '-') {
    out.push_back('-');
    ++p;
  }
  out.append("0.");
  out.push_back(p[0]);
  out.append(p + 2, 4);
  const int exponent = std::atoi(p + 7) + 1;  // p + 6 is the 'E', p + 7 the exponent's sign
  char ebuf[16];
  const int m = std::snprintf(ebuf, sizeof ebuf, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  out.append(ebuf, static_cast<std::size_t>(m));
}

// The text of the result file, built line by line.
struct FileText {
  std::string text;

  void Put(const std::string& line) {
    text.append(line);
    text.push_back('\n');
  }
};

}  // namespace

std::string ParaViewFileName(int iVar) { return "kalm3d_Var_" + std::to_string(iVar) + ".vtu"; }

std::string ParaViewTwinName(int iVar) { return "kalm3d_Var_" + std::to_string(iVar) + ".vtk"; }

std::string FormatFixed(double value, int decimals) {
  std::string s;
  AppendFixed(s, value, decimals);
  return s;
}

std::string FormatE13_5(double value) {
  std::string s;
  AppendE13_5(s, value);
  return s;
}

void WriteParaView(const MeshRecord& nodes, int iVar) {
  const Mesh3d& g = nodes.g;
  const int np = g.np;
  const int ne = g.ne;
  assert(np >= 0 && ne >= 0);
  assert(np == 0 || (g.xyz.cols >= np && nodes.fld.cols >= np && g.BoundaryConditions.size() >= np));

  FileText out;
  std::string line;
  line.reserve(256);

  out.Put("# vtk DataFile Version 2.0");
  out.Put("Elasto-plastic: steady viscoplastic extrusion flow, velocity-pressure solution");
  out.Put("ASCII");
  out.Put("DATASET UNSTRUCTURED_GRID");
  out.Put("POINTS " + std::to_string(np) + " double");
  for (int i = 1; i <= np; ++i) {
    line.clear();
    for (int c = 1; c <= 3; ++c) {
      if (c > 1) line.push_back(' ');
      AppendFixed(line, Shown(g.xyz(c, i)), 2);
    }
    out.Put(line);
  }

  out.Put("CELLS " + std::to_string(ne) + " " + std::to_string(7 * static_cast<int64_t>(ne)));
  for (int e = 1; e <= ne; ++e) {
    line.assign("6");
    for (int k = 1; k <= 6; ++k) {
      // The frontal solver marks entries by their sign; the node is the
      // absolute value.  Cell lists are zero-based.
      const int node = std::abs(g.nop(k, e));
      // A wedge corner beyond the corner nodes means the volume mesh folded
      // (layers of no thickness): stop with the element instead of writing
      // a file no viewer can read.
      if (node < 1 || node > np) {
        Fatal("WriteParaView: element " + std::to_string(e) + " has corner " + std::to_string(k) + " at node " +
              std::to_string(node) + ", not one of the " + std::to_string(np) +
              " corner nodes: the flow mesh is broken (a zone of no length?)");
      }
      line.push_back(' ');
      line.append(std::to_string(node - 1));
    }
    out.Put(line);
  }

  out.Put("CELL_TYPES " + std::to_string(ne));
  for (int e = 1; e <= ne; ++e) out.Put(std::string(kWedgeCellType));

  out.Put("POINT_DATA " + std::to_string(np));

  auto fld = [&](int k, int i) { return static_cast<double>(nodes.fld(k, i)); };
  auto scalars = [&](std::string_view name, bool fixed, auto value) {
    out.Put("SCALARS " + std::string(name) + " double 1");
    out.Put("LOOKUP_TABLE default");
    for (int i = 1; i <= np; ++i) {
      line.clear();
      if (fixed)
        AppendFixed(line, Shown(value(i)), 3);
      else
        AppendE13_5(line, Shown(value(i)));
      out.Put(line);
    }
  };

  scalars("BoundaryConditions", true, [&](int i) { return static_cast<double>(g.BoundaryConditions(i)); });
  scalars("Temperature", false, [&](int i) { return fld(kFldT, i); });
  scalars("EqStrain", false, [&](int i) { return fld(kFldStrain, i); });
  scalars("EqStress_MPa", false, [&](int i) { return fld(kFldStress, i); });
  scalars("pressure_MPa", false, [&](int i) { return fld(kFldP, i); });
  scalars("EffViscosity_MPa", false, [&](int i) { return fld(kFldVisc, i); });
  // Equivalent strain rate from stress and viscosity.  A zero viscosity
  // marks a node whose rheology has not been evaluated: no rate can be
  // attributed to it and 0 is written (Shown maps the quotient to 0).
  scalars("StrainRate", false, [&](int i) { return fld(kFldStress, i) / fld(kFldVisc, i) / kSqrt3; });
  scalars("Triax", false, [&](int i) {
    return fld(kFldP, i) / std::min(kTriaxStressMax, std::max(kTriaxStressMin, fld(kFldStress, i)));
  });
  scalars("EpsP", false, [&](int i) { return fld(kFldEpsP, i); });
  scalars("Psi", false, [&](int i) { return fld(kFldPsi, i); });

  out.Put("VECTORS velocity double");
  for (int i = 1; i <= np; ++i) {
    line.clear();
    for (int c = kFldVx; c <= kFldVz; ++c) {
      if (c > kFldVx) line.push_back(' ');
      AppendE13_5(line, Shown(fld(c, i)));
    }
    out.Put(line);
  }

  // Both files are complete before either replaces an earlier result.
  ReplaceFiles({ParaViewFileName(iVar), ParaViewTwinName(iVar)}, out.text, "WriteParaView");
}
