#pragma once
// Answers the modal windows a test action opens, and records what they showed.

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <map>

class QTimer;
class QWidget;

namespace kvo::gui::test {

class ModalWatcher : public QObject {
  Q_OBJECT
 public:
  // How to answer a window, by its objectName. Windows without an answer are
  // closed (which counts as Cancel), except the error window (OK) and the
  // progress window, which closes itself.
  using Answer = std::function<void(QWidget*)>;

  ModalWatcher();
  ~ModalWatcher() override;

  void answer(const QString& objectName, Answer how) { m_answers[objectName] = std::move(how); }
  // Clicks the button named `buttonName` of windows named `objectName`.
  void click(const QString& objectName, const QString& buttonName);

  // "TFError: <message>", "TFOverwrite", ... in the order the windows opened.
  QStringList seen;
  // The messages the error windows showed.
  QStringList errors() const;

 private:
  void poll();

  QTimer* m_timer = nullptr;
  QPointer<QWidget> m_current;
  std::map<QString, Answer> m_answers;
};

}  // namespace kvo::gui::test
