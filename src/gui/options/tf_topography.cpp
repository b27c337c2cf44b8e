#include "options/tf_topography.h"
#include "app/widget_names.h"

#include <QChart>
#include <QChartView>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QValueAxis>

#include "app/tf_error.h"
#include "app/up_down.h"
#include "model/number_text.h"
#include "options/option_charts.h"
#include "options/slope.h"

namespace kvo::gui {
namespace {

// A small chart of the slope: two reference axes (black and grey lines) and
// the slope as red points; the bottom axis is hidden.
QChart* createSlopeChart(const QString& title) {
  QChart* chart = createOptionChart(title, QString(), QString());
  chart->axes(Qt::Horizontal).value(0)->setVisible(false);
  addSeries(chart, makeLineSeries(Qt::black, false));
  addSeries(chart, makeLineSeries(Qt::darkGray, false));
  addSeries(chart, makePointSeries(Qt::red, 1));
  // Everything lies within +-10: ticks every 5 from 0 whatever the range.
  for (QAbstractAxis* axis : chart->axes()) {
    auto* values = qobject_cast<QValueAxis*>(axis);
    values->setTickType(QValueAxis::TicksDynamic);
    values->setTickAnchor(0.0);
    values->setTickInterval(5.0);
  }
  chart->setMargins(QMargins(4, 4, 4, 4));
  return chart;
}

void showDrawing(QChart* chart, const core::SlopeDrawing& drawing) {
  setSeriesPoints(chart, 0, drawing.axis1);
  setSeriesPoints(chart, 1, drawing.axis2);
  setSeriesPoints(chart, 2, drawing.slope);
  scaleToData(chart, false);
}

}  // namespace

TFTopography::TFTopography(core::AppContext& context, QWidget* parent) : QDialog(parent), m_context(context) {
  setObjectName(QStringLiteral("TFTopography"));
  setWindowTitle(QStringLiteral("Position of the slope"));

  EAzim = named(new QLineEdit(QStringLiteral("0"), this), "EAzim");
  UDAzim = named(new UpDown(Qt::Horizontal, -90, 90, this), "UDAzim");
  EInclin = named(new QLineEdit(QStringLiteral("0"), this), "EInclin");
  UDInclin = named(new UpDown(Qt::Vertical, -90, 90, this), "UDInclin");
  for (QLineEdit* edit : {EAzim, EInclin}) edit->setMaximumWidth(70);
  connect(UDAzim, &UpDown::clicked, this, &TFTopography::UDAzimClick);
  connect(UDInclin, &UpDown::clicked, this, &TFTopography::UDInclinClick);

  m_azimuthChart = createSlopeChart(QStringLiteral("North"));
  m_inclinationChart = createSlopeChart(QStringLiteral("Horizontal"));
  ChAzim = named(new QChartView(m_azimuthChart, this), "ChAzim");
  ChInclin = named(new QChartView(m_inclinationChart, this), "ChInclin");
  for (QChartView* view : {ChAzim, ChInclin}) view->setFixedSize(250, 250);

  auto* grid = new QGridLayout;
  const std::tuple<const char*, QLineEdit*, UpDown*, QChartView*> columns[] = {
      {"Azimuth (degr)", EAzim, UDAzim, ChAzim}, {"Inclination (degr)", EInclin, UDInclin, ChInclin}};
  int column = 0;
  for (const auto& [label, edit, upDown, chart] : columns) {
    auto* entry = new QHBoxLayout;
    entry->addWidget(new QLabel(QString::fromLatin1(label), this));
    entry->addWidget(edit);
    entry->addWidget(upDown);
    entry->addStretch();
    grid->addLayout(entry, 0, column);
    grid->addWidget(chart, 1, column);
    ++column;
  }

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  const std::pair<const char*, const char*> buttonNames[] = {{"BDraw", "Draw"}, {"BOK", "OK"}, {"BCancel", "Cancel"}};
  for (const auto& [name, caption] : buttonNames) {
    auto* button = named(new QPushButton(QString::fromLatin1(caption), this), name);
    button->setAutoDefault(false);
    buttons->addWidget(button);
  }
  connect(findChild<QPushButton*>(QStringLiteral("BDraw")), &QPushButton::clicked, this, [this] { BDrawClick(); });
  connect(findChild<QPushButton*>(QStringLiteral("BOK")), &QPushButton::clicked, this, &TFTopography::BOKClick);
  connect(findChild<QPushButton*>(QStringLiteral("BCancel")), &QPushButton::clicked, this,
          &TFTopography::BCancelClick);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(buttons);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setSingleShot(true);
  Timer1->setInterval(50);
  connect(Timer1, &QTimer::timeout, this, &TFTopography::Timer1Timer);
  Timer1->start();
}

void TFTopography::Timer1Timer() {
  Timer1->stop();
  // Opening already holds the committed angles within -90..90.
  const core::SlopeTexts texts = core::openSlope(m_context.parameters.slope);
  EAzim->setText(q(texts.azimuth));
  EInclin->setText(q(texts.inclination));
  BDrawClick();
}

bool TFTopography::BDrawClick() {
  double angles[2] = {0.0, 0.0};
  const std::tuple<QLineEdit*, std::string_view, UpDown*> fields[] = {
      {EAzim, core::kSlopeAzimuthField, UDAzim}, {EInclin, core::kSlopeInclinationField, UDInclin}};
  for (int i = 0; i < 2; ++i) {
    const auto& [edit, name, upDown] = fields[i];
    if (auto message = core::readNumberField(edit->text().toStdString(), name, angles[i])) {
      showError(m_context, *message, this);
      return false;
    }
    if (auto clamped = core::clampedSlopeText(angles[i])) {
      edit->setText(q(*clamped));
      angles[i] = core::clampSlopeAngle(angles[i]);
    }
    upDown->setPosition(core::truncatedPosition(angles[i]));
  }
  showDrawing(m_azimuthChart, core::slopeAzimuthDrawing(angles[0]));
  showDrawing(m_inclinationChart, core::slopeInclinationDrawing(angles[1]));
  return true;
}

void TFTopography::UDAzimClick() {
  EAzim->setText(QString::number(UDAzim->position()));
  BDrawClick();
}

void TFTopography::UDInclinClick() {
  EInclin->setText(QString::number(UDInclin->position()));
  BDrawClick();
}

void TFTopography::BOKClick() {
  if (auto message = core::storeSlope(EAzim->text().toStdString(), EInclin->text().toStdString(),
                                      m_context.parameters.slope)) {
    showError(m_context, *message, this);
    return;
  }
  accept();
}

void TFTopography::BCancelClick() { reject(); }

}  // namespace kvo::gui
