#include "core/console.h"

#include <cmath>

TextLine::TextLine(std::string_view text) : text_(" ") { text_.append(text); }

TextLine& TextLine::operator<<(std::string_view text) {
  text_.append(text);
  return *this;
}

TextLine& TextLine::operator<<(int32_t value) {
  text_.append(std::to_string(value));
  return *this;
}

TextLine& TextLine::operator<<(int64_t value) {
  text_.append(std::to_string(value));
  return *this;
}

TextLine& TextLine::operator<<(double value) {
  text_.append(FormatReal(value));
  return *this;
}

std::string FormatReal(double value, int digits) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.*g", digits, value);
  return buf;
}

void Console(const TextLine& line) {
  std::string out = line.str();
  out.push_back('\n');
  std::fputs(out.c_str(), stdout);
  std::fflush(stdout);
}

void LogLine(std::FILE* log, const TextLine& line) {
  if (log == nullptr) return;
  std::string out = line.str();
  out.push_back('\n');
  std::fputs(out.c_str(), log);
  // Written through at once, so that the log can be followed while the
  // variant runs and keeps every line written before a stop.
  std::fflush(log);
}
