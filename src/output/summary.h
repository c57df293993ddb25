#pragma once
// Final results of the variants in a form an engineer reads without the
// logs: the "Results" block at the end of a variant's log, the run summary
// "kalmora_summary.csv" (one row per variant) and the same table on the
// console.

#include <cstdio>
#include <string>
#include <vector>

#include "core/records.h"

// File name of the run summary in the working directory.
inline constexpr const char* kSummaryFile = "kalmora_summary.csv";

// Header line of the run summary.
inline constexpr const char* kSummaryHeader =
    "variant,ram_speed_mm_s,billet_temp_C,extra_length_mm,outline_file,iterations,converged,ram_force_kN,"
    "ram_pressure_MPa,flow_stress_MPa,temp_max_C,temp_min_C,exit_temp_C,vprof_ratio,krit_dv_max_mm_s,dV,"
    "shift_1,twist_1,exit_speed_mean_mm_s,exit_speed_spread_pct,billet_temp_pressed_C"
    // energy balance
    ",ram_power_kW,plastic_heat_kW,friction_heat_kW,energy_imbalance_pct";
inline constexpr int kSummaryColumns = 25;

// Final values of one solved variant.
struct VariantResult {
  int variant = 0;            // variant number, 1-based
  double ramSpeed = 0;        // ram speed, mm/s
  double billetTemp = 0;      // initial billet temperature, deg C
  double extraLength = 0;     // axial length of the extra zone, mm
  std::string outlineFile;    // outline file of the profile
  int iterations = 0;         // coupled iterations done
  int converged = 0;          // 1 when the iteration ended with "solve, ok", else 0
  double ramForce = 0;        // ram force, kN, compressive positive
  double ramPressure = 0;     // mean pressure on the ram face, MPa, compressive positive
  double flowStress = 0;      // mean flow stress Tsr, MPa
  double tempMax = 0;         // largest nodal temperature of the flow mesh, deg C
  double tempMin = 0;         // lowest nodal temperature of the flow mesh, deg C
  double tempExit = 0;        // mean temperature of the exit-plane nodes, deg C
  double vprofRatio = 0;      // VProfFEM / VProfAnalit
  double kritDvMax = 0;       // largest exit-speed deviation, mm/s
  double dV = 0;              // relative volume deviation of the flow mesh
  double shift1 = 0;          // shift of profile piece 1, mm per m of free profile
  double twist1 = 0;          // twist rate of profile piece 1, deg per m
  double exitSpeedMean = 0;   // mean axial speed of the exit-plane nodes of all profile pieces, mm/s
  double exitSpeedSpread = 0; // (highest - lowest) / mean of the same axial speeds, %
  double tempPressed = 0;     // mean billet temperature after the cooling before pressing, deg C
  // Energy balance (EnergyBalance of the variant record).
  double ramPower = 0;        // ram force times ram speed, kW
  double plasticHeat = 0;     // plastic dissipation in the material, kW
  double frictionHeat = 0;    // friction dissipation on the tool faces, kW
  double energyImbalance = 0; // ram power not found as heat, per cent of the ram power
};

// The real-valued cells of a summary row: member and column (0-based), in
// column order.  The other cells are the integers variant, iterations and
// converged and the text outline_file.  The reader, the round trip and the
// rows sent between the ranks of an MPI run all walk this one list.
struct SummaryReal {
  double VariantResult::*member;  // the member of the row
  int column;                     // its column, 0-based
};
inline constexpr SummaryReal kSummaryReals[] = {
    {&VariantResult::ramSpeed, 1},         {&VariantResult::billetTemp, 2},     {&VariantResult::extraLength, 3},
    {&VariantResult::ramForce, 7},         {&VariantResult::ramPressure, 8},    {&VariantResult::flowStress, 9},
    {&VariantResult::tempMax, 10},         {&VariantResult::tempMin, 11},       {&VariantResult::tempExit, 12},
    {&VariantResult::vprofRatio, 13},      {&VariantResult::kritDvMax, 14},     {&VariantResult::dV, 15},
    {&VariantResult::shift1, 16},          {&VariantResult::twist1, 17},        {&VariantResult::exitSpeedMean, 18},
    {&VariantResult::exitSpeedSpread, 19}, {&VariantResult::tempPressed, 20},    {&VariantResult::ramPower, 21},
    {&VariantResult::plasticHeat, 22},     {&VariantResult::frictionHeat, 23},  {&VariantResult::energyImbalance, 24}};
static_assert(sizeof(kSummaryReals) / sizeof(kSummaryReals[0]) + 4 == kSummaryColumns,
              "every summary column is a real of kSummaryReals or one of the four other cells");

// Mean temperature of the nodes on the lowest end plane of the flow mesh
// (z within 0.01 mm of the smallest z); 0 without nodes.  Taken before the
// distortion estimate moves the exit nodes.
double ExitPlaneTemperature(const MeshRecord& nodes);

// Area-weighted mean of the temperature Tnew over the 6-node triangles of
// the section `s`, deg C (exact for a temperature quadratic in each
// triangle: area times the mean of the three mid-side values); NaN without
// elements or temperatures.
double SectionMeanTemperature(const Mesh2d& s);

// Number of profile pieces whose shift and twist are stored in IntRes:
// 1 in the standard layout, min(nPiecesB - 1, 4) in the multi-outline one.
int PiecesWithDistortion(const SectionSet& sections);

// The final values of a variant after its solve and distortion estimate.
// The force and pressure of the final force evaluation are turned to
// compressive positive; the ram force from N to kN.
VariantResult CollectResult(int iVar, const InpDat& inp_dat, const MeshRecord& nodes);

// One line, on the console and in the log, when the largest temperature of
// the variant's meshes exceeds MatTmax, where the flow stress law is held at
// its MatTmax value and the material is near melting; nothing otherwise.
void WarnAboveLawLimit(std::FILE* log, int iVar, const VariantSetup& setup, const MeshRecord& nodes,
                       const MeshRecord& nodes_t);

// "Results" block with units, appended to the variant's log.
void WriteResultsBlock(std::FILE* log, const InpDat& inp_dat, const VariantResult& r);

// The cells of one summary row (numbers in plain decimal or exponent form,
// NaN / Inf / -Inf for non-finite values, the file name quoted when it
// holds a comma, a quote or a line break).
std::vector<std::string> SummaryCells(const VariantResult& r);

// Writes the summary of all variants, in variant order, under a temporary
// name and renames it when complete.  Stops the run when it cannot be written.
void WriteSummary(const std::string& path, const std::vector<VariantResult>& rows);

// Removes the summary of an earlier run, so that a run that stops leaves
// no summary behind that looks complete.  Stops the run when it cannot.
void RemoveSummary(const std::string& path);

// Reads a summary back.  Returns false with a message naming the file and
// the line when the header or a row is not as written by WriteSummary.
bool ReadSummary(const std::string& path, std::vector<VariantResult>& rows, std::string& error);

// The summary as text lines in aligned columns (header first).
std::vector<std::string> SummaryTable(const std::vector<VariantResult>& rows);
