#pragma once
// The chart of depth profiles: |K| (nV/m) of picked pulse moments against
// depth, depth growing downwards on a linear or logarithmic axis, one
// coloured line per pulse moment named in the legend.

#include <QChart>
#include <QColor>
#include <QString>

#include <vector>

#include "kernel/kernel_image.h"

namespace kvo::gui {

struct Profile {
  QString label;
  QColor colour;
  std::vector<double> values;  // nV/m, one per depth
};

class ProfileChart : public QChart {
  Q_OBJECT
 public:
  ProfileChart();

  // Replaces the profiles; `depth` is the depth axis (as the picture's).
  void setProfiles(const std::vector<double>& depths, const std::vector<Profile>& profiles, const AxisScale& depth);
};

}  // namespace kvo::gui
