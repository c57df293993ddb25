#include "mesh2d/gen_gr2d.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/console.h"
#include "core/fatal.h"
#include "mesh2d/block_mesh.h"
#include "mesh2d/block_ops.h"
#include "mesh2d/geometry2d.h"
#include "mesh2d/run_gr_2d.h"
#include "mesh2d/measures.h"
#include "mesh2d/mirror_section.h"
#include "mesh2d/resample.h"

void Gen2dBlock(Outline& outline, int c1, int c2, Mesh2d& sect, double images) {
  if (c1 == 0 || c2 == 0) c1 = c2 = 32;
  constexpr int kCapacity = 3500;
  OrientOutline(1, outline);
  DivSpec spec;
  spec.c1 = c1;
  spec.c2 = c2;
  spec.images = images;
  Vec1<double> f(kMaxOutlinePoints, 0.0);
  OutlineFactors(spec, outline, f);
  for (double& v : f) v = std::pow(v, static_cast<double>(0.2f));
  Outline resampled;
  RedistributeOutline(outline, f, spec, resampled);

  BlockWork work;
  BuildBlock(resampled, c1, c2, work, kCapacity, nullptr, images);
  Mesh2d mesh = std::move(work.blockMesh);
  for (int i = 1; i <= resampled.n; ++i) resampled.mark(i) = 0;
  FlagMesh(mesh, resampled);
  SmoothMesh(mesh);

  sect = Mesh2d{};
  sect.ne = mesh.ne;
  sect.nh = mesh.nh;
  sect.np = mesh.np;
  sect.npe = 6;
  sect.nve = 3;
  sect.xy = mesh.xy;
  sect.nop = mesh.nop;
  sect.mark = mesh.mark;
  sect.flag.assign(static_cast<std::size_t>(sect.nh), 0);
  const double tol = static_cast<double>(0.001f);
  for (int i = 1; i <= sect.nh; ++i) {
    const bool corner = i <= sect.np;
    bool onOutline = false;
    for (int p = 1; p <= resampled.n && !onOutline; ++p)
      onOutline = std::hypot(sect.xy(i)[0] - resampled.pts(p)[0], sect.xy(i)[1] - resampled.pts(p)[1]) < tol;
    sect.flag(i) = static_cast<int8_t>(corner ? (onOutline ? 65 : 64) : (onOutline ? 1 : 0));
  }
  sect.Tnew.assign(static_cast<std::size_t>(sect.nh), 0.0);
  sect.Told.assign(static_cast<std::size_t>(sect.nh), 0.0);
  sect.Twork.assign(static_cast<std::size_t>(sect.nh), 0.0);
  sect.area = 0.0;
  for (int e = 1; e <= sect.ne; ++e)
    sect.area += HeronArea(sect.xy(std::abs(sect.nop(1, e))), sect.xy(std::abs(sect.nop(2, e))),
                           sect.xy(std::abs(sect.nop(3, e))));
}

void SquareBox(const Mesh2d& m, Fix1<double, 4>& box) {
  if (m.nh == 0) return;
  double xmin, xmax, ymin, ymax;
  MeshBox(m, xmin, xmax, ymin, ymax);
  const double e = 0.1 * ((xmax - xmin) + (ymax - ymin)) / 2.0;
  const double L = std::max(xmax - xmin + 2 * e, ymax - ymin + 2 * e);
  box(1) = xmin - e;
  box(2) = xmin - e + L;
  box(3) = ymin - e;
  box(4) = ymin - e + L;
}

void gen_gr2d(int iVar, SectionSet& sections) {
  int k = 3;
  while (k >= 1 && (sections.Outlines.size() < k || sections.Outlines(k).n < 4)) --k;
  Require(k >= 1, "gen_gr2d: variant " + std::to_string(iVar) + " has no outline to mesh the working section");
  const Outline& src = sections.Outlines(k);

  // A closing point that repeats its predecessor (or the first point) is
  // dropped, so that the outline keeps whole quadratic segments.
  const double tiny = static_cast<double>(1.0e-5f);
  std::vector<Point2> pts;
  for (int i = 1; i <= src.n; ++i) {
    const Point2& p = src.pts(i);
    if (!pts.empty() && std::hypot(p[0] - pts.back()[0], p[1] - pts.back()[1]) < tiny) continue;
    pts.push_back(p);
  }
  while (pts.size() > 2 && std::hypot(pts.back()[0] - pts.front()[0], pts.back()[1] - pts.front()[1]) < tiny)
    pts.pop_back();
  pts.resize(pts.size() - pts.size() % 2);
  Outline local = OutlineFromPoints(pts);

  Console(TextLine("    Run_3d>>gen_gr2d, start, iVar=") << iVar);
  if (sections.Sect2d.size() < 1) sections.Sect2d.assign(1);
  const int axes = MirrorAxes({local});
  Outline part;
  if (axes != 0 && MirrorPart(local, axes, part)) {
    Mesh2d half, whole;
    Gen2dBlock(part, 48, 48, half, axes == (kMirrorX | kMirrorY) ? 4.0 : 2.0);
    MirrorMesh(half, axes, whole);
    // Flags of the whole mesh from its boundary edges (the axes inside),
    // area and temperature arrays as for one block.
    FlagBoundaryEdges(whole);
    whole.area = 0.0;
    for (int e = 1; e <= whole.ne; ++e)
      whole.area += HeronArea(whole.xy(std::abs(whole.nop(1, e))), whole.xy(std::abs(whole.nop(2, e))),
                              whole.xy(std::abs(whole.nop(3, e))));
    whole.Tnew.assign(static_cast<std::size_t>(whole.nh), 0.0);
    whole.Told.assign(static_cast<std::size_t>(whole.nh), 0.0);
    whole.Twork.assign(static_cast<std::size_t>(whole.nh), 0.0);
    sections.Sect2d(1) = std::move(whole);
  } else {
    Gen2dBlock(local, 48, 48, sections.Sect2d(1));
  }
  SquareBox(sections.Sect2d(1), sections.Box2d);
  Console(TextLine("    Run_3d>>gen_gr2d, ok, iVar=") << iVar);
}
