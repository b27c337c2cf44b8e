#include "support/modal_watcher.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace kvo::gui::test {

ModalWatcher::ModalWatcher() {
  m_timer = new QTimer(this);
  m_timer->setInterval(5);
  connect(m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
  m_timer->start();
}

ModalWatcher::~ModalWatcher() { m_timer->stop(); }

void ModalWatcher::click(const QString& objectName, const QString& buttonName) {
  answer(objectName, [buttonName](QWidget* w) {
    if (auto* b = w->findChild<QPushButton*>(buttonName)) b->click();
  });
}

QStringList ModalWatcher::errors() const {
  QStringList messages;
  for (const QString& s : seen) {
    if (s.startsWith(QStringLiteral("TFError: "))) messages << s.mid(9);
  }
  return messages;
}

void ModalWatcher::poll() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr) {
    // Windows without title-bar buttons do not always register as the active
    // modal window off screen: look for a visible modal top-level instead.
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->isVisible() && w->testAttribute(Qt::WA_ShowModal)) modal = w;
    }
  }
  if (modal == nullptr || modal == m_current) return;
  m_current = modal;
  QString entry = modal->objectName();
  if (auto* message = modal->findChild<QLineEdit*>(QStringLiteral("EMessage"))) {
    entry += QStringLiteral(": ") + message->text();
  } else if (auto* name = modal->findChild<QLineEdit*>(QStringLiteral("EFileName"))) {
    entry += QStringLiteral(": ") + name->text();
  }
  seen << entry;
  const auto it = m_answers.find(modal->objectName());
  if (it != m_answers.end()) {
    it->second(modal);
  } else if (modal->objectName() == QStringLiteral("TFRunComputing")) {
    // The progress window closes itself when its work is done.
  } else if (modal->objectName() == QStringLiteral("TFError")) {
    modal->findChild<QPushButton*>(QStringLiteral("BOK"))->click();
  } else {
    modal->close();
  }
}

}  // namespace kvo::gui::test
