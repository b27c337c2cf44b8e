#pragma once
// The 3D target dialog "Set 3D Target": edits the box in a small table, shows
// it with the committed loops on a map and in two cross-sections, and
// commits the target record on OK.

#include <QDialog>

#include "model/app_context.h"
#include "options/target_box.h"

class QChart;
class QChartView;
class QLabel;
class QLineEdit;
class QTableWidget;
class QTimer;

namespace kvo::gui {

class UpDown;

class TF3DTarget : public QDialog {
  Q_OBJECT
 public:
  explicit TF3DTarget(core::AppContext& context, QWidget* parent = nullptr);

  const core::TargetSetup& workingTarget() const { return m_target; }
  QChart* mapChart() const { return m_map; }
  QChart* westEastChart() const { return m_westEast; }
  QChart* southNorthChart() const { return m_southNorth; }

  // The operations behind the buttons, up/downs and timer, callable from tests.
  void Timer1Timer();
  bool BDrawClick();
  bool BScaleClick();
  void BOKClick();
  void NCancelClick();
  void UDAzimClick();
  void UDTopClick();
  void UDSiftNClick();
  void UDSiftEClick();

 private:
  core::TargetTableTexts tableTexts() const;
  void setValueText(core::TargetRow row, const QString& text);
  bool receiverDrawn() const;

  core::AppContext& m_context;
  core::TargetSetup m_target{};
  core::LoopOutline m_outline;

  QTableWidget* SGTarget = nullptr;
  QLineEdit* EVolume = nullptr;
  UpDown* UDAzim = nullptr;
  UpDown* UDTop = nullptr;
  UpDown* UDSiftN = nullptr;
  UpDown* UDSiftE = nullptr;
  QChart* m_map = nullptr;
  QChart* m_westEast = nullptr;
  QChart* m_southNorth = nullptr;
  QChartView* ChGrN_E = nullptr;
  QChartView* ChGrN_D = nullptr;
  QChartView* ChGrD_E = nullptr;
  QLabel* LTxOn = nullptr;
  QLabel* LRxOn = nullptr;
  QTimer* Timer1 = nullptr;
};

}  // namespace kvo::gui
