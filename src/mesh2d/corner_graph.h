#pragma once
// Corner node graph of a block mesh: which corner nodes share an element.
// The block mesher smooths and renumbers the corner nodes over it.

#include <vector>

#include "core/section.h"

// Node adjacency of the corner mesh in compressed rows: neighbours of node i
// are adj[start[i-1] .. start[i]-1], sorted.
struct NodeGraph {
  std::vector<int> start;
  std::vector<int> adj;
  int degree(int i) const { return start[static_cast<std::size_t>(i)] - start[static_cast<std::size_t>(i - 1)]; }
  const int* begin(int i) const { return adj.data() + start[static_cast<std::size_t>(i - 1)]; }
  const int* end(int i) const { return adj.data() + start[static_cast<std::size_t>(i)]; }
};

// Node graph of corner nodes 1..nCorner over nop rows 1..3 of elements 1..ne.
NodeGraph BuildGraph(const Mesh2d& m, int nCorner);

// Number of corner nodes: the largest node number in nop rows 1..3.
int CornerCount(const Mesh2d& m);
