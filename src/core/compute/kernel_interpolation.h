#pragma once
// Filling the kernel entries that were not computed.
//
// In the coarse sampling mode only every second pulse moment and depth (and
// the last of each) is computed; the others are read off piecewise
// parabolas through the computed ones. Along a series x[0..N-1] with the
// computed nodes n_0 < n_1 < ... (every step-th index, see VisitedIndices),
// parabola sigma passes through nodes sigma, sigma + 1, sigma + 2 (the last
// segment shares the parabola of the one before), and index i takes
// sigma = min(floor(i/step), nodes - 2): the parabola that starts at the
// node at or below i. Every entry, computed ones included, is replaced by
// its parabola's value (a computed entry changes by rounding only).

#include <cstddef>
#include <span>

#include "compute/kernel_matrix.h"
#include "numerics/setup_tables.h"

namespace kvo::core {

// y[i] for i = 0..x.size()-1 from the values y[nodes[k]]. Needs at least
// three nodes with distinct abscissae; with fewer, y is left as it is.
void FillBetweenNodes(std::span<const double> x, std::span<const std::size_t> nodes, int step,
                      std::span<double> y);

// Along the pulse moments, for every depth index in `depthIndices`.
void InterpolateAlongMoments(KernelMatrix& kernel, const MomentGrid& moments,
                             std::span<const std::size_t> pulseNodes, int pulseStep,
                             std::span<const std::size_t> depthIndices);

// Along the depths 0..depthCount-1, for every pulse index.
void InterpolateAlongDepths(KernelMatrix& kernel, const DepthGrid& depths,
                            std::span<const std::size_t> depthNodes, int depthStep,
                            std::size_t depthCount);

}  // namespace kvo::core
