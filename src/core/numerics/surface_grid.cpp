#include "numerics/surface_grid.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "loops/loop_setup.h"
#include "numerics/constants.h"

namespace kvo::core {

namespace {

// Scale factor of the square loops' grids relative to their half size.
constexpr double kSquareScale = 1.21;

using Radii = std::array<double, kSurfaceRadialNodes>;

// Circular and square loops: bands 0..m, m..a, a..5a.
void singleLoopRadii(Radii& r, double a, double m, double h) {
  const auto c1 = static_cast<std::size_t>(std::floor(31.0 * h));
  const auto c2 = static_cast<std::size_t>(std::floor(22.0 * h));
  const double o = std::floor(60.0 * h);
  assert(c1 + 2 * c2 <= r.size());

  for (std::size_t i = 0; i < c1; ++i) {
    r[c1 - 1 - i] = m * std::cos(static_cast<double>(i) * kPi / o);
  }
  for (std::size_t i = 0; i < c2; ++i) {
    const double w = std::cos(static_cast<double>(i + 1) * kPi / static_cast<double>(2 * c2));
    r[c1 + i] = a + w * (m - a);
    r[c1 + c2 + i] = 5.0 * a + w * (a - 5.0 * a);
  }
}

// Eights: half cosine 0..2m, its continuation, then a geometric tail.
void eightLoopRadii(Radii& r, double m, double h) {
  const auto n = static_cast<std::size_t>(std::floor(50.0 * h));
  const auto e = static_cast<std::size_t>(std::floor(60.0 * h));
  assert(n >= 2 && e > n && e <= r.size());
  const double nm1 = static_cast<double>(n - 1);

  for (std::size_t i = 0; i < n; ++i) {
    r[i] = m * (1.0 - std::cos(kPi * static_cast<double>(i) / nm1));
  }
  for (std::size_t i = n; i < e; ++i) {
    r[i] = m * (1.0 - std::cos(kPi * static_cast<double>(i - n + 1) / nm1)) + 2.0 * r[n - 1] - r[n - 2];
  }

  const double x = 2.0 * r[e - 1] - r[e - 2];
  const double d = static_cast<double>(r.size() - e);
  const double u = (std::log(x) - std::log(6.0 * m)) / (1.0 - d);
  const double b = std::log(6.0 * m) - d * u;
  // The tail runs geometrically from X (node e, one step beyond the inner
  // bands) to exactly 6m (the last node): node e + i takes exp(u (i + 1) + B).
  // Taking exp(u i + B) instead would start the tail one ratio below X, closer
  // in than node e - 1, and leave the grid folded back on itself.
  for (std::size_t i = 0; e + i < r.size(); ++i) {
    r[e + i] = std::exp(u * static_cast<double>(i + 1) + b);
  }
}

}  // namespace

int MakeSurfaceGrid(int type, double size, SurfaceGrid& grid, double halfSeparation) {
  const double a = size;
  const double c = halfSeparation;
  double m = 0.0;
  switch (static_cast<LoopType>(type)) {
    case LoopType::Circular:
      grid.angleCount = kSingleLoopAngles;
      m = a / 2.0;
      break;
    case LoopType::Square:
      grid.angleCount = kSingleLoopAngles;
      m = kSquareScale * a / 2.0;
      break;
    case LoopType::Eight:
      grid.angleCount = kEightLoopAngles;
      m = (a / 8.0 >= c) ? a / 2.0 : (a + c) * kSquareScale;
      break;
    case LoopType::EightSquare:
      grid.angleCount = kEightLoopAngles;
      m = (a / 8.0 >= c) ? kSquareScale * a / 2.0 : (a + c) * kSquareScale;
      break;
    case LoopType::None:
      break;  // m = 0; the angle count stays as it is
  }

  // For an unknown type the count is the caller's; lay out no more angles than fit.
  assert(grid.angleCount >= 0 && grid.angleCount <= static_cast<int>(kMaxSurfaceAngles));
  const int angleCount = std::clamp(grid.angleCount, 0, static_cast<int>(kMaxSurfaceAngles));
  if (angleCount >= 2) {
    for (int i = 0; i < angleCount; ++i) {
      grid.angles[static_cast<std::size_t>(i)] = 2.0 * kPi * i / (angleCount - 1);
    }
  }

  // Band widths scale with the node count N; with N = 75 h is 1.
  const double h = static_cast<double>(kSurfaceRadialNodes) / 75.0;
  switch (static_cast<LoopType>(type)) {
    case LoopType::Circular:
    case LoopType::Square:
      singleLoopRadii(grid.radii, a, m, h);
      break;
    case LoopType::Eight:
    case LoopType::EightSquare:
      eightLoopRadii(grid.radii, m, h);
      break;
    case LoopType::None:
      break;
  }
  grid.radii[0] = 0.0;
  return 0;
}

}  // namespace kvo::core
