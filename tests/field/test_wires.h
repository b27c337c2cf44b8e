#pragma once
// Wires and small helpers shared by the field tests.

#include <cmath>
#include <numbers>
#include <vector>

#include "layered_earth_field.h"
#include "reference_field.h"

namespace kvo::field::testing {

// Closed regular polygon of `segments` sides, vertex i at angle 2πi/S on a
// circle of radius r, at depth z (the loop wire of the computation).
inline std::vector<Vec3> polygonWire(int segments, double r, double z = 0.01) {
  std::vector<Vec3> wire;
  for (int i = 0; i <= segments; ++i) {
    const double a = 2.0 * std::numbers::pi * (i % segments) / segments;
    wire.push_back({r * std::cos(a), r * std::sin(a), z});
  }
  return wire;
}

inline std::vector<Point3> referenceWire(const std::vector<Vec3>& wire) {
  std::vector<Point3> out;
  for (const Vec3& v : wire) out.push_back({v.x, v.y, v.z});
  return out;
}

inline double magnitude(const FieldVector& h) {
  return std::sqrt(std::norm(h[0]) + std::norm(h[1]) + std::norm(h[2]));
}

// Largest difference of the real and imaginary parts of two fields.
inline double maxDifference(const FieldVector& a, const std::array<Cplx, 3>& b) {
  double d = 0;
  for (std::size_t c = 0; c < 3; ++c) {
    d = std::max({d, std::abs(a[c].real() - b[c].real()), std::abs(a[c].imag() - b[c].imag())});
  }
  return d;
}

inline FieldVector fieldAt(const LayeredEarthField& f, const Vec3& p) {
  std::vector<FieldVector> out(1);
  const std::vector<Vec3> points{p};
  EXPECT_EQ(f.compute(points, out), FieldStatus::Ok);
  return out[0];
}

}  // namespace kvo::field::testing
