#pragma once
// Energy balance of a solved variant: the power of the ram against the work
// dissipated in the material and on the tool faces, and the heat the
// material carries out of the exit plane against what is generated in it
// and what the tools and the air take.

#include "core/records.h"
#include "fem/elements.h"

// Specific enthalpy of the material above 0 deg C, J/kg: the integral of
// the specific heat c(T) (solver/temperature.h) from 0 to T.
double SpecificEnthalpy(const Material& mat, double T);

// Plastic dissipation of the flow mesh, W: the integral of 3 mu epsdot^2
// (sigma_bar epsdot) over the elements at the current velocity, strain and
// temperature fields.
double PlasticPower(const MeshRecord& nodes, const ElementTables& tab, const VariantSetup& setup);

// Dissipation of the friction drag of the flow solve, W: at every point of
// the tool faces that take part in the drag, k |v - v_tool|^2 (weight x
// surface measure), k the wall traction coefficient and v the velocity
// interpolated from the drag nodes; the ram face (outward normal nz >=
// 0.999) moves with the ram along z, so only its lateral sliding counts.
double FrictionPower(const MeshRecord& nodes, const ElementTables& tab, const VariantSetup& setup,
                     const ModelParams& model, const VariantResults& results);

// Enthalpy carried by the flow, W: the mass flow through the ram plane (the
// plane of largest z) times the difference of the mass-flow-weighted mean
// specific enthalpies of the exit plane (smallest z) and the ram plane.
// Taking the mass flow at the ram, where the velocity is prescribed, keeps
// the weak volume conservation of the discrete flow at the exit out of the
// difference.  0 without those planes.
double CarriedEnthalpyPower(const MeshRecord& nodes, const ElementTables& tab,
                            const VariantSetup& setup);

// The energy balance of a variant after its coupled iteration (FORSE of
// the final force evaluation, fields of both meshes), before the distortion
// estimate moves the exit nodes.  Fills every member of out, in kW: the
// mechanical terms from the flow mesh, the heat terms from the thermal mesh
// (solver/temperature.h, ThermalHeatFlows), the carried enthalpy from the
// flow mesh less the heat conducted in through the held ram plane.
void ComputeEnergyBalance(const MeshRecord& nodes, const MeshRecord& nodes_t,
                          const ElementTables& tab, const VariantSetup& setup,
                          const ModelParams& model, const VariantResults& results,
                          EnergyBalance& out);
