// Every writer of the program under failure: a disk that fills up during
// the write, a process killed in the middle of writing, a rename that cannot
// be done, a folder that may not be written, a computation killed half way.
// In every case the file that was there before is kept byte for byte, and a
// writer that returns says what went wrong and with which file.
//
// The full disk is a file-size limit (RLIMIT_FSIZE): a write beyond it fails
// with EFBIG, as one on a full disk fails with ENOSPC, and it works for any
// user and on any file system. With SIGXFSZ left at its default the kernel
// kills the writing process at that point instead: a kill in the middle of a
// write, at an exact place.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "compute/compute_sounding.h"
#include "compute/fake_components.h"
#include "model/parameter_file.h"
#include "runlist/run_list_file.h"

namespace kvo::core {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> namesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

SoundingParameters smallSounding() {
  SoundingParameters p = defaultSoundingParameters();
  p.tx = {1, 40, 0, 1, 0, 0, 0};
  p.computing = {2000, -60, 30, 10, 1000, 0, 0};
  p.section[kLayerCount] = 1;
  p.section[layerResistivitySlot(1)] = 50;
  return p;
}

RunList longRunList(const fs::path& dir) {
  RunList list;
  for (int i = 0; i < 200; ++i) list.entries.push_back((dir / ("model " + std::to_string(i) + ".nmc")).string());
  list.start = 7;
  return list;
}

// One writer: writes its file(s) in `dir` with the second set of contents
// and returns the message of a failure ("" when it wrote). `files` are the
// files it writes; `prepare` writes the first set of contents.
struct Writer {
  const char* name;
  std::function<void(const fs::path& dir)> prepare;
  std::function<std::string(const fs::path& dir)> write;
  std::vector<std::string> files;
};

std::string outcomeMessage(const FileOutcome& r) { return r.ok() ? "" : r.message; }

std::vector<Writer> writers() {
  std::vector<Writer> w;
  w.push_back({"parameter file",
               [](const fs::path& dir) {
                 ASSERT_TRUE(writeParameterFile((dir / "model.nmc").string(), "", ParameterFileMode::Parameters,
                                                dir, defaultSoundingParameters())
                                 .ok());
               },
               [](const fs::path& dir) {
                 return outcomeMessage(writeParameterFile((dir / "model.nmc").string(), "",
                                                          ParameterFileMode::Parameters, dir, smallSounding()));
               },
               {"model.nmc"}});
  w.push_back({"working parameter file",
               [](const fs::path& dir) {
                 ASSERT_TRUE(writeParameterFile("a.nmc", "c:", ParameterFileMode::Working, dir,
                                                defaultSoundingParameters())
                                 .ok());
               },
               [](const fs::path& dir) {
                 return outcomeMessage(
                     writeParameterFile("b.nmc", "list.mrl", ParameterFileMode::Working, dir, smallSounding()));
               },
               {std::string(kWorkingFileName)}});
  w.push_back({"user run list",
               [](const fs::path& dir) {
                 RunList old;
                 old.entries = {"old.nmc"};
                 ASSERT_TRUE(writeRunList(dir / "list.mrl", RunListFormat::User, old).ok());
               },
               [](const fs::path& dir) {
                 return outcomeMessage(writeRunList(dir / "list.mrl", RunListFormat::User, longRunList(dir)));
               },
               {"list.mrl"}});
  w.push_back({"run-list working file",
               [](const fs::path& dir) {
                 RunList old;
                 old.entries = {"old.nmc"};
                 ASSERT_TRUE(writeRunList(runListWorkingFile(dir), RunListFormat::Working, old).ok());
               },
               [](const fs::path& dir) {
                 return outcomeMessage(writeRunList(runListWorkingFile(dir), RunListFormat::Working, longRunList(dir)));
               },
               {std::string(kRunListWorkingFileName)}});
  w.push_back({"result files",
               [](const fs::path& dir) {
                 std::ofstream(dir / "run.mrm") << "earlier matrix file\n";
                 std::ofstream(dir / "run.dat") << "earlier signal file\n";
               },
               [](const fs::path& dir) {
                 SoundingParameters p = smallSounding();
                 p.computing[kMaxDepth] = -5;  // the single-depth mode writes both files
                 ComputeOptions o;
                 o.sampling = Sampling::Classic;
                 o.threads = 1;
                 o.workingFolder = dir.string();
                 o.fieldEntry = &testing::freeSpaceEntry;
                 const ComputeResult r = ComputeSounding((dir / "run.nmc").string(), p, o);
                 return r.written() ? std::string() : r.message;
               },
               {"run.mrm", "run.dat"}});
  return w;
}

class FailureInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            ("kvo_failure_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(m_dir, ignored);
  }
  // A fresh folder with the writer's first contents; the contents of its files.
  std::vector<std::string> prepare(const Writer& w) {
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    w.prepare(m_dir);
    std::vector<std::string> before;
    for (const std::string& f : w.files) before.push_back(contents(m_dir / f));
    return before;
  }
  void expectKept(const Writer& w, const std::vector<std::string>& before) {
    for (std::size_t i = 0; i < w.files.size(); ++i) {
      EXPECT_EQ(contents(m_dir / w.files[i]), before[i]) << w.files[i];
    }
  }

  fs::path m_dir;
};

// Below the size of every file written here.
constexpr rlim_t kLimit = 256;

// Sets RLIMIT_FSIZE for the lifetime of the object.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &m_old);
    rlimit l = m_old;
    l.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &l);
  }
  ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &m_old); }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit m_old{};
};

TEST_F(FailureInjectionTest, AFullDiskKeepsThePreviousFilesAndSaysWhichFile) {
  // Every file written here is over 256 bytes; the limit lets the first 256
  // through, so each write fails part way.
  struct sigaction ignore {}, old{};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGXFSZ, &ignore, &old);
  for (const Writer& w : writers()) {
    SCOPED_TRACE(w.name);
    const std::vector<std::string> before = prepare(w);
    std::string message;
    {
      FileSizeLimit limit(kLimit);
      message = w.write(m_dir);
    }
    EXPECT_NE(message.find((m_dir / w.files.front()).string()), std::string::npos) << message;
    EXPECT_NE(message.find(std::strerror(EFBIG)), std::string::npos) << message;
    expectKept(w, before);
    // Nothing else is left behind.
    std::vector<std::string> expected = w.files;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(namesIn(m_dir), expected);
    // And once there is room again, the same write succeeds.
    EXPECT_EQ(w.write(m_dir), "");
  }
  ::sigaction(SIGXFSZ, &old, nullptr);
}

TEST_F(FailureInjectionTest, AWriterKilledInTheMiddleOfAWriteLeavesThePreviousFiles) {
  for (const Writer& w : writers()) {
    SCOPED_TRACE(w.name);
    const std::vector<std::string> before = prepare(w);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::signal(SIGXFSZ, SIG_DFL);
      rlimit l{};
      ::getrlimit(RLIMIT_FSIZE, &l);
      l.rlim_cur = kLimit;
      ::setrlimit(RLIMIT_FSIZE, &l);
      (void)w.write(m_dir);
      ::_exit(0);  // not reached when the write is killed
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the write was not killed";
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
    expectKept(w, before);
  }
}

TEST_F(FailureInjectionTest, ARenameThatFailsKeepsThePreviousFiles) {
  // A folder where the new file should go: the temporary file is written,
  // and the rename over the folder fails.
  for (const Writer& w : writers()) {
    SCOPED_TRACE(w.name);
    prepare(w);
    const fs::path blocked = m_dir / w.files.front();
    fs::remove(blocked);
    fs::create_directories(blocked / "inside");
    const std::string message = w.write(m_dir);
    EXPECT_NE(message.find(blocked.string()), std::string::npos) << message;
    EXPECT_TRUE(fs::is_directory(blocked / "inside"));
    for (const std::string& name : namesIn(m_dir)) {
      EXPECT_EQ(name.find(".tmp"), std::string::npos) << name << " left behind";
    }
  }
}

TEST_F(FailureInjectionTest, AFolderThatMayNotBeWrittenKeepsThePreviousFiles) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the super-user";
  for (const Writer& w : writers()) {
    SCOPED_TRACE(w.name);
    const std::vector<std::string> before = prepare(w);
    fs::permissions(m_dir, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const std::string message = w.write(m_dir);
    fs::permissions(m_dir, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_NE(message.find((m_dir / w.files.front()).string()), std::string::npos) << message;
    EXPECT_NE(message.find(std::strerror(EACCES)), std::string::npos) << message;
    expectKept(w, before);
  }
}

// Kills its own process at the field component's fifth call.
std::atomic<int> g_callsBeforeKill{0};
void killingEntry(FieldBlock block, std::string_view path) {
  if (++g_callsBeforeKill == 5) ::kill(::getpid(), SIGKILL);
  testing::freeSpaceEntry(block, path);
}

TEST_F(FailureInjectionTest, AComputationKilledHalfWayLeavesTheEarlierResults) {
  fs::create_directories(m_dir);
  std::ofstream(m_dir / "run.mrm") << "earlier matrix file\n";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ComputeOptions o;
    o.sampling = Sampling::Classic;
    o.threads = 2;
    o.workingFolder = m_dir.string();
    o.fieldEntry = &killingEntry;
    (void)ComputeSounding((m_dir / "run.nmc").string(), smallSounding(), o);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGKILL);
  EXPECT_EQ(contents(m_dir / "run.mrm"), "earlier matrix file\n");
  EXPECT_EQ(namesIn(m_dir), (std::vector<std::string>{"run.mrm"}));
}

}  // namespace
}  // namespace kvo::core
