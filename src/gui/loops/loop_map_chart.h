#pragma once
// The map of loops that the main window, the loop dialog and the 3D target
// dialog show: a chart "Loops position" with East and North axes sharing one
// range, the Tx outline as black points (series 1), the Rx outline as red
// points (series 2) and the 3D target's outline as blue points (series 3).

#include <Qt>

#include "loops/loop_outline.h"
#include "model/sounding_parameters.h"

class QChart;
class QLabel;
class QScatterSeries;
class QValueAxis;

namespace kvo::gui {

// A new map chart with its three point series and both axes.
QChart* createLoopMapChart();

QScatterSeries* mapSeries(QChart* chart, int index);  // 0 Tx, 1 Rx, 2 target
QValueAxis* mapAxis(QChart* chart, Qt::Orientation orientation);

// Draws the Tx outline (and the Rx outline when `drawRx`) of the records as
// dense point chains, rebuilding `outline` and its segment counts. Sets the
// labels: "Tx loop" and a visible "Rx loop" with the receiver, "Tx/Rx loop"
// and a hidden Rx label without. A Tx type outside 1..4 clears the series and
// draws nothing.
void plotLoopOutlines(QChart* chart, core::LoopOutline& outline, const core::LoopSetup& tx,
                      const core::LoopSetup& rx, bool drawRx, QLabel* txLabel, QLabel* rxLabel);

// Gives both axes one range covering the loops (the Rx when `includeRx`) and
// an enabled target, with 8 % margins. Shows `targetLabel` (when given)
// exactly while the target is included.
void fitMapScale(QChart* chart, const core::LoopOutline& outline, bool includeRx,
                 const core::TargetSetup* target, QLabel* targetLabel);

}  // namespace kvo::gui
