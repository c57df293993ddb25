#pragma once
// Fatal stops and always-on checks.
//
// A routine that meets a condition it cannot recover from writes one line and
// ends the whole run with a non-zero exit status.  Standard output is flushed
// first so that no progress line is lost; the message itself goes to standard
// error.  Safe to call from a variant thread: the process ends as a whole.

#include <string>
#include <string_view>

// Writes `message` as one line to standard error and exits with status 1.
[[noreturn]] void Fatal(std::string_view message);

// Always-on check for input, I/O and resources: stops with `message` when
// `ok` is false.
inline void Require(bool ok, std::string_view message) {
  if (!ok) Fatal(message);
}
