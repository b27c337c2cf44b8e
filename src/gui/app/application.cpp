#include "app/application.h"

#include <QApplication>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/tf_kvo_comput.h"
#include "kernel/tf_kernel.h"

namespace kvo::gui {

namespace {

bool set(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

}  // namespace

std::unique_ptr<TFKernel> openKernelWindow(core::AppContext& context, const QString& path) {
  auto window = std::make_unique<TFKernel>(context);
  if (!window->openFile(path)) {
    std::fprintf(stderr, "kvo: %s\n", context.MessageText.c_str());
    return nullptr;
  }
  window->show();
  return window;
}

int runApplication(int argc, char** argv) {
  // "--kernel FILE": the kernel window alone.
  const char* kernelFile = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--kernel") != 0) continue;
    if (i + 1 >= argc) {
      std::fputs("kvo: --kernel needs a result file (kvo --kernel FILE.mrm)\n", stderr);
      return 2;
    }
    kernelFile = argv[i + 1];
  }
  // Without a display Qt stops the program with an abort; say why instead.
  if (!set("QT_QPA_PLATFORM") && !set("DISPLAY") && !set("WAYLAND_DISPLAY")) {
    std::fputs("kvo: there is no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
               "Start it in a desktop session or under xvfb-run; kvo-compute computes without a window.\n",
               stderr);
    return 1;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("KVO computing"));
  if (kernelFile != nullptr) {
    core::AppContext context;
    context.StartupFolder = std::filesystem::current_path();
    const std::unique_ptr<TFKernel> window = openKernelWindow(context, QFile::decodeName(kernelFile));
    if (!window) return 2;
    return QApplication::exec();
  }
  TFKVOComput window;
  window.show();
  return QApplication::exec();
}

}  // namespace kvo::gui
