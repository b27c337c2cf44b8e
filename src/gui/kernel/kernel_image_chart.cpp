#include "kernel/kernel_image_chart.h"

#include <QColorAxis>
#include <QLineSeries>
#include <QPen>

#include <algorithm>
#include <cmath>

#include "kernel/chart_axes.h"
#include "kernel/kernel_image_item.h"

namespace kvo::gui {
namespace {

const QColor kGridColour(255, 255, 255, 80);
const QColor kMinorGridColour(255, 255, 255, 35);

}  // namespace

KernelImageChart::KernelImageChart() {
  legend()->hide();
  setAnimationOptions(QChart::NoAnimation);
  m_image = new KernelImageItem(this);
  m_colourAxis = new QColorAxis;
  m_colourAxis->setTickCount(6);
  m_colourAxis->setSize(14);
  // The colour bar has its own frame; the axis line adds nothing but a stray
  // point at the chart's corner (Qt 6.4).
  m_colourAxis->setLineVisible(false);
  addAxis(m_colourAxis, Qt::AlignRight);
  replaceAxis(Qt::Horizontal, false);
  replaceAxis(Qt::Vertical, false);
  connect(this, &QChart::plotAreaChanged, this, [this] { redraw(); });
}

const std::vector<double>& KernelImageChart::samples(Qt::Orientation orientation) const {
  return orientation == Qt::Horizontal ? m_pulseMoments : m_depths;
}

void KernelImageChart::setKernel(std::vector<double> pulseMoments, std::vector<double> depths) {
  m_pulseMoments = std::move(pulseMoments);
  m_depths = std::move(depths);
  m_values.clear();
  m_markers.clear();
  // A log axis the new samples cannot take turns linear.
  replaceAxis(Qt::Horizontal, m_logPulse && canBeLogarithmic(Qt::Horizontal));
  replaceAxis(Qt::Vertical, m_logDepth && canBeLogarithmic(Qt::Vertical));
  redraw();
}

void KernelImageChart::setValues(std::vector<double> values, const ColourScale& scale, const QString& title) {
  m_values = std::move(values);
  m_scale = scale;
  m_colourAxis->setTitleText(title);
  m_colourAxis->setGradient(scale.gradient());
  m_colourAxis->setRange(scale.low(), scale.high());
  redraw();
}

bool KernelImageChart::canBeLogarithmic(Qt::Orientation orientation) const {
  return positiveSamples(samples(orientation));
}

bool KernelImageChart::setLogarithmic(Qt::Orientation orientation, bool logarithmic) {
  const bool possible = !logarithmic || canBeLogarithmic(orientation);
  replaceAxis(orientation, logarithmic && possible);
  redraw();
  return possible;
}

bool KernelImageChart::isLogarithmic(Qt::Orientation orientation) const {
  return orientation == Qt::Horizontal ? m_logPulse : m_logDepth;
}

AxisScale KernelImageChart::axisScale(Qt::Orientation orientation) const {
  // Depth grows downwards, and a linear depth axis starts at the surface.
  const bool depth = orientation == Qt::Vertical;
  return sampleScale(samples(orientation), isLogarithmic(orientation), depth, depth);
}

void KernelImageChart::replaceAxis(Qt::Orientation orientation, bool logarithmic) {
  QAbstractAxis*& axis = orientation == Qt::Horizontal ? m_pulseAxis : m_depthAxis;
  (orientation == Qt::Horizontal ? m_logPulse : m_logDepth) = logarithmic;
  if (axis != nullptr) {
    removeAxis(axis);
    delete axis;
    axis = nullptr;
  }
  axis = makeAxis(axisScale(orientation), orientation == Qt::Horizontal ? QStringLiteral("Pulse moment (A-ms)")
                                                                         : QStringLiteral("Depth (m)"));
  axis->setGridLineColor(kGridColour);
  axis->setMinorGridLineColor(kMinorGridColour);
  addAxis(axis, orientation == Qt::Horizontal ? Qt::AlignBottom : Qt::AlignLeft);
  drawMarkers();
}

void KernelImageChart::setMarkers(std::vector<std::pair<double, QColor>> markers) {
  m_markers = std::move(markers);
  drawMarkers();
}

void KernelImageChart::drawMarkers() {
  removeAllSeries();
  if (m_pulseAxis == nullptr || m_depthAxis == nullptr) return;
  const AxisScale depth = axisScale(Qt::Vertical);
  for (const auto& [moment, colour] : m_markers) {
    auto* line = new QLineSeries;
    line->append(moment, depth.low);
    line->append(moment, depth.high);
    QPen pen(colour);
    pen.setWidthF(2.0);
    line->setPen(pen);
    addSeries(line);
    line->attachAxis(m_pulseAxis);
    line->attachAxis(m_depthAxis);
  }
}

const QImage& KernelImageChart::image() const { return m_image->image(); }

void KernelImageChart::redraw() {
  const QRectF area = plotArea();
  const QSize pixels(static_cast<int>(std::lround(area.width())), static_cast<int>(std::lround(area.height())));
  if (m_values.empty() || pixels.isEmpty()) {
    m_image->setImage(QImage(), area);
    return;
  }
  const KernelPicture picture{&m_values, &m_pulseMoments, &m_depths, m_scale};
  m_image->setImage(buildKernelImage(picture, pixels, axisScale(Qt::Horizontal), axisScale(Qt::Vertical)), area);
}

std::optional<std::size_t> KernelImageChart::pulseAt(QPointF position) const {
  const QRectF area = plotArea();
  if (m_values.empty() || !area.contains(position)) return std::nullopt;
  const AxisScale x = axisScale(Qt::Horizontal);
  const double moment = x.valueAt((position.x() - area.left()) / area.width());
  return owningSample(m_pulseMoments, moment, x);
}

QPointF KernelImageChart::cellCentre(std::size_t p, std::size_t z) const {
  const QRectF area = plotArea();
  const double fx = axisScale(Qt::Horizontal).fractionOf(m_pulseMoments.at(p));
  const double fy = axisScale(Qt::Vertical).fractionOf(m_depths.at(z));
  return {area.left() + fx * area.width(), area.bottom() - fy * area.height()};
}

}  // namespace kvo::gui
