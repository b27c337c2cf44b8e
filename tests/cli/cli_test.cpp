#include "cli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <cmath>
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

CliRun runWithInput(const std::vector<std::string>& args, const std::string& input) {
  std::istringstream in(input);
  std::ostringstream out, err;
  const int code = runCli(args, in, out, err);
  return {code, out.str(), err.str()};
}

std::vector<double> numbersOf(const std::string& line) {
  std::istringstream in(line);
  std::vector<double> v;
  for (double x; in >> x;) v.push_back(x);
  return v;
}

TEST(CliField, ResistiveEarthGivesTheBiotSavartFieldOfThePolygon) {
  // A regular N-gon of circumradius R carrying 1 A: at its centre, in its
  // plane, H = N tan(pi/N) / (2 pi R).
  const CliRun r = runWithInput({"field", "--frequency", "2000", "--layers", "0.02:1e8,0:1e10", "--loop", "1:100"},
                                "0 0 0.01\n\n  0 0 0.01  \n");
  ASSERT_EQ(r.code, kExitOk) << r.err;
  std::istringstream lines(r.out);
  std::string line;
  int count = 0;
  const double expected = 30 * std::tan(M_PI / 30) / (2 * M_PI * 50);
  while (std::getline(lines, line)) {
    const auto v = numbersOf(line);
    ASSERT_EQ(v.size(), 9u) << line;
    EXPECT_NEAR(v[5], expected, 1e-6 * expected);
    EXPECT_LT(std::fabs(v[8]), 1e-6 * expected);  // no quadrature part
    ++count;
  }
  EXPECT_EQ(count, 2);  // blank lines are skipped
}

TEST(CliField, ManyPointsAreSplitOverSeveralCalls) {
  std::string input;
  for (int i = 0; i < 500; ++i) input += std::to_string(i) + " 0 5\n";
  const CliRun r = runWithInput({"field", "--frequency", "2000", "--layers", "0.02:1e8,0:30", "--loop", "2:50"}, input);
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 500);
  EXPECT_EQ(r.out.substr(0, 16), "0.000000000e+00 ");
}

TEST(CliField, BadInputNamesWhatIsWrong) {
  const std::vector<std::string> good = {"field", "--frequency", "2000", "--layers", "0.02:1e8,0:30", "--loop", "1:100"};
  const struct {
    std::vector<std::string> args;
    std::string input;
    const char* message;
  } cases[] = {
      {good, "1 2 3\n4 5\n", "line 2 of the points: \"4 5\" is not three numbers x y z"},
      {good, "1 2 abc\n", "line 1 of the points"},
      {{"field", "--layers", "0.02:1e8", "--loop", "1:100"}, "", "--frequency is missing"},
      {{"field", "--frequency", "-5", "--layers", "0.02:1e8", "--loop", "1:100"}, "", "--frequency: \"-5\""},
      {{"field", "--frequency", "2000", "--layers", "0.02;1e8", "--loop", "1:100"}, "", "--layers: \"0.02;1e8\""},
      {{"field", "--frequency", "2000", "--layers", "0.02:1e8", "--loop", "5:100"}, "", "--loop: \"5:100\""},
      {{"field", "--frequency", "2000", "--layers", "0.02:1e8", "--loop", "1:0.5"}, "", "--loop: \"1:0.5\""},
      {{"field", "--frequency", "2000", "--bogus", "1"}, "", "unknown option \"--bogus\""},
      {{"field", "--frequency"}, "", "option --frequency needs a value"},
  };
  for (const auto& c : cases) {
    const CliRun r = runWithInput(c.args, c.input);
    EXPECT_EQ(r.code, kExitBadInput) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
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
