#include "mesh2d/block_ops.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/fatal.h"
#include "mesh2d/edge_table.h"
#include "mesh2d/mesh_check.h"

namespace {

double Dist2(const Point2& p, const Point2& q) {
  const double dx = p[0] - q[0];
  const double dy = p[1] - q[1];
  return dx * dx + dy * dy;
}

// Uniform grid over a point set: finds every point within a squared distance
// of a query without comparing all pairs.
class PointGrid {
 public:
  PointGrid(const Vec1<Point2>& pts, int count, double cell) : cell_(cell) {
    items_.reserve(static_cast<std::size_t>(count));
    for (int i = 1; i <= count; ++i) items_.push_back({Key(Cell(pts(i)[0]), Cell(pts(i)[1])), i});
    std::sort(items_.begin(), items_.end());
  }
  // Calls fn(i) for every point i in the 3 x 3 cells around p, in increasing i
  // within a cell.
  template <class Fn>
  void Near(const Point2& p, Fn fn) const {
    const int64_t cx = Cell(p[0]), cy = Cell(p[1]);
    for (int64_t dx = -1; dx <= 1; ++dx)
      for (int64_t dy = -1; dy <= 1; ++dy) {
        const int64_t k = Key(cx + dx, cy + dy);
        auto it = std::lower_bound(items_.begin(), items_.end(), Item{k, 0});
        for (; it != items_.end() && it->key == k; ++it) fn(it->id);
      }
  }

 private:
  struct Item {
    int64_t key;
    int id;
    bool operator<(const Item& o) const { return key != o.key ? key < o.key : id < o.id; }
  };
  int64_t Cell(double v) const { return static_cast<int64_t>(std::floor(v / cell_)); }
  static int64_t Key(int64_t cx, int64_t cy) { return cx * 4294967311LL + cy; }
  double cell_;
  std::vector<Item> items_;
};

// Partner in a of every node of b (0: none): the lowest-numbered node of a
// closer than the merge tolerance.
std::vector<int> MergePartners(const Mesh2d& a, const Mesh2d& b) {
  std::vector<int> partner(static_cast<std::size_t>(b.nh) + 1, 0);
  if (a.nh == 0 || b.nh == 0) return partner;
  const PointGrid grid(a.xy, a.nh, std::sqrt(kMergeTol2));
  for (int j = 1; j <= b.nh; ++j) {
    int best = 0;
    grid.Near(b.xy(j), [&](int i) {
      if (Dist2(a.xy(i), b.xy(j)) < kMergeTol2 && (best == 0 || i < best)) best = i;
    });
    partner[static_cast<std::size_t>(j)] = best;
  }
  return partner;
}

}  // namespace

void FlagMesh(Mesh2d& mesh, const Outline& outline) {
  mesh.flag.assign(static_cast<std::size_t>(mesh.nh), 0);
  int np = 0;
  for (int e = 1; e <= mesh.ne; ++e) {
    const int32_t n4 = mesh.nop(4, e), n5 = mesh.nop(5, e), n6 = mesh.nop(6, e);
    mesh.nop(4, e) = n6;
    mesh.nop(5, e) = n4;
    mesh.nop(6, e) = n5;
    for (int k = 1; k <= 3; ++k) np = std::max(np, mesh.nop(k, e));
  }
  mesh.np = np;
  // An outline point with an even mark is an interface point.
  auto interfaceRule = [&](int i) {
    const int u = mesh.mark(i);
    if (u <= 0) return;
    Require(u <= outline.n && outline.mark.size() >= u,
            "FlagMesh: node " + std::to_string(i) + " refers to outline point " + std::to_string(u) +
                " of an outline of " + std::to_string(outline.n) + " points");
    if ((outline.mark(u) & 1) == 0) mesh.mark(i) = -1;
  };
  for (int i = 1; i <= mesh.nh; ++i) {
    if (i <= np) {
      mesh.flag(i) = 64;
      if (mesh.mark(i) != 0) {
        mesh.flag(i) = 65;
        interfaceRule(i);
      }
    } else if (mesh.mark(i) != 0) {
      mesh.flag(i) = 1;
      interfaceRule(i);
    }
  }
  mesh.npe = 6;
  mesh.nve = 3;
}

void FlagOnOutline(int nPiecesB, const Outline& outline, Mesh2d& mesh) {
  if (mesh.flag.size() != mesh.nh || nPiecesB != 0) {
    mesh.flag.assign(static_cast<std::size_t>(mesh.nh), 0);
    for (int i = 1; i <= std::min(mesh.np, mesh.nh); ++i) mesh.flag(i) = 64;
  }
  if (mesh.nh == 0 || outline.n == 0) return;
  const PointGrid grid(mesh.xy, mesh.nh, std::sqrt(kOnPointTol2));
  for (int k = 1; k <= outline.n; ++k) {
    grid.Near(outline.pts(k), [&](int i) {
      if (Dist2(mesh.xy(i), outline.pts(k)) < kOnPointTol2) mesh.flag(i) = i <= mesh.np ? 65 : 1;
    });
  }
}

namespace {

// Elements around every corner node in compressed rows: the elements of
// node j are elems[start[j] .. start[j+1]-1].
struct CornerStars {
  std::vector<int> start;  // row starts, 0-based positions, entries 0..np+1
  std::vector<int> elems;  // element numbers, 1-based
};

CornerStars BuildStars(const Mesh2d& m) {
  CornerStars s;
  s.start.assign(static_cast<std::size_t>(m.np) + 2, 0);
  for (int e = 1; e <= m.ne; ++e)
    for (int k = 1; k <= 3; ++k) ++s.start[static_cast<std::size_t>(m.nop(k, e)) + 1];
  for (int i = 1; i <= m.np + 1; ++i) s.start[static_cast<std::size_t>(i)] += s.start[static_cast<std::size_t>(i - 1)];
  s.elems.resize(static_cast<std::size_t>(s.start.back()));
  std::vector<int> fill(s.start.begin(), s.start.end() - 1);
  for (int e = 1; e <= m.ne; ++e)
    for (int k = 1; k <= 3; ++k) s.elems[static_cast<std::size_t>(fill[static_cast<std::size_t>(m.nop(k, e))]++)] = e;
  return s;
}

// State of a group of elements: how many fold, then the worst quality.
// Lower fold counts win; on equal counts the higher worst quality wins.
struct GroupState {
  int folded = 0;        // elements whose Jacobian is not positive somewhere
  int stuck = 0;         // folded elements without a free (unmarked) corner
  double worst = 1e300;  // smallest element quality
  bool Better(const GroupState& o) const { return folded != o.folded ? folded < o.folded : worst > o.worst; }
  void Add(bool fold, double q, bool fixedCorners = false) {
    folded += fold ? 1 : 0;
    stuck += fold && fixedCorners ? 1 : 0;
    worst = std::min(worst, q);
  }
  // For a diagonal swap: fewer stuck folds first, then fewer folds, then the
  // better worst quality.
  bool BetterSwap(const GroupState& o) const { return stuck != o.stuck ? stuck < o.stuck : Better(o); }
};

// Quality of a curved element: the smallest of its curved shape, the shape
// of its corner triangle and the ratio of its shortest to its longest corner
// side (1 / Krit).  It folds when its Jacobian is not positive somewhere or
// its corner triangle is not counter-clockwise.
void ElementQuality(const std::array<Point2, 6>& p, bool& folded, double& q) {
  const double jmin = QuadJacobianMin(p);
  const double area2 = (p[1][0] - p[0][0]) * (p[2][1] - p[0][1]) - (p[1][1] - p[0][1]) * (p[2][0] - p[0][0]);
  const double a = Dist2(p[0], p[1]), b = Dist2(p[1], p[2]), c = Dist2(p[2], p[0]);
  const double ss = a + b + c;
  const double hi = std::max({a, b, c});
  folded = !(jmin > 0.0 && area2 > 0.0);
  if (!(ss > 0.0)) {
    q = 0.0;
    return;
  }
  const double shapeScale = 2.0 * std::sqrt(3.0) / ss;
  q = std::min({shapeScale * jmin, shapeScale * area2, std::sqrt(std::min({a, b, c}) / hi)});
}

// Geometry of the curved elements while unmarked corner nodes move: the node
// of an edge with an unmarked corner stands at the middle of the edge, the
// node of an edge between two marked corners keeps its place (an outline
// edge keeps its curve).
struct CurvedView {
  const Mesh2d& m;
  int col[3];  // columns of the nodes on edges 1-2, 2-3, 3-1

  CurvedView(const Mesh2d& mesh, bool finalColumns) : m(mesh) {
    col[0] = finalColumns ? 5 : 4;
    col[1] = finalColumns ? 6 : 5;
    col[2] = finalColumns ? 4 : 6;
  }

  // Node of the edge from corner a to corner b (both at pa, pb), `mid` its
  // node number.
  Point2 EdgeNode(int a, int b, int mid, const Point2& pa, const Point2& pb) const {
    if (m.mark(a) != 0 && m.mark(b) != 0) return m.xy(mid);
    return {0.5 * (pa[0] + pb[0]), 0.5 * (pa[1] + pb[1])};
  }
  // Nodes of element e (corners, then edges 1-2, 2-3, 3-1) with corner node
  // j (0: none) placed at pj.
  std::array<Point2, 6> Nodes(int e, int j, const Point2& pj) const {
    std::array<Point2, 6> p;
    int c[3];
    for (int k = 0; k < 3; ++k) {
      c[k] = m.nop(k + 1, e);
      p[static_cast<std::size_t>(k)] = c[k] == j ? pj : m.xy(c[k]);
    }
    for (int k = 0; k < 3; ++k) {
      const int b = (k + 1) % 3;
      p[static_cast<std::size_t>(3 + k)] =
          EdgeNode(c[k], c[b], m.nop(col[k], e), p[static_cast<std::size_t>(k)], p[static_cast<std::size_t>(b)]);
    }
    return p;
  }
  GroupState Element(int e) const {
    GroupState g;
    bool fold = false;
    double q = 0.0;
    ElementQuality(Nodes(e, 0, {0.0, 0.0}), fold, q);
    g.Add(fold, q, Fixed(m.nop(1, e), m.nop(2, e), m.nop(3, e)));
    return g;
  }
  // No corner of the three may move.
  bool Fixed(int a, int b, int c) const { return m.mark(a) != 0 && m.mark(b) != 0 && m.mark(c) != 0; }
  // State of the elements around corner node j placed at pj.
  GroupState Star(const CornerStars& s, int j, const Point2& pj) const {
    GroupState g;
    for (int q = s.start[static_cast<std::size_t>(j)]; q < s.start[static_cast<std::size_t>(j) + 1]; ++q) {
      bool fold = false;
      double qual = 0.0;
      ElementQuality(Nodes(s.elems[static_cast<std::size_t>(q)], j, pj), fold, qual);
      g.Add(fold, qual);
    }
    return g;
  }
};

// Quality below which UnfoldCorners relocates the corners of an element.
constexpr double kQualityTarget = 0.1;

// Moves corner node j to the place that best improves its elements (fewest
// folded, then the best worst quality): compass search from the better of
// its place and the mean of its neighbours.  Returns true when it moved.
bool RelocateCorner(Mesh2d& m, const CornerStars& s, const CurvedView& view, int j) {
  const int q0 = s.start[static_cast<std::size_t>(j)], q1 = s.start[static_cast<std::size_t>(j) + 1];
  if (q0 == q1) return false;
  Point2 mean = {0.0, 0.0};
  double scale = 0.0;
  for (int q = q0; q < q1; ++q) {
    const int e = s.elems[static_cast<std::size_t>(q)];
    for (int k = 1; k <= 3; ++k) {
      const int v = m.nop(k, e);
      if (v == j) continue;
      mean[0] += m.xy(v)[0];
      mean[1] += m.xy(v)[1];
      scale += std::sqrt(Dist2(m.xy(v), m.xy(j)));
    }
  }
  const double cnt = 2.0 * (q1 - q0);
  mean = {mean[0] / cnt, mean[1] / cnt};
  scale /= cnt;
  const GroupState start = view.Star(s, j, m.xy(j));
  Point2 best = m.xy(j);
  GroupState bestState = start;
  const GroupState atMean = view.Star(s, j, mean);
  if (atMean.Better(bestState)) {
    best = mean;
    bestState = atMean;
  }
  constexpr double kR = 0.7071067811865476;
  constexpr double kDir[8][2] = {{1, 0}, {kR, kR}, {0, 1}, {-kR, kR}, {-1, 0}, {-kR, -kR}, {0, -1}, {kR, -kR}};
  double step = 0.25 * scale;
  for (int it = 0; it < 200 && step > 1e-4 * scale; ++it) {
    Point2 cand = best;
    GroupState candState = bestState;
    for (const auto& d : kDir) {
      const Point2 p = {best[0] + step * d[0], best[1] + step * d[1]};
      const GroupState st = view.Star(s, j, p);
      if (st.Better(candState)) {
        cand = p;
        candState = st;
      }
    }
    if (candState.Better(bestState)) {
      best = cand;
      bestState = candState;
    } else {
      step *= 0.5;
    }
  }
  if (!bestState.Better(start)) return false;
  m.xy(j) = best;
  return true;
}

// Puts the node of every edge with an unmarked corner at the middle of the
// edge (the geometry CurvedView assumes).
void RecentreMidsideNodes(Mesh2d& m, const CurvedView& view) {
  for (int e = 1; e <= m.ne; ++e)
    for (int k = 0; k < 3; ++k) {
      const int a = m.nop(k + 1, e), b = m.nop((k + 1) % 3 + 1, e);
      if (m.mark(a) != 0 && m.mark(b) != 0) continue;
      m.xy(m.nop(view.col[k], e)) = {0.5 * (m.xy(a)[0] + m.xy(b)[0]), 0.5 * (m.xy(a)[1] + m.xy(b)[1])};
    }
}

// Element and local edge across every edge: nb[(e-1)*3 + k-1] for local
// edge k (corners k, k%3+1) of element e; {0, 0} on the boundary.
std::vector<std::array<int, 2>> EdgeNeighbours(const Mesh2d& m) {
  const std::vector<EdgeUse> refs = SortedEdges(m);
  std::vector<std::array<int, 2>> nb(static_cast<std::size_t>(3 * m.ne), {0, 0});
  for (std::size_t i = 0; i + 1 < refs.size(); ++i)
    if (refs[i].lo == refs[i + 1].lo && refs[i].hi == refs[i + 1].hi) {
      nb[static_cast<std::size_t>((refs[i].e - 1) * 3 + refs[i].k - 1)] = {refs[i + 1].e, refs[i + 1].k};
      nb[static_cast<std::size_t>((refs[i + 1].e - 1) * 3 + refs[i + 1].k - 1)] = {refs[i].e, refs[i].k};
    }
  return nb;
}

// Swapping the diagonal of the two elements that share local edge k of
// element e: e = (p, q, r) and its neighbour (q, p, s) become (r, p, s) and
// (s, q, r); the node of the old diagonal moves to the middle of the new one,
// the four outer edges keep their nodes.  Returns the state of the two new
// elements in `after` (and of the old in `before`); `apply` makes the swap.
bool SwapDiagonal(Mesh2d& m, const CurvedView& view, const std::vector<std::array<int, 2>>& nb, int e, int k,
                  GroupState& before, GroupState& after, bool apply) {
  const auto& other = nb[static_cast<std::size_t>((e - 1) * 3 + k - 1)];
  const int e2 = other[0], k2 = other[1];
  if (e2 == 0) return false;
  auto corner = [&](int el, int local) { return m.nop((local - 1) % 3 + 1, el); };
  auto edgeNode = [&](int el, int local) { return m.nop(view.col[(local - 1) % 3], el); };
  const int p = corner(e, k), q = corner(e, k + 1), r = corner(e, k + 2), s = corner(e2, k2 + 2);
  assert(corner(e2, k2) == q && corner(e2, k2 + 1) == p);
  const int mpq = edgeNode(e, k), mqr = edgeNode(e, k + 1), mrp = edgeNode(e, k + 2);
  const int mps = edgeNode(e2, k2 + 1), msq = edgeNode(e2, k2 + 2);
  before = view.Element(e);
  const GroupState b2 = view.Element(e2);
  before.folded += b2.folded;
  before.stuck += b2.stuck;
  before.worst = std::min(before.worst, b2.worst);
  const Point2 &P = m.xy(p), &Q = m.xy(q), &R = m.xy(r), &S = m.xy(s);
  const Point2 diag = {0.5 * (R[0] + S[0]), 0.5 * (R[1] + S[1])};
  after = GroupState{};
  bool fold = false;
  double qual = 0.0;
  ElementQuality({R, P, S, m.xy(mrp), m.xy(mps), diag}, fold, qual);
  after.Add(fold, qual, view.Fixed(r, p, s));
  ElementQuality({S, Q, R, m.xy(msq), m.xy(mqr), diag}, fold, qual);
  after.Add(fold, qual, view.Fixed(s, q, r));
  if (!apply) return true;
  const int ne1[6] = {r, p, s, mrp, mps, mpq}, ne2[6] = {s, q, r, msq, mqr, mpq};
  for (int c = 0; c < 3; ++c) {
    m.nop(c + 1, e) = ne1[c];
    m.nop(view.col[c], e) = ne1[3 + c];
    m.nop(c + 1, e2) = ne2[c];
    m.nop(view.col[c], e2) = ne2[3 + c];
  }
  m.xy(mpq) = diag;
  return true;
}

// Number of folded elements of the mesh.
int CountFolded(const Mesh2d& m, const CurvedView& view) {
  int folded = 0;
  for (int e = 1; e <= m.ne; ++e) folded += view.Element(e).folded;
  return folded;
}

// A free corner j of a folded element may lack room because an edge facing
// it closes its star (a chord between two outline nodes, say).  Tries the
// diagonal swap of every edge of j's elements that j does not touch,
// followed by the relocation of j, and keeps the first trial that leaves
// fewer than `folded` folded elements in the mesh.  Returns true when one
// was kept.
bool SwapAroundFreeCorners(Mesh2d& mesh, bool finalColumns, int folded) {
  const CurvedView view(mesh, finalColumns);
  const CornerStars stars = BuildStars(mesh);
  const std::vector<std::array<int, 2>> nb = EdgeNeighbours(mesh);
  for (int e = 1; e <= mesh.ne; ++e) {
    if (view.Element(e).folded == 0) continue;
    for (int c = 1; c <= 3; ++c) {
      const int j = mesh.nop(c, e);
      if (mesh.mark(j) != 0) continue;
      for (int q = stars.start[static_cast<std::size_t>(j)]; q < stars.start[static_cast<std::size_t>(j) + 1]; ++q) {
        const int e1 = stars.elems[static_cast<std::size_t>(q)];
        for (int k = 1; k <= 3; ++k) {
          if (mesh.nop(k, e1) == j || mesh.nop(k % 3 + 1, e1) == j) continue;
          Mesh2d trial = mesh;
          const CurvedView tview(trial, finalColumns);
          GroupState before, after;
          if (!SwapDiagonal(trial, tview, nb, e1, k, before, after, true)) continue;
          RelocateCorner(trial, BuildStars(trial), tview, j);
          RecentreMidsideNodes(trial, tview);
          if (CountFolded(trial, tview) < folded) {
            mesh = std::move(trial);
            return true;
          }
        }
      }
    }
  }
  return false;
}

}  // namespace

int UnfoldCorners(Mesh2d& mesh, bool finalColumns) {
  const int np = mesh.np;
  Require(np >= 0 && np <= mesh.nh && mesh.mark.size() == mesh.nh && mesh.xy.size() == mesh.nh,
          "UnfoldCorners: mesh needs marks and coordinates of its nh nodes, np=" + std::to_string(np));
  const CurvedView view(mesh, finalColumns);
  for (int round = 0; round < 6; ++round) {
    // Relocate the free corners of poor elements, sweep after sweep.
    const CornerStars stars = BuildStars(mesh);
    for (int sweep = 0; sweep < 8; ++sweep) {
      bool moved = false;
      for (int e = 1; e <= mesh.ne; ++e) {
        const GroupState st = view.Element(e);
        if (st.folded == 0 && st.worst >= kQualityTarget) continue;
        for (int k = 1; k <= 3; ++k) {
          const int j = mesh.nop(k, e);
          if (mesh.mark(j) == 0 && RelocateCorner(mesh, stars, view, j)) moved = true;
        }
      }
      if (!moved) break;
    }
    RecentreMidsideNodes(mesh, view);
    const int folded = CountFolded(mesh, view);
    if (folded == 0) break;
    // An element no corner move unfolds gets the diagonal swap with a
    // neighbour that helps most: fewer folded elements without a free
    // corner, else fewer folded elements; the next round relocates again.
    bool swapped = false;
    std::vector<std::array<int, 2>> nb = EdgeNeighbours(mesh);
    for (int e = 1; e <= mesh.ne; ++e) {
      if (view.Element(e).folded == 0) continue;
      int bestK = 0;
      GroupState bestAfter;
      for (int k = 1; k <= 3; ++k) {
        GroupState before, after;
        if (!SwapDiagonal(mesh, view, nb, e, k, before, after, false)) continue;
        const bool helps = after.stuck != before.stuck ? after.stuck < before.stuck : after.folded < before.folded;
        if (helps && (bestK == 0 || after.BetterSwap(bestAfter))) {
          bestK = k;
          bestAfter = after;
        }
      }
      if (bestK == 0) continue;
      GroupState before, after;
      SwapDiagonal(mesh, view, nb, e, bestK, before, after, true);
      nb = EdgeNeighbours(mesh);
      swapped = true;
    }
    if (!swapped) swapped = SwapAroundFreeCorners(mesh, finalColumns, folded);
    if (!swapped) break;
  }
  return CountFolded(mesh, view);
}

void SmoothMesh(Mesh2d& mesh) {
  const int np = mesh.np;
  Require(np >= 0 && np <= mesh.nh && mesh.mark.size() == mesh.nh && mesh.xy.size() == mesh.nh,
          "SmoothMesh: the mesh must be flagged first, np=" + std::to_string(np));
  const CornerStars stars = BuildStars(mesh);
  const CurvedView view(mesh, /*finalColumns=*/true);

  for (int pass = 1; pass <= 20; ++pass) {
    double largest = 0.0;
    for (int j = 1; j <= np; ++j) {
      if (mesh.mark(j) != 0) continue;
      const int s = stars.start[static_cast<std::size_t>(j)], t = stars.start[static_cast<std::size_t>(j) + 1];
      if (s == t) continue;
      Point2 p = {0.0, 0.0};
      for (int q = s; q < t; ++q) {
        const int e = stars.elems[static_cast<std::size_t>(q)];
        for (int k = 1; k <= 3; ++k) {
          const int v = mesh.nop(k, e);
          if (v == j) continue;
          p[0] += mesh.xy(v)[0];
          p[1] += mesh.xy(v)[1];
        }
      }
      p[0] /= 2.0 * (t - s);
      p[1] /= 2.0 * (t - s);
      // A move that would fold an element (its curved map included) is not
      // made; around a node whose elements fold already it must unfold some.
      const int after = view.Star(stars, j, p).folded;
      if (after > 0 && after >= view.Star(stars, j, mesh.xy(j)).folded) continue;
      largest = std::max(largest, std::sqrt(Dist2(p, mesh.xy(j))));
      mesh.xy(j) = p;
    }
    if (largest <= kSmoothConverged) break;
  }

  // Mid-side nodes back to the middle of their edges, outline edges excepted,
  // then corners of badly shaped or folded elements relocated.
  RecentreMidsideNodes(mesh, view);
  UnfoldCorners(mesh, /*finalColumns=*/true);
}

void MergeCount(const Mesh2d& a, const Mesh2d& b, Mesh2d& c) {
  const std::vector<int> partner = MergePartners(a, b);
  int sharedNodes = 0, sharedCorners = 0;
  for (int j = 1; j <= b.nh; ++j) {
    if (partner[static_cast<std::size_t>(j)] == 0) continue;
    ++sharedNodes;
    if (j <= b.np) ++sharedCorners;
  }
  c.ne = a.ne + b.ne;
  c.nh = a.nh + b.nh - sharedNodes;
  c.np = a.np + b.np - sharedCorners;
  c.npe = a.npe;
  c.nve = a.nve;
}

void MergeMeshes(const Mesh2d& a, const Mesh2d& b, Mesh2d& c) {
  Require(a.flag.size() == a.nh && b.flag.size() == b.nh && a.mark.size() == a.nh && b.mark.size() == b.nh,
          "MergeMeshes: both meshes must be flagged first");
  const std::vector<int> partner = MergePartners(a, b);
  int newCorners = 0, newMids = 0;
  for (int j = 1; j <= b.nh; ++j)
    if (partner[static_cast<std::size_t>(j)] == 0) ++(j <= b.np ? newCorners : newMids);
  const int np = a.np + newCorners;
  const int nh = a.nh + newCorners + newMids;
  Require(c.ne == a.ne + b.ne && c.nh == nh && c.np == np,
          "MergeMeshes: counts of the merged mesh differ from MergeCount, ne=" + std::to_string(c.ne) +
              " nh=" + std::to_string(c.nh) + " np=" + std::to_string(c.np));

  // Numbers in c of the nodes of a and of b.
  const int shift = np - a.np;
  auto numA = [&](int i) { return i <= a.np ? i : i + shift; };
  std::vector<int> numB(static_cast<std::size_t>(b.nh) + 1, 0);
  int nextCorner = a.np, nextMid = a.nh + shift;
  for (int j = 1; j <= b.nh; ++j) {
    const int p = partner[static_cast<std::size_t>(j)];
    if (p != 0) {
      numB[static_cast<std::size_t>(j)] = numA(p);
    } else if (j <= b.np) {
      numB[static_cast<std::size_t>(j)] = ++nextCorner;
    }
  }
  for (int j = b.np + 1; j <= b.nh; ++j)
    if (partner[static_cast<std::size_t>(j)] == 0) numB[static_cast<std::size_t>(j)] = ++nextMid;

  c.npe = a.npe;
  c.nve = a.nve;
  c.xy.assign(static_cast<std::size_t>(nh));
  c.flag.assign(static_cast<std::size_t>(nh), 0);
  c.mark.assign(static_cast<std::size_t>(nh), 0);
  c.nop.assign(6, c.ne, 0);
  for (int i = 1; i <= a.nh; ++i) {
    c.xy(numA(i)) = a.xy(i);
    c.flag(numA(i)) = a.flag(i);
  }
  for (int j = 1; j <= b.nh; ++j) {
    const int p = partner[static_cast<std::size_t>(j)];
    if (p == 0) {
      c.xy(numB[static_cast<std::size_t>(j)]) = b.xy(j);
      c.flag(numB[static_cast<std::size_t>(j)]) = b.flag(j);
    } else if (a.mark(p) == -1 || b.mark(j) == -1) {
      c.flag(numA(p)) = p <= a.np ? 64 : 0;  // interface node: inside the merged mesh
    }
  }
  // The first two shared boundary nodes (a order, then b order) are where the
  // interface meets the outer boundary.
  std::vector<std::pair<int, int>> pairs;
  for (int j = 1; j <= b.nh; ++j)
    if (partner[static_cast<std::size_t>(j)] != 0) pairs.emplace_back(partner[static_cast<std::size_t>(j)], j);
  std::sort(pairs.begin(), pairs.end());
  int raised = 0;
  for (const auto& [i, j] : pairs) {
    if (raised == 2) break;
    if (a.mark(i) == -1 || b.mark(j) == -1) continue;
    c.flag(numA(i)) = i <= a.np ? 65 : 1;
    ++raised;
  }

  for (int e = 1; e <= a.ne; ++e)
    for (int k = 1; k <= 6; ++k) c.nop(k, e) = numA(a.nop(k, e));
  for (int e = 1; e <= b.ne; ++e)
    for (int k = 1; k <= 6; ++k) c.nop(k, a.ne + e) = numB[static_cast<std::size_t>(b.nop(k, e))];
}
