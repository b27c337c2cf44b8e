// The command line's argument parsing: the input is split at newlines into
// arguments. Every sub-command's parser is exercised, the computing ones
// (a parameter file or a run list with their options, --sampling and
// --tolerance among them) included: the fuzzer works in an empty folder of
// its own and refuses absolute paths and parent folders, so no file can be
// found and nothing is ever computed or written; those commands end at their
// checks. The MPI farm's argument parser takes the same input.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const auto folder = std::filesystem::temp_directory_path() / ("kvo_fuzz_cli_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  std::filesystem::current_path(folder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  std::vector<std::string> args;
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      args.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  args.push_back(current);
  for (const std::string& a : args) {
    if (a.find('/') != std::string::npos || a.find("..") != std::string::npos || a.find('~') != std::string::npos) return 0;
  }
  std::istringstream in("0 0 1\n");
  std::ostringstream out, err;
  (void)kvo::cli::runCli(args, in, out, err);
  // The MPI farm's parser: the same arguments as kvo-compute's run-list.
  kvo::cli::ComputeRequest request;
  (void)kvo::cli::parseRunListArguments(args, "kvo-compute-mpi", request, out, err);
  return 0;
}
