#include "app/tf_settings.h"
#include "app/widget_names.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QVBoxLayout>

#include "app/tf_error.h"
#include "model/number_text.h"

namespace kvo::gui {
namespace {

const QString kOrganisation = QStringLiteral("KVO");
const QString kApplication = QStringLiteral("kvo");
const QString kSamplingKey = QStringLiteral("sampling");
const QString kToleranceKey = QStringLiteral("tolerance");

constexpr const char* kToleranceField = "Tolerance";

}  // namespace

std::optional<std::string> readSettingsDialog(const QString& tolerance, bool converged,
                                              core::SamplingSettings& out) {
  if (!converged) {
    out.sampling = core::Sampling::Classic;
    return std::nullopt;
  }
  double value = 0.0;
  if (auto message = core::readNumberField(tolerance.toStdString(), kToleranceField, value)) return message;
  if (!core::validTolerance(value)) {
    return std::string(kToleranceField) + " is wrong (" + toleranceText(core::kSmallestTolerance).toStdString() +
           " <= tolerance <= " + toleranceText(core::kLargestTolerance).toStdString() + ")";
  }
  out = {core::Sampling::Converged, value};
  return std::nullopt;
}

QString toleranceText(double tolerance) {
  return QString::number(tolerance, 'f', QLocale::FloatingPointShortest);
}

core::SamplingSettings loadSamplingSettings() {
  core::SamplingSettings settings;
  const QSettings store(kOrganisation, kApplication);
  if (const auto sampling = core::parseSampling(store.value(kSamplingKey).toString().toStdString())) {
    settings.sampling = *sampling;
  }
  const auto tolerance = core::parseFileNumber(store.value(kToleranceKey).toString().toStdString());
  if (tolerance && core::validTolerance(*tolerance)) settings.tolerance = *tolerance;
  return settings;
}

std::optional<std::string> saveSamplingSettings(const core::SamplingSettings& settings) {
  QSettings store(kOrganisation, kApplication);
  store.setValue(kSamplingKey, q(std::string(core::samplingName(settings.sampling))));
  store.setValue(kToleranceKey, toleranceText(settings.tolerance));
  store.sync();
  if (store.status() == QSettings::NoError) return std::nullopt;
  return "The computation settings could not be kept for the next session (" + store.fileName().toStdString() +
         ")";
}

TFSettings::TFSettings(core::AppContext& context, const core::SamplingSettings& current, QWidget* parent)
    : QDialog(parent), m_context(context), m_settings(current) {
  setObjectName(QStringLiteral("TFSettings"));
  setWindowTitle(QStringLiteral("Computation settings"));

  auto* sampling = new QGroupBox(QStringLiteral("Kernel sampling"), this);
  RBConverged = named(new QRadioButton(QStringLiteral("Converged (error-controlled)"), sampling), "RBConverged");
  RBClassic = named(new QRadioButton(QStringLiteral("Classic (reproduces earlier result files)"), sampling),
                    "RBClassic");
  LTolerance = named(new QLabel(QStringLiteral("Tolerance"), sampling), "LTolerance");
  ETolerance = named(new QLineEdit(toleranceText(current.tolerance), sampling), "ETolerance");
  ETolerance->setMaximumWidth(90);
  ETolerance->setToolTip(QStringLiteral("From %1 to %2, relative to the largest |K| of each depth")
                             .arg(toleranceText(core::kSmallestTolerance), toleranceText(core::kLargestTolerance)));
  LTolerance->setBuddy(ETolerance);
  auto* unit = new QLabel(QStringLiteral("of the largest |K| of each depth"), sampling);
  auto* grid = new QGridLayout(sampling);
  grid->setColumnMinimumWidth(0, 18);  // the tolerance sits under its switch
  grid->addWidget(RBConverged, 0, 0, 1, 4);
  grid->addWidget(LTolerance, 1, 1);
  grid->addWidget(ETolerance, 1, 2);
  grid->addWidget(unit, 1, 3);
  grid->addWidget(RBClassic, 2, 0, 1, 4);
  grid->setColumnStretch(3, 1);

  // The tolerance belongs to the converged sampling only.
  connect(RBConverged, &QRadioButton::toggled, this, [this](bool on) {
    ETolerance->setEnabled(on);
    LTolerance->setEnabled(on);
  });
  (current.sampling == core::Sampling::Classic ? RBClassic : RBConverged)->setChecked(true);
  ETolerance->setEnabled(RBConverged->isChecked());
  LTolerance->setEnabled(RBConverged->isChecked());

  LExplanation = named(
      new QLabel(QStringLiteral(
                     "Converged integrates every depth and pulse moment until the kernel is known to the "
                     "tolerance; a smaller tolerance takes longer. Classic repeats the earlier sampling "
                     "scheme, so that results match result files computed with it.\n\n"
                     "The settings apply from the next Run, run lists included, and are kept for the next "
                     "session."),
                 this),
      "LExplanation");
  LExplanation->setWordWrap(true);

  BOK = named(new QPushButton(QStringLiteral("OK"), this), "BOK");
  BCancel = named(new QPushButton(QStringLiteral("Cancel"), this), "BCancel");
  BOK->setDefault(true);
  BCancel->setAutoDefault(false);
  connect(BOK, &QPushButton::clicked, this, &TFSettings::BOKClick);
  connect(BCancel, &QPushButton::clicked, this, &TFSettings::BCancelClick);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(BOK);
  buttons->addWidget(BCancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(sampling);
  layout->addWidget(LExplanation);
  layout->addLayout(buttons);
  setMinimumWidth(440);
}

void TFSettings::BOKClick() {
  core::SamplingSettings read = m_settings;
  if (auto message = readSettingsDialog(ETolerance->text(), RBConverged->isChecked(), read)) {
    showError(m_context, *message, this);
    ETolerance->setFocus();
    return;
  }
  m_settings = read;
  accept();
}

void TFSettings::BCancelClick() { reject(); }

}  // namespace kvo::gui
