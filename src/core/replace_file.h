#pragma once
// Whole-file output that never leaves a half-written result under the final
// name.

#include <string>
#include <vector>

// Writes `text` to `path` through the scratch name `path` + ".tmp", renamed
// over `path` once complete.  On any failure the scratch file is removed, an
// earlier file at `path` stays as it was, and the run stops with
// "<path>: cannot write <what>: <reason>".
void ReplaceFile(const std::string& path, const std::string& text, const std::string& what);

// Writes the same `text` under every name of `paths` (twins that differ only
// in the name): every scratch file `path` + ".tmp" is complete before the
// first rename, so a failure to open or write any of them removes them all
// and leaves every earlier file as it was.  A failure stops the run with
// "<who>: cannot open <scratch>: <reason>", "<who>: cannot write <scratch>:
// <reason>" or "<who>: cannot rename <scratch> to <path>: <reason>".
void ReplaceFiles(const std::vector<std::string>& paths, const std::string& text, const std::string& who);
