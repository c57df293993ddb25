#include "solver/section_heat.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <tuple>
#include <vector>

#include "core/fatal.h"
#include "solver/sol_def.h"

namespace {

// Local nodes of the three edges in Tri6Edge order: corner, corner, mid-side.
constexpr int kEdgeNodes[3][3] = {{2, 3, 6}, {3, 1, 4}, {1, 2, 5}};
// Edges shorter than this carry no exchange, mm.
constexpr double kMinExchangeEdge = 0.01;

// Element routine of the section step for the frontal solver.
struct SectionHeatElements {
  Mesh2d& m;                 // the working section; nop carries the solver's signs
  const ElemType& area;      // Tri6, 7-point area rule
  const ElemType& edge;      // Tri6Edge, 5 points per edge
  const Vec1<uint8_t>& ex;   // exchange edge mask per element
  double dt = 0;             // time step, s
  double htc = 0;            // effective exchange coefficient 0.5 ContactHtc, W/(m2 K)
  double tool = 0;           // tool temperature, deg C
  Fix1<double, 3> px{}, py{};  // constants and slopes of c, rho, lambda

  int Unknowns(int k, int32_t* lm) {
    for (int a = 1; a <= kTriNodes; ++a) lm[a - 1] = m.nop(a, k);
    return kTriNodes;
  }

  int System(int k, int32_t* lm, double* est, int ld, double* r) {
    Unknowns(k, lm);
    double x[kTriNodes], y[kTriNodes], T[kTriNodes];
    for (int a = 0; a < kTriNodes; ++a) {
      const int n = lm[a] < 0 ? -lm[a] : lm[a];
      x[a] = m.xy(n)[0];
      y[a] = m.xy(n)[1];
      T[a] = m.Told(n);
    }
    const double rho = px(2);
    auto E = [&](int i, int j) -> double& { return est[static_cast<std::size_t>(j) * ld + i]; };

    // Capacity and conduction over the area points.
    for (int g = 1; g <= area.ngp; ++g) {
      const double* N = area.N.col(g);
      const double* d1 = area.dN1.col(g);
      const double* d2 = area.dN2.col(g);
      double xa = 0, ya = 0, xb = 0, yb = 0, Tg = 0;
      for (int a = 0; a < kTriNodes; ++a) {
        xa += d1[a] * x[a];
        ya += d1[a] * y[a];
        xb += d2[a] * x[a];
        yb += d2[a] * y[a];
        Tg += N[a] * T[a];
      }
      const double det = xa * yb - ya * xb;
      if (det == 0.0) continue;  // degenerate point: no area, no contribution
      double Nx[kTriNodes], Ny[kTriNodes];
      for (int a = 0; a < kTriNodes; ++a) {
        Nx[a] = 1000.0 * (yb * d1[a] - ya * d2[a]) / det;
        Ny[a] = 1000.0 * (-xb * d1[a] + xa * d2[a]) / det;
      }
      const double w = std::fabs(det) * 1e-6 * area.w(g);
      const double diff = (px(3) + py(3) * Tg) / ((px(1) + py(1) * Tg) * rho);
      for (int b = 0; b < kTriNodes; ++b) {
        for (int a = 0; a < kTriNodes; ++a)
          E(a, b) += diff * w * (Nx[a] * Nx[b] + Ny[a] * Ny[b]) + N[a] * N[b] * w / dt;
        r[b] += N[b] * Tg * w / dt;
      }
    }

    // Exchange with the tools on the outer edges.
    const uint8_t mask = ex(k);
    if (mask == 0 || htc == 0.0) return kTriNodes;
    for (int e = 0; e < 3; ++e) {
      if (!(mask & (1u << e))) continue;
      double len = 0;
      double ds[5];
      for (int i = 0; i < 5; ++i) {
        const int g = 5 * e + i + 1;
        const double* d1 = edge.dN1.col(g);
        const double* d2 = edge.dN2.col(g);
        // Tangent dx/dt along the edge parameter of the rule.
        double tx = 0, ty = 0;
        for (int a = 0; a < kTriNodes; ++a) {
          const double dt_a = e == 0 ? d2[a] : e == 1 ? d1[a] : d1[a] - d2[a];
          tx += dt_a * x[a];
          ty += dt_a * y[a];
        }
        ds[i] = std::hypot(tx, ty) * edge.w(g);
        len += ds[i];
      }
      if (len < kMinExchangeEdge) continue;
      for (int i = 0; i < 5; ++i) {
        const int g = 5 * e + i + 1;
        const double* N = edge.N.col(g);
        double Tp = 0;
        for (int a = 0; a < kTriNodes; ++a) Tp += N[a] * T[a];
        const double q = htc * ds[i] * 0.001 / (rho * (px(1) + py(1) * Tp));
        for (int b = 0; b < kTriNodes; ++b) {
          if (N[b] == 0.0) continue;
          for (int a = 0; a < kTriNodes; ++a) E(a, b) += N[a] * N[b] * q;
          r[b] += N[b] * q * tool;
        }
      }
    }
    return kTriNodes;
  }
};

}  // namespace

Vec1<uint8_t> ExchangeEdges(const Mesh2d& m) {
  Vec1<uint8_t> mask(static_cast<std::size_t>(std::max(m.ne, 0)), 0);
  if (m.ne < 1 || m.nh < 1) return mask;

  // Outer edges: corner pairs that belong to one triangle only.
  std::vector<std::tuple<int, int, int, int>> edges;  // (low corner, high corner, element, edge)
  edges.reserve(static_cast<std::size_t>(3 * m.ne));
  for (int k = 1; k <= m.ne; ++k)
    for (int e = 0; e < 3; ++e) {
      const int p = std::abs(m.nop(kEdgeNodes[e][0], k)), q = std::abs(m.nop(kEdgeNodes[e][1], k));
      edges.emplace_back(std::min(p, q), std::max(p, q), k, e);
    }
  std::sort(edges.begin(), edges.end());

  // Symmetry cuts: the section ends on the axis from one side.
  double xmin = m.xy(1)[0], xmax = xmin, ymin = m.xy(1)[1], ymax = ymin;
  for (int i = 2; i <= m.nh; ++i) {
    xmin = std::min(xmin, m.xy(i)[0]);
    xmax = std::max(xmax, m.xy(i)[0]);
    ymin = std::min(ymin, m.xy(i)[1]);
    ymax = std::max(ymax, m.xy(i)[1]);
  }
  const bool cutX = std::fabs(xmin) <= kSectionAxisTol || std::fabs(xmax) <= kSectionAxisTol;
  const bool cutY = std::fabs(ymin) <= kSectionAxisTol || std::fabs(ymax) <= kSectionAxisTol;

  for (std::size_t i = 0; i < edges.size();) {
    std::size_t j = i + 1;
    while (j < edges.size() && std::get<0>(edges[j]) == std::get<0>(edges[i]) &&
           std::get<1>(edges[j]) == std::get<1>(edges[i]))
      ++j;
    if (j == i + 1) {
      const int k = std::get<2>(edges[i]), e = std::get<3>(edges[i]);
      bool onX = cutX, onY = cutY;
      for (int a : kEdgeNodes[e]) {
        const Point2& p = m.xy(std::abs(m.nop(a, k)));
        onX = onX && std::fabs(p[0]) <= kSectionAxisTol;
        onY = onY && std::fabs(p[1]) <= kSectionAxisTol;
      }
      if (!onX && !onY) mask(k) = static_cast<uint8_t>(mask(k) | (1u << e));
    }
    i = j;
  }
  return mask;
}

FrontPlanStats SolveSectionHeat(const ElementTables& tab, InpDat& inp_dat) {
  Require(inp_dat.sections.Sect2d.size() >= 1, "SolveSectionHeat: the variant has no working cross-section");
  Mesh2d& s = inp_dat.sections.Sect2d(1);
  Require(s.Told.size() >= s.nh && s.Tnew.size() >= s.nh,
          "SolveSectionHeat: the working cross-section has no temperature arrays");
  Require(inp_dat.model.HeatDt > 0.0, "SolveSectionHeat: the time step must be positive, got " +
                                     std::to_string(inp_dat.model.HeatDt) + " s");
  const Vec1<uint8_t> ex = ExchangeEdges(s);
  SectionHeatElements elem{s, tab.Tri6, tab.Tri6Edge, ex};
  elem.dt = inp_dat.model.HeatDt;
  elem.htc = 0.5 * inp_dat.setup.ContactHtc;
  elem.tool = inp_dat.setup.ToolTemp;
  elem.px = inp_dat.setup.mat.PairX;
  elem.py = inp_dat.setup.mat.PairY;

  Vec1<double> r1;
  const FrontPlanStats plan = FrontalSolve(
      SolveMode::SectionHeat, s.nop, s.npe, s.ne, s.nh, s.nh, kTriNodes, elem,
      SolveOptionsOf(inp_dat.solve, &s.pivots), SparseStatsFor(SolveMode::SectionHeat, inp_dat.results), r1);
  for (int i = 1; i <= s.nh && i <= r1.size(); ++i) {
    s.Tnew(i) = r1(i);
    s.Told(i) = r1(i);
  }
  return plan;
}
