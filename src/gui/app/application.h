#pragma once

#include <QString>

#include <memory>

#include "model/app_context.h"

namespace kvo::gui {

class TFKernel;

// Runs the desktop program: the main window and its event loop, or with
// "--kernel FILE" the kernel window on FILE alone (the working file is then
// neither read nor written). Returns the exit code: 2 for a kernel file that
// cannot be read or a missing FILE.
int runApplication(int argc, char** argv);

// The kernel window on `path`, shown; nullptr when the file cannot be read,
// after the reader's message went to the error window and to stderr.
std::unique_ptr<TFKernel> openKernelWindow(core::AppContext& context, const QString& path);

}  // namespace kvo::gui
