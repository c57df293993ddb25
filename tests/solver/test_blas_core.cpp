// Choice of the BLAS kernel type: the decision table, and the processor's
// vector units as cpuid/xgetbv report them against the compiler's own probe.

#include <gtest/gtest.h>

#include <string>

#include "solver/blas_core.h"

namespace {

TEST(BlasCore, AsksForTheWidestKernelsOnlyWhenTheLibraryFellBackAndTheUserSetNothing) {
  const CpuVectorUnits avx512{true, true}, avx2{false, true}, sse{false, false};
  struct Case {
    CpuVectorUnits cpu;
    const char* core;
    const char* env;
    const char* want;  // nullptr: leave the library's choice
  };
  const Case cases[] = {
      {avx512, "Prescott", nullptr, "SkylakeX"},  // an unknown new processor: the library's fallback
      {avx2, "Prescott", nullptr, "Haswell"},
      {avx512, "prescott", nullptr, "SkylakeX"},  // letter case does not matter
      {avx512, "Nehalem", nullptr, "SkylakeX"},
      {avx2, "Core2", nullptr, "Haswell"},
      {avx512, "Unknown", nullptr, "SkylakeX"},
      {sse, "Prescott", nullptr, nullptr},         // nothing wider to ask for
      {avx512, "Prescott", "Haswell", nullptr},    // the user's setting wins
      {avx512, "Prescott", "", nullptr},           // even an empty one; and the restarted run has it set
      {avx512, "Prescott", "SkylakeX", nullptr},
      {avx512, "SkylakeX", nullptr, nullptr},      // recognised processors keep the library's choice
      {avx512, "Cooperlake", nullptr, nullptr},
      {avx512, "Haswell", nullptr, nullptr},
      {avx512, "Zen", nullptr, nullptr},
      {avx2, "Sandybridge", nullptr, nullptr},
      {avx512, nullptr, nullptr, nullptr},         // not OpenBLAS
  };
  for (const Case& c : cases) {
    const char* got = BlasCoreToRequest(c.cpu, c.core, c.env);
    const std::string label = std::string(c.core ? c.core : "(none)") + " env=" + (c.env ? c.env : "(unset)") +
                              " avx512=" + std::to_string(c.cpu.avx512) + " avx2=" + std::to_string(c.cpu.avx2);
    if (c.want == nullptr) {
      EXPECT_EQ(got, nullptr) << label;
    } else {
      ASSERT_NE(got, nullptr) << label;
      EXPECT_STREQ(got, c.want) << label;
    }
  }
}

TEST(BlasCore, VectorUnitsAgreeWithTheCompilersProbe) {
  const CpuVectorUnits u = DetectCpuVectorUnits();
  EXPECT_TRUE(!u.avx512 || u.avx2);
#if defined(__x86_64__)
  __builtin_cpu_init();
  EXPECT_EQ(u.avx2, __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"));
  EXPECT_EQ(u.avx512, __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
                          __builtin_cpu_supports("avx512cd") && __builtin_cpu_supports("avx512bw") &&
                          __builtin_cpu_supports("avx512vl"));
#endif
}

}  // namespace
