// kalmora-outline: writes a binary outline file from a text description.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "mesh2d/outline_shapes.h"

namespace {

const char* const kHelp =
    "usage: kalmora-outline DESCRIPTION.txt OUTPUT\n"
    "\n"
    "Writes the binary outline file OUTPUT (named in indata.txt) from a text\n"
    "description.  Lengths in mm.  '#' starts a comment.  Each outline is one\n"
    "'outline NAME' line followed by one shape:\n"
    "\n"
    "  outline NAME                 NAME: 1 to 6 characters.  The profile is WPIECE;\n"
    "                               the outlines around it have '1', '2', '3', '4'\n"
    "                               as their fifth character (e.g. RING1, CONT2).\n"
    "  circle CX CY D [NSEG]        circle of diameter D, NSEG segments (default 16)\n"
    "  rectangle CX CY W H [R]      rectangle W x H, optional corner radius R\n"
    "  polygon X1 Y1 X2 Y2 X3 Y3 .. closed polygon through its corners\n"
    "  points                       explicit points, one 'X Y' per line, closed by\n"
    "    X Y                        'end': segment start point and middle point\n"
    "    ...                        alternately (an even count, at most 1000)\n"
    "  end\n"
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
  if (argc != 3) {
    std::fputs(kHelp, stderr);
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::fprintf(stderr, "%s: cannot open the outline description\n", argv[1]);
    return 1;
  }
  std::ostringstream ss;
  ss << in.rdbuf();
  std::string error;
  const std::vector<RawOutline> outlines = ParseOutlineDescription(argv[1], ss.str(), error);
  if (!error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  if (!WriteOutlineFile(argv[2], outlines)) {
    std::fprintf(stderr, "%s: cannot write the outline file\n", argv[2]);
    std::remove(argv[2]);
    return 1;
  }
  std::printf("%s: %zu outline(s) written\n", argv[2], outlines.size());
  return 0;
}
