#pragma once
// Flow stress law of the material: sigma_s(strain rate, strain, temperature)
// and the viscosity eta = sigma_s / strain rate it implies.

#include "core/records.h"

// Limits of the law's arguments.
inline constexpr double kStrainMin = 0.01, kStrainMax = 5.0;
inline constexpr double kRateMin = 0.05, kRateMax = 10.0;  // 1/s
inline constexpr double kTempMin = 20.0;                   // deg C; the upper limit is MatTmax

// Fracture coefficients D1..D4 that belong to law 8.
inline constexpr double kLaw8Frac[4] = {0.015309671871364117, 0.12875063717365265,
                                        0.015755293890833855, -0.2353912591934204};

// Evaluates the flow stress sigma (MPa) and eta = sigma / rate (MPa s).
// The three arguments are first limited in place: strain to [0.01, 5],
// rate to [0.05, 10] 1/s, temperature to at least 20 and then at most
// MatTmax (so MatTmax below 20 wins).  Laws by mat.MatLaw, with
// e = sqrt(3) strain and r = sqrt(3) rate:
//   1: MatA(1) exp(-MatA(2) T) MatC0 (MatA(3) e^MatA(4)) (r^MatA(6) MatA(5));
//   2: MatC0 exp(a T) strain^b rate^c with (a, b, c) = LawTable(1..3),
//      at least 0.1 MPa;
//   8: a fixed aluminium-alloy law in e, r and T;
//   any other code: sigma is left as the caller had it and eta = 1/3.
void FlowStress(double& rate, double& strain, double& temp, const Material& mat, double& sigma,
                double& eta);

// Shear viscosity mu of the deviatoric stress sigma' = 2 mu D at the
// equivalent strain rate `rate`: mu = sigma_s / (3 max(rate, 0.05)), so
// that the von Mises stress of sigma' is the flow stress (a uniaxial
// extension at rate r gives sigma_zz - sigma_xx = sigma_s).  The law itself
// is evaluated at its limited arguments; the division uses the actual rate
// (bounded below by 0.05 only), so above the law's upper rate limit the
// stress stays at the flow stress of that limit instead of growing with the
// rate.  An unknown law code gives mu = (1/3) / 3.  sigma receives the flow
// stress (left as the caller had it for an unknown law).
double FlowViscosity(double rate, double strain, double temp, const Material& mat, double& sigma);

// A material evaluated with law 8 carries that law's fracture coefficients:
// sets FracTable(1..4) to kLaw8Frac when MatLaw is 8, else leaves it alone.
void ApplyLawFractureTable(Material& mat);
