#pragma once
// How the kernel phase integrates the plane of each depth.
//   Classic: the scheme of earlier versions (sub-steps per change of the flip
//     angle per ampere, every second depth and pulse moment in the coarse
//     mode, the others read off parabolas, the Bloch-Siegert term w^2/w0),
//     kept to reproduce earlier result files.
//   Converged: every depth and pulse moment integrated to a tolerance
//     (compute/converged_kernel.h), with the physical Bloch-Siegert shift
//     w^2/(4 w0). The default.

#include <optional>
#include <string>
#include <string_view>

namespace kvo::core {

enum class Sampling { Classic, Converged };

inline constexpr double kDefaultTolerance = 1e-3;
// The tolerances a user may ask for (relative to each depth's largest |K|).
inline constexpr double kSmallestTolerance = 1e-6;
inline constexpr double kLargestTolerance = 0.1;

struct SamplingSettings {
  Sampling sampling = Sampling::Converged;
  double tolerance = kDefaultTolerance;
};

inline std::string_view samplingName(Sampling s) { return s == Sampling::Classic ? "classic" : "converged"; }

inline std::optional<Sampling> parseSampling(std::string_view text) {
  if (text == "classic") return Sampling::Classic;
  if (text == "converged") return Sampling::Converged;
  return std::nullopt;
}

inline bool validTolerance(double t) { return t >= kSmallestTolerance && t <= kLargestTolerance; }

}  // namespace kvo::core
