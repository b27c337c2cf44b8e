#pragma once
// The chart the picture tests draw: a loop map like the loop dialog's, with
// a black circle of points (transmitter), a red square of points (receiver),
// axes "East (m)" and "North  (m)" and the title "Loops position".

#include <QChart>
#include <QChartView>
#include <QColor>

#include <memory>

namespace kvo::gui::test {

inline const QColor kTxColor = Qt::black;
inline const QColor kRxColor = Qt::red;

// A chart of `width` × `height` pixels in no view (no scene).
std::unique_ptr<QChart> makeSampleChart(int width = 640, int height = 480);

// The same chart shown in a view of `width` × `height` pixels.
std::unique_ptr<QChartView> makeSampleChartView(int width = 640, int height = 480);

}  // namespace kvo::gui::test
