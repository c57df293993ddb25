#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "core/fatal.h"
#include "material/flow_stress.h"
#include "mesh2d/measures.h"
#include "mesh3d/boundary.h"

namespace {

constexpr double kF001 = 0.01f;  // single-precision 0.01, widened
constexpr double kF02 = 0.2f;    // single-precision 0.2, widened

// a / b, or 0 when the quotient is not a finite number (an empty
// cross-section or a zero-length zone gives no strain and no rate).
double Quot(double a, double b) {
  const double q = a / b;
  return std::isfinite(q) ? q : 0.0;
}

// ln(a / b) for positive areas, else 0.
double LogRatio(double a, double b) { return a > 0.0 && b > 0.0 ? std::log(a / b) : 0.0; }

// The five cross-section areas of the variant (areas 4 and 5 are never read).
void Areas(const SectionSet& sections, double A[5]) {
  for (int k = 0; k < 3; ++k) A[k] = sections.Area2d(k + 1);
  A[3] = A[4] = 0.0;
}

void EnsureFields(MeshRecord& m) {
  if (m.fld.cols == m.g.nh && m.fld.rows == kNumFld) return;
  DefaultNodalFields(m);
}

// Analytic initial strain e and strain rate s at level z.
//   ProfType 1: total strain eT = ln(Amax / (sum - Amax)) in the profile,
//   falling linearly to 0 over the container zone Z1..Z2; the rate
//   r = 0.2 V eT^2 / (Z2 - Z1) rises from the exit towards Z1.
//   ProfType 3: eT = ln(Amax / min(A1..A3)) in the profile, e2 = ln(Amax / A2)
//   over the zone Z1..Z2 blending into a linear decay over Z2..Z3.
void StrainAt(const VariantSetup& setup, const AxialLayout& layout, const double A[5], double z,
              double& e, double& s) {
  const double V = setup.RamSpeed;
  const double Amax = *std::max_element(A, A + 5);
  if (setup.ProfType == 1) {
    const double eT = LogRatio(Amax, A[0] + A[1] + A[2] + A[3] + A[4] - Amax);
    const double r = Quot(eT, Quot(layout.Z2 - layout.Z1, kF02 * V * eT));
    if (z <= layout.Z1) {
      e = eT;
      s = r * Quot(z - layout.Z0, layout.Z1 - layout.Z0) + kF001 * r;
    } else {
      const double t = Quot(layout.Z2 - z, layout.Z2 - layout.Z1);
      e = eT * t + kF001;
      s = r * t + kF001 * r;
    }
    return;
  }
  const double e2 = LogRatio(Amax, A[1]);
  const double eT = LogRatio(Amax, std::min({A[0], A[1], A[2]}));
  const double r2 = Quot(eT - e2, Quot(0.5 * eT * (layout.Z2 - layout.Z1), V));
  const double r3 = Quot(e2, Quot(kF02 * e2 * (layout.Z3 - layout.Z2), V));
  e = s = 0.0;
  if (z <= layout.Z1) {
    e = eT;
    s = r2 * Quot(z - layout.Z0, layout.Z1 - layout.Z0) + kF001 * r2;
  }
  if (z >= layout.Z2) {
    const double t = Quot(layout.Z3 - z, layout.Z3 - layout.Z2);
    e = e2 * t + kF001;
    s = r3 * t + kF001 * r3;
  }
  if (layout.Z1 <= z && z <= layout.Z2) {
    const double q = Quot(z - layout.Z1, layout.Z2 - layout.Z1);
    e = e2 + (eT - e2) * (1.0 - q);
    s = r3 + (r2 - r3) * (1.0 - q);
  }
}

double DistanceXYZ(const Mesh3d& g, int i, int j) {
  const double dx = g.xyz(1, i) - g.xyz(1, j), dy = g.xyz(2, i) - g.xyz(2, j),
               dz = g.xyz(3, i) - g.xyz(3, j);
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // namespace

void InitialVelocities(const VariantSetup& setup, const SectionSet& sections,
                       const AxialLayout& layout, ModelParams& model, IterationState& iter,
                       MeshRecord& m) {
  EnsureFields(m);
  const Mesh3d& g = m.g;
  double A[5];
  Areas(sections, A);
  // Profile speed from volume conservation; without a profile area the ram
  // speed stands in.  A multi-hole die (J >= 3 outlines) extrudes through
  // all its holes, meshes 1..J-1, at once, from the container, mesh J,
  // which lies beyond the three stored areas when the die has three holes
  // or more.
  const bool multi = sections.nPiecesB >= 3 && sections.Pieces2d.size() >= sections.nPiecesB;
  const double Amax =
      multi ? sections.Pieces2d(sections.nPiecesB).area : *std::max_element(A, A + 5);
  const double profileArea = ProfileArea(sections, A[0]);
  model.VProfAnalit = profileArea > 0.0 ? setup.RamSpeed * Amax / profileArea : setup.RamSpeed;
  for (int i = 1; i <= g.nh; ++i) {
    m.fld(kFldVx, i) = 0.0f;
    m.fld(kFldVy, i) = 0.0f;
    m.fld(kFldP, i) = 0.0f;
    m.fld(kFldPsi, i) = 0.0f;
    m.fld(kFldVisc, i) = 1.0f;
    m.fld(kFldStress, i) = 1.0f;
    m.fld(kFldEpsP, i) = 1.0f;
    const int c = g.BoundaryConditions(i);
    const bool held = c == 2 || c == 3 || c == 7 || c == 8 || c == 9 || c == 66 || c == 67 ||
                      c == 71 || c == 72 || c == 73;
    const double vz = held ? 0.0 : g.xyz(3, i) <= layout.Z1 ? -model.VProfAnalit : -setup.RamSpeed;
    m.fld(kFldVz, i) = static_cast<float>(vz);
  }
  if (setup.ProfType == 1 || setup.ProfType == 3) {
    for (int i = 1; i <= g.nh; ++i) {
      double e = 0.0, s = 0.0;
      StrainAt(setup, layout, A, g.xyz(3, i), e, s);
      double T = setup.BilletTemp;
      double sigma = m.fld(kFldStress, i), eta = 0.0;
      FlowStress(s, e, T, setup.mat, sigma, eta);
      m.fld(kFldStrain, i) = static_cast<float>(e);
      m.fld(kFldRate0, i) = static_cast<float>(s);
      m.fld(kFldVisc, i) = static_cast<float>(eta);
      m.fld(kFldStress, i) = static_cast<float>(sigma);
      m.fld(kFldP, i) = static_cast<float>(-sigma);
    }
  }
  for (int i = 1; i <= g.nh; ++i) {
    const double eta = m.fld(kFldVisc, i);
    if (eta >= iter.ViscMax) iter.ViscMax = eta;
    if (eta <= iter.ViscMin) iter.ViscMin = eta;
  }
}

void RoundEdge(const AxialLayout& layout, const ModelParams& model, int option, MeshRecord& m) {
  const double za = option == 1 ? layout.Z1 : layout.Z2;
  const double R = option == 1 ? model.EdgeR1 : model.EdgeR2;
  const double k = model.EdgeScale;
  if (R <= 0.001) return;
  Mesh3d& g = m.g;
  auto onPlane = [&](int i) { return std::fabs(g.xyz(3, i) - za) <= 0.001; };
  auto interior = [&](int i) { return !IsBoundaryCode(g.BoundaryConditions(i)); };
  std::vector<int> edge;
  std::vector<char> marked(static_cast<std::size_t>(g.nh) + 1, 0);
  for (int i = 1; i <= g.nh; ++i) {
    const int c = g.BoundaryConditions(i);
    const int j = g.EndPlane(i);
    if (onPlane(i) && j > 0 && std::fabs(m.bnd(j).nz + 1.0) > 0.001 && (c == 9 || c == 73)) {
      edge.push_back(i);
      marked[static_cast<std::size_t>(i)] = 1;
    }
    if (g.xyz(3, i) < za - 0.001 || (interior(i) && onPlane(i))) marked[static_cast<std::size_t>(i)] = 1;
  }
  for (int i = 1; i <= g.nh; ++i) {
    if (marked[static_cast<std::size_t>(i)] || !onPlane(i) || interior(i)) continue;
    double dist = 1e10;
    for (const int j : edge) dist = std::min(dist, DistanceXYZ(g, i, j));
    if (dist < R) g.xyz(3, i) -= (R - std::sqrt(R * R - (R - dist) * (R - dist))) * k;
  }
  for (int i = 1; i <= g.nh; ++i)
    if (marked[static_cast<std::size_t>(i)]) g.xyz(3, i) -= R * k;
}

void RoundEdgeMulti(const AxialLayout& layout, const ModelParams& model, MeshRecord& m) {
  RoundEdge(layout, model, 1, m);
}

void ZoneFactors(const VariantSetup& setup, const SectionSet& sections, const AxialLayout& layout,
                 MeshRecord& m) {
  for (BndNode& b : m.bnd) {
    const double z = m.g.xyz(3, b.node);
    double f = setup.BcFactor(2);
    if (sections.nPiecesA == 2 && z >= layout.Z1 + 0.01) f = setup.BcFactor(1);
    if (sections.nPiecesA == 3) {
      if (z >= layout.Z1 + 0.01) f = setup.BcFactor(3);
      if (z >= layout.Z2 + 0.01) f = setup.BcFactor(1);
    }
    b.factor = static_cast<float>(f);
  }
}

void EndVelocities(const VariantSetup& setup, const SectionSet& sections, const AxialLayout& layout,
                   MeshRecord& m) {
  const Mesh3d& g = m.g;
  const double zt = sections.nPiecesA == 1   ? layout.Z1
                    : sections.nPiecesA == 2 ? layout.Z2
                    : sections.nPiecesA == 3 ? layout.Z3
                                             : 0.0;
  const double v = setup.RamSpeed;
  for (int i = 1; i <= g.nh; ++i) {
    if (!(g.xyz(3, i) > zt - v)) continue;
    m.fld(kFldVx, i) = 0.0f;
    m.fld(kFldVy, i) = 0.0f;
    m.fld(kFldVz, i) = static_cast<float>(-v);
    if (g.EndPlane(i) > 0) m.bnd(g.EndPlane(i)).factor = 1.0f;
  }
}

void InitialTemperatures(const VariantSetup& setup, MeshRecord& m) {
  for (int i = 1; i <= m.g.nh; ++i)
    m.fld(kFldT, i) = static_cast<float>(
        TouchesTools(m.g.BoundaryConditions(i)) ? setup.ToolTemp : setup.BilletTemp);
}

void VelocityScale(const VariantSetup& setup, const SectionSet& sections, const AxialLayout& layout,
                   MeshRecord& m) {
  const double vR = setup.RamSpeed;
  const double A1 = sections.Area2d(1), A2 = sections.Area2d(2), A3 = sections.Area2d(3);
  // Mean axial speed of the profile (c) and of the middle zone (d) by volume
  // conservation; an empty cross-section leaves the ram speed.
  auto speed = [&](double num, double den) { return den > 0.0 ? vR * num / den : vR; };
  double c = 0.0, dz = vR;
  switch (sections.nPiecesA) {
    case 1: c = vR; break;
    case 2: c = speed(A2, A1); break;
    case 3:
      c = speed(A3, A1);
      dz = speed(A3, A2);
      break;
    default: Fatal("error in dVp0");
  }
  for (BndNode& b : m.bnd) {
    const double z = m.g.xyz(3, b.node);
    double u = c;
    if (sections.nPiecesA == 2 && z > layout.Z1) u = vR;
    if (sections.nPiecesA == 3) u = z <= layout.Z1 ? c : z <= layout.Z2 ? dz : vR;
    const double f = b.factor;
    b.vScale = static_cast<float>(std::fabs((1.0 - f) * (1.0 - f) * std::fabs(u) + 0.1 * std::fabs(vR)));
  }
}

void RelaxZ(Mesh3d& g) {
  // Mid-edge node k (7..15) lies between the corners kWedgeEdge[k - 7].
  double z[15];
  int code[15];
  auto midSides = [&] {
    for (int k = 7; k <= 15; ++k)
      if (code[k - 1] == 0)
        z[k - 1] = 0.5 * (z[kWedgeEdge[k - 7][0] - 1] + z[kWedgeEdge[k - 7][1] - 1]);
  };
  auto load = [&](int e) {
    for (int k = 1; k <= 15; ++k) {
      z[k - 1] = g.xyz(3, g.nop(k, e));
      code[k - 1] = g.BoundaryConditions(g.nop(k, e));
    }
  };
  auto store = [&](int e) {
    for (int k = 1; k <= 15; ++k) g.xyz(3, g.nop(k, e)) = z[k - 1];
  };
  for (int sweep = 1; sweep <= 20; ++sweep) {
    double change = 0.0;
    for (int e = 1; e <= g.ne; ++e) {
      if (!IsWedge(g, e) || g.npe < 15) continue;
      load(e);
      const double zb = (z[0] + z[1] + z[2]) / 3.0, zt = (z[3] + z[4] + z[5]) / 3.0;
      for (int k = 0; k < 3; ++k) {
        if (code[k] == 64) {
          change = std::max(change, std::fabs(z[k] - zb));
          z[k] = zb;
        }
        if (code[k + 3] == 64) z[k + 3] = zt;
      }
      midSides();
      store(e);
    }
    if (change <= 0.0001) break;
  }
  for (int e = 1; e <= g.ne; ++e) {
    if (!IsWedge(g, e) || g.npe < 15) continue;
    load(e);
    midSides();
    store(e);
  }
}
