#include "runlist/run_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "util/atomic_file.h"
#include "util/token_reader.h"

namespace kvo::core {
namespace {

constexpr std::string_view kRecordWord = "done";
constexpr std::size_t kHashDigits = 16;

bool isHash(std::string_view text) {
  if (text.size() != kHashDigits) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// One line of the journal as a record, or nullopt when it is not one.
std::optional<JournalRecord> parseLine(std::string_view line) {
  TokenReader tokens(line);
  const auto word = tokens.next();
  const auto hash = tokens.next();
  const auto settings = tokens.next();
  const auto file = tokens.next();
  if (!word || !hash || !settings || !file || tokens.next()) return std::nullopt;
  if (word->text != kRecordWord || !isHash(hash->text) || settings->text.empty() || file->unterminatedQuote) {
    return std::nullopt;
  }
  return JournalRecord{hash->text, settings->text, file->text};
}

std::string systemError(const std::filesystem::path& file, const char* what, int error) {
  return "the run list's journal \"" + file.string() + "\" " + what + ": " + std::strerror(error);
}

// A line torn by a process killed while writing it has no end. It is cut
// off before the next record is appended, so that it never joins that
// record, nor turns into a record of a shortened file name.
std::optional<std::string> cutTornLine(int fd, const std::filesystem::path& journal) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return systemError(journal, "cannot be examined", errno);
  off_t end = info.st_size;
  char chunk[4096];
  while (end > 0) {
    const off_t from = std::max<off_t>(0, end - static_cast<off_t>(sizeof chunk));
    const ssize_t got = ::pread(fd, chunk, static_cast<std::size_t>(end - from), from);
    if (got != end - from) return systemError(journal, "cannot be read", got < 0 ? errno : EIO);
    for (ssize_t i = got - 1; i >= 0; --i) {
      if (chunk[i] == '\n') {
        const off_t whole = from + i + 1;
        if (whole == info.st_size) return std::nullopt;
        return ::ftruncate(fd, whole) == 0 ? std::nullopt
                                           : std::optional(systemError(journal, "cannot be repaired", errno));
      }
    }
    end = from;
  }
  if (info.st_size == 0) return std::nullopt;
  return ::ftruncate(fd, 0) == 0 ? std::nullopt : std::optional(systemError(journal, "cannot be repaired", errno));
}

}  // namespace

std::filesystem::path runJournalFile(const std::filesystem::path& listFile) {
  std::filesystem::path journal = listFile;
  journal += ".journal";
  return journal;
}

std::string contentHash(std::string_view bytes) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  char text[kHashDigits + 1];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
  return text;
}

std::optional<std::string> fileContentHash(const std::filesystem::path& file, std::string& message) {
  // Parameter files are a few kilobytes; the bound only keeps a wrong entry
  // (a kernel, a disk image) from being read whole.
  constexpr std::size_t kMaxParameterFileBytes = 1 << 20;
  const auto bytes = readSmallFile(file, kMaxParameterFileBytes, message);
  if (!bytes) return std::nullopt;
  return contentHash(*bytes);
}

std::string samplingTag(Sampling sampling, double tolerance) {
  if (sampling == Sampling::Classic) return "classic";
  char text[40];
  std::snprintf(text, sizeof text, "converged/%.3g", tolerance);
  return text;
}

std::string formatJournalRecord(const JournalRecord& r) {
  return std::string(kRecordWord) + " " + r.hash + " " + r.settings + " " + quoteFileName(r.file) + "\n";
}

RunJournal RunJournal::parse(std::string_view text) {
  RunJournal journal;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) break;  // a torn last line
    if (auto record = parseLine(text.substr(pos, end - pos))) journal.add(std::move(*record));
    pos = end + 1;
  }
  return journal;
}

std::optional<RunJournal> RunJournal::read(const std::filesystem::path& file, std::string& message) {
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return RunJournal{};
  const auto text = readSmallFile(file, kMaxJournalBytes, message);
  if (!text) return std::nullopt;
  return parse(*text);
}

JournalLock::JournalLock(const std::filesystem::path& journal) {
  m_fd = ::open(journal.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (m_fd < 0) {
    m_message = systemError(journal, "cannot be opened", errno);
    return;
  }
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;  // the whole file
  // An open-file-description lock: held by this object alone, so threads of
  // one process exclude each other too.
  int result;
  while ((result = ::fcntl(m_fd, F_OFD_SETLKW, &lock)) != 0 && errno == EINTR) {
  }
  if (result != 0) {
    m_message = systemError(journal, "cannot be locked", errno);
    ::close(m_fd);
    m_fd = -1;
  }
}

JournalLock::~JournalLock() {
  if (m_fd >= 0) ::close(m_fd);  // closing releases the lock
}

std::optional<std::string> appendJournalRecord(const JournalLock& lock, const std::filesystem::path& journal,
                                               const JournalRecord& record) {
  if (!lock.ok()) return lock.message();
  const std::string line = formatJournalRecord(record);
  if (auto error = cutTornLine(lock.fd(), journal)) return error;
  const ssize_t written = ::write(lock.fd(), line.data(), line.size());
  if (written != static_cast<ssize_t>(line.size())) {
    const int error = written < 0 ? errno : ENOSPC;
    return systemError(journal, "cannot be written", error);
  }
  if (::fsync(lock.fd()) != 0) return systemError(journal, "cannot be flushed to disk", errno);
  return std::nullopt;
}

}  // namespace kvo::core
