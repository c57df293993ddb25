#include "mesh2d/mesh_check.h"
#include "mesh2d/geometry2d.h"
#include "mesh2d/edge_table.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace {


struct Reporter {
  std::vector<MeshFinding>& out;
  void operator()(const char* kind, int elem, int node, double value, const std::string& what) const {
    std::ostringstream s;
    s.precision(10);
    s << kind << ": " << what;
    if (elem) s << " element " << elem;
    if (node) s << " node " << node;
    s << " value " << value;
    out.push_back({kind, elem, node, value, s.str()});
  }
};

// Closed segments p1-p2 and q1-q2 share a point other than a common end.
bool SegmentsCross(const Point2& p1, const Point2& p2, const Point2& q1, const Point2& q2) {
  const double d1 = Cross(q1, q2, p1), d2 = Cross(q1, q2, p2);
  const double d3 = Cross(p1, p2, q1), d4 = Cross(p1, p2, q2);
  return ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0));
}

}  // namespace

double QuadJacobianMin(const std::array<Point2, 6>& p) {
  // Straight sides: det J is the constant twice the corner area.
  auto atMiddle = [](const Point2& m, const Point2& a, const Point2& b) {
    return m[0] == 0.5 * (a[0] + b[0]) && m[1] == 0.5 * (a[1] + b[1]);
  };
  if (atMiddle(p[3], p[0], p[1]) && atMiddle(p[4], p[1], p[2]) && atMiddle(p[5], p[2], p[0])) return Cross(p[0], p[1], p[2]);
  // det J at reference point (L1, L2) with L3 = 1 - L1 - L2.
  auto detJ = [&](double L1, double L2) {
    const double L3 = 1.0 - L1 - L2;
    // Derivatives of the shape functions of corners 1, 2, 3 and edges 1-2,
    // 2-3, 3-1 with respect to L1 and L2.
    const double d1[6] = {4 * L1 - 1, 0.0, 1 - 4 * L3, 4 * L2, -4 * L2, 4 * (L3 - L1)};
    const double d2[6] = {0.0, 4 * L2 - 1, 1 - 4 * L3, 4 * L1, 4 * (L3 - L2), -4 * L1};
    double xa = 0, ya = 0, xb = 0, yb = 0;
    for (int a = 0; a < 6; ++a) {
      xa += d1[a] * p[static_cast<std::size_t>(a)][0];
      ya += d1[a] * p[static_cast<std::size_t>(a)][1];
      xb += d2[a] * p[static_cast<std::size_t>(a)][0];
      yb += d2[a] * p[static_cast<std::size_t>(a)][1];
    }
    return xa * yb - xb * ya;
  };
  // Values at the corners and edge middles determine the quadratic
  // q = a0 + a1 L1 + a2 L2 + a3 L1^2 + a4 L1 L2 + a5 L2^2.
  const double v1 = detJ(1, 0), v2 = detJ(0, 1), v3 = detJ(0, 0);
  const double m12 = detJ(0.5, 0.5), m23 = detJ(0, 0.5), m31 = detJ(0.5, 0);
  double jmin = std::min({v1, v2, v3});
  // Along an edge from value va through vm to vb: q(t) = va (1-t)(1-2t) +
  // 4 vm t (1-t) + vb t (2t-1); a convex parabola has its vertex inside.
  auto edgeMin = [&](double va, double vm, double vb) {
    const double c2 = 2 * va + 2 * vb - 4 * vm;
    if (c2 <= 0.0) return;
    const double t = (3 * va + vb - 4 * vm) / (2 * c2);
    if (t <= 0.0 || t >= 1.0) return;
    jmin = std::min(jmin, va * (1 - t) * (1 - 2 * t) + 4 * vm * t * (1 - t) + vb * t * (2 * t - 1));
  };
  edgeMin(v1, m12, v2);
  edgeMin(v2, m23, v3);
  edgeMin(v3, m31, v1);
  const double a0 = v3;
  const double a3 = 2 * v1 + 2 * a0 - 4 * m31, a1 = v1 - a0 - a3;
  const double a5 = 2 * v2 + 2 * a0 - 4 * m23, a2 = v2 - a0 - a5;
  const double a4 = 4 * (m12 - a0 - 0.5 * a1 - 0.5 * a2 - 0.25 * a3 - 0.25 * a5);
  // Stationary point inside: [2 a3, a4; a4, 2 a5] (L1, L2) = -(a1, a2).
  const double det = 4 * a3 * a5 - a4 * a4;
  if (det > 0.0 && a3 > 0.0) {
    const double L1 = (-a1 * 2 * a5 + a2 * a4) / det;
    const double L2 = (-a2 * 2 * a3 + a1 * a4) / det;
    if (L1 > 0.0 && L2 > 0.0 && L1 + L2 < 1.0) jmin = std::min(jmin, detJ(L1, L2));
  }
  return jmin;
}

double CurvedShape(const std::array<Point2, 6>& p) {
  const double ss = Dist2(p[0], p[1]) + Dist2(p[1], p[2]) + Dist2(p[2], p[0]);
  return ss > 0.0 ? 2.0 * std::sqrt(3.0) * QuadJacobianMin(p) / ss : 0.0;
}

double WorstCurvedShape(const Mesh2d& m, int& elem) {
  double worst = 1.0;
  elem = 0;
  for (int e = 1; e <= m.ne; ++e) {
    const std::array<Point2, 6> p = {m.xy(std::abs(m.nop(1, e))), m.xy(std::abs(m.nop(2, e))),
                                     m.xy(std::abs(m.nop(3, e))), m.xy(std::abs(m.nop(5, e))),
                                     m.xy(std::abs(m.nop(6, e))), m.xy(std::abs(m.nop(4, e)))};
    const double q = CurvedShape(p);
    if (elem == 0 || q < worst) {
      worst = q;
      elem = e;
    }
  }
  return worst;
}

std::vector<MeshFinding> CheckMesh(const Mesh2d& m, const MeshCheckLimits& lim) {
  std::vector<MeshFinding> out;
  const Reporter report{out};

  // Structure: counts and array sizes; nothing else is safe to read without them.
  if (m.ne < 0 || m.nh < 0 || m.np < 0 || m.np > m.nh) {
    report("counts", 0, 0, m.np, "inconsistent counts ne=" + std::to_string(m.ne) + " nh=" + std::to_string(m.nh) +
                                     " np=" + std::to_string(m.np));
    return out;
  }
  if (m.xy.size() < m.nh || (m.ne > 0 && (m.nop.rows < 6 || m.nop.cols < m.ne))) {
    report("counts", 0, 0, m.xy.size(), "arrays shorter than the counts");
    return out;
  }
  if (lim.flags && m.flag.size() != m.nh) {
    report("counts", 0, 0, m.flag.size(), "flag array does not hold nh entries");
    return out;
  }
  for (int e = 1; e <= m.ne; ++e)
    for (int k = 1; k <= 6; ++k)
      if (m.nop(k, e) < 1 || m.nop(k, e) > m.nh) {
        report("numbering", e, m.nop(k, e), k, "node number out of range in column");
        return out;
      }

  // Corner nodes first: corners within 1..np, mid-side nodes above np, every
  // node used.
  std::vector<char> usedCorner(static_cast<std::size_t>(m.nh) + 1, 0), usedMid(static_cast<std::size_t>(m.nh) + 1, 0);
  for (int e = 1; e <= m.ne; ++e)
    for (int k = 1; k <= 6; ++k) {
      const int v = m.nop(k, e);
      if (k <= 3) {
        usedCorner[static_cast<std::size_t>(v)] = 1;
        if (v > m.np) report("numbering", e, v, m.np, "corner node numbered above np");
      } else {
        usedMid[static_cast<std::size_t>(v)] = 1;
        if (v <= m.np) report("numbering", e, v, m.np, "mid-side node numbered within 1..np");
      }
    }
  for (int i = 1; i <= m.nh; ++i) {
    if (!usedCorner[static_cast<std::size_t>(i)] && !usedMid[static_cast<std::size_t>(i)])
      report("numbering", 0, i, 0, "node used by no element");
    if (usedCorner[static_cast<std::size_t>(i)] && usedMid[static_cast<std::size_t>(i)])
      report("numbering", 0, i, 0, "node used both as corner and as mid-side node");
  }

  // Orientation and shape of the corner triangles.
  for (int e = 1; e <= m.ne; ++e) {
    const Point2 &p1 = m.xy(m.nop(1, e)), &p2 = m.xy(m.nop(2, e)), &p3 = m.xy(m.nop(3, e));
    const double a2 = Cross(p1, p2, p3);
    const double ss = Dist2(p1, p2) + Dist2(p2, p3) + Dist2(p3, p1);
    const double shape = ss > 0.0 ? 2.0 * std::sqrt(3.0) * a2 / ss : 0.0;
    if (a2 <= 0.0) report("orientation", e, 0, a2 / 2.0, "corner triangle not counter-clockwise, signed area");
    if (std::fabs(shape) < lim.minShape) report("degenerate", e, 0, shape, "corner triangle degenerate, shape");
  }

  // Curved elements: the Jacobian of the quadratic map stays positive over
  // the whole element (its exact minimum, relative to the corner area).
  {
    // Columns holding the nodes on edges 1-2, 2-3, 3-1.
    const int c12 = lim.finalColumns ? 5 : 4, c23 = lim.finalColumns ? 6 : 5, c31 = lim.finalColumns ? 4 : 6;
    for (int e = 1; e <= m.ne; ++e) {
      const std::array<Point2, 6> p = {m.xy(m.nop(1, e)), m.xy(m.nop(2, e)),   m.xy(m.nop(3, e)),
                                       m.xy(m.nop(c12, e)), m.xy(m.nop(c23, e)), m.xy(m.nop(c31, e))};
      const double a2 = Cross(p[0], p[1], p[2]);
      if (a2 <= 0.0) continue;  // reported as orientation
      const double jmin = QuadJacobianMin(p);
      if (jmin <= 0.0) report("jacobian", e, 0, jmin / a2, "quadratic element folds, smallest Jacobian per corner area");
    }
  }

  // Conformity: every corner edge used once (boundary) or twice in opposite
  // directions with the same mid-side node.
  // Mid-side column of edge k (corners k, k%3+1).
  auto midCol = [&](int k) { return lim.finalColumns ? (k == 1 ? 5 : (k == 2 ? 6 : 4)) : 3 + k; };
  struct Use {
    int lo, hi, e, from, mid;
  };
  std::vector<Use> uses;
  uses.reserve(static_cast<std::size_t>(3 * m.ne));
  for (const EdgeUse& u : SortedEdges(m)) uses.push_back({u.lo, u.hi, u.e, m.nop(u.k, u.e), m.nop(midCol(u.k), u.e)});
  std::vector<char> onBoundary(static_cast<std::size_t>(m.nh) + 1, 0);
  std::vector<int> midEdgeCount(static_cast<std::size_t>(m.nh) + 1, 0);
  std::vector<std::array<int, 2>> bEdges;  // boundary corner edges, element direction
  for (std::size_t i = 0; i < uses.size();) {
    std::size_t j = i + 1;
    while (j < uses.size() && uses[j].lo == uses[i].lo && uses[j].hi == uses[i].hi) ++j;
    const Use& u = uses[i];
    if (u.lo == u.hi) report("degenerate", u.e, u.lo, 0, "element repeats a corner node");
    ++midEdgeCount[static_cast<std::size_t>(u.mid)];
    if (j - i == 1) {
      onBoundary[static_cast<std::size_t>(u.lo)] = onBoundary[static_cast<std::size_t>(u.hi)] = 1;
      onBoundary[static_cast<std::size_t>(u.mid)] = 1;
      bEdges.push_back({u.from, u.from == u.lo ? u.hi : u.lo});
    } else if (j - i == 2) {
      const Use& w = uses[i + 1];
      if (u.from == w.from)
        report("conformity", w.e, u.lo, u.hi, "edge used twice in the same direction, other corner");
      if (u.mid != w.mid) report("midside", w.e, w.mid, u.mid, "shared edge has different mid-side nodes, other");
    } else {
      report("conformity", u.e, u.lo, static_cast<double>(j - i), "edge used by more than two elements, uses");
    }
    i = j;
  }
  for (int v = m.np + 1; v <= m.nh; ++v)
    if (usedMid[static_cast<std::size_t>(v)] && midEdgeCount[static_cast<std::size_t>(v)] != 1)
      report("midside", 0, v, midEdgeCount[static_cast<std::size_t>(v)], "mid-side node on several edges, edges");

  // Mid-side nodes near the middle of their chord.
  for (const Use& u : uses) {
    const Point2 &a = m.xy(u.lo), &b = m.xy(u.hi), &c = m.xy(u.mid);
    const double chord = std::sqrt(Dist2(a, b));
    const Point2 mid = {0.5 * (a[0] + b[0]), 0.5 * (a[1] + b[1])};
    const double off = std::sqrt(Dist2(mid, c));
    if (off > lim.midsideRel * chord) report("midside", u.e, u.mid, off / chord, "mid-side node far from its chord middle, ratio");
  }

  // The boundary is made of closed loops that neither cross nor run through
  // another boundary node (hanging node).
  {
    std::vector<int> balance(static_cast<std::size_t>(m.nh) + 1, 0);
    for (const auto& be : bEdges) {
      ++balance[static_cast<std::size_t>(be[0])];
      --balance[static_cast<std::size_t>(be[1])];
    }
    for (int v = 1; v <= m.nh; ++v)
      if (balance[static_cast<std::size_t>(v)] != 0)
        report("conformity", 0, v, balance[static_cast<std::size_t>(v)], "boundary does not close at node, balance");
    std::vector<int> bNodes;
    for (int v = 1; v <= m.np; ++v)
      if (onBoundary[static_cast<std::size_t>(v)]) bNodes.push_back(v);
    for (std::size_t s = 0; s < bEdges.size(); ++s) {
      const Point2 &a = m.xy(bEdges[s][0]), &b = m.xy(bEdges[s][1]);
      const double len2 = Dist2(a, b);
      for (int v : bNodes) {
        if (v == bEdges[s][0] || v == bEdges[s][1]) continue;
        const Point2& p = m.xy(v);
        const double t = ((p[0] - a[0]) * (b[0] - a[0]) + (p[1] - a[1]) * (b[1] - a[1])) / len2;
        if (t <= 0.0 || t >= 1.0) continue;
        const double dev = std::fabs(Cross(a, b, p)) / std::sqrt(len2);
        if (dev <= 1e-9 * std::sqrt(len2)) report("conformity", 0, v, dev, "hanging node on a boundary edge, distance");
      }
      for (std::size_t r = s + 1; r < bEdges.size(); ++r)
        if (SegmentsCross(a, b, m.xy(bEdges[r][0]), m.xy(bEdges[r][1])))
          report("conformity", 0, bEdges[s][0], bEdges[r][0], "boundary edges cross, other edge starts at");
    }
  }

  // Duplicate nodes (sorted sweep along x).
  if (m.nh > 1) {
    double xmin, xmax, ymin, ymax;
    MeshBox(m, xmin, xmax, ymin, ymax);
    const double tol = lim.dupRel * std::hypot(xmax - xmin, ymax - ymin);
    std::vector<int> order(static_cast<std::size_t>(m.nh));
    for (int i = 0; i < m.nh; ++i) order[static_cast<std::size_t>(i)] = i + 1;
    std::sort(order.begin(), order.end(), [&](int a, int b) { return m.xy(a)[0] < m.xy(b)[0]; });
    for (std::size_t s = 0; s < order.size(); ++s)
      for (std::size_t r = s + 1; r < order.size() && m.xy(order[r])[0] - m.xy(order[s])[0] <= tol; ++r) {
        const double d = std::sqrt(Dist2(m.xy(order[s]), m.xy(order[r])));
        if (d <= tol) report("duplicate", 0, std::min(order[s], order[r]), d, "node coincides with node " +
                                                                               std::to_string(std::max(order[s], order[r])) + ", distance");
      }
  }

  // Flags against the topological boundary.
  if (lim.flags) {
    for (int i = 1; i <= m.nh; ++i) {
      const bool corner = i <= m.np;
      const bool bnd = onBoundary[static_cast<std::size_t>(i)] != 0;
      const int want = corner ? (bnd ? 65 : 64) : (bnd ? 1 : 0);
      if (m.flag(i) != want)
        report("flag", 0, i, m.flag(i), std::string("flag disagrees with the ") + (bnd ? "boundary" : "interior") +
                                             " position (expected " + std::to_string(want) + "), flag");
    }
  }
  return out;
}

std::string FormatFindings(const std::vector<MeshFinding>& findings, int maxLines) {
  std::string s;
  int k = 0;
  for (const auto& f : findings) {
    if (k++ == maxLines) {
      s += "... " + std::to_string(findings.size() - static_cast<std::size_t>(maxLines)) + " more\n";
      break;
    }
    s += f.text + "\n";
  }
  return s;
}
