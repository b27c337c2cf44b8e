#include "kernel/curve_chart.h"

#include <QAbstractAxis>
#include <QLegend>
#include <QLineSeries>
#include <QPen>

#include "kernel/chart_axes.h"

namespace kvo::gui {

CurveChart::CurveChart(const QString& title, const QString& amplitudeTitle) : m_amplitudeTitle(amplitudeTitle) {
  setTitle(title);
  setAnimationOptions(QChart::NoAnimation);
  rebuild();
}

void CurveChart::setCurve(const Curve& curve, bool logarithmicPulse) {
  m_curve = curve;
  m_logarithmic = logarithmicPulse;
  rebuild();
}

void CurveChart::clearCurve() {
  m_curve = {};
  rebuild();
}

void CurveChart::rebuild() {
  removeAllSeries();
  for (QAbstractAxis* axis : axes()) {
    removeAxis(axis);
    delete axis;
  }
  QAbstractAxis* x = makeAxis(sampleScale(m_curve.pulseMoments, m_logarithmic, false, false),
                              QStringLiteral("Pulse moment (A-ms)"));
  QAbstractAxis* amplitude = makeAxis(sampleScale(m_curve.amplitudes, false, false, true), m_amplitudeTitle);
  QAbstractAxis* phase = makeAxis(sampleScale(m_curve.phases, false, false, false), QStringLiteral("Phase (deg)"));
  addAxis(x, Qt::AlignBottom);
  addAxis(amplitude, Qt::AlignLeft);
  addAxis(phase, Qt::AlignRight);
  phase->setGridLineVisible(false);
  const struct {
    const std::vector<double>* values;
    QAbstractAxis* axis;
    QColor colour;
    QString name;
  } lines[] = {{&m_curve.amplitudes, amplitude, QColor(0, 70, 160), QStringLiteral("Amplitude")},
               {&m_curve.phases, phase, QColor(200, 60, 0), QStringLiteral("Phase")}};
  for (const auto& l : lines) {
    QLineSeries* series = makeLine(l.name, l.colour);
    for (std::size_t p = 0; p < m_curve.pulseMoments.size() && p < l.values->size(); ++p) {
      series->append(m_curve.pulseMoments[p], (*l.values)[p]);
    }
    addSeries(series);
    series->attachAxis(x);
    series->attachAxis(l.axis);
    l.axis->setLinePenColor(l.colour);
    l.axis->setLabelsColor(l.colour);
  }
  // The axes take their line's colour; no legend is needed.
  legend()->hide();
}

}  // namespace kvo::gui
