#pragma once
// Program-wide constants of the computation.

namespace kvo::core {

// The program's value of pi: the ten-decimal constant, not the exact value.
inline constexpr double kPi = 3.1415926536;
// Magnetic constant (H/m).
inline constexpr double kMu0 = 4.0 * kPi * 1e-7;

}  // namespace kvo::core
