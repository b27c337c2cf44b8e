#include "options/slope.h"

#include <algorithm>

#include "loops/loop_outline.h"
#include "model/number_text.h"

namespace kvo::core {

double clampSlopeAngle(double degrees) {
  return std::clamp(degrees, -kSlopeAngleLimit, kSlopeAngleLimit);
}

SlopeTexts openSlope(SlopeSetup& committed) {
  if (committed[kSlopeEnabled] == 0) return {"0", "0"};
  committed[kSlopeAzimuth] = clampSlopeAngle(committed[kSlopeAzimuth]);
  committed[kSlopeInclination] = clampSlopeAngle(committed[kSlopeInclination]);
  return {std::to_string(truncatedPosition(committed[kSlopeAzimuth])),
          std::to_string(truncatedPosition(committed[kSlopeInclination]))};
}

std::optional<std::string> clampedSlopeText(double degrees) {
  if (degrees > kSlopeAngleLimit || degrees < -kSlopeAngleLimit) {
    return formatOneDecimal(clampSlopeAngle(degrees));
  }
  return std::nullopt;
}

std::optional<std::string> storeSlope(std::string_view azimuthText, std::string_view inclinationText,
                                      SlopeSetup& record) {
  double azimuth = 0.0;
  double inclination = 0.0;
  if (auto message = readNumberField(azimuthText, kSlopeAzimuthField, azimuth)) return message;
  if (auto message = readNumberField(inclinationText, kSlopeInclinationField, inclination)) return message;
  record[kSlopeEnabled] = 1.0;
  record[kSlopeAzimuth] = azimuth;
  record[kSlopeInclination] = inclination;
  return std::nullopt;
}

namespace {

constexpr double kHalfAxis = 10.0;
constexpr int kSlopePoints = 200;

SlopeDrawing drawing(PlotPoint start, PlotPoint end, double degrees) {
  // Both charts share the turn of the loops: x as east, y as north.
  turnPoint(start.x, start.y, degrees);
  turnPoint(end.x, end.y, degrees);
  return {{}, {}, straightLine(start, end, kSlopePoints)};
}

}  // namespace

SlopeDrawing slopeAzimuthDrawing(double azimuthDeg) {
  SlopeDrawing d = drawing({0, -kHalfAxis}, {0, kHalfAxis}, azimuthDeg);
  d.axis1 = {{0, -kHalfAxis}, {0, kHalfAxis}};
  d.axis2 = {{-kHalfAxis, 0}, {kHalfAxis, 0}};
  return d;
}

SlopeDrawing slopeInclinationDrawing(double inclinationDeg) {
  SlopeDrawing d = drawing({-kHalfAxis, 0}, {kHalfAxis, 0}, inclinationDeg);
  d.axis1 = {{-kHalfAxis, 0}, {kHalfAxis, 0}};
  d.axis2 = {{0, -kHalfAxis}, {0, kHalfAxis}};
  return d;
}

}  // namespace kvo::core
