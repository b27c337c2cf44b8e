#include "numerics/loop_wire.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace kvo::core {
namespace {

// Signed area of the closed polygon through vertices first..last (shoelace
// formula), positive for counter-clockwise order.
double shoelaceArea(const WireVertices& v, int first, int last) {
  double twice = 0.0;
  for (int i = first; i <= last; ++i) {
    const WireVertex& p = v[static_cast<std::size_t>(i)];
    const WireVertex& q = v[static_cast<std::size_t>(i == last ? first : i + 1)];
    twice += p[0] * q[1] - q[0] * p[1];
  }
  return 0.5 * twice;
}

double regularPolygonArea(int k, double r) { return 0.5 * k * r * r * std::sin(2.0 * std::numbers::pi / k); }

struct WireCase {
  int type;
  double size, halfSeparation;
  int segments;
  double radius;    // circumradius of the loop or of each part of an eight
  double partArea;  // analytic area of the loop or of each part
};

// The size is taken in whole metres (37.6 -> 37, 20.9 -> 20, 7.5 -> 7). A
// square of side s has half diagonal s sqrt(2)/2 and area s^2, and so has
// each diamond of an eight square.
constexpr double kHalfDiagonal = std::numbers::sqrt2 / 2.0;
const WireCase kWireCases[] = {
    {1, 20.0, 0.0, 30, 10.0, regularPolygonArea(30, 10.0)},
    {1, 37.6, 0.0, 30, 18.5, regularPolygonArea(30, 18.5)},
    {2, 20.9, 0.0, 4, 20.0 * kHalfDiagonal, 400.0},
    {3, 20.0, 2.0, 30, 10.0, regularPolygonArea(14, 10.0)},
    {3, 30.0, 0.0, 30, 15.0, regularPolygonArea(14, 15.0)},
    {4, 20.0, 3.0, 10, 20.0 * kHalfDiagonal, 400.0},
    {4, 7.5, 0.5, 10, 7.0 * kHalfDiagonal, 49.0},
};

TEST(LoopWire, ClosedPolygonsWithTheAnalyticArea) {
  for (const WireCase& c : kWireCases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << ", size " << c.size);
    LoopWireShape w;
    ASSERT_EQ(LoopWire(c.type, c.size, w, c.halfSeparation), 0);
    ASSERT_EQ(w.segmentCount, c.segments);
    const auto s = static_cast<std::size_t>(c.segments);
    EXPECT_EQ(w.vertices[s], w.vertices[0]);
    for (std::size_t i = 0; i < kMaxWireVertices; ++i) EXPECT_EQ(w.vertices[i][2], i <= s ? 0.01 : 0.0) << i;

    const double tol = 1e-9 * c.partArea;
    if (c.type <= 2) {
      EXPECT_NEAR(shoelaceArea(w.vertices, 0, c.segments - 1), c.partArea, tol);
      // Every vertex on the circumcircle, the first on the +x axis.
      EXPECT_DOUBLE_EQ(w.vertices[0][0], c.radius);
      EXPECT_EQ(w.vertices[0][1], 0.0);
      for (std::size_t i = 0; i < s; ++i)
        EXPECT_NEAR(std::hypot(w.vertices[i][0], w.vertices[i][1]), c.radius, 1e-12 * c.radius);
      continue;
    }
    // Eight: parts are vertices 0..K and K+1..2K+1, circulating in opposite
    // senses, so the whole wire encloses no net area.
    const int k = (c.segments - 2) / 2;
    const auto uk = static_cast<std::size_t>(k);
    EXPECT_NEAR(shoelaceArea(w.vertices, 0, k), c.partArea, tol);
    EXPECT_NEAR(shoelaceArea(w.vertices, k + 1, 2 * k + 1), -c.partArea, tol);
    EXPECT_NEAR(shoelaceArea(w.vertices, 0, c.segments - 1), 0.0, tol);
    // The second part mirrors the first across x = 0.
    for (std::size_t j = 0; j <= uk; ++j) {
      EXPECT_EQ(w.vertices[uk + 1 + j][0], -w.vertices[j][0]) << j;
      EXPECT_EQ(w.vertices[uk + 1 + j][1], w.vertices[j][1]) << j;
    }
    // The first part lies on the circle about (b + 0.01 + R, 0), from and back
    // to its inner point (b + 0.01, 0).
    const double centre = c.halfSeparation + 0.01 + c.radius;
    for (std::size_t j = 0; j <= uk; ++j) {
      EXPECT_NEAR(std::hypot(w.vertices[j][0] - centre, w.vertices[j][1]), c.radius, 1e-9) << j;
    }
    EXPECT_NEAR(w.vertices[0][0], c.halfSeparation + 0.01, 1e-9);
    EXPECT_NEAR(w.vertices[uk][0], c.halfSeparation + 0.01, 1e-9);
    EXPECT_NEAR(w.vertices[uk][1], 0.0, 1e-9);
  }
}

TEST(LoopWire, EightSquareVertexLayout) {
  LoopWireShape w;
  ASSERT_EQ(LoopWire(4, 12.0, w, 1.0), 0);
  ASSERT_EQ(w.segmentCount, 10);
  for (std::size_t i = 0; i <= 4; ++i) EXPECT_GT(w.vertices[i][0], 0.0) << i;
  for (std::size_t i = 5; i <= 9; ++i) EXPECT_LT(w.vertices[i][0], 0.0) << i;
  EXPECT_EQ(w.vertices[10], w.vertices[0]);
  EXPECT_EQ(w.vertices[10][0], -w.vertices[5][0]);  // vertex 10 also mirrors vertex 5
  // Outermost corners at +-(b + 0.01 + 2R).
  EXPECT_NEAR(w.vertices[2][0], 1.01 + 2.0 * 12.0 * kHalfDiagonal, 1e-9);
  EXPECT_NEAR(w.vertices[7][0], -(1.01 + 2.0 * 12.0 * kHalfDiagonal), 1e-9);
}

TEST(LoopWire, DegenerateAndUnknownLoops) {
  LoopWireShape w;
  ASSERT_EQ(LoopWire(1, 0.6, w, 0.0), 0);  // below 1 m: every vertex at the centre
  for (std::size_t i = 0; i <= 30; ++i) EXPECT_EQ(w.vertices[i], (WireVertex{0.0, 0.0, 0.01})) << i;

  for (int type : {0, 5, -1}) {
    w.segmentCount = 7;
    w.vertices[3] = {1.0, 2.0, 3.0};
    EXPECT_EQ(LoopWire(type, 20.0, w, 0.0), 1) << type;
    EXPECT_EQ(w.segmentCount, 7);
    EXPECT_EQ(w.vertices[3], (WireVertex{1.0, 2.0, 3.0}));
  }
}

}  // namespace
}  // namespace kvo::core
