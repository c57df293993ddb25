#include "mesh3d/boundary.h"

void BoundaryDataFirst(MeshRecord& m, InpDat& d, const ElementTables& tab, bool multiPiece,
                       int nPiecesRead) {
  if (multiPiece) ClassifyBoundaryMulti(d.sections, d.layout, m.g);
  else ClassifyBoundary(d.sections, d.layout, m.g);
  if (nPiecesRead == 4 && d.sections.nPiecesB == 0)
    FourPieceAdjust(d.sections, d.layout, d.model, m.g);
  if (!multiPiece) MandrelCodes(d.sections, d.layout, m.g);

  FindBoundaryFaces(m, tab);
  FaceJacobian(m, tab);
  Cos_N_ALL(m, tab);
  NodalNormals(d.layout, m);
  SymmetryPlanes(d.sections, d.layout, m.g);
  InitialVelocities(d.setup, d.sections, d.layout, d.model, d.iter, m);

  if (multiPiece) {
    RoundEdgeMulti(d.layout, d.model, m);
  } else {
    RoundEdge(d.layout, d.model, 1, m);
    if (d.sections.nPiecesA == 3) RoundEdge(d.layout, d.model, 2, m);
  }
}

void BoundaryDataSecond(const VariantSetup& setup, const AxialLayout& layout,
                        const ModelParams& model, const ElementTables& tab, SectionSet& sections,
                        MeshRecord& m) {
  // The coordinates may have moved since the first pass.
  FaceJacobian(m, tab);
  Cos_N_ALL(m, tab);
  NodalNormals(layout, m);
  ZoneFactors(setup, sections, layout, m);
  EndVelocities(setup, sections, layout, m);
  PlaneCodes(sections, layout, model, m.g);

  if (setup.ProfType == 5 || setup.ProfType == 6) sections.RingSym = 1;
  if (sections.RingSym == 1) SymmetryPlanes(sections, layout, m.g);

  InitialTemperatures(setup, m);
  VelocityScale(setup, sections, layout, m);
  RelaxZ(m.g);
}

void BoundaryData(MeshRecord& m, InpDat& d, const ElementTables& tab, bool multiPiece,
                  int nPiecesRead) {
  BoundaryDataFirst(m, d, tab, multiPiece, nPiecesRead);
  BoundaryDataSecond(d.setup, d.layout, d.model, tab, d.sections, m);
}
