#pragma once
// Forward responses: the signal a water-content model gives through a
// kernel read back from its result file (kernel_file.h).
//
// The model is a set of layers, each with a top and a bottom depth (m), a
// water content (a fraction, 0 to 1) and optionally a relaxation time T2*
// (s). Between the kernel's depth nodes the kernel is taken as linear in
// depth, so a layer's response is the exact integral of that piecewise
// linear kernel over the layer (the trapezoid rule on the nodes, with the
// layer's ends interpolated):
//     V(q)    = sum over layers of  content * integral over [top, bottom] of K(q, z) dz,
//     V(q, t) = sum over layers of  content * e^(-t/T2*) * integral ...  (no decay without T2*),
// in nV. Layers must lie within the kernel's depths and must not overlap.

#include <complex>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kernel/kernel_file.h"

namespace kvo::core {

struct WaterLayer {
  double top = 0.0;      // m
  double bottom = 0.0;   // m
  double content = 0.0;  // fraction, 0..1
  double t2 = 0.0;       // s, 0 for none
};

// What is wrong with `layers` for `kernel` (a single-depth kernel, a layer
// outside the kernel's depths, upside down, overlapping another, a content
// outside 0..1, a negative T2*), or nothing.
std::optional<std::string> CheckWaterModel(const KernelData& kernel, const std::vector<WaterLayer>& layers);

// The integral over [a, b] (within the kernel's depths) of the kernel of
// pulse index p, linear between the depth nodes (nV for a kernel in nV/m).
std::complex<double> DepthIntegral(const KernelData& kernel, std::size_t p, double a, double b);

// The initial signal (nV) of each pulse moment; the model must pass
// CheckWaterModel.
std::vector<std::complex<double>> ForwardResponse(const KernelData& kernel, const std::vector<WaterLayer>& layers);

// The signal at each time (s) after the pulse, [p * times.size() + t].
std::vector<std::complex<double>> ForwardCube(const KernelData& kernel, const std::vector<WaterLayer>& layers,
                                              const std::vector<double>& times);

// Adds Gaussian noise of standard deviation `sigma` (nV) to the real and
// imaginary parts, the same for the same seed on every machine (64-bit
// Mersenne Twister, Box-Muller).
void AddNoise(std::vector<std::complex<double>>& values, double sigma, std::uint64_t seed);

}  // namespace kvo::core
