#include "options/plot_points.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kvo::core {
namespace {

TEST(StraightLine, StopsOneStepShortOfItsEnd) {
  const auto line = straightLine({0, 10}, {4, 2}, 4);
  ASSERT_EQ(line.size(), 4u);
  EXPECT_EQ(line.front(), (PlotPoint{0, 10}));
  EXPECT_EQ(line.back(), (PlotPoint{3, 4}));
  EXPECT_TRUE(straightLine({0, 0}, {1, 1}, 0).empty());

  std::vector<PlotPoint> square;
  appendClosedOutline(square, {{0, 0}, {2, 0}, {2, 2}, {0, 2}}, 2);
  const std::vector<PlotPoint> expected = {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}};
  EXPECT_EQ(square, expected);
}

TEST(OrderedRange, SwapsAndWidensRangesAnAxisCannotShow) {
  const struct {
    double lo, hi, expectLo, expectHi;
  } cases[] = {{-0.8, 10.8, -0.8, 10.8}, {5, -3, -3, 5}, {0, 0, -1, 1}, {2007, 2007, 2006, 2008}};
  for (const auto& c : cases) {
    const PlotRange r = orderedRange(c.lo, c.hi);
    EXPECT_EQ(r.minimum, c.expectLo) << c.lo << ".." << c.hi;
    EXPECT_EQ(r.maximum, c.expectHi) << c.lo << ".." << c.hi;
  }
}

TEST(PlotBounds, CoverEverySeriesAndNothingWithoutPoints) {
  const std::vector<PlotPoint> a = {{1, 5}, {3, 5}};
  const std::vector<PlotPoint> b = {{-2, 7}};
  const std::vector<PlotPoint> none;
  const auto bounds = plotBounds({&a, &none, &b});
  ASSERT_TRUE(bounds.has_value());
  EXPECT_EQ(bounds->x.minimum, -2);
  EXPECT_EQ(bounds->x.maximum, 3);
  EXPECT_EQ(bounds->y.minimum, 5);
  EXPECT_EQ(bounds->y.maximum, 7);
  EXPECT_EQ(plotBounds({&a})->y.minimum, 4);  // a flat series still gets a span
  const auto framed = plotBounds({&a, &b}, 0.1);
  EXPECT_DOUBLE_EQ(framed->x.minimum, -2.5);
  EXPECT_DOUBLE_EQ(framed->y.maximum, 7.2);
  EXPECT_FALSE(plotBounds({&none, nullptr}).has_value());
}

TEST(UpDownPositions, TruncateTowardZeroAndWrapAFullTurn) {
  const struct {
    double value;
    int position;
  } truncations[] = {{12.7, 12},
                     {-12.7, -12},
                     {123.4, 123},
                     {-0.9, 0},
                     {std::nan(""), 0},
                     {1e20, std::numeric_limits<int>::max()},
                     {-1e20, std::numeric_limits<int>::min()}};
  for (const auto& c : truncations) EXPECT_EQ(truncatedPosition(c.value), c.position) << c.value;

  const struct {
    int position, wrapped;
  } turns[] = {{359, 359}, {360, 0}, {361, 0}, {-359, -359}, {-360, 0}, {0, 0}};
  for (const auto& c : turns) EXPECT_EQ(wrappedAzimuthPosition(c.position), c.wrapped) << c.position;
}

}  // namespace
}  // namespace kvo::core
