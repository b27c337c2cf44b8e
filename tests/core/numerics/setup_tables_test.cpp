#include "numerics/setup_tables.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <utility>

#include "numerics/constants.h"

namespace kvo::core {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(BuildLayerArrays, CountAndLayersFollowTheStoredCount) {
  ResistivitySection s{};  // every pair filled, so reading too far would show
  for (int k = 1; 2 * k < static_cast<int>(s.size()); ++k) {
    s[layerBottomSlot(k)] = 10.0 * k;
    s[layerResistivitySlot(k)] = 100.0 + k;
  }
  // {stored N, L}: N = 0 gives only the top layer; damaged values are clamped.
  const std::pair<double, int> cases[] = {{0.0, 1},  {1.0, 2},  {6.0, 7},  {2.9, 3},
                                          {-4.0, 1}, {kNaN, 1}, {1e300, 8}};
  for (const auto& [stored, count] : cases) {
    SCOPED_TRACE(testing::Message() << "N = " << stored);
    s[kLayerCount] = stored;
    const LayerArrays layers = BuildLayerArrays(s);
    ASSERT_EQ(layers.count, count);
    EXPECT_EQ(layers.bottom[0], 0.02);
    EXPECT_EQ(layers.resistivity[0], 1e8);
    for (int k = 1; k < static_cast<int>(kLayerArraySize); ++k) {
      const auto i = static_cast<std::size_t>(k);
      EXPECT_EQ(layers.bottom[i], k < count ? 10.0 * k : 0.0) << k;
      EXPECT_EQ(layers.resistivity[i], k < count ? 100.0 + k : 0.0) << k;
    }
  }
}

TEST(UnpackLoop, TruncatesCodesAndHalvesTheSeparation) {
  struct Case {
    double type, turns;
    int expectedType, expectedTurns;
  };
  const Case cases[] = {
      {3.9, 12.7, 3, 12}, {kNaN, kNaN, 0, 0}, {1e300, 1e300, 0, std::numeric_limits<int>::max()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << ", turns " << c.turns);
    const LoopSetup loop = {c.type, 37.6, 30.0, c.turns, -12.5, 7.25, 3.0};
    const UnpackedLoop rx = UnpackLoop(loop);
    const UnpackedLoop tx = UnpackLoopShort(loop);
    for (const UnpackedLoop& u : {rx, tx}) {
      EXPECT_EQ(u.type, c.expectedType);
      EXPECT_EQ(u.turns, c.expectedTurns);
      EXPECT_EQ(u.size, 37.6);
      EXPECT_EQ(u.halfSeparation, 1.5);
    }
    EXPECT_EQ(rx.shiftNorth, -12.5);
    EXPECT_EQ(rx.shiftEast, 7.25);
    EXPECT_EQ(tx.shiftNorth, 0.0);
    EXPECT_EQ(tx.shiftEast, 0.0);
  }
}

TEST(UnpackTargetOutline, ClosedOutlineOnlyWhenOn) {
  TargetSetup t{};
  for (int k = 0; k < 4; ++k) {
    t[targetCornerNorthSlot(k)] = 10.0 + k;
    t[targetCornerEastSlot(k)] = -5.0 * k;
  }
  t[kTargetTop] = 4.5;
  t[kTargetBottom] = 9.0;
  for (double enabled : {2.7, 1.0, 0.9, 0.0, -1.0, kNaN}) {
    SCOPED_TRACE(testing::Message() << "enabled " << enabled);
    t[kTargetEnabled] = enabled;
    const UnpackedTarget o = UnpackTargetOutline(t);
    const bool on = enabled >= 1.0;
    EXPECT_EQ(o.targetCount, on ? static_cast<int>(enabled) : (enabled <= -1.0 ? -1 : 0));
    EXPECT_EQ(o.cornerCount, on ? 4 : 0);
    for (std::size_t k = 0; k < 5; ++k) {  // corner 4 closes the outline
      EXPECT_EQ(o.north[k], on ? 10.0 + static_cast<double>(k % 4) : 0.0);
      EXPECT_EQ(o.east[k], on ? -5.0 * static_cast<double>(k % 4) : 0.0);
    }
    EXPECT_EQ(o.top, on ? 4.5 : 0.0);
    EXPECT_EQ(o.bottom, on ? 9.0 : 0.0);
  }
}

ComputingParameters computing(double maxDepth, double maxMoment, double harmonics = 3.0) {
  return {2100.0, -62.5, maxDepth, 40.0, maxMoment, harmonics, 1.0};
}

template <std::size_t N>
void expectStrictlyIncreasing(const std::array<double, N>& v) {
  for (std::size_t i = 1; i < N; ++i) EXPECT_LT(v[i - 1], v[i]) << "at " << i;
}

TEST(MakeSoundingGrids, SeriesRunBetweenTheirEndPoints) {
  // {stored depth, last depth}: depths run from 0.05 m to h = max(depth, 1 m),
  // pulse moments from 1 A-ms to qmax.
  const std::pair<double, double> depths[] = {
      {0.5, 1.0}, {0.999, 1.0}, {1.0, 1.0}, {37.3, 37.3}, {500.0, 500.0}};
  for (const auto& [stored, h] : depths) {
    for (double qmax : {50.0, 1234.5, 1e6}) {
      SCOPED_TRACE(testing::Message() << "depth " << stored << ", moment " << qmax);
      const SoundingGrids g = MakeSoundingGrids(computing(stored, qmax));
      EXPECT_NEAR(g.depths[0], 0.05, 1e-15);
      EXPECT_NEAR(g.depths[99], h, 1e-12 * h);
      expectStrictlyIncreasing(g.depths);
      EXPECT_NEAR(g.pulseMoments[0], 1.0, 1e-15);
      EXPECT_NEAR(g.pulseMoments[99], qmax, 1e-12 * qmax);
      expectStrictlyIncreasing(g.pulseMoments);
    }
  }
}

TEST(MakeSoundingGrids, SingleDepthModeSetsOnlyTheFirstTwoDepths) {
  // {stored depth, D[0]}: the magnitude, raised to 0.01 m; 0 is not normal mode.
  const std::pair<double, double> cases[] = {{-20.0, 20.0}, {-0.01, 0.01}, {-0.005, 0.01}, {0.0, 0.01}};
  for (const auto& [stored, first] : cases) {
    SCOPED_TRACE(testing::Message() << "depth " << stored);
    const SoundingGrids g = MakeSoundingGrids(computing(stored, 1000.0));
    EXPECT_EQ(g.depths[0], first);
    for (std::size_t i = 1; i < g.depths.size(); ++i) EXPECT_EQ(g.depths[i], 0.0) << i;
  }
}

TEST(MakeSoundingGrids, PassesScalarsThroughAndCountsHarmonics) {
  const std::pair<double, int> cases[] = {{3.0, 3}, {0.0, 1}, {0.7, 1}, {kNaN, 1}};
  for (const auto& [stored, count] : cases) {
    const SoundingGrids g = MakeSoundingGrids(computing(50.0, 1000.0, stored));
    EXPECT_EQ(g.harmonicsCount, count) << stored;
    EXPECT_EQ(g.larmorFrequency, 2100.0);
    EXPECT_EQ(g.inclination, -62.5);  // degrees, hemisphere sign kept
    EXPECT_EQ(g.pulseDuration, 40.0);
  }
}

TEST(UnpackTopography, NormalIsPerpendicularToTheSlope) {
  // {enabled, azimuth, inclination} in degrees. Off gives flat ground at height 0.
  const std::array<double, 3> cases[] = {{0.0, 40.0, 20.0},  {1.0, 35.0, 0.0},   {1.0, 45.0, 30.0},
                                         {1.0, -90.0, 10.0}, {1.0, 90.0, -45.0}, {1.0, 30.0, 90.0}};
  for (const auto& [enabled, azDeg, incDeg] : cases) {
    SCOPED_TRACE(testing::Message() << "enabled " << enabled << ", slope " << azDeg << "/" << incDeg);
    const Topography t = UnpackTopography({enabled, azDeg, incDeg});
    const double a = enabled != 0.0 ? azDeg * kPi / 180.0 : 0.0;
    const double i = enabled != 0.0 ? incDeg * kPi / 180.0 : 0.0;
    EXPECT_EQ(t.on, static_cast<int>(enabled));
    EXPECT_EQ(t.height, enabled != 0.0 ? 0.02 : 0.0);
    EXPECT_NEAR(t.azimuth, a, 1e-15);
    EXPECT_NEAR(t.inclination, i, 1e-15);
    // Unit length, tilted from the vertical by the slope's inclination, and
    // perpendicular to the slope's level (strike) and steepest (dip) lines.
    EXPECT_NEAR(std::hypot(t.nx, t.ny, t.nz), 1.0, 1e-15);
    EXPECT_NEAR(t.nz, std::cos(i), 1e-15);
    EXPECT_NEAR(-t.nx * std::sin(a) + t.ny * std::cos(a), 0.0, 1e-15);
    EXPECT_NEAR(t.nx * std::cos(i) * std::cos(a) + t.ny * std::cos(i) * std::sin(a) + t.nz * std::sin(i), 0.0,
                1e-15);
    if (i == 0.0) {  // a level slope has the normal of flat ground
      EXPECT_EQ(t.nx, 0.0);
      EXPECT_EQ(t.ny, 0.0);
      EXPECT_EQ(t.nz, 1.0);
    }
  }
}

FrequencyShiftTable shiftTable(double zones, std::initializer_list<std::array<double, 2>> rows) {
  FrequencyShiftTable t{};
  t[kZoneCount] = zones;
  int k = 0;
  for (const auto& [moment, frequency] : rows) {
    t[shiftMomentSlot(k)] = moment;
    t[shiftFrequencySlot(k++)] = frequency;
  }
  return t;
}

MomentGrid momentsUpTo(double qmax) { return MakeSoundingGrids(computing(50.0, qmax)).pulseMoments; }

TEST(FrequencyShiftProfile, NoZonesGiveNoOffsets) {
  for (double zones : {0.0, 0.5, -3.0, kNaN}) {
    const auto t = shiftTable(zones, {{100.0, 2005.0}, {500.0, 2010.0}});
    const FrequencyShiftOffsets r = FrequencyShiftProfile(t, 2000.0, momentsUpTo(1000.0));
    EXPECT_EQ(r.count, 1) << zones;
    for (double w : r.offsets) EXPECT_EQ(w, 0.0) << zones;
  }
}

TEST(FrequencyShiftProfile, FollowsTheStraightLinesOfTheTable) {
  // Points (100 A-ms, +1 Hz), (500, +3 Hz), (1000, +2 Hz) around 2000 Hz:
  //   Q <= 500: 1 + (Q - 100)/200 Hz, also below 100 A-ms (0.505 Hz at 1 A-ms);
  //   Q >  500: 3 - (Q - 500)/500 Hz, also beyond 1000 A-ms (0 Hz at 2000 A-ms).
  const auto t = shiftTable(2.0, {{100.0, 2001.0}, {500.0, 2003.0}, {1000.0, 2002.0}});
  const std::array<double, 10> probes = {1.0,   50.0,  100.0,  300.0,  500.0,
                                         501.0, 750.0, 1000.0, 1500.0, 2000.0};
  MomentGrid q{};
  for (std::size_t j = 0; j < q.size(); ++j) q[j] = probes[j % probes.size()];  // q[99] = 2000
  const FrequencyShiftOffsets r = FrequencyShiftProfile(t, 2000.0, q);
  EXPECT_EQ(r.count, 3);
  for (std::size_t j = 0; j < q.size(); ++j) {
    const double hz = q[j] <= 500.0 ? 1.0 + (q[j] - 100.0) / 200.0 : 3.0 - (q[j] - 500.0) / 500.0;
    EXPECT_NEAR(r.offsets[j], 2.0 * kPi * hz, 1e-12) << "moment " << q[j];
  }
  EXPECT_NEAR(r.offsets[0], 2.0 * kPi * 0.505, 1e-12);
  EXPECT_NEAR(r.offsets[99], 0.0, 1e-12);
}

TEST(FrequencyShiftProfile, LastPointIsClippedToTheLargestMoment) {
  // (0, +0 Hz) and (100, +10 Hz), moments up to 50 A-ms: the last point moves
  // to 50 A-ms, so the line becomes 10 Hz * Q/50.
  const MomentGrid q = momentsUpTo(50.0);
  const FrequencyShiftOffsets r =
      FrequencyShiftProfile(shiftTable(1.0, {{0.0, 1500.0}, {100.0, 1510.0}}), 1500.0, q);
  EXPECT_EQ(r.count, 2);
  for (std::size_t j = 0; j < q.size(); ++j)
    EXPECT_NEAR(r.offsets[j], 2.0 * kPi * 10.0 * q[j] / 50.0, 1e-11) << j;
}

TEST(FrequencyShiftProfile, DamagedZoneCountUsesAtMostNineZones) {
  // Ten points on one line (-2 Hz per 100 A-ms); slots beyond row 9 are garbage.
  FrequencyShiftTable t{};
  t.fill(-7.0e9);
  t[kZoneCount] = 1e300;
  for (int k = 0; k <= 9; ++k) {
    t[shiftMomentSlot(k)] = 100.0 * k;
    t[shiftFrequencySlot(k)] = 2000.0 - 2.0 * k;
  }
  const MomentGrid q = momentsUpTo(2000.0);
  const FrequencyShiftOffsets r = FrequencyShiftProfile(t, 2000.0, q);
  EXPECT_EQ(r.count, 10);
  for (std::size_t j = 0; j < q.size(); ++j)
    EXPECT_NEAR(r.offsets[j], -2.0 * kPi * 2.0 * q[j] / 100.0, 1e-9) << j;
}

}  // namespace
}  // namespace kvo::core
