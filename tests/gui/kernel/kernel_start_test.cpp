// How the kernel window is reached: the main window's Kernel button, which
// follows the result file of the current parameter file, and
// "kvo --kernel FILE", which opens the window alone.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>

#include <filesystem>
#include <fstream>

#include "app/application.h"
#include "app/tf_kvo_comput.h"
#include "kernel/kernel_files.h"
#include "kernel/tf_kernel.h"
#include "model/parameter_file.h"
#include "support/modal_watcher.h"
#include "support/scratch_folder.h"

namespace kvo::gui {
namespace {

namespace fs = std::filesystem;
using test::ModalWatcher;

class KernelStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = test::freshTestFolder("kvo_gui_kernel_");
  }
  void TearDown() override {
    m_window.reset();
    fs::remove_all(m_dir);
  }

  // The main window; Run "computes" by writing a depth series under the
  // run's name, Save and Load answer `m_next`.
  TFKVOComput& open() {
    // The working file holds the bundled example, so that Run has something to run.
    const std::string example = KVO_EXAMPLES_DIR "/coincident_circle_100m_three_layers.nmc";
    std::string first = example, second;
    core::SoundingParameters p;
    EXPECT_TRUE(core::readParameterFile(first, second, core::ParameterFileMode::Parameters, {}, p).ok());
    EXPECT_TRUE(core::writeParameterFile("c:", "c:", core::ParameterFileMode::Working, m_dir, p).ok());
    StartupOptions options;
    options.startupFolder = m_dir;
    options.showSplash = false;
    options.openLoopDialog = false;
    options.exitMs = 0;
    options.files.save = [this](QWidget*, const QString&, const QString&, const QString&, const QString&) {
      return QString::fromStdString(m_next.string());
    };
    options.files.open = options.files.save;
    options.compute = [this](const std::string& file, const core::SoundingParameters&, std::stop_token,
                             const ProgressCallbacks&, std::string&) {
      const fs::path result = core::withLastThreeReplaced(file, "mrm");
      test::writeDepthSeries(result.parent_path(), result.stem().string());
      return core::EntryStatus::Written;
    };
    m_window = std::make_unique<TFKVOComput>(options);
    return *m_window;
  }
  bool kernelEnabled() { return m_window->findChild<QPushButton*>("BKernel")->isEnabled(); }
  std::vector<TFKernel*> kernelWindows() {
    std::vector<TFKernel*> windows;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* k = qobject_cast<TFKernel*>(w); k != nullptr && k->isVisible()) windows.push_back(k);
    }
    return windows;
  }

  fs::path m_dir;
  fs::path m_next;
  std::unique_ptr<TFKVOComput> m_window;
};

TEST_F(KernelStartTest, KernelButtonFollowsTheResultOfTheCurrentParameterFile) {
  TFKVOComput& window = open();
  ModalWatcher watcher;
  watcher.click("TFOverwrite", "BOverwrite");
  EXPECT_FALSE(kernelEnabled()) << "a fresh working folder has no result";

  // Run writes run1.mrm beside run1.nmc: the button turns on and opens it.
  m_next = m_dir / "run1.mrm";
  window.BRunClick();
  ASSERT_TRUE(fs::exists(m_dir / "run1.mrm"));
  EXPECT_TRUE(kernelEnabled());
  window.findChild<QPushButton*>("BKernel")->click();
  const std::vector<TFKernel*> shown = kernelWindows();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0]->windowTitle(), "Kernel - run1.mrm");
  EXPECT_EQ(window.context().CurrentParameterFile, (m_dir / "run1.nmc").string());

  // Saving under another name: that file has no result yet; saving back
  // over run1.nmc finds its result again.
  m_next = m_dir / "other.nmc";
  window.BSaveClick();
  EXPECT_FALSE(kernelEnabled());
  m_next = m_dir / "run1.nmc";
  window.BSaveClick();
  EXPECT_TRUE(kernelEnabled());

  // Loading follows the loaded file; a result removed behind the program's
  // back is noticed at the next check.
  m_next = m_dir / "other.nmc";
  window.BLoadClick();
  EXPECT_FALSE(kernelEnabled());
  m_next = m_dir / "run1.nmc";
  window.BLoadClick();
  EXPECT_TRUE(kernelEnabled());
  fs::remove(m_dir / "run1.mrm");
  window.BKernelClick();
  EXPECT_FALSE(kernelEnabled());
  EXPECT_EQ(kernelWindows().size(), 1u) << "no window for a result that is gone";
  EXPECT_EQ(watcher.errors(), QStringList{});
  EXPECT_TRUE(watcher.seen.contains("TFOverwrite: File exists. Overwrite?"));
}

TEST_F(KernelStartTest, KernelOptionOpensTheFileAloneAndRefusesWhatItCannotRead) {
  // Run in a folder of its own: the working file must not appear there.
  const fs::path before = fs::current_path();
  fs::current_path(m_dir);
  core::AppContext context;
  {
    const std::string good = test::writeDepthSeries(m_dir, "good");
    const std::unique_ptr<TFKernel> window = openKernelWindow(context, QString::fromStdString(good));
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Kernel - good.mrm");
    ASSERT_NE(window->kernel(), nullptr);
    EXPECT_EQ(window->kernel()->depths.size(), 100u);
  }
  {
    std::ofstream(m_dir / "short.mrm") << " -60    1   100.00  2000.00 \n";
    const std::string expected = core::ReadKernelFile((m_dir / "short.mrm").string()).message;
    ModalWatcher watcher;
    EXPECT_EQ(openKernelWindow(context, QString::fromStdString((m_dir / "short.mrm").string())), nullptr);
    EXPECT_EQ(watcher.errors(), QStringList{QString::fromStdString(expected)});
  }
  EXPECT_FALSE(fs::exists(m_dir / "KVO_comp_param.ncc"));
  fs::current_path(before);

  // A missing file name is refused before any window.
  char program[] = "kvo", option[] = "--kernel";
  char* argv[] = {program, option, nullptr};
  EXPECT_EQ(runApplication(2, argv), 2);
}

}  // namespace
}  // namespace kvo::gui
