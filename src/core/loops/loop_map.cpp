#include "loops/loop_map.h"

#include <algorithm>
#include <cmath>

namespace kvo::core {

std::vector<MapPoint> outlinePointChain(const LoopOutline& outline, int baseSlot, int segmentCount) {
  std::vector<MapPoint> points;
  if (segmentCount <= 0 || baseSlot < 0 || baseSlot + segmentCount >= 100) return points;
  const int k = (32 / segmentCount) * 50;
  points.reserve(static_cast<std::size_t>(segmentCount * k + 1));
  auto vertex = [&](int i) {
    const auto slot = static_cast<std::size_t>(baseSlot + i);
    return MapPoint{outline.outlineEast[slot], outline.outlineNorth[slot]};
  };
  for (int i = 0; i < segmentCount; ++i) {
    const MapPoint a = vertex(i);
    const MapPoint b = vertex(i + 1);
    for (int j = 0; j < k; ++j) {
      points.push_back({a.east + (b.east - a.east) / k * j, a.north + (b.north - a.north) / k * j});
    }
  }
  points.push_back(vertex(segmentCount));
  return points;
}

std::optional<MapRange> fitMapRange(const LoopOutline& outline, bool includeRx,
                                    const TargetSetup* target) {
  double xLo = 1e8, xHi = -1e8, yLo = 1e8, yHi = -1e8;
  auto include = [&](double x, double y) {
    xLo = std::min(xLo, x);
    xHi = std::max(xHi, x);
    yLo = std::min(yLo, y);
    yHi = std::max(yHi, y);
  };
  if (target != nullptr && (*target)[kTargetEnabled] != 0) {
    for (int c = 0; c < 4; ++c) {
      include((*target)[targetCornerNorthSlot(c)], (*target)[targetCornerEastSlot(c)]);
    }
  }
  auto includeLoop = [&](int base, int segments) {
    for (int i = 0; i <= segments && base + i < 100; ++i) {
      const auto slot = static_cast<std::size_t>(base + i);
      include(outline.outlineEast[slot], outline.outlineNorth[slot]);
    }
  };
  if (outline.txSegmentCount > 0) includeLoop(0, outline.txSegmentCount);
  if (includeRx && outline.rxSegmentCount > 0) includeLoop(50, outline.rxSegmentCount);
  if (xLo > xHi && yLo > yHi) return std::nullopt;
  const double lo = std::min(xLo, yLo);
  const double hi = std::max(xHi, yHi);
  return MapRange{lo - std::fabs(lo) * 0.08, hi + std::fabs(hi) * 0.08};
}

int shiftIncrement(double minimum, double maximum) {
  double c = std::fabs(maximum - minimum) * 0.1;
  if (!(c >= 1.0)) c = 1.0;
  if (c > 500.0) c = 500.0;
  return static_cast<int>(c);
}

}  // namespace kvo::core
