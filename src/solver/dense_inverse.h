#pragma once
// Inversion of a small dense matrix (Jacobians of the isoparametric maps).

// Computes Ainv = A^-1 for the n x n column-major matrix A by Gauss-Jordan
// elimination on [A | I].  Rows are exchanged only when a diagonal entry is
// 0 or below 1e-10 of the largest entry on or below it in its column (a
// rounding residue of 0): that row of largest magnitude is exchanged up.
// A is not changed.
//
// A singular matrix (a column without a nonzero entry on or below the
// diagonal) writes the console line "Couldn't find a non-zero pivot:
// solution rubbish" once, sets Ainv to zero and returns false; a zero
// inverse makes the contribution of a degenerate integration point vanish
// instead of spreading undefined values.  Returns true on success.
bool InvertDense(int n, const double* A, double* Ainv);
