#include "core/replace_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/fatal.h"

void ReplaceFile(const std::string& path, const std::string& text, const std::string& what) {
  const std::string tmp = path + ".tmp";
  const auto fail = [&](int err) {
    std::remove(tmp.c_str());
    Fatal(path + ": cannot write " + what + ": " + std::strerror(err != 0 ? err : EIO));
  };
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (f == nullptr) fail(errno);
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  const int writeErr = written ? 0 : errno;
  const bool closed = std::fclose(f) == 0;
  if (!written) fail(writeErr);
  if (!closed) fail(errno);
  if (std::rename(tmp.c_str(), path.c_str()) != 0) fail(errno);
}
