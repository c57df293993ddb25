#include "material/flow_stress.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kSqrt3 = 1.7320508f;  // single-precision sqrt(3), widened
}  // namespace

void FlowStress(double& rate, double& strain, double& temp, const Material& mat, double& sigma,
                double& eta) {
  if (strain > kStrainMax) strain = kStrainMax;
  if (strain < kStrainMin) strain = kStrainMin;
  if (rate < kRateMin) rate = kRateMin;
  if (rate > kRateMax) rate = kRateMax;
  if (temp < kTempMin) temp = kTempMin;
  if (temp > mat.MatTmax) temp = mat.MatTmax;

  const double e = kSqrt3 * strain;
  const double r = kSqrt3 * rate;
  const double T = temp;
  switch (mat.MatLaw) {
    case 1: {
      const auto& A = mat.MatA;
      sigma = A(1) * std::exp(-A(2) * T) * mat.MatC0 * (A(3) * std::pow(e, A(4))) *
              (std::pow(r, A(6)) * A(5));
      break;
    }
    case 2: {
      const double a = mat.LawTable(1), b = mat.LawTable(2), c = mat.LawTable(3);
      sigma = mat.MatC0 * std::exp(a * T) * std::pow(strain, b) * std::pow(rate, c);
      if (sigma < 0.1) sigma = 0.1;
      break;
    }
    case 8:
      sigma = std::exp(-0.008264279924333096 * T) * static_cast<double>(405.85f) *
              std::pow(e, -static_cast<double>(0.02818f)) *
              std::exp(-static_cast<double>(0.0114059f) / e) *
              std::pow(1.0 + e, static_cast<double>(0.00521939f) * T) *
              std::exp(-static_cast<double>(0.69316f) * e) *
              std::pow(r, -static_cast<double>(0.020492f)) *
              std::pow(r, static_cast<double>(0.0001636f) * T) *
              std::pow(T, static_cast<double>(0.192958f));
      break;
    default:
      eta = 1.0 / 3.0;
      return;
  }
  eta = sigma / rate;
}

double FlowViscosity(double rate, double strain, double temp, const Material& mat, double& sigma) {
  const double actual = std::max(rate, kRateMin);
  double eta = 0.0;
  FlowStress(rate, strain, temp, mat, sigma, eta);
  switch (mat.MatLaw) {
    case 1:
    case 2:
    case 8: return sigma / (3.0 * actual);
    default: return eta / 3.0;
  }
}

void ApplyLawFractureTable(Material& mat) {
  if (mat.MatLaw != 8) return;
  for (int i = 1; i <= 4; ++i) mat.FracTable(i) = kLaw8Frac[i - 1];
}
