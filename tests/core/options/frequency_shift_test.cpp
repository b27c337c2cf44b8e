#include "options/frequency_shift.h"

#include <gtest/gtest.h>

namespace kvo::core {
namespace {

FrequencyShiftTable table(double zones, std::initializer_list<double> rows) {
  FrequencyShiftTable t{};
  t[kZoneCount] = zones;
  std::size_t slot = 1;
  for (double v : rows) t[slot++] = v;
  return t;
}

TEST(ShiftGridFromRecord, RowsFollowTheZoneCount) {
  const struct {
    const char* name;
    FrequencyShiftTable record;
    ShiftGrid grid;
  } cases[] = {
      {"two zones", table(2, {100, 2000, 500, 2001.5, 1000, 2003}),
       {{"100.0", "2000.0"}, {"500.0", "2001.5"}, {"1000.0", "2003.0"}}},
      {"none", table(0, {100, 2000}), {{"0.0", "0.0"}}},
      {"a fraction of a zone", table(0.5, {100, 2000}), {{"100.0", "2000.0"}}},
      {"negative count", table(-3, {100, 2000}), {{"100.0", "2000.0"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(shiftGridFromRecord(c.record), c.grid) << c.name;
  EXPECT_EQ(shiftGridFromRecord(table(12, {})).size(), 10u) << "never more rows than the record holds";
}

TEST(SortShiftTable, OrdersByMomentAndRoundsRowsThatMoveDown) {
  const struct {
    const char* name;
    ShiftGrid before;
    ShiftGrid after;
  } cases[] = {
      {"three rows", {{"1000", "2003"}, {"100", "2000"}, {"500", "2001"}},
       // 100 and 500 only move up and keep their texts; 1000 moved down.
       {{"100", "2000"}, {"500", "2001"}, {"1000.0", "2003.0"}}},
      {"moving down rounds", {{"500.04", "2001.26"}, {"100", "2000"}}, {{"100", "2000"}, {"500.0", "2001.3"}}},
      {"sorted rows stay as typed", {{"100.04", "1.26"}, {"500", "2"}}, {{"100.04", "1.26"}, {"500", "2"}}},
      {"equal moments keep their order", {{"100", "1"}, {"100.0", "2"}}, {{"100", "1"}, {"100.0", "2"}}},
      // 100.04 moves below 100.01 and becomes 100.0, which is now smaller:
      // the next pass swaps again, and both rows end rounded.
      {"the rounded value counts", {{"100.04", "1"}, {"100.01", "2"}}, {{"100.0", "1.0"}, {"100.0", "2.0"}}},
      {"single row", {{"7", "8"}}, {{"7", "8"}}},
  };
  for (const auto& c : cases) {
    ShiftGrid grid = c.before;
    EXPECT_FALSE(sortShiftTable(grid).has_value()) << c.name;
    EXPECT_EQ(grid, c.after) << c.name;
  }
}

TEST(SortShiftTable, RefusesACellThatIsNotANumber) {
  const struct {
    ShiftGrid grid;
    const char* message;
  } cases[] = {
      {{{"1000", "2003"}, {"1OO", "2000"}}, "Row 2, Pulse (A-ms): \"1OO\" is not a number"},
      {{{"1000", "2003"}, {"100", ""}}, "Row 2, Signal freq. (Hz): \"\" is not a number"},
  };
  for (const auto& c : cases) {
    ShiftGrid grid = c.grid;
    EXPECT_EQ(sortShiftTable(grid), std::optional<std::string>(c.message));
    EXPECT_EQ(grid, c.grid) << "unchanged";
  }
}

TEST(ShiftCurves, ExtrapolateToTheMaximumMoment) {
  const struct {
    const char* name;
    std::vector<ShiftRow> rows;
    PlotPoint end;
  } cases[] = {
      // The last drawn point is raised by 0.002 (row index 2), the row before is raw.
      {"through the last two rows", {{100, 2000}, {1000, 2001}, {2000, 2003}}, {4000, 2007.006}},
      {"two rows", {{1000, 2001}, {2000, 2003}}, {4000, 2007.003}},
      {"falling", {{0, 2010}, {1000, 2000}}, {2000, 1990.002}},
      // Equal last moments have no line through them: continue level.
      {"equal last moments", {{100, 2000}, {1000, 2003}, {1000, 2005}}, {4000, 2005.002}},
  };
  for (const auto& c : cases) {
    const double q = c.end.x;
    const ShiftCurves curves = shiftCurves(c.rows, 2000, q);
    ASSERT_EQ(curves.table.size(), c.rows.size() + 1) << c.name;
    ASSERT_EQ(curves.larmor.size(), c.rows.size() + 1) << c.name;
    for (std::size_t i = 0; i < c.rows.size(); ++i) {
      EXPECT_EQ(curves.table[i].x, c.rows[i].moment) << c.name;
      EXPECT_DOUBLE_EQ(curves.table[i].y, c.rows[i].frequency + 0.001 * static_cast<double>(i)) << c.name;
      EXPECT_EQ(curves.larmor[i], (PlotPoint{c.rows[i].moment, 2000})) << c.name;
    }
    EXPECT_EQ(curves.table.back().x, q) << c.name;
    EXPECT_NEAR(curves.table.back().y, c.end.y, 1e-9) << c.name;
    EXPECT_EQ(curves.larmor.back(), (PlotPoint{q, 2000})) << c.name;
  }
  EXPECT_TRUE(shiftCurves({{100, 2000}}, 2000, 4000).table.empty());
}

TEST(DrawShiftTable, SortsThenDrawsOrNamesTheBadText) {
  ShiftGrid grid = {{"2000", "2003"}, {"100", "2000"}, {"1000", "2001"}};
  ShiftCurves curves;
  ASSERT_FALSE(drawShiftTable(grid, "2000.0", "4000.0", curves).has_value());
  EXPECT_EQ(grid[0].moment, "100");
  ASSERT_EQ(curves.table.size(), 4u);
  EXPECT_NEAR(curves.table.back().y, 2007.006, 1e-9);

  const ShiftGrid unsorted = {{"2000", "2003"}, {"100", "2000"}};
  const struct {
    const char* larmor;
    const char* moment;
    const char* message;
  } cases[] = {{"2 kHz", "4000", "Larmor frequency (Hz): \"2 kHz\" is not a number"},
               {"2000", "", "Max. pulse moment (A-ms): \"\" is not a number"}};
  for (const auto& c : cases) {
    grid = unsorted;
    EXPECT_EQ(drawShiftTable(grid, c.larmor, c.moment, curves), std::optional<std::string>(c.message));
    EXPECT_EQ(grid, unsorted);
    EXPECT_TRUE(curves.table.empty());
  }
  grid = {{"100", "2000"}};
  EXPECT_FALSE(drawShiftTable(grid, "bad", "bad", curves).has_value()) << "one row: nothing to draw or read";
  EXPECT_TRUE(curves.table.empty());
}

TEST(StoreShiftTable, StoresSortedRowsOrClearsTheRecord) {
  FrequencyShiftTable record = table(5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  record[25] = 4.5;  // beyond the stored slots
  ShiftGrid grid = {{"1000", "2003"}, {"100", "2000"}, {"500", "2001.5"}};
  ASSERT_FALSE(storeShiftTable(grid, 2, record).has_value());
  FrequencyShiftTable expected = table(2, {100, 2000, 500, 2001.5, 1000, 2003});
  expected[25] = 4.5;
  EXPECT_EQ(record, expected) << "sorted, and the rows of the longer table are gone";
  EXPECT_EQ(grid[2].moment, "1000.0");

  ShiftGrid shown = {{"100", "2000"}, {"500", "2001"}};
  ASSERT_FALSE(storeShiftTable(shown, 0, record).has_value());
  for (std::size_t slot = 0; slot < kFrequencyShiftUsedSlots; ++slot) EXPECT_EQ(record[slot], 0.0) << slot;
  EXPECT_EQ(record[25], 4.5);

  const FrequencyShiftTable before = table(1, {10, 20, 30, 40});
  record = before;
  ShiftGrid bad = {{"100", "2000"}, {"500", "x"}};
  EXPECT_EQ(storeShiftTable(bad, 1, record), std::optional<std::string>("Row 2, Signal freq. (Hz): \"x\" is not a number"));
  EXPECT_EQ(record, before) << "nothing stored, not even the zone count";
}

}  // namespace
}  // namespace kvo::core
