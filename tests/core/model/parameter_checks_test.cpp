#include "model/parameter_checks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace kvo::core {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

MainWindowValues validWindow() {
  MainWindowValues w;
  w.larmorFrequency = 2000;
  w.inclination = 60;
  w.maxDepth = 100;
  w.pulseDuration = 40;
  w.maxPulseMoment = 10000;
  w.switches.north = true;
  w.layers = {{"0.0", "5.0", "100.0"}, {"5.0", "30.0", "20.0"}, {"30.0", "200.0", "300.0"}};
  return w;
}

SoundingParameters validParams() {
  SoundingParameters p = defaultSoundingParameters();
  p.tx[kLoopType] = 1;
  p.tx[kLoopSize] = 100;
  p.tx[kLoopTurns] = 1;
  return p;
}

std::optional<std::string> collect(MainWindowValues w, SoundingParameters p = validParams()) {
  return collectParameters(w, p);
}

const std::string kFreq = "Frequency is wrong (500Hz < frequency < 3000Hz)";
const std::string kIncl = "GMF inclination is wrong (0\u00B0 < inclination < 90\u00B0)";
const std::string kDepth = "Max. depth is wrong (5m < depth < 500m)";
const std::string kDepthSingle = "Max. depth is wrong (0.05m < depth < 500m)";
const std::string kPulse = "Pulse duration is wrong (5ms < duration < 80ms)";
const std::string kMoment = "Max. pulse moment is wrong (50A-ms < duration < 1.e6A-ms)";
const std::string kFirst = "Bottom of the first layer is wrong (depth > 0.04m)";
const std::string kRes = "Resistivity is wrong (0.1ohm-m < R < 1.e4ohm-m)";
const std::string kThick = "Thickness of conductive layers is wrong (thickness > 0.1m)";

struct WindowBound {
  double MainWindowValues::*field;
  double accepted[2];
  double refused[3];
  const std::string* message;
};

TEST(CollectParameters, WindowBoundsAreInclusiveAndNaNFails) {
  const WindowBound bounds[] = {
      {&MainWindowValues::larmorFrequency, {500, 3000}, {499.99, 3000.01, kNaN}, &kFreq},
      {&MainWindowValues::inclination, {0, 90}, {-0.01, 90.01, kNaN}, &kIncl},
      {&MainWindowValues::maxDepth, {5, 500}, {4.99, 500.01, kNaN}, &kDepth},
      {&MainWindowValues::pulseDuration, {5, 80}, {4.99, 80.01, kNaN}, &kPulse},
      {&MainWindowValues::maxPulseMoment, {50, 1e6}, {49.99, 1e6 + 0.01, kNaN}, &kMoment},
  };
  for (const auto& b : bounds) {
    for (double v : b.accepted) {
      MainWindowValues w = validWindow();
      w.*b.field = v;
      if (b.field == &MainWindowValues::maxDepth) w.layers.back().to = "1000.0";
      EXPECT_FALSE(collect(w).has_value()) << *b.message << " at " << v;
    }
    for (double v : b.refused) {
      MainWindowValues w = validWindow();
      w.*b.field = v;
      EXPECT_EQ(collect(w), *b.message) << v;
    }
  }
}

TEST(CollectParameters, SingleDepthModeWidensTheDepthRange) {
  MainWindowValues w = validWindow();
  w.maxDepth = 1;
  EXPECT_EQ(collect(w), kDepth);
  w.switches.singleDepth = true;
  SoundingParameters p = validParams();
  ASSERT_FALSE(collectParameters(w, p).has_value());
  EXPECT_EQ(p.computing[kMaxDepth], -1);
  for (double v : {0.05, 500.0}) {
    w.maxDepth = v;
    EXPECT_FALSE(collect(w).has_value()) << v;
  }
  for (double v : {0.049, 500.01, kNaN}) {
    w.maxDepth = v;
    EXPECT_EQ(collect(w), kDepthSingle) << v;
  }
}

TEST(CollectParameters, ChecksRunInTheirOrder) {
  // Every value wrong: each fix uncovers the next rule's message.
  MainWindowValues w;
  w.larmorFrequency = 1;
  w.inclination = 100;
  w.maxDepth = 1000;
  w.pulseDuration = 1;
  w.maxPulseMoment = 1;
  w.layers = {{"0.0", "0.01", "0.01"}, {"0.01", "0.05", "1.0"}, {"0.05", "9.0", "1.0"}};
  SoundingParameters p = defaultSoundingParameters();  // no Tx loop
  p.rx[kLoopType] = 2;
  const SoundingParameters before = p;
  const std::function<void()> fixes[] = {
      [&] { w.larmorFrequency = 2000; },  [&] { w.inclination = 60; },
      [&] { w.maxDepth = 5; },            [&] { w.pulseDuration = 40; },
      [&] { w.maxPulseMoment = 100; },    [&] { w.layers[0].to = "0.04"; },
      [&] { w.layers[0].resistivity = "10"; }, [&] { w.layers[1].to = "1.0"; },
      [&] { p.tx[kLoopType] = 1; },       [&] { p.tx[kLoopSize] = 10; },
      [&] { p.tx[kLoopTurns] = 1; },      [&] { p.rx[kLoopSize] = 10; },
      [&] { p.rx[kLoopTurns] = 1; },
  };
  const std::string expected[] = {kFreq, kIncl, kDepth, kPulse, kMoment, kFirst, kRes, kThick,
                                  "Select Tx loop", "Tx size is wrong (0.1m < size < 500m)",
                                  "Tx number of turns is wrong (1 < turns < 50000)",
                                  "Rx size is wrong (0.1m < size < 500m)",
                                  "Rx number of turns is wrong (1 < turns < 50000)"};
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SoundingParameters copy = p;
    MainWindowValues wcopy = w;
    EXPECT_EQ(collectParameters(wcopy, copy), expected[i]) << i;
    EXPECT_EQ(copy, p) << "nothing stored on failure " << i;
    EXPECT_EQ(wcopy.layers, w.layers);
    fixes[i]();
  }
  EXPECT_FALSE(collectParameters(w, p).has_value());
  EXPECT_NE(p, before);
}

TEST(CollectParameters, LayerRules) {
  const struct {
    std::vector<LayerRow> layers;
    std::optional<std::string> message;
  } cases[] = {
      {{{"0.0", "0.0", "10"}, {"0.0", "200", "10"}}, std::nullopt},  // 2 layers: first bottom 0 ok
      {{{"0.0", "0.03", "10"}, {"", "1", "10"}, {"", "200", "10"}}, kFirst},
      {{{"0.0", "0.04", "10"}, {"", "1", "10"}, {"", "200", "10"}}, std::nullopt},
      {{{"0.0", "2.0", "10"}, {"", "2.05", "10"}}, kThick},
      {{{"0.0", "2.0", "10"}, {"", "2.1", "10"}}, std::nullopt},
      {{{"0.0", "0.2", "10"}, {"", "0.3", "10"}}, std::nullopt},  // 0.3 - 0.2 < 0.1 in binary
      {{{"0.0", "2.0", "0.1"}, {"", "3", "10000"}}, std::nullopt},
      {{{"0.0", "2.0", "0.09"}, {"", "3", "10"}}, kRes},
      {{{"0.0", "2.0", "10"}, {"", "3", "10000.1"}}, kRes},
      // The resistivity of row 1 is checked before the thickness of layer 2.
      {{{"0.0", "2.0", "0"}, {"", "2.0", "10"}}, kRes},
      {{{"0.0", "2.0", "10"}, {"", "2.0", "0"}}, kThick},
      {{}, "Number of layers is wrong (1 < layers < 6)"},
      {std::vector<LayerRow>(7, {"", "1", "10"}), "Number of layers is wrong (1 < layers < 6)"},
      {{{"0.0", "2.0", "10"}, {"", "two", "10"}}, "Layer 2, To: \"two\" is not a number"},
      {{{"0.0", "2.0", ""}}, "Layer 1, Resistivity: \"\" is not a number"},
  };
  for (const auto& c : cases) {
    MainWindowValues w = validWindow();
    w.layers = c.layers;
    EXPECT_EQ(collect(w), c.message) << (c.layers.empty() ? "" : c.layers[0].to);
  }
}

TEST(CollectParameters, StoresSignsCodesAndLayers) {
  MainWindowValues w = validWindow();
  w.switches.pulseHarmonics = false;
  w.switches.ellipticalPolarisation = true;
  SoundingParameters p = validParams();
  p.section.fill(9.0);
  ASSERT_FALSE(collectParameters(w, p).has_value());
  EXPECT_EQ(p.computing[kLarmorFrequency], 2000);
  EXPECT_EQ(p.computing[kInclination], -60);  // North
  EXPECT_EQ(p.computing[kMaxDepth], 100);
  EXPECT_EQ(p.computing[kPulseDuration], 40);
  EXPECT_EQ(p.computing[kMaxPulseMoment], 10000);
  EXPECT_EQ(p.computing[kPulseHarmonics], 0.0);
  EXPECT_EQ(p.computing[kEllipticalPolarisation], 1.0);
  const double section[] = {3, 5, 100, 30, 20, 200, 300, 0, 0, 0, 0, 0, 0, 0, 9.0};
  for (std::size_t i = 0; i < std::size(section); ++i) EXPECT_EQ(p.section[i], section[i]) << i;

  w.switches.north = false;
  w.switches.pulseHarmonics = true;
  ASSERT_FALSE(collectParameters(w, p).has_value());
  EXPECT_EQ(p.computing[kInclination], 60);
  EXPECT_EQ(p.computing[kPulseHarmonics], 3.0);
}

TEST(CollectParameters, RaisesTheLowerEdgeThroughTheOneDecimalText) {
  const struct {
    double maxDepth;
    const char* lastTo;
    const char* shown;
    double stored;
  } cases[] = {
      {100, "0.0", "150.0", 150.0},
      {100, "150.0", "150.0", 150.0},   // equal: not raised
      {100, "151.3", "151.3", 151.3},   // deeper: kept
      {33.33, "10", "50.0", 50.0},      // 49.995 shown with one decimal
      {5.5, "1", "8.3", 8.3},           // 8.25 rounds up
      {7.77, "1", "11.7", 11.7},        // 11.655 rounds to 11.7
  };
  for (const auto& c : cases) {
    MainWindowValues w = validWindow();
    w.maxDepth = c.maxDepth;
    w.layers = {{"0.0", c.lastTo, "100"}};
    SoundingParameters p = validParams();
    ASSERT_FALSE(collectParameters(w, p).has_value()) << c.maxDepth;
    EXPECT_EQ(w.layers[0].to, c.shown) << c.maxDepth;
    EXPECT_DOUBLE_EQ(p.section[layerBottomSlot(1)], c.stored) << c.maxDepth;
  }
}

TEST(CollectParameters, ClearsOnlyTheOptionsThatAreOff) {
  SoundingParameters p = validParams();
  p.frequencyShift.fill(1.0);
  p.slope.fill(2.0);
  p.target.fill(3.0);
  MainWindowValues w = validWindow();
  w.switches.target3D = true;
  ASSERT_FALSE(collectParameters(w, p).has_value());
  for (std::size_t i = 0; i < 30; ++i) {
    EXPECT_EQ(p.frequencyShift[i], i < kFrequencyShiftUsedSlots ? 0.0 : 1.0) << i;
    EXPECT_EQ(p.slope[i], i < kSlopeUsedSlots ? 0.0 : 2.0) << i;
    EXPECT_EQ(p.target[i], 3.0) << i;
  }
}

TEST(ShowParameters, ShowsStoredValuesAndSetsSwitches) {
  SoundingParameters p = validParams();
  p.computing[kLarmorFrequency] = 2000;
  p.computing[kInclination] = -60;
  p.computing[kMaxDepth] = -0.05;
  p.computing[kPulseDuration] = 40;
  p.computing[kMaxPulseMoment] = 1e6;
  p.computing[kPulseHarmonics] = 0;
  p.computing[kEllipticalPolarisation] = 1;
  p.section = {};
  p.section[kLayerCount] = 2;
  p.section[1] = 5;
  p.section[2] = 100;
  p.section[3] = 150;
  p.section[4] = 20;
  p.target[kTargetEnabled] = 1;
  p.frequencyShift[kZoneCount] = 2;
  const MainWindowFields f = showParameters(p, false);
  EXPECT_EQ(f.larmorFrequency, "2000.0");
  EXPECT_EQ(f.inclination, "60.0");
  EXPECT_TRUE(f.switches.north);
  EXPECT_EQ(f.maxDepth, "0.1");  // 0.05 shown with one decimal
  EXPECT_TRUE(f.switches.singleDepth);
  EXPECT_EQ(p.computing[kMaxDepth], 0.05);  // made positive in memory
  EXPECT_EQ(f.maxPulseMoment, "1000000.0");
  EXPECT_FALSE(f.switches.pulseHarmonics);
  EXPECT_TRUE(f.switches.ellipticalPolarisation);
  EXPECT_TRUE(f.switches.target3D);
  EXPECT_TRUE(f.switches.frequencyShift);
  EXPECT_FALSE(f.switches.topography);
  const std::vector<LayerRow> rows = {{"0.0", "5.0", "100.0"}, {"5.0", "150.0", "20.0"}};
  EXPECT_EQ(f.layers, rows);
}

TEST(ShowParameters, HemisphereAndModeFollowTheSigns) {
  SoundingParameters p = validParams();
  p.computing[kInclination] = 0;
  p.computing[kMaxDepth] = 50;
  MainWindowFields f = showParameters(p, true);
  EXPECT_FALSE(f.switches.north);       // zero selects South
  EXPECT_TRUE(f.switches.singleDepth);  // a positive depth leaves the mode as it was
  f = showParameters(p, false);
  EXPECT_FALSE(f.switches.singleDepth);
}

TEST(ShowParameters, LayerCountsTheGridCannotHoldShowOneLayer) {
  for (double n : {7.0, 0.0, -2.0, kNaN, 1e300}) {
    SoundingParameters p = validParams();
    p.section[kLayerCount] = n;
    const MainWindowFields f = showParameters(p, false);
    EXPECT_EQ(f.layers.size(), 1u) << n;
    EXPECT_EQ(p.section[kLayerCount], 1.0) << n;
  }
}

TEST(ShowAndCollect, NorthSixtyRoundTrips) {
  MainWindowValues w = validWindow();
  SoundingParameters p = validParams();
  ASSERT_FALSE(collectParameters(w, p).has_value());
  EXPECT_EQ(p.computing[kInclination], -60);
  const MainWindowFields f = showParameters(p, false);
  EXPECT_TRUE(f.switches.north);
  EXPECT_EQ(f.inclination, "60.0");
  MainWindowValues back;
  ASSERT_FALSE(readMainWindowFields(f, back).has_value());
  SoundingParameters again = p;
  ASSERT_FALSE(collectParameters(back, again).has_value());
  EXPECT_EQ(again, p);
}

TEST(ReadMainWindowFields, NamesTheFirstFieldThatIsNotANumber) {
  SoundingParameters p = validParams();
  MainWindowFields f = showParameters(p, false);
  f.pulseDuration = "forty";
  f.maxPulseMoment = "lots";
  MainWindowValues v;
  v.larmorFrequency = 1234;
  EXPECT_EQ(readMainWindowFields(f, v), "Pulse duration (ms): \"forty\" is not a number");
  EXPECT_EQ(v.larmorFrequency, 1234);
}

TEST(CheckStoredParameters, AppliesTheRunChecksToAStoredSet) {
  SoundingParameters p = validParams();
  MainWindowValues w = validWindow();
  ASSERT_FALSE(collectParameters(w, p).has_value());
  EXPECT_FALSE(checkStoredParameters(p).has_value());
  p.computing[kMaxDepth] = -1;  // single-depth mode from the sign
  EXPECT_FALSE(checkStoredParameters(p).has_value());
  p.computing[kMaxDepth] = 1;
  EXPECT_EQ(checkStoredParameters(p), kDepth);
  p.computing[kMaxDepth] = 100;
  p.computing[kLarmorFrequency] = 4000;
  const SoundingParameters before = p;
  EXPECT_EQ(checkStoredParameters(p), kFreq);
  EXPECT_EQ(p, before);
}

}  // namespace
}  // namespace kvo::core
