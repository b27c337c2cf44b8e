#pragma once
// The settings dialog "Computation settings": how Run and the run lists
// integrate the kernel phase (core/compute/sampling.h). Converged integrates
// every depth and pulse moment to a tolerance relative to the depth's largest
// |K|; Classic repeats the sampling of earlier versions. The main window shows it
// on its own settings, copies the result back on OK and keeps it between
// sessions (QSettings "KVO"/"kvo").

#include <QDialog>

#include <optional>
#include <string>

#include "compute/sampling.h"
#include "model/app_context.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kvo::gui {

// Reads the dialog's fields: the converged switch and the tolerance text (a
// number from kSmallestTolerance to kLargestTolerance, read only for
// converged). Returns the message naming the field on failure; `out` is then
// unchanged. With classic, `out` keeps its tolerance.
std::optional<std::string> readSettingsDialog(const QString& tolerance, bool converged,
                                              core::SamplingSettings& out);

// The text the tolerance edit shows, without exponent: 0.001, 0.0005, 0.000001.
QString toleranceText(double tolerance);

// The settings kept between sessions; a missing or unreadable value keeps its default.
core::SamplingSettings loadSamplingSettings();
// Keeps `settings` for the next session; the message when they could not be written.
std::optional<std::string> saveSamplingSettings(const core::SamplingSettings& settings);

class TFSettings : public QDialog {
  Q_OBJECT
 public:
  // Shows `current`; error messages go through the error window of `context`.
  TFSettings(core::AppContext& context, const core::SamplingSettings& current, QWidget* parent = nullptr);

  // The settings accepted by OK (`current` until then).
  const core::SamplingSettings& settings() const { return m_settings; }

  // The operations behind the buttons, callable from tests.
  void BOKClick();
  void BCancelClick();

 private:
  core::AppContext& m_context;
  core::SamplingSettings m_settings;

  QRadioButton* RBConverged = nullptr;
  QRadioButton* RBClassic = nullptr;
  QLineEdit* ETolerance = nullptr;
  QLabel* LTolerance = nullptr;
  QLabel* LExplanation = nullptr;
  QPushButton* BOK = nullptr;
  QPushButton* BCancel = nullptr;
};

}  // namespace kvo::gui
