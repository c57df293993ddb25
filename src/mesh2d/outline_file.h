#pragma once
// Binary outline files: the profile outline and the nested outlines around
// it, as a packed little-endian byte stream.
//
//   int16 count                     |count| outlines; negative: names follow
//   per outline: int16 nSeg, int16 n, n float32 x, n float32 y
//   if count < 0: |count| names of 6 characters
//
// Outlines are assigned to five slots by name: "WPIECE" -> slot 1; fifth
// character '1' -> 2, '2' -> 3, '3' -> 4, '4' -> 4, or 5 when a '3' outline
// exists.

#include <array>
#include <string>
#include <vector>

// One outline as stored in the file (single precision).
struct RawOutline {
  std::string name;      // 6-character name ("" when the file holds no names)
  int32_t nSeg = 0;      // number of quadratic segments
  std::vector<float> x;  // x of the points, mm, n entries (0-based storage of points 1..n)
  std::vector<float> y;  // y of the points, mm
};

// Content of an outline file after the slot assignment.
struct OutlineFileData {
  std::vector<RawOutline> outlines;  // all outlines in file order
  int32_t nOutlines = 0;             // |count|
  int32_t SplitMode = 1;             // 2 when a '3' outline exists
  std::array<int, 5> slot{};         // 1-based index into outlines per slot 1..5 (entry 0 = slot 1), 0 = empty
  bool has4 = false;                 // a '4' outline exists beside a '3' outline
};

// Reads and validates an outline file; every defect (missing file, truncated
// data, a point count that is not positive, even and at most 1000, nSeg not
// n/2, a non-finite coordinate, no outline at all) stops the run with one
// line naming the file and the defect.
void ReadOutlineFile(const std::string& path, OutlineFileData& data);

// Assigns the slots in two passes over the outlines in file order.
void AssignOutlineSlots(OutlineFileData& data);

// Writes an outline file with names (negative count).  Names are cut or
// padded with blanks to 6 characters.  Returns false on an I/O failure.
bool WriteOutlineFile(const std::string& path, const std::vector<RawOutline>& outlines);
