// The free-space field of a wire polygon against closed forms.
#include "numerics/biot_savart.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
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

TEST(BiotSavart, RepeatedVerticesAndPointsOnCorners) {
  // Segments share their corners' distances: a repeated vertex (a segment
  // of zero length) must not shift them, and a point on a corner takes the
  // field of the segments not meeting there, finite.
  const std::vector<Point3> square = regularPolygon(4, 5.0, 0.0);
  std::vector<Point3> repeated = square;
  repeated.insert(repeated.begin() + 2, repeated[2]);
  repeated.insert(repeated.begin(), repeated[0]);
  for (const Point3& p : {Point3{1.0, 2.0, 0.3}, Point3{-7.0, 0.5, -2.0}}) {
    EXPECT_EQ(BiotSavartField(square, p), BiotSavartField(repeated, p));
  }
  const FieldVector atCorner = BiotSavartField(square, square[1]);
  const std::vector<Point3> farSides(square.begin() + 2, square.end());
  const FieldVector expected = BiotSavartField(farSides, square[1]);
  for (std::size_t c = 0; c < 3; ++c) EXPECT_NEAR(atCorner[c], expected[c], 1e-15) << c;
}

TEST(BiotSavart, BothFormsOfTheSumGiveTheSameBits) {
  // The kernel's bits must not depend on the processor: the AVX2 sum and
  // the plain one, over wires of 1 to 9 groups of segments (fillers
  // included) and points near, on and far from them.
#if defined(__x86_64__)
  if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "no AVX2 here";
  for (const int sides : {3, 4, 5, 8, 30, 33}) {
    const std::vector<Point3> corners = regularPolygon(sides, 50.0, 0.01);
    const BiotSavartWire wire(corners);
    std::vector<Point3> points{corners[1], {0.0, 0.0, 0.01}, {50.0, 0.0, 0.02}};
    for (int i = 0; i < 200; ++i) points.push_back({-120.0 + 1.3 * i, 37.0 * std::sin(0.7 * i), 0.05 * (i % 40)});
    for (const Point3& p : points) {
      const FieldVector plain = wire.atPlain(p), wide = wire.atWide(p);
      for (std::size_t c = 0; c < 3; ++c) {
        ASSERT_EQ(std::bit_cast<std::uint64_t>(plain[c]), std::bit_cast<std::uint64_t>(wide[c]))
            << sides << " sides, point " << p[0] << ' ' << p[1] << ' ' << p[2] << ", component " << c;
      }
    }
  }
#else
  GTEST_SKIP() << "one form only on this processor";
#endif
}

}  // namespace
}  // namespace kvo::core
