#pragma once
// Reader of free-format text files (the input file and the cross-section
// file).
//
// A read starts on a new line and takes the values it needs from the start of
// that line, separated by blanks or commas; it continues on the following
// line only when a line holds too few values, and ignores whatever follows
// the last value it needs, so lines may carry comments after their values.
// Two commas in a row (or a comma at the start of a line) give an empty value
// and a slash ends the read: the target keeps its previous value.  Character
// values may be quoted ('...' or "...") or bare.  Every failure stops the run
// with one line "file:line: expected <what>, found <token>".  A number
// written with a decimal comma ("2,5") whose second part no read takes would
// silently lose its fraction; it stops the run instead.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class ValueKind { Int32, Int16, Int8, Real, Text };

// One value of a read: its kind, where it goes and what it is called in the
// error message ("number of ram speeds").
struct ReadTarget {
  ValueKind kind;      // expected type
  void* dest;          // int32_t*, int16_t*, int8_t*, double* or std::string*
  std::string what;    // description for messages
};

inline ReadTarget IntTarget(int32_t& v, std::string what) { return {ValueKind::Int32, &v, std::move(what)}; }
inline ReadTarget Int16Target(int16_t& v, std::string what) { return {ValueKind::Int16, &v, std::move(what)}; }
inline ReadTarget Int8Target(int8_t& v, std::string what) { return {ValueKind::Int8, &v, std::move(what)}; }
inline ReadTarget RealTarget(double& v, std::string what) { return {ValueKind::Real, &v, std::move(what)}; }
inline ReadTarget TextTarget(std::string& v, std::string what) { return {ValueKind::Text, &v, std::move(what)}; }

// Thrown instead of stopping the run when a file is read in trial mode.
struct FreeFormatStop {
  std::string message;  // the line that would have been written
};

struct FreeFormatFile {
  std::string name;                // file name used in messages
  std::vector<std::string> lines;  // whole content, one entry per line
  int next = 0;                    // 0-based index of the next unread line
  bool trial = false;              // failures throw FreeFormatStop, warnings stay silent
  std::vector<std::string> roles;  // per line (0-based): what the reader took it for, "" if unread
  std::string roleKinds;           // per line: 's' skipped, 'n' number, 't' character value, ' ' unread

  // Reads the whole file; a missing or unreadable file stops the run.
  void Open(const std::string& path, std::string_view role);
  // Takes the text directly (tests and in-memory use).
  void OpenText(const std::string& display_name, std::string_view text);

  // Skips n lines without taking values; the end of the file stops the run
  // with a message naming `what`.
  void Skip(int n, std::string_view what);

  // One read statement: fills the targets in order as described above.
  void Read(const std::vector<ReadTarget>& targets);

  // 1-based number of the last line a read took values from (0 before the
  // first read): the line to name in a message about the value just read.
  int LastLine() const { return next; }
  // Lines not yet read.
  int64_t LinesLeft() const { return static_cast<int64_t>(lines.size()) - next; }

  // Stops with "file:line: message" (in trial mode: throws FreeFormatStop).
  [[noreturn]] void FatalAt(int line, std::string_view message) const;
  // Writes the console line "file:line: warning: text" (nothing in trial mode).
  void WarnAt(int line, std::string_view text) const;
  // Stops when `count` items of `linesEach` lines cannot stand in the rest
  // of the file: a count is checked before anything is sized by it.
  // `line` is the line of the count, `what` names it.
  void RequireLines(int64_t count, int64_t linesEach, int line, std::string_view what) const;

  // Convenience single-value reads.
  void ReadInt(int32_t& v, std::string what) { Read({IntTarget(v, std::move(what))}); }
  void ReadReal(double& v, std::string what) { Read({RealTarget(v, std::move(what))}); }
  void ReadText(std::string& v, std::string what) { Read({TextTarget(v, std::move(what))}); }
};

// Longest character value; longer values keep their first 60 characters.
inline constexpr std::size_t kTextLen = 60;

// Parses a Fortran-style real (1200, 1200.0, 1.2E3, 1.2D3); false when the
// token is not a finite real in that form.
bool ParseReal(std::string_view token, double& value);
// Parses a decimal integer with optional sign; false otherwise or on overflow.
bool ParseInt(std::string_view token, int64_t& value);
