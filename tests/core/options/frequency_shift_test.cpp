#include "options/frequency_shift.h"

#include <gtest/gtest.h>

namespace kvo::core {
namespace {

TEST(FrequencyShift, GridRowsFollowAZoneCountKeptWithinTheRecord) {
  const struct {
    double zones;
    std::size_t rows;
    const char* firstMoment;
  } cases[] = {{2, 3, "100.0"}, {0, 1, "0.0"}, {0.5, 1, "100.0"}, {-3, 1, "100.0"}, {12, 10, "100.0"}};
  for (const auto& c : cases) {
    FrequencyShiftTable t{};
    t[kZoneCount] = c.zones;
    t[shiftMomentSlot(0)] = 100;
    const ShiftGrid grid = shiftGridFromRecord(t);
    EXPECT_EQ(grid.size(), c.rows) << c.zones;
    EXPECT_EQ(grid[0].moment, c.firstMoment) << c.zones;
  }
}

TEST(FrequencyShift, SortRoundsRowsThatMoveDown) {
  const struct {
    const char* name;
    ShiftGrid before;
    ShiftGrid after;
  } cases[] = {
      {"sorted rows stay as typed", {{"100.04", "1.26"}, {"500", "2"}}, {{"100.04", "1.26"}, {"500", "2"}}},
      {"equal moments keep their order", {{"100", "1"}, {"100.0", "2"}}, {{"100", "1"}, {"100.0", "2"}}},
      // 100.04 moves below 100.01 and becomes 100.0, which is now the
      // smaller: the next pass swaps again, and both rows end rounded.
      {"the rounded value counts", {{"100.04", "1"}, {"100.01", "2"}}, {{"100.0", "1.0"}, {"100.0", "2.0"}}},
  };
  for (const auto& c : cases) {
    ShiftGrid grid = c.before;
    EXPECT_FALSE(sortShiftTable(grid).has_value()) << c.name;
    EXPECT_EQ(grid, c.after) << c.name;
  }
}

TEST(FrequencyShift, CurvesEndOnTheLineThroughTheLastTwoRows) {
  const struct {
    const char* name;
    std::vector<ShiftRow> rows;
    double q, endY;
  } cases[] = {
      {"rising", {{1000, 2001}, {2000, 2003}}, 4000, 2007.003},
      {"falling", {{0, 2010}, {1000, 2000}}, 2000, 1990.002},
      {"Q inside the table", {{1000, 2001}, {2000, 2003}}, 500, 2001 - 500 * 2.001 / 1000},
      {"equal last moments continue level", {{100, 2000}, {1000, 2003}, {1000, 2005}}, 4000, 2005.002},
  };
  for (const auto& c : cases) {
    const ShiftCurves curves = shiftCurves(c.rows, 2000, c.q);
    ASSERT_EQ(curves.table.size(), c.rows.size() + 1) << c.name;
    EXPECT_EQ(curves.table.back().x, c.q) << c.name;
    EXPECT_NEAR(curves.table.back().y, c.endY, 1e-9) << c.name;
    EXPECT_EQ(curves.larmor.back(), (PlotPoint{c.q, 2000})) << c.name;
  }
  EXPECT_TRUE(shiftCurves({{100, 2000}}, 2000, 4000).table.empty());
}

}  // namespace
}  // namespace kvo::core
