// Result file writer: number renderings, file layout, derived arrays,
// finiteness, replacement with its twin, concurrent variants, write errors.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "output/extruded_mesh.h"
#include "output/write_paraview.h"
#include "support/text_files.h"

namespace fs = std::filesystem;

namespace {

// Runs each test in its own empty working directory.
class ScratchDir : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("kalmora_vtk_" + std::string(info->name()) + "_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    old_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  fs::path dir_, old_;
};

// The point-data arrays of a file: header name -> value lines, plus the
// order in which the headers appear.
struct PointData {
  std::vector<std::string> order;
  std::map<std::string, std::vector<std::string>> values;
};

PointData ParsePointData(const std::vector<std::string>& lines, int np) {
  PointData pd;
  std::size_t i = 0;
  while (i < lines.size() && lines[i].rfind("POINT_DATA ", 0) != 0) ++i;
  ++i;
  while (i < lines.size()) {
    std::istringstream h(lines[i]);
    std::string kind, name;
    h >> kind >> name;
    pd.order.push_back(kind + " " + name);
    i += kind == "SCALARS" ? 2 : 1;  // header and lookup-table line
    for (int k = 0; k < np && i < lines.size(); ++k) pd.values[name].push_back(lines[i++]);
  }
  return pd;
}

MeshRecord Block(int layers) {
  MeshRecord m;
  std::vector<double> z;
  for (int j = 0; j <= layers; ++j) z.push_back(100.0 + 2.5 * j);
  ExtrudeSection(RectangleSection(-1.0, 12.5, -3.25, 4.0), z, m);
  return m;
}

TEST(ParaViewFormat, ScientificRendering) {
  EXPECT_EQ(FormatE13_5(123.45), "0.12345E+03");
  EXPECT_EQ(FormatE13_5(0.0), "0.00000E+00");
  EXPECT_EQ(FormatE13_5(-0.0), "0.00000E+00");
  EXPECT_EQ(FormatE13_5(-1.0), "-0.10000E+01");
  EXPECT_EQ(FormatE13_5(0.5), "0.50000E+00");
  EXPECT_EQ(FormatE13_5(9.999996), "0.10000E+02");  // rounding carries into the exponent
  EXPECT_EQ(FormatE13_5(1e-5), "0.10000E-04");
  EXPECT_EQ(FormatE13_5(static_cast<double>(20.0f)), "0.20000E+02");
  EXPECT_EQ(FormatE13_5(1.0e100), "0.10000E+101");  // three exponent digits stay readable
  // Round trip: five significant digits of any magnitude of a widened float.
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> ex(-40, 38);
  for (int n = 0; n < 2000; ++n) {
    const double v = static_cast<double>(static_cast<float>(mant(rng) * std::pow(10.0, ex(rng))));
    if (v == 0.0) continue;
    const std::string s = FormatE13_5(v);
    ASSERT_LE(s.size(), 12u) << s;
    ASSERT_EQ(s.find(' '), std::string::npos);
    const std::size_t dot = s.find("0.");
    ASSERT_EQ(dot, v < 0 ? 1u : 0u) << s;
    ASSERT_NE(s[dot + 2], '0') << "mantissa below 0.1: " << s;
    EXPECT_NEAR(std::strtod(s.c_str(), nullptr) / v, 1.0, 5.1e-5) << s;
  }
}

TEST(ParaViewFormat, FixedRendering) {
  EXPECT_EQ(FormatFixed(12.5, 2), "12.50");
  EXPECT_EQ(FormatFixed(-3.25, 2), "-3.25");
  EXPECT_EQ(FormatFixed(0.0, 2), "0.00");
  EXPECT_EQ(FormatFixed(-0.001, 2), "0.00");
  EXPECT_EQ(FormatFixed(-0.006, 2), "-0.01");
  EXPECT_EQ(FormatFixed(65.0, 3), "65.000");
  EXPECT_EQ(FormatFixed(1.0e9, 2), "1000000000.00");  // wider than the field: written in full
}

TEST(ParaViewFile, Names) {
  EXPECT_EQ(ParaViewFileName(3), "kalm3d_Var_3.vtu");
  EXPECT_EQ(ParaViewTwinName(3), "kalm3d_Var_3.vtk");
  EXPECT_EQ(ParaViewFileName(123456), "kalm3d_Var_123456.vtu");
}

TEST_F(ScratchDir, LayoutOfTwoLayerBlock) {
  MeshRecord m = Block(2);
  const int np = m.g.np, ne = m.g.ne;
  ASSERT_EQ(np, 12);
  ASSERT_EQ(ne, 4);
  m.g.nop(1, 3) = -m.g.nop(1, 3);  // a sign left by the frontal solver
  WriteParaView(m, 3);
  m.g.nop(1, 3) = -m.g.nop(1, 3);

  const auto lines = Lines(ReadFile("kalm3d_Var_3.vtu"));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(4 + 1 + np + 1 + ne + 1 + ne + 1 + 10 * (2 + np) + 1 + np));
  EXPECT_EQ(lines[0], "# vtk DataFile Version 2.0");
  EXPECT_EQ(lines[1].rfind("Elasto-plastic: ", 0), 0u);
  EXPECT_EQ(lines[2], "ASCII");
  EXPECT_EQ(lines[3], "DATASET UNSTRUCTURED_GRID");
  EXPECT_EQ(lines[4], "POINTS 12 double");
  EXPECT_EQ(lines[5], "-1.00 -3.25 100.00");  // corner 1 of layer 0
  EXPECT_EQ(lines[5 + 4 + 2], "12.50 4.00 102.50");  // corner 3 of layer 1
  const std::size_t cells = 5 + np;
  EXPECT_EQ(lines[cells], "CELLS 4 28");
  for (int e = 1; e <= ne; ++e) {
    std::string expect = "6";
    for (int k = 1; k <= 6; ++k) expect += " " + std::to_string(m.g.nop(k, e) - 1);
    EXPECT_EQ(lines[cells + e], expect);
  }
  // Triangle (1, 2, 3) of layer 0 becomes corners B, A, C = 2, 1, 3 below and
  // above: zero-based 1 0 2 5 4 6.
  EXPECT_EQ(lines[cells + 1], "6 1 0 2 5 4 6");
  EXPECT_EQ(lines[cells + 1 + ne], "CELL_TYPES 4");
  for (int e = 1; e <= ne; ++e) EXPECT_EQ(lines[cells + 1 + ne + e], "13");
  EXPECT_EQ(lines[cells + 2 + 2 * ne], "POINT_DATA 12");

  const PointData pd = ParsePointData(lines, np);
  const std::vector<std::string> order = {
      "SCALARS BoundaryConditions", "SCALARS Temperature",      "SCALARS EqStrain",
      "SCALARS EqStress_MPa",       "SCALARS pressure_MPa",     "SCALARS EffViscosity_MPa",
      "SCALARS StrainRate",         "SCALARS Triax",            "SCALARS EpsP",
      "SCALARS Psi",                "VECTORS velocity"};
  EXPECT_EQ(pd.order, order);
  for (const auto& [name, v] : pd.values) EXPECT_EQ(v.size(), static_cast<std::size_t>(np)) << name;
  EXPECT_EQ(pd.values.at("BoundaryConditions")[0], "65.000");
  EXPECT_EQ(pd.values.at("Temperature")[0], "0.20000E+02");
  EXPECT_EQ(pd.values.at("velocity")[0], "0.00000E+00 0.00000E+00 0.00000E+00");
  // Every scalar header line is followed by the lookup-table line.
  for (std::size_t i = 0; i + 1 < lines.size(); ++i)
    if (lines[i].rfind("SCALARS ", 0) == 0) {
      EXPECT_EQ(lines[i].substr(lines[i].size() - 9), " double 1");
      EXPECT_EQ(lines[i + 1], "LOOKUP_TABLE default");
    }
}

TEST_F(ScratchDir, FieldsAndDerivedArrays) {
  MeshRecord m = Block(1);
  auto set = [&](int i, float p, float T, float eps, float visc, float s, float psi, float epsp) {
    m.fld(kFldP, i) = p;
    m.fld(kFldT, i) = T;
    m.fld(kFldStrain, i) = eps;
    m.fld(kFldVisc, i) = visc;
    m.fld(kFldStress, i) = s;
    m.fld(kFldPsi, i) = psi;
    m.fld(kFldEpsP, i) = epsp;
  };
  set(1, -50.0f, 450.5f, 0.25f, 2.0f, 40.0f, 0.125f, 1.5f);
  set(2, -50.0f, 450.0f, 0.0f, 1.0f, 5000.0f, 0.0f, 0.0f);  // Triax: -50 / 1000
  set(3, 3.0f, 450.0f, 0.0f, 1.0f, 0.5f, 0.0f, 0.0f);       // Triax: 3 / 1
  set(4, 100.0f, 450.0f, 0.0f, 1.0f, 200.0f, 0.0f, 0.0f);   // Triax: 100 / 200
  set(5, -50.0f, 450.0f, 0.0f, 0.0f, 40.0f, 0.0f, 0.0f);    // zero viscosity, nonzero stress
  set(6, -50.0f, 450.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);     // zero viscosity, zero stress: Triax -50 / 1
  m.fld(kFldVx, 1) = 1.5f;
  m.fld(kFldVy, 1) = -2.0f;
  m.fld(kFldVz, 1) = 12.0f;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  m.fld(kFldT, 7) = nan;
  m.fld(kFldVz, 7) = -inf;
  m.fld(kFldP, 8) = inf;
  m.g.BoundaryConditions(8) = 73;
  WriteParaView(m, 1);

  const std::string text = ReadFile("kalm3d_Var_1.vtu");
  const PointData pd = ParsePointData(Lines(text), m.g.np);
  const auto& v = pd.values;
  EXPECT_EQ(v.at("Temperature")[0], "0.45050E+03");
  EXPECT_EQ(v.at("EqStrain")[0], "0.25000E+00");
  EXPECT_EQ(v.at("EqStress_MPa")[0], "0.40000E+02");
  EXPECT_EQ(v.at("pressure_MPa")[0], "-0.50000E+02");
  EXPECT_EQ(v.at("EffViscosity_MPa")[0], "0.20000E+01");
  EXPECT_EQ(v.at("StrainRate")[0], "0.11547E+02");  // 40 / 2 / sqrt(3)
  EXPECT_EQ(v.at("Triax")[0], "-0.12500E+01");
  EXPECT_EQ(v.at("EpsP")[0], "0.15000E+01");
  EXPECT_EQ(v.at("Psi")[0], "0.12500E+00");
  EXPECT_EQ(v.at("velocity")[0], "0.15000E+01 -0.20000E+01 0.12000E+02");
  EXPECT_EQ(v.at("Triax")[1], "-0.50000E-01");  // stress clamped to 1000
  EXPECT_EQ(v.at("Triax")[2], "0.30000E+01");   // stress clamped to 1
  EXPECT_EQ(v.at("Triax")[3], "0.50000E+00");
  EXPECT_EQ(v.at("Triax")[5], "-0.50000E+02");  // stress 0 -> pressure / 1
  EXPECT_EQ(v.at("StrainRate")[4], "0.00000E+00");  // zero viscosity -> 0
  EXPECT_EQ(v.at("StrainRate")[5], "0.00000E+00");
  EXPECT_EQ(v.at("Temperature")[6], "0.00000E+00");  // non-finite fields -> 0
  EXPECT_EQ(v.at("velocity")[6], "0.00000E+00 0.00000E+00 0.00000E+00");
  EXPECT_EQ(v.at("pressure_MPa")[7], "0.00000E+00");
  EXPECT_EQ(v.at("Triax")[7], "0.00000E+00");
  EXPECT_EQ(v.at("BoundaryConditions")[7], "73.000");
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(lower.find("nan"), std::string::npos);
  EXPECT_EQ(lower.find("inf"), std::string::npos);
}

TEST_F(ScratchDir, MeshWithoutPoints) {
  MeshRecord m;
  WriteParaView(m, 2);
  const std::vector<std::string> expect = {
      "# vtk DataFile Version 2.0",
      Lines(ReadFile("kalm3d_Var_2.vtu"))[1],
      "ASCII",
      "DATASET UNSTRUCTURED_GRID",
      "POINTS 0 double",
      "CELLS 0 0",
      "CELL_TYPES 0",
      "POINT_DATA 0",
      "SCALARS BoundaryConditions double 1", "LOOKUP_TABLE default",
      "SCALARS Temperature double 1", "LOOKUP_TABLE default",
      "SCALARS EqStrain double 1", "LOOKUP_TABLE default",
      "SCALARS EqStress_MPa double 1", "LOOKUP_TABLE default",
      "SCALARS pressure_MPa double 1", "LOOKUP_TABLE default",
      "SCALARS EffViscosity_MPa double 1", "LOOKUP_TABLE default",
      "SCALARS StrainRate double 1", "LOOKUP_TABLE default",
      "SCALARS Triax double 1", "LOOKUP_TABLE default",
      "SCALARS EpsP double 1", "LOOKUP_TABLE default",
      "SCALARS Psi double 1", "LOOKUP_TABLE default",
      "VECTORS velocity double"};
  EXPECT_EQ(Lines(ReadFile("kalm3d_Var_2.vtu")), expect);
  EXPECT_EQ(ReadFile("kalm3d_Var_2.vtk"), ReadFile("kalm3d_Var_2.vtu"));
}

TEST_F(ScratchDir, SecondCallReplacesBothFiles) {
  MeshRecord m = Block(3);
  WriteParaView(m, 4);
  for (int i = 1; i <= m.g.nh; ++i) m.fld(kFldT, i) = 480.0f;
  m.g.ne = 2;  // a smaller result must not leave a tail of the first
  WriteParaView(m, 4);
  const std::string vtu = ReadFile("kalm3d_Var_4.vtu");
  EXPECT_EQ(vtu, ReadFile("kalm3d_Var_4.vtk"));
  EXPECT_NE(vtu.find("CELLS 2 14\n"), std::string::npos);
  EXPECT_EQ(vtu.find("0.20000E+02"), std::string::npos);
  const auto pd = ParsePointData(Lines(vtu), m.g.np);
  for (const auto& t : pd.values.at("Temperature")) EXPECT_EQ(t, "0.48000E+03");
  int files = 0;
  for (const auto& entry : fs::directory_iterator(".")) {
    ++files;
    EXPECT_EQ(entry.path().extension() == ".tmp", false) << entry.path();
  }
  EXPECT_EQ(files, 2);
}

TEST_F(ScratchDir, ConcurrentVariantsWriteTheirOwnFiles) {
  constexpr int kVariants = 4;
  std::vector<MeshRecord> meshes;
  for (int v = 1; v <= kVariants; ++v) {
    meshes.push_back(Block(2 + v));
    for (int i = 1; i <= meshes.back().g.nh; ++i) meshes.back().fld(kFldT, i) = 400.0f + v;
  }
  std::vector<std::string> serial;
  for (int v = 1; v <= kVariants; ++v) {
    WriteParaView(meshes[v - 1], v);
    serial.push_back(ReadFile(ParaViewFileName(v)));
    fs::remove(ParaViewFileName(v));
    fs::remove(ParaViewTwinName(v));
  }
  for (int round = 0; round < 5; ++round) {
    std::vector<std::thread> threads;
    for (int v = 1; v <= kVariants; ++v)
      threads.emplace_back([&meshes, v] {
        for (int rep = 0; rep < 3; ++rep) WriteParaView(meshes[v - 1], v);
      });
    for (auto& t : threads) t.join();
    for (int v = 1; v <= kVariants; ++v) {
      EXPECT_EQ(ReadFile(ParaViewFileName(v)), serial[v - 1]) << "variant " << v;
      EXPECT_EQ(ReadFile(ParaViewTwinName(v)), serial[v - 1]) << "variant " << v;
    }
  }
}

TEST_F(ScratchDir, UnwritableFileStopsAndKeepsEarlierResult) {
  MeshRecord m = Block(1);
  WriteParaView(m, 9);
  const std::string before = ReadFile("kalm3d_Var_9.vtu");
  // A directory in the way of the twin's temporary file.
  fs::create_directory("kalm3d_Var_9.vtk.tmp");
  for (int i = 1; i <= m.g.nh; ++i) m.fld(kFldT, i) = 999.0f;
  EXPECT_EXIT(WriteParaView(m, 9), ::testing::ExitedWithCode(1), "WriteParaView: cannot open kalm3d_Var_9.vtk.tmp");
  EXPECT_EQ(ReadFile("kalm3d_Var_9.vtu"), before);
  EXPECT_EQ(ReadFile("kalm3d_Var_9.vtk"), before);
  EXPECT_FALSE(fs::exists("kalm3d_Var_9.vtu.tmp"));
}

}  // namespace
