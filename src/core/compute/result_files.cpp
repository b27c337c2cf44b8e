#include "compute/result_files.h"

#include <cmath>

#include "model/number_text.h"
#include "numerics/constants.h"
#include "util/atomic_file.h"

namespace kvo::core {
namespace {

constexpr double kNanoVoltsPerUnit = 10000.0;
constexpr int kLayerRowsWritten = 7;

std::optional<std::string> writeOrExplain(const std::string& path, const std::string& text,
                                          const char* fixedMessage) {
  if (auto error = writeFileAtomically(path, text)) return std::string(fixedMessage) + ": " + *error;
  return std::nullopt;
}

bool allFinite(const KernelMatrix& kernel) {
  for (std::size_t p = 0; p < kKernelMoments; ++p) {
    for (std::size_t z = 0; z < kKernelDepths; ++z) {
      if (!std::isfinite(kernel.re[p][z]) || !std::isfinite(kernel.im[p][z])) return false;
    }
  }
  return true;
}

}  // namespace

long long kernelColumn(double value) {
  const double scaled = std::trunc(value * kNanoVoltsPerUnit);
  if (!(scaled > -9.2e18)) return std::isnan(scaled) ? 0 : -9200000000000000000LL;
  if (scaled > 9.2e18) return 9200000000000000000LL;
  return static_cast<long long>(scaled);
}

double kernelPhaseDegrees(double re, double im) {
  double psi = 0.0;
  if (re == 0.0) {
    psi = im < 0.0 ? -kPi / 2.0 : kPi / 2.0;
  } else {
    psi = std::atan(im / re);
    if (re < 0.0) psi += kPi;
  }
  return 180.0 / kPi * psi;
}

std::string formatMatrixFile(const MatrixFileHeader& header, const KernelMatrix& kernel,
                             const MomentGrid& moments, const DepthGrid& depths) {
  std::string text;
  text.reserve(160000);
  const double inclination = std::trunc(header.inclination);
  text += formatInteger(static_cast<long long>(inclination), 4) + " " +
          formatInteger(header.txType, 4) + " " + formatFixed(header.txSize, 8, 2) + " " +
          formatFixed(header.frequency, 8, 2) + " \n";
  for (int row = 0; row < kLayerRowsWritten; ++row) {
    const auto r = static_cast<std::size_t>(row);
    text += formatFixed(header.layers.bottom[r], 8, 4) + " " +
            formatFixed(header.layers.resistivity[r], 13, 2) + " \n";
  }
  for (std::size_t i = 0; i < kGridPoints; ++i) {
    text += formatFixed(moments[i], 14, 4) + " " + formatFixed(depths[i], 12, 4) + " \n";
  }
  for (std::size_t z = 0; z < kKernelDepths; ++z) {
    for (std::size_t p = 0; p < kKernelMoments; ++p) {
      text += formatInteger(kernelColumn(kernel.re[p][z]), 6) + " " +
              formatInteger(kernelColumn(kernel.im[p][z]), 6) + " \n";
    }
  }
  return text;
}

std::string formatSignalFile(const KernelMatrix& kernel, const MomentGrid& moments) {
  std::string text = "N Q Re(nV) Im(nV) Amplitude(nV) Phase(degr) \n";
  for (std::size_t p = 0; p < kKernelMoments; ++p) {
    const double re = kernel.re[p][0];
    const double im = kernel.im[p][0];
    text += formatInteger(static_cast<long long>(p), 5) + " " + formatFixed(moments[p], 14, 4) +
            " " + formatInteger(kernelColumn(re), 8) + " " + formatInteger(kernelColumn(im), 8) +
            " " + formatFixed(kNanoVoltsPerUnit * std::sqrt(re * re + im * im), 8, 2) + " " +
            formatFixed(kernelPhaseDegrees(re, im), 6, 2) + " \n";
  }
  return text;
}

std::optional<std::string> writeMatrixFile(const std::string& path, const MatrixFileHeader& header,
                                           const KernelMatrix& kernel, const MomentGrid& moments,
                                           const DepthGrid& depths) {
  // A kernel that is not finite is a failed computation, never a result.
  if (!allFinite(kernel)) {
    return std::string(kKernelMatrixNotFinite);
  }
  return writeOrExplain(path, formatMatrixFile(header, kernel, moments, depths), kMatrixFileMessage);
}

std::optional<std::string> writeSignalFile(const std::string& path, const KernelMatrix& kernel,
                                           const MomentGrid& moments) {
  if (!allFinite(kernel)) return std::string(kKernelMatrixNotFinite);
  return writeOrExplain(path, formatSignalFile(kernel, moments), kSignalFileMessage);
}

}  // namespace kvo::core
