#pragma once
// A chart view whose plot area stays square, so that a map whose two axes
// share one range shows circles round and squares square.

#include <QChartView>

namespace kvo::gui {

class LoopMapView : public QChartView {
  Q_OBJECT
 public:
  LoopMapView(QChart* chart, QWidget* parent = nullptr);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Widens the chart's margins on the longer side until the plot area is square.
  void squarePlotArea(const QRectF& area);
};

}  // namespace kvo::gui
