#include "kernel/kernel_files.h"

#include <cmath>
#include <stdexcept>

#include "compute/result_files.h"
#include "util/atomic_file.h"

namespace kvo::gui::test {
namespace {

using core::kKernelDepths;
using core::kKernelMoments;

void write(const std::filesystem::path& path, const std::string& text) {
  if (auto message = core::writeFileAtomically(path, text)) throw std::runtime_error(*message);
}

core::MomentGrid moments() {
  core::MomentGrid q{};
  for (std::size_t p = 0; p < kKernelMoments; ++p) q[p] = std::pow(10.0, 4.0 * static_cast<double>(p) / 99.0);
  return q;
}

core::MatrixFileHeader header() {
  core::MatrixFileHeader h;
  h.inclination = 60;
  h.txType = 1;
  h.txSize = 100;
  h.frequency = 2000;
  return h;
}

}  // namespace

std::string writeDepthSeries(const std::filesystem::path& folder, const std::string& name) {
  core::DepthGrid depths{};
  core::KernelMatrix k;
  for (std::size_t z = 0; z < kKernelDepths; ++z) {
    const double t = static_cast<double>(z) / 99.0;
    depths[z] = 0.05 + 100.0 * t * t;
  }
  for (std::size_t p = 0; p < kKernelMoments; ++p) {
    const double s = static_cast<double>(p) / 99.0;
    const double centre = 2.0 + 60.0 * s, width = 5.0 + 10.0 * s;
    for (std::size_t z = 0; z < kKernelDepths; ++z) {
      const double amplitude = 0.6 * std::exp(-std::pow((depths[z] - centre) / width, 2)) + 0.01;
      const double phase = -0.5 + 2.5 * static_cast<double>(z) / 99.0 + 0.2 * s;  // radians
      k.re[p][z] = amplitude * std::cos(phase);
      k.im[p][z] = amplitude * std::sin(phase);
    }
  }
  const auto path = folder / (name + ".mrm");
  write(path, core::formatMatrixFile(header(), k, moments(), depths));
  return path.string();
}

std::string writeSingleDepth(const std::filesystem::path& folder, const std::string& name) {
  core::DepthGrid depths{};
  depths[0] = 20.0;
  core::KernelMatrix k;
  for (std::size_t p = 0; p < kKernelMoments; ++p) {
    const double s = static_cast<double>(p) / 99.0;
    const double amplitude = 0.2 * std::sin(3.0 * s) + 0.21;
    k.re[p][0] = amplitude * std::cos(0.1 + s);
    k.im[p][0] = amplitude * std::sin(0.1 + s);
  }
  const auto path = folder / (name + ".mrm");
  write(path, core::formatMatrixFile(header(), k, moments(), depths));
  write(folder / (name + ".dat"), core::formatSignalFile(k, moments()));
  return path.string();
}

}  // namespace kvo::gui::test
