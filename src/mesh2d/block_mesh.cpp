#include "mesh2d/block_mesh.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "core/fatal.h"
#include "mesh2d/block_ops.h"
#include "mesh2d/corner_graph.h"
#include "mesh2d/edge_table.h"
#include "mesh2d/geometry2d.h"
#include "mesh2d/mesh_check.h"

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Angle thresholds of the front rules, radians.
constexpr double kACut = 1.2217304972019767;   // 70 degrees: below, cut the vertex off
constexpr double kANew = 1.5533429885018721;   // 89 degrees: above, insert a new point
constexpr double kAMin0 = 0.5235987912027583;  // 30 degrees: smallest angle a cut may leave
constexpr double kAMinLow = 0.4363323338045284;  // 25 degrees: floor of the relaxation of aMin
constexpr double kASliver = 0.17453292519943295;  // 10 degrees: a front angle left below it is a sliver

using Tri = std::array<int, 3>;


// Interior angle at d of a counter-clockwise chain f -> d -> g, in [0, 2 pi):
// the counter-clockwise turn from (g - d) to (f - d).
double InteriorAngle(const Point2& f, const Point2& d, const Point2& g) {
  const double ux = g[0] - d[0], uy = g[1] - d[1];
  const double vx = f[0] - d[0], vy = f[1] - d[1];
  double a = std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
  if (a < 0.0) a += kTwoPi;
  if (a >= kTwoPi) a -= kTwoPi;
  return a;
}

// Distance rule of candidate points: distance to the segment where the foot of
// the perpendicular falls inside it, else 0.9 times the nearer end distance.
double EdgeClearance(const Point2& p, const Point2& a, const Point2& b) {
  const double ex = b[0] - a[0], ey = b[1] - a[1];
  const double len2 = ex * ex + ey * ey;
  const double s = len2 > 0.0 ? ((p[0] - a[0]) * ex + (p[1] - a[1]) * ey) / len2 : -1.0;
  if (s >= 0.0 && s <= 1.0) return std::fabs(ex * (p[1] - a[1]) - ey * (p[0] - a[0])) / std::sqrt(len2);
  return 0.9 * std::sqrt(std::min(Dist2(p, a), Dist2(p, b)));
}

// Closed segments p1-p2 and q1-q2 meet (touching counts), with the
// orientation tolerance eps (an area).
bool SegmentsMeet(const Point2& p1, const Point2& p2, const Point2& q1, const Point2& q2, double eps) {
  const double d1 = Cross(q1, q2, p1), d2 = Cross(q1, q2, p2);
  const double d3 = Cross(p1, p2, q1), d4 = Cross(p1, p2, q2);
  if (((d1 > eps && d2 < -eps) || (d1 < -eps && d2 > eps)) && ((d3 > eps && d4 < -eps) || (d3 < -eps && d4 > eps)))
    return true;
  auto onSeg = [&](const Point2& a, const Point2& b, const Point2& p, double d) {
    if (std::fabs(d) > eps) return false;
    return p[0] >= std::min(a[0], b[0]) - 1e-12 && p[0] <= std::max(a[0], b[0]) + 1e-12 &&
           p[1] >= std::min(a[1], b[1]) - 1e-12 && p[1] <= std::max(a[1], b[1]) + 1e-12;
  };
  return onSeg(q1, q2, p1, d1) || onSeg(q1, q2, p2, d2) || onSeg(p1, p2, q1, d3) || onSeg(p1, p2, q2, d4);
}

// p lies inside or on the counter-clockwise triangle (a, b, c), tolerance eps.
bool InTriangle(const Point2& p, const Point2& a, const Point2& b, const Point2& c, double eps) {
  return Cross(a, b, p) >= -eps && Cross(b, c, p) >= -eps && Cross(c, a, p) >= -eps;
}

struct FrontVtx {
  Point2 p;      // coordinates, mm
  int node;      // node number
  double fac;    // refinement factor
  double ang;    // interior angle, radians
  bool skip;     // excluded from the next choice
};

struct Front {
  std::vector<FrontVtx> v;
  const Vec1<Point2>* outline = nullptr;  // points of the block outline
  int nSeg = 0;                           // outline nodes are 1..nSeg, node k on point n+1-2k
  int size() const { return static_cast<int>(v.size()); }
  int prev(int i) const { return i == 0 ? size() - 1 : i - 1; }
  int next(int i) const { return i + 1 == size() ? 0 : i + 1; }
  void angle(int i) { v[i].ang = InteriorAngle(v[prev(i)].p, v[i].p, v[next(i)].p); }
  // Outline middle point of front edge i -> next(i) (its curve runs
  // through it), 0 when the edge is a straight chord.
  int midPoint(int i) const {
    const int a = v[i].node, b = v[next(i)].node;
    if (a > nSeg || b != a % nSeg + 1) return 0;
    const int u = outline->size() - 2 * a;
    return u > 0 ? u : outline->size();
  }
  // The curved triangle (a, b, c), counter-clockwise, whose edges a-b and
  // b-c follow the outline through middle points mAB, mBC (0: straight), has
  // a positive Jacobian everywhere.
  bool curvedPositive(const Point2& a, const Point2& b, const Point2& c, int mAB, int mBC) const {
    auto mid = [](const Point2& x, const Point2& y) { return Point2{0.5 * (x[0] + y[0]), 0.5 * (x[1] + y[1])}; };
    if (mAB == 0 && mBC == 0) return true;
    const std::array<Point2, 6> p = {a, b, c, mAB ? (*outline)(mAB) : mid(a, b), mBC ? (*outline)(mBC) : mid(b, c), mid(c, a)};
    return QuadJacobianMin(p) > 0.0;
  }
  // Some point of the outline curve along front edge k (quarter, middle and
  // three-quarter points) lies in the triangle (a, b, c).
  bool curveEnters(int k, const Point2& a, const Point2& b, const Point2& c, double eps) const {
    const int m = midPoint(k);
    if (m == 0) return false;
    const Point2 &p0 = v[k].p, &pm = (*outline)(m), &p1 = v[next(k)].p;
    // The curve stays in the triangle of its ends and its control point
    // 2 pm - (p0 + p1)/2: nothing to test unless the boxes overlap.
    for (int x = 0; x < 2; ++x) {
      const double ctl = 2.0 * pm[x] - 0.5 * (p0[x] + p1[x]);
      const double lo = std::min({p0[x], p1[x], ctl}), hi = std::max({p0[x], p1[x], ctl});
      if (hi < std::min({a[x], b[x], c[x]}) || lo > std::max({a[x], b[x], c[x]})) return false;
    }
    for (double t : {-0.5, 0.0, 0.5})
      if (InTriangle(QuadPoint(p0, pm, p1, t), a, b, c, eps)) return true;
    return false;
  }
};

// Summed turning angle of the closed front around p (2 pi inside, 0 outside).
double Winding(const Front& F, const Point2& p) {
  double sum = 0.0;
  for (int i = 0; i < F.size(); ++i) {
    const Point2& a = F.v[i].p;
    const Point2& b = F.v[F.next(i)].p;
    const double ax = a[0] - p[0], ay = a[1] - p[1], bx = b[0] - p[0], by = b[1] - p[1];
    sum += std::atan2(ax * by - ay * bx, ax * bx + ay * by);
  }
  return sum;
}

// A step that leaves the front angle `left` at a vertex whose angle was
// `before` makes a sliver there when `left` is below 10 degrees and below
// half of `before`: the next triangle at that vertex would be a needle or a
// flat sliver, which a curved edge next to it folds.
bool LeavesSliver(double before, double left) {
  return left < kASliver && left < 0.5 * before;
}

// Rules a cut must satisfy, from the strictest.
enum class EarRules {
  kAll,     // curved rules and no sliver angle left at f or g
  kCurved,  // no outline curve enters the triangle, nor folds one of three outline nodes
  kPolygon  // the front stays a simple polygon
};

// Cutting vertex i off (triangle prev, i, next) keeps the front a simple
// polygon: the triangle is positive and holds no other front vertex, and its
// new edge crosses no front edge.  The stricter rules also refuse a cut of
// three outline nodes whose outline edges fold the triangle, a cut whose
// triangle reaches over the curve of another outline segment, and then one
// that leaves a sliver angle at f or g (a front vertex lying almost on the
// new edge).
bool ValidEar(const Front& F, int i, double eps, EarRules rules) {
  const int f = F.prev(i), g = F.next(i);
  const Point2 &pf = F.v[f].p, &pd = F.v[i].p, &pg = F.v[g].p;
  if (Cross(pf, pd, pg) <= eps) return false;
  if (rules == EarRules::kAll && F.size() > 3 &&
      (LeavesSliver(F.v[f].ang, InteriorAngle(F.v[F.prev(f)].p, pf, pg)) ||
       LeavesSliver(F.v[g].ang, InteriorAngle(pf, pg, F.v[F.next(g)].p))))
    return false;
  const bool curved = rules != EarRules::kPolygon;
  // A triangle of three outline nodes cannot be mended later by moving a
  // corner: its outline edges must not fold it.
  const bool fixedCorners = F.v[f].node <= F.nSeg && F.v[i].node <= F.nSeg && F.v[g].node <= F.nSeg;
  if (curved && fixedCorners && !F.curvedPositive(pf, pd, pg, F.midPoint(f), F.midPoint(i))) return false;
  for (int k = 0; k < F.size(); ++k) {
    if (curved && k != f && k != i && F.curveEnters(k, pf, pd, pg, eps)) return false;
    if (k == f || k == i || k == g) continue;
    if (InTriangle(F.v[k].p, pf, pd, pg, eps)) return false;
    const int k2 = F.next(k);
    if (k2 == f || k2 == g || k == g || k2 == i) continue;
    if (SegmentsMeet(pf, pg, F.v[k].p, F.v[k2].p, eps)) return false;
  }
  return true;
}

// The two triangles (f, d, P) and (d, g, P) of a new point P are positive,
// hold no other front vertex nor outline curve, their edges to P cross no
// front edge, and they leave no sliver angle at f or g.  (A curved outline
// edge that folds one of them is mended later by moving P.)
bool ValidInsertion(const Front& F, int i, const Point2& P, double eps) {
  const int f = F.prev(i), g = F.next(i);
  const Point2 &pf = F.v[f].p, &pd = F.v[i].p, &pg = F.v[g].p;
  if (Cross(pf, pd, P) <= eps || Cross(pd, pg, P) <= eps) return false;
  if (LeavesSliver(F.v[f].ang, InteriorAngle(F.v[F.prev(f)].p, pf, P)) ||
      LeavesSliver(F.v[g].ang, InteriorAngle(P, pg, F.v[F.next(g)].p)))
    return false;
  for (int k = 0; k < F.size(); ++k) {
    const int k2 = F.next(k);
    if (k != f && k != i && (F.curveEnters(k, pf, pd, P, eps) || F.curveEnters(k, pd, pg, P, eps))) return false;
    if (k != f && k != i && k != g) {
      if (InTriangle(F.v[k].p, pf, pd, P, eps) || InTriangle(F.v[k].p, pd, pg, P, eps)) return false;
    }
    const Point2 &a = F.v[k].p, &b = F.v[k2].p;
    if (k != f && k2 != f && SegmentsMeet(pf, P, a, b, eps)) return false;
    if (k != i && k2 != i && SegmentsMeet(pd, P, a, b, eps)) return false;
    if (k != g && k2 != g && SegmentsMeet(pg, P, a, b, eps)) return false;
  }
  return true;
}

// Two edges of the closed front that are not neighbours meet (sweep over
// the edges sorted by their smallest x); sets the front nodes starting them.
bool FrontCrossesItself(const Front& F, int& node1, int& node2) {
  const int m = F.size();
  std::vector<int> order(static_cast<std::size_t>(m));
  for (int i = 0; i < m; ++i) order[static_cast<std::size_t>(i)] = i;
  auto xlo = [&](int i) { return std::min(F.v[i].p[0], F.v[F.next(i)].p[0]); };
  auto xhi = [&](int i) { return std::max(F.v[i].p[0], F.v[F.next(i)].p[0]); };
  std::sort(order.begin(), order.end(), [&](int a, int b) { return xlo(a) < xlo(b); });
  for (int s = 0; s < m; ++s) {
    const int i = order[static_cast<std::size_t>(s)];
    for (int r = s + 1; r < m; ++r) {
      const int j = order[static_cast<std::size_t>(r)];
      if (xlo(j) > xhi(i)) break;
      if (j == F.next(i) || i == F.next(j)) continue;
      if (SegmentsMeet(F.v[i].p, F.v[F.next(i)].p, F.v[j].p, F.v[F.next(j)].p, 0.0)) {
        node1 = F.v[i].node;
        node2 = F.v[j].node;
        return true;
      }
    }
  }
  return false;
}

}  // namespace

void PrepareBlock(const Outline& outline, BlockWork& work, DivSpec& spec) {
  Vec1<double> f;
  OutlineFactors(spec, outline, f);
  work.nSeg = outline.nSeg;
  work.n = 2 * outline.nSeg;
  work.pts.assign(static_cast<std::size_t>(work.n));
  work.pfac.assign(static_cast<std::size_t>(work.n));
  for (int i = 1; i <= work.n; ++i) {
    work.pts(i) = outline.pts(i);
    work.pfac(i) = f(i);
  }
  work.pnode.assign(static_cast<std::size_t>(work.n), 0);
  work.blockMesh = Mesh2d{};
}

void BoundaryFactors(const Outline& outline, BlockWork& work) {
  const int n = work.n;
  if (n < 1) return;
  (void)outline;  // the points were copied into the work record by PrepareBlock
  std::vector<double> len(static_cast<std::size_t>(n));  // len[i-1] = |P_{i+1} - P_i|
  double sum = 0.0;
  for (int i = 1; i <= n; ++i) {
    len[static_cast<std::size_t>(i - 1)] = std::sqrt(Dist2(work.pts(i), work.pts(i == n ? 1 : i + 1)));
    sum += len[static_cast<std::size_t>(i - 1)];
  }
  const double mean = sum / n;
  for (int i = 1; i <= n; ++i) {
    const double lPrev = len[static_cast<std::size_t>(i == 1 ? n - 1 : i - 2)];
    const double lNext = len[static_cast<std::size_t>(i - 1)];
    const double lmin = std::min(lPrev, lNext);
    double fac = lmin > 0.0 ? std::pow(mean / lmin, static_cast<double>(1.2f)) : 8.0;
    work.pfac(i) = std::clamp(fac, static_cast<double>(0.4f), 8.0);
  }
}

namespace {

// State of the advancing-front triangulation of one block: the corner nodes
// and triangles made so far, the front still to close and the rule state
// that the failures relax.  Each step of the method is a member.
class FrontMesher {
 public:
  FrontMesher(BlockWork& work, const DivSpec& spec, int capacity)
      : work_(work), capacity_(capacity), n_(work.n), nSeg_(work.nSeg), h_(spec.h0), eps_(1e-10 * h_ * h_) {
    xy_.reserve(static_cast<std::size_t>(capacity));
    mark_.reserve(static_cast<std::size_t>(capacity));
    tri_.reserve(static_cast<std::size_t>(capacity));
  }

  void StartFront();
  void Advance();
  void Store();

 private:
  int AddNode(const Point2& p, int mk);
  void AddTri(int a, int b, int c);
  bool IsOutline(int i) const { return F_.v[i].node <= nSeg_; }
  void ClearSkips() {
    for (auto& fv : F_.v) fv.skip = false;
  }
  void ResetRules();
  double PointFactor(const Point2& p) const;
  double WallFactor(const Point2& p, double f) const;
  void CutVertex(int i);
  int SmallestAngle() const;
  bool CentroidClose();
  void CutBestEar();
  void GuardSmallFront(int fs);
  int ChooseVertex(int fs);
  void RelaxWithoutVertex(int fs);
  bool WantsCut(int d, int fs);
  bool TryNewPoint(int d, int fs);
  void RelaxAfterFailure(int d, int fs);

  BlockWork& work_;
  const int capacity_;
  const int n_;
  const int nSeg_;
  const double h_;    // base element size, mm
  const double eps_;  // orientation tolerance (an area)

  std::vector<Point2> xy_;  // corner nodes made so far
  std::vector<int> mark_;   // their outline point numbers (0 inside)
  std::vector<Tri> tri_;    // triangles made so far
  Front F_;                 // the front still to close

  double relax_ = 1.0;  // cut-quality value, reset after every insertion
  double aMin_ = kAMin0;
  int angleRule_ = 1;
  int allowCut_ = 1;
  int failures_ = 0;
  bool earOnly_ = false;  // remaining front is closed by ear cuts alone
};

int FrontMesher::AddNode(const Point2& p, int mk) {
  Require(static_cast<int>(xy_.size()) < capacity_,
          "GenerateBlock: block mesh exceeds its capacity of " + std::to_string(capacity_) + " nodes");
  xy_.push_back(p);
  mark_.push_back(mk);
  return static_cast<int>(xy_.size());
}

void FrontMesher::AddTri(int a, int b, int c) {
  Require(static_cast<int>(tri_.size()) < capacity_,
          "GenerateBlock: block mesh exceeds its capacity of " + std::to_string(capacity_) + " elements");
  tri_.push_back({a, b, c});
}

// Initial front: outline end points in reverse order (counter-clockwise).
// The outline must run clockwise and must not cross itself.
void FrontMesher::StartFront() {
  F_.outline = &work_.pts;
  F_.nSeg = nSeg_;
  F_.v.reserve(static_cast<std::size_t>(nSeg_));
  for (int k = 1; k <= nSeg_; ++k) {
    const int ip = n_ + 1 - 2 * k;
    const int node = AddNode(work_.pts(ip), ip);
    F_.v.push_back({work_.pts(ip), node, WallFactor(work_.pts(ip), work_.pfac(ip)), 0.0, false});
  }
  for (int i = 0; i < F_.size(); ++i) F_.angle(i);
  double area2 = 0.0;
  for (int i = 0; i < F_.size(); ++i) {
    const Point2 &a = F_.v[i].p, &b = F_.v[F_.next(i)].p;
    area2 += a[0] * b[1] - b[0] * a[1];
  }
  Require(area2 > 0.0, "GenerateBlock: block outline must run clockwise (OrientOutline with sense 1)");
  int e1 = 0, e2 = 0;
  // The crossing is found before the message is built: it names the points.
  const bool crosses = FrontCrossesItself(F_, e1, e2);
  Require(!crosses, "GenerateBlock: block outline crosses itself between points " + std::to_string(n_ + 1 - 2 * e1) +
                        " and " + std::to_string(n_ + 1 - 2 * e2));
}

void FrontMesher::ResetRules() {
  relax_ = 1.0;
  allowCut_ = 1;
  angleRule_ = 1;
  failures_ = 0;
  ClearSkips();
}

// Refinement factor of a new point from the outline points nearby.
double FrontMesher::PointFactor(const Point2& p) const {
  const double R = 2.5 * h_;
  double best = 0.0;
  for (int j = 1; j <= n_; ++j) {
    const double pf = work_.pfac(j);
    if (pf <= 1.0) continue;
    const double d2 = Dist2(p, work_.pts(j));
    if (d2 >= R * R) continue;
    const double w = (R - std::sqrt(d2)) / R;
    const double w3 = w * w * w;
    best = std::max(best, (pf - 1.0) * w3 * w3);
  }
  return WallFactor(p, 1.0 + best);
}

// Factor f raised to h / (wall bound at p) where that ratio exceeds 1.
double FrontMesher::WallFactor(const Point2& p, double f) const {
  if (work_.wall == nullptr || work_.wall->Empty()) return f;
  const double w = h_ / WallSize(*work_.wall, p);
  return w > 1.0 ? std::max(f, w) : f;
}

// Cuts front vertex i off with the triangle (prev, i, next).
void FrontMesher::CutVertex(int i) {
  const int f = F_.prev(i), g = F_.next(i);
  AddTri(F_.v[f].node, F_.v[i].node, F_.v[g].node);
  F_.v.erase(F_.v.begin() + i);
  const int fi = i == 0 ? F_.size() - 1 : i - 1;  // f after the erase
  const int gi = fi == F_.size() - 1 ? 0 : fi + 1;
  F_.angle(fi);
  F_.angle(gi);
  F_.v[fi].skip = false;
  F_.v[gi].skip = false;
}

// Front vertex of the smallest angle among those not skipped, -1 if none.
int FrontMesher::SmallestAngle() const {
  int best = -1;
  double bestAng = 1000.0;
  for (int i = 0; i < F_.size(); ++i)
    if (!F_.v[i].skip && F_.v[i].ang < bestAng) {
      bestAng = F_.v[i].ang;
      best = i;
    }
  return best;
}

// Closes a small front by a fan around its centroid when every fan
// triangle is positive and the centroid lies inside the front.
bool FrontMesher::CentroidClose() {
  Point2 c = {0.0, 0.0};
  for (const auto& fv : F_.v) {
    c[0] += fv.p[0];
    c[1] += fv.p[1];
  }
  c[0] /= F_.size();
  c[1] /= F_.size();
  for (int i = 0; i < F_.size(); ++i)
    if (Cross(F_.v[i].p, F_.v[F_.next(i)].p, c) <= eps_) return false;
  const int node = AddNode(c, 0);
  for (int i = 0; i < F_.size(); ++i) AddTri(F_.v[i].node, F_.v[F_.next(i)].node, node);
  F_.v.clear();
  return true;
}

// Cuts the smallest-angle vertex among those whose cut keeps the front a
// simple polygon (such an ear always exists), preferring cuts under the
// strictest rules that any vertex meets.
void FrontMesher::CutBestEar() {
  int best = -1;
  for (const EarRules rules : {EarRules::kAll, EarRules::kCurved, EarRules::kPolygon}) {
    for (int i = 0; i < F_.size(); ++i)
      if ((best < 0 || F_.v[i].ang < F_.v[best].ang) && ValidEar(F_, i, eps_, rules)) best = i;
    if (best >= 0) break;
  }
  Require(best >= 0, "GenerateBlock: the advancing front could not be closed, front size " +
                         std::to_string(F_.size()));
  CutVertex(best);
}

// a. Small fronts made of outline vertices get an interior point first.
void FrontMesher::GuardSmallFront(int fs) {
  if (fs != 4 && fs != 5) return;
  int onOutline = 0;
  for (int i = 0; i < fs; ++i) onOutline += IsOutline(i) ? 1 : 0;
  if (onOutline == 4 || onOutline == 5) allowCut_ = 0;
  if (onOutline == fs - 1)
    for (int i = 0; i < fs; ++i) F_.v[i].skip = !IsOutline(i);
}

// b. Smallest angle, passing over vertices whose cut would run next to a
// strongly refined reflex vertex; -1 when every vertex is excluded.
int FrontMesher::ChooseVertex(int fs) {
  int d = -1;
  for (;;) {
    d = SmallestAngle();
    if (d < 0 || fs < 7 || angleRule_ != 1) break;
    const int f = F_.prev(d), g = F_.next(d);
    const int f2 = F_.prev(f), g2 = F_.next(g);
    const Point2 mid = {0.5 * (F_.v[f].p[0] + F_.v[g].p[0]), 0.5 * (F_.v[f].p[1] + F_.v[g].p[1])};
    bool blocked = false;
    for (int j = 0; j < fs && !blocked; ++j) {
      if (j == d || j == f || j == g || j == f2 || j == g2) continue;
      const FrontVtx& vj = F_.v[j];
      if (vj.fac >= 2.0 && vj.ang >= 3.2) {
        const double r = 0.6 * h_ / vj.fac;
        blocked = Dist2(vj.p, mid) <= r * r;
      }
    }
    if (!blocked) break;
    F_.v[d].skip = true;
  }
  return d;
}

// Every vertex is excluded: count a failure and relax.
void FrontMesher::RelaxWithoutVertex(int fs) {
  ++failures_;
  if (angleRule_ == 0) {
    CutBestEar();
    angleRule_ = 1;
    ClearSkips();
  } else if (fs > 6) {
    if (aMin_ > kAMinLow) {
      aMin_ -= 0.1;
      failures_ = 0;
    } else {
      angleRule_ = 0;
    }
    ClearSkips();
  } else if (failures_ >= 10) {
    if (!CentroidClose()) earOnly_ = true;
  } else {
    ClearSkips();
  }
}

// c. Classification of vertex d: cut it off, or place a new point.
bool FrontMesher::WantsCut(int d, int fs) {
  const int f = F_.prev(d), g = F_.next(d);
  if (angleRule_ == 0) return true;
  if (allowCut_ == 0) return false;
  if (F_.v[d].ang > kANew) return false;
  if (F_.v[d].ang < kACut) return true;
  if (fs > 6 && IsOutline(f) && IsOutline(g)) {
    F_.v[d].fac *= 1.2;
    return false;
  }
  const double af = InteriorAngle(F_.v[F_.prev(f)].p, F_.v[f].p, F_.v[g].p);
  const double ag = InteriorAngle(F_.v[f].p, F_.v[g].p, F_.v[F_.next(g)].p);
  return std::min(af, ag) >= aMin_;
}

// e. New point on the bisector of the angle at d, at the local element size
// (a second try a little closer); true when it was placed.
bool FrontMesher::TryNewPoint(int d, int fs) {
  const int f = F_.prev(d), g = F_.next(d);
  const FrontVtx& vd = F_.v[d];
  const double D = std::min(static_cast<double>(static_cast<float>(std::sqrt(Dist2(vd.p, F_.v[f].p)))), h_ / vd.fac);
  const double theta = std::atan2(F_.v[g].p[1] - vd.p[1], F_.v[g].p[0] - vd.p[0]) + 0.5 * vd.ang;
  const double c = std::cos(theta), s = std::sin(theta);
  bool accepted = false;
  Point2 P{};
  for (int attempt = 0; attempt < 2 && !accepted; ++attempt) {
    const double dist = attempt == 0 ? D : 0.9 * D;
    const double clear = attempt == 0 ? 0.1 * D : 0.2 * D;
    P = {vd.p[0] + dist * c, vd.p[1] + dist * s};
    bool ok = true;
    for (int k = 0; k < fs && ok; ++k) ok = EdgeClearance(P, F_.v[k].p, F_.v[F_.next(k)].p) >= clear;
    if (ok) ok = std::fabs(Winding(F_, P)) >= 0.001;
    if (ok) ok = ValidInsertion(F_, d, P, eps_);
    accepted = ok;
  }
  if (!accepted) return false;
  const int node = AddNode(P, 0);
  AddTri(F_.v[f].node, F_.v[d].node, node);
  AddTri(F_.v[d].node, F_.v[g].node, node);
  F_.v[d] = {P, node, PointFactor(P), 0.0, false};
  F_.angle(f);
  F_.angle(d);
  F_.angle(g);
  ResetRules();
  return true;
}

// f. Failure (a rejected new point, or a cut that would cross the front):
// skip the vertex, then relax the cut quality, the smallest angle a cut may
// leave and finally the angle rule; a small front is closed by a fan or by
// ear cuts alone.
void FrontMesher::RelaxAfterFailure(int d, int fs) {
  const int before = failures_;
  ++failures_;
  if (fs > 6) {
    if (failures_ + 1 < fs / 2) {
      F_.v[d].skip = true;
    } else if (relax_ < 0.7) {
      relax_ -= 0.05;
    } else if (aMin_ > kAMinLow) {
      aMin_ -= 0.1;
      ClearSkips();
      failures_ = 0;
    } else {
      angleRule_ = 0;
      ClearSkips();
    }
  } else if (before >= 9) {
    if (!CentroidClose()) earOnly_ = true;
  } else {
    F_.v[d].skip = true;
  }
}

// Steps the front until three vertices remain, then closes it.
void FrontMesher::Advance() {
  const long maxIter = 200L * capacity_ + 10000L;
  long iter = 0;
  while (F_.size() > 3) {
    Require(++iter <= maxIter, "GenerateBlock: the advancing front could not be closed, front size " +
                                   std::to_string(F_.size()));
    const int fs = F_.size();
    if (earOnly_) {
      CutBestEar();
      continue;
    }
    GuardSmallFront(fs);
    const int d = ChooseVertex(fs);
    if (d < 0) {
      RelaxWithoutVertex(fs);
      continue;
    }
    if (WantsCut(d, fs)) {
      if (ValidEar(F_, d, eps_, EarRules::kAll)) {
        const bool wasCutOnly = angleRule_ == 0;
        CutVertex(d);
        // A cut forced by the relaxation does not keep the front in cut-only
        // mode: the next vertex may again receive a new point.
        if (wasCutOnly) angleRule_ = 1;
        continue;
      }
      if (angleRule_ == 0) {
        F_.v[d].skip = true;  // another vertex is an ear of the simple front
        continue;
      }
    } else if (TryNewPoint(d, fs)) {
      continue;
    }
    RelaxAfterFailure(d, fs);
  }
  if (F_.size() == 3) AddTri(F_.v[0].node, F_.v[1].node, F_.v[2].node);
}

// Corner nodes and triangles into the block mesh (nop rows 1..3).
void FrontMesher::Store() {
  Mesh2d& m = work_.blockMesh;
  m.ne = static_cast<int>(tri_.size());
  m.nh = static_cast<int>(xy_.size());
  m.np = m.nh;
  m.npe = 6;
  m.nve = 3;
  m.xy.assign(xy_.size());
  m.mark.assign(mark_.size());
  for (int i = 1; i <= m.nh; ++i) {
    m.xy(i) = xy_[static_cast<std::size_t>(i - 1)];
    m.mark(i) = mark_[static_cast<std::size_t>(i - 1)];
  }
  m.nop.assign(6, m.ne, 0);
  for (int e = 1; e <= m.ne; ++e)
    for (int k = 1; k <= 3; ++k) m.nop(k, e) = tri_[static_cast<std::size_t>(e - 1)][static_cast<std::size_t>(k - 1)];
  m.flag.clear();
}

}  // namespace

void TriangulateFront(BlockWork& work, const DivSpec& spec, int capacity) {
  const int n = work.n;
  const int nSeg = work.nSeg;
  Require(nSeg >= 3 && n == 2 * nSeg, "GenerateBlock: a block outline needs at least 3 segments, nSeg=" +
                                          std::to_string(nSeg));
  Require(nSeg <= capacity, "GenerateBlock: block outline of " + std::to_string(nSeg) +
                                " segments exceeds the block capacity of " + std::to_string(capacity) + " nodes");
  Require(spec.h0 > 0.0, "GenerateBlock: base element size must be positive");
  FrontMesher mesher(work, spec, capacity);
  mesher.StartFront();
  mesher.Advance();
  mesher.Store();
}

int SmoothInterior(Mesh2d& m, int nFixed, int maxPasses, const Vec1<Point2>* outline) {
  const int nCorner = CornerCount(m);
  if (nCorner <= nFixed) return 0;
  const NodeGraph g = BuildGraph(m, nCorner);
  const int n = outline ? outline->size() : 0;
  // Outline middle point of the element edge from corner a to corner b, 0
  // for a straight edge: the outline runs through the points of a and b
  // (numbers u and u-2, cyclic) and its middle point u-1 in between.
  auto middle = [&](int a, int b) {
    if (n == 0) return 0;
    const int u = m.mark(a), w = m.mark(b);
    if (u <= 0 || w <= 0 || w != (u == 1 ? n - 1 : u - 2)) return 0;
    return u == 1 ? n : u - 1;
  };
  // Element e is sound at positions xy: positive corner area, and with an
  // outline a positive Jacobian of its curved map everywhere.
  auto sound = [&](int e, const std::vector<Point2>& xy) {
    std::array<Point2, 6> p;
    for (int k = 0; k < 3; ++k) p[static_cast<std::size_t>(k)] = xy[static_cast<std::size_t>(m.nop(k + 1, e) - 1)];
    if (Cross(p[0], p[1], p[2]) <= 0.0) return false;
    if (n == 0) return true;
    bool curved = false;
    for (int k = 0; k < 3; ++k) {
      const int mid = middle(m.nop(k + 1, e), m.nop((k + 1) % 3 + 1, e));
      const Point2 &a = p[static_cast<std::size_t>(k)], &b = p[static_cast<std::size_t>((k + 1) % 3)];
      p[static_cast<std::size_t>(3 + k)] = mid ? (*outline)(mid) : Point2{0.5 * (a[0] + b[0]), 0.5 * (a[1] + b[1])};
      curved = curved || mid != 0;
    }
    return !curved || QuadJacobianMin(p) > 0.0;
  };
  std::vector<Point2> current(static_cast<std::size_t>(nCorner)), moved(static_cast<std::size_t>(nCorner));
  for (int i = 1; i <= nCorner; ++i) current[static_cast<std::size_t>(i - 1)] = m.xy(i);
  std::vector<char> wasSound(static_cast<std::size_t>(m.ne) + 1, 0);
  for (int e = 1; e <= m.ne; ++e) wasSound[static_cast<std::size_t>(e)] = sound(e, current) ? 1 : 0;
  int kept = 0;
  for (int pass = 1; pass <= maxPasses; ++pass) {
    for (int i = 1; i <= nCorner; ++i) {
      Point2 p = current[static_cast<std::size_t>(i - 1)];
      if (i > nFixed && g.degree(i) > 0) {
        p = {0.0, 0.0};
        for (const int* q = g.begin(i); q != g.end(i); ++q) {
          p[0] += current[static_cast<std::size_t>(*q - 1)][0];
          p[1] += current[static_cast<std::size_t>(*q - 1)][1];
        }
        p[0] /= g.degree(i);
        p[1] /= g.degree(i);
      }
      moved[static_cast<std::size_t>(i - 1)] = p;
    }
    bool folds = false;
    for (int e = 1; e <= m.ne && !folds; ++e) folds = wasSound[static_cast<std::size_t>(e)] && !sound(e, moved);
    if (folds) break;
    current.swap(moved);
    ++kept;
  }
  for (int i = nFixed + 1; i <= nCorner; ++i) m.xy(i) = current[static_cast<std::size_t>(i - 1)];
  return kept;
}

void AddMidsideNodes(BlockWork& work, int capacity) {
  Mesh2d& m = work.blockMesh;
  const int nCorner = CornerCount(m);
  // Edges of the elements (local edge k: 1 corners 1-2, 2: 2-3, 3: 3-1).
  const std::vector<EdgeUse> edges = SortedEdges(m);
  // Neighbour across every edge: nb[(e-1)*3 + k-1] = (element, local edge) or 0.
  std::vector<std::array<int, 2>> nb(static_cast<std::size_t>(3 * m.ne), {0, 0});
  for (std::size_t i = 0; i < edges.size();) {
    const std::size_t j = EdgeRunEnd(edges, i);
    Require(j - i <= 2, "GenerateBlock: an edge is shared by more than two elements");
    if (j - i == 2) {
      nb[static_cast<std::size_t>((edges[i].e - 1) * 3 + edges[i].k - 1)] = {edges[i + 1].e, edges[i + 1].k};
      nb[static_cast<std::size_t>((edges[i + 1].e - 1) * 3 + edges[i + 1].k - 1)] = {edges[i].e, edges[i].k};
    }
    i = j;
  }

  const int nEdges = [&] {
    int c = 0;
    for (std::size_t i = 0; i < edges.size(); ++i)
      if (i == 0 || edges[i].lo != edges[i - 1].lo || edges[i].hi != edges[i - 1].hi) ++c;
    return c;
  }();
  const int nh = nCorner + nEdges;
  Require(nh <= capacity, "GenerateBlock: block mesh needs " + std::to_string(nh) +
                              " nodes, more than its capacity of " + std::to_string(capacity));
  m.xy.resize(static_cast<std::size_t>(nh));
  m.mark.resize(static_cast<std::size_t>(nh), 0);
  for (int e = 1; e <= m.ne; ++e)
    for (int k = 4; k <= 6; ++k) m.nop(k, e) = 0;
  int next = nCorner;
  for (int e = 1; e <= m.ne; ++e)
    for (int k = 1; k <= 3; ++k) {
      if (m.nop(3 + k, e) != 0) continue;
      const int node = ++next;
      m.nop(3 + k, e) = node;
      const int a = m.nop(k, e), b = m.nop(k % 3 + 1, e);
      const auto& other = nb[static_cast<std::size_t>((e - 1) * 3 + k - 1)];
      if (other[0] != 0) {
        m.nop(3 + other[1], other[0]) = node;
        m.xy(node) = {0.5 * (m.xy(a)[0] + m.xy(b)[0]), 0.5 * (m.xy(a)[1] + m.xy(b)[1])};
        m.mark(node) = 0;
      } else {
        const int u = m.mark(a);
        Require(u > 0 && u <= work.n && m.mark(b) > 0,
                "GenerateBlock: a boundary edge does not join two outline points, nodes " + std::to_string(a) +
                    " and " + std::to_string(b));
        const int mid = u == 1 ? work.n : u - 1;
        m.xy(node) = work.pts(mid);
        m.mark(node) = mid;
        work.pnode(mid) = node;
      }
    }
  m.nh = nh;
  m.np = nCorner;
  m.npe = 6;
  m.nve = 3;
}

void BuildBlock(const Outline& outline, int c1, int c2, BlockWork& work, int capacity, const WallBound* wall,
                double images) {
  DivSpec spec;
  spec.c1 = c1;
  spec.c2 = c2;
  spec.images = images;
  PrepareBlock(outline, work, spec);
  BoundaryFactors(outline, work);
  work.wall = wall;
  GenerateBlock(work, spec, capacity);
}

void GenerateBlock(BlockWork& work, const DivSpec& spec, int capacity) {
  TriangulateFront(work, spec, capacity);
  SmoothInterior(work.blockMesh, work.nSeg, 10, &work.pts);
  RenumberCorners(work.blockMesh);
  AddMidsideNodes(work, capacity);
  if (UnfoldCorners(work.blockMesh, /*finalColumns=*/false) == 0) return;
  // An element that stays folded would be an inverted element of every
  // volume mesh built on this block.
  const Mesh2d& m = work.blockMesh;
  for (int e = 1; e <= m.ne; ++e) {
    const std::array<Point2, 6> p = {m.xy(m.nop(1, e)), m.xy(m.nop(2, e)), m.xy(m.nop(3, e)),
                                     m.xy(m.nop(4, e)), m.xy(m.nop(5, e)), m.xy(m.nop(6, e))};
    if (Cross(p[0], p[1], p[2]) > 0.0 && QuadJacobianMin(p) > 0.0) continue;
    const Point2 c = {(p[0][0] + p[1][0] + p[2][0]) / 3.0, (p[0][1] + p[1][1] + p[2][1]) / 3.0};
    Fatal("GenerateBlock: a curved element stays folded near (" + std::to_string(c[0]) + ", " + std::to_string(c[1]) +
          "): the block outline passes closer to another part of itself than its segments bulge; "
          "refine the outlines there or widen the gap");
  }
}
