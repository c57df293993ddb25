#include "mesh2d/section_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <string>

#include "core/fatal.h"
#include "core/replace_file.h"
#include "input/freeformat.h"

namespace {

// Appends one mesh record; coordinates and measures with 17 significant
// digits so that the reader recovers the doubles exactly.
void AppendMesh(std::string& out, const Mesh2d& m) {
  char buf[160];
  std::snprintf(buf, sizeof buf, " %d %.17g %.17g\n", m.ne, m.area, m.Krit);
  out += buf;
  std::snprintf(buf, sizeof buf, " %d %d 0.0 0.0 0.0\n", m.np, m.nh);
  out += buf;
  for (int i = 1; i <= m.nh; ++i) {
    std::snprintf(buf, sizeof buf, " %d %.17g %.17g %d\n", i, m.xy(i)[0], m.xy(i)[1],
                  static_cast<int>(m.flag(i)));
    out += buf;
  }
  for (int e = 1; e <= m.ne; ++e) {
    std::snprintf(buf, sizeof buf, " %d %d %d %d %d %d\n", m.nop(1, e), m.nop(2, e), m.nop(3, e),
                  m.nop(4, e), m.nop(5, e), m.nop(6, e));
    out += buf;
  }
}

}  // namespace

Mesh2d SectionFileMesh(const Mesh2d& m) {
  Mesh2d c;
  c.ne = m.ne;
  c.nh = m.nh;
  c.np = m.np;
  c.area = m.area;
  c.Krit = m.Krit;
  c.xy = m.xy;
  c.flag = m.flag;
  c.nop = m.nop;
  c.mark.assign(static_cast<std::size_t>(m.nh), 0);
  c.Tnew.assign(static_cast<std::size_t>(m.nh), 0.0);
  c.Told.assign(static_cast<std::size_t>(m.nh), 0.0);
  c.Twork.assign(static_cast<std::size_t>(m.nh), 0.0);
  return c;
}

void WriteSectionFile(const std::string& path, const std::vector<const Mesh2d*>& meshes) {
  std::string out = " " + std::to_string(meshes.size()) + " 2\n";
  for (const Mesh2d* m : meshes) AppendMesh(out, *m);

  ReplaceFile(path, out, "the cross-section file");
}

namespace {

[[noreturn]] void BadValue(const FreeFormatFile& f, const std::string& what) {
  Fatal(f.name + ":" + std::to_string(f.next) + ": " + what);
}

}  // namespace

void ReadSection2d(const VariantSetup& setup, SectionSet& sections) {
  FreeFormatFile f;
  f.Open(setup.File2d, "cross-section file");

  int32_t M = 0;
  f.ReadInt(M, "number of meshes");
  if (M < 0) BadValue(f, "the number of meshes must not be negative, found " + std::to_string(M));
  // Every count is checked against the lines left in the file before it
  // sizes anything: a mesh takes at least two lines, a node or an element one.
  f.RequireLines(M, 2, f.LastLine(), "number of meshes");
  sections.Pieces2d.assign(static_cast<std::size_t>(M));

  for (int k = 1; k <= M; ++k) {
    Mesh2d& m = sections.Pieces2d(k);
    const std::string tag = " of mesh " + std::to_string(k);
    f.Read({IntTarget(m.ne, "element count" + tag), RealTarget(m.area, "area" + tag),
            RealTarget(m.Krit, "quality" + tag)});
    if (m.ne < 0) BadValue(f, "negative element count" + tag + ": " + std::to_string(m.ne));
    if (k <= 3) sections.Area2d(k) = m.area;
    f.Read({IntTarget(m.np, "corner node count" + tag), IntTarget(m.nh, "node count" + tag)});
    if (m.nh < 0 || m.np < 0 || m.np > m.nh)
      BadValue(f, "node counts" + tag + " must satisfy 0 <= np <= nh, found np=" + std::to_string(m.np) +
                      " nh=" + std::to_string(m.nh));
    f.RequireLines(int64_t{m.nh} + m.ne, 1, f.LastLine(), "node count plus element count" + tag);
    m.npe = 6;
    m.nve = 3;
    m.xy.assign(static_cast<std::size_t>(m.nh), Point2{0.0, 0.0});
    m.flag.assign(static_cast<std::size_t>(m.nh), 0);
    m.mark.assign(static_cast<std::size_t>(m.nh), 0);
    m.Tnew.assign(static_cast<std::size_t>(m.nh), 0.0);
    m.Told.assign(static_cast<std::size_t>(m.nh), 0.0);
    m.Twork.assign(static_cast<std::size_t>(m.nh), 0.0);
    m.nop.assign(6, m.ne, 0);
    for (int j = 1; j <= m.nh; ++j) {
      int32_t index = 0;
      int8_t flag = 0;
      f.Read({IntTarget(index, "node number" + tag), RealTarget(m.xy(j)[0], "x of a node" + tag),
              RealTarget(m.xy(j)[1], "y of a node" + tag), Int8Target(flag, "node flag" + tag)});
      m.flag(j) = flag;
    }
    for (int e = 1; e <= m.ne; ++e) {
      f.Read({IntTarget(m.nop(1, e), "node 1 of an element" + tag), IntTarget(m.nop(2, e), "node 2 of an element" + tag),
              IntTarget(m.nop(3, e), "node 3 of an element" + tag), IntTarget(m.nop(4, e), "node 4 of an element" + tag),
              IntTarget(m.nop(5, e), "node 5 of an element" + tag), IntTarget(m.nop(6, e), "node 6 of an element" + tag)});
      for (int a = 1; a <= 6; ++a) {
        const int64_t node = m.nop(a, e) < 0 ? -int64_t{m.nop(a, e)} : int64_t{m.nop(a, e)};
        if (node < 1 || node > m.nh)
          BadValue(f, "node number " + std::to_string(m.nop(a, e)) + " of element " + std::to_string(e) + tag +
                          " lies outside 1.." + std::to_string(m.nh));
      }
    }
  }
}
