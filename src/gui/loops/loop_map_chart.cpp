#include "loops/loop_map_chart.h"

#include <QChart>
#include <QLabel>
#include <QScatterSeries>
#include <QValueAxis>

#include "loops/loop_map.h"

namespace kvo::gui {
namespace {

QScatterSeries* makePointSeries(const QColor& colour) {
  auto* series = new QScatterSeries;
  series->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
  series->setMarkerSize(2.0);
  series->setColor(colour);
  series->setBorderColor(colour);
  return series;
}

void fillSeries(QScatterSeries* series, const std::vector<core::MapPoint>& points) {
  QList<QPointF> list;
  list.reserve(static_cast<qsizetype>(points.size()));
  for (const core::MapPoint& p : points) list.append(QPointF(p.east, p.north));
  series->replace(list);
}

}  // namespace

QChart* createLoopMapChart() {
  auto* chart = new QChart;
  chart->setTitle(QStringLiteral("Loops position"));
  chart->legend()->hide();
  chart->setAnimationOptions(QChart::NoAnimation);
  auto* east = new QValueAxis;
  east->setTitleText(QStringLiteral("East (m)"));
  auto* north = new QValueAxis;
  north->setTitleText(QStringLiteral("North  (m)"));
  for (QValueAxis* axis : {east, north}) {
    axis->setLabelFormat(QStringLiteral("%.1f"));
    axis->setRange(-1.0, 1.0);
    axis->setGridLineColor(QColor(0, 255, 255));
  }
  chart->addAxis(east, Qt::AlignBottom);
  chart->addAxis(north, Qt::AlignLeft);
  for (const QColor& colour : {QColor(Qt::black), QColor(Qt::red), QColor(Qt::blue)}) {
    QScatterSeries* series = makePointSeries(colour);
    chart->addSeries(series);
    series->attachAxis(east);
    series->attachAxis(north);
  }
  return chart;
}

QScatterSeries* mapSeries(QChart* chart, int index) {
  return qobject_cast<QScatterSeries*>(chart->series().at(index));
}

QValueAxis* mapAxis(QChart* chart, Qt::Orientation orientation) {
  return qobject_cast<QValueAxis*>(chart->axes(orientation).value(0));
}

void plotLoopOutlines(QChart* chart, core::LoopOutline& outline, const core::LoopSetup& tx,
                      const core::LoopSetup& rx, bool drawRx, QLabel* txLabel, QLabel* rxLabel) {
  mapSeries(chart, 0)->clear();
  mapSeries(chart, 1)->clear();
  core::buildLoopOutline(outline, core::kTxOutlineIndex, tx);
  const int n = core::outlineSegmentCount(core::loopTypeCode(tx));
  if (n == 0) return;
  outline.txSegmentCount = n;
  fillSeries(mapSeries(chart, 0), core::outlinePointChain(outline, 0, n));
  if (!drawRx) {
    if (rxLabel != nullptr) rxLabel->hide();
    if (txLabel != nullptr) txLabel->setText(QStringLiteral("Tx/Rx loop"));
    return;
  }
  core::buildLoopOutline(outline, core::kRxOutlineIndex, rx);
  if (rxLabel != nullptr) {
    rxLabel->setText(QStringLiteral("Rx loop"));
    rxLabel->show();
  }
  if (txLabel != nullptr) txLabel->setText(QStringLiteral("Tx loop"));
  const int m = core::outlineSegmentCount(core::loopTypeCode(rx));
  if (m == 0) return;
  outline.rxSegmentCount = m;
  fillSeries(mapSeries(chart, 1), core::outlinePointChain(outline, 50, m));
}

void fitMapScale(QChart* chart, const core::LoopOutline& outline, bool includeRx,
                 const core::TargetSetup* target, QLabel* targetLabel) {
  const bool withTarget = target != nullptr && (*target)[core::kTargetEnabled] != 0;
  if (targetLabel != nullptr) targetLabel->setVisible(withTarget);
  const auto range = core::fitMapRange(outline, includeRx, target);
  if (!range) return;
  for (Qt::Orientation o : {Qt::Horizontal, Qt::Vertical}) {
    mapAxis(chart, o)->setRange(range->minimum, range->maximum);
  }
}

}  // namespace kvo::gui
