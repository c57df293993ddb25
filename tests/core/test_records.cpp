#include <gtest/gtest.h>

#include "core/records.h"

TEST(NodeCodes, BoundaryKindsAndToolContactAgree) {
  // Corner codes 64..74 and mid-side codes 0..10 of every kind.
  for (int kind = 0; kind <= 10; ++kind)
    for (const int code : {kind, 64 + kind}) {
      EXPECT_EQ(KindOfCode(code), kind) << code;
      EXPECT_EQ(IsBoundaryCode(code), kind != 0) << code;
      // Only boundary nodes touch the tools; interior ones never do.
      if (TouchesTools(code)) {
        EXPECT_TRUE(IsBoundaryCode(code)) << code;
      }
    }
  EXPECT_FALSE(TouchesTools(64 + 1));  // free profile surface
  EXPECT_FALSE(TouchesTools(5));       // symmetry plane
  EXPECT_TRUE(TouchesTools(64 + 9));   // die face
}

TEST(DefaultNodalFields, SizesToTheMeshAndSetsTheStartValues) {
  MeshRecord m;
  m.g.nh = 7;
  m.fld.assign(kNumFld, 3, 5.0f);  // stale fields of another mesh
  DefaultNodalFields(m);
  ASSERT_EQ(m.fld.rows, kNumFld);
  ASSERT_EQ(m.fld.cols, 7);
  for (int i = 1; i <= 7; ++i)
    for (int k = 1; k <= kNumFld; ++k) {
      const float want = k == kFldT ? 20.0f : (k == kFldVisc || k == kFldStress ? 1.0f : 0.0f);
      EXPECT_EQ(m.fld(k, i), want) << "field " << k << " node " << i;
    }
}

TEST(IsWedge, BitZeroOfTheTypeCode) {
  Mesh3d g;
  g.ne = 4;
  g.etype.v = {-1, 0, 1, 2};
  EXPECT_TRUE(IsWedge(g, 1));
  EXPECT_FALSE(IsWedge(g, 2));
  EXPECT_TRUE(IsWedge(g, 3));
  EXPECT_FALSE(IsWedge(g, 4));
}
