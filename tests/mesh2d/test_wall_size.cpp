#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>

#include "mesh2d/mesh_check.h"
#include "mesh2d/outline_file.h"
#include "mesh2d/outline_shapes.h"
#include "mesh2d/run_gr_2d.h"
#include "mesh2d/section_file.h"
#include "mesh2d/wall_size.h"
#include "support/profile_fixtures.h"
#include "support/scratch.h"

namespace {

// Cross-section meshes of an outline description at a mesh level, read back
// from the written file; `bytes` receives the file.
InpDat Section(const std::string& name, const std::string& outlines, int level, std::string* bytes = nullptr) {
  const std::string dir = ScratchDir("wall").string() + "/";
  std::string err;
  const std::vector<RawOutline> raw = ParseOutlineDescription(name, outlines, err);
  EXPECT_TRUE(err.empty()) << err;
  InpDat d;
  d.setup.FileOutline = dir + name + ".olf";
  d.setup.File2d = dir + name + ".f2d";
  d.setup.ProfType = 1;
  d.setup.MeshLevel = static_cast<int8_t>(level);
  EXPECT_TRUE(WriteOutlineFile(d.setup.FileOutline, raw));
  Run_gr_2d(d.setup, d.sections);
  ReadSection2d(d.setup, d.sections);
  if (bytes) {
    std::ifstream in(d.setup.File2d, std::ios::binary);
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return d;
}

const char* kSquareTube =
    "outline WPIECE\nrectangle 0 0 40 40\noutline CORE3\nrectangle 0 0 34 34\noutline RING1\ncircle 0 0 100\n"
    "outline CONT2\ncircle 0 0 180 24\n";

}  // namespace

// A strip 40 x 4 and a square tube 40 x 40 x 3 get at least the level's
// elements across their walls (the tube's four at level 4 within the block
// budget; six across the strip at level 5, even about its mirror axis), the thickness is the wall's, and
// the refined meshes stay sound.
TEST(WallBound, ThinWallsGetTheLevelsElementsAcross) {
  struct Case {
    const char* name;
    std::string outlines;
    double wall;
  };
  const Case cases[] = {{"strip", FixtureNamed("strip").outlines, 4.0}, {"sqtube", kSquareTube, 3.0}};
  for (const Case& c : cases)
    for (int level : {2, 3, 4, 5}) {
      SCOPED_TRACE(std::string(c.name) + " level " + std::to_string(level));
      const InpDat d = Section(c.name, c.outlines, level);
      std::vector<WallSample> samples;
      ProfileWallSamples(d.setup, d.sections, samples);
      ASSERT_FALSE(samples.empty());
      double tmin = 1e9;
      for (const WallSample& s : samples)
        if (s.t > 0.0) tmin = std::min(tmin, s.t);
      EXPECT_NEAR(tmin, c.wall, 1e-3 * c.wall);
      const WallLayers w = FewestWallLayers(d.sections.Pieces2d(1), samples);
      EXPECT_GE(w.layers, WallElementsAcross(level));
      EXPECT_LE(w.layers, WallElementsAcross(level) + 2);  // refined to the wall, not everywhere
      EXPECT_NEAR(w.thickness, c.wall, 1e-3 * c.wall);
      for (int k = 1; k <= d.sections.Pieces2d.size(); ++k)
        EXPECT_TRUE(CheckMesh(d.sections.Pieces2d(k)).empty()) << "mesh " << k << "\n" << FormatFindings(CheckMesh(d.sections.Pieces2d(k)));
      // Both sections are symmetric about both axes, and so are the boundary
      // nodes of the profile mesh (to the rounding of the resampling).
      const Mesh2d& m = d.sections.Pieces2d(1);
      double worst = 0.0;
      for (int i = 1; i <= m.nh; ++i) {
        if (m.flag(i) != 65 && m.flag(i) != 1) continue;
        for (const double sx : {-1.0, 1.0}) {
          double dmin = 1e9;
          for (int j = 1; j <= m.nh; ++j)
            dmin = std::min(dmin, std::hypot(sx * m.xy(i)[0] - m.xy(j)[0], -sx * m.xy(i)[1] - m.xy(j)[1]));
          worst = std::max(worst, dmin);
        }
      }
      EXPECT_LT(worst, 1e-4);
    }
  // The bound grows away from the wall and leaves compact parts alone: half a
  // thickness off the wall it is still the wall's, far off it is large.
  std::vector<WallSample> strip;
  const InpDat d = Section("strip", FixtureNamed("strip").outlines, 3);
  ProfileWallSamples(d.setup, d.sections, strip);
  WallBound b;
  BuildWallBound(strip, 3, 1, b);
  EXPECT_DOUBLE_EQ(b.scale, 1.0);
  EXPECT_NEAR(WallSize(b, {0.0, 0.0}), 4.0 / 3.0, 1e-3);
  EXPECT_NEAR(WallSize(b, {20.0, 0.0}), 4.0 / 3.0, 1e-3);  // the end face of the wall
  EXPECT_NEAR(WallSize(b, {0.0, 12.0}), 4.0 / 3.0 + b.grade * 8.0, 1e-2);
  // Twelve across overflow one block; the quarter of a mirrored strip is a
  // block of its own and takes four times the nodes: sizes half as large.
  WallBound whole, quarter;
  BuildWallBound(strip, 12, 1, whole);
  BuildWallBound(strip, 12, 4, quarter);
  EXPECT_GT(quarter.scale, 1.0);
  EXPECT_NEAR(quarter.scale, 0.5 * whole.scale, 1e-12);
  // An angle 40 x 40 x 4 at level 5: a half of the ring around its finely
  // divided outline exceeds a block however far the bound is enlarged and is
  // meshed as two blocks; the meshes are sound, the walls keep four across.
  const InpDat a = Section("angle", "outline WPIECE\npolygon -11.47 -11.47 28.53 -11.47 28.53 -7.47 -7.47 -7.47 "
                           "-7.47 28.53 -11.47 28.53\noutline RING1\ncircle 0 0 70 24\noutline CONT2\ncircle 0 0 100 24\n", 5);
  for (int k = 1; k <= a.sections.Pieces2d.size(); ++k) EXPECT_TRUE(CheckMesh(a.sections.Pieces2d(k)).empty()) << k;
  std::vector<WallSample> as;
  ProfileWallSamples(a.setup, a.sections, as);
  EXPECT_GE(FewestWallLayers(a.sections.Pieces2d(1), as).layers, 4);
}

// The example's cross-section file byte for byte (FNV-1a hash and length of
// the file): a compact bar's sizes are all below its wall bound, so the file
// changes only with the meshing of a symmetric section by quarters.
TEST(WallBound, ExampleCrossSectionUnchanged) {
  std::ifstream desc(std::string(KALMORA_EXAMPLES_DIR) + "/round-bar/outlines.txt");
  const std::string text((std::istreambuf_iterator<char>(desc)), std::istreambuf_iterator<char>());
  std::string bytes;
  Section("round-bar", text, 2, &bytes);
  uint64_t h = 0xcbf29ce484222325ULL;
  for (const unsigned char b : bytes) h = (h ^ b) * 0x100000001b3ULL;
  EXPECT_EQ(bytes.size(), 67862u);
  EXPECT_EQ(h, 0x1c25d23636d017e7ULL);
}
