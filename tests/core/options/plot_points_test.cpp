#include "options/plot_points.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "options/slope.h"

namespace kvo::core {
namespace {

TEST(PlotPoints, OutlinesStopOneStepShortOfEachCorner) {
  std::vector<PlotPoint> square;
  appendClosedOutline(square, {{0, 0}, {2, 0}, {2, 2}, {0, 2}}, 2);
  const std::vector<PlotPoint> expected = {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}};
  EXPECT_EQ(square, expected);
  EXPECT_TRUE(straightLine({0, 0}, {1, 1}, 0).empty());
}

TEST(PlotPoints, BoundsHoldEveryPointWithAShowableSpan) {
  const std::vector<PlotPoint> a = {{1, 5}, {3, 5}}, b = {{-2, 7}}, none;
  const auto framed = plotBounds({&a, &none, &b}, 0.1);
  EXPECT_DOUBLE_EQ(framed->x.minimum, -2.5);
  EXPECT_DOUBLE_EQ(framed->y.maximum, 7.2);
  EXPECT_EQ(plotBounds({&a})->y.minimum, 4) << "a flat series still gets a span";
  EXPECT_FALSE(plotBounds({&none}).has_value());
}

TEST(PlotPoints, UpDownPositionsTruncateTowardZero) {
  const struct {
    double value;
    int position;
  } cases[] = {{12.7, 12}, {-12.7, -12}, {std::nan(""), 0}, {1e20, std::numeric_limits<int>::max()}};
  for (const auto& c : cases) EXPECT_EQ(truncatedPosition(c.value), c.position) << c.value;
}

TEST(SlopeDrawings, TurnTheSlopeLineWithTheLoopsRule) {
  const double h = 10 / std::sqrt(2.0);
  const struct {
    const char* name;
    SlopeDrawing drawing;
    PlotPoint start, end;
  } cases[] = {
      {"azimuth 45: south-west to north-east", slopeAzimuthDrawing(45), {-h, -h}, {h, h}},
      {"azimuth -90: east to west", slopeAzimuthDrawing(-90), {10, 0}, {-10, 0}},
      {"inclination -30 rises to the right", slopeInclinationDrawing(-30), {-10 * std::cos(M_PI / 6), -5},
       {10 * std::cos(M_PI / 6), 5}},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(c.drawing.slope.size(), 200u) << c.name;
    EXPECT_NEAR(c.drawing.slope.front().x, c.start.x, 1e-8) << c.name;
    EXPECT_NEAR(c.drawing.slope.front().y, c.start.y, 1e-8) << c.name;
    EXPECT_NEAR(c.drawing.slope.back().x, c.start.x + (c.end.x - c.start.x) * 199 / 200, 1e-8) << c.name;
    EXPECT_NEAR(c.drawing.slope.back().y, c.start.y + (c.end.y - c.start.y) * 199 / 200, 1e-8) << c.name;
  }
  EXPECT_EQ(slopeAzimuthDrawing(0).axis1, (std::vector<PlotPoint>{{0, -10}, {0, 10}}));
  EXPECT_EQ(slopeInclinationDrawing(0).axis1, (std::vector<PlotPoint>{{-10, 0}, {10, 0}}));
}

}  // namespace
}  // namespace kvo::core
