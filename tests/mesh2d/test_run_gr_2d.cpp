#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>

#include "mesh2d/gen_gr2d.h"
#include "mesh2d/geometry2d.h"
#include "mesh2d/measures.h"
#include "mesh2d/mesh_check.h"
#include "mesh2d/mirror_section.h"
#include "mesh2d/outline_file.h"
#include "mesh2d/outline_shapes.h"
#include "mesh2d/run_gr_2d.h"
#include "mesh2d/section_file.h"
#include "support/profile_fixtures.h"
#include "support/scratch.h"

namespace {

// Area enclosed by a piecewise quadratic outline, from a fine polygon
// through its segments.
double EnclosedArea(const RawOutline& o) {
  const std::size_t n = o.x.size();
  double a = 0;
  double px = 0, py = 0;
  bool first = true;
  double fx = 0, fy = 0;
  for (std::size_t k = 0; k + 1 < n; k += 2) {
    const double x0 = o.x[k], y0 = o.y[k], x1 = o.x[k + 1], y1 = o.y[k + 1];
    const double x2 = o.x[(k + 2) % n], y2 = o.y[(k + 2) % n];
    for (int s = 0; s < 64; ++s) {
      const double t = -1.0 + 2.0 * s / 64;
      const double x = 0.5 * t * (t - 1) * x0 + (1 - t * t) * x1 + 0.5 * t * (t + 1) * x2;
      const double y = 0.5 * t * (t - 1) * y0 + (1 - t * t) * y1 + 0.5 * t * (t + 1) * y2;
      if (first) {
        fx = x, fy = y, first = false;
      } else {
        a += px * y - x * py;
      }
      px = x, py = y;
    }
  }
  a += px * fy - fx * py;
  return std::fabs(0.5 * a);
}

std::vector<RawOutline> Parse(const Fixture& f) {
  std::string err;
  auto out = ParseOutlineDescription(f.name, f.outlines, err);
  EXPECT_TRUE(err.empty()) << err;
  return out;
}

// Runs the cross-section driver on a fixture and reads its file back: the
// file holds exactly the meshes the driver handed to the variant record.
InpDat RunFixture(const Fixture& f, int meshLevel = 2) {
  const std::string dir = ScratchDir("gr2d").string() + "/";
  InpDat d;
  d.setup.FileOutline = dir + f.name + ".olf";
  d.setup.File2d = dir + f.name + ".f2d";
  d.setup.ProfType = f.profType;
  d.setup.MeshLevel = static_cast<int8_t>(meshLevel);
  EXPECT_TRUE(WriteOutlineFile(d.setup.FileOutline, Parse(f)));
  Run_gr_2d(d.setup, d.sections);
  const Vec1<Mesh2d> handed = d.sections.Pieces2d;
  ReadSection2d(d.setup, d.sections);
  EXPECT_EQ(handed.size(), d.sections.Pieces2d.size());
  for (int k = 1; k <= handed.size() && k <= d.sections.Pieces2d.size(); ++k) {
    const Mesh2d &a = handed(k), &b = d.sections.Pieces2d(k);
    EXPECT_TRUE(a.ne == b.ne && a.nh == b.nh && a.np == b.np && a.area == b.area && a.Krit == b.Krit) << k;
    EXPECT_TRUE(a.xy.v == b.xy.v && a.flag.v == b.flag.v && a.nop.v == b.nop.v && a.mark.v == b.mark.v) << k;
    EXPECT_TRUE(a.Tnew.v == b.Tnew.v && a.Told.v == b.Told.v && a.Twork.v == b.Twork.v && a.Pot.v == b.Pot.v) << k;
  }
  return d;
}

// True when every node of `inner` has a node of `outer` at the same place.
int MissingNodes(const Mesh2d& inner, const Mesh2d& outer) {
  int missing = 0;
  for (int i = 1; i <= inner.nh; ++i) {
    bool found = false;
    for (int j = 1; j <= outer.nh && !found; ++j)
      found = std::hypot(inner.xy(i)[0] - outer.xy(j)[0], inner.xy(i)[1] - outer.xy(j)[1]) < 1e-6;
    missing += !found;
  }
  return missing;
}

// Largest distance from the reflection of a node (about the x axis for
// kMirrorX, the y axis for kMirrorY) to the nearest node, and largest
// relative area difference between an element and the element nearest to
// its reflected centroid.
void MirrorMismatch(const Mesh2d& m, int axis, double& node, double& area) {
  const double sx = axis == kMirrorY ? -1.0 : 1.0, sy = -sx;
  auto centroid = [&](int e, double& a) {
    const Point2 &p = m.xy(m.nop(1, e)), &q = m.xy(m.nop(2, e)), &r = m.xy(m.nop(3, e));
    a = 0.5 * std::fabs((q[0] - p[0]) * (r[1] - p[1]) - (r[0] - p[0]) * (q[1] - p[1]));
    return Point2{(p[0] + q[0] + r[0]) / 3, (p[1] + q[1] + r[1]) / 3};
  };
  node = area = 0.0;
  for (int i = 1; i <= m.nh; ++i) {
    double best = 1e300;
    for (int j = 1; j <= m.nh; ++j)
      best = std::min(best, std::hypot(sx * m.xy(i)[0] - m.xy(j)[0], sy * m.xy(i)[1] - m.xy(j)[1]));
    node = std::max(node, best);
  }
  for (int e = 1; e <= m.ne; ++e) {
    double ae = 0, af = 0, best = 1e300;
    const Point2 c = centroid(e, ae);
    int match = e;
    for (int f = 1; f <= m.ne; ++f) {
      const Point2 g = centroid(f, af);
      const double dist = std::hypot(sx * c[0] - g[0], sy * c[1] - g[1]);
      if (dist < best) best = dist, match = f;
    }
    centroid(match, af);
    area = std::max(area, std::fabs(af - ae) / ae);
  }
}

}  // namespace

// Every fixture meshes soundly; a section symmetric about an axis (found as
// such) gets meshes that its reflection maps onto themselves.
TEST(Run_gr_2d, FixtureSectionsAreSoundCoverTheirOutlinesAndNest) {
  const std::map<std::string, int> symmetric = {{"round", kMirrorX | kMirrorY},  {"strip", kMirrorX | kMirrorY},
                                                {"square", kMirrorX | kMirrorY}, {"channel", kMirrorY}, {"tee", kMirrorY},
                                                {"threezone", kMirrorX | kMirrorY}, {"tube", kMirrorX | kMirrorY},
                                                {"twoholes", kMirrorY}, {"fourholes", kMirrorX | kMirrorY}};
  for (const Fixture& f : Fixtures()) {
    SCOPED_TRACE(f.name);
    const InpDat d = RunFixture(f);
    const std::vector<RawOutline> raw = Parse(f);
    std::vector<Outline> read;
    for (const RawOutline& r : raw) {
      std::vector<Point2> pts;
      for (std::size_t i = 0; i < r.x.size(); ++i) pts.push_back({r.x[i], r.y[i]});
      read.push_back(OutlineFromPoints(pts));
    }
    const int axes = symmetric.count(f.name) ? symmetric.at(f.name) : 0;
    EXPECT_EQ(f.profType == 7 ? LayoutMirrorAxes(read, 2) : MirrorAxes(read), axes);
    ASSERT_EQ(d.sections.Pieces2d.size(), static_cast<int>(f.expected.size()));
    for (int k = 1; k <= d.sections.Pieces2d.size(); ++k) {
      const Mesh2d& m = d.sections.Pieces2d(k);
      std::printf("[ %-9s ] mesh %d: nh=%d ne=%d Krit=%.3f area=%.2f\n", f.name.c_str(), k, m.nh, m.ne, m.Krit, m.area);
      ASSERT_GT(m.ne, 0) << "mesh " << k;
      EXPECT_LT(m.Krit, 1000.0) << "mesh " << k;
      const auto findings = CheckMesh(m);
      EXPECT_TRUE(findings.empty()) << "mesh " << k << "\n" << FormatFindings(findings);
      double want = 0;
      for (int o : f.expected[static_cast<std::size_t>(k - 1)])
        if (o != 0) want += (o > 0 ? 1 : -1) * EnclosedArea(raw[static_cast<std::size_t>(std::abs(o) - 1)]);
      if (want > 0) {
        EXPECT_NEAR(m.area, want, 0.01 * want) << "mesh " << k;
      }
      EXPECT_NEAR(m.area, MeshArea(m), 1e-9 * m.area);
      // A die's holes map onto one another: the whole section maps onto itself.
      for (const int axis : {kMirrorX, kMirrorY}) {
        if (!(axes & axis) || (f.profType == 7 && k < d.sections.Pieces2d.size())) continue;
        double node = 0, area = 0;
        MirrorMismatch(m, axis, node, area);
        EXPECT_LT(node, 1e-9) << "mesh " << k << " axis " << axis;
        EXPECT_LT(area, 1e-9) << "mesh " << k << " axis " << axis;
      }
    }
    // Nested meshes share their nodes: every mesh is contained in the last.
    const Mesh2d& last = d.sections.Pieces2d(d.sections.Pieces2d.size());
    for (int k = 1; k < d.sections.Pieces2d.size(); ++k) EXPECT_EQ(MissingNodes(d.sections.Pieces2d(k), last), 0) << "mesh " << k;
  }
}

// Symmetric sections whose half has a re-entrant inner arc (the flanges of a
// tee and an I-beam hide the middle of the arc from the ring): the cut of
// the region around the half stays inside it at every level.
TEST(Run_gr_2d, ReentrantHalfSectionsMeshAtEveryLevel) {
  const Fixture ibeam{"ibeam",
                      "outline WPIECE\npolygon -20 -30 20 -30 20 -25 2 -25 2 25 20 25 20 30 -20 30 -20 25 -2 25 -2 -25 "
                      "-20 -25\noutline RING1\ncircle 0 0 84 16\noutline CONT2\ncircle 0 0 120 24\n",
                      1, {{1}, {3}}};
  for (const Fixture* f : {&FixtureNamed("tee"), &ibeam})
    for (const int level : {1, 3, 4}) {
      SCOPED_TRACE(f->name + " level " + std::to_string(level));
      const InpDat d = RunFixture(*f, level);
      for (int k = 1; k <= d.sections.Pieces2d.size(); ++k) {
        const Mesh2d& m = d.sections.Pieces2d(k);
        EXPECT_TRUE(CheckMesh(m).empty()) << "mesh " << k;
        double node = 0, area = 0;
        MirrorMismatch(m, kMirrorY, node, area);
        EXPECT_LT(node + area, 1e-9) << "mesh " << k;
      }
    }
}

TEST(Run_gr_2d, DensityLevels) {
  int S = 0, R = 0;
  DivisionCounts(0, S, R);
  EXPECT_EQ(S, 32);
  EXPECT_EQ(R, 12);
  DivisionCounts(7, S, R);
  EXPECT_EQ(S, 32);
  DivisionCounts(1, S, R);
  EXPECT_EQ(S, 16);
  EXPECT_EQ(R, 8);
  DivisionCounts(5, S, R);
  EXPECT_EQ(S, 28);
  // The multi-outline layout meshes at level 2 whatever the input says: the
  // same file gives the same meshes at level 5 and level 2.
  const Fixture& holes = Fixtures().back();
  const InpDat a = RunFixture(holes, 5), b = RunFixture(holes, 2);
  EXPECT_EQ(a.sections.Pieces2d(3).nh, b.sections.Pieces2d(3).nh);
  EXPECT_EQ(a.sections.nPiecesB, 3);
  // The two holes, mirror images about the y axis, get mirrored meshes.
  Mesh2d image;
  ReflectMesh(a.sections.Pieces2d(1), kMirrorY, image);
  EXPECT_EQ(MissingNodes(image, a.sections.Pieces2d(2)) + MissingNodes(a.sections.Pieces2d(2), image), 0);
  EXPECT_EQ(a.sections.nPiecesA, 2);
}

TEST(gen_gr2d, WorkingSectionAndBox) {
  const InpDat base = RunFixture(Fixtures().front());
  InpDat d = base;
  d.sections.Sect2d.assign(1);
  gen_gr2d(1, d.sections);
  const Mesh2d& s = d.sections.Sect2d(1);
  EXPECT_TRUE(CheckMesh(s).empty()) << FormatFindings(CheckMesh(s));
  EXPECT_NEAR(s.area, M_PI * 50 * 50, 0.02 * M_PI * 2500);
  EXPECT_EQ(s.Tnew.size(), s.nh);
  for (const int axis : {kMirrorX, kMirrorY}) {  // a round container: meshed by quarters
    double node = 0, area = 0;
    MirrorMismatch(s, axis, node, area);
    EXPECT_LT(node + area, 1e-9) << "axis " << axis;
  }
  // Square box with a margin of a tenth of the mean extent.
  EXPECT_NEAR(d.sections.Box2d(2) - d.sections.Box2d(1), d.sections.Box2d(4) - d.sections.Box2d(3), 1e-12);
  EXPECT_NEAR(d.sections.Box2d(2) - d.sections.Box2d(1), 120.0, 0.5);

  // A 10 x 2 rectangle: margin 0.6, side 11.2.
  Mesh2d rect;
  rect.nh = 2;
  rect.xy.assign(2);
  rect.xy(1) = {0, 0};
  rect.xy(2) = {10, 2};
  Fix1<double, 4> box;
  SquareBox(rect, box);
  EXPECT_NEAR(box(1), -0.6, 1e-12);
  EXPECT_NEAR(box(2), -0.6 + 11.2, 1e-12);
  EXPECT_NEAR(box(3), -0.6, 1e-12);
  EXPECT_NEAR(box(4), -0.6 + 11.2, 1e-12);

  // A duplicated last point is dropped before meshing: the mesh is the same.
  InpDat dup = base;
  Outline& o = dup.sections.Outlines(3);
  o.pts.push_back(o.pts(o.n));
  o.mark.push_back(-1);
  o.n += 1;
  dup.sections.Sect2d.assign(1);
  gen_gr2d(1, dup.sections);
  EXPECT_EQ(dup.sections.Sect2d(1).nh, s.nh);
  EXPECT_TRUE(CheckMesh(dup.sections.Sect2d(1)).empty());
}
