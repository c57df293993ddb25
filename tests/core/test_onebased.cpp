#include <gtest/gtest.h>

#include "core/console.h"
#include "core/onebased.h"

TEST(OneBased, MatrixIsColumnMajorAndOneBased) {
  Mat1<int> m(3, 2);
  int k = 0;
  for (int j = 1; j <= 2; ++j)
    for (int i = 1; i <= 3; ++i) m(i, j) = ++k;
  // Columns are contiguous: column 2 starts right after column 1.
  EXPECT_EQ(m.col(2)[0], 4);
  EXPECT_EQ(m.data()[2], m(3, 1));
  Vec1<double> v(4, 1.5);
  v(4) = 2.0;
  EXPECT_EQ(v.v.back(), 2.0);
  Fix1<int, 3> f;
  f(3) = 7;
  EXPECT_EQ(f.a[2], 7);
}

TEST(ConsoleLine, StartsWithBlankAndAppendsValues) {
  TextLine line("Run_gr_2d: nh=");
  line << 12 << " ne=" << 5 << " Krit=" << 1.25;
  EXPECT_EQ(line.str(), " Run_gr_2d: nh=12 ne=5 Krit=1.25");
  EXPECT_EQ(FormatReal(0.1), "0.1");
  EXPECT_EQ(FormatReal(1.0 / 0.0), "Infinity");
}
