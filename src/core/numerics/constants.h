#pragma once
// Program-wide constants: the stored value of pi (not full precision) and the magnetic constant mu0 (V·s/(A·m)).

namespace kvo::core {

inline constexpr double kPi = 3.1415926536;
inline constexpr double kMu0 = 4.0 * kPi * 1e-7;

}  // namespace kvo::core
