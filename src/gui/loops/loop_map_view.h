#pragma once
// A chart view whose plot area stays (nearly) square, so that a map whose
// two axes share one range shows circles round and squares square.

#include <QChartView>

namespace kvo::gui {

class LoopMapView : public QChartView {
  Q_OBJECT
 public:
  LoopMapView(QChart* chart, QWidget* parent = nullptr);

 protected:
  // Sets the chart's margins from the view's size: the room beside the axes
  // is about constant, so the plot area is square without a feedback loop.
  void resizeEvent(QResizeEvent* event) override;
};

}  // namespace kvo::gui
