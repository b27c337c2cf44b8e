#include "runlist/tf_run_list.h"
#include "app/widget_names.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <cmath>

#include "app/tf_error.h"
#include "app/tf_help.h"
#include "app/tf_open_failure.h"
#include "app/tf_overwrite.h"
#include "model/number_text.h"
#include "model/parameter_file.h"
#include "runlist/run_list_file.h"

namespace kvo::gui {
namespace {

constexpr int kNumberColumn = 0;
constexpr int kFileColumn = 1;
const QString kParameterFilter = QStringLiteral("Parameters files (*.nmc);;All files (*)");
const QString kRunListFilter = QStringLiteral("KVO computing run list files (*.mrl);;All files (*)");

QString twoDecimals(double value) { return q(core::formatFixed(value, 0, 2)); }

}  // namespace

TFRunList::TFRunList(core::AppContext& context, WindowValues windowValues, QWidget* parent,
                     FileChooser files)
    : QDialog(parent), m_context(context), m_windowValues(std::move(windowValues)), m_files(std::move(files)) {
  setObjectName(QStringLiteral("TFRunList"));
  setWindowTitle(QStringLiteral("Run list"));

  SGList = named(new QTableWidget(0, 2, this), "SGList");
  SGList->setHorizontalHeaderLabels({QStringLiteral("N"), QStringLiteral("File")});
  SGList->setColumnWidth(kNumberColumn, 44);
  SGList->horizontalHeader()->setStretchLastSection(true);
  SGList->setSelectionBehavior(QAbstractItemView::SelectRows);
  SGList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SGList->verticalHeader()->setSectionsMovable(true);
  SGList->verticalHeader()->setToolTip(QStringLiteral("Drag a row to move the entry"));
  SGList->setMinimumSize(520, 320);
  connect(SGList, &QTableWidget::cellClicked, this, [this](int row, int) { m_context.runListRow = row + 1; });
  connect(SGList, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
    m_context.runListRow = row + 1;
    SGListDblClick();
  });
  connect(SGList->verticalHeader(), &QHeaderView::sectionMoved, this, [this] {
    // Take the entries in the order shown, then lay the rows out afresh.
    std::vector<std::string> moved;
    QHeaderView* header = SGList->verticalHeader();
    for (int visual = 0; visual < SGList->rowCount(); ++visual) {
      moved.push_back(SGList->item(header->logicalIndex(visual), kFileColumn)->text().toStdString());
    }
    const QSignalBlocker blocker(header);
    for (int logical = 0; logical < SGList->rowCount(); ++logical) {
      header->moveSection(header->visualIndex(logical), logical);
    }
    setEntries(moved);
  });

  auto* counts = new QGridLayout;
  ETotal = named(new QLineEdit(QStringLiteral("0"), this), "ETotal");
  ETotal->setReadOnly(true);
  EStart = named(new QLineEdit(QStringLiteral("1"), this), "EStart");
  for (QLineEdit* e : {ETotal, EStart}) e->setMaximumWidth(70);
  counts->addWidget(new QLabel(QStringLiteral("Models"), this), 0, 0);
  counts->addWidget(new QLabel(QStringLiteral("total"), this), 1, 0);
  counts->addWidget(ETotal, 1, 1);
  counts->addWidget(new QLabel(QStringLiteral("Model"), this), 2, 0);
  counts->addWidget(new QLabel(QStringLiteral("to start"), this), 3, 0);
  counts->addWidget(EStart, 3, 1);

  auto* generator = new QGroupBox(QStringLiteral("Generate 3D models"), this);
  auto* grid = new QGridLayout(generator);
  EInitWE = named(new QLineEdit(generator), "EInitWE");
  EInitNS = named(new QLineEdit(generator), "EInitNS");
  EStepWE = named(new QLineEdit(generator), "EStepWE");
  EStepNS = named(new QLineEdit(generator), "EStepNS");
  ENumWE = named(new QLineEdit(generator), "ENumWE");
  ENumNS = named(new QLineEdit(generator), "ENumNS");
  grid->addWidget(new QLabel(QStringLiteral("W-E (m)"), generator), 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("N-S (m)"), generator), 0, 2);
  const std::tuple<const char*, QLineEdit*, QLineEdit*> rows[] = {
      {"Initial ", EInitWE, EInitNS}, {"Step", EStepWE, EStepNS}, {"Number", ENumWE, ENumNS}};
  int row = 1;
  for (const auto& [label, we, ns] : rows) {
    grid->addWidget(new QLabel(QString::fromLatin1(label), generator), row, 0);
    grid->addWidget(we, row, 1);
    grid->addWidget(ns, row++, 2);
    we->setMaximumWidth(80);
    ns->setMaximumWidth(80);
  }
  auto* make = named(new QPushButton(QStringLiteral("Generate 3D models"), generator), "BMake");
  grid->addWidget(make, row, 0, 1, 3);
  connect(make, &QPushButton::clicked, this, &TFRunList::BMakeClick);

  auto* buttons = new QGridLayout;
  const std::tuple<const char*, const char*, void (TFRunList::*)()> commands[] = {
      {"BAdd", "Add", &TFRunList::BAddClick},       {"BDelete", "Delete", &TFRunList::BDeleteClick},
      {"BClear", "Clear", &TFRunList::BClearClick}, {"BSave", "Save", &TFRunList::BSaveClick},
      {"BLoad", "Load", &TFRunList::BLoadClick},    {"BHelp", "Help", &TFRunList::BHelpClick},
      {"BOK", "OK", &TFRunList::BOKClick},          {"BCancel", "Cancel", &TFRunList::BCancelClick}};
  int index = 0;
  for (const auto& [name, caption, slot] : commands) {
    auto* button = named(new QPushButton(QString::fromLatin1(caption), this), name);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, slot);
    buttons->addWidget(button, index / 2, index % 2);
    ++index;
  }
  findChild<QPushButton*>(QStringLiteral("BDelete"))->setToolTip(QStringLiteral("Delete selected line"));

  auto* side = new QVBoxLayout;
  side->addLayout(counts);
  side->addWidget(generator);
  side->addLayout(buttons);
  side->addStretch();
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(SGList, 1);
  layout->addLayout(side);

  Timer1 = new QTimer(this);
  Timer1->setSingleShot(true);
  Timer1->setInterval(50);
  connect(Timer1, &QTimer::timeout, this, &TFRunList::Timer1Timer);
  Timer1->start();
}

void TFRunList::Timer1Timer() {
  Timer1->stop();
  ETotal->setText(QStringLiteral("0"));
  EStart->setText(QStringLiteral("1"));
  core::RunList list;
  const core::FileOutcome read =
      core::readRunList(core::runListWorkingFile(m_context.StartupFolder), core::RunListFormat::Working, list);
  if (read.ok()) {
    setEntries(list.entries);
    EStart->setText(QString::number(std::max(list.start, 1)));
    m_context.RunListFile = list.runListFile;
  } else {
    m_context.RunListFile = core::kNoFileName;
    setEntries({});
    if (read.status == core::FileOutcome::Status::Damaged) showError(m_context, read.message, this);
  }
  showGeneratorFields();
}

void TFRunList::showGeneratorFields() {
  const core::ModelGridSettings& s = m_context.modelGrid;
  EInitWE->setText(twoDecimals(s.initialWE));
  EInitNS->setText(twoDecimals(s.initialNS));
  EStepWE->setText(twoDecimals(s.stepWE));
  EStepNS->setText(twoDecimals(s.stepNS));
  ENumWE->setText(QString::number(s.countWE));
  ENumNS->setText(QString::number(s.countNS));
}

bool TFRunList::readGeneratorFields() {
  core::ModelGridSettings s = m_context.modelGrid;
  const std::tuple<QLineEdit*, const char*, double*> numbers[] = {
      {EInitWE, "Initial W-E", &s.initialWE}, {EInitNS, "Initial N-S", &s.initialNS},
      {EStepWE, "Step W-E", &s.stepWE},       {EStepNS, "Step N-S", &s.stepNS}};
  for (const auto& [edit, name, target] : numbers) {
    if (auto e = core::readNumberField(edit->text().toStdString(), name, *target)) {
      showError(m_context, *e, this);
      return false;
    }
  }
  const std::tuple<QLineEdit*, const char*, int*> counts[] = {{ENumWE, "Number W-E", &s.countWE},
                                                              {ENumNS, "Number N-S", &s.countNS}};
  for (const auto& [edit, name, target] : counts) {
    double value = 0.0;
    if (auto e = core::readNumberField(edit->text().toStdString(), name, value)) {
      showError(m_context, *e, this);
      return false;
    }
    *target = static_cast<int>(std::clamp(std::trunc(value), -1e6, 1e6));
  }
  m_context.modelGrid = s;
  return true;
}

std::vector<std::string> TFRunList::entries() const {
  std::vector<std::string> list;
  for (int r = 0; r < SGList->rowCount(); ++r) list.push_back(SGList->item(r, kFileColumn)->text().toStdString());
  return list;
}

void TFRunList::setEntries(const std::vector<std::string>& files) {
  SGList->setRowCount(0);
  for (const std::string& f : files) appendEntry(f);
}

void TFRunList::appendEntry(const std::string& file) {
  const int row = SGList->rowCount();
  SGList->setRowCount(row + 1);
  SGList->setItem(row, kNumberColumn, new QTableWidgetItem(QString::number(row + 1)));
  auto* item = new QTableWidgetItem(q(file));
  item->setToolTip(q(file));
  SGList->setItem(row, kFileColumn, item);
  ETotal->setText(QString::number(SGList->rowCount()));
}

void TFRunList::renumber() {
  for (int r = 0; r < SGList->rowCount(); ++r) SGList->item(r, kNumberColumn)->setText(QString::number(r + 1));
  ETotal->setText(QString::number(SGList->rowCount()));
}

QString TFRunList::runListFolder() const {
  return q(core::dialogFolderFor(m_context.RunListFile, m_context.StartupFolder).string());
}

core::RunList TFRunList::currentList() const {
  core::RunList list;
  list.entries = entries();
  const auto start = core::parseFieldNumber(EStart->text().toStdString());
  list.start = start ? static_cast<int>(std::clamp(std::trunc(*start), -1e6, 1e6)) : 1;
  list.runListFile = m_context.RunListFile;
  return list;
}

void TFRunList::SGListDblClick() { EStart->setText(QString::number(m_context.runListRow)); }

void TFRunList::BAddClick() {
  if (SGList->rowCount() >= core::kMaxRunListEntries) {
    showError(m_context, "Number of files must be <=900)", this);
    return;
  }
  const QString chosen = m_files.open(this, QStringLiteral("Add a parameter file"), runListFolder(),
                                      kParameterFilter, QStringLiteral("nmc"));
  if (chosen.isEmpty()) {
    m_context.CurrentParameterFile = "";
    showOpenFailure(m_context, this);
    return;
  }
  appendEntry(chosen.toStdString());
  m_context.RunListFile = chosen.toStdString();
}

void TFRunList::BDeleteClick() {
  const int row = m_context.runListRow - 1;
  if (row < 0 || row >= SGList->rowCount()) return;
  SGList->removeRow(row);
  renumber();
}

void TFRunList::BClearClick() {
  SGList->setRowCount(0);
  EStart->setText(QStringLiteral("1"));
  ETotal->setText(QStringLiteral("0"));
}

void TFRunList::BSaveClick() {
  const QString chosen = m_files.save(this, QStringLiteral("Save the run list"), runListFolder(),
                                      kRunListFilter, QStringLiteral("mrl"));
  if (chosen.isEmpty()) {
    showOpenFailure(m_context, this);
    return;
  }
  const std::string file = chosen.toStdString();
  if (QFileInfo::exists(chosen) && !confirmOverwrite(m_context, file, this)) return;
  const core::FileOutcome written = core::writeRunList(file, core::RunListFormat::User, currentList());
  if (!written.ok()) {
    showError(m_context, written.message, this);
    return;
  }
  m_context.RunListFile = file;
}

void TFRunList::BLoadClick() {
  const QString chosen = m_files.open(this, QStringLiteral("Load a run list"), runListFolder(),
                                      kRunListFilter, QStringLiteral("mrl"));
  if (chosen.isEmpty()) {
    showOpenFailure(m_context, this);
    return;
  }
  core::RunList list;
  const core::FileOutcome read = core::readRunList(chosen.toStdString(), core::RunListFormat::User, list);
  if (!read.ok()) {
    showError(m_context, read.message, this);
    return;
  }
  setEntries(list.entries);
  EStart->setText(QString::number(std::max(list.start, 1)));
  m_context.RunListFile = chosen.toStdString();
}

void TFRunList::BOKClick() {
  const core::FileOutcome written = core::writeRunList(
      core::runListWorkingFile(m_context.StartupFolder), core::RunListFormat::Working, currentList());
  if (!written.ok()) {
    showError(m_context, written.message, this);
    return;
  }
  accept();
}

void TFRunList::BCancelClick() { reject(); }

void TFRunList::BHelpClick() {
  const std::filesystem::path helpFile = m_context.StartupFolder / kHelpFileName;
  m_context.MessageText = helpFile.string();
  auto* help = new TFHelp(m_context, q(helpFile.string()), this);
  help->show();
}

void TFRunList::BMakeClick() {
  if (!readGeneratorFields()) return;
  if (auto e = core::checkModelGrid(m_context.modelGrid)) {
    showError(m_context, *e, this);
    return;
  }
  const auto [headerFirst, headerSecond] = core::readWorkingFileHeader(m_context.StartupFolder);
  const QString chosen = m_files.open(
      this, QStringLiteral("Base parameter file"),
      q(core::dialogFolderFor(headerFirst, m_context.StartupFolder).string()), kParameterFilter,
      QStringLiteral("nmc"));
  if (chosen.isEmpty()) {
    m_context.CurrentParameterFile = "";
    showOpenFailure(m_context, this);
    return;
  }
  std::string message;
  const auto window = m_windowValues(message);
  if (!window) {
    showError(m_context, message, this);
    return;
  }
  const core::ModelGridResult result =
      core::generateModelGrid(m_context.modelGrid, chosen.toStdString(), headerSecond, *window,
                              m_context.StartupFolder, m_context.parameters);
  SGList->setRowCount(0);
  for (const std::string& file : result.files) appendEntry(file);
  ETotal->setText(QString::number(SGList->rowCount()));
  if (result.message) showError(m_context, *result.message, this);
}

}  // namespace kvo::gui
