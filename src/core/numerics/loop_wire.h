#pragma once
// The wire polygon of a loop, as handed to the layered-earth field component.
//
// The loop lies in its own frame: centred on the origin, before its azimuth
// is applied; x, y in m. Every vertex has z = 0.01 m, inside the 0.02 m
// insulating top layer of the layered earth. The polygon is closed: vertex S
// repeats vertex 0, S being the segment count (at most 30, so at most 31
// vertices).
//
// Shapes (R the circumradius, b half the gap between the parts of an eight):
// - polygon of S segments: vertex i = (R cos(2 pi i/S), R sin(2 pi i/S));
//   a circle is a 30-gon, a square a 4-gon with its corners on the axes;
// - eight: two regular K-gons, K = (S-2)/2, centred at x = +-(b + 0.01 + R),
//   each starting and ending at its inner point x = +-(b + 0.01). The first
//   part is traced counter-clockwise, the second is its mirror image across
//   x = 0 and so clockwise: the currents of the two parts are opposite. The
//   two straight segments that join the parts run along the same line in
//   opposite directions and cancel.
// pi is the stored value of numerics/constants.h, so the closing vertex is set
// to vertex 0 explicitly rather than computed at angle 2 pi.

#include <array>
#include <cstddef>

namespace kvo::core {

inline constexpr std::size_t kMaxWireVertices = 31;
inline constexpr int kMaxWireSegments = static_cast<int>(kMaxWireVertices) - 1;
inline constexpr double kWireHeight = 0.01;  // m, z of every vertex

using WireVertex = std::array<double, 3>;  // x, y, z in m
using WireVertices = std::array<WireVertex, kMaxWireVertices>;

struct LoopWireShape {
  int segmentCount = 0;     // S; vertices 0..S are used, vertex S == vertex 0
  WireVertices vertices{};  // entries beyond S are 0
};

// Regular polygon of `segments` (1..30) segments with circumradius `radius` (m).
WireVertices PolygonLoopWire(int segments, double radius);

// Figure-eight of `segments` (4..30) segments in total: two regular K-gons,
// K = (segments-2)/2 (integer division), of circumradius `radius` (m), with the
// gap 2 * halfSeparation + 0.02 m between their inner points.
WireVertices EightLoopWire(int segments, double radius, double halfSeparation);

// The wire of a loop of type 1 (circular: 30-gon, radius s/2), 2 (square:
// 4-gon, radius s sqrt(2)/2), 3 (eight: 30 segments, parts of radius s/2) or
// 4 (eight square: 10 segments, diamonds of radius s sqrt(2)/2), where s is
// the loop size taken in whole metres, trunc(size); a size below 1 m gives a
// degenerate wire. Returns 0 and fills `wire`; returns 1 for any other type
// and leaves `wire` unchanged.
int LoopWire(int type, double size, LoopWireShape& wire, double halfSeparation);

}  // namespace kvo::core
