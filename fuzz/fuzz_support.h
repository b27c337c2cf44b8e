#pragma once
// A private folder per fuzzing process, and writing an input into it.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace kvo::fuzz {

inline const std::filesystem::path& scratchFolder() {
  static const std::filesystem::path folder = [] {
    const auto p = std::filesystem::temp_directory_path() / ("kvo_fuzz_" + std::to_string(::getpid()));
    std::filesystem::create_directories(p);
    return p;
  }();
  return folder;
}

inline std::filesystem::path writeInput(const std::string& name, const unsigned char* data, std::size_t size) {
  const auto path = scratchFolder() / name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

}  // namespace kvo::fuzz
