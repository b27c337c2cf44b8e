#pragma once
// The journal of a run list: which entries have been completed, and with
// which parameter-file contents. It lies beside the list ("LIST.journal")
// and grows by one line per completed entry, appended after the entry's
// result files were written:
//
//   done <hash> <settings> <file>
//
//   hash      FNV-1a (64 bit) of the parameter file's bytes, 16 hex digits
//   settings  the sampling the entry was computed with: "classic" or
//             "converged/<tolerance>" (tolerance as %.3g)
//   file      the entry as the list names it (quoted when it holds blanks)
//
// An entry counts as completed only when a line names its file with the
// file's present contents and the present settings, so a changed parameter
// file, or another tolerance, is computed again. Lines are appended in one
// write under an exclusive lock on the journal and flushed to disk, so that
// several processes (shards of a job array, or a farm) may append at once;
// a line torn by a crash (no line end) is ignored, and cut off before the
// next record is appended; a line that is not a record is ignored.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>

#include "compute/sampling.h"
#include "model/parameter_file.h"

namespace kvo::core {

inline constexpr std::size_t kMaxJournalBytes = 64 << 20;

std::filesystem::path runJournalFile(const std::filesystem::path& listFile);

// The contents hash of a file as the journal writes it, or nullopt (with
// `message` naming the file) when it cannot be read.
std::optional<std::string> fileContentHash(const std::filesystem::path& file, std::string& message);
std::string contentHash(std::string_view bytes);

std::string samplingTag(Sampling sampling, double tolerance);

struct JournalRecord {
  std::string hash;
  std::string settings;
  std::string file;
  auto operator<=>(const JournalRecord&) const = default;
};

std::string formatJournalRecord(const JournalRecord& record);

class RunJournal {
 public:
  // The records of a journal's text; lines that are not whole records are ignored.
  static RunJournal parse(std::string_view text);
  // Reads a journal file. A missing journal is an empty one; one that cannot
  // be read gives nullopt and the message.
  static std::optional<RunJournal> read(const std::filesystem::path& file, std::string& message);

  bool completed(const JournalRecord& record) const { return m_records.contains(record); }
  void add(JournalRecord record) { m_records.insert(std::move(record)); }
  std::size_t size() const { return m_records.size(); }

 private:
  std::set<JournalRecord> m_records;
};

// An exclusive lock on a journal file (created when missing), held for the
// object's life. Other processes that lock the same journal wait; the lock
// works across the machines of a cluster where the file system supports
// POSIX record locks (NFS with lockd, Lustre, GPFS).
class JournalLock {
 public:
  explicit JournalLock(const std::filesystem::path& journal);
  ~JournalLock();
  JournalLock(const JournalLock&) = delete;
  JournalLock& operator=(const JournalLock&) = delete;
  bool ok() const { return m_fd >= 0; }
  const std::string& message() const { return m_message; }
  int fd() const { return m_fd; }

 private:
  int m_fd = -1;
  std::string m_message;
};

// Appends a record to the locked journal: one write of the whole line at
// its end, flushed to disk. The message says why it failed.
std::optional<std::string> appendJournalRecord(const JournalLock& lock, const std::filesystem::path& journal,
                                               const JournalRecord& record);

}  // namespace kvo::core
