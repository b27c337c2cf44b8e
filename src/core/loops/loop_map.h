#pragma once
// What the loop maps draw: dense point chains along the loop outlines, and
// one common range for both map axes.

#include <optional>
#include <vector>

#include "loops/loop_outline.h"
#include "model/sounding_parameters.h"

namespace kvo::core {

struct MapPoint {
  double east;
  double north;
};

// Points along `segmentCount` segments of the outline from `baseSlot`: each
// segment is cut into k = trunc(32 / segmentCount) x 50 equal steps (50 for
// circles and eights, 400 for squares, 150 for eight squares), then the last
// vertex closes the chain. A circle gives 1501 points, a square 1601.
std::vector<MapPoint> outlinePointChain(const LoopOutline& outline, int baseSlot, int segmentCount);

struct MapRange {
  double minimum;
  double maximum;
};

// One range for both axes covering the Tx vertices 0..txSegmentCount, the Rx
// vertices 50..50 + rxSegmentCount when `includeRx`, and the four corners of
// an enabled target. Both axes share the range, so it spans the smallest to
// the largest of all east and north values, widened by 8 % of those end
// values themselves: lo - |lo| x 0.08, hi + |hi| x 0.08. Nothing to include
// gives nullopt.
std::optional<MapRange> fitMapRange(const LoopOutline& outline, bool includeRx,
                                    const TargetSetup* target);

// The step of a shift up/down (tenths of a metre per click) for an axis
// showing `minimum`..`maximum`: a tenth of the span, kept within 1..500 and
// truncated.
int shiftIncrement(double minimum, double maximum);

}  // namespace kvo::core
