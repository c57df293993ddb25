// kalmora-outline: writes a binary outline file from a text description,
// after checking that the outlines can be meshed.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "input/process_types.h"
#include "mesh2d/outline_check.h"
#include "mesh2d/outline_shapes.h"
#include "mesh2d/ring_rule.h"

namespace {

const char* const kHelp =
    "usage: kalmora-outline [--type N] DESCRIPTION.txt OUTPUT\n"
    "\n"
    "Writes the binary outline file OUTPUT (named in indata.txt) from a text\n"
    "description, after checking the geometry: every outline closed, with an\n"
    "area and without crossing itself, and the outlines nested as the process\n"
    "type needs.  --type N checks for process type N (ProfType in indata.txt:\n"
    "1, 3, 4, 5, 6, 7 or 9; docs/input.md describes them);\n"
    "without it the nested layout is checked, and a file that fits only the\n"
    "multi-hole layout (types 7 and 9) is accepted with a note.  Nothing is\n"
    "written when a check fails.\n"
    "\n"
    "Lengths in mm.  '#' starts a comment.  Each outline is one 'outline NAME'\n"
    "line followed by one shape:\n"
    "\n"
    "  outline NAME                 NAME: 1 to 6 characters, it selects the slot\n"
    "  circle CX CY D [NSEG]        circle of diameter D, NSEG segments (default 16)\n"
    "  rectangle CX CY W H [R]      rectangle W x H, optional corner radius R\n"
    "  polygon X1 Y1 X2 Y2 X3 Y3 .. closed polygon through its corners\n"
    "  points                       explicit points, one 'X Y' per line, closed by\n"
    "    X Y                        'end': segment start point and middle point\n"
    "    ...                        alternately (an even count, at most 1000);\n"
    "  end                          do not repeat the first point at the end\n"
    "\n"
    "Slots.  The name puts an outline into a slot; a file of n outlines must\n"
    "fill slots 1 to n (at most 5), one outline each:\n"
    "  slot 1  WPIECE            the profile (the die opening)\n"
    "  slot 2  fifth letter '1'  the first outline around the profile\n"
    "  slot 3  fifth letter '2'  the next one around it\n"
    "  slot 4  fifth letter '3'  the inner outline of a hollow profile (inside\n"
    "          WPIECE), or fifth letter '4': a fourth outline around the rest\n"
    "  slot 5  fifth letter '4'  when a '3' outline exists: the outermost one\n"
    "The outermost outline is the container bore.  For process types other\n"
    "than 7 and 9 the outlines nest: WPIECE inside slot 2 inside slot 3 ...;\n"
    "two outlines (WPIECE and the container, e.g. CONT1) are the least, and\n"
    "process types 3, 4 and 6 need three (the middle one bounds the extra zone).\n"
    "\n"
    "The intermediate ring.  With three outlines for a one-zone process, the\n"
    "middle outline (e.g. RING1) is no tool surface: it bounds the region\n"
    "around the profile that is meshed finely, so that the elements grow from\n"
    "the size of the profile's details to the size of the container.  Centre it\n"
    "on the profile and keep it at least a quarter of the profile's largest\n"
    "width W away from both the profile and the container bore; a circle of\n"
    "diameter (W + bore) / 2 does for compact profiles.  A ring that breaks\n"
    "this is written with a warning.\n"
    "\n"
    "Multi-hole dies (types 7 and 9): slot 3 ('2' in fifth place) is the\n"
    "container bore; every other outline is a hole of the die, inside the\n"
    "container and apart from the others.\n"
    "\n"
    "Example (round bar of 20 mm from a 100 mm container):\n"
    "  outline WPIECE\n"
    "  circle 0 0 20\n"
    "  outline RING1\n"
    "  circle 0 0 50\n"
    "  outline CONT2\n"
    "  circle 0 0 100 24\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  int arg = 1;
  bool typeGiven = false;
  int32_t profType = 1;
  if (argc == 5 && std::strcmp(argv[1], "--type") == 0) {
    char* end = nullptr;
    const long t = std::strtol(argv[2], &end, 10);
    if (end == argv[2] || *end != '\0' || t < -1000000 || t > 1000000) {
      std::fprintf(stderr, "--type: expected a process type number, found \"%s\"\n", argv[2]);
      return 2;
    }
    profType = static_cast<int32_t>(t);
    if (ProcessTypeMeaning(profType).empty()) {
      std::fprintf(stderr, "--type: process type %s is not defined; expected %s\n", argv[2], ProcessTypeList().c_str());
      return 2;
    }
    typeGiven = true;
    arg = 3;
  }
  if (argc - arg != 2) {
    std::fputs(kHelp, stderr);
    return 2;
  }
  const char* description = argv[arg];
  const char* output = argv[arg + 1];
  std::ifstream in(description);
  if (!in) {
    std::fprintf(stderr, "%s: cannot open the outline description\n", description);
    return 1;
  }
  std::ostringstream ss;
  ss << in.rdbuf();
  std::string error;
  const std::vector<RawOutline> outlines = ParseOutlineDescription(description, ss.str(), error);
  if (!error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }

  // The same geometry check the program runs before it meshes, on the
  // outlines as they will be stored (single precision, 6-character names).
  OutlineFileData data;
  data.outlines = outlines;
  for (RawOutline& o : data.outlines) {
    o.name = o.name.substr(0, 6);
    o.name.resize(6, ' ');
  }
  data.nOutlines = static_cast<int32_t>(data.outlines.size());
  AssignOutlineSlots(data);
  std::string finding = CheckOutlineGeometry(output, data, profType);
  if (!finding.empty() && !typeGiven && CheckOutlineGeometry(output, data, 7).empty()) {
    std::printf("%s: the outlines fit the multi-hole layout only (process types 7 and 9)\n", output);
    finding.clear();
  }
  if (!finding.empty()) {
    std::fprintf(stderr, "%s\n", finding.c_str());
    return 1;
  }

  const std::string ring = RingRuleFinding(output, data, typeGiven ? profType : 1);
  if (!ring.empty()) std::printf("%s\n", ring.c_str());
  if (!WriteOutlineFile(output, outlines)) {
    std::fprintf(stderr, "%s: cannot write the outline file\n", output);
    std::remove(output);
    return 1;
  }
  std::printf("%s: %zu outline(s) written\n", output, outlines.size());
  return 0;
}
