#pragma once
// The help window: shows the lines of the help text file, without blocking.

#include <QDialog>

#include "model/app_context.h"

class QPlainTextEdit;

namespace kvo::gui {

inline constexpr char kHelpFileName[] = "KVO_Compute_Help.txt";

class TFHelp : public QDialog {
  Q_OBJECT
 public:
  // `helpFile` is the full name of the text file; its lines are loaded 100 ms
  // after the window is created.
  TFHelp(core::AppContext& context, QString helpFile, QWidget* parent = nullptr);

 signals:
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void loadHelpFile();

  core::AppContext& m_context;
  QString m_helpFile;
  QPlainTextEdit* m_text = nullptr;
};

}  // namespace kvo::gui
