#include <gtest/gtest.h>

#include <QChart>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScatterSeries>
#include <QTest>
#include <QValueAxis>

#include <cmath>
#include <filesystem>

#include "app/up_down.h"
#include "model/parameter_file.h"
#include "plot/picture_file.h"
#include "loops/loop_map_chart.h"
#include "loops/tf_loops.h"
#include "support/modal_watcher.h"

namespace kvo::gui {
namespace {

using test::ModalWatcher;

core::LoopSetup loop(int type, double size, double azimuth = 0, double separation = 0) {
  core::LoopSetup l{};
  l[core::kLoopType] = type;
  l[core::kLoopSize] = size;
  l[core::kLoopAzimuth] = azimuth;
  l[core::kLoopTurns] = 1;
  l[core::kLoopSeparation] = separation;
  return l;
}

class LoopDialogTest : public ::testing::Test {
 protected:
  // Opens the dialog on the committed loops and runs its opening timer.
  TFLoops& open(const core::LoopSetup& tx, const core::LoopSetup& rx = {}) {
    m_context.parameters.tx = tx;
    m_context.parameters.rx = rx;
    m_dialog = std::make_unique<TFLoops>(m_context);
    m_dialog->Timer1Timer();
    return *m_dialog;
  }
  template <class W>
  W* child(const char* name) {
    W* w = m_dialog->findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QLineEdit* edit(const char* name) { return child<QLineEdit>(name); }
  QValueAxis* axis(Qt::Orientation o) { return mapAxis(m_dialog->chart(), o); }

  core::AppContext m_context;
  std::unique_ptr<TFLoops> m_dialog;
};

TEST_F(LoopDialogTest, OpeningWithoutLoopsReportsSelectTxLoop) {
  ModalWatcher watcher;
  m_context.parameters.tx = {};
  m_dialog = std::make_unique<TFLoops>(m_context);
  QTRY_COMPARE(watcher.errors(), QStringList{"Select Tx loop"});  // its own 50 ms timer
  EXPECT_TRUE(m_context.autoRedrawSuspended);
}

TEST_F(LoopDialogTest, DrawsTheSquareWithCornersOnTheAxes) {
  open(loop(2, 10));
  EXPECT_EQ(child<QComboBox>("CBTx")->currentText(), "square (type 2)");
  EXPECT_EQ(edit("ETxSize")->text(), "10");
  auto* tx = mapSeries(m_dialog->chart(), 0);
  ASSERT_EQ(tx->count(), 1601);
  const double h = 10 * std::sqrt(2.0) / 2;
  EXPECT_NEAR(tx->at(0).x(), -h, 1e-9);
  EXPECT_NEAR(tx->at(400).y(), h, 1e-9);
  EXPECT_EQ(mapSeries(m_dialog->chart(), 1)->count(), 0);
  EXPECT_EQ(child<QLabel>("LTxOn")->text(), "Tx/Rx loop");
  EXPECT_FALSE(child<QLabel>("LRxOn")->isVisibleTo(m_dialog.get()));
  // Both axes share one range with 8 % margins.
  EXPECT_NEAR(axis(Qt::Horizontal)->min(), -h * 1.08, 1e-9);
  EXPECT_NEAR(axis(Qt::Vertical)->max(), h * 1.08, 1e-9);
  EXPECT_EQ(m_dialog->workingOutline().txSegmentCount, 4);
}

TEST_F(LoopDialogTest, DrawsTheEightWithItsFirstCircleNorth) {
  open(loop(3, 10));
  auto* tx = mapSeries(m_dialog->chart(), 0);
  ASSERT_EQ(tx->count(), 1601);
  double northMost = -1e9;
  for (const QPointF& p : tx->points()) northMost = std::max(northMost, p.y());
  EXPECT_NEAR(northMost, 5 + 5 * std::cos(12.0 * M_PI / 180), 1e-6);  // a 15-gon of radius 5 about (0, 5)
  EXPECT_NEAR(tx->at(0).y(), 0.0, 1e-9);  // starts at the centre, where both parts touch
}

TEST_F(LoopDialogTest, LoopsWithinTwentyMetresGiveTheAxisRange) {
  open(loop(2, 20 * std::sqrt(2.0)));
  EXPECT_NEAR(axis(Qt::Horizontal)->min(), -21.6, 1e-9);
  EXPECT_NEAR(axis(Qt::Horizontal)->max(), 21.6, 1e-9);
  EXPECT_NEAR(axis(Qt::Vertical)->min(), -21.6, 1e-9);
  EXPECT_NEAR(axis(Qt::Vertical)->max(), 21.6, 1e-9);
  EXPECT_EQ(child<UpDown>("UDSiftN")->increment(), 4);  // 43.2 x 0.1, truncated
}

TEST_F(LoopDialogTest, AzimuthUpDownWrapsToZero) {
  open(loop(2, 10, 359));
  auto* up = child<UpDown>("UDTxDirect");
  EXPECT_EQ(up->position(), 359);
  up->stepUp();
  EXPECT_EQ(edit("ETxDirect")->text(), "0");
  EXPECT_EQ(m_dialog->workingTx()[core::kLoopAzimuth], 0.0);  // redrawn with the new azimuth
  edit("ETxDirect")->setText("-359");
  ASSERT_TRUE(m_dialog->BDrawClick());
  up->stepDown();
  EXPECT_EQ(edit("ETxDirect")->text(), "0");
  up->stepUp();
  EXPECT_EQ(edit("ETxDirect")->text(), "1");
}

TEST_F(LoopDialogTest, ShiftUpDownStepsInTenthsOfAMetre) {
  core::LoopSetup rx = loop(1, 10);
  rx[core::kLoopShiftNorth] = 12.34;
  open(loop(1, 10), rx);
  EXPECT_TRUE(child<QCheckBox>("CBRxSel")->isChecked());
  EXPECT_TRUE(child<QComboBox>("CBRx")->isEnabled());
  auto* north = child<UpDown>("UDSiftN");
  EXPECT_EQ(north->position(), 123);
  north->setIncrement(10);
  north->stepUp();
  EXPECT_EQ(edit("EShiftN")->text(), "13.3");
  EXPECT_EQ(m_dialog->workingRx()[core::kLoopShiftNorth], 13.3);
  EXPECT_EQ(child<QLabel>("LTxOn")->text(), "Tx loop");
  EXPECT_EQ(mapSeries(m_dialog->chart(), 1)->count(), 1501);
}

TEST_F(LoopDialogTest, AfterAnErrorTheUpDownsDoNotRedraw) {
  open(loop(2, 10));
  edit("ETxSize")->setText("600");
  {
    ModalWatcher watcher;
    EXPECT_FALSE(m_dialog->BDrawClick());
    EXPECT_EQ(watcher.errors(), QStringList{"Tx size is wrong (0.1m < size < 500m)"});
  }
  ModalWatcher watcher;
  child<UpDown>("UDTxDirect")->stepUp();  // no error window at every click
  EXPECT_TRUE(watcher.seen.isEmpty());
  EXPECT_EQ(edit("ETxDirect")->text(), "1");
  edit("ETxSize")->setText("50");
  EXPECT_TRUE(m_dialog->BDrawClick());
  EXPECT_FALSE(m_context.autoRedrawSuspended);
}

TEST_F(LoopDialogTest, OkCommitsAndCancelDoesNot) {
  open(loop(2, 10));
  edit("ETxSize")->setText("30");
  m_dialog->BCancelClick();
  EXPECT_EQ(m_context.parameters.tx[core::kLoopSize], 10);
  open(loop(2, 10));
  edit("ETxSize")->setText("30");
  child<QComboBox>("CBTx")->setCurrentIndex(0);
  m_dialog->BOKClick();
  EXPECT_EQ(m_context.parameters.tx[core::kLoopSize], 30);
  EXPECT_EQ(m_context.parameters.tx[core::kLoopType], 1);
  EXPECT_EQ(m_context.outline.txSegmentCount, 30);
  EXPECT_NEAR(m_context.outline.outlineEast[0], 15, 1e-9);
  EXPECT_FALSE(m_context.rxTicked);
}

TEST_F(LoopDialogTest, ReceiverFieldsAreReadOnlyWithoutAReceiver) {
  open(loop(1, 10));
  EXPECT_FALSE(child<QCheckBox>("CBRxSel")->isChecked());
  EXPECT_FALSE(child<QCheckBox>("CBRxSel")->isEnabled());
  EXPECT_TRUE(edit("ERxSize")->isReadOnly());
  EXPECT_FALSE(child<UpDown>("UDSiftE")->isEnabled());
  edit("ERxSize")->setText("garbage");  // not read at all
  EXPECT_TRUE(m_dialog->BDrawClick());
}

TEST_F(LoopDialogTest, SavesTheMapInTheFormatOfTheNameOrFilter) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "kvo_loop_picture";
  fs::remove_all(dir);
  fs::create_directories(dir);
  m_context.StartupFolder = dir;
  const struct {
    const char* typed;
    const char* filter;
    const char* written;
  } cases[] = {{"plot", "Metafiles (*.wmf)", "plot.wmf"},
               {"plot.bmp", "Metafiles (*.wmf)", "plot.bmp"},
               {"map.BMP", "All graphic files (*.bmp *.emf *.wmf)", "map.bmp"},
               {"map.png", "Bitmaps (*.bmp)", "map.png"}};
  for (const auto& c : cases) {
    FileChooser files;
    files.saveWithFilter = [&](QWidget*, const QString&, const QString&, const QString&) {
      return std::pair(QString::fromStdString((dir / c.typed).string()), QString::fromLatin1(c.filter));
    };
    m_context.parameters.tx = loop(2, 10);
    m_dialog = std::make_unique<TFLoops>(m_context, nullptr, files);
    m_dialog->show();  // the map is rendered at its size on screen
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dialog.get()));
    m_dialog->Timer1Timer();
    ModalWatcher watcher;
    m_dialog->BGrSaveClick();
    EXPECT_TRUE(watcher.seen.isEmpty()) << watcher.seen.join("; ").toStdString();
    EXPECT_TRUE(fs::exists(dir / c.written)) << c.written;
    std::string first, second;
    core::SoundingParameters unused;
    core::readParameterFile(first, second, core::ParameterFileMode::HeaderOnly, dir, unused);
    EXPECT_EQ(second, (dir / c.written).string());  // the next Save starts in its folder
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kvo::gui
