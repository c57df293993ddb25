#pragma once
// Edge table of a triangle mesh: every corner edge of every element, sorted
// so that the uses of one edge stand next to each other.  Neighbour search,
// mid-side node numbering and the conformity check all read it.

#include <cstddef>
#include <vector>

#include "core/section.h"

// One use of a corner edge: local edge k of element e joins corners k and
// k % 3 + 1 (nop rows 1..3).
struct EdgeUse {
  int lo = 0;  // smaller of the two corner node numbers, 1-based
  int hi = 0;  // larger of the two corner node numbers, 1-based
  int e = 0;   // element number, 1-based
  int k = 0;   // local edge number, 1..3
};

// The 3 ne edge uses of elements 1..ne, sorted by (lo, hi, e, k): the uses of
// one edge are adjacent and in element order.
std::vector<EdgeUse> SortedEdges(const Mesh2d& m);

// End (one past) of the run of uses of the edge that starts at index i.
inline std::size_t EdgeRunEnd(const std::vector<EdgeUse>& uses, std::size_t i) {
  std::size_t j = i + 1;
  while (j < uses.size() && uses[j].lo == uses[i].lo && uses[j].hi == uses[i].hi) ++j;
  return j;
}
