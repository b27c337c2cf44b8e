#pragma once
// The quantities the kernel window shows of a complex kernel K(q, z) (nV/m):
// its amplitude |K| (nV/m), real and imaginary parts (nV/m) and phase
// (degrees, -90..270, the convention of the signal files: atan(Im/Re), plus
// 180 when Re < 0).

#include <QString>

#include <complex>
#include <vector>

#include "kernel/kernel_file.h"

namespace kvo::gui {

enum class KernelQuantity { Amplitude, Real, Imaginary, Phase };

inline constexpr KernelQuantity kKernelQuantities[] = {KernelQuantity::Amplitude, KernelQuantity::Real,
                                                       KernelQuantity::Imaginary, KernelQuantity::Phase};

// "Amplitude", "Real part", "Imaginary part", "Phase".
QString quantityName(KernelQuantity quantity);
// "nV/m" or "deg".
QString quantityUnit(KernelQuantity quantity);

// The quantity of one kernel value.
double quantityOf(std::complex<double> value, KernelQuantity quantity);

// The quantity of every value of `kernel`, in its order [p * depths + z].
std::vector<double> quantityValues(const core::KernelData& kernel, KernelQuantity quantity);

}  // namespace kvo::gui
