// Fuzz target: the input text file reader and the variant count.
#include "fuzz_support.h"
#include "input/read_text_data.h"
#include "input/variants.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  QuietStdout();
  const std::string path = FuzzFile(data, size, "_indata.txt");
  try {
    RunState run;
    ReadTextData(run.input, path);
    // Variant records are large; expand only small sweeps.
    const std::size_t n = run.input.RamSpeedList.size() * run.input.BilletTempList.size();
    if (n <= 64 && run.input.AxialLenList.size() * run.input.FileOutlineList.size() <= 64) GenVariants(run);
  } catch (const FuzzStop&) {
  }
  return 0;
}
