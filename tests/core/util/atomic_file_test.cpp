#include "util/atomic_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace kvo::core {
namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            ("kvo_atomic_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  std::size_t filesInDir() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(m_dir), {}));
  }

  fs::path m_dir;
};

TEST_F(AtomicFileTest, ReplacesTheTargetAndLeavesNoTemporaryFile) {
  const fs::path target = m_dir / "a.nmc";
  ASSERT_FALSE(writeFileAtomically(target, "old\n").has_value());
  ASSERT_FALSE(writeFileAtomically(target, "new content\n").has_value());
  std::string message;
  EXPECT_EQ(readSmallFile(target, 100, message), "new content\n");
  EXPECT_EQ(filesInDir(), 1u);
}

TEST_F(AtomicFileTest, FailureNamesTheTargetAndKeepsTheOldFile) {
  const fs::path target = m_dir / "keep.nmc";
  ASSERT_FALSE(writeFileAtomically(target, "precious\n").has_value());
  // A folder standing where the file should be: the rename must fail.
  const fs::path blocked = m_dir / "sub";
  fs::create_directories(blocked / "child");
  const auto e = writeFileAtomically(blocked, "x");
  ASSERT_TRUE(e.has_value());
  EXPECT_NE(e->find(blocked.string()), std::string::npos);
  // No folder at all.
  EXPECT_TRUE(writeFileAtomically(m_dir / "missing" / "f.nmc", "x").has_value());
  std::string message;
  EXPECT_EQ(readSmallFile(target, 100, message), "precious\n");
  EXPECT_EQ(filesInDir(), 2u);  // keep.nmc and sub, no temporary left
}

TEST_F(AtomicFileTest, ReadSmallFileRefusesMissingLargeAndFolders) {
  std::string message;
  EXPECT_FALSE(readSmallFile(m_dir / "none", 10, message).has_value());
  EXPECT_NE(message.find("none"), std::string::npos);
  EXPECT_FALSE(readSmallFile(m_dir, 10, message).has_value());
  const fs::path big = m_dir / "big";
  ASSERT_FALSE(writeFileAtomically(big, std::string(11, 'x')).has_value());
  EXPECT_FALSE(readSmallFile(big, 10, message).has_value());
  EXPECT_TRUE(readSmallFile(big, 11, message).has_value());
}

}  // namespace
}  // namespace kvo::core
