#include "options/tf_frequency_shift.h"
#include "app/widget_names.h"

#include <QChart>
#include <QChartView>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTimer>

#include "app/tf_error.h"
#include "app/up_down.h"
#include "options/option_charts.h"

namespace kvo::gui {
namespace {

constexpr int kMomentColumn = 0;
constexpr int kFrequencyColumn = 1;

}  // namespace

TFFrequencyShift::TFFrequencyShift(core::AppContext& context, QString larmorText, QString maxMomentText,
                                   QWidget* parent)
    : QDialog(parent),
      m_context(context),
      m_larmorText(std::move(larmorText)),
      m_maxMomentText(std::move(maxMomentText)) {
  setObjectName(QStringLiteral("TFFrequencyShift"));
  setWindowTitle(QStringLiteral("Larmor frequency shift"));

  SGData = named(new QTableWidget(1, 2, this), "SGData");
  SGData->setHorizontalHeaderLabels({QStringLiteral("Pulse\n(A-ms)"), QStringLiteral("Signal freq.\n(Hz)")});
  SGData->verticalHeader()->hide();
  SGData->setColumnWidth(kMomentColumn, 95);
  SGData->setColumnWidth(kFrequencyColumn, 95);
  SGData->verticalHeader()->setDefaultSectionSize(26);
  SGData->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  SGData->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  SGData->setFixedWidth(95 * 2 + SGData->verticalScrollBar()->sizeHint().width() + 4);
  setRow(0, {"0.0", "0.0"});

  ELNumber = named(new QLineEdit(QStringLiteral("0"), this), "ELNumber");
  ELNumber->setReadOnly(true);
  ELNumber->setMaximumWidth(40);
  UDLNumber = named(new UpDown(Qt::Vertical, 0, core::kMaxZones, this), "UDLNumber");
  connect(UDLNumber, &UpDown::clicked, this, &TFFrequencyShift::UDLNumberClick);
  auto* zones = new QHBoxLayout;
  zones->addWidget(new QLabel(QStringLiteral("Zones"), this));
  zones->addWidget(ELNumber);
  zones->addWidget(UDLNumber);
  zones->addStretch();

  auto* buttons = new QGridLayout;
  const std::pair<const char*, const char*> buttonNames[] = {
      {"BScale", "Scale auto"}, {"BDraw", "Draw"}, {"BOK", "OK"}, {"BCancel", "Cancel"}};
  int index = 0;
  for (const auto& [name, caption] : buttonNames) {
    auto* button = named(new QPushButton(QString::fromLatin1(caption), this), name);
    button->setAutoDefault(false);
    buttons->addWidget(button, index / 2, index % 2);
    ++index;
  }
  connect(findChild<QPushButton*>(QStringLiteral("BScale")), &QPushButton::clicked, this,
          &TFFrequencyShift::BScaleClick);
  connect(findChild<QPushButton*>(QStringLiteral("BDraw")), &QPushButton::clicked, this,
          [this] { BDrawClick(); });
  connect(findChild<QPushButton*>(QStringLiteral("BOK")), &QPushButton::clicked, this,
          &TFFrequencyShift::BOKClick);
  connect(findChild<QPushButton*>(QStringLiteral("BCancel")), &QPushButton::clicked, this,
          &TFFrequencyShift::BCancelClick);

  m_chart = createOptionChart(QStringLiteral("Larmor frequency shift"), QStringLiteral("Pulse moment (A-ms)"),
                              QStringLiteral("Frequency (Hz)"));
  addSeries(m_chart, makeLineSeries(Qt::black, true));
  addSeries(m_chart, makeLineSeries(Qt::red, false));
  ChGFreq = named(new QChartView(m_chart, this), "ChGFreq");
  ChGFreq->setMinimumSize(520, 400);

  auto* left = new QVBoxLayout;
  left->addLayout(zones);
  left->addWidget(SGData, 1);
  left->addLayout(buttons);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left);
  layout->addWidget(ChGFreq, 1);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setSingleShot(true);
  Timer1->setInterval(50);
  connect(Timer1, &QTimer::timeout, this, &TFFrequencyShift::Timer1Timer);
  Timer1->start();
}

void TFFrequencyShift::Timer1Timer() {
  Timer1->stop();
  const core::FrequencyShiftTable& record = m_context.parameters.frequencyShift;
  const int zones = core::shiftZoneCount(record);
  setGrid(core::shiftGridFromRecord(record));
  UDLNumber->setPosition(zones);
  ELNumber->setText(QString::number(zones));
  setSeriesPoints(m_chart, 0, {});
  setSeriesPoints(m_chart, 1, {});
}

core::ShiftGrid TFFrequencyShift::grid() const {
  core::ShiftGrid rows;
  for (int r = 0; r < SGData->rowCount(); ++r) {
    auto text = [&](int column) {
      const QTableWidgetItem* item = SGData->item(r, column);
      return item != nullptr ? item->text().toStdString() : std::string();
    };
    rows.push_back({text(kMomentColumn), text(kFrequencyColumn)});
  }
  return rows;
}

void TFFrequencyShift::setRow(int row, const core::ShiftRowText& texts) {
  SGData->setItem(row, kMomentColumn, new QTableWidgetItem(q(texts.moment)));
  SGData->setItem(row, kFrequencyColumn, new QTableWidgetItem(q(texts.frequency)));
}

void TFFrequencyShift::setGrid(const core::ShiftGrid& grid) {
  SGData->setRowCount(static_cast<int>(grid.size()));
  for (int r = 0; r < static_cast<int>(grid.size()); ++r) setRow(r, grid[static_cast<std::size_t>(r)]);
}

void TFFrequencyShift::UDLNumberClick() {
  const int zones = UDLNumber->position();
  ELNumber->setText(QString::number(zones));
  const int rows = SGData->rowCount();
  if (rows < zones + 1) {
    SGData->setRowCount(rows + 1);
    setRow(rows, {"0.0", "0.0"});
  } else if (rows > zones + 1) {
    SGData->setRowCount(rows - 1);
  }
}

bool TFFrequencyShift::BDrawClick() {
  setSeriesPoints(m_chart, 0, {});
  setSeriesPoints(m_chart, 1, {});
  core::ShiftGrid rows = grid();
  core::ShiftCurves curves;
  if (auto message = core::drawShiftTable(rows, m_larmorText.toStdString(), m_maxMomentText.toStdString(), curves)) {
    showError(m_context, *message, this);
    return false;
  }
  setGrid(rows);
  setSeriesPoints(m_chart, 0, curves.table);
  setSeriesPoints(m_chart, 1, curves.larmor);
  BScaleClick();
  return true;
}

void TFFrequencyShift::BScaleClick() { scaleToData(m_chart); }

void TFFrequencyShift::BOKClick() {
  core::ShiftGrid rows = grid();
  if (auto message = core::storeShiftTable(rows, UDLNumber->position(), m_context.parameters.frequencyShift)) {
    showError(m_context, *message, this);
    return;
  }
  setGrid(rows);
  accept();
}

void TFFrequencyShift::BCancelClick() { reject(); }

}  // namespace kvo::gui
