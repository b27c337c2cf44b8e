#pragma once
// The picture of a kernel: one colour per (pulse moment, depth) cell,
// resampled onto the pixels of a plot area whose axes may be linear or
// logarithmic and may run either way.
//
// Each sample owns the stretch of its axis nearer to it than to its
// neighbours, measured along the axis as drawn (in log q on a logarithmic
// axis, so the boundary between two moments is their geometric mean); the
// first and last samples reach as far beyond themselves as half the step to
// their neighbour. A pixel is coloured by the sample owning its centre, or
// left transparent outside every sample's stretch.

#include <QImage>
#include <QSize>

#include <optional>
#include <vector>

#include "kernel/colour_scale.h"

namespace kvo::gui {

// An axis as drawn: `low` at its start (the left end of a horizontal axis,
// the bottom of a vertical one) and `high` at its end, or the other way
// round when `reversed` (as a depth axis, growing downwards).
struct AxisScale {
  double low = 0.0;
  double high = 1.0;
  bool logarithmic = false;
  bool reversed = false;

  // The value at `fraction` of the axis's length from its start.
  double valueAt(double fraction) const;
  // The inverse: where `value` lies, as a fraction of the axis's length.
  double fractionOf(double value) const;
};

// The sample of `samples` (any order) owning `value` on `axis`, or nullopt.
// Samples not drawable on the axis (0 or negative on a logarithmic one) own
// nothing.
std::optional<std::size_t> owningSample(const std::vector<double>& samples, double value, const AxisScale& axis);

// The owning sample of each of `pixels` pixel centres along `axis`; -1 for
// none. Pixels count from the axis's start, or from its end when
// `fromEnd` (image rows count from the top, a vertical axis from the bottom).
std::vector<int> pixelSamples(const std::vector<double>& samples, const AxisScale& axis, int pixels, bool fromEnd);

// What a picture is made of: the quantity's values [p * depths + z], the
// samples of both axes and the colour scale.
struct KernelPicture {
  const std::vector<double>* values = nullptr;
  const std::vector<double>* pulseMoments = nullptr;  // horizontal
  const std::vector<double>* depths = nullptr;        // vertical
  ColourScale scale;
};

// The picture at `size` pixels for the horizontal axis `x` and vertical axis
// `y` (ARGB32; transparent where no sample lies).
QImage buildKernelImage(const KernelPicture& picture, QSize size, const AxisScale& x, const AxisScale& y);

}  // namespace kvo::gui
