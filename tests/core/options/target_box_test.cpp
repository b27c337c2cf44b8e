#include "options/target_box.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kvo::core {
namespace {

TEST(ComputeTargetCorners, TurnsAboutTheCentreThenShifts) {
  const struct {
    const char* name;
    TargetBox box;
    double corners[4][2];  // (north, east)
  } cases[] = {
      {"azimuth -90", {10, 20, 5, 2, -90, 0, 0}, {{-5, 10}, {-5, -10}, {5, -10}, {5, 10}}},
      {"turned about its own centre", {10, 20, 5, 2, 90, 30, -40}, {{35, -50}, {35, -30}, {25, -30}, {25, -50}}},
      {"negative width mirrors", {-10, 20, 5, 2, 0, 0, 0}, {{-10, 5}, {10, 5}, {10, -5}, {-10, -5}}},
  };
  for (const auto& c : cases) {
    TargetSetup record{};
    record[16] = 7.5;  // beyond the used slots: left alone
    computeTargetCorners(c.box, record);
    for (int k = 0; k < 4; ++k) {
      EXPECT_NEAR(record[targetCornerNorthSlot(k)], c.corners[k][0], 1e-8) << c.name << " corner " << k + 1;
      EXPECT_NEAR(record[targetCornerEastSlot(k)], c.corners[k][1], 1e-8) << c.name << " corner " << k + 1;
    }
    EXPECT_EQ(record[kTargetBottom], 7) << c.name;
    EXPECT_EQ(record[kTargetAzimuth], c.box.azimuth) << c.name;
    EXPECT_EQ(record[16], 7.5) << c.name;
  }
}

TEST(TargetViews, LoopExtentsAtTheSurfaceAndDepthRanges) {
  LoopOutline outline;
  LoopSetup square{};
  square[kLoopType] = 2;
  square[kLoopSize] = 20 * std::sqrt(2.0);  // corners on the axes at 20 m
  square[kLoopShiftNorth] = 100;
  buildLoopOutline(outline, kRxOutlineIndex, square);
  const auto southNorth = loopExtentLine(outline, 50, 4, TargetView::SouthNorth);
  ASSERT_EQ(southNorth.size(), 200u);
  EXPECT_EQ(southNorth.front().x, 0.0);
  EXPECT_NEAR(southNorth.front().y, 80, 1e-9);
  EXPECT_NEAR(southNorth.back().y, 80 + 40.0 * 199 / 200, 1e-9);
  EXPECT_TRUE(loopExtentLine(outline, 50, 0, TargetView::WestEast).empty()) << "no loop, no line";

  const struct {
    double height, top, lo, hi;
  } depths[] = {{8, 2, -0.8, 10.8}, {0, 0, -1, 1}, {-5, 0, -5.4, 0.4}};
  for (const auto& c : depths) {
    EXPECT_NEAR(targetDepthRange(c.height, c.top).minimum, c.lo, 1e-12) << c.height << " + " << c.top;
    EXPECT_NEAR(targetDepthRange(c.height, c.top).maximum, c.hi, 1e-12) << c.height << " + " << c.top;
  }
}

}  // namespace
}  // namespace kvo::core
