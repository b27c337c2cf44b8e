#include "loops/loop_map_view.h"

#include <QChart>

#include <cmath>

namespace kvo::gui {
namespace {
const QMargins kBaseMargins(8, 8, 8, 8);
}  // namespace

LoopMapView::LoopMapView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
  chart->setMargins(kBaseMargins);
  connect(chart, &QChart::plotAreaChanged, this, &LoopMapView::squarePlotArea);
}

void LoopMapView::resizeEvent(QResizeEvent* event) {
  chart()->setMargins(kBaseMargins);
  QChartView::resizeEvent(event);
}

void LoopMapView::squarePlotArea(const QRectF& area) {
  const int excess = static_cast<int>(std::lround(area.width() - area.height()));
  if (std::abs(excess) < 2) return;
  QMargins m = chart()->margins();
  if (excess > 0) {
    m.setLeft(m.left() + excess / 2);
    m.setRight(m.right() + excess - excess / 2);
  } else {
    m.setTop(m.top() - excess / 2);
    m.setBottom(m.bottom() - excess + excess / 2);
  }
  chart()->setMargins(m);
}

}  // namespace kvo::gui
