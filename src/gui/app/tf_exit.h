#pragma once
// The exit window shown when the program ends.

#include <QDialog>

class QLabel;

namespace kvo::gui {

class TFExit : public QDialog {
  Q_OBJECT
 public:
  explicit TFExit(QWidget* parent = nullptr, int closeAfterMs = 3000);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* m_panel = nullptr;
  QLabel* m_picture = nullptr;
};

}  // namespace kvo::gui
