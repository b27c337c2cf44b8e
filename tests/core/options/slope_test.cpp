#include "options/slope.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kvo::core {
namespace {

TEST(OpenSlope, ClampsTheCommittedRecordAndShowsIntegers) {
  const struct {
    double enabled, azimuth, inclination;
    const char* azimuthText;
    const char* inclinationText;
    double storedAzimuth, storedInclination;
  } cases[] = {
      {1, 120, 12.7, "90", "12", 90, 12.7},
      {1, -95.5, -12.7, "-90", "-12", -90, -12.7},
      {1, 90, -90, "90", "-90", 90, -90},
      {0, 120, 45, "0", "0", 120, 45},  // not in use: nothing shown, nothing clamped
  };
  for (const auto& c : cases) {
    SlopeSetup record{};
    record[kSlopeEnabled] = c.enabled;
    record[kSlopeAzimuth] = c.azimuth;
    record[kSlopeInclination] = c.inclination;
    const SlopeTexts texts = openSlope(record);
    EXPECT_EQ(texts.azimuth, c.azimuthText) << c.azimuth;
    EXPECT_EQ(texts.inclination, c.inclinationText) << c.inclination;
    EXPECT_EQ(record[kSlopeAzimuth], c.storedAzimuth) << c.azimuth;
    EXPECT_EQ(record[kSlopeInclination], c.storedInclination) << c.inclination;
  }
}

TEST(ClampedSlopeText, OnlyAnglesBeyondNinetyChange) {
  const struct {
    double degrees;
    std::optional<std::string> text;
  } cases[] = {{95, "90.0"}, {-95, "-90.0"}, {90, std::nullopt}, {-90, std::nullopt}, {12.7, std::nullopt},
               {1e9, "90.0"}};
  for (const auto& c : cases) EXPECT_EQ(clampedSlopeText(c.degrees), c.text) << c.degrees;
}

TEST(StoreSlope, KeepsTheTypedValuesOrNamesTheBadField) {
  SlopeSetup record{};
  ASSERT_FALSE(storeSlope(" 95", "-120.5", record).has_value());
  EXPECT_EQ(record[kSlopeEnabled], 1.0);
  EXPECT_EQ(record[kSlopeAzimuth], 95.0);  // OK does not clamp
  EXPECT_EQ(record[kSlopeInclination], -120.5);

  const struct {
    const char* azimuth;
    const char* inclination;
    const char* message;
  } bad[] = {{"abc", "1", "Azimuth (degr): \"abc\" is not a number"},
             {"1", "", "Inclination (degr): \"\" is not a number"}};
  for (const auto& c : bad) {
    SlopeSetup untouched{};
    EXPECT_EQ(storeSlope(c.azimuth, c.inclination, untouched), std::optional<std::string>(c.message));
    EXPECT_EQ(untouched, SlopeSetup{}) << "nothing stored";
  }
}

void expectNear(PlotPoint p, double x, double y, const char* what) {
  EXPECT_NEAR(p.x, x, 1e-8) << what;
  EXPECT_NEAR(p.y, y, 1e-8) << what;
}

TEST(SlopeDrawings, TurnTheSlopeLineWithTheLoopsRule) {
  const double h = 10 / std::sqrt(2.0);
  const struct {
    const char* name;
    SlopeDrawing drawing;
    PlotPoint start, end;  // of the slope line
  } cases[] = {
      {"azimuth 0 runs south to north", slopeAzimuthDrawing(0), {0, -10}, {0, 10}},
      {"azimuth 90 runs along west-east", slopeAzimuthDrawing(90), {-10, 0}, {10, 0}},
      {"azimuth 45 runs south-west to north-east", slopeAzimuthDrawing(45), {-h, -h}, {h, h}},
      {"inclination 0 is horizontal", slopeInclinationDrawing(0), {-10, 0}, {10, 0}},
      {"inclination 45 falls to the right", slopeInclinationDrawing(45), {-h, h}, {h, -h}},
      {"inclination -30 rises to the right", slopeInclinationDrawing(-30), {-10 * std::cos(M_PI / 6), -5},
       {10 * std::cos(M_PI / 6), 5}},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(c.drawing.slope.size(), 200u) << c.name;
    expectNear(c.drawing.slope.front(), c.start.x, c.start.y, c.name);
    const PlotPoint last = c.drawing.slope.back();  // one step short of the end
    expectNear(last, c.start.x + (c.end.x - c.start.x) * 199 / 200, c.start.y + (c.end.y - c.start.y) * 199 / 200,
               c.name);
    EXPECT_EQ(c.drawing.axis1.size(), 2u);
    EXPECT_EQ(c.drawing.axis2.size(), 2u);
  }
  const SlopeDrawing plan = slopeAzimuthDrawing(0);
  EXPECT_EQ(plan.axis1, (std::vector<PlotPoint>{{0, -10}, {0, 10}}));  // south-north
  EXPECT_EQ(plan.axis2, (std::vector<PlotPoint>{{-10, 0}, {10, 0}}));  // west-east
  const SlopeDrawing section = slopeInclinationDrawing(0);
  EXPECT_EQ(section.axis1, (std::vector<PlotPoint>{{-10, 0}, {10, 0}}));  // horizontal
  EXPECT_EQ(section.axis2, (std::vector<PlotPoint>{{0, -10}, {0, 10}}));  // vertical
}

}  // namespace
}  // namespace kvo::core
