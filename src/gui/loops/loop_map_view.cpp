#include "loops/loop_map_view.h"

#include <QChart>

#include <algorithm>

namespace kvo::gui {
namespace {
constexpr int kBaseMargin = 8;
// Room the chart takes beside the plot area: axis labels and title on the
// left, labels and title below, the chart title above.
constexpr int kAxisWidth = 70;
constexpr int kAxisHeight = 55;
}  // namespace

LoopMapView::LoopMapView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
  chart->setMargins(QMargins(kBaseMargin, kBaseMargin, kBaseMargin, kBaseMargin));
}

void LoopMapView::resizeEvent(QResizeEvent* event) {
  const int w = width() - kAxisWidth - 2 * kBaseMargin;
  const int h = height() - kAxisHeight - 2 * kBaseMargin;
  QMargins margins(kBaseMargin, kBaseMargin, kBaseMargin, kBaseMargin);
  if (w > 100 && h > 100) {
    const int side = std::min(w, h);
    margins.setLeft(kBaseMargin + (w - side) / 2);
    margins.setRight(kBaseMargin + (w - side) - (w - side) / 2);
    margins.setTop(kBaseMargin + (h - side) / 2);
    margins.setBottom(kBaseMargin + (h - side) - (h - side) / 2);
  }
  chart()->setMargins(margins);
  QChartView::resizeEvent(event);
}

}  // namespace kvo::gui
