#include "runlist/run_list_walker.h"

#include <algorithm>

#include "model/parameter_checks.h"
#include "model/parameter_file.h"

namespace kvo::core {
namespace {

// Reads and checks an entry's parameter file; the message says why it cannot be computed.
std::optional<std::string> loadEntry(const std::string& file, SoundingParameters& params) {
  const auto problem = readCheckedParameterFile(file, params);
  if (!problem) return std::nullopt;
  return problem->failedCheck ? "\"" + file + "\": " + problem->message : problem->message;
}

}  // namespace

RunListWalkResult walkRunList(const std::filesystem::path& listFile, RunListFormat format,
                              const RunListWalk& walk) {
  RunListWalkResult result;
  RunList list;
  const FileOutcome read = readRunList(listFile, format, list);
  if (!read.ok()) {
    result.status = RunListWalkResult::Status::ListUnreadable;
    result.message = read.message;
    return result;
  }
  const int total = static_cast<int>(list.entries.size());
  int current = std::max(list.start, 1);
  if (total < current) {
    result.status = RunListWalkResult::Status::AlreadyFulfilled;
    result.message = kRunListFulfilled;
    return result;
  }
  for (; current <= total; ++current) {
    result.nextEntry = current;
    if (walk.stop.stop_requested()) {
      result.status = RunListWalkResult::Status::Stopped;
      return result;
    }
    EntryOutcome outcome;
    outcome.number = current;
    outcome.file = list.entries[static_cast<std::size_t>(current - 1)];
    if (walk.entryStarted) walk.entryStarted(current, total, outcome.file);
    SoundingParameters params;
    if (auto reason = loadEntry(outcome.file, params)) {
      outcome.status = EntryStatus::Skipped;
      outcome.message = *reason;
    } else {
      outcome.status = walk.compute(outcome.file, params, outcome.message);
    }
    result.entries.push_back(outcome);
    if (walk.entryDone) walk.entryDone(outcome);
    if (outcome.status == EntryStatus::Stopped) {
      result.status = RunListWalkResult::Status::Stopped;
      return result;
    }
    list.start = current + 1;
    result.nextEntry = list.start;
    const FileOutcome written = writeRunList(listFile, format, list);
    if (!written.ok()) {
      result.status = RunListWalkResult::Status::ListUnwritable;
      result.message = written.message;
      return result;
    }
  }
  return result;
}

}  // namespace kvo::core
