#include "solver/blas_core.h"

#include <dlfcn.h>
#include <strings.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

constexpr const char* kCoreTypeVariable = "OPENBLAS_CORETYPE";

// OpenBLAS's kernel types of processors without AVX (its fallback for a
// processor it does not know is "Prescott"; "Unknown" when it names none).
constexpr const char* kSseCores[] = {"Unknown", "Katmai",    "Coppermine",   "Northwood", "Prescott", "Banias",
                                     "Core2",   "Penryn",    "Dunnington",   "Nehalem",   "Atom",     "Athlon",
                                     "Opteron", "Opteron_SSE3", "Barcelona", "Nano",      "Bobcat"};

bool IsSseCore(const char* corename) {
  for (const char* c : kSseCores)
    if (strcasecmp(corename, c) == 0) return true;
  return false;
}

// openblas_get_corename of the OpenBLAS loaded in the process, looked up at
// run time so that the program links no BLAS of its own; nullptr when there
// is none.
const char* LoadedCoreName() {
  using CoreNameFn = char* (*)();
  void* sym = dlsym(RTLD_DEFAULT, "openblas_get_corename");
  if (sym == nullptr) return nullptr;
  return reinterpret_cast<CoreNameFn>(sym)();
}

}  // namespace

CpuVectorUnits DetectCpuVectorUnits() {
  CpuVectorUnits u;
#if defined(__x86_64__) || defined(__i386__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return u;
  const bool osxsave = (c >> 27) & 1u, avx = (c >> 28) & 1u, fma = (c >> 12) & 1u;
  if (!osxsave || !avx) return u;
  // XCR0: bit 1 SSE, bit 2 YMM upper halves, bits 5-7 opmask, ZMM upper
  // halves of 0-15, ZMM 16-31; the operating system saves what is set.
  unsigned lo = 0, hi = 0;
  __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  const uint64_t xcr0 = (static_cast<uint64_t>(hi) << 32) | lo;
  const bool ymmState = (xcr0 & 0x6u) == 0x6u, zmmState = (xcr0 & 0xE6u) == 0xE6u;
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return u;
  const bool avx2 = (b >> 5) & 1u;
  const bool f = (b >> 16) & 1u, dq = (b >> 17) & 1u, cd = (b >> 28) & 1u, bw = (b >> 30) & 1u, vl = (b >> 31) & 1u;
  u.avx2 = ymmState && avx2 && fma;
  u.avx512 = u.avx2 && zmmState && f && dq && cd && bw && vl;
#endif
  return u;
}

const char* BlasCoreToRequest(const CpuVectorUnits& cpu, const char* corename, const char* coretypeEnv) {
  if (coretypeEnv != nullptr || corename == nullptr || !IsSseCore(corename)) return nullptr;
  if (cpu.avx512) return "SkylakeX";
  if (cpu.avx2) return "Haswell";
  return nullptr;
}

std::string BlasCoreName() {
  const char* name = LoadedCoreName();
  return name != nullptr ? std::string(name) : std::string();
}

void SetBlasThreads(int threads) {
  using SetThreadsFn = void (*)(int);
  if (threads < 1) return;
  void* sym = dlsym(RTLD_DEFAULT, "openblas_set_num_threads");
  if (sym != nullptr) reinterpret_cast<SetThreadsFn>(sym)(threads);
}

void RestartForBlasKernels(char** argv) {
  const char* want = BlasCoreToRequest(DetectCpuVectorUnits(), LoadedCoreName(), std::getenv(kCoreTypeVariable));
  if (want == nullptr || argv == nullptr || argv[0] == nullptr) return;
  if (setenv(kCoreTypeVariable, want, 1) != 0) return;
  std::fflush(nullptr);
  execv("/proc/self/exe", argv);
  // No new start (no /proc, or not allowed): the library keeps its kernels,
  // and the variable goes again so that nothing suggests otherwise.
  unsetenv(kCoreTypeVariable);
}
