// The parameter-file reader in all three modes: whatever the bytes, it reads
// or refuses, and a refusal leaves the records and names untouched.
#include <cstdlib>

#include "fuzz_support.h"
#include "model/parameter_checks.h"
#include "model/parameter_file.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  using namespace kvo::core;
  const auto working = kvo::fuzz::writeInput(std::string(kWorkingFileName), data, size);
  const std::string plain = kvo::fuzz::writeInput("input.nmc", data, size).string();
  for (ParameterFileMode mode : {ParameterFileMode::HeaderOnly, ParameterFileMode::Working, ParameterFileMode::Parameters}) {
    SoundingParameters params = defaultSoundingParameters();
    const SoundingParameters before = params;
    std::string first = mode == ParameterFileMode::Parameters ? plain : "x", second = "y";
    const FileOutcome r = readParameterFile(first, second, mode, kvo::fuzz::scratchFolder(), params);
    if (r.status == FileOutcome::Status::Damaged && !(params == before)) std::abort();
    if (r.ok() && mode != ParameterFileMode::HeaderOnly) {
      (void)checkStoredParameters(params);
      // What was read is written and read back to the same values.
      const std::string copy = (kvo::fuzz::scratchFolder() / "copy.nmc").string();
      if (writeParameterFile(copy, "", ParameterFileMode::Parameters, {}, params).ok()) {
        SoundingParameters back = defaultSoundingParameters();
        std::string name = copy, ignored;
        if (!readParameterFile(name, ignored, ParameterFileMode::Parameters, {}, back).ok()) std::abort();
      }
    }
  }
  (void)working;
  return 0;
}
