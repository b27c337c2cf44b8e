#pragma once

namespace kvo::gui {

// Runs the desktop program: the main window and its event loop. Returns the exit code.
int runApplication(int argc, char** argv);

}  // namespace kvo::gui
