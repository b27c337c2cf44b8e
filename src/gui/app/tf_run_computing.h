#pragma once
// The progress window "Computing running": runs one computation (the
// parameters of the working file) or the rest of the run list on a worker
// thread, shows the field, integration and model progress, and offers Break,
// which stops the running computation between depths. It records the outcome
// in RunStatus and closes itself when the work is done.

#include <QDialog>

#include <functional>
#include <stop_token>
#include <thread>

#include "model/app_context.h"
#include "runlist/run_list_walker.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;

namespace kvo::gui {

// Progress of one computation, reported from the worker thread.
struct ProgressCallbacks {
  std::function<void(int)> fieldMaximum;
  std::function<void(int)> fieldPosition;
  std::function<void(int)> layerMaximum;
  std::function<void(int)> layerPosition;
};

// Computes one parameter set: the parameter file's name (result names derive
// from it) and its records. Returns Written, Failed (with a message, or none
// for a failed field computation) or Stopped.
using ComputeEntry = std::function<core::EntryStatus(
    const std::string& parameterFile, const core::SoundingParameters& params, std::stop_token stop,
    const ProgressCallbacks& progress, std::string& message)>;

// RunStatus values after the window has closed.
inline constexpr int kRunNothingToReport = 0;
inline constexpr int kRunFieldFailed = 1;      // a single computation's field computation failed
inline constexpr int kRunFailedWithMessage = 2;  // failed for the reason in MessageText
inline constexpr int kRunStoppedByUser = -1;

class TFRunComputing : public QDialog {
  Q_OBJECT
 public:
  TFRunComputing(core::AppContext& context, bool runList, ComputeEntry compute,
                 QWidget* parent = nullptr);
  ~TFRunComputing() override;

  void Timer1Timer();
  void BBreakClick();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void startWorker();
  void modelDisplay(int current, int total);
  void entryDone(const core::EntryOutcome& outcome);
  void workerFinished(int runStatus, const std::string& message);
  ProgressCallbacks barsProgress();

  core::AppContext& m_context;
  bool m_runList;
  ComputeEntry m_compute;
  std::jthread m_worker;
  bool m_finished = false;

  QTableWidget* SGRunList = nullptr;
  QProgressBar* PBField = nullptr;
  QProgressBar* PBLayer = nullptr;
  QProgressBar* PBModel = nullptr;
  QLabel* LModel = nullptr;
  QPushButton* BBreak = nullptr;
  QTimer* Timer1 = nullptr;
};

}  // namespace kvo::gui

namespace kvo::gui {

// Computes with the program's kernel computation; the component's scratch
// file goes to `workingFolder`.
// `settings` (may be null: the defaults) is read when each computation
// starts, so a change in the settings dialog applies to the next Run.
ComputeEntry kernelComputation(std::string workingFolder, const core::SamplingSettings* settings = nullptr);

}  // namespace kvo::gui
