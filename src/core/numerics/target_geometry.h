#pragma once
// Horizontal geometry of 3D targets on the polar integration grid.
//
// A 3D target is a block with a horizontal outline and a top and bottom
// depth. These routines say whether a point lies in an outline, whether two
// outlines overlap, and which angle sectors, radial rings and depth indices of
// the polar grid a target meets, so that the integration can be restricted to
// them. Coordinates in m in the horizontal plane; the tolerances are absolute:
//   - segment tolerance 0.001 m (a point within 0.001 m of a segment, measured
//     along y, lies on it; a segment spanning no more than 0.001 m in x is
//     near-vertical);
//   - a near-vertical segment has the slope +1e4 or -1e4 by the order of its
//     ends. Slopes within 0.001 of each other are parallel.
// The tests are exact for generic positions; for a segment nearly parallel to
// another (slopes within 0.001) crossings are not counted.
//
// Outlines are parallel x, y arrays. A closed outline of n vertices holds
// n + 1 points, the last repeating the first, so that edge k joins points
// k and k + 1 (k = 0..n-1).
//
// All functions are pure: safe to call from several threads at once.

#include <cstddef>
#include <span>

namespace kvo::core {

inline constexpr double kSegmentTolerance = 0.001;  // m
inline constexpr double kVerticalSlope = 1e4;

struct OutlineSegment {
  double x0 = 0.0;
  double y0 = 0.0;
  double x1 = 0.0;
  double y1 = 0.0;
};

// Points of a polyline or closed outline (x.size() == y.size()): a view of
// arrays the caller keeps alive while the outline is in use.
struct Outline {
  std::span<const double> x;
  std::span<const double> y;

  std::size_t pointCount() const { return x.size(); }
  // Segments k = 0..segmentCount()-1 join points k and k + 1.
  std::size_t segmentCount() const { return x.size() < 2 ? 0 : x.size() - 1; }
  OutlineSegment segment(std::size_t k) const { return {x[k], y[k], x[k + 1], y[k + 1]}; }
};

// One target: its closed outline, whether it takes part (the caller marks the
// targets whose depth range contains the current depth) and its depth range.
struct TargetOutline {
  Outline outline;
  bool active = false;
  double top = 0.0;     // m, depth of the top
  double bottom = 0.0;  // m, depth of the bottom
};

// (y1 - y0)/(x1 - x0) when |x1 - x0| > 0.001; otherwise +1e4 if y1 > y0,
// else -1e4.
double SegmentSlope(const OutlineSegment& s);

// True when the point lies on the segment: px between x0 and x1 (inclusive)
// and |py - (y0 + slope*(px - x0))| < 0.001. For a near-vertical segment the
// roles of x and y are exchanged (py between y0 and y1, px within 0.001 of
// the segment).
bool PointOnSegment(double px, double py, const OutlineSegment& s);

// Number of segments of `line` on which the point lies (PointOnSegment).
int CountSegmentsThrough(double px, double py, const Outline& line);

// True when the two segments cross or touch. Parallel segments (slopes within
// 0.001, also when collinear and overlapping) and two near-vertical segments
// never intersect.
bool SegmentsIntersect(const OutlineSegment& s1, const OutlineSegment& s2);

// Crossing-number test: the point is inside the closed outline when the
// segment from it to (xr, 0) crosses an odd number of edges, where xr lies
// beyond every vertex in x (the far end is outside the outline).
bool PointInPolygon(double px, double py, const Outline& closed);

// True when an edge of one outline crosses an edge of the other, or the first
// vertex of either lies inside the other.
bool OutlinesOverlap(const Outline& first, const Outline& second);

// Positive when the point lies on the outline (the number of edges through
// it) or inside an active target, 0 otherwise; 1 when there are no targets.
int PointInTargets(double px, double py, std::span<const TargetOutline> targets);

// True when the point lies in the bounding box (inclusive) of an active
// target, or when there are no targets.
bool PointInTargetBoxes(double px, double py, std::span<const TargetOutline> targets);

// Inclusive index range; empty while first > last.
struct GridIndexRange {
  std::size_t first = 0;
  std::size_t last = 0;
};

struct TargetIndexRange {
  GridIndexRange ring;    // radial node indices; shared and accumulated over targets 0..q
  GridIndexRange sector;  // angle node indices
  GridIndexRange depth;   // depth indices
};

// For each target q (targets.size() == out.size()), the part of the polar grid
// (angles: E >= 2 nodes, rad; radii: nr >= 2 nodes, m, radii[0] = 0) and of
// the depth series it meets:
// - sectors: m = 0..E-2 whose triangle (0,0), R(cos t1, sin t1),
//   R(cos t2, sin t2) (t1, t2 = angles[m], angles[m+1], R = radii[nr-1])
//   overlaps the outline; sector.first = smallest such m, sector.last =
//   largest such m + 1 (E-1 and 0 when none);
// - rings, in each such sector: first = j = r - 1 for the smallest r whose
//   triangle of radius radii[r] overlaps the outline; last = the largest
//   r > j whose quadrilateral between radii[r-1] and radii[r] overlaps it.
//   The ring bounds start once at nr-1 and 0 and accumulate over the
//   targets, so target q holds the bounds of targets 0..q;
// - depths: first = the last index with depths[r] <= top (0 if none), last =
//   the first index with depths[r] >= bottom (depths.size()-1 if none).
// Cells have straight (chord) sides. Returns 1 (it cannot fail).
int TargetIndexRanges(std::span<const TargetOutline> targets, std::span<const double> angles,
                      std::span<const double> radii, std::span<const double> depths,
                      std::span<TargetIndexRange> out);

}  // namespace kvo::core
