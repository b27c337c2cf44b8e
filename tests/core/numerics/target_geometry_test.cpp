#include "numerics/target_geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "numerics/constants.h"

namespace kvo::core {
namespace {

// A closed outline owning its points (the last repeats the first).
struct Polygon {
  std::vector<double> x;
  std::vector<double> y;
  Outline outline() const { return {x, y}; }
};

// Rectangle with centre (cx, cy), half sides (w, h), turned by theta (rad).
Polygon rectangle(double cx, double cy, double w, double h, double theta) {
  Polygon p;
  for (const auto& v : std::array<std::array<double, 2>, 5>{{{-w, -h}, {w, -h}, {w, h}, {-w, h}, {-w, -h}}}) {
    p.x.push_back(cx + v[0] * std::cos(theta) - v[1] * std::sin(theta));
    p.y.push_back(cy + v[0] * std::sin(theta) + v[1] * std::cos(theta));
  }
  return p;
}

// Non-convex: an arrow with a notch, crossed up to four times by a ray.
Polygon arrow() { return {{0, 10, 14, 10, 0, 4, 0}, {0, 0.5, 5, 10.5, 10, 5, 0}}; }

// Brute force: winding number from the angles the edges subtend.
bool insideByWinding(double px, double py, const Polygon& p) {
  double sum = 0.0;
  for (std::size_t k = 0; k + 1 < p.x.size(); ++k) {
    const double ax = p.x[k] - px, ay = p.y[k] - py, bx = p.x[k + 1] - px, by = p.y[k + 1] - py;
    sum += std::atan2(ax * by - ay * bx, ax * bx + ay * by);
  }
  return std::lround(sum / (2.0 * std::numbers::pi)) != 0;
}

double distanceToOutline(double px, double py, const Polygon& p) {
  double best = 1e300;
  for (std::size_t k = 0; k + 1 < p.x.size(); ++k) {
    const double ex = p.x[k + 1] - p.x[k], ey = p.y[k + 1] - p.y[k];
    const double t = std::clamp(((px - p.x[k]) * ex + (py - p.y[k]) * ey) / (ex * ex + ey * ey), 0.0, 1.0);
    best = std::min(best, std::hypot(px - p.x[k] - t * ex, py - p.y[k] - t * ey));
  }
  return best;
}

TEST(SegmentSlope, TableOfCases) {
  struct Case {
    const char* name;
    OutlineSegment s;
    double expected;
  };
  for (const Case& c : std::vector<Case>{
           {"rising", {0, 0, 2, 1}, 0.5},
           {"falling, ends reversed", {2, 1, 0, 3}, -1.0},
           {"vertical upward", {3, 0, 3, 2}, 1e4},
           {"vertical downward", {3, 2, 3, 0}, -1e4},
           {"a point", {3, 2, 3, 2}, -1e4},
           {"within the x tolerance: vertical", {3, 0, 3.001, 2}, 1e4},
           {"beyond the x tolerance: a slope", {3, 0, 3.0011, 2}, 2.0 / (3.0011 - 3.0)},
       }) {
    EXPECT_DOUBLE_EQ(SegmentSlope(c.s), c.expected) << c.name;
  }
}

TEST(PointOnSegment, TableOfCases) {
  struct Case {
    const char* name;
    double px, py;
    OutlineSegment s;
    bool expected;
  };
  const OutlineSegment sloped{0, 0, 4, 2};
  const OutlineSegment vertical{1, -2, 1, 6};
  for (const Case& c : std::vector<Case>{
           {"middle", 2, 1, sloped, true},
           {"end", 4, 2, sloped, true},
           {"within 0.001 m in y", 2, 1.0009, sloped, true},
           {"beyond 0.001 m in y", 2, 1.0011, sloped, false},
           {"on the line beyond the end", 6, 3, sloped, false},
           {"middle of a vertical segment", 1, 3, vertical, true},
           {"vertical, within 0.001 m in x", 1.0009, 5.5, vertical, true},
           {"vertical, beyond 0.001 m in x", 1.0011, 5.5, vertical, false},
           {"vertical, beyond its end", 1, 6.5, vertical, false},
           {"along a near-vertical segment", 1.0005, 1.0, {1, -1, 1.001, 3}, true},
       }) {
    EXPECT_EQ(PointOnSegment(c.px, c.py, c.s), c.expected) << c.name;
  }
}

TEST(SegmentsIntersect, TableOfCases) {
  struct Case {
    const char* name;
    OutlineSegment s1, s2;
    bool expected;
  };
  for (const Case& c : std::vector<Case>{
           {"crossing", {0, 0, 2, 2}, {0, 2, 2, 0}, true},
           {"parallel", {0, 0, 2, 1}, {0, 1, 2, 2}, false},
           {"collinear, overlapping", {0, 0, 2, 2}, {1, 1, 3, 3}, false},
           {"slopes within 0.001, crossing", {0, 0, 10, 10}, {0, 0.001, 10, 9.995}, false},
           {"touching end to end", {0, 0, 1, 1}, {1, 1, 2, 0}, true},
           {"lines meet beyond the ends", {0, 0, 1, 1}, {3, 0, 2, 1}, false},
           {"T junction on a vertical", {0, 0, 2, 0}, {1, 0, 1, 2}, true},
           {"vertical crosses sloped", {1, -1, 1, 3}, {0, 0, 2, 2}, true},
           {"vertical above sloped", {1, 5, 1, 8}, {0, 0, 2, 2}, false},
           {"vertical beside sloped", {3, -1, 3, 3}, {0, 0, 2, 2}, false},
           {"two verticals", {1, 0, 1, 2}, {1, 1, 1, 3}, false},
           {"two verticals, opposite directions", {1, 0, 1, 2}, {1, 2, 1, 0}, false},
           {"near-vertical crosses horizontal", {1, -1, 1.0005, 1}, {0, 0, 2, 0}, true},
       }) {
    EXPECT_EQ(SegmentsIntersect(c.s1, c.s2), c.expected) << c.name;
    EXPECT_EQ(SegmentsIntersect(c.s2, c.s1), c.expected) << c.name << " (swapped)";
  }
}

TEST(PointInPolygon, AgreesWithWindingNumberOnRandomPoints) {
  std::mt19937_64 rng(314159);
  for (const Polygon& p : {rectangle(0, 0, 5, 3, 0.0), rectangle(12, -7, 8, 2, 0.4), rectangle(-30, 45, 10, 20, 2.2),
                           rectangle(100, 3, 1, 6, -0.9), arrow()}) {
    const auto [xmin, xmax] = std::minmax_element(p.x.begin(), p.x.end());
    const auto [ymin, ymax] = std::minmax_element(p.y.begin(), p.y.end());
    const double margin = 0.5 * std::max(*xmax - *xmin, *ymax - *ymin);
    std::uniform_real_distribution<double> rx(*xmin - margin, *xmax + margin);
    std::uniform_real_distribution<double> ry(*ymin - margin, *ymax + margin);
    for (int i = 0; i < 4000; ++i) {
      const double px = rx(rng);
      const double py = ry(rng);
      EXPECT_EQ(PointInPolygon(px, py, p.outline()), insideByWinding(px, py, p)) << px << " " << py;
    }
  }
}

TEST(PointInTargets, AgreesWithWindingNumberForSeveralTargets) {
  // The union of the active targets; an inactive one adds nothing; no
  // targets at all means everywhere.
  const Polygon a = rectangle(0, 0, 6, 3, 0.35);
  const Polygon b = rectangle(9, 4, 2, 5, -0.8);
  const Polygon c = arrow();
  const Polygon hidden = rectangle(0, 0, 40, 40, 0.1);
  const std::vector<TargetOutline> targets{
      {a.outline(), true, 0, 1}, {hidden.outline(), false, 0, 1}, {b.outline(), true, 0, 1}, {c.outline(), true, 0, 1}};
  std::mt19937_64 rng(2718);
  std::uniform_real_distribution<double> r(-15.0, 20.0);
  for (int i = 0; i < 5000; ++i) {
    const double px = r(rng);
    const double py = r(rng);
    EXPECT_EQ(PointInTargets(px, py, {}), 1);
    EXPECT_TRUE(PointInTargetBoxes(px, py, {}));
    if (std::min({distanceToOutline(px, py, a), distanceToOutline(px, py, b), distanceToOutline(px, py, c)}) < 0.01) {
      continue;  // within the tolerance points are on the edge
    }
    const bool expected = insideByWinding(px, py, a) || insideByWinding(px, py, b) || insideByWinding(px, py, c);
    EXPECT_EQ(PointInTargets(px, py, targets) > 0, expected) << px << " " << py;
  }
  EXPECT_EQ(PointInTargets(30.0, -30.0, targets), 0);
  EXPECT_FALSE(PointInTargetBoxes(30.0, -30.0, targets));
}

TEST(PointInTargets, PointsOnEveryEdgeCountAsInside) {
  // Unturned (vertical edges) and turned rectangles and the arrow; points
  // along every edge, the closing one and the vertices included.
  for (const Polygon& p : {rectangle(3, -2, 5, 3, 0.0), rectangle(3, -2, 5, 3, 0.5), rectangle(-40, 60, 12, 4, 1.9),
                           arrow()}) {
    const std::vector<TargetOutline> targets{{p.outline(), true, 0.0, 1.0}};
    for (std::size_t k = 0; k + 1 < p.x.size(); ++k) {
      for (double t : {0.0, 0.1, 0.5, 0.77, 1.0}) {
        const double px = p.x[k] + t * (p.x[k + 1] - p.x[k]);
        const double py = p.y[k] + t * (p.y[k + 1] - p.y[k]);
        EXPECT_GT(PointInTargets(px, py, targets), 0) << "edge " << k << " t " << t;
        EXPECT_TRUE(PointInTargetBoxes(px, py, targets)) << "edge " << k << " t " << t;
      }
    }
  }
}

TEST(PointInTargetBoxes, MatchesClosedFormBoxOfTurnedRectangle) {
  // Half extents of a w x h rectangle turned by theta: w|cos| + h|sin|, w|sin| + h|cos|.
  const double w = 10.0, h = 4.0;
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> r(-20.0, 20.0);
  for (double theta : {0.0, 0.3, 1.2, 2.5, -0.7}) {
    const Polygon p = rectangle(7, -3, w, h, theta);
    const std::vector<TargetOutline> targets{{p.outline(), true, 0, 1}};
    const double ex = w * std::fabs(std::cos(theta)) + h * std::fabs(std::sin(theta));
    const double ey = w * std::fabs(std::sin(theta)) + h * std::fabs(std::cos(theta));
    for (int i = 0; i < 2000; ++i) {
      const double dx = r(rng);
      const double dy = r(rng);
      EXPECT_EQ(PointInTargetBoxes(7 + dx, -3 + dy, targets), std::fabs(dx) < ex && std::fabs(dy) < ey) << theta;
    }
  }
}

TEST(OutlinesOverlap, TableOfCases) {
  struct Case {
    const char* name;
    Polygon first, second;
    bool expected;
  };
  for (const Case& c : std::vector<Case>{
           {"edges crossing", rectangle(0, 0, 2, 2, 0), rectangle(2, 1, 2, 2, 0.3), true},
           {"one inside the other", rectangle(0, 0, 10, 10, 0.2), rectangle(1, -1, 1, 2, 1.0), true},
           {"apart", rectangle(0, 0, 2, 2, 0), rectangle(5.5, 0, 2, 2, 0.4), false},
           {"boxes overlap, outlines do not", rectangle(0, 0, 10, 0.5, 0.7854), rectangle(4, -4, 2, 0.5, 0.7854),
            false},
       }) {
    EXPECT_EQ(OutlinesOverlap(c.first.outline(), c.second.outline()), c.expected) << c.name;
    EXPECT_EQ(OutlinesOverlap(c.second.outline(), c.first.outline()), c.expected) << c.name << " (swapped)";
  }
}

// The polar grid: 33 angles over [0, 2 pi], 75 radii from 0 to 250 m.
struct PolarGrid {
  std::vector<double> angles, radii;
};
PolarGrid makeGrid() {
  PolarGrid g;
  for (int i = 0; i < 33; ++i) {
    g.angles.push_back(2.0 * kPi * i / 32.0);
  }
  for (int k = 0; k < 75; ++k) {
    g.radii.push_back(250.0 * std::pow(k / 74.0, 1.5));
  }
  return g;
}

// Expected index ranges from a dense sample of a rectangle, boundary
// included. Each sample's cell is found directly: the sector from its polar
// angle; the ring from its distance along the sector's bisector against the
// chords at radii[r] * cos(half width) (cells have straight sides).
struct Expected {
  std::size_t sectorFirst, sectorLast, ringFirst, ringLast;
};
Expected sampleTarget(double cx, double cy, double w, double h, double theta, const PolarGrid& g) {
  const std::size_t e = g.angles.size(), nr = g.radii.size();
  Expected ex{e - 1, 0, nr - 1, 0};
  constexpr int kSteps = 400;
  for (int i = 0; i <= kSteps; ++i) {
    for (int j = 0; j <= kSteps; ++j) {
      const double u = w * (2.0 * i / kSteps - 1.0), v = h * (2.0 * j / kSteps - 1.0);
      const double px = cx + u * std::cos(theta) - v * std::sin(theta);
      const double py = cy + u * std::sin(theta) + v * std::cos(theta);
      const double phi = std::atan2(py, px) + (py < 0 ? 2.0 * std::numbers::pi : 0.0);
      std::size_t m = 0;
      while (m + 2 < e && g.angles[m + 1] <= phi) {
        ++m;
      }
      const double mid = 0.5 * (g.angles[m] + g.angles[m + 1]);
      const double along = (px * std::cos(mid) + py * std::sin(mid)) / std::cos(0.5 * (g.angles[m + 1] - g.angles[m]));
      std::size_t r = 1;
      while (r < nr && along > g.radii[r]) {
        ++r;
      }
      if (r == nr) {
        continue;  // beyond the grid
      }
      ex.sectorFirst = std::min(ex.sectorFirst, m);
      ex.sectorLast = std::max(ex.sectorLast, m + 1);
      ex.ringFirst = std::min(ex.ringFirst, r - 1);
      ex.ringLast = std::max(ex.ringLast, r);
    }
  }
  return ex;
}

TEST(TargetIndexRanges, AgreesWithDenseSamplingOfTheCells) {
  const PolarGrid grid = makeGrid();
  const std::vector<double> depths(100, 1.0);
  struct Rect {
    const char* name;
    double cx, cy, w, h, theta;
  };
  const std::vector<Rect> rects = {
      {"turned", 60, 40, 15, 8, 0.3},          {"long, across the y axis", -30, 100, 10, 25, 1.1},
      {"not turned", 20, -70, 12, 6, 0.0},     {"over the centre", 5, 3, 20, 10, 0.7},
      {"partly beyond the grid", 235, 10, 20, 20, 0.2}, {"across angle 0", 120, -4, 5, 9, -0.2},
      {"small, far out", -150, -120, 2, 1, 2.0}, {"inside one cell", 86.7, 162.2, 0.5, 0.3, 0.4},
      {"beyond the grid", 400, 0, 10, 10, 0.0},
  };
  for (const Rect& r : rects) {
    const Polygon p = rectangle(r.cx, r.cy, r.w, r.h, r.theta);
    std::vector<TargetIndexRange> out(1);
    EXPECT_EQ(TargetIndexRanges(std::vector<TargetOutline>{{p.outline(), true, 0.5, 2.0}}, grid.angles,
                                grid.radii, depths, out),
              1);
    const Expected ex = sampleTarget(r.cx, r.cy, r.w, r.h, r.theta, grid);
    EXPECT_EQ(out[0].sector.first, ex.sectorFirst) << r.name;
    EXPECT_EQ(out[0].sector.last, ex.sectorLast) << r.name;
    EXPECT_EQ(out[0].ring.first, ex.ringFirst) << r.name;
    EXPECT_EQ(out[0].ring.last, ex.ringLast) << r.name;
  }
  // Two targets: ring bounds accumulate, sector bounds are per target.
  const Polygon nearer = rectangle(30, 10, 4, 4, 0.2);
  const Polygon farther = rectangle(-150, -20, 5, 5, 0.5);
  std::vector<TargetIndexRange> out(2);
  TargetIndexRanges(std::vector<TargetOutline>{{nearer.outline(), true, 0, 1}, {farther.outline(), true, 0, 1}},
                    grid.angles, grid.radii, depths, out);
  const Expected a = sampleTarget(30, 10, 4, 4, 0.2, grid);
  const Expected b = sampleTarget(-150, -20, 5, 5, 0.5, grid);
  EXPECT_EQ(out[0].ring.first, a.ringFirst);
  EXPECT_EQ(out[0].ring.last, a.ringLast);
  EXPECT_EQ(out[1].ring.first, std::min(a.ringFirst, b.ringFirst));
  EXPECT_EQ(out[1].ring.last, std::max(a.ringLast, b.ringLast));
  EXPECT_EQ(out[1].sector.first, b.sectorFirst);
  EXPECT_EQ(out[1].sector.last, b.sectorLast);
}

TEST(TargetIndexRanges, DepthRangeTable) {
  std::vector<double> depths(100);
  for (std::size_t i = 0; i < depths.size(); ++i) {
    depths[i] = static_cast<double>(i);  // m
  }
  const PolarGrid grid = makeGrid();
  const Polygon p = rectangle(3, 3, 1, 1, 0.0);
  struct Case {
    const char* name;
    double top, bottom;
    std::size_t first, last;
  };
  for (const Case& c : std::vector<Case>{
           {"between nodes", 10.5, 20.5, 10, 21},
           {"on nodes", 10.0, 20.0, 10, 20},
           {"top above every depth", -1.0, 3.2, 0, 4},
           {"bottom below every depth", 97.5, 150.0, 97, 99},
       }) {
    std::vector<TargetIndexRange> out(1);
    TargetIndexRanges(std::vector<TargetOutline>{{p.outline(), true, c.top, c.bottom}}, grid.angles, grid.radii,
                      depths, out);
    EXPECT_EQ(out[0].depth.first, c.first) << c.name;
    EXPECT_EQ(out[0].depth.last, c.last) << c.name;
  }
}

}  // namespace
}  // namespace kvo::core
