#include "kernel/chart_axes.h"

#include <QLineSeries>
#include <QLogValueAxis>
#include <QPen>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace kvo::gui {
namespace {

// 1, 2 or 5 times a power of ten, near `step`.
double roundStep(double step) {
  if (!(step > 0.0) || !std::isfinite(step)) return 1.0;
  const double power = std::pow(10.0, std::floor(std::log10(step)));
  const double m = step / power;
  return (m < 1.5 ? 1.0 : m < 3.5 ? 2.0 : m < 7.5 ? 5.0 : 10.0) * power;
}

}  // namespace

QLineSeries* makeLine(const QString& name, const QColor& colour) {
  auto* series = new QLineSeries;
  series->setName(name);
  QPen pen(colour);
  pen.setWidthF(2.0);
  series->setPen(pen);
  return series;
}

QAbstractAxis* makeAxis(const AxisScale& scale, const QString& title) {
  QAbstractAxis* axis = nullptr;
  if (scale.logarithmic) {
    auto* log = new QLogValueAxis;
    log->setBase(10.0);
    log->setLabelFormat(QStringLiteral("%g"));
    log->setMinorTickCount(8);
    log->setRange(scale.low, scale.high);
    axis = log;
  } else {
    auto* linear = new QValueAxis;
    linear->setLabelFormat(QStringLiteral("%g"));
    linear->setRange(scale.low, scale.high);
    linear->setTickType(QValueAxis::TicksDynamic);
    linear->setTickAnchor(0.0);
    linear->setTickInterval(roundStep((scale.high - scale.low) / 5.0));
    axis = linear;
  }
  axis->setReverse(scale.reversed);
  axis->setTitleText(title);
  return axis;
}

bool positiveSamples(const std::vector<double>& samples) {
  return !samples.empty() && std::all_of(samples.begin(), samples.end(), [](double v) { return v > 0.0; });
}

AxisScale sampleScale(const std::vector<double>& samples, bool logarithmic, bool reversed, bool fromZero) {
  AxisScale scale;
  scale.logarithmic = logarithmic && positiveSamples(samples);
  scale.reversed = reversed;
  double lo = 0.0, hi = 1.0;
  bool any = false;
  for (double v : samples) {
    if (!std::isfinite(v)) continue;
    lo = any ? std::min(lo, v) : v;
    hi = any ? std::max(hi, v) : v;
    any = true;
  }
  if (fromZero && !scale.logarithmic) lo = std::min(lo, 0.0);
  if (!(hi > lo)) {
    if (scale.logarithmic) {
      lo /= 2.0;
      hi *= 2.0;
    } else {
      const double pad = std::max(1.0, std::fabs(hi) * 0.5);
      lo -= pad;
      hi += pad;
    }
  }
  scale.low = lo;
  scale.high = hi;
  return scale;
}

}  // namespace kvo::gui
