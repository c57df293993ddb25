#pragma once
// Steady temperature of the thermal mesh (problem code 3).
//
// The heat balance of the moving material, divided by rho c and written in
// millimetres,
//   v . grad T = div(a grad T),   a = lambda(T) / (rho(T) c(T)) x 1e6 mm^2/s,
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

// Temperature-dependent material laws (T in deg C).
// Specific heat, J/(kg K): PairX(1) + PairY(1) T below MatTmax,
// PairX(1) + 4 |T - MatTmax| from MatTmax upwards.
double SpecificHeat(const Material& mat, double T);
// Density, kg/m^3: PairX(2) + PairY(2) T.
double Density(const Material& mat, double T);
// Conductivity, W/(m K): PairX(3) + PairY(3) T.
double Conductivity(const Material& mat, double T);

// Frictional heat generated on a tool face, W/m^2: wall shear stress times
// sliding speed, with the wall shear stress of the friction law
//   tau = (FricB + FricA (1 - exp(-1.25 p_c / (1.73 sigma_s)))) m sigma_s / sqrt(3) x u / s,
// p_c the contact pressure, sigma_s the flow stress (MPa), m the friction
// factor, u the sliding speed and s the regularised sliding speed (mm/s):
// q = 1000 tau u (MPa mm/s to W/m^2).  0 without flow stress or speed.
double FrictionHeatFlux(const InpDat& inp, double sigmaS, double m, double pc, double u, double s);

// Solves the steady temperature of the thermal mesh `nodes` and stores it
// as the nodal temperature; ConvT = the largest absolute change (deg C).
// Sets ZMaxCorner, ZMinCorner and nUnknownsT of inp_dat.  Stops when the
// heat capacity rho c is not positive or the conductivity is negative at a
// temperature met in the solve.
void SolveTemperature(MeshRecord& nodes, const ElementTables& tab, InpDat& inp_dat);
