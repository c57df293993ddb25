#pragma once
// Whole-file output that never leaves a half-written result under the final
// name.

#include <string>

// Writes `text` to `path` through the scratch name `path` + ".tmp", renamed
// over `path` once complete.  On any failure the scratch file is removed, an
// earlier file at `path` stays as it was, and the run stops with
// "<path>: cannot write <what>: <reason>".
void ReplaceFile(const std::string& path, const std::string& text, const std::string& what);
