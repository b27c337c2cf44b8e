#include "app/tf_error.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/auxiliary_widgets.h"

namespace kvo::gui {

TFError::TFError(core::AppContext& context, QWidget* parent) : QDialog(parent) {
  context.autoRedrawSuspended = true;
  setObjectName(QStringLiteral("TFError"));
  setWindowTitle(QStringLiteral("ERROR"));
  auto* layout = new QVBoxLayout(this);
  auto* message = makeReadOnlyLine(QString::fromStdString(context.MessageText), this);
  message->setObjectName(QStringLiteral("EMessage"));
  message->setMinimumWidth(480);
  layout->addWidget(message);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("BOK"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addStretch();
  layout->addLayout(buttons);
}

void showError(core::AppContext& context, const std::string& message, QWidget* parent) {
  context.MessageText = message;
  TFError window(context, parent);
  window.exec();
}

}  // namespace kvo::gui
