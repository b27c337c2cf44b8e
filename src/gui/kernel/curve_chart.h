#pragma once
// The chart of a curve against pulse moment: amplitude on the left axis and
// phase (degrees) on the right, the pulse-moment axis linear or logarithmic.
// Shows a water model's sounding curve (nV) and a single depth's signal
// table (nV/m).

#include <QChart>
#include <QString>

#include <vector>

namespace kvo::gui {

struct Curve {
  std::vector<double> pulseMoments;  // A-ms
  std::vector<double> amplitudes;
  std::vector<double> phases;  // degrees
};

class CurveChart : public QChart {
  Q_OBJECT
 public:
  // `amplitudeTitle` names the left axis with its unit.
  CurveChart(const QString& title, const QString& amplitudeTitle);

  void setCurve(const Curve& curve, bool logarithmicPulse);
  // Removes the curve (the axes stay).
  void clearCurve();
  const Curve& curve() const { return m_curve; }
  bool hasCurve() const { return !m_curve.pulseMoments.empty(); }

 private:
  void rebuild();

  QString m_amplitudeTitle;
  Curve m_curve;
  bool m_logarithmic = false;
};

}  // namespace kvo::gui
