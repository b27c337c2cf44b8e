#pragma once
// The sloping ground surface (topography): a plane through the loop centre
// whose direction (azimuth, from north towards east) and tilt from the
// horizontal (inclination) are each kept within -90..90 degrees, and the two
// small drawings the topography dialog shows of it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/sounding_parameters.h"
#include "options/plot_points.h"

namespace kvo::core {

inline constexpr std::string_view kSlopeAzimuthField = "Azimuth (degr)";
inline constexpr std::string_view kSlopeInclinationField = "Inclination (degr)";
inline constexpr double kSlopeAngleLimit = 90.0;

// An angle held within -90..90.
double clampSlopeAngle(double degrees);

struct SlopeTexts {
  std::string azimuth;
  std::string inclination;
};

// Opening the topography dialog: when the committed record is in use, its
// azimuth and inclination are clamped to -90..90 in the record itself, and
// the edits show them truncated to integers ("12" for 12.7); otherwise the
// edits show "0" and the record is left alone.
SlopeTexts openSlope(SlopeSetup& committed);

// The text an edit takes at Draw: "90.0" for a value above 90, "-90.0" for
// one below -90, nullopt (keep the text as typed) otherwise.
std::optional<std::string> clampedSlopeText(double degrees);

// OK: the record is in use with the two numbers exactly as typed, not
// clamped. The message names the first edit whose text is not a number; the
// record is then unchanged.
std::optional<std::string> storeSlope(std::string_view azimuthText, std::string_view inclinationText,
                                      SlopeSetup& record);

// A drawing of the slope: two reference axes (two points each) and the slope
// line as 200 points from its start towards its end (the end not drawn).
struct SlopeDrawing {
  std::vector<PlotPoint> axis1;
  std::vector<PlotPoint> axis2;
  std::vector<PlotPoint> slope;
};

// Plan view, north up: axis1 the south-north axis (0, -10)..(0, 10), axis2
// the west-east axis (-10, 0)..(10, 0), and the south-north segment turned
// by the azimuth (positive turns north towards east).
SlopeDrawing slopeAzimuthDrawing(double azimuthDeg);

// Vertical section: axis1 the horizontal (-10, 0)..(10, 0), axis2 the
// vertical (0, -10)..(0, 10), and the horizontal segment turned by the
// inclination with the same rule (positive lowers the right-hand end).
SlopeDrawing slopeInclinationDrawing(double inclinationDeg);

}  // namespace kvo::core
