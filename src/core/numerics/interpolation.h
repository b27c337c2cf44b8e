#pragma once
// Grid lookup and quadratic interpolation on the polar field grid.
//
// The loop fields are computed only at the nodes of a polar grid (radii r_k,
// angles phi_j). Between nodes they are interpolated by parabolas through
// three consecutive nodes, first along the radius, then along the angle:
//     y = A*x^2 + B*x + C   through (x_k, y_k), (x_k+1, y_k+1), (x_k+2, y_k+2).
// The parabola is exact for any quadratic and reduces to the straight line for
// collinear nodes. The monomial form loses about log10(x^2/dx^2) digits when
// the abscissae lie far from 0 relative to their spacing; on the grids of this
// system (radii 0..a few km, angles 0..2 pi) that leaves ample accuracy.
//
// Units follow the caller: radii in m, angles in rad in [0, 2 pi].
// All functions are free of hidden state: caches and tables are the caller's.

#include <array>
#include <concepts>
#include <cstddef>
#include <span>

#include "numerics/perpendicular_field.h"

namespace kvo::core {

// Coefficients of y = a*x^2 + b*x + c.
struct ParabolaCoefficients {
  double a = 0.0;
  double b = 0.0;
  double c = 0.0;

  constexpr double operator()(double x) const { return a * x * x + b * x + c; }
};

// The parabola through (x0, y0), (x1, y1), (x2, y2) by Cramer's rule:
//     den = x0^2 (x1 - x2) + x1^2 (x2 - x0) + x2^2 (x0 - x1)
//         = (x0 - x1)(x1 - x2)(x0 - x2)   (nonzero for distinct abscissae)
//     A = ((x1 - x2) y0 + (x2 - x0) y1 + (x0 - x1) y2) / den
//     B = (x0^2 (y1 - y2) + x1^2 (y2 - y0) + x2^2 (y0 - y1)) / den
//     C = (x0^2 (x1 y2 - x2 y1) + x1^2 (x2 y0 - x0 y2) + x2^2 (x0 y1 - x1 y0)) / den
// The abscissae must be pairwise distinct (asserted).
ParabolaCoefficients ParabolaThrough3(double x0, double x1, double x2, double y0, double y1,
                                      double y2);

// Output rows of a parabola table: entry k holds the parabola through nodes
// k, k+1, k+2.
struct ParabolaRow {
  std::span<double> a;
  std::span<double> b;
  std::span<double> c;
};

// Parabolas through consecutive triples of the n = x.size() >= 3 nodes
// (x[k], y[k]): entries k = 0..n-3 of `out`, and entry n-2 a copy of entry
// n-3 so that every segment k = 0..n-2 has a parabola. y needs at least n
// values, each row of `out` at least n-1. Returns 0 (it cannot fail).
int ParabolaTable(std::span<const double> x, std::span<const double> y, const ParabolaRow& out);

// Radial parabola coefficients of all field quantities on a polar grid:
// [set 0..11][angle node 0..100][radial segment 0..75]. Sets come in pairs
// (s for the first quantity, s + 1 for the second). About 2.2 MB: the
// caller allocates it (one per computation), e.g. with std::make_unique.
inline constexpr std::size_t kParabolaSets = 14;
inline constexpr std::size_t kParabolaNodes = 101;
inline constexpr std::size_t kParabolaColumns = 76;
using ParabolaPlane =
    std::array<std::array<std::array<double, kParabolaColumns>, kParabolaNodes>, kParabolaSets>;
struct ParabolaTables {
  ParabolaPlane a;
  ParabolaPlane b;
  ParabolaPlane c;
};

// The angular parabolas of the last InterpolateField2D call, one per caller
// (per thread). Keyed on everything they depend on.
struct InterpolationCache {
  bool valid = false;
  std::size_t set = 0;
  std::size_t column = 0;
  std::size_t node = 0;
  double x = 0.0;
  ParabolaCoefficients first;
  ParabolaCoefficients second;
};

struct FieldPair {
  double first = 0.0;
  double second = 0.0;
};

// Two-dimensional quadratic interpolation of the quantity pair (set, set + 1)
// at radius x and angle a:
// 1. node = min(node, len - 3), len = q.size(). For i = 0..2 evaluate the
//    radial parabolas of radial segment `column` at angle node node + i at x;
//    fit the angular parabolas through (q[node + i], value) for both sets.
// 2. Evaluate both angular parabolas at a.
// Step 1 is skipped when `cache` holds the parabolas of the same set, column,
// node and x. q holds the angle nodes (3 <= len <= 101).
FieldPair InterpolateField2D(const ParabolaTables& tables, std::size_t set, std::size_t column,
                             double x, double a, std::size_t node, std::span<const double> q,
                             InterpolationCache& cache);

struct PolarLocation {
  double radius = 0.0;  // m
  double phi = 0.0;     // rad, in [0, 2 pi)
  std::size_t ir = 0;   // first of three radial nodes around radius, 0..nr-3
  std::size_t ia = 0;   // first of three angle nodes around phi, 0..na-3
};

// Locates the point at distance rho and angle t (rad) from the centre
// (cx, cy) on a polar grid centred on the origin:
//     x = rho cos t + cx,  y = rho sin t + cy,  R = sqrt(x^2 + y^2),
//     phi = atan(y/x) (+ pi for x < 0, then + 2 pi while negative);
//     x = 0: pi/2 for y >= 0, else 3 pi/2.
// ir = (first k minimising |R - radii[k]|) - 1, raised to 0 and lowered to
// nr - 3; ia likewise over the angles. nr = radii.size() >= 3,
// na = angles.size() >= 3.
PolarLocation LocatePolar(double rho, double t, double cx, double cy, std::span<const double> radii,
                          std::span<const double> angles);

// A table plane indexable as plane[point][component][angle][slot] (e.g. the
// real or the imaginary plane of the slice field table, nested std::arrays).
template <class Plane>
concept FieldTablePlane = requires(const Plane& plane, std::size_t i) {
  { plane[i][i][i][i] } -> std::convertible_to<double>;
};

// The two components, perpendicular to the geomagnetic field, of the field
// stored at [point][.][angle][slot] of a slice field table given as its real
// and imaginary planes (inclination in rad):
//     u = (cos I re.z + sin I re.x, cos I im.z + sin I im.x),  v = (re.y, im.y).
template <FieldTablePlane Plane>
PerpendicularComponents TableFieldAtNode(const Plane& re, const Plane& im, std::size_t point,
                                         std::size_t angle, double inclination, std::size_t slot) {
  ComplexField field;
  for (std::size_t j = 0; j < 3; ++j) {
    field.re[j] = re[point][j][angle][slot];
    field.im[j] = im[point][j][angle][slot];
  }
  return PerpendicularPlaneComponents(inclination, field);
}

// Number of sub-steps for the grid stretch start..end: with the step
// measures m1, m2 of the two loops (the radial ones for radial counts, the
// angular ones for angular counts),
//     n(i) = trunc(floor(max(m1[i], m2[i])) + 1),
// the maximum of n(i) over i = start..end (inclusive) when end >= start + 2,
// else n(start). Step measures are finite and >= 0.
int SubdivisionCount(std::size_t start, std::size_t end, std::span<const double> m1,
                     std::span<const double> m2);

}  // namespace kvo::core
