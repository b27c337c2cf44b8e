#pragma once
// The polar surface grid on which the field of a loop is computed: rays at
// E angles, and along each ray 75 radial distances, centred on the loop in its
// own frame (before its azimuth is applied).
//
// Angles (rad): angle[i] = 2 pi i/(E-1), i = 0..E-1, both 0 and 2 pi present;
// E = 33 for single loops (types 1, 2) and 61 for eights (types 3, 4).
//
// Radii (m), with a the loop size (the real size, not whole metres) and m a
// scale of the loop:
// - circular (m = a/2) and square (m = 1.21 a/2, a little beyond the half
//   diagonal 0.707 a): three cosine-spaced bands, dense near their ends,
//     r[0..30]  from 0 to m,  r[30-i] = m cos(i pi/60)       (quarter cosine),
//     r[31..52] from m to a,  r[31+i] = a + cos((i+1) pi/44) (m - a),
//     r[53..74] from a to 5a, r[53+i] = 5a + cos((i+1) pi/44) (a - 5a);
// - eights (m = a/2, or 1.21 a/2 for the square eight, as long as the half
//   gap c is at most a/8; with a wider gap m = 1.21 (a + c)):
//     r[0..49]  = m (1 - cos(pi i/49)), a half cosine from 0 to 2m,
//     r[50..59] continue it by the same cosine law beyond 2m,
//     r[60..74] = exp(u i + B), i = 0..14, a geometric series with
//       X = 2 r[59] - r[58], u = (ln X - ln 6m)/(1 - 15), B = ln 6m - 15 u,
//     i.e. r[60+i] = 6m (X/6m)^((15-i)/14): it ends one ratio step short of
//     6m at r[74] = 6m (X/6m)^(1/14), and r[60] = X (X/6m)^(1/14) lies below
//     r[59] (the tail is not joined monotonically to the inner bands).
// r[0] is set to exactly 0 (the stored pi makes the cosine at pi/2 a tiny
// negative number). Valid for a > 0; a = 0 gives NaN in the eights' tail.

#include <array>
#include <cstddef>

namespace kvo::core {

inline constexpr std::size_t kSurfaceRadialNodes = 75;
inline constexpr std::size_t kMaxSurfaceAngles = 61;
inline constexpr int kSingleLoopAngles = 33;  // types 1 and 2
inline constexpr int kEightLoopAngles = 61;   // types 3 and 4

struct SurfaceGrid {
  std::array<double, kSurfaceRadialNodes> radii{};  // m
  std::array<double, kMaxSurfaceAngles> angles{};   // rad, entries 0..angleCount-1 used
  int angleCount = kSingleLoopAngles;               // E
};

// Fills `grid` for a loop of type 1..4, size `size` (m) and half gap
// `halfSeparation` (m, eights only). Returns 0. For any other type the radii
// are left unchanged except r[0] = 0, and the angles are laid out with the
// grid's present angleCount (2..61; smaller counts leave the angles unchanged).
int MakeSurfaceGrid(int type, double size, SurfaceGrid& grid, double halfSeparation);

}  // namespace kvo::core
