#pragma once
// Scratch folders of the tests.
//
// Every call makes a new, empty folder with a unique name under the test
// temporary folder (mkdtemp), so that two runs of the suite at the same time,
// or two tests of one run, never write into each other's files.  The folders
// are removed when the test program that made them ends normally; a death
// test's child process, which ends through exit() as well, leaves them alone.
// Set KALMORA_KEEP_SCRATCH=1 to keep them for inspection.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

namespace scratch_detail {

struct Registry {
  std::mutex lock;
  std::vector<std::filesystem::path> dirs;
  pid_t owner = getpid();
  ~Registry() {
    const char* keep = std::getenv("KALMORA_KEEP_SCRATCH");
    if (getpid() != owner || (keep != nullptr && *keep != '\0' && *keep != '0')) return;
    std::error_code ec;
    for (const auto& d : dirs) std::filesystem::remove_all(d, ec);
  }
};

inline Registry& Dirs() {
  static Registry r;
  return r;
}

}  // namespace scratch_detail

// A fresh empty folder "<TempDir>/kalmora_<name>_XXXXXX".
inline std::filesystem::path ScratchDir(const std::string& name) {
  std::string pattern = (std::filesystem::path(::testing::TempDir()) / ("kalmora_" + name + "_XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror(("ScratchDir: cannot create " + pattern).c_str());
    std::abort();
  }
  auto& r = scratch_detail::Dirs();
  std::lock_guard<std::mutex> g(r.lock);
  r.dirs.emplace_back(pattern);
  return r.dirs.back();
}

// Path of a file `file` in a fresh scratch folder of its own.
inline std::string ScratchFile(const std::string& file) { return (ScratchDir("f") / file).string(); }

#ifdef KALMORA_EXAMPLES_DIR
// Copies the files of the bundled example examples/round-bar into `dir`.
inline void CopyExampleInto(const std::filesystem::path& dir) {
  for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(KALMORA_EXAMPLES_DIR) / "round-bar"))
    std::filesystem::copy_file(e.path(), dir / e.path().filename());
}

// A fresh scratch folder holding a copy of the bundled example.
inline std::filesystem::path ExampleScratch(const std::string& name) {
  const std::filesystem::path dir = ScratchDir(name);
  CopyExampleInto(dir);
  return dir;
}
#endif
