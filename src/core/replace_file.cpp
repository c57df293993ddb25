#include "core/replace_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/fatal.h"

namespace {

// Step of a scratch-file write that failed, with its errno.
struct WriteFailure {
  const char* step = nullptr;  // "open" or "write"; nullptr when the file is complete
  int err = 0;                 // errno of the failure (EIO when the library set none)
};

// Writes `text` to the scratch file `tmp` and closes it.  On failure the
// scratch file is removed.
WriteFailure WriteScratch(const std::string& tmp, const std::string& text) {
  const auto failed = [&](const char* step, int err) {
    std::remove(tmp.c_str());
    return WriteFailure{step, err != 0 ? err : EIO};
  };
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (f == nullptr) return failed("open", errno);
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  const int writeErr = written ? 0 : errno;
  const bool closed = std::fclose(f) == 0;
  if (!written) return failed("write", writeErr);
  if (!closed) return failed("write", errno);
  return {};
}

}  // namespace

void ReplaceFile(const std::string& path, const std::string& text, const std::string& what) {
  const std::string tmp = path + ".tmp";
  const auto fail = [&](int err) { Fatal(path + ": cannot write " + what + ": " + std::strerror(err)); };
  const WriteFailure w = WriteScratch(tmp, text);
  if (w.step != nullptr) fail(w.err);
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    const int err = errno != 0 ? errno : EIO;
    std::remove(tmp.c_str());
    fail(err);
  }
}

void ReplaceFiles(const std::vector<std::string>& paths, const std::string& text, const std::string& who) {
  std::vector<std::string> tmp;
  for (const std::string& p : paths) tmp.push_back(p + ".tmp");
  for (std::size_t k = 0; k < paths.size(); ++k) {
    const WriteFailure w = WriteScratch(tmp[k], text);
    if (w.step == nullptr) continue;
    for (std::size_t j = 0; j < k; ++j) std::remove(tmp[j].c_str());
    Fatal(who + ": cannot " + w.step + " " + tmp[k] + ": " + std::strerror(w.err));
  }
  for (std::size_t k = 0; k < paths.size(); ++k) {
    if (std::rename(tmp[k].c_str(), paths[k].c_str()) != 0) {
      const int err = errno;
      Fatal(who + ": cannot rename " + tmp[k] + " to " + paths[k] + ": " + std::strerror(err != 0 ? err : EIO));
    }
  }
}
