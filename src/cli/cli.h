#pragma once
// The command-line program kvo-compute: its sub-commands, their arguments
// and their output, callable from tests.

#include <iosfwd>
#include <string>
#include <vector>

namespace kvo::cli {

// Exit codes of kvo-compute.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;    // a computation failed
inline constexpr int kExitBadInput = 2;  // bad arguments, unreadable or invalid input

// Runs kvo-compute with `args` (without the program name). Results go to
// `out`, messages to `err`. Returns the exit code.
int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// The same with the standard input given.
int runCli(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
           std::ostream& err);

}  // namespace kvo::cli
