#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/tf_help.h"
#include "app/tf_kvo_comput.h"
#include "app/up_down.h"
#include "model/parameter_file.h"
#include "support/modal_watcher.h"
#include "util/atomic_file.h"

namespace kvo::gui {
namespace {

namespace fs = std::filesystem;
using test::ModalWatcher;

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            (std::string("kvo_gui_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override {
    m_window.reset();
    fs::remove_all(m_dir);
  }

  TFKVOComput& open(int exitMs = 0) {
    StartupOptions options;
    options.startupFolder = m_dir;
    options.showSplash = false;
    options.openLoopDialog = false;
    options.exitMs = exitMs;
    options.files.save = [this](QWidget*, const QString&, const QString& folder, const QString&,
                                const QString&) {
      lastFolder = folder;
      return nextFile;
    };
    options.files.open = options.files.save;
    m_window = std::make_unique<TFKVOComput>(options);
    return *m_window;
  }

  template <class W>
  W* child(const char* name) {
    W* w = m_window->findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QLineEdit* edit(const char* name) { return child<QLineEdit>(name); }
  QTableWidget* grid() { return child<QTableWidget>("SGLayers"); }
  QString cellText(int row, int column) { return grid()->item(row, column)->text(); }

  // A complete, valid set-up in the window: a circular Tx loop and three layers.
  void fillValid() {
    core::LoopSetup& tx = m_window->context().parameters.tx;
    tx[core::kLoopType] = 1;
    tx[core::kLoopSize] = 100;
    tx[core::kLoopTurns] = 1;
    edit("ELarmFreq")->setText("2000");
    edit("EPulseDur")->setText("40");
    edit("EMaxDepth")->setText("100");
    edit("EInclin")->setText("60");
    edit("EMaxMoment")->setText("10000");
    auto* up = child<UpDown>("UDLNumber");
    while (grid()->rowCount() < 3) up->stepUp();
    const char* cells[3][2] = {{"5.0", "100.0"}, {"30.0", "20.0"}, {"200.0", "300.0"}};
    for (int r = 0; r < 3; ++r) {
      grid()->item(r, 1)->setText(cells[r][0]);
      grid()->item(r, 2)->setText(cells[r][1]);
    }
  }

  fs::path m_dir;
  std::unique_ptr<TFKVOComput> m_window;
  QString nextFile;
  QString lastFolder;
};

TEST_F(MainWindowTest, StartUpWritesTheDefaultsIntoANewWorkingFile) {
  open();
  std::string message;
  const auto text = core::readSmallFile(m_dir / "KVO_comp_param.ncc", 10000, message);
  ASSERT_TRUE(text.has_value()) << message;
  EXPECT_EQ(text->substr(0, 6), "c: c:\n");
  EXPECT_EQ(edit("ELarmFreq")->text(), "0.0");
  EXPECT_TRUE(child<QCheckBox>("CBHarm")->isChecked());
  EXPECT_EQ(grid()->rowCount(), 1);
  EXPECT_EQ(cellText(0, 2), "10000.0");
  EXPECT_EQ(m_window->windowTitle(), "KVO computing");
}

TEST_F(MainWindowTest, EveryCheckMessageReachesTheErrorWindow) {
  const struct {
    const char* field;  // an edit, or "row,column" of the layer grid
    const char* text;
    const char* message;
  } cases[] = {
      {"ELarmFreq", "499", "Frequency is wrong (500Hz < frequency < 3000Hz)"},
      {"EInclin", "91", "GMF inclination is wrong (0\u00B0 < inclination < 90\u00B0)"},
      {"EMaxDepth", "4", "Max. depth is wrong (5m < depth < 500m)"},
      {"EPulseDur", "81", "Pulse duration is wrong (5ms < duration < 80ms)"},
      {"EMaxMoment", "49", "Max. pulse moment is wrong (50A-ms < duration < 1.e6A-ms)"},
      {"0,1", "0.03", "Bottom of the first layer is wrong (depth > 0.04m)"},
      {"1,2", "0.05", "Resistivity is wrong (0.1ohm-m < R < 1.e4ohm-m)"},
      {"1,1", "5.05", "Thickness of conductive layers is wrong (thickness > 0.1m)"},
      {"ELarmFreq", "2 kHz", "Larmor frequency (Hz): \"2 kHz\" is not a number"},
      {"2,2", "lots", "Layer 3, Resistivity: \"lots\" is not a number"},
  };
  open();
  for (const auto& c : cases) {
    fillValid();
    const std::string field = c.field;
    if (field.find(',') != std::string::npos) {
      grid()->item(field[0] - '0', field[2] - '0')->setText(c.text);
    } else {
      edit(c.field)->setText(c.text);
    }
    const core::SoundingParameters before = m_window->context().parameters;
    ModalWatcher watcher;
    EXPECT_FALSE(m_window->collectParameters());
    EXPECT_EQ(watcher.errors(), QStringList{QString::fromUtf8(c.message)});
    EXPECT_EQ(m_window->context().parameters, before) << "nothing stored";
  }
  fillValid();
  m_window->context().parameters.tx[core::kLoopType] = 0;
  ModalWatcher watcher;
  EXPECT_FALSE(m_window->collectParameters());
  EXPECT_EQ(watcher.errors(), QStringList{"Select Tx loop"});
}

TEST_F(MainWindowTest, SaveThenLoadRestoresEveryField) {
  open();
  fillValid();
  child<QRadioButton>("RBSouth")->setChecked(true);
  child<QCheckBox>("CBEllipt")->setChecked(true);
  child<QCheckBox>("CBHarm")->setChecked(false);
  m_window->LMaxDepthDblClick();  // single-depth mode
  const QString file = QString::fromStdString((m_dir / "saved.nmc").string());
  nextFile = file;
  {
    ModalWatcher watcher;
    m_window->BSaveClick();
    EXPECT_TRUE(watcher.seen.isEmpty()) << watcher.seen.join("; ").toStdString();
  }
  EXPECT_EQ(edit("ESaved")->text(), file);
  const core::SoundingParameters saved = m_window->context().parameters;
  EXPECT_EQ(saved.computing[core::kMaxDepth], -100);
  EXPECT_EQ(saved.computing[core::kInclination], 60);

  // Change everything, then load the file back.
  edit("ELarmFreq")->setText("999");
  edit("EInclin")->setText("1");
  child<QRadioButton>("RBNorth")->setChecked(true);
  child<QCheckBox>("CBEllipt")->setChecked(false);
  child<UpDown>("UDLNumber")->stepDown();
  m_window->LMaxDepthDblClick();
  m_window->context().parameters = core::defaultSoundingParameters();
  ModalWatcher watcher;
  watcher.click("TFLoops", "BCancel");
  m_window->BLoadClick();
  EXPECT_EQ(watcher.seen.value(0).left(7), "TFLoops");  // Set loops follows a load
  EXPECT_EQ(edit("ELoaded")->text(), file);
  EXPECT_EQ(edit("ELarmFreq")->text(), "2000.0");
  EXPECT_EQ(edit("EInclin")->text(), "60.0");
  EXPECT_TRUE(child<QRadioButton>("RBSouth")->isChecked());
  EXPECT_TRUE(child<QCheckBox>("CBEllipt")->isChecked());
  EXPECT_FALSE(child<QCheckBox>("CBHarm")->isChecked());
  EXPECT_TRUE(m_window->singleDepthMode());
  EXPECT_EQ(child<QLabel>("LMaxDepth")->styleSheet(), "color: red");
  EXPECT_EQ(grid()->rowCount(), 3);
  EXPECT_EQ(cellText(2, 0), "30.0");
  EXPECT_EQ(cellText(2, 1), "200.0");
  EXPECT_EQ(m_window->context().parameters.tx, saved.tx);
  // The working file remembers the loaded file for the next dialog.
  std::string first, second;
  core::SoundingParameters unused;
  core::readParameterFile(first, second, core::ParameterFileMode::HeaderOnly, m_dir, unused);
  EXPECT_EQ(first, file.toStdString());
}

TEST_F(MainWindowTest, CancelledOrRefusedFilesAreReported) {
  open();
  fillValid();
  nextFile.clear();
  {
    ModalWatcher watcher;
    m_window->BSaveClick();
    EXPECT_EQ(watcher.seen, QStringList{"TFOpenFailure: c:"});
  }
  const fs::path existing = m_dir / "exists.nmc";
  ASSERT_FALSE(core::writeFileAtomically(existing, "keep").has_value());
  nextFile = QString::fromStdString(existing.string());
  {
    ModalWatcher watcher;  // the overwrite warning is closed: Cancel
    m_window->BSaveClick();
    EXPECT_EQ(watcher.seen.value(0), "TFOverwrite: File exists. Overwrite?");
    std::string message;
    EXPECT_EQ(core::readSmallFile(existing, 100, message), "keep");
  }
  {
    ModalWatcher watcher;
    watcher.click("TFOverwrite", "BOverwrite");
    m_window->BSaveClick();
    std::string message;
    EXPECT_NE(core::readSmallFile(existing, 1000, message)->find("2000.00"), std::string::npos);
  }
  // A damaged file is refused by Load with a message naming it; nothing changes.
  ASSERT_FALSE(core::writeFileAtomically(m_dir / "bad.nmc", "1 2 3").has_value());
  nextFile = QString::fromStdString((m_dir / "bad.nmc").string());
  const core::SoundingParameters before = m_window->context().parameters;
  ModalWatcher watcher;
  m_window->BLoadClick();
  ASSERT_EQ(watcher.errors().size(), 1);
  EXPECT_TRUE(watcher.errors()[0].contains("bad.nmc")) << watcher.errors()[0].toStdString();
  EXPECT_EQ(m_window->context().parameters, before);
}

TEST_F(MainWindowTest, LayerCounterAddsAndRemovesRows) {
  open();
  auto* up = child<UpDown>("UDLNumber");
  grid()->item(0, 1)->setText("12.5");
  up->stepUp();
  ASSERT_EQ(grid()->rowCount(), 2);
  EXPECT_EQ(edit("ELNumber")->text(), "2");
  EXPECT_EQ(cellText(1, 0), "12.5");
  EXPECT_EQ(cellText(1, 1), "0.0");
  EXPECT_EQ(cellText(1, 2), "0.0");
  for (int i = 0; i < 10; ++i) up->stepUp();
  EXPECT_EQ(grid()->rowCount(), 6);
  EXPECT_EQ(edit("ELNumber")->text(), "6");
  for (int i = 0; i < 10; ++i) up->stepDown();
  EXPECT_EQ(grid()->rowCount(), 1);
  EXPECT_EQ(edit("ELNumber")->text(), "1");
}

TEST_F(MainWindowTest, FromColumnFollowsTheRowAbove) {
  open();
  auto* up = child<UpDown>("UDLNumber");
  up->stepUp();
  up->stepUp();
  grid()->item(0, 1)->setText("4.0");  // an edit of a cell
  EXPECT_EQ(cellText(1, 0), "4.0");
  grid()->item(1, 1)->setText("9.5");
  QTest::keyRelease(grid(), Qt::Key_Tab);  // and any key released in the grid
  EXPECT_EQ(cellText(0, 0), "0.0");
  EXPECT_EQ(cellText(2, 0), "9.5");
}

TEST_F(MainWindowTest, LowerEdgeRaiseShowsInTheGrid) {
  open();
  fillValid();
  child<UpDown>("UDLNumber")->stepDown();
  child<UpDown>("UDLNumber")->stepDown();
  grid()->item(0, 1)->setText("0");
  ASSERT_TRUE(m_window->collectParameters());
  EXPECT_EQ(cellText(0, 1), "150.0");
  EXPECT_EQ(m_window->context().parameters.section[core::layerBottomSlot(1)], 150.0);
}

TEST_F(MainWindowTest, SingleDepthLabelTogglesAndFollowsLoadedFiles) {
  open();
  auto* label = child<QLabel>("LMaxDepth");
  QTest::mouseDClick(label, Qt::LeftButton);
  EXPECT_TRUE(m_window->singleDepthMode());
  EXPECT_EQ(label->styleSheet(), "color: red");
  QTest::mouseDClick(label, Qt::LeftButton);
  EXPECT_FALSE(m_window->singleDepthMode());
  EXPECT_EQ(label->styleSheet(), "color: black");

  const fs::path file = fs::path(KVO_EXAMPLES_DIR) / "single_depth_20m.nmc";
  nextFile = QString::fromStdString(file.string());
  ModalWatcher watcher;
  watcher.click("TFLoops", "BCancel");
  m_window->BLoadClick();
  EXPECT_TRUE(m_window->singleDepthMode());
  EXPECT_EQ(label->styleSheet(), "color: red");
  EXPECT_EQ(edit("EMaxDepth")->text(), "20.0");
}

TEST_F(MainWindowTest, RunWritesTheParameterFileBesideTheResultFile) {
  open();
  fillValid();
  const fs::path result = m_dir / "run7.mrm";
  nextFile = QString::fromStdString(result.string());
  ModalWatcher watcher;
  m_window->BRunClick();
  EXPECT_TRUE(watcher.errors().isEmpty()) << watcher.errors().join("; ").toStdString();
  EXPECT_TRUE(fs::exists(m_dir / "run7.nmc"));
  // The kernel computation ran and wrote the matrix file under the chosen name.
  std::string message;
  const auto matrix = core::readSmallFile(result, 1 << 20, message);
  ASSERT_TRUE(matrix.has_value()) << message;
  EXPECT_EQ(std::count(matrix->begin(), matrix->end(), '\n'), 10108);
  EXPECT_EQ(edit("EResult")->text(), QString::fromStdString(result.string()));
  std::string first, second;
  core::SoundingParameters read;
  core::readParameterFile(first, second, core::ParameterFileMode::Working, m_dir, read);
  EXPECT_EQ(first, (m_dir / "run7.nmc").string());
  EXPECT_EQ(read, m_window->context().parameters);
}

TEST_F(MainWindowTest, RunListModeAsksNoFileButStillChecks) {
  open();
  fillValid();
  child<QCheckBox>("CBRunList")->setChecked(true);
  edit("ELarmFreq")->setText("100");
  bool asked = false;
  FileChooser files;
  files.save = [&](QWidget*, const QString&, const QString&, const QString&, const QString&) {
    asked = true;
    return QString();
  };
  files.open = files.save;
  m_window->setFileChooser(files);
  ModalWatcher watcher;
  m_window->BRunClick();
  EXPECT_FALSE(asked);
  EXPECT_EQ(watcher.errors(), QStringList{"Frequency is wrong (500Hz < frequency < 3000Hz)"});
}

TEST_F(MainWindowTest, HelpShowsTheHelpFileAndReenablesItsButton) {
  {
    std::ofstream(m_dir / "KVO_Compute_Help.txt") << "line one\nline two\n";
  }
  open();
  auto* help = child<QPushButton>("BHelp");
  m_window->BHelpClick();
  EXPECT_FALSE(help->isEnabled());
  auto* window = m_window->findChild<TFHelp*>();
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(window->isModal());
  auto* text = window->findChild<QPlainTextEdit*>("MHelp");
  EXPECT_EQ(text->toPlainText(), "Help file is not available");
  QTRY_COMPARE(text->toPlainText(), QString("line one\nline two\n"));
  window->close();
  EXPECT_TRUE(help->isEnabled());
}

TEST_F(MainWindowTest, ClosingShowsTheExitWindow) {
  open(3000).show();
  ModalWatcher watcher;
  m_window->close();
  EXPECT_EQ(watcher.seen.value(0).left(6), "TFExit");
}

}  // namespace
}  // namespace kvo::gui
