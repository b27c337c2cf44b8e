#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/tf_kvo_comput.h"
#include "app/up_down.h"
#include "model/parameter_file.h"
#include "runlist/run_list_file.h"
#include "support/modal_watcher.h"

namespace kvo::gui {
namespace {

namespace fs = std::filesystem;
using test::ModalWatcher;

// Clicks Break of the progress window a moment after it opens.
void breakSoon(ModalWatcher& watcher) {
  watcher.answer("TFRunComputing", [](QWidget* w) {
    QTimer::singleShot(150, w, [w] { w->findChild<QPushButton*>("BBreak")->click(); });
  });
}

class RunWorkflowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            (std::string("kvo_gui_run_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override {
    m_window.reset();
    fs::remove_all(m_dir);
  }

  // The main window on the coincident-loop example, computing with `compute`.
  TFKVOComput& open(ComputeEntry compute) {
    const std::string example = KVO_EXAMPLES_DIR "/coincident_circle_100m_three_layers.nmc";
    std::string first = example, second;
    core::SoundingParameters p;
    EXPECT_TRUE(core::readParameterFile(first, second, core::ParameterFileMode::Parameters, {}, p).ok());
    EXPECT_TRUE(core::writeParameterFile(example, "c:", core::ParameterFileMode::Working, m_dir, p).ok());
    StartupOptions options;
    options.startupFolder = m_dir;
    options.showSplash = false;
    options.openLoopDialog = false;
    options.exitMs = 0;
    options.files.save = [this](QWidget*, const QString&, const QString&, const QString&, const QString&) {
      return QString::fromStdString((m_dir / "run1.mrm").string());
    };
    options.compute = std::move(compute);
    m_window = std::make_unique<TFKVOComput>(options);
    return *m_window;
  }

  std::string entryFile(int i) {
    const std::string file = (m_dir / ("entry" + std::to_string(i) + ".nmc")).string();
    EXPECT_TRUE(core::writeParameterFile(file, "", core::ParameterFileMode::Parameters, m_dir,
                                         m_window->context().parameters)
                    .ok());
    return file;
  }
  void useRunList(int entries, int start) {
    core::RunList list;
    for (int i = 1; i <= entries; ++i) list.entries.push_back(entryFile(i));
    list.start = start;
    ASSERT_TRUE(core::writeRunList(core::runListWorkingFile(m_dir), core::RunListFormat::Working, list).ok());
    m_window->findChild<QCheckBox*>("CBRunList")->setChecked(true);
  }
  int storedStart() {
    core::RunList list;
    EXPECT_TRUE(core::readRunList(core::runListWorkingFile(m_dir), core::RunListFormat::Working, list).ok());
    return list.start;
  }

  fs::path m_dir;
  std::unique_ptr<TFKVOComput> m_window;
};

TEST_F(RunWorkflowTest, SingleComputationRunsOnTheParametersOfTheRun) {
  std::string computedFile;
  double frequency = 0;
  std::thread::id worker;
  open([&](const std::string& file, const core::SoundingParameters& p, std::stop_token,
           const ProgressCallbacks& progress, std::string&) {
    computedFile = file;
    frequency = p.computing[core::kLarmorFrequency];
    worker = std::this_thread::get_id();
    progress.fieldMaximum(10);
    progress.fieldPosition(10);
    return core::EntryStatus::Written;
  });
  ModalWatcher watcher;
  m_window->BRunClick();
  EXPECT_EQ(computedFile, (m_dir / "run1.nmc").string());
  EXPECT_EQ(frequency, 2000);
  EXPECT_NE(worker, std::this_thread::get_id());  // the windows stay responsive
  EXPECT_EQ(watcher.errors(), QStringList{});
  EXPECT_EQ(m_window->context().RunStatus, 0);
}

TEST_F(RunWorkflowTest, OutcomesReachTheMainWindow) {
  const struct {
    core::EntryStatus status;
    const char* message;
    const char* shown;
  } cases[] = {
      {core::EntryStatus::Failed, "", "FATAL ERROR. VODIVI: Bad input geometry"},
      {core::EntryStatus::Failed, "Could not write matrix file on the disk: full", "Could not write matrix file on the disk: full"},
  };
  for (const auto& c : cases) {
    open([&](const std::string&, const core::SoundingParameters&, std::stop_token, const ProgressCallbacks&,
             std::string& message) {
      message = c.message;
      return c.status;
    });
    ModalWatcher watcher;
    m_window->BRunClick();
    EXPECT_EQ(watcher.errors().value(0), QString::fromLatin1(c.shown));
  }
}

TEST_F(RunWorkflowTest, BreakStopsTheRunningComputation) {
  std::atomic<bool> sawStop{false};
  open([&](const std::string&, const core::SoundingParameters&, std::stop_token stop, const ProgressCallbacks&,
           std::string&) {
    for (int i = 0; i < 500 && !stop.stop_requested(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    sawStop = stop.stop_requested();
    return stop.stop_requested() ? core::EntryStatus::Stopped : core::EntryStatus::Written;
  });
  ModalWatcher watcher;
  breakSoon(watcher);
  m_window->BRunClick();
  EXPECT_TRUE(sawStop);
  EXPECT_EQ(watcher.errors(), QStringList{"Computing has been stopped by User"});
  EXPECT_EQ(m_window->context().RunStatus, 0);
}

TEST_F(RunWorkflowTest, RunListFromItsStartEntry) {
  std::vector<std::string> computed;
  open([&](const std::string& file, const core::SoundingParameters&, std::stop_token, const ProgressCallbacks&,
           std::string&) {
    computed.push_back(fs::path(file).filename().string());
    return core::EntryStatus::Written;
  });
  useRunList(3, 2);
  ModalWatcher watcher;
  m_window->BRunClick();
  EXPECT_EQ(computed, (std::vector<std::string>{"entry2.nmc", "entry3.nmc"}));
  EXPECT_EQ(storedStart(), 4);
  EXPECT_EQ(watcher.errors(), QStringList{});
  m_window->BRunClick();  // nothing left
  EXPECT_EQ(watcher.errors(), QStringList{"Computing of this Run List is already fulfilled"});
  // From the first entry again: the journal keeps entries 2 and 3, computed
  // with the same files and sampling.
  computed.clear();
  core::RunList list;
  ASSERT_TRUE(core::readRunList(core::runListWorkingFile(m_dir), core::RunListFormat::Working, list).ok());
  list.start = 1;
  ASSERT_TRUE(core::writeRunList(core::runListWorkingFile(m_dir), core::RunListFormat::Working, list).ok());
  m_window->BRunClick();
  EXPECT_EQ(computed, std::vector<std::string>{"entry1.nmc"});
  EXPECT_EQ(storedStart(), 4);
}

TEST_F(RunWorkflowTest, BreakInARunListKeepsTheStoppedEntryForTheNextRun) {
  std::vector<std::string> computed;
  open([&](const std::string& file, const core::SoundingParameters&, std::stop_token stop, const ProgressCallbacks&,
           std::string&) {
    const std::string name = fs::path(file).filename().string();
    if (name == "entry2.nmc") {
      for (int i = 0; i < 500 && !stop.stop_requested(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (stop.stop_requested()) return core::EntryStatus::Stopped;
    }
    computed.push_back(name);
    return core::EntryStatus::Written;
  });
  useRunList(5, 1);
  {
    ModalWatcher watcher;
    breakSoon(watcher);
    m_window->BRunClick();
    EXPECT_EQ(watcher.errors(), QStringList{"Computing has been stopped by User"});
  }
  EXPECT_EQ(computed, std::vector<std::string>{"entry1.nmc"});
  EXPECT_EQ(storedStart(), 2);
  computed.clear();
  ModalWatcher watcher;
  m_window->BRunClick();
  EXPECT_EQ(computed, (std::vector<std::string>{"entry2.nmc", "entry3.nmc", "entry4.nmc", "entry5.nmc"}));
}

TEST_F(RunWorkflowTest, MissingRunListIsReportedWithItsName) {
  open([](const std::string&, const core::SoundingParameters&, std::stop_token, const ProgressCallbacks&,
          std::string&) { return core::EntryStatus::Written; });
  m_window->findChild<QCheckBox*>("CBRunList")->setChecked(true);
  ModalWatcher watcher;
  m_window->BRunClick();
  EXPECT_EQ(watcher.seen.value(1),
            QString::fromStdString("TFOpenFailure: " + core::runListWorkingFile(m_dir).string()));
}

}  // namespace
}  // namespace kvo::gui
