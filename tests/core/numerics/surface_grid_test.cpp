#include "numerics/surface_grid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "numerics/constants.h"

namespace kvo::core {
namespace {

struct GridCase {
  int type;
  double size, halfSeparation;
  int angles;    // E
  double scale;  // m
};

const GridCase kGridCases[] = {
    {1, 50.0, 0.0, 33, 25.0},
    {1, 37.6, 0.0, 33, 18.8},  // the real size, not whole metres
    {2, 50.0, 0.0, 33, 1.21 * 25.0},
    {3, 80.0, 10.0, 61, 40.0},                  // a/8 = c: the half size
    {3, 80.0, 10.5, 61, (80.0 + 10.5) * 1.21},  // a/8 < c
    {4, 40.0, 2.0, 61, 1.21 * 20.0},
    {4, 40.0, 6.0, 61, (40.0 + 6.0) * 1.21},  // a/8 < c
};

void expectStrictlyIncreasing(const SurfaceGrid& g, std::size_t from, std::size_t to) {
  for (std::size_t i = from + 1; i <= to; ++i) EXPECT_LT(g.radii[i - 1], g.radii[i]) << "radius " << i;
}

void expectFullTurn(const SurfaceGrid& g, int count) {
  const auto e = static_cast<std::size_t>(count);
  EXPECT_EQ(g.angles[0], 0.0);
  EXPECT_NEAR(g.angles[e - 1], 2.0 * kPi, 1e-14);
  for (std::size_t i = 1; i < e; ++i)
    EXPECT_NEAR(g.angles[i] - g.angles[i - 1], 2.0 * kPi / (count - 1), 1e-14);
}

TEST(MakeSurfaceGrid, AnglesAndRadiiOfEveryLoopType) {
  const double h = std::numbers::sqrt2 / 2.0;  // cos(pi/4)
  for (const GridCase& c : kGridCases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << ", a " << c.size << ", c " << c.halfSeparation);
    SurfaceGrid g;
    ASSERT_EQ(MakeSurfaceGrid(c.type, c.size, g, c.halfSeparation), 0);
    ASSERT_EQ(g.angleCount, c.angles);
    expectFullTurn(g, c.angles);
    EXPECT_EQ(g.radii[0], 0.0);
    const double a = c.size;
    const double m = c.scale;
    const double tol = 1e-9 * (a + m);

    if (c.type <= 2) {
      // Three bands ending at m (node 30), a (node 52) and 5a (node 74); the
      // cosine spacing puts node 10 at m cos(pi/3), nodes 15, 41 and 63 at pi/4.
      expectStrictlyIncreasing(g, 0, 74);
      EXPECT_DOUBLE_EQ(g.radii[30], m);
      EXPECT_NEAR(g.radii[52], a, tol);
      EXPECT_NEAR(g.radii[74], 5.0 * a, tol);
      EXPECT_NEAR(g.radii[10], m / 2.0, tol);
      EXPECT_NEAR(g.radii[15], m * h, tol);
      EXPECT_NEAR(g.radii[41], a + (m - a) * h, tol);
      EXPECT_NEAR(g.radii[63], 5.0 * a - 4.0 * a * h, tol);
      continue;
    }
    // Eights: a half cosine from 0 to 2m over nodes 0..49 (symmetric about m),
    // continued over nodes 50..59 with the steps of the first nodes (the first
    // step doubled).
    expectStrictlyIncreasing(g, 0, 74);
    EXPECT_NEAR(g.radii[49], 2.0 * m, tol);
    for (std::size_t i = 0; i <= 49; ++i) EXPECT_NEAR(g.radii[i] + g.radii[49 - i], 2.0 * m, tol) << i;
    EXPECT_NEAR(g.radii[50] - g.radii[49], 2.0 * g.radii[1], tol);
    for (std::size_t j = 1; j <= 9; ++j)
      EXPECT_NEAR(g.radii[50 + j] - g.radii[49 + j], g.radii[j + 1] - g.radii[j], tol);
    // Nodes 60..74: a geometric series from X = 2 r[59] - r[58] (the inner
    // bands extended by one step) to exactly 6m, ratio q = (6m/X)^(1/14).
    const double x = 2.0 * g.radii[59] - g.radii[58];
    const double q = std::pow(6.0 * m / x, 1.0 / 14.0);
    for (std::size_t i = 61; i <= 74; ++i) EXPECT_NEAR(g.radii[i] / g.radii[i - 1], q, 1e-12) << i;
    EXPECT_NEAR(g.radii[60], x, tol);
    EXPECT_NEAR(g.radii[74], 6.0 * m, tol);
  }
}

TEST(MakeSurfaceGrid, UnknownTypeKeepsTheAngleCountAndRadii) {
  for (int type : {0, 5, -2}) {
    for (int count : {33, 40, 61}) {
      SCOPED_TRACE(testing::Message() << "type " << type << ", count " << count);
      SurfaceGrid g;
      g.angleCount = count;
      g.radii.fill(3.0);
      EXPECT_EQ(MakeSurfaceGrid(type, 50.0, g, 0.0), 0);
      EXPECT_EQ(g.angleCount, count);
      expectFullTurn(g, count);
      EXPECT_EQ(g.radii[0], 0.0);
      for (std::size_t i = 1; i < kSurfaceRadialNodes; ++i) EXPECT_EQ(g.radii[i], 3.0) << i;
    }
  }
}

}  // namespace
}  // namespace kvo::core
