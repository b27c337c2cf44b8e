#include <gtest/gtest.h>

#include <QChart>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableWidget>
#include <QValueAxis>
#include <QXYSeries>

#include <cmath>

#include "app/up_down.h"
#include "options/tf_frequency_shift.h"
#include "support/modal_watcher.h"

namespace kvo::gui {
namespace {

using test::ModalWatcher;

class FrequencyShiftDialogTest : public ::testing::Test {
 protected:
  TFFrequencyShift& open(QString larmor = "2000.0", QString maxMoment = "4000.0") {
    m_dialog = std::make_unique<TFFrequencyShift>(m_context, larmor, maxMoment);
    m_dialog->Timer1Timer();
    return *m_dialog;
  }
  void commit(double zones, std::initializer_list<double> values) {
    core::FrequencyShiftTable& t = m_context.parameters.frequencyShift;
    t = {};
    t[core::kZoneCount] = zones;
    std::size_t i = 1;
    for (double v : values) t[i++] = v;
  }
  QTableWidget* grid() { return m_dialog->findChild<QTableWidget*>("SGData"); }
  UpDown* zones() { return m_dialog->findChild<UpDown*>("UDLNumber"); }
  QString zonesText() { return m_dialog->findChild<QLineEdit*>("ELNumber")->text(); }
  // Types the rows into the grid, setting the zones as the up/down would.
  void type(const core::ShiftGrid& rows) {
    while (grid()->rowCount() < static_cast<int>(rows.size())) zones()->stepUp();
    while (grid()->rowCount() > static_cast<int>(rows.size())) zones()->stepDown();
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
      grid()->item(r, 0)->setText(QString::fromStdString(rows[static_cast<std::size_t>(r)].moment));
      grid()->item(r, 1)->setText(QString::fromStdString(rows[static_cast<std::size_t>(r)].frequency));
    }
  }
  QXYSeries* series(int index) { return qobject_cast<QXYSeries*>(m_dialog->chart()->series().at(index)); }

  core::AppContext m_context;
  std::unique_ptr<TFFrequencyShift> m_dialog;
};

TEST_F(FrequencyShiftDialogTest, OpeningShowsTheCommittedRows) {
  commit(2, {100, 2000, 500, 2001.5, 1000, 2003});
  open();
  EXPECT_EQ(m_dialog->windowTitle(), "Larmor frequency shift");
  const core::ShiftGrid expected = {{"100.0", "2000.0"}, {"500.0", "2001.5"}, {"1000.0", "2003.0"}};
  EXPECT_EQ(m_dialog->grid(), expected);
  EXPECT_EQ(zonesText(), "2");
  EXPECT_EQ(zones()->position(), 2);
  EXPECT_EQ(series(0)->count(), 0) << "nothing drawn before Draw";

  commit(0, {100, 2000});
  open();
  EXPECT_EQ(m_dialog->grid(), (core::ShiftGrid{{"0.0", "0.0"}}));
  EXPECT_EQ(zonesText(), "0");
}

TEST_F(FrequencyShiftDialogTest, ZonesAddAndDropTheLastRow) {
  commit(3, {100, 1, 900, 2, 300, 3, 500, 4});
  open();
  zones()->stepDown();  // 3 -> 2 drops the last row, whatever its moment
  EXPECT_EQ(m_dialog->grid(), (core::ShiftGrid{{"100.0", "1.0"}, {"900.0", "2.0"}, {"300.0", "3.0"}}));
  EXPECT_EQ(zonesText(), "2");
  zones()->stepUp();
  EXPECT_EQ(m_dialog->grid().back(), (core::ShiftRowText{"0.0", "0.0"}));
  for (int i = 0; i < 12; ++i) zones()->stepUp();
  EXPECT_EQ(grid()->rowCount(), 10);
  EXPECT_EQ(zonesText(), "9");
  for (int i = 0; i < 12; ++i) zones()->stepDown();
  EXPECT_EQ(grid()->rowCount(), 1);
  EXPECT_EQ(zonesText(), "0");
}

TEST_F(FrequencyShiftDialogTest, DrawSortsTheGridAndExtrapolatesToTheMaximumMoment) {
  const struct {
    const char* name;
    core::ShiftGrid typed;
    core::ShiftGrid sorted;
    QPointF end;  // last point of series 1
  } cases[] = {
      {"sorted on the way", {{"1000", "2003"}, {"100", "2000"}, {"500", "2001"}},
       {{"100", "2000"}, {"500", "2001"}, {"1000.0", "2003.0"}}, {4000, 2003 + 0.002 + 3000 * (2.002 / 500)}},
      {"the end point of the example", {{"100", "2000"}, {"1000", "2001"}, {"2000", "2003"}},
       {{"100", "2000"}, {"1000", "2001"}, {"2000", "2003"}}, {4000, 2007.006}},
      {"a moved row is drawn rounded", {{"2000.06", "2003.04"}, {"1000", "2001"}},
       {{"1000", "2001"}, {"2000.1", "2003.0"}}, {4000, 2001 + 3000 * (2.001 / 1000.1)}},
      // Equal last moments: the line goes on level from the last point.
      {"equal last moments", {{"100", "2000"}, {"1000", "2003"}, {"1000", "2005"}},
       {{"100", "2000"}, {"1000", "2003"}, {"1000", "2005"}}, {4000, 2005.002}},
  };
  open();
  for (const auto& c : cases) {
    type(c.typed);
    ModalWatcher watcher;
    ASSERT_TRUE(m_dialog->BDrawClick()) << c.name;
    EXPECT_TRUE(watcher.seen.isEmpty()) << c.name;
    EXPECT_EQ(m_dialog->grid(), c.sorted) << c.name;
    const int n = static_cast<int>(c.typed.size());
    ASSERT_EQ(series(0)->count(), n + 1) << c.name;
    ASSERT_EQ(series(1)->count(), n + 1) << c.name;
    for (int i = 0; i < n; ++i) {
      const core::ShiftRowText& row = c.sorted[static_cast<std::size_t>(i)];
      EXPECT_DOUBLE_EQ(series(0)->at(i).y(), std::stod(row.frequency) + 0.001 * i) << c.name << " row " << i;
      EXPECT_EQ(series(1)->at(i), QPointF(std::stod(row.moment), 2000)) << c.name << " row " << i;
    }
    const QPointF end = series(0)->at(n);
    EXPECT_EQ(end.x(), c.end.x()) << c.name;
    EXPECT_NEAR(end.y(), c.end.y(), 1e-9) << c.name;
    EXPECT_EQ(series(1)->at(n), QPointF(4000, 2000)) << c.name;
    // The axes are scaled to hold every point.
    const auto* y = qobject_cast<QValueAxis*>(m_dialog->chart()->axes(Qt::Vertical).value(0));
    EXPECT_LE(y->min(), 2000) << c.name;
    EXPECT_GE(y->max(), end.y()) << c.name;
  }
  type({{"100", "2000"}});
  ASSERT_TRUE(m_dialog->BDrawClick());
  EXPECT_EQ(series(0)->count(), 0) << "a single row draws nothing";
  EXPECT_EQ(series(1)->count(), 0);
}

TEST_F(FrequencyShiftDialogTest, OkStoresTheSortedTableOrZeros) {
  commit(4, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  open();
  type({{"1000", "2003"}, {"100", "2000"}, {"500", "2001.5"}});
  QSignalSpy accepted(m_dialog.get(), &QDialog::accepted);
  m_dialog->BOKClick();
  EXPECT_EQ(accepted.count(), 1);
  core::FrequencyShiftTable expected{};
  const double stored[] = {2, 100, 2000, 500, 2001.5, 1000, 2003};
  std::copy(std::begin(stored), std::end(stored), expected.begin());
  EXPECT_EQ(m_context.parameters.frequencyShift, expected);

  open();
  zones()->stepDown();
  zones()->stepDown();
  ASSERT_EQ(zones()->position(), 0);
  grid()->item(0, 0)->setText("123");  // values still shown do not count
  m_dialog->BOKClick();
  EXPECT_EQ(m_context.parameters.frequencyShift, core::FrequencyShiftTable{});

  commit(1, {100, 2000, 200, 2001});
  const core::FrequencyShiftTable before = m_context.parameters.frequencyShift;
  open();
  type({{"1", "2"}, {"3", "4"}});
  m_dialog->BCancelClick();
  EXPECT_EQ(m_context.parameters.frequencyShift, before);
}

TEST_F(FrequencyShiftDialogTest, TextsThatAreNotNumbersAreNamed) {
  commit(1, {100, 2000, 200, 2001});
  const core::FrequencyShiftTable before = m_context.parameters.frequencyShift;
  const struct {
    const char* name;
    QString larmor;
    core::ShiftGrid rows;
    const char* message;
  } cases[] = {
      {"a moment", "2000.0", {{"100", "2000"}, {"2OO", "2001"}}, "Row 2, Pulse (A-ms): \"2OO\" is not a number"},
      {"a frequency", "2000.0", {{"100", ""}, {"200", "2001"}}, "Row 1, Signal freq. (Hz): \"\" is not a number"},
      {"the main window's frequency", "2 kHz", {{"100", "2000"}, {"200", "2001"}},
       "Larmor frequency (Hz): \"2 kHz\" is not a number"},
  };
  for (const auto& c : cases) {
    open(c.larmor);
    type(c.rows);
    QSignalSpy accepted(m_dialog.get(), &QDialog::accepted);
    ModalWatcher watcher;
    EXPECT_FALSE(m_dialog->BDrawClick()) << c.name;
    EXPECT_EQ(watcher.errors(), QStringList{c.message}) << c.name;
    EXPECT_EQ(m_dialog->grid(), c.rows) << c.name << ": not sorted";
    EXPECT_EQ(series(0)->count(), 0) << c.name;
    m_dialog->BOKClick();
    if (c.larmor == "2000.0") {
      EXPECT_EQ(watcher.errors().size(), 2) << c.name;
      EXPECT_EQ(accepted.count(), 0) << c.name << ": the dialog stays open";
      EXPECT_EQ(m_context.parameters.frequencyShift, before) << c.name << ": nothing stored";
    } else {
      EXPECT_EQ(accepted.count(), 1) << c.name << ": OK does not need the main window's values";
      m_context.parameters.frequencyShift = before;
    }
  }
}

}  // namespace
}  // namespace kvo::gui
