#include "app/auxiliary_widgets.h"

#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

namespace kvo::gui {

QLabel* makePictureLabel(const QString& name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(QStringLiteral("Image1"));
  QImageReader reader(QStringLiteral(":/pictures/%1.jpg").arg(name));
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
