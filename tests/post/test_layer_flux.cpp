// Volume flux by element layer on a box of wedges carrying a
// divergence-free quadratic velocity field, for which the quadratic
// elements are exact: v = (c x, c y, -U (1 + x/2) - 2 c z).  The layer from
// z0 to z1 then carries -(1/h) integral of vz dV = U b (a + a^2/4) +
// c (z0 + z1) a b, which changes from layer to layer by what leaves through
// the sides (c != 0), and each half x < a/2, x > a/2 its share.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "post/layer_flux.h"
#include "support/element_tables.h"
#include "support/wedge_box.h"

namespace {

// The nodes of the box's cross-section lattice with x0 <= x <= x1 as a
// piece (coordinates only).
Mesh2d LatticePiece(int m, double a, double b, double x0, double x1) {
  Mesh2d p;
  std::vector<Point2> pts;
  for (int I = 0; I <= 2 * m; ++I)
    for (int J = 0; J <= 2 * m; ++J) {
      const double x = a * I / (2.0 * m), y = b * J / (2.0 * m);
      if (x >= x0 - 1e-9 && x <= x1 + 1e-9) pts.push_back({x, y});
    }
  p.nh = static_cast<int32_t>(pts.size());
  p.xy.assign(pts.size());
  for (int i = 1; i <= p.nh; ++i) p.xy(i) = pts[static_cast<std::size_t>(i - 1)];
  return p;
}

}  // namespace

TEST(LayerFlux, QuadraticFieldGivesTheExactFluxOfEveryLayerAndPiece) {
  const int m = 2, nz = 3;
  const double a = 2.0, b = 1.0, H = 3.0, U = 5.0;
  for (double c : {0.0, 0.25}) {
    MeshRecord mesh;
    BuildWedgeBox(mesh.g, m, nz, a, b, H, true);
    mesh.fld.assign(kNumFld, mesh.g.nh, 0.0f);
    for (int n = 1; n <= mesh.g.nh; ++n) {
      const double x = mesh.g.xyz(1, n), y = mesh.g.xyz(2, n), z = mesh.g.xyz(3, n);
      mesh.fld(kFldVx, n) = static_cast<float>(c * x);
      mesh.fld(kFldVx + 1, n) = static_cast<float>(c * y);
      mesh.fld(kFldVz, n) = static_cast<float>(-U * (1.0 + 0.5 * x) - 2.0 * c * z);
    }
    Vec1<Mesh2d> pieces;
    pieces.assign(2);
    pieces(1) = LatticePiece(m, a, b, 0.0, a / 2);  // the halves share the nodes of x = a/2
    pieces(2) = LatticePiece(m, a, b, a / 2, a);
    std::vector<LayerFlux> layers;
    int skipped = -1;
    // The die level at 2: the lowest two layers are profile layers.
    LayerFluxes(mesh, Tables().Wedge15, pieces, 2, 2.0, layers, skipped);
    EXPECT_EQ(skipped, 0);
    ASSERT_EQ(layers.size(), 3u);
    for (std::size_t k = 0; k < layers.size(); ++k) {
      const LayerFlux& L = layers[k];
      const double z0 = H * (nz - 1 - k) / nz, z1 = z0 + H / nz;  // ordered from the top
      EXPECT_NEAR(L.zLow, z0, 1e-12);
      EXPECT_NEAR(L.zHigh, z1, 1e-12);
      EXPECT_NEAR(L.area, a * b, 1e-12);
      EXPECT_NEAR(L.flux, U * b * (a + a * a / 4) + c * (z0 + z1) * a * b, 1e-5) << "layer " << k << " c " << c;
      EXPECT_EQ(L.profile, k > 0);
      ASSERT_EQ(L.pieceFlux.size(), L.profile ? 2u : 0u);
      if (!L.profile) continue;
      const double lat = c * (z0 + z1) * (a / 2) * b;  // each half's lateral term
      EXPECT_NEAR(L.pieceFlux[0], U * b * (a / 2 + a * a / 16) + lat, 1e-5);
      EXPECT_NEAR(L.pieceFlux[1], U * b * (a / 2 + 3 * a * a / 16) + lat, 1e-5);
      EXPECT_NEAR(L.pieceArea[0] + L.pieceArea[1], a * b, 1e-12);
    }
  }
}
