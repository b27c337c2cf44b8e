#include "compute/sounding_setup.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace kvo::core {
namespace {

TEST(VisitedIndices, StepTheSeriesAndKeepTheLast) {
  struct Case {
    int step;
    std::size_t n;
    std::size_t count, second, beforeLast, last;
  };
  const Case cases[] = {
      {1, 100, 100, 1, 98, 99},
      {2, 100, 51, 2, 98, 99},  // 0, 2, ..., 98 and 99
      {3, 100, 34, 3, 96, 99},
  };
  for (const Case& c : cases) {
    const std::vector<std::size_t> v = VisitedIndices(c.step, c.n);
    ASSERT_EQ(v.size(), c.count) << c.step;
    EXPECT_EQ(v.front(), 0u);
    EXPECT_EQ(v[1], c.second);
    EXPECT_EQ(v[v.size() - 2], c.beforeLast);
    EXPECT_EQ(v.back(), c.last);
  }
  EXPECT_EQ(VisitedIndices(2, 1), std::vector<std::size_t>{0});
}

TEST(BuildSoundingSetup, ChoosesTheSamplingAndTheReceiversGrid) {
  struct Case {
    const char* name;
    std::function<void(SoundingParameters&)> change;
    bool fine;
    std::size_t depthsVisited;
    double lastTxRadius;  // m
    int rxTurns;
  };
  const Case cases[] = {
      {"coincident", [](SoundingParameters&) {}, false, 51, 250, 3},
      {"3D target", [](SoundingParameters& p) { p.target[kTargetEnabled] = 1; }, true, 100, 250, 3},
      {"slope", [](SoundingParameters& p) { p.slope[kSlopeEnabled] = 1; }, true, 100, 250, 3},
      {"single depth", [](SoundingParameters& p) { p.computing[kMaxDepth] = -3; }, false, 1, 250, 3},
      // A larger separate receiver: the transmitter's grid reaches 10 x its size.
      {"larger receiver", [](SoundingParameters& p) { p.rx = {1, 80, 0, 2, 0, 0, 0}; }, false, 51, 800, 2},
      {"smaller receiver", [](SoundingParameters& p) { p.rx = {1, 20, 0, 2, 0, 0, 0}; }, false, 51, 250, 2},
  };
  for (const Case& c : cases) {
    SoundingParameters p{};
    p.tx = {1, 50, 0, 3, 0, 0, 0};
    p.computing = {2000, -60, 40, 40, 1000, 0, 0};
    p.section[kLayerCount] = 1;
    p.section[layerResistivitySlot(1)] = 100;
    c.change(p);
    SoundingSetup s;
    ASSERT_FALSE(BuildSoundingSetup(p, s).has_value()) << c.name;
    EXPECT_EQ(s.fine, c.fine) << c.name;
    EXPECT_NEAR(s.flipStep * 180 / 3.1415926536, c.fine ? 0.5 : 10.0, 1e-12) << c.name;
    EXPECT_EQ(s.depths.size(), c.depthsVisited) << c.name;
    EXPECT_EQ(s.pulses.size(), c.fine ? 100u : 51u) << c.name;
    EXPECT_NEAR(s.txGrid.radii[74], c.lastTxRadius, 1e-6) << c.name;
    EXPECT_EQ(s.rx.turns, c.rxTurns) << c.name;
  }
}

}  // namespace
}  // namespace kvo::core
