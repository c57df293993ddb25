// Flow element matrix on a curved, distorted wedge and tetrahedron, in both
// orientations of the local node order: symmetry, null space, the viscous
// bilinear form and the divergence coupling against integrals computed with
// an independent collapsed Gauss rule.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <utility>
#include <vector>

#include "material/flow_stress.h"
#include "solver/flow_element.h"
#include "support/element_tables.h"

namespace {


constexpr int kNcn = kFlowMaxUnknowns;

// Gauss-Legendre nodes and weights on [0, 1] by Newton iteration.
void GaussLegendre01(int n, std::vector<double>& x, std::vector<double>& w) {
  x.assign(static_cast<size_t>(n), 0);
  w.assign(static_cast<size_t>(n), 0);
  for (int i = 0; i < n; ++i) {
    double z = std::cos(M_PI * (i + 0.75) / (n + 0.5)), dp = 0;
    for (int it = 0; it < 100; ++it) {
      double p0 = 1, p1 = z;
      for (int k = 2; k <= n; ++k) {
        const double p2 = ((2 * k - 1) * z * p1 - (k - 1) * p0) / k;
        p0 = p1;
        p1 = p2;
      }
      dp = n * (z * p1 - p0) / (z * z - 1);
      const double dz = p1 / dp;
      z -= dz;
      if (std::fabs(dz) < 1e-16) break;
    }
    x[static_cast<size_t>(i)] = 0.5 * (1 - z);
    w[static_cast<size_t>(i)] = 1.0 / ((1 - z * z) * dp * dp);
  }
}

// One test element: node coordinates in local order, and the mesh record
// holding it as element 1 with global node i = local node i.
struct TestElem {
  bool wedge = true;
  int nen = 15, npe = 6;
  MeshRecord mesh;
};

// Curved wedge: distorted corners, mid-side nodes off the chord midpoints.
TestElem MakeWedge() {
  TestElem t;
  const double c[6][3] = {{0, 0, 0}, {10, 1, 0.5}, {2, 9, -0.3}, {0.5, -0.5, 8}, {11, 1.5, 7.5}, {2.5, 10, 9}};
  const double bump[9][3] = {{0.2, -0.1, 0.1}, {0.0, 0.3, -0.2}, {-0.2, 0.1, 0.2}, {0.1, 0.1, 0.0},
                             {-0.1, 0.2, 0.1}, {0.2, 0.0, -0.1}, {0.0, -0.2, 0.2}, {0.1, 0.2, 0.0},
                             {-0.3, 0.1, 0.1}};
  Mesh3d& g = t.mesh.g;
  g.ne = 1;
  g.nh = 15;
  g.np = 6;
  g.npe = 15;
  g.nve = 6;
  g.xyz.assign(3, 15);
  for (int a = 1; a <= 6; ++a)
    for (int i = 1; i <= 3; ++i) g.xyz(i, a) = c[a - 1][i - 1];
  for (int e = 0; e < 9; ++e)
    for (int i = 1; i <= 3; ++i)
      g.xyz(i, 7 + e) = 0.5 * (c[kWedgeEdge[e][0] - 1][i - 1] + c[kWedgeEdge[e][1] - 1][i - 1]) + bump[e][i - 1];
  g.nop.assign(15, 1);
  for (int a = 1; a <= 15; ++a) g.nop(a, 1) = a;
  g.etype.assign(1, 1);
  g.BoundaryConditions.assign(15, 0);
  t.mesh.fld.assign(kNumFld, 15, 0.0f);
  return t;
}

// Curved tetrahedron in a 15-entry connectivity column (entries 11..15 zero).
TestElem MakeTet() {
  TestElem t;
  t.wedge = false;
  t.nen = 10;
  t.npe = 4;
  const double c[4][3] = {{0, 0, 0}, {6, 0.5, 0.3}, {1, 7, -0.2}, {0.5, 1, 8}};
  const double bump[6][3] = {{0.1, -0.2, 0.1}, {0.2, 0.1, 0.0}, {-0.1, 0.1, 0.2},
                             {0.0, 0.2, -0.1}, {0.1, 0.0, 0.2}, {-0.2, -0.1, 0.1}};
  Mesh3d& g = t.mesh.g;
  g.ne = 1;
  g.nh = 10;
  g.np = 4;
  g.npe = 15;
  g.nve = 6;
  g.xyz.assign(3, 10);
  for (int a = 1; a <= 4; ++a)
    for (int i = 1; i <= 3; ++i) g.xyz(i, a) = c[a - 1][i - 1];
  for (int e = 0; e < 6; ++e)
    for (int i = 1; i <= 3; ++i)
      g.xyz(i, 5 + e) = 0.5 * (c[kTetEdge[e][0] - 1][i - 1] + c[kTetEdge[e][1] - 1][i - 1]) + bump[e][i - 1];
  g.nop.assign(15, 1, 0);
  for (int a = 1; a <= 10; ++a) g.nop(a, 1) = a;
  g.etype.assign(1, 0);
  g.BoundaryConditions.assign(10, 0);
  t.mesh.fld.assign(kNumFld, 10, 0.0f);
  return t;
}

// Local renumbering that reverses the orientation: wedge top and bottom
// exchanged; tetrahedron vertices 1 and 2 exchanged.  perm[a] = old local
// node that becomes local node a.
const int kWedgeFlip[15] = {4, 5, 6, 1, 2, 3, 13, 14, 15, 10, 11, 12, 7, 8, 9};
const int kTetFlip[10] = {2, 1, 3, 4, 5, 7, 6, 9, 8, 10};

TestElem Flipped(const TestElem& t) {
  TestElem f = t;
  const int* perm = t.wedge ? kWedgeFlip : kTetFlip;
  for (int a = 1; a <= t.nen; ++a) f.mesh.g.nop(a, 1) = t.mesh.g.nop(perm[a - 1], 1);
  return f;
}

// Sets nodal velocity, temperature and strain from functions of position.
void SetFields(TestElem& t, const std::function<void(const double*, double*)>& vel, double T0, double e0) {
  for (int n = 1; n <= t.mesh.g.nh; ++n) {
    const double x[3] = {t.mesh.g.xyz(1, n), t.mesh.g.xyz(2, n), t.mesh.g.xyz(3, n)};
    double v[3];
    vel(x, v);
    for (int i = 0; i < 3; ++i) t.mesh.fld(kFldVx + i, n) = static_cast<float>(v[i]);
    t.mesh.fld(kFldT, n) = static_cast<float>(T0 + 8.0 * x[0] - 3.0 * x[2]);
    t.mesh.fld(kFldStrain, n) = static_cast<float>(e0 + 0.05 * x[1]);
  }
}

InpDat Input(int law) {
  InpDat inp;
  inp.setup.mat.MatLaw = law;
  inp.setup.mat.MatTmax = 1200.0;
  return inp;
}

std::vector<double> Matrix(const TestElem& t, const InpDat& inp, int* nu = nullptr) {
  std::vector<double> est(static_cast<size_t>(kNcn * kNcn), 99.0);  // stale contents must go
  const int n = FlowElementMatrix(Tables(), t.mesh, inp.setup, 1, est.data(), kNcn);
  if (nu) *nu = n;
  return est;
}

double At(const std::vector<double>& m, int r, int c) { return m[static_cast<size_t>((c - 1) * kNcn + (r - 1))]; }

double MaxAbs(const std::vector<double>& m) {
  double s = 0;
  for (double v : m) s = std::max(s, std::fabs(v));
  return s;
}

// Element unknown vector of the nodal field u(x) for local node order of t.
std::vector<double> NodalVector(const TestElem& t, const std::function<void(const double*, double*)>& u) {
  std::vector<double> x(static_cast<size_t>(kNcn), 0.0);
  for (int a = 1; a <= t.nen; ++a) {
    const int n = t.mesh.g.nop(a, 1);
    const double p[3] = {t.mesh.g.xyz(1, n), t.mesh.g.xyz(2, n), t.mesh.g.xyz(3, n)};
    double v[3];
    u(p, v);
    for (int i = 0; i < 3; ++i) x[static_cast<size_t>(i * t.nen + a - 1)] = v[i];
  }
  return x;
}

std::vector<double> Apply(const std::vector<double>& m, const std::vector<double>& x) {
  std::vector<double> y(static_cast<size_t>(kNcn), 0.0);
  for (int c = 1; c <= kNcn; ++c)
    for (int r = 1; r <= kNcn; ++r) y[static_cast<size_t>(r - 1)] += At(m, r, c) * x[static_cast<size_t>(c - 1)];
  return y;
}

// Independent integration over the element with a collapsed Gauss rule of
// 10 points per direction.  f receives the node function values, global
// derivatives (own cofactor inverse), the corner (pressure) functions and
// the signed measure weight x detJ.
using PointFn = std::function<void(const double* N, const double (*grad)[3], const double* P, double dv)>;

void IndependentIntegral(const TestElem& t, const PointFn& f) {
  std::vector<double> gx, gw;
  GaussLegendre01(10, gx, gw);
  const Mesh3d& g = t.mesh.g;
  for (size_t i = 0; i < gx.size(); ++i)
    for (size_t j = 0; j < gx.size(); ++j)
      for (size_t k = 0; k < gx.size(); ++k) {
        const double u = gx[i], v = gx[j], s = gx[k];
        LocalPoint p{};
        double wt;
        double N[15], d[3][15], P[6];
        if (t.wedge) {
          const double L1 = u, L2 = (1 - u) * v, z = 2 * s - 1;
          p = {L1, L2, 1 - L1 - L2, z};
          wt = gw[i] * gw[j] * gw[k] * (1 - u) * 2;
          ShapeWedge15At(p, N, d[0], d[1], d[2]);
          for (int m = 0; m < 3; ++m) {
            P[m] = 0.5 * p[static_cast<size_t>(m)] * (1 - z);
            P[m + 3] = 0.5 * p[static_cast<size_t>(m)] * (1 + z);
          }
        } else {
          const double L1 = u, L2 = (1 - u) * v, L3 = (1 - u) * (1 - v) * s;
          p = {L1, L2, L3, 1 - L1 - L2 - L3};
          wt = gw[i] * gw[j] * gw[k] * (1 - u) * (1 - u) * (1 - v);
          ShapeTet10At(p, N, d[0], d[1], d[2]);
          for (int m = 0; m < 4; ++m) P[m] = p[static_cast<size_t>(m)];
        }
        double J[3][3] = {};
        for (int a = 0; a < t.nen; ++a) {
          const int n = g.nop(a + 1, 1);
          for (int m = 0; m < 3; ++m)
            for (int q = 0; q < 3; ++q) J[m][q] += d[m][a] * g.xyz(q + 1, n);
        }
        // Cofactor inverse: grad N = J^-1 dN.
        double C[3][3];
        for (int r = 0; r < 3; ++r)
          for (int c = 0; c < 3; ++c) {
            const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
            C[r][c] = J[r1][c1] * J[r2][c2] - J[r1][c2] * J[r2][c1];
          }
        const double det = J[0][0] * C[0][0] + J[0][1] * C[0][1] + J[0][2] * C[0][2];
        double grad[15][3];
        for (int a = 0; a < t.nen; ++a)
          for (int q = 0; q < 3; ++q) grad[a][q] = (C[0][q] * d[0][a] + C[1][q] * d[1][a] + C[2][q] * d[2][a]) / det;
        f(N, grad, P, wt * det);
      }
}

// Linear test field u = A x + b.
struct Linear {
  double A[3][3], b[3];
  void operator()(const double* x, double* v) const {
    for (int i = 0; i < 3; ++i) v[i] = b[i] + A[i][0] * x[0] + A[i][1] * x[1] + A[i][2] * x[2];
  }
};

const Linear kShear{{{0.3, -0.7, 0.2}, {0.4, -0.1, 0.9}, {-0.5, 0.6, 0.25}}, {1.0, -2.0, 0.5}};

std::vector<TestElem> AllElements() {
  const TestElem w = MakeWedge(), t = MakeTet();
  return {w, Flipped(w), t, Flipped(t)};
}

// Sign of detJ at the element's own integration points.
int OrientationSign(const TestElem& t) {
  FlowElementData d;
  GatherFlowElement(t.mesh, 1, d);
  const ElemType& et = t.wedge ? Tables().Wedge15 : Tables().Tet10;
  double grad[15][3];
  int pos = 0, neg = 0;
  for (int g = 1; g <= et.ngp; ++g) (PointGradients(et, g, d, grad) > 0 ? pos : neg)++;
  EXPECT_TRUE(pos == 0 || neg == 0) << "mixed orientation inside one element";
  return pos > 0 ? 1 : -1;
}

TEST(FlowElement, TestElementsCoverBothOrientations) {
  const auto els = AllElements();
  EXPECT_EQ(OrientationSign(els[0]), 1);
  EXPECT_EQ(OrientationSign(els[1]), -1);
  EXPECT_EQ(OrientationSign(els[2]) * OrientationSign(els[3]), -1);
}

TEST(FlowElement, SizeSymmetryAndZeroBlocks) {
  for (TestElem t : AllElements()) {
    SetFields(t, [](const double* x, double* v) {
      v[0] = 0.1 * x[1] * x[1] + x[2];
      v[1] = -0.2 * x[0] * x[2];
      v[2] = 5.0 + 0.3 * x[0] * x[1];
    }, 440.0, 0.3);
    int nu = 0;
    const std::vector<double> est = Matrix(t, Input(8), &nu);
    const int nv = 3 * t.nen;
    EXPECT_EQ(nu, t.wedge ? 51 : 34);
    const double scale = MaxAbs(est);
    ASSERT_GT(scale, 0);
    for (int r = 1; r <= kNcn; ++r)
      for (int c = 1; c <= kNcn; ++c) {
        if (r > nu || c > nu || (r > nv && c > nv)) {
          EXPECT_EQ(At(est, r, c), 0.0) << r << "," << c;  // beyond the element, and the p-p block
        } else {
          EXPECT_NEAR(At(est, r, c), At(est, c, r), 1e-13 * scale) << r << "," << c;
        }
      }
  }
}

TEST(FlowElement, RigidMotionsAndDilatationAreInTheViscousNullSpace) {
  const Linear fields[] = {
      {{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {1, 0, 0}},   {{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {0, 1, 0}},
      {{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {0, 0, 1}},   {{{0, -1, 0}, {1, 0, 0}, {0, 0, 0}}, {0, 0, 0}},
      {{{0, 0, 1}, {0, 0, 0}, {-1, 0, 0}}, {0, 0, 0}},  {{{0, 0, 0}, {0, 0, -1}, {0, 1, 0}}, {0, 0, 0}},
      {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {0, 0, 0}}};  // last: uniform dilatation, deviator-free
  for (TestElem t : AllElements()) {
    SetFields(t, kShear, 450.0, 0.4);
    const std::vector<double> est = Matrix(t, Input(8));
    const double scale = MaxAbs(est);
    for (const Linear& f : fields) {
      const std::vector<double> x = NodalVector(t, f);
      std::vector<double> xv = x;
      const std::vector<double> y = Apply(est, xv);
      double xn = 0;
      for (double v : x) xn = std::max(xn, std::fabs(v));
      for (int r = 1; r <= 3 * t.nen; ++r)
        EXPECT_NEAR(y[static_cast<size_t>(r - 1)], 0.0, 1e-12 * scale * xn * t.nen) << "row " << r;
    }
  }
}

// Relative accuracy of the element's own integration rule, set by the
// digits of its stored coefficients (see the quadrature tests); the
// independent rule is exact for these polynomial integrands.
double RuleTol(const TestElem& t) { return t.wedge ? 5e-7 : 3e-6; }

// Constant viscosity (unknown law: shear viscosity 1/9) and a linear velocity field:
// row (j, a) of K u is eta sum_k (2 D_jk - 2/3 div u delta_jk) int dN_a/dx_k,
// and u.K u = eta (2 D:D - 2/3 div^2) x (signed volume).
TEST(FlowElement, ViscousBlockReproducesTheBilinearFormForALinearField) {
  const double eta = 1.0 / 9.0;  // unknown law: eta = 1/3, shear viscosity eta / 3
  double D[3][3], div = 0;
  for (int i = 0; i < 3; ++i) {
    div += kShear.A[i][i];
    for (int j = 0; j < 3; ++j) D[i][j] = 0.5 * (kShear.A[i][j] + kShear.A[j][i]);
  }
  double DD = 0;
  for (auto& row : D)
    for (double v : row) DD += v * v;
  for (TestElem t : AllElements()) {
    SetFields(t, kShear, 450.0, 0.4);
    const std::vector<double> est = Matrix(t, Input(0));
    std::vector<double> I(static_cast<size_t>(15 * 3), 0.0), Iabs(I.size(), 0.0);
    double vol = 0;
    IndependentIntegral(t, [&](const double*, const double (*grad)[3], const double*, double dv) {
      vol += dv;
      for (int a = 0; a < t.nen; ++a)
        for (int k = 0; k < 3; ++k) {
          I[static_cast<size_t>(a * 3 + k)] += grad[a][k] * dv;
          Iabs[static_cast<size_t>(a * 3 + k)] += std::fabs(grad[a][k] * dv);
        }
    });
    EXPECT_EQ(vol > 0, OrientationSign(t) > 0);
    const std::vector<double> u = NodalVector(t, kShear);
    const std::vector<double> y = Apply(est, u);
    for (int j = 0; j < 3; ++j)
      for (int a = 1; a <= t.nen; ++a) {
        double expect = 0, mag = 0;
        for (int k = 0; k < 3; ++k) {
          const double s = eta * (2 * D[j][k] - (j == k ? 2.0 / 3.0 * div : 0.0));
          expect += s * I[static_cast<size_t>((a - 1) * 3 + k)];
          mag += std::fabs(s) * Iabs[static_cast<size_t>((a - 1) * 3 + k)];
        }
        EXPECT_NEAR(y[static_cast<size_t>(j * t.nen + a - 1)], expect, RuleTol(t) * mag)
            << "component " << j << " node " << a;
      }
    double uKu = 0;
    for (int r = 0; r < 3 * t.nen; ++r) uKu += u[static_cast<size_t>(r)] * y[static_cast<size_t>(r)];
    const double form = eta * (2 * DD - 2.0 / 3.0 * div * div) * vol;
    EXPECT_NEAR(uKu, form, RuleTol(t) * std::fabs(form));
  }
}

// Pressure rows: (G^T u)_k = int P_k div u detJ, for a general nodal field
// (independent rule) and for a linear field (div u constant).  Pressure
// columns: a unit pressure at every corner gives int grad N_a detJ.
TEST(FlowElement, CouplingBlockIntegratesTheDivergenceAgainstThePressureFunctions) {
  for (TestElem t : AllElements()) {
    SetFields(t, kShear, 450.0, 0.4);
    const std::vector<double> est = Matrix(t, Input(8));
    const int nv = 3 * t.nen;
    std::vector<double> u(static_cast<size_t>(kNcn), 0.0);
    for (int r = 0; r < nv; ++r) u[static_cast<size_t>(r)] = std::sin(1.7 * r + 0.3);
    std::vector<double> ref(6, 0.0), refAbs(6, 0.0), Pint(6, 0.0), Pabs(6, 0.0);
    std::vector<double> I(static_cast<size_t>(nv), 0.0), Iabs(I.size(), 0.0);
    IndependentIntegral(t, [&](const double*, const double (*grad)[3], const double* P, double dv) {
      double dvg = 0;
      for (int a = 0; a < t.nen; ++a)
        for (int i = 0; i < 3; ++i) {
          dvg += u[static_cast<size_t>(i * t.nen + a)] * grad[a][i];
          I[static_cast<size_t>(i * t.nen + a)] += grad[a][i] * dv;
          Iabs[static_cast<size_t>(i * t.nen + a)] += std::fabs(grad[a][i] * dv);
        }
      for (int k = 0; k < t.npe; ++k) {
        ref[static_cast<size_t>(k)] += P[k] * dvg * dv;
        refAbs[static_cast<size_t>(k)] += std::fabs(P[k] * dvg * dv);
        Pint[static_cast<size_t>(k)] += P[k] * dv;
        Pabs[static_cast<size_t>(k)] += std::fabs(P[k] * dv);
      }
    });
    const std::vector<double> y = Apply(est, u);
    for (int k = 0; k < t.npe; ++k)
      EXPECT_NEAR(y[static_cast<size_t>(nv + k)], ref[static_cast<size_t>(k)], RuleTol(t) * refAbs[static_cast<size_t>(k)])
          << "pressure " << k + 1;
    // Linear field: div u = trace A everywhere.
    const std::vector<double> yl = Apply(est, NodalVector(t, kShear));
    const double div = kShear.A[0][0] + kShear.A[1][1] + kShear.A[2][2];
    for (int k = 0; k < t.npe; ++k)
      EXPECT_NEAR(yl[static_cast<size_t>(nv + k)], div * Pint[static_cast<size_t>(k)],
                  RuleTol(t) * std::fabs(div) * Pabs[static_cast<size_t>(k)]);
    // Constant unit pressure: the velocity rows receive int dN_a/dx_i detJ.
    std::vector<double> p(static_cast<size_t>(kNcn), 0.0);
    for (int k = 0; k < t.npe; ++k) p[static_cast<size_t>(nv + k)] = 1.0;
    const std::vector<double> yp = Apply(est, p);
    for (int r = 0; r < nv; ++r)
      EXPECT_NEAR(yp[static_cast<size_t>(r)], I[static_cast<size_t>(r)], RuleTol(t) * Iabs[static_cast<size_t>(r)]);
  }
}

// Same physical element, reversed local numbering: every entry changes sign.
TEST(FlowElement, ReversedNumberingNegatesTheWholeMatrix) {
  for (bool wedge : {true, false}) {
    TestElem t = wedge ? MakeWedge() : MakeTet();
    SetFields(t, [](const double* x, double* v) {
      v[0] = 0.1 * x[1] * x[1] + x[2];
      v[1] = -0.2 * x[0] * x[2];
      v[2] = 5.0 + 0.3 * x[0] * x[1];
    }, 440.0, 0.3);
    const TestElem f = Flipped(t);
    const int* perm = wedge ? kWedgeFlip : kTetFlip;
    auto dof = [&](int r) {  // local unknown of f -> local unknown of t
      if (r <= 3 * t.nen) {
        const int i = (r - 1) / t.nen, a = (r - 1) % t.nen + 1;
        return i * t.nen + perm[a - 1];
      }
      return 3 * t.nen + perm[r - 3 * t.nen - 1];
    };
    // Constant viscosity: the same sums in another order.  Law 8: the point
    // strain rates are summed in single precision in another order.
    for (const auto& [law, tol] : {std::pair{0, 1e-12}, std::pair{8, 1e-6}}) {
      const std::vector<double> kp = Matrix(t, Input(law)), kn = Matrix(f, Input(law));
      const double scale = MaxAbs(kp);
      const int nu = 3 * t.nen + t.npe;
      for (int r = 1; r <= nu; ++r)
        for (int c = 1; c <= nu; ++c) EXPECT_NEAR(At(kn, r, c), -At(kp, dof(r), dof(c)), tol * scale);
    }
  }
}

// Eigenvalues of a symmetric matrix by cyclic Jacobi rotations.
std::vector<double> Eigenvalues(std::vector<double> a, int n) {
  auto A = [&](int i, int j) -> double& { return a[static_cast<size_t>(i * n + j)]; };
  for (int sweep = 0; sweep < 100; ++sweep) {
    double off = 0, all = 0;
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        all += A(i, j) * A(i, j);
        if (i != j) off += A(i, j) * A(i, j);
      }
    if (off <= 1e-30 * all) break;
    for (int p = 0; p < n; ++p)
      for (int q = p + 1; q < n; ++q) {
        if (A(p, q) == 0) continue;
        const double th = (A(q, q) - A(p, p)) / (2 * A(p, q));
        const double tt = (th >= 0 ? 1 : -1) / (std::fabs(th) + std::sqrt(th * th + 1));
        const double c = 1 / std::sqrt(tt * tt + 1), s = tt * c;
        for (int k = 0; k < n; ++k) {
          const double akp = A(k, p), akq = A(k, q);
          A(k, p) = c * akp - s * akq;
          A(k, q) = s * akp + c * akq;
        }
        for (int k = 0; k < n; ++k) {
          const double apk = A(p, k), aqk = A(q, k);
          A(p, k) = c * apk - s * aqk;
          A(q, k) = s * apk + c * aqk;
        }
      }
  }
  std::vector<double> ev(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) ev[static_cast<size_t>(i)] = A(i, i);
  return ev;
}

// The viscous block is dissipative (positive semidefinite) where detJ > 0
// and, because the measure keeps its sign, negative semidefinite where
// detJ < 0.  Its null space holds at least the six rigid motions and the
// dilatation.
TEST(FlowElement, ViscousBlockDefinitenessFollowsTheOrientation) {
  for (TestElem t : AllElements()) {
    SetFields(t, kShear, 450.0, 0.4);
    const std::vector<double> est = Matrix(t, Input(8));
    const int nv = 3 * t.nen;
    std::vector<double> K(static_cast<size_t>(nv * nv));
    for (int i = 0; i < nv; ++i)
      for (int j = 0; j < nv; ++j) K[static_cast<size_t>(i * nv + j)] = At(est, i + 1, j + 1);
    const std::vector<double> ev = Eigenvalues(K, nv);
    double big = 0;
    for (double e : ev) big = std::max(big, std::fabs(e));
    const int sign = OrientationSign(t);
    int nearZero = 0;
    for (double e : ev) {
      EXPECT_GE(sign * e, -1e-10 * big) << "eigenvalue " << e;
      if (std::fabs(e) < 1e-10 * big) ++nearZero;
    }
    EXPECT_GE(nearZero, 7);
  }
}

// Rigid velocities: zero strain rate, evaluated at the law's lower limit;
// with uniform strain and temperature the matrix is the constant-viscosity
// one (eta = 1/3) scaled by 3 eta(0.05).
TEST(FlowElement, RigidMotionKeepsTheViscosityFinite) {
  TestElem t = MakeWedge();
  SetFields(t, [](const double*, double* v) { v[0] = 3.0; v[1] = -1.0; v[2] = 20.0; }, 0.0, 0.0);
  for (int n = 1; n <= 15; ++n) {
    t.mesh.fld(kFldT, n) = 470.0f;
    t.mesh.fld(kFldStrain, n) = 0.8f;
  }
  const InpDat inp = Input(8);
  const std::vector<double> est = Matrix(t, inp), unit = Matrix(t, Input(0));
  double rate = 0.0, strain = static_cast<double>(0.8f), temp = 470.0, sigma = 0, eta = 0;
  FlowStress(rate, strain, temp, inp.setup.mat, sigma, eta);
  ASSERT_TRUE(std::isfinite(eta));
  const double scale = MaxAbs(est);
  for (int r = 1; r <= 45; ++r)
    for (int c = 1; c <= 45; ++c) EXPECT_NEAR(At(est, r, c), 3.0 * eta * At(unit, r, c), 1e-12 * scale);
}

TEST(FlowElement, ConnectivitySignsOfTheFrontalSolverAreIgnored) {
  TestElem t = MakeWedge();
  SetFields(t, kShear, 450.0, 0.4);
  const std::vector<double> k1 = Matrix(t, Input(8));
  for (int a = 1; a <= 15; a += 2) t.mesh.g.nop(a, 1) = -t.mesh.g.nop(a, 1);
  const std::vector<double> k2 = Matrix(t, Input(8));
  EXPECT_EQ(k1, k2);
}

TEST(FlowElement, TooSmallElementSizeStops) {
  TestElem t = MakeWedge();
  std::vector<double> est(static_cast<size_t>(34 * 34));
  EXPECT_EXIT(FlowElementMatrix(Tables(), t.mesh, Input(0).setup, 1, est.data(), 34),
              ::testing::ExitedWithCode(1), "element size 34 below the element's unknown count 51");
}

}  // namespace

namespace {

// Newton tangent of the viscosity, on every test element with a power law
// (rate sensitivity c = 0.12) and a velocity field whose strain rate varies
// over the element.  The viscous residual R(v) = K(v) v of such a law is
// homogeneous of degree c in v, so the tangent applied to v itself must
// give (K + T) v = c K v; along another direction it must match the
// central difference of R; and its right-hand side is T v, which leaves
// the residual at the current velocity unchanged.
// Element vector of the nodal velocities as stored (single precision).
std::vector<double> Velocities(const TestElem& t) {
  std::vector<double> x(static_cast<size_t>(kNcn), 0.0);
  for (int a = 1; a <= t.nen; ++a)
    for (int i = 0; i < 3; ++i) x[static_cast<size_t>(i * t.nen + a - 1)] = t.mesh.fld(kFldVx + i, t.mesh.g.nop(a, 1));
  return x;
}

TEST(FlowElement, ViscosityTangentIsTheDerivativeOfTheViscousResidual) {
  InpDat inp = Input(2);
  inp.setup.mat.MatC0 = 160.0;
  inp.setup.mat.LawTable(1) = -0.0035;
  inp.setup.mat.LawTable(2) = 0.02;
  inp.setup.mat.LawTable(3) = 0.12;
  const auto vel = [](const double* x, double* v) {
    v[0] = 0.3 * x[0] - 0.7 * x[1] + 0.04 * x[0] * x[2];
    v[1] = 0.4 * x[0] - 0.1 * x[1] + 0.9 * x[2] - 0.03 * x[1] * x[1];
    v[2] = -0.5 * x[0] + 0.6 * x[1] - 0.2 * x[2] + 0.05 * x[0] * x[1];
  };
  const auto dir = [](const double* x, double* v) {
    v[0] = 0.2 * x[2] + 0.01 * x[1] * x[1];
    v[1] = -0.3 * x[0] + 0.02 * x[0] * x[2];
    v[2] = 0.1 * x[1] - 0.01 * x[0] * x[0];
  };
  // Residual of the lagged system at the velocity field u (nodal floats).
  const auto residual = [&](TestElem t, const std::function<void(const double*, double*)>& u) {
    SetFields(t, u, 450.0, 0.4);
    return Apply(Matrix(t, inp), Velocities(t));
  };
  for (TestElem t : AllElements()) {
    SetFields(t, vel, 450.0, 0.4);
    const std::vector<double> K = Matrix(t, inp);
    std::vector<double> T(static_cast<size_t>(kNcn * kNcn), 0.0), r(static_cast<size_t>(kNcn), 0.0);
    ViscosityTangent(Tables(), t.mesh, inp.setup, 1, 1.0, T.data(), kNcn, r.data());
    const std::vector<double> v = Velocities(t), d = NodalVector(t, dir);
    const std::vector<double> Kv = Apply(K, v), Tv = Apply(T, v), Kd = Apply(K, d), Td = Apply(T, d);
    const double scale = MaxAbs(Kv), dscale = MaxAbs(Kd);
    const double h = 1e-2;
    const std::vector<double> Rp = residual(t, [&](const double* x, double* u) {
      double a[3], b[3];
      vel(x, a);
      dir(x, b);
      for (int i = 0; i < 3; ++i) u[i] = a[i] + h * b[i];
    });
    const std::vector<double> Rm = residual(t, [&](const double* x, double* u) {
      double a[3], b[3];
      vel(x, a);
      dir(x, b);
      for (int i = 0; i < 3; ++i) u[i] = a[i] - h * b[i];
    });
    double lagErr = 0.0, tanErr = 0.0;
    for (int i = 0; i < 3 * t.nen; ++i) {
      const size_t k = static_cast<size_t>(i);
      EXPECT_NEAR(Kv[k] + Tv[k], 0.12 * Kv[k], 1e-6 * scale) << "row " << i;
      EXPECT_NEAR(r[k], Tv[k], 1e-9 * scale) << "row " << i;
      const double fd = (Rp[k] - Rm[k]) / (2.0 * h);
      tanErr = std::max(tanErr, std::fabs(fd - Kd[k] - Td[k]));
      lagErr = std::max(lagErr, std::fabs(fd - Kd[k]));
    }
    EXPECT_LT(tanErr, 2e-3 * dscale);
    EXPECT_GT(lagErr, 0.1 * dscale);  // the lagged matrix alone is not the derivative
  }
}

}  // namespace
