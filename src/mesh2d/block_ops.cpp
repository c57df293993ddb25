#include "mesh2d/block_ops.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/fatal.h"

namespace {

double Dist2(const Point2& p, const Point2& q) {
  const double dx = p[0] - q[0];
  const double dy = p[1] - q[1];
  return dx * dx + dy * dy;
}

double Cross(const Point2& o, const Point2& a, const Point2& b) {
  return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
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

void SmoothMesh(Mesh2d& mesh) {
  const int np = mesh.np;
  Require(np >= 0 && np <= mesh.nh && mesh.mark.size() == mesh.nh && mesh.xy.size() == mesh.nh,
          "SmoothMesh: the mesh must be flagged first, np=" + std::to_string(np));
  // Elements around every corner node, compressed rows.
  std::vector<int> start(static_cast<std::size_t>(np) + 2, 0);
  for (int e = 1; e <= mesh.ne; ++e)
    for (int k = 1; k <= 3; ++k) ++start[static_cast<std::size_t>(mesh.nop(k, e)) + 1];
  for (int i = 1; i <= np + 1; ++i) start[static_cast<std::size_t>(i)] += start[static_cast<std::size_t>(i - 1)];
  std::vector<int> elems(static_cast<std::size_t>(start.back()));
  std::vector<int> fill(start.begin(), start.end() - 1);
  for (int e = 1; e <= mesh.ne; ++e)
    for (int k = 1; k <= 3; ++k) elems[static_cast<std::size_t>(fill[static_cast<std::size_t>(mesh.nop(k, e))]++)] = e;

  auto cornerArea = [&](int e, int j, const Point2& pj) {
    const Point2& p1 = mesh.nop(1, e) == j ? pj : mesh.xy(mesh.nop(1, e));
    const Point2& p2 = mesh.nop(2, e) == j ? pj : mesh.xy(mesh.nop(2, e));
    const Point2& p3 = mesh.nop(3, e) == j ? pj : mesh.xy(mesh.nop(3, e));
    return Cross(p1, p2, p3);
  };

  for (int pass = 1; pass <= 20; ++pass) {
    double largest = 0.0;
    for (int j = 1; j <= np; ++j) {
      if (mesh.mark(j) != 0) continue;
      const int s = start[static_cast<std::size_t>(j)], t = start[static_cast<std::size_t>(j) + 1];
      if (s == t) continue;
      Point2 p = {0.0, 0.0};
      for (int q = s; q < t; ++q) {
        const int e = elems[static_cast<std::size_t>(q)];
        for (int k = 1; k <= 3; ++k) {
          const int v = mesh.nop(k, e);
          if (v == j) continue;
          p[0] += mesh.xy(v)[0];
          p[1] += mesh.xy(v)[1];
        }
      }
      p[0] /= 2.0 * (t - s);
      p[1] /= 2.0 * (t - s);
      // A move that would fold an element over is not made.
      bool ok = true;
      for (int q = s; q < t && ok; ++q) ok = cornerArea(elems[static_cast<std::size_t>(q)], j, p) > 0.0;
      if (!ok) continue;
      largest = std::max(largest, std::sqrt(Dist2(p, mesh.xy(j))));
      mesh.xy(j) = p;
    }
    if (largest <= kSmoothConverged) break;
  }

  // Mid-side nodes back to the middle of their edges, outline edges excepted.
  constexpr int kEdge[3][3] = {{4, 3, 1}, {5, 1, 2}, {6, 2, 3}};
  for (int e = 1; e <= mesh.ne; ++e)
    for (const auto& ed : kEdge) {
      const int a = mesh.nop(ed[1], e), b = mesh.nop(ed[2], e);
      if (mesh.mark(a) != 0 && mesh.mark(b) != 0) continue;
      mesh.xy(mesh.nop(ed[0], e)) = {0.5 * (mesh.xy(a)[0] + mesh.xy(b)[0]), 0.5 * (mesh.xy(a)[1] + mesh.xy(b)[1])};
    }
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
