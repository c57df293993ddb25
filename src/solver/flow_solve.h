#pragma once
// Velocity and pressure of the flow mesh (problem code 1): the mixed
// velocity-pressure problem of creeping viscoplastic flow with tool
// friction, exit-surface resistance and prescribed velocities, solved by
// the frontal solver; then the nodal stress pass, the boundary normal
// stresses, Psr and FORSE.

#include <cstdint>

#include "core/onebased.h"
#include "core/records.h"
#include "fem/elements.h"
#include "solver/front_plan.h"

// Lateral condition of a node on the edge where an axial tool face (the die
// face, whose nodes hold their axial speed) meets a tool wall (the bearing):
// such a node can move only along the edge.  Its axial speed is held by its
// code; of the lateral speed the component along the wall normal is held at
// 0 and the one along the outline is free, or, where two walls meet at an
// outline corner, both lateral components are held at 0.
struct EdgeFrame {
  double nx = 0.0;  // unit wall normal in the x-y plane, x (mode 1)
  double ny = 0.0;  // unit wall normal in the x-y plane, y (mode 1)
  int8_t mode = 0;  // 0 no edge node, 1 slides along the edge (v.n = 0), 2 outline corner (vx = vy = 0)
};

// Edge frames of the flow mesh, one per node (1..nh).  An edge node is a
// node of kind 7 (axial speed held) on a boundary face whose normal lies
// within 60 degrees of the x-y plane (a wall, not the axial face).  Its wall
// normal is the x-y part of the integral of N_i n over those wall faces
// (N_i the node's function, n the face normal), the normal for which
// v_i . n = 0 removes the node's share of the flux through the walls; the
// node is an outline corner (mode 2) when the centre normals of two of its
// wall faces differ by more than 30 degrees.  Nodes of every other kind get
// mode 0.
void DieEdgeFrames(const ElementTables& tab, const MeshRecord& nodes, Vec1<EdgeFrame>& frames);

// Turns the lateral unknowns of the sliding edge nodes (mode 1) of the
// solution vector r1 (flow numbering, nh nodes) from (normal, tangent)
// components back to (x, y): v = n w_n + t w_t with t = (-ny, nx).
void EdgeVelocitiesToXY(const Vec1<EdgeFrame>& frames, int nh, Vec1<double>& r1);

// Element routine of the flow problem for the frontal solver.  Unknown
// numbering: node i has x-velocity i, y-velocity nh + i, z-velocity
// 2 nh + i; corner node i has pressure 3 nh + i.  In an element: the x, y, z
// velocities of its nodes in local order, then the pressures of its corners
// (51 unknowns for a wedge, 34 for a tetrahedron).
struct FlowElements {
  const ElementTables* tab;  // element library
  const MeshRecord* nodes;   // flow mesh with the current fields and boundary records
  const InpDat* inp;         // variant record: material, friction constants, RamSpeed, Psr
  const Vec1<EdgeFrame>* edges = nullptr;  // edge frames by node (DieEdgeFrames); null: no edge condition

  // Signed unknown list of element k (signs of the connectivity carried over).
  int Unknowns(int k, int32_t* lm) const;
  // Element matrix of element k: flow element, friction drag and exit
  // resistance of its boundary faces, then the velocity boundary conditions
  // of its nodes; r is the right-hand side they give.  The lateral unknowns
  // of a sliding edge node (edges, mode 1) are its (normal, tangent)
  // components instead of (x, y), the normal one held at 0; an outline
  // corner (mode 2) holds x and y at 0.
  int System(int k, int32_t* lm, double* est, int ld, double* r) const;
};

// Components prescribed by a node code as a bit mask (1 x, 2 y, 4 z); zero
// is true when the prescribed values are 0 rather than the node's current
// velocity.  Codes: 2, 12 (y, z); 3 (x, z); 4 (x, y = 0); 5, 11 (x); 6 (y);
// 7 (z); 8 (all = 0); 10 (all); each also with 64 added.
int PrescribedComponents(int code, bool& zero);

// Prescribes element unknown kk (0-based) of an m-unknown system to the value
// w: row kk cleared but its diagonal, r(kk) = est(kk, kk) w, and the column
// moved to the right-hand side and cleared.
void PrescribeUnknown(double* est, int ld, double* r, int m, int kk, double w);

// Solves the flow problem on `nodes` and stores the solution: velocities
// (ConvV), corner pressures divided by PScale when PScale >= 1 (ConvP),
// mid-edge pressures of the wedges, the boundary normal stresses, Psr (MPa)
// and FORSE (N).  Also stores the unknown count DOF in inp_dat.  Returns the
// plan of the frontal solve (empty with the sparse solver).
FrontPlanStats SolveFlow(MeshRecord& nodes, const ElementTables& tab, InpDat& inp_dat);

// The results the flow solve derives from the stored velocities and corner
// pressures: mid-edge pressures of the wedges, nodal stresses, the boundary
// normal stresses, Psr (MPa) and FORSE (N).
void FlowStresses(const ElementTables& tab, MeshRecord& nodes, InpDat& inp_dat);
