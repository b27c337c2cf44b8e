#include "numerics/loop_wire.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "loops/loop_setup.h"
#include "numerics/constants.h"

namespace kvo::core {

namespace {
// Each part of an eight keeps its inner point 0.01 m beyond the half gap.
constexpr double kEightInnerOffset = 0.01;  // m
}  // namespace

WireVertices PolygonLoopWire(int segments, double radius) {
  assert(segments >= 1 && segments <= kMaxWireSegments);
  const int s = std::clamp(segments, 1, kMaxWireSegments);
  WireVertices wire{};
  for (int i = 0; i < s; ++i) {
    const double angle = 2.0 * kPi * i / s;
    wire[static_cast<std::size_t>(i)] = {radius * std::cos(angle), radius * std::sin(angle), kWireHeight};
  }
  wire[static_cast<std::size_t>(s)] = wire[0];
  return wire;
}

WireVertices EightLoopWire(int segments, double radius, double halfSeparation) {
  assert(segments >= 4 && segments <= kMaxWireSegments);
  const int s = std::clamp(segments, 4, kMaxWireSegments);
  const int k = (s - 2) / 2;  // segments of each part
  const double step = 2.0 * kPi / k;
  WireVertices wire{};

  // First part: a K-gon around (b + 0.01 + R, 0), starting at angle pi, i.e. at
  // its inner point (b + 0.01, 0), and returning there after K steps.
  for (int i = 0; i <= k; ++i) {
    const double angle = kPi + i * step;
    wire[static_cast<std::size_t>(i)] = {
        halfSeparation + radius * (std::cos(angle) + 1.0) + kEightInnerOffset, radius * std::sin(angle),
        kWireHeight};
  }
  // Second part: vertex i+1 mirrors vertex i-K across x = 0, for i = K..S-1.
  // In this order vertex K+1 mirrors vertex 0, and from i = 2K+1 on the source
  // is a vertex of the second part written earlier in this loop.
  for (int i = k; i < s; ++i) {
    const WireVertex& source = wire[static_cast<std::size_t>(i - k)];
    wire[static_cast<std::size_t>(i + 1)] = {-source[0], source[1], kWireHeight};
  }
  wire[static_cast<std::size_t>(s)] = wire[0];
  return wire;
}

int LoopWire(int type, double size, LoopWireShape& wire, double halfSeparation) {
  // The wire takes the size in whole metres.
  const double s = std::trunc(size);
  const double squareRadius = s * std::sqrt(2.0) / 2.0;  // half the diagonal of a square of side s
  switch (static_cast<LoopType>(type)) {
    case LoopType::Circular:
      wire.segmentCount = 30;
      wire.vertices = PolygonLoopWire(30, s / 2.0);
      return 0;
    case LoopType::Square:
      wire.segmentCount = 4;
      wire.vertices = PolygonLoopWire(4, squareRadius);
      return 0;
    case LoopType::Eight:
      wire.segmentCount = 30;
      wire.vertices = EightLoopWire(30, s / 2.0, halfSeparation);
      return 0;
    case LoopType::EightSquare:
      wire.segmentCount = 10;
      wire.vertices = EightLoopWire(10, squareRadius, halfSeparation);
      return 0;
    case LoopType::None:
      break;
  }
  return 1;
}

}  // namespace kvo::core
