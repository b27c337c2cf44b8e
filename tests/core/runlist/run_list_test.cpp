#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "model/parameter_file.h"
#include "runlist/model_grid.h"
#include "runlist/run_journal.h"
#include "runlist/run_list_file.h"
#include "runlist/run_list_walker.h"
#include "util/atomic_file.h"

namespace kvo::core {
namespace {

namespace fs = std::filesystem;

class RunListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            (std::string("kvo_runlist_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  std::string text(const fs::path& file) {
    std::string message;
    return readSmallFile(file, 1 << 20, message).value_or("<none>");
  }
  // A valid parameter file: the bundled coincident-loop example.
  std::string example(const std::string& name) {
    std::string first = KVO_EXAMPLES_DIR "/coincident_circle_100m_three_layers.nmc", second;
    SoundingParameters p;
    EXPECT_TRUE(readParameterFile(first, second, ParameterFileMode::Parameters, {}, p).ok());
    const std::string file = (m_dir / name).string();
    EXPECT_TRUE(writeParameterFile(file, "", ParameterFileMode::Parameters, {}, p).ok());
    return file;
  }

  fs::path m_dir;
};

TEST_F(RunListTest, FormatsAreByteExactAndRoundTrip) {
  RunList list{{"/d/a.nmc", "/d/b.nmc"}, 2, "/d/list.mrl"};
  EXPECT_EQ(formatRunList(list, RunListFormat::Working), "   2    2 /d/list.mrl \n/d/a.nmc \n/d/b.nmc \n");
  EXPECT_EQ(formatRunList(list, RunListFormat::User), "   2    2 \n/d/a.nmc \n/d/b.nmc \n");
  list.entries.push_back("/my data/c d.nmc");
  for (RunListFormat format : {RunListFormat::Working, RunListFormat::User}) {
    const fs::path file = m_dir / "list";
    ASSERT_TRUE(writeRunList(file, format, list).ok());
    RunList back;
    ASSERT_TRUE(readRunList(file, format, back).ok());
    EXPECT_EQ(back.entries, list.entries);
    EXPECT_EQ(back.start, 2);
    EXPECT_EQ(back.runListFile, format == RunListFormat::Working ? list.runListFile : "c:");
  }
  EXPECT_NE(formatRunList(list, RunListFormat::User).find("\"/my data/c d.nmc\" \n"), std::string::npos);
}

TEST_F(RunListTest, DamagedListsAreRefusedAndChangeNothing) {
  const struct {
    const char* text;
    const char* reason;
  } cases[] = {
      {"", "line 1, the number of entries is missing"},
      {"two 1\n", "line 1, the number of entries \"two\" is not an integer"},
      {"2 1.5\n", "line 1, the start entry \"1.5\" is not an integer"},
      {"901 1\n", "line 1, the list holds 901 entries (0 to 900 are possible)"},
      {"3 1\na.nmc\nb.nmc\n", "line 4, the file ends after 2 of 3 entries"},
      {"1 1\n\"a.nmc\n", "line 2, a file name has no closing quote"},
  };
  const fs::path file = m_dir / "bad.mrl";
  for (const auto& c : cases) {
    ASSERT_FALSE(writeFileAtomically(file, c.text).has_value());
    RunList list{{"keep"}, 7, "x"};
    const FileOutcome r = readRunList(file, RunListFormat::User, list);
    EXPECT_EQ(r.status, FileOutcome::Status::Damaged);
    EXPECT_EQ(r.message, "File \"" + file.string() + "\" is damaged: " + c.reason);
    EXPECT_EQ(list.entries, std::vector<std::string>{"keep"});
  }
  RunList list;
  EXPECT_EQ(readRunList(m_dir / "none", RunListFormat::Working, list).status,
            FileOutcome::Status::CannotOpen);
}

TEST(ModelGrid, CountsAreChecked) {
  const struct {
    int we, ns;
    const char* message;
  } cases[] = {{3, 2, nullptr}, {1, 1, nullptr}, {30, 30, nullptr}, {900, 1, nullptr},
               {30, 31, "Total number of models (W-E * N-S) must be <900"},
               {0, 5, "Numbers W-E and N-S must be >1"}, {5, -1, "Numbers W-E and N-S must be >1"}};
  for (const auto& c : cases) {
    ModelGridSettings s;
    s.countWE = c.we;
    s.countNS = c.ns;
    const auto e = checkModelGrid(s);
    EXPECT_EQ(e.has_value(), c.message != nullptr) << c.we << "x" << c.ns;
    if (c.message != nullptr && e) {
      EXPECT_EQ(*e, c.message);
    }
  }
}

TEST(ModelGrid, NamesFollowTheGridOrderAndStayDistinct) {
  ModelGridSettings s{0, 0, 10, 20, 3, 2};
  ModelNamer namer("/d/survey.nmc");
  std::vector<std::string> names;
  for (const ModelPosition& p : modelGridPositions(s)) names.push_back(namer.nameFor(p));
  const std::vector<std::string> expected = {
      "/d/survey_WE_0_NS_0.nmc",  "/d/survey_WE_10_NS_0.nmc",  "/d/survey_WE_20_NS_0.nmc",
      "/d/survey_WE_0_NS_20.nmc", "/d/survey_WE_10_NS_20.nmc", "/d/survey_WE_20_NS_20.nmc"};
  EXPECT_EQ(names, expected);
  ModelNamer fine("/d/s.nmc");
  EXPECT_EQ(fine.nameFor({25.0, -10.0}), "/d/s_WE_25_NS_-10.nmc");
  EXPECT_EQ(fine.nameFor({-2.7, 0.0}), "/d/s_WE_-2_NS_0.nmc");
  EXPECT_EQ(fine.nameFor({-2.2, 0.0}), "/d/s_WE_-2.2_NS_0.nmc");  // would repeat -2
  EXPECT_EQ(fine.nameFor({-2.2, 0.0}), "/d/s_WE_-2.2_NS_0_2.nmc");
}

TEST(ModelGrid, TargetMovesWithItsCentre) {
  TargetSetup t{};
  t[kTargetEnabled] = 1;
  const double corners[4][2] = {{20, -15}, {40, -15}, {40, -5}, {20, -5}};  // centre (30, -10)
  for (int c = 0; c < 4; ++c) {
    t[targetCornerNorthSlot(c)] = corners[c][0];
    t[targetCornerEastSlot(c)] = corners[c][1];
  }
  t[kTargetTop] = 5;
  t[kTargetShiftSN] = 30;
  t[kTargetShiftWE] = -10;
  const TargetSetup moved = targetAt(relativeTarget(t), {100, -50});
  for (int c = 0; c < 4; ++c) {
    EXPECT_DOUBLE_EQ(moved[targetCornerNorthSlot(c)], corners[c][0] - 30 - 50);
    EXPECT_DOUBLE_EQ(moved[targetCornerEastSlot(c)], corners[c][1] + 10 + 100);
  }
  EXPECT_EQ(moved[kTargetShiftSN], -50);
  EXPECT_EQ(moved[kTargetShiftWE], 100);
  EXPECT_EQ(moved[kTargetTop], 5);
}

MainWindowValues windowOf(const SoundingParameters& stored) {
  SoundingParameters copy = stored;
  MainWindowValues v;
  EXPECT_FALSE(readMainWindowFields(showParameters(copy, false), v).has_value());
  return v;
}

TEST_F(RunListTest, GeneratesTheModelFilesFromTheBaseFile) {
  const std::string base = example("survey.nmc");
  SoundingParameters params = defaultSoundingParameters();
  std::string first = KVO_EXAMPLES_DIR "/target_3d.nmc", second;
  ASSERT_TRUE(readParameterFile(first, second, ParameterFileMode::Parameters, {}, params).ok());
  MainWindowValues window = windowOf(params);
  window.larmorFrequency = 2345;  // the main window's values replace the base file's
  const ModelGridResult r =
      generateModelGrid({0, 0, 10, 20, 3, 2}, base, "c:", window, m_dir, params);
  ASSERT_FALSE(r.message.has_value()) << *r.message;
  ASSERT_EQ(r.files.size(), 6u);
  SoundingParameters model;
  std::string name = r.files[5], ignored;
  ASSERT_TRUE(readParameterFile(name, ignored, ParameterFileMode::Parameters, {}, model).ok());
  EXPECT_EQ(model.computing[kLarmorFrequency], 2345);
  EXPECT_EQ(model.target[kTargetShiftWE], 20);
  EXPECT_EQ(model.target[kTargetShiftSN], 20);
  EXPECT_EQ(model.target[kTargetEnabled], 1);
  EXPECT_EQ(model.tx[kLoopSize], 100);  // loops from the base file
  std::string header, ignored2;
  ASSERT_TRUE(readParameterFile(header, ignored2, ParameterFileMode::HeaderOnly, m_dir, model).ok());
  EXPECT_EQ(header, base);

  // Without the 3D target switch no model carries a target; a bad window value
  // stops after the models made so far.
  window.switches.target3D = false;
  ModelGridResult none = generateModelGrid({0, 0, 10, 20, 1, 1}, base, "c:", window, m_dir, params);
  ASSERT_EQ(none.files.size(), 1u);
  name = none.files[0];
  ASSERT_TRUE(readParameterFile(name, ignored, ParameterFileMode::Parameters, {}, model).ok());
  EXPECT_EQ(model.target[kTargetEnabled], 0);
  window.larmorFrequency = 100;
  const ModelGridResult bad = generateModelGrid({0, 0, 1, 1, 2, 2}, base, "c:", window, m_dir, params);
  EXPECT_TRUE(bad.files.empty());
  EXPECT_EQ(bad.message, "Frequency is wrong (500Hz < frequency < 3000Hz)");
}

TEST_F(RunListTest, WalkComputesFromTheStartAndRecordsProgress) {
  RunList list{{example("1.nmc"), example("2.nmc"), example("3.nmc")}, 2, "c:"};
  const fs::path file = runListWorkingFile(m_dir);
  ASSERT_TRUE(writeRunList(file, RunListFormat::Working, list).ok());
  std::vector<std::string> computed;
  RunListWalk walk;
  walk.compute = [&](const std::string& f, const SoundingParameters&, std::string&) {
    computed.push_back(f);
    return EntryStatus::Written;
  };
  const RunListWalkResult r = walkRunList(file, RunListFormat::Working, walk);
  EXPECT_EQ(r.status, RunListWalkResult::Status::Completed);
  EXPECT_EQ(computed, (std::vector<std::string>{list.entries[1], list.entries[2]}));
  RunList after;
  ASSERT_TRUE(readRunList(file, RunListFormat::Working, after).ok());
  EXPECT_EQ(after.start, 4);
  const RunListWalkResult again = walkRunList(file, RunListFormat::Working, walk);
  EXPECT_EQ(again.status, RunListWalkResult::Status::AlreadyFulfilled);
  EXPECT_EQ(again.message, "Computing of this Run List is already fulfilled");
}

TEST_F(RunListTest, StopKeepsTheStartOnTheStoppedEntryAndResumes) {
  RunList list;
  for (int i = 1; i <= 5; ++i) list.entries.push_back(example(std::to_string(i) + ".nmc"));
  list.start = 0;  // counts as 1
  const fs::path file = m_dir / "list.mrl";
  ASSERT_TRUE(writeRunList(file, RunListFormat::User, list).ok());
  std::vector<int> computed;
  RunListWalk walk;
  walk.entryStarted = [&](int number, int total, const std::string&) {
    EXPECT_EQ(total, 5);
    computed.push_back(number);
  };
  walk.compute = [&](const std::string&, const SoundingParameters&, std::string&) {
    return computed.back() == 2 ? EntryStatus::Stopped : EntryStatus::Written;
  };
  const RunListWalkResult stopped = walkRunList(file, RunListFormat::User, walk);
  EXPECT_EQ(stopped.status, RunListWalkResult::Status::Stopped);
  EXPECT_EQ(stopped.nextEntry, 2);
  RunList after;
  ASSERT_TRUE(readRunList(file, RunListFormat::User, after).ok());
  EXPECT_EQ(after.start, 2);
  computed.clear();
  walk.compute = [](const std::string&, const SoundingParameters&, std::string&) {
    return EntryStatus::Written;
  };
  EXPECT_EQ(walkRunList(file, RunListFormat::User, walk).status, RunListWalkResult::Status::Completed);
  EXPECT_EQ(computed, (std::vector<int>{2, 3, 4, 5}));
}

TEST_F(RunListTest, UnreadableOrInvalidEntriesAreSkippedWithTheReason) {
  const std::string good = example("good.nmc");
  const std::string invalid = (m_dir / "invalid.nmc").string();
  {
    std::string first = good, second;
    SoundingParameters p;
    ASSERT_TRUE(readParameterFile(first, second, ParameterFileMode::Parameters, {}, p).ok());
    p.computing[kPulseDuration] = 500;
    ASSERT_TRUE(writeParameterFile(invalid, "", ParameterFileMode::Parameters, {}, p).ok());
  }
  RunList list{{(m_dir / "missing.nmc").string(), invalid, good}, 1, "c:"};
  const fs::path file = runListWorkingFile(m_dir);
  ASSERT_TRUE(writeRunList(file, RunListFormat::Working, list).ok());
  std::vector<std::string> computed;
  RunListWalk walk;
  walk.compute = [&](const std::string& f, const SoundingParameters& p, std::string&) {
    EXPECT_EQ(p.computing[kPulseDuration], 40);
    computed.push_back(f);
    return EntryStatus::Written;
  };
  const RunListWalkResult r = walkRunList(file, RunListFormat::Working, walk);
  ASSERT_EQ(r.entries.size(), 3u);
  EXPECT_EQ(r.entries[0].status, EntryStatus::Skipped);
  EXPECT_NE(r.entries[0].message.find("missing.nmc"), std::string::npos);
  EXPECT_EQ(r.entries[1].status, EntryStatus::Skipped);
  EXPECT_NE(r.entries[1].message.find("Pulse duration is wrong"), std::string::npos);
  EXPECT_EQ(computed, std::vector<std::string>{good});
}


// Writes `text` to a file in the test's folder and gives its name.
std::string writeText(const fs::path& dir, const std::string& name, const std::string& text) {
  std::ofstream(dir / name, std::ios::binary) << text;
  return (dir / name).string();
}

TEST(RunJournal, OnlyWholeRecordsCount) {
  const JournalRecord a{"0123456789abcdef", "converged/0.001", "a.nmc"};
  const JournalRecord blank{"fedcba9876543210", "classic", "models/with blank.nmc"};
  const std::string good = formatJournalRecord(a) + formatJournalRecord(blank);
  const struct {
    std::string text;
    std::size_t records;
  } cases[] = {
      {good, 2},
      {"", 0},
      {good + "done 0123456789abcdef converged/0.001 torn.nm", 2},  // no line end: torn by a crash
      {"done 0123456789ABCDEF classic a.nmc\n", 0},                 // not our hash digits
      {"done 0123456789abcde classic a.nmc\n", 0},
      {"done 0123456789abcdef classic\n", 0},
      {"done 0123456789abcdef classic a.nmc extra\n", 0},
      {"gone 0123456789abcdef classic a.nmc\n", 0},
      {"done 0123456789abcdef classic \"open quote\n", 0},
      {"\n\r\n\0garbage\n" + good, 2},
  };
  for (const auto& c : cases) {
    const RunJournal journal = RunJournal::parse(c.text);
    EXPECT_EQ(journal.size(), c.records) << c.text;
    if (c.records == 2) {
      EXPECT_TRUE(journal.completed(a));
      EXPECT_TRUE(journal.completed(blank));
      EXPECT_FALSE(journal.completed({a.hash, "converged/0.002", a.file}));  // other tolerance
      EXPECT_FALSE(journal.completed({"0123456789abcdee", a.settings, a.file}));  // other contents
    }
  }
  EXPECT_NE(contentHash("a"), contentHash("b"));
  EXPECT_EQ(contentHash(""), "cbf29ce484222325");  // FNV-1a's offset basis
}

// Three processes append at once: every line arrives whole, and a line torn
// by a crash costs only itself.
TEST_F(RunListTest, ConcurrentAppendsLoseNoLine) {
  const fs::path journal = m_dir / "list.mrl.journal";
  writeText(m_dir, "list.mrl.journal", "done 0123456789abcdef classic torn");
  constexpr int kProcesses = 3, kLines = 200;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kLines; ++i) {
        const JournalRecord r{contentHash(std::to_string(p * kLines + i)), "classic",
                              "process " + std::to_string(p) + "/" + std::to_string(i) + ".nmc"};
        const JournalLock lock(journal);
        failures += appendJournalRecord(lock, journal, r).has_value();
      }
      ::_exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::string message;
  const auto read = RunJournal::read(journal, message);
  ASSERT_TRUE(read) << message;
  EXPECT_EQ(read->size(), static_cast<std::size_t>(kProcesses * kLines));
  for (int p = 0; p < kProcesses; ++p) {
    for (int i = 0; i < kLines; i += 37) {
      EXPECT_TRUE(read->completed({contentHash(std::to_string(p * kLines + i)), "classic",
                                   "process " + std::to_string(p) + "/" + std::to_string(i) + ".nmc"}));
    }
  }
}

// The journal decides what a walk computes: an entry completed before with
// the same contents and sampling is kept, a changed file or another
// tolerance is computed again, and the start entry ends at the first entry
// not yet done.
TEST_F(RunListTest, JournalSkipsOnlyUnchangedCompletedEntries) {
  RunList list;
  for (int i = 1; i <= 4; ++i) list.entries.push_back(example(std::to_string(i) + ".nmc"));
  const fs::path file = m_dir / "list.mrl";
  ASSERT_TRUE(writeRunList(file, RunListFormat::User, list).ok());
  std::vector<int> computed;
  RunListWalk walk;
  walk.entryStarted = [&](int number, int, const std::string&) { computed.push_back(number); };
  walk.compute = [&](const std::string&, const SoundingParameters&, std::string&) { return EntryStatus::Written; };
  auto walkFromTheTop = [&](const std::string& settings) {
    RunList again = list;
    again.start = 1;
    EXPECT_TRUE(writeRunList(file, RunListFormat::User, again).ok());
    computed.clear();
    walk.settings = settings;
    return walkRunList(file, RunListFormat::User, walk);
  };
  EXPECT_EQ(walkFromTheTop("converged/0.001").status, RunListWalkResult::Status::Completed);
  EXPECT_EQ(computed, (std::vector<int>{1, 2, 3, 4}));
  // Entry 3's file changes (one blank more); entry 4 is unchanged.
  std::string message;
  const std::string third = readSmallFile(list.entries[2], 1 << 20, message).value();
  writeText(m_dir, "3.nmc", third + " ");
  const RunListWalkResult r = walkFromTheTop("converged/0.001");
  EXPECT_EQ(computed, (std::vector<int>{3}));
  ASSERT_EQ(r.entries.size(), 4u);
  EXPECT_EQ(r.entries[0].status, EntryStatus::Completed);
  EXPECT_EQ(r.entries[2].status, EntryStatus::Written);
  EXPECT_EQ(r.nextEntry, 5);
  walkFromTheTop("converged/0.002");
  EXPECT_EQ(computed, (std::vector<int>{1, 2, 3, 4}));
  // A failed entry is tried again by the next walk; the start entry passes
  // it within a walk but stops at it when the list is opened again.
  walk.compute = [&](const std::string& f, const SoundingParameters&, std::string&) {
    return f == list.entries[1] ? EntryStatus::Failed : EntryStatus::Written;
  };
  walkFromTheTop("classic");
  EXPECT_EQ(computed, (std::vector<int>{1, 2, 3, 4}));
  walkFromTheTop("classic");
  EXPECT_EQ(computed, (std::vector<int>{2}));
}

// Shards I/N of a list together compute every entry from the start entry on
// once, whatever N and the list's length.
TEST_F(RunListTest, ShardsSplitTheListWithoutOverlap) {
  std::vector<std::string> files;
  for (int i = 1; i <= 5; ++i) files.push_back(example(std::to_string(i) + ".nmc"));
  for (int length = 0; length <= 5; ++length) {
    for (int start : {1, 3}) {
      for (int count = 1; count <= 4; ++count) {
        const std::string name = "list" + std::to_string(length) + "_" + std::to_string(start) + "_" +
                                 std::to_string(count) + ".mrl";
        const fs::path file = m_dir / name;
        RunList list{{files.begin(), files.begin() + length}, start, "c:"};
        ASSERT_TRUE(writeRunList(file, RunListFormat::User, list).ok());
        std::multiset<int> computed;
        for (int index = 1; index <= count; ++index) {
          RunListWalk walk;
          walk.shard = {index, count};
          walk.entryStarted = [&](int number, int, const std::string&) { computed.insert(number); };
          walk.compute = [](const std::string&, const SoundingParameters&, std::string&) {
            return EntryStatus::Written;
          };
          walkRunList(file, RunListFormat::User, walk);
        }
        std::multiset<int> expected;
        for (int n = start; n <= length; ++n) expected.insert(n);
        EXPECT_EQ(computed, expected) << name;
        RunList after;
        ASSERT_TRUE(readRunList(file, RunListFormat::User, after).ok());
        EXPECT_EQ(after.start, std::max(start, length + 1)) << name;
      }
    }
  }
  const struct {
    const char* text;
    bool ok;
  } shards[] = {{"1/1", true}, {"3/4", true}, {"0/4", false}, {"5/4", false}, {"1/0", false},
                {"2", false},  {"a/b", false}, {"1/2/3", false}, {"-1/2", false}, {"", false}};
  for (const auto& c : shards) {
    std::string message;
    EXPECT_EQ(parseShard(c.text, message).has_value(), c.ok) << c.text;
    if (!c.ok) {
      EXPECT_NE(message.find(c.text), std::string::npos) << message;
    }
  }
}

}  // namespace
}  // namespace kvo::core
