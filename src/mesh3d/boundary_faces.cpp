#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "core/fatal.h"
#include "mesh3d/boundary.h"

namespace {

const FaceRule& RuleOf(const ElementTables& tab, bool wedge, int local) {
  return wedge ? tab.Wedge15Faces(local) : tab.Tet10Faces(local);
}

Vec3 Sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double Dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 Scale(double s, const Vec3& a) { return {s * a[0], s * a[1], s * a[2]}; }

// Node coordinates of element e, nn nodes.
void Gather(const Mesh3d& g, int e, int nn, Vec3* x) {
  for (int k = 1; k <= nn; ++k) {
    const int node = g.nop(k, e);
    x[k - 1] = {g.xyz(1, node), g.xyz(2, node), g.xyz(3, node)};
  }
}

// Columns of the Jacobian at point p of a face rule: a = dx/dxi, b = dx/deta,
// c = dx/d(third coordinate).
void Columns(const FaceRule& r, int p, int nn, const Vec3* x, Vec3& a, Vec3& b, Vec3& c) {
  a = b = c = Vec3{};
  for (int k = 1; k <= nn; ++k) {
    const double d1 = r.dN1(k, p), d2 = r.dN2(k, p), d3 = r.dN3(k, p);
    for (int j = 0; j < 3; ++j) {
      a[j] += d1 * x[k - 1][j];
      b[j] += d2 * x[k - 1][j];
      c[j] += d3 * x[k - 1][j];
    }
  }
}

// Tangents of the face parametrisation whose domain the face rule's weights
// integrate over (weights summing to 1/2 on the reference triangle, to 1 on
// the unit square).  Quadrilateral wedge faces run over t in [0, 1] along the
// triangle edge and s = (1 + zeta)/2 in [0, 1], so their second tangent is
// dx/ds = 2 dx/dzeta.
void FaceTangents(bool wedge, int local, const Vec3& a, const Vec3& b, const Vec3& c, Vec3& u,
                  Vec3& v) {
  if (wedge) {
    switch (local) {
      case 1:
      case 2: u = a; v = b; return;                // (L1, L2) at zeta = -1, +1
      case 3: u = Sub(a, b); v = Scale(2.0, c); return;  // L3 = 0: L1 = t, L2 = 1 - t
      case 4: u = a; v = Scale(2.0, c); return;          // L2 = 0: L1 = t, L3 = 1 - t
      default: u = b; v = Scale(2.0, c); return;         // L1 = 0: L2 = t, L3 = 1 - t
    }
  }
  switch (local) {
    case 1: u = Sub(a, c); v = Sub(b, c); return;  // L4 = 0, parameters (L1, L2)
    case 2: u = a; v = b; return;                  // L3 = 0, parameters (L1, L2)
    case 3: u = a; v = c; return;                  // L2 = 0, parameters (L1, L3)
    default: u = b; v = c; return;                 // L1 = 0, parameters (L2, L3)
  }
}

// A direction from the face into the element at a face point.
Vec3 InwardDirection(bool wedge, int local, const Vec3& a, const Vec3& b, const Vec3& c) {
  if (wedge) {
    switch (local) {
      case 1: return c;
      case 2: return Scale(-1.0, c);
      case 3: return Scale(-1.0, Vec3{a[0] + b[0], a[1] + b[1], a[2] + b[2]});
      case 4: return b;
      default: return a;
    }
  }
  switch (local) {
    case 1: return Scale(-1.0, Vec3{a[0] + b[0] + c[0], a[1] + b[1] + c[1], a[2] + b[2] + c[2]});
    case 2: return c;
    case 3: return b;
    default: return a;
  }
}

// Mapped position of the local point p of element e.
Vec3 MapPoint(bool wedge, const LocalPoint& p, const Vec3* x) {
  double N[15], d1[15], d2[15], d3[15];
  int nn = kWedgeNodes;
  if (wedge) {
    ShapeWedge15At(p, N, d1, d2, d3);
  } else {
    ShapeTet10At(p, N, d1, d2, d3);
    nn = kTetNodes;
  }
  Vec3 r{};
  for (int k = 0; k < nn; ++k)
    for (int j = 0; j < 3; ++j) r[j] += N[k] * x[k][j];
  return r;
}

// Local corner numbers of the edge whose mid-side node is local node k, or
// false when k is a corner.
bool EdgeEnds(bool wedge, int k, int& c1, int& c2) {
  if (wedge && k > kWedgeCorners) {
    c1 = kWedgeEdge[k - 7][0];
    c2 = kWedgeEdge[k - 7][1];
    return true;
  }
  if (!wedge && k > kTetCorners) {
    c1 = kTetEdge[k - 5][0];
    c2 = kTetEdge[k - 5][1];
    return true;
  }
  return false;
}

Vec3 NodeXYZ(const Mesh3d& g, int node) { return {g.xyz(1, node), g.xyz(2, node), g.xyz(3, node)}; }

// Angle between the directions from point o to the points p and q, with the
// cosine clamped to [-0.9999, 0.9999].
double AngleAt(const Vec3& o, const Vec3& p, const Vec3& q) {
  const Vec3 d1 = Sub(p, o), d2 = Sub(q, o);
  const double den = std::sqrt(Dot(d1, d1) * Dot(d2, d2));
  double c = den > 0.0 ? Dot(d1, d2) / den : 1.0;
  c = std::clamp(c, -0.9999, 0.9999);
  return std::acos(c);
}

}  // namespace

void FindBoundaryFaces(MeshRecord& m, const ElementTables& tab) {
  Mesh3d& g = m.g;
  try {
    // Elements around each corner node, to tell a face two elements share.
    auto nVert = [&](int e) { return IsWedge(g, e) ? kWedgeCorners : kTetCorners; };
    std::vector<int> start(static_cast<std::size_t>(g.nh) + 2, 0);
    for (int e = 1; e <= g.ne; ++e)
      for (int k = 1; k <= nVert(e); ++k) ++start[static_cast<std::size_t>(g.nop(k, e)) + 1];
    for (int i = 1; i <= g.nh + 1; ++i) start[static_cast<std::size_t>(i)] += start[static_cast<std::size_t>(i) - 1];
    std::vector<int> around(static_cast<std::size_t>(start[static_cast<std::size_t>(g.nh) + 1]));
    std::vector<int> fill(start.begin(), start.end());
    for (int e = 1; e <= g.ne; ++e)
      for (int k = 1; k <= nVert(e); ++k) around[static_cast<std::size_t>(fill[static_cast<std::size_t>(g.nop(k, e))]++)] = e;
    auto shared = [&](int e, const int* corners, int nc) {
      const int first = g.nop(corners[0], e);
      for (int t = start[static_cast<std::size_t>(first)]; t < start[static_cast<std::size_t>(first) + 1]; ++t) {
        const int o = around[static_cast<std::size_t>(t)];
        if (o == e) continue;
        int hits = 1;
        for (int c = 1; c < nc; ++c)
          for (int k = 1; k <= nVert(o); ++k) hits += g.nop(k, o) == g.nop(corners[c], e) ? 1 : 0;
        if (hits == nc) return true;
      }
      return false;
    };

    m.edata.assign(static_cast<std::size_t>(g.ne), ElemData{});
    int nFaces = 0;
    for (int e = 1; e <= g.ne; ++e) {
      const bool wedge = IsWedge(g, e);
      FaceList& fl = m.edata(e).fl;
      const int nfaces = wedge ? 5 : 4;
      for (int f = 1; f <= nfaces; ++f) {
        const int nfn = wedge ? tab.Wedge15Faces(f).nfn : 3;  // tetrahedron: its three corners
        int local[8];
        bool all = true;
        for (int k = 1; k <= nfn && all; ++k) {
          local[k - 1] = wedge ? tab.Wedge15Faces(f).fnode(k) : kTetFaceNodes[f - 1][k - 1];
          all = IsBoundaryCode(g.BoundaryConditions(g.nop(local[k - 1], e)));
        }
        // A face whose nodes all lie on the boundary can still be shared by
        // two elements (an edge between two wall nodes of a one-layer
        // piece): that face is inside the mesh.
        if (!all || shared(e, local, wedge ? (f <= 2 ? 3 : 4) : 3)) continue;
        ++fl.nf;
        fl.face(fl.nf) = ++nFaces;
        fl.local(fl.nf) = static_cast<int8_t>(f);
      }
    }
    m.faces.assign(static_cast<std::size_t>(nFaces), BndFace{});
    for (int e = 1; e <= g.ne; ++e) {
      const FaceList& fl = m.edata(e).fl;
      for (int j = 1; j <= fl.nf; ++j) {
        BndFace& bf = m.faces(fl.face(j));
        bf.elem = e;
        bf.local = fl.local(j);
        bf.npt = static_cast<int8_t>(IsWedge(g, e) && fl.local(j) >= 3 ? 9 : 7);
      }
    }
  } catch (const std::bad_alloc&) {
    Fatal("");
  }

  int nb = 0;
  for (int i = 1; i <= g.nh; ++i) nb += IsBoundaryCode(g.BoundaryConditions(i)) ? 1 : 0;
  try {
    m.bnd.assign(static_cast<std::size_t>(nb), BndNode{});
  } catch (const std::bad_alloc&) {
    Fatal("");
  }
  g.EndPlane.assign(static_cast<std::size_t>(g.nh), 0);
  int j = 0;
  for (int i = 1; i <= g.nh; ++i) {
    if (!IsBoundaryCode(g.BoundaryConditions(i))) continue;
    g.EndPlane(i) = ++j;
    m.bnd(j).node = i;
  }
}

void FaceJacobian(MeshRecord& m, const ElementTables& tab) {
  const Mesh3d& g = m.g;
  Vec3 x[kWedgeNodes];
  for (BndFace& bf : m.faces) {
    const bool wedge = IsWedge(g, bf.elem);
    const int nn = wedge ? kWedgeNodes : kTetNodes;
    const FaceRule& r = RuleOf(tab, wedge, bf.local);
    Gather(g, bf.elem, nn, x);
    for (int p = 1; p <= bf.npt; ++p) {
      Vec3 a, b, c, u, v;
      Columns(r, p, nn, x, a, b, c);
      FaceTangents(wedge, bf.local, a, b, c, u, v);
      const Vec3 w = Cross(u, v);
      const double J = std::sqrt(Dot(w, w) + 1e-5);
      bf.v(kBfJac, p) = static_cast<float>(J);
      bf.v(kBfWJ, p) = static_cast<float>(r.w(p) * J);
    }
  }
}

void Lp_simplex(const LocalPoint& p, bool wedge, std::array<LocalPoint, 3>& q) {
  constexpr double e = 1e-4f;  // single-precision step, widened
  q = {p, p, p};
  if (wedge) {
    const double L1 = p[0], L2 = p[1], L3 = p[2], zeta = p[3];
    if (std::fabs(zeta) + 0.0001 > 1.0) {  // bottom or top: move in the triangle
      q[0][0] += e; q[0][2] -= e;
      q[1][0] -= e; q[1][2] += e;
      q[2][1] += e; q[2][2] -= e;
    } else if (L3 < 0.0001) {  // L3 = 0: along L1 = 1 - L2 and zeta
      q[0][0] += e; q[0][1] -= e;
      q[1][0] -= e; q[1][1] += e;
      q[2][3] += e;
    } else if (L1 < 0.0001 && !(L2 < 0.0001)) {  // L1 = 0: along L2 = 1 - L3 and zeta
      q[0][1] += e; q[0][2] -= e;
      q[1][1] -= e; q[1][2] += e;
      q[2][3] += e;
    } else if (L2 < 0.0001) {  // L2 = 0: along L1 = 1 - L3 and zeta
      q[0][0] += e; q[0][2] -= e;
      q[1][0] -= e; q[1][2] += e;
      q[2][3] += e;
    } else {
      Fatal("error in Lp_simplex");
    }
    return;
  }
  // Tetrahedron: keep the vanishing volume coordinate, move the other three
  // with their sum fixed.
  int zero = -1;
  for (int k = 3; k >= 0; --k)
    if (p[k] < 0.0001) zero = k;
  if (zero < 0) Fatal("error in Lp_simplex");
  int o[3], n = 0;
  for (int k = 0; k < 4; ++k)
    if (k != zero) o[n++] = k;
  q[0][o[0]] += e; q[0][o[1]] -= e;
  q[1][o[0]] -= e; q[1][o[1]] += e;
  q[2][o[2]] += e; q[2][o[0]] -= e;
}

double FrameFromPoints(const Vec3& P1, const Vec3& P2, const Vec3& P3, Vec3& t1, Vec3& t2,
                       Vec3& n) {
  const Vec3 d12 = Sub(P1, P2);
  const double l12 = std::sqrt(Dot(d12, d12));
  t1 = l12 > 0.0 ? Scale(1.0 / l12, d12) : Vec3{};
  // Foot of P3 on the line P1-P2 by orthogonal projection.
  const Vec3 foot = [&] {
    const double s = Dot(Sub(P3, P2), t1);
    return Vec3{P2[0] + s * t1[0], P2[1] + s * t1[1], P2[2] + s * t1[2]};
  }();
  // Heights and areas at the rounding level of the edge lengths count as 0
  // (collinear points): no direction is made up from rounding noise.
  const Vec3 d32 = Sub(P2, P3);
  const double noise = 1e-12 * std::max(l12, std::sqrt(Dot(d32, d32)));
  const Vec3 h = Sub(foot, P3);
  const double lh = std::sqrt(Dot(h, h));
  t2 = lh > noise ? Scale(1.0 / lh, h) : Vec3{};
  const Vec3 w = Cross(d12, d32);
  const double lw = std::sqrt(Dot(w, w));
  n = lw > noise * l12 ? Scale(1.0 / lw, w) : Vec3{};
  for (double& c : n)
    if (std::fabs(c) < 0.0001) c = 0.0;
  const double d1 = Dot(t1, t2), d2 = Dot(t1, n), d3 = Dot(t2, n);
  return (d1 * d1 + d2 * d2 + d3 * d3 + Dot(t1, t1) + Dot(t2, t2) + Dot(n, n) - 3.0) / 3.0;
}

void Cos_N_ALL(MeshRecord& m, const ElementTables& tab) {
  const Mesh3d& g = m.g;
  Vec3 x[kWedgeNodes];
  std::array<LocalPoint, 3> q;
  for (BndFace& bf : m.faces) {
    const bool wedge = IsWedge(g, bf.elem);
    const int nn = wedge ? kWedgeNodes : kTetNodes;
    const FaceRule& r = RuleOf(tab, wedge, bf.local);
    const bool axialFace = wedge && bf.local <= 2;
    Gather(g, bf.elem, nn, x);
    for (int p = 1; p <= bf.npt; ++p) {
      Lp_simplex(r.gp(p), wedge, q);
      const Vec3 P1 = MapPoint(wedge, q[0], x), P2 = MapPoint(wedge, q[1], x),
                 P3 = MapPoint(wedge, q[2], x);
      Vec3 t1, t2, n;
      double defect = FrameFromPoints(P1, P2, P3, t1, t2, n);
      const double nn2 = Dot(n, n);
      if (!(std::fabs(1.0 - nn2) <= 0.0001)) Fatal("Error 1 in Cos_N_ALL");  // degenerate face
      // Outward: against the direction into the element.  Reversing t1 with
      // n keeps t1 x t2 = n.
      Vec3 a, b, c;
      Columns(r, p, nn, x, a, b, c);
      if (Dot(n, InwardDirection(wedge, bf.local, a, b, c)) > 0.0) {
        n = Scale(-1.0, n);
        t1 = Scale(-1.0, t1);
      }
      const double anz = std::fabs(n[2]);
      const bool special = axialFace ? anz > 1.0 - 1e-5 : anz <= 1e-5;
      if (special) {
        defect = 0.0;
        if (anz >= 0.0001 && anz + 0.0001 > 1.0) {
          if (n[2] <= 0.0) {
            t1 = {0.0, 1.0, 0.0};
            t2 = {1.0, 0.0, 0.0};
          } else {
            t1 = {1.0, 0.0, 0.0};
            t2 = {0.0, 1.0, 0.0};
          }
        } else if (anz < 0.0001) {
          t1 = {n[1], -n[0], 0.0};
          t2 = {0.0, 0.0, -1.0};
        }
      }
      for (int j = 0; j < 3; ++j) {
        bf.v(kBfT1 + j, p) = static_cast<float>(t1[j]);
        bf.v(kBfN + j, p) = static_cast<float>(n[j]);
        bf.v(kBfT2 + j, p) = static_cast<float>(t2[j]);
      }
      bf.v(kBfDefect, p) = static_cast<float>(defect);
    }
  }
}

int point_sos(const Mesh3d& g, int e, int a, int b) {
  const bool wedge = IsWedge(g, e);
  const int nmid = wedge ? 9 : 6;
  for (int k = 0; k < nmid; ++k) {
    const int* ends = wedge ? kWedgeEdge[k] : kTetEdge[k];
    if ((ends[0] == a && ends[1] == b) || (ends[0] == b && ends[1] == a))
      return g.nop((wedge ? kWedgeCorners : kTetCorners) + 1 + k, e);
  }
  Fatal("error in point_sos");
}

void NodalNormals(const AxialLayout& layout, MeshRecord& m) {
  const Mesh3d& g = m.g;
  const int nb = m.bnd.size();
  // The mesh ends at the symmetry plane x = 0 (see SymmetryPlanes).
  double xmin = g.np > 0 ? g.xyz(1, 1) : 0.0;
  for (int i = 2; i <= g.np; ++i) xmin = std::min(xmin, g.xyz(1, i));
  const bool planeX = g.np > 0 && std::fabs(xmin) + 0.01 < 0.02;
  // Boundary faces around each boundary node, in element and face order;
  // the lists are as long as the largest number that occurs.
  std::vector<int> start(static_cast<std::size_t>(nb) + 2, 0);
  auto faceNodes = [&](const BndFace& bf, int k) {
    const int local = IsWedge(g, bf.elem) ? kWedgeFaceNodes[bf.local - 1][k]
                                          : kTetFaceNodes[bf.local - 1][k];
    return local;
  };
  auto nfnOf = [&](const BndFace& bf) { return bf.npt == 9 ? 8 : 6; };
  for (const BndFace& bf : m.faces)
    for (int k = 0; k < nfnOf(bf); ++k) {
      const int j = g.EndPlane(g.nop(faceNodes(bf, k), bf.elem));
      if (j > 0) ++start[static_cast<std::size_t>(j) + 1];
    }
  for (int j = 1; j <= nb + 1; ++j) start[static_cast<std::size_t>(j)] += start[static_cast<std::size_t>(j) - 1];
  std::vector<int> list(static_cast<std::size_t>(start[static_cast<std::size_t>(nb) + 1]));
  std::vector<int> fill(start.begin(), start.end());
  for (int f = 1; f <= m.faces.size(); ++f) {
    const BndFace& bf = m.faces(f);
    for (int k = 0; k < nfnOf(bf); ++k) {
      const int j = g.EndPlane(g.nop(faceNodes(bf, k), bf.elem));
      if (j > 0) list[static_cast<std::size_t>(fill[static_cast<std::size_t>(j)]++)] = f;
    }
  }

  for (int j = 1; j <= nb; ++j) {
    BndNode& rec = m.bnd(j);
    const int node = rec.node;
    const Vec3 xo = NodeXYZ(g, node);
    Vec3 s{};
    double angles = 0.0;
    const int b0 = start[static_cast<std::size_t>(j)], b1 = start[static_cast<std::size_t>(j) + 1];
    for (int t = b0; t < b1; ++t) {
      const BndFace& bf = m.faces(list[static_cast<std::size_t>(t)]);
      const int e = bf.elem;
      const bool wedge = IsWedge(g, e);
      const int nfn = nfnOf(bf), nc = nfn / 2;
      int pos = -1;
      for (int k = 0; k < nfn; ++k)
        if (g.nop(faceNodes(bf, k), e) == node) pos = k;
      int n1 = 0, n2 = 0;  // the two neighbours along the face edges through the node
      if (pos < nc) {
        const int self = faceNodes(bf, pos);
        const int prev = faceNodes(bf, (pos + nc - 1) % nc), next = faceNodes(bf, (pos + 1) % nc);
        n1 = point_sos(g, e, self, prev);
        n2 = point_sos(g, e, self, next);
      } else {
        int c1 = 0, c2 = 0;
        EdgeEnds(wedge, faceNodes(bf, pos), c1, c2);
        n1 = g.nop(c1, e);
        n2 = g.nop(c2, e);
      }
      const double ang = AngleAt(xo, NodeXYZ(g, n1), NodeXYZ(g, n2));
      const int centre = bf.npt == 9 ? 5 : 1;
      for (int c = 0; c < 3; ++c) s[c] += ang * bf.v(kBfN + c, centre);
      angles += ang;
    }
    const double den = std::max(angles, 0.0001);
    double nx = s[0] / den, ny = s[1] / den;
    const double nz = s[2] / den;
    // Unit length: z stays; x or y, whichever changes less, is recomputed.
    const double rx = std::copysign(std::sqrt(std::fabs(1.0 - ny * ny - nz * nz)), nx);
    const double ry = std::copysign(std::sqrt(std::fabs(1.0 - nx * nx - nz * nz)), ny);
    if (std::fabs(rx - nx) <= std::fabs(ry - ny)) nx = rx;
    else ny = ry;
    rec.nx = static_cast<float>(nx);
    rec.ny = static_cast<float>(ny);
    rec.nz = static_cast<float>(nz);
    // Nodes on the symmetry plane x = 0 at the die and container levels
    // where many faces meet take the diagonal of the y-z plane.  A mesh
    // that extends across x = 0 has no such plane, and its die face there
    // keeps its own normal.
    const double x = xo[0], z = xo[2];
    if (planeX && std::fabs(x) < 0.05 &&
        (std::fabs(z - layout.Z1) <= 0.05 || std::fabs(z - layout.Z2) <= 0.05) && b1 - b0 > 5 &&
        std::fabs(std::fabs(nx) - 1.0) > 0.05) {
      rec.nx = 0.0f;
      rec.ny = std::copysign(0.70710677f, rec.ny);
      rec.nz = std::copysign(0.70710677f, rec.nz);
    }
    rec.vnTarget = 0.0f;
  }
}
