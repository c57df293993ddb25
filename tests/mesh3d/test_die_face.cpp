#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "mesh2d/section_file.h"
#include "input/variants.h"
#include "mesh3d/die_face.h"
#include "mesh3d/gen_gr3d.h"
#include "mesh3d/volume_check.h"
#include "solver/field_solve.h"
#include "solver/potential.h"
#include "support/element_tables.h"
#include "support/fixture_sections.h"
#include "support/grid_mesh2d.h"
#include "support/profile_fixtures.h"
#include "support/scratch.h"

namespace fs = std::filesystem;

namespace {

// Runs the enclosed block in a fresh directory of its own (the correction
// writes "sigma.fem" into the working directory).
struct InTempDir {
  fs::path old = fs::current_path();
  fs::path dir;
  explicit InTempDir(const std::string& name) : dir(ScratchDir("dieface_" + name)) {
    fs::current_path(dir);
  }
  ~InTempDir() { fs::current_path(old); }
};

// "sigma.fem" read back: counts, per corner node x, y, p, p, per triangle
// its corners; false when the layout (line count, field widths) is off.
bool ReadSigma(int& ne, int& nv, std::vector<double>& node, std::vector<int>& tri) {
  std::ifstream in("sigma.fem");
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  if (lines.size() < 2 || !(std::istringstream(lines[0]) >> ne) || !(std::istringstream(lines[1]) >> nv)) return false;
  if (lines.size() != static_cast<std::size_t>(2 + nv + ne)) return false;
  for (std::size_t k = 2; k < lines.size(); ++k) {
    std::istringstream ls(lines[k]);
    const bool isNode = k < static_cast<std::size_t>(2 + nv);
    if (lines[k].size() != (isNode ? 80u : 30u)) return false;
    for (int j = 0; j < (isNode ? 4 : 3); ++j) {
      double v = 0;
      if (!(ls >> v)) return false;
      if (isNode) node.push_back(v);
      else tri.push_back(static_cast<int>(v));
    }
  }
  return true;
}

// Volume of the mesh: sum over all points of |det J| x weight.
double Volume(const Mesh3d& g) {
  const ElemType& w = Tables().Wedge15;
  double v = 0;
  for (int e = 1; e <= g.ne; ++e)
    for (int p = 1; p <= w.ngp; ++p) v += std::fabs(ElementDetJ(g, w, e, p)) * w.w(p);
  return v;
}

// Integral of the potential over its cross-section mesh (Tri6 rule).
double PotentialIntegral(const Mesh2d& m) {
  const ElemType& t = Tables().Tri6;
  double s = 0;
  for (int e = 1; e <= m.ne; ++e)
    for (int g = 1; g <= t.ngp; ++g) {
      double J[2][2] = {}, p = 0;
      for (int a = 1; a <= 6; ++a) {
        const int n = std::abs(m.nop(a, e));
        for (int c = 0; c < 2; ++c) J[0][c] += t.dN1(a, g) * m.xy(n)[c], J[1][c] += t.dN2(a, g) * m.xy(n)[c];
        p += t.N(a, g) * m.Pot(n);
      }
      s += std::fabs(J[0][0] * J[1][1] - J[0][1] * J[1][0]) * t.w(g) * p;
    }
  return s;
}

}  // namespace

// The shift of one node: full FaceShift x p at and below Z1 and on the
// boundary, fading linearly to zero at the ram face for interior nodes;
// nothing for nodes over no cross-section node or on the ram face.
TEST(ShiftDieFace, EdgeCasesOfTheShift) {
  InpDat d;
  d.layout.Z1 = 120, d.layout.Z2 = 220, d.layout.Z3 = 0, d.setup.FaceShift = 2.5;
  Mesh2d s;
  s.nh = s.np = 2;
  s.xy.assign(2);
  s.xy(1) = {0, 0}, s.xy(2) = {7, 3};
  s.Pot.assign(2);
  s.Pot(1) = 0.8, s.Pot(2) = 0.3;
  struct Case {
    double x, y, z;
    int code;
    double dz;  // expected change of z
  };
  const double p = 0.8 * 2.5;
  const std::vector<Case> cases = {
      {0, 0, 120, 73, -p},                  // die face at Z1: exactly FaceShift x p
      {0, 0, 120, 64, -p},                  // interior node at Z1: the same
      {0, 0, 170, 64, -p / 2},              // interior halfway between Z1 and the ram face: half
      {0, 0, 170, 0, -p / 2},               // interior mid-side node halfway
      {0, 0, 170, 4, -p},                   // container wall: full
      {0, 0, 110, 64, -p},                  // below the die face: full
      {7.0009, 3, 120, 73, -0.3 * 2.5},     // within 0.001 of node 2
      {7.002, 3, 120, 73, 0},               // 0.002 away: no cross-section node
      {0, 0, 220, 71, 0},                   // ram face
      {0, 0, 219.9995, 64, 0},              // within 0.001 of the ram face
  };
  Mesh3d g;
  g.nh = static_cast<int>(cases.size());
  g.xyz.assign(3, g.nh);
  g.BoundaryConditions.assign(static_cast<std::size_t>(g.nh));
  for (int i = 1; i <= g.nh; ++i) {
    const Case& c = cases[static_cast<std::size_t>(i - 1)];
    g.xyz(1, i) = c.x, g.xyz(2, i) = c.y, g.xyz(3, i) = c.z;
    g.BoundaryConditions(i) = c.code;
  }
  ShiftDieFace(d.setup, d.layout, s, g);
  for (int i = 1; i <= g.nh; ++i)
    EXPECT_NEAR(g.xyz(3, i) - cases[static_cast<std::size_t>(i - 1)].z, cases[static_cast<std::size_t>(i - 1)].dz, 1e-12)
        << "case " << i;
}

// A write that cannot complete stops the run naming the file and leaves the
// earlier file as it was (no half-written file in its place).
TEST(WriteSigmaFem, FailedWriteStopsAndKeepsTheEarlierFile) {
  InTempDir tmp("failed");
  {
    std::ofstream("sigma.fem") << "earlier\n";
  }
  fs::create_directory("sigma.fem.tmp");  // the scratch name cannot be opened as a file
  const Mesh2d m = GridMesh2d(0, 0, 1, 1, 1, 1);
  EXPECT_EXIT(WriteSigmaFem("sigma.fem", m), ::testing::ExitedWithCode(1), "sigma.fem: cannot write");
  std::ifstream in("sigma.fem");
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "earlier");
  EXPECT_EXIT(WriteSigmaFem("no_such_dir/sigma.fem", m), ::testing::ExitedWithCode(1), "no_such_dir/sigma.fem");
}

// Round bar from a round container: 1 on the section nodes shared with the
// profile (r <= 10), 0 on the container outline (r = 50), and between them
// the potential ln(50/r) / ln 5.
TEST(DieFaceCorrection, RoundBarPotentialIsLogarithmic) {
  InpDat d = FixtureSections(FixtureNamed("round"), "dieface", 2.0);
  ASSERT_EQ(PotentialMeshIndex(d.sections), 2);
  DieFaceBoundaryValues(d.sections);
  MeshRecord none;
  Sol_Def(none, Tables(), SolveMode::Potential, d);
  const Mesh2d& s = d.sections.Pieces2d(2);
  double err = 0;
  int held1 = 0, held0 = 0;
  for (int i = 1; i <= s.nh; ++i) {
    const double r = std::hypot(s.xy(i)[0], s.xy(i)[1]);
    err = std::max(err, std::fabs(s.Pot(i) - (r <= 10 ? 1.0 : std::log(50 / r) / std::log(5.0))));
    held1 += (r < 10 - 1e-6) && (s.flag(i) == 2 || s.flag(i) == 66);
    held0 += (r > 50 - 1e-3) && (s.flag(i) == 1 || s.flag(i) == 65);
  }
  std::printf("round section: largest deviation from ln(50/r)/ln 5: %.3e\n", err);
  EXPECT_LT(err, 5e-3);
  EXPECT_GT(held1, 10);
  EXPECT_GT(held0, 10);
}

// The corrected meshes of real layouts (against FaceShift 0.99, which does
// not correct and writes no file): every wedge oriented at every
// point, one node per point, conforming faces; the volume grows by exactly
// FaceShift x (integral of the potential over the container section), the
// volume between the lowered die face and the ram; "sigma.fem" reads back
// as the section's corners, potential and triangles; the section keeps its
// own flags, so the thermal mesh built after the flow mesh has the same
// boundary faces as without the correction.
TEST(DieFaceCorrection, CorrectedMeshesStaySoundAndGainTheShiftedVolume) {
  for (const std::string name : {"round", "half", "threezone", "twoholes"}) {
    SCOPED_TRACE(name);
    InTempDir tmp(name);
    const double F = 2.0;
    InpDat plain = FixtureSections(FixtureNamed(name), "dieface", 0.99);  // below 1: no correction
    InpDat corr = plain;
    corr.setup.FaceShift = F;

    // The potential, solved here on a copy.
    InpDat ref = plain;
    DieFaceBoundaryValues(ref.sections);
    MeshRecord none;
    Sol_Def(none, Tables(), SolveMode::Potential, ref);
    const int h = PotentialMeshIndex(ref.sections);
    const Mesh2d& sec = ref.sections.Pieces2d(h);
    for (int i = 1; i <= sec.nh; ++i) {
      EXPECT_GT(sec.Pot(i), -0.02);  // maximum principle, up to the overshoot of quadratic elements
      EXPECT_LT(sec.Pot(i), 1.02);
    }
    const double pint = PotentialIntegral(sec);

    const Vec1<int8_t> flagsBefore = corr.sections.Pieces2d(h).flag;
    for (int kind = 1; kind <= 2; ++kind) {
      SCOPED_TRACE(kind == 1 ? "flow" : "thermal");
      MeshRecord a, b;
      a.kind = b.kind = static_cast<int8_t>(kind);
      Gen_gr3d(a, plain, Tables());
      if (kind == 1) {
        EXPECT_FALSE(fs::exists("sigma.fem"));
      }
      Gen_gr3d(b, corr, Tables());
      const auto findings = CheckVolumeMesh(b.g, Tables());
      EXPECT_TRUE(findings.empty()) << findings.front();
      const double va = Volume(a.g), vb = Volume(b.g);
      std::printf("[ %-9s ] %s: volume %.6e -> %.6e, gain %.6e, FaceShift x int p dA %.6e\n", name.c_str(),
                  kind == 1 ? "flow   " : "thermal", va, vb, vb - va, F * pint);
      EXPECT_NEAR(vb - va, F * pint, 1e-4 * F * pint);
      EXPECT_EQ(b.faces.size(), a.faces.size());
      EXPECT_EQ(corr.sections.Pieces2d(h).flag.v, flagsBefore.v);
      for (int i = 1; i <= corr.sections.Pieces2d(h).nh; ++i) EXPECT_EQ(corr.sections.Pieces2d(h).Pot(i), 0.0);

      int ne = 0, nv = 0;
      std::vector<double> node;
      std::vector<int> tri;
      ASSERT_TRUE(ReadSigma(ne, nv, node, tri));
      EXPECT_FALSE(fs::exists("sigma.fem.tmp"));
      EXPECT_EQ(ne, sec.ne);
      ASSERT_EQ(nv, sec.np);
      for (int k = 1; k <= sec.np; ++k) {
        const double* v = &node[static_cast<std::size_t>(4 * (k - 1))];
        EXPECT_NEAR(v[0], sec.xy(k)[0], 1e-9);
        EXPECT_NEAR(v[1], sec.xy(k)[1], 1e-9);
        EXPECT_NEAR(v[2], sec.Pot(k), 1e-9);
        EXPECT_EQ(v[3], v[2]);
      }
      for (int e = 1; e <= sec.ne; ++e)
        for (int a = 1; a <= 3; ++a) EXPECT_EQ(tri[static_cast<std::size_t>(3 * (e - 1) + a - 1)], sec.nop(a, e));
    }
  }
}
