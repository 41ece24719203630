// Per-element reference geometry on the part: local frame, local corners, shape-function derivatives, area.
// Formed from the part coordinates (after the geometry blend, when the method runs it); the iteration
// never changes the part. Corner k (0-based) is the element's k-th connectivity
// entry; a triangle (node 3 = node 2) has 3 corners.
#pragma once
#include <array>
#include <cstdint>
#include <span>

#include "core/mesh.h"

namespace trevo {

struct ElementGeometry {
  int32_t corners = 0;                           // 3 or 4
  double e1[3] = {}, e2[3] = {}, e3[3] = {};     // orthonormal local frame; e3 is the unit normal
  double x[4] = {}, y[4] = {};                   // local corner coordinates (corner 0 at the origin, y[1] = 0)
  // Shape-function derivatives dN_k/dx, dN_k/dy in the local frame, in true length units, per set. They are
  // stored per element because the reference (the part) never changes: every evaluation then forms B from
  // them directly, with no Jacobian and no natural-coordinate scaling.
  // set 0: the triangle's constant derivatives or the quadrilateral's centre set (K1);
  // sets 1, 2: the quadrilateral's second (K2) and third (K3) sets; zero for a triangle.
  double dndx[3][4] = {}, dndy[3][4] = {};
  double area = 0.0;                             // area on the part (quadrilateral: 4 * centre determinant)
};

// An element matrix, 8 x 8 row-major; corner k (0-based) owns rows/columns 2k (global x) and 2k+1 (global y).
// A triangle uses rows and columns 0..5; the rest stays zero.
using ElementMatrix = std::array<double, 64>;

// Geometry of one element from its corner points p[k] = (x, y, z); corners = 3 or 4.
ElementGeometry element_geometry(const std::array<std::array<double, 3>, 4>& p, int32_t corners);

// Geometry of element e (0-based) of the part mesh; corner count from part.corners, else the connectivity.
ElementGeometry element_geometry(const Mesh& part, int32_t e);

// Corner coordinates of an element where it lies in the blank: X, Y in its plane, Z the height of the
// binder under it (zero for a flat blank); entries 3 unused for a triangle.
struct BlankCorners {
  double X[4] = {}, Y[4] = {}, Z[4] = {};
};

// Parts of up to this many elements keep each element's geometry as a record, which the element loops
// read instead of forming it again from the part at every evaluation (that costs about 8 % of an
// iteration). Larger parts form it each time: a record takes 344 bytes, more than any other array of
// the run, and without them a part of 400,000 elements stays below 1 KB per element at its peak.
inline constexpr int32_t kMostElementsWithGeometryRecords = 200000;

// How many geometry records a part of `elements` elements keeps: all of them, or none above the limit.
inline int32_t geometry_record_count(int32_t elements) {
  return elements <= kMostElementsWithGeometryRecords ? elements : 0;
}

// Geometry of every element into its record: out has part.ne records, or none (geometry_record_count).
void element_geometries(const Mesh& part, std::span<ElementGeometry> out);

// The geometry of element e: its record where the part keeps them (records not empty), else formed from
// the part. Both give the same numbers.
inline ElementGeometry element_geometry(std::span<const ElementGeometry> records, const Mesh& part, int32_t e) {
  return records.empty() ? element_geometry(part, e) : records[e];
}

}  // namespace trevo
