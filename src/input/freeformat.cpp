#include "input/freeformat.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/console.h"
#include "core/fatal.h"

namespace {

struct Token {
  enum Kind { Value, Empty, Slash } kind;
  std::string text;  // value text (quotes removed)
  bool quoted = false;
  std::size_t end = 0;  // 0-based position just after the token in its line
};

// Splits one line into tokens.  Separators are blanks, tabs and commas; a
// comma that follows a comma (or opens the line) yields an empty value.
std::vector<Token> Tokenize(const std::string& line) {
  std::vector<Token> out;
  std::size_t i = 0;
  const std::size_t n = line.size();
  bool valueSinceComma = false;  // a value has been seen since the last comma
  bool anyComma = false;
  while (i < n) {
    const char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if (c == ',') {
      if (!valueSinceComma && (anyComma || out.empty())) out.push_back({Token::Empty, {}, false, i});
      valueSinceComma = false;
      anyComma = true;
      ++i;
      continue;
    }
    if (c == '/') {
      out.push_back({Token::Slash, {}, false, i + 1});
      return out;
    }
    if (c == '\'' || c == '"') {
      std::string s;
      ++i;
      while (i < n) {
        if (line[i] == c) {
          if (i + 1 < n && line[i + 1] == c) {  // doubled quote stands for one
            s.push_back(c);
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        s.push_back(line[i++]);
      }
      out.push_back({Token::Value, s, true, i});
      valueSinceComma = true;
      continue;
    }
    std::size_t j = i;
    while (j < n && line[j] != ' ' && line[j] != '\t' && line[j] != ',' && line[j] != '/' &&
           line[j] != '\r')
      ++j;
    out.push_back({Token::Value, line.substr(i, j - i), false, j});
    valueSinceComma = true;
    i = j;
  }
  return out;
}

const char* KindName(ValueKind k) {
  switch (k) {
    case ValueKind::Int32:
    case ValueKind::Int16:
    case ValueKind::Int8: return "an integer";
    case ValueKind::Real: return "a real";
    case ValueKind::Text: return "a character value";
  }
  return "a value";
}

[[noreturn]] void Bad(const FreeFormatFile& f, int line, const ReadTarget& t, const std::string& found) {
  f.FatalAt(line, std::string("expected ") + KindName(t.kind) + " (" + t.what + "), found " + found);
}

// True for an unsigned run of digits: the integer part of a decimal comma.
bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (const char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// Stores one token into its target; false when the token has the wrong type.
bool Store(const Token& tok, const ReadTarget& t, std::string& why) {
  if (t.kind == ValueKind::Text) {
    std::string s = tok.text;
    if (s.size() > kTextLen) s.resize(kTextLen);
    *static_cast<std::string*>(t.dest) = s;
    return true;
  }
  if (tok.quoted) return false;
  if (t.kind == ValueKind::Real) {
    double v;
    if (!ParseReal(tok.text, v)) return false;
    *static_cast<double*>(t.dest) = v;
    return true;
  }
  int64_t v;
  if (!ParseInt(tok.text, v)) return false;
  int64_t lo = INT32_MIN, hi = INT32_MAX;
  if (t.kind == ValueKind::Int16) lo = INT16_MIN, hi = INT16_MAX;
  if (t.kind == ValueKind::Int8) lo = INT8_MIN, hi = INT8_MAX;
  if (v < lo || v > hi) {
    why = " (out of range " + std::to_string(lo) + ".." + std::to_string(hi) + ")";
    return false;
  }
  switch (t.kind) {
    case ValueKind::Int32: *static_cast<int32_t*>(t.dest) = static_cast<int32_t>(v); break;
    case ValueKind::Int16: *static_cast<int16_t*>(t.dest) = static_cast<int16_t>(v); break;
    case ValueKind::Int8: *static_cast<int8_t*>(t.dest) = static_cast<int8_t>(v); break;
    default: break;
  }
  return true;
}

}  // namespace

bool ParseInt(std::string_view token, int64_t& value) {
  std::size_t i = 0;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) ++i;
  if (i == token.size() || token.size() > 19) return false;
  for (std::size_t j = i; j < token.size(); ++j)
    if (token[j] < '0' || token[j] > '9') return false;
  value = std::strtoll(std::string(token).c_str(), nullptr, 10);
  return true;
}

bool ParseReal(std::string_view token, double& value) {
  // Accept [sign] digits [. digits] [exponent letter [sign] digits], the
  // exponent letter E or D in either case; at least one mantissa digit.
  std::string s(token);
  std::size_t i = 0, digits = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    s[i] = 'e';
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t ed = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++ed;
    if (ed == 0) return false;
  }
  if (i != s.size()) return false;
  errno = 0;
  const double v = std::strtod(s.c_str(), nullptr);
  if (!std::isfinite(v)) return false;
  value = v;
  return true;
}

void FreeFormatFile::Open(const std::string& path, std::string_view role) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fatal(path + ": cannot open the " + std::string(role) + ": " + std::strerror(errno));
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) Fatal(path + ": cannot read the " + std::string(role));
  OpenText(path, ss.str());
}

void FreeFormatFile::OpenText(const std::string& display_name, std::string_view text) {
  name = display_name;
  lines.clear();
  next = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  roles.assign(lines.size(), std::string());
  roleKinds.assign(lines.size(), ' ');
}

void FreeFormatFile::Skip(int n, std::string_view what) {
  for (int k = 0; k < n; ++k) {
    if (next >= static_cast<int>(lines.size()))
      FatalAt(next + 1, "expected a line (" + std::string(what) + "), found end of file");
    roles[static_cast<std::size_t>(next)] = what;
    roleKinds[static_cast<std::size_t>(next)] = 's';
    ++next;
  }
}

void FreeFormatFile::FatalAt(int line, std::string_view message) const {
  const std::string text = name + ":" + std::to_string(line) + ": " + std::string(message);
  if (trial) throw FreeFormatStop{text};
  Fatal(text);
}

void FreeFormatFile::WarnAt(int line, std::string_view text) const {
  if (!trial) Console(TextLine(name + ":" + std::to_string(line) + ": warning: " + std::string(text)));
}

void FreeFormatFile::RequireLines(int64_t count, int64_t linesEach, int line, std::string_view what) const {
  if (count <= 0) return;
  const int64_t left = LinesLeft();
  // Compare by division: count * linesEach may exceed 64 bits for no count,
  // but stays exact this way for any count.
  if (count > left / std::max<int64_t>(linesEach, 1))
    FatalAt(line, std::string(what) + " is " + std::to_string(count) + ", but only " + std::to_string(left) +
                      " line(s) follow in the file (" + std::to_string(linesEach) + " per entry)");
}

void FreeFormatFile::Read(const std::vector<ReadTarget>& targets) {
  std::size_t k = 0;
  while (k < targets.size()) {
    if (next >= static_cast<int>(lines.size())) Bad(*this, next + 1, targets[k], "end of file");
    const int lineNo = next + 1;
    const std::string& line = lines[static_cast<std::size_t>(next)];
    const std::vector<Token> toks = Tokenize(line);
    roles[static_cast<std::size_t>(next)] = targets[k].what;
    roleKinds[static_cast<std::size_t>(next)] = targets[k].kind == ValueKind::Text ? 't' : 'n';
    ++next;
    for (std::size_t t = 0; t < toks.size(); ++t) {
      const Token& tok = toks[t];
      if (k == targets.size()) break;
      if (tok.kind == Token::Slash) return;  // the remaining targets keep their values
      if (tok.kind == Token::Empty) {
        ++k;
        continue;
      }
      std::string why;
      if (!Store(tok, targets[k], why)) Bad(*this, lineNo, targets[k], "\"" + tok.text + "\"" + why);
      ++k;
      // The last value of the read, written "2,5" with nothing between the
      // comma and the next digits: a decimal comma, whose fraction would be
      // ignored as a comment.
      if (k == targets.size() && targets[k - 1].kind != ValueKind::Text && !tok.quoted && t + 1 < toks.size() &&
          toks[t + 1].kind == Token::Value && tok.end < line.size() && line[tok.end] == ',' &&
          tok.end + 1 < line.size() && std::isdigit(static_cast<unsigned char>(line[tok.end + 1])) &&
          AllDigits(std::string_view(tok.text).substr(tok.text[0] == '-' || tok.text[0] == '+' ? 1 : 0))) {
        std::size_t e = tok.end + 1;
        while (e < line.size() && std::isdigit(static_cast<unsigned char>(line[e]))) ++e;
        const std::string written = tok.text + line.substr(tok.end, e - tok.end);
        FatalAt(lineNo, targets[k - 1].what + " is written \"" + written + "\": the comma ends the value, so " +
                            tok.text + " would be read and the rest ignored; write a decimal point (" + tok.text +
                            "." + line.substr(tok.end + 1, e - tok.end - 1) + ")");
      }
    }
  }
}
