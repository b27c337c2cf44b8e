#pragma once
// Charts of the option dialogs: the 3D target's map and cross-sections, the
// frequency-shift curve and the two slope drawings, and the drawing of the
// target in any of its views (also on the main window's map).

#include <QColor>
#include <QString>

#include <vector>

#include "loops/loop_outline.h"
#include "model/sounding_parameters.h"
#include "options/plot_points.h"
#include "options/target_box.h"

class QChart;
class QXYSeries;

namespace kvo::gui {

// A chart with a bottom and a left value axis (labels "0.0", aqua grid),
// no legend and no animation.
QChart* createOptionChart(const QString& title, const QString& bottomTitle, const QString& leftTitle);

// Adds a series to a chart made by createOptionChart and attaches it to
// both axes.
void addSeries(QChart* chart, QXYSeries* series);

// A series of square points of about `pixels` pixels.
QXYSeries* makePointSeries(const QColor& colour, double pixels);
// A line series, with a star at every point when `stars` is set.
QXYSeries* makeLineSeries(const QColor& colour, bool stars);

// Replaces the points of the chart's series `index` (0 = series 1).
void setSeriesPoints(QChart* chart, int index, const std::vector<core::PlotPoint>& points);

// Both axes of the chart.
void setAxisRange(QChart* chart, Qt::Orientation orientation, core::PlotRange range);
core::PlotRange axisRange(QChart* chart, Qt::Orientation orientation);

// Automatic scaling: both axes just cover the points of every series, with a
// small margin, widened to round numbers when `roundNumbers`. A chart without
// points keeps its axes.
void scaleToData(QChart* chart, bool roundNumbers = true);

// A cross-section of the 3D target dialog: three point series, Tx (black, 2
// pixels), Rx (red) and target (green), on a bottom and a left axis; with
// `depthDown` the left axis grows downwards.
QChart* createTargetSectionChart(const QString& title, const QString& bottomTitle, const QString& leftTitle,
                                 bool depthDown);

// Draws the target in one view on a chart whose series 1..3 are Tx, Rx and
// target points: the map gets only the footprint (series 3); a section gets
// the footprint's box and the extents of the loops of `outline` at depth 0,
// the Rx only when `drawRx`. A target not in use draws nothing and clears
// series 3.
void drawTargetProjection(QChart* chart, const core::TargetSetup& target, core::TargetView view,
                          const core::LoopOutline* outline = nullptr, bool drawRx = false);

}  // namespace kvo::gui
