#include <gtest/gtest.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableWidget>

#include <filesystem>

#include "model/parameter_file.h"
#include "runlist/run_list_file.h"
#include "app/tf_kvo_comput.h"
#include "runlist/tf_run_list.h"
#include "support/modal_watcher.h"

namespace kvo::gui {
namespace {

namespace fs = std::filesystem;
using test::ModalWatcher;

class RunListEditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            (std::string("kvo_gui_runlist_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    m_context.StartupFolder = m_dir;
    m_files.open = [this](QWidget*, const QString&, const QString&, const QString&, const QString&) {
      return nextFile;
    };
    m_files.save = m_files.open;
  }
  void TearDown() override {
    m_editor.reset();
    fs::remove_all(m_dir);
  }

  TFRunList& open() {
    auto values = [this](std::string&) -> std::optional<core::MainWindowValues> { return window; };
    m_editor = std::make_unique<TFRunList>(m_context, values, nullptr, m_files);
    m_editor->Timer1Timer();
    return *m_editor;
  }
  QLineEdit* edit(const char* name) { return m_editor->findChild<QLineEdit*>(name); }
  QTableWidget* grid() { return m_editor->findChild<QTableWidget*>("SGList"); }
  std::vector<std::string> numbers() {
    std::vector<std::string> n;
    for (int r = 0; r < grid()->rowCount(); ++r) n.push_back(grid()->item(r, 0)->text().toStdString());
    return n;
  }

  fs::path m_dir;
  core::AppContext m_context;
  FileChooser m_files;
  QString nextFile;
  core::MainWindowValues window;
  std::unique_ptr<TFRunList> m_editor;
};

TEST_F(RunListEditorTest, OpensTheWorkingFile) {
  ASSERT_TRUE(core::writeRunList(core::runListWorkingFile(m_dir), core::RunListFormat::Working,
                                 {{"/a.nmc", "/b.nmc", "/c.nmc"}, 0, "/lists/x.mrl"})
                  .ok());
  open();
  EXPECT_EQ(m_editor->entries(), (std::vector<std::string>{"/a.nmc", "/b.nmc", "/c.nmc"}));
  EXPECT_EQ(edit("ETotal")->text(), "3");
  EXPECT_EQ(edit("EStart")->text(), "1");  // a start below 1 is 1
  EXPECT_EQ(m_context.RunListFile, "/lists/x.mrl");
  EXPECT_EQ(edit("EInitWE")->text(), "0.00");
  EXPECT_EQ(edit("ENumNS")->text(), "1");
}

TEST_F(RunListEditorTest, AddsUpToNineHundredEntries) {
  open();
  for (int i = 0; i < 900; ++i) {
    nextFile = QString("/m/%1.nmc").arg(i);
    m_editor->BAddClick();
  }
  EXPECT_EQ(edit("ETotal")->text(), "900");
  ModalWatcher watcher;
  m_editor->BAddClick();
  EXPECT_EQ(watcher.errors(), QStringList{"Number of files must be <=900)"});
  EXPECT_EQ(grid()->rowCount(), 900);
}

TEST_F(RunListEditorTest, DeleteMoveAndDoubleClick) {
  open();
  for (const char* f : {"/1.nmc", "/2.nmc", "/3.nmc", "/4.nmc"}) {
    nextFile = f;
    m_editor->BAddClick();
  }
  m_context.runListRow = 2;
  m_editor->BDeleteClick();
  EXPECT_EQ(m_editor->entries(), (std::vector<std::string>{"/1.nmc", "/3.nmc", "/4.nmc"}));
  EXPECT_EQ(numbers(), (std::vector<std::string>{"1", "2", "3"}));
  grid()->verticalHeader()->moveSection(0, 2);  // drag the first row to the end
  EXPECT_EQ(m_editor->entries(), (std::vector<std::string>{"/3.nmc", "/4.nmc", "/1.nmc"}));
  EXPECT_EQ(numbers(), (std::vector<std::string>{"1", "2", "3"}));
  m_context.runListRow = 3;
  m_editor->SGListDblClick();
  EXPECT_EQ(edit("EStart")->text(), "3");
  m_editor->BClearClick();
  EXPECT_EQ(grid()->rowCount(), 0);
  EXPECT_EQ(edit("ETotal")->text(), "0");
  EXPECT_EQ(edit("EStart")->text(), "1");
}

TEST_F(RunListEditorTest, SaveLoadAndOk) {
  open();
  for (const char* f : {"/1.nmc", "/my dir/2.nmc"}) {
    nextFile = f;
    m_editor->BAddClick();
  }
  edit("EStart")->setText("2.7");
  nextFile = QString::fromStdString((m_dir / "list.mrl").string());
  m_editor->BSaveClick();
  core::RunList saved;
  ASSERT_TRUE(core::readRunList(m_dir / "list.mrl", core::RunListFormat::User, saved).ok());
  EXPECT_EQ(saved.entries, m_editor->entries());
  EXPECT_EQ(saved.start, 2);
  {
    // A file that cannot be created: a message, the list untouched.
    nextFile = QString::fromStdString((m_dir / "no" / "list.mrl").string());
    ModalWatcher watcher;
    m_editor->BSaveClick();
    ASSERT_EQ(watcher.errors().size(), 1);
    EXPECT_TRUE(watcher.errors()[0].contains("list.mrl"));
    EXPECT_EQ(grid()->rowCount(), 2);
  }
  m_editor->BClearClick();
  nextFile = QString::fromStdString((m_dir / "list.mrl").string());
  m_editor->BLoadClick();
  EXPECT_EQ(m_editor->entries(), saved.entries);
  EXPECT_EQ(edit("EStart")->text(), "2");
  m_editor->BOKClick();
  core::RunList working;
  ASSERT_TRUE(core::readRunList(core::runListWorkingFile(m_dir), core::RunListFormat::Working, working).ok());
  EXPECT_EQ(working.entries, saved.entries);
  EXPECT_EQ(working.runListFile, (m_dir / "list.mrl").string());
}

TEST_F(RunListEditorTest, MakeGeneratesTheGridOfModels) {
  std::string first = KVO_EXAMPLES_DIR "/target_3d.nmc", second;
  ASSERT_TRUE(core::readParameterFile(first, second, core::ParameterFileMode::Parameters, {},
                                      m_context.parameters)
                  .ok());
  core::SoundingParameters shown = m_context.parameters;
  ASSERT_FALSE(core::readMainWindowFields(core::showParameters(shown, false), window).has_value());
  const fs::path base = m_dir / "survey.nmc";
  fs::copy_file(first, base);
  open();
  edit("EStepWE")->setText("10");
  edit("EStepNS")->setText("20");
  edit("ENumWE")->setText("3");
  edit("ENumNS")->setText("2");
  nextFile = QString::fromStdString(base.string());
  ModalWatcher watcher;
  m_editor->BMakeClick();
  EXPECT_TRUE(watcher.seen.isEmpty()) << watcher.seen.join("; ").toStdString();
  const std::string stem = (m_dir / "survey").string();
  EXPECT_EQ(m_editor->entries(),
            (std::vector<std::string>{stem + "_WE_0_NS_0.nmc", stem + "_WE_10_NS_0.nmc",
                                      stem + "_WE_20_NS_0.nmc", stem + "_WE_0_NS_20.nmc",
                                      stem + "_WE_10_NS_20.nmc", stem + "_WE_20_NS_20.nmc"}));
  EXPECT_EQ(m_context.modelGrid.countWE, 3);  // the settings are kept
  edit("ENumNS")->setText("31");
  edit("ENumWE")->setText("30");
  m_editor->BMakeClick();
  EXPECT_EQ(watcher.errors(), QStringList{"Total number of models (W-E * N-S) must be <900"});
}

TEST_F(RunListEditorTest, AGeneratedGridOfModelsIsComputedFromTheDesktopProgram) {
  const fs::path base = m_dir / "grid.nmc";
  fs::copy_file(KVO_EXAMPLES_DIR "/target_3d.nmc", base);
  {
    // The working file holds the example, so the main window starts on it.
    std::string first = base.string(), second;
    core::SoundingParameters p;
    ASSERT_TRUE(core::readParameterFile(first, second, core::ParameterFileMode::Parameters, {}, p).ok());
    ASSERT_TRUE(core::writeParameterFile(base.string(), "c:", core::ParameterFileMode::Working, m_dir, p).ok());
  }
  StartupOptions options;
  options.startupFolder = m_dir;
  options.showSplash = false;
  options.openLoopDialog = false;
  options.exitMs = 0;
  options.files.open = [&](QWidget*, const QString&, const QString&, const QString&, const QString&) {
    return QString::fromStdString(base.string());
  };
  TFKVOComput mainWindow(options);
  ModalWatcher watcher;
  watcher.answer("TFRunList", [](QWidget* w) {
    auto* editor = static_cast<TFRunList*>(w);
    editor->Timer1Timer();
    const std::pair<const char*, const char*> fields[] = {
        {"EInitWE", "-10"}, {"EInitNS", "-10"}, {"EStepWE", "10"}, {"EStepNS", "10"}, {"ENumWE", "3"}, {"ENumNS", "3"}};
    for (const auto& [name, text] : fields) editor->findChild<QLineEdit*>(name)->setText(text);
    editor->BMakeClick();
    editor->BOKClick();
  });
  mainWindow.findChild<QCheckBox*>("CBRunList")->setChecked(true);
  mainWindow.BRunListSetClick();
  mainWindow.BRunClick();
  EXPECT_TRUE(watcher.errors().isEmpty()) << watcher.errors().join("; ").toStdString();
  core::RunList list;
  ASSERT_TRUE(core::readRunList(core::runListWorkingFile(m_dir), core::RunListFormat::Working, list).ok());
  ASSERT_EQ(list.entries.size(), 9u);
  EXPECT_EQ(list.start, 10);  // every entry computed
  for (const std::string& model : list.entries) {
    EXPECT_TRUE(fs::exists(core::withLastThreeReplaced(model, "mrm"))) << model;
  }
}

}  // namespace
}  // namespace kvo::gui
