#include <gtest/gtest.h>

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QXYSeries>

#include <filesystem>
#include <sstream>

#include "app/tf_kvo_comput.h"
#include "app/up_down.h"
#include "loops/tf_loops.h"
#include "model/number_text.h"
#include "options/tf_3d_target.h"
#include "options/tf_frequency_shift.h"
#include "options/tf_topography.h"
#include "support/modal_watcher.h"
#include "util/atomic_file.h"

namespace kvo::gui {
namespace {

namespace fs = std::filesystem;
using test::ModalWatcher;

// A body line of a parameter file: each value as "%8.2f ".
std::string fileLine(std::initializer_list<double> values, std::size_t count) {
  std::string line;
  std::size_t n = 0;
  for (double v : values) {
    line += core::formatFixed(v, 8, 2) + " ";
    ++n;
  }
  for (; n < count; ++n) line += core::formatFixed(0.0, 8, 2) + " ";
  return line;
}

class OptionSwitchesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            (std::string("kvo_options_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    StartupOptions options;
    options.startupFolder = m_dir;
    options.showSplash = false;
    options.openLoopDialog = false;
    options.exitMs = 0;
    options.files.save = [this](QWidget*, const QString&, const QString&, const QString&, const QString&) {
      return nextFile;
    };
    options.files.open = options.files.save;
    m_window = std::make_unique<TFKVOComput>(options);
  }
  void TearDown() override {
    m_window.reset();
    fs::remove_all(m_dir);
  }

  template <class W>
  W* child(const char* name) {
    W* w = m_window->findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  // Loads one of the example parameter files; the loop dialog that follows
  // takes the loaded loops with OK, so that the map has outlines.
  void load(const char* example) {
    nextFile = QString::fromStdString((fs::path(KVO_EXAMPLES_DIR) / example).string());
    ModalWatcher watcher;
    watcher.answer("TFLoops", [](QWidget* w) {
      auto* dialog = qobject_cast<TFLoops*>(w);
      dialog->Timer1Timer();
      dialog->BOKClick();
    });
    m_window->BLoadClick();
    ASSERT_TRUE(watcher.errors().isEmpty()) << watcher.errors().join("; ").toStdString();
  }
  // Saves to a new file and returns its seven lines.
  std::vector<std::string> save() {
    const fs::path file = m_dir / ("saved" + std::to_string(++m_saves) + ".nmc");
    nextFile = QString::fromStdString(file.string());
    ModalWatcher watcher;
    m_window->BSaveClick();
    EXPECT_TRUE(watcher.seen.isEmpty()) << watcher.seen.join("; ").toStdString();
    std::string message;
    const auto text = core::readSmallFile(file, 10000, message);
    std::vector<std::string> lines;
    std::istringstream in(text.value_or(""));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    EXPECT_EQ(lines.size(), 7u) << message;
    lines.resize(7);
    return lines;
  }
  fs::path m_dir;
  std::unique_ptr<TFKVOComput> m_window;
  QString nextFile;
  int m_saves = 0;
};

TEST_F(OptionSwitchesTest, SetButtonsWorkExactlyWhileTheirBoxIsChecked) {
  const struct {
    const char* box;
    const char* set;
  } options[] = {{"CB3D", "B3DSet"}, {"CBFreqShift", "BFreqSet"}, {"CBTopo", "BTopoSet"}};
  for (const auto& o : options) {
    auto* box = child<QCheckBox>(o.box);
    auto* set = child<QPushButton>(o.set);
    EXPECT_FALSE(set->isEnabled()) << o.set;
    box->setChecked(true);
    EXPECT_TRUE(set->isEnabled()) << o.set;
    box->setChecked(false);
    EXPECT_FALSE(set->isEnabled()) << o.set;
  }
  EXPECT_FALSE(child<QCheckBox>("CBTopo")->isEnabled()) << "topography comes from a loaded file only";
  load("topography_slope.nmc");
  EXPECT_TRUE(child<QCheckBox>("CBTopo")->isChecked());
  EXPECT_TRUE(child<QPushButton>("BTopoSet")->isEnabled());
}

TEST_F(OptionSwitchesTest, EachOptionSetInItsDialogIsSaved) {
  load("topography_slope.nmc");  // a valid set-up with the topography option on
  child<QCheckBox>("CB3D")->setChecked(true);
  child<QCheckBox>("CBFreqShift")->setChecked(true);
  {
    ModalWatcher watcher;
    watcher.answer("TF3DTarget", [](QWidget* w) {
      auto* dialog = qobject_cast<TF3DTarget*>(w);
      dialog->Timer1Timer();
      auto* table = dialog->findChild<QTableWidget*>("SGTarget");
      const char* values[] = {"10", "20", "5", "2", "90", "30", "-40"};
      for (int r = 0; r < 7; ++r) table->item(r, 1)->setText(values[r]);
      dialog->findChild<QPushButton*>("BOK")->click();
    });
    watcher.answer("TFFrequencyShift", [](QWidget* w) {
      auto* dialog = qobject_cast<TFFrequencyShift*>(w);
      dialog->Timer1Timer();
      auto* zones = dialog->findChild<UpDown*>("UDLNumber");
      zones->stepUp();
      zones->stepUp();
      auto* grid = dialog->findChild<QTableWidget*>("SGData");
      const char* cells[3][2] = {{"1000", "2003"}, {"100", "2000"}, {"500", "2001.5"}};
      for (int r = 0; r < 3; ++r) {
        grid->item(r, 0)->setText(cells[r][0]);
        grid->item(r, 1)->setText(cells[r][1]);
      }
      dialog->findChild<QPushButton*>("BOK")->click();
    });
    watcher.answer("TFTopography", [](QWidget* w) {
      auto* dialog = qobject_cast<TFTopography*>(w);
      dialog->Timer1Timer();
      dialog->findChild<QLineEdit*>("EAzim")->setText("-30");
      dialog->findChild<QLineEdit*>("EInclin")->setText("95");  // OK does not clamp
      dialog->findChild<QPushButton*>("BOK")->click();
    });
    child<QPushButton>("B3DSet")->click();
    child<QPushButton>("BFreqSet")->click();
    child<QPushButton>("BTopoSet")->click();
    EXPECT_EQ(watcher.seen, QStringList({"TF3DTarget", "TFFrequencyShift", "TFTopography"}));
  }
  // The map shows the committed target with its label once the dialog closes.
  auto* map = child<QChartView>("ChLoops")->chart();
  auto* target = qobject_cast<QXYSeries*>(map->series().at(2));
  ASSERT_EQ(target->count(), 800);
  EXPECT_NEAR(target->at(0).x(), -50, 1e-8);
  EXPECT_NEAR(target->at(0).y(), 35, 1e-8);
  EXPECT_TRUE(child<QLabel>("L3D")->isVisibleTo(m_window.get()));

  const std::vector<std::string> lines = save();
  EXPECT_EQ(lines[4], fileLine({1, 35, -50, 35, -30, 25, -30, 25, -50, 2, 7, 10, 20, 90, 30, -40}, 16));
  EXPECT_EQ(lines[5], fileLine({1, -30, 95}, 3));
  EXPECT_EQ(lines[6], fileLine({2, 100, 2000, 500, 2001.5, 1000, 2003}, 21));
}

TEST_F(OptionSwitchesTest, AnUncheckedBoxClearsItsRecordAtSave) {
  const struct {
    const char* example;
    const char* box;
    std::size_t line;
    std::size_t count;
  } cases[] = {{"target_3d.nmc", "CB3D", 4, 16},
               {"frequency_shift.nmc", "CBFreqShift", 6, 21},
               {"topography_slope.nmc", "CBTopo", 5, 3}};
  for (const auto& c : cases) {
    load(c.example);
    auto* box = child<QCheckBox>(c.box);
    ASSERT_TRUE(box->isChecked()) << c.example;
    std::vector<std::string> lines = save();
    EXPECT_NE(lines[c.line], fileLine({}, c.count)) << c.example << ": kept while checked";
    box->setChecked(false);
    lines = save();
    EXPECT_EQ(lines[c.line], fileLine({}, c.count)) << c.example << ": cleared once unchecked";
  }
}

}  // namespace
}  // namespace kvo::gui
