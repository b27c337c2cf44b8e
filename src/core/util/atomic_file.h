#pragma once
// Whole-file writes that never leave a truncated file behind.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kvo::core {

// Writes `content` to a new temporary file beside `target`, flushes it to disk
// and renames it over `target`. On any failure the temporary file is removed,
// `target` is left as it was, and the message (naming `target`) is returned.
std::optional<std::string> writeFileAtomically(const std::filesystem::path& target,
                                               std::string_view content);

// Reads a whole file of at most `maxBytes` bytes. Returns nullopt and sets
// `message` (naming the file) when it cannot be opened, read, or is larger.
std::optional<std::string> readSmallFile(const std::filesystem::path& path, std::size_t maxBytes,
                                         std::string& message);

}  // namespace kvo::core
