#include "cli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "compute/result_files.h"
#include "model/parameter_checks.h"
#include "model/parameter_file.h"
#include "runlist/model_grid.h"
#include "runlist/run_list_file.h"
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
    // The process id keeps two builds' runs of the suite apart.
    m_file = fs::temp_directory_path() / (std::string("kvo_cli_") +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                                          std::to_string(::getpid()) + ".nmc");
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

class CliComputeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / (std::string("kvo_cli_compute_") +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                                         std::to_string(::getpid()));
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }
  std::size_t lines(const fs::path& file) {
    std::string message;
    const auto text = core::readSmallFile(file, 1 << 22, message);
    return text ? static_cast<std::size_t>(std::count(text->begin(), text->end(), '\n')) : 0;
  }
  fs::path m_dir;
};

TEST_F(CliComputeTest, ComputesAParameterFileIntoItsResultFiles) {
  const fs::path copy = m_dir / "single.nmc";
  fs::copy_file(KVO_EXAMPLES_DIR "/single_depth_20m.nmc", copy);
  CliRun r = run({copy.string(), "--quiet", "--threads", "2"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(lines(m_dir / "single.mrm"), 10108u);
  EXPECT_EQ(lines(m_dir / "single.dat"), 101u);
  EXPECT_NE(r.out.find("wrote " + (m_dir / "single.dat").string() + ", " + (m_dir / "single.mrm").string()),
            std::string::npos) << r.out;
  // -o puts the kernel elsewhere; a table of the kernel follows the summary.
  r = run({copy.string(), "-o", (m_dir / "other.mrm").string()});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(lines(m_dir / "other.mrm"), 10108u);
  EXPECT_NE(r.out.find("largest amplitude (nV)"), std::string::npos);
  EXPECT_NE(r.out.find("Sampling: converged, tolerance 0.001, error estimate "), std::string::npos) << r.out;
  // A tolerance of the user's, and the classic sampling on request.
  r = run({copy.string(), "--quiet", "--tolerance", "0.002"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(r.out.find("Sampling: converged, tolerance 0.002, error estimate "), std::string::npos) << r.out;
  // Options may come before the file as well as after it.
  r = run({"--quiet", copy.string(), "--sampling", "classic"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(r.out.find("Sampling: classic (no error estimate)"), std::string::npos) << r.out;
  EXPECT_EQ(lines(m_dir / "single.dat"), 101u);
}

TEST_F(CliComputeTest, RefusesBadInputBeforeComputing) {
  const fs::path bad = m_dir / "bad.nmc";
  {
    std::string first = KVO_EXAMPLES_DIR "/single_depth_20m.nmc", second;
    core::SoundingParameters p;
    ASSERT_TRUE(core::readParameterFile(first, second, core::ParameterFileMode::Parameters, {}, p).ok());
    p.tx[core::kLoopTurns] = 0;
    ASSERT_TRUE(core::writeParameterFile(bad.string(), "", core::ParameterFileMode::Parameters, {}, p).ok());
  }
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{bad.string()}, "Tx number of turns is wrong (1 < turns < 50000)"},
      {{(m_dir / "none.nmc").string()}, "none.nmc"},
      {{bad.string(), "--threads", "many"}, "--threads: \"many\""},
      {{bad.string(), "-o"}, "option -o needs a value"},
      {{bad.string(), "--sampling", "fine"}, "--sampling: \"fine\" is not a sampling"},
      {{bad.string(), "--tolerance", "0"}, "--tolerance: \"0\" is not a tolerance"},
      {{bad.string(), "--tolerance", "nan"}, "--tolerance: \"nan\""},
      {{bad.string(), "--sampling"}, "option --sampling needs a value"},
      {{"run-list", (m_dir / "none.mrl").string()}, "none.mrl"},
  };
  for (const auto& c : cases) {
    const CliRun r = run(c.args);
    EXPECT_EQ(r.code, kExitBadInput) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(m_dir / "bad.mrm"));
}

TEST_F(CliComputeTest, ComputesAGeneratedGridOfModelsAsARunList) {
  // A 3 x 3 grid of the bundled 3D-target model, the target moved 10 m at a time.
  const fs::path base = m_dir / "grid.nmc";
  fs::copy_file(KVO_EXAMPLES_DIR "/target_3d.nmc", base);
  core::SoundingParameters params;
  std::string first = base.string(), second;
  ASSERT_TRUE(core::readParameterFile(first, second, core::ParameterFileMode::Parameters, {}, params).ok());
  core::SoundingParameters shown = params;
  core::MainWindowValues window;
  ASSERT_FALSE(core::readMainWindowFields(core::showParameters(shown, false), window).has_value());
  const core::ModelGridResult grid =
      core::generateModelGrid({-10, -10, 10, 10, 3, 3}, base.string(), "c:", window, m_dir, params);
  ASSERT_EQ(grid.files.size(), 9u);
  const fs::path list = m_dir / "grid.mrl";
  ASSERT_TRUE(core::writeRunList(list, core::RunListFormat::User, {grid.files, 1, "c:"}).ok());
  // As a job array of two tasks: the script, then its two shards.
  const CliRun script = run({"run-list", list.string(), "--sbatch", "--shards", "2", "--sampling", "classic"});
  ASSERT_EQ(script.code, kExitOk) << script.err;
  for (const char* line : {"#SBATCH --array=1-2\n", "#SBATCH --cpus-per-task=1\n",
                           "--shard \"${SLURM_ARRAY_TASK_ID}/2\" --threads 1 --sampling classic --quiet\n"}) {
    EXPECT_NE(script.out.find(line), std::string::npos) << script.out;
  }
  for (const char* shard : {"1/2", "2/2"}) {
    const CliRun r = run({"run-list", "--quiet", list.string(), "--sampling", "classic", "--shard", shard});
    ASSERT_EQ(r.code, kExitOk) << r.err;
  }
  for (const std::string& model : grid.files) {
    EXPECT_EQ(lines(core::withLastThreeReplaced(model, "mrm")), 10108u) << model;
  }
  // The shards leave the start entry past the end; a walk from the first
  // entry then finds every entry done.
  core::RunList after;
  ASSERT_TRUE(core::readRunList(list, core::RunListFormat::User, after).ok());
  EXPECT_EQ(after.start, 10);
  after.start = 1;
  ASSERT_TRUE(core::writeRunList(list, core::RunListFormat::User, after).ok());
  const CliRun r = run({"run-list", "--quiet", list.string(), "--sampling", "classic"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(r.out.find("completed (9 entries): 0 computed, 9 computed before, 0 failed"), std::string::npos)
      << r.out;
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
      {{"validate", "--bogus", "a.nmc"}, kExitBadInput, "", "validate: unknown option \"--bogus\""},
      // Each command's own help, through --help, -h or help COMMAND.
      {{"run-list", "--help"}, kExitOk, "Usage: kvo-compute run-list FILE", ""},
      {{"forward", "-h"}, kExitOk, "--seed N ", ""},
      {{"help", "field"}, kExitOk, "--loop TYPE:SIZE[:SEPARATION]", ""},
      {{"help", "fields"}, kExitBadInput, "", "\"fields\" is not a command"},
      // An option followed by another option has no value (it is not "--quiet").
      {{"a.nmc", "--sampling", "--quiet"}, kExitBadInput, "", "option --sampling needs a value"},
      {{"--threads", "2", "run-list", "list.mrl"}, kExitBadInput, "", "--threads comes before the command run-list"},
      {{"run-list", "l.mrl", "--shard", "4/3"}, kExitBadInput, "", "--shard: \"4/3\" is not a shard"},
      {{"run-list", "l.mrl", "--shards", "3"}, kExitBadInput, "", "--shards is an option of --sbatch"},
      {{"run-list", "l.mrl", "--sbatch", "--shards", "1001"}, kExitBadInput, "", "--shards: \"1001\""},
      {{"run-list", "l.mrl", "--sbatch", "--shard", "1/2"}, kExitBadInput, "", "exclude each other"},
      {{"run-list", "l.mrl", "--sbatch", "--threads", "0"}, kExitBadInput, "", "needs a number of threads from 1"},
      {{"a.nmc", "validate", "b.nmc"}, kExitBadInput, "", "\"a.nmc\" comes before the command validate"},
      {{"field", "--frequency", "2000", "extra"}, kExitBadInput, "", "unexpected argument \"extra\""},
      {{"-q", "--quiet=perhaps", "a.nmc"}, kExitBadInput, "", "--quiet"},
  };
  for (const auto& c : cases) {
    const CliRun r = run(c.args);
    EXPECT_EQ(r.code, c.code) << (c.args.empty() ? "" : c.args[0]);
    EXPECT_NE(r.out.find(c.inOut), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
  }
}

// The MPI farm takes run-list's arguments, without the job-array ones, and
// answers help and version without starting MPI.
TEST(Cli, FarmArguments) {
  const struct {
    std::vector<std::string> args;
    std::optional<int> code;
    const char* inOut;
    const char* inErr;
  } cases[] = {
      {{"run-list", "grid.mrl", "--threads", "1", "--sampling", "classic"}, std::nullopt, "", ""},
      {{"--version"}, kExitOk, "kvo-compute-mpi 0.1", ""},
      {{"run-list", "--help"}, kExitOk, "Usage: kvo-compute-mpi run-list FILE", ""},
      {{}, kExitBadInput, "", "no command given"},
      {{"validate", "a.nmc"}, kExitBadInput, "", "the only command is run-list FILE"},
      {{"run-list", "grid.mrl", "--shard", "1/2"}, kExitBadInput, "", "the farm hands the entries out itself"},
      {{"run-list", "grid.mrl", "--tolerance", "2"}, kExitBadInput, "", "--tolerance: \"2\""},
      {{"--threads", "2", "run-list", "grid.mrl"}, kExitBadInput, "", "comes before the command run-list"},
  };
  for (const auto& c : cases) {
    std::ostringstream out, err;
    ComputeRequest request;
    EXPECT_EQ(parseRunListArguments(c.args, "kvo-compute-mpi", request, out, err), c.code) << err.str();
    EXPECT_NE(out.str().find(c.inOut), std::string::npos) << out.str();
    EXPECT_NE(err.str().find(c.inErr), std::string::npos) << err.str();
    if (!c.code) {
      EXPECT_EQ(request.file, "grid.mrl");
      EXPECT_EQ(request.threads, 1);
      EXPECT_EQ(request.sampling, core::Sampling::Classic);
    }
  }
}

// The help describes every option of every command, in the whole text and in
// the command's own, within 79 columns.
TEST(Cli, HelpDescribesEveryOption) {
  const struct {
    const char* command;
    std::vector<std::string> options;
  } cases[] = {
      {"", {"-o RESULT.mrm", "--sampling classic|converged", "--tolerance T", "--threads N", "-q, --quiet"}},
      {"run-list",
       {"--sampling classic|converged", "--tolerance T", "--threads N", "-q, --quiet", "--shard I/N", "--sbatch",
        "--shards N"}},
      {"field", {"--frequency HZ", "--layers BOTTOM:RES[,BOTTOM:RES...]", "--loop TYPE:SIZE[:SEPARATION]"}},
      {"forward",
       {"--water TOP:BOTTOM:CONTENT[,...]", "--t2 T2[,...]", "--times FIRST:LAST:COUNT", "--noise SIGMA_NV",
        "--seed N", "--format tsv|csv"}},
      {"export", {"--format mrsk|csv", "-o OUTPUT"}},
  };
  const CliRun whole = run({"--help"});
  ASSERT_EQ(whole.code, kExitOk);
  for (const auto& c : cases) {
    const CliRun own = *c.command ? run({c.command, "--help"}) : whole;
    ASSERT_EQ(own.code, kExitOk) << c.command;
    for (const std::string& option : c.options) {
      for (const std::string& text : {whole.out, own.out}) {
        // The option's description starts in column 22, on its line or the next.
        std::size_t lineStart = text.find("\n    " + option);  // under a command in the whole text
        if (lineStart == std::string::npos) lineStart = text.find("\n  " + option);
        ASSERT_NE(lineStart, std::string::npos) << c.command << ": " << option;
        const std::size_t at = text.find(option, ++lineStart) - 2;
        std::istringstream rest(text.substr(lineStart));
        std::string line;
        std::getline(rest, line);
        if (at - lineStart + 2 + option.size() + 2 > 22) std::getline(rest, line);
        ASSERT_GT(line.size(), 22u) << option;
        EXPECT_TRUE(line[21] == ' ' && line[22] != ' ') << option << ": " << line;
      }
    }
  }
  std::istringstream lines(whole.out);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 79u) << line;
}

// A kernel K(q, z) = (q + z, -z) nV/m written as a matrix file.
class CliForwardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_file = fs::temp_directory_path() / ("kvo_cli_forward_" + std::to_string(::getpid()) + ".mrm");
    core::MatrixFileHeader header;
    core::KernelMatrix kernel;
    core::MomentGrid moments{};
    core::DepthGrid depths{};
    for (std::size_t i = 0; i < 100; ++i) {
      moments[i] = 10.0 * (i + 1.0);
      depths[i] = 1.0 + i;
    }
    for (std::size_t p = 0; p < 100; ++p) {
      for (std::size_t z = 0; z < 100; ++z) {
        kernel.re[p][z] = 1e-4 * (moments[p] + depths[z]);
        kernel.im[p][z] = -1e-4 * depths[z];
      }
    }
    std::ofstream(m_file) << core::formatMatrixFile(header, kernel, moments, depths);
  }
  void TearDown() override { fs::remove(m_file); }
  fs::path m_file;
};

TEST_F(CliForwardTest, PrintsTheResponseOfAWaterModel) {
  // One layer from 2 m to 6 m with 0.25 of water: the integral of the
  // linear kernel, 0.25 * (4 q + 16) - 0.25 * 16 i.
  const CliRun r = run({"forward", m_file.string(), "--water", "2:6:0.25"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  std::istringstream lines(r.out);
  std::string header, row;
  std::getline(lines, header);
  EXPECT_EQ(header, "pulse_moment_Ams\tre_nV\tim_nV\tamplitude_nV\tphase_deg");
  std::getline(lines, row);  // q = 10: 14 - 4 i
  EXPECT_EQ(row, "10.0000\t14.0000\t-4.0000\t14.5602\t-15.95");
  // The decaying cube with noise: CSV, one row per pulse moment and time,
  // the same for the same seed, another for another.
  const std::vector<std::string> cube{"forward", m_file.string(), "--water", "2:6:0.25,10:20:0.1", "--t2", "0.1,0.3",
                                      "--times", "0:0.2:5", "--noise", "2", "--format", "csv"};
  const CliRun a = run(cube);
  ASSERT_EQ(a.code, kExitOk) << a.err;
  EXPECT_EQ(std::count(a.out.begin(), a.out.end(), '\n'), 1 + 100 * 5);
  EXPECT_EQ(a.out.substr(0, a.out.find('\n')), "pulse_moment_Ams,time_s,re_nV,im_nV,amplitude_nV,phase_deg");
  EXPECT_EQ(run(cube).out, a.out);
  std::vector<std::string> other = cube;
  other.insert(other.end(), {"--seed", "7"});
  EXPECT_NE(run(other).out, a.out);
  // A repeated list option adds to the list.
  const CliRun twice = run({"forward", m_file.string(), "--water", "2:6:0.25", "--water", "10:20:0.1"});
  EXPECT_EQ(twice.out, run({"forward", m_file.string(), "--water", "2:6:0.25,10:20:0.1"}).out);
}

TEST_F(CliForwardTest, BadArgumentsAreNamedAndExitTwo) {
  const std::string f = m_file.string();
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"forward", f}, "--water is missing"},
      {{"forward", "--water", "1:2:0.1"}, "no result file"},
      {{"forward", f, "--water", "1:2"}, "\"1:2\" is not TOP:BOTTOM:CONTENT"},
      {{"forward", f, "--water", "0.5:2:0.1"}, "not within the kernel's depths, 1 m to 100 m"},
      {{"forward", f, "--water", "1:5:0.1,4:8:0.1"}, "overlap"},
      {{"forward", f, "--water", "1:5:1.1"}, "fraction"},
      {{"forward", f, "--water", "1:5:0.1", "--t2", "0.1"}, "--t2 needs --times"},
      {{"forward", f, "--water", "1:5:0.1", "--t2", "0.1,0.2", "--times", "0:1:3"}, "2 values for 1 water layers"},
      {{"forward", f, "--water", "1:5:0.1", "--times", "1:0:3"}, "--times: \"1:0:3\""},
      {{"forward", f, "--water", "1:5:0.1", "--noise", "-1"}, "--noise"},
      {{"forward", f, "--water", "1:5:0.1", "--seed", "3"}, "--seed needs --noise"},
      {{"forward", f, "--water", "1:5:0.1", "--format", "xls"}, "neither tsv nor csv"},
      {{"forward", f, "--water", "1:5:0.1", "--frobnicate", "1"}, "unknown option \"--frobnicate\""},
      {{"forward", f + ".missing", "--water", "1:5:0.1"}, ".missing: cannot be read"},
  };
  for (const auto& c : cases) {
    const CliRun r = run(c.args);
    EXPECT_EQ(r.code, kExitBadInput) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << c.message;
  }
}

TEST(CliExport, RefusalsNameWhatIsWrong) {
  const std::string missing = (fs::temp_directory_path() / "kvo_cli_export_missing.npz").string();
  const struct {
    std::vector<std::string> args;
    int code;
    const char* message;
  } cases[] = {
      {{"export"}, kExitBadInput, "no kernel archive given"},
      {{"export", "a.npz", "b.npz", "--format", "csv"}, kExitBadInput, "a second file \"b.npz\""},
      {{"export", "a.npz"}, kExitBadInput, "--format is missing"},
      {{"export", "a.npz", "--format", "xls"}, kExitBadInput, "neither mrsk nor csv"},
      {{"export", "a.npz", "--format", "csv", "-o", "a.npz"}, kExitBadInput, "the archive itself"},
      {{"export", missing, "--format", "mrsk"}, kExitBadInput, "kvo_cli_export_missing.npz: not a readable NumPy archive"},
  };
  for (const auto& c : cases) {
    const CliRun r = run(c.args);
    EXPECT_EQ(r.code, c.code) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace kvo::cli
