// Test-only owner of DRAWBEAD lines: one row per bead, viewed as the eight columns of DrawbeadLines.
#pragma once
#include <vector>

#include "solver/tool_terms.h"

namespace trevo::test {

struct OwnedBeads {
  std::vector<double> v[8];
  void add(double r, double raise, double x1, double y1, double z1, double x2, double y2, double z2) {
    const double row[8] = {r, raise, x1, y1, z1, x2, y2, z2};
    for (int k = 0; k < 8; ++k) v[k].push_back(row[k]);
  }
  DrawbeadLines view() const { return {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]}; }
};

}  // namespace trevo::test
