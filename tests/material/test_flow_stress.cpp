// Flow stress law: argument limits applied in place, the three laws and the
// unknown-law case.

#include <gtest/gtest.h>

#include <cmath>

#include "material/flow_stress.h"

namespace {

Material Law(int code) {
  Material m;
  m.MatLaw = code;
  m.MatTmax = 1200.0;
  return m;
}

struct Eval {
  double rate, strain, temp, sigma, eta;
};

Eval Evaluate(const Material& m, double rate, double strain, double temp, double sigma0 = -1.0) {
  Eval e{rate, strain, temp, sigma0, -1.0};
  FlowStress(e.rate, e.strain, e.temp, m, e.sigma, e.eta);
  return e;
}

TEST(FlowStress, ArgumentsAreLimitedInPlace) {
  const Material m = Law(2);
  Eval e = Evaluate(m, 0.0, 0.0, 0.0);
  EXPECT_EQ(e.rate, 0.05);
  EXPECT_EQ(e.strain, 0.01);
  EXPECT_EQ(e.temp, 20.0);
  e = Evaluate(m, 25.0, 9.0, 1500.0);
  EXPECT_EQ(e.rate, 10.0);
  EXPECT_EQ(e.strain, 5.0);
  EXPECT_EQ(e.temp, 1200.0);
  e = Evaluate(m, 1.5, 0.7, 480.0);  // inside the limits: untouched
  EXPECT_EQ(e.rate, 1.5);
  EXPECT_EQ(e.strain, 0.7);
  EXPECT_EQ(e.temp, 480.0);
}

TEST(FlowStress, UpperTemperatureLimitIsAppliedAfterTheLowerOne) {
  Material m = Law(2);
  m.MatTmax = 15.0;
  EXPECT_EQ(Evaluate(m, 1, 1, 5.0).temp, 15.0);
  EXPECT_EQ(Evaluate(m, 1, 1, 300.0).temp, 15.0);
  m.MatTmax = 500.0;
  EXPECT_EQ(Evaluate(m, 1, 1, 700.0).temp, 500.0);
}

TEST(FlowStress, Law2ValueAndFloor) {
  Material m = Law(2);
  m.MatC0 = 150.0;
  m.LawTable(1) = -0.004;  // a, 1/deg C
  m.LawTable(2) = 0.1;     // b
  m.LawTable(3) = 0.12;    // c
  Eval e = Evaluate(m, 2.0, 0.5, 400.0);
  const double expect = 150.0 * std::exp(-1.6) * std::pow(0.5, 0.1) * std::pow(2.0, 0.12);
  EXPECT_NEAR(e.sigma, expect, 1e-12 * expect);
  EXPECT_NEAR(e.eta, expect / 2.0, 1e-12 * expect);
  // A tiny constant drives the law below the floor of 0.1 MPa.
  m.MatC0 = 1e-6;
  e = Evaluate(m, 0.0, 0.0, 1000.0);
  EXPECT_EQ(e.sigma, 0.1);
  EXPECT_EQ(e.eta, 0.1 / 0.05);  // eta uses the limited rate
}

// Law 8, written here in logarithmic form from its coefficients.
double Law8Reference(double rate, double strain, double T) {
  const double e = 1.7320507764816284 * strain, r = 1.7320507764816284 * rate;
  const long double lnS = -0.008264279924333096L * T + std::log(405.8500061035156L) -
                          static_cast<long double>(0.02818f) * std::log(static_cast<long double>(e)) -
                          static_cast<long double>(0.0114059f) / e +
                          static_cast<long double>(0.00521939f) * T * std::log1p(static_cast<long double>(e)) -
                          static_cast<long double>(0.69316f) * e +
                          (static_cast<long double>(0.0001636f) * T - static_cast<long double>(0.020492f)) *
                              std::log(static_cast<long double>(r)) +
                          0.19295799732208252L * std::log(static_cast<long double>(T));
  return static_cast<double>(std::exp(lnS));
}

TEST(FlowStress, Law8AtSeveralPoints) {
  const Material m = Law(8);
  const double pts[][3] = {{1.0, 0.5, 450.0}, {0.2, 0.05, 380.0}, {8.0, 2.0, 520.0}, {0.05, 0.01, 20.0}};
  for (const auto& p : pts) {
    const Eval e = Evaluate(m, p[0], p[1], p[2]);
    const double ref = Law8Reference(p[0], p[1], p[2]);
    EXPECT_NEAR(e.sigma, ref, 1e-12 * ref) << p[0] << " " << p[1] << " " << p[2];
    EXPECT_NEAR(e.eta, ref / p[0], 1e-12 * ref / p[0]);
  }
  // A hot-working magnitude: tens of MPa at 450 deg C, 1/s, strain 0.5.
  const double s = Evaluate(m, 1.0, 0.5, 450.0).sigma;
  EXPECT_GT(s, 20.0);
  EXPECT_LT(s, 200.0);
  // Softer when hotter, harder when faster.
  EXPECT_LT(Evaluate(m, 1.0, 0.5, 500.0).sigma, s);
  EXPECT_GT(Evaluate(m, 5.0, 0.5, 450.0).sigma, s);
  // Out-of-range arguments are evaluated at their limits.
  EXPECT_EQ(Evaluate(m, 0.0, 0.0, -40.0).sigma, Evaluate(m, 0.05, 0.01, 20.0).sigma);
}

TEST(FlowStress, Law1UsesItsSixCoefficients) {
  Material m = Law(1);
  m.MatC0 = 2.0;
  m.MatA(1) = 3.0;
  m.MatA(2) = 0.002;
  m.MatA(3) = 1.5;
  m.MatA(4) = 0.2;
  m.MatA(5) = 0.8;
  m.MatA(6) = 0.1;
  const Eval e = Evaluate(m, 2.0, 0.3, 400.0);
  const double s3 = 1.7320507764816284;
  const double expect = 3.0 * std::exp(-0.8) * 2.0 * 1.5 * std::pow(s3 * 0.3, 0.2) * std::pow(s3 * 2.0, 0.1) * 0.8;
  EXPECT_NEAR(e.sigma, expect, 1e-12 * expect);
  EXPECT_NEAR(e.eta, expect / 2.0, 1e-12 * expect);
}

TEST(FlowStress, UnknownLawKeepsSigmaAndGivesAConstantViscosity) {
  const Material m = Law(5);
  const Eval e = Evaluate(m, 0.0, 9.0, 2000.0, 33.0);
  EXPECT_EQ(e.sigma, 33.0);
  EXPECT_EQ(e.eta, 1.0 / 3.0);
  EXPECT_EQ(e.rate, 0.05);  // the limits still apply
  EXPECT_EQ(e.strain, 5.0);
  EXPECT_EQ(e.temp, 1200.0);
}

TEST(FlowStress, Law8CarriesItsFractureCoefficients) {
  Material m = Law(8);
  ApplyLawFractureTable(m);
  EXPECT_EQ(m.FracTable(1), 0.015309671871364117);
  EXPECT_EQ(m.FracTable(2), 0.12875063717365265);
  EXPECT_EQ(m.FracTable(3), 0.015755293890833855);
  EXPECT_EQ(m.FracTable(4), -0.2353912591934204);
  EXPECT_EQ(m.FracTable(5), 0.0);
  Material other = Law(2);
  other.FracTable(1) = 0.5;
  ApplyLawFractureTable(other);
  EXPECT_EQ(other.FracTable(1), 0.5);
  EXPECT_EQ(other.FracTable(2), 0.0);
}

}  // namespace
