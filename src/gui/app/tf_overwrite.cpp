#include "app/tf_overwrite.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/auxiliary_widgets.h"

namespace kvo::gui {

TFOverwrite::TFOverwrite(const core::AppContext& context, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TFOverwrite"));
  setWindowTitle(QStringLiteral("WARNING"));
  auto* layout = new QVBoxLayout(this);
  auto* question = makeReadOnlyLine(QString::fromStdString(context.MessageText), this);
  question->setObjectName(QStringLiteral("EMessage"));
  auto* name = makeReadOnlyLine(QString::fromStdString(context.CurrentParameterFile), this);
  name->setObjectName(QStringLiteral("EFileName"));
  name->setMinimumWidth(420);
  layout->addWidget(question);
  layout->addWidget(name);
  auto* overwrite = new QPushButton(QStringLiteral("Overwrite"), this);
  overwrite->setObjectName(QStringLiteral("BOverwrite"));
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("BCancel"));
  cancel->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(overwrite);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(overwrite, &QPushButton::clicked, this, [this] {
    m_answer = true;
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool confirmOverwrite(core::AppContext& context, const std::string& fileName, QWidget* parent) {
  context.MessageText = "File exists. Overwrite?";
  context.CurrentParameterFile = fileName;
  TFOverwrite window(context, parent);
  window.exec();
  return window.answer();
}

}  // namespace kvo::gui
