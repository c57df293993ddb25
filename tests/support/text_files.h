#pragma once
// Whole text files and lines of text in the tests: read, write, split into
// lines, and one input line replaced.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

// The bytes of a file; empty when it cannot be opened.
inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Creates or replaces a file with `text`.
inline void WriteFile(const std::filesystem::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

// The lines of a text, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// `text` with its first line (after the first) that starts with `prefix`
// replaced by `line`; a test failure when there is none.
inline std::string ReplaceLine(std::string text, const std::string& prefix, const std::string& line) {
  const std::size_t pos = text.find("\n" + prefix);
  EXPECT_NE(pos, std::string::npos) << prefix;
  if (pos == std::string::npos) return text;
  const std::size_t end = text.find('\n', pos + 1);
  return text.replace(pos + 1, end - pos - 1, line);
}

// Replaces lines of the file `p` in place: each pair is the start of a line
// and its replacement, applied in order as ReplaceLine does.
inline void EditLines(const std::filesystem::path& p, const std::vector<std::pair<std::string, std::string>>& edits) {
  std::string text = ReadFile(p);
  for (const auto& [prefix, line] : edits) text = ReplaceLine(text, prefix, line);
  WriteFile(p, text);
}
