#include <gtest/gtest.h>

#include <QChart>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableWidget>
#include <QValueAxis>
#include <QXYSeries>

#include "app/up_down.h"
#include "loops/loop_map_chart.h"
#include "options/tf_3d_target.h"
#include "support/modal_watcher.h"

namespace kvo::gui {
namespace {

using test::ModalWatcher;

core::LoopSetup loop(int type, double size, double shiftNorth = 0) {
  core::LoopSetup l{};
  l[core::kLoopType] = type;
  l[core::kLoopSize] = size;
  l[core::kLoopTurns] = 1;
  l[core::kLoopShiftNorth] = shiftNorth;
  return l;
}

QXYSeries* series(QChart* chart, int index) { return qobject_cast<QXYSeries*>(chart->series().at(index)); }

QValueAxis* axis(QChart* chart, Qt::Orientation o) {
  return qobject_cast<QValueAxis*>(chart->axes(o).value(0));
}

class TargetDialogTest : public ::testing::Test {
 protected:
  // A circular Tx loop of 100 m committed, and the dialog opened on it.
  TF3DTarget& open(const core::LoopSetup& rx = {}) {
    m_context.parameters.tx = loop(1, 100);
    m_context.parameters.rx = rx;
    core::buildLoopOutline(m_context.outline, core::kTxOutlineIndex, m_context.parameters.tx);
    core::buildLoopOutline(m_context.outline, core::kRxOutlineIndex, rx);
    m_dialog = std::make_unique<TF3DTarget>(m_context);
    m_dialog->Timer1Timer();
    return *m_dialog;
  }
  QTableWidget* table() { return m_dialog->findChild<QTableWidget*>("SGTarget"); }
  QString value(int row) { return table()->item(row, 1)->text(); }
  void setValues(const std::array<const char*, 7>& texts) {
    for (int row = 0; row < 7; ++row) table()->item(row, 1)->setText(QString::fromLatin1(texts[static_cast<std::size_t>(row)]));
  }
  UpDown* upDown(const char* name) { return m_dialog->findChild<UpDown*>(name); }
  double slot(std::size_t s) { return m_dialog->workingTarget()[s]; }

  core::AppContext m_context;
  std::unique_ptr<TF3DTarget> m_dialog;
};

TEST_F(TargetDialogTest, DrawComputesCornersVolumeAndTheMapOutline) {
  const struct {
    const char* name;
    const char* values[7];  // W, L, H, top, azimuth, shift S-N, shift W-E
    double corners[4][2];   // (north, east)
    double bottom;
    const char* volume;
  } cases[] = {
      {"unturned", {"10", "20", "5", "2", "0", "0", "0"}, {{-10, -5}, {10, -5}, {10, 5}, {-10, 5}}, 7, "1000.0"},
      {"azimuth 90", {"10", "20", "5", "2", "90", "0", "0"}, {{5, -10}, {5, 10}, {-5, 10}, {-5, -10}}, 7, "1000.0"},
      {"shifted", {"10", "20", "5", "2", "0", "30", "-40"}, {{20, -45}, {40, -45}, {40, -35}, {20, -35}}, 7, "1000.0"},
      {"flat box", {"12.5", "4", "0", "2", "0", "0", "0"}, {{-2, -6.25}, {2, -6.25}, {2, 6.25}, {-2, 6.25}}, 2, "0.0"},
  };
  open();
  for (const auto& c : cases) {
    setValues(std::to_array(c.values));
    ASSERT_TRUE(m_dialog->BDrawClick()) << c.name;
    EXPECT_EQ(m_dialog->findChild<QLineEdit*>("EVolume")->text(), c.volume) << c.name;
    EXPECT_EQ(slot(core::kTargetEnabled), 1.0);
    for (int k = 0; k < 4; ++k) {
      EXPECT_NEAR(slot(core::targetCornerNorthSlot(k)), c.corners[k][0], 1e-8) << c.name << " corner " << k + 1;
      EXPECT_NEAR(slot(core::targetCornerEastSlot(k)), c.corners[k][1], 1e-8) << c.name << " corner " << k + 1;
    }
    EXPECT_EQ(slot(core::kTargetBottom), c.bottom) << c.name;
    // The map's green outline starts at corner 1, east as x.
    QXYSeries* outline = series(m_dialog->mapChart(), 2);
    ASSERT_EQ(outline->count(), 800) << c.name;
    EXPECT_NEAR(outline->at(0).x(), c.corners[0][1], 1e-8) << c.name;
    EXPECT_NEAR(outline->at(0).y(), c.corners[0][0], 1e-8) << c.name;
    EXPECT_NEAR(outline->at(200).y(), c.corners[1][0], 1e-8) << c.name;
  }
  EXPECT_EQ(slot(core::kTargetShiftSN), 0);
  EXPECT_EQ(slot(core::kTargetWidthWE), 12.5);
}

TEST_F(TargetDialogTest, OpeningShowsTheCommittedRecord) {
  core::TargetSetup& committed = m_context.parameters.target;
  committed[core::kTargetEnabled] = 1;
  committed[core::kTargetTop] = 4;
  committed[core::kTargetBottom] = 12;
  committed[core::kTargetWidthWE] = 10;
  committed[core::kTargetLengthSN] = 20;
  committed[core::kTargetAzimuth] = 33.33;
  committed[core::kTargetShiftSN] = -7;
  committed[core::kTargetShiftWE] = 2.5;
  open();
  const char* names[] = {"Width W-E", "Length S-N", "Height", "Top", "Azumuth", "Shift S-N", "Shift W-E"};
  const char* values[] = {"10.0", "20.0", "8.0", "4.0", "33.3", "-7.0", "2.5"};
  for (int r = 0; r < 7; ++r) {
    EXPECT_EQ(table()->item(r, 0)->text(), names[r]);
    EXPECT_EQ(value(r), values[r]) << names[r];
  }
  EXPECT_EQ(m_dialog->findChild<QLineEdit*>("EVolume")->text(), "1600.0");
  EXPECT_EQ(upDown("UDTop")->position(), 4);
  EXPECT_EQ(upDown("UDAzim")->position(), 33);
  EXPECT_EQ(upDown("UDSiftN")->position(), -70);
  EXPECT_EQ(upDown("UDSiftE")->position(), 25);

  committed[core::kTargetEnabled] = 0;  // a record not in use shows zeros
  open();
  for (int r = 0; r < 7; ++r) EXPECT_EQ(value(r), "0.0") << names[r];
  EXPECT_EQ(m_dialog->findChild<QLineEdit*>("EVolume")->text(), "0.0");
}

TEST_F(TargetDialogTest, UpDownsStepTheTableAndRedraw) {
  open();
  setValues({"10", "20", "5", "2", "359", "12.34", "0"});
  ASSERT_TRUE(m_dialog->BDrawClick());
  EXPECT_EQ(upDown("UDSiftN")->position(), 123);
  // Map range of a 100 m circle: -54..54, a tenth of it is 10.8: 10 tenths of a metre per click.
  EXPECT_EQ(upDown("UDSiftN")->increment(), 10);
  upDown("UDSiftN")->stepUp();
  EXPECT_EQ(value(core::kRowShiftSN), "13.3");
  EXPECT_NEAR(slot(core::kTargetShiftSN), 13.3, 1e-12);

  upDown("UDAzim")->stepUp();  // 359 -> 360 is a full turn: 0
  EXPECT_EQ(value(core::kRowAzimuth), "0");
  EXPECT_EQ(upDown("UDAzim")->position(), 0);
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

  upDown("UDSiftE")->stepDown();
  EXPECT_EQ(value(core::kRowShiftWE), "-1.0");
}

TEST_F(TargetDialogTest, ScaleFitsTheMapAndSectionDepths) {
  open();
  setValues({"10", "20", "8", "2", "0", "200", "0"});  // far north of the loop
  ASSERT_TRUE(m_dialog->BDrawClick());
  QChart* map = m_dialog->mapChart();
  // The map covers the loop (-50..50) and the target (up to north 210), 8 % margins.
  EXPECT_NEAR(axis(map, Qt::Vertical)->min(), -50 * 1.08, 1e-6);
  EXPECT_NEAR(axis(map, Qt::Vertical)->max(), 210 * 1.08, 1e-6);
  EXPECT_EQ(axis(map, Qt::Horizontal)->max(), axis(map, Qt::Vertical)->max());
  // Shift increments follow the map's range: 280.8 m gives 28 tenths per click.
  EXPECT_EQ(upDown("UDSiftN")->increment(), 28);
  QChart* westEast = m_dialog->westEastChart();
  QChart* southNorth = m_dialog->southNorthChart();
  EXPECT_NEAR(axis(westEast, Qt::Vertical)->min(), -0.8, 1e-12);
  EXPECT_NEAR(axis(westEast, Qt::Vertical)->max(), 10.8, 1e-12);
  EXPECT_TRUE(axis(westEast, Qt::Vertical)->isReverse()) << "depth grows downwards";
  EXPECT_NEAR(axis(southNorth, Qt::Horizontal)->min(), -0.8, 1e-12);
  EXPECT_NEAR(axis(southNorth, Qt::Horizontal)->max(), 10.8, 1e-12);
  EXPECT_EQ(axis(westEast, Qt::Horizontal)->min(), axis(map, Qt::Horizontal)->min());
  EXPECT_EQ(axis(southNorth, Qt::Vertical)->max(), axis(map, Qt::Vertical)->max());

  // Scale alone reads the height and top again; nothing else moves.
  table()->item(core::kRowHeight, 1)->setText("18");
  ASSERT_TRUE(m_dialog->BScaleClick());
  EXPECT_NEAR(axis(westEast, Qt::Vertical)->max(), 20 * 1.08, 1e-12);
  EXPECT_EQ(slot(core::kTargetBottom), 10) << "Scale does not recompute the box";
}

TEST_F(TargetDialogTest, SectionsShowTheLoopsAtTheSurfaceAndTheBox) {
  const struct {
    const char* name;
    core::LoopSetup rx;
    int rxPoints;
  } cases[] = {{"without receiver", {}, 0}, {"with receiver", loop(2, 20, 100), 200}};
  for (const auto& c : cases) {
    open(c.rx);
    setValues({"10", "20", "5", "2", "0", "0", "0"});
    ASSERT_TRUE(m_dialog->BDrawClick());
    QChart* westEast = m_dialog->westEastChart();
    QChart* southNorth = m_dialog->southNorthChart();
    ASSERT_EQ(series(westEast, 0)->count(), 200) << c.name;
    EXPECT_NEAR(series(westEast, 0)->at(0).x(), -50, 1e-9) << c.name;
    EXPECT_EQ(series(westEast, 0)->at(0).y(), 0.0) << c.name;
    EXPECT_EQ(series(westEast, 1)->count(), c.rxPoints) << c.name;
    EXPECT_EQ(series(southNorth, 1)->count(), c.rxPoints) << c.name;
    // West-east box from (e1, top) round to (e1, bottom); south-north from (top, s2).
    ASSERT_EQ(series(westEast, 2)->count(), 800) << c.name;
    EXPECT_EQ(series(westEast, 2)->at(0), QPointF(-5, 2)) << c.name;
    EXPECT_EQ(series(westEast, 2)->at(400), QPointF(5, 7)) << c.name;
    EXPECT_EQ(series(southNorth, 2)->at(0), QPointF(2, 10)) << c.name;
    EXPECT_EQ(series(southNorth, 2)->at(400), QPointF(7, -10)) << c.name;
  }
}

TEST_F(TargetDialogTest, OkCommitsTheUsedSlotsAndCancelNothing) {
  m_context.parameters.target[20] = 9.5;  // beyond the used slots
  open();
  setValues({"10", "20", "5", "2", "90", "30", "-40"});
  m_dialog->NCancelClick();
  EXPECT_EQ(m_context.parameters.target[core::kTargetEnabled], 0);

  open();
  setValues({"10", "20", "5", "2", "90", "30", "-40"});  // not drawn: OK computes itself
  QSignalSpy accepted(m_dialog.get(), &QDialog::accepted);
  m_dialog->BOKClick();
  EXPECT_EQ(accepted.count(), 1);
  const core::TargetSetup& t = m_context.parameters.target;
  EXPECT_EQ(t[core::kTargetEnabled], 1);
  EXPECT_NEAR(t[core::targetCornerNorthSlot(0)], 35, 1e-8);
  EXPECT_NEAR(t[core::targetCornerEastSlot(0)], -50, 1e-8);
  EXPECT_EQ(t[core::kTargetBottom], 7);
  EXPECT_EQ(t[core::kTargetShiftSN], 30);
  EXPECT_EQ(t[core::kTargetShiftWE], -40);
  EXPECT_EQ(t[20], 9.5);
}

TEST_F(TargetDialogTest, ACellThatIsNotANumberIsNamedAndNothingCommitted) {
  open();
  const core::TargetSetup before = m_context.parameters.target;
  const struct {
    int row;
    const char* text;
    const char* message;
  } cases[] = {{core::kRowAzimuth, "ninety", "Azumuth: \"ninety\" is not a number"},
               {core::kRowHeight, "", "Height: \"\" is not a number"},
               {core::kRowShiftWE, "1,2,3", "Shift W-E: \"1,2,3\" is not a number"}};
  for (const auto& c : cases) {
    setValues({"10", "20", "5", "2", "0", "0", "0"});
    table()->item(c.row, 1)->setText(QString::fromLatin1(c.text));
    QSignalSpy accepted(m_dialog.get(), &QDialog::accepted);
    ModalWatcher watcher;
    EXPECT_FALSE(m_dialog->BDrawClick());
    m_dialog->BOKClick();
    EXPECT_EQ(watcher.errors(), QStringList({c.message, c.message}));
    EXPECT_EQ(accepted.count(), 0) << "the dialog stays open";
    EXPECT_EQ(m_context.parameters.target, before);
  }
}

}  // namespace
}  // namespace kvo::gui
