#pragma once
// Pivot order of a mesh's sparse solves, kept between solves.

#include <cstdint>
#include <vector>

// Fill-reducing pivot order of the sparse solves of one mesh's problem.
// The element pattern of a mesh stays the same from one coupled iteration
// (or heat step) to the next, and ordering it is the costliest step of a
// solve at these sizes, so the order is kept with the mesh and reused while
// the pattern's fingerprint matches.
struct SparsePivotOrder {
  uint64_t pattern = 0;        // fingerprint of the element pattern the order belongs to (0: none yet)
  std::vector<int32_t> order;  // position of unknown u in the pivot order, order[u-1] (1..n)
};
