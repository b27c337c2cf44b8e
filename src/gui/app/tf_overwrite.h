#pragma once
// The overwrite warning: asks whether an existing file may be replaced.

#include <QDialog>

#include "model/app_context.h"

namespace kvo::gui {

class TFOverwrite : public QDialog {
  Q_OBJECT
 public:
  explicit TFOverwrite(const core::AppContext& context, QWidget* parent = nullptr);

  // Yes only after "Overwrite"; "Cancel" and the title bar answer no.
  bool answer() const { return m_answer; }

 private:
  bool m_answer = false;
};

// Sets MessageText to "File exists. Overwrite?" and CurrentParameterFile to
// `fileName`, asks, and returns the answer.
bool confirmOverwrite(core::AppContext& context, const std::string& fileName, QWidget* parent);

}  // namespace kvo::gui
