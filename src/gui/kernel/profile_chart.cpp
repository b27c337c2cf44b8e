#include "kernel/profile_chart.h"

#include <QAbstractAxis>
#include <QLegend>
#include <QLineSeries>
#include <QPen>

#include "kernel/chart_axes.h"

namespace kvo::gui {

ProfileChart::ProfileChart() {
  setTitle(QStringLiteral("Depth profiles"));
  setAnimationOptions(QChart::NoAnimation);
  legend()->setAlignment(Qt::AlignBottom);
  setProfiles({}, {}, AxisScale{});
}

void ProfileChart::setProfiles(const std::vector<double>& depths, const std::vector<Profile>& profiles,
                               const AxisScale& depth) {
  removeAllSeries();
  for (QAbstractAxis* axis : axes()) {
    removeAxis(axis);
    delete axis;
  }
  std::vector<double> all;
  for (const Profile& profile : profiles) all.insert(all.end(), profile.values.begin(), profile.values.end());
  QAbstractAxis* x = makeAxis(sampleScale(all, false, false, true), QStringLiteral("|K| (nV/m)"));
  QAbstractAxis* y = makeAxis(depth, QStringLiteral("Depth (m)"));
  addAxis(x, Qt::AlignBottom);
  addAxis(y, Qt::AlignLeft);
  for (const Profile& profile : profiles) {
    QLineSeries* line = makeLine(profile.label, profile.colour);
    for (std::size_t z = 0; z < depths.size() && z < profile.values.size(); ++z) line->append(profile.values[z], depths[z]);
    addSeries(line);
    line->attachAxis(x);
    line->attachAxis(y);
  }
  legend()->setVisible(!profiles.empty());
}

}  // namespace kvo::gui
