// Writes the result file of a small extruded wedge mesh into the working
// directory for the legacy-reader check (check_vtk_legacy.py).
//
// The section is two counter-clockwise 6-node triangles, one of them with a
// curved edge, extruded through three graded layers with the volume
// mesher's corner order B, A, C.  Before writing, the program verifies that
// the Jacobian determinant is negative at every integration point of every
// wedge, the orientation the flow and heat element matrices are written
// for.  Prints "np ne" on success; exits 2 when the orientation check fails.

#include <cstdio>

#include "fem/elements.h"
#include "output/extruded_mesh.h"
#include "output/write_paraview.h"
#include "post/jacob_contr.h"

int main() {
  Section6 s = RectangleSection(0.0, 30.0, -5.0, 15.0);
  s.xy[4][1] -= 1.5;  // bow the bottom edge (node 5, mid-point of 1-2) outwards
  MeshRecord m;
  ExtrudeSection(s, {100.0, 104.0, 106.5, 108.0}, m);

  ElementTables tab;
  iniELEM(tab);
  for (int e = 1; e <= m.g.ne; ++e) {
    double xyz[15][3];
    for (int a = 1; a <= 15; ++a)
      for (int i = 1; i <= 3; ++i) xyz[a - 1][i - 1] = m.g.xyz(i, m.g.nop(a, e));
    for (int ip = 1; ip <= tab.Wedge15.ngp; ++ip) {
      if (JacobianDet(tab.Wedge15, ip, xyz) >= 0.0) {
        std::fprintf(stderr, "element %d: det J >= 0 at point %d\n", e, ip);
        return 2;
      }
    }
  }

  // Fields of a settled flow: axial speed rising towards the exit, a
  // temperature and stress gradient, one node without rheology (viscosity
  // and stress 0) and one with a stress above the triaxiality clamp.
  for (int i = 1; i <= m.g.nh; ++i) {
    const double x = m.g.xyz(1, i), y = m.g.xyz(2, i), z = m.g.xyz(3, i);
    m.fld(kFldVx, i) = static_cast<float>(0.01 * x);
    m.fld(kFldVy, i) = static_cast<float>(-0.02 * y);
    m.fld(kFldVz, i) = static_cast<float>(-(5.0 + 0.5 * (z - 100.0)));
    m.fld(kFldP, i) = static_cast<float>(-120.0 + 3.0 * (z - 100.0));
    m.fld(kFldT, i) = static_cast<float>(450.0 + 0.8 * x);
    m.fld(kFldStrain, i) = static_cast<float>(0.05 * (z - 100.0));
    m.fld(kFldVisc, i) = static_cast<float>(2.0 + 0.1 * y);
    m.fld(kFldStress, i) = static_cast<float>(35.0 + 0.2 * x);
    m.fld(kFldPsi, i) = static_cast<float>(0.001 * (z - 100.0));
    m.fld(kFldEpsP, i) = 1.2f;
  }
  m.fld(kFldVisc, 2) = 0.0f;
  m.fld(kFldStress, 2) = 0.0f;
  m.fld(kFldStress, 3) = 5000.0f;

  WriteParaView(m, 1);
  std::printf("%d %d\n", m.g.np, m.g.ne);
  return 0;
}
