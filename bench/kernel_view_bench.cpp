// Speed of the kernel window's picture: reading the bundled coincident-loop
// example's result file back and building the picture of its amplitude for
// a plot area of 800 x 600 pixels (logarithmic pulse moment, linear depth),
// apart and together. The result file is computed once, with the classic
// sampling, before the measurements.
//
//   kernel_view_bench --benchmark_repetitions=9 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "compute/compute_sounding.h"
#include "kernel/colour_scale.h"
#include "kernel/kernel_file.h"
#include "kernel/kernel_image.h"
#include "kernel/kernel_quantity.h"
#include "model/parameter_file.h"

namespace {

namespace fs = std::filesystem;
using namespace kvo;

const QSize kPlotArea(800, 600);

// The example's result file, computed on first use.
const std::string& exampleResult() {
  static const std::string path = [] {
    const fs::path folder = fs::temp_directory_path() / ("kvo_kernel_view_bench_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    core::SoundingParameters params = core::defaultSoundingParameters();
    std::string file = KVO_EXAMPLES_DIR "/coincident_circle_100m_three_layers.nmc";
    std::string unused;
    const core::FileOutcome read =
        core::readParameterFile(file, unused, core::ParameterFileMode::Parameters, ".", params);
    if (!read.ok()) throw std::runtime_error(read.message);
    core::ComputeOptions options;
    options.sampling = core::Sampling::Classic;
    options.workingFolder = folder.string();
    const core::ComputeResult result = core::ComputeSounding((folder / "coincident.mrm").string(), params, options);
    if (!result.written()) throw std::runtime_error(result.message);
    return result.matrixFile;
  }();
  return path;
}

QImage draw(const core::KernelData& kernel) {
  const std::vector<double> values = gui::quantityValues(kernel, gui::KernelQuantity::Amplitude);
  const gui::KernelPicture picture{&values, &kernel.pulseMoments, &kernel.depths,
                                   gui::ColourScale::forValues(values, gui::KernelQuantity::Amplitude)};
  const gui::AxisScale x{kernel.pulseMoments.front(), kernel.pulseMoments.back(), true, false};
  const gui::AxisScale y{0.0, kernel.depths.back(), false, true};
  return gui::buildKernelImage(picture, kPlotArea, x, y);
}

void BM_ReadKernelFile(benchmark::State& state) {
  const std::string& path = exampleResult();
  for (auto _ : state) {
    const core::KernelReadResult read = core::ReadKernelFile(path);
    if (!read.data) state.SkipWithError(read.message.c_str());
    benchmark::DoNotOptimize(read.data->values.data());
  }
}

void BM_BuildKernelImage(benchmark::State& state) {
  const core::KernelReadResult read = core::ReadKernelFile(exampleResult());
  if (!read.data) throw std::runtime_error(read.message);
  for (auto _ : state) {
    const QImage image = draw(*read.data);
    benchmark::DoNotOptimize(image.constBits());
  }
}

void BM_ReadAndDrawKernel(benchmark::State& state) {
  const std::string& path = exampleResult();
  for (auto _ : state) {
    const core::KernelReadResult read = core::ReadKernelFile(path);
    if (!read.data) {
      state.SkipWithError(read.message.c_str());
      break;
    }
    const QImage image = draw(*read.data);
    benchmark::DoNotOptimize(image.constBits());
  }
}

}  // namespace

BENCHMARK(BM_ReadKernelFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildKernelImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndDrawKernel)->Unit(benchmark::kMillisecond);
