#include "app/auxiliary_widgets.h"

#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

// The pictures live in a resource compiled into the static GUI library: it
// has to be registered by hand, or the linker drops it.
static void registerPictures() { Q_INIT_RESOURCE(pictures); }

namespace kvo::gui {

QString pictureResource(const QString& name) {
  static const bool registered = (registerPictures(), true);
  (void)registered;
  return QStringLiteral(":/pictures/%1.jpg").arg(name);
}

QLabel* makePictureLabel(const QString& name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(QStringLiteral("Image1"));
  QImageReader reader(pictureResource(name));
  const QImage image = reader.read();
  label->setPixmap(QPixmap::fromImage(image));
  label->setFixedSize(image.size());
  return label;
}

QLineEdit* makeReadOnlyLine(const QString& text, QWidget* parent) {
  auto* line = new QLineEdit(text, parent);
  line->setReadOnly(true);
  line->setToolTip(text);
  line->setCursorPosition(0);
  return line;
}

void removeTitleBarButtons(QWidget* window) {
  window->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
}

}  // namespace kvo::gui
