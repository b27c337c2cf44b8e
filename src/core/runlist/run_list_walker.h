#pragma once
// Computing a run list: every entry from the start entry on, one after the
// other, rewriting the list's start entry after each one so that an
// interrupted list resumes at the first entry not yet computed. The desktop
// program's progress window and the command line both walk lists with it.

#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>

#include "model/sounding_parameters.h"
#include "runlist/run_list_file.h"

namespace kvo::core {

inline constexpr char kRunListFulfilled[] = "Computing of this Run List is already fulfilled";

// What computing one entry gave.
enum class EntryStatus {
  Written,  // the result files were written
  Failed,   // the computation failed; the list goes on
  Skipped,  // the entry's file could not be read or failed the checks; the list goes on
  Stopped,  // a stop request ended the computation; the list stops on this entry
};

struct EntryOutcome {
  int number = 0;  // 1-based entry number
  std::string file;
  EntryStatus status = EntryStatus::Written;
  std::string message;  // why it failed or was skipped
};

struct RunListWalk {
  // Computes one entry. Gets the entry's parameter file (already read and
  // checked) and its records; returns the status and, on failure, a message.
  using Compute = std::function<EntryStatus(const std::string& parameterFile,
                                            const SoundingParameters& params, std::string& message)>;
  Compute compute;
  // Called before each entry with its number, the total and the file, and
  // after it with its outcome. Either may be empty.
  std::function<void(int number, int total, const std::string& file)> entryStarted;
  std::function<void(const EntryOutcome&)> entryDone;
  std::stop_token stop;
};

struct RunListWalkResult {
  enum class Status { Completed, Stopped, AlreadyFulfilled, ListUnreadable, ListUnwritable };
  Status status = Status::Completed;
  std::string message;  // for the three failures
  std::vector<EntryOutcome> entries;
  int nextEntry = 0;  // the start entry the list holds now (where it resumes)
};

// Walks the list in `listFile` (of the given format) from its start entry (a
// start below 1 counts as 1). Each entry's parameter file is read and checked
// with the rules of a run before it is computed; one that fails is skipped
// with the reason and never computed with another entry's parameters. After
// every entry that was not stopped, the list is rewritten with the next start
// entry. A stop request is honoured before each entry and by the computation.
RunListWalkResult walkRunList(const std::filesystem::path& listFile, RunListFormat format,
                              const RunListWalk& walk);

}  // namespace kvo::core
