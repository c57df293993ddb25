#pragma once
// Tool-surface terms of the flow element: the friction drag of the faces in
// contact with container, die and ram, and the normal resistance of the
// exit-surface nodes (die face and bearing) that keeps the material from
// passing through the die.
//
// Both terms are added to the element matrix est of the flow element
// (unknown order of solver/flow_element.h) with the orientation sign of the
// element: on a left-handed element (det J < 0, as on the extruded meshes)
// the assembled matrix is the negative of the physical one, and these terms
// follow it, so that they dissipate like the viscous block.

#include "core/records.h"
#include "fem/elements.h"

// Codes whose faces carry no friction: free profile surface and symmetry planes.
bool NoFrictionCode(int code);

// Codes of the nodes that take part in the drag.
bool DragCode(int code);

// Boundary node record of node n, or nullptr.
const BndNode* BoundaryRecordOf(const MeshRecord& m, int n);

// Wall traction coefficient of the friction law at one face point:
//   k = (FricB + FricA (1 - exp(-1.25 pc / (1.73 sigma_s)))) m sigma_s / (sqrt3 s),
// so that the traction k v equals the friction-factor law m sigma_s / sqrt3,
// scaled by the pressure-saturation factor, where the sliding speed is s.
// sigma_s flow stress (MPa), m friction factor, pc contact pressure (MPa),
// s regularised sliding speed (mm/s).  k in MPa s / mm; 0 where sigma_s or
// s is not positive.
double FrictionCoefficient(double sigma_s, double m, double pc, double s, double fricA, double fricB);

// Contact pressure at a face point from its stored normal stress sn (MPa,
// negative in compression): |min(0, sn)|.  On an exit face, where the
// point's exit value x (the mean normal stress magnitude of the exit faces
// relative to the mean ram pressure, see ForceEval) satisfies |x| <= 0.5, the smooth estimate
// (1 - exp(-2 |x|)) |Psr| is used instead.
double ContactPressure(float sn, float x, bool exitFace, double psr);

// Sliding speed, in units of RamSpeed, above which a node's drag takes its
// full Newton part; below 1 it keeps the lagged drag.  A node that the
// friction should bring to rest (on a mandrel at the die face, at a bearing
// corner) has no stiffness along its sliding direction under the Newton
// drag, and the step overshoots through rest and back (axial speeds of
// +5 and -7 mm/s in turn at a ram speed of 5); the lagged drag brings it to
// rest monotonically.
inline constexpr double kDragNewtonFull = 3.0;

// Friction drag of the boundary faces of element k: for every face without
// a node of code 1, 5, 6, 65, 69 or 70, at every face point,
//   est(i a, i b) += orient k(point) (weight x surface measure) N_a N_b
// for the face nodes a, b that both touch the tools with codes 4, 7, 8, 9
// (or these plus 64), in each of the three velocity components i.  sigma_s,
// m and s are interpolated from the nodes (nodal flow stress, record factor
// and record regularised speed), s at least 0.1 RamSpeed.  orient is the
// sign of det J of the element.  ld is the leading dimension of est.
// With tangent > 0 and r given, every point whose regularised speed follows
// the sliding speed also gets the share `tangent` of the drag's derivative
// along the sliding direction t of the current velocity, with its product
// with the current velocity on the right-hand side r: where the
// regularisation amplifies (s ~ |v|^-3, traction ~ |v|^4) the drag is
// stiffened along t fourfold, elsewhere (s = |v|, a traction independent
// of the speed) its stiffness along t is removed, in full on nodes sliding
// faster than kDragNewtonFull RamSpeed and not at all below RamSpeed
// (linearly in between).  A Newton step for the speed-dependent drag whose
// fixed points are those of the lagged drag.
void FrictionDrag(const ElementTables& tab, const MeshRecord& nodes, const VariantSetup& setup,
                  const ModelParams& model, const VariantResults& results, int k, double orient, double tangent,
                  double* est, int ld, double* r);

// Mean magnitude of the diagonal entries of the velocity block (the first
// 3 nen rows) of an element matrix est: the element's own viscous stiffness
// per velocity unknown (viscosity times length).
double ViscousDiagonal(const double* est, int ld, int nen);

// Normal resistance of the exit-surface nodes of element k (wedges with
// boundary faces only): for every element node of code 9 or 73 with a
// boundary node record (normal n, adjustment coefficient q)
//   est(velocity of the node, velocity of the node) += orient q stiffness n n^T,
// stiffness the element's ViscousDiagonal before any tool term, so that the
// coefficient q makes the resistance q times as stiff as the material (the
// starting coefficient 50: fifty times).
void ExitResistance(const MeshRecord& nodes, int k, double orient, double stiffness, double* est, int ld);
