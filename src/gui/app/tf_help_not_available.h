#pragma once
// The notice that no help is available yet.

#include <QDialog>

namespace kvo::gui {

class TFHelpNotAvailable : public QDialog {
  Q_OBJECT
 public:
  explicit TFHelpNotAvailable(QWidget* parent = nullptr, int closeAfterMs = 2000);
};

}  // namespace kvo::gui
