#pragma once
// Test fixtures: outline descriptions of real extrusion layouts (round bar,
// strip, square bar, L-angle, U-channel, tee, three-zone layout, hollow tube, half model,
// four- and two-hole dies) for the tests of the cross-section and volume meshers.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

struct Fixture {
  std::string name;       // fixture name, also the file stem
  std::string outlines;   // outline description
  int profType = 1;       // process type
  std::vector<std::vector<int>> expected;  // per written mesh: +k adds, -k subtracts the area of outline k (file order)
};

// Half circle of radius r on x >= 0, closed along the y axis (x = 0), as an
// explicit point list: nSeg arc segments and one segment on the axis.
inline std::string HalfCircle(const std::string& name, double r, int nSeg) {
  std::string s = "outline " + name + "\npoints\n";
  char buf[80];
  for (int k = 0; k < 2 * nSeg; ++k) {
    const double a = -M_PI / 2 + M_PI * k / (2.0 * nSeg);
    std::snprintf(buf, sizeof buf, "%.9f %.9f\n", r * std::cos(a), r * std::sin(a));
    s += buf;
  }
  std::snprintf(buf, sizeof buf, "0 %.9f\n0 0\nend\n", r);
  return s + buf;
}

inline const std::vector<Fixture>& Fixtures() {
  static const std::vector<Fixture> f = {
      {"round", "outline WPIECE\ncircle 0 0 20\noutline RING1\ncircle 0 0 50\noutline CONT2\ncircle 0 0 100 24\n", 1,
       {{1}, {3}}},
      {"strip", "outline WPIECE\nrectangle 0 0 40 4\noutline RING1\ncircle 0 0 60\noutline CONT2\ncircle 0 0 120 24\n", 1,
       {{1}, {3}}},
      {"square", "outline WPIECE\nrectangle 0 0 20 20\noutline RING1\ncircle 0 0 60\noutline CONT2\ncircle 0 0 120 24\n", 1,
       {{1}, {3}}},
      {"angle",
       "outline WPIECE\npolygon -10 -10 20 -10 20 -7 -7 -7 -7 20 -10 20\noutline RING1\ncircle 0 0 70\n"
       "outline CONT2\ncircle 0 0 140 24\n",
       1, {{1}, {3}}},
      {"channel",
       "outline WPIECE\npolygon -20 -10 20 -10 20 10 17 10 17 -7 -17 -7 -17 10 -20 10\noutline RING1\ncircle 0 0 70\n"
       "outline CONT2\ncircle 0 0 140 24\n",
       1, {{1}, {3}}},
      {"tee",
       "outline WPIECE\npolygon -2.5 -29.26 2.5 -29.26 2.5 5.74 25 5.74 25 10.74 -25 10.74 -25 5.74 -2.5 5.74\n"
       "outline RING1\ncircle 0 0 84 16\noutline CONT2\ncircle 0 0 120 24\n",
       1, {{1}, {3}}},
      {"threezone", "outline WPIECE\ncircle 0 0 20\noutline RING1\ncircle 0 0 50\noutline CONT2\ncircle 0 0 100 24\n", 3,
       {{1}, {2}, {3}}},
      {"tube",
       "outline WPIECE\ncircle 0 0 30\noutline CORE3\ncircle 0 0 20\noutline RING1\ncircle 0 0 50\n"
       "outline CONT2\ncircle 0 0 100 24\n",
       1, {{1, -2}, {4, -2}}},
      {"half", HalfCircle("WPIECE", 10, 8) + HalfCircle("RING1", 25, 8) + HalfCircle("CONT2", 50, 12), 1, {{1}, {3}}},
      {"fourholes", "outline WPIECE\ncircle -20 -20 12\noutline HOLE1\ncircle 20 -20 12\noutline CONT2\ncircle 0 0 100 24\n"
       "outline HOLE3\ncircle 20 20 12\noutline HOLE4\ncircle -20 20 12\n", 7, {{0}, {0}, {0}, {0}, {3}}},
      {"twoholes",
       "outline WPIECE\ncircle -15 0 10\noutline HOLE1\ncircle 15 0 10\noutline CONT2\ncircle 0 0 100 24\n", 7,
       {{0}, {0}, {3}}},
  };
  return f;
}


// The fixture called `name`; an unknown name is a fault of the test.
inline const Fixture& FixtureNamed(const std::string& name) {
  for (const Fixture& f : Fixtures())
    if (f.name == name) return f;
  std::fprintf(stderr, "no profile fixture named %s\n", name.c_str());
  std::abort();
}
