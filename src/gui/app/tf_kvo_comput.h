#pragma once
// The main window "KVO computing": the computing parameters, the layered
// section, the option switches, the loop map and the commands Save, Load,
// Run, Help and Settings. It owns the program's shared state (AppContext).

#include <QMainWindow>

#include <filesystem>
#include <optional>

#include "app/file_chooser.h"
#include "app/tf_run_computing.h"
#include "model/app_context.h"
#include "model/parameter_checks.h"

class QChart;
class QChartView;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QTimer;

namespace kvo::gui {

class UpDown;

struct StartupOptions {
  std::filesystem::path startupFolder = std::filesystem::current_path();
  bool showSplash = true;
  bool openLoopDialog = true;  // the loop dialog 50 ms after the window shows
  int splashMs = 3000;
  int exitMs = 3000;
  FileChooser files = FileChooser::standard();
  // What Run computes each parameter set with (empty: the kernel computation).
  ComputeEntry compute;
};

class TFKVOComput : public QMainWindow {
  Q_OBJECT
 public:
  explicit TFKVOComput(StartupOptions options = {});

  core::AppContext& context() { return m_context; }
  bool singleDepthMode() const { return m_singleDepth; }
  void setFileChooser(FileChooser files) { m_options.files = std::move(files); }

  // Checks the window's values and stores them; on failure shows the error
  // window with the message and returns false.
  bool collectParameters();
  // Fills the window from the stored parameters.
  void showParameters();
  // Redraws the loop map from the committed loops and target.
  void refreshChart();

  // Commands, callable from tests as the buttons call them.
  void BLoopsClick();
  void B3DSetClick();
  void BFreqSetClick();
  void BTopoSetClick();
  void BSaveClick();
  void BLoadClick();
  void BRunClick();
  void BHelpClick();
  // The computation settings dialog on the context's sampling; OK stores and keeps them.
  void BSettingsClick();
  // The kernel window on the result file of the current parameter file.
  void BKernelClick();
  // The result file ("*.mrm") of the current parameter file: its name with
  // the last three characters replaced by "mrm", as Run names it.
  std::string kernelFileName() const;
  // Kernel is enabled exactly while that file exists.
  void updateKernelButton();
  void BRunListSetClick();
  void UDLNumberClick();
  void LMaxDepthDblClick();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Coming back to the window re-checks the result file (another program may
  // have written or removed it).
  void changeEvent(QEvent* event) override;

 private:
  void buildWindow();
  void startUp();
  void StartTimerTimer();
  core::MainWindowFields readFields() const;
  void setLayerRows(const std::vector<core::LayerRow>& rows);
  void updateFromColumn();
  void setSingleDepth(bool on);
  // The settings button's hint: the sampling the next Run uses.
  void showSamplingHint();
  // The two names of the working file's header ("c:" when it cannot be read).
  std::pair<std::string, std::string> readWorkingHeader();
  // The folder a file dialog opens in for a remembered name.
  QString folderFor(const std::string& name) const;
  bool writeParameterFiles(const std::string& file);
  // The file a Save or Run writes: asked in the folder of the last parameter
  // file; a cancelled dialog shows the "Could not open file" window, an
  // existing file asks the overwrite warning. Sets CurrentParameterFile.
  std::optional<std::string> chooseFileToWrite(const QString& caption, const QString& filter,
                                               const QString& suffix);

  StartupOptions m_options;
  core::AppContext m_context;
  bool m_singleDepth = false;

  QTableWidget* SGLayers = nullptr;
  QLineEdit* ELNumber = nullptr;
  UpDown* UDLNumber = nullptr;
  QLineEdit* ELarmFreq = nullptr;
  QLineEdit* EPulseDur = nullptr;
  QLineEdit* EMaxDepth = nullptr;
  QLineEdit* EInclin = nullptr;
  QLineEdit* EMaxMoment = nullptr;
  QLabel* LMaxDepth = nullptr;
  QRadioButton* RBNorth = nullptr;
  QRadioButton* RBSouth = nullptr;
  QCheckBox* CBHarm = nullptr;
  QCheckBox* CBEllipt = nullptr;
  QCheckBox* CB3D = nullptr;
  QPushButton* B3DSet = nullptr;
  QCheckBox* CBFreqShift = nullptr;
  QPushButton* BFreqSet = nullptr;
  QCheckBox* CBTopo = nullptr;
  QPushButton* BTopoSet = nullptr;
  QCheckBox* CBRunList = nullptr;
  QPushButton* BRunListSet = nullptr;
  QPushButton* BLoops = nullptr;
  QPushButton* BSave = nullptr;
  QPushButton* BLoad = nullptr;
  QPushButton* BRun = nullptr;
  QPushButton* BHelp = nullptr;
  QPushButton* BSettings = nullptr;
  QPushButton* BKernel = nullptr;
  QLineEdit* ESaved = nullptr;
  QLineEdit* ELoaded = nullptr;
  QLineEdit* EResult = nullptr;
  QChart* m_chart = nullptr;
  QChartView* ChLoops = nullptr;
  QLabel* LTxOn = nullptr;
  QLabel* LRxOn = nullptr;
  QLabel* L3D = nullptr;
  QTimer* StartTimer = nullptr;
};

}  // namespace kvo::gui
