#include "mesh2d/run_gr_2d.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <string>

#include "core/fatal.h"
#include "mesh2d/block_mesh.h"
#include "mesh2d/block_ops.h"
#include "mesh2d/geometry2d.h"
#include "mesh2d/measures.h"
#include "mesh2d/mirror_section.h"
#include "mesh2d/outline_file.h"
#include "mesh2d/resample.h"
#include "mesh2d/ring_split.h"
#include "mesh2d/section_file.h"

namespace {
// Room of a block generated under a wall bound, in block capacities.
constexpr int kWallRoom = 8;
}  // namespace

void DivisionCounts(int meshLevel, int& S, int& R) {
  static constexpr int kS[5] = {16, 18, 20, 22, 28};
  static constexpr int kR[5] = {8, 12, 12, 12, 12};
  if (meshLevel >= 1 && meshLevel <= 5) {
    S = kS[meshLevel - 1];
    R = kR[meshLevel - 1];
  } else {
    S = 32;
    R = 12;
  }
}

namespace {

// Block mesh of `outline` under the capacity of a block.  Under a wall bound
// the block is generated with room to spare; a block beyond the capacity is
// generated again with the bound's sizes enlarged by the excess (plus 10 %):
// the node count near a finely divided outline follows its point spacing
// more than the bound, so it falls more slowly than the square of the
// enlargement.  Returns the last attempt's excess over the capacity (the
// larger ratio of nodes and elements to theirs; at most 1 when it fits).
double BlockWithin(const Outline& outline, int c1, int c2, Mesh2d& mesh, const WallBound* wall, double images) {
  const bool bounded = wall != nullptr && !wall->Empty();
  WallBound coarser;
  for (int attempt = 1;; ++attempt) {
    BlockWork work;
    BuildBlock(outline, c1, c2, work, bounded ? kWallRoom * kMaxBlockNodes : kMaxBlockNodes, wall, images);
    mesh = std::move(work.blockMesh);
    const double excess = std::max(static_cast<double>(mesh.nh) / kMaxBlockNodes,
                                   static_cast<double>(mesh.ne) / kMaxBlockElems);
    if (excess <= 1.0 || !bounded || attempt == 6) return excess;
    coarser = *wall;
    const double grow = 1.1 * excess;
    for (double& h : coarser.h) h *= grow;
    coarser.scale *= grow;
    wall = &coarser;
  }
}

// Quality, flags and smoothing of a block mesh made by BlockWithin.
double FinishBlock(Outline& outline, bool keepMarks, Mesh2d& mesh) {
  const double krit = MeshKrit(mesh);
  if (!keepMarks)
    for (int i = 1; i <= outline.n; ++i) outline.mark(i) = -1;
  FlagMesh(mesh, outline);
  SmoothMesh(mesh);
  return krit;
}

}  // namespace

double MeshOutline(Outline& outline, int c1, int c2, Mesh2d& mesh, bool keepMarks, const WallBound* wall,
                   double images) {
  Require(BlockWithin(outline, c1, c2, mesh, wall, images) <= 1.0,
          "MeshOutline: a block of " + std::to_string(outline.nSeg) + " outline segments needs " +
              std::to_string(mesh.nh) + " nodes, more than the capacity of " + std::to_string(kMaxBlockNodes));
  return FinishBlock(outline, keepMarks, mesh);
}

void Merge(const Mesh2d& a, const Mesh2d& b, Mesh2d& c) {
  Mesh2d out;
  MergeCount(a, b, out);
  MergeMeshes(a, b, out);
  c = std::move(out);
}

void FlagBoundaryEdges(Mesh2d& m) {
  // Each edge is keyed by its corner pair; its mid-side node is the one in
  // the matching column (4: edge 3-1, 5: edge 1-2, 6: edge 2-3).
  std::map<std::pair<int, int>, std::pair<int, int>> uses;  // corners -> (count, mid-side node)
  static constexpr int kEdge[3][3] = {{3, 1, 4}, {1, 2, 5}, {2, 3, 6}};
  for (int e = 1; e <= m.ne; ++e)
    for (const auto& ed : kEdge) {
      const int p = std::abs(m.nop(ed[0], e)), q = std::abs(m.nop(ed[1], e));
      auto& u = uses[{std::min(p, q), std::max(p, q)}];
      ++u.first;
      u.second = std::abs(m.nop(ed[2], e));
    }
  m.flag.assign(static_cast<std::size_t>(m.nh), 0);
  for (int i = 1; i <= m.nh; ++i) m.flag(i) = i <= m.np ? 64 : 0;
  for (const auto& [key, u] : uses)
    if (u.first == 1) {
      m.flag(key.first) = 65;
      m.flag(key.second) = 65;
      m.flag(u.second) = 1;
    }
}

namespace {

// Slot outline in double precision, as read from the file.
Outline ToOutline(const RawOutline& raw) {
  std::vector<Point2> pts(raw.x.size());
  for (std::size_t i = 0; i < pts.size(); ++i) pts[i] = {raw.x[i], raw.y[i]};
  return OutlineFromPoints(pts);
}

Outline Resampled(const Outline& source, int mode, int c, const WallBound* wall, double images = 1.0) {
  Outline in = source, out;
  DivSpec spec;
  spec.c1 = c;
  spec.c2 = c;
  spec.images = images;
  ResampleOutline(mode, in, out, spec, wall);
  out.mark.assign(static_cast<std::size_t>(out.n), -1);
  return out;
}

void SplitAcross(const Outline& o, int outerArcPoints, Outline& half1, Outline& half2);

// One half of the ring inside `outer` (made by SplitRing) as one block with
// the pair (c, c).  When the enlarged wall bound cannot bring it within the
// capacity of a block (its node count then follows the point spacing of a
// finely divided profile outline, which is fixed by now), the half is cut
// once more across, from the middle of its inner arc to the nearest point
// of its outer arc, and meshed as two blocks with the half's base size.
// Returns the quality Krit (the worse of the two blocks).
double MeshRingHalf(Outline& half, const Outline& outer, int c, Mesh2d& mesh, const WallBound* wall) {
  if (BlockWithin(half, c, c, mesh, wall, 1.0) <= 1.0) return FinishBlock(half, /*keepMarks=*/true, mesh);
  // The outer arc is the one run of points of `outer`; the half is turned
  // to start with it, as the cut across expects.
  std::vector<char> onOuter(static_cast<std::size_t>(half.n) + 1, 0);
  for (int i = 1; i <= half.n; ++i)
    for (int j = 1; j <= outer.n && !onOuter[static_cast<std::size_t>(i)]; ++j)
      onOuter[static_cast<std::size_t>(i)] = Dist2(half.pts(i), outer.pts(j)) <= 1e-18;
  int start = 0, run = 0;
  for (int i = 1; i <= half.n && start == 0; ++i)
    if (onOuter[static_cast<std::size_t>(i)] && !onOuter[static_cast<std::size_t>(i > 1 ? i - 1 : half.n)]) start = i;
  for (int i = start; start != 0 && run < half.n && onOuter[static_cast<std::size_t>(i)]; i = i % half.n + 1) ++run;
  Require(start % 2 == 1 && run >= 3,
          "MeshRingHalf: a ring half of " + std::to_string(half.nSeg) + " outline segments needs " +
              std::to_string(mesh.nh) + " nodes, more than the capacity of " + std::to_string(kMaxBlockNodes) +
              ", and its outer arc (start " + std::to_string(start) + ", " + std::to_string(run) +
              " points) allows no cut across");
  Outline turned = half;
  for (int k = 1; k <= half.n; ++k) {
    const int from = (start + k - 2) % half.n + 1;
    turned.pts(k) = half.pts(from);
    turned.mark(k) = half.mark(from);
  }
  Outline part1, part2;
  SplitAcross(turned, run, part1, part2);
  OrientOutline(1, part1);
  OrientOutline(1, part2);
  const double area = std::fabs(OutlineSignedArea2(half));
  Mesh2d a, b;
  const double k1 = MeshOutline(part1, c, c, a, /*keepMarks=*/true, wall, area / std::fabs(OutlineSignedArea2(part1)));
  const double k2 = MeshOutline(part2, c, c, b, /*keepMarks=*/true, wall, area / std::fabs(OutlineSignedArea2(part2)));
  Merge(a, b, mesh);
  return std::max(k1, k2);
}

// Ring between `inner` and `outer` meshed as two halves with the pairs
// (c1, c1) and (c2, c2): returns the two half meshes and their qualities.
void MeshRingHalves(const Outline& inner, const Outline& outer, int c1, int c2, Mesh2d& h1, Mesh2d& h2, double& k1,
                    double& k2, const WallBound* wall) {
  Outline half1, half2;
  SplitRing(inner, outer, half1, half2);
  k1 = MeshRingHalf(half1, outer, c1, h1, wall);
  k2 = MeshRingHalf(half2, outer, c2, h2, wall);
}

// Last step before a mesh is written: flags from the topological boundary
// (cut lines and interfaces inside merged meshes become interior), area and
// quality.
void FinishWritten(Mesh2d& m) {
  FlagBoundaryEdges(m);
  m.area = MeshArea(m);
  m.Krit = MeshKrit(m);
}

// Appends the straight piece from a to b as whole segments of about the
// size h (start and middle points; b itself is not appended).
void AppendStraight(std::vector<Point2>& pts, const Point2& a, const Point2& b, double h) {
  const double len = std::hypot(b[0] - a[0], b[1] - a[1]);
  const int n = std::max(1, static_cast<int>(std::lround(len / std::max(h, 1e-9))));
  for (int k = 0; k < 2 * n; ++k) {
    const double t = static_cast<double>(k) / (2 * n);
    pts.push_back({a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1])});
  }
}

double SegmentLength(const Outline& o, int i) {
  const Point2& a = o.pts(i);
  const Point2& b = o.pts(i + 2 <= o.n ? i + 2 : 1);
  return std::hypot(b[0] - a[0], b[1] - a[1]);
}

// Whether the straight cut between points i and j of the closed polygon
// through the points of o runs inside it: it meets no side of the polygon
// but at its ends, and it leaves each end into the polygon's interior angle
// there at least `margin` radians away from both sides.
bool CutInside(const Outline& o, int i, int j, double margin) {
  constexpr double kTwoPi = 2.0 * 3.14159265358979323846;
  double area2 = 0.0;
  for (int k = 1; k <= o.n; ++k) {
    const Point2 &a = o.pts(k), &b = o.pts(k % o.n + 1);
    area2 += a[0] * b[1] - b[0] * a[1];
  }
  auto angle = [](const Point2& from, const Point2& to) { return std::atan2(to[1] - from[1], to[0] - from[0]); };
  auto wrap = [&](double a) { return a - kTwoPi * std::floor(a / kTwoPi); };
  // The interior lies left of the sides when the polygon runs
  // counter-clockwise: its angle at p turns counter-clockwise from the
  // side to the next point over to the side to the previous point.
  for (const auto& [p, q] : {std::pair{i, j}, std::pair{j, i}}) {
    const int prev = p > 1 ? p - 1 : o.n, next = p % o.n + 1;
    const int from = area2 > 0.0 ? next : prev, to = area2 > 0.0 ? prev : next;
    const double base = angle(o.pts(p), o.pts(from));
    const double wedge = wrap(angle(o.pts(p), o.pts(to)) - base), cut = wrap(angle(o.pts(p), o.pts(q)) - base);
    if (!(cut > margin && cut < wedge - margin)) return false;
  }
  const Point2 &a = o.pts(i), &b = o.pts(j);
  const double len = std::sqrt(Dist2(a, b)), tol = 1e-9 * len * len;
  for (int k = 1; k <= o.n; ++k) {
    const int l = k % o.n + 1;
    const Point2 &c = o.pts(k), &d = o.pts(l);
    // A point of the polygon on the cut, or a side crossing it.
    if (k != i && k != j && std::fabs(Cross(a, b, c)) <= tol &&
        (c[0] - a[0]) * (b[0] - a[0]) + (c[1] - a[1]) * (b[1] - a[1]) >= 0.0 &&
        (c[0] - b[0]) * (a[0] - b[0]) + (c[1] - b[1]) * (a[1] - b[1]) >= 0.0)
      return false;
    if (k == i || k == j || l == i || l == j) continue;
    const double d1 = Cross(a, b, c), d2 = Cross(a, b, d), d3 = Cross(c, d, a), d4 = Cross(c, d, b);
    if (((d1 > 0.0 && d2 < 0.0) || (d1 < 0.0 && d2 > 0.0)) && ((d3 > 0.0 && d4 < 0.0) || (d3 < 0.0 && d4 > 0.0)))
      return false;
  }
  return true;
}

// Cuts a closed outline along a straight line from the middle point of its
// inner arc (the run of points with mark 0) to the nearest segment end point
// among its first `outerArcPoints` points (the outer arc).  Both halves keep
// whole segments; the cut points carry mark -1.  Where that line leaves the
// region (an inner arc with a re-entrant part, the flange of a tee whose
// underside holds the middle point), the cut is the shortest one that runs
// inside the region at least 30 degrees from its sides, from an end point
// of the middle half of the inner arc (of the whole arc, with 10 degrees,
// when the middle half has none).
void SplitAcross(const Outline& o, int outerArcPoints, Outline& half1, Outline& half2) {
  std::vector<int> innerEnds;
  for (int i = 1; i <= o.n; i += 2)
    if (o.mark(i) == 0) innerEnds.push_back(i);
  Require(!innerEnds.empty() && outerArcPoints >= 3, "SplitAcross: the region has no inner or outer arc");
  int i = innerEnds[innerEnds.size() / 2];
  int j = 1;
  double best = 1e300;
  for (int k = 3; k < outerArcPoints; k += 2) {  // interior end points of the outer arc
    const double dist = std::hypot(o.pts(k)[0] - o.pts(i)[0], o.pts(k)[1] - o.pts(i)[1]);
    if (dist < best) best = dist, j = k;
  }
  if (j == 1 || !CutInside(o, i, j, 0.0)) {
    const std::size_t nI = innerEnds.size();
    constexpr double kDeg = 3.14159265358979323846 / 180.0;
    const struct {
      std::size_t lo, hi;
      double margin;
    } tries[2] = {{nI / 4, nI - nI / 4, 30.0 * kDeg}, {0, nI, 10.0 * kDeg}};
    best = 1e300;
    j = 1;
    for (const auto& t : tries) {
      for (std::size_t a = t.lo; a < std::max(t.hi, t.lo + 1) && a < nI; ++a)
        for (int k = 3; k < outerArcPoints; k += 2) {
          const int p = innerEnds[a];
          const double dist = std::sqrt(Dist2(o.pts(k), o.pts(p)));
          if (dist < best && CutInside(o, p, k, t.margin)) best = dist, i = p, j = k;
        }
      if (j != 1) break;
    }
    Require(j != 1, "SplitAcross: no straight cut from the inner to the outer arc of " +
                        std::to_string(o.n) + " points runs inside the region");
  }
  const double h = 0.5 * (SegmentLength(o, i) + SegmentLength(o, j));
  int c = 2 * std::max(1, static_cast<int>(std::lround(best / std::max(h, 1e-9)))) - 1;  // odd interior count
  c = std::min(c, 23);
  auto build = [&](int from, int to, Outline& half) {
    std::vector<Point2> pts;
    std::vector<int32_t> marks;
    for (int k = from;; k = k % o.n + 1) {
      pts.push_back(o.pts(k));
      marks.push_back(o.mark(k));
      if (k == to) break;
    }
    const Point2 a = o.pts(to), b = o.pts(from);
    for (int k = 1; k <= c; ++k) {
      const double t = static_cast<double>(k) / (c + 1);
      pts.push_back({a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1])});
      marks.push_back(-1);
    }
    Require(pts.size() % 2 == 0 && static_cast<int>(pts.size()) <= kMaxOutlinePoints,
            "SplitAcross: a half of " + std::to_string(pts.size()) + " points cannot be meshed");
    half = OutlineFromPoints(pts);
    half.mark.v = std::move(marks);
  };
  build(j, i, half1);
  build(i, j, half2);
}

// Region between two outlines that both lie against the symmetry axes (a
// half or quarter model): the free arc of the outer outline from Q2 to P2,
// the axis from P2 to P1, the free arc of the inner outline backwards from
// P1 to Q1, and the axis from Q1 to Q2.  Points of the inner arc get mark 0
// (the interface with the profile mesh), all others -1.  Returns false when
// the two outlines do not form such a region.
bool SymmetricRingOutline(const Outline& inner, const Outline& outer, Outline& region, int& outerArcPoints) {
  int P1 = 0, Q1 = 0, P2 = 0, Q2 = 0;
  if (!AxisRun(inner, P1, Q1) || !AxisRun(outer, P2, Q2)) return false;
  std::vector<Point2> pts;
  std::vector<int32_t> marks;
  auto add = [&](const Point2& p, int mark) {
    pts.push_back(p);
    marks.push_back(mark);
  };
  for (int i = Q2; i != P2; i = i % outer.n + 1) add(outer.pts(i), -1);
  outerArcPoints = static_cast<int>(pts.size());
  AppendStraight(pts, outer.pts(P2), inner.pts(P1), 0.5 * (SegmentLength(outer, P2 > 2 ? P2 - 2 : outer.n - 1) + SegmentLength(inner, P1)));
  marks.resize(pts.size(), -1);
  // Inner arc backwards: P1, P1-1, ..., Q1 + 1 (the point Q1 closes the arc).
  for (int i = P1; i != Q1; i = i > 1 ? i - 1 : inner.n) add(inner.pts(i), 0);
  const std::size_t q1 = pts.size();  // the straight piece starts with Q1, an inner-arc point
  AppendStraight(pts, inner.pts(Q1), outer.pts(Q2), 0.5 * (SegmentLength(inner, Q1 > 2 ? Q1 - 2 : inner.n - 1) + SegmentLength(outer, Q2)));
  marks.resize(pts.size(), -1);
  marks[q1] = 0;
  if (pts.size() % 2 != 0 || static_cast<int>(pts.size()) > kMaxOutlinePoints) return false;
  region = OutlineFromPoints(pts);
  region.mark.v = std::move(marks);
  return true;
}

// Mesh of the region between two outlines that both lie against a symmetry
// axis.  The region is cut once more, from the middle of the inner arc to
// the nearest point of the outer arc, so that each half is only mildly
// concave, like the halves of a full ring; the two halves are merged.
void MeshSymmetricBetween(const Outline& inner, const Outline& outer, int c, const std::string& file, Mesh2d& part,
                          const WallBound* wall, double images = 1.0) {
  Outline between;
  int outerArcPoints = 0;
  Require(SymmetricRingOutline(inner, outer, between, outerArcPoints),
          file + ": two nested outlines lie against a symmetry axis but do not bound one region between them");
  const double want = 0.5 * (std::fabs(OutlineSignedArea2(outer)) - std::fabs(OutlineSignedArea2(inner)));
  Require(std::fabs(0.5 * std::fabs(OutlineSignedArea2(between)) - want) <= 0.01 * want,
          file + ": the region between two nested outlines of the symmetric model is not closed along the axis");
  Outline half1, half2;
  SplitAcross(between, outerArcPoints, half1, half2);
  OrientOutline(1, half1);
  OrientOutline(1, half2);
  Mesh2d a, b;
  MeshOutline(half1, c, c, a, /*keepMarks=*/true, wall, images);
  MeshOutline(half2, c, c, b, /*keepMarks=*/true, wall, images);
  Merge(a, b, part);
}

// Reads the variant's outline file, checks that the slots in use hold an
// outline, resamples outlines 1..5 and measures the profile diameter.
// `asRead` receives the outlines of the slots in use as read, `axes` the
// mirror axes of the section, of the standard or the multi-outline layout
// (0 when it is not meshed by mirroring).  In the standard layout the wall bound of the profile is
// built from the outlines as read and applied to every resampled outline.
// Returns the number of slots in use.
int LoadOutlines(const VariantSetup& setup, int S, bool multi, SectionSet& sections,
                 WallBound& wall, std::vector<Outline>& asRead, int& axes) {
  OutlineFileData file;
  ReadOutlineFile(setup.FileOutline, file);
  sections.nOutlines = file.nOutlines;
  sections.SplitMode = file.SplitMode;
  const int used = std::min(sections.nOutlines, 5);
  for (int k = 1; k <= used; ++k)
    if (file.slot[static_cast<std::size_t>(k - 1)] == 0)
      Fatal(setup.FileOutline + ": outline slot " + std::to_string(k) +
            " is empty; the file needs an outline named WPIECE and outlines whose fifth name "
            "character is 1, 2, ...");

  sections.Outlines.assign(5);
  for (Outline& o : sections.Outlines) o = Outline{};
  asRead.clear();
  for (int k = 1; k <= used; ++k)
    asRead.push_back(ToOutline(file.outlines[static_cast<std::size_t>(file.slot[static_cast<std::size_t>(k - 1)] - 1)]));
  // A multi-hole die is mirrored when its holes are images of one another
  // and its container (slot 3) is its own image.
  axes = multi ? LayoutMirrorAxes(asRead, 2) : MirrorAxes(asRead);
  for (std::size_t k = 0; k < asRead.size(); ++k) {
    Outline part;
    if (axes != 0 && (!multi || k == 2) && !MirrorPart(asRead[k], axes, part)) axes = 0;
  }
  wall = WallBound{};
  if (!multi && used >= 1) {
    std::vector<WallSample> samples;
    const bool hollow = sections.SplitMode == 2 && used >= 4;
    WallSamples(asRead[0], hollow ? &asRead[3] : nullptr, samples);
    const int across = WallElementsAcross(setup.MeshLevel);
    // A mirror axis along the middle of a wall holds nodes, so the wall gets
    // an even number of elements across: an odd count is raised by one.
    if (axes != 0 && across % 2 == 1)
      for (WallSample& w : samples) {
        const bool alongX = (axes & kMirrorX) && std::hypot(w.q[0] - w.p[0], w.q[1] + w.p[1]) < 0.01 * w.t;
        const bool alongY = (axes & kMirrorY) && std::hypot(w.q[0] + w.p[0], w.q[1] - w.p[1]) < 0.01 * w.t;
        if (w.t > 0.0 && (alongX || alongY)) w.t *= static_cast<double>(across) / (across + 1);
      }
    // The profile region is meshed in two halves when hollow, or as the
    // half or quarter that the mirror axes leave (a part of a hollow
    // section is one region).
    const int images = axes == (kMirrorX | kMirrorY) ? 4 : axes != 0 ? 2 : 1;
    BuildWallBound(samples, across, std::max(hollow ? 2 : 1, images), wall);
  }
  for (int k = 1; k <= used; ++k)
    sections.Outlines(k) =
        Resampled(asRead[static_cast<std::size_t>(k - 1)], k == 4 ? 2 : 1, S, &wall);
  sections.Diam2d = MaxDistance(asRead[0]);
  return used;
}

// Meshing order of the multi-outline layout: the container outline 3 first,
// then each time the nearest outline not yet taken.  Outlines touching their
// neighbour in that order are reduced away from it.
// Nearest-first order of the outlines 1..J of `outlines` from outline
// `first`: each next one is the nearest to the one before.
void NearestOrder(int J, int first, const Vec1<Outline>& outlines, Fix1<int8_t, 5>& order) {
  std::vector<char> taken(6, 0);
  order(1) = static_cast<int8_t>(first);
  taken[static_cast<std::size_t>(first)] = 1;
  for (int i = 2; i <= J; ++i) {
    double best = 1e10;
    int pick = 0;
    const Outline& prev = outlines(order(i - 1));
    for (int k = 1; k <= J; ++k) {
      if (taken[static_cast<std::size_t>(k)]) continue;
      double dmin = 0, dmax = 0;
      DistanceRange(prev, outlines(k), dmin, dmax);
      if (dmin <= best) {
        best = dmin;
        pick = k;
      }
    }
    order(i) = static_cast<int8_t>(pick);
    taken[static_cast<std::size_t>(pick)] = 1;
  }
}

void OrderPieces(int J, SectionSet& sections) {
  NearestOrder(J, 3, sections.Outlines, sections.PieceOrder);
  if (sections.Clearance <= 0.001) {
    ReduceOutline(sections.Outlines(sections.PieceOrder(1)),
                  sections.Outlines(sections.PieceOrder(2)));
    RoundOutline(sections.Outlines(sections.PieceOrder(1)));
  }
  for (int i = 2; i <= J; ++i)
    if (Roundness(sections.Outlines(sections.PieceOrder(i))) >= 0.8)
      ReduceOutline(sections.Outlines(sections.PieceOrder(i)),
                    sections.Outlines(sections.PieceOrder(1)));
}

// Bounding box of outline 3 widened by a tenth of its size on every side.
void ContainerBox(SectionSet& sections) {
  const Outline& o3 = sections.Outlines(3);
  for (int i = 1; i <= o3.n; ++i) {
    sections.Box2d(1) = std::min(sections.Box2d(1), o3.pts(i)[0]);
    sections.Box2d(2) = std::max(sections.Box2d(2), o3.pts(i)[0]);
    sections.Box2d(3) = std::min(sections.Box2d(3), o3.pts(i)[1]);
    sections.Box2d(4) = std::max(sections.Box2d(4), o3.pts(i)[1]);
  }
  const double ex = 0.1 * (sections.Box2d(2) - sections.Box2d(1)),
               ey = 0.1 * (sections.Box2d(4) - sections.Box2d(3));
  sections.Box2d(1) -= ex;
  sections.Box2d(2) += ex;
  sections.Box2d(3) -= ey;
  sections.Box2d(4) += ey;
}

// Multi-outline layout: the single outlines and the region around them
// inside outline 3.  Written: the pieces in meshing order, then the whole
// section.
void MultiOutlineLayout(const VariantSetup& setup, int used, int S, SectionSet& sections,
                        std::vector<Mesh2d>& written) {
  const int J = used;
  Require(J >= 3, setup.FileOutline + ": process type " + std::to_string(setup.ProfType) +
                      " needs at least three outlines (pieces and container), found " +
                      std::to_string(J));
  sections.nPiecesB = static_cast<int16_t>(J);
  OrderPieces(J, sections);
  Outline half1, half2;
  SplitAround(J, sections.PieceOrder, sections.Outlines, half1, half2);
  ContainerBox(sections);

  std::vector<Mesh2d> pieces(static_cast<std::size_t>(J) + 1);
  for (int i = 2; i <= J; ++i) {
    Outline& o = sections.Outlines(sections.PieceOrder(i));
    MeshOutline(o, S, S, pieces[static_cast<std::size_t>(i)]);
    FlagOnOutline(sections.nPiecesB, o, pieces[static_cast<std::size_t>(i)]);
  }
  Mesh2d m1, m2;
  MeshOutline(half1, S + 32, S + 32, m1, true);
  MeshOutline(half2, S + 32, S + 32, m2, true);
  for (int i = 2; i <= J; ++i) written.push_back(pieces[static_cast<std::size_t>(i)]);
  Mesh2d merged = m1;
  for (int i = 2; i <= J; ++i) {
    Mesh2d next;
    Merge(merged, pieces[static_cast<std::size_t>(i)], next);
    merged = std::move(next);
  }
  Mesh2d all;
  Merge(merged, m2, all);
  written.push_back(std::move(all));
  sections.nPiecesA = 2;
}

// A container's part (made by MirrorPart) coarsened as ReduceOutline
// coarsens the whole outline away from `near`: the points kept are those the
// whole outline keeps, and the points on the axes.
void ReducePart(Outline& part, int axes, const Outline& near) {
  Outline whole;
  WholeOutline(part, axes, whole);
  ReduceOutline(whole, near);
  std::vector<char> keep(static_cast<std::size_t>(part.n) + 1, 0);
  int kept = 0;
  for (int i = 1; i <= part.n; ++i) {
    const Point2& p = part.pts(i);
    bool k = ((axes & kMirrorX) && std::fabs(p[1]) < 1e-9) || ((axes & kMirrorY) && std::fabs(p[0]) < 1e-9);
    for (int j = 1; j <= whole.n && !k; ++j) k = Dist2(p, whole.pts(j)) < 1e-18;
    keep[static_cast<std::size_t>(i)] = k;
    kept += k;
  }
  // An odd count keeps the first dropped point again.
  for (int i = 1; i <= part.n && kept % 2 == 1; ++i)
    if (!keep[static_cast<std::size_t>(i)]) keep[static_cast<std::size_t>(i)] = 1, ++kept;
  if (kept < 4 || kept == part.n) return;
  std::vector<Point2> pts;
  for (int i = 1; i <= part.n; ++i)
    if (keep[static_cast<std::size_t>(i)]) pts.push_back(part.pts(i));
  part = OutlineFromPoints(pts);
}

// The middle points of the free arc of a container's part (made by
// MirrorPart) put on the circle on which RoundOutline puts those of the
// whole outline; segments along an axis stay straight.
void RoundPart(Outline& part, int axes) {
  Outline whole;
  WholeOutline(part, axes, whole);
  double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300}, dmax = 0.0;
  for (int i = 1; i <= whole.n; ++i) {
    for (int c = 0; c < 2; ++c) lo[c] = std::min(lo[c], whole.pts(i)[c]), hi[c] = std::max(hi[c], whole.pts(i)[c]);
    dmax = std::max(dmax, std::sqrt(Dist2(whole.pts(1), whole.pts(i))));
  }
  const Point2 c{0.5 * (lo[0] + hi[0]), 0.5 * (lo[1] + hi[1])};
  for (int i = 2; i <= part.n; i += 2) {
    const Point2 &p = part.pts(i - 1), &q = part.pts(i == part.n ? 1 : i + 1);
    if (OnSameAxis(p, q)) continue;
    const double dx = 0.5 * (p[0] + q[0]) - c[0], dy = 0.5 * (p[1] + q[1]) - c[1], len = std::hypot(dx, dy);
    if (len > 0.0) part.pts(i) = {c[0] + 0.5 * dmax * dx / len, c[1] + 0.5 * dmax * dy / len};
  }
}

// Multi-outline layout of a die whose holes are mirror images of one another
// about `axes` and whose container outline is its own: the part of the
// container on the positive side of the axes, with the holes inside it, is
// meshed as the whole layout is meshed (order, reduction, split, blocks) and
// the section mesh is reflected; a hole on a negative side gets the
// reflected outline and mesh of its image, so that holes the reflection
// maps onto each other have mirrored meshes.  Written as the whole layout
// writes them, in the whole layout's meshing order.
void MirroredMultiLayout(const VariantSetup& setup, int used, int S, const std::vector<Outline>& asRead, int axes,
                         SectionSet& sections, std::vector<Mesh2d>& written) {
  const int J = used;
  Require(J >= 3, setup.FileOutline + ": process type " + std::to_string(setup.ProfType) +
                      " needs at least three outlines (pieces and container), found " + std::to_string(J));
  sections.nPiecesB = static_cast<int16_t>(J);
  NearestOrder(J, 3, sections.Outlines, sections.PieceOrder);
  const double images = axes == (kMirrorX | kMirrorY) ? 4.0 : 2.0;
  // The part: slot 1 the container's part, then the holes on the positive sides.
  Vec1<Outline> part(5);
  std::vector<int> slotOf(6, 0);  // part entry -> outline slot
  Outline cut;
  Require(MirrorPart(asRead[2], axes, cut), setup.FileOutline + ": the container outline's half is not one region");
  part(1) = Resampled(cut, 1, S, nullptr, images);
  slotOf[1] = 3;
  int n = 1;
  for (int k = 1; k <= J; ++k)
    if (k != 3 && NegativeSides(sections.Outlines(k), axes) == 0) {
      part(++n) = sections.Outlines(k);
      slotOf[static_cast<std::size_t>(n)] = k;
    }
  Fix1<int8_t, 5> order;
  NearestOrder(n, 1, part, order);
  if (sections.Clearance <= 0.001) {
    // The whole container coarsened away from the nearest hole and its
    // images, as the whole layout coarsens it away from its nearest hole;
    // the middle points put on its arcs (the box centre of the whole is the
    // centre of a symmetric container).
    Outline near = part(order(2));
    for (const int sides : {kMirrorX, kMirrorY, kMirrorX | kMirrorY}) {
      if ((sides & axes) != sides) continue;
      Outline image;
      ReflectOutline(part(order(2)), sides, image);
      near.pts.v.insert(near.pts.v.end(), image.pts.v.begin(), image.pts.v.end());
      near.n += image.n;
    }
    ReducePart(part(1), axes, near);
    RoundPart(part(1), axes);
  }
  for (int i = 2; i <= n; ++i)
    if (Roundness(part(order(i))) >= 0.8) ReduceOutline(part(order(i)), part(1));
  Outline half1, half2;
  SplitAround(n, order, part, half1, half2);
  std::vector<Mesh2d> holes(static_cast<std::size_t>(n) + 1);
  Mesh2d m1, m2, merged;
  for (int i = 2; i <= n; ++i) {
    MeshOutline(part(i), S, S, holes[static_cast<std::size_t>(i)]);
    FlagOnOutline(sections.nPiecesB, part(i), holes[static_cast<std::size_t>(i)]);
  }
  MeshOutline(half1, S + 32, S + 32, m1, true, nullptr, images);
  MeshOutline(half2, S + 32, S + 32, m2, true, nullptr, images);
  merged = m1;
  for (int i = 2; i <= n; ++i) {
    Mesh2d next;
    Merge(merged, holes[static_cast<std::size_t>(i)], next);
    merged = std::move(next);
  }
  Mesh2d halfSection, all;
  Merge(merged, m2, halfSection);
  MirrorMesh(halfSection, axes, all);
  // Each hole from its image on the positive sides: the part entry whose
  // outline as read, reflected, is this hole's (its box centre).
  auto centre = [](const Outline& o) {
    double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
    for (int i = 1; i <= o.n; ++i)
      for (int c = 0; c < 2; ++c) lo[c] = std::min(lo[c], o.pts(i)[c]), hi[c] = std::max(hi[c], o.pts(i)[c]);
    return Point2{0.5 * (lo[0] + hi[0]), 0.5 * (lo[1] + hi[1])};
  };
  Vec1<Mesh2d> meshOf(5);
  for (int k = 1; k <= J; ++k) {
    if (k == 3) continue;
    const int sides = NegativeSides(sections.Outlines(k), axes);
    Point2 want = centre(asRead[static_cast<std::size_t>(k - 1)]);
    if (sides & kMirrorX) want[1] = -want[1];
    if (sides & kMirrorY) want[0] = -want[0];
    int image = 0;
    double best = 1e300;
    for (int j = 2; j <= n; ++j) {
      const double d = Dist2(centre(asRead[static_cast<std::size_t>(slotOf[static_cast<std::size_t>(j)] - 1)]), want);
      if (d < best) best = d, image = j;
    }
    Require(image != 0, setup.FileOutline + ": a hole of the mirrored die has no image on the positive side");
    ReflectOutline(part(image), sides, sections.Outlines(k));
    ReflectMesh(holes[static_cast<std::size_t>(image)], sides, meshOf(k));
  }
  WholeOutline(part(1), axes, sections.Outlines(3));
  ContainerBox(sections);
  for (int i = 2; i <= J; ++i) written.push_back(meshOf(sections.PieceOrder(i)));
  written.push_back(std::move(all));
  sections.nPiecesA = 2;
}

// Meshes of the standard layout as they grow: the profile region and the
// section mesh after each ring.
struct RingLayout {
  Mesh2d region1;             // region 1, the profile
  Mesh2d ring;                // the growing mesh of the whole section
  bool haveRing = false;      // at least one ring was added
  std::vector<Mesh2d> rings;  // ring12, ring123, ring1234 as built

  // The section mesh grown by one ring becomes `next`.
  void Grow(Mesh2d&& next) {
    ring = std::move(next);
    haveRing = true;
    rings.push_back(ring);
  }
};

// Region 1: the profile outline as one block, or for a hollow profile the
// ring between the inner outline (slot 4) and the profile outline, meshed as
// two halves.
void MeshProfileRegion(int S, int R, const WallBound& wall, SectionSet& sections, RingLayout& L) {
  SymmetryCode(sections.Outlines(1));
  if (sections.SplitMode == 1) {
    MeshOutline(sections.Outlines(1), S + 4, S + 4, L.region1, false, &wall);
  } else {
    Outline half1, half2;
    SplitRing(sections.Outlines(4), sections.Outlines(1), half1, half2);
    for (int i = 1; i <= half2.n; ++i) half2.mark(i) = -1;
    Mesh2d a, b;
    MeshOutline(half1, S + 8, S + 8, a, true, &wall);
    MeshOutline(half2, S, S + R, b, true, &wall);
    Merge(a, b, L.region1);
  }
  L.region1.Krit = MeshKrit(L.region1);
}

// The ring between outline 1 and outline 2, merged with region 1.
void MeshFirstRing(const VariantSetup& setup, int S, const WallBound& wall, SectionSet& sections,
                   RingLayout& L) {
  const int code2 = SymmetryCode(sections.Outlines(2));
  const int code1 = SymmetryCode(sections.Outlines(1));
  SymmetryCode(sections.Outlines(3));
  if (code2 >= 1 && code1 >= 1) {
    // Both outlines lie against a symmetry axis: the region between them
    // is no ring but one simply connected block, bounded by the two free
    // arcs and the axis.  It is meshed directly so that the section mesh
    // still covers the whole half (or quarter) section.
    sections.RingSym = 1;
    sections.Outlines(2) = Resampled(sections.Outlines(2), 1, S + 12, &wall);
    SymmetryCode(sections.Outlines(2));
    Mesh2d part, next;
    MeshSymmetricBetween(sections.Outlines(1), sections.Outlines(2), S + 4, setup.FileOutline, part,
                         &wall);
    Merge(L.region1, part, next);
    L.Grow(std::move(next));
  } else {
    sections.Outlines(2) = Resampled(sections.Outlines(2), 1, S + 12, &wall);
    Mesh2d h1, h2, halves, next;
    double k1 = 0, k2 = 0;
    MeshRingHalves(sections.Outlines(1), sections.Outlines(2), S + 4, S + 4, h1, h2, k1, k2, &wall);
    Merge(h1, h2, halves);
    // The section mesh covers the profile as well: the extruded pieces
    // join node to node and the section area is the full area.
    Merge(L.region1, halves, next);
    L.Grow(std::move(next));
  }
}

// Ring k (3 or 4) between outline k-1 and outline k (outline 5 for ring 4
// of a hollow profile), merged with the section mesh so far.  A ring of poor
// quality is meshed again with coarser divisions, up to three times.
void MeshOuterRing(const VariantSetup& setup, int k, int m, int S, const WallBound& wall,
                   SectionSet& sections, RingLayout& L) {
  Outline& inner = sections.Outlines(k - 1);
  Outline& outer = sections.Outlines(k == 4 && sections.SplitMode == 2 ? 5 : k);
  if (k == 3 && setup.MeshLevel <= 5 && m == 3 && SymmetryCode(outer) == 0 &&
      sections.Clearance <= 0.001) {
    ReduceOutline(outer, inner);
    RoundOutline(outer);
  }
  const Mesh2d& base = L.haveRing ? L.ring : L.region1;
  if (SymmetryCode(inner) >= 1 && SymmetryCode(outer) >= 1) {
    Mesh2d part, next;
    MeshSymmetricBetween(inner, outer, S + 4, setup.FileOutline, part, &wall);
    Merge(base, part, next);
    L.Grow(std::move(next));
    return;
  }
  int c1 = S + 4, c2 = S + 4;
  Mesh2d h1, h2;
  double k1 = 0, k2 = 0;
  MeshRingHalves(inner, outer, c1, c2, h1, h2, k1, k2, &wall);
  for (int retry = 1; retry <= 3 && k1 + k2 >= 100.0; ++retry) {
    c1 -= 2;
    c2 -= 2;
    MeshRingHalves(inner, outer, c1, c2, h1, h2, k1, k2, &wall);
  }
  Mesh2d withFirst, next;
  Merge(base, h1, withFirst);
  Merge(withFirst, h2, next);
  L.Grow(std::move(next));
}

// Standard layout: region 1 (the profile) and the rings around it.
// Written: region 1, then the last section mesh (two meshes), or the last
// two section meshes (three meshes).
void StandardLayout(const VariantSetup& setup, int S, int R, const WallBound& wall,
                    SectionSet& sections, std::vector<Mesh2d>& written) {
  const int m = sections.nOutlines - sections.SplitMode + 1;
  RingLayout L;
  if (m >= 1) MeshProfileRegion(S, R, wall, sections, L);
  if (m >= 2) MeshFirstRing(setup, S, wall, sections, L);
  for (int k = 3; k <= std::min(m, 4); ++k) MeshOuterRing(setup, k, m, S, wall, sections, L);
  written.push_back(L.region1);
  if (sections.nPiecesA == 2) {
    written.push_back(L.rings.empty() ? Mesh2d{} : L.rings.back());
  } else {
    if (L.rings.size() >= 2) {
      written.push_back(L.rings[L.rings.size() - 2]);
      written.push_back(L.rings.back());
    } else {
      written.push_back(L.rings.empty() ? Mesh2d{} : L.rings.back());
      written.push_back(Mesh2d{});
    }
  }
}

// Standard layout of a section whose outlines are all mirror-symmetric about
// `axes`: the part of the section on the positive side of the axes is
// meshed as the standard layout meshes the whole one (the region between
// two parts of outlines is one block bounded by their free arcs and the
// axis), with the base sizes of the whole regions, and every written mesh
// is reflected.  The resampled outlines kept in the variant are the whole
// outlines made from the parts, so that their points are the boundary
// nodes of the meshes.  The caller has
// checked that the part of every outline is one region.
void MirroredLayout(const VariantSetup& setup, int S, const WallBound& wall,
                    const std::vector<Outline>& asRead, int axes, SectionSet& sections,
                    std::vector<Mesh2d>& written) {
  const int used = static_cast<int>(asRead.size());
  const double images = axes == (kMirrorX | kMirrorY) ? 4.0 : 2.0;
  Vec1<Outline> part(5);
  for (int k = 1; k <= used; ++k) {
    Outline p;
    Require(MirrorPart(asRead[static_cast<std::size_t>(k - 1)], axes, p),
            setup.FileOutline + ": an outline's half is not one region");
    part(k) = Resampled(p, k == 4 ? 2 : 1, S, &wall, images);
  }
  const int m = sections.nOutlines - sections.SplitMode + 1;
  RingLayout L;
  if (m >= 1) {
    if (sections.SplitMode == 1)
      MeshOutline(part(1), S + 4, S + 4, L.region1, false, &wall, images);
    else MeshSymmetricBetween(part(4), part(1), S + 8, setup.FileOutline, L.region1, &wall, images);
  }
  if (m >= 2) {
    part(2) = Resampled(part(2), 1, S + 12, &wall, images);
    Mesh2d between, next;
    MeshSymmetricBetween(part(1), part(2), S + 4, setup.FileOutline, between, &wall, images);
    Merge(L.region1, between, next);
    L.Grow(std::move(next));
  }
  for (int k = 3; k <= std::min(m, 4); ++k) {
    Outline& outer = part(k == 4 && sections.SplitMode == 2 ? 5 : k);
    // The container part is coarsened away from the ring inside it, as the
    // whole container is; the arc's ends on the axes are corners and stay.
    if (k == 3 && setup.MeshLevel <= 5 && m == 3 && sections.Clearance <= 0.001)
      ReduceOutline(outer, part(k - 1));
    Mesh2d between, next;
    MeshSymmetricBetween(part(k - 1), outer, S + 4, setup.FileOutline, between, &wall, images);
    Merge(L.ring, between, next);
    L.Grow(std::move(next));
  }
  for (int k = 1; k <= used; ++k) WholeOutline(part(k), axes, sections.Outlines(k));
  Mesh2d whole;
  MirrorMesh(L.region1, axes, whole);
  written.push_back(std::move(whole));
  // The same meshes as the standard layout writes: the last section mesh,
  // or the last two.
  auto ringFromEnd = [&](std::size_t back) {
    Mesh2d w;
    if (L.rings.size() > back) MirrorMesh(L.rings[L.rings.size() - 1 - back], axes, w);
    written.push_back(std::move(w));
  };
  if (sections.nPiecesA == 2 || L.rings.size() < 2) {
    ringFromEnd(0);
    if (sections.nPiecesA != 2) written.push_back(Mesh2d{});
  } else {
    ringFromEnd(1);
    ringFromEnd(0);
  }
}

}  // namespace

void ProfileWallSamples(const VariantSetup& setup, const SectionSet& sections,
                        std::vector<WallSample>& samples) {
  samples.clear();
  if (IsMultiHole(setup.ProfType) || sections.Outlines.size() < 1 || sections.Outlines(1).nSeg < 2)
    return;
  WallSamples(sections.Outlines(1), IsHollowProfile(setup, sections) ? &sections.Outlines(4) : nullptr, samples);
}

bool IsHollowProfile(const VariantSetup& setup, const SectionSet& sections) {
  return !IsMultiHole(setup.ProfType) && sections.SplitMode == 2 && sections.Outlines.size() >= 4 &&
         sections.Outlines(4).nSeg >= 2;
}

void Run_gr_2d(const VariantSetup& setup, SectionSet& sections) {
  sections.PieceOrder = {};
  sections.RingSym = 0;
  sections.nPiecesB = 0;
  int S = 0, R = 0;
  const bool multi = IsMultiHole(setup.ProfType);
  DivisionCounts(multi ? 2 : setup.MeshLevel, S, R);
  sections.nPiecesA = HasExtraZone(setup.ProfType) ? 3 : 2;

  WallBound wall;
  std::vector<Outline> asRead;
  int axes = 0;
  const int used = LoadOutlines(setup, S, multi, sections, wall, asRead, axes);
  std::vector<Mesh2d> written;
  if (multi) {
    if (axes != 0) MirroredMultiLayout(setup, used, S, asRead, axes, sections, written);
    else MultiOutlineLayout(setup, used, S, sections, written);
  } else {
    if (axes != 0) MirroredLayout(setup, S, wall, asRead, axes, sections, written);
    else StandardLayout(setup, S, R, wall, sections, written);
  }

  // Measures of the meshes; the meshes as the file carries them into
  // Pieces2d, their areas into Area2d; then the file as an output.
  std::vector<const Mesh2d*> out;
  sections.Pieces2d.assign(written.size());
  for (std::size_t k = 0; k < written.size(); ++k) {
    Mesh2d& w = written[k];
    FinishWritten(w);
    const int j = static_cast<int>(k) + 1;
    sections.Pieces2d(j) = SectionFileMesh(w);
    if (j <= 3) sections.Area2d(j) = w.area;
    out.push_back(&w);
  }
  WriteSectionFile(setup.File2d, out);
}
