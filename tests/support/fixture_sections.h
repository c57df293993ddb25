#pragma once
// A profile fixture made into a variant: outline file and cross-section
// meshes written in a scratch folder of their own and read back, with the
// axial layout of a 100 mm billet set.

#include <gtest/gtest.h>

#include <string>

#include "input/variants.h"
#include "mesh2d/outline_file.h"
#include "mesh2d/outline_shapes.h"
#include "mesh2d/run_gr_2d.h"
#include "mesh2d/section_file.h"
#include "support/profile_fixtures.h"
#include "support/scratch.h"

// Variant 1 of fixture `f` at cross-section and volume mesh level 2: billet
// length 100 mm, axial length 20 mm, piece length 3 mm, ram speed 5 mm/s and
// die-face correction scale `faceShift`; its files are named after `tag`
// and the fixture.  The cross-section meshes are read into the variant and
// its axial levels set; the material and thermal values are the caller's.
inline InpDat FixtureSections(const Fixture& f, const std::string& tag, double faceShift = 0.0) {
  InpDat d;
  const std::string dir = ScratchDir(tag + "_sections").string() + "/";
  d.setup.FileOutline = dir + f.name + "_" + tag + ".olf";
  d.setup.File2d = dir + f.name + "_" + tag + ".f2d";
  d.setup.ProfType = f.profType;
  d.setup.MeshLevel = 2;
  d.setup.MeshLevel3d = 2;
  d.setup.LenA = 100.0;
  d.setup.AxialLen = 20.0;
  d.setup.PieceLen1 = 3.0;
  d.setup.RamSpeed = 5.0;
  d.solve.MemBudget = 2048000000;
  d.setup.FaceShift = faceShift;
  std::string err;
  const auto raw = ParseOutlineDescription(f.name, f.outlines, err);
  EXPECT_TRUE(err.empty()) << f.name << ": " << err;
  EXPECT_TRUE(WriteOutlineFile(d.setup.FileOutline, raw)) << d.setup.FileOutline;
  Run_gr_2d(d.setup, d.sections);
  SetAxialLayout(d.setup, d.sections, d.layout);
  return d;
}
