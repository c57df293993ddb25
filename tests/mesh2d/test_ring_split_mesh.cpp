// Split halves through the block mesher: both halves mesh without degenerate
// elements, cover the region's area, and merge into a conforming mesh whose
// shared nodes are exactly the cut-line points.

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

// Resampled (S = 20) circle, or 40 x 4 strip when r = 0, centred at (cx, 0).
Outline Resampled(double cx, double r) {
  Outline raw;
  for (int k = 0; k < 32; ++k)
    raw.pts.push_back({cx + r * std::cos(kPi * k / 16), r * std::sin(kPi * k / 16)});
  if (r == 0.0) raw.pts.v = {{-20, -2}, {0, -2}, {20, -2}, {20, 0}, {20, 2}, {0, 2}, {-20, 2}, {-20, 0}};
  raw.n = raw.pts.size();
  raw.nSeg = raw.n / 2;
  raw.mark.assign(raw.pts.size(), -1);
  DivSpec spec;
  spec.c1 = spec.c2 = 20;
  Outline out;
  ResampleOutline(1, raw, out, spec);
  return out;
}

Mesh2d MeshHalf(const Outline& half, int pair) {  // mesh, flag, smooth
  BlockWork work;
  BuildBlock(half, pair, pair, work);
  FlagMesh(work.blockMesh, half);
  SmoothMesh(work.blockMesh);
  return work.blockMesh;
}

void ExpectMeshableHalves(const Outline& h1, const Outline& h2, double exactArea, int pair) {
  const Mesh2d m1 = MeshHalf(h1, pair), m2 = MeshHalf(h2, pair);
  EXPECT_LT(MeshKrit(m1), 10.0);
  EXPECT_LT(MeshKrit(m2), 10.0);
  EXPECT_NEAR(MeshArea(m1) + MeshArea(m2), exactArea, 0.01 * exactArea);
  Mesh2d c;
  MergeCount(m1, m2, c);
  MergeMeshes(m1, m2, c);
  int shared = 0;
  for (int i = 1; i <= h1.n; ++i)
    for (int j = 1; j <= h2.n; ++j) shared += h1.pts(i) == h2.pts(j);
  EXPECT_EQ(m1.nh + m2.nh - c.nh, shared);
  MeshCheckLimits limits;
  limits.flags = false;
  const auto findings = CheckMesh(c, limits);
  EXPECT_TRUE(findings.empty()) << FormatFindings(findings);
}

}  // namespace

TEST(SplitMesh, RingAndPiecesMeshAndMergeConforming) {
  Outline h1, h2;
  SplitRing(Resampled(0, 10), Resampled(0, 20), h1, h2);
  ExpectMeshableHalves(h1, h2, kPi * 300.0, 24);
  SplitRing(Resampled(0, 0), Resampled(0, 30), h1, h2);
  ExpectMeshableHalves(h1, h2, kPi * 900.0 - 160.0, 24);
  Vec1<Outline> outl(5);
  outl(3) = Resampled(0, 50);
  outl(1) = Resampled(-20, 8);
  outl(2) = Resampled(22, 8);
  SplitAround(3, Fix1<int8_t, 5>{{3, 2, 1}}, outl, h1, h2);
  ExpectMeshableHalves(h1, h2, kPi * (2500.0 - 128.0), 50);
}
