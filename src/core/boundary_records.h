#pragma once
// Boundary records of a volume mesh: one record per boundary node, one list
// of boundary faces per element and one record per boundary face with the
// surface measure and the local frame at each of its integration points.
// The flow and heat solvers integrate friction, heat exchange and the normal
// resistance over these records.

#include <cassert>
#include <cstdint>

#include "core/onebased.h"

// Largest number of boundary faces of one element (a wedge has five faces).
inline constexpr int kMaxElemFaces = 5;
// Point arrays of a boundary face and the largest number of points of a face.
inline constexpr int kFaceArrays = 14;
inline constexpr int kFacePtMax = 9;

// Array numbers of BndFace::v(k, p).
inline constexpr int kBfT1 = 1;       // 1..3: first unit tangent t1 (x, y, z)
inline constexpr int kBfN = 4;        // 4..6: unit outward normal n (x, y, z); t1 x t2 = n
inline constexpr int kBfT2 = 7;       // 7..9: second unit tangent t2 (x, y, z)
inline constexpr int kBfSigmaN = 10;  // normal stress n.sigma.n at the point, MPa (force evaluation)
inline constexpr int kBfWJ = 11;      // integration factor: weight x surface measure, mm^2
inline constexpr int kBfExit = 12;    // exit-face point value of the normal resistance (flow solver)
inline constexpr int kBfJac = 13;     // surface measure J: sum of weight x J over the points = face area
inline constexpr int kBfDefect = 14;  // orthonormality defect of the frame (0 for the axis-aligned frames)

// One boundary node (a node whose code is neither 0 nor 64), in node order.
struct BndNode {
  int32_t node = 0;       // node number, 1-based
  float factor = 0.0f;    // zone factor: friction factor m of the tool contact
  float nx = 0.0f;        // nodal unit outward normal, x
  float ny = 0.0f;        // nodal unit outward normal, y
  float nz = 0.0f;        // nodal unit outward normal, z
  float vnTarget = 0.0f;  // target normal speed of the exit-speed check, mm/s
  float vScale = 0.0f;    // velocity scale, later the regularised sliding speed, mm/s
  float sigmaN = 0.0f;    // normal stress n.sigma.n of the node, MPa (flow solve)
  float penalty = 0.0f;   // adjustment coefficient of the normal resistance
  float regFactor = 0.0f; // friction amplification of the speed regularisation, relaxed
                          // from one coupled iteration to the next (0: none yet)
};

// Boundary faces of one element.  Global face numbers run over the elements
// in element order and, inside an element, over its faces in local order.
struct FaceList {
  int8_t nf = 0;                         // number of boundary faces of the element, 0 if none
  Fix1<int32_t, kMaxElemFaces> face{};   // global face numbers (index into MeshRecord::faces), 1..nf
  Fix1<int8_t, kMaxElemFaces> local{};   // local face numbers (wedge 1..5, tetrahedron 1..4), 1..nf
};

// Per-element data of the solvers.
struct ElemData {
  FaceList fl;  // boundary faces of the element
};

// One boundary face with its values at the points of the face rule.
struct BndFace {
  int32_t elem = 0;   // element number, 1-based
  int8_t npt = 0;     // number of points: 9 on wedge faces 3..5, 7 otherwise
  int8_t local = 0;   // local face number
  float val[kFaceArrays][kFacePtMax] = {};  // point arrays, see kBf*; val[k-1][p-1]

  // Array k (1..14) at point p (1..npt).
  float& v(int k, int p) {
    assert(k >= 1 && k <= kFaceArrays && p >= 1 && p <= npt);
    return val[k - 1][p - 1];
  }
  float v(int k, int p) const {
    assert(k >= 1 && k <= kFaceArrays && p >= 1 && p <= npt);
    return val[k - 1][p - 1];
  }
};
