#include "cli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "model/parameter_file.h"
#include "util/atomic_file.h"

namespace kvo::cli {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int code;
  std::string out;
  std::string err;
};

CliRun run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = runCli(args, out, err);
  return {code, out.str(), err.str()};
}

TEST(Cli, EveryBundledExampleValidates) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(KVO_EXAMPLES_DIR)) {
    if (entry.path().extension() != ".nmc") continue;
    ++count;
    const CliRun r = run({"validate", entry.path().string()});
    EXPECT_EQ(r.code, kExitOk) << entry.path() << ": " << r.err;
    EXPECT_EQ(r.out, "OK\n");
  }
  EXPECT_GE(count, 7);
}

class CliFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_file = fs::temp_directory_path() /
             (std::string("kvo_cli_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".nmc");
  }
  void TearDown() override { fs::remove(m_file); }
  fs::path m_file;
};

TEST_F(CliFileTest, InvalidParametersPrintTheRuleAndExitTwo) {
  const struct {
    void (*change)(core::SoundingParameters&);
    const char* message;
  } cases[] = {
      {[](core::SoundingParameters& p) { p.computing[core::kLarmorFrequency] = 499; },
       "Frequency is wrong (500Hz < frequency < 3000Hz)"},
      {[](core::SoundingParameters& p) { p.computing[core::kMaxDepth] = 4; },
       "Max. depth is wrong (5m < depth < 500m)"},
      {[](core::SoundingParameters& p) { p.tx[core::kLoopType] = 0; }, "Select Tx loop"},
      {[](core::SoundingParameters& p) { p.rx[core::kLoopType] = 1; },
       "Rx size is wrong (0.1m < size < 500m)"},
  };
  for (const auto& c : cases) {
    std::string first = fs::path(KVO_EXAMPLES_DIR "/coincident_circle_100m_three_layers.nmc").string(), second;
    core::SoundingParameters p;
    ASSERT_TRUE(core::readParameterFile(first, second, core::ParameterFileMode::Parameters, {}, p).ok());
    c.change(p);
    ASSERT_TRUE(core::writeParameterFile(m_file.string(), "", core::ParameterFileMode::Parameters, {}, p).ok());
    const CliRun r = run({"validate", m_file.string()});
    EXPECT_EQ(r.code, kExitBadInput);
    EXPECT_EQ(r.err, std::string(c.message) + "\n");
    EXPECT_EQ(r.out, "");
  }
}

TEST_F(CliFileTest, UnreadableFilesAreNamed) {
  CliRun r = run({"validate", m_file.string()});
  EXPECT_EQ(r.code, kExitBadInput);
  EXPECT_NE(r.err.find(m_file.string()), std::string::npos);
  ASSERT_FALSE(core::writeFileAtomically(m_file, "1 2 3\n").has_value());
  r = run({"validate", m_file.string()});
  EXPECT_EQ(r.code, kExitBadInput);
  EXPECT_NE(r.err.find("is damaged: line 2"), std::string::npos) << r.err;
}

TEST(Cli, ArgumentsAndHelp) {
  const struct {
    std::vector<std::string> args;
    int code;
    const char* inOut;
    const char* inErr;
  } cases[] = {
      {{}, kExitBadInput, "", "no command"},
      {{"--help"}, kExitOk, "validate FILE.nmc", ""},
      {{"-h"}, kExitOk, "Exit codes", ""},
      {{"help"}, kExitOk, "Usage", ""},
      {{"--version"}, kExitOk, "kvo-compute ", ""},
      {{"compute"}, kExitBadInput, "", "unknown command \"compute\""},
      {{"validate"}, kExitBadInput, "", "expected one parameter file, got 0"},
      {{"validate", "a", "b"}, kExitBadInput, "", "got 2"},
  };
  for (const auto& c : cases) {
    const CliRun r = run(c.args);
    EXPECT_EQ(r.code, c.code) << (c.args.empty() ? "" : c.args[0]);
    EXPECT_NE(r.out.find(c.inOut), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace kvo::cli
