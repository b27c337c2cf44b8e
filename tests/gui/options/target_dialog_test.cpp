#include <gtest/gtest.h>

#include <QChart>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableWidget>
#include <QValueAxis>
#include <QXYSeries>

#include "app/up_down.h"
#include "options/tf_3d_target.h"
#include "support/modal_watcher.h"

namespace kvo::gui {
namespace {

QXYSeries* series(QChart* chart, int index) { return qobject_cast<QXYSeries*>(chart->series().at(index)); }
QValueAxis* axis(QChart* chart, Qt::Orientation o) { return qobject_cast<QValueAxis*>(chart->axes(o).value(0)); }

class TargetDialogTest : public ::testing::Test {
 protected:
  // Opens the dialog over a committed circular Tx loop of 100 m (and `rx`).
  void open(const core::LoopSetup& rx = {}) {
    core::LoopSetup& tx = m_context.parameters.tx;
    tx[core::kLoopType] = 1;
    tx[core::kLoopSize] = 100;
    m_context.parameters.rx = rx;
    m_dialog = std::make_unique<TF3DTarget>(m_context);
    m_dialog->Timer1Timer();
  }
  QTableWidget* table() { return m_dialog->findChild<QTableWidget*>("SGTarget"); }
  QString value(int row) { return table()->item(row, 1)->text(); }
  // W, L, H, top, azimuth, shift S-N, shift W-E.
  void setValues(const std::array<const char*, 7>& texts) {
    for (int r = 0; r < 7; ++r) table()->item(r, 1)->setText(texts[static_cast<std::size_t>(r)]);
  }
  UpDown* upDown(const char* name) { return m_dialog->findChild<UpDown*>(name); }
  double slot(std::size_t s) { return m_dialog->workingTarget()[s]; }

  core::AppContext m_context;
  std::unique_ptr<TF3DTarget> m_dialog;
};

TEST_F(TargetDialogTest, DrawComputesCornersVolumeAndTheMapOutline) {
  const struct {
    const char* name;
    std::array<const char*, 7> values;
    double corners[4][2];  // (north, east)
    const char* volume;
  } cases[] = {
      {"unturned", {"10", "20", "5", "2", "0", "0", "0"}, {{-10, -5}, {10, -5}, {10, 5}, {-10, 5}}, "1000.0"},
      {"azimuth 90", {"10", "20", "5", "2", "90", "0", "0"}, {{5, -10}, {5, 10}, {-5, 10}, {-5, -10}}, "1000.0"},
      {"shifted", {"10", "20", "5", "2", "0", "30", "-40"}, {{20, -45}, {40, -45}, {40, -35}, {20, -35}}, "1000.0"},
      {"flat", {"12.5", "4", "0", "2", "0", "0", "0"}, {{-2, -6.25}, {2, -6.25}, {2, 6.25}, {-2, 6.25}}, "0.0"},
  };
  open();
  for (const auto& c : cases) {
    setValues(c.values);
    ASSERT_TRUE(m_dialog->BDrawClick()) << c.name;
    EXPECT_EQ(m_dialog->findChild<QLineEdit*>("EVolume")->text(), c.volume) << c.name;
    for (int k = 0; k < 4; ++k) {
      EXPECT_NEAR(slot(core::targetCornerNorthSlot(k)), c.corners[k][0], 1e-8) << c.name << " corner " << k + 1;
      EXPECT_NEAR(slot(core::targetCornerEastSlot(k)), c.corners[k][1], 1e-8) << c.name << " corner " << k + 1;
    }
    EXPECT_EQ(slot(core::kTargetBottom), 2 + std::stod(c.values[2])) << c.name;
    QXYSeries* outline = series(m_dialog->mapChart(), 2);  // east as x, from corner 1
    ASSERT_EQ(outline->count(), 800) << c.name;
    EXPECT_NEAR(outline->at(0).x(), c.corners[0][1], 1e-8) << c.name;
    EXPECT_NEAR(outline->at(200).y(), c.corners[1][0], 1e-8) << c.name;
  }
}

TEST_F(TargetDialogTest, OpeningShowsTheCommittedRecordOrZeros) {
  core::TargetSetup& committed = m_context.parameters.target;
  const double record[] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 4, 12, 10, 20, 33.33, -7, 2.5};
  std::copy(std::begin(record), std::end(record), committed.begin());
  open();
  const char* names[] = {"Width W-E", "Length S-N", "Height", "Top", "Azumuth", "Shift S-N", "Shift W-E"};
  const char* values[] = {"10.0", "20.0", "8.0", "4.0", "33.3", "-7.0", "2.5"};
  for (int r = 0; r < 7; ++r) {
    EXPECT_EQ(table()->item(r, 0)->text(), names[r]);
    EXPECT_EQ(value(r), values[r]) << names[r];
  }
  EXPECT_EQ(m_dialog->findChild<QLineEdit*>("EVolume")->text(), "1600.0");
  EXPECT_EQ(upDown("UDAzim")->position(), 33);
  EXPECT_EQ(upDown("UDSiftN")->position(), -70);

  committed[core::kTargetEnabled] = 0;
  open();
  for (int r = 0; r < 7; ++r) EXPECT_EQ(value(r), "0.0") << names[r];
}

TEST_F(TargetDialogTest, UpDownsStepTheTableAndRedraw) {
  open();
  setValues({"10", "20", "5", "2", "359", "12.34", "0"});
  ASSERT_TRUE(m_dialog->BDrawClick());
  EXPECT_EQ(upDown("UDSiftN")->position(), 123);
  // The map of a 100 m circle spans -54..54: a tenth of it, 10 tenths of a metre per click.
  upDown("UDSiftN")->stepUp();
  EXPECT_EQ(value(core::kRowShiftSN), "13.3");
  EXPECT_NEAR(slot(core::kTargetShiftSN), 13.3, 1e-12);
  upDown("UDAzim")->stepUp();  // 360 is a full turn
  EXPECT_EQ(value(core::kRowAzimuth), "0");
  EXPECT_NEAR(slot(core::targetCornerEastSlot(0)), -5, 1e-12) << "drawn unturned";
  table()->item(core::kRowAzimuth, 1)->setText("-359");
  ASSERT_TRUE(m_dialog->BDrawClick());
  upDown("UDAzim")->stepDown();
  EXPECT_EQ(value(core::kRowAzimuth), "0");
  upDown("UDTop")->stepUp();
  EXPECT_EQ(value(core::kRowTop), "3");
  EXPECT_EQ(slot(core::kTargetBottom), 8);
  for (int i = 0; i < 5; ++i) upDown("UDTop")->stepDown();
  EXPECT_EQ(value(core::kRowTop), "0") << "the top stops at the surface";
}

TEST_F(TargetDialogTest, ScaleFitsTheMapAndSectionDepths) {
  open();
  setValues({"10", "20", "8", "2", "0", "200", "0"});  // far north of the loop
  ASSERT_TRUE(m_dialog->BDrawClick());
  QChart* map = m_dialog->mapChart();
  QChart* westEast = m_dialog->westEastChart();
  QChart* southNorth = m_dialog->southNorthChart();
  // The loop (-50..50) and the target (up to north 210), 8 % margins, on both axes.
  EXPECT_NEAR(axis(map, Qt::Vertical)->min(), -54, 1e-9);
  EXPECT_NEAR(axis(map, Qt::Horizontal)->max(), 226.8, 1e-9);
  EXPECT_EQ(upDown("UDSiftN")->increment(), 28);
  EXPECT_NEAR(axis(westEast, Qt::Vertical)->min(), -0.8, 1e-12);
  EXPECT_NEAR(axis(westEast, Qt::Vertical)->max(), 10.8, 1e-12);
  EXPECT_TRUE(axis(westEast, Qt::Vertical)->isReverse());
  EXPECT_NEAR(axis(southNorth, Qt::Horizontal)->max(), 10.8, 1e-12);
  EXPECT_EQ(axis(westEast, Qt::Horizontal)->min(), -54);
  EXPECT_EQ(axis(southNorth, Qt::Vertical)->max(), axis(map, Qt::Vertical)->max());
  table()->item(core::kRowHeight, 1)->setText("18");
  ASSERT_TRUE(m_dialog->BScaleClick());
  EXPECT_NEAR(axis(westEast, Qt::Vertical)->max(), 21.6, 1e-12);
  EXPECT_EQ(slot(core::kTargetBottom), 10) << "Scale does not recompute the box";
}

TEST_F(TargetDialogTest, SectionsShowTheLoopsAtTheSurfaceAndTheBox) {
  core::LoopSetup rx{};
  rx[core::kLoopType] = 2;
  rx[core::kLoopSize] = 20;
  for (const auto& [receiver, rxPoints] : {std::pair{core::LoopSetup{}, 0}, std::pair{rx, 200}}) {
    open(receiver);
    setValues({"10", "20", "5", "2", "0", "0", "0"});
    ASSERT_TRUE(m_dialog->BDrawClick());
    QChart* westEast = m_dialog->westEastChart();
    QChart* southNorth = m_dialog->southNorthChart();
    ASSERT_EQ(series(westEast, 0)->count(), 200);
    EXPECT_EQ(series(westEast, 0)->at(0), QPointF(-50, 0));
    EXPECT_EQ(series(westEast, 1)->count(), rxPoints);
    EXPECT_EQ(series(southNorth, 1)->count(), rxPoints);
    EXPECT_EQ(series(westEast, 2)->at(0), QPointF(-5, 2));  // (e1, top) round to (e2, bottom)
    EXPECT_EQ(series(westEast, 2)->at(400), QPointF(5, 7));
    EXPECT_EQ(series(southNorth, 2)->at(0), QPointF(2, 10));  // (top, s2) round to (bottom, s1)
    EXPECT_EQ(series(southNorth, 2)->at(400), QPointF(7, -10));
  }
}

TEST_F(TargetDialogTest, OkCommitsTheUsedSlotsCancelAndBadCellsNothing) {
  m_context.parameters.target[20] = 9.5;  // beyond the used slots
  const core::TargetSetup before = m_context.parameters.target;
  open();
  setValues({"10", "20", "5", "2", "90", "30", "-40"});
  m_dialog->NCancelClick();
  EXPECT_EQ(m_context.parameters.target, before);

  const char* bad[][2] = {{"ninety", "Azumuth: \"ninety\" is not a number"}, {"", "Azumuth: \"\" is not a number"}};
  for (const auto& [text, message] : bad) {
    open();
    setValues({"10", "20", "5", "2", text, "30", "-40"});
    QSignalSpy accepted(m_dialog.get(), &QDialog::accepted);
    test::ModalWatcher watcher;
    EXPECT_FALSE(m_dialog->BDrawClick());
    m_dialog->BOKClick();
    EXPECT_EQ(watcher.errors(), QStringList({message, message}));
    EXPECT_EQ(accepted.count(), 0) << "the dialog stays open";
    EXPECT_EQ(m_context.parameters.target, before);
  }

  open();
  setValues({"10", "20", "5", "2", "90", "30", "-40"});  // not drawn: OK computes itself
  m_dialog->BOKClick();
  const core::TargetSetup& t = m_context.parameters.target;
  EXPECT_EQ(t[core::kTargetEnabled], 1);
  EXPECT_NEAR(t[core::targetCornerNorthSlot(0)], 35, 1e-8);
  EXPECT_NEAR(t[core::targetCornerEastSlot(0)], -50, 1e-8);
  EXPECT_EQ(t[core::kTargetShiftWE], -40);
  EXPECT_EQ(t[20], 9.5);
}

}  // namespace
}  // namespace kvo::gui
