#pragma once
// Program-wide numerical constants.
//
// pi is the stored value 3.1415926536, deliberately not the exact value: every
// angle of the computation is built from it, and results are reproducible only
// with this value.

namespace kvo::core {

inline constexpr double kPi = 3.1415926536;

// Magnetic constant mu0 = 4 pi 1e-7 (H/m), with the stored pi.
inline constexpr double kMu0 = 4.0 * kPi * 1e-7;

// Degrees to radians as x * (1/180) * pi, in this order of operations.
constexpr double degreesToRadians(double degrees) { return degrees * (1.0 / 180.0) * kPi; }

}  // namespace kvo::core
