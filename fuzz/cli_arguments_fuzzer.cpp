// The command line's argument parsing: the input is split at newlines into
// arguments. Sub-commands that compute or write files are kept out; the
// parsers of validate, field and help, and unknown commands, are exercised.
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"

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
  const std::string& command = args.front();
  if (command == "run-list" || command.ends_with(".nmc") || command.find('/') != std::string::npos) return 0;
  std::istringstream in("0 0 1\n");
  std::ostringstream out, err;
  (void)kvo::cli::runCli(args, in, out, err);
  return 0;
}
