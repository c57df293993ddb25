#pragma once
// The records every subsystem works in: the run-wide state, the variant
// record `InpDat` and the mesh record of a volume mesh with its nodal fields.
// Routines take these by reference and fill them in place.
//
// Units: lengths mm, time s, stresses and flow stresses MPa, viscosity MPa s,
// force N, temperature deg C, strain rate 1/s.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/boundary_records.h"
#include "core/onebased.h"
#include "core/pivot_order.h"
#include "core/section.h"

// Width of the character members (file and variant names).
inline constexpr int kNameLen = 60;

// Nodal field values, index k of fld(k, node).
inline constexpr int kFldVx = 1;        // velocity x, mm/s
inline constexpr int kFldVy = 2;        // velocity y, mm/s
inline constexpr int kFldVz = 3;        // velocity z, mm/s
inline constexpr int kFldP = 4;         // pressure, MPa
inline constexpr int kFldT = 5;         // temperature, deg C
inline constexpr int kFldStrain = 6;    // equivalent strain
inline constexpr int kFldVisc = 7;      // effective viscosity, MPa s
inline constexpr int kFldStress = 8;    // equivalent (flow) stress, MPa
inline constexpr int kFldRate0 = 9;     // strain rate of the analytic initial field, 1/s (not written out)
inline constexpr int kFldPsi = 10;      // damage value Psi
inline constexpr int kFldEpsP = 11;     // fracture strain EpsP
inline constexpr int kNumFld = 11;

// Material description, copied as a whole by the flow stress law and the
// thermal routines.
struct Material {
  double MatC0 = 0.0;                  // constant factor of flow stress laws 1 and 2
  Fix1<double, 6> MatA{};        // law 1 coefficients (factor, m1, factor, m2, factor, m3); no input sets them
  int32_t MatLaw = 0;                  // flow stress law code: 1, 2 or 8
  Fix1<double, 3> PairX{};       // constants of specific heat J/(kg K), density kg/m3, conductivity W/(m K)
  Fix1<double, 3> PairY{};       // slopes per deg C of the same three laws
  double MatTmax = 1200.0;             // upper temperature limit of the law, deg C
  int32_t FracCount = 0;               // integer stored with the material table
  Fix1<double, 15> FracTable{};  // material table; entries 1..4 are the fracture coefficients D1..D4
  Fix1<double, 15> LawTable{};   // law 2 table; entries 1..3 are a (1/deg C), b, c
};

// Axial exit speed over a set of nodes of the exit plane (speeds positive in
// the extrusion direction, -z); without nodes every value is NaN.
struct ExitSpeed {
  int32_t nodes = 0;       // exit-plane nodes taken
  double mean = 0.0;       // mean axial speed of the nodes, mm/s
  double low = 0.0;        // lowest axial speed, mm/s
  double high = 0.0;       // highest axial speed, mm/s
  double spreadPct = 0.0;  // (high - low) / mean, %
};

// What the sparse direct solver reported for one kind of solve.
struct SparseSolveStats {
  int64_t factorEntries = 0;  // entries of the LU factors
  double analysisMiB = 0;     // working storage the analysis asked for, MiB (before the factorisation)
  double usedMiB = 0;         // working storage the factorisation used, MiB
  double inputMiB = 0;        // element matrices and vectors handed to the solver, MiB
  int32_t ordering = -1;      // fill-reducing ordering applied: 0 AMD, 2 AMF, 3 SCOTCH, 4 PORD, 5 METIS, 6 QAMD (-1: no solve)
};

// Sizes the sparse solver reported for the last solve of each kind.
struct FrontStats {
  SparseSolveStats sparseFlow;  // sparse solver's sizes of the last flow solve (sparse solver only)
  SparseSolveStats sparseTemp;  // the same for the last temperature solve
  SparseSolveStats sparseSection;  // the same for the last cross-section solve (heat step or potential)
};

// Direct solver of the linear field solves.
enum class LinearSolver : int8_t {
  Frontal = 0,  // element-by-element frontal elimination, single-precision front
  Sparse = 1,   // multifrontal sparse LU (MUMPS) in double precision with a fill-reducing ordering
};

// Energy balance of a solved variant, kW (1 kW = 1e6 N mm/s).  The work of
// the ram is dissipated in the material and on the tool faces; the heat
// leaves with the profile, into the tools and into the air.
struct EnergyBalance {
  double ramPower = 0;         // ram force times ram speed
  double plastic = 0;          // plastic dissipation of the flow field, integral of sigma_bar epsdot
  double friction = 0;         // friction dissipation of the drag on the tool faces
  double plasticHeat = 0;      // heat source of the temperature problem, beta times the dissipation there
  double frictionHeat = 0;     // frictional heat of the temperature problem's tool faces
  double frictionToBillet = 0; // the part of frictionHeat that enters the material
  double carriedOut = 0;       // enthalpy flow through the exit plane minus that through the ram plane,
                               // less the heat conducted in through the ram plane
  double ramConduction = 0;    // heat conducted in through the ram plane (held at its temperature)
  double toTools = 0;          // exchange with the tools plus the frictional heat they take
  double toAir = 0;            // exchange with the surroundings on free faces
  double stored = 0;           // plastic work not released as heat, (1 - beta) plastic
  double imbalancePct = 0;     // 100 (ramPower - carriedOut - toTools - toAir - stored) / ramPower
};

// Input values of one variant: the run-wide values of the input file, the
// variant's values of the four variation lists and its names.  Filled by
// GenVariants (the run-wide part is RunInput::setup, copied whole) and read
// only afterwards.  Character members hold at most kNameLen characters.
struct VariantSetup {
  std::string VarName;                // "Variant_" + n
  Fix1<double, 4> ZonePar{};    // zone parameters 1..4
  double ParE = 0;                    // process parameter of the flow model
  double FaceShift = 0;               // scale of the die-face correction
  double LenA = 0;                    // axial length of the layout, mm
  double AxialLen = 0;                // axial length of the extra zone (variation list 3), mm
  double LenB = 0;                    // axial length of the thermal time offset, mm
  double PieceLen1 = 0, PieceLen2 = 0, PieceLen4 = 0, PieceLen5 = 0;  // lengths of outline slots 1, 2, 4, 5, mm
  std::string FileOutline;            // binary outline file (variation list 4)
  std::string File2d;                 // cross-section file "extrusion_var_" + n + ".f2d"
  std::string FileInf;                // log file "Variant_" + n + ".inf"
  int32_t ProfType = 0;               // process type code
  double BilletTemp = 0;              // initial billet temperature (variation list 2), deg C
  double ToolTemp = 0;                // tool temperature, deg C
  double ContactHtc = 0;              // heat-transfer coefficient of tool contact, W/(m2 K)
  Fix1<double, 3> BcFactor{};   // boundary factors by zone
  double RamSpeed = 0;                // ram speed (variation list 1), mm/s
  Material mat;                       // material record
  int8_t MeshLevel = 0;               // cross-section mesh density level
  int8_t MeshLevel3d = 0;             // volume mesh density level
  int16_t MaxIter = 10;               // limit of coupled iterations
  int8_t Switch3d = 0;                // volume-mesh switch
  int8_t Switch4 = 0;                 // stored only; nothing reads it
};

// Cross-section set of a variant: the outlines, the cross-section meshes and
// their measures.
struct SectionSet {
  double Clearance = 0;               // gap between neighbouring outlines, mm
  Fix1<double, 4> Box2d{};      // xmin, xmax, ymin, ymax of the working section box, mm
  Fix1<double, 3> Area2d{};     // areas of cross-section meshes 1..3, mm^2
  double Diam2d = 0;                  // diameter of outline 1, mm
  int16_t nPiecesA = 0;               // number of cross-section meshes, standard layout
  int32_t nOutlines = 0;              // number of outlines in the outline file
  int16_t nPiecesB = 0;               // number of outlines of the multi-outline layout, else 0
  int32_t SplitMode = 0;              // 1, or 2 when a slot-4 outline splits the profile
  int8_t RingSym = 0;                 // 1: no ring mesh between outlines 1 and 2 (both on a symmetry axis)
  Vec1<Mesh2d> Pieces2d;              // cross-section meshes read back from File2d
  Vec1<Mesh2d> Sect2d;                // working cross-section record (one element)
  Fix1<int8_t, 5> PieceOrder{}; // meshing order of the multi-outline layout
  Vec1<Outline> Outlines;             // resampled outlines 1..5
};

// Axial layout of a variant: the levels along z of the model and its zones.
struct AxialLayout {
  double Z0 = 0, Z1 = 0, Z2 = 0, Z3 = 0;  // axial levels of the model along z, mm
  Fix1<double, 4> ZoneZ{};      // axial levels of the outline-slot zones, mm (0: slot has no length)
  double LenFeed = 0;                 // axial length of the first piece after Z1, mm
  double LayLen = 0;                  // modelled billet length, mm
};

// Parameters of the flow and heat model of a variant that the program sets
// (not read from the input file).
struct ModelParams {
  double HeatDt = 0;                  // time step of the billet cooling, s
  double FricB = 0, FricA = 0;        // friction-law constants
  double VProfAnalit = 0;             // expected profile exit speed, mm/s
  double PenaltyInit = 0;             // starting adjustment coefficient of the boundary node records
  double PScale = 0;                  // pressure scale of the flow solution
  double EdgeR1 = 0;                  // radius of the rounded die-face edge at Z1, mm (0: no rounding; no input sets it)
  double EdgeR2 = 0;                  // radius of the rounded edge at Z2, mm (0: no rounding; no input sets it)
  double EdgeScale = 0;               // scale of the edge rounding shift along -z (no input sets it)
  double PotSource = 0;               // source coefficient c of the cross-section potential, -lap(p) = c (no input sets it: Laplace)
};

// Options of the linear solves of a variant (run control).
struct SolveOptions {
  int64_t MemBudget = 0;              // storage budget of the linear solver, units
  int SolveThreads = 1;               // threads one linear solve of this variant may use (run control: idle cores per running variant, at least 1)
  LinearSolver Solver = LinearSolver::Frontal;  // direct solver of every field solve of this variant (run control: --solver)
  double SolveMiB = 0;                // memory planned for the variant's larger linear solve, MiB (run control, before the solve)
};

// State and measures of the coupled iteration of a variant.
struct IterationState {
  int32_t Stage = 0;                  // progress: 0 generated, 90 section done, 200 per iteration, 1000 solved
  double VProfFEM = 0;                // largest nodal speed after the last flow solve, mm/s
  int16_t i_iterat = 0;               // coupled-iteration counter
  double FricTangent = 0;             // share of the drag's Newton tangent in the flow solve (0 lagged drag, 1 full)
  double ViscTangent = 0;             // share of the viscosity's Newton tangent in the flow solve (0 lagged viscosity, 1 full)
  double Tsr = 0;                     // mean flow stress, MPa
  double ViscMax = 0, ViscMin = 0;    // largest and smallest effective viscosity, MPa s
  double E0_min = 0, E0_max = 0, E0_av_min = 0, E0_av_max = 0;  // strain-rate extremes, 1/s
  int32_t DOF = 0;                    // unknowns of the flow problem, 3 nh + np
  double ConvV = 0, ConvP = 0, ConvT = 0, ConvVisc = 0;  // convergence measures
  double Krit_dV_SR = 0, Krit_dV_MAX = 0;  // mean and largest exit-speed deviation
  double TempSum = 0, TempMax = 0, TempMin = 0;  // sum, largest, smallest nodal temperature, deg C
  int32_t nUnknownsT = 0;             // unknowns of the last temperature solve (nodes of the thermal mesh)
};

// Results of a solved variant.
struct VariantResults {
  double FORSE = 0;                   // extrusion force, N
  double Psr = 0;                     // mean pressure on the pressing face, MPa
  Fix1<double, 8> IntRes{};     // results of the post-processing integration
  double dV = 0;                      // relative volume deviation of the flow mesh
  FrontStats Front;                   // sizes of the sparse solver's last solves
  double TempExit = 0;                // mean temperature of the exit-plane nodes after the coupled iteration, deg C
  Vec1<ExitSpeed> ExitPieces;         // axial exit speed per profile piece after the coupled iteration, 1..pieces
  ExitSpeed ExitAll;                  // axial exit speed over the exit nodes of all pieces together
  double TempPressed = 0;             // mean billet temperature after the cooling before pressing, deg C
  EnergyBalance Energy;               // energy balance after the coupled iteration, kW
};

// Wall times of the phases of a variant's solve, s.
struct PhaseTimes {
  double TimeFlow = 0;                // wall time of the coupled iteration in flow solves and force evaluations, s
  double TimeTemp = 0;                // wall time of the coupled iteration in temperature solves, s
  double TimeTransfer = 0;            // wall time of the coupled iteration in field transfers, s
  double TimeRheo = 0;                // wall time of the coupled iteration in the rheology steps, s
  double TimePost = 0;                // wall time of the distortion estimate and the final result file, s
};

// Variant record: every input value, derived value and result of one
// variant, by role and lifetime.
struct InpDat {
  VariantSetup setup;        // input values of the variant, read-only after GenVariants
  SectionSet sections;       // cross-section meshes and their measures (Run_gr_2d, gen_gr2d)
  AxialLayout layout;        // axial levels of the model (SetAxialLayout, Gen_gr3d)
  ModelParams model;         // parameters of the flow and heat model that the program sets
  SolveOptions solve;        // options of the linear solves (run control)
  IterationState iter;       // state and measures of the coupled iteration, renewed every iteration
  VariantResults results;    // results of the solved variant
  PhaseTimes times;          // wall times of the phases of the solve
};

// The mesh proper of a volume mesh.
struct Mesh3d {
  int32_t ne = 0;                        // number of elements
  int32_t nh = 0;                        // number of nodes
  int32_t npe = 0;                       // nodes per element (15 for the wedge)
  int32_t np = 0;                        // number of corner nodes, numbered 1..np
  int32_t nve = 0;                       // corner nodes per element (6 for the wedge)
  Vec1<int32_t> EndPlane;                // end-plane code per node, 1..nh
  Mat1<double> xyz;                      // (3, nh) node coordinates x, y, z (z the extrusion axis), mm
  Mat1<int32_t> nop;                     // (npe, ne) connectivity, 1-based node numbers; the solver negates entries temporarily
  Vec1<int32_t> etype;                   // element type: bit 0 set 15-node wedge, clear 10-node tetrahedron, 1..ne
  Vec1<int32_t> BoundaryConditions;      // node code: 64 + kind for corner nodes, kind for the others, 1..nh
};

// Element e (1..ne) of g is a 15-node wedge: bit 0 of its type code is set.
// Otherwise it is a 10-node tetrahedron, whose connectivity rows 11..15 are 0.
inline bool IsWedge(const Mesh3d& g, int e) { return (g.etype(e) & 1) != 0; }

// Kind of a node code (the code less the corner offset 64).
inline int KindOfCode(int code) { return code >= 64 ? code - 64 : code; }
// A boundary node has a code other than 0 and 64.
inline bool IsBoundaryCode(int code) { return code != 0 && code != 64; }
// A node touches the tools when its kind is 3, 4, 7, 8, 9 or 10.
inline bool TouchesTools(int code) {
  const int k = KindOfCode(code);
  return k == 3 || k == 4 || k == 7 || k == 8 || k == 9 || k == 10;
}

// Process type `t` (ProfType) has an extra zone between the die and the
// container, meshed as a third nested cross-section: types 3, 4 and 6.
inline bool HasExtraZone(int32_t t) { return t == 3 || t == 4 || t == 6; }
// Process type `t` is a multi-hole die (slot 3 the container bore, every
// other outline a hole): types 7 and 9.
inline bool IsMultiHole(int32_t t) { return t == 7 || t == 9; }

// Mesh record of a variant: the flow mesh `nodes` (kind 1) or the thermal
// mesh `nodes_t` (kind 2), with its nodal field values.
struct MeshRecord {
  int8_t kind = 0;    // 1 flow mesh, 2 thermal mesh, 0 before generation
  Mesh3d g;           // the mesh proper
  Mat1<float> fld;    // (kNumFld, nh) nodal field values, see kFld*
  Vec1<ElemData> edata;  // per-element data of the solvers (boundary face lists), 1..ne
  Vec1<BndNode> bnd;     // boundary node records in node order; g.EndPlane(i) is node i's position here
  Vec1<BndFace> faces;   // boundary face records in global face order
  SparsePivotOrder pivots;  // pivot order of the sparse solves on this mesh, kept between solves
};

// Sizes the nodal fields to the node count of m.g and sets the values a new
// mesh starts from: temperature 20 deg C, viscosity 1 MPa s, flow stress
// 1 MPa, every other field 0.
inline void DefaultNodalFields(MeshRecord& m) {
  m.fld.assign(kNumFld, m.g.nh, 0.0f);
  for (int i = 1; i <= m.g.nh; ++i) {
    m.fld(kFldT, i) = 20.0f;
    m.fld(kFldVisc, i) = 1.0f;
    m.fld(kFldStress, i) = 1.0f;
  }
}

// Run-wide input values read from the input text file; the variant
// generator copies `setup` into every variant record.
struct RunInput {
  VariantSetup setup;                   // run-wide values (names and the four variation values are left
                                        // blank; GenVariants sets them per variant)
  std::vector<double> RamSpeedList;     // variation list 1, mm/s
  std::vector<double> BilletTempList;   // variation list 2, deg C
  std::vector<double> AxialLenList;     // variation list 3, mm
  std::vector<std::string> FileOutlineList;  // variation list 4, outline file names
  std::string InputFile;                // file the values were read from, for messages ("" when set in code)
  Fix1<int32_t, 4> ListCountLine{};     // 1-based lines of the counts of the ram speed, billet temperature,
                                        // extra-zone length and outline file lists (0: not read from a file)
};

// Run-wide state: the input values and the three per-variant arrays.
struct RunState {
  RunInput input;            // run-wide input values
  int32_t nVar = 0;          // number of variants
  int32_t iVar = 0;          // variant counter of the serial phases, 1-based
  Vec1<InpDat> inp_dat;      // variant records 1..nVar
  Vec1<MeshRecord> nodes;    // flow meshes 1..nVar
  Vec1<MeshRecord> nodes_t;  // thermal meshes 1..nVar
};
