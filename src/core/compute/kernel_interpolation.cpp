#include "compute/kernel_interpolation.h"

#include <algorithm>
#include <array>
#include <cassert>

#include "numerics/interpolation.h"

namespace kvo::core {

void FillBetweenNodes(std::span<const double> x, std::span<const std::size_t> nodes, int step,
                      std::span<double> y) {
  const std::size_t n = nodes.size();
  if (n < 3) return;
  assert(n <= kGridPoints && y.size() >= x.size() && step >= 1);
  std::array<double, kGridPoints> xs{};
  std::array<double, kGridPoints> ys{};
  for (std::size_t k = 0; k < n; ++k) {
    xs[k] = x[nodes[k]];
    ys[k] = y[nodes[k]];
  }
  std::array<double, kGridPoints> a{};
  std::array<double, kGridPoints> b{};
  std::array<double, kGridPoints> c{};
  ParabolaTable(std::span<const double>(xs.data(), n), std::span<const double>(ys.data(), n),
                {a, b, c});
  std::size_t segment = 0;
  int counter = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (counter >= step) {
      ++segment;
      counter = 0;
    }
    segment = std::min(segment, n - 2);
    y[i] = a[segment] * x[i] * x[i] + b[segment] * x[i] + c[segment];
    ++counter;
  }
}

void InterpolateAlongMoments(KernelMatrix& kernel, const MomentGrid& moments,
                             std::span<const std::size_t> pulseNodes, int pulseStep,
                             std::span<const std::size_t> depthIndices) {
  std::array<double, kKernelMoments> column{};
  for (const std::size_t z : depthIndices) {
    for (KernelMatrix::Plane* plane : {&kernel.re, &kernel.im}) {
      for (std::size_t p = 0; p < kKernelMoments; ++p) column[p] = (*plane)[p][z];
      FillBetweenNodes(moments, pulseNodes, pulseStep, column);
      for (std::size_t p = 0; p < kKernelMoments; ++p) (*plane)[p][z] = column[p];
    }
  }
}

void InterpolateAlongDepths(KernelMatrix& kernel, const DepthGrid& depths,
                            std::span<const std::size_t> depthNodes, int depthStep,
                            std::size_t depthCount) {
  assert(depthCount <= kKernelDepths);
  for (std::size_t p = 0; p < kKernelMoments; ++p) {
    for (KernelMatrix::Plane* plane : {&kernel.re, &kernel.im}) {
      FillBetweenNodes(std::span<const double>(depths.data(), depthCount), depthNodes, depthStep,
                       std::span<double>((*plane)[p].data(), depthCount));
    }
  }
}

}  // namespace kvo::core
