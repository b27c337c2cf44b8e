#pragma once
// The 3D target: one box-shaped body in the layered section, its record and
// the three views the target dialog draws of it.
//
// The box has a rectangular horizontal footprint, width W along west-east
// and length L along south-north before turning, and reaches from the depth
// `top` down to top + H. Its corners, counted 1 to 4, start at
//   (north, east) = (-L/2, -W/2), (+L/2, -W/2), (+L/2, +W/2), (-L/2, +W/2),
// are turned about the footprint's centre by the azimuth A (degrees, from
// north towards east, pi = 3.1415926536 as everywhere in the program)
//   east' = east cos A + north sin A,   north' = -east sin A + north cos A,
// and are then moved by the shifts, which therefore give the centre's
// position. Lengths in metres, depths positive downwards. No value is
// checked: zero or negative sizes are kept as typed.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "loops/loop_outline.h"
#include "model/sounding_parameters.h"
#include "options/plot_points.h"

namespace kvo::core {

// The rows of the target table, in the order the table shows them.
enum TargetRow : int {
  kRowWidthWE,
  kRowLengthSN,
  kRowHeight,
  kRowTop,
  kRowAzimuth,
  kRowShiftSN,
  kRowShiftWE,
  kTargetRowCount
};

// The names in the table's first column, exactly as shown (and as error
// messages name the rows).
inline constexpr std::array<std::string_view, kTargetRowCount> kTargetRowNames = {
    "Width W-E", "Length S-N", "Height", "Top", "Azumuth", "Shift S-N", "Shift W-E"};

using TargetTableTexts = std::array<std::string, kTargetRowCount>;

struct TargetBox {
  double widthWE = 0.0;   // W, m
  double lengthSN = 0.0;  // L, m
  double height = 0.0;    // H, m
  double top = 0.0;       // depth of the top face, m
  double azimuth = 0.0;   // degrees
  double shiftSN = 0.0;   // north of the centre, m
  double shiftWE = 0.0;   // east of the centre, m
};

// Converts the table's value texts. The message names the first row whose
// text is not a number; `box` is then unchanged.
std::optional<std::string> readTargetTable(const TargetTableTexts& texts, TargetBox& box);

// The table's values for a committed record, each formatted "0.0": W, L, the
// height bottom - top, top, azimuth and both shifts; "0.0" everywhere when
// the record is not in use.
TargetTableTexts targetTableTexts(const TargetSetup& record);

// Fills slots 0..15 of `record`: in use, the four turned and shifted corners,
// top, bottom = top + H, and W, L, azimuth and both shifts as given. Slots
// 16..29 are left as they are.
void computeTargetCorners(const TargetBox& box, TargetSetup& record);

// W x L x H, m^3.
inline double targetVolume(const TargetBox& box) { return box.widthWE * box.lengthSN * box.height; }

// What a chart shows of the target: the map (x east, y north), the
// west-east section (x east, y depth) or the south-north section (x depth,
// y north).
enum class TargetView { Map = 0, WestEast = 1, SouthNorth = 2 };

// Points drawn on every side of an outline, and along a loop's extent.
inline constexpr int kPointsPerSide = 200;

// The box's closed outline in `view`, 4 x 200 points; none when the record
// is not in use.
//  - Map: corner 1 -> 2 -> 3 -> 4 -> 1.
//  - WestEast: with e1, e2 the smallest and largest corner east,
//    (e1, top) -> (e2, top) -> (e2, bottom) -> (e1, bottom) -> (e1, top).
//  - SouthNorth: with s1, s2 the smallest and largest corner north,
//    (top, s2) -> (bottom, s2) -> (bottom, s1) -> (top, s1) -> (top, s2).
std::vector<PlotPoint> targetOutline(const TargetSetup& record, TargetView view);

// A loop seen in a section: a line at depth 0 across the loop's east extent
// (WestEast, horizontal) or north extent (SouthNorth, vertical), from the
// smallest to the largest coordinate of the outline vertices baseSlot ..
// baseSlot + segmentCount - 1, as 200 points. None for the map, or for a
// loop without segments.
std::vector<PlotPoint> loopExtentLine(const LoopOutline& outline, int baseSlot, int segmentCount,
                                      TargetView view);

// The depth axis of both sections for a box whose bottom lies at H + top:
// -(H + top) x 0.08 .. (H + top) x 1.08 (10 m gives -0.8 .. 10.8), made
// showable by orderedRange when H + top is zero or negative.
PlotRange targetDepthRange(double height, double top);

}  // namespace kvo::core
