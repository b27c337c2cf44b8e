#pragma once
// The run-list editor "Run list": edits the list of parameter files that a
// run computes one after the other, saves and loads it (*.mrl), stores it as
// the run-list working file on OK, and generates grids of models in which
// the 3D target moves step by step ("Generate 3D models").

#include <QDialog>

#include <functional>
#include <optional>

#include "app/file_chooser.h"
#include "model/app_context.h"
#include "model/parameter_checks.h"
#include "runlist/run_list_file.h"

class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;

namespace kvo::gui {

class TFRunList : public QDialog {
  Q_OBJECT
 public:
  // The main window's values as collectParameters reads them, or the message
  // naming a field that is not a number.
  using WindowValues = std::function<std::optional<core::MainWindowValues>(std::string& message)>;

  TFRunList(core::AppContext& context, WindowValues windowValues, QWidget* parent = nullptr,
            FileChooser files = FileChooser::standard());

  // The entries in list order.
  std::vector<std::string> entries() const;

  void Timer1Timer();
  void BAddClick();
  void BDeleteClick();
  void BClearClick();
  void BSaveClick();
  void BLoadClick();
  void BOKClick();
  void BCancelClick();
  void BHelpClick();
  void BMakeClick();
  void SGListDblClick();

 private:
  void setEntries(const std::vector<std::string>& entries);
  void appendEntry(const std::string& file);
  void renumber();
  core::RunList currentList() const;
  QString runListFolder() const;
  bool readGeneratorFields();
  void showGeneratorFields();

  core::AppContext& m_context;
  WindowValues m_windowValues;
  FileChooser m_files;

  QTableWidget* SGList = nullptr;
  QLineEdit* ETotal = nullptr;
  QLineEdit* EStart = nullptr;
  QLineEdit* EInitWE = nullptr;
  QLineEdit* EInitNS = nullptr;
  QLineEdit* EStepWE = nullptr;
  QLineEdit* EStepNS = nullptr;
  QLineEdit* ENumWE = nullptr;
  QLineEdit* ENumNS = nullptr;
  QTimer* Timer1 = nullptr;
};

}  // namespace kvo::gui
