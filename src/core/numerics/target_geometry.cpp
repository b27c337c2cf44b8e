#include "numerics/target_geometry.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>

namespace kvo::core {

namespace {

// a <= v <= b or b <= v <= a.
bool between(double v, double a, double b) { return (a <= v && v <= b) || (b <= v && v <= a); }

bool nearVertical(double slope) { return std::fabs(slope) >= kVerticalSlope; }

}  // namespace

double SegmentSlope(const OutlineSegment& s) {
  const double dx = s.x1 - s.x0;
  if (std::fabs(dx) > kSegmentTolerance) {
    return (s.y1 - s.y0) / dx;
  }
  return s.y1 > s.y0 ? kVerticalSlope : -kVerticalSlope;
}

bool PointOnSegment(double px, double py, const OutlineSegment& s) {
  if (std::fabs(s.x1 - s.x0) <= kSegmentTolerance) {
    // Mended: with the sentinel slope +-1e4 the test below would accept only
    // points within a fraction of a micrometre in x of the first end, so a
    // point on a vertical edge (every edge of a target that is not turned)
    // would not be on it. Exchange the roles of x and y instead.
    if (!between(py, s.y0, s.y1)) {
      return false;
    }
    const double dy = s.y1 - s.y0;
    const double xAtPy = dy != 0.0 ? s.x0 + (py - s.y0) * (s.x1 - s.x0) / dy : s.x0;
    return std::fabs(px - xAtPy) < kSegmentTolerance;
  }
  const double slope = SegmentSlope(s);
  return between(px, s.x0, s.x1) && std::fabs(py - (s.y0 + slope * (px - s.x0))) < kSegmentTolerance;
}

int CountSegmentsThrough(double px, double py, const Outline& line) {
  assert(line.x.size() == line.y.size());
  int count = 0;
  for (std::size_t k = 0; k < line.segmentCount(); ++k) {
    if (PointOnSegment(px, py, line.segment(k))) {
      ++count;
    }
  }
  return count;
}

bool SegmentsIntersect(const OutlineSegment& s1, const OutlineSegment& s2) {
  const double m1 = SegmentSlope(s1);
  const double m2 = SegmentSlope(s2);
  if (std::fabs(m1 - m2) <= kSegmentTolerance) {
    return false;  // parallel, also when collinear
  }
  if (nearVertical(m2)) {
    if (nearVertical(m1)) {
      return false;
    }
    // Segment 2 is the line x = x0 of segment 2; segment 1 is y = y0 + m1 (x - x0).
    const double x = s2.x0;
    const double y = s1.y0 - m1 * s1.x0 + m1 * x;
    return between(y, s2.y0, s2.y1) && between(x, s1.x0, s1.x1);
  }
  if (nearVertical(m1)) {
    const double x = s1.x0;
    const double y = s2.y0 - m2 * s2.x0 + m2 * x;
    return between(y, s1.y0, s1.y1) && between(x, s2.x0, s2.x1);
  }
  // Both are graphs y = c + m x: they meet where c1 + m1 x = c2 + m2 x.
  const double x = (s1.y0 - m1 * s1.x0 - (s2.y0 - m2 * s2.x0)) / (m2 - m1);
  return between(x, s1.x0, s1.x1) && between(x, s2.x0, s2.x1);
}

bool PointInPolygon(double px, double py, const Outline& closed) {
  assert(closed.x.size() == closed.y.size() && closed.x.size() >= 2);
  const std::size_t n = closed.segmentCount();
  // A far end (xr, 0) to the right of every vertex lies outside the outline.
  double xr = (closed.x[0] + closed.x[1]) / 2.0;
  for (std::size_t k = 0; k < n; ++k) {
    if (closed.x[k] > xr) {
      xr = closed.x[k] + 1.0;
    }
  }
  const OutlineSegment ray{px, py, xr, 0.0};
  int crossings = 0;
  for (std::size_t k = 0; k < n; ++k) {
    if (SegmentsIntersect(closed.segment(k), ray)) {
      ++crossings;
    }
  }
  return crossings % 2 == 1;
}

bool OutlinesOverlap(const Outline& first, const Outline& second) {
  for (std::size_t i = 0; i < first.segmentCount(); ++i) {
    for (std::size_t j = 0; j < second.segmentCount(); ++j) {
      if (SegmentsIntersect(first.segment(i), second.segment(j))) {
        return true;
      }
    }
  }
  return PointInPolygon(first.x[0], first.y[0], second) || PointInPolygon(second.x[0], second.y[0], first);
}

int PointInTargets(double px, double py, std::span<const TargetOutline> targets) {
  int result = targets.empty() ? 1 : 0;
  for (const TargetOutline& target : targets) {
    if (!target.active) {
      continue;
    }
    // All n edges of the closed outline (its n + 1 points), the closing edge
    // included, so that a point on any edge counts as inside.
    result = CountSegmentsThrough(px, py, target.outline);
    if (result > 0) {
      break;
    }
    result = PointInPolygon(px, py, target.outline) ? 1 : 0;
    if (result > 0) {
      break;
    }
  }
  return result;
}

bool PointInTargetBoxes(double px, double py, std::span<const TargetOutline> targets) {
  if (targets.empty()) {
    return true;
  }
  for (const TargetOutline& target : targets) {
    if (!target.active) {
      continue;
    }
    const Outline& o = target.outline;
    const std::size_t n = std::max<std::size_t>(o.segmentCount(), 1);
    const auto [xmin, xmax] = std::minmax_element(o.x.begin(), o.x.begin() + static_cast<std::ptrdiff_t>(n));
    const auto [ymin, ymax] = std::minmax_element(o.y.begin(), o.y.begin() + static_cast<std::ptrdiff_t>(n));
    if (*xmin <= px && px <= *xmax && *ymin <= py && py <= *ymax) {
      return true;
    }
  }
  return false;
}

int TargetIndexRanges(std::span<const TargetOutline> targets, std::span<const double> angles,
                      std::span<const double> radii, std::span<const double> depths,
                      std::span<TargetIndexRange> out) {
  assert(out.size() == targets.size());
  assert(angles.size() >= 2 && radii.size() >= 2 && !depths.empty());
  const std::size_t e = angles.size();
  const std::size_t nr = radii.size();

  GridIndexRange ring{nr - 1, 0};  // shared by all targets
  for (std::size_t q = 0; q < targets.size(); ++q) {
    const Outline& target = targets[q].outline;
    GridIndexRange sector{e - 1, 0};
    for (std::size_t m = 0; m + 1 < e; ++m) {
      const double c1 = std::cos(angles[m]);
      const double s1 = std::sin(angles[m]);
      const double c2 = std::cos(angles[m + 1]);
      const double s2 = std::sin(angles[m + 1]);
      const auto triangleOverlaps = [&](double r) {
        const std::array<double, 4> x{0.0, r * c1, r * c2, 0.0};
        const std::array<double, 4> y{0.0, r * s1, r * s2, 0.0};
        return OutlinesOverlap({x, y}, target);
      };
      if (!triangleOverlaps(radii[nr - 1])) {
        continue;
      }
      sector.first = std::min(sector.first, m);
      sector.last = std::max(sector.last, m + 1);

      // Inner ring: the smallest triangle that reaches the target. The
      // outermost triangle overlaps, so j is always set by the loop.
      std::size_t j = nr - 2;
      for (std::size_t r = 1; r < nr; ++r) {
        if (triangleOverlaps(radii[r])) {
          j = r - 1;
          ring.first = std::min(ring.first, j);
          break;
        }
      }
      // Outer ring: the outermost quadrilateral cell that reaches the target.
      for (std::size_t r = nr - 1; r > j; --r) {
        const std::array<double, 5> x{radii[r - 1] * c1, radii[r] * c1, radii[r] * c2, radii[r - 1] * c2,
                                      radii[r - 1] * c1};
        const std::array<double, 5> y{radii[r - 1] * s1, radii[r] * s1, radii[r] * s2, radii[r - 1] * s2,
                                      radii[r - 1] * s1};
        if (OutlinesOverlap({x, y}, target)) {
          ring.last = std::max(ring.last, r);
          break;
        }
      }
    }

    GridIndexRange depth{0, depths.size() - 1};
    for (std::size_t r = 0; r < depths.size(); ++r) {
      if (depths[r] <= targets[q].top) {
        depth.first = r;
      }
    }
    for (std::size_t r = 0; r < depths.size(); ++r) {
      if (depths[r] >= targets[q].bottom) {
        depth.last = r;
        break;
      }
    }
    out[q] = {ring, sector, depth};
  }
  return 1;
}

}  // namespace kvo::core
