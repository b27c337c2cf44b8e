#include "kernel/tf_kernel.h"
#include "app/widget_names.h"

#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "app/tf_error.h"
#include "app/tf_overwrite.h"
#include "kernel/chart_axes.h"
#include "kernel/curve_chart.h"
#include "kernel/kernel_csv.h"
#include "kernel/kernel_image_chart.h"
#include "kernel/water_model_fields.h"
#include "model/number_text.h"
#include "plot/picture_export.h"
#include "plot/picture_file.h"
#include "util/atomic_file.h"

namespace kvo::gui {
namespace {

constexpr std::size_t kMaxProfiles = 5;
const QColor kProfileColours[kMaxProfiles] = {QColor(220, 20, 60), QColor(255, 140, 0), QColor(0, 160, 80),
                                              QColor(30, 110, 255), QColor(170, 40, 200)};

enum ModelColumn { kTopColumn, kBottomColumn, kContentColumn, kT2Column, kModelColumns };

const QString kCsvFilter = QStringLiteral("Comma-separated values (*.csv);;All files (*)");

QString fixed(double value, int decimals) { return q(core::formatFixed(value, 0, decimals)); }

QString momentLabel(double moment) { return QString::number(moment, 'g', 4) + QStringLiteral(" A-ms"); }

QTableWidget* makeTable(QWidget* parent, const char* name, const QStringList& headers) {
  auto* table = named(new QTableWidget(0, static_cast<int>(headers.size()), parent), name);
  table->setHorizontalHeaderLabels(headers);
  table->verticalHeader()->hide();
  table->verticalHeader()->setDefaultSectionSize(22);
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  return table;
}

QChartView* makeView(QChart* chart, QWidget* parent, const char* name) {
  auto* view = named(new QChartView(chart, parent), name);
  view->setRenderHint(QPainter::Antialiasing);
  return view;
}

std::optional<QString> writeText(const QString& path, const std::string& text) {
  if (auto message = core::writeFileAtomically(std::filesystem::path(QFile::encodeName(path).toStdString()), text))
    return q(*message);
  return std::nullopt;
}

}  // namespace

TFKernel::TFKernel(core::AppContext& context, QWidget* parent, FileChooser files)
    : QWidget(parent, Qt::Window), m_context(context), m_files(std::move(files)) {
  setObjectName(QStringLiteral("TFKernel"));
  setWindowTitle(QStringLiteral("Kernel"));
  buildWindow();
}

void TFKernel::buildWindow() {
  CBQuantity = named(new QComboBox(this), "CBQuantity");
  for (KernelQuantity k : kKernelQuantities) {
    CBQuantity->addItem(quantityName(k) + QStringLiteral(" (") + quantityUnit(k) + QStringLiteral(")"),
                        static_cast<int>(k));
  }
  connect(CBQuantity, &QComboBox::currentIndexChanged, this,
          [this](int index) { setQuantity(static_cast<KernelQuantity>(CBQuantity->itemData(index).toInt())); });
  CBLogPulse = named(new QCheckBox(QStringLiteral("Log pulse moment"), this), "CBLogPulse");
  CBLogPulse->setChecked(true);
  CBLogDepth = named(new QCheckBox(QStringLiteral("Log depth"), this), "CBLogDepth");
  BClearProfiles = named(new QPushButton(QStringLiteral("Clear profiles"), this), "BClearProfiles");
  BClearProfiles->setToolTip(QStringLiteral("Click the picture to add the depth profile of a pulse moment"));
  BOpen = named(new QPushButton(QStringLiteral("Open..."), this), "BOpen");
  BSavePicture = named(new QPushButton(QStringLiteral("Save picture"), this), "BSavePicture");
  BSaveData = named(new QPushButton(QStringLiteral("Save data"), this), "BSaveData");
  connect(CBLogPulse, &QCheckBox::toggled, this, [this] {
    if (!m_kernel) return;
    if (m_kernel->singleDepth()) {
      showSignal();
    } else {
      redrawImage();
      updateSounding();
    }
  });
  connect(CBLogDepth, &QCheckBox::toggled, this, [this] {
    if (!m_kernel || m_kernel->singleDepth()) return;
    redrawImage();
    redrawProfiles();
  });
  connect(BClearProfiles, &QPushButton::clicked, this, &TFKernel::BClearProfilesClick);
  connect(BOpen, &QPushButton::clicked, this, &TFKernel::BOpenClick);
  connect(BSavePicture, &QPushButton::clicked, this, &TFKernel::BSavePictureClick);
  connect(BSaveData, &QPushButton::clicked, this, &TFKernel::BSaveDataClick);
  LInfo = named(new QLabel(this), "LInfo");

  auto* controls = new QHBoxLayout;
  controls->addWidget(new QLabel(QStringLiteral("Show"), this));
  controls->addWidget(CBQuantity);
  controls->addWidget(CBLogPulse);
  controls->addWidget(CBLogDepth);
  controls->addWidget(BClearProfiles);
  controls->addStretch();
  controls->addWidget(LInfo);
  controls->addStretch();
  for (QPushButton* b : {BOpen, BSavePicture, BSaveData}) controls->addWidget(b);

  // The depth series: picture and profiles above, the water model below.
  auto* kernelPage = new QWidget(this);
  m_imageChart = new KernelImageChart;
  ChKernel = makeView(m_imageChart, kernelPage, "ChKernel");
  ChKernel->viewport()->installEventFilter(this);
  ChKernel->viewport()->setCursor(Qt::CrossCursor);
  m_profileChart = new ProfileChart;
  ChProfiles = makeView(m_profileChart, kernelPage, "ChProfiles");
  auto* charts = new QSplitter(Qt::Horizontal, kernelPage);
  charts->addWidget(ChKernel);
  charts->addWidget(ChProfiles);
  charts->setStretchFactor(0, 3);
  charts->setStretchFactor(1, 2);
  charts->setSizes({780, 520});

  auto* model = new QGroupBox(QStringLiteral("Water model"), kernelPage);
  SGModel = makeTable(model, "SGModel",
                      {QStringLiteral("Top (m)"), QStringLiteral("Bottom (m)"), QStringLiteral("Content"),
                       QStringLiteral("T2* (s)")});
  SGModel->setToolTip(
      QStringLiteral("Layers of water within the kernel's depths: top and bottom (m), water content (0 to 1) "
                     "and T2* (s, empty for no decay)"));
  connect(SGModel, &QTableWidget::cellChanged, this, [this] { updateSounding(); });
  BAddLayer = named(new QPushButton(QStringLiteral("Add layer"), model), "BAddLayer");
  BRemoveLayer = named(new QPushButton(QStringLiteral("Remove layer"), model), "BRemoveLayer");
  connect(BAddLayer, &QPushButton::clicked, this, &TFKernel::BAddLayerClick);
  connect(BRemoveLayer, &QPushButton::clicked, this, &TFKernel::BRemoveLayerClick);
  LModelMessage = named(new QLabel(model), "LModelMessage");
  LModelMessage->setWordWrap(true);
  LModelMessage->setStyleSheet(QStringLiteral("color: red"));
  auto* modelButtons = new QHBoxLayout;
  modelButtons->addWidget(BAddLayer);
  modelButtons->addWidget(BRemoveLayer);
  modelButtons->addStretch();
  auto* modelLayout = new QVBoxLayout(model);
  modelLayout->addWidget(SGModel, 1);
  modelLayout->addLayout(modelButtons);
  modelLayout->addWidget(LModelMessage);
  model->setMinimumWidth(340);

  m_soundingChart = new CurveChart(QStringLiteral("Sounding curve of the water model"), QStringLiteral("Amplitude (nV)"));
  ChSounding = makeView(m_soundingChart, kernelPage, "ChSounding");
  SGCurve = makeTable(kernelPage, "SGCurve",
                      {QStringLiteral("Pulse (A-ms)"), QStringLiteral("Amplitude (nV)"), QStringLiteral("Phase (deg)")});
  SGCurve->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SGCurve->setMinimumWidth(300);
  auto* lower = new QSplitter(Qt::Horizontal, kernelPage);
  lower->addWidget(model);
  lower->addWidget(ChSounding);
  lower->addWidget(SGCurve);
  lower->setStretchFactor(0, 0);
  lower->setStretchFactor(1, 1);
  lower->setStretchFactor(2, 0);
  auto* vertical = new QSplitter(Qt::Vertical, kernelPage);
  vertical->addWidget(charts);
  vertical->addWidget(lower);
  vertical->setStretchFactor(0, 3);
  vertical->setStretchFactor(1, 2);
  vertical->setSizes({400, 270});
  ChKernel->setMinimumSize(420, 300);
  ChProfiles->setMinimumSize(280, 300);
  ChSounding->setMinimumSize(360, 200);
  auto* kernelLayout = new QVBoxLayout(kernelPage);
  kernelLayout->setContentsMargins(0, 0, 0, 0);
  kernelLayout->addWidget(vertical);

  // A single depth: its signal table's curve.
  auto* signalPage = new QWidget(this);
  m_signalChart = new CurveChart(QStringLiteral("Signal table"), QStringLiteral("Amplitude (nV/m)"));
  ChSignal = makeView(m_signalChart, signalPage, "ChSignal");
  SGSignal = makeTable(signalPage, "SGSignal",
                       {QStringLiteral("Pulse (A-ms)"), QStringLiteral("Amplitude (nV/m)"), QStringLiteral("Phase (deg)")});
  SGSignal->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SGSignal->setMinimumWidth(360);
  auto* signalLayout = new QHBoxLayout(signalPage);
  signalLayout->setContentsMargins(0, 0, 0, 0);
  signalLayout->addWidget(ChSignal, 1);
  signalLayout->addWidget(SGSignal);

  m_pages = named(new QStackedWidget(this), "SPages");
  m_pages->addWidget(kernelPage);
  m_pages->addWidget(signalPage);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addWidget(m_pages, 1);
  for (QWidget* w : std::initializer_list<QWidget*>{CBQuantity, CBLogPulse, CBLogDepth, BClearProfiles,
                                                    BSavePicture, BSaveData}) {
    w->setEnabled(false);
  }
  resize(1340, 700);
}

bool TFKernel::openFile(const QString& path) {
  core::KernelReadResult read = core::ReadKernelFile(QFile::encodeName(path).toStdString());
  if (!read.data) {
    showError(m_context, read.message, this);
    return false;
  }
  m_kernel = std::move(read.data);
  m_path = path;
  m_picked.clear();
  setWindowTitle(QStringLiteral("Kernel - ") + QFileInfo(path).fileName());
  for (QWidget* w : std::initializer_list<QWidget*>{CBLogPulse, BSavePicture, BSaveData}) w->setEnabled(true);
  const bool series = !m_kernel->singleDepth();
  for (QWidget* w : std::initializer_list<QWidget*>{CBQuantity, CBLogDepth, BClearProfiles}) w->setEnabled(series);
  if (series) {
    showKernel();
  } else {
    showSignal();
  }
  return true;
}

void TFKernel::showKernel() {
  const core::KernelData& k = *m_kernel;
  m_pages->setCurrentIndex(0);
  LInfo->setText(QStringLiteral("%1 pulse moments, %2 depths from %3 to %4 m")
                     .arg(k.pulseMoments.size())
                     .arg(k.depths.size())
                     .arg(k.depths.front())
                     .arg(k.depths.back()));
  m_imageChart->setKernel(k.pulseMoments, k.depths);
  m_imageChart->setTitle(QFileInfo(m_path).fileName());
  redrawImage();
  redrawProfiles();
  // A first model: a layer of 30 % water over the upper half of the depths.
  const double middle = k.depths[k.depths.size() / 2];
  const QString bottom = QString::number(middle, 'g', 3);
  setModelRows({{QString::number(k.depths.front(), 'g', 6),
                 bottom.toDouble() > k.depths.back() ? QString::number(middle, 'g', 6) : bottom, QStringLiteral("0.3"),
                 QString()}});
}

void TFKernel::showSignal() {
  const core::KernelData& k = *m_kernel;
  m_pages->setCurrentIndex(1);
  // The signal file's amplitudes and phases when it was read, otherwise the
  // kernel's own values.
  Curve curve;
  curve.pulseMoments = k.pulseMoments;
  if (k.amplitudes.size() == k.pulseMoments.size() && k.phases.size() == k.pulseMoments.size()) {
    curve.amplitudes = k.amplitudes;
    curve.phases = k.phases;
  } else {
    for (std::size_t p = 0; p < k.pulseMoments.size(); ++p) {
      curve.amplitudes.push_back(quantityOf(k.at(p, 0), KernelQuantity::Amplitude));
      curve.phases.push_back(quantityOf(k.at(p, 0), KernelQuantity::Phase));
    }
  }
  // A signal table read alone does not say its depth.
  const double depth = k.depths.front();
  const QString at = std::isfinite(depth) ? QStringLiteral("depth %1 m").arg(depth) : QStringLiteral("one depth");
  LInfo->setText(QStringLiteral("%1 pulse moments, single %2").arg(k.pulseMoments.size()).arg(at));
  m_signalChart->setTitle(QStringLiteral("Signal at %1 - %2").arg(at, QFileInfo(m_path).fileName()));
  m_signalChart->setCurve(curve, logPulse());
  fillCurveTable(SGSignal, curve.pulseMoments, curve.amplitudes, curve.phases, 2);
}

bool TFKernel::logPulse() const { return CBLogPulse->isChecked(); }

void TFKernel::setQuantity(KernelQuantity quantity) {
  m_quantity = quantity;
  const int index = CBQuantity->findData(static_cast<int>(quantity));
  if (CBQuantity->currentIndex() != index) {
    const QSignalBlocker blocker(CBQuantity);
    CBQuantity->setCurrentIndex(index);
  }
  if (m_kernel && !m_kernel->singleDepth()) redrawImage();
}

void TFKernel::redrawImage() {
  m_imageChart->setLogarithmic(Qt::Horizontal, CBLogPulse->isChecked());
  m_imageChart->setLogarithmic(Qt::Vertical, CBLogDepth->isChecked());
  m_values = quantityValues(*m_kernel, m_quantity);
  m_imageChart->setValues(m_values, ColourScale::forValues(m_values, m_quantity),
                          quantityName(m_quantity) + QStringLiteral(" (") + quantityUnit(m_quantity) +
                              QStringLiteral(")"));
}

std::vector<std::size_t> TFKernel::pickedPulses() const {
  std::vector<std::size_t> pulses;
  for (const PickedProfile& p : m_picked) pulses.push_back(p.pulse);
  return pulses;
}

void TFKernel::pickPulse(std::size_t pulse) {
  if (!m_kernel || m_kernel->singleDepth() || pulse >= m_kernel->pulseMoments.size()) return;
  int colour = static_cast<int>(m_picked.size());
  if (m_picked.size() == kMaxProfiles) {
    colour = m_picked.front().colour;
    m_picked.erase(m_picked.begin());
  }
  m_picked.push_back({pulse, colour});
  redrawProfiles();
}

void TFKernel::BClearProfilesClick() {
  m_picked.clear();
  redrawProfiles();
}

void TFKernel::redrawProfiles() {
  m_profiles.clear();
  std::vector<std::pair<double, QColor>> markers;
  if (m_kernel && !m_kernel->singleDepth()) {
    for (const PickedProfile& picked : m_picked) {
      Profile profile;
      const double moment = m_kernel->pulseMoments[picked.pulse];
      profile.label = momentLabel(moment);
      profile.colour = kProfileColours[picked.colour];
      for (std::size_t z = 0; z < m_kernel->depths.size(); ++z) {
        profile.values.push_back(quantityOf(m_kernel->at(picked.pulse, z), KernelQuantity::Amplitude));
      }
      markers.emplace_back(moment, profile.colour);
      m_profiles.push_back(std::move(profile));
    }
  }
  m_imageChart->setMarkers(markers);
  const std::vector<double> depths = m_kernel ? m_kernel->depths : std::vector<double>{};
  m_profileChart->setProfiles(depths, m_profiles, m_imageChart->axisScale(Qt::Vertical));
}

bool TFKernel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ChKernel->viewport() && event->type() == QEvent::MouseButtonPress) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton) {
      const QPointF inChart = m_imageChart->mapFromScene(ChKernel->mapToScene(mouse->position().toPoint()));
      if (const auto pulse = m_imageChart->pulseAt(inChart)) {
        pickPulse(*pulse);
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TFKernel::setModelRows(const std::vector<std::vector<QString>>& rows) {
  {
    const QSignalBlocker blocker(SGModel);
    SGModel->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
      for (int c = 0; c < kModelColumns; ++c) {
        const auto& row = rows[static_cast<std::size_t>(r)];
        SGModel->setItem(r, c, new QTableWidgetItem(c < static_cast<int>(row.size()) ? row[static_cast<std::size_t>(c)] : QString()));
      }
    }
  }
  updateSounding();
}

void TFKernel::BAddLayerClick() {
  // The new layer starts at the bottom of the last one.
  const int rows = SGModel->rowCount();
  const QString top = rows > 0 && SGModel->item(rows - 1, kBottomColumn) != nullptr
                          ? SGModel->item(rows - 1, kBottomColumn)->text()
                          : QString();
  const QSignalBlocker blocker(SGModel);
  SGModel->insertRow(rows);
  const QString cells[kModelColumns] = {top, QString(), QStringLiteral("0.1"), QString()};
  for (int c = 0; c < kModelColumns; ++c) SGModel->setItem(rows, c, new QTableWidgetItem(cells[c]));
  SGModel->setCurrentCell(rows, kBottomColumn);
  updateSounding();
}

void TFKernel::BRemoveLayerClick() {
  if (SGModel->rowCount() == 0) return;
  const int row = SGModel->currentRow() >= 0 ? SGModel->currentRow() : SGModel->rowCount() - 1;
  {
    const QSignalBlocker blocker(SGModel);
    SGModel->removeRow(row);
  }
  updateSounding();
}

void TFKernel::showModelMessage(const QString& message) {
  LModelMessage->setText(message);
  LModelMessage->setToolTip(message);
}

QString TFKernel::modelMessage() const { return LModelMessage->text(); }

bool TFKernel::updateSounding() {
  if (!m_kernel || m_kernel->singleDepth()) return false;
  std::vector<WaterLayerText> rows;
  for (int r = 0; r < SGModel->rowCount(); ++r) {
    auto text = [&](int c) {
      const QTableWidgetItem* item = SGModel->item(r, c);
      return item != nullptr ? item->text().toStdString() : std::string();
    };
    rows.push_back({text(kTopColumn), text(kBottomColumn), text(kContentColumn), text(kT2Column)});
  }
  std::vector<core::WaterLayer> layers;
  std::optional<std::string> message = readWaterModel(rows, layers);
  if (!message) message = core::CheckWaterModel(*m_kernel, layers);
  if (message) {
    // A refused model leaves no curve behind: what is drawn is always the
    // table's model.
    showModelMessage(q(*message));
    m_soundingChart->clearCurve();
    SGCurve->setRowCount(0);
    return false;
  }
  showModelMessage(QString());
  const std::vector<std::complex<double>> signal = core::ForwardResponse(*m_kernel, layers);
  Curve curve;
  curve.pulseMoments = m_kernel->pulseMoments;
  for (const std::complex<double>& v : signal) {
    curve.amplitudes.push_back(quantityOf(v, KernelQuantity::Amplitude));
    curve.phases.push_back(quantityOf(v, KernelQuantity::Phase));
  }
  m_soundingChart->setCurve(curve, logPulse());
  fillCurveTable(SGCurve, curve.pulseMoments, curve.amplitudes, curve.phases, 4);
  return true;
}

void TFKernel::fillCurveTable(QTableWidget* table, const std::vector<double>& pulses,
                              const std::vector<double>& amplitudes, const std::vector<double>& phases,
                              int amplitudeDecimals) {
  table->setRowCount(static_cast<int>(pulses.size()));
  for (int p = 0; p < static_cast<int>(pulses.size()); ++p) {
    const auto i = static_cast<std::size_t>(p);
    const QString cells[] = {fixed(pulses[i], 4), fixed(amplitudes[i], amplitudeDecimals), fixed(phases[i], 2)};
    for (int c = 0; c < 3; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      table->setItem(p, c, item);
    }
  }
}

QString TFKernel::dialogFolder() const {
  if (!m_lastFolder.isEmpty()) return m_lastFolder;
  return m_path.isEmpty() ? QDir::currentPath() : QFileInfo(m_path).absolutePath();
}

void TFKernel::BOpenClick() {
  const QString chosen = m_files.open(this, QStringLiteral("Open a result file"), dialogFolder(),
                                      QStringLiteral("KVO matrix (*.mrm);;Signal table (*.dat);;All files (*)"),
                                      QStringLiteral("mrm"));
  if (!chosen.isEmpty()) openFile(chosen);
}

QString TFKernel::companionName(const QString& path, const QString& part) const {
  if (part.isEmpty()) return path;
  const QFileInfo info(path);
  const QString suffix = info.suffix().isEmpty() ? QString() : QStringLiteral(".") + info.suffix();
  return QDir(info.path()).filePath(info.completeBaseName() + QStringLiteral("_") + part + suffix);
}

bool TFKernel::confirmReplacing(const QStringList& paths) {
  QStringList existing;
  for (const QString& path : paths) {
    if (QFileInfo::exists(path)) existing << QDir::toNativeSeparators(path);
  }
  if (existing.isEmpty()) return true;
  // The warning names the files through the shared buffer; the program's
  // current parameter file must not change for it.
  const std::string current = m_context.CurrentParameterFile;
  const bool yes = confirmOverwrite(m_context, existing.join(QStringLiteral(", ")).toStdString(), this);
  m_context.CurrentParameterFile = current;
  return yes;
}

void TFKernel::BSavePictureClick() {
  if (!m_kernel) return;
  const auto [chosen, filter] = m_files.saveWithFilter(this, QStringLiteral("Save picture"), dialogFolder(),
                                                       QString::fromLatin1(kPictureFileFilter));
  if (chosen.isEmpty()) return;
  const PictureFile picture = choosePictureFile(chosen, pictureFilterIndex(filter));
  std::vector<std::pair<QChartView*, QString>> files;
  if (m_kernel->singleDepth()) {
    files.emplace_back(ChSignal, picture.path);
  } else {
    files.emplace_back(ChKernel, picture.path);
    if (!m_profiles.empty()) files.emplace_back(ChProfiles, companionName(picture.path, QStringLiteral("profiles")));
    if (m_soundingChart->hasCurve()) files.emplace_back(ChSounding, companionName(picture.path, QStringLiteral("sounding")));
  }
  QStringList paths;
  for (const auto& file : files) paths << file.second;
  if (!confirmReplacing(paths)) return;
  for (const auto& [view, path] : files) {
    if (auto error = savePicture(view, path, picture.format)) {
      showError(m_context, error->toStdString(), this);
      return;
    }
  }
  m_lastFolder = QFileInfo(picture.path).absolutePath();
}

void TFKernel::BSaveDataClick() {
  if (!m_kernel) return;
  const QString chosen =
      m_files.save(this, QStringLiteral("Save data"), dialogFolder(), kCsvFilter, QStringLiteral("csv"));
  if (chosen.isEmpty()) return;
  std::vector<std::pair<QString, std::string>> files;
  if (m_kernel->singleDepth()) {
    files.emplace_back(chosen, curveCsv(m_signalChart->curve(), "Amplitude (nV/m)"));
  } else {
    files.emplace_back(chosen, matrixCsv(m_kernel->pulseMoments, m_kernel->depths, m_values, m_quantity));
    if (!m_profiles.empty()) {
      files.emplace_back(companionName(chosen, QStringLiteral("profiles")), profilesCsv(m_kernel->depths, m_profiles));
    }
    if (m_soundingChart->hasCurve()) {
      files.emplace_back(companionName(chosen, QStringLiteral("sounding")),
                         curveCsv(m_soundingChart->curve(), "Amplitude (nV)"));
    }
  }
  QStringList paths;
  for (const auto& file : files) paths << file.first;
  if (!confirmReplacing(paths)) return;
  for (const auto& [path, text] : files) {
    if (auto error = writeText(path, text)) {
      showError(m_context, error->toStdString(), this);
      return;
    }
  }
  m_lastFolder = QFileInfo(chosen).absolutePath();
}

}  // namespace kvo::gui
