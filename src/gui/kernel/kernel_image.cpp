#include "kernel/kernel_image.h"

#include <cmath>
#include <limits>

namespace kvo::gui {
namespace {

// A position along the axis in its own measure (log10 on a log axis), NaN
// when the value cannot be drawn there.
double measure(double value, bool logarithmic) {
  if (!logarithmic) return value;
  return value > 0.0 ? std::log10(value) : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

double AxisScale::valueAt(double fraction) const {
  const double f = reversed ? 1.0 - fraction : fraction;
  if (logarithmic) {
    const double a = std::log10(low), b = std::log10(high);
    return std::pow(10.0, a + f * (b - a));
  }
  return low + f * (high - low);
}

double AxisScale::fractionOf(double value) const {
  const double a = measure(low, logarithmic), b = measure(high, logarithmic);
  const double f = (measure(value, logarithmic) - a) / (b - a);
  return reversed ? 1.0 - f : f;
}

std::optional<std::size_t> owningSample(const std::vector<double>& samples, double value, const AxisScale& axis) {
  const double v = measure(value, axis.logarithmic);
  if (std::isnan(v)) return std::nullopt;
  // The nearest sample, and the distance to its nearest neighbour on the
  // side of `value` (the reach of an end sample is half that step).
  std::optional<std::size_t> best;
  double bestDistance = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double s = measure(samples[i], axis.logarithmic);
    if (std::isnan(s)) continue;
    const double d = std::fabs(s - v);
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  if (!best) return std::nullopt;
  const double s = measure(samples[*best], axis.logarithmic);
  // Is there a sample beyond `value` as seen from the owner? Then the owner is
  // nearest and owns it; otherwise it reaches half its step to the sample on
  // the other side.
  double beyond = std::numeric_limits<double>::infinity();
  double behind = std::numeric_limits<double>::infinity();
  for (double sample : samples) {
    const double t = measure(sample, axis.logarithmic);
    if (std::isnan(t) || t == s) continue;
    if ((t - s) * (v - s) > 0.0) {
      beyond = std::min(beyond, std::fabs(t - s));
    } else {
      behind = std::min(behind, std::fabs(t - s));
    }
  }
  if (std::isfinite(beyond) || v == s) return best;
  if (!std::isfinite(behind)) return best;  // a single sample owns the whole axis
  return bestDistance <= 0.5 * behind ? best : std::nullopt;
}

std::vector<int> pixelSamples(const std::vector<double>& samples, const AxisScale& axis, int pixels, bool fromEnd) {
  std::vector<int> owners(static_cast<std::size_t>(std::max(pixels, 0)), -1);
  for (int i = 0; i < pixels; ++i) {
    const double f = (i + 0.5) / pixels;
    const double value = axis.valueAt(fromEnd ? 1.0 - f : f);
    if (const auto owner = owningSample(samples, value, axis)) owners[static_cast<std::size_t>(i)] = static_cast<int>(*owner);
  }
  return owners;
}

QImage buildKernelImage(const KernelPicture& picture, QSize size, const AxisScale& x, const AxisScale& y) {
  QImage image(size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  if (size.isEmpty() || picture.values == nullptr || picture.pulseMoments == nullptr || picture.depths == nullptr)
    return image;
  const std::size_t pulses = picture.pulseMoments->size();
  const std::size_t depths = picture.depths->size();
  if (picture.values->size() != pulses * depths) return image;

  // One colour per cell, then each pixel looks its cell up.
  std::vector<QRgb> cells(picture.values->size());
  for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = picture.scale.rgb((*picture.values)[i]);
  const std::vector<int> columns = pixelSamples(*picture.pulseMoments, x, size.width(), false);
  const std::vector<int> rows = pixelSamples(*picture.depths, y, size.height(), true);
  for (int r = 0; r < size.height(); ++r) {
    const int z = rows[static_cast<std::size_t>(r)];
    if (z < 0) continue;
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(r));
    for (int c = 0; c < size.width(); ++c) {
      const int p = columns[static_cast<std::size_t>(c)];
      if (p >= 0) line[c] = cells[static_cast<std::size_t>(p) * depths + static_cast<std::size_t>(z)];
    }
  }
  return image;
}

}  // namespace kvo::gui
