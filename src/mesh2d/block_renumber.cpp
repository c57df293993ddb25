#include <algorithm>
#include <vector>

#include "mesh2d/block_mesh.h"
#include "mesh2d/corner_graph.h"

NodeGraph BuildGraph(const Mesh2d& m, int nCorner) {
  std::vector<std::vector<int>> lists(static_cast<std::size_t>(nCorner));
  for (int e = 1; e <= m.ne; ++e)
    for (int a = 1; a <= 3; ++a)
      for (int b = 1; b <= 3; ++b)
        if (a != b) lists[static_cast<std::size_t>(m.nop(a, e) - 1)].push_back(m.nop(b, e));
  NodeGraph g;
  g.start.assign(static_cast<std::size_t>(nCorner) + 1, 0);
  for (int i = 1; i <= nCorner; ++i) {
    auto& l = lists[static_cast<std::size_t>(i - 1)];
    std::sort(l.begin(), l.end());
    l.erase(std::unique(l.begin(), l.end()), l.end());
    g.start[static_cast<std::size_t>(i)] = g.start[static_cast<std::size_t>(i - 1)] + static_cast<int>(l.size());
  }
  g.adj.reserve(static_cast<std::size_t>(g.start.back()));
  for (auto& l : lists) g.adj.insert(g.adj.end(), l.begin(), l.end());
  return g;
}

int CornerCount(const Mesh2d& m) {
  int np = 0;
  for (int e = 1; e <= m.ne; ++e)
    for (int k = 1; k <= 3; ++k) np = std::max(np, m.nop(k, e));
  return np;
}

namespace {

// Breadth-first level structure from `root`: returns the nodes of the deepest
// level and sets `depth`.
std::vector<int> DeepestLevel(const NodeGraph& g, int nCorner, int root, int& depth) {
  std::vector<int> level(static_cast<std::size_t>(nCorner) + 1, -1);
  std::vector<int> cur{root}, next;
  level[static_cast<std::size_t>(root)] = 0;
  depth = 0;
  for (;;) {
    next.clear();
    for (int u : cur)
      for (const int* p = g.begin(u); p != g.end(u); ++p)
        if (level[static_cast<std::size_t>(*p)] < 0) {
          level[static_cast<std::size_t>(*p)] = depth + 1;
          next.push_back(*p);
        }
    if (next.empty()) return cur;
    ++depth;
    std::swap(cur, next);
  }
}

// Greedy numbering from `start` that keeps the set of waiting nodes (not yet
// numbered, adjacent to numbered ones) small.  Returns the width reached, or
// `limit` as soon as the width reaches it; fills `order` (order[k] = old node
// of new number k+1) when the trial completes.
int GreedyOrder(const NodeGraph& g, int nCorner, int start, int limit, std::vector<int>& order) {
  // state: 0 untouched, 1 waiting (in the front), 2 numbered
  std::vector<char> state(static_cast<std::size_t>(nCorner) + 1, 0);
  std::vector<int> lowNb(static_cast<std::size_t>(nCorner) + 1, 0);  // smallest new number of a numbered neighbour
  std::vector<int> front;
  order.clear();
  int width = 0;
  int nextNode = start;
  state[static_cast<std::size_t>(start)] = 1;
  front.push_back(start);
  for (int num = 1; num <= nCorner; ++num) {
    if (nextNode < 0) {
      // A disconnected part: continue from its lowest untouched node.
      for (int i = 1; i <= nCorner; ++i)
        if (state[static_cast<std::size_t>(i)] == 0) {
          nextNode = i;
          state[static_cast<std::size_t>(i)] = 1;
          front.push_back(i);
          break;
        }
    }
    const int v = nextNode;
    state[static_cast<std::size_t>(v)] = 2;
    front.erase(std::find(front.begin(), front.end(), v));
    order.push_back(v);
    for (const int* p = g.begin(v); p != g.end(v); ++p) {
      const auto u = static_cast<std::size_t>(*p);
      if (state[u] == 0) {
        state[u] = 1;
        front.push_back(*p);
        lowNb[u] = num;
      }
    }
    width = std::max(width, static_cast<int>(front.size()));
    if (width >= limit) return limit;
    // Next: the waiting node adding the fewest new waiting nodes; ties go to
    // the node with the lowest-numbered numbered neighbour, then lowest node.
    nextNode = -1;
    int bestAdd = 0, bestLow = 0;
    for (int u : front) {
      int add = 0;
      for (const int* p = g.begin(u); p != g.end(u); ++p) add += state[static_cast<std::size_t>(*p)] == 0 ? 1 : 0;
      const int low = lowNb[static_cast<std::size_t>(u)];
      if (nextNode < 0 || add < bestAdd || (add == bestAdd && (low < bestLow || (low == bestLow && u < nextNode)))) {
        nextNode = u;
        bestAdd = add;
        bestLow = low;
      }
    }
  }
  return width;
}

}  // namespace

int CornerFrontWidth(const Mesh2d& m) {
  const int nCorner = CornerCount(m);
  if (nCorner == 0) return 0;
  const NodeGraph g = BuildGraph(m, nCorner);
  std::vector<char> state(static_cast<std::size_t>(nCorner) + 1, 0);
  int waiting = 0, width = 0;
  for (int v = 1; v <= nCorner; ++v) {
    if (state[static_cast<std::size_t>(v)] == 1) --waiting;
    state[static_cast<std::size_t>(v)] = 2;
    for (const int* p = g.begin(v); p != g.end(v); ++p)
      if (state[static_cast<std::size_t>(*p)] == 0) {
        state[static_cast<std::size_t>(*p)] = 1;
        ++waiting;
      }
    width = std::max(width, waiting);
  }
  return width;
}

void RenumberCorners(Mesh2d& m) {
  const int nCorner = CornerCount(m);
  if (nCorner < 2) return;
  const NodeGraph g = BuildGraph(m, nCorner);

  // Start candidates: the deepest level of a level structure rooted at a
  // pseudo-peripheral node (repeated until the depth stops growing).
  int root = 1;
  for (int i = 2; i <= nCorner; ++i)
    if (g.degree(i) < g.degree(root)) root = i;
  int depth = 0;
  std::vector<int> last = DeepestLevel(g, nCorner, root, depth);
  for (int round = 0; round < 8; ++round) {
    int cand = last.front();
    for (int u : last)
      if (g.degree(u) < g.degree(cand)) cand = u;
    int d2 = 0;
    std::vector<int> lv = DeepestLevel(g, nCorner, cand, d2);
    if (d2 <= depth) break;
    root = cand;
    depth = d2;
    last = std::move(lv);
  }
  std::vector<int> starts{root};
  std::sort(last.begin(), last.end(), [&](int a, int b) {
    return g.degree(a) != g.degree(b) ? g.degree(a) < g.degree(b) : a < b;
  });
  for (int u : last) {
    if (static_cast<int>(starts.size()) >= 8) break;
    if (u != root) starts.push_back(u);
  }

  std::vector<int> best, trial;
  int bestWidth = nCorner + 1;
  for (int s : starts) {
    const int w = GreedyOrder(g, nCorner, s, bestWidth, trial);
    if (w < bestWidth) {
      bestWidth = w;
      best = trial;
    }
  }
  if (best.size() != static_cast<std::size_t>(nCorner)) return;

  // Apply: newNum[old] = new number.
  std::vector<int> newNum(static_cast<std::size_t>(nCorner) + 1, 0);
  for (int k = 0; k < nCorner; ++k) newNum[static_cast<std::size_t>(best[static_cast<std::size_t>(k)])] = k + 1;
  Vec1<Point2> xy(static_cast<std::size_t>(m.nh));
  Vec1<int32_t> mark(static_cast<std::size_t>(m.nh));
  for (int i = 1; i <= m.nh; ++i) {
    const int j = i <= nCorner ? newNum[static_cast<std::size_t>(i)] : i;
    xy(j) = m.xy(i);
    mark(j) = m.mark(i);
  }
  m.xy = std::move(xy);
  m.mark = std::move(mark);
  std::vector<int> firstCorner(static_cast<std::size_t>(m.ne));
  for (int e = 1; e <= m.ne; ++e) {
    int lo = nCorner + 1;
    for (int k = 1; k <= 3; ++k) {
      m.nop(k, e) = newNum[static_cast<std::size_t>(m.nop(k, e))];
      lo = std::min(lo, m.nop(k, e));
    }
    firstCorner[static_cast<std::size_t>(e - 1)] = lo;
  }
  std::vector<int> perm(static_cast<std::size_t>(m.ne));
  for (int e = 0; e < m.ne; ++e) perm[static_cast<std::size_t>(e)] = e + 1;
  std::stable_sort(perm.begin(), perm.end(), [&](int a, int b) {
    return firstCorner[static_cast<std::size_t>(a - 1)] < firstCorner[static_cast<std::size_t>(b - 1)];
  });
  Mat1<int32_t> nop(m.nop.rows, m.nop.cols, 0);
  for (int e = 1; e <= m.ne; ++e)
    for (int k = 1; k <= m.nop.rows; ++k) nop(k, e) = m.nop(k, perm[static_cast<std::size_t>(e - 1)]);
  m.nop = std::move(nop);
}
