#pragma once
// Saving a picture of a chart: a bitmap (BMP), PNG, SVG, PDF, enhanced
// metafile (EMF) or Windows metafile (WMF), at the chart's size on screen
// (one picture pixel per screen pixel, 96 to the inch for the vector formats).
// The file is rendered in memory and written through a temporary file renamed
// over the target, so a failed save leaves no partial file and keeps an older
// file of the same name.

#include "plot/picture_file.h"

#include <QString>

#include <optional>

class QChart;
class QChartView;
class QPainter;
class QRectF;

namespace kvo::gui {

// Returns nullopt on success, otherwise a message naming the file. A chart
// that is not in a scene (never shown) is drawn through a temporary scene.
[[nodiscard]] std::optional<QString> savePicture(QChart* chart, const QString& path, PictureFormat format);
// As above, with the view's render hints (antialiasing) for the bitmaps.
[[nodiscard]] std::optional<QString> savePicture(QChartView* view, const QString& path, PictureFormat format);

// Draws `chart` into `target` of `painter`, scaled with its aspect ratio kept.
void renderChart(QChart* chart, QPainter& painter, const QRectF& target);

}  // namespace kvo::gui
