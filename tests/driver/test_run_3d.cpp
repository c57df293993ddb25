// The coupled iteration against scripted field solves: the order of the
// calls, the transfer modes, the convergence test with its single-precision
// limit, the iteration-limit edge cases and the report lines.  The solver
// entry points are replaced by the scripted versions below (this program is
// linked without the physics libraries).

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "driver/run_3d.h"
#include "solver/field_solve.h"
#include "solver/flow_force.h"
#include "solver/flow_solve.h"
#include "solver/rheology.h"
#include "support/text_files.h"
#include "thermal/perenos.h"

namespace {

struct Script {
  std::vector<double> convV;  // ConvV set by the flow solve of iteration k
  std::vector<double> convT;  // ConvT set by the temperature solve of iteration k
  std::vector<std::string> calls;
  std::vector<float> penaltySeen;  // first record's coefficient at each exit-speed check
  int flowSolves = 0, tempSolves = 0;
};
Script* g_script = nullptr;

double At(const std::vector<double>& v, int k) { return v[static_cast<std::size_t>(std::min<int>(k, static_cast<int>(v.size())) - 1)]; }

}  // namespace

FrontPlanStats Sol_Def(MeshRecord& nodes, const ElementTables&, SolveMode mode, InpDat& inp) {
  if (mode == SolveMode::Flow) {
    ++g_script->flowSolves;
    inp.iter.ConvV = At(g_script->convV, g_script->flowSolves);
    inp.iter.ConvP = 0.5;
    nodes.fld(kFldVz, 1) = -3.0f;
    nodes.fld(kFldVx, 1) = 4.0f;  // largest speed 5
    g_script->calls.push_back("flow");
  } else {
    ++g_script->tempSolves;
    inp.iter.ConvT = At(g_script->convT, g_script->tempSolves);
    g_script->calls.push_back("temp");
  }
  return {};
}
void ForceEval(MeshRecord&, const ElementTables&, InpDat& inp) {
  inp.results.FORSE = 1234.5;
  inp.results.Psr = 17.0;
  g_script->calls.push_back("force");
}
void ExitSpeedCheck(MeshRecord& nodes, InpDat&) {
  g_script->penaltySeen.push_back(nodes.bnd(1).penalty);
  for (BndNode& b : nodes.bnd) b.penalty *= 1.5f;
  g_script->calls.push_back("exit");
}
void SurfaceSpeedReg(bool, MeshRecord&) { g_script->calls.push_back("reg"); }
void FlowStresses(const ElementTables&, MeshRecord&, InpDat&) { g_script->calls.push_back("stresses"); }
void Perenos_3d(const MeshRecord&, MeshRecord&, int mode) { g_script->calls.push_back("transfer" + std::to_string(mode)); }
void REOLOG_aver(const MeshRecord&, InpDat& inp) {
  inp.iter.Tsr = 31.5;
  g_script->calls.push_back("aver");
}
void RheologyUpdate(const ElementTables&, MeshRecord&, InpDat& inp) {
  inp.iter.ViscMax = 9.0;
  inp.iter.ViscMin = 0.25;
  g_script->calls.push_back("rheo");
}

namespace {

struct Outcome {
  std::vector<std::string> console;
  std::vector<std::string> log;
  InpDat inp;
  Script script;
};

Outcome RunScripted(int maxIter, std::vector<double> convV, std::vector<double> convT, int iVar = 3) {
  Outcome o;
  o.script.convV = std::move(convV);
  o.script.convT = std::move(convT);
  g_script = &o.script;
  MeshRecord nodes, nodes_t;
  nodes.g.nh = 2;
  nodes.fld.assign(kNumFld, 2, 0.0f);
  nodes.bnd.assign(3);
  for (BndNode& b : nodes.bnd) b.penalty = 7.0f;
  o.inp.setup.MaxIter = static_cast<int16_t>(maxIter);
  o.inp.model.PenaltyInit = 50.0;
  o.inp.model.VProfAnalit = 4.0;
  ElementTables tab;
  std::FILE* log = std::tmpfile();
  testing::internal::CaptureStdout();
  Run_3d(iVar, nodes, nodes_t, o.inp, tab, log);
  o.console = Lines(testing::internal::GetCapturedStdout());
  std::rewind(log);
  std::string text;
  char buf[512];
  while (std::fgets(buf, sizeof buf, log)) text += buf;
  std::fclose(log);
  o.log = Lines(text);
  g_script = nullptr;
  return o;
}

int Count(const std::vector<std::string>& lines, const std::string& prefix) {
  int n = 0;
  for (const auto& l : lines) n += l.rfind(prefix, 0) == 0;
  return n;
}

}  // namespace

TEST(Run3d, OneIterationCallsEveryStepInOrderAndWritesTheFullReport) {
  const Outcome o = RunScripted(1, {0.5}, {20.0});
  const std::vector<std::string> calls = {"aver", "force", "flow", "exit", "reg", "transfer2",
                                          "temp", "transfer3", "rheo", "force"};
  EXPECT_EQ(o.script.calls, calls);
  const std::vector<std::string> log = {
      "     Run_3d>>REOLOG_aver, start, iVar=3",
      "     Run_3d>>REOLOG_aver, ok, inp_dat%Tsr=31.5",
      "     Run_3d>>Sol_Def, mechanical, start, iVar=3",
      "     Run_3d>>Sol_Def, ok, i_iterat=1, iVar=3",
      "     Run_3d>>Perenos_3d, start, nodes->nodes_t, iVar=3",
      "     Run_3d>>Perenos_3d, ok, iVar=3",
      "     Run_3d>>Sol_Def, start, 3d temperature, iVar=3",
      "     Run_3d>>Sol_Def, ok, iVar=3",
      "     Run_3d>>Perenos_3d, start, nodes_t->nodes, iVar=3",
      "     Run_3d>>Perenos_3d, ok, iVar=3",
      " Iteration 1",
      " Convergence: pressure 0.5",
      " Convergence: velosity 0.5",
      " Convergence: viscosity 1",
      " Convergence: temperature 20",
      " Maximum viscosity=9",
      " Minimum viscosity=0.25",
      " VProfFEM/VProfAnalit 1.25",
      " FORSE, N = 1234.5",
      " Psr, MPa = 17",
      " Tsr, MPa = 31.5",
      " E0_min, s-1 0",
      " E0_max, s-1 0",
      " E0_av_min, s-1 0",
      " E0_av_max, s-1 0",
      " Krit_dV_MAX 0",
      " Krit_dV_SR 0"};
  EXPECT_EQ(o.log, log);
  const std::vector<std::string> console = {"     Run_3d>>Run 3d start, iVar=3",
                                            " Iteration 1 iVar=3",
                                            " Convergence: pressure 0.5 iVar=3",
                                            " Convergence: velosity 0.5 iVar=3",
                                            " Convergence: viscosity 1 iVar=3",
                                            " Convergence: temperature 20 iVar=3",
                                            " Maximum viscosity=9 iVar=3",
                                            " Minimum viscosity=0.25 iVar=3",
                                            " VProfFEM/VProfAnalit 1.25 iVar=3",
                                            " FORSE, N = 1234.5 iVar=3",
                                            " Psr, MPa = 17 iVar=3",
                                            " Tsr, MPa = 31.5 iVar=3",
                                            "   limit of iterations, iVar=3"};
  EXPECT_EQ(o.console, console);
  EXPECT_EQ(o.inp.iter.Stage, 1000);
  EXPECT_DOUBLE_EQ(o.inp.iter.VProfFEM, 5.0);
  EXPECT_DOUBLE_EQ(o.inp.model.FricB, 0.05000000074505806);
  EXPECT_DOUBLE_EQ(o.inp.model.FricA, 0.9499999992549419);
  EXPECT_FALSE(SolveEndedOk(o.inp));
}

TEST(Run3d, IterationLimitZeroStillRunsOneFullIteration) {
  const Outcome o = RunScripted(0, {0.0}, {0.0});
  EXPECT_EQ(o.script.flowSolves, 1);
  EXPECT_EQ(o.script.tempSolves, 1);
  EXPECT_EQ(Count(o.log, " Iteration "), 1);
  EXPECT_EQ(o.console.back(), "   limit of iterations, iVar=3");
  EXPECT_EQ(o.inp.iter.i_iterat, 2);
}

TEST(Run3d, ConvergedVelocityAndTemperatureEndTheLoopWithSolveOk) {
  const Outcome o = RunScripted(10, {0.3, 0.004}, {40.0, 2.0});
  EXPECT_EQ(o.script.flowSolves, 3);  // two iterations and the check of the plain update
  EXPECT_EQ(Count(o.log, " Check of the plain update: velocity change 0.004"), 1);
  EXPECT_EQ(o.console.back(), "   solve, ok, iVar=3");
  EXPECT_TRUE(SolveEndedOk(o.inp));
  // Iteration 1 moves all fields to the thermal mesh, later ones the flow fields only.
  std::vector<std::string> transfers;
  for (const auto& c : o.script.calls)
    if (c.rfind("transfer", 0) == 0) transfers.push_back(c);
  EXPECT_EQ(transfers, (std::vector<std::string>{"transfer2", "transfer3", "transfer1", "transfer3"}));
  // The coefficients start from PenaltyInit, then the check tunes them.
  EXPECT_EQ(o.script.penaltySeen, (std::vector<float>{50.0f, 75.0f}));
}

TEST(Run3d, TemperatureChangeAboveFiveKeepsIterating) {
  const Outcome o = RunScripted(10, {0.001}, {6.0, 6.0, 6.0, 5.0});
  EXPECT_EQ(o.script.flowSolves, 5);  // checked once, where both measures are met
  EXPECT_EQ(o.console.back(), "   solve, ok, iVar=3");
}

TEST(Run3d, VelocityLimitIsTheSinglePrecisionHundredth) {
  // 0.01 itself lies above the stored limit 0.009999999776482582.
  EXPECT_EQ(RunScripted(4, {0.01}, {1.0}).script.flowSolves, 4);
  EXPECT_EQ(RunScripted(4, {0.009999999776482582}, {1.0}).script.flowSolves, 2);
}

TEST(Run3d, ConvergenceInTheLastButOneIterationReportsTheLimit) {
  const Outcome o = RunScripted(3, {0.5, 0.001}, {1.0});
  EXPECT_EQ(o.script.flowSolves, 3);
  EXPECT_EQ(o.console.back(), "   limit of iterations, iVar=3");
  const Outcome early = RunScripted(4, {0.5, 0.001}, {1.0});
  EXPECT_EQ(early.console.back(), "   solve, ok, iVar=3");
}

TEST(Run3d, LoopControlFollowsTheCounterAndBothMeasures) {
  InpDat d;
  d.setup.MaxIter = 5;
  d.iter.i_iterat = 1;
  bool goOn = true;
  d.iter.ConvV = 0.0;
  d.iter.ConvT = 5.0000001;
  EXPECT_TRUE(NextCoupledIteration(d, goOn));
  d.iter.ConvT = 5.0;
  EXPECT_TRUE(NextCoupledIteration(d, goOn, false));  // the plain update does not hold yet
  EXPECT_TRUE(goOn);
  EXPECT_FALSE(NextCoupledIteration(d, goOn));
  EXPECT_EQ(d.iter.i_iterat, 4);
  EXPECT_FALSE(goOn);
  d.iter.i_iterat = 5;
  goOn = true;
  d.iter.ConvV = 1.0;
  EXPECT_FALSE(NextCoupledIteration(d, goOn));  // past the limit
  EXPECT_TRUE(goOn);
}
