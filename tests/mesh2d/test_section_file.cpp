#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "mesh2d/measures.h"
#include "mesh2d/section_file.h"
#include "support/scratch.h"

namespace {

// Two 6-node triangles on the unit square with slightly irrational
// coordinates, so that a lossy write would show.
Mesh2d TwoTriangles() {
  Mesh2d m;
  m.ne = 2;
  m.np = 4;
  m.nh = 9;
  const double s = 1.0 / 3.0;
  const Point2 xy[9] = {{0, 0}, {s, 0}, {s, s}, {0, s},                 // corners
                        {s / 2, s / 2}, {s / 2, 0}, {s, s / 2},         // element 1 mid-sides
                        {s / 2, s}, {0, s / 2}};                        // element 2 mid-sides
  m.xy.assign(9);
  m.flag.assign(9);
  for (int i = 1; i <= 9; ++i) {
    m.xy(i) = xy[i - 1];
    m.flag(i) = i <= 4 ? 65 : (i == 5 ? 0 : 1);
  }
  m.nop.assign(6, 2);
  const int e1[6] = {1, 2, 3, 5, 6, 7};  // node 4 on edge 3-1, 5 on 1-2, 6 on 2-3
  const int e2[6] = {1, 3, 4, 9, 5, 8};
  for (int a = 1; a <= 6; ++a) {
    m.nop(a, 1) = e1[a - 1];
    m.nop(a, 2) = e2[a - 1];
  }
  m.Krit = MeshKrit(m);
  m.area = MeshArea(m);
  return m;
}

std::string TempPath(const std::string& name) { return ScratchFile(name); }

}  // namespace

TEST(SectionFile, RoundTripIsExact) {
  const Mesh2d a = TwoTriangles();
  Mesh2d empty;
  InpDat d;
  d.setup.File2d = TempPath("extrusion_var_1.f2d");
  WriteSectionFile(d.setup.File2d, {&a, &empty, &a});
  ReadSection2d(d.setup, d.sections);
  ASSERT_EQ(d.sections.Pieces2d.size(), 3);
  const Mesh2d& b = d.sections.Pieces2d(1);
  EXPECT_EQ(b.ne, a.ne);
  EXPECT_EQ(b.nh, a.nh);
  EXPECT_EQ(b.np, a.np);
  EXPECT_EQ(b.npe, 6);
  EXPECT_EQ(b.nve, 3);
  EXPECT_EQ(b.area, a.area);  // bit for bit
  EXPECT_EQ(b.Krit, a.Krit);
  for (int i = 1; i <= a.nh; ++i) {
    EXPECT_EQ(b.xy(i), a.xy(i));
    EXPECT_EQ(b.flag(i), a.flag(i));
  }
  EXPECT_EQ(b.nop.v, a.nop.v);
  EXPECT_EQ(d.sections.Pieces2d(2).nh, 0);
  EXPECT_EQ(d.sections.Area2d(1), a.area);
  EXPECT_EQ(d.sections.Area2d(2), 0.0);
  EXPECT_EQ(d.sections.Area2d(3), a.area);
  EXPECT_EQ(b.Tnew.size(), a.nh);
}

TEST(SectionFile, OneMeshOfTwoElementsHasTheDocumentedLineCount) {
  const Mesh2d a = TwoTriangles();
  const std::string path = TempPath("lines.f2d");
  WriteSectionFile(path, {&a});
  std::ifstream in(path);
  std::string line;
  int lines = 0;
  std::getline(in, line);
  EXPECT_EQ(line, " 1 2");
  while (std::getline(in, line)) ++lines;
  EXPECT_EQ(lines, 2 + a.nh + 2);
}

TEST(SectionFileDeath, BadNodeNumberAndMissingFile) {
  InpDat d;
  d.setup.File2d = TempPath("bad.f2d");
  std::ofstream(d.setup.File2d) << " 1 2\n 1 0.5 1.0\n 3 3 0 0 0\n 1 0 0 65\n 2 1 0 65\n 3 0 1 65\n 1 2 7 1 1 1\n";
  EXPECT_EXIT(ReadSection2d(d.setup, d.sections), ::testing::ExitedWithCode(1),
              "bad.f2d:7: node number 7 of element 1 of mesh 1 lies outside 1..3");
  d.setup.File2d = TempPath("missing.f2d");
  EXPECT_EXIT(ReadSection2d(d.setup, d.sections), ::testing::ExitedWithCode(1),
              "missing.f2d: cannot open the cross-section file");
}

TEST(SectionFileDeath, CountsAreHeldAgainstTheFileBeforeAnythingIsSized) {
  InpDat d;
  d.setup.File2d = TempPath("huge_count.f2d");
  std::ofstream(d.setup.File2d) << " 2000000000 2\n";
  EXPECT_EXIT(ReadSection2d(d.setup, d.sections), ::testing::ExitedWithCode(1),
              "huge_count.f2d:1: number of meshes is 2000000000, but only 0 line\\(s\\) follow in "
              "the file \\(2 per "
              "entry\\)");
  std::ofstream(d.setup.File2d) << " 1 2\n 1 0.5 1.0\n 3 2000000000 0 0 0\n 1 0 0 65\n";
  EXPECT_EXIT(ReadSection2d(d.setup, d.sections), ::testing::ExitedWithCode(1),
              "huge_count.f2d:3: node count plus element count of mesh 1 is 2000000001, but only 1 "
              "line\\(s\\) follow");
  // The most negative node number has no positive counterpart in 32 bits.
  std::ofstream(d.setup.File2d) << " 1 2\n 1 0.5 1.0\n 3 3 0 0 0\n 1 0 0 65\n 2 1 0 65\n 3 0 1 65\n 1 2 -2147483648 1 1 1\n";
  EXPECT_EXIT(ReadSection2d(d.setup, d.sections), ::testing::ExitedWithCode(1),
              "huge_count.f2d:7: node number -2147483648 of element 1 of mesh 1 lies outside 1..3");
}
