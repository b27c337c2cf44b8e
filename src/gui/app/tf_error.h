#pragma once
// The error window: shows the message the caller left in MessageText.

#include <QDialog>

#include "model/app_context.h"

namespace kvo::gui {

class TFError : public QDialog {
  Q_OBJECT
 public:
  // Creating the window raises the program-wide autoRedrawSuspended flag.
  explicit TFError(core::AppContext& context, QWidget* parent = nullptr);
};

// Puts `message` into MessageText and shows the error window modally.
void showError(core::AppContext& context, const std::string& message, QWidget* parent);

}  // namespace kvo::gui
