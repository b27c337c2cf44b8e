#pragma once
// The "Could not open file" window: shows CurrentParameterFile.

#include <QDialog>

#include "model/app_context.h"

namespace kvo::gui {

class TFOpenFailure : public QDialog {
  Q_OBJECT
 public:
  explicit TFOpenFailure(const core::AppContext& context, QWidget* parent = nullptr);
};

// Shows the window modally for the name now in CurrentParameterFile.
void showOpenFailure(const core::AppContext& context, QWidget* parent);

}  // namespace kvo::gui
