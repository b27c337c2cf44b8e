#include "app/tf_run_computing.h"
#include "app/widget_names.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/tf_error.h"
#include "app/tf_open_failure.h"
#include "compute/compute_sounding.h"
#include "model/parameter_file.h"

namespace kvo::gui {
namespace {

}  // namespace

TFRunComputing::TFRunComputing(core::AppContext& context, bool runList, ComputeEntry compute,
                               QWidget* parent)
    : QDialog(parent), m_context(context), m_runList(runList), m_compute(std::move(compute)) {
  setObjectName(QStringLiteral("TFRunComputing"));
  setWindowTitle(QStringLiteral("Computing running"));
  SGRunList = named(new QTableWidget(0, 2, this), "SGRunList");
  SGRunList->setHorizontalHeaderLabels({QStringLiteral("N"), QStringLiteral("File")});
  SGRunList->verticalHeader()->hide();
  SGRunList->setColumnWidth(0, 40);
  SGRunList->horizontalHeader()->setStretchLastSection(true);
  SGRunList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SGRunList->setMinimumSize(360, 160);

  auto* info = new QGridLayout;
  info->addWidget(new QLabel(QStringLiteral("Computing info"), this), 0, 0, 1, 3);
  PBField = named(new QProgressBar(this), "PBField");
  PBLayer = named(new QProgressBar(this), "PBLayer");
  PBModel = named(new QProgressBar(this), "PBModel");
  LModel = named(new QLabel(QStringLiteral("0/0"), this), "LModel");
  const std::tuple<const char*, QProgressBar*> bars[] = {
      {"EM field", PBField}, {"Integration", PBLayer}, {"Model:", PBModel}};
  int row = 1;
  for (const auto& [label, bar] : bars) {
    bar->setRange(0, 100);
    bar->setValue(0);
    info->addWidget(new QLabel(QString::fromLatin1(label), this), row, 0);
    info->addWidget(bar, row++, 1);
  }
  info->addWidget(LModel, 3, 2);
  BBreak = named(new QPushButton(QStringLiteral("Break"), this), "BBreak");
  connect(BBreak, &QPushButton::clicked, this, &TFRunComputing::BBreakClick);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Run list"), this));
  layout->addWidget(SGRunList, 1);
  layout->addLayout(info);
  layout->addWidget(BBreak, 0, Qt::AlignHCenter);

  Timer1 = new QTimer(this);
  Timer1->setSingleShot(true);
  Timer1->setInterval(50);
  connect(Timer1, &QTimer::timeout, this, &TFRunComputing::Timer1Timer);
  Timer1->start();
}

TFRunComputing::~TFRunComputing() {
  // Ask a computation still running to stop, and wait for it (jthread joins).
  m_worker.request_stop();
}

void TFRunComputing::Timer1Timer() {
  Timer1->stop();
  if (const QScreen* screen = this->screen()) {
    const int top = parentWidget() != nullptr ? parentWidget()->y() : y();
    move(screen->availableGeometry().right() - width() - 10, top);
  }
  m_context.RunStatus = kRunNothingToReport;
  int total = 0;
  int current = 0;
  if (m_runList) {
    const std::filesystem::path listFile = core::runListWorkingFile(m_context.StartupFolder);
    core::RunList list;
    const core::FileOutcome read = core::readRunList(listFile, core::RunListFormat::Working, list);
    if (read.status == core::FileOutcome::Status::CannotOpen) {
      m_context.CurrentParameterFile = listFile.string();
      showOpenFailure(m_context, this);
      close();
      return;
    }
    if (!read.ok()) {
      showError(m_context, read.message, this);
      close();
      return;
    }
    total = static_cast<int>(list.entries.size());
    current = std::max(list.start, 1);
    m_context.RunListFile = list.runListFile;
    for (const std::string& entry : list.entries) {
      const int r = SGRunList->rowCount();
      SGRunList->setRowCount(r + 1);
      SGRunList->setItem(r, 0, new QTableWidgetItem(QString::number(r + 1)));
      SGRunList->setItem(r, 1, new QTableWidgetItem(q(entry)));
    }
    if (total < current) {
      showError(m_context, core::kRunListFulfilled, this);
      close();
      return;
    }
  }
  modelDisplay(current, total);
  startWorker();
}

void TFRunComputing::modelDisplay(int current, int total) {
  LModel->setText(QStringLiteral("%1/%2").arg(current).arg(total));
  PBModel->setMaximum(std::max(total, 1));
  PBModel->setValue(std::min(current, std::max(total, 1)));
  PBField->setValue(0);
  PBLayer->setValue(0);
}

ProgressCallbacks TFRunComputing::barsProgress() {
  // Called on the worker thread: every change reaches the bars through the
  // window's event queue, and is dropped if the window is gone.
  QPointer<TFRunComputing> self(this);
  auto post = [self](QProgressBar* TFRunComputing::*bar, bool maximum) {
    return [self, bar, maximum](int value) {
      QMetaObject::invokeMethod(
          self.data(),
          [self, bar, maximum, value] {
            if (!self) return;
            QProgressBar* b = self->*bar;
            if (maximum) {
              b->setMaximum(std::max(value, 1));
            } else {
              b->setValue(std::min(value, b->maximum()));
            }
          },
          Qt::QueuedConnection);
    };
  };
  return {post(&TFRunComputing::PBField, true), post(&TFRunComputing::PBField, false),
          post(&TFRunComputing::PBLayer, true), post(&TFRunComputing::PBLayer, false)};
}

void TFRunComputing::startWorker() {
  const ProgressCallbacks progress = barsProgress();
  QPointer<TFRunComputing> self(this);
  auto finish = [self](int status, std::string message) {
    QMetaObject::invokeMethod(
        self.data(),
        [self, status, message] {
          if (self) self->workerFinished(status, message);
        },
        Qt::QueuedConnection);
  };
  if (!m_runList) {
    // The single computation takes the parameters of the working file.
    std::string first, second;
    core::SoundingParameters params = m_context.parameters;
    const core::FileOutcome read = core::readParameterFile(
        first, second, core::ParameterFileMode::Working, m_context.StartupFolder, params);
    if (!read.ok()) {
      workerFinished(kRunFailedWithMessage, read.message);
      return;
    }
    m_context.parameters = params;
    const std::string file = m_context.CurrentParameterFile;
    m_worker = std::jthread([compute = m_compute, file, params, progress, finish](std::stop_token stop) {
      std::string message;
      const core::EntryStatus status = compute(file, params, stop, progress, message);
      switch (status) {
        case core::EntryStatus::Written: finish(kRunNothingToReport, ""); break;
        case core::EntryStatus::Stopped: finish(kRunStoppedByUser, ""); break;
        default: finish(message.empty() ? kRunFieldFailed : kRunFailedWithMessage, message); break;
      }
    });
    return;
  }
  const std::filesystem::path listFile = core::runListWorkingFile(m_context.StartupFolder);
  const std::string settings = core::samplingTag(m_context.sampling.sampling, m_context.sampling.tolerance);
  m_worker = std::jthread([compute = m_compute, listFile, settings, progress, finish, self](std::stop_token stop) {
    core::RunListWalk walk;
    walk.stop = stop;
    walk.settings = settings;
    walk.compute = [&](const std::string& file, const core::SoundingParameters& params,
                       std::string& message) { return compute(file, params, stop, progress, message); };
    walk.entryStarted = [self](int number, int total, const std::string&) {
      QMetaObject::invokeMethod(
          self.data(), [self, number, total] { if (self) self->modelDisplay(number, total); },
          Qt::QueuedConnection);
    };
    walk.entryDone = [self](const core::EntryOutcome& outcome) {
      QMetaObject::invokeMethod(
          self.data(), [self, outcome] { if (self) self->entryDone(outcome); }, Qt::QueuedConnection);
    };
    const core::RunListWalkResult result = core::walkRunList(listFile, core::RunListFormat::Working, walk);
    switch (result.status) {
      case core::RunListWalkResult::Status::Stopped: finish(kRunStoppedByUser, ""); break;
      case core::RunListWalkResult::Status::Completed: finish(kRunNothingToReport, ""); break;
      default: finish(kRunFailedWithMessage, result.message); break;
    }
  });
}

void TFRunComputing::entryDone(const core::EntryOutcome& outcome) {
  const int row = outcome.number - 1;
  if (row >= 0 && row < SGRunList->rowCount() && outcome.status == core::EntryStatus::Completed) {
    // Computed before with the same parameter file and sampling: its result files stand.
    QTableWidgetItem* item = SGRunList->item(row, 1);
    item->setText(item->text() + QStringLiteral("  (computed before)"));
    item->setForeground(Qt::darkGray);
  } else if (row >= 0 && row < SGRunList->rowCount() && outcome.status != core::EntryStatus::Written &&
             outcome.status != core::EntryStatus::Stopped) {
    QTableWidgetItem* item = SGRunList->item(row, 1);
    const QString reason = outcome.message.empty() ? QStringLiteral("the field computation failed")
                                                   : q(outcome.message);
    item->setText(item->text() + QStringLiteral("  (skipped: ") + reason + QStringLiteral(")"));
    item->setToolTip(reason);
    item->setForeground(Qt::red);
  }
  const int total = SGRunList->rowCount();
  modelDisplay(outcome.number + 1, total);
}

void TFRunComputing::BBreakClick() {
  m_context.RunStatus = kRunStoppedByUser;
  m_worker.request_stop();
}

void TFRunComputing::workerFinished(int runStatus, const std::string& message) {
  if (m_worker.joinable()) m_worker.join();
  m_finished = true;
  // The worker's outcome decides: a Break that came too late to stop the
  // last computation leaves its results, and nothing to report.
  m_context.RunStatus = runStatus;
  if (runStatus == kRunFailedWithMessage) m_context.MessageText = message;
  accept();
}

void TFRunComputing::closeEvent(QCloseEvent* event) {
  // Closing while a computation runs stops it first.
  if (!m_finished && m_worker.joinable()) {
    m_context.RunStatus = kRunStoppedByUser;
    m_worker.request_stop();
    m_worker.join();
  }
  event->accept();
}

}  // namespace kvo::gui

namespace kvo::gui {
namespace {

// Hands the computation's progress to the window's callbacks.
class CallbackProgress : public core::ComputeProgress {
 public:
  explicit CallbackProgress(const ProgressCallbacks& callbacks) : m_callbacks(callbacks) {}
  void fieldMaximum(int v) override { call(m_callbacks.fieldMaximum, v); }
  void fieldPosition(int v) override { call(m_callbacks.fieldPosition, v); }
  void layerMaximum(int v) override { call(m_callbacks.layerMaximum, v); }
  void layerPosition(int v) override { call(m_callbacks.layerPosition, v); }

 private:
  static void call(const std::function<void(int)>& f, int v) {
    if (f) f(v);
  }
  const ProgressCallbacks& m_callbacks;
};

}  // namespace

ComputeEntry kernelComputation(std::string workingFolder, const core::SamplingSettings* settings) {
  return [workingFolder, settings](const std::string& parameterFile, const core::SoundingParameters& params,
                                   std::stop_token stop, const ProgressCallbacks& progress, std::string& message) {
    CallbackProgress sink(progress);
    core::ComputeOptions options;
    if (settings != nullptr) {
      options.sampling = settings->sampling;
      options.tolerance = settings->tolerance;
    }
    options.stop = stop;
    options.progress = &sink;
    options.workingFolder = workingFolder;
    const core::ComputeResult result = core::ComputeSounding(parameterFile, params, options);
    switch (result.status) {
      case core::ComputeStatus::Written: return core::EntryStatus::Written;
      case core::ComputeStatus::Stopped: return core::EntryStatus::Stopped;
      case core::ComputeStatus::FieldFailed:
        message.clear();  // reported as a failed field computation
        return core::EntryStatus::Failed;
      default:
        message = result.message;
        return core::EntryStatus::Failed;
    }
  };
}

}  // namespace kvo::gui
