#include "options/plot_points.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kvo::core {

std::vector<PlotPoint> straightLine(PlotPoint start, PlotPoint end, int count) {
  std::vector<PlotPoint> points;
  if (count <= 0) return points;
  points.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    points.push_back({start.x + (end.x - start.x) * i / count, start.y + (end.y - start.y) * i / count});
  }
  return points;
}

void appendClosedOutline(std::vector<PlotPoint>& points, std::initializer_list<PlotPoint> corners,
                         int pointsPerSide) {
  const PlotPoint* first = corners.begin();
  for (const PlotPoint* p = corners.begin(); p != corners.end(); ++p) {
    const PlotPoint* next = p + 1 == corners.end() ? first : p + 1;
    const std::vector<PlotPoint> side = straightLine(*p, *next, pointsPerSide);
    points.insert(points.end(), side.begin(), side.end());
  }
}

PlotRange orderedRange(double minimum, double maximum) {
  if (maximum < minimum) std::swap(minimum, maximum);
  if (!(maximum > minimum)) return {minimum - 1.0, maximum + 1.0};
  return {minimum, maximum};
}

std::optional<PlotBounds> plotBounds(std::initializer_list<const std::vector<PlotPoint>*> series,
                                     double margin) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  double xLo = inf, xHi = -inf, yLo = inf, yHi = -inf;
  for (const std::vector<PlotPoint>* points : series) {
    if (points == nullptr) continue;
    for (const PlotPoint& p : *points) {
      xLo = std::min(xLo, p.x);
      xHi = std::max(xHi, p.x);
      yLo = std::min(yLo, p.y);
      yHi = std::max(yHi, p.y);
    }
  }
  if (xLo > xHi) return std::nullopt;
  auto widened = [margin](double lo, double hi) {
    const double pad = (hi - lo) * margin;
    return orderedRange(lo - pad, hi + pad);
  };
  return PlotBounds{widened(xLo, xHi), widened(yLo, yHi)};
}

int truncatedPosition(double value) {
  if (std::isnan(value)) return 0;
  constexpr double lo = std::numeric_limits<int>::min();
  constexpr double hi = std::numeric_limits<int>::max();
  return static_cast<int>(std::clamp(std::trunc(value), lo, hi));
}

}  // namespace kvo::core
