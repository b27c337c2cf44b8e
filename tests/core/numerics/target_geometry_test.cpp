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
Polygon turnedRectangle(double cx, double cy, double w, double h, double theta) {
  Polygon p;
  const std::array<std::array<double, 2>, 5> local{{{-w, -h}, {w, -h}, {w, h}, {-w, h}, {-w, -h}}};
  for (const auto& v : local) {
    p.x.push_back(cx + v[0] * std::cos(theta) - v[1] * std::sin(theta));
    p.y.push_back(cy + v[0] * std::sin(theta) + v[1] * std::cos(theta));
  }
  return p;
}

// A non-convex outline (an arrow with a notch) that a ray can cross four times.
Polygon arrow() {
  Polygon p;
  p.x = {0, 10, 14, 10, 0, 4, 0};
  p.y = {0, 0.5, 5, 10.5, 10, 5, 0};
  return p;
}

// Brute force: winding number from the sum of the angles subtended by the
// edges; non-zero means inside.
bool insideByWinding(double px, double py, const Polygon& p) {
  double sum = 0.0;
  for (std::size_t k = 0; k + 1 < p.x.size(); ++k) {
    const double ax = p.x[k] - px;
    const double ay = p.y[k] - py;
    const double bx = p.x[k + 1] - px;
    const double by = p.y[k + 1] - py;
    sum += std::atan2(ax * by - ay * bx, ax * bx + ay * by);
  }
  return std::lround(sum / (2.0 * std::numbers::pi)) != 0;
}

// Distance from a point to the closed outline.
double distanceToOutline(double px, double py, const Polygon& p) {
  double best = 1e300;
  for (std::size_t k = 0; k + 1 < p.x.size(); ++k) {
    const double ex = p.x[k + 1] - p.x[k];
    const double ey = p.y[k + 1] - p.y[k];
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
  const std::vector<Case> cases = {
      {"rising", {0, 0, 2, 1}, 0.5},
      {"falling, ends reversed", {2, 1, 0, 3}, -1.0},
      {"horizontal", {-1, 4, 5, 4}, 0.0},
      {"vertical upward", {3, 0, 3, 2}, 1e4},
      {"vertical downward", {3, 2, 3, 0}, -1e4},
      {"degenerate point", {3, 2, 3, 2}, -1e4},
      {"within the x tolerance counts as vertical", {3, 0, 3.001, 2}, 1e4},
      {"just beyond the x tolerance is a slope", {3, 0, 3.0011, 2}, 2.0 / (3.0011 - 3.0)},
  };
  for (const Case& c : cases) {
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
  const std::vector<Case> cases = {
      {"middle of a sloped segment", 2, 1, sloped, true},
      {"end point", 4, 2, sloped, true},
      {"within 0.001 m in y", 2, 1.0009, sloped, true},
      {"beyond 0.001 m in y", 2, 1.0011, sloped, false},
      {"on the line beyond the end", 6, 3, sloped, false},
      {"middle of a vertical segment", 1, 3, vertical, true},
      {"vertical segment, within 0.001 m in x", 1.0009, 5.5, vertical, true},
      {"vertical segment, beyond 0.001 m in x", 1.0011, 5.5, vertical, false},
      {"vertical segment, beyond its end", 1, 6.5, vertical, false},
      {"near-vertical segment followed along its length", 1.0005, 1.0, {1, -1, 1.001, 3}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PointOnSegment(c.px, c.py, c.s), c.expected) << c.name;
  }
}

TEST(SegmentsIntersect, TableOfCases) {
  struct Case {
    const char* name;
    OutlineSegment s1, s2;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"crossing diagonals", {0, 0, 2, 2}, {0, 2, 2, 0}, true},
      {"parallel, apart", {0, 0, 2, 1}, {0, 1, 2, 2}, false},
      {"collinear and overlapping count as parallel", {0, 0, 2, 2}, {1, 1, 3, 3}, false},
      {"nearly parallel (slopes within 0.001) but crossing", {0, 0, 10, 10}, {0, 0.001, 10, 9.995}, false},
      {"touching end to end", {0, 0, 1, 1}, {1, 1, 2, 0}, true},
      {"lines meet beyond the segments", {0, 0, 1, 1}, {3, 0, 2, 1}, false},
      {"T junction on a vertical segment", {0, 0, 2, 0}, {1, 0, 1, 2}, true},
      {"vertical crosses sloped", {1, -1, 1, 3}, {0, 0, 2, 2}, true},
      {"vertical misses sloped above", {1, 5, 1, 8}, {0, 0, 2, 2}, false},
      {"vertical beside a sloped segment", {3, -1, 3, 3}, {0, 0, 2, 2}, false},
      {"two verticals, overlapping", {1, 0, 1, 2}, {1, 1, 1, 3}, false},
      {"two verticals of opposite direction", {1, 0, 1, 2}, {1, 2, 1, 0}, false},
      {"near-vertical crosses horizontal", {1, -1, 1.0005, 1}, {0, 0, 2, 0}, true},
      {"horizontal and vertical apart", {0, 0, 2, 0}, {3, -1, 3, 1}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SegmentsIntersect(c.s1, c.s2), c.expected) << c.name;
    EXPECT_EQ(SegmentsIntersect(c.s2, c.s1), c.expected) << c.name << " (swapped)";
  }
}

TEST(PointInPolygon, AgreesWithWindingNumberOnRandomPoints) {
  const std::vector<Polygon> polygons = {
      turnedRectangle(0, 0, 5, 3, 0.0),     turnedRectangle(12, -7, 8, 2, 0.4),
      turnedRectangle(-30, 45, 10, 20, 2.2), turnedRectangle(100, 3, 1, 6, -0.9),
      arrow(),
  };
  std::mt19937_64 rng(314159);
  for (const Polygon& p : polygons) {
    const auto [xmin, xmax] = std::minmax_element(p.x.begin(), p.x.end());
    const auto [ymin, ymax] = std::minmax_element(p.y.begin(), p.y.end());
    const double margin = 0.5 * std::max(*xmax - *xmin, *ymax - *ymin);
    std::uniform_real_distribution<double> rx(*xmin - margin, *xmax + margin);
    std::uniform_real_distribution<double> ry(*ymin - margin, *ymax + margin);
    int inside = 0;
    for (int i = 0; i < 4000; ++i) {
      const double px = rx(rng);
      const double py = ry(rng);
      const bool expected = insideByWinding(px, py, p);
      inside += expected ? 1 : 0;
      EXPECT_EQ(PointInPolygon(px, py, p.outline()), expected) << px << " " << py;
    }
    EXPECT_GT(inside, 200);  // the sample covers both sides
  }
}

TEST(PointInTargets, NoTargetsMeansEverywhere) {
  EXPECT_EQ(PointInTargets(1e6, -3.0, {}), 1);
  EXPECT_TRUE(PointInTargetBoxes(1e6, -3.0, {}));
}

TEST(PointInTargets, InactiveTargetsAreIgnored) {
  const Polygon p = turnedRectangle(0, 0, 5, 5, 0.3);
  const std::vector<TargetOutline> targets{{p.outline(), false, 0.0, 1.0}};
  EXPECT_EQ(PointInTargets(0.0, 0.0, targets), 0);
  EXPECT_FALSE(PointInTargetBoxes(0.0, 0.0, targets));
}

TEST(PointInTargets, PointsOnEveryEdgeCountAsInside) {
  // Turned and unturned (vertical edges) rectangles, the arrow; points along
  // every edge, the closing one included, vertices too.
  const std::vector<Polygon> polygons = {turnedRectangle(3, -2, 5, 3, 0.0), turnedRectangle(3, -2, 5, 3, 0.5),
                                         turnedRectangle(-40, 60, 12, 4, 1.9), arrow()};
  for (const Polygon& p : polygons) {
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

TEST(PointInTargets, AgreesWithWindingNumberForSeveralTargets) {
  // The union of the active targets; an inactive one covering others adds nothing.
  const Polygon a = turnedRectangle(0, 0, 6, 3, 0.35);
  const Polygon b = turnedRectangle(9, 4, 2, 5, -0.8);
  const Polygon c = arrow();
  const Polygon hidden = turnedRectangle(0, 0, 40, 40, 0.1);
  const std::vector<TargetOutline> targets{{a.outline(), true, 0, 1},
                                           {hidden.outline(), false, 0, 1},
                                           {b.outline(), true, 0, 1},
                                           {c.outline(), true, 0, 1}};
  std::mt19937_64 rng(2718);
  std::uniform_real_distribution<double> r(-15.0, 20.0);
  for (int i = 0; i < 5000; ++i) {
    const double px = r(rng);
    const double py = r(rng);
    bool expected = false;
    double nearest = 1e300;
    for (const Polygon* p : {&a, &b, &c}) {
      expected = expected || insideByWinding(px, py, *p);
      nearest = std::min(nearest, distanceToOutline(px, py, *p));
    }
    if (nearest < 0.01) {
      continue;  // within the segment tolerance points count as on the edge
    }
    EXPECT_EQ(PointInTargets(px, py, targets) > 0, expected) << px << " " << py;
  }
}

TEST(PointInTargetBoxes, MatchesClosedFormBoxOfTurnedRectangle) {
  // Half extents of a rectangle (w, h) turned by theta: w|cos| + h|sin|, w|sin| + h|cos|.
  const double cx = 7.0;
  const double cy = -3.0;
  const double w = 10.0;
  const double h = 4.0;
  for (double theta : {0.0, 0.3, 1.2, 2.5, -0.7}) {
    const Polygon p = turnedRectangle(cx, cy, w, h, theta);
    const std::vector<TargetOutline> targets{{p.outline(), true, 0, 1}};
    const double ex = w * std::fabs(std::cos(theta)) + h * std::fabs(std::sin(theta));
    const double ey = w * std::fabs(std::sin(theta)) + h * std::fabs(std::cos(theta));
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> r(-20.0, 20.0);
    for (int i = 0; i < 2000; ++i) {
      const double px = cx + r(rng);
      const double py = cy + r(rng);
      const double dx = std::fabs(px - cx) - ex;
      const double dy = std::fabs(py - cy) - ey;
      if (std::fabs(dx) < 1e-9 || std::fabs(dy) < 1e-9) {
        continue;
      }
      EXPECT_EQ(PointInTargetBoxes(px, py, targets), dx < 0 && dy < 0) << theta;
    }
  }
}

TEST(OutlinesOverlap, TableOfCases) {
  struct Case {
    const char* name;
    Polygon first, second;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"edges crossing", turnedRectangle(0, 0, 2, 2, 0), turnedRectangle(2, 1, 2, 2, 0.3), true},
      {"second inside first", turnedRectangle(0, 0, 10, 10, 0.2), turnedRectangle(1, -1, 1, 2, 1.0), true},
      {"first inside second", turnedRectangle(1, -1, 1, 2, 1.0), turnedRectangle(0, 0, 10, 10, 0.2), true},
      {"apart", turnedRectangle(0, 0, 2, 2, 0), turnedRectangle(5.5, 0, 2, 2, 0.4), false},
      {"boxes overlap, outlines do not", turnedRectangle(0, 0, 10, 0.5, 0.7854),
       turnedRectangle(4, -4, 2, 0.5, 0.7854), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OutlinesOverlap(c.first.outline(), c.second.outline()), c.expected) << c.name;
    EXPECT_EQ(OutlinesOverlap(c.second.outline(), c.first.outline()), c.expected) << c.name << " (swapped)";
  }
}

// The polar grid of the integration: E angles over [0, 2 pi], nr radii from 0.
struct PolarGrid {
  std::vector<double> angles;
  std::vector<double> radii;
};

PolarGrid makeGrid(std::size_t e, std::size_t nr, double rmax) {
  PolarGrid g;
  for (std::size_t i = 0; i < e; ++i) {
    g.angles.push_back(2.0 * kPi * static_cast<double>(i) / static_cast<double>(e - 1));
  }
  for (std::size_t k = 0; k < nr; ++k) {
    g.radii.push_back(rmax * std::pow(static_cast<double>(k) / static_cast<double>(nr - 1), 1.5));
  }
  return g;
}

// Cell of a point on the grid, found directly: the sector from its polar
// angle, the ring from its distance along the sector's bisector, measured
// against the chords (cells have straight sides): ring r >= 1 is the cell
// between the chords at radii[r-1] and radii[r]. ring 0: beyond the grid.
struct Cell {
  std::size_t sector;
  std::size_t ring;
};
Cell cellOf(double px, double py, const PolarGrid& g) {
  double phi = std::atan2(py, px);
  if (phi < 0.0) {
    phi += 2.0 * std::numbers::pi;
  }
  std::size_t m = 0;
  while (m + 2 < g.angles.size() && g.angles[m + 1] <= phi) {
    ++m;
  }
  const double mid = 0.5 * (g.angles[m] + g.angles[m + 1]);
  const double halfWidth = 0.5 * (g.angles[m + 1] - g.angles[m]);
  const double along = px * std::cos(mid) + py * std::sin(mid);
  for (std::size_t r = 1; r < g.radii.size(); ++r) {
    if (along <= g.radii[r] * std::cos(halfWidth)) {
      return {m, r};
    }
  }
  return {m, 0};
}

// Expected index ranges from a dense sample of the rectangle (w, h turned by
// theta about (cx, cy)), boundary included.
struct Expected {
  std::size_t sectorFirst, sectorLast, ringFirst, ringLast;
};
Expected sampleTarget(double cx, double cy, double w, double h, double theta, const PolarGrid& g) {
  Expected ex{g.angles.size() - 1, 0, g.radii.size() - 1, 0};
  std::vector<std::size_t> innermost(g.angles.size(), g.radii.size());
  constexpr int kSteps = 400;
  for (int i = 0; i <= kSteps; ++i) {
    for (int j = 0; j <= kSteps; ++j) {
      const double u = w * (2.0 * i / kSteps - 1.0);
      const double v = h * (2.0 * j / kSteps - 1.0);
      const double px = cx + u * std::cos(theta) - v * std::sin(theta);
      const double py = cy + u * std::sin(theta) + v * std::cos(theta);
      const Cell c = cellOf(px, py, g);
      if (c.ring == 0) {
        continue;
      }
      ex.sectorFirst = std::min(ex.sectorFirst, c.sector);
      ex.sectorLast = std::max(ex.sectorLast, c.sector + 1);
      innermost[c.sector] = std::min(innermost[c.sector], c.ring);
      ex.ringLast = std::max(ex.ringLast, c.ring);
    }
  }
  for (std::size_t r : innermost) {
    if (r < g.radii.size()) {
      ex.ringFirst = std::min(ex.ringFirst, r - 1);
    }
  }
  return ex;
}

TEST(TargetIndexRanges, AgreesWithDenseSamplingOfTheCells) {
  const PolarGrid grid = makeGrid(33, 75, 250.0);
  const std::vector<double> depths(100, 1.0);
  struct Rect {
    const char* name;
    double cx, cy, w, h, theta;
  };
  const std::vector<Rect> rects = {
      {"turned, first quadrant", 60, 40, 15, 8, 0.3},
      {"long, across the y axis", -30, 100, 10, 25, 1.1},
      {"not turned", 20, -70, 12, 6, 0.0},
      {"over the centre", 5, 3, 20, 10, 0.7},
      {"partly beyond the grid", 235, 10, 20, 20, 0.2},
      {"across the zero angle", 120, -4, 5, 9, -0.2},
      {"small, far out", -150, -120, 2, 1, 2.0},
  };
  for (const Rect& r : rects) {
    const Polygon p = turnedRectangle(r.cx, r.cy, r.w, r.h, r.theta);
    const std::vector<TargetOutline> targets{{p.outline(), true, 0.5, 2.0}};
    std::vector<TargetIndexRange> out(1);
    EXPECT_EQ(TargetIndexRanges(targets, grid.angles, grid.radii, depths, out), 1);
    const Expected ex = sampleTarget(r.cx, r.cy, r.w, r.h, r.theta, grid);
    EXPECT_EQ(out[0].sector.first, ex.sectorFirst) << r.name;
    EXPECT_EQ(out[0].sector.last, ex.sectorLast) << r.name;
    EXPECT_EQ(out[0].ring.first, ex.ringFirst) << r.name;
    EXPECT_EQ(out[0].ring.last, ex.ringLast) << r.name;
  }
}

TEST(TargetIndexRanges, RingBoundsAccumulateOverTargetsSectorBoundsDoNot) {
  const PolarGrid grid = makeGrid(33, 75, 250.0);
  const std::vector<double> depths(100, 1.0);
  const Polygon nearer = turnedRectangle(30, 10, 4, 4, 0.2);
  const Polygon farther = turnedRectangle(-150, -20, 5, 5, 0.5);
  const std::vector<TargetOutline> targets{{nearer.outline(), true, 0, 1}, {farther.outline(), false, 0, 1}};
  std::vector<TargetIndexRange> out(2);
  TargetIndexRanges(targets, grid.angles, grid.radii, depths, out);
  const Expected a = sampleTarget(30, 10, 4, 4, 0.2, grid);
  const Expected b = sampleTarget(-150, -20, 5, 5, 0.5, grid);
  EXPECT_EQ(out[0].ring.first, a.ringFirst);
  EXPECT_EQ(out[0].ring.last, a.ringLast);
  EXPECT_EQ(out[1].ring.first, std::min(a.ringFirst, b.ringFirst));
  EXPECT_EQ(out[1].ring.last, std::max(a.ringLast, b.ringLast));
  EXPECT_EQ(out[1].sector.first, b.sectorFirst);
  EXPECT_EQ(out[1].sector.last, b.sectorLast);
}

TEST(TargetIndexRanges, TargetBeyondTheGridMeetsNoSector) {
  const PolarGrid grid = makeGrid(33, 75, 250.0);
  const std::vector<double> depths(100, 1.0);
  const Polygon p = turnedRectangle(400, 0, 10, 10, 0.0);
  const std::vector<TargetOutline> targets{{p.outline(), true, 0, 1}};
  std::vector<TargetIndexRange> out(1);
  TargetIndexRanges(targets, grid.angles, grid.radii, depths, out);
  EXPECT_EQ(out[0].sector.first, 32u);
  EXPECT_EQ(out[0].sector.last, 0u);
  EXPECT_EQ(out[0].ring.first, 74u);
  EXPECT_EQ(out[0].ring.last, 0u);
}

TEST(TargetIndexRanges, DepthRangeTable) {
  // depths[i] = i m.
  std::vector<double> depths(100);
  for (std::size_t i = 0; i < depths.size(); ++i) {
    depths[i] = static_cast<double>(i);
  }
  const PolarGrid grid = makeGrid(5, 4, 10.0);
  const Polygon p = turnedRectangle(3, 3, 1, 1, 0.0);
  struct Case {
    const char* name;
    double top, bottom;
    std::size_t first, last;
  };
  const std::vector<Case> cases = {
      {"between nodes", 10.5, 20.5, 10, 21},
      {"on nodes", 10.0, 20.0, 10, 20},
      {"top above every depth", -1.0, 3.2, 0, 4},
      {"bottom below every depth", 97.5, 150.0, 97, 99},
      {"thin layer inside one interval", 40.2, 40.4, 40, 41},
  };
  for (const Case& c : cases) {
    const std::vector<TargetOutline> targets{{p.outline(), true, c.top, c.bottom}};
    std::vector<TargetIndexRange> out(1);
    TargetIndexRanges(targets, grid.angles, grid.radii, depths, out);
    EXPECT_EQ(out[0].depth.first, c.first) << c.name;
    EXPECT_EQ(out[0].depth.last, c.last) << c.name;
  }
}

}  // namespace
}  // namespace kvo::core
