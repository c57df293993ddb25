#pragma once
// Boundary data of a volume mesh: boundary kinds of the nodes, boundary
// faces with their surface measure and local frames, nodal normals, the
// symmetry planes and the initial nodal values (velocity, strain, viscosity,
// stress, temperature).  The same steps run on the flow mesh and on the
// thermal mesh.
//
// Node code: 64 + kind for a corner node (nodes 1..np), kind for the others.
// Kinds: 0 interior; 1 free profile surface after the bearing and the exit
// plane; 2, 3 rim nodes (kind 8) on the symmetry planes y = 0 and x = 0;
// 4 container wall; 5, 6 symmetry planes x = 0 and y = 0; 7 ram face (and
// die-face plane after the plane codes); 8 corner line of die face and
// container wall; 9 die face, bearing and orifice edge; 10 ram face on the
// container outline and on the mandrel of a hollow profile.

#include <array>

#include "core/records.h"
#include "fem/elements.h"

using Vec3 = std::array<double, 3>;

// The node-code predicates KindOfCode, IsBoundaryCode and TouchesTools stand
// next to the mesh record (core/records.h).

// Classification (boundary_classify.cpp).

// True when (x, y) lies within distance r (and a rounding slack of 1e-9) of
// a point of outline o.
bool NearOutlinePoint(const Outline& o, double x, double y, double r);

// Boundary kinds of a single-part mesh from the node flags and end-plane
// codes of the mesher (tolerance 0.001): exit and profile surface below the
// bearing 1, bearing and end planes 9, ram face 7 (10 on the container
// outline, Outlines(3)), container wall 4, joint-plane rim 8.
void ClassifyBoundary(const SectionSet& sections, const AxialLayout& layout, Mesh3d& g);

// Boundary kinds of a multi-piece mesh (tolerance 0.0001): end planes and
// lateral surfaces 9, the whole ram face 10, container wall 4, joint-plane
// rim 8; then every kind-9 node below the bearing of its piece (the nearest
// of the outlines 1, 2, 4, 5, bearing level ZoneZ of that slot, Z1 when the
// slot has no length) becomes kind 1.
void ClassifyBoundaryMulti(const SectionSet& sections, const AxialLayout& layout, Mesh3d& g);

// Marks the nodes along the fourth outline (a split profile) between the
// levels zb and zt as die contact, kind 9; corner nodes keep their offset.
void FourPieceAdjust(const SectionSet& sections, const AxialLayout& layout,
                     const ModelParams& model, Mesh3d& g);

// Mandrel of a hollow profile (single-part mesh, a slot-4 outline that
// splits the profile, SplitMode 2): the inner outline bounds a fixed
// mandrel from the ram through the container and the die to the end of the
// bearing.  Its nodes from the die-face level Z1 up get kind 4 (lateral
// speed 0, axial speed free, friction against a tool at rest), those on the
// ram face kind 10; along the bearing they keep kind 9 and below it kind 1
// (free inner surface of the profile).  Runs after the classification and
// the four-piece adjustment, so that no mandrel node in the container is
// left with a soft or axial-only condition through which material would
// leave the billet.
void MandrelCodes(const SectionSet& sections, const AxialLayout& layout, Mesh3d& g);

// Symmetry planes x = 0 and y = 0 (present when the corner nodes end within
// 0.01 of them on one side): container-wall nodes on a plane get kind 5 or 6,
// rim nodes of kind 8 on a plane at the level zl get kind 3 (x = 0) or 2.
void SymmetryPlanes(const SectionSet& sections, const AxialLayout& layout, Mesh3d& g);

// Die-face plane codes: on the planes Z1 (two parts) or Z1 - EdgeR2 EdgeScale
// and Z2 (three parts), corner code 73 becomes 71 and code 9 becomes 7.
void PlaneCodes(const SectionSet& sections, const AxialLayout& layout, const ModelParams& model,
                Mesh3d& g);

// Faces, surface measure, frames, nodal normals (boundary_faces.cpp).

// A face of an element is a boundary face when all its nodes (the six or
// eight face nodes of a wedge, the three corners of a tetrahedron) are
// boundary nodes and no other element shares it.  Fills edata (face lists), faces (one record per boundary
// face) and bnd (one record per boundary node); EndPlane(i) becomes the
// position of node i in bnd, 0 for interior nodes.
void FindBoundaryFaces(MeshRecord& m, const ElementTables& tab);

// Surface measure at every point of every boundary face:
// J = sqrt(|u x v|^2 + 1e-5) with (u, v) the tangents of the face
// parametrisation over the domain of its rule, so that the sum over the
// points of weight x J is the face area.  Stores J (array 13) and
// weight x J (array 11).
void FaceJacobian(MeshRecord& m, const ElementTables& tab);

// Three points near the face point p on the same face, moved by 1e-4 in the
// local coordinates of the face (wedge: p = (L1, L2, L3, zeta); tetrahedron:
// volume coordinates).  Stops with "error in Lp_simplex" when p lies on no
// face.
void Lp_simplex(const LocalPoint& p, bool wedge, std::array<LocalPoint, 3>& q);

// Frame from three points: t1 along P1 - P2, t2 from P3 to its foot on the
// line P1-P2, n = unit (P1 - P2) x (P2 - P3) = t1 x t2 with components below
// 1e-4 in magnitude set to 0 (n = 0 for collinear points).  Returns the
// orthonormality defect ((t1.t2)^2 + (t1.n)^2 + (t2.n)^2 + |t1|^2 + |t2|^2
// + |n|^2 - 3) / 3.
double FrameFromPoints(const Vec3& P1, const Vec3& P2, const Vec3& P3, Vec3& t1, Vec3& t2,
                       Vec3& n);

// Unit outward normal and tangents (t1 x t2 = n) at every point of every
// boundary face.  Axial faces (wedge faces 1, 2 with |nz| > 1 - 1e-5) get the
// coordinate axes as tangents, vertical faces (|nz| <= 1e-5) get
// t1 = (ny, -nx, 0), t2 = (0, 0, -1).  Stops with "Error 1 in Cos_N_ALL"
// when a normal is not of unit length.
void Cos_N_ALL(MeshRecord& m, const ElementTables& tab);

// Global number of the mid-side node between the local corners a and b of
// element e; stops with "error in point_sos" when a and b share no edge.
int point_sos(const Mesh3d& g, int e, int a, int b);

// Nodal normals of the boundary node records: angle-weighted mean of the
// centre normals of the boundary faces around the node, made unit length
// by recomputing x or y; stored with a zero target normal speed.
void NodalNormals(const AxialLayout& layout, MeshRecord& m);

// Initial values and final adjustments (boundary_values.cpp).

// Expected profile speed VProfAnalit, initial velocities (vz by zone, zero on
// the tool-fixed codes), the analytic initial strain field for ProfType 1
// and 3 (with viscosity, flow stress and pressure from FlowStress), and the
// viscosity extremes ViscMax, ViscMin.
void InitialVelocities(const VariantSetup& setup, const SectionSet& sections,
                       const AxialLayout& layout, ModelParams& model, IterationState& iter,
                       MeshRecord& m);

// Rounds the edge of the plane za = Z1 (option 1, radius EdgeR1) or Z2
// (option 2, EdgeR2) along a quarter circle and moves the mesh below za by
// -R EdgeScale in z.  Does nothing when R <= 0.001.
void RoundEdge(const AxialLayout& layout, const ModelParams& model, int option, MeshRecord& m);

// The multi-piece form of RoundEdge: the die-face plane of the merged
// region lies at Z1, so it is option 1.
void RoundEdgeMulti(const AxialLayout& layout, const ModelParams& model, MeshRecord& m);

// Zone factors (friction factor m) of the boundary node records from
// BcFactor by axial zone.
void ZoneFactors(const VariantSetup& setup, const SectionSet& sections, const AxialLayout& layout,
                 MeshRecord& m);

// Ram-end velocities: nodes with z > zt - RamSpeed get (0, 0, -RamSpeed),
// their boundary records factor 1.
void EndVelocities(const VariantSetup& setup, const SectionSet& sections, const AxialLayout& layout,
                   MeshRecord& m);

// Temperature: ToolTemp on nodes that touch the tools, else BilletTemp.
void InitialTemperatures(const VariantSetup& setup, MeshRecord& m);

// Velocity scale of the boundary node records,
// |(1 - f)^2 |c| + 0.1 |RamSpeed||, c the mean axial speed of the node's
// zone.  Stops with "error in dVp0" when nPiecesA is not 1, 2 or 3.
void VelocityScale(const VariantSetup& setup, const SectionSet& sections, const AxialLayout& layout,
                   MeshRecord& m);

// Relaxes the z of interior corner nodes to the mean of their element's
// bottom or top corners and puts interior mid-edge nodes halfway between
// their corners (at most 20 sweeps, stop at a change <= 1e-4).
void RelaxZ(Mesh3d& g);

// Driver (boundary.cpp).

// Steps after the reordering of the mesh, up to the die-face correction:
// classification, four-piece adjustment (nPiecesRead = 4, nPiecesB = 0),
// boundary faces, surface measures, frames, nodal normals, symmetry planes,
// initial velocities and the edge rounding.
void BoundaryDataFirst(MeshRecord& m, InpDat& d, const ElementTables& tab, bool multiPiece,
                       int nPiecesRead);

// Steps after the die-face correction: surface measures, frames and nodal
// normals again, zone factors, end velocities, plane codes, the symmetry
// planes once more when the ring between pieces 1 and 2 is unmeshed
// (ProfType 5 and 6 set that flag), initial temperatures, velocity scale
// and the z-relaxation.
void BoundaryDataSecond(const VariantSetup& setup, const AxialLayout& layout,
                        const ModelParams& model, const ElementTables& tab, SectionSet& sections,
                        MeshRecord& m);

// Both of the above in order (the die-face correction is not part of it).
void BoundaryData(MeshRecord& m, InpDat& d, const ElementTables& tab, bool multiPiece,
                  int nPiecesRead);
