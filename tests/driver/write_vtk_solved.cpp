// Runs the bundled example to its final result file in the current
// directory (two coupled iterations on the coarse meshes of level 1, to keep
// the check short: the distortion estimate warps the wedges' side faces at
// any level) and prints the corner-node and wedge counts of its flow mesh on
// the last line, for the legacy-reader check of the final result file.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "driver/variant_steps.h"

namespace fs = std::filesystem;

int main() {
  for (const auto& e : fs::directory_iterator(fs::path(KALMORA_EXAMPLES_DIR) / "round-bar"))
    fs::copy_file(e.path(), e.path().filename(), fs::copy_options::overwrite_existing);
  std::stringstream ss;
  ss << std::ifstream("indata.txt").rdbuf();
  std::string text = ss.str();
  const std::size_t pos = text.find("\n25                 MaxIter");
  if (pos == std::string::npos) return 1;
  text.replace(pos + 1, 2, "2 ");
  for (const char* level : {"\n2                  MeshLevel3d", "\n2                  MeshLevel:"}) {
    const std::size_t at = text.find(level);
    if (at == std::string::npos) return 1;
    text[at + 1] = '1';
  }
  std::ofstream("indata.txt") << text;
  auto run = std::make_unique<RunState>();
  auto tab = std::make_unique<ElementTables>();
  const int status = RunKalmora(*run, *tab);
  std::fflush(stdout);
  std::printf("%d %d\n", run->nodes(1).g.np, run->nodes(1).g.ne);
  return status;
}
