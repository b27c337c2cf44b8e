#include "loops/tf_loops.h"
#include "app/widget_names.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QValueAxis>

#include <cmath>

#include "app/tf_error.h"
#include "app/tf_open_failure.h"
#include "app/tf_overwrite.h"
#include "app/up_down.h"
#include "loops/loop_map.h"
#include "loops/loop_map_chart.h"
#include "loops/loop_map_view.h"
#include "model/number_text.h"
#include "model/parameter_file.h"
#include "plot/chart_printing.h"
#include "plot/picture_export.h"
#include "plot/picture_file.h"

namespace kvo::gui {
namespace {

QString shortNumber(double value) { return QString::number(value, 'g', 15); }

QComboBox* makeTypeBox(QWidget* parent, const char* name, const QString& text) {
  auto* box = named(new QComboBox(parent), name);
  box->setEditable(true);
  for (std::string_view item : core::kLoopTypeNames) box->addItem(QString::fromUtf8(item.data(), static_cast<qsizetype>(item.size())));
  box->addItem(QString());
  box->setCurrentIndex(-1);
  box->setEditText(text);
  box->setMinimumContentsLength(18);
  return box;
}

QLineEdit* makeEdit(QWidget* parent, const char* name) {
  auto* edit = named(new QLineEdit(QStringLiteral("0"), parent), name);
  edit->setMaximumWidth(90);
  return edit;
}

// Truncation toward zero that cannot overflow an int.
int truncatedPosition(double value) {
  if (!std::isfinite(value)) return 0;
  return static_cast<int>(std::clamp(value, -1e9, 1e9));
}

}  // namespace

TFLoops::TFLoops(core::AppContext& context, QWidget* parent, FileChooser files)
    : QDialog(parent), m_context(context), m_files(std::move(files)) {
  setObjectName(QStringLiteral("TFLoops"));
  setWindowTitle(QStringLiteral("Set Tx/Rx loops"));

  auto* tx = new QGroupBox(QStringLiteral("Tx loop"), this);
  auto* txGrid = new QGridLayout(tx);
  CBTx = makeTypeBox(tx, "CBTx", QStringLiteral("Select Tx loop"));
  CBTx->setToolTip(QStringLiteral("Set Tx loop"));
  ETxSize = makeEdit(tx, "ETxSize");
  ETxTurns = makeEdit(tx, "ETxTurns");
  ETxLSepar = makeEdit(tx, "ETxLSepar");
  ETxDirect = makeEdit(tx, "ETxDirect");
  UDTxDirect = named(new UpDown(Qt::Vertical, -360, 360, tx), "UDTxDirect");
  txGrid->addWidget(CBTx, 0, 0, 1, 3);
  const std::pair<const char*, QLineEdit*> txRows[] = {{"Size (m)", ETxSize},
                                                        {"Turns", ETxTurns},
                                                        {"8-loop separat. (m)", ETxLSepar},
                                                        {"Azimuth (degr)", ETxDirect}};
  int row = 1;
  for (const auto& [label, edit] : txRows) {
    txGrid->addWidget(new QLabel(QString::fromLatin1(label), tx), row, 0);
    txGrid->addWidget(edit, row++, 1);
  }
  txGrid->addWidget(UDTxDirect, 4, 2);

  auto* rx = new QGroupBox(QStringLiteral("Rx loop"), this);
  auto* rxGrid = new QGridLayout(rx);
  CBRxSel = named(new QCheckBox(QStringLiteral("Rx loop"), rx), "CBRxSel");
  CBRxSel->setEnabled(false);
  CBRx = makeTypeBox(rx, "CBRx", QStringLiteral("Select Rx loop"));
  ERxSize = makeEdit(rx, "ERxSize");
  ERxTurns = makeEdit(rx, "ERxTurns");
  ELSepar = makeEdit(rx, "ELSepar");
  ERxDirect = makeEdit(rx, "ERxDirect");
  EShiftN = makeEdit(rx, "EShiftN");
  EShiftE = makeEdit(rx, "EShiftE");
  UDRxDirect = named(new UpDown(Qt::Horizontal, -360, 360, rx), "UDRxDirect");
  UDSiftN = named(new UpDown(Qt::Vertical, -10000, 10000, rx), "UDSiftN");
  UDSiftE = named(new UpDown(Qt::Horizontal, -10000, 10000, rx), "UDSiftE");
  UDSiftN->setIncrement(10);
  UDSiftE->setIncrement(10);
  rxGrid->addWidget(CBRxSel, 0, 0, 1, 3);
  rxGrid->addWidget(CBRx, 1, 0, 1, 3);
  const std::tuple<const char*, QLineEdit*, UpDown*> rxRows[] = {
      {"Size (m)", ERxSize, nullptr},          {"Turns", ERxTurns, nullptr},
      {"8-loop separat. (m)", ELSepar, nullptr}, {"Azimuth (degr)", ERxDirect, UDRxDirect},
      {"Shift N-S (m)", EShiftN, UDSiftN},     {"Shift W-E (m)", EShiftE, UDSiftE}};
  row = 2;
  for (const auto& [label, edit, upDown] : rxRows) {
    rxGrid->addWidget(new QLabel(QString::fromLatin1(label), rx), row, 0);
    rxGrid->addWidget(edit, row, 1);
    if (upDown != nullptr) rxGrid->addWidget(upDown, row, 2);
    ++row;
  }

  m_chart = createLoopMapChart();
  ChGraph = named(new LoopMapView(m_chart, this), "ChGraph");
  ChGraph->setMinimumSize(520, 460);
  LTxOn = named(new QLabel(QStringLiteral("Tx loop"), this), "LTxOn");
  LRxOn = named(new QLabel(QStringLiteral("Rx loop"), this), "LRxOn");
  LRxOn->setStyleSheet(QStringLiteral("color: red"));

  auto* buttons = new QGridLayout;
  const std::tuple<const char*, const char*, const char*, void (TFLoops::*)()> buttonRows[] = {
      {"BDraw", "Draw", "", nullptr},
      {"BData", "Scale", "Change the scale to show all the data", &TFLoops::BDataClick},
      {"BPrint", "Print", "Print Graph", &TFLoops::BPrintClick},
      {"BGrSave", "Save", "Format of file is selected by selecting its extention ", &TFLoops::BGrSaveClick},
      {"BOK", "OK", "", &TFLoops::BOKClick},
      {"BCancel", "Cancel", "", &TFLoops::BCancelClick}};
  int column = 0;
  for (const auto& [name, caption, hint, slot] : buttonRows) {
    auto* button = named(new QPushButton(QString::fromLatin1(caption), this), name);
    if (*hint != '\0') button->setToolTip(QString::fromLatin1(hint));
    if (slot != nullptr) {
      connect(button, &QPushButton::clicked, this, slot);
    } else {
      connect(button, &QPushButton::clicked, this, [this] { BDrawClick(); });
    }
    button->setAutoDefault(false);
    buttons->addWidget(button, column / 3, column % 3);
    ++column;
  }

  auto* labels = new QHBoxLayout;
  labels->addWidget(LTxOn);
  labels->addWidget(LRxOn);
  labels->addStretch();
  auto* left = new QVBoxLayout;
  left->addWidget(tx);
  left->addWidget(rx);
  left->addLayout(buttons);
  left->addStretch();
  auto* right = new QVBoxLayout;
  right->addLayout(labels);
  right->addWidget(ChGraph, 1);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left);
  layout->addLayout(right, 1);

  connect(CBRxSel, &QCheckBox::toggled, this, &TFLoops::setReceiverControls);
  connect(UDTxDirect, &UpDown::clicked, this, [this] { azimuthClicked(UDTxDirect, ETxDirect); });
  connect(UDRxDirect, &UpDown::clicked, this, [this] { azimuthClicked(UDRxDirect, ERxDirect); });
  connect(UDSiftN, &UpDown::clicked, this, [this] { shiftClicked(UDSiftN, EShiftN); });
  connect(UDSiftE, &UpDown::clicked, this, [this] { shiftClicked(UDSiftE, EShiftE); });
  setReceiverControls(false);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setSingleShot(true);
  Timer1->setInterval(50);
  connect(Timer1, &QTimer::timeout, this, &TFLoops::Timer1Timer);
  Timer1->start();
}

void TFLoops::Timer1Timer() {
  Timer1->stop();
  m_outline = m_context.outline;
  m_tx = m_context.parameters.tx;
  m_rx = m_context.parameters.rx;
  showRecords();
  setReceiverControls(core::loopTypeCode(m_rx) != 0);
  if (!m_context.autoRedrawSuspended) BDrawClick();
}

void TFLoops::showRecords() {
  const std::pair<QComboBox*, const core::LoopSetup*> boxes[] = {{CBTx, &m_tx}, {CBRx, &m_rx}};
  for (const auto& [box, loop] : boxes) {
    const int type = core::loopTypeCode(*loop);
    if (type >= 1 && type <= 4) {
      box->setCurrentIndex(type - 1);
    } else {
      box->setCurrentIndex(-1);
      box->setEditText(QString());
    }
  }
  const std::pair<QLineEdit*, double> values[] = {
      {ETxSize, m_tx[core::kLoopSize]},        {ETxDirect, m_tx[core::kLoopAzimuth]},
      {ETxTurns, m_tx[core::kLoopTurns]},      {ETxLSepar, m_tx[core::kLoopSeparation]},
      {ERxSize, m_rx[core::kLoopSize]},        {ERxDirect, m_rx[core::kLoopAzimuth]},
      {ERxTurns, m_rx[core::kLoopTurns]},      {ELSepar, m_rx[core::kLoopSeparation]},
      {EShiftN, m_rx[core::kLoopShiftNorth]},  {EShiftE, m_rx[core::kLoopShiftEast]}};
  for (const auto& [edit, value] : values) edit->setText(shortNumber(value));
}

void TFLoops::setReceiverControls(bool on) {
  if (CBRxSel->isChecked() != on) {
    CBRxSel->setChecked(on);  // runs this operation again through toggled()
    return;
  }
  CBRx->setEnabled(on);
  for (UpDown* upDown : {UDRxDirect, UDSiftN, UDSiftE}) upDown->setEnabled(on);
  const QString style = on ? QStringLiteral("background: white")
                           : QStringLiteral("background: palette(button)");
  for (QLineEdit* edit : {ERxSize, ERxTurns, ELSepar, ERxDirect, EShiftN, EShiftE}) {
    edit->setReadOnly(!on);
    edit->setStyleSheet(style);
  }
  CBRx->setStyleSheet(style);
}

core::LoopDialogFields TFLoops::readFields() const {
  core::LoopDialogFields f;
  f.txType = CBTx->currentText().toStdString();
  f.txSize = ETxSize->text().toStdString();
  f.txAzimuth = ETxDirect->text().toStdString();
  f.txTurns = ETxTurns->text().toStdString();
  f.txSeparation = ETxLSepar->text().toStdString();
  f.rxEnabled = CBRxSel->isChecked();
  f.rxType = CBRx->currentText().toStdString();
  f.rxSize = ERxSize->text().toStdString();
  f.rxAzimuth = ERxDirect->text().toStdString();
  f.rxTurns = ERxTurns->text().toStdString();
  f.rxShiftNorth = EShiftN->text().toStdString();
  f.rxShiftEast = EShiftE->text().toStdString();
  f.rxSeparation = ELSepar->text().toStdString();
  return f;
}

bool TFLoops::BDrawClick() {
  if (auto message = core::readLoopDialog(readFields(), m_tx, m_rx)) {
    showError(m_context, *message, this);
    return false;
  }
  m_context.autoRedrawSuspended = false;
  m_context.rxTicked = CBRxSel->isChecked();
  plotLoopOutlines(m_chart, m_outline, m_tx, m_rx, CBRxSel->isChecked(), LTxOn, LRxOn);
  scale();

  // The up/downs follow the edits.
  auto positionOf = [](const QLineEdit* edit, double factor, int current) {
    const auto value = core::parseFieldNumber(edit->text().toStdString());
    return value ? truncatedPosition(*value * factor) : current;
  };
  UDTxDirect->setPosition(positionOf(ETxDirect, 1.0, UDTxDirect->position()));
  UDRxDirect->setPosition(positionOf(ERxDirect, 1.0, UDRxDirect->position()));
  UDSiftN->setPosition(positionOf(EShiftN, 10.0, UDSiftN->position()));
  UDSiftE->setPosition(positionOf(EShiftE, 10.0, UDSiftE->position()));

  // One click moves a shift by about a hundredth of the visible range.
  const QValueAxis* north = mapAxis(m_chart, Qt::Vertical);
  const QValueAxis* east = mapAxis(m_chart, Qt::Horizontal);
  UDSiftN->setIncrement(core::shiftIncrement(north->min(), north->max()));
  UDSiftE->setIncrement(core::shiftIncrement(east->min(), east->max()));
  return true;
}

void TFLoops::scale() {
  const bool includeRx = core::loopTypeCode(m_context.parameters.rx) != 0 || m_context.rxTicked;
  fitMapScale(m_chart, m_outline, includeRx, nullptr, nullptr);
}

void TFLoops::BDataClick() {
  m_context.rxTicked = CBRxSel->isChecked();
  scale();
}

void TFLoops::azimuthClicked(UpDown* upDown, QLineEdit* edit) {
  if (upDown->position() >= 360 || upDown->position() <= -360) upDown->setPosition(0);
  edit->setText(QString::number(upDown->position()));
  redrawUnlessSuspended();
}

void TFLoops::shiftClicked(UpDown* upDown, QLineEdit* edit) {
  edit->setText(QString::fromStdString(core::formatOneDecimal(upDown->position() * 0.1)));
  redrawUnlessSuspended();
}

void TFLoops::redrawUnlessSuspended() {
  if (!m_context.autoRedrawSuspended) BDrawClick();
}

void TFLoops::BOKClick() {
  if (auto message = core::readLoopDialog(readFields(), m_tx, m_rx)) {
    showError(m_context, *message, this);
    return;
  }
  plotLoopOutlines(m_chart, m_outline, m_tx, m_rx, CBRxSel->isChecked(), LTxOn, LRxOn);
  m_context.outline = m_outline;
  m_context.parameters.tx = m_tx;
  m_context.parameters.rx = m_rx;
  m_context.rxTicked = false;
  accept();
}

void TFLoops::BCancelClick() {
  m_context.rxTicked = false;
  reject();
}

void TFLoops::BPrintClick() {
  if (auto error = printChart(ChGraph, this)) showError(m_context, error->toStdString(), this);
}

void TFLoops::BGrSaveClick() {
  // The dialog opens in the folder of the last picture, which the working
  // file's header remembers as its second name.
  auto readHeader = [this] {
    auto [first, second] = core::readWorkingFileHeader(m_context.StartupFolder);
    m_context.CurrentParameterFile = std::move(first);
    return second;
  };
  const std::string lastPicture = readHeader();
  m_context.MessageText = lastPicture;
  const QString folder =
      QString::fromStdString(core::dialogFolderFor(lastPicture, m_context.StartupFolder).string());
  const auto [chosen, filter] = m_files.saveWithFilter(this, QStringLiteral("Save the map"), folder,
                                                       QString::fromLatin1(kPictureFileFilter));
  if (chosen.isEmpty()) {
    m_context.CurrentParameterFile = lastPicture;
    showOpenFailure(m_context, this);
    return;
  }
  if (QFileInfo::exists(chosen) && !confirmOverwrite(m_context, chosen.toStdString(), this)) return;
  const PictureFile picture = choosePictureFile(chosen, pictureFilterIndex(filter));
  if (auto error = savePicture(ChGraph, picture.path, picture.format)) {
    showError(m_context, error->toStdString(), this);
    return;
  }
  readHeader();
  const core::FileOutcome written = core::writeParameterFile(
      m_context.CurrentParameterFile, picture.path.toStdString(), core::ParameterFileMode::Working,
      m_context.StartupFolder, m_context.parameters);
  if (!written.ok()) showError(m_context, written.message, this);
}

}  // namespace kvo::gui
