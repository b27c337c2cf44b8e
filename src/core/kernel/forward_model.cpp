#include "kernel/forward_model.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>

#include "numerics/constants.h"

namespace kvo::core {
namespace {

using Complex = std::complex<double>;

std::string metres(double value) {
  std::ostringstream s;
  s << value << " m";
  return s.str();
}

}  // namespace

Complex DepthIntegral(const KernelData& k, std::size_t p, double a, double b) {
  const std::vector<double>& z = k.depths;
  const auto valueAt = [&](std::size_t i, double depth) {
    const double f = (depth - z[i]) / (z[i + 1] - z[i]);
    return k.at(p, i) + f * (k.at(p, i + 1) - k.at(p, i));
  };
  Complex sum{};
  for (std::size_t i = 0; i + 1 < z.size(); ++i) {
    const double lo = std::max(a, z[i]), hi = std::min(b, z[i + 1]);
    if (hi <= lo) continue;
    sum += 0.5 * (hi - lo) * (valueAt(i, lo) + valueAt(i, hi));
  }
  return sum;
}

std::optional<std::string> CheckWaterModel(const KernelData& kernel, const std::vector<WaterLayer>& layers) {
  if (kernel.singleDepth()) {
    return std::string("the kernel of ") + kernel.source +
           " has a single depth: there is no depth to integrate a water model over";
  }
  if (layers.empty()) return std::string("the water model has no layer");
  const double shallowest = kernel.depths.front(), deepest = kernel.depths.back();
  for (std::size_t i = 0; i + 1 < kernel.depths.size(); ++i) {
    if (!(kernel.depths[i + 1] > kernel.depths[i])) {
      return "the depths of " + kernel.source + " do not increase (depth " + std::to_string(i + 2) + ")";
    }
  }
  std::vector<WaterLayer> sorted = layers;
  for (std::size_t i = 0; i < layers.size(); ++i) {
    const WaterLayer& l = layers[i];
    const std::string which = "layer " + std::to_string(i + 1);
    if (!(l.top < l.bottom)) return which + ": its top (" + metres(l.top) + ") is not above its bottom (" + metres(l.bottom) + ")";
    if (!(l.top >= shallowest && l.bottom <= deepest)) {
      return which + ": " + metres(l.top) + " to " + metres(l.bottom) + " is not within the kernel's depths, " +
             metres(shallowest) + " to " + metres(deepest);
    }
    if (!(l.content >= 0.0 && l.content <= 1.0)) return which + ": the water content must be a fraction from 0 to 1";
    if (!(l.t2 >= 0.0) || !std::isfinite(l.t2)) return which + ": T2* must be a positive number of seconds";
  }
  std::sort(sorted.begin(), sorted.end(), [](const WaterLayer& a, const WaterLayer& b) { return a.top < b.top; });
  for (std::size_t i = 0; i + 1 < sorted.size(); ++i) {
    if (sorted[i + 1].top < sorted[i].bottom) {
      return "the layers " + metres(sorted[i].top) + " to " + metres(sorted[i].bottom) + " and " +
             metres(sorted[i + 1].top) + " to " + metres(sorted[i + 1].bottom) + " overlap";
    }
  }
  return std::nullopt;
}

std::vector<Complex> ForwardResponse(const KernelData& kernel, const std::vector<WaterLayer>& layers) {
  return ForwardCube(kernel, layers, {0.0});
}

std::vector<Complex> ForwardCube(const KernelData& kernel, const std::vector<WaterLayer>& layers,
                                 const std::vector<double>& times) {
  const std::size_t pulses = kernel.pulseMoments.size();
  std::vector<Complex> out(pulses * times.size());
  for (std::size_t p = 0; p < pulses; ++p) {
    for (const WaterLayer& l : layers) {
      const Complex v = l.content * DepthIntegral(kernel, p, l.top, l.bottom);
      for (std::size_t t = 0; t < times.size(); ++t) {
        const double decay = l.t2 > 0.0 ? std::exp(-times[t] / l.t2) : 1.0;
        out[p * times.size() + t] += decay * v;
      }
    }
  }
  return out;
}

void AddNoise(std::vector<Complex>& values, double sigma, std::uint64_t seed) {
  std::mt19937_64 engine(seed);
  // Uniform in (0, 1] from the top 53 bits.
  const auto uniform = [&] { return (static_cast<double>(engine() >> 11) + 1.0) * 0x1.0p-53; };
  for (Complex& v : values) {
    const double r = sigma * std::sqrt(-2.0 * std::log(uniform()));
    const double a = 2.0 * kPi * uniform();
    v += Complex(r * std::cos(a), r * std::sin(a));
  }
}

}  // namespace kvo::core
