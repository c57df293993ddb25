// Split halves through the block mesher: both halves of a ring mesh without
// degenerate elements, their meshes cover the ring's area, and the merged
// mesh is conforming along the cut lines (the halves' nodes coincide there).

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "mesh2d/block_mesh.h"
#include "mesh2d/block_ops.h"
#include "mesh2d/measures.h"
#include "mesh2d/mesh_check.h"
#include "mesh2d/resample.h"
#include "mesh2d/ring_split.h"

namespace {

constexpr double kPi = std::numbers::pi;

Outline Raw(const std::vector<Point2>& p) {
  Outline o;
  o.n = static_cast<int32_t>(p.size());
  o.nSeg = o.n / 2;
  o.pts.v = p;
  o.mark.assign(p.size(), -1);
  return o;
}

Outline RawCircle(double cx, double cy, double r, int nSeg) {
  std::vector<Point2> p;
  for (int k = 0; k < 2 * nSeg; ++k)
    p.push_back({cx + r * std::cos(kPi * k / nSeg), cy + r * std::sin(kPi * k / nSeg)});
  return Raw(p);
}

Outline RawRect(double w, double h) {
  return Raw({{-w / 2, -h / 2}, {0, -h / 2}, {w / 2, -h / 2}, {w / 2, 0}, {w / 2, h / 2}, {0, h / 2},
              {-w / 2, h / 2}, {-w / 2, 0}});
}

Outline Resampled(Outline raw, int S) {
  DivSpec spec;
  spec.c1 = spec.c2 = S;
  Outline out;
  ResampleOutline(1, raw, out, spec);
  return out;
}

// One half through the finishing order of a block: mesh, flag against its
// own marks, smooth.
Mesh2d MeshHalf(const Outline& half, int pair) {
  DivSpec spec;
  spec.c1 = spec.c2 = pair;
  BlockWork work;
  PrepareBlock(half, work, spec);
  BoundaryFactors(half, work);
  GenerateBlock(work, spec);
  FlagMesh(work.blockMesh, half);
  SmoothMesh(work.blockMesh);
  return work.blockMesh;
}

int SharedPoints(const Outline& a, const Outline& b) {
  int shared = 0;
  for (int i = 1; i <= a.n; ++i)
    for (int j = 1; j <= b.n; ++j) shared += a.pts(i) == b.pts(j);
  return shared;
}

// Meshes both halves, checks quality, area against `exactArea` (1%) and the
// conforming merge.
void ExpectMeshableHalves(const Outline& h1, const Outline& h2, double exactArea, int pair) {
  const Mesh2d m1 = MeshHalf(h1, pair), m2 = MeshHalf(h2, pair);
  EXPECT_LT(MeshKrit(m1), 1000.0);
  EXPECT_LT(MeshKrit(m2), 1000.0);
  EXPECT_NEAR(MeshArea(m1) + MeshArea(m2), exactArea, 0.01 * exactArea);
  Mesh2d c;
  MergeCount(m1, m2, c);
  MergeMeshes(m1, m2, c);
  // Every cut-line point (end points included) became one shared node.
  EXPECT_EQ(m1.nh + m2.nh - c.nh, SharedPoints(h1, h2));
  MeshCheckLimits limits;
  limits.flags = false;
  const auto findings = CheckMesh(c, limits);
  EXPECT_TRUE(findings.empty()) << FormatFindings(findings);
  EXPECT_NEAR(MeshArea(c), MeshArea(m1) + MeshArea(m2), 1e-9 * exactArea);
}

}  // namespace

TEST(SplitRingMesh, HalvesMeshAndMergeIntoTheRing) {
  {
    SCOPED_TRACE("concentric circles");
    const Outline in = Resampled(RawCircle(0, 0, 10, 16), 20), out = Resampled(RawCircle(0, 0, 20, 16), 20);
    Outline h1, h2;
    SplitRing(in, out, h1, h2);
    ExpectMeshableHalves(h1, h2, kPi * (400.0 - 100.0), 24);
  }
  {
    SCOPED_TRACE("off-centre inner circle");
    const Outline in = Resampled(RawCircle(5, 2, 8, 16), 20), out = Resampled(RawCircle(0, 0, 20, 16), 20);
    Outline h1, h2;
    SplitRing(in, out, h1, h2);
    ExpectMeshableHalves(h1, h2, kPi * (400.0 - 64.0), 24);
  }
  {
    SCOPED_TRACE("40 x 4 strip in a circle");
    const Outline in = Resampled(RawRect(40, 4), 20), out = Resampled(RawCircle(0, 0, 30, 16), 20);
    Outline h1, h2;
    SplitRing(in, out, h1, h2);
    ExpectMeshableHalves(h1, h2, kPi * 900.0 - 160.0, 24);
  }
}

TEST(SplitAroundMesh, TwoPiecesInAContainer) {
  Vec1<Outline> outl(5);
  outl(3) = Resampled(RawCircle(0, 0, 50, 16), 18);
  outl(1) = Resampled(RawCircle(-20, 0, 8, 16), 18);
  outl(2) = Resampled(RawRect(16, 10), 18);
  for (int k = 1; k <= outl(2).n; ++k) outl(2).pts(k)[0] += 20.0;
  Fix1<int8_t, 5> order{{3, 2, 1}};
  Outline h1, h2;
  SplitAround(3, order, outl, h1, h2);
  ExpectMeshableHalves(h1, h2, kPi * (2500.0 - 64.0) - 160.0, 50);
}
