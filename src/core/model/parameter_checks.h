#pragma once
// Checking, storing and showing the sounding parameters of the main window.
//
// The main window holds the computing parameters as edit texts, the switches
// as check states, the hemisphere as a radio choice, the single-depth mode as
// the colour of the "Max. depth (m)" label and the layered section as a grid
// of texts. These functions are what the window calls; they never touch a
// widget.

#include <optional>
#include <string>
#include <vector>

#include "model/sounding_parameters.h"

namespace kvo::core {

// One row of the layer grid: "From", "To" (depths, m) and resistivity (ohm-m).
struct LayerRow {
  std::string from;
  std::string to;
  std::string resistivity;

  friend bool operator==(const LayerRow&, const LayerRow&) = default;
};

// Check states of the main window's switches.
struct WindowSwitches {
  bool north = true;  // hemisphere radio buttons: North or South
  bool singleDepth = false;
  bool pulseHarmonics = true;
  bool ellipticalPolarisation = false;
  bool frequencyShift = false;
  bool target3D = false;
  bool topography = false;

  friend bool operator==(const WindowSwitches&, const WindowSwitches&) = default;
};

// The main window's texts and states, as shown and as typed.
struct MainWindowFields {
  std::string larmorFrequency;  // "Larmor frequency (Hz)"
  std::string pulseDuration;    // "Pulse duration (ms)"
  std::string maxDepth;         // "Max. depth (m)", magnitude
  std::string inclination;      // "Inclination of GMF (degr)", magnitude
  std::string maxPulseMoment;   // "Max. pulse moment (A-ms)"
  WindowSwitches switches;
  std::vector<LayerRow> layers;  // one row per layer, 1..6 rows

  friend bool operator==(const MainWindowFields&, const MainWindowFields&) = default;
};

// The main window's values once its number fields have been converted; the
// layer grid stays text, since storing may rewrite its last "To" cell.
struct MainWindowValues {
  double larmorFrequency = 0.0;
  double inclination = 0.0;
  double maxDepth = 0.0;
  double pulseDuration = 0.0;
  double maxPulseMoment = 0.0;
  WindowSwitches switches;
  std::vector<LayerRow> layers;
};

// Converts the five number fields; the message names the first field whose
// text is not a number, and `values` is then unchanged.
std::optional<std::string> readMainWindowFields(const MainWindowFields& fields,
                                                MainWindowValues& values);

// Checks the window's values and both loop records of `params`, in the fixed
// order of the rules (frequency, inclination, maximum depth, pulse duration,
// maximum pulse moment, layer count, first layer bottom, each layer's
// resistivity and the next layer's thickness, Tx loop, Rx loop). On the first
// failure returns its message and changes nothing. Otherwise stores the
// values: clears the option records whose switches are off, stores the
// computing parameters with the hemisphere and single-depth signs, raises the
// model's lower edge to 1.5 x |maximum depth| (rewriting the last "To" cell of
// `window.layers` as one-decimal text and storing the value read back), and
// stores the layer pairs.
std::optional<std::string> collectParameters(MainWindowValues& window, SoundingParameters& params);

// What the main window shows for `params`. A negative stored maximum depth is
// made positive in `params` and switches the single-depth mode on; otherwise
// the mode keeps `singleDepthMode`. A stored layer count outside 1..6 is reset
// to 1 in `params`. Option switches follow the records' "in use" slots.
MainWindowFields showParameters(SoundingParameters& params, bool singleDepthMode);

}  // namespace kvo::core

namespace kvo::core {

// The checks a run applies to a stored parameter set, as the main window
// would after loading it: the set is shown (hemisphere and single-depth mode
// from the stored signs, layers from the section), read back from the shown
// texts and checked. Returns the first failing rule's message; `params` is
// not changed.
std::optional<std::string> checkStoredParameters(const SoundingParameters& params);

}  // namespace kvo::core

namespace kvo::core {

// Reads a parameter file into `params` and applies the checks of a run.
// Returns nothing when both passed; otherwise why not: the reader's message
// (which names the file) or, with `failedCheck` set, the failing rule's message.
struct ParameterFileProblem {
  std::string message;
  bool failedCheck = false;
};
std::optional<ParameterFileProblem> readCheckedParameterFile(const std::string& file,
                                                             SoundingParameters& params);

}  // namespace kvo::core
