#pragma once
// Axes of the kernel window's charts, made from an AxisScale: a value axis
// with ticks at round steps, or a logarithmic one with ticks at powers of
// ten; reversed for depths.

#include <QString>

#include <vector>

#include "kernel/kernel_image.h"

class QAbstractAxis;
class QColor;
class QLineSeries;

namespace kvo::gui {

QAbstractAxis* makeAxis(const AxisScale& scale, const QString& title);

// The range of `samples` for an axis: their extent (from 0 when `fromZero`
// and the axis is linear), widened around a single value.
AxisScale sampleScale(const std::vector<double>& samples, bool logarithmic, bool reversed, bool fromZero);

// A named line series drawn 2 px wide in `colour`.
QLineSeries* makeLine(const QString& name, const QColor& colour);

// True when every sample is positive (a logarithmic axis can show them).
bool positiveSamples(const std::vector<double>& samples);

}  // namespace kvo::gui
