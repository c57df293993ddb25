#pragma once
// Kernel type of the BLAS under the sparse solver.
//
// The sparse factorisation spends nearly all its time in the dense kernels
// of the system BLAS.  OpenBLAS built for many processors (as distributions
// ship it) picks its kernels once, while the library is loaded, from the
// processor model it knows; a processor newer than the library is not
// recognised and gets the library's oldest SSE kernels ("Prescott"), which
// make the sparse solve about three times slower on a processor with
// AVX-512.  The library takes the kernel type from the environment variable
// OPENBLAS_CORETYPE, read only at load time, before main.  So the program,
// when it finds such a fallback on a processor with AVX2 or AVX-512, sets
// the variable and starts itself again in the same process with the same
// arguments; a value the user has set is never overridden.

#include <string>

// Vector units the processor offers and the operating system has enabled.
struct CpuVectorUnits {
  bool avx512 = false;  // AVX-512 F, DQ, CD, BW and VL, with the opmask and ZMM register state enabled (XCR0)
  bool avx2 = false;    // AVX2 and FMA, with the YMM register state enabled (XCR0)
};

// The vector units of this processor, from cpuid and xgetbv (none on
// processors other than x86).
CpuVectorUnits DetectCpuVectorUnits();

// The kernel type to ask OpenBLAS for, or nullptr to leave its choice:
// "SkylakeX" (AVX-512) or "Haswell" (AVX2) when the loaded library runs
// one of its SSE-era kernel types ("Prescott", "Core2", ... as its
// openblas_get_corename names them, in any letter case) on a processor that
// offers that vector unit.  `corename` is nullptr when the BLAS is not
// OpenBLAS, `coretypeEnv` the value of OPENBLAS_CORETYPE or nullptr when it
// is unset; any value set, even an empty one, is the user's choice and is
// kept (and the restarted program, which has it set, does not restart again).
const char* BlasCoreToRequest(const CpuVectorUnits& cpu, const char* corename, const char* coretypeEnv);

// The kernel type the loaded BLAS runs ("SkylakeX", "Prescott", ...), empty
// when the BLAS in the process does not say (not OpenBLAS, or none loaded).
std::string BlasCoreName();

// Sets the number of threads of the BLAS's dense kernels (OpenBLAS's
// openblas_set_num_threads; nothing happens with another BLAS or for
// threads < 1).  The setting is process-wide: the caller holds the sparse
// solver's library lock, so that the solve that runs the kernels set it.
void SetBlasThreads(int threads);

// At the start of the program, before any thread of its own and before MPI:
// when BlasCoreToRequest asks for a kernel type, sets OPENBLAS_CORETYPE to
// it and replaces the process image by a new start of the same executable
// (/proc/self/exe) with the same arguments, so that the library is loaded
// again with those kernels.  Returns when there is nothing to do, or when
// the new start could not be made (the run then goes on with the library's
// own choice).  Prints nothing.
void RestartForBlasKernels(char** argv);
