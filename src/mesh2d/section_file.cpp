#include "mesh2d/section_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/fatal.h"

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

void WriteSectionFile(const std::string& path, const std::vector<const Mesh2d*>& meshes) {
  std::string out = " " + std::to_string(meshes.size()) + " 2\n";
  for (const Mesh2d* m : meshes) AppendMesh(out, *m);

  const std::string tmp = path + ".part";
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (f == nullptr)
    Fatal(path + ": cannot write the cross-section file: " + std::strerror(errno));
  const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  const bool closed = std::fclose(f) == 0;
  if (!ok || !closed) {
    std::remove(tmp.c_str());
    Fatal(path + ": cannot write the cross-section file (disk full?)");
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    Fatal(path + ": cannot replace the cross-section file: " + std::strerror(errno));
  }
}
