#include <gtest/gtest.h>

#include "input/variants.h"

namespace {

RunState FourLists(int nS, int nP, int nL, int nT) {
  RunState run;
  for (int k = 1; k <= nS; ++k) run.input.RamSpeedList.push_back(k * 1.0);
  for (int k = 1; k <= nP; ++k) run.input.FileOutlineList.push_back("die" + std::to_string(k));
  for (int k = 1; k <= nL; ++k) run.input.AxialLenList.push_back(k * 10.0);
  for (int k = 1; k <= nT; ++k) run.input.BilletTempList.push_back(400.0 + k);
  run.input.setup.MaxIter = 7;
  run.input.setup.mat.MatC0 = 123.0;
  return run;
}

}  // namespace

TEST(GenVariants, NestedOrderNamesAndStartingValues) {
  RunState run = FourLists(2, 1, 1, 3);
  GenVariants(run);
  ASSERT_EQ(run.nVar, 6);
  EXPECT_EQ(run.iVar, 6);
  EXPECT_EQ(run.nodes.size(), 6);
  EXPECT_EQ(run.nodes_t.size(), 6);
  // Variant 4: second ram speed, first billet temperature.
  const InpDat& v4 = run.inp_dat(4);
  EXPECT_DOUBLE_EQ(v4.setup.RamSpeed, 2.0);
  EXPECT_DOUBLE_EQ(v4.setup.BilletTemp, 401.0);
  EXPECT_DOUBLE_EQ(run.inp_dat(3).setup.BilletTemp, 403.0);
  EXPECT_DOUBLE_EQ(run.inp_dat(3).setup.RamSpeed, 1.0);
  EXPECT_EQ(v4.setup.VarName, "Variant_4");
  EXPECT_EQ(v4.setup.File2d, "extrusion_var_4.f2d");
  EXPECT_EQ(v4.setup.FileInf, "Variant_4.inf");
  EXPECT_EQ(v4.setup.FileOutline, "die1");
  EXPECT_EQ(v4.setup.MaxIter, 7);
  EXPECT_DOUBLE_EQ(v4.setup.mat.MatC0, 123.0);
  EXPECT_DOUBLE_EQ(v4.iter.Tsr, 1.0);
  EXPECT_DOUBLE_EQ(v4.iter.ViscMin, 1.0);
  EXPECT_DOUBLE_EQ(v4.model.PScale, 1.0);
  EXPECT_DOUBLE_EQ(v4.model.PenaltyInit, 50.0);
  EXPECT_EQ(v4.model.HeatDt, 0.009999999776482582);
  EXPECT_EQ(v4.solve.MemBudget, 2048000000);
  EXPECT_EQ(v4.iter.i_iterat, 1);
  EXPECT_EQ(v4.iter.Stage, 0);
}

TEST(GenVariants, EveryListDecidesItsPlaceInTheNumber) {
  RunState run = FourLists(2, 3, 2, 2);
  GenVariants(run);
  ASSERT_EQ(run.nVar, 24);
  // iVar = ((iS-1) nP nL + (iP-1) nL + (iL-1)) nT + iT
  for (int iS = 1; iS <= 2; ++iS)
    for (int iP = 1; iP <= 3; ++iP)
      for (int iL = 1; iL <= 2; ++iL)
        for (int iT = 1; iT <= 2; ++iT) {
          const int k = ((iS - 1) * 3 * 2 + (iP - 1) * 2 + (iL - 1)) * 2 + iT;
          const InpDat& d = run.inp_dat(k);
          EXPECT_DOUBLE_EQ(d.setup.RamSpeed, iS * 1.0);
          EXPECT_EQ(d.setup.FileOutline, "die" + std::to_string(iP));
          EXPECT_DOUBLE_EQ(d.setup.AxialLen, iL * 10.0);
          EXPECT_DOUBLE_EQ(d.setup.BilletTemp, 400.0 + iT);
        }
  EXPECT_EQ(run.inp_dat(10).setup.VarName, "Variant_10");
}

TEST(GenVariants, AnyEmptyListGivesNoVariant) {
  RunState run = FourLists(2, 0, 1, 3);
  GenVariants(run);
  EXPECT_EQ(run.nVar, 0);
  EXPECT_EQ(run.iVar, 0);
  EXPECT_TRUE(run.inp_dat.empty());
  EXPECT_TRUE(run.nodes.empty());
}

TEST(SetAxialLayout, LevelsAndZoneThresholds) {
  InpDat d;
  d.sections.Diam2d = 20.0;
  d.setup.LenA = 100.0;
  d.setup.AxialLen = 30.0;
  d.setup.ProfType = 1;
  d.setup.PieceLen1 = 0.0099;  // below the single-precision 0.01: no zone
  d.setup.PieceLen2 = 0.01;    // the double 0.01 lies above 0.009999999776482582
  d.setup.PieceLen4 = 0.0;
  d.setup.PieceLen5 = 3.0;
  SetAxialLayout(d.setup, d.sections, d.layout);
  EXPECT_DOUBLE_EQ(d.layout.LayLen, 55.0);  // 2.5 * 20 + 5 below LenA
  EXPECT_DOUBLE_EQ(d.layout.Z0, 100.0);
  EXPECT_DOUBLE_EQ(d.layout.Z1, 155.0);
  EXPECT_DOUBLE_EQ(d.layout.Z2, 255.0);
  EXPECT_DOUBLE_EQ(d.layout.Z3, 0.0);
  EXPECT_EQ(d.layout.ZoneZ(1), 0.0);
  EXPECT_DOUBLE_EQ(d.layout.ZoneZ(2), 155.0 - 0.01);
  EXPECT_EQ(d.layout.ZoneZ(3), 0.0);
  EXPECT_DOUBLE_EQ(d.layout.ZoneZ(4), 152.0);

  d.setup.ProfType = 4;
  d.sections.Diam2d = 60.0;  // 2.5 * 60 + 5 = 155 exceeds LenA
  SetAxialLayout(d.setup, d.sections, d.layout);
  EXPECT_DOUBLE_EQ(d.layout.LayLen, 100.0);
  EXPECT_DOUBLE_EQ(d.layout.Z2, 200.0 + 30.0);
  EXPECT_DOUBLE_EQ(d.layout.Z3, 230.0 + 100.0);
  d.setup.ProfType = 5;
  SetAxialLayout(d.setup, d.sections, d.layout);
  EXPECT_EQ(d.layout.Z3, 0.0);
}

TEST(GenVariantsDeath, VariantCountIsFormedWithoutOverflowAndEmptyListsOfAFileStop) {
  // 65536^4 = 2^64 wraps a 64-bit product to 0; the count must still stop.
  RunState big = FourLists(65536, 65536, 65536, 65536);
  EXPECT_EXIT(GenVariants(big), ::testing::ExitedWithCode(1),
              "GenVariants: 65536 x 65536 x 65536 x 65536 variants requested \\(ram speeds x outline files x "
              "extra-zone lengths x billet temperatures\\); at most 999999 are possible");
  RunState over = FourLists(1000, 1, 1, 1000);
  over.input.InputFile = "in.txt";
  over.input.ListCountLine = {54, 57, 71, 81};
  EXPECT_EXIT(GenVariants(over), ::testing::ExitedWithCode(1), "in.txt: 1000 x 1 x 1 x 1000 variants requested");
  // Lists read from a file: an empty one is named with the line of its count.
  RunState empty = FourLists(2, 1, 0, 3);
  empty.input.InputFile = "in.txt";
  empty.input.ListCountLine = {54, 57, 71, 81};
  EXPECT_EXIT(GenVariants(empty), ::testing::ExitedWithCode(1),
              "in.txt:71: the list of extra-zone lengths is empty, so there is no variant to compute");
  empty = FourLists(0, 1, 1, 1);
  empty.input.InputFile = "in.txt";
  empty.input.ListCountLine = {54, 57, 71, 81};
  EXPECT_EXIT(GenVariants(empty), ::testing::ExitedWithCode(1), "in.txt:54: the list of ram speeds is empty");
}
