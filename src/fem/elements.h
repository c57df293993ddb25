#pragma once
// Element library: the 15-node wedge, the 10-node tetrahedron and the 6-node
// triangle with their shape functions, local derivatives and integration
// rules, plus one integration rule per face of each volume element.
//
// The tables are built once per run by iniELEM and are read-only afterwards,
// so every variant thread may read them concurrently without locks.  All
// per-point arrays are column-major (node index first, point index second):
// the values of all nodes at one point are contiguous.

#include <array>
#include <cstdint>

#include "core/onebased.h"

using LocalPoint = std::array<double, 4>;  // local coordinates of a point, see ElemType

// Node and point counts of the element types.
inline constexpr int kWedgeNodes = 15;
inline constexpr int kWedgeCorners = 6;
inline constexpr int kWedgePoints = 42;
inline constexpr int kTetNodes = 10;
inline constexpr int kTetCorners = 4;
inline constexpr int kTetPoints = 14;
inline constexpr int kTriNodes = 6;
inline constexpr int kTriCorners = 3;
inline constexpr int kTriPoints = 7;
inline constexpr int kTriEdgePoints = 15;

// One element type with its integration rule.
//
// Local coordinates, four values per point:
//   Wedge15: (L1, L2, L3, zeta), area coordinates of the triangle and the
//            axial coordinate zeta in [-1, 1];
//   Tet10:   (L1, L2, L3, L4), volume coordinates;
//   Tri6, Tri6Edge: (L1, L2, L3, 0).
// Derivatives are taken with respect to the independent coordinates
// xi = L1, eta = L2 and (wedge) zeta or (tetrahedron) L3; the last area or
// volume coordinate is 1 minus the others.
struct ElemType {
  int32_t nn = 0;           // number of nodes
  int32_t nv = 0;           // number of vertex (corner) nodes
  int32_t ngp = 0;          // number of integration points
  Mat1<double> dN1;         // (nn, ngp) dN/dxi at each point
  Mat1<double> dN2;         // (nn, ngp) dN/deta at each point
  Mat1<double> dN3;         // (nn, ngp) derivative by the third coordinate (zero for triangles)
  Mat1<double> N;           // (nn, ngp) shape function values
  Vec1<LocalPoint> gp;      // (ngp) local coordinates of the points
  Vec1<LocalPoint> nodept;  // (nn) a sample point inside the element next to each node (Wedge15 only, else zero)
  Vec1<double> w;           // (ngp) integration weights
  Mat1<double> L;           // (nv, ngp) vertex (linear) functions, the pressure functions of the flow element
  Mat1<double> dL1;         // (nv, ngp) dL/dxi (Wedge15 only, else empty)
  Mat1<double> dL2;         // (nv, ngp) dL/deta (Wedge15 only, else empty)
  Mat1<double> dL3;         // (nv, ngp) dL/dzeta (Wedge15 only, else empty)
};

// Integration rule of one face of a volume element, expressed in the local
// coordinates of the parent element, with the parent's functions at its points.
struct FaceRule {
  int8_t npt = 0;           // number of points: 7 on a triangular face, 9 on a quadrilateral face
  int8_t nfn = 0;           // number of face nodes: 6 or 8
  Vec1<LocalPoint> gp;      // (npt) points in the parent element's local coordinates
  Vec1<double> w;           // (npt) weights (sum 1/2 on a triangular face, 1 on a quadrilateral face)
  Mat1<double> dN1;         // (nn, npt) parent function derivatives at the face points
  Mat1<double> dN2;         // (nn, npt)
  Mat1<double> dN3;         // (nn, npt)
  Mat1<double> N;           // (nn, npt) parent function values at the face points
  Fix1<int8_t, 8> fnode{};  // local node numbers of the face: corners first, then mid-side nodes (1..nfn)
};

// The run-wide element tables.
struct ElementTables {
  ElemType Wedge15;                // 15-node wedge, 42 points
  ElemType Tet10;                  // 10-node tetrahedron, 14 points
  ElemType Tri6;                   // 6-node triangle, 7-point area rule
  ElemType Tri6Edge;               // 6-node triangle, 5 points on each of the 3 edges
  Fix1<FaceRule, 5> Wedge15Faces;  // faces 1, 2 triangular (bottom, top), 3..5 quadrilateral
  Fix1<FaceRule, 5> Tet10Faces;    // faces 1..4 filled; face k lies opposite vertex 5 - k
};

// Local node order of the wedge.  Nodes 1-3 bottom corners (zeta = -1),
// 4-6 top corners above them, 7, 8, 9 mid-sides of the bottom edges 1-3, 1-2,
// 2-3; 10, 11, 12 mid-points of the vertical edges; 13, 14, 15 mid-sides of
// the top edges 4-6, 4-5, 5-6.  The two corner nodes of each mid-side node:
inline constexpr int kWedgeEdge[9][2] = {{1, 3}, {1, 2}, {2, 3}, {1, 4}, {2, 5},
                                         {3, 6}, {4, 6}, {4, 5}, {5, 6}};
// Tetrahedron: nodes 5..10 are the mid-points of the edges 1-2, 2-3, 1-3,
// 1-4, 2-4, 3-4.
inline constexpr int kTetEdge[6][2] = {{1, 2}, {2, 3}, {1, 3}, {1, 4}, {2, 4}, {3, 4}};
// Triangle: nodes 4, 5, 6 are the mid-sides of the edges 3-1, 1-2, 2-3.
inline constexpr int kTriEdge[3][2] = {{3, 1}, {1, 2}, {2, 3}};

// Face node lists (corners first, then mid-side nodes).
inline constexpr int kWedgeFaceNodes[5][8] = {{3, 2, 1, 7, 9, 8, 0, 0},
                                              {4, 5, 6, 13, 14, 15, 0, 0},
                                              {1, 2, 5, 4, 8, 11, 14, 10},
                                              {1, 4, 6, 3, 10, 13, 12, 7},
                                              {2, 3, 6, 5, 9, 12, 15, 11}};
inline constexpr int kTetFaceNodes[4][6] = {{1, 2, 3, 5, 6, 7},
                                            {1, 4, 2, 8, 9, 5},
                                            {1, 3, 4, 7, 10, 8},
                                            {2, 4, 3, 9, 10, 6}};

// Fills every table: allocation and zeroing, Tri6 and Tri6Edge, Tet10,
// Wedge15, then the two face tables.
void iniELEM(ElementTables& tab);

// The 15 wedge functions N and their derivatives by L1 and L2 (at fixed zeta,
// L3 = 1 - L1 - L2) and by zeta at the local point p = (L1, L2, L3, zeta).
void ShapeWedge15At(const LocalPoint& p, double N[15], double d1[15], double d2[15], double d3[15]);
// The same, stored in column k of the four (15, *) arrays.
void ShapeWedge15(const LocalPoint& p, int k, Mat1<double>& dN1, Mat1<double>& dN2,
                  Mat1<double>& dN3, Mat1<double>& N);

// The 10 tetrahedron functions and their derivatives by L1, L2, L3
// (L4 = 1 - L1 - L2 - L3) at the local point p = (L1, L2, L3, L4).
void ShapeTet10At(const LocalPoint& p, double N[10], double d1[10], double d2[10], double d3[10]);
void ShapeTet10(const LocalPoint& p, int k, Mat1<double>& dN1, Mat1<double>& dN2,
                Mat1<double>& dN3, Mat1<double>& N);

// The 6 triangle functions and their derivatives by L1 and L2
// (L3 = 1 - L1 - L2) at p = (L1, L2, L3, 0).
void ShapeTri6At(const LocalPoint& p, double N[6], double d1[6], double d2[6]);

// Determinant of the Jacobian of the isoparametric map x(xi) of one element
// at integration point ip of the element type et,
//   J(m, i) = sum_a dN_m(a, ip) x_i(a),   m = xi, eta, zeta (or L3),
// with its sign: negative where the local node order is left-handed in
// space.  xyz holds the et.nn node coordinates in the local node order.
double JacobianDet(const ElemType& et, int ip, const double xyz[][3]);
