#include "runlist/run_list_walker.h"

#include <algorithm>

#include "model/number_text.h"
#include "model/parameter_checks.h"
#include "model/parameter_file.h"

namespace kvo::core {

std::optional<std::string> loadRunListEntry(const std::string& file, SoundingParameters& params) {
  const auto problem = readCheckedParameterFile(file, params);
  if (!problem) return std::nullopt;
  return problem->failedCheck ? "\"" + file + "\": " + problem->message : problem->message;
}

std::optional<Shard> parseShard(std::string_view text, std::string& message) {
  // Built by appending: GCC 12 warns falsely (-Wrestrict) about "..." + string at -O3.
  message.assign(1, '"').append(text).append("\" is not a shard");
  const std::size_t slash = text.find('/');
  const auto index = slash == std::string_view::npos ? std::nullopt : parseWholeNumber<int>(text.substr(0, slash));
  const auto count = slash == std::string_view::npos ? std::nullopt : parseWholeNumber<int>(text.substr(slash + 1));
  if (!index || !count) {
    message.append(" I/N (two whole numbers, as in 2/8)");
    return std::nullopt;
  }
  if (*count < 1 || *index < 1 || *index > *count) {
    message.append(": I/N needs 1 <= I <= N");
    return std::nullopt;
  }
  message.clear();
  return Shard{*index, *count};
}

std::optional<std::string> RunListSession::open(const std::filesystem::path& listFile, RunListFormat format,
                                                std::string settings) {
  m_listFile = listFile;
  m_journalFile = runJournalFile(listFile);
  m_format = format;
  m_settings = std::move(settings);
  const FileOutcome read = readRunList(listFile, format, m_list);
  if (!read.ok()) return read.message;
  std::string message;
  auto journal = RunJournal::read(m_journalFile, message);
  if (!journal) return message;
  m_journal = std::move(*journal);
  m_begin = std::max(m_list.start, 1);
  m_start = m_list.start;
  m_hashes.assign(m_list.entries.size(), std::string());
  for (int n = m_begin; n <= total(); ++n) m_hashes[static_cast<std::size_t>(n - 1)] = hashNow(n);
  return std::nullopt;
}

std::string RunListSession::hashNow(int number) const {
  std::string message;
  return fileContentHash(entry(number), message).value_or(std::string());
}

bool RunListSession::completed(int number, const std::string& hash) const {
  return !hash.empty() && m_journal.completed({hash, m_settings, entry(number)});
}

std::optional<std::string> RunListSession::recordWritten(int number, const std::string& hash) {
  m_tried.insert(number);
  m_hashes[static_cast<std::size_t>(number - 1)] = hash;
  const JournalLock lock(m_journalFile);
  if (!lock.ok()) return lock.message();
  if (!hash.empty()) {
    const JournalRecord record{hash, m_settings, entry(number)};
    if (auto error = appendJournalRecord(lock, m_journalFile, record)) return error;
  }
  return updateStart(lock);
}

std::optional<std::string> RunListSession::recordTried(int number) {
  m_tried.insert(number);
  return refreshStart();
}

std::optional<std::string> RunListSession::refreshStart() {
  const JournalLock lock(m_journalFile);
  if (!lock.ok()) return lock.message();
  return updateStart(lock);
}

std::optional<std::string> RunListSession::updateStart(const JournalLock&) {
  // Other processes may have completed entries since the journal was read.
  std::string message;
  auto journal = RunJournal::read(m_journalFile, message);
  if (!journal) return message;
  m_journal = std::move(*journal);
  int start = m_begin;
  while (start <= total() &&
         (m_tried.contains(start) || completedAsOpened(start))) {
    ++start;
  }
  // Only the start entry changes: the entries are read again so that the
  // list is rewritten as it stands.
  RunList now;
  const FileOutcome read = readRunList(m_listFile, m_format, now);
  if (!read.ok()) return read.message;
  if (now.start == start) {
    m_start = start;
    return std::nullopt;
  }
  now.start = start;
  const FileOutcome written = writeRunList(m_listFile, m_format, now);
  if (!written.ok()) return written.message;
  m_start = start;
  return std::nullopt;
}

RunListWalkResult walkRunList(const std::filesystem::path& listFile, RunListFormat format,
                              const RunListWalk& walk) {
  RunListWalkResult result;
  RunListSession session;
  if (auto error = session.open(listFile, format, walk.settings)) {
    result.status = RunListWalkResult::Status::ListUnreadable;
    result.message = *error;
    return result;
  }
  if (session.fulfilled()) {
    result.status = RunListWalkResult::Status::AlreadyFulfilled;
    result.message = kRunListFulfilled;
    return result;
  }
  const int total = session.total();
  result.nextEntry = session.startEntry();
  for (int current = session.begin(); current <= total; ++current) {
    if (!walk.shard.contains(current)) continue;
    if (walk.stop.stop_requested()) {
      result.status = RunListWalkResult::Status::Stopped;
      return result;
    }
    EntryOutcome outcome;
    outcome.number = current;
    outcome.file = session.entry(current);
    const std::string hash = session.hashNow(current);
    if (session.completed(current, hash)) {
      outcome.status = EntryStatus::Completed;
      result.entries.push_back(outcome);
      if (walk.entryDone) walk.entryDone(outcome);
      continue;
    }
    if (walk.entryStarted) walk.entryStarted(current, total, outcome.file);
    SoundingParameters params;
    if (auto reason = loadRunListEntry(outcome.file, params)) {
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
    const auto recorded = outcome.status == EntryStatus::Written ? session.recordWritten(current, hash)
                                                                  : session.recordTried(current);
    result.nextEntry = session.startEntry();
    if (recorded) {
      result.status = RunListWalkResult::Status::ListUnwritable;
      result.message = *recorded;
      return result;
    }
  }
  // Entries the journal held were passed without a rewrite: the start entry
  // moves past them now.
  if (auto error = session.refreshStart()) {
    result.status = RunListWalkResult::Status::ListUnwritable;
    result.message = *error;
  }
  result.nextEntry = session.startEntry();
  return result;
}

}  // namespace kvo::core
