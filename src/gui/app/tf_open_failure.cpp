#include "app/tf_open_failure.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/auxiliary_widgets.h"
#include "app/tf_help_not_available.h"

namespace kvo::gui {

TFOpenFailure::TFOpenFailure(const core::AppContext& context, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TFOpenFailure"));
  removeTitleBarButtons(this);
  setWindowTitle(QStringLiteral("Could not open file"));
  auto* layout = new QGridLayout(this);
  layout->addWidget(makePictureLabel(QStringLiteral("question"), this), 0, 0, 2, 1);
  auto* name = makeReadOnlyLine(QString::fromStdString(context.CurrentParameterFile), this);
  name->setObjectName(QStringLiteral("EFileName"));
  name->setMinimumWidth(360);
  layout->addWidget(name, 0, 1, 1, 2);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("BOK"));
  ok->setDefault(true);
  auto* help = new QPushButton(QStringLiteral("Help"), this);
  help->setObjectName(QStringLiteral("BHelp"));
  layout->addWidget(ok, 1, 1);
  layout->addWidget(help, 1, 2);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(help, &QPushButton::clicked, this, [this] {
    TFHelpNotAvailable notice(this);
    notice.exec();
  });
}

void showOpenFailure(const core::AppContext& context, QWidget* parent) {
  TFOpenFailure window(context, parent);
  window.exec();
}

}  // namespace kvo::gui
