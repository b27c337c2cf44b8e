#pragma once
// The kernel window "Kernel - NAME.mrm": a computed kernel read back from its
// result file.
//   A depth series shows the kernel as a picture over pulse moment and depth
//   (amplitude, real or imaginary part, or phase; each axis linear or
//   logarithmic) with its colour scale; a click on the picture adds the depth
//   profile |K|(z) of that pulse moment (five at most, a sixth replaces the
//   oldest); a water-content model typed in the table gives its sounding
//   curve through the kernel (forward_model.h), redrawn at every change, or
//   the reason the model is refused.
//   A single-depth result shows its signal table's curve instead.
// "Save picture" writes each chart shown ("NAME.ext", "NAME_profiles.ext",
// "NAME_sounding.ext") in the program's picture formats; "Save data" writes
// the same as comma-separated values (kernel_csv.h).

#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

#include "app/file_chooser.h"
#include "kernel/forward_model.h"
#include "kernel/kernel_file.h"
#include "kernel/kernel_quantity.h"
#include "kernel/profile_chart.h"
#include "model/app_context.h"

class QChartView;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTableWidget;

namespace kvo::gui {

class CurveChart;
class KernelImageChart;

class TFKernel : public QWidget {
  Q_OBJECT
 public:
  explicit TFKernel(core::AppContext& context, QWidget* parent = nullptr,
                    FileChooser files = FileChooser::standard());

  // Reads `path` and shows it. A file that cannot be read shows the reader's
  // message in the error window, leaves the window as it was and returns false.
  bool openFile(const QString& path);

  const core::KernelData* kernel() const { return m_kernel ? &*m_kernel : nullptr; }
  QString fileName() const { return m_path; }
  KernelQuantity quantity() const { return m_quantity; }
  KernelImageChart* imageChart() const { return m_imageChart; }
  ProfileChart* profileChart() const { return m_profileChart; }
  CurveChart* soundingChart() const { return m_soundingChart; }
  CurveChart* signalChart() const { return m_signalChart; }
  // The picked pulse moments (indices), oldest first.
  std::vector<std::size_t> pickedPulses() const;
  const std::vector<Profile>& profiles() const { return m_profiles; }
  // The message shown for a refused water model (empty when accepted).
  QString modelMessage() const;

  // The operations behind the controls, callable from tests.
  void setQuantity(KernelQuantity quantity);
  void pickPulse(std::size_t pulse);
  void BClearProfilesClick();
  void BAddLayerClick();
  void BRemoveLayerClick();
  // Reads the model table and redraws the sounding curve; false when refused.
  bool updateSounding();
  void BOpenClick();
  void BSavePictureClick();
  void BSaveDataClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct PickedProfile {
    std::size_t pulse;
    int colour;
  };

  void buildWindow();
  void showKernel();
  void showSignal();
  void redrawImage();
  void redrawProfiles();
  void setModelRows(const std::vector<std::vector<QString>>& rows);
  void showModelMessage(const QString& message);
  void fillCurveTable(QTableWidget* table, const std::vector<double>& pulses, const std::vector<double>& amplitudes,
                      const std::vector<double>& phases, int amplitudeDecimals);
  bool logPulse() const;
  // The files a save writes: the chosen one for the first chart or text,
  // "_profiles" and "_sounding" before the extension for the others.
  QString companionName(const QString& path, const QString& part) const;
  bool confirmReplacing(const QStringList& paths);
  QString dialogFolder() const;

  core::AppContext& m_context;
  FileChooser m_files;
  std::optional<core::KernelData> m_kernel;
  QString m_path;
  QString m_lastFolder;
  KernelQuantity m_quantity = KernelQuantity::Amplitude;
  std::vector<double> m_values;  // the quantity shown, [p * depths + z]
  std::vector<PickedProfile> m_picked;
  std::vector<Profile> m_profiles;

  QComboBox* CBQuantity = nullptr;
  QCheckBox* CBLogPulse = nullptr;
  QCheckBox* CBLogDepth = nullptr;
  QPushButton* BClearProfiles = nullptr;
  QPushButton* BOpen = nullptr;
  QPushButton* BSavePicture = nullptr;
  QPushButton* BSaveData = nullptr;
  QLabel* LInfo = nullptr;
  QStackedWidget* m_pages = nullptr;
  KernelImageChart* m_imageChart = nullptr;
  QChartView* ChKernel = nullptr;
  ProfileChart* m_profileChart = nullptr;
  QChartView* ChProfiles = nullptr;
  QTableWidget* SGModel = nullptr;
  QPushButton* BAddLayer = nullptr;
  QPushButton* BRemoveLayer = nullptr;
  QLabel* LModelMessage = nullptr;
  CurveChart* m_soundingChart = nullptr;
  QChartView* ChSounding = nullptr;
  QTableWidget* SGCurve = nullptr;
  CurveChart* m_signalChart = nullptr;
  QChartView* ChSignal = nullptr;
  QTableWidget* SGSignal = nullptr;
};

}  // namespace kvo::gui
