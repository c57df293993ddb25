#pragma once
// Second cross-section mesh of a variant: the region inside the container
// outline (outline 3) meshed as one block at a fixed density, the working
// section of the billet cooling calculation, with a square box around it.

#include "core/records.h"

// Block step: orients `outline` clockwise, resamples it with the softened
// size law of the pair (c1, c2) (a zero count gives 32), meshes it with the
// capacity of 3500 nodes and elements, flags and smooths it, and stores the
// mesh in `sect` (flags 65/1 on the outline within 0.001, area of the
// corner triangles, zeroed temperature arrays).  `images` is the number of
// mirror copies of the outline's region that make up the whole region.
void Gen2dBlock(Outline& outline, int c1, int c2, Mesh2d& sect, double images = 1.0);

// Square box around the nodes of `m`: margin e = 0.1 ((xmax-xmin)+(ymax-ymin))/2,
// side L = max(xmax-xmin+2e, ymax-ymin+2e), from (xmin-e, ymin-e).
void SquareBox(const Mesh2d& m, Fix1<double, 4>& box);

// Runner: meshes Outlines(3) (or the outermost outline present when the file
// held fewer than three) into Sect2d(1) with the pair (48, 48) and sets Box2d.
// An outline that is its own mirror image about the x or y axis (or both) is
// meshed on its half (or quarter) and the mesh reflected, so that the
// billet's cooling keeps the section's symmetry.
void gen_gr2d(int iVar, SectionSet& sections);
