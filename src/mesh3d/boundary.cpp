#include "mesh3d/boundary.h"

void BoundaryDataFirst(MeshRecord& m, InpDat& d, const ElementTables& tab, bool multiPiece,
                       int nPiecesRead) {
  if (multiPiece) ClassifyBoundaryMulti(m.g, d);
  else ClassifyBoundary(m.g, d);
  if (nPiecesRead == 4 && d.sections.nPiecesB == 0) FourPieceAdjust(m.g, d);
  if (!multiPiece) MandrelCodes(m.g, d);

  FindBoundaryFaces(m, tab);
  FaceJacobian(m, tab);
  Cos_N_ALL(m, tab);
  NodalNormals(m, d);
  SymmetryPlanes(m.g, d);
  InitialVelocities(m, d);

  if (multiPiece) {
    RoundEdgeMulti(m, d);
  } else {
    RoundEdge(m, d, 1);
    if (d.sections.nPiecesA == 3) RoundEdge(m, d, 2);
  }
}

void BoundaryDataSecond(MeshRecord& m, InpDat& d, const ElementTables& tab) {
  // The coordinates may have moved since the first pass.
  FaceJacobian(m, tab);
  Cos_N_ALL(m, tab);
  NodalNormals(m, d);
  ZoneFactors(m, d);
  EndVelocities(m, d);
  PlaneCodes(m.g, d);

  if (d.setup.ProfType == 5 || d.setup.ProfType == 6) d.sections.RingSym = 1;
  if (d.sections.RingSym == 1) SymmetryPlanes(m.g, d);

  InitialTemperatures(m, d);
  VelocityScale(m, d);
  RelaxZ(m.g);
}

void BoundaryData(MeshRecord& m, InpDat& d, const ElementTables& tab, bool multiPiece,
                  int nPiecesRead) {
  BoundaryDataFirst(m, d, tab, multiPiece, nPiecesRead);
  BoundaryDataSecond(m, d, tab);
}
