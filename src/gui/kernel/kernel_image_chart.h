#pragma once
// The chart of a kernel's picture: pulse moment along the bottom, depth down
// the left side (growing downwards), each linear or logarithmic, and a
// colour axis on the right giving the colour scale with its values and
// unit. Qt Charts has no colour map, so the picture is an item of the chart
// (KernelImageItem) rebuilt at the plot area's size whenever the plot area
// or the axes change; it therefore stays aligned with the axes on resize and
// is part of every picture made of the chart.
//
// Picked pulse moments show as vertical lines in their profile's colour.

#include <QChart>
#include <QColor>

#include <optional>
#include <utility>
#include <vector>

#include "kernel/colour_scale.h"
#include "kernel/kernel_image.h"

class QAbstractAxis;
class QColorAxis;

namespace kvo::gui {

class KernelImageItem;

class KernelImageChart : public QChart {
  Q_OBJECT
 public:
  KernelImageChart();

  // The samples of both axes; `values` [p * depths + z] of the quantity named
  // `title` (with its unit), coloured by `scale`.
  void setKernel(std::vector<double> pulseMoments, std::vector<double> depths);
  void setValues(std::vector<double> values, const ColourScale& scale, const QString& title);

  // Linear or logarithmic pulse-moment (Horizontal) or depth (Vertical) axis.
  // A logarithmic axis needs positive samples: otherwise the axis stays linear
  // and false is returned.
  bool setLogarithmic(Qt::Orientation orientation, bool logarithmic);
  bool isLogarithmic(Qt::Orientation orientation) const;
  bool canBeLogarithmic(Qt::Orientation orientation) const;
  AxisScale axisScale(Qt::Orientation orientation) const;

  // The pulse moment (its index) under `position`, in the chart's
  // coordinates, when that lies on the picture.
  std::optional<std::size_t> pulseAt(QPointF position) const;
  // Where the cell of pulse `p` and depth `z` is drawn, in chart coordinates.
  QPointF cellCentre(std::size_t p, std::size_t z) const;

  // Vertical lines at these pulse moments, in these colours.
  void setMarkers(std::vector<std::pair<double, QColor>> markers);

  const QImage& image() const;
  const ColourScale& scale() const { return m_scale; }
  QColorAxis* colourAxis() const { return m_colourAxis; }

 private:
  void replaceAxis(Qt::Orientation orientation, bool logarithmic);
  void drawMarkers();
  void redraw();
  const std::vector<double>& samples(Qt::Orientation orientation) const;

  std::vector<double> m_pulseMoments;
  std::vector<double> m_depths;
  std::vector<double> m_values;
  ColourScale m_scale;
  bool m_logPulse = false;
  bool m_logDepth = false;
  QAbstractAxis* m_pulseAxis = nullptr;
  QAbstractAxis* m_depthAxis = nullptr;
  QColorAxis* m_colourAxis = nullptr;
  KernelImageItem* m_image = nullptr;
  std::vector<std::pair<double, QColor>> m_markers;
};

}  // namespace kvo::gui
