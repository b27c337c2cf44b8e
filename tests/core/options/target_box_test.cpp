#include "options/target_box.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace kvo::core {
namespace {

struct Corner {
  double north;
  double east;
};

TEST(ComputeTargetCorners, TurnsAboutTheCentreThenShifts) {
  const struct {
    const char* name;
    TargetBox box;
    Corner corners[4];
  } cases[] = {
      {"unturned", {10, 20, 5, 2, 0, 0, 0}, {{-10, -5}, {10, -5}, {10, 5}, {-10, 5}}},
      // Turned a quarter: north goes east, so corner 1 (-10, -5) lands at (5, -10).
      {"azimuth 90", {10, 20, 5, 2, 90, 0, 0}, {{5, -10}, {5, 10}, {-5, 10}, {-5, -10}}},
      {"azimuth -90", {10, 20, 5, 2, -90, 0, 0}, {{-5, 10}, {-5, -10}, {5, -10}, {5, 10}}},
      {"shifted", {10, 20, 5, 2, 0, 30, -40}, {{20, -45}, {40, -45}, {40, -35}, {20, -35}}},
      {"turned about its own centre", {10, 20, 5, 2, 90, 30, -40}, {{35, -50}, {35, -30}, {25, -30}, {25, -50}}},
      {"negative width mirrors", {-10, 20, 5, 2, 0, 0, 0}, {{-10, 5}, {10, 5}, {10, -5}, {-10, -5}}},
  };
  for (const auto& c : cases) {
    TargetSetup record{};
    record[16] = 7.5;  // beyond the used slots: left alone
    computeTargetCorners(c.box, record);
    EXPECT_EQ(record[kTargetEnabled], 1.0) << c.name;
    for (int k = 0; k < 4; ++k) {
      EXPECT_NEAR(record[targetCornerNorthSlot(k)], c.corners[k].north, 1e-8) << c.name << " corner " << k + 1;
      EXPECT_NEAR(record[targetCornerEastSlot(k)], c.corners[k].east, 1e-8) << c.name << " corner " << k + 1;
    }
    EXPECT_EQ(record[kTargetTop], 2) << c.name;
    EXPECT_EQ(record[kTargetBottom], 7) << c.name;
    EXPECT_EQ(record[kTargetWidthWE], c.box.widthWE) << c.name;
    EXPECT_EQ(record[kTargetLengthSN], 20) << c.name;
    EXPECT_EQ(record[kTargetAzimuth], c.box.azimuth) << c.name;
    EXPECT_EQ(record[kTargetShiftSN], c.box.shiftSN) << c.name;
    EXPECT_EQ(record[kTargetShiftWE], c.box.shiftWE) << c.name;
    EXPECT_EQ(record[16], 7.5) << c.name;
  }
  EXPECT_EQ(targetVolume({10, 20, 5, 2, 0, 0, 0}), 1000.0);
}

TEST(TargetTable, ShowsTheCommittedRecordOrZeros) {
  TargetSetup record{};
  record[kTargetWidthWE] = 10;
  record[kTargetLengthSN] = 20.25;
  record[kTargetTop] = 4;
  record[kTargetBottom] = 12;
  record[kTargetAzimuth] = -30;
  record[kTargetShiftSN] = 1.5;
  record[kTargetShiftWE] = -2;
  const TargetTableTexts off = targetTableTexts(record);
  for (const std::string& text : off) EXPECT_EQ(text, "0.0");
  record[kTargetEnabled] = 1;
  const TargetTableTexts shown = targetTableTexts(record);
  const TargetTableTexts expected = {"10.0", "20.3", "8.0", "4.0", "-30.0", "1.5", "-2.0"};
  EXPECT_EQ(shown, expected);

  TargetBox box;
  ASSERT_FALSE(readTargetTable(shown, box).has_value());
  EXPECT_EQ(box.height, 8.0);
  EXPECT_EQ(box.lengthSN, 20.3);
}

TEST(TargetTable, NamesTheRowThatIsNotANumber) {
  const struct {
    int row;
    const char* message;
  } cases[] = {{kRowWidthWE, "Width W-E: \"x\" is not a number"},
               {kRowHeight, "Height: \"x\" is not a number"},
               {kRowAzimuth, "Azumuth: \"x\" is not a number"},
               {kRowShiftWE, "Shift W-E: \"x\" is not a number"}};
  for (const auto& c : cases) {
    TargetTableTexts texts = {"1", "2", "3", "4", "5", "6", "7"};
    texts[static_cast<std::size_t>(c.row)] = "x";
    TargetBox box{9, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(readTargetTable(texts, box), std::optional<std::string>(c.message));
    EXPECT_EQ(box.top, 9) << "unchanged";
  }
}

TargetSetup turnedBox() {
  TargetSetup record{};
  computeTargetCorners({10, 20, 5, 2, 30, 100, -50}, record);
  return record;
}

TEST(TargetOutline, ClosedOutlinesOfEachView) {
  const TargetSetup record = turnedBox();
  double n[4], e[4];
  for (int k = 0; k < 4; ++k) {
    n[k] = record[targetCornerNorthSlot(k)];
    e[k] = record[targetCornerEastSlot(k)];
  }
  const double s1 = *std::min_element(n, n + 4), s2 = *std::max_element(n, n + 4);
  const double e1 = *std::min_element(e, e + 4), e2 = *std::max_element(e, e + 4);
  const struct {
    TargetView view;
    PlotPoint corners[4];  // the first point of each side
  } cases[] = {
      {TargetView::Map, {{e[0], n[0]}, {e[1], n[1]}, {e[2], n[2]}, {e[3], n[3]}}},
      {TargetView::WestEast, {{e1, 2}, {e2, 2}, {e2, 7}, {e1, 7}}},
      {TargetView::SouthNorth, {{2, s2}, {7, s2}, {7, s1}, {2, s1}}},
  };
  for (const auto& c : cases) {
    const auto points = targetOutline(record, c.view);
    ASSERT_EQ(points.size(), 800u) << static_cast<int>(c.view);
    for (int side = 0; side < 4; ++side) {
      const PlotPoint p = points[static_cast<std::size_t>(side * 200)];
      EXPECT_NEAR(p.x, c.corners[side].x, 1e-9) << static_cast<int>(c.view) << " side " << side;
      EXPECT_NEAR(p.y, c.corners[side].y, 1e-9) << static_cast<int>(c.view) << " side " << side;
    }
    // The last point is one step short of closing on the first corner.
    const PlotPoint last = points.back();
    EXPECT_NEAR(last.x, c.corners[3].x + (c.corners[0].x - c.corners[3].x) * 199 / 200, 1e-9);
    EXPECT_NEAR(last.y, c.corners[3].y + (c.corners[0].y - c.corners[3].y) * 199 / 200, 1e-9);
  }
  TargetSetup off = record;
  off[kTargetEnabled] = 0;
  EXPECT_TRUE(targetOutline(off, TargetView::Map).empty());
  EXPECT_TRUE(targetOutline(off, TargetView::WestEast).empty());
}

TEST(LoopExtentLine, SpansTheLoopsVerticesAtDepthZero) {
  LoopOutline outline;
  LoopSetup square{};
  square[kLoopType] = 2;
  square[kLoopSize] = 20 * std::sqrt(2.0);  // corners on the axes at 20 m
  square[kLoopShiftNorth] = 100;
  buildLoopOutline(outline, kRxOutlineIndex, square);
  const auto westEast = loopExtentLine(outline, 50, 4, TargetView::WestEast);
  ASSERT_EQ(westEast.size(), 200u);
  EXPECT_NEAR(westEast.front().x, -20, 1e-9);
  EXPECT_NEAR(westEast.back().x, -20 + 40.0 * 199 / 200, 1e-9);
  for (const PlotPoint& p : westEast) EXPECT_EQ(p.y, 0.0);
  const auto southNorth = loopExtentLine(outline, 50, 4, TargetView::SouthNorth);
  ASSERT_EQ(southNorth.size(), 200u);
  EXPECT_NEAR(southNorth.front().y, 80, 1e-9);
  EXPECT_EQ(southNorth.front().x, 0.0);
  EXPECT_TRUE(loopExtentLine(outline, 50, 0, TargetView::WestEast).empty());
  EXPECT_TRUE(loopExtentLine(outline, 50, 4, TargetView::Map).empty());
}

TEST(TargetDepthRange, EightPerCentAboveTheTopAndBelowTheBottom) {
  const struct {
    double height, top, lo, hi;
  } cases[] = {{5, 5, -0.8, 10.8}, {8, 2, -0.8, 10.8}, {100, 0, -8, 108}, {0, 0, -1, 1}, {-5, 0, -5.4, 0.4}};
  for (const auto& c : cases) {
    const PlotRange r = targetDepthRange(c.height, c.top);
    EXPECT_NEAR(r.minimum, c.lo, 1e-12) << c.height << " + " << c.top;
    EXPECT_NEAR(r.maximum, c.hi, 1e-12) << c.height << " + " << c.top;
  }
}

}  // namespace
}  // namespace kvo::core
