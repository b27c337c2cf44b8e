#pragma once
// The frequency-shift dialog "Larmor frequency shift": a grid of (pulse
// moment, signal frequency) rows, one more than the number of zones, drawn
// against the Larmor frequency, and committed to the record on OK.

#include <QDialog>

#include "model/app_context.h"
#include "options/frequency_shift.h"

class QChart;
class QChartView;
class QLineEdit;
class QTableWidget;
class QTimer;

namespace kvo::gui {

class UpDown;

class TFFrequencyShift : public QDialog {
  Q_OBJECT
 public:
  // `larmorText` and `maxMomentText` are what the main window's Larmor
  // frequency and maximum pulse moment edits hold; the chart uses them.
  TFFrequencyShift(core::AppContext& context, QString larmorText, QString maxMomentText,
                   QWidget* parent = nullptr);

  QChart* chart() const { return m_chart; }
  // The grid's texts, row by row.
  core::ShiftGrid grid() const;

  // The operations behind the buttons, up/down and timer, callable from tests.
  void Timer1Timer();
  bool BDrawClick();
  void BScaleClick();
  void BOKClick();
  void BCancelClick();
  void UDLNumberClick();

 private:
  void setGrid(const core::ShiftGrid& grid);
  void setRow(int row, const core::ShiftRowText& texts);

  core::AppContext& m_context;
  QString m_larmorText;
  QString m_maxMomentText;

  QTableWidget* SGData = nullptr;
  QLineEdit* ELNumber = nullptr;
  UpDown* UDLNumber = nullptr;
  QChart* m_chart = nullptr;
  QChartView* ChGFreq = nullptr;
  QTimer* Timer1 = nullptr;
};

}  // namespace kvo::gui
