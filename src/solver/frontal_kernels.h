#pragma once
// Dense kernels of the frontal elimination.
//
// The front is single precision, row-major; every update of a front entry
// is formed in double and rounded to single precision when stored.  Each
// kernel has a portable path (plain loops) and two vector paths (AVX2 and
// AVX-512 intrinsics), the widest the processor offers chosen at run time.
// All form every product and every subtraction as separate, correctly
// rounded double operations in the same order per entry (products are never
// fused with the subtraction), so every path, and any split of the columns
// between threads, gives bit-identical fronts.

#include <cstdint>

// Which path of the kernels a solve asks for.
enum class FrontPath : int32_t {
  Auto = 0,      // the widest vector path the processor has, else the portable one
  Portable = 1,  // plain loops only
  Vector = 2,    // as Auto
  Avx2 = 3,      // the AVX2 path even where AVX-512 is there (the portable one without AVX2)
};

// The kernels a solve runs, resolved from a FrontPath and the processor.
enum class FrontKernel : int32_t {
  Portable = 0,  // plain loops
  Avx2 = 1,      // 256-bit vectors: four doubles
  Avx512 = 2,    // 512-bit vectors: eight doubles (AVX-512 F, DQ and VL)
};

// True when the kernel is compiled in and the processor can run it (read
// from the processor once, then only read).
bool FrontKernelAvailable(FrontKernel kern);
// True when some vector path is available.
bool FrontVectorAvailable();
// The kernel a solve asking for `path` runs on this processor.
FrontKernel FrontKernelFor(FrontPath path);
// "portable", "avx2" or "avx512".
const char* FrontKernelName(FrontKernel kern);

// Pending block product.  For the rows rows[0..nrows-1] of eq (row stride
// ld) and the columns c0..c1-1:
//   eq(r, c) = float( eq(r, c) - L(r,0) U(0,c) - L(r,1) U(1,c) - ... - L(r,k-1) U(k-1,c) )
// summed from t = 0 upwards in double and rounded once.  L(r, t) =
// L[r lk + t], U(t, c) = U[t ldu + c].  c0 and c1 are multiples of 8 and
// columns c1 and beyond up to the next multiple of 8 are never touched.
void FrontBlockUpdate(FrontKernel kern, float* eq, int ld, const int32_t* rows, int nrows, int c0, int c1,
                      const double* L, int lk, int k, const double* U, int ldu);

// row[c] = float(row[c] - p[c] f) for c < len.
void FrontRowUpdate(FrontKernel kern, float* row, const double* p, double f, int len);

// Several pivots applied one after another to a row, rounding to single
// precision after each: for t = 0..k-1, row[c] = float(row[c] - p_t[c] f[t])
// for c < len, with p_t = P + t ldp.  Gives exactly the result of k calls of
// FrontRowUpdate but reads and writes the row once.
void FrontRowUpdates(FrontKernel kern, float* row, const double* P, int ldp, const double* f, int k, int len);

// Pending product on single columns.  For rows r0..r1-1 of eq and the
// columns slots[0..J-1]:
//   eq(r, slots[j]) = float( eq(r, slots[j]) - sum over t < k of L(r, t) ug[j lk + t] )
// where the sum is formed in eight interleaved partial sums s_q (q = t mod 8
// over the first k/8*8 pivots) combined as ((s0+s1)+(s2+s3))+((s4+s5)+(s6+s7)),
// then the remaining pivots added one by one.
void FrontColumnsUpdate(FrontKernel kern, float* eq, int ld, int r0, int r1, const int32_t* slots, int J, const double* L,
                        int lk, int k, const double* ug);
