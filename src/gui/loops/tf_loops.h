#pragma once
// The loop dialog "Set Tx/Rx loops": edits both loop records on working
// copies, draws them on a map, and commits them to the program on OK.

#include <QDialog>

#include "app/file_chooser.h"
#include "loops/loop_checks.h"
#include "model/app_context.h"

class QCheckBox;
class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace kvo::gui {

class UpDown;

class TFLoops : public QDialog {
  Q_OBJECT
 public:
  explicit TFLoops(core::AppContext& context, QWidget* parent = nullptr,
                   FileChooser files = FileChooser::standard());

  // The dialog's working copies.
  const core::LoopSetup& workingTx() const { return m_tx; }
  const core::LoopSetup& workingRx() const { return m_rx; }
  const core::LoopOutline& workingOutline() const { return m_outline; }
  QChart* chart() const { return m_chart; }

  // The operations behind the buttons and timer, callable from tests.
  void Timer1Timer();
  bool BDrawClick();
  void BDataClick();
  void BOKClick();
  void BCancelClick();
  void BPrintClick();
  void BGrSaveClick();
  void setReceiverControls(bool on);

 private:
  core::LoopDialogFields readFields() const;
  void showRecords();
  void scale();
  void azimuthClicked(UpDown* upDown, QLineEdit* edit);
  void shiftClicked(UpDown* upDown, QLineEdit* edit);
  void redrawUnlessSuspended();

  core::AppContext& m_context;
  FileChooser m_files;
  core::LoopSetup m_tx{};
  core::LoopSetup m_rx{};
  core::LoopOutline m_outline;

  QComboBox* CBTx = nullptr;
  QLineEdit* ETxSize = nullptr;
  QLineEdit* ETxTurns = nullptr;
  QLineEdit* ETxLSepar = nullptr;
  QLineEdit* ETxDirect = nullptr;
  UpDown* UDTxDirect = nullptr;
  QCheckBox* CBRxSel = nullptr;
  QComboBox* CBRx = nullptr;
  QLineEdit* ERxSize = nullptr;
  QLineEdit* ERxTurns = nullptr;
  QLineEdit* ELSepar = nullptr;
  QLineEdit* ERxDirect = nullptr;
  QLineEdit* EShiftN = nullptr;
  QLineEdit* EShiftE = nullptr;
  UpDown* UDRxDirect = nullptr;
  UpDown* UDSiftN = nullptr;
  UpDown* UDSiftE = nullptr;
  QChart* m_chart = nullptr;
  QChartView* ChGraph = nullptr;
  QLabel* LTxOn = nullptr;
  QLabel* LRxOn = nullptr;
  QTimer* Timer1 = nullptr;
};

}  // namespace kvo::gui
