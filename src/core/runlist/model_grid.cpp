#include "runlist/model_grid.h"

#include <charconv>
#include <cmath>

#include "model/parameter_file.h"
#include "runlist/run_list_file.h"

namespace kvo::core {
namespace {

std::string truncatedText(double value) {
  const double t = std::trunc(value);
  if (!(std::fabs(t) < 9e18)) return "0";
  return std::to_string(static_cast<long long>(t));
}

std::string shortestText(double value) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  return ec == std::errc() ? std::string(buf, end) : truncatedText(value);
}

}  // namespace

std::optional<std::string> checkModelGrid(const ModelGridSettings& settings) {
  if (settings.countWE < 1 || settings.countNS < 1) {
    return std::string("Numbers W-E and N-S must be >1");
  }
  if (static_cast<long long>(settings.countWE) * settings.countNS > kMaxRunListEntries) {
    return std::string("Total number of models (W-E * N-S) must be <900");
  }
  return std::nullopt;
}

std::vector<ModelPosition> modelGridPositions(const ModelGridSettings& settings) {
  std::vector<ModelPosition> positions;
  for (int j = 0; j < settings.countNS; ++j) {
    for (int i = 0; i < settings.countWE; ++i) {
      positions.push_back({settings.initialWE + i * settings.stepWE,
                           settings.initialNS + j * settings.stepNS});
    }
  }
  return positions;
}

std::string ModelNamer::nameFor(const ModelPosition& position) {
  const std::string stem = m_base.substr(0, m_base.size() >= 4 ? m_base.size() - 4 : 0);
  std::string name = stem + "_WE_" + truncatedText(position.east) + "_NS_" +
                     truncatedText(position.north) + ".nmc";
  if (m_used.count(name) != 0) {
    const std::string precise =
        stem + "_WE_" + shortestText(position.east) + "_NS_" + shortestText(position.north);
    name = precise + ".nmc";
    for (int n = 2; m_used.count(name) != 0; ++n) name = precise + "_" + std::to_string(n) + ".nmc";
  }
  m_used.insert(name);
  return name;
}

TargetSetup relativeTarget(const TargetSetup& target) {
  TargetSetup relative = target;
  for (int c = 0; c < 4; ++c) {
    relative[targetCornerNorthSlot(c)] -= target[kTargetShiftSN];
    relative[targetCornerEastSlot(c)] -= target[kTargetShiftWE];
  }
  return relative;
}

TargetSetup targetAt(const TargetSetup& relative, const ModelPosition& position) {
  TargetSetup moved = relative;
  for (int c = 0; c < 4; ++c) {
    moved[targetCornerNorthSlot(c)] = relative[targetCornerNorthSlot(c)] + position.north;
    moved[targetCornerEastSlot(c)] = relative[targetCornerEastSlot(c)] + position.east;
  }
  moved[kTargetShiftSN] = position.north;
  moved[kTargetShiftWE] = position.east;
  return moved;
}

ModelGridResult generateModelGrid(const ModelGridSettings& settings, const std::string& baseFile,
                                  const std::string& secondName, const MainWindowValues& window,
                                  const std::filesystem::path& startupFolder,
                                  SoundingParameters& params) {
  ModelGridResult result;
  if (auto e = checkModelGrid(settings)) {
    result.message = e;
    return result;
  }
  const TargetSetup relative = relativeTarget(params.target);
  std::string first = baseFile;
  std::string ignored;
  const FileOutcome read =
      readParameterFile(first, ignored, ParameterFileMode::Parameters, startupFolder, params);
  if (!read.ok()) {
    result.message = read.message;
    return result;
  }
  const FileOutcome working =
      writeParameterFile(baseFile, secondName, ParameterFileMode::Working, startupFolder, params);
  if (!working.ok()) {
    result.message = working.message;
    return result;
  }
  ModelNamer namer(baseFile);
  for (const ModelPosition& position : modelGridPositions(settings)) {
    const std::string name = namer.nameFor(position);
    params.target = targetAt(relative, position);
    MainWindowValues values = window;
    if (auto e = collectParameters(values, params)) {
      result.message = e;
      return result;
    }
    const FileOutcome written =
        writeParameterFile(name, "", ParameterFileMode::Parameters, startupFolder, params);
    if (!written.ok()) {
      result.message = written.message;
      return result;
    }
    result.files.push_back(name);
  }
  return result;
}

}  // namespace kvo::core
