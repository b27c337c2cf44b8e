#pragma once
// Computing a run list. The list's start entry says where a walk begins; its
// journal (run_journal.h) says which entries are already completed, with
// which parameter-file contents. A walk computes every entry from the start
// entry on that the journal does not hold, records each one it completes,
// and keeps the list's start entry at the first entry not yet completed, so
// that an interrupted list resumes there. The desktop program's progress
// window, the command line, the shards of a cluster job array and the MPI
// farm all walk lists through RunListSession.

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "model/sounding_parameters.h"
#include "runlist/run_journal.h"
#include "runlist/run_list_file.h"

namespace kvo::core {

inline constexpr char kRunListFulfilled[] = "Computing of this Run List is already fulfilled";

// What computing one entry gave.
enum class EntryStatus {
  Written,    // the result files were written
  Completed,  // the journal holds the entry with its present contents: not computed again
  Failed,     // the computation failed; the list goes on
  Skipped,    // the entry's file could not be read or failed the checks; the list goes on
  Stopped,    // a stop request ended the computation; the list stops on this entry
};

struct EntryOutcome {
  int number = 0;  // 1-based entry number
  std::string file;
  EntryStatus status = EntryStatus::Written;
  std::string message;  // why it failed or was skipped
};

// Entries I, I+N, I+2N, ... (1-based) of a list: one task of a job array.
struct Shard {
  int index = 1;
  int count = 1;
  bool contains(int entry) const { return (entry - index) % count == 0 && entry >= index; }
};

// "I/N" with 1 <= I <= N; the message says what is wrong.
std::optional<Shard> parseShard(std::string_view text, std::string& message);

// Reads and checks an entry's parameter file with the rules of a run; the
// message says why it cannot be computed.
std::optional<std::string> loadRunListEntry(const std::string& file, SoundingParameters& params);

// A run list opened for walking.
class RunListSession {
 public:
  // Reads the list and its journal. `settings` is the sampling tag the
  // entries are computed with (samplingTag). The message says why it failed.
  std::optional<std::string> open(const std::filesystem::path& listFile, RunListFormat format,
                                  std::string settings);

  int total() const { return static_cast<int>(m_list.entries.size()); }
  int begin() const { return m_begin; }  // the start entry when opened (at least 1)
  bool fulfilled() const { return m_begin > total(); }
  const std::string& entry(int number) const { return m_list.entries[static_cast<std::size_t>(number - 1)]; }

  // The entry's contents hash now (empty when the file cannot be read), and
  // whether the journal holds it completed with these contents and settings.
  std::string hashNow(int number) const;
  bool completed(int number, const std::string& hash) const;
  // The same with the contents the entry had when the list was opened (or
  // was last computed with): what a plan made at opening goes by.
  bool completedAsOpened(int number) const {
    return completed(number, m_hashes[static_cast<std::size_t>(number - 1)]);
  }

  // Records an entry whose result files were written (computed with the
  // contents of `hash`), or one that was tried and failed, and moves the
  // list's start entry to the first entry from begin() on that neither the
  // journal holds nor this session has tried. Both happen under the
  // journal's lock, so that several processes may record at once.
  std::optional<std::string> recordWritten(int number, const std::string& hash);
  std::optional<std::string> recordTried(int number);
  // Moves the start entry past entries the journal now holds.
  std::optional<std::string> refreshStart();
  int startEntry() const { return m_start; }  // as last written

 private:
  std::optional<std::string> updateStart(const JournalLock& lock);

  std::filesystem::path m_listFile, m_journalFile;
  RunListFormat m_format = RunListFormat::User;
  std::string m_settings;
  RunList m_list;
  RunJournal m_journal;
  std::vector<std::string> m_hashes;  // per entry, as first seen or last computed
  std::set<int> m_tried;
  int m_begin = 1;
  int m_start = 1;
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
  std::string settings = samplingTag(Sampling::Converged, kDefaultTolerance);
  Shard shard;  // the whole list by default
};

struct RunListWalkResult {
  enum class Status { Completed, Stopped, AlreadyFulfilled, ListUnreadable, ListUnwritable };
  Status status = Status::Completed;
  std::string message;  // for the three failures
  std::vector<EntryOutcome> entries;
  int nextEntry = 0;  // the start entry the list holds now (where it resumes)
};

// Walks the list in `listFile` (of the given format) from its start entry (a
// start below 1 counts as 1), the shard's entries only. An entry the journal
// holds with its present contents is reported Completed and not computed.
// Each other entry's parameter file is read and checked with the rules of a
// run before it is computed; one that fails is skipped with the reason and
// never computed with another entry's parameters. Every entry written is
// recorded in the journal; after every entry that was not stopped the list's
// start entry is rewritten. A stop request is honoured before each entry and
// by the computation.
RunListWalkResult walkRunList(const std::filesystem::path& listFile, RunListFormat format,
                              const RunListWalk& walk);

}  // namespace kvo::core
