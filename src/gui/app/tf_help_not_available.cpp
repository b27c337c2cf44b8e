#include "app/tf_help_not_available.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>

#include "app/auxiliary_widgets.h"

namespace kvo::gui {

TFHelpNotAvailable::TFHelpNotAvailable(QWidget* parent, int closeAfterMs) : QDialog(parent) {
  setObjectName(QStringLiteral("TFHelpNotAvailable"));
  removeTitleBarButtons(this);
  setWindowTitle(QStringLiteral("3615 HELP"));
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(makePictureLabel(QStringLiteral("question"), this));
  auto* text = new QLabel(QStringLiteral("Help n'est pas encore disponible"), this);
  text->setObjectName(QStringLiteral("LText"));
  layout->addWidget(text);
  QTimer::singleShot(closeAfterMs, this, &QDialog::accept);
}

}  // namespace kvo::gui
