#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "mesh2d/outline_file.h"
#include "mesh2d/outline_shapes.h"
#include "support/scratch.h"

namespace {

std::string TempPath(const std::string& name) { return ScratchFile(name); }

RawOutline Named(const std::string& name, double d) {
  RawOutline o = CircleOutline(0, 0, d, 8);
  o.name = name;
  return o;
}

// Signed area of the closed polygon through all points.
double PolygonArea(const RawOutline& o) {
  double a = 0;
  const std::size_t n = o.x.size();
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t j = (i + 1) % n;
    a += static_cast<double>(o.x[i]) * o.y[j] - static_cast<double>(o.x[j]) * o.y[i];
  }
  return 0.5 * a;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string I16(int v) {
  std::string s(2, '\0');
  s[0] = static_cast<char>(v & 0xff);
  s[1] = static_cast<char>((v >> 8) & 0xff);
  return s;
}

std::string F32(float f) {
  std::string s(4, '\0');
  std::memcpy(s.data(), &f, 4);  // the test machine is little-endian like the format
  return s;
}

}  // namespace

TEST(OutlineFile, RoundTripAndSlots) {
  const std::vector<RawOutline> in = {Named("CONT2", 100), Named("WPIECE", 20), Named("RING1", 50)};
  const std::string path = TempPath("three.olf");
  ASSERT_TRUE(WriteOutlineFile(path, in));
  OutlineFileData data;
  ReadOutlineFile(path, data);
  EXPECT_EQ(data.nOutlines, 3);
  EXPECT_EQ(data.SplitMode, 1);
  ASSERT_EQ(data.outlines.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(data.outlines[k].x, in[k].x);
    EXPECT_EQ(data.outlines[k].y, in[k].y);
    EXPECT_EQ(data.outlines[k].nSeg, in[k].nSeg);
  }
  EXPECT_EQ(data.outlines[0].name, "CONT2 ");  // names are padded to 6 characters
  EXPECT_EQ(data.slot[0], 2);                  // WPIECE
  EXPECT_EQ(data.slot[1], 3);                  // fifth character '1'
  EXPECT_EQ(data.slot[2], 1);                  // fifth character '2'
}

TEST(OutlineFile, FourBeforeThreeStillEndsInSlotFiveAfterTwoPasses) {
  OutlineFileData data;
  data.outlines = {Named("WPIECE", 20), Named("CUTS4", 30), Named("CUTS3", 40), Named("RING1", 50)};
  AssignOutlineSlots(data);
  EXPECT_EQ(data.SplitMode, 2);
  EXPECT_EQ(data.slot[3], 3);  // the '3' outline in slot 4
  EXPECT_EQ(data.slot[4], 2);  // the '4' outline in slot 5
  EXPECT_TRUE(data.has4);
  // Without a '3' outline the '4' outline takes slot 4.
  data.outlines = {Named("WPIECE", 20), Named("CUTS4", 30)};
  AssignOutlineSlots(data);
  EXPECT_EQ(data.SplitMode, 1);
  EXPECT_EQ(data.slot[3], 2);
  EXPECT_EQ(data.slot[4], 0);
}

TEST(OutlineFile, PositiveCountMeansUnnamedOutlines) {
  std::string b = I16(1) + I16(1) + I16(2) + F32(0) + F32(1) + F32(0) + F32(1);
  const std::string path = TempPath("unnamed.olf");
  WriteBytes(path, b);
  OutlineFileData data;
  ReadOutlineFile(path, data);
  EXPECT_EQ(data.nOutlines, 1);
  EXPECT_EQ(data.slot[0], 0);
}

TEST(OutlineFileDeath, UntrustedInputStopsWithOneClearLine) {
  const std::string path = TempPath("bad.olf");
  OutlineFileData data;
  auto expectStop = [&](const std::string& bytes, const char* pattern) {
    WriteBytes(path, bytes);
    EXPECT_EXIT(ReadOutlineFile(path, data), ::testing::ExitedWithCode(1), pattern);
  };
  const std::string pts = F32(0) + F32(1) + F32(0) + F32(1);
  expectStop(I16(-1) + I16(1) + I16(2) + F32(0), "bad.olf: outline file ends at byte 10 while reading the x coordinates of outline 1");
  expectStop(I16(-1) + I16(1) + I16(2) + pts + "WPI", "ends at byte .* while reading the name of outline 1");
  expectStop(I16(-1) + I16(501) + I16(1002), "outline 1 has 1002 points; expected an even count from 2 to 1000");
  expectStop(I16(-1) + I16(1) + I16(3), "outline 1 has 3 points");
  expectStop(I16(-1) + I16(0) + I16(-4), "outline 1 has -4 points");
  expectStop(I16(0), "holds no outline \\(count 0\\)");
  expectStop(I16(-1) + I16(2) + I16(2) + pts + "WPIECE", "outline 1 has 2 points but 2 segments; expected 1");
  const float nan = std::numeric_limits<float>::quiet_NaN();
  expectStop(I16(-1) + I16(1) + I16(2) + F32(0) + F32(nan) + F32(0) + F32(1) + "WPIECE",
             "point 2 of outline 1 has a non-finite coordinate");
  EXPECT_EXIT(ReadOutlineFile(TempPath("none.olf"), data), ::testing::ExitedWithCode(1), "none.olf: cannot open the outline file");
}

TEST(OutlineShapes, GeneratedShapesLieOnTheirGeometry) {
  const RawOutline c = CircleOutline(1.0, -2.0, 20.0, 16);
  ASSERT_EQ(c.x.size(), 32u);
  EXPECT_EQ(c.nSeg, 16);
  for (std::size_t i = 0; i < c.x.size(); ++i) EXPECT_NEAR(std::hypot(c.x[i] - 1.0, c.y[i] + 2.0), 10.0, 1e-5);
  EXPECT_GT(PolygonArea(c), 0.0);  // counter-clockwise

  const RawOutline r = RectangleOutline(0, 0, 40, 4, 0);
  EXPECT_EQ(r.x.size(), 8u);
  EXPECT_NEAR(PolygonArea(r), 160.0, 1e-4);
  // Rounded corners: the polygon through the arc points approaches
  // w h - (4 - pi) r^2 from below.
  const RawOutline rr = RectangleOutline(0, 0, 30, 20, 5);
  EXPECT_EQ(rr.x.size() % 2, 0u);
  EXPECT_LT(PolygonArea(rr), 600.0 - (4 - M_PI) * 25 + 1e-3);
  EXPECT_GT(PolygonArea(rr), 600.0 - (4 - M_PI) * 25 - 2.5);

  const RawOutline l = PolygonOutline({0, 0, 30, 0, 30, 3, 3, 3, 3, 30, 0, 30});
  EXPECT_EQ(l.nSeg, 6);
  EXPECT_NEAR(PolygonArea(l), 30 * 3 + 27 * 3, 1e-4);
  EXPECT_FLOAT_EQ(l.x[1], 15.0f);  // middle point of the first edge
}

TEST(OutlineShapes, DescriptionParsesAndReportsErrorsWithLines) {
  std::string err;
  auto out = ParseOutlineDescription("d.txt",
                                     "# die\noutline WPIECE  # profile\n  rectangle 0 0 40 4\n"
                                     "outline RING1\ncircle 0 0 50 12\noutline X\npoints\n0 0\n1 0\n1 1\n0 1\nend\n",
                                     err);
  ASSERT_TRUE(err.empty()) << err;
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].name, "WPIECE");
  EXPECT_EQ(out[1].x.size(), 24u);
  EXPECT_EQ(out[2].nSeg, 2);

  ParseOutlineDescription("d.txt", "outline WPIECE\ncircle 0 0 -5\n", err);
  EXPECT_EQ(err, "d.txt:2: the circle diameter must be positive");
  ParseOutlineDescription("d.txt", "outline TOOLONGNAME\n", err);
  EXPECT_EQ(err, "d.txt:1: expected an outline name of 1 to 6 characters");
  ParseOutlineDescription("d.txt", "circle 0 0 5\n", err);
  EXPECT_EQ(err, "d.txt:1: expected \"outline NAME\" before \"circle\"");
  ParseOutlineDescription("d.txt", "outline A\npoints\n0 0\n1 0\n2 2\nend\n", err);
  EXPECT_EQ(err, "d.txt:6: outline A has 3 points; expected an even count from 2 to 1000");
  ParseOutlineDescription("d.txt", "outline A\nrectangle 0 0 10 4 3\n", err);
  EXPECT_EQ(err, "d.txt:2: the corner radius must lie between 0 and half the shorter side");
  ParseOutlineDescription("d.txt", "outline A\nhexagon 1 2\n", err);
  EXPECT_NE(err.find("unknown shape \"hexagon\""), std::string::npos);
  ParseOutlineDescription("d.txt", "outline A\n", err);
  EXPECT_EQ(err, "d.txt:1: outline A has no shape");
}

TEST(OutlineShapes, BundledExampleFileMatchesItsDescription) {
  std::ifstream desc(std::string(KALMORA_EXAMPLES_DIR) + "/round-bar/outlines.txt");
  std::stringstream ss;
  ss << desc.rdbuf();
  std::string err;
  const auto want = ParseOutlineDescription("outlines.txt", ss.str(), err);
  ASSERT_TRUE(err.empty()) << err;
  OutlineFileData data;
  ReadOutlineFile(std::string(KALMORA_EXAMPLES_DIR) + "/round-bar/round-bar.olf", data);
  ASSERT_EQ(data.outlines.size(), want.size());
  for (std::size_t k = 0; k < want.size(); ++k) {
    EXPECT_EQ(data.outlines[k].x, want[k].x);
    EXPECT_EQ(data.outlines[k].y, want[k].y);
  }
  EXPECT_NE(data.slot[0], 0);
  EXPECT_NE(data.slot[1], 0);
  EXPECT_NE(data.slot[2], 0);
}

TEST(OutlineFileDeath, OutlineCountIsHeldAgainstTheFileSize) {
  const std::string path = TempPath("many.olf");
  WriteBytes(path, I16(32767) + I16(1) + I16(2) + F32(0) + F32(1) + F32(0) + F32(0));
  EXPECT_EXIT({ OutlineFileData d; ReadOutlineFile(path, d); }, ::testing::ExitedWithCode(1),
              "many.olf: outline file ends at byte 22 while reading the segment count of outline 2");
}

TEST(OutlineDescription, NumbersOutOfRangeAreRefusedBeforeAnyConversion) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"outline WPIECE\ncircle 0 0 10 1e30\n", "t:2: numbers must lie between -1000000 and 1000000 (mm)"},
      {"outline WPIECE\ncircle 0 0 10 -1e30\n", "t:2: numbers must lie between -1000000 and 1000000 (mm)"},
      {"outline WPIECE\ncircle 0 0 10 501\n", "t:2: the segment count must be a whole number from 3 to 500"},
      {"outline WPIECE\ncircle 0 0 10 999999\n", "t:2: the segment count must be a whole number from 3 to 500"},
      {"outline WPIECE\ncircle 0 0 10 2.5\n", "t:2: the segment count must be a whole number from 3 to 500"},
      {"outline WPIECE\ncircle 0 0 1e300\n", "t:2: numbers must lie between -1000000 and 1000000 (mm)"},
      {"outline WPIECE\nrectangle 1e7 0 10 10\n", "t:2: numbers must lie between -1000000 and 1000000 (mm)"},
      {"outline WPIECE\npoints\n0 0\n1e39 1\nend\n", "t:4: numbers must lie between -1000000 and 1000000 (mm)"},
  };
  for (const auto& [text, want] : cases) {
    std::string err;
    const auto out = ParseOutlineDescription("t", text, err);
    EXPECT_EQ(err, want) << text;
    EXPECT_TRUE(out.empty());
  }
}
