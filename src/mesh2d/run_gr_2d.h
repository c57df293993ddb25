#pragma once
// Cross-section mesh driver of one variant: reads the variant's outline file,
// meshes the profile and the rings around it, and writes the cross-section
// file named by File2d.

#include "driver/records.h"

// Base division count S and increment R of a cross-section mesh density
// level; any level outside 1..5 gives the finest setting (32, 12).
void DivisionCounts(int meshLevel, int& S, int& R);

void Run_gr_2d(int iVar, InpDat& inp_dat);
