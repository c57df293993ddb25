#pragma once
// Initial temperature field of the billet: the cross-section cooled for the
// time the ram needs to travel the offset length, given to the flow mesh.

#include "core/records.h"
#include "fem/elements.h"

// Largest number of cooling steps; a longer cooling time takes longer
// steps (the implicit step is stable for any length).
inline constexpr int kMaxCoolingSteps = 20000;

// Initial temperatures of a variant.  The working section inp_dat.sections.Sect2d(1)
// starts at BilletTemp and cools by CoolSection; its temperature is
// interpolated (Interp2d) to the nodes of the last cross-section mesh
// Pieces2d(nPieces), whose Tnew and Told receive it, and every node of the
// flow mesh `nodes` takes the value of the node of that mesh nearest to it
// in the x-y plane (on equal distances the later node) as its temperature
// fld(kFldT, i).  Stops the run when the variant has no working section or
// no cross-section mesh.
void PRE_heat_main(MeshRecord& nodes, const ElementTables& tab, InpDat& inp_dat);

// Transient cooling of the working section inp_dat.sections.Sect2d(1) from its Told
// during t = (LenB - LenA) / |RamSpeed|.  With n section nodes of height H
// (mm), mean temperature Tm and diffusivity a = lambda(Tm) / (c(Tm) rho),
// the step count is s = floor(t / (10 h^2 / (2 a))), h = 0.001 H / sqrt(n)
// (m), at most kMaxCoolingSteps; HeatDt = t / (s + 2) and s + 1 implicit
// steps are taken (SolveSectionHeat through Sol_Def), so the time simulated
// is t - HeatDt.  Tnew and Told hold the result.  Without cooling time
// (LenB <= LenA) no step is taken and Tnew = Told.  Stops the run when the
// ram speed is zero or not finite while there is a cooling length, and when
// rho c(Tm) is not positive.
void CoolSection(MeshRecord& nodes, const ElementTables& tab, InpDat& inp_dat);

// Linear interpolation of the values v (1..nh) at the point (x, y) over the
// corner triangles of `sect`: the first triangle whose area mismatch
// | |A1| + |A2| + |A3| - |A0| | (sub-triangles of the point with the edges,
// A0 the triangle) is at most 1e-4 mm^2 contains the point; when none does,
// the triangle of smallest mismatch (the later one on ties) is used.  The
// weights are the barycentric coordinates of the point in that triangle;
// for a point outside it the negative coordinates are set to 0 and the
// others rescaled to sum 1, so the result always lies between the
// triangle's corner values.  A section without triangles gives 400.
double Interp2d(double x, double y, const Mesh2d& sect, const Vec1<double>& v);
