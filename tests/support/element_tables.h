#pragma once
// Test fixture: the run-wide element tables, built once per test program.

#include "fem/elements.h"

inline const ElementTables& Tables() {
  static const ElementTables tab = [] {
    ElementTables t;
    iniELEM(t);
    return t;
  }();
  return tab;
}
