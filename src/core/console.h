#pragma once
// Progress and report lines.
//
// Every message is one line: a blank, a fixed text, then values in free
// format.  A line is built whole and then written with a single call, so
// lines of concurrent variant threads interleave but never mix.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

class TextLine {
 public:
  // Starts the line with one blank followed by `text`.
  explicit TextLine(std::string_view text = {});

  TextLine& operator<<(std::string_view text);
  TextLine& operator<<(const char* text) { return *this << std::string_view(text); }
  TextLine& operator<<(const std::string& text) { return *this << std::string_view(text); }
  TextLine& operator<<(int32_t value);
  TextLine& operator<<(int64_t value);
  TextLine& operator<<(double value);
  TextLine& operator<<(float value) { return *this << static_cast<double>(value); }

  [[nodiscard]] const std::string& str() const { return text_; }

 private:
  std::string text_;
};

// Free-format rendering of a real: up to `digits` significant digits,
// shortest form (printf %g); "NaN", "Infinity" or "-Infinity" for a value
// that is not finite.
std::string FormatReal(double value, int digits = 8);

// Writes the line (plus newline) to standard output in one call and flushes.
void Console(const TextLine& line);

// Writes the line (plus newline) to an open log stream in one call and
// flushes the stream.
void LogLine(std::FILE* log, const TextLine& line);
