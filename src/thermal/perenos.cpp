#include "thermal/perenos.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/fatal.h"
#include "thermal/element_index.h"

namespace {

// The 15 monomials at the local coordinates (u, v, w).
inline void Monomials(double u, double v, double w, double m[15]) {
  m[0] = 1.0;
  m[1] = u;
  m[2] = v;
  m[3] = w;
  m[4] = u * u;
  m[5] = v * v;
  m[6] = w * w;
  m[7] = u * v;
  m[8] = u * w;
  m[9] = v * w;
  m[10] = u * v * w;
  m[11] = u * u * w;
  m[12] = v * v * w;
  m[13] = u * w * w;
  m[14] = v * w * w;
}

// Fields moved by each mode, in transfer order.
constexpr int kMode1[] = {kFldVx, kFldVy, kFldVz, kFldP, kFldVisc, kFldStress};
constexpr int kMode2[] = {kFldT, kFldVx, kFldVy, kFldVz, kFldP, kFldVisc, kFldStress};
constexpr int kMode3[] = {kFldT};
constexpr int kMaxFields = 7;

// x-y boxes of the 15 nodes of every element (4 per element: xlo, xhi, ylo,
// yhi), the footprint of the element with its curved edges.
void NodeBoxes(const Mesh3d& g, std::vector<double>& box) {
  box.assign(4 * static_cast<std::size_t>(g.ne), 0.0);
  for (int e = 1; e <= g.ne; ++e) {
    double* b = &box[4 * static_cast<std::size_t>(e - 1)];
    b[0] = b[2] = 1e300;
    b[1] = b[3] = -1e300;
    for (int k = 1; k <= 15; ++k) {
      const int n = std::abs(g.nop(k, e));
      if (n < 1 || n > g.nh) continue;
      b[0] = std::min(b[0], g.xyz(1, n));
      b[1] = std::max(b[1], g.xyz(1, n));
      b[2] = std::min(b[2], g.xyz(2, n));
      b[3] = std::max(b[3], g.xyz(2, n));
    }
  }
}

// Distance in x-y from (x, y) to a node box, 0 inside.
double BoxGap(const double* b, double x, double y) {
  return std::hypot(std::max({0.0, b[0] - x, x - b[1]}), std::max({0.0, b[2] - y, y - b[3]}));
}

// The element for a point that lies in no corner triangle and outside the
// node box of the element of smallest area mismatch: among the elements
// that pass the z test, the one whose node box is nearest (0 when it holds
// the point, as on the bulge of a curved boundary edge), then the smaller
// mismatch, then the later element.  0 when no element passes the z test.
int NearestByNodeBox(const Mesh3d& g, const std::vector<double>& box, double x, double y, double z) {
  double bestGap = 1e300, bestM = 1e300;
  int bestE = 0;
  for (int e = 1; e <= g.ne; ++e) {
    double zmin = 1e300, zmax = -1e300, c[6];
    for (int k = 1; k <= 6; ++k) {
      const int n = std::abs(g.nop(k, e));
      zmin = std::min(zmin, g.xyz(3, n));
      zmax = std::max(zmax, g.xyz(3, n));
      if (k <= 3) {
        c[2 * (k - 1)] = g.xyz(1, n);
        c[2 * (k - 1) + 1] = g.xyz(2, n);
      }
    }
    if (!(zmin - kZMargin <= z && z <= zmax + kZMargin)) continue;
    const double gap = BoxGap(&box[4 * static_cast<std::size_t>(e - 1)], x, y);
    if (gap > bestGap) continue;
    const double m = TriangleMismatch(c, HeronArea(c[0], c[1], c[2], c[3], c[4], c[5]), x, y);
    if (gap < bestGap || m <= bestM) {
      bestGap = gap;
      bestM = m;
      bestE = e;
    }
  }
  return bestE;
}

}  // namespace

bool Fit15Factor(const double xyz[15][3], Fit15& fit) {
  // Local coordinates: centre and half extents of the nodes' box.
  for (int a = 0; a < 3; ++a) {
    double lo = xyz[0][a], hi = xyz[0][a];
    for (int k = 1; k < 15; ++k) {
      lo = std::min(lo, xyz[k][a]);
      hi = std::max(hi, xyz[k][a]);
    }
    fit.c[a] = 0.5 * (lo + hi);
    const double half = 0.5 * (hi - lo);
    fit.s[a] = half > 1e-12 * (1.0 + std::fabs(fit.c[a])) ? half : 1.0;
  }
  double amax = 0;
  for (int k = 0; k < 15; ++k) {
    Monomials((xyz[k][0] - fit.c[0]) / fit.s[0], (xyz[k][1] - fit.c[1]) / fit.s[1],
              (xyz[k][2] - fit.c[2]) / fit.s[2], fit.lu[k]);
    fit.perm[k] = k;
    fit.dead[k] = false;
    for (int j = 0; j < 15; ++j) amax = std::max(amax, std::fabs(fit.lu[k][j]));
  }
  fit.singular = false;
  const double tol = 1e-10 * amax;

  // Doolittle elimination with row exchanges.  Rows r..14 are still to be
  // pivoted; a column without a pivot above tol is skipped (its unknown is
  // set to 0 and the row that would have held its pivot stays for the next
  // column).
  int r = 0;
  for (int k = 0; k < 15; ++k) {
    int p = -1;
    double big = tol;
    for (int i = r; i < 15; ++i)
      if (std::fabs(fit.lu[i][k]) > big) {
        big = std::fabs(fit.lu[i][k]);
        p = i;
      }
    if (p < 0 || !std::isfinite(big)) {
      fit.dead[k] = true;
      fit.singular = true;
      continue;
    }
    if (p != r) {
      std::swap(fit.lu[p], fit.lu[r]);
      std::swap(fit.perm[p], fit.perm[r]);
    }
    const double piv = fit.lu[r][k];
    for (int i = r + 1; i < 15; ++i) {
      const double l = fit.lu[i][k] / piv;
      fit.lu[i][k] = l;
      if (l == 0.0) continue;
      for (int j = k + 1; j < 15; ++j) fit.lu[i][j] -= l * fit.lu[r][j];
    }
    ++r;
  }
  return !fit.singular;
}

void Fit15Solve(const Fit15& fit, int nf, const double (*val)[15], double (*coef)[15]) {
  // Pivot row of each live column, in column order.
  int prow[15];
  for (int k = 0, r = 0; k < 15; ++k) prow[k] = fit.dead[k] ? -1 : r++;
  for (int f = 0; f < nf; ++f) {
    // Forward substitution with the unit lower factor over the pivot rows.
    double b[15];
    for (int i = 0; i < 15; ++i) b[i] = val[f][fit.perm[i]];
    for (int k = 0; k < 15; ++k) {
      const int r = prow[k];
      if (r < 0) continue;
      for (int i = r + 1; i < 15; ++i) b[i] -= fit.lu[i][k] * b[r];
    }
    // Back substitution over the live columns; dead coefficients are 0.
    double* a = coef[f];
    for (int k = 14; k >= 0; --k) {
      const int r = prow[k];
      if (r < 0) {
        a[k] = 0.0;
        continue;
      }
      double s = b[r];
      for (int j = k + 1; j < 15; ++j) s -= fit.lu[r][j] * a[j];
      a[k] = s / fit.lu[r][k];
    }
  }
}

double Fit15Value(const Fit15& fit, const double coef[15], double x, double y, double z) {
  double mono[15];
  Monomials((x - fit.c[0]) / fit.s[0], (y - fit.c[1]) / fit.s[1], (z - fit.c[2]) / fit.s[2], mono);
  double v = 0;
  for (int k = 0; k < 15; ++k) v += coef[k] * mono[k];
  return v;
}

void Fit15Eval(const Fit15& fit, double x, double y, double z, int nf, const double (*val)[15],
               double* out) {
  double coef[kMaxFields][15];
  for (int f0 = 0; f0 < nf; f0 += kMaxFields) {
    const int m = std::min(kMaxFields, nf - f0);
    Fit15Solve(fit, m, val + f0, coef);
    for (int f = 0; f < m; ++f) {
      double v = Fit15Value(fit, coef[f], x, y, z);
      if (fit.singular) {
        const double lo = *std::min_element(val[f0 + f], val[f0 + f] + 15);
        const double hi = *std::max_element(val[f0 + f], val[f0 + f] + 15);
        v = std::isfinite(v) ? std::clamp(v, lo, hi) : 0.5 * (lo + hi);
      }
      out[f0 + f] = v;
    }
  }
}

double FitEval15(double x, double y, double z, const double xyz[15][3], const double val[15]) {
  Fit15 fit;
  Fit15Factor(xyz, fit);
  double v[1][15];
  std::copy(val, val + 15, v[0]);
  double out = 0;
  Fit15Eval(fit, x, y, z, 1, v, &out);
  return out;
}

void Perenos_3dWith(const MeshRecord& src, MeshRecord& dst, int mode, TransferSearch search) {
  const int* fields = nullptr;
  int nf = 0;
  switch (mode) {
    case 1: fields = kMode1; nf = 6; break;
    case 2: fields = kMode2; nf = 7; break;
    case 3: fields = kMode3; nf = 1; break;
    default: Fatal("Perenos_3d: transfer mode " + std::to_string(mode) + " is not 1, 2 or 3");
  }
  const Mesh3d& sg = src.g;
  const int nh = dst.g.nh;
  if (nh < 1) return;
  Require(sg.ne >= 1, "Perenos_3d: the source mesh has no elements (" + std::to_string(sg.nh) + " nodes)");
  Require(sg.npe >= 15 && sg.nop.rows >= 15, "Perenos_3d: the source mesh has " + std::to_string(sg.npe) +
                                                 " nodes per element, 15 expected");
  Require(src.fld.rows >= kNumFld && src.fld.cols >= sg.nh,
          "Perenos_3d: the source field table does not cover its " + std::to_string(sg.nh) + " nodes");
  Require(dst.fld.rows >= kNumFld && dst.fld.cols >= nh && dst.g.xyz.cols >= nh,
          "Perenos_3d: the destination field table does not cover its " + std::to_string(nh) + " nodes");

  // A transfer of a mesh onto itself reads the values as they were before.
  Mat1<float> snapshot;
  const Mat1<float>* sf = &src.fld;
  if (&src == &dst) {
    snapshot = src.fld;
    sf = &snapshot;
  }

  ElementIndex idx;
  if (search == TransferSearch::Index) BuildElementIndex(sg, idx);

  // Element of smallest mismatch that does not hold the point in its node
  // box: on meshes with long curved boundary edges a node on the bulge of
  // such an edge lies outside every corner triangle, and the smallest
  // mismatch may then belong to a small element far away, whose fit,
  // extrapolated over many element sizes, has nothing to do with the field
  // there.  Such points take the element of the nearest node box instead.
  std::vector<double> nodeBox;
  auto holds = [&](int e, double x, double y) {
    if (nodeBox.empty()) NodeBoxes(sg, nodeBox);
    const double* b = &nodeBox[4 * static_cast<std::size_t>(e - 1)];
    const double tol = 1e-9 * (1.0 + std::fabs(x) + std::fabs(y) + (b[1] - b[0]) + (b[3] - b[2]));
    return BoxGap(b, x, y) <= tol;
  };

  // Fits by source element, made when an element is first used: its
  // frame, the coefficients of every field and, for a singular fit, the
  // range of each field's nodal values.
  struct ElementFit {
    double c[3], s[3];                      // local frame: centre and scales, mm
    bool singular;                          // the nodes do not fix a unique fit
    double coef[kMaxFields][15];            // coefficients per field
    double lo[kMaxFields], hi[kMaxFields];  // nodal value ranges (singular fits)
  };
  std::vector<int32_t> slot(static_cast<std::size_t>(sg.ne) + 1, -1);
  std::vector<ElementFit> fits;
  fits.reserve(static_cast<std::size_t>(std::min(sg.ne, nh)));
  Fit15 work;
  auto fitOf = [&](int e) -> const ElementFit& {
    int32_t& k = slot[static_cast<std::size_t>(e)];
    if (k >= 0) return fits[static_cast<std::size_t>(k)];
    double xyz[15][3];
    double val[kMaxFields][15];
    for (int a = 0; a < 15; ++a) {
      const int n = std::abs(sg.nop(a + 1, e));
      if (n < 1 || n > sg.nh)
        Fatal("Perenos_3d: source element " + std::to_string(e) + " is not a 15-node wedge (local node " +
              std::to_string(a + 1) + " is " + std::to_string(n) + ")");
      for (int c = 0; c < 3; ++c) xyz[a][c] = sg.xyz(c + 1, n);
      for (int f = 0; f < nf; ++f) val[f][a] = static_cast<double>((*sf)(fields[f], n));
    }
    ElementFit ef;
    ef.singular = !Fit15Factor(xyz, work);
    Fit15Solve(work, nf, val, ef.coef);
    std::copy(work.c, work.c + 3, ef.c);
    std::copy(work.s, work.s + 3, ef.s);
    for (int f = 0; f < nf; ++f) {
      ef.lo[f] = *std::min_element(val[f], val[f] + 15);
      ef.hi[f] = *std::max_element(val[f], val[f] + 15);
    }
    k = static_cast<int32_t>(fits.size());
    fits.push_back(ef);
    return fits.back();
  };

  for (int i = 1; i <= nh; ++i) {
    const double x = dst.g.xyz(1, i), y = dst.g.xyz(2, i), z = dst.g.xyz(3, i);
    int e = search == TransferSearch::Index ? FindElement(idx, sg, x, y, z) : FindElementScan(sg, x, y, z);
    if (e == 0) {
      e = 1;
    } else if (!holds(e, x, y)) {
      e = NearestByNodeBox(sg, nodeBox, x, y, z);
    }
    const ElementFit& ef = fitOf(e);
    double mono[15];
    Monomials((x - ef.c[0]) / ef.s[0], (y - ef.c[1]) / ef.s[1], (z - ef.c[2]) / ef.s[2], mono);
    for (int f = 0; f < nf; ++f) {
      double v = 0;
      for (int k = 0; k < 15; ++k) v += ef.coef[f][k] * mono[k];
      if (ef.singular) v = std::isfinite(v) ? std::clamp(v, ef.lo[f], ef.hi[f]) : 0.5 * (ef.lo[f] + ef.hi[f]);
      dst.fld(fields[f], i) = static_cast<float>(v);
    }
  }
}

void Perenos_3d(const MeshRecord& src, MeshRecord& dst, int mode) {
  Perenos_3dWith(src, dst, mode, TransferSearch::Index);
}
