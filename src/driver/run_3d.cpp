#include "driver/run_3d.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "core/console.h"
#include "solver/field_solve.h"
#include "solver/flow_force.h"
#include "solver/flow_relaxation.h"
#include "solver/flow_solve.h"
#include "solver/rheology.h"
#include "thermal/perenos.h"

namespace {

// Friction-law constants: the single-precision 0.05 and its complement.
constexpr double kFricB = 0.05f;
constexpr double kFricA = 1.0 - kFricB;

// Velocity change below which the flow solves take the Newton tangent of
// the friction drag, for the rest of the run.  Where the speed
// regularisation amplifies the friction (the fastest surfaces, the bearing),
// the drag grows like |v|^4; lagging it gives the update of the sliding
// speed a slope of about -3 and the bearing's sliding speed alternates
// without end (a 40 x 4 strip: 10 to 20 % of its speed).  Elsewhere the
// drag does not change with the speed and the lagged update creeps (slope
// near +0.7 on the example's die face).  Far from the
// solution, while the flow pattern and the dead zones form, the tangent
// overshoots, so it waits for the change to fall below half the speed, and
// from then on every step is cut to that change.
constexpr double kTangentBelow = 0.5;

// Lagged, a viscosity ~ rate^(m-1) (rate sensitivity m = 0.12 for
// aluminium) gives the update a slope of 1 - m = 0.88 and the iteration
// creeps (a strip 50 x 5 at level 2: 38 iterations); with its tangent the
// slope is 0.  Band of the ratio of successive velocity changes in which
// the iteration creeps so; two such steps in a row,
// once the drag's tangent is on, switch the viscosity's tangent on.  Taken
// at once with the drag's, it made a U-channel's steps grow to 20 times the
// speed; where the changes still fall quickly it is not needed.
constexpr double kCreepLow = 0.85, kCreepHigh = 1.05;
// Share of the viscosity's tangent: the stiffness along the current strain
// rate falls to 1 + s (m - 1) of the lagged one, 0.34 instead of the full
// tangent's 0.12.  The full tangent leaves the free profile's nearly rigid
// swing almost unresisted, and its first step overshot (a strip 50 x 5:
// change 9 after 0.15); three quarters of it still cut the creep's slope
// from 0.88 to 1 - m / (1 + s (m - 1)) = 0.65.
constexpr double kViscTangentShare = 0.75;

// Wall-clock stopwatch adding the elapsed seconds to a record member.
class PhaseTimer {
 public:
  explicit PhaseTimer(double& sum) : sum_(sum), t0_(std::chrono::steady_clock::now()) {}
  ~PhaseTimer() { sum_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0_).count(); }
  PhaseTimer(const PhaseTimer&) = delete;
  PhaseTimer& operator=(const PhaseTimer&) = delete;

 private:
  double& sum_;
  std::chrono::steady_clock::time_point t0_;
};

// A number after a report text: directly after a text that ends in a blank
// or '=', else after one blank.
TextLine& Value(TextLine& line, const char* text, double value) {
  const std::string_view t(text);
  if (!t.empty() && t.back() != ' ' && t.back() != '=') line << " ";
  return line << value;
}

// One report item: on the console with the variant suffix, in the log without.
void ReportPair(std::FILE* log, int iVar, const char* text, double value) {
  TextLine console(text);
  Value(console, text, value) << " iVar=" << iVar;
  Console(console);
  TextLine entry(text);
  LogLine(log, Value(entry, text, value));
}

void ReportLog(std::FILE* log, const char* text, double value) {
  TextLine entry(text);
  LogLine(log, Value(entry, text, value));
}

void Report(std::FILE* log, int iVar, const InpDat& d) {
  Console(TextLine("Iteration ") << static_cast<int32_t>(d.iter.i_iterat) << " iVar=" << iVar);
  LogLine(log, TextLine("Iteration ") << static_cast<int32_t>(d.iter.i_iterat));
  ReportPair(log, iVar, "Convergence: pressure ", d.iter.ConvP);
  ReportPair(log, iVar, "Convergence: velosity ", d.iter.ConvV);
  ReportPair(log, iVar, "Convergence: viscosity ", d.iter.ConvVisc);
  ReportPair(log, iVar, "Convergence: temperature ", d.iter.ConvT);
  ReportPair(log, iVar, "Maximum viscosity=", d.iter.ViscMax);
  ReportPair(log, iVar, "Minimum viscosity=", d.iter.ViscMin);
  // The speed ratio carries its suffix without a blank of its own; the
  // number field is closed by one.
  const double ratio = d.iter.VProfFEM / d.model.VProfAnalit;
  Console(TextLine("VProfFEM/VProfAnalit") << " " << ratio << " iVar=" << iVar);
  LogLine(log, TextLine("VProfFEM/VProfAnalit") << " " << ratio);
  ReportPair(log, iVar, "FORSE, N = ", d.results.FORSE);
  ReportPair(log, iVar, "Psr, MPa = ", d.results.Psr);
  ReportPair(log, iVar, "Tsr, MPa = ", d.iter.Tsr);
  ReportLog(log, "E0_min, s-1", d.iter.E0_min);
  ReportLog(log, "E0_max, s-1", d.iter.E0_max);
  ReportLog(log, "E0_av_min, s-1", d.iter.E0_av_min);
  ReportLog(log, "E0_av_max, s-1", d.iter.E0_av_max);
  ReportLog(log, "Krit_dV_MAX ", d.iter.Krit_dV_MAX);
  ReportLog(log, "Krit_dV_SR ", d.iter.Krit_dV_SR);
}

// Largest nodal speed of the mesh, -1e10 without nodes.
double LargestSpeed(const MeshRecord& m) {
  double vmax = -1e10;
  for (int i = 1; i <= m.g.nh; ++i) {
    const double vx = m.fld(kFldVx, i), vy = m.fld(kFldVy, i), vz = m.fld(kFldVz, i);
    vmax = std::max(vmax, std::sqrt(vx * vx + vy * vy + vz * vz));
  }
  return vmax;
}

// Whether the iteration's own measures, the temperature and velocity
// changes, are within their limits.
bool MeasuresMet(const InpDat& d) { return d.iter.ConvT <= kConvTemperature && d.iter.ConvV <= kConvVelocity; }

}  // namespace

bool NextCoupledIteration(InpDat& d, bool& goOn, bool plainHolds) {
  ++d.iter.i_iterat;
  if (d.iter.i_iterat > d.setup.MaxIter) return false;
  if (MeasuresMet(d) && plainHolds) goOn = false;
  return goOn;
}

bool PlainUpdateHolds(const ElementTables& tab, const MeshRecord& nodes, const InpDat& d, std::FILE* log) {
  MeshRecord copy = nodes;
  InpDat once = d;
  once.iter.FricTangent = once.iter.ViscTangent = 0.0;
  ForceEval(copy, tab, once);
  const double force = once.results.FORSE;
  Sol_Def(copy, tab, SolveMode::Flow, once);
  ForceEval(copy, tab, once);
  const double change = force != 0.0 ? std::fabs(once.results.FORSE - force) / std::fabs(force) : 0.0;
  LogLine(log, TextLine("Check of the plain update: velocity change ") << once.iter.ConvV << ", ram force change, % "
                                                                      << 100.0 * change);
  return once.iter.ConvV <= kConvVelocity && change < kPlainForceChange;
}

void Run_3d(int iVar, MeshRecord& nodes, MeshRecord& nodes_t, InpDat& d, const ElementTables& tab,
            std::FILE* log) {
  Console(TextLine("    Run_3d>>Run 3d start, iVar=") << iVar);
  d.iter.ConvV = d.iter.ConvP = d.iter.ConvT = d.iter.ConvVisc = 1.0;
  d.model.FricA = kFricA;
  d.model.FricB = kFricB;
  for (BndNode& b : nodes.bnd) {
    b.penalty = static_cast<float>(d.model.PenaltyInit);
    b.regFactor = 0.0f;
  }
  d.iter.i_iterat = 1;
  d.iter.FricTangent = d.iter.ViscTangent = 0.0;
  bool goOn = true, plainHolds = true;
  FlowRelaxation relax;
  relax.plainBelow = kConvVelocity;
  int creep = 0;  // successive steps whose velocity change fell by less than the creep band's lower end

  do {
    {
      PhaseTimer t(d.times.TimeRheo);
      LogLine(log, TextLine("    Run_3d>>REOLOG_aver, start, iVar=") << iVar);
      REOLOG_aver(nodes, d);
      LogLine(log, TextLine("    Run_3d>>REOLOG_aver, ok, inp_dat%Tsr=") << d.iter.Tsr);
    }
    {
      PhaseTimer t(d.times.TimeFlow);
      ForceEval(nodes, tab, d);
      if (d.iter.i_iterat > 1 && d.iter.ConvV <= kTangentBelow) {
        d.iter.FricTangent = 1.0;
        relax.cap = kTangentBelow;
        relax.extrapolate = true;
      }
      if (d.iter.FricTangent > 0.0 && creep >= 2) d.iter.ViscTangent = kViscTangentShare;
      LogLine(log, TextLine("    Run_3d>>Sol_Def, mechanical, start, iVar=") << iVar);
      KeepFlowState(nodes, relax);
      const double lastConvV = d.iter.ConvV;
      Sol_Def(nodes, tab, SolveMode::Flow, d);
      const double ratio = d.iter.ConvV / lastConvV;
      creep = d.iter.FricTangent > 0.0 && ratio >= kCreepLow && ratio <= kCreepHigh ? creep + 1 : 0;
      LogLine(log, TextLine("    Run_3d>>Sol_Def, ok, i_iterat=") << static_cast<int32_t>(d.iter.i_iterat) << ", iVar="
                                                                  << iVar);
      if (RelaxFlowUpdate(d.iter.ConvV, relax, nodes) != 1.0) FlowStresses(tab, nodes, d);
      ExitSpeedCheck(nodes, d);
      SurfaceSpeedReg(d.iter.FricTangent == 0.0, nodes);
      d.iter.VProfFEM = LargestSpeed(nodes);
    }
    {
      PhaseTimer t(d.times.TimeTransfer);
      LogLine(log, TextLine("    Run_3d>>Perenos_3d, start, nodes->nodes_t, iVar=") << iVar);
      Perenos_3d(nodes, nodes_t, d.iter.i_iterat == 1 ? 2 : 1);
      LogLine(log, TextLine("    Run_3d>>Perenos_3d, ok, iVar=") << iVar);
    }
    {
      PhaseTimer t(d.times.TimeTemp);
      LogLine(log, TextLine("    Run_3d>>Sol_Def, start, 3d temperature, iVar=") << iVar);
      Sol_Def(nodes_t, tab, SolveMode::Temperature, d);
      LogLine(log, TextLine("    Run_3d>>Sol_Def, ok, iVar=") << iVar);
    }
    LogLine(log, TextLine("    Run_3d>>Perenos_3d, start, nodes_t->nodes, iVar=") << iVar);
    {
      PhaseTimer t(d.times.TimeTransfer);
      Perenos_3d(nodes_t, nodes, 3);
    }
    {
      PhaseTimer t(d.times.TimeRheo);
      RheologyUpdate(tab, nodes, d);
    }
    LogLine(log, TextLine("    Run_3d>>Perenos_3d, ok, iVar=") << iVar);
    d.iter.Stage = 200;
    Report(log, iVar, d);
    if (relax.active || relax.omega != 1.0) LogLine(log, TextLine("Relaxation of the flow update ") << relax.omega);
    if (d.iter.FricTangent > 0.0) LogLine(log, TextLine("Tangent of the friction drag ") << d.iter.FricTangent);
    if (d.iter.ViscTangent > 0.0) LogLine(log, TextLine("Tangent of the viscosity ") << d.iter.ViscTangent);
    // A run ends only on a solution of the plain update; the check costs one
    // flow solve and is made only where the iteration's own measures are met.
    plainHolds = true;
    if (MeasuresMet(d) && d.iter.i_iterat < d.setup.MaxIter) {
      PhaseTimer t(d.times.TimeFlow);
      plainHolds = PlainUpdateHolds(tab, nodes, d, log);
    }
  } while (NextCoupledIteration(d, goOn, plainHolds));

  // Flow solves after the run are the plain lagged update.
  d.iter.FricTangent = d.iter.ViscTangent = 0.0;
  if (SolveEndedOk(d))
    Console(TextLine("  solve, ok, iVar=") << iVar);
  else
    Console(TextLine("  limit of iterations, iVar=") << iVar);
  {
    PhaseTimer t(d.times.TimeFlow);
    ForceEval(nodes, tab, d);
  }
  d.iter.Stage = 1000;
}
