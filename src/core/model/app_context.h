#pragma once
// The state the windows of the program share: the parameter set, the loop
// outline of the maps, the shared text buffers and the outcome of the last run.
// One object, owned by the main window and passed by reference to every
// window that needs it.

#include <filesystem>
#include <string>

#include "compute/sampling.h"
#include "loops/loop_outline.h"
#include "model/parameter_file.h"
#include "model/sounding_parameters.h"
#include "runlist/model_grid.h"

namespace kvo::core {

struct AppContext {
  SoundingParameters parameters = defaultSoundingParameters();
  LoopOutline outline;

  // The message the error window shows; also carries a file name or question.
  std::string MessageText;
  // The working directory at start-up: the working file and help file live here.
  std::filesystem::path StartupFolder;
  // The parameter file last saved, loaded or written for a run.
  std::string CurrentParameterFile{kNoFileName};
  // The file last used by the run-list editor.
  std::string RunListFile{kNoFileName};
  // Outcome of the last run: 0 nothing to report, 1 a computation failed, -1 stopped by the user.
  int RunStatus = 0;

  // Raised whenever the error window opens; cleared by a successful Draw of
  // the loop dialog. While raised, the loop dialog does not redraw by itself.
  bool autoRedrawSuspended = false;
  // The loop dialog's receiver box was ticked at its last Draw or Scale.
  bool rxTicked = false;

  // The run-list editor's model-grid settings and its last selected row,
  // kept while the program runs.
  ModelGridSettings modelGrid;
  int runListRow = 1;

  // How Run and the run lists integrate the kernel (the settings dialog).
  SamplingSettings sampling;
};

}  // namespace kvo::core
