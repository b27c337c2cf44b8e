#pragma once
// A grid of models in which the 3D target moves step by step west-east and
// north-south: the settings, their checks, the models' positions and file
// names, and the generation of the model files from a base parameter file.

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/parameter_checks.h"
#include "model/sounding_parameters.h"

namespace kvo::core {

struct ModelGridSettings {
  double initialWE = 0.0;  // m
  double initialNS = 0.0;  // m
  double stepWE = 0.0;     // m
  double stepNS = 0.0;     // m
  int countWE = 1;
  int countNS = 1;
};

// "Numbers W-E and N-S must be >1" for a count below 1; "Total number of
// models (W-E * N-S) must be <900" for more than 900 models.
std::optional<std::string> checkModelGrid(const ModelGridSettings& settings);

struct ModelPosition {
  double east;
  double north;
};

// North-south outer, west-east inner: east = initial W-E + i x step W-E,
// north = initial N-S + j x step N-S.
std::vector<ModelPosition> modelGridPositions(const ModelGridSettings& settings);

// The names of the model files of one generation. A model's name is the
// base file's name without its last four characters, "_WE_", the east
// position truncated to an integer, "_NS_", the north position truncated, and
// ".nmc" (survey.nmc at 25.0, -10.0 gives survey_WE_25_NS_-10.nmc). When that
// name was already given in this generation (positions less than a metre
// apart), the positions are written with their decimals instead, and when
// even that repeats, "_2", "_3", ... follow, so that no model file replaces
// another one of the same generation.
class ModelNamer {
 public:
  explicit ModelNamer(std::string baseFile) : m_base(std::move(baseFile)) {}
  std::string nameFor(const ModelPosition& position);

 private:
  std::string m_base;
  std::set<std::string> m_used;
};

// The target with its four corners made relative to its centre.
TargetSetup relativeTarget(const TargetSetup& target);
// The relative target moved so that its centre lies at `position`.
TargetSetup targetAt(const TargetSetup& relative, const ModelPosition& position);

struct ModelGridResult {
  std::vector<std::string> files;      // the model files written, in order
  std::optional<std::string> message;  // why generation stopped early
};

// Generates the models: checks the settings, makes the current target
// relative, reads the base file into `params`, writes the working file
// (base file, `secondName`), then for every position moves the target,
// applies the main window's values with collectParameters (its message ends
// the generation, keeping the models made so far), and writes the model file.
ModelGridResult generateModelGrid(const ModelGridSettings& settings, const std::string& baseFile,
                                  const std::string& secondName, const MainWindowValues& window,
                                  const std::filesystem::path& startupFolder,
                                  SoundingParameters& params);

}  // namespace kvo::core
