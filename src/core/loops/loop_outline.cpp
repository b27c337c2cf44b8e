#include "loops/loop_outline.h"

#include <cmath>
#include <vector>

#include "numerics/constants.h"

namespace kvo::core {
namespace {

struct Point {
  double east;
  double north;
};

// Circle of radius r about the origin, 31 vertices from the east point
// counter-clockwise (seen from above), the last closing the outline.
std::vector<Point> circleOutline(double r) {
  std::vector<Point> pts;
  for (int i = 0; i <= 30; ++i) {
    const double theta = i * 2.0 * kPi / 30.0;
    pts.push_back({r * std::cos(theta), r * std::sin(theta)});
  }
  return pts;
}

// Square of half-diagonal h with its corners on the axes: W, N, E, S, W.
std::vector<Point> squareOutline(double h) {
  return {{-h, 0.0}, {0.0, h}, {h, 0.0}, {0.0, -h}, {-h, 0.0}};
}

// Two circles of radius r whose inner points lie at -b and +b on the east
// axis, joined by a straight link: 16 + 1 + 16 vertices.
std::vector<Point> eightOutline(double r, double b) {
  std::vector<Point> pts;
  for (int i = 0; i <= 15; ++i) {
    const double theta = i * 2.0 * kPi / 15.0;
    pts.push_back({r * (std::cos(theta) - 1.0) - b, r * std::sin(theta)});
  }
  pts.push_back({b, 0.0});
  for (int i = 0; i <= 15; ++i) {
    const double theta = i * 2.0 * kPi / 15.0 - kPi;
    pts.push_back({b + r * (std::cos(theta) + 1.0), r * std::sin(theta)});
  }
  return pts;
}

// Two squares standing on a corner, inner corners at +b and -b, joined by a link.
std::vector<Point> eightSquareOutline(double h, double b) {
  return {{b, 0.0},          {b + h, -h},  {b + 2 * h, 0.0},  {b + h, h},  {b, 0.0},
          {-b, 0.0},         {-b - h, -h}, {-b - 2 * h, 0.0}, {-b - h, h}, {-b, 0.0}};
}

}  // namespace

int outlineSegmentCount(int typeCode) {
  switch (typeCode) {
    case 1: return 30;
    case 2: return 4;
    case 3: return 32;
    case 4: return 9;
    default: return 0;
  }
}

void turnPoint(double& east, double& north, double azimuthDeg) {
  const double a = degreesToRadians(azimuthDeg);
  const double c = std::cos(a);
  const double s = std::sin(a);
  const double e = east * c + north * s;
  const double n = -east * s + north * c;
  east = e;
  north = n;
}

void buildLoopOutline(LoopOutline& outline, int loopIndex, const LoopSetup& loop) {
  if (loopIndex != kTxOutlineIndex && loopIndex != kRxOutlineIndex) return;
  const int type = loopTypeCode(loop);
  const double size = loop[kLoopSize];
  const double r = size / 2.0;
  const double h = size * std::sqrt(2.0) / 2.0;
  const double b = loop[kLoopSeparation] / 2.0;

  std::vector<Point> pts;
  bool eight = false;
  switch (type) {
    case 1: pts = circleOutline(r); break;
    case 2: pts = squareOutline(h); break;
    case 3: pts = eightOutline(r, b), eight = true; break;
    case 4: pts = eightSquareOutline(h, b), eight = true; break;
    default: return;
  }
  for (Point& p : pts) {
    if (eight) turnPoint(p.east, p.north, 90.0);  // the eight's axis runs south-north
    if (type != 1) turnPoint(p.east, p.north, loop[kLoopAzimuth]);
    p.east += loop[kLoopShiftEast];
    p.north += loop[kLoopShiftNorth];
  }
  const auto base = static_cast<std::size_t>(kOutlineBaseSlot[loopIndex]);
  for (std::size_t i = 0; i < pts.size(); ++i) {
    outline.outlineEast[base + i] = pts[i].east;
    outline.outlineNorth[base + i] = pts[i].north;
  }
}

}  // namespace kvo::core
