#include "app/application.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "app/tf_kvo_comput.h"

namespace kvo::gui {

namespace {

bool set(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

}  // namespace

int runApplication(int argc, char** argv) {
  // Without a display Qt stops the program with an abort; say why instead.
  if (!set("QT_QPA_PLATFORM") && !set("DISPLAY") && !set("WAYLAND_DISPLAY")) {
    std::fputs("kvo: there is no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
               "Start it in a desktop session or under xvfb-run; kvo-compute computes without a window.\n",
               stderr);
    return 1;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("KVO computing"));
  TFKVOComput window;
  window.show();
  return QApplication::exec();
}

}  // namespace kvo::gui
