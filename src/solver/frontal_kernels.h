#pragma once
// Dense kernels of the frontal elimination.
//
// The front is single precision, row-major; every update of a front entry
// is formed in double and rounded to single precision when stored.  Each
// kernel has a portable path (plain loops) and a vector path (AVX2
// intrinsics, chosen at run time when the processor has AVX2).  Both form
// every product and every subtraction as separate, correctly rounded double
// operations in the same order per entry (products are never fused with the
// subtraction), so the two paths, and any split of the columns between
// threads, give bit-identical fronts.

#include <cstdint>

// Which path of the kernels a solve uses.
enum class FrontPath : int32_t {
  Auto = 0,      // the vector path where the processor has it, else the portable one
  Portable = 1,  // plain loops only
  Vector = 2,    // the vector path (the portable one where the processor lacks it)
};

// True when the vector path is compiled in and the processor can run it.
bool FrontVectorAvailable();

// Pending block product.  For the rows rows[0..nrows-1] of eq (row stride
// ld) and the columns c0..c1-1:
//   eq(r, c) = float( eq(r, c) - L(r,0) U(0,c) - L(r,1) U(1,c) - ... - L(r,k-1) U(k-1,c) )
// summed from t = 0 upwards in double and rounded once.  L(r, t) =
// L[r lk + t], U(t, c) = U[t ldu + c].  c0 and c1 are multiples of 8 and
// columns c1 and beyond up to the next multiple of 8 are never touched.
void FrontBlockUpdate(bool vec, float* eq, int ld, const int32_t* rows, int nrows, int c0, int c1,
                      const double* L, int lk, int k, const double* U, int ldu);

// row[c] = float(row[c] - p[c] f) for c < len.
void FrontRowUpdate(bool vec, float* row, const double* p, double f, int len);

// Several pivots applied one after another to a row, rounding to single
// precision after each: for t = 0..k-1, row[c] = float(row[c] - p_t[c] f[t])
// for c < len, with p_t = P + t ldp.  Gives exactly the result of k calls of
// FrontRowUpdate but reads and writes the row once.
void FrontRowUpdates(bool vec, float* row, const double* P, int ldp, const double* f, int k, int len);

// Pending product on single columns.  For rows r0..r1-1 of eq and the
// columns slots[0..J-1]:
//   eq(r, slots[j]) = float( eq(r, slots[j]) - sum over t < k of L(r, t) ug[j lk + t] )
// where the sum is formed in eight interleaved partial sums s_q (q = t mod 8
// over the first k/8*8 pivots) combined as ((s0+s1)+(s2+s3))+((s4+s5)+(s6+s7)),
// then the remaining pivots added one by one.
void FrontColumnsUpdate(bool vec, float* eq, int ld, int r0, int r1, const int32_t* slots, int J, const double* L,
                        int lk, int k, const double* ug);
