// Speed of ComputeSounding on the bundled examples with the layered-earth
// field component: the whole computation, result files included, with one
// worker and with two, in the classic and the converged sampling (the
// arguments: threads, example, sampling 0 classic / 1 converged at the
// default tolerance).
//
//   compute_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// The converged runs take seconds each: --benchmark_filter=/0$ runs the
// classic ones alone, /1$ the converged ones.
//
// The sloping-ground example takes some seconds in both samplings (the
// classic one computes every angle of every depth with the component, in
// its fine mode): BM_ComputeSlopingGround runs it once per repetition,
// thread count and sampling (--benchmark_filter=SlopingGround for it alone;
// arguments threads/sampling).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <array>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "compute/compute_sounding.h"
#include "model/parameter_file.h"

namespace {

namespace fs = std::filesystem;
using namespace kvo::core;

constexpr std::array<const char*, 6> kExamples = {
    "coincident_circle_100m_three_layers", "figure_eight",          "frequency_shift",
    "single_depth_20m",                    "square_tx_shifted_square_rx", "target_3d",
};

fs::path scratchFolder() {
  const fs::path folder = fs::temp_directory_path() / ("kvo_compute_bench_" + std::to_string(::getpid()));
  fs::create_directories(folder);
  return folder;
}

SoundingParameters readExample(const std::string& name) {
  SoundingParameters params = defaultSoundingParameters();
  std::string file = (fs::path(KVO_EXAMPLES_DIR) / (name + ".nmc")).string();
  std::string unused;
  const FileOutcome outcome = readParameterFile(file, unused, ParameterFileMode::Parameters, ".", params);
  if (!outcome.ok()) throw std::runtime_error(outcome.message);
  return params;
}

void run(benchmark::State& state, const std::string& name, Sampling sampling) {
  const SoundingParameters params = readExample(name);
  const fs::path folder = scratchFolder();
  ComputeOptions options;
  options.sampling = sampling;
  options.threads = static_cast<int>(state.range(0));
  options.workingFolder = folder.string();
  for (auto _ : state) {
    const ComputeResult result = ComputeSounding((folder / (name + ".mrm")).string(), params, options);
    if (!result.written()) state.SkipWithError(result.message.c_str());
    benchmark::DoNotOptimize(result.kernel.get());
  }
  fs::remove_all(folder);
}

void BM_ComputeSounding(benchmark::State& state) {
  const auto example = static_cast<std::size_t>(state.range(1));
  const Sampling sampling = state.range(2) == 0 ? Sampling::Classic : Sampling::Converged;
  state.SetLabel(std::string(kExamples[example]) + " " + std::string(samplingName(sampling)));
  run(state, kExamples[example], sampling);
}

void BM_ComputeSlopingGround(benchmark::State& state) {
  const auto sampling = state.range(1) == 0 ? Sampling::Classic : Sampling::Converged;
  state.SetLabel(std::string("topography_slope ") + std::string(samplingName(sampling)));
  run(state, "topography_slope", sampling);
}

void exampleArguments(benchmark::internal::Benchmark* b) {
  for (const int sampling : {0, 1}) {
    for (int example = 0; example < static_cast<int>(kExamples.size()); ++example) {
      for (const int threads : {1, 2}) b->Args({threads, example, sampling});
    }
  }
}

}  // namespace

BENCHMARK(BM_ComputeSounding)->Apply(exampleArguments)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ComputeSlopingGround)
    ->ArgsProduct({{1, 2}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
