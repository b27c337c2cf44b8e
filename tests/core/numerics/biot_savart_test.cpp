// The free-space field of a wire polygon against closed forms.
#include "numerics/biot_savart.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace kvo::core {
namespace {

std::vector<Point3> regularPolygon(int sides, double radius, double z) {
  std::vector<Point3> v;
  for (int i = 0; i <= sides; ++i) {
    const double t = 2 * std::numbers::pi * (i % sides) / sides;
    v.push_back({radius * std::cos(t), radius * std::sin(t), z});
  }
  return v;
}

TEST(BiotSavart, PolygonsAgainstClosedForms) {
  const double pi = std::numbers::pi;
  // Square of side a (corners on the axes at a/sqrt2), centre: each side
  // gives sqrt2/(pi a), the four 2 sqrt2/(pi a), along +z (counter-clockwise
  // seen from above in a right-handed x, y, z frame).
  const double a = 10.0;
  const FieldVector centre = BiotSavartField(regularPolygon(4, a / std::sqrt(2.0), 0.0), {0, 0, 0});
  EXPECT_NEAR(centre[2], 2 * std::sqrt(2.0) / (pi * a), 1e-12);
  EXPECT_NEAR(std::hypot(centre[0], centre[1]), 0.0, 1e-15);
  // A 360-gon of radius R on its axis: the circle's R^2/(2 (R^2 + z^2)^1.5)
  // up to the polygon's area and perimeter (relative 1e-4).
  const double r = 3.0;
  for (const double z : {0.5, 3.0, 40.0}) {
    const FieldVector h = BiotSavartField(regularPolygon(360, r, 0.0), {0, 0, z});
    EXPECT_NEAR(h[2] / (r * r / (2 * std::pow(r * r + z * z, 1.5))), 1.0, 1e-4) << z;
  }
  // Next to one long straight segment: 1/(2 pi d) around the wire, the
  // direction by the right-hand rule (current along +x, point at +z below
  // it: field along -y... u x d = x x z = -y).
  const std::vector<Point3> line{{-1e4, 0, 0}, {1e4, 0, 0}};
  const FieldVector near = BiotSavartField(line, {0, 0, 0.05});
  EXPECT_NEAR(near[1], -1.0 / (2 * pi * 0.05), 1e-9);
  // On the segment's line: no field from it.
  EXPECT_EQ(BiotSavartField(line, {5, 0, 0})[1], 0.0);
}

}  // namespace
}  // namespace kvo::core
