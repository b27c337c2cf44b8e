#include "options/option_charts.h"

#include <QChart>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QPainterPath>
#include <QScatterSeries>
#include <QValueAxis>

#include <cmath>

namespace kvo::gui {
namespace {

QValueAxis* valueAxis(QChart* chart, Qt::Orientation orientation) {
  return qobject_cast<QValueAxis*>(chart->axes(orientation).value(0));
}

// A five-pointed star, the marker of the frequency-shift table's points.
QImage starMarker(const QColor& colour) {
  constexpr int size = 11;
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainterPath star;
  const double c = (size - 1) / 2.0;
  for (int i = 0; i < 10; ++i) {
    const double radius = i % 2 == 0 ? c : c * 0.45;
    const double angle = i * M_PI / 5;  // from the top, clockwise
    const QPointF p(c + radius * std::sin(angle), c - radius * std::cos(angle));
    if (i == 0) {
      star.moveTo(p);
    } else {
      star.lineTo(p);
    }
  }
  star.closeSubpath();
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillPath(star, colour);
  return image;
}

}  // namespace

QChart* createOptionChart(const QString& title, const QString& bottomTitle, const QString& leftTitle) {
  auto* chart = new QChart;
  chart->setTitle(title);
  chart->legend()->hide();
  chart->setAnimationOptions(QChart::NoAnimation);
  const std::pair<const QString*, Qt::Alignment> axes[] = {{&bottomTitle, Qt::AlignBottom},
                                                            {&leftTitle, Qt::AlignLeft}};
  for (const auto& [axisTitle, alignment] : axes) {
    auto* axis = new QValueAxis;
    axis->setTitleText(*axisTitle);
    axis->setLabelFormat(QStringLiteral("%.1f"));
    axis->setGridLineColor(QColor(0, 255, 255));
    axis->setRange(-1.0, 1.0);
    chart->addAxis(axis, alignment);
  }
  return chart;
}

void addSeries(QChart* chart, QXYSeries* series) {
  chart->addSeries(series);
  series->attachAxis(valueAxis(chart, Qt::Horizontal));
  series->attachAxis(valueAxis(chart, Qt::Vertical));
}

QXYSeries* makePointSeries(const QColor& colour, double pixels) {
  auto* series = new QScatterSeries;
  series->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
  series->setMarkerSize(pixels + 1.0);
  series->setColor(colour);
  series->setBorderColor(colour);
  return series;
}

QXYSeries* makeLineSeries(const QColor& colour, bool stars) {
  auto* series = new QLineSeries;
  QPen pen(colour);
  pen.setWidthF(1.5);
  series->setPen(pen);
  if (stars) {
    series->setPointsVisible(true);
    series->setMarkerSize(11);
    series->setLightMarker(starMarker(colour));
  }
  return series;
}

void setSeriesPoints(QChart* chart, int index, const std::vector<core::PlotPoint>& points) {
  auto* series = qobject_cast<QXYSeries*>(chart->series().at(index));
  QList<QPointF> list;
  list.reserve(static_cast<qsizetype>(points.size()));
  for (const core::PlotPoint& p : points) list.append(QPointF(p.x, p.y));
  series->replace(list);
}

void setAxisRange(QChart* chart, Qt::Orientation orientation, core::PlotRange range) {
  valueAxis(chart, orientation)->setRange(range.minimum, range.maximum);
}

core::PlotRange axisRange(QChart* chart, Qt::Orientation orientation) {
  const QValueAxis* axis = valueAxis(chart, orientation);
  return {axis->min(), axis->max()};
}

void scaleToData(QChart* chart, bool roundNumbers) {
  std::vector<core::PlotPoint> all;
  for (QAbstractSeries* s : chart->series()) {
    if (auto* xy = qobject_cast<QXYSeries*>(s)) {
      for (const QPointF& p : xy->points()) all.push_back({p.x(), p.y()});
    }
  }
  const auto bounds = core::plotBounds({&all}, 0.02);
  if (!bounds) return;
  for (const auto& [orientation, range] :
       {std::pair{Qt::Horizontal, bounds->x}, std::pair{Qt::Vertical, bounds->y}}) {
    QValueAxis* axis = valueAxis(chart, orientation);
    axis->setRange(range.minimum, range.maximum);
    if (roundNumbers) axis->applyNiceNumbers();
  }
}

QChart* createTargetSectionChart(const QString& title, const QString& bottomTitle, const QString& leftTitle,
                                 bool depthDown) {
  QChart* chart = createOptionChart(title, bottomTitle, leftTitle);
  if (depthDown) valueAxis(chart, Qt::Vertical)->setReverse(true);
  addSeries(chart, makePointSeries(Qt::black, 2));
  addSeries(chart, makePointSeries(Qt::red, 1));
  addSeries(chart, makePointSeries(QColor(0, 160, 0), 1));  // as the target on the dialog's map
  return chart;
}

void drawTargetProjection(QChart* chart, const core::TargetSetup& target, core::TargetView view,
                          const core::LoopOutline* outline, bool drawRx) {
  setSeriesPoints(chart, 2, core::targetOutline(target, view));
  if (target[core::kTargetEnabled] == 0 || view == core::TargetView::Map || outline == nullptr) return;
  setSeriesPoints(chart, 0, core::loopExtentLine(*outline, core::kOutlineBaseSlot[0], outline->txSegmentCount, view));
  setSeriesPoints(chart, 1,
                  drawRx ? core::loopExtentLine(*outline, core::kOutlineBaseSlot[1], outline->rxSegmentCount, view)
                         : std::vector<core::PlotPoint>{});
}

}  // namespace kvo::gui
