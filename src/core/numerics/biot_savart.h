#pragma once
// The static magnetic field of a closed wire polygon in free space
// (Biot-Savart), in closed form per straight segment.
//
// For a segment from a to b carrying a unit current from a to b, and a point
// p with r1 = p - a, r2 = p - b, u = (b - a)/|b - a| and the perpendicular
// d = r1 - (r1.u) u from the segment's line to p:
//     H = (u x d) / (4 pi |d|^2) * (r1.u/|r1| - r2.u/|r2|)      (A/m per A).
// This is the free-space part of the loop field that dominates next to the
// wire, where the field varies on the scale of the distance to the wire;
// the earth's part beside it varies on the scale of the skin depth.
//
// Frame: any right-handed frame (x, y, z); the current runs in the order of
// the vertices. A point on a segment's line (|d| = 0) gets no field from that
// segment.

#include <array>
#include <span>
#include <vector>

#include "numerics/perpendicular_field.h"

namespace kvo::core {

using Point3 = std::array<double, 3>;

// The field at p of the polygon vertices[0] -> vertices[1] -> ... ->
// vertices[n-1] (n - 1 segments; a closed loop repeats its first vertex).
FieldVector BiotSavartField(std::span<const Point3> vertices, const Point3& p);

// The same with each segment's direction and length worked out once, for
// many points.
class BiotSavartWire {
 public:
  BiotSavartWire() = default;
  explicit BiotSavartWire(std::span<const Point3> vertices);
  FieldVector at(const Point3& p) const;

  // The same sum lane by lane in plain doubles, and four lanes at once with
  // AVX2 (x86-64 processors that have it); both give the same bits, and
  // at() takes the second where it can.
  FieldVector atPlain(const Point3& p) const;
#if defined(__x86_64__)
  FieldVector atWide(const Point3& p) const;
#endif

 private:
  // The segments in groups of kLanes, each quantity in its own array (so
  // that a group is computed in vector registers); a group is filled up
  // with segments of zero length, which add nothing. Segment k runs from
  // corner k to corner k + 1 of the chain (the vertices without repeats),
  // so that each corner's distance is worked out once for both its
  // segments; the corners are in groups too, filled up with the last one.
  static constexpr std::size_t kLanes = 4;
  struct Group {
    std::array<double, kLanes> ax, ay, az;  // start
    std::array<double, kLanes> ux, uy, uz;  // unit direction
    std::array<double, kLanes> length;
  };
  struct Corners {
    std::array<double, kLanes> x, y, z;
  };
  std::vector<Group> m_groups;
  std::vector<Corners> m_corners;  // m_groups.size() + 1 groups
};

}  // namespace kvo::core
