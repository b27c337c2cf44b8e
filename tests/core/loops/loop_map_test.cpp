#include "loops/loop_map.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kvo::core {
namespace {

LoopSetup loop(int type, double size, double shiftNorth = 0, double shiftEast = 0) {
  LoopSetup l{};
  l[kLoopType] = type;
  l[kLoopSize] = size;
  l[kLoopTurns] = 1;
  l[kLoopShiftNorth] = shiftNorth;
  l[kLoopShiftEast] = shiftEast;
  return l;
}

TEST(OutlinePointChain, PointCountsAndEndPoints) {
  const struct {
    int type;
    std::size_t points;
  } cases[] = {{1, 1501}, {2, 1601}, {3, 1601}, {4, 1351}};
  for (const auto& c : cases) {
    LoopOutline o;
    buildLoopOutline(o, kRxOutlineIndex, loop(c.type, 10, 3, 4));
    const int n = outlineSegmentCount(c.type);
    const auto pts = outlinePointChain(o, 50, n);
    ASSERT_EQ(pts.size(), c.points) << c.type;
    EXPECT_EQ(pts.front().east, o.outlineEast[50]);
    EXPECT_EQ(pts.back().north, o.outlineNorth[static_cast<std::size_t>(50 + n)]);
  }
}

TEST(OutlinePointChain, PointsLieOnTheSquaresSides) {
  LoopOutline o;
  buildLoopOutline(o, kTxOutlineIndex, loop(2, 10));
  const double h = 10 * std::sqrt(2.0) / 2;
  for (const MapPoint& p : outlinePointChain(o, 0, 4)) {
    EXPECT_NEAR(std::fabs(p.east) + std::fabs(p.north), h, 1e-9);  // |E| + |N| = h on the diamond
  }
  EXPECT_TRUE(outlinePointChain(o, 0, 0).empty());
  EXPECT_TRUE(outlinePointChain(o, 50, 60).empty());
}

TEST(FitMapRange, LoopsWithinTwentyMetresGiveMinus21Point6To21Point6) {
  LoopOutline o;
  buildLoopOutline(o, kTxOutlineIndex, loop(2, 20 * std::sqrt(2.0)));  // corners at +-20 on the axes
  o.txSegmentCount = 4;
  const auto r = fitMapRange(o, false, nullptr);
  ASSERT_TRUE(r.has_value());
  EXPECT_NEAR(r->minimum, -21.6, 1e-9);
  EXPECT_NEAR(r->maximum, 21.6, 1e-9);
}

TEST(FitMapRange, IncludesReceiverAndTargetOnlyWhenAsked) {
  LoopOutline o;
  buildLoopOutline(o, kTxOutlineIndex, loop(1, 10));
  buildLoopOutline(o, kRxOutlineIndex, loop(1, 10, 100, 0));
  o.txSegmentCount = 30;
  o.rxSegmentCount = 30;
  EXPECT_NEAR(fitMapRange(o, false, nullptr)->maximum, 5 * 1.08, 1e-9);
  // The 30-gon's northernmost vertices lie at 84 and 96 degrees.
  EXPECT_NEAR(fitMapRange(o, true, nullptr)->maximum, (100 + 5 * std::sin(84.0 * M_PI / 180)) * 1.08, 1e-6);
  TargetSetup t{};
  t[targetCornerNorthSlot(0)] = -300;
  EXPECT_NEAR(fitMapRange(o, false, &t)->minimum, -5 * 1.08, 1e-9);  // target off
  t[kTargetEnabled] = 1;
  EXPECT_NEAR(fitMapRange(o, false, &t)->minimum, -300 * 1.08, 1e-9);
  // Margins are relative to the values, not to the span: all-positive ranges.
  LoopOutline shifted;
  buildLoopOutline(shifted, kTxOutlineIndex, loop(2, 2 * std::sqrt(2.0), 50, 50));
  shifted.txSegmentCount = 4;
  const auto r = fitMapRange(shifted, false, nullptr);
  EXPECT_NEAR(r->minimum, 48 * 0.92, 1e-9);  // corners 2 m from the centre (50, 50)
  EXPECT_NEAR(r->maximum, 52 * 1.08, 1e-9);
  EXPECT_FALSE(fitMapRange(LoopOutline{}, true, nullptr).has_value());
}

TEST(ShiftIncrement, TenthOfTheRangeWithinOneAndFiveHundred) {
  const struct {
    double lo, hi;
    int increment;
  } cases[] = {{0, 5, 1}, {-2.5, 2.5, 1}, {0, 8000, 500}, {-21.6, 21.6, 4}, {0, 100, 10},
               {100, 0, 10}, {0, 1e9, 500}, {0, 0, 1}};
  for (const auto& c : cases) EXPECT_EQ(shiftIncrement(c.lo, c.hi), c.increment) << c.hi;
}

}  // namespace
}  // namespace kvo::core
