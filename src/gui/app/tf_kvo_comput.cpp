#include "app/tf_kvo_comput.h"
#include "app/widget_names.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScatterSeries>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

#include "app/tf_error.h"
#include "app/tf_exit.h"
#include "app/tf_help.h"
#include "app/tf_open_failure.h"
#include "app/tf_overwrite.h"
#include "app/tf_settings.h"
#include "app/tf_splash.h"
#include "app/up_down.h"
#include "kernel/tf_kernel.h"
#include "loops/loop_map_chart.h"
#include "loops/loop_map_view.h"
#include "loops/tf_loops.h"
#include "runlist/tf_run_list.h"
#include "model/parameter_file.h"
#include "options/option_charts.h"
#include "options/tf_3d_target.h"
#include "options/tf_frequency_shift.h"
#include "options/tf_topography.h"

namespace kvo::gui {
namespace {

constexpr int kFromColumn = 0;
constexpr int kToColumn = 1;
constexpr int kResistivityColumn = 2;

const QString kParameterFilter = QStringLiteral("Parameters files (*.nmc);;All files (*)");
const QString kMatrixFilter = QStringLiteral("KVO matrix (*.mrm);;All files (*)");

QTableWidgetItem* cell(const std::string& text, bool editable) {
  auto* item = new QTableWidgetItem(q(text));
  if (!editable) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  return item;
}

// Calls `f` when the scope ends, whichever way it ends.
template <class F>
struct AtScopeEnd {
  F f;
  ~AtScopeEnd() { f(); }
};
template <class F>
AtScopeEnd(F) -> AtScopeEnd<F>;

void showFileName(QLineEdit* edit, const std::string& name) {
  edit->setText(q(name));
  edit->setToolTip(q(name));
}

}  // namespace

TFKVOComput::TFKVOComput(StartupOptions options) : m_options(std::move(options)) {
  if (!m_options.compute) m_options.compute = kernelComputation(m_options.startupFolder.string(), &m_context.sampling);
  // The sampling kept from the last session; Run reads it when it starts.
  m_context.sampling = loadSamplingSettings();
  setObjectName(QStringLiteral("TFKVOComput"));
  setWindowTitle(QStringLiteral("KVO computing"));
  if (m_options.showSplash) {
    TFSplash splash(nullptr, m_options.splashMs);
    splash.exec();
  }
  buildWindow();
  startUp();
}

void TFKVOComput::buildWindow() {
  auto* central = new QWidget(this);
  setCentralWidget(central);

  // Computing parameters.
  auto* computing = new QGroupBox(QStringLiteral("Computing parameters"), central);
  auto* form = new QGridLayout(computing);
  ELarmFreq = named(new QLineEdit(computing), "ELarmFreq");
  EPulseDur = named(new QLineEdit(computing), "EPulseDur");
  EMaxDepth = named(new QLineEdit(computing), "EMaxDepth");
  EInclin = named(new QLineEdit(computing), "EInclin");
  EInclin->setToolTip(
      QStringLiteral("Inclination >0 for the southern hemisphere and <0 for the northern"));
  EMaxMoment = named(new QLineEdit(computing), "EMaxMoment");
  LMaxDepth = named(new QLabel(QStringLiteral("Max. depth (m)"), computing), "LMaxDepth");
  LMaxDepth->setToolTip(QStringLiteral("Double click: single-depth mode (red) or depth series (black)"));
  LMaxDepth->installEventFilter(this);
  const std::pair<QWidget*, QLineEdit*> rows[] = {
      {new QLabel(QStringLiteral("Larmor frequency (Hz)"), computing), ELarmFreq},
      {new QLabel(QStringLiteral("Pulse duration (ms)"), computing), EPulseDur},
      {LMaxDepth, EMaxDepth},
      {new QLabel(QStringLiteral("Inclination of GMF (degr)"), computing), EInclin},
      {new QLabel(QStringLiteral("Max. pulse moment (A-ms)"), computing), EMaxMoment}};
  int row = 0;
  for (const auto& [label, edit] : rows) {
    edit->setMaximumWidth(110);
    form->addWidget(label, row, 0);
    form->addWidget(edit, row++, 1);
  }
  auto* hemisphere = new QGroupBox(QStringLiteral("Hemisphere"), computing);
  auto* hemisphereLayout = new QHBoxLayout(hemisphere);
  RBNorth = named(new QRadioButton(QStringLiteral("North"), hemisphere), "RBNorth");
  RBSouth = named(new QRadioButton(QStringLiteral("South"), hemisphere), "RBSouth");
  RBNorth->setChecked(true);
  hemisphereLayout->addWidget(RBNorth);
  hemisphereLayout->addWidget(RBSouth);
  form->addWidget(hemisphere, row++, 0, 1, 2);

  // Options and their Set buttons. The option dialogs are opened from here.
  auto* options = new QGroupBox(QStringLiteral("Options"), central);
  auto* optionGrid = new QGridLayout(options);
  CBHarm = named(new QCheckBox(QStringLiteral("Pulse harm."), options), "CBHarm");
  CBHarm->setChecked(true);
  CBEllipt = named(new QCheckBox(QStringLiteral("Ellipt. polar."), options), "CBEllipt");
  CB3D = named(new QCheckBox(QStringLiteral("3D target"), options), "CB3D");
  B3DSet = named(new QPushButton(QStringLiteral("Set"), options), "B3DSet");
  CBFreqShift = named(new QCheckBox(QStringLiteral("Frequency shift"), options), "CBFreqShift");
  BFreqSet = named(new QPushButton(QStringLiteral("Set"), options), "BFreqSet");
  CBTopo = named(new QCheckBox(QStringLiteral("Topography"), options), "CBTopo");
  CBTopo->setEnabled(false);
  BTopoSet = named(new QPushButton(QStringLiteral("Set"), options), "BTopoSet");
  CBRunList = named(new QCheckBox(QStringLiteral("Run list"), options), "CBRunList");
  BRunListSet = named(new QPushButton(QStringLiteral("Set"), options), "BRunListSet");
  optionGrid->addWidget(CBHarm, 0, 0);
  optionGrid->addWidget(CBEllipt, 0, 1);
  const std::pair<QCheckBox*, QPushButton*> switches[] = {
      {CB3D, B3DSet}, {CBFreqShift, BFreqSet}, {CBTopo, BTopoSet}, {CBRunList, BRunListSet}};
  row = 1;
  for (const auto& [box, set] : switches) {
    set->setEnabled(false);
    set->setMaximumWidth(50);
    optionGrid->addWidget(box, row, 0);
    optionGrid->addWidget(set, row++, 1);
  }
  // A Set button works exactly while its option is checked.
  connect(CB3D, &QCheckBox::toggled, this, [this](bool on) {
    B3DSet->setEnabled(on);
    if (on) refreshChart();
  });
  connect(CBFreqShift, &QCheckBox::toggled, BFreqSet, &QPushButton::setEnabled);
  connect(CBTopo, &QCheckBox::toggled, BTopoSet, &QPushButton::setEnabled);
  connect(B3DSet, &QPushButton::clicked, this, &TFKVOComput::B3DSetClick);
  connect(BFreqSet, &QPushButton::clicked, this, &TFKVOComput::BFreqSetClick);
  connect(BTopoSet, &QPushButton::clicked, this, &TFKVOComput::BTopoSetClick);

  // Layered section.
  auto* section = new QGroupBox(QStringLiteral("Geoelectrical cross-section"), central);
  auto* sectionLayout = new QGridLayout(section);
  SGLayers = named(new QTableWidget(1, 3, section), "SGLayers");
  SGLayers->setHorizontalHeaderLabels(
      {QStringLiteral("Depth\nFrom"), QStringLiteral("Depth\nTo"), QStringLiteral("Resistivity\n(ohm-m)")});
  SGLayers->verticalHeader()->hide();
  SGLayers->setColumnWidth(kFromColumn, 70);
  SGLayers->setColumnWidth(kToColumn, 70);
  SGLayers->setMinimumWidth(230);
  SGLayers->setMinimumHeight(SGLayers->horizontalHeader()->height() + 6 * 30);
  SGLayers->installEventFilter(this);
  connect(SGLayers, &QTableWidget::cellChanged, this, [this](int, int column) {
    if (column == kToColumn) updateFromColumn();
  });
  ELNumber = named(new QLineEdit(QStringLiteral("1"), section), "ELNumber");
  ELNumber->setReadOnly(true);
  ELNumber->setMaximumWidth(40);
  UDLNumber = named(new UpDown(Qt::Vertical, 1, 6, section), "UDLNumber");
  UDLNumber->setPosition(1);
  connect(UDLNumber, &UpDown::clicked, this, &TFKVOComput::UDLNumberClick);
  auto* layersLabel = new QLabel(QStringLiteral("Layers"), section);
  sectionLayout->addWidget(layersLabel, 0, 0);
  sectionLayout->addWidget(ELNumber, 0, 1);
  sectionLayout->addWidget(UDLNumber, 0, 2, Qt::AlignLeft);
  sectionLayout->addWidget(SGLayers, 1, 0, 1, 4);

  // Commands and file names.
  auto* commands = new QGridLayout;
  BLoops = named(new QPushButton(QStringLiteral("Set loops"), central), "BLoops");
  BSave = named(new QPushButton(QStringLiteral("Save"), central), "BSave");
  BLoad = named(new QPushButton(QStringLiteral("Load"), central), "BLoad");
  BRun = named(new QPushButton(QStringLiteral("Run"), central), "BRun");
  BHelp = named(new QPushButton(QStringLiteral("Help"), central), "BHelp");
  BSettings = named(new QPushButton(QStringLiteral("Settings"), central), "BSettings");
  BKernel = named(new QPushButton(QStringLiteral("Kernel"), central), "BKernel");
  BKernel->setEnabled(false);
  int column = 0;
  for (QPushButton* b : {BLoops, BSave, BLoad, BRun, BHelp, BSettings, BKernel}) commands->addWidget(b, 0, column++);
  connect(BLoops, &QPushButton::clicked, this, &TFKVOComput::BLoopsClick);
  connect(BSave, &QPushButton::clicked, this, &TFKVOComput::BSaveClick);
  connect(BLoad, &QPushButton::clicked, this, &TFKVOComput::BLoadClick);
  connect(BRun, &QPushButton::clicked, this, &TFKVOComput::BRunClick);
  connect(BHelp, &QPushButton::clicked, this, &TFKVOComput::BHelpClick);
  connect(BSettings, &QPushButton::clicked, this, &TFKVOComput::BSettingsClick);
  connect(BKernel, &QPushButton::clicked, this, &TFKVOComput::BKernelClick);
  showSamplingHint();
  connect(CBRunList, &QCheckBox::toggled, BRunListSet, &QPushButton::setEnabled);
  connect(BRunListSet, &QPushButton::clicked, this, &TFKVOComput::BRunListSetClick);
  auto* files = new QGridLayout;
  ESaved = named(new QLineEdit(central), "ESaved");
  ELoaded = named(new QLineEdit(central), "ELoaded");
  EResult = named(new QLineEdit(central), "EResult");
  const std::pair<const char*, QLineEdit*> fileRows[] = {
      {"Saved", ESaved}, {"Loaded", ELoaded}, {"Result", EResult}};
  row = 0;
  for (const auto& [label, edit] : fileRows) {
    edit->setReadOnly(true);
    files->addWidget(new QLabel(QString::fromLatin1(label), central), row, 0);
    files->addWidget(edit, row++, 1);
  }

  // Loop map.
  m_chart = createLoopMapChart();
  ChLoops = named(new LoopMapView(m_chart, central), "ChLoops");
  ChLoops->setMinimumSize(420, 400);
  LTxOn = named(new QLabel(QStringLiteral("Tx loop"), central), "LTxOn");
  LRxOn = named(new QLabel(QStringLiteral("Rx loop"), central), "LRxOn");
  LRxOn->setStyleSheet(QStringLiteral("color: red"));
  L3D = named(new QLabel(QStringLiteral("3D target"), central), "L3D");
  L3D->setStyleSheet(QStringLiteral("color: blue"));
  LRxOn->hide();
  L3D->hide();
  auto* mapLabels = new QHBoxLayout;
  mapLabels->addWidget(LTxOn);
  mapLabels->addWidget(LRxOn);
  mapLabels->addWidget(L3D);
  mapLabels->addStretch();

  auto* left = new QVBoxLayout;
  left->addWidget(computing);
  left->addWidget(options);
  left->addStretch();
  auto* middle = new QVBoxLayout;
  middle->addWidget(section, 1);
  auto* right = new QVBoxLayout;
  right->addLayout(mapLabels);
  right->addWidget(ChLoops, 1);
  auto* top = new QHBoxLayout;
  top->addLayout(left);
  top->addLayout(middle);
  top->addLayout(right, 1);
  auto* layout = new QVBoxLayout(central);
  layout->addLayout(top, 1);
  layout->addLayout(commands);
  layout->addLayout(files);

  StartTimer = new QTimer(this);
  StartTimer->setObjectName(QStringLiteral("StartTimer"));
  StartTimer->setSingleShot(true);
  StartTimer->setInterval(50);
  connect(StartTimer, &QTimer::timeout, this, &TFKVOComput::StartTimerTimer);
  resize(1240, 680);
}

void TFKVOComput::startUp() {
  m_context.parameters = core::defaultSoundingParameters();
  m_context.StartupFolder = m_options.startupFolder;
  const core::FileOutcome read =
      core::readParameterFile(m_context.CurrentParameterFile, m_context.RunListFile,
                              core::ParameterFileMode::Working, m_context.StartupFolder,
                              m_context.parameters);
  std::string startupMessage;
  if (read.status == core::FileOutcome::Status::CannotOpen) {
    const core::FileOutcome written = core::writeParameterFile(
        m_context.CurrentParameterFile, m_context.RunListFile, core::ParameterFileMode::Working,
        m_context.StartupFolder, m_context.parameters);
    if (!written.ok()) startupMessage = written.message;
  } else if (!read.ok()) {
    // A damaged working file is kept as it is for the user to look at; the
    // window starts from the defaults and the next Save or Run rewrites it.
    startupMessage = read.message;
  }
  showParameters();
  updateKernelButton();
  // The map shows the loaded loops at once, also when the loop dialog that
  // follows is cancelled.
  core::buildLoopOutline(m_context.outline, core::kTxOutlineIndex, m_context.parameters.tx);
  refreshChart();
  if (!startupMessage.empty()) {
    QTimer::singleShot(0, this, [this, startupMessage] { showError(m_context, startupMessage, this); });
  }
  if (m_options.openLoopDialog) StartTimer->start();
}

void TFKVOComput::StartTimerTimer() {
  StartTimer->stop();
  SGLayers->setColumnWidth(kResistivityColumn, 65);
  BLoopsClick();
}

core::MainWindowFields TFKVOComput::readFields() const {
  core::MainWindowFields f;
  f.larmorFrequency = ELarmFreq->text().toStdString();
  f.pulseDuration = EPulseDur->text().toStdString();
  f.maxDepth = EMaxDepth->text().toStdString();
  f.inclination = EInclin->text().toStdString();
  f.maxPulseMoment = EMaxMoment->text().toStdString();
  f.switches.north = RBNorth->isChecked();
  f.switches.singleDepth = m_singleDepth;
  f.switches.pulseHarmonics = CBHarm->isChecked();
  f.switches.ellipticalPolarisation = CBEllipt->isChecked();
  f.switches.frequencyShift = CBFreqShift->isChecked();
  f.switches.target3D = CB3D->isChecked();
  f.switches.topography = CBTopo->isChecked();
  for (int r = 0; r < SGLayers->rowCount(); ++r) {
    auto text = [&](int c) {
      const QTableWidgetItem* item = SGLayers->item(r, c);
      return item != nullptr ? item->text().toStdString() : std::string();
    };
    f.layers.push_back({text(kFromColumn), text(kToColumn), text(kResistivityColumn)});
  }
  return f;
}

bool TFKVOComput::collectParameters() {
  core::MainWindowValues values;
  auto message = core::readMainWindowFields(readFields(), values);
  if (!message) message = core::collectParameters(values, m_context.parameters);
  if (message) {
    showError(m_context, *message, this);
    return false;
  }
  // Storing may have raised the model's lower edge in the last "To" cell.
  setLayerRows(values.layers);
  return true;
}

void TFKVOComput::showParameters() {
  const core::MainWindowFields f = core::showParameters(m_context.parameters, m_singleDepth);
  ELarmFreq->setText(q(f.larmorFrequency));
  EPulseDur->setText(q(f.pulseDuration));
  setSingleDepth(f.switches.singleDepth);
  EMaxDepth->setText(q(f.maxDepth));
  (f.switches.north ? RBNorth : RBSouth)->setChecked(true);
  EInclin->setText(q(f.inclination));
  EMaxMoment->setText(q(f.maxPulseMoment));
  CBHarm->setChecked(f.switches.pulseHarmonics);
  CBEllipt->setChecked(f.switches.ellipticalPolarisation);
  CBFreqShift->setChecked(f.switches.frequencyShift);
  CB3D->setChecked(f.switches.target3D);
  CBTopo->setChecked(f.switches.topography);
  setLayerRows(f.layers);
  const int n = SGLayers->rowCount();
  ELNumber->setText(QString::number(n));
  UDLNumber->setPosition(n);
}

void TFKVOComput::setLayerRows(const std::vector<core::LayerRow>& rows) {
  const QSignalBlocker blocker(SGLayers);
  SGLayers->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const core::LayerRow& row = rows[static_cast<std::size_t>(r)];
    SGLayers->setItem(r, kFromColumn, cell(row.from, false));
    SGLayers->setItem(r, kToColumn, cell(row.to, true));
    SGLayers->setItem(r, kResistivityColumn, cell(row.resistivity, true));
  }
}

void TFKVOComput::updateFromColumn() {
  const QSignalBlocker blocker(SGLayers);
  for (int r = 0; r < SGLayers->rowCount(); ++r) {
    const QString from = r == 0 ? QStringLiteral("0.0") : SGLayers->item(r - 1, kToColumn)->text();
    SGLayers->setItem(r, kFromColumn, cell(from.toStdString(), false));
  }
}

void TFKVOComput::UDLNumberClick() {
  const int position = UDLNumber->position();
  ELNumber->setText(QString::number(position));
  const QSignalBlocker blocker(SGLayers);
  const int rows = SGLayers->rowCount();
  if (position > rows) {
    SGLayers->setRowCount(rows + 1);
    const QString above = SGLayers->item(rows - 1, kToColumn)->text();
    SGLayers->setItem(rows, kFromColumn, cell(above.toStdString(), false));
    SGLayers->setItem(rows, kToColumn, cell("0.0", true));
    SGLayers->setItem(rows, kResistivityColumn, cell("0.0", true));
  } else if (position < rows) {
    SGLayers->setRowCount(rows - 1);
  }
}

void TFKVOComput::setSingleDepth(bool on) {
  m_singleDepth = on;
  LMaxDepth->setStyleSheet(on ? QStringLiteral("color: red") : QStringLiteral("color: black"));
}

void TFKVOComput::LMaxDepthDblClick() { setSingleDepth(!m_singleDepth); }

bool TFKVOComput::eventFilter(QObject* watched, QEvent* event) {
  if (watched == LMaxDepth && event->type() == QEvent::MouseButtonDblClick) {
    LMaxDepthDblClick();
    return true;
  }
  if (watched == SGLayers && event->type() == QEvent::KeyRelease && SGLayers->rowCount() >= 2) {
    updateFromColumn();
  }
  return QMainWindow::eventFilter(watched, event);
}

void TFKVOComput::refreshChart() {
  const core::LoopOutline& o = m_context.outline;
  double sum = 0.0;
  for (std::size_t i = 0; i < 3; ++i) sum += std::fabs(o.outlineEast[i]) + std::fabs(o.outlineNorth[i]);
  if (!(sum > 0.0)) return;
  const core::TargetSetup& target = m_context.parameters.target;
  const bool withTarget = target[core::kTargetEnabled] != 0;
  if (withTarget) {
    drawTargetProjection(m_chart, target, core::TargetView::Map);
  } else {
    mapSeries(m_chart, 2)->clear();
  }
  const bool withRx = core::loopTypeCode(m_context.parameters.rx) != 0;
  plotLoopOutlines(m_chart, m_context.outline, m_context.parameters.tx, m_context.parameters.rx,
                   withRx, LTxOn, LRxOn);
  fitMapScale(m_chart, m_context.outline, withRx, &target, L3D);
}

void TFKVOComput::BLoopsClick() {
  TFLoops dialog(m_context, this, m_options.files);
  dialog.exec();
  refreshChart();
}

void TFKVOComput::B3DSetClick() {
  TF3DTarget dialog(m_context, this);
  dialog.exec();
  refreshChart();
}

void TFKVOComput::BFreqSetClick() {
  TFFrequencyShift dialog(m_context, ELarmFreq->text(), EMaxMoment->text(), this);
  dialog.exec();
}

void TFKVOComput::BTopoSetClick() {
  TFTopography dialog(m_context, this);
  dialog.exec();
}

std::pair<std::string, std::string> TFKVOComput::readWorkingHeader() {
  return core::readWorkingFileHeader(m_context.StartupFolder);
}

QString TFKVOComput::folderFor(const std::string& name) const {
  return QString::fromStdString(core::dialogFolderFor(name, m_context.StartupFolder).string());
}

bool TFKVOComput::writeParameterFiles(const std::string& file) {
  for (const auto& [name, mode] : {std::pair{file, core::ParameterFileMode::Parameters},
                                   std::pair{file, core::ParameterFileMode::Working}}) {
    const core::FileOutcome written = core::writeParameterFile(
        name, m_context.RunListFile, mode, m_context.StartupFolder, m_context.parameters);
    if (!written.ok()) {
      showError(m_context, written.message, this);
      return false;
    }
  }
  return true;
}

std::optional<std::string> TFKVOComput::chooseFileToWrite(const QString& caption, const QString& filter,
                                                           const QString& suffix) {
  const auto [headerFirst, headerSecond] = readWorkingHeader();
  m_context.RunListFile = headerSecond;
  const QString chosen = m_options.files.save(this, caption, folderFor(headerFirst), filter, suffix);
  if (chosen.isEmpty()) {
    m_context.CurrentParameterFile = headerFirst;
    showOpenFailure(m_context, this);
    return std::nullopt;
  }
  const std::string file = chosen.toStdString();
  if (QFileInfo::exists(chosen) && !confirmOverwrite(m_context, file, this)) return std::nullopt;
  m_context.CurrentParameterFile = file;
  return file;
}

void TFKVOComput::BSaveClick() {
  const AtScopeEnd recheck{[this] { updateKernelButton(); }};
  if (!collectParameters()) return;
  const auto file = chooseFileToWrite(QStringLiteral("Save parameters"), kParameterFilter, QStringLiteral("nmc"));
  if (!file || !writeParameterFiles(*file)) return;
  showFileName(ESaved, *file);
}

void TFKVOComput::BLoadClick() {
  const AtScopeEnd recheck{[this] { updateKernelButton(); }};
  const auto [headerFirst, second] = readWorkingHeader();
  const QString chosen = m_options.files.open(this, QStringLiteral("Load parameters"), folderFor(headerFirst),
                                              kParameterFilter, QStringLiteral("nmc"));
  std::string file = chosen.toStdString();
  if (chosen.isEmpty()) {
    m_context.CurrentParameterFile = file;
    showOpenFailure(m_context, this);
    return;
  }
  std::string ignored;
  const core::FileOutcome read = core::readParameterFile(
      file, ignored, core::ParameterFileMode::Parameters, m_context.StartupFolder, m_context.parameters);
  if (!read.ok()) {
    showError(m_context, read.message, this);
    return;
  }
  m_context.CurrentParameterFile = file;
  showParameters();
  const core::FileOutcome written =
      core::writeParameterFile(file, second, core::ParameterFileMode::Working,
                               m_context.StartupFolder, m_context.parameters);
  if (!written.ok()) showError(m_context, written.message, this);
  showFileName(ELoaded, file);
  updateKernelButton();
  BLoopsClick();
}

void TFKVOComput::BRunClick() {
  // After a run (a single one or a run list) the result may exist now.
  const AtScopeEnd recheck{[this] { updateKernelButton(); }};
  if (!CBRunList->isChecked()) {
    const auto file = chooseFileToWrite(QStringLiteral("Result file"), kMatrixFilter, QStringLiteral("mrm"));
    if (!file) return;
    showFileName(EResult, *file);
  }
  if (!collectParameters()) return;
  refreshChart();
  if (!CBRunList->isChecked()) {
    m_context.CurrentParameterFile = core::parameterFileForResult(m_context.CurrentParameterFile);
    if (!writeParameterFiles(m_context.CurrentParameterFile)) return;
  }
  {
    TFRunComputing progress(m_context, CBRunList->isChecked(), m_options.compute, this);
    progress.exec();
  }
  switch (m_context.RunStatus) {
    case kRunFieldFailed:
      showError(m_context, "FATAL ERROR. VODIVI: Bad input geometry", this);
      close();
      break;
    case kRunFailedWithMessage:
      // A failure with its own reason (a result file that cannot be written,
      // a damaged list): the reason is shown and the program goes on.
      showError(m_context, m_context.MessageText, this);
      m_context.RunStatus = kRunNothingToReport;
      break;
    case kRunStoppedByUser:
      showError(m_context, "Computing has been stopped by User", this);
      m_context.RunStatus = kRunNothingToReport;
      break;
    default:
      break;
  }
}

void TFKVOComput::BRunListSetClick() {
  auto windowValues = [this](std::string& message) -> std::optional<core::MainWindowValues> {
    core::MainWindowValues values;
    if (auto e = core::readMainWindowFields(readFields(), values)) {
      message = *e;
      return std::nullopt;
    }
    return values;
  };
  TFRunList editor(m_context, windowValues, this, m_options.files);
  editor.exec();
}

void TFKVOComput::BHelpClick() {
  BHelp->setEnabled(false);
  const std::filesystem::path helpFile = m_context.StartupFolder / kHelpFileName;
  m_context.MessageText = helpFile.string();
  auto* help = new TFHelp(m_context, QString::fromStdString(helpFile.string()), this);
  connect(help, &TFHelp::closed, this, [this] { BHelp->setEnabled(true); });
  help->show();
}

void TFKVOComput::BSettingsClick() {
  TFSettings dialog(m_context, m_context.sampling, this);
  if (dialog.exec() != QDialog::Accepted) return;
  m_context.sampling = dialog.settings();
  showSamplingHint();
  if (auto message = saveSamplingSettings(m_context.sampling)) showError(m_context, *message, this);
}

std::string TFKVOComput::kernelFileName() const {
  const std::string& current = m_context.CurrentParameterFile;
  if (current.empty() || current == core::kNoFileName) return {};
  return core::withLastThreeReplaced(current, "mrm");
}

void TFKVOComput::updateKernelButton() {
  const std::string file = kernelFileName();
  std::error_code error;
  const bool present = !file.empty() && std::filesystem::is_regular_file(std::filesystem::path(file), error);
  BKernel->setEnabled(present);
  BKernel->setToolTip(present ? QStringLiteral("Show the kernel of ") + q(file)
                              : QStringLiteral("No result file for the current parameter file yet: Run computes it"));
}

void TFKVOComput::BKernelClick() {
  updateKernelButton();
  if (!BKernel->isEnabled()) return;
  auto* window = new TFKernel(m_context, this, m_options.files);
  window->setAttribute(Qt::WA_DeleteOnClose);
  if (!window->openFile(q(kernelFileName()))) {
    delete window;
    return;
  }
  window->show();
}

void TFKVOComput::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && BKernel != nullptr) updateKernelButton();
  QMainWindow::changeEvent(event);
}

void TFKVOComput::showSamplingHint() {
  const core::SamplingSettings& s = m_context.sampling;
  QString hint = QStringLiteral("Computation settings: ") + q(std::string(core::samplingName(s.sampling))) +
                 QStringLiteral(" sampling");
  if (s.sampling == core::Sampling::Converged) hint += QStringLiteral(", tolerance ") + toleranceText(s.tolerance);
  BSettings->setToolTip(hint);
}

void TFKVOComput::closeEvent(QCloseEvent* event) {
  TFExit exitWindow(this, m_options.exitMs);
  exitWindow.exec();
  event->accept();
}

}  // namespace kvo::gui
