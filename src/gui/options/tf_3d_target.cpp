#include "options/tf_3d_target.h"
#include "app/widget_names.h"

#include <QChart>
#include <QChartView>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScatterSeries>
#include <QTableWidget>
#include <QTimer>
#include <QValueAxis>

#include "app/tf_error.h"
#include "app/up_down.h"
#include "loops/loop_map.h"
#include "loops/loop_map_chart.h"
#include "loops/loop_map_view.h"
#include "model/number_text.h"
#include "options/option_charts.h"
#include "options/plot_points.h"

namespace kvo::gui {
namespace {

constexpr int kNameColumn = 0;
constexpr int kValueColumn = 1;
const QColor kTargetGreen(0, 160, 0);

QTableWidgetItem* cell(const QString& text, bool editable) {
  auto* item = new QTableWidgetItem(text);
  if (!editable) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  return item;
}

}  // namespace

TF3DTarget::TF3DTarget(core::AppContext& context, QWidget* parent) : QDialog(parent), m_context(context) {
  setObjectName(QStringLiteral("TF3DTarget"));
  setWindowTitle(QStringLiteral("Set 3D Target"));

  // The box, one value per row.
  SGTarget = named(new QTableWidget(core::kTargetRowCount, 2, this), "SGTarget");
  SGTarget->horizontalHeader()->hide();
  SGTarget->verticalHeader()->hide();
  SGTarget->setColumnWidth(kNameColumn, 100);
  SGTarget->setColumnWidth(kValueColumn, 90);
  SGTarget->verticalHeader()->setDefaultSectionSize(26);
  SGTarget->setFixedSize(100 + 90 + 4, core::kTargetRowCount * 26 + 4);
  SGTarget->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  SGTarget->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  for (int r = 0; r < core::kTargetRowCount; ++r) {
    SGTarget->setItem(r, kNameColumn, cell(QString(), false));
    SGTarget->setItem(r, kValueColumn, cell(QStringLiteral("0.0"), true));
  }

  EVolume = named(new QLineEdit(QStringLiteral("0"), this), "EVolume");
  EVolume->setReadOnly(true);
  EVolume->setMaximumWidth(110);
  auto* volume = new QHBoxLayout;
  volume->addWidget(new QLabel(QStringLiteral("Volume (m<sup>3</sup>)"), this));
  volume->addWidget(EVolume);
  volume->addStretch();

  // The up/downs step the table's azimuth, top and shifts.
  UDAzim = named(new UpDown(Qt::Horizontal, -360, 360, this), "UDAzim");
  UDTop = named(new UpDown(Qt::Vertical, 0, 1000, this), "UDTop");
  UDSiftN = named(new UpDown(Qt::Vertical, -10000, 10000, this), "UDSiftN");
  UDSiftE = named(new UpDown(Qt::Horizontal, -10000, 10000, this), "UDSiftE");
  UDSiftN->setIncrement(10);
  UDSiftE->setIncrement(10);
  auto* steps = new QGridLayout;
  const std::pair<const char*, UpDown*> stepRows[] = {
      {"Azimuth (degr)", UDAzim}, {"Top (m)", UDTop}, {"Shift S-N", UDSiftN}, {"Shift W-E", UDSiftE}};
  int row = 0;
  for (const auto& [label, upDown] : stepRows) {
    steps->addWidget(new QLabel(QString::fromLatin1(label), this), row, 0);
    steps->addWidget(upDown, row++, 1, Qt::AlignLeft);
  }
  steps->setColumnStretch(2, 1);
  connect(UDAzim, &UpDown::clicked, this, &TF3DTarget::UDAzimClick);
  connect(UDTop, &UpDown::clicked, this, &TF3DTarget::UDTopClick);
  connect(UDSiftN, &UpDown::clicked, this, &TF3DTarget::UDSiftNClick);
  connect(UDSiftE, &UpDown::clicked, this, &TF3DTarget::UDSiftEClick);

  auto* buttons = new QGridLayout;
  auto* draw = named(new QPushButton(QStringLiteral("Draw"), this), "BDraw");
  auto* scale = named(new QPushButton(QStringLiteral("Scale"), this), "BScale");
  scale->setToolTip(QStringLiteral("Change the scale to show all the data"));
  auto* ok = named(new QPushButton(QStringLiteral("OK"), this), "BOK");
  auto* cancel = named(new QPushButton(QStringLiteral("Cancel"), this), "NCancel");
  connect(draw, &QPushButton::clicked, this, [this] { BDrawClick(); });
  connect(scale, &QPushButton::clicked, this, [this] { BScaleClick(); });
  connect(ok, &QPushButton::clicked, this, &TF3DTarget::BOKClick);
  connect(cancel, &QPushButton::clicked, this, &TF3DTarget::NCancelClick);
  int column = 0;
  for (QPushButton* b : {draw, scale, ok, cancel}) {
    b->setAutoDefault(false);
    buttons->addWidget(b, column / 2, column % 2);
    ++column;
  }

  // Map and cross-sections: the south-north section beside the map, the
  // west-east section under it, so that each shares an axis with the map.
  m_map = createLoopMapChart();
  m_map->setTitle(QStringLiteral("Map"));
  mapAxis(m_map, Qt::Horizontal)->setTitleText(QStringLiteral("West - East (m)"));
  mapAxis(m_map, Qt::Vertical)->setTitleText(QStringLiteral("South - North  (m)"));
  mapSeries(m_map, 2)->setColor(kTargetGreen);  // the target is green here, blue on the main map
  mapSeries(m_map, 2)->setBorderColor(kTargetGreen);
  ChGrN_E = named(new LoopMapView(m_map, this), "ChGrN_E");
  ChGrN_E->setMinimumSize(390, 380);
  m_southNorth = createTargetSectionChart(QStringLiteral("N-S cross-section"), QStringLiteral("Depth (m)"),
                                          QStringLiteral("South - North (m)"), false);
  ChGrN_D = named(new QChartView(m_southNorth, this), "ChGrN_D");
  ChGrN_D->setMinimumSize(300, 380);
  m_westEast = createTargetSectionChart(QStringLiteral("W-E cross-section"), QStringLiteral("West - East (m)"),
                                        QStringLiteral("Depth  (m)"), true);
  ChGrD_E = named(new QChartView(m_westEast, this), "ChGrD_E");
  ChGrD_E->setMinimumSize(390, 250);

  LTxOn = named(new QLabel(QStringLiteral("Tx loop"), this), "LTxOn");
  LRxOn = named(new QLabel(QStringLiteral("Rx loop"), this), "LRxOn");
  LRxOn->setStyleSheet(QStringLiteral("color: red"));
  LRxOn->hide();
  auto* targetLabel = new QLabel(QStringLiteral("3D target"), this);
  targetLabel->setStyleSheet(QStringLiteral("color: %1").arg(kTargetGreen.name()));
  auto* labels = new QHBoxLayout;
  labels->addWidget(LTxOn);
  labels->addWidget(LRxOn);
  labels->addWidget(targetLabel);
  labels->addStretch();

  auto* left = new QVBoxLayout;
  left->addWidget(SGTarget);
  left->addLayout(volume);
  left->addSpacing(8);
  left->addLayout(steps);
  left->addSpacing(8);
  left->addLayout(buttons);
  left->addStretch();
  auto* charts = new QGridLayout;
  charts->addLayout(labels, 0, 0, 1, 2);
  charts->addWidget(ChGrN_E, 1, 0);
  charts->addWidget(ChGrN_D, 1, 1);
  charts->addWidget(ChGrD_E, 2, 0);
  charts->setRowStretch(1, 3);
  charts->setRowStretch(2, 2);
  charts->setColumnStretch(0, 4);
  charts->setColumnStretch(1, 3);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left);
  layout->addLayout(charts, 1);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setSingleShot(true);
  Timer1->setInterval(50);
  connect(Timer1, &QTimer::timeout, this, &TF3DTarget::Timer1Timer);
  Timer1->start();
}

void TF3DTarget::Timer1Timer() {
  Timer1->stop();
  m_outline = m_context.outline;
  const core::TargetTableTexts texts = core::targetTableTexts(m_context.parameters.target);
  for (int r = 0; r < core::kTargetRowCount; ++r) {
    const auto i = static_cast<std::size_t>(r);
    SGTarget->item(r, kNameColumn)->setText(QString::fromLatin1(core::kTargetRowNames[i].data(),
                                                                static_cast<qsizetype>(core::kTargetRowNames[i].size())));
    SGTarget->item(r, kValueColumn)->setText(q(texts[i]));
  }
  EVolume->setText(QStringLiteral("0.0"));
  BDrawClick();
}

core::TargetTableTexts TF3DTarget::tableTexts() const {
  core::TargetTableTexts texts;
  for (int r = 0; r < core::kTargetRowCount; ++r) {
    texts[static_cast<std::size_t>(r)] = SGTarget->item(r, kValueColumn)->text().toStdString();
  }
  return texts;
}

void TF3DTarget::setValueText(core::TargetRow row, const QString& text) {
  SGTarget->item(row, kValueColumn)->setText(text);
}

bool TF3DTarget::receiverDrawn() const { return core::loopTypeCode(m_context.parameters.rx) != 0; }

bool TF3DTarget::BDrawClick() {
  core::TargetBox box;
  if (auto message = core::readTargetTable(tableTexts(), box)) {
    showError(m_context, *message, this);
    return false;
  }
  EVolume->setText(q(core::formatOneDecimal(core::targetVolume(box))));
  plotLoopOutlines(m_map, m_outline, m_context.parameters.tx, m_context.parameters.rx, receiverDrawn(), LTxOn,
                   LRxOn);
  core::computeTargetCorners(box, m_target);
  drawTargetProjection(m_map, m_target, core::TargetView::Map);
  drawTargetProjection(m_westEast, m_target, core::TargetView::WestEast, &m_outline, receiverDrawn());
  drawTargetProjection(m_southNorth, m_target, core::TargetView::SouthNorth, &m_outline, receiverDrawn());
  if (!BScaleClick()) return false;

  UDTop->setPosition(core::truncatedPosition(box.top));
  UDAzim->setPosition(core::truncatedPosition(box.azimuth));
  UDSiftN->setPosition(core::truncatedPosition(box.shiftSN * 10));
  UDSiftE->setPosition(core::truncatedPosition(box.shiftWE * 10));
  // One click moves a shift by about a hundredth of the visible range.
  const core::PlotRange north = axisRange(m_map, Qt::Vertical);
  const core::PlotRange east = axisRange(m_map, Qt::Horizontal);
  UDSiftN->setIncrement(core::shiftIncrement(north.minimum, north.maximum));
  UDSiftE->setIncrement(core::shiftIncrement(east.minimum, east.maximum));
  return true;
}

bool TF3DTarget::BScaleClick() {
  const core::TargetTableTexts texts = tableTexts();
  double height = 0.0;
  double top = 0.0;
  for (auto [row, value] : {std::pair{core::kRowHeight, &height}, std::pair{core::kRowTop, &top}}) {
    const auto r = static_cast<std::size_t>(row);
    if (auto message = core::readNumberField(texts[r], core::kTargetRowNames[r], *value)) {
      showError(m_context, *message, this);
      return false;
    }
  }
  fitMapScale(m_map, m_outline, receiverDrawn(), &m_target, nullptr);
  const core::PlotRange depth = core::targetDepthRange(height, top);
  setAxisRange(m_westEast, Qt::Vertical, depth);
  setAxisRange(m_westEast, Qt::Horizontal, axisRange(m_map, Qt::Horizontal));
  setAxisRange(m_southNorth, Qt::Horizontal, depth);
  setAxisRange(m_southNorth, Qt::Vertical, axisRange(m_map, Qt::Vertical));
  return true;
}

void TF3DTarget::UDAzimClick() {
  UDAzim->setPosition(core::wrappedAzimuthPosition(UDAzim->position()));
  setValueText(core::kRowAzimuth, QString::number(UDAzim->position()));
  BDrawClick();
}

void TF3DTarget::UDTopClick() {
  setValueText(core::kRowTop, QString::number(UDTop->position()));
  BDrawClick();
}

void TF3DTarget::UDSiftNClick() {
  setValueText(core::kRowShiftSN, q(core::formatOneDecimal(UDSiftN->position() * 0.1)));
  BDrawClick();
}

void TF3DTarget::UDSiftEClick() {
  setValueText(core::kRowShiftWE, q(core::formatOneDecimal(UDSiftE->position() * 0.1)));
  BDrawClick();
}

void TF3DTarget::BOKClick() {
  core::TargetBox box;
  if (auto message = core::readTargetTable(tableTexts(), box)) {
    showError(m_context, *message, this);
    return;
  }
  core::computeTargetCorners(box, m_target);
  std::copy_n(m_target.begin(), core::kTargetUsedSlots, m_context.parameters.target.begin());
  accept();
}

void TF3DTarget::NCancelClick() { reject(); }

}  // namespace kvo::gui
