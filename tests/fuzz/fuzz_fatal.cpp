// Fatal for the fuzz targets: the message is dropped and FuzzStop thrown, so
// that a refused input returns to the fuzzer instead of ending the process.
#include "core/fatal.h"
#include "fuzz_support.h"

void Fatal(std::string_view) { throw FuzzStop{}; }
