#pragma once
// The splash window shown while the main window is being built.

#include <QDialog>

namespace kvo::gui {

class TFSplash : public QDialog {
  Q_OBJECT
 public:
  explicit TFSplash(QWidget* parent = nullptr, int closeAfterMs = 3000);
};

}  // namespace kvo::gui
