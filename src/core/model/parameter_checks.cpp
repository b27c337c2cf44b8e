#include "model/parameter_checks.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "model/number_text.h"
#include "model/parameter_file.h"

namespace kvo::core {
namespace {

// Differences of layer bottoms come from decimal texts: 2.1 - 2.0 is
// 0.10000000000000009 but 0.3 - 0.2 is 0.09999999999999998. The thickness
// check allows this much below its bound so that a thickness typed as exactly
// 0.1 m passes whatever the depths.
constexpr double kThicknessSlack = 1e-9;
constexpr double kMinThickness = 0.1;

struct ConvertedLayer {
  double to = 0.0;
  double resistivity = 0.0;
};

std::string cellName(int row, std::string_view column) {
  return "Layer " + std::to_string(row) + ", " + std::string(column);
}

std::optional<std::string> checkLoop(const LoopSetup& loop, bool tx) {
  if (tx && loop[kLoopType] == 0) return std::string("Select Tx loop");
  if (!inClosedRange(loop[kLoopSize], 0.1, 500)) {
    return std::string(tx ? "Tx" : "Rx") + " size is wrong (0.1m < size < 500m)";
  }
  if (!inClosedRange(loop[kLoopTurns], 1, 50000)) {
    return std::string(tx ? "Tx" : "Rx") + " number of turns is wrong (1 < turns < 50000)";
  }
  return std::nullopt;
}

// Converts the layer cells in the order the checks need them and applies the
// layer rules. `out` receives every row's bottom and resistivity.
std::optional<std::string> checkLayers(const std::vector<LayerRow>& rows,
                                       std::vector<ConvertedLayer>& out) {
  const int n = static_cast<int>(rows.size());
  if (n < 1 || n > kMaxLayers) return std::string("Number of layers is wrong (1 < layers < 6)");
  out.assign(rows.size(), {});
  auto toOf = [&](int row) -> std::optional<std::string> {
    return readNumberField(rows[static_cast<std::size_t>(row - 1)].to, cellName(row, "To"),
                           out[static_cast<std::size_t>(row - 1)].to);
  };
  if (auto e = toOf(1)) return e;
  if (n >= 3 && !(out[0].to >= 0.04)) {
    return std::string("Bottom of the first layer is wrong (depth > 0.04m)");
  }
  for (int k = 1; k <= n; ++k) {
    auto& layer = out[static_cast<std::size_t>(k - 1)];
    if (auto e = readNumberField(rows[static_cast<std::size_t>(k - 1)].resistivity,
                                 cellName(k, "Resistivity"), layer.resistivity)) {
      return e;
    }
    if (!inClosedRange(layer.resistivity, 0.1, 10000)) {
      return std::string("Resistivity is wrong (0.1ohm-m < R < 1.e4ohm-m)");
    }
    if (k < n) {
      if (auto e = toOf(k + 1)) return e;
      const double thickness = out[static_cast<std::size_t>(k)].to - layer.to;
      if (!(thickness >= kMinThickness - kThicknessSlack)) {
        return std::string("Thickness of conductive layers is wrong (thickness > 0.1m)");
      }
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> readMainWindowFields(const MainWindowFields& fields,
                                                MainWindowValues& values) {
  MainWindowValues v;
  const std::pair<const std::string*, std::pair<std::string_view, double*>> numbers[] = {
      {&fields.larmorFrequency, {"Larmor frequency (Hz)", &v.larmorFrequency}},
      {&fields.inclination, {"Inclination of GMF (degr)", &v.inclination}},
      {&fields.maxDepth, {"Max. depth (m)", &v.maxDepth}},
      {&fields.pulseDuration, {"Pulse duration (ms)", &v.pulseDuration}},
      {&fields.maxPulseMoment, {"Max. pulse moment (A-ms)", &v.maxPulseMoment}},
  };
  for (const auto& [text, target] : numbers) {
    if (auto e = readNumberField(*text, target.first, *target.second)) return e;
  }
  v.switches = fields.switches;
  v.layers = fields.layers;
  values = std::move(v);
  return std::nullopt;
}

std::optional<std::string> collectParameters(MainWindowValues& window, SoundingParameters& params) {
  const bool single = window.switches.singleDepth;
  if (!inClosedRange(window.larmorFrequency, 500, 3000)) {
    return std::string("Frequency is wrong (500Hz < frequency < 3000Hz)");
  }
  if (!inClosedRange(window.inclination, 0, 90)) {
    return std::string("GMF inclination is wrong (0\u00B0 < inclination < 90\u00B0)");
  }
  if (single && !inClosedRange(window.maxDepth, 0.05, 500)) {
    return std::string("Max. depth is wrong (0.05m < depth < 500m)");
  }
  if (!single && !inClosedRange(window.maxDepth, 5, 500)) {
    return std::string("Max. depth is wrong (5m < depth < 500m)");
  }
  if (!inClosedRange(window.pulseDuration, 5, 80)) {
    return std::string("Pulse duration is wrong (5ms < duration < 80ms)");
  }
  if (!inClosedRange(window.maxPulseMoment, 50, 1e6)) {
    return std::string("Max. pulse moment is wrong (50A-ms < duration < 1.e6A-ms)");
  }
  std::vector<ConvertedLayer> layers;
  if (auto e = checkLayers(window.layers, layers)) return e;
  if (auto e = checkLoop(params.tx, true)) return e;
  if (params.rx[kLoopType] != 0) {
    if (auto e = checkLoop(params.rx, false)) return e;
  }

  // Every check has passed: store.
  const auto clear = [](auto& record, std::size_t used) {
    std::fill(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(used), 0.0);
  };
  if (!window.switches.frequencyShift) clear(params.frequencyShift, kFrequencyShiftUsedSlots);
  if (!window.switches.topography) clear(params.slope, kSlopeUsedSlots);
  if (!window.switches.target3D) clear(params.target, kTargetUsedSlots);

  auto& c = params.computing;
  c[kLarmorFrequency] = window.larmorFrequency;
  c[kInclination] = window.switches.north ? -window.inclination : window.inclination;
  c[kMaxDepth] = single ? -window.maxDepth : window.maxDepth;
  c[kPulseDuration] = window.pulseDuration;
  c[kMaxPulseMoment] = window.maxPulseMoment;
  c[kPulseHarmonics] = window.switches.pulseHarmonics ? kPulseHarmonicsOn : 0.0;
  c[kEllipticalPolarisation] = window.switches.ellipticalPolarisation ? 1.0 : 0.0;

  auto& s = params.section;
  std::fill(s.begin(), s.begin() + 14, 0.0);
  const int n = static_cast<int>(layers.size());
  s[kLayerCount] = n;

  // The model's lower edge lies at least 1.5 x the maximum depth down. The
  // grid's last "To" shows the raised edge with one decimal, and the stored
  // value is the one read back from that text.
  const double lowerEdge = 1.5 * std::fabs(window.maxDepth);
  if (layers.back().to < lowerEdge) {
    window.layers.back().to = formatOneDecimal(lowerEdge);
    layers.back().to = parseFieldNumber(window.layers.back().to).value_or(lowerEdge);
  }
  for (int k = 1; k <= n; ++k) {
    s[layerBottomSlot(k)] = layers[static_cast<std::size_t>(k - 1)].to;
    s[layerResistivitySlot(k)] = layers[static_cast<std::size_t>(k - 1)].resistivity;
  }
  return std::nullopt;
}

MainWindowFields showParameters(SoundingParameters& params, bool singleDepthMode) {
  MainWindowFields f;
  auto& c = params.computing;
  f.larmorFrequency = formatOneDecimal(c[kLarmorFrequency]);
  f.pulseDuration = formatOneDecimal(c[kPulseDuration]);
  f.switches.singleDepth = singleDepthMode;
  if (c[kMaxDepth] < 0) {
    c[kMaxDepth] = -c[kMaxDepth];
    f.switches.singleDepth = true;
  }
  f.maxDepth = formatOneDecimal(c[kMaxDepth]);
  f.switches.north = c[kInclination] < 0;
  f.inclination = formatOneDecimal(std::fabs(c[kInclination]));
  f.maxPulseMoment = formatOneDecimal(c[kMaxPulseMoment]);

  f.switches.pulseHarmonics = c[kPulseHarmonics] != 0;
  f.switches.ellipticalPolarisation = c[kEllipticalPolarisation] != 0;
  f.switches.frequencyShift = params.frequencyShift[kZoneCount] != 0;
  f.switches.target3D = params.target[kTargetEnabled] != 0;
  f.switches.topography = params.slope[kSlopeEnabled] != 0;

  // A count the grid cannot hold (damaged or foreign files) shows one layer.
  auto& s = params.section;
  if (!(s[kLayerCount] >= 1.0 && s[kLayerCount] < kMaxLayers + 1.0)) s[kLayerCount] = 1.0;
  const int n = static_cast<int>(s[kLayerCount]);
  std::string from = "0.0";
  for (int k = 1; k <= n; ++k) {
    LayerRow row;
    row.from = from;
    row.to = formatOneDecimal(s[layerBottomSlot(k)]);
    row.resistivity = formatOneDecimal(s[layerResistivitySlot(k)]);
    from = row.to;
    f.layers.push_back(row);
  }
  return f;
}

}  // namespace kvo::core

namespace kvo::core {

std::optional<std::string> checkStoredParameters(const SoundingParameters& params) {
  SoundingParameters copy = params;
  const MainWindowFields shown = showParameters(copy, false);
  MainWindowValues values;
  if (auto e = readMainWindowFields(shown, values)) return e;
  return collectParameters(values, copy);
}

}  // namespace kvo::core

namespace kvo::core {

std::optional<ParameterFileProblem> readCheckedParameterFile(const std::string& file,
                                                             SoundingParameters& params) {
  std::string first = file;
  std::string second;
  params = defaultSoundingParameters();
  const FileOutcome read = readParameterFile(first, second, ParameterFileMode::Parameters, {}, params);
  if (!read.ok()) return ParameterFileProblem{read.message, false};
  if (auto e = checkStoredParameters(params)) return ParameterFileProblem{*e, true};
  return std::nullopt;
}

}  // namespace kvo::core
