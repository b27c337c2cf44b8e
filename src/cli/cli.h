#pragma once
// The command-line program kvo-compute: its sub-commands, their arguments
// and their output, callable from tests.

#include <iosfwd>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "compute_commands.h"

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

// While it lives, Ctrl-C (SIGINT) and SIGTERM (kill, scancel, a batch
// system's time limit, mpirun passing on its own signal) ask the running
// computation to stop: token() turns into a stop request.
class InterruptBridge {
 public:
  InterruptBridge();
  ~InterruptBridge();
  InterruptBridge(const InterruptBridge&) = delete;
  InterruptBridge& operator=(const InterruptBridge&) = delete;
  std::stop_token token() const { return m_stop.get_token(); }

 private:
  std::stop_source m_stop;
  void (*m_previous)(int) = nullptr;
  void (*m_previousTerm)(int) = nullptr;
  std::jthread m_watcher;
};

// The arguments "run-list FILE [options]" of `program` (the MPI farm),
// checked by kvo-compute's rules, without --shard and --sbatch. Returns the
// exit code to end with when the program should not go on (help, version,
// or bad arguments, whose message goes to `err`); nullopt to go on.
std::optional<int> parseRunListArguments(const std::vector<std::string>& args, const std::string& program,
                                         ComputeRequest& request, std::ostream& out, std::ostream& err);

}  // namespace kvo::cli
