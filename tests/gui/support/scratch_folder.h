#pragma once
// An empty folder of the running test's own under the temporary folder,
// named after the test; removed again by the caller's TearDown.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace kvo::gui::test {

inline std::filesystem::path freshTestFolder(const std::string& prefix) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    (prefix + ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace kvo::gui::test
