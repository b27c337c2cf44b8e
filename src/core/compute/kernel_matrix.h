#pragma once
// The complex kernel of a sounding: K[p][z] for 100 pulse moments p and 100
// depths z, real and imaginary parts in separate planes. Kernel values times
// 10000 are signals in nV for a water content of one.

#include <array>
#include <cstddef>

namespace kvo::core {

inline constexpr std::size_t kKernelMoments = 100;
inline constexpr std::size_t kKernelDepths = 100;

struct KernelMatrix {
  using Plane = std::array<std::array<double, kKernelDepths>, kKernelMoments>;
  Plane re{};
  Plane im{};
};

}  // namespace kvo::core
