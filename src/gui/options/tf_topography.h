#pragma once
// The topography dialog "Position of the slope": the slope's azimuth and
// inclination in two edits with up/downs, each drawn on a small chart, and
// committed to the record on OK.

#include <QDialog>

#include "model/app_context.h"

class QChart;
class QChartView;
class QLineEdit;
class QTimer;

namespace kvo::gui {

class UpDown;

class TFTopography : public QDialog {
  Q_OBJECT
 public:
  explicit TFTopography(core::AppContext& context, QWidget* parent = nullptr);

  QChart* azimuthChart() const { return m_azimuthChart; }
  QChart* inclinationChart() const { return m_inclinationChart; }

  // The operations behind the buttons, up/downs and timer, callable from tests.
  void Timer1Timer();
  bool BDrawClick();
  void BOKClick();
  void BCancelClick();
  void UDAzimClick();
  void UDInclinClick();

 private:
  core::AppContext& m_context;

  QLineEdit* EAzim = nullptr;
  UpDown* UDAzim = nullptr;
  QLineEdit* EInclin = nullptr;
  UpDown* UDInclin = nullptr;
  QChart* m_azimuthChart = nullptr;
  QChart* m_inclinationChart = nullptr;
  QChartView* ChAzim = nullptr;
  QChartView* ChInclin = nullptr;
  QTimer* Timer1 = nullptr;
};

}  // namespace kvo::gui
