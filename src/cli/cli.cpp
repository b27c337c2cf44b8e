#include "cli.h"

#include <ostream>
#include <string_view>

#include "model/parameter_checks.h"
#include "model/parameter_file.h"

namespace kvo::cli {
namespace {

constexpr std::string_view kUsage =
    R"(Usage: kvo-compute COMMAND [ARGUMENTS]

Surface NMR kernel modelling from the command line.

Commands:
  validate FILE.nmc   Read a parameter file and apply every check a run applies
                      (frequency, inclination, maximum depth, pulse duration,
                      maximum pulse moment, layers, Tx and Rx loops). Prints
                      "OK" and exits 0, or prints the first failing check's
                      message and exits 2.
  help, --help, -h    Show this text.
  --version           Show the program's version.

Exit codes: 0 success, 1 computation failed, 2 bad arguments or bad input.
)";

int validate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2) {
    err << "kvo-compute validate: expected one parameter file, got " << args.size() - 1
        << "\nUsage: kvo-compute validate FILE.nmc\n";
    return kExitBadInput;
  }
  std::string first = args[1];
  std::string second;
  core::SoundingParameters params = core::defaultSoundingParameters();
  const core::FileOutcome read =
      core::readParameterFile(first, second, core::ParameterFileMode::Parameters, {}, params);
  if (!read.ok()) {
    err << read.message << "\n";
    return kExitBadInput;
  }
  if (auto message = core::checkStoredParameters(params)) {
    err << *message << "\n";
    return kExitBadInput;
  }
  out << "OK\n";
  return kExitOk;
}

}  // namespace

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << "kvo-compute: no command given\n\n" << kUsage;
    return kExitBadInput;
  }
  const std::string& command = args.front();
  if (command == "help" || command == "--help" || command == "-h") {
    out << kUsage;
    return kExitOk;
  }
  if (command == "--version") {
    out << "kvo-compute " << KVO_VERSION << "\n";
    return kExitOk;
  }
  if (command == "validate") return validate(args, out, err);
  err << "kvo-compute: unknown command \"" << command << "\"\n\n" << kUsage;
  return kExitBadInput;
}

}  // namespace kvo::cli
