#include "mesh2d/wall_size.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <numeric>

#include "mesh2d/corner_graph.h"
#include "mesh2d/geometry2d.h"
#include "mesh2d/resample.h"

namespace {

// Samples over the whole profile boundary (spacing = boundary length / this).
constexpr double kSamplesPerBoundary = 1200.0;
// Two normals face each other when their dot product is below this (more
// than 120 degrees apart).
constexpr double kOpposite = -0.5;
// Shares of the capacities the estimates may take: points of the profile
// outline, nodes of a profile block (the halves of a hollow profile are not
// equal).
constexpr double kOutlineShare = 0.6;
constexpr double kBlockShare = 0.7;
// Nodes of a 6-node triangle mesh per element, and the area of an element
// of size h per h^2 (equilateral triangle).
constexpr double kNodesPerElement = 2.3;
constexpr double kElementArea = 0.433;

double Length(const Point2& a, const Point2& b) { return std::sqrt(Dist2(a, b)); }

// Appends the samples of one closed outline; `side` +1 takes the normal to
// the right of the clockwise run (material inside), -1 to the left.
void SampleOutline(const Outline& src, int id, int side, double spacing, std::vector<WallSample>& out) {
  Outline o = src;
  OrientOutline(1, o);
  const int n = 2 * o.nSeg;
  for (int j = 1; j <= o.nSeg; ++j) {
    const Point2& a = o.pts(2 * j - 1);
    const Point2& b = o.pts(2 * j);
    const Point2& c = o.pts(2 * j + 1 <= n ? 2 * j + 1 : 1);
    const double len = Length(a, b) + Length(b, c);
    const int m = std::max(4, static_cast<int>(std::ceil(len / spacing)));
    for (int k = 0; k < m; ++k) {
      const double t = -1.0 + 2.0 * (k + 0.5) / m;
      // X'(t) of the quadratic through a (t=-1), b (t=0), c (t=1).
      const double dx = (t - 0.5) * a[0] - 2.0 * t * b[0] + (t + 0.5) * c[0];
      const double dy = (t - 0.5) * a[1] - 2.0 * t * b[1] + (t + 0.5) * c[1];
      const double sp = std::hypot(dx, dy);
      if (sp <= 0.0) continue;
      WallSample s;
      s.p = QuadPoint(a, b, c, t);
      s.n = {side * dy / sp, -side * dx / sp};
      s.q = s.p;
      s.ds = sp * 2.0 / m;
      s.outline = id;
      out.push_back(s);
    }
  }
}

}  // namespace

void WallSamples(const Outline& outer, const Outline* hole, std::vector<WallSample>& samples) {
  samples.clear();
  auto perimeter = [](const Outline& o) {
    double L = 0.0;
    for (int i = 1; i <= o.n; ++i) L += Length(o.pts(i), o.pts(i == o.n ? 1 : i + 1));
    return L;
  };
  const double total = perimeter(outer) + (hole ? perimeter(*hole) : 0.0);
  if (outer.nSeg < 2 || total <= 0.0) return;
  const double spacing = total / kSamplesPerBoundary;
  SampleOutline(outer, 1, 1, spacing, samples);
  if (hole && hole->nSeg >= 2) SampleOutline(*hole, 2, -1, spacing, samples);

  // Nearest opposite point: in front of the sample, facing back towards it.
  for (WallSample& s : samples) {
    double best = std::numeric_limits<double>::infinity();
    for (const WallSample& r : samples) {
      if (s.n[0] * r.n[0] + s.n[1] * r.n[1] >= kOpposite) continue;
      const double vx = r.p[0] - s.p[0], vy = r.p[1] - s.p[1];
      if (vx * s.n[0] + vy * s.n[1] <= 0.0 || vx * r.n[0] + vy * r.n[1] >= 0.0) continue;
      const double d2 = vx * vx + vy * vy;
      if (d2 < best) {
        best = d2;
        s.q = r.p;
      }
    }
    s.t = std::isfinite(best) ? std::sqrt(best) : 0.0;
  }
}

int WallElementsAcross(int meshLevel) {
  if (meshLevel >= 1 && meshLevel <= 5) return std::max(2, meshLevel);
  return 6;
}

void BuildWallBound(const std::vector<WallSample>& samples, int across, int blocks, WallBound& bound) {
  bound = WallBound{};
  std::vector<std::size_t> use;
  for (std::size_t i = 0; i < samples.size(); ++i)
    if (samples[i].t > 0.0) use.push_back(i);
  if (use.empty() || across < 1) return;

  // Estimates at scale 1: the points of each profile outline, and the nodes
  // of the profile region (its wall area, half the thickness on either side
  // of each sample, over the element area, 2.3 nodes per element); both
  // shrink with the enlargement c, the points as 1/c, the nodes as 1/c^2.
  double pts[3] = {0.0, 0.0, 0.0}, nodes = 0.0;
  for (const std::size_t i : use) {
    const WallSample& s = samples[i];
    const double h = s.t / across;
    pts[s.outline] += 2.0 * s.ds / h;
    nodes += kNodesPerElement * 0.5 * s.ds * s.t / (kElementArea * h * h);
  }
  bound.scale = std::max({1.0, std::max(pts[1], pts[2]) / (kOutlineShare * kMaxOutlinePoints),
                          std::sqrt(nodes / (kBlockShare * kMaxBlockNodes * std::max(blocks, 1)))});

  std::sort(use.begin(), use.end(), [&](std::size_t a, std::size_t b) { return samples[a].t < samples[b].t; });
  for (const std::size_t i : use) {
    bound.p.push_back(samples[i].p);
    bound.h.push_back(bound.scale * samples[i].t / across);
    // Half the thickness between the faces, |q - p|, not t: where t was
    // lowered to ask for more elements across, the constant part must still
    // reach the middle of the wall, else the bound grows towards the middle
    // and the rows from the two faces do not fit between them.
    bound.r.push_back(0.5 * Length(samples[i].p, samples[i].q));
  }
}

double WallSize(const WallBound& bound, const Point2& p) {
  double best = std::numeric_limits<double>::max();
  for (std::size_t i = 0; i < bound.p.size(); ++i) {
    if (bound.h[i] >= best) break;  // sorted: no later sample can do better
    best = std::min(best, bound.h[i] + bound.grade * std::max(0.0, Length(p, bound.p[i]) - bound.r[i]));
  }
  return best;
}

WallLayers FewestWallLayers(const Mesh2d& m, const std::vector<WallSample>& samples) {
  WallLayers res;
  if (m.ne < 1 || m.np < 3 || samples.empty() || m.flag.size() < m.np) return res;
  const int np = m.np;
  const NodeGraph g = BuildGraph(m, np);
  double spacing = 0.0;
  for (const WallSample& s : samples) spacing = std::max(spacing, s.ds);
  std::vector<int> depth(static_cast<std::size_t>(np) + 1, -1);
  std::deque<int> queue;
  std::vector<int> seen;
  // The sample nearest to each boundary corner node stands for its wall.
  std::vector<const WallSample*> near(static_cast<std::size_t>(np) + 1, nullptr);
  for (int i = 1; i <= np; ++i) {
    if (m.flag(i) != 65) continue;
    double d2 = std::numeric_limits<double>::max();
    for (const WallSample& r : samples) {
      const double e = Dist2(r.p, m.xy(i));
      if (e < d2) d2 = e, near[static_cast<std::size_t>(i)] = &r;
    }
    const WallSample* s = near[static_cast<std::size_t>(i)];
    if (d2 > 4.0 * spacing * spacing + 1e-4 * s->t * s->t) near[static_cast<std::size_t>(i)] = nullptr;
  }
  for (int i = 1; i <= np; ++i) {
    const WallSample* s = near[static_cast<std::size_t>(i)];
    if (s == nullptr || s->t <= 0.0) continue;
    const Point2& P = m.xy(i);
    // A node on the opposite side: its boundary faces this one, it lies
    // across the wall and near the opposite point.
    auto opposite = [&](int k) {
      const WallSample* b = near[static_cast<std::size_t>(k)];
      if (b == nullptr || b->n[0] * s->n[0] + b->n[1] * s->n[1] >= kOpposite) return false;
      const Point2& B = m.xy(k);
      const double along = (B[0] - P[0]) * s->n[0] + (B[1] - P[1]) * s->n[1];
      return along >= 0.5 * s->t && Dist2(B, s->q) <= 2.25 * s->t * s->t;
    };
    // Breadth-first search over corner edges up to the opposite side.
    for (int k : seen) depth[static_cast<std::size_t>(k)] = -1;
    seen.assign(1, i);
    queue.assign(1, i);
    depth[static_cast<std::size_t>(i)] = 0;
    int hops = 0;
    while (!queue.empty() && hops == 0) {
      const int k = queue.front();
      queue.pop_front();
      for (const int* q = g.begin(k); q != g.end(k); ++q) {
        if (depth[static_cast<std::size_t>(*q)] >= 0) continue;
        depth[static_cast<std::size_t>(*q)] = depth[static_cast<std::size_t>(k)] + 1;
        seen.push_back(*q);
        if (opposite(*q)) {
          hops = depth[static_cast<std::size_t>(*q)];
          break;
        }
        queue.push_back(*q);
      }
    }
    if (hops == 0) continue;
    if (res.layers == 0 || hops < res.layers || (hops == res.layers && s->t < res.thickness)) {
      res.layers = hops;
      res.where = P;
      res.thickness = s->t;
    }
  }
  return res;
}
