#include "util/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace kvo::core {
namespace {

std::string quoted(const std::filesystem::path& p) { return "\"" + p.string() + "\""; }

std::string systemError(int err) { return std::strerror(err); }

// Writes all of `content` to `fd`, retrying after short writes and signals.
bool writeAll(int fd, std::string_view content) {
  const char* data = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::optional<std::string> writeFileAtomically(const std::filesystem::path& target,
                                               std::string_view content) {
  if (target.empty() || !target.has_filename()) {
    return "Cannot write " + quoted(target) + ": not a file name";
  }
  static std::atomic<unsigned> counter{0};
  std::filesystem::path temp;
  int fd = -1;
  // A fresh name in the target's folder, so that the rename stays on one file system.
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = target;
    temp += ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return "Cannot write " + quoted(target) + ": " + systemError(errno);

  bool ok = writeAll(fd, content);
  int err = ok ? 0 : errno;
  if (ok && ::fsync(fd) != 0) ok = false, err = errno;
  if (::close(fd) != 0 && ok) ok = false, err = errno;
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) ok = false, err = errno;
  if (!ok) {
    ::unlink(temp.c_str());
    return "Cannot write " + quoted(target) + ": " + systemError(err);
  }
  return std::nullopt;
}

std::optional<std::string> readSmallFile(const std::filesystem::path& path, std::size_t maxBytes,
                                         std::string& message) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    message = "Cannot open " + quoted(path) + ": it is a folder";
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    message = "Cannot open " + quoted(path) + ": " + systemError(errno);
    return std::nullopt;
  }
  std::string content;
  std::array<char, 4096> chunk{};
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    content.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
    if (content.size() > maxBytes) {
      message = "Cannot read " + quoted(path) + ": larger than " + std::to_string(maxBytes) +
                " bytes";
      return std::nullopt;
    }
  }
  if (in.bad()) {
    message = "Cannot read " + quoted(path) + ": read error";
    return std::nullopt;
  }
  return content;
}

}  // namespace kvo::core
