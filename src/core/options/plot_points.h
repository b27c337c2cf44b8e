#pragma once
// Points and ranges of the option dialogs' small charts, and the positions
// their up/down controls take from typed values.

#include <initializer_list>
#include <optional>
#include <vector>

namespace kvo::core {

struct PlotPoint {
  double x;
  double y;

  friend bool operator==(const PlotPoint&, const PlotPoint&) = default;
};

struct PlotRange {
  double minimum;
  double maximum;
};

// `count` points from `start` towards `end`: point i = start + (end - start)
// x i / count for i = 0..count-1. The end point itself is not among them, so
// that sides drawn one after the other do not repeat their corners.
std::vector<PlotPoint> straightLine(PlotPoint start, PlotPoint end, int count);

// Appends the sides of the closed polygon through `corners` (back to the
// first corner), each side as `pointsPerSide` points of straightLine.
void appendClosedOutline(std::vector<PlotPoint>& points, std::initializer_list<PlotPoint> corners,
                         int pointsPerSide);

// The range an axis needs to show `minimum`..`maximum`: swapped when given
// the wrong way round, and widened by 1 on each side when it has no span
// (an axis cannot show an empty range).
PlotRange orderedRange(double minimum, double maximum);

struct PlotBounds {
  PlotRange x;
  PlotRange y;
};

// The smallest ranges holding every point of every series, widened on each
// side by `margin` times their span (so that no point sits on the frame) and
// made showable by orderedRange; nullopt when there is no point at all.
std::optional<PlotBounds> plotBounds(std::initializer_list<const std::vector<PlotPoint>*> series,
                                     double margin = 0.0);

// The position an up/down takes from a value: truncated toward zero; values
// beyond the range of int, and NaN, give the nearest int or 0.
int truncatedPosition(double value);

// An azimuth up/down that reaches a full turn either way starts again at 0.
constexpr int wrappedAzimuthPosition(int position) {
  return position >= 360 || position <= -360 ? 0 : position;
}

}  // namespace kvo::core
