#include "fem/elements.h"

#include <cassert>

namespace {

// 7-point degree-5 rule on the reference triangle (area 1/2), in area
// coordinates, with its coefficients as stored (six to eight digits).
constexpr double kTa = 0.05971587, kTb = 0.47014206;
constexpr double kTc = 0.79742699, kTd = 0.10128651;
constexpr double kTri7[7][3] = {{1.0 / 3.0, 1.0 / 3.0, 1.0 / 3.0},
                                {kTa, kTb, kTb}, {kTb, kTa, kTb}, {kTb, kTb, kTa},
                                {kTc, kTd, kTd}, {kTd, kTc, kTd}, {kTd, kTd, kTc}};
constexpr double kTri7W[7] = {0.1125,      0.066197075, 0.066197075, 0.066197075,
                              0.062969588, 0.062969588, 0.062969588};

// 6-point Gauss-Legendre levels in zeta (interval [-1, 1]) for the wedge.
constexpr double kGL6[6] = {-0.93246949, -0.66120940, -0.23861919,
                            0.23861919,  0.66120940,  0.93246949};
constexpr double kGL6W[6] = {0.17132449, 0.36076157, 0.46791393,
                             0.46791393, 0.36076157, 0.17132449};

// 14-point degree-5 rule on the reference tetrahedron (volume 1/6).
constexpr double kA1 = 0.06734230, kB1 = 0.31088591, kW1 = 0.018781321;
constexpr double kA2 = 0.72179425, kB2 = 0.092735253, kW2 = 0.012248840;
constexpr double kG3 = 0.045504000, kD3 = 0.45449600, kW3 = 0.0070910030;
constexpr double kTet14[14][4] = {
    {kA1, kB1, kB1, kB1}, {kB1, kA1, kB1, kB1}, {kB1, kB1, kA1, kB1}, {kB1, kB1, kB1, kA1},
    {kA2, kB2, kB2, kB2}, {kB2, kA2, kB2, kB2}, {kB2, kB2, kA2, kB2}, {kB2, kB2, kB2, kA2},
    {kG3, kG3, kD3, kD3}, {kG3, kD3, kG3, kD3}, {kG3, kD3, kD3, kG3},
    {kD3, kG3, kG3, kD3}, {kD3, kG3, kD3, kG3}, {kD3, kD3, kG3, kG3}};
constexpr double kTet14W[14] = {kW1, kW1, kW1, kW1, kW2, kW2, kW2,
                                kW2, kW3, kW3, kW3, kW3, kW3, kW3};

// 5-point Gauss-Legendre rule on [0, 1] for the triangle edges.
constexpr double kEdgeT[5] = {0.046910048, 0.23076534, 0.5, 0.76923466, 0.95308995};
constexpr double kEdgeW[5] = {0.11846345, 0.23931435, 0.28444445, 0.23931435, 0.11846345};

// 3 x 3 Gauss-Legendre rule of the quadrilateral wedge faces: edge parameter
// t on [0, 1], zeta on [-1, 1], weights (5/9, 8/9, 5/9) products over 4.
constexpr double kQuadT[3] = {0.1127015, 0.5, 0.8872985};
constexpr double kQuadZ[3] = {-0.774597, 0.0, 0.774597};
constexpr double kGL3W[3] = {5.0 / 9.0, 8.0 / 9.0, 5.0 / 9.0};

// Area (volume) coordinates of a stored point, scaled by their sum so that
// they form a partition of unity; the printed coefficients miss it by at
// most 3e-8.
template <int M>
std::array<double, M> Closed(const double (&c)[M]) {
  double s = 0.0;
  for (int i = 0; i < M; ++i) s += c[i];
  std::array<double, M> out{};
  for (int i = 0; i < M; ++i) out[i] = c[i] / s;
  return out;
}

void AllocType(ElemType& t, int nn, int nv, int ngp, bool linearDerivs) {
  t.nn = nn;
  t.nv = nv;
  t.ngp = ngp;
  t.dN1.assign(nn, ngp, 0.0);
  t.dN2.assign(nn, ngp, 0.0);
  t.dN3.assign(nn, ngp, 0.0);
  t.N.assign(nn, ngp, 0.0);
  t.gp.assign(ngp, LocalPoint{});
  t.nodept.assign(nn, LocalPoint{});
  t.w.assign(ngp, 0.0);
  t.L.assign(nv, ngp, 0.0);
  if (linearDerivs) {
    t.dL1.assign(nv, ngp, 0.0);
    t.dL2.assign(nv, ngp, 0.0);
    t.dL3.assign(nv, ngp, 0.0);
  }
}

void AllocFace(FaceRule& f, int nn, int npt, int nfn) {
  f.npt = static_cast<int8_t>(npt);
  f.nfn = static_cast<int8_t>(nfn);
  f.gp.assign(npt, LocalPoint{});
  f.w.assign(npt, 0.0);
  f.dN1.assign(nn, npt, 0.0);
  f.dN2.assign(nn, npt, 0.0);
  f.dN3.assign(nn, npt, 0.0);
  f.N.assign(nn, npt, 0.0);
  f.fnode = Fix1<int8_t, 8>{};
}

// Triangle point k of an element record: functions, derivatives and the
// linear functions (L1, L2, L3).
void FillTriPoint(ElemType& t, int k, const LocalPoint& p, double w) {
  t.gp(k) = p;
  t.w(k) = w;
  double N[6], d1[6], d2[6];
  ShapeTri6At(p, N, d1, d2);
  for (int a = 1; a <= 6; ++a) {
    t.N(a, k) = N[a - 1];
    t.dN1(a, k) = d1[a - 1];
    t.dN2(a, k) = d2[a - 1];
  }
  for (int a = 1; a <= 3; ++a) t.L(a, k) = p[a - 1];
}

void FillTri6(ElemType& t) {
  AllocType(t, kTriNodes, kTriCorners, kTriPoints, false);
  for (int k = 1; k <= kTriPoints; ++k) {
    const auto c = Closed(kTri7[k - 1]);
    FillTriPoint(t, k, LocalPoint{c[0], c[1], c[2], 0.0}, kTri7W[k - 1]);
  }
}

void FillTri6Edge(ElemType& t) {
  AllocType(t, kTriNodes, kTriCorners, kTriEdgePoints, false);
  for (int e = 0; e < 3; ++e) {
    for (int i = 0; i < 5; ++i) {
      const double s = kEdgeT[i];
      LocalPoint p{};
      if (e == 0) p = {0.0, s, 1.0 - s, 0.0};       // edge L1 = 0
      else if (e == 1) p = {s, 0.0, 1.0 - s, 0.0};  // edge L2 = 0
      else p = {s, 1.0 - s, 0.0, 0.0};              // edge L3 = 0
      FillTriPoint(t, 5 * e + i + 1, p, kEdgeW[i]);
    }
  }
}

void FillTet10(ElemType& t) {
  AllocType(t, kTetNodes, kTetCorners, kTetPoints, false);
  for (int k = 1; k <= kTetPoints; ++k) {
    const auto c = Closed(kTet14[k - 1]);
    const LocalPoint p{c[0], c[1], c[2], c[3]};
    t.gp(k) = p;
    t.w(k) = kTet14W[k - 1];
    for (int a = 1; a <= 4; ++a) t.L(a, k) = p[a - 1];
    ShapeTet10(p, k, t.dN1, t.dN2, t.dN3, t.N);
  }
}

void FillWedge15(ElemType& t) {
  AllocType(t, kWedgeNodes, kWedgeCorners, kWedgePoints, true);
  double wsum = 0.0;
  for (int lev = 1; lev <= 6; ++lev) {
    for (int j = 1; j <= kTriPoints; ++j) {
      const int k = kTriPoints * (lev - 1) + j;
      const auto c = Closed(kTri7[j - 1]);
      const double z = kGL6[lev - 1];
      const LocalPoint p{c[0], c[1], c[2], z};
      t.gp(k) = p;
      t.w(k) = kTri7W[j - 1] * kGL6W[lev - 1] / 6.0;
      wsum += t.w(k);
      // Linear functions of the six corners and their derivatives
      // (by L1 and L2 with L3 dependent, and by zeta).
      const double a = 1.0 - z, b = 1.0 + z;
      for (int m = 1; m <= 3; ++m) {
        const double Lm = p[m - 1];
        t.L(m, k) = 0.5 * Lm * a;
        t.L(m + 3, k) = 0.5 * Lm * b;
        const double dm1 = (m == 1 ? 1.0 : 0.0) - (m == 3 ? 1.0 : 0.0);
        const double dm2 = (m == 2 ? 1.0 : 0.0) - (m == 3 ? 1.0 : 0.0);
        t.dL1(m, k) = 0.5 * dm1 * a;
        t.dL2(m, k) = 0.5 * dm2 * a;
        t.dL3(m, k) = -0.5 * Lm;
        t.dL1(m + 3, k) = 0.5 * dm1 * b;
        t.dL2(m + 3, k) = 0.5 * dm2 * b;
        t.dL3(m + 3, k) = 0.5 * Lm;
      }
      ShapeWedge15(p, k, t.dN1, t.dN2, t.dN3, t.N);
    }
  }
  // The reference wedge has volume 1: the weights are scaled to sum to 1.
  for (int k = 1; k <= kWedgePoints; ++k) t.w(k) /= wsum;

  // Sample points next to the nodes.
  for (int a = 1; a <= kWedgeNodes; ++a) t.nodept(a) = LocalPoint{0.1, 0.1, 0.1, 0.1};
  for (int m = 1; m <= 3; ++m) {
    t.nodept(m)[m - 1] = 0.8;
    t.nodept(m)[3] = -0.9;
    t.nodept(m + 3)[m - 1] = 0.8;
    t.nodept(m + 3)[3] = 0.9;
    t.nodept(m + 9)[m - 1] = 0.8;
    t.nodept(m + 9)[3] = 0.0;
  }
  // Mid-side nodes of the bottom (7, 8, 9) and top (13, 14, 15) triangles.
  for (int e = 0; e < 3; ++e) {
    const int i = kWedgeEdge[e][0] - 1, j = kWedgeEdge[e][1] - 1;
    LocalPoint& lo = t.nodept(7 + e);
    LocalPoint& hi = t.nodept(13 + e);
    lo[i] = lo[j] = hi[i] = hi[j] = 0.45;
    lo[3] = -0.9;
    hi[3] = 0.9;
  }
}

void SetFaceNodes(FaceRule& f, const int* nodes, int nfn) {
  for (int i = 1; i <= nfn; ++i) f.fnode(i) = static_cast<int8_t>(nodes[i - 1]);
}

void FillWedgeFaces(Fix1<FaceRule, 5>& faces) {
  for (int face = 1; face <= 2; ++face) {
    FaceRule& f = faces(face);
    AllocFace(f, kWedgeNodes, kTriPoints, 6);
    SetFaceNodes(f, kWedgeFaceNodes[face - 1], 6);
    const double z = face == 1 ? -1.0 : 1.0;
    for (int k = 1; k <= kTriPoints; ++k) {
      const auto c = Closed(kTri7[k - 1]);
      f.gp(k) = LocalPoint{c[0], c[1], c[2], z};
      f.w(k) = kTri7W[k - 1];
      ShapeWedge15(f.gp(k), k, f.dN1, f.dN2, f.dN3, f.N);
    }
  }
  for (int face = 3; face <= 5; ++face) {
    FaceRule& f = faces(face);
    AllocFace(f, kWedgeNodes, 9, 8);
    SetFaceNodes(f, kWedgeFaceNodes[face - 1], 8);
    for (int iz = 1; iz <= 3; ++iz) {
      for (int it = 1; it <= 3; ++it) {
        const int k = 3 * (iz - 1) + it;
        const double t = kQuadT[it - 1], s = 1.0 - t, z = kQuadZ[iz - 1];
        LocalPoint p{};
        if (face == 3) p = {t, s, 0.0, z};       // L3 = 0
        else if (face == 4) p = {t, 0.0, s, z};  // L2 = 0
        else p = {0.0, t, s, z};                 // L1 = 0
        f.gp(k) = p;
        f.w(k) = kGL3W[it - 1] * kGL3W[iz - 1] / 4.0;
        ShapeWedge15(p, k, f.dN1, f.dN2, f.dN3, f.N);
      }
    }
  }
}

void FillTetFaces(Fix1<FaceRule, 5>& faces) {
  for (int face = 1; face <= 4; ++face) {
    FaceRule& f = faces(face);
    AllocFace(f, kTetNodes, kTriPoints, 6);
    SetFaceNodes(f, kTetFaceNodes[face - 1], 6);
    const int opposite = 5 - face;  // the volume coordinate that vanishes on the face
    for (int k = 1; k <= kTriPoints; ++k) {
      const auto c = Closed(kTri7[k - 1]);
      LocalPoint p{};
      int next = 0;
      for (int m = 1; m <= 4; ++m) p[m - 1] = m == opposite ? 0.0 : c[next++];
      f.gp(k) = p;
      f.w(k) = kTri7W[k - 1];
      ShapeTet10(p, k, f.dN1, f.dN2, f.dN3, f.N);
    }
  }
  faces(5) = FaceRule{};
}

}  // namespace

void ShapeTri6At(const LocalPoint& p, double N[6], double d1[6], double d2[6]) {
  // N_k = L_k (2 L_k - 1); N4 = 4 L1 L3, N5 = 4 L1 L2, N6 = 4 L2 L3.
  // d/dL1 and d/dL2 at L3 = 1 - L1 - L2: partial by L_i minus partial by L3.
  const double L1 = p[0], L2 = p[1], L3 = p[2];
  N[0] = L1 * (2.0 * L1 - 1.0);
  N[1] = L2 * (2.0 * L2 - 1.0);
  N[2] = L3 * (2.0 * L3 - 1.0);
  N[3] = 4.0 * L1 * L3;
  N[4] = 4.0 * L1 * L2;
  N[5] = 4.0 * L2 * L3;
  const double g3 = 4.0 * L3 - 1.0;
  d1[0] = 4.0 * L1 - 1.0;
  d1[1] = 0.0;
  d1[2] = -g3;
  d1[3] = 4.0 * (L3 - L1);
  d1[4] = 4.0 * L2;
  d1[5] = -4.0 * L2;
  d2[0] = 0.0;
  d2[1] = 4.0 * L2 - 1.0;
  d2[2] = -g3;
  d2[3] = -4.0 * L1;
  d2[4] = 4.0 * L1;
  d2[5] = 4.0 * (L3 - L2);
}

void ShapeWedge15At(const LocalPoint& p, double N[15], double d1[15], double d2[15], double d3[15]) {
  // a = 1 - zeta, b = 1 + zeta, c = 1 - zeta^2.
  //   N_k     = L_k [(2L_k - 1) a - c] / 2,  N_{k+3} = L_k [(2L_k - 1) b - c] / 2,
  //   N7..9   = 2 L_i L_j a (edges 1-3, 1-2, 2-3),  N10..12 = L_k c,
  //   N13..15 = 2 L_i L_j b.
  // Partials gL_m by the free area coordinate L_m are formed first; the
  // derivatives by L1 and L2 at L3 = 1 - L1 - L2 are gL1 - gL3 and gL2 - gL3.
  const double L[3] = {p[0], p[1], p[2]};
  const double z = p[3];
  const double a = 1.0 - z, b = 1.0 + z, c = 1.0 - z * z;
  double g[15][3] = {};  // partial derivatives by L1, L2, L3
  for (int k = 0; k < 3; ++k) {
    const double Lk = L[k];
    N[k] = 0.5 * Lk * ((2.0 * Lk - 1.0) * a - c);
    N[k + 3] = 0.5 * Lk * ((2.0 * Lk - 1.0) * b - c);
    g[k][k] = 0.5 * ((4.0 * Lk - 1.0) * a - c);
    g[k + 3][k] = 0.5 * ((4.0 * Lk - 1.0) * b - c);
    d3[k] = 0.5 * Lk * (-(2.0 * Lk - 1.0) + 2.0 * z);
    d3[k + 3] = 0.5 * Lk * ((2.0 * Lk - 1.0) + 2.0 * z);
    N[k + 9] = Lk * c;
    g[k + 9][k] = c;
    d3[k + 9] = -2.0 * z * Lk;
  }
  for (int e = 0; e < 3; ++e) {
    const int i = kWedgeEdge[e][0] - 1, j = kWedgeEdge[e][1] - 1;
    const double lij = L[i] * L[j];
    N[6 + e] = 2.0 * lij * a;
    g[6 + e][i] = 2.0 * L[j] * a;
    g[6 + e][j] = 2.0 * L[i] * a;
    d3[6 + e] = -2.0 * lij;
    N[12 + e] = 2.0 * lij * b;
    g[12 + e][i] = 2.0 * L[j] * b;
    g[12 + e][j] = 2.0 * L[i] * b;
    d3[12 + e] = 2.0 * lij;
  }
  for (int n = 0; n < 15; ++n) {
    d1[n] = g[n][0] - g[n][2];
    d2[n] = g[n][1] - g[n][2];
  }
}

void ShapeWedge15(const LocalPoint& p, int k, Mat1<double>& dN1, Mat1<double>& dN2,
                  Mat1<double>& dN3, Mat1<double>& N) {
  assert(N.rows == kWedgeNodes && k >= 1 && k <= N.cols);
  ShapeWedge15At(p, N.col(k), dN1.col(k), dN2.col(k), dN3.col(k));
}

void ShapeTet10At(const LocalPoint& p, double N[10], double d1[10], double d2[10], double d3[10]) {
  // N_k = L_k (2 L_k - 1) for the vertices; N5..N10 = 4 L_i L_j on the edges
  // 1-2, 2-3, 1-3, 1-4, 2-4, 3-4.  Derivatives by L1, L2, L3 at
  // L4 = 1 - L1 - L2 - L3: partial by L_m minus partial by L4.
  const double L[4] = {p[0], p[1], p[2], p[3]};
  double g[10][4] = {};
  for (int k = 0; k < 4; ++k) {
    N[k] = L[k] * (2.0 * L[k] - 1.0);
    g[k][k] = 4.0 * L[k] - 1.0;
  }
  for (int e = 0; e < 6; ++e) {
    const int i = kTetEdge[e][0] - 1, j = kTetEdge[e][1] - 1;
    N[4 + e] = 4.0 * L[i] * L[j];
    g[4 + e][i] = 4.0 * L[j];
    g[4 + e][j] = 4.0 * L[i];
  }
  for (int n = 0; n < 10; ++n) {
    d1[n] = g[n][0] - g[n][3];
    d2[n] = g[n][1] - g[n][3];
    d3[n] = g[n][2] - g[n][3];
  }
}

void ShapeTet10(const LocalPoint& p, int k, Mat1<double>& dN1, Mat1<double>& dN2,
                Mat1<double>& dN3, Mat1<double>& N) {
  assert(N.rows == kTetNodes && k >= 1 && k <= N.cols);
  ShapeTet10At(p, N.col(k), dN1.col(k), dN2.col(k), dN3.col(k));
}

void iniELEM(ElementTables& tab) {
  FillTri6(tab.Tri6);
  FillTri6Edge(tab.Tri6Edge);
  FillTet10(tab.Tet10);
  FillWedge15(tab.Wedge15);
  FillWedgeFaces(tab.Wedge15Faces);
  FillTetFaces(tab.Tet10Faces);
}

double JacobianDet(const ElemType& et, int ip, const double xyz[][3]) {
  assert(ip >= 1 && ip <= et.ngp);
  const double* d[3] = {et.dN1.col(ip), et.dN2.col(ip), et.dN3.col(ip)};
  double J[3][3] = {};
  for (int m = 0; m < 3; ++m)
    for (int a = 0; a < et.nn; ++a)
      for (int i = 0; i < 3; ++i) J[m][i] += d[m][a] * xyz[a][i];
  return J[0][0] * (J[1][1] * J[2][2] - J[1][2] * J[2][1]) -
         J[0][1] * (J[1][0] * J[2][2] - J[1][2] * J[2][0]) +
         J[0][2] * (J[1][0] * J[2][1] - J[1][1] * J[2][0]);
}
