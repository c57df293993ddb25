#pragma once
// Plan of one frontal solve: front size and equation-store lengths within a
// storage budget, made by FrontPlan and returned by every frontal solve.

#include <cstdint>

// Plan results of the frontal solver for one kind of solve.
struct FrontPlanStats {
  int64_t FrontLimit = 0;   // row-front size above which elimination starts
  int64_t FrontDim = 0;     // dimension of the front arrays (0: the plan failed)
  int64_t IntStore = 0;     // length of the integer equation store
  int64_t RealStore = 0;    // length of the real equation store
  int64_t ExtraBlocks = 0;  // times the equation store would restart from its beginning
};
