#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mesh2d/outline_check.h"
#include "mesh2d/outline_shapes.h"
#include "support/profile_fixtures.h"
#include "support/scratch.h"

namespace {

// The outlines of a description as the program reads them back from a file.
OutlineFileData FromText(const std::string& text) {
  std::string err;
  OutlineFileData d;
  d.outlines = ParseOutlineDescription("t.txt", text, err);
  EXPECT_TRUE(err.empty()) << err;
  for (RawOutline& o : d.outlines) o.name.resize(6, ' ');
  d.nOutlines = static_cast<int32_t>(d.outlines.size());
  AssignOutlineSlots(d);
  return d;
}

std::string Check(const std::string& text, int profType = 1) {
  return CheckOutlineGeometry("die.olf", FromText(text), profType);
}

const std::string kRing = "outline RING1\ncircle 0 0 50\n";
const std::string kCont = "outline CONT2\ncircle 0 0 100 24\n";

}  // namespace

TEST(OutlineCheck, EveryRealLayoutPasses) {
  for (const Fixture& f : Fixtures()) EXPECT_EQ(Check(f.outlines, f.profType), "") << f.name;
  // The bundled example's three nested circles, and a hollow profile whose
  // inner outline lies inside the profile.
  EXPECT_EQ(Check("outline WPIECE\ncircle 0 0 20 16\n" + kRing + kCont), "");
  // Quarter model: every outline closed along both axes.
  EXPECT_EQ(Check("outline WPIECE\npolygon 0 0 10 0 10 5 0 5\noutline RING1\npolygon 0 0 25 0 25 15 0 15\n"
                  "outline CONT2\npolygon 0 0 50 0 50 50 0 50\n"),
            "");
}

TEST(OutlineCheck, DegenerateOutlinesNameFileOutlineAndSlot) {
  struct Case {
    std::string profile;  // the WPIECE shape
    std::string want;     // expected message
  };
  const std::vector<Case> cases = {
      {"polygon 0 0 30 10 30 0 0 20",  // bow tie of two unequal lobes
       "die.olf: outline WPIECE (slot 1, the profile): crosses itself: the piece from point 2 (15, 5) to point 3 "
       "(30, 10) meets the piece from point 5 (30, 0) to point 6 (15, 10)"},
      {"polygon 0 0 10 10 10 0 0 10",  // bow tie of equal lobes: the signed area cancels
       "die.olf: outline WPIECE (slot 1, the profile): encloses no area"},
      {"points\n1 1\n2 2\nend", "die.olf: outline WPIECE (slot 1, the profile): has only 2 points"},
      {"points\n3 3\n3 3\n3 3\n3 3\nend",
       "die.olf: outline WPIECE (slot 1, the profile): all its 4 points coincide at (3, 3): it encloses no area"},
      {"points\n-5 -5\n0 -5\n5 -5\n5 0\n5 5\n0 5\n0 5\n-5 0\nend",
       "die.olf: outline WPIECE (slot 1, the profile): points 6 and 7 coincide at (0, 5)"},
      {"points\n0 0\n1 1\n2 2\n3 3\nend",
       "die.olf: outline WPIECE (slot 1, the profile): encloses no area (its points lie on one line)"},
      {"points\n-5 -5\n0 -5\n5 -5\n5 5\n-5 5\n-5 -5\nend",
       "die.olf: outline WPIECE (slot 1, the profile): its last point 6 repeats point 1 (-5, -5)"},
      {"polygon -5 -5 5 -5 0 0 5 5 -5 5 0 0",  // two triangles meeting at their tips
       "die.olf: outline WPIECE (slot 1, the profile): crosses itself"},
  };
  for (const Case& c : cases) {
    const std::string got = Check("outline WPIECE\n" + c.profile + "\n" + kRing + kCont);
    EXPECT_EQ(got.substr(0, c.want.size()), c.want) << got;
  }
}

TEST(OutlineCheck, NestingAndSlotsOfTheNestedLayout) {
  // Profile larger than its container: named with both outlines' slots.
  std::string got = Check("outline WPIECE\ncircle 0 0 120\n" + kRing + kCont);
  EXPECT_NE(got.find("die.olf: outline WPIECE (slot 1, the profile): point 1 (60, 0) lies outside outline RING1 "
                     "(slot 2, an intermediate ring); it must lie inside it"),
            std::string::npos)
      << got;
  // Two identical outlines.
  got = Check("outline WPIECE\ncircle 0 0 50\n" + kRing + kCont);
  EXPECT_NE(got.find("outline WPIECE (slot 1, the profile): lies on outline RING1 (slot 2, an intermediate ring) all "
                     "along: the two outlines are the same line"),
            std::string::npos)
      << got;
  // Touching off the symmetry axes.
  got = Check("outline WPIECE\nrectangle 0 0 20 20\noutline RING1\nrectangle 5 0 30 40\n" + kCont);
  EXPECT_NE(got.find("WPIECE (slot 1, the profile): touches outline RING1"), std::string::npos) << got;
  // The ring crosses the container.
  got = Check("outline WPIECE\ncircle 0 0 20\noutline RING1\nrectangle 0 0 60 120\n" + kCont);
  EXPECT_NE(got.find("outline RING1 (slot 2, an intermediate ring): point"), std::string::npos) << got;
  EXPECT_NE(got.find("lies outside outline CONT2 (slot 3, the container bore)"), std::string::npos) << got;

  // A profile and a container without the intermediate ring, the container
  // named for slot 3: the message says which slot is empty and why.
  got = Check("outline WPIECE\ncircle 0 0 20\n" + kCont);
  EXPECT_NE(got.find("die.olf: outline slot 2 is empty: the file holds 2 outline(s), which fill slots 1 to 2 in "
                     "order, and slot 2 needs an outline with '1' in fifth place; outline CONT2 takes slot 3"),
            std::string::npos)
      << got;
  // The same two outlines named for slots 1 and 2 are a valid file.
  EXPECT_EQ(Check("outline WPIECE\ncircle 0 0 20\noutline CONT1\ncircle 0 0 100 24\n"), "");
  // ... but process type 3 needs the outline of its extra zone as well.
  got = Check("outline WPIECE\ncircle 0 0 20\noutline CONT1\ncircle 0 0 100 24\n", 3);
  EXPECT_NE(got.find("process type 3 needs 3 nested outlines"), std::string::npos) << got;
  // Two outlines for one slot, an outline without slot, no profile.
  got = Check("outline WPIECE\ncircle 0 0 20\n" + kRing + "outline RIN_1\ncircle 0 0 60\n");
  EXPECT_NE(got.find("outline RIN_1 (slot 2): outline 3 of the file takes the same slot as outline 2 (RING1)"),
            std::string::npos)
      << got;
  got = Check("outline WPIECE\ncircle 0 0 20\noutline BOX\ncircle 0 0 60\n");
  EXPECT_NE(got.find("outline BOX has no slot"), std::string::npos) << got;
  got = Check("outline PROFIL\ncircle 0 0 20\n" + kRing);
  EXPECT_NE(got.find("outline slot 1 is empty"), std::string::npos) << got;
  // Hollow profile: the inner outline must lie inside the profile.
  got = Check("outline WPIECE\ncircle 0 0 30\noutline CORE3\ncircle 20 0 20\n" + kRing + kCont);
  EXPECT_NE(got.find("outline CORE3 (slot 4, the inner outline of the hollow profile): point"), std::string::npos)
      << got;
}

TEST(OutlineCheck, MultiHoleLayout) {
  const std::string two = "outline WPIECE\ncircle -15 0 10\noutline HOLE1\ncircle 15 0 10\n" + kCont;
  EXPECT_EQ(Check(two, 7), "");
  EXPECT_EQ(Check(two, 9), "");
  // The same file does not nest: refused for a one-hole process type.
  EXPECT_NE(Check(two, 1).find("outline WPIECE (slot 1, the profile): point 1 (-10, 0) lies outside outline HOLE1"),
            std::string::npos);
  std::string got = Check("outline WPIECE\ncircle -5 0 20\noutline HOLE1\ncircle 5 0 20\n" + kCont, 7);
  EXPECT_NE(got.find("outline WPIECE (slot 1, the profile, a hole of the die): meets outline HOLE1 (slot 2, a hole of "
                     "the die)"),
            std::string::npos)
      << got;
  got = Check("outline WPIECE\ncircle 0 0 40\noutline HOLE1\ncircle 0 0 10\n" + kCont, 7);
  EXPECT_NE(got.find("encloses outline HOLE1"), std::string::npos) << got;
  got = Check("outline WPIECE\ncircle -15 0 10\noutline HOLE1\ncircle 95 0 10\n" + kCont, 7);
  EXPECT_NE(got.find("outline HOLE1 (slot 2, a hole of the die): point 1 (100, 0) lies outside outline CONT2 (slot 3, "
                     "the container bore)"),
            std::string::npos)
      << got;
  got = Check("outline WPIECE\ncircle -15 0 10\noutline CONT1\ncircle 0 0 100\n", 7);
  EXPECT_NE(got.find("process type 7 (multi-hole die) needs at least three outlines"), std::string::npos) << got;
}

TEST(OutlineCheckDeath, ProgramStopsWithTheFinding) {
  const std::string path = ScratchFile("check_cross.olf");
  std::string err;
  auto o = ParseOutlineDescription("t", "outline WPIECE\npolygon 0 0 30 10 30 0 0 20\n" + kRing + kCont, err);
  ASSERT_TRUE(WriteOutlineFile(path, o));
  EXPECT_EXIT(CheckOutlineFile(path, 1), ::testing::ExitedWithCode(1),
              "check_cross.olf: outline WPIECE \\(slot 1, the profile\\): crosses itself");
}
