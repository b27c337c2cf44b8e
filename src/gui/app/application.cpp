#include "app/application.h"

#include <QApplication>

#include "app/tf_kvo_comput.h"

namespace kvo::gui {

int runApplication(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("KVO computing"));
  TFKVOComput window;
  window.show();
  return QApplication::exec();
}

}  // namespace kvo::gui
