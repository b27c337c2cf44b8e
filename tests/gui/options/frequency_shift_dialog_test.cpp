#include <gtest/gtest.h>

#include <QChart>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableWidget>
#include <QXYSeries>

#include "app/up_down.h"
#include "options/tf_frequency_shift.h"
#include "support/modal_watcher.h"

namespace kvo::gui {
namespace {

class FrequencyShiftDialogTest : public ::testing::Test {
 protected:
  void open(QString larmor = "2000.0") {
    m_dialog = std::make_unique<TFFrequencyShift>(m_context, larmor, "4000.0");
    m_dialog->Timer1Timer();
  }
  void commit(std::initializer_list<double> values) {  // zone count, then the rows
    m_context.parameters.frequencyShift = {};
    std::copy(values.begin(), values.end(), m_context.parameters.frequencyShift.begin());
  }
  QTableWidget* grid() { return m_dialog->findChild<QTableWidget*>("SGData"); }
  UpDown* zones() { return m_dialog->findChild<UpDown*>("UDLNumber"); }
  QString zonesText() { return m_dialog->findChild<QLineEdit*>("ELNumber")->text(); }
  // Types the rows, with the zones set as the up/down sets them.
  void type(const core::ShiftGrid& rows) {
    while (grid()->rowCount() < static_cast<int>(rows.size())) zones()->stepUp();
    while (grid()->rowCount() > static_cast<int>(rows.size())) zones()->stepDown();
    for (int r = 0; r < grid()->rowCount(); ++r) {
      grid()->item(r, 0)->setText(QString::fromStdString(rows[static_cast<std::size_t>(r)].moment));
      grid()->item(r, 1)->setText(QString::fromStdString(rows[static_cast<std::size_t>(r)].frequency));
    }
  }
  QXYSeries* series(int index) { return qobject_cast<QXYSeries*>(m_dialog->chart()->series().at(index)); }

  core::AppContext m_context;
  std::unique_ptr<TFFrequencyShift> m_dialog;
};

TEST_F(FrequencyShiftDialogTest, OpeningShowsTheRowsAndZonesAddOrDropTheLast) {
  commit({2, 100, 2000, 500, 2001.5, 1000, 2003});
  open();
  EXPECT_EQ(m_dialog->grid(), (core::ShiftGrid{{"100.0", "2000.0"}, {"500.0", "2001.5"}, {"1000.0", "2003.0"}}));
  EXPECT_EQ(zonesText(), "2");
  zones()->stepDown();  // drops the last row, whatever its moment
  EXPECT_EQ(m_dialog->grid(), (core::ShiftGrid{{"100.0", "2000.0"}, {"500.0", "2001.5"}}));
  zones()->stepUp();
  EXPECT_EQ(m_dialog->grid().back(), (core::ShiftRowText{"0.0", "0.0"}));
  for (int i = 0; i < 12; ++i) zones()->stepUp();
  EXPECT_EQ(grid()->rowCount(), 10);
  EXPECT_EQ(zonesText(), "9");
  commit({0, 100, 2000});
  open();
  EXPECT_EQ(m_dialog->grid(), (core::ShiftGrid{{"0.0", "0.0"}}));
}

TEST_F(FrequencyShiftDialogTest, DrawSortsTheGridAndExtrapolatesToTheMaximumMoment) {
  const struct {
    const char* name;
    core::ShiftGrid typed;
    core::ShiftGrid sorted;
    double endY;  // at the maximum pulse moment 4000
  } cases[] = {
      // 100 and 500 move up with their texts; 1000 moves down, re-formatted.
      {"sorted", {{"1000", "2003"}, {"100", "2000"}, {"500", "2001"}},
       {{"100", "2000"}, {"500", "2001"}, {"1000.0", "2003.0"}}, 2001 + 3500 * 2.002 / 500},
      {"the example", {{"100", "2000"}, {"1000", "2001"}, {"2000", "2003"}},
       {{"100", "2000"}, {"1000", "2001"}, {"2000", "2003"}}, 2007.006},
      {"moved rows are drawn rounded", {{"2000.06", "2003.04"}, {"1000", "2001"}},
       {{"1000", "2001"}, {"2000.1", "2003.0"}}, 2001 + 3000 * 2.001 / 1000.1},
      {"equal last moments", {{"100", "2000"}, {"1000", "2003"}, {"1000", "2005"}},
       {{"100", "2000"}, {"1000", "2003"}, {"1000", "2005"}}, 2005.002},
  };
  open();
  for (const auto& c : cases) {
    type(c.typed);
    ASSERT_TRUE(m_dialog->BDrawClick()) << c.name;
    EXPECT_EQ(m_dialog->grid(), c.sorted) << c.name;
    const int n = static_cast<int>(c.typed.size());
    ASSERT_EQ(series(0)->count(), n + 1) << c.name;
    for (int i = 0; i < n; ++i) {
      const core::ShiftRowText& row = c.sorted[static_cast<std::size_t>(i)];
      EXPECT_DOUBLE_EQ(series(0)->at(i).y(), std::stod(row.frequency) + 0.001 * i) << c.name << " row " << i;
      EXPECT_EQ(series(1)->at(i), QPointF(std::stod(row.moment), 2000)) << c.name << " row " << i;
    }
    EXPECT_EQ(series(0)->at(n).x(), 4000) << c.name;
    EXPECT_NEAR(series(0)->at(n).y(), c.endY, 1e-9) << c.name;
    EXPECT_EQ(series(1)->at(n), QPointF(4000, 2000)) << c.name;
  }
  type({{"100", "2000"}});
  ASSERT_TRUE(m_dialog->BDrawClick());
  EXPECT_EQ(series(0)->count(), 0) << "a single row draws nothing";
}

TEST_F(FrequencyShiftDialogTest, OkStoresTheSortedTableZerosOrNothing) {
  commit({4, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  open();
  type({{"1000", "2003"}, {"100", "2000"}, {"500", "2001.5"}});
  m_dialog->BOKClick();
  core::FrequencyShiftTable expected{};
  const double stored[] = {2, 100, 2000, 500, 2001.5, 1000, 2003};
  std::copy(std::begin(stored), std::end(stored), expected.begin());
  EXPECT_EQ(m_context.parameters.frequencyShift, expected) << "sorted, and the longer table's rows gone";

  open();
  type({{"100", "2000"}});
  grid()->item(0, 0)->setText("123");  // shown, but 0 zones store 21 zeros
  m_dialog->BOKClick();
  EXPECT_EQ(m_context.parameters.frequencyShift, core::FrequencyShiftTable{});

  commit({1, 100, 2000, 200, 2001});
  const core::FrequencyShiftTable before = m_context.parameters.frequencyShift;
  open();
  type({{"1", "2"}, {"3", "4"}});
  m_dialog->BCancelClick();
  EXPECT_EQ(m_context.parameters.frequencyShift, before);
}

TEST_F(FrequencyShiftDialogTest, TextsThatAreNotNumbersAreNamed) {
  commit({1, 100, 2000, 200, 2001});
  const core::FrequencyShiftTable before = m_context.parameters.frequencyShift;
  const struct {
    QString larmor;
    core::ShiftGrid rows;
    const char* message;
  } cases[] = {
      {"2000.0", {{"100", "2000"}, {"2OO", "2001"}}, "Row 2, Pulse (A-ms): \"2OO\" is not a number"},
      {"2000.0", {{"100", ""}, {"200", "2001"}}, "Row 1, Signal freq. (Hz): \"\" is not a number"},
      {"2 kHz", {{"200", "2001"}, {"100", "2000"}}, "Larmor frequency (Hz): \"2 kHz\" is not a number"},
  };
  for (const auto& c : cases) {
    open(c.larmor);
    type(c.rows);
    QSignalSpy accepted(m_dialog.get(), &QDialog::accepted);
    test::ModalWatcher watcher;
    EXPECT_FALSE(m_dialog->BDrawClick());
    EXPECT_EQ(watcher.errors(), QStringList{c.message});
    EXPECT_EQ(m_dialog->grid(), c.rows) << "not sorted";
    m_dialog->BOKClick();
    // OK reads only the grid: the main window's values are for the chart.
    EXPECT_EQ(accepted.count(), c.larmor == "2 kHz" ? 1 : 0) << c.message;
    if (accepted.count() == 0) {
      EXPECT_EQ(m_context.parameters.frequencyShift, before) << "nothing stored";
    }
  }
}

}  // namespace
}  // namespace kvo::gui
