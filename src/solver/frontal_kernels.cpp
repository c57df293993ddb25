#include "solver/frontal_kernels.h"

#include <algorithm>
#include <cstddef>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define KALMORA_FRONT_AVX2 1
#define KALMORA_TARGET_AVX2 __attribute__((target("avx2")))
#define KALMORA_TARGET_AVX512 __attribute__((target("avx512f,avx512vl,avx512dq")))
#else
#define KALMORA_FRONT_AVX2 0
#endif

namespace {

// Columns of U kept together while all rows pass over them: 64 pivots x 32
// columns of double take 16 KiB, half a first-level data cache.
constexpr int kPanel = 32;

// ---------------------------------------------------------------------------
// Portable path.

// Four rows by eight columns per step, accumulators in local arrays.
void BlockUpdatePortable(float* __restrict eq, int ld, const int32_t* rows, int nrows, int c0, int c1,
                         const double* __restrict L, int lk, int k, const double* __restrict U, int ldu) {
  constexpr int RB = 4, CB = 8;
  for (int p0 = c0; p0 < c1; p0 += kPanel) {
    const int p1 = std::min(c1, p0 + kPanel);
    int g = 0;
    for (; g + RB <= nrows; g += RB) {
      float* e0 = eq + static_cast<std::size_t>(rows[g]) * ld;
      float* e1 = eq + static_cast<std::size_t>(rows[g + 1]) * ld;
      float* e2 = eq + static_cast<std::size_t>(rows[g + 2]) * ld;
      float* e3 = eq + static_cast<std::size_t>(rows[g + 3]) * ld;
      const double* l0 = L + static_cast<std::size_t>(rows[g]) * lk;
      const double* l1 = L + static_cast<std::size_t>(rows[g + 1]) * lk;
      const double* l2 = L + static_cast<std::size_t>(rows[g + 2]) * lk;
      const double* l3 = L + static_cast<std::size_t>(rows[g + 3]) * lk;
      for (int c = p0; c < p1; c += CB) {
        double a0[CB], a1[CB], a2[CB], a3[CB];
        for (int j = 0; j < CB; ++j) {
          a0[j] = e0[c + j];
          a1[j] = e1[c + j];
          a2[j] = e2[c + j];
          a3[j] = e3[c + j];
        }
        for (int t = 0; t < k; ++t) {
          const double* u = U + static_cast<std::size_t>(t) * ldu + c;
          const double f0 = l0[t], f1 = l1[t], f2 = l2[t], f3 = l3[t];
          for (int j = 0; j < CB; ++j) {
            a0[j] -= f0 * u[j];
            a1[j] -= f1 * u[j];
            a2[j] -= f2 * u[j];
            a3[j] -= f3 * u[j];
          }
        }
        for (int j = 0; j < CB; ++j) {
          e0[c + j] = static_cast<float>(a0[j]);
          e1[c + j] = static_cast<float>(a1[j]);
          e2[c + j] = static_cast<float>(a2[j]);
          e3[c + j] = static_cast<float>(a3[j]);
        }
      }
    }
    for (; g < nrows; ++g) {
      float* e0 = eq + static_cast<std::size_t>(rows[g]) * ld;
      const double* l0 = L + static_cast<std::size_t>(rows[g]) * lk;
      for (int c = p0; c < p1; c += CB) {
        double a0[CB];
        for (int j = 0; j < CB; ++j) a0[j] = e0[c + j];
        for (int t = 0; t < k; ++t) {
          const double* u = U + static_cast<std::size_t>(t) * ldu + c;
          const double f0 = l0[t];
          for (int j = 0; j < CB; ++j) a0[j] -= f0 * u[j];
        }
        for (int j = 0; j < CB; ++j) e0[c + j] = static_cast<float>(a0[j]);
      }
    }
  }
}

void RowUpdatePortable(float* __restrict row, const double* __restrict p, double f, int len) {
  for (int c = 0; c < len; ++c) row[c] = static_cast<float>(static_cast<double>(row[c]) - p[c] * f);
}

void RowUpdatesPortable(float* __restrict row, const double* __restrict P, int ldp, const double* f, int k,
                        int len) {
  constexpr int CB = 64;  // columns carried in double across the pivots
  for (int c0 = 0; c0 < len; c0 += CB) {
    const int n = std::min(CB, len - c0);
    double a[CB];
    for (int j = 0; j < n; ++j) a[j] = row[c0 + j];
    for (int t = 0; t < k; ++t) {
      const double ft = f[t];
      if (ft == 0.0) continue;
      const double* p = P + static_cast<std::size_t>(t) * ldp + c0;
      for (int j = 0; j < n; ++j) a[j] = static_cast<float>(a[j] - p[j] * ft);
    }
    for (int j = 0; j < n; ++j) row[c0 + j] = static_cast<float>(a[j]);
  }
}

void ColumnsUpdatePortable(float* __restrict eq, int ld, int r0, int r1, const int32_t* __restrict slots, int J,
                           const double* __restrict L, int lk, int k, const double* __restrict ug) {
  const int k8 = k / 8 * 8;
  for (int r = r0; r < r1; ++r) {
    float* e = eq + static_cast<std::size_t>(r) * ld;
    const double* l = L + static_cast<std::size_t>(r) * lk;
    for (int j = 0; j < J; ++j) {
      const double* u = ug + static_cast<std::size_t>(j) * lk;
      double s[8] = {0, 0, 0, 0, 0, 0, 0, 0};
      for (int t = 0; t < k8; t += 8)
        for (int q = 0; q < 8; ++q) s[q] += l[t + q] * u[t + q];
      double sum = ((s[0] + s[1]) + (s[2] + s[3])) + ((s[4] + s[5]) + (s[6] + s[7]));
      for (int t = k8; t < k; ++t) sum += l[t] * u[t];
      float& x = e[slots[j]];
      x = static_cast<float>(static_cast<double>(x) - sum);
    }
  }
}

// ---------------------------------------------------------------------------
// AVX2 path.

#if KALMORA_FRONT_AVX2

// a - f u, product and difference rounded separately.
KALMORA_TARGET_AVX2 inline __m256d SubMul(__m256d a, __m256d f, __m256d u) {
  return _mm256_sub_pd(a, _mm256_mul_pd(f, u));
}

KALMORA_TARGET_AVX2 inline __m256d Widen(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }

KALMORA_TARGET_AVX2 inline void Narrow(float* p, __m256d a) { _mm_storeu_ps(p, _mm256_cvtpd_ps(a)); }

// a rounded to single precision, kept in double.
KALMORA_TARGET_AVX2 inline __m256d Round(__m256d a) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(a)); }

// Six rows by eight columns held in twelve registers across all k pivots
// (with the two registers of U and one of the factor, all sixteen); one
// load and one store of the front entries per block.
KALMORA_TARGET_AVX2
void BlockUpdateAvx2(float* __restrict eq, int ld, const int32_t* rows, int nrows, int c0, int c1,
                     const double* __restrict L, int lk, int k, const double* __restrict U, int ldu) {
  for (int p0 = c0; p0 < c1; p0 += kPanel) {
    const int p1 = std::min(c1, p0 + kPanel);
    int g = 0;
    for (; g + 6 <= nrows; g += 6) {
      float* e[6];
      const double* l[6];
      for (int q = 0; q < 6; ++q) {
        e[q] = eq + static_cast<std::size_t>(rows[g + q]) * ld;
        l[q] = L + static_cast<std::size_t>(rows[g + q]) * lk;
      }
      for (int c = p0; c < p1; c += 8) {
        __m256d a00 = Widen(e[0] + c), a01 = Widen(e[0] + c + 4);
        __m256d a10 = Widen(e[1] + c), a11 = Widen(e[1] + c + 4);
        __m256d a20 = Widen(e[2] + c), a21 = Widen(e[2] + c + 4);
        __m256d a30 = Widen(e[3] + c), a31 = Widen(e[3] + c + 4);
        __m256d a40 = Widen(e[4] + c), a41 = Widen(e[4] + c + 4);
        __m256d a50 = Widen(e[5] + c), a51 = Widen(e[5] + c + 4);
        const double *l0 = l[0], *l1 = l[1], *l2 = l[2], *l3 = l[3], *l4 = l[4], *l5 = l[5];
        const double* u = U + c;
        for (int t = 0; t < k; ++t, u += ldu) {
          const __m256d u0 = _mm256_loadu_pd(u), u1 = _mm256_loadu_pd(u + 4);
          __m256d f = _mm256_broadcast_sd(l0 + t);
          a00 = SubMul(a00, f, u0);
          a01 = SubMul(a01, f, u1);
          f = _mm256_broadcast_sd(l1 + t);
          a10 = SubMul(a10, f, u0);
          a11 = SubMul(a11, f, u1);
          f = _mm256_broadcast_sd(l2 + t);
          a20 = SubMul(a20, f, u0);
          a21 = SubMul(a21, f, u1);
          f = _mm256_broadcast_sd(l3 + t);
          a30 = SubMul(a30, f, u0);
          a31 = SubMul(a31, f, u1);
          f = _mm256_broadcast_sd(l4 + t);
          a40 = SubMul(a40, f, u0);
          a41 = SubMul(a41, f, u1);
          f = _mm256_broadcast_sd(l5 + t);
          a50 = SubMul(a50, f, u0);
          a51 = SubMul(a51, f, u1);
        }
        Narrow(e[0] + c, a00);
        Narrow(e[0] + c + 4, a01);
        Narrow(e[1] + c, a10);
        Narrow(e[1] + c + 4, a11);
        Narrow(e[2] + c, a20);
        Narrow(e[2] + c + 4, a21);
        Narrow(e[3] + c, a30);
        Narrow(e[3] + c + 4, a31);
        Narrow(e[4] + c, a40);
        Narrow(e[4] + c + 4, a41);
        Narrow(e[5] + c, a50);
        Narrow(e[5] + c + 4, a51);
      }
    }
    // Four remaining rows in eight registers.
    for (; g + 4 <= nrows; g += 4) {
      float* e0 = eq + static_cast<std::size_t>(rows[g]) * ld;
      float* e1 = eq + static_cast<std::size_t>(rows[g + 1]) * ld;
      float* e2 = eq + static_cast<std::size_t>(rows[g + 2]) * ld;
      float* e3 = eq + static_cast<std::size_t>(rows[g + 3]) * ld;
      const double* l0 = L + static_cast<std::size_t>(rows[g]) * lk;
      const double* l1 = L + static_cast<std::size_t>(rows[g + 1]) * lk;
      const double* l2 = L + static_cast<std::size_t>(rows[g + 2]) * lk;
      const double* l3 = L + static_cast<std::size_t>(rows[g + 3]) * lk;
      for (int c = p0; c < p1; c += 8) {
        __m256d a00 = Widen(e0 + c), a01 = Widen(e0 + c + 4);
        __m256d a10 = Widen(e1 + c), a11 = Widen(e1 + c + 4);
        __m256d a20 = Widen(e2 + c), a21 = Widen(e2 + c + 4);
        __m256d a30 = Widen(e3 + c), a31 = Widen(e3 + c + 4);
        const double* u = U + c;
        for (int t = 0; t < k; ++t, u += ldu) {
          const __m256d u0 = _mm256_loadu_pd(u), u1 = _mm256_loadu_pd(u + 4);
          __m256d f = _mm256_broadcast_sd(l0 + t);
          a00 = SubMul(a00, f, u0);
          a01 = SubMul(a01, f, u1);
          f = _mm256_broadcast_sd(l1 + t);
          a10 = SubMul(a10, f, u0);
          a11 = SubMul(a11, f, u1);
          f = _mm256_broadcast_sd(l2 + t);
          a20 = SubMul(a20, f, u0);
          a21 = SubMul(a21, f, u1);
          f = _mm256_broadcast_sd(l3 + t);
          a30 = SubMul(a30, f, u0);
          a31 = SubMul(a31, f, u1);
        }
        Narrow(e0 + c, a00);
        Narrow(e0 + c + 4, a01);
        Narrow(e1 + c, a10);
        Narrow(e1 + c + 4, a11);
        Narrow(e2 + c, a20);
        Narrow(e2 + c + 4, a21);
        Narrow(e3 + c, a30);
        Narrow(e3 + c + 4, a31);
      }
    }
    // Remaining rows: one row by sixteen columns (four independent sums).
    for (; g < nrows; ++g) {
      float* e0 = eq + static_cast<std::size_t>(rows[g]) * ld;
      const double* l0 = L + static_cast<std::size_t>(rows[g]) * lk;
      int c = p0;
      for (; c + 16 <= p1; c += 16) {
        __m256d a0 = Widen(e0 + c), a1 = Widen(e0 + c + 4), a2 = Widen(e0 + c + 8), a3 = Widen(e0 + c + 12);
        const double* u = U + c;
        for (int t = 0; t < k; ++t, u += ldu) {
          const __m256d f = _mm256_broadcast_sd(l0 + t);
          a0 = SubMul(a0, f, _mm256_loadu_pd(u));
          a1 = SubMul(a1, f, _mm256_loadu_pd(u + 4));
          a2 = SubMul(a2, f, _mm256_loadu_pd(u + 8));
          a3 = SubMul(a3, f, _mm256_loadu_pd(u + 12));
        }
        Narrow(e0 + c, a0);
        Narrow(e0 + c + 4, a1);
        Narrow(e0 + c + 8, a2);
        Narrow(e0 + c + 12, a3);
      }
      for (; c < p1; c += 8) {
        __m256d a0 = Widen(e0 + c), a1 = Widen(e0 + c + 4);
        const double* u = U + c;
        for (int t = 0; t < k; ++t, u += ldu) {
          const __m256d f = _mm256_broadcast_sd(l0 + t);
          a0 = SubMul(a0, f, _mm256_loadu_pd(u));
          a1 = SubMul(a1, f, _mm256_loadu_pd(u + 4));
        }
        Narrow(e0 + c, a0);
        Narrow(e0 + c + 4, a1);
      }
    }
  }
}

KALMORA_TARGET_AVX2
void RowUpdateAvx2(float* __restrict row, const double* __restrict p, double f, int len) {
  const __m256d fv = _mm256_set1_pd(f);
  int c = 0;
  for (; c + 16 <= len; c += 16) {
    const __m256d a0 = SubMul(Widen(row + c), fv, _mm256_loadu_pd(p + c));
    const __m256d a1 = SubMul(Widen(row + c + 4), fv, _mm256_loadu_pd(p + c + 4));
    const __m256d a2 = SubMul(Widen(row + c + 8), fv, _mm256_loadu_pd(p + c + 8));
    const __m256d a3 = SubMul(Widen(row + c + 12), fv, _mm256_loadu_pd(p + c + 12));
    Narrow(row + c, a0);
    Narrow(row + c + 4, a1);
    Narrow(row + c + 8, a2);
    Narrow(row + c + 12, a3);
  }
  for (; c + 4 <= len; c += 4) Narrow(row + c, SubMul(Widen(row + c), fv, _mm256_loadu_pd(p + c)));
  for (; c < len; ++c) row[c] = static_cast<float>(static_cast<double>(row[c]) - p[c] * f);
}

// Forty-eight columns in twelve registers across the pivots (twelve
// independent chains hide the latency of the rounding after each pivot,
// a narrowing and widening in place); then sixteen, then four at a time.
KALMORA_TARGET_AVX2
void RowUpdatesAvx2(float* __restrict row, const double* __restrict P, int ldp, const double* f, int k, int len) {
  int c = 0;
  for (; c + 48 <= len; c += 48) {
    __m256d a[12];
#pragma GCC unroll 12
    for (int q = 0; q < 12; ++q) a[q] = Widen(row + c + 4 * q);
    for (int t = 0; t < k; ++t) {
      if (f[t] == 0.0) continue;
      const __m256d fv = _mm256_broadcast_sd(f + t);
      const double* p = P + static_cast<std::size_t>(t) * ldp + c;
#pragma GCC unroll 12
      for (int q = 0; q < 12; ++q) a[q] = Round(SubMul(a[q], fv, _mm256_loadu_pd(p + 4 * q)));
    }
#pragma GCC unroll 12
    for (int q = 0; q < 12; ++q) Narrow(row + c + 4 * q, a[q]);
  }
  for (; c + 16 <= len; c += 16) {
    __m256d a0 = Widen(row + c), a1 = Widen(row + c + 4), a2 = Widen(row + c + 8), a3 = Widen(row + c + 12);
    for (int t = 0; t < k; ++t) {
      if (f[t] == 0.0) continue;
      const __m256d fv = _mm256_broadcast_sd(f + t);
      const double* p = P + static_cast<std::size_t>(t) * ldp + c;
      a0 = Round(SubMul(a0, fv, _mm256_loadu_pd(p)));
      a1 = Round(SubMul(a1, fv, _mm256_loadu_pd(p + 4)));
      a2 = Round(SubMul(a2, fv, _mm256_loadu_pd(p + 8)));
      a3 = Round(SubMul(a3, fv, _mm256_loadu_pd(p + 12)));
    }
    Narrow(row + c, a0);
    Narrow(row + c + 4, a1);
    Narrow(row + c + 8, a2);
    Narrow(row + c + 12, a3);
  }
  for (; c + 4 <= len; c += 4) {
    __m256d a0 = Widen(row + c);
    for (int t = 0; t < k; ++t) {
      if (f[t] == 0.0) continue;
      a0 = Round(SubMul(a0, _mm256_broadcast_sd(f + t), _mm256_loadu_pd(P + static_cast<std::size_t>(t) * ldp + c)));
    }
    Narrow(row + c, a0);
  }
  if (c < len) RowUpdatesPortable(row + c, P + c, ldp, f, k, len - c);
}

// The eight partial sums of one dot product in two registers (lanes s0..s3
// and s4..s7), combined in the order of the portable path.
KALMORA_TARGET_AVX2 inline double Combine(__m256d lo, __m256d hi) {
  const __m256d h = _mm256_hadd_pd(lo, hi);  // s0+s1, s4+s5, s2+s3, s6+s7
  const __m128d q = _mm_add_pd(_mm256_castpd256_pd128(h), _mm256_extractf128_pd(h, 1));
  return _mm_cvtsd_f64(q) + _mm_cvtsd_f64(_mm_unpackhi_pd(q, q));
}

// Two rows by two columns per step: eight partial-sum registers, the two
// rows' factors loaded once for both columns.
KALMORA_TARGET_AVX2
void ColumnsUpdateAvx2(float* __restrict eq, int ld, int r0, int r1, const int32_t* __restrict slots, int J,
                       const double* __restrict L, int lk, int k, const double* __restrict ug) {
  const int k8 = k / 8 * 8;
  int r = r0;
  for (; r + 2 <= r1; r += 2) {
    float* e0 = eq + static_cast<std::size_t>(r) * ld;
    float* e1 = e0 + ld;
    const double* l0 = L + static_cast<std::size_t>(r) * lk;
    const double* l1 = l0 + lk;
    int j = 0;
    for (; j + 2 <= J; j += 2) {
      const double* u0 = ug + static_cast<std::size_t>(j) * lk;
      const double* u1 = u0 + lk;
      __m256d s00a = _mm256_setzero_pd(), s00b = s00a, s01a = s00a, s01b = s00a;
      __m256d s10a = s00a, s10b = s00a, s11a = s00a, s11b = s00a;
      for (int t = 0; t < k8; t += 8) {
        const __m256d la = _mm256_loadu_pd(l0 + t), lb = _mm256_loadu_pd(l0 + t + 4);
        const __m256d ma = _mm256_loadu_pd(l1 + t), mb = _mm256_loadu_pd(l1 + t + 4);
        const __m256d ua = _mm256_loadu_pd(u0 + t), ub = _mm256_loadu_pd(u0 + t + 4);
        s00a = _mm256_add_pd(s00a, _mm256_mul_pd(la, ua));
        s00b = _mm256_add_pd(s00b, _mm256_mul_pd(lb, ub));
        s10a = _mm256_add_pd(s10a, _mm256_mul_pd(ma, ua));
        s10b = _mm256_add_pd(s10b, _mm256_mul_pd(mb, ub));
        const __m256d va = _mm256_loadu_pd(u1 + t), vb = _mm256_loadu_pd(u1 + t + 4);
        s01a = _mm256_add_pd(s01a, _mm256_mul_pd(la, va));
        s01b = _mm256_add_pd(s01b, _mm256_mul_pd(lb, vb));
        s11a = _mm256_add_pd(s11a, _mm256_mul_pd(ma, va));
        s11b = _mm256_add_pd(s11b, _mm256_mul_pd(mb, vb));
      }
      double d00 = Combine(s00a, s00b), d01 = Combine(s01a, s01b);
      double d10 = Combine(s10a, s10b), d11 = Combine(s11a, s11b);
      for (int t = k8; t < k; ++t) {
        d00 += l0[t] * u0[t];
        d01 += l0[t] * u1[t];
        d10 += l1[t] * u0[t];
        d11 += l1[t] * u1[t];
      }
      float& x00 = e0[slots[j]];
      float& x01 = e0[slots[j + 1]];
      float& x10 = e1[slots[j]];
      float& x11 = e1[slots[j + 1]];
      x00 = static_cast<float>(static_cast<double>(x00) - d00);
      x01 = static_cast<float>(static_cast<double>(x01) - d01);
      x10 = static_cast<float>(static_cast<double>(x10) - d10);
      x11 = static_cast<float>(static_cast<double>(x11) - d11);
    }
    if (j < J) {  // the last column of an odd count
      const double* u0 = ug + static_cast<std::size_t>(j) * lk;
      __m256d s00a = _mm256_setzero_pd(), s00b = s00a, s10a = s00a, s10b = s00a;
      for (int t = 0; t < k8; t += 8) {
        const __m256d ua = _mm256_loadu_pd(u0 + t), ub = _mm256_loadu_pd(u0 + t + 4);
        s00a = _mm256_add_pd(s00a, _mm256_mul_pd(_mm256_loadu_pd(l0 + t), ua));
        s00b = _mm256_add_pd(s00b, _mm256_mul_pd(_mm256_loadu_pd(l0 + t + 4), ub));
        s10a = _mm256_add_pd(s10a, _mm256_mul_pd(_mm256_loadu_pd(l1 + t), ua));
        s10b = _mm256_add_pd(s10b, _mm256_mul_pd(_mm256_loadu_pd(l1 + t + 4), ub));
      }
      double d00 = Combine(s00a, s00b), d10 = Combine(s10a, s10b);
      for (int t = k8; t < k; ++t) {
        d00 += l0[t] * u0[t];
        d10 += l1[t] * u0[t];
      }
      float& x00 = e0[slots[j]];
      float& x10 = e1[slots[j]];
      x00 = static_cast<float>(static_cast<double>(x00) - d00);
      x10 = static_cast<float>(static_cast<double>(x10) - d10);
    }
  }
  if (r < r1) ColumnsUpdatePortable(eq, ld, r, r1, slots, J, L, lk, k, ug);
}

// ---------------------------------------------------------------------------
// AVX-512 path: the same operations per entry as the other paths, eight
// doubles to a register.

// The conversions are written in their zero-masked form with every lane
// selected: the same instructions, without the unset pass-through operand of
// the plain forms (which GCC 12 reports as uninitialised); likewise the
// halves of a register.
KALMORA_TARGET_AVX512 inline __m512d ToDouble8(__m256 a) { return _mm512_maskz_cvtps_pd(0xFF, a); }

KALMORA_TARGET_AVX512 inline __m256 ToFloat8(__m512d a) { return _mm512_maskz_cvtpd_ps(0xFF, a); }

KALMORA_TARGET_AVX512 inline __m512d Widen8(const float* p) { return ToDouble8(_mm256_loadu_ps(p)); }

KALMORA_TARGET_AVX512 inline void Narrow8(float* p, __m512d a) { _mm256_storeu_ps(p, ToFloat8(a)); }

// a - f u, product and difference rounded separately.
KALMORA_TARGET_AVX512 inline __m512d SubMul8(__m512d a, __m512d f, __m512d u) {
  return _mm512_sub_pd(a, _mm512_mul_pd(f, u));
}

// a rounded to single precision, kept in double.
KALMORA_TARGET_AVX512 inline __m512d Round8(__m512d a) { return ToDouble8(ToFloat8(a)); }

// R rows by 8 C columns from column c, held in R C registers across all k
// pivots (at most 6 x 4: twenty-four accumulators, four of U and the factor).
template <int R, int C>
KALMORA_TARGET_AVX512 inline void Tile8(float* const* e, const double* const* l, int c, const double* __restrict U,
                                        int ldu, int k) {
  __m512d a[R][C];
#pragma GCC unroll 8
  for (int q = 0; q < R; ++q)
#pragma GCC unroll 4
    for (int j = 0; j < C; ++j) a[q][j] = Widen8(e[q] + c + 8 * j);
  const double* u = U + c;
  for (int t = 0; t < k; ++t, u += ldu) {
    __m512d uv[C];
#pragma GCC unroll 4
    for (int j = 0; j < C; ++j) uv[j] = _mm512_loadu_pd(u + 8 * j);
#pragma GCC unroll 8
    for (int q = 0; q < R; ++q) {
      const __m512d f = _mm512_set1_pd(l[q][t]);
#pragma GCC unroll 4
      for (int j = 0; j < C; ++j) a[q][j] = SubMul8(a[q][j], f, uv[j]);
    }
  }
#pragma GCC unroll 8
  for (int q = 0; q < R; ++q)
#pragma GCC unroll 4
    for (int j = 0; j < C; ++j) Narrow8(e[q] + c + 8 * j, a[q][j]);
}

// R rows over the panel columns p0..p1-1 (a multiple of 8 columns).
template <int R>
KALMORA_TARGET_AVX512 void TileRows8(float* const* e, const double* const* l, int p0, int p1,
                                     const double* __restrict U, int ldu, int k) {
  int c = p0;
  for (; c + 32 <= p1; c += 32) Tile8<R, 4>(e, l, c, U, ldu, k);
  switch ((p1 - c) / 8) {
    case 3: Tile8<R, 3>(e, l, c, U, ldu, k); break;
    case 2: Tile8<R, 2>(e, l, c, U, ldu, k); break;
    case 1: Tile8<R, 1>(e, l, c, U, ldu, k); break;
    default: break;
  }
}

// Six rows by thirty-two columns per tile, the remaining rows in one
// narrower tile.
KALMORA_TARGET_AVX512
void BlockUpdateAvx512(float* __restrict eq, int ld, const int32_t* rows, int nrows, int c0, int c1,
                       const double* __restrict L, int lk, int k, const double* __restrict U, int ldu) {
  for (int p0 = c0; p0 < c1; p0 += kPanel) {
    const int p1 = std::min(c1, p0 + kPanel);
    float* e[6];
    const double* l[6];
    for (int g = 0; g < nrows; g += 6) {
      const int nr = std::min(6, nrows - g);
      for (int q = 0; q < nr; ++q) {
        e[q] = eq + static_cast<std::size_t>(rows[g + q]) * ld;
        l[q] = L + static_cast<std::size_t>(rows[g + q]) * lk;
      }
      switch (nr) {
        case 6: TileRows8<6>(e, l, p0, p1, U, ldu, k); break;
        case 5: TileRows8<5>(e, l, p0, p1, U, ldu, k); break;
        case 4: TileRows8<4>(e, l, p0, p1, U, ldu, k); break;
        case 3: TileRows8<3>(e, l, p0, p1, U, ldu, k); break;
        case 2: TileRows8<2>(e, l, p0, p1, U, ldu, k); break;
        default: TileRows8<1>(e, l, p0, p1, U, ldu, k); break;
      }
    }
  }
}

KALMORA_TARGET_AVX512
void RowUpdateAvx512(float* __restrict row, const double* __restrict p, double f, int len) {
  const __m512d fv = _mm512_set1_pd(f);
  int c = 0;
  for (; c + 32 <= len; c += 32) {
    const __m512d a0 = SubMul8(Widen8(row + c), fv, _mm512_loadu_pd(p + c));
    const __m512d a1 = SubMul8(Widen8(row + c + 8), fv, _mm512_loadu_pd(p + c + 8));
    const __m512d a2 = SubMul8(Widen8(row + c + 16), fv, _mm512_loadu_pd(p + c + 16));
    const __m512d a3 = SubMul8(Widen8(row + c + 24), fv, _mm512_loadu_pd(p + c + 24));
    Narrow8(row + c, a0);
    Narrow8(row + c + 8, a1);
    Narrow8(row + c + 16, a2);
    Narrow8(row + c + 24, a3);
  }
  for (; c + 8 <= len; c += 8) Narrow8(row + c, SubMul8(Widen8(row + c), fv, _mm512_loadu_pd(p + c)));
  if (c < len) RowUpdateAvx2(row + c, p + c, f, len - c);
}

// W registers (8 W columns) carried across the pivots, rounded after each.
template <int W>
KALMORA_TARGET_AVX512 inline void RowChains8(float* row, const double* P, int ldp, const double* f, int k) {
  __m512d a[W];
#pragma GCC unroll 16
  for (int q = 0; q < W; ++q) a[q] = Widen8(row + 8 * q);
  for (int t = 0; t < k; ++t) {
    if (f[t] == 0.0) continue;
    const __m512d fv = _mm512_set1_pd(f[t]);
    const double* p = P + static_cast<std::size_t>(t) * ldp;
#pragma GCC unroll 16
    for (int q = 0; q < W; ++q) a[q] = Round8(SubMul8(a[q], fv, _mm512_loadu_pd(p + 8 * q)));
  }
#pragma GCC unroll 16
  for (int q = 0; q < W; ++q) Narrow8(row + 8 * q, a[q]);
}

// 128 columns in sixteen independent chains (they hide the latency of the
// rounding after each pivot), then thirty-two, then eight at a time.
KALMORA_TARGET_AVX512
void RowUpdatesAvx512(float* __restrict row, const double* __restrict P, int ldp, const double* f, int k,
                      int len) {
  int c = 0;
  for (; c + 128 <= len; c += 128) RowChains8<16>(row + c, P + c, ldp, f, k);
  for (; c + 32 <= len; c += 32) RowChains8<4>(row + c, P + c, ldp, f, k);
  for (; c + 8 <= len; c += 8) RowChains8<1>(row + c, P + c, ldp, f, k);
  if (c < len) RowUpdatesAvx2(row + c, P + c, ldp, f, k, len - c);
}

// The eight partial sums s0..s7 of one dot product in one register,
// combined in the order of the portable path.
KALMORA_TARGET_AVX512 inline double Combine8(__m512d s) {
  return Combine(_mm512_maskz_extractf64x4_pd(0xF, s, 0), _mm512_maskz_extractf64x4_pd(0xF, s, 1));
}

// Two rows by C columns: 2 C partial-sum registers, the rows' factors
// loaded once for all columns.
template <int C>
KALMORA_TARGET_AVX512 inline void DotTile8(float* e0, float* e1, const double* l0, const double* l1,
                                           const int32_t* slots, const double* ug, int lk, int k) {
  const int k8 = k / 8 * 8;
  const double* u[C];
#pragma GCC unroll 4
  for (int j = 0; j < C; ++j) u[j] = ug + static_cast<std::size_t>(j) * lk;
  __m512d s0[C], s1[C];
#pragma GCC unroll 4
  for (int j = 0; j < C; ++j) s0[j] = s1[j] = _mm512_setzero_pd();
  for (int t = 0; t < k8; t += 8) {
    const __m512d la = _mm512_loadu_pd(l0 + t), ma = _mm512_loadu_pd(l1 + t);
#pragma GCC unroll 4
    for (int j = 0; j < C; ++j) {
      const __m512d ua = _mm512_loadu_pd(u[j] + t);
      s0[j] = _mm512_add_pd(s0[j], _mm512_mul_pd(la, ua));
      s1[j] = _mm512_add_pd(s1[j], _mm512_mul_pd(ma, ua));
    }
  }
#pragma GCC unroll 4
  for (int j = 0; j < C; ++j) {
    double d0 = Combine8(s0[j]), d1 = Combine8(s1[j]);
    for (int t = k8; t < k; ++t) {
      d0 += l0[t] * u[j][t];
      d1 += l1[t] * u[j][t];
    }
    float& x0 = e0[slots[j]];
    float& x1 = e1[slots[j]];
    x0 = static_cast<float>(static_cast<double>(x0) - d0);
    x1 = static_cast<float>(static_cast<double>(x1) - d1);
  }
}

// Two rows by four columns per step, then the columns left one by one.
KALMORA_TARGET_AVX512
void ColumnsUpdateAvx512(float* __restrict eq, int ld, int r0, int r1, const int32_t* __restrict slots, int J,
                         const double* __restrict L, int lk, int k, const double* __restrict ug) {
  int r = r0;
  for (; r + 2 <= r1; r += 2) {
    float* e0 = eq + static_cast<std::size_t>(r) * ld;
    const double* l0 = L + static_cast<std::size_t>(r) * lk;
    int j = 0;
    for (; j + 4 <= J; j += 4)
      DotTile8<4>(e0, e0 + ld, l0, l0 + lk, slots + j, ug + static_cast<std::size_t>(j) * lk, lk, k);
    for (; j < J; ++j)
      DotTile8<1>(e0, e0 + ld, l0, l0 + lk, slots + j, ug + static_cast<std::size_t>(j) * lk, lk, k);
  }
  if (r < r1) ColumnsUpdatePortable(eq, ld, r, r1, slots, J, L, lk, k, ug);
}

#endif  // KALMORA_FRONT_AVX2

}  // namespace

bool FrontKernelAvailable(FrontKernel kern) {
#if KALMORA_FRONT_AVX2
  // What the processor offers, asked once (thread-safe initialisation of a
  // constant).
  struct Offer {
    bool avx2 = false, avx512 = false;
  };
  static const Offer offer = [] {
    __builtin_cpu_init();
    Offer o;
    o.avx2 = __builtin_cpu_supports("avx2");
    o.avx512 = o.avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
               __builtin_cpu_supports("avx512dq");
    return o;
  }();
  switch (kern) {
    case FrontKernel::Portable: return true;
    case FrontKernel::Avx2: return offer.avx2;
    case FrontKernel::Avx512: return offer.avx512;
  }
  return false;
#else
  return kern == FrontKernel::Portable;
#endif
}

bool FrontVectorAvailable() { return FrontKernelAvailable(FrontKernel::Avx2); }

FrontKernel FrontKernelFor(FrontPath path) {
  if (path == FrontPath::Portable || !FrontKernelAvailable(FrontKernel::Avx2)) return FrontKernel::Portable;
  if (path != FrontPath::Avx2 && FrontKernelAvailable(FrontKernel::Avx512)) return FrontKernel::Avx512;
  return FrontKernel::Avx2;
}

const char* FrontKernelName(FrontKernel kern) {
  switch (kern) {
    case FrontKernel::Avx2: return "avx2";
    case FrontKernel::Avx512: return "avx512";
    case FrontKernel::Portable: break;
  }
  return "portable";
}

void FrontBlockUpdate(FrontKernel kern, float* eq, int ld, const int32_t* rows, int nrows, int c0, int c1,
                      const double* L, int lk, int k, const double* U, int ldu) {
  if (nrows <= 0 || c1 <= c0 || k <= 0) return;
#if KALMORA_FRONT_AVX2
  if (kern == FrontKernel::Avx512) return BlockUpdateAvx512(eq, ld, rows, nrows, c0, c1, L, lk, k, U, ldu);
  if (kern == FrontKernel::Avx2) return BlockUpdateAvx2(eq, ld, rows, nrows, c0, c1, L, lk, k, U, ldu);
#endif
  (void)kern;
  BlockUpdatePortable(eq, ld, rows, nrows, c0, c1, L, lk, k, U, ldu);
}

void FrontRowUpdate(FrontKernel kern, float* row, const double* p, double f, int len) {
#if KALMORA_FRONT_AVX2
  if (kern == FrontKernel::Avx512) return RowUpdateAvx512(row, p, f, len);
  if (kern == FrontKernel::Avx2) return RowUpdateAvx2(row, p, f, len);
#endif
  (void)kern;
  RowUpdatePortable(row, p, f, len);
}

void FrontRowUpdates(FrontKernel kern, float* row, const double* P, int ldp, const double* f, int k, int len) {
  if (k <= 0 || len <= 0) return;
#if KALMORA_FRONT_AVX2
  if (kern == FrontKernel::Avx512) return RowUpdatesAvx512(row, P, ldp, f, k, len);
  if (kern == FrontKernel::Avx2) return RowUpdatesAvx2(row, P, ldp, f, k, len);
#endif
  (void)kern;
  RowUpdatesPortable(row, P, ldp, f, k, len);
}

void FrontColumnsUpdate(FrontKernel kern, float* eq, int ld, int r0, int r1, const int32_t* slots, int J,
                        const double* L, int lk, int k, const double* ug) {
  if (r1 <= r0 || J <= 0 || k <= 0) return;
#if KALMORA_FRONT_AVX2
  if (kern == FrontKernel::Avx512) return ColumnsUpdateAvx512(eq, ld, r0, r1, slots, J, L, lk, k, ug);
  if (kern == FrontKernel::Avx2) return ColumnsUpdateAvx2(eq, ld, r0, r1, slots, J, L, lk, k, ug);
#endif
  (void)kern;
  ColumnsUpdatePortable(eq, ld, r0, r1, slots, J, L, lk, k, ug);
}
