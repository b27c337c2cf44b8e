#include "app/tf_help.h"

#include <QCloseEvent>
#include <QFile>
#include <QPlainTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "app/tf_error.h"

namespace kvo::gui {

TFHelp::TFHelp(core::AppContext& context, QString helpFile, QWidget* parent)
    : QDialog(parent), m_context(context), m_helpFile(std::move(helpFile)) {
  setObjectName(QStringLiteral("TFHelp"));
  setWindowTitle(QStringLiteral("Computing help page"));
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  m_text = new QPlainTextEdit(QStringLiteral("Help file is not available"), this);
  m_text->setObjectName(QStringLiteral("MHelp"));
  m_text->setReadOnly(true);
  m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  layout->addWidget(m_text);
  resize(640, 480);
  QTimer::singleShot(100, this, &TFHelp::loadHelpFile);
}

void TFHelp::loadHelpFile() {
  QFile file(m_helpFile);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
    showError(m_context,
              "Cannot open the help file \"" + m_helpFile.toStdString() + "\": " +
                  file.errorString().toStdString(),
              this);
    return;
  }
  m_text->setPlainText(QString::fromUtf8(file.readAll()));
}

void TFHelp::closeEvent(QCloseEvent* event) {
  emit closed();
  event->accept();
}

}  // namespace kvo::gui
