// Speed of the layered-earth field component: one call of the computation
// (75 points on a ray, 30 segments, 8 layers) with its depth already
// tabulated, and the tabulation of a new depth; and of the wire's static
// field (Biot-Savart), which the converged sampling takes at every node.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "kernel_table.h"
#include "layered_earth_field.h"
#include "numerics/biot_savart.h"

namespace {

using namespace kvo::field;

const std::vector<double> kBottoms{0.02, 2, 5, 10, 20, 40, 80, 0};
const std::vector<double> kResistivities{1e8, 100, 30, 5, 50, 10, 200, 20};

std::vector<Vec3> wire() {
  std::vector<Vec3> w;
  for (int i = 0; i <= 30; ++i) {
    const double a = 2.0 * 3.14159265358979323846 * (i % 30) / 30;
    w.push_back({50 * std::cos(a), 50 * std::sin(a), 0.01});
  }
  return w;
}

std::vector<Vec3> ray(double z) {
  std::vector<Vec3> points;
  for (int i = 0; i < 75; ++i) points.push_back({500.0 * i / 74 * std::cos(0.2), 500.0 * i / 74 * std::sin(0.2), z});
  return points;
}

void BM_CallTabulatedDepth(benchmark::State& state) {
  const LayeredEarthField field(wire(), kBottoms, kResistivities, 2000);
  const std::vector<Vec3> points = ray(static_cast<double>(state.range(0)) / 100.0);
  std::vector<FieldVector> out(points.size());
  field.compute(points, out);  // tabulates the depth
  for (auto _ : state) {
    benchmark::DoNotOptimize(field.compute(points, out));
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_CallTabulatedDepth)->Arg(5)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_TabulateNewDepth(benchmark::State& state) {
  const auto earth = LayeredEarth::fromLayers(kBottoms, kResistivities);
  const double z = static_cast<double>(state.range(0)) / 100.0;
  for (auto _ : state) {
    const KernelTable table(*earth, 2000, 0.01, z, 1100);
    benchmark::DoNotOptimize(table.at(10.0));
  }
}
BENCHMARK(BM_TabulateNewDepth)->Arg(5)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);

// 1000 points of a plane 0.5 m below a wire of `range(0)` segments (the
// circle's 30, the square's 4); range(1) 1 takes the plain sum in place of
// the processor's widest.
void BM_StaticField(benchmark::State& state) {
  const bool plain = state.range(1) != 0;
  const int segments = static_cast<int>(state.range(0));
  std::vector<kvo::core::Point3> corners;
  for (int i = 0; i <= segments; ++i) {
    const double a = 2.0 * 3.14159265358979323846 * (i % segments) / segments;
    corners.push_back({50 * std::cos(a), 50 * std::sin(a), 0.01});
  }
  const kvo::core::BiotSavartWire wire(corners);
  std::vector<kvo::core::Point3> points;
  for (int i = 0; i < 1000; ++i) points.push_back({-80.0 + 0.16 * i, 0.37 * (i % 100) - 18.0, 0.5});
  for (auto _ : state) {
    double sum = 0.0;
    for (const auto& p : points) sum += (plain ? wire.atPlain(p) : wire.at(p))[2];
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_StaticField)->ArgsProduct({{4, 30}, {0, 1}})->Unit(benchmark::kMicrosecond);

}  // namespace
