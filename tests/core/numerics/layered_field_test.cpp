#include "numerics/layered_field.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace kvo::core {
namespace {

// The wire of a circular loop: 30-gon at z = 0.01, closed.
std::vector<SpaceVector> circleWire(double r) {
  std::vector<SpaceVector> wire;
  for (int i = 0; i <= 30; ++i) {
    const double a = 2.0 * 3.14159265358979323846 * (i % 30) / 30;
    wire.push_back({r * std::cos(a), r * std::sin(a), 0.01});
  }
  return wire;
}

struct FieldCall {
  std::vector<SpaceVector> wire = circleWire(25.0);
  std::vector<double> resistivities{1e8, 1e10};
  std::vector<double> bottoms{0.02, 0.0};
  std::vector<SpaceVector> points;
  LayeredFieldRequest request() const {
    LayeredFieldRequest r;
    r.segmentCount = 30;
    r.frequency = 2000.0;
    r.wire = wire;
    r.layerCount = 2;
    r.resistivities = resistivities;
    r.bottoms = bottoms;
    r.pointCount = static_cast<int>(points.size());
    r.points = points;
    return r;
  }
};

// A component of the tests' own: records the block and the path, writes a
// chosen status and outputs 100·point + component.
struct Recorder {
  static inline std::vector<float> block;
  static inline std::string path;
  static inline float status = 0.0f;
  static void entry(FieldBlock b, std::string_view p) {
    block.assign(b.begin(), b.end());
    path = std::string(p);
    const auto m = static_cast<std::size_t>(b[2]);
    b[0] = status;
    for (std::size_t i = 0; i < 6 * m; ++i) b[1 + i] = static_cast<float>(100 * (i / 6) + i % 6);
  }
};

TEST(ComputeLayeredField, PacksTheBlockInOrderRoundedToFloat) {
  FieldCall s;
  s.points = {{1.1, 2.2, 3.3}, {-4.0, 5.5, 0.05}};
  std::vector<SpaceVector> re(2), im(2);
  Recorder::status = 0.0f;
  LayeredFieldRequest r = s.request();
  r.frequency = 2345.678901234;
  r.workingFolder = "/work/run";
  ASSERT_EQ(ComputeLayeredFieldUsing(&Recorder::entry, r, re, im), 0);
  const std::vector<float>& b = Recorder::block;
  ASSERT_EQ(b.size(), kFieldBlockFloats);
  EXPECT_EQ(b[0], 30.0f);
  EXPECT_EQ(b[1], 2.0f);
  EXPECT_EQ(b[2], 2.0f);
  EXPECT_EQ(b[3], static_cast<float>(2345.678901234));
  EXPECT_EQ(b[4], 1.0f);
  EXPECT_EQ(b[5], 0.0f);
  EXPECT_EQ(b[6], 0.02f);  // pair 0: bottom, resistivity
  EXPECT_EQ(b[7], 1e8f);
  EXPECT_EQ(b[8], 0.0f);
  EXPECT_EQ(b[9], 1e10f);
  EXPECT_EQ(b[10], static_cast<float>(s.wire[0][0]));
  EXPECT_EQ(b[10 + 3 * 7 + 1], static_cast<float>(s.wire[7][1]));
  EXPECT_EQ(b[10 + 3 * 30 + 2], 0.01f);  // closing vertex
  EXPECT_EQ(b[10 + 93], 1.1f);
  EXPECT_EQ(b[10 + 93 + 5], 0.05f);
  EXPECT_EQ(Recorder::path, "/work/run/zozada_zaruv.tmp");
  // Six values per point in point order: re x, y, z, im x, y, z.
  EXPECT_EQ(re[0], (SpaceVector{0, 1, 2}));
  EXPECT_EQ(im[0], (SpaceVector{3, 4, 5}));
  EXPECT_EQ(re[1], (SpaceVector{100, 101, 102}));
  EXPECT_EQ(im[1], (SpaceVector{103, 104, 105}));
}

TEST(ComputeLayeredField, FailsOnlyOnATruncatedStatusBelowZero) {
  const struct {
    float status;
    int expected;
  } cases[] = {{0.0f, 0}, {-0.5f, 0}, {0.9f, 0}, {3.0f, 0}, {-1.0f, 1}, {-7.0f, 1},
               {std::numeric_limits<float>::quiet_NaN(), 1}};
  for (const auto& c : cases) {
    FieldCall s;
    s.points = {{0, 0, 1}};
    std::vector<SpaceVector> re{{-9, -9, -9}}, im{{-8, -8, -8}};
    Recorder::status = c.status;
    EXPECT_EQ(ComputeLayeredFieldUsing(&Recorder::entry, s.request(), re, im), c.expected) << c.status;
    if (c.expected == 1) {  // outputs untouched
      EXPECT_EQ(re[0], (SpaceVector{-9, -9, -9}));
      EXPECT_EQ(im[0], (SpaceVector{-8, -8, -8}));
    }
  }
}

TEST(ComputeLayeredField, RefusesCountsThatDoNotFitTheBlock) {
  FieldCall s;
  s.points.assign(197, SpaceVector{0, 0, 1});  // 1 + 6·197 outputs > 1182
  std::vector<SpaceVector> re(197), im(197);
  Recorder::block.clear();
  EXPECT_EQ(ComputeLayeredFieldUsing(&Recorder::entry, s.request(), re, im), 1);
  EXPECT_TRUE(Recorder::block.empty());  // the component was not called
}

// Through the real component: a resistive earth gives the Biot–Savart field
// on the axis of the 30-gon, in closed form per side (half length L, distance
// d of the side from the axis, height h): Hz = S·2L·d/(4π r²·sqrt(L² + r²)), r² = d² + h².
TEST(ComputeLayeredField, GivesTheLoopFieldOfTheComponent) {
  FieldCall s;
  const double radius = 25.0;
  for (double z : {0.05, 3.0, 40.0}) s.points.push_back({0, 0, z});
  std::vector<SpaceVector> re(3), im(3);
  ASSERT_EQ(ComputeLayeredField(s.request(), re, im), 0);
  const double pi = 3.14159265358979323846;
  const double halfLength = radius * std::sin(pi / 30), d = radius * std::cos(pi / 30);
  for (std::size_t i = 0; i < 3; ++i) {
    const double h = s.points[i][2] - static_cast<float>(0.01);
    const double r2 = d * d + h * h;
    const double hz = 30 * 2 * halfLength * d / (4 * pi * r2 * std::sqrt(halfLength * halfLength + r2));
    EXPECT_NEAR(re[i][2], hz, 1e-6 * hz) << h;
    EXPECT_NEAR(re[i][0], 0.0, 1e-6 * hz);
    EXPECT_NEAR(im[i][2], 0.0, 1e-6 * hz);
  }
  // A wire collapsed to a point fails and leaves the outputs alone.
  FieldCall tiny;
  tiny.wire.assign(31, SpaceVector{0, 0, 0.01});
  tiny.points = {{1, 1, 1}};
  std::vector<SpaceVector> re1{{7, 7, 7}}, im1{{7, 7, 7}};
  EXPECT_EQ(ComputeLayeredField(tiny.request(), re1, im1), 1);
  EXPECT_EQ(re1[0], (SpaceVector{7, 7, 7}));
}

}  // namespace
}  // namespace kvo::core
