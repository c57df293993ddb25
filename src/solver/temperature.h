#pragma once
// Steady temperature of the thermal mesh (problem code 3).
//
// The heat balance of the moving material, divided by rho c and written in
// millimetres,
//   v . grad T = div(a grad T) + S,   a = lambda(T) / (rho(T) c(T)) x 1e6 mm^2/s,
// with the heat of plastic deformation S = beta sigma_bar epsdot / (rho c)
// x 1e6 K/s (sigma_bar epsdot in MPa/s) evaluated at the element points from
// the velocities, strains and temperatures of the thermal mesh itself,
// with, on the tool faces, the exchange flux H (T - T_amb) out of the body,
// H = 1000 h / (rho c) mm/s, and the frictional heat entering the body; the
// plane of largest z is held at its current temperature.  Properties are
// taken at the current temperatures (one linearised step per call).
//
// Galerkin element integrals carry the signed Jacobian determinant: on the
// generated thermal meshes (left-handed wedges, det J < 0) the conduction
// and advection blocks come out negative, and the exchange is subtracted
// from the element matrix and its sources from the right-hand side, which
// is the same equation with its sign reversed.  The exchange follows the
// orientation of each element, so a right-handed mesh gives the same field.

#include "core/records.h"
#include "fem/elements.h"
#include "solver/front_plan.h"

// Temperature-dependent material laws (T in deg C).
// Specific heat, J/(kg K): PairX(1) + PairY(1) T below MatTmax,
// PairX(1) + 4 |T - MatTmax| from MatTmax upwards.
double SpecificHeat(const Material& mat, double T);
// Density, kg/m^3: PairX(2) + PairY(2) T.
double Density(const Material& mat, double T);
// Conductivity, W/(m K): PairX(3) + PairY(3) T.
double Conductivity(const Material& mat, double T);

// Share of the plastic work released as heat.  The rest is stored in the
// dislocation structure; at hot-working temperatures dynamic recovery keeps
// the stored part to a few per cent of the work.
inline constexpr double kPlasticHeatShare = 0.95;

// Plastic dissipation per volume, MPa/s (= MW/m^3): sigma_bar epsdot with
// sigma_bar = 3 mu epsdot the von Mises stress of the flow law's deviatoric
// stress 2 mu D, mu = FlowViscosity(rate, strain, temp) (so below the law's
// smallest rate the stress falls with the rate, and the dissipation is
// 3 mu epsdot^2 throughout).  rate = equivalent strain rate, 1/s.
double PlasticDissipation(double rate, double strain, double temp, const Material& mat);

// Frictional heat generated on a tool face, W/m^2: wall shear stress times
// sliding speed, with the wall shear stress of the friction law
//   tau = (FricB + FricA (1 - exp(-1.25 p_c / (1.73 sigma_s)))) m sigma_s / sqrt(3) x u / s,
// p_c the contact pressure, sigma_s the flow stress (MPa), m the friction
// factor, u the sliding speed and s the regularised sliding speed (mm/s):
// q = 1000 tau u (MPa mm/s to W/m^2).  0 without flow stress or speed.
double FrictionHeatFlux(const ModelParams& model, double sigmaS, double m, double pc, double u,
                        double s);

// Solves the steady temperature of the thermal mesh `nodes` and stores it
// as the nodal temperature; ConvT = the largest absolute change (deg C).
// Sets nUnknownsT of inp_dat and returns the plan of the frontal solve
// (empty with the sparse solver).  Stops when the heat capacity rho c is not
// positive or the conductivity is negative at a temperature met in the solve.
FrontPlanStats SolveTemperature(MeshRecord& nodes, const ElementTables& tab, InpDat& inp_dat);

// Heat flows of the steady temperature problem at the current fields of
// the thermal mesh, W.  Exchange and frictional heat are taken in the form
// in which the solve's equations carry them (at the exchanging face nodes,
// not on the held top plane).
struct ThermalHeat {
  double source = 0;             // plastic heat: integral of beta sigma_bar epsdot
  double frictionGenerated = 0;  // frictional heat generated on the tool faces
  double frictionIn = 0;         // the part of it that enters the material (the rest the tools take)
  double toTools = 0;            // exchange with the tools, integral of h (T - ToolTemp)
  double toAir = 0;              // exchange with the surroundings on free faces
  double topConduction = 0;      // heat conducted into the material through the held top plane
};
void ThermalHeatFlows(const MeshRecord& nodes, const ElementTables& tab, const VariantSetup& setup,
                      const ModelParams& model, ThermalHeat& out);
