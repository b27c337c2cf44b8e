#include "numerics/setup_tables.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>

#include "numerics/constants.h"

namespace kvo::core {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kIntMax = std::numeric_limits<int>::max();
constexpr int kIntMin = std::numeric_limits<int>::min();

// ---------------------------------------------------------------------------
// BuildLayerArrays

ResistivitySection sectionWithLayers(double storedCount) {
  ResistivitySection s{};
  s[kLayerCount] = storedCount;
  // Fill every pair the record can hold so that reading too far would show.
  for (int k = 1; 2 * k < static_cast<int>(s.size()); ++k) {
    s[layerBottomSlot(k)] = 10.0 * k;
    s[layerResistivitySlot(k)] = 100.0 + k;
  }
  return s;
}

TEST(BuildLayerArrays, CountAndLayersFollowTheStoredCount) {
  struct Case {
    double stored;
    int expectedCount;
  };
  const Case cases[] = {
      {0.0, 1},      // no user layer: only the added top layer
      {1.0, 2},      {3.0, 4},     {6.0, 7},
      {2.9, 3},      // truncated toward zero
      {-4.0, 1},     // negative count reads as none
      {kNaN, 1},     // damaged value reads as 0
      {1e300, 8},    // damaged value: no more than the arrays hold
      {-1e300, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("stored count " + std::to_string(c.stored));
    const LayerArrays layers = BuildLayerArrays(sectionWithLayers(c.stored));
    ASSERT_EQ(layers.count, c.expectedCount);
    EXPECT_EQ(layers.bottom[0], 0.02);
    EXPECT_EQ(layers.resistivity[0], 1e8);
    for (int k = 1; k < static_cast<int>(kLayerArraySize); ++k) {
      const auto i = static_cast<std::size_t>(k);
      const bool used = k < c.expectedCount;
      EXPECT_EQ(layers.bottom[i], used ? 10.0 * k : 0.0) << "layer " << k;
      EXPECT_EQ(layers.resistivity[i], used ? 100.0 + k : 0.0) << "layer " << k;
    }
  }
}

// ---------------------------------------------------------------------------
// UnpackLoop, UnpackLoopShort

TEST(UnpackLoop, TruncatesCodesAndHalvesTheSeparation) {
  struct Case {
    double type, turns;
    int expectedType, expectedTurns;
  };
  const Case cases[] = {
      {1.0, 1.0, 1, 1},        {3.9, 12.7, 3, 12},      {4.0, 50000.0, 4, 50000},
      {kNaN, kNaN, 0, 0},      {1e300, 1e300, 0, kIntMax}, {-1e300, -1e300, 0, kIntMin},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + ", turns " + std::to_string(c.turns));
    LoopSetup loop{};
    loop[kLoopType] = c.type;
    loop[kLoopSize] = 37.6;
    loop[kLoopAzimuth] = 30.0;
    loop[kLoopTurns] = c.turns;
    loop[kLoopShiftNorth] = -12.5;
    loop[kLoopShiftEast] = 7.25;
    loop[kLoopSeparation] = 3.0;

    const UnpackedLoop rx = UnpackLoop(loop);
    EXPECT_EQ(rx.type, c.expectedType);
    EXPECT_EQ(rx.turns, c.expectedTurns);
    EXPECT_EQ(rx.size, 37.6);  // the real size, not whole metres
    EXPECT_EQ(rx.shiftNorth, -12.5);
    EXPECT_EQ(rx.shiftEast, 7.25);
    EXPECT_EQ(rx.halfSeparation, 1.5);

    const UnpackedLoop tx = UnpackLoopShort(loop);
    EXPECT_EQ(tx.type, c.expectedType);
    EXPECT_EQ(tx.turns, c.expectedTurns);
    EXPECT_EQ(tx.size, 37.6);
    EXPECT_EQ(tx.halfSeparation, 1.5);
    EXPECT_EQ(tx.shiftNorth, 0.0);  // the transmitter sits at the origin
    EXPECT_EQ(tx.shiftEast, 0.0);
  }
}

// ---------------------------------------------------------------------------
// UnpackTargetOutline

TEST(UnpackTargetOutline, OnGivesAClosedFourCornerOutline) {
  TargetSetup t{};
  t[kTargetEnabled] = 2.7;
  const std::array<double, 4> north = {10.0, 12.0, -3.0, -5.0};
  const std::array<double, 4> east = {1.0, -4.0, -6.0, 8.0};
  for (int k = 0; k < 4; ++k) {
    t[targetCornerNorthSlot(k)] = north[static_cast<std::size_t>(k)];
    t[targetCornerEastSlot(k)] = east[static_cast<std::size_t>(k)];
  }
  t[kTargetTop] = 4.5;
  t[kTargetBottom] = 9.0;

  const TargetOutline o = UnpackTargetOutline(t);
  EXPECT_EQ(o.targetCount, 2);
  EXPECT_EQ(o.cornerCount, 4);
  for (std::size_t k = 0; k < 4; ++k) {
    EXPECT_EQ(o.north[k], north[k]);
    EXPECT_EQ(o.east[k], east[k]);
  }
  EXPECT_EQ(o.north[4], o.north[0]);
  EXPECT_EQ(o.east[4], o.east[0]);
  EXPECT_EQ(o.top, 4.5);
  EXPECT_EQ(o.bottom, 9.0);
}

TEST(UnpackTargetOutline, OffWritesNothingElse) {
  const double offValues[] = {0.0, 0.9, -1.0, kNaN, -1e300};
  for (double enabled : offValues) {
    SCOPED_TRACE("enabled " + std::to_string(enabled));
    TargetSetup t{};
    t.fill(7.0);
    t[kTargetEnabled] = enabled;
    const TargetOutline o = UnpackTargetOutline(t);
    EXPECT_LE(o.targetCount, 0);
    EXPECT_EQ(o.cornerCount, 0);
    for (std::size_t k = 0; k < o.north.size(); ++k) {
      EXPECT_EQ(o.north[k], 0.0);
      EXPECT_EQ(o.east[k], 0.0);
    }
    EXPECT_EQ(o.top, 0.0);
    EXPECT_EQ(o.bottom, 0.0);
  }
}

// ---------------------------------------------------------------------------
// MakeSoundingGrids

ComputingParameters computing(double maxDepth, double maxMoment, double harmonics = kPulseHarmonicsOn) {
  ComputingParameters p{};
  p[kLarmorFrequency] = 2100.0;
  p[kInclination] = -62.5;
  p[kMaxDepth] = maxDepth;
  p[kPulseDuration] = 40.0;
  p[kMaxPulseMoment] = maxMoment;
  p[kPulseHarmonics] = harmonics;
  p[kEllipticalPolarisation] = 1.0;
  return p;
}

template <std::size_t N>
void expectStrictlyIncreasing(const std::array<double, N>& v, std::size_t from, std::size_t to) {
  for (std::size_t i = from + 1; i <= to; ++i) {
    EXPECT_LT(v[i - 1], v[i]) << "at index " << i;
  }
}

TEST(MakeSoundingGrids, SeriesRunBetweenTheirEndPoints) {
  // The maximum depth h (>= 1) and maximum moment qmax are the end points of
  // the series; the start points are 0.05 m and 1 A-ms.
  const double depths[] = {1.0, 5.0, 37.3, 100.0, 500.0};
  const double moments[] = {50.0, 1234.5, 1e6};
  for (double h : depths) {
    for (double qmax : moments) {
      SCOPED_TRACE("depth " + std::to_string(h) + ", moment " + std::to_string(qmax));
      const SoundingGrids g = MakeSoundingGrids(computing(h, qmax));
      EXPECT_NEAR(g.depths[0], 0.05, 1e-15);
      EXPECT_NEAR(g.depths[99], h, 1e-12 * h);
      expectStrictlyIncreasing(g.depths, 0, 99);
      EXPECT_NEAR(g.pulseMoments[0], 1.0, 1e-15);
      EXPECT_NEAR(g.pulseMoments[99], qmax, 1e-12 * qmax);
      expectStrictlyIncreasing(g.pulseMoments, 0, 99);
    }
  }
}

TEST(MakeSoundingGrids, ShallowMaximumDepthIsRaisedToOneMetre) {
  for (double d : {0.05, 0.5, 0.999}) {
    SCOPED_TRACE("depth " + std::to_string(d));
    const SoundingGrids g = MakeSoundingGrids(computing(d, 1000.0));
    EXPECT_NEAR(g.depths[0], 0.05, 1e-15);
    EXPECT_NEAR(g.depths[99], 1.0, 1e-12);
    expectStrictlyIncreasing(g.depths, 0, 99);
  }
}

TEST(MakeSoundingGrids, SingleDepthModeSetsOnlyTheFirstTwoDepths) {
  struct Case {
    double stored, firstDepth;
  };
  const Case cases[] = {
      {-20.0, 20.0}, {-0.05, 0.05}, {-0.01, 0.01},
      {-0.005, 0.01},  // raised to 0.01 m
      {0.0, 0.01},     // zero is not the normal mode
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("stored depth " + std::to_string(c.stored));
    const SoundingGrids g = MakeSoundingGrids(computing(c.stored, 1000.0));
    EXPECT_EQ(g.depths[0], c.firstDepth);
    for (std::size_t i = 1; i < g.depths.size(); ++i) EXPECT_EQ(g.depths[i], 0.0) << "at " << i;
    // The moment series does not depend on the mode.
    EXPECT_NEAR(g.pulseMoments[99], 1000.0, 1e-9);
  }
}

TEST(MakeSoundingGrids, PassesScalarsThroughAndCountsHarmonics) {
  struct Case {
    double stored;
    int expected;
  };
  const Case cases[] = {{3.0, 3}, {0.0, 1}, {0.7, 1}, {kNaN, 1}, {5.9, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE("harmonics " + std::to_string(c.stored));
    const SoundingGrids g = MakeSoundingGrids(computing(50.0, 1000.0, c.stored));
    EXPECT_EQ(g.harmonicsCount, c.expected);
    EXPECT_EQ(g.larmorFrequency, 2100.0);
    EXPECT_EQ(g.inclination, -62.5);  // degrees, hemisphere sign kept
    EXPECT_EQ(g.pulseDuration, 40.0);
  }
}

// ---------------------------------------------------------------------------
// UnpackTopography

// Independent reference: turn the vertical (0, 0, 1) by the inclination i
// about the horizontal axis k = (sin a, -cos a, 0) with Rodrigues' formula
// v' = v cos i + (k x v) sin i + k (k . v)(1 - cos i).
std::array<double, 3> tiltedVertical(double azimuth, double inclination) {
  const std::array<double, 3> k = {std::sin(azimuth), -std::cos(azimuth), 0.0};
  const std::array<double, 3> v = {0.0, 0.0, 1.0};
  const std::array<double, 3> kxv = {k[1] * v[2] - k[2] * v[1], k[2] * v[0] - k[0] * v[2],
                                     k[0] * v[1] - k[1] * v[0]};
  const double kv = k[0] * v[0] + k[1] * v[1] + k[2] * v[2];
  std::array<double, 3> r{};
  for (std::size_t j = 0; j < 3; ++j) {
    r[j] = v[j] * std::cos(inclination) + kxv[j] * std::sin(inclination) +
           k[j] * kv * (1.0 - std::cos(inclination));
  }
  return r;
}

TEST(UnpackTopography, FlatGroundWhenOff) {
  SlopeSetup s{};
  s[kSlopeAzimuth] = 40.0;  // ignored while off
  s[kSlopeInclination] = 20.0;
  const Topography t = UnpackTopography(s);
  EXPECT_EQ(t.on, 0);
  EXPECT_EQ(t.azimuth, 0.0);
  EXPECT_EQ(t.inclination, 0.0);
  EXPECT_EQ(t.height, 0.0);
  EXPECT_EQ(t.nx, 0.0);
  EXPECT_EQ(t.ny, 0.0);
  EXPECT_EQ(t.nz, 1.0);
}

TEST(UnpackTopography, NormalIsTheTiltedVertical) {
  struct Case {
    double azimuthDeg, inclinationDeg;
  };
  const Case cases[] = {{0.0, 0.0},  {0.0, 30.0},  {45.0, 30.0}, {-90.0, 10.0},
                        {90.0, -45.0}, {30.0, 90.0}, {-60.0, -90.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE("azimuth " + std::to_string(c.azimuthDeg) + ", inclination " +
                 std::to_string(c.inclinationDeg));
    SlopeSetup s{};
    s[kSlopeEnabled] = 1.0;
    s[kSlopeAzimuth] = c.azimuthDeg;
    s[kSlopeInclination] = c.inclinationDeg;
    const Topography t = UnpackTopography(s);
    EXPECT_EQ(t.on, 1);
    EXPECT_EQ(t.height, 0.02);
    EXPECT_NEAR(t.azimuth, c.azimuthDeg * kPi / 180.0, 1e-15);
    EXPECT_NEAR(t.inclination, c.inclinationDeg * kPi / 180.0, 1e-15);
    EXPECT_NEAR(t.nx * t.nx + t.ny * t.ny + t.nz * t.nz, 1.0, 1e-15);
    const auto ref = tiltedVertical(t.azimuth, t.inclination);
    EXPECT_NEAR(t.nx, ref[0], 1e-15);
    EXPECT_NEAR(t.ny, ref[1], 1e-15);
    EXPECT_NEAR(t.nz, ref[2], 1e-15);
  }
}

TEST(UnpackTopography, LevelSlopeHasTheNormalOfFlatGround) {
  SlopeSetup s{};
  s[kSlopeEnabled] = 1.0;
  s[kSlopeAzimuth] = 35.0;
  const Topography on = UnpackTopography(s);
  const Topography off = UnpackTopography(SlopeSetup{});
  EXPECT_EQ(on.nx, off.nx);  // -0.0 compares equal to 0.0
  EXPECT_EQ(on.ny, off.ny);
  EXPECT_EQ(on.nz, off.nz);
  EXPECT_EQ(on.height, 0.02);  // the surface offset still applies
}

// ---------------------------------------------------------------------------
// FrequencyShiftProfile

FrequencyShiftTable shiftTable(double zones, std::initializer_list<std::array<double, 2>> rows) {
  FrequencyShiftTable t{};
  t[kZoneCount] = zones;
  int k = 0;
  for (const auto& row : rows) {
    t[shiftMomentSlot(k)] = row[0];
    t[shiftFrequencySlot(k)] = row[1];
    ++k;
  }
  return t;
}

MomentGrid momentsUpTo(double qmax) { return MakeSoundingGrids(computing(50.0, qmax)).pulseMoments; }

TEST(FrequencyShiftProfile, NoZonesGiveNoOffsets) {
  const double zoneCounts[] = {0.0, 0.5, -3.0, kNaN};
  for (double zones : zoneCounts) {
    SCOPED_TRACE("zones " + std::to_string(zones));
    const auto t = shiftTable(zones, {{100.0, 2005.0}, {500.0, 2010.0}});
    const FrequencyShiftOffsets r = FrequencyShiftProfile(t, 2000.0, momentsUpTo(1000.0));
    EXPECT_EQ(r.count, 1);
    for (double w : r.offsets) EXPECT_EQ(w, 0.0);
  }
}

TEST(FrequencyShiftProfile, FollowsTheStraightLinesOfTheTable) {
  // Points (100 A-ms, +1 Hz), (500, +3 Hz), (1000, +2 Hz) around fL = 2000 Hz:
  //   first line  (Q <= 500): 1 + (Q - 100)/200 Hz, also below 100 A-ms;
  //   second line (Q >  500): 3 - (Q - 500)/500 Hz, also beyond 1000 A-ms.
  const auto t = shiftTable(2.0, {{100.0, 2001.0}, {500.0, 2003.0}, {1000.0, 2002.0}});
  MomentGrid q{};
  const std::array<double, 10> probes = {1.0, 50.0, 100.0, 300.0, 500.0, 501.0, 750.0, 1000.0, 1500.0, 2000.0};
  for (std::size_t j = 0; j < q.size(); ++j) q[j] = probes[j % probes.size()];
  q[99] = 2000.0;  // beyond the last point: no clipping

  const FrequencyShiftOffsets r = FrequencyShiftProfile(t, 2000.0, q);
  EXPECT_EQ(r.count, 3);
  for (std::size_t j = 0; j < q.size(); ++j) {
    const double hz = q[j] <= 500.0 ? 1.0 + (q[j] - 100.0) / 200.0 : 3.0 - (q[j] - 500.0) / 500.0;
    EXPECT_NEAR(r.offsets[j], 2.0 * kPi * hz, 1e-12) << "moment " << q[j];
  }
  // A few values by hand: 0.505 Hz at 1 A-ms, 0 Hz at 2000 A-ms.
  EXPECT_NEAR(r.offsets[0], 2.0 * kPi * 0.505, 1e-12);
  EXPECT_NEAR(r.offsets[99], 0.0, 1e-12);
}

TEST(FrequencyShiftProfile, LastPointIsClippedToTheLargestMoment) {
  // Points (0, fL) and (100, fL + 10 Hz), but the moments end at 50 A-ms:
  // the last point moves to 50 A-ms, so the line is 10 Hz * Q/50.
  const auto t = shiftTable(1.0, {{0.0, 1500.0}, {100.0, 1510.0}});
  const MomentGrid q = momentsUpTo(50.0);
  const FrequencyShiftOffsets r = FrequencyShiftProfile(t, 1500.0, q);
  EXPECT_EQ(r.count, 2);
  for (std::size_t j = 0; j < q.size(); ++j) {
    EXPECT_NEAR(r.offsets[j], 2.0 * kPi * 10.0 * q[j] / 50.0, 1e-11) << "moment " << q[j];
  }
  EXPECT_NEAR(r.offsets[99], 2.0 * kPi * 10.0, 1e-11);
}

TEST(FrequencyShiftProfile, DamagedZoneCountUsesAtMostNineZones) {
  // Ten points on one line, 2 Hz per 100 A-ms below fL; slots beyond row 9 are
  // garbage that must not be read.
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
  for (std::size_t j = 0; j < q.size(); ++j) {
    EXPECT_NEAR(r.offsets[j], -2.0 * kPi * 2.0 * q[j] / 100.0, 1e-9) << "moment " << q[j];
  }
}

}  // namespace
}  // namespace kvo::core
