#include "model/parameter_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

#include "util/atomic_file.h"

namespace kvo::core {
namespace {

namespace fs = std::filesystem;

class ParameterFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            (std::string("kvo_param_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  void put(const fs::path& file, const std::string& text) {
    ASSERT_FALSE(writeFileAtomically(file, text).has_value());
  }
  std::string get(const fs::path& file) {
    std::string message;
    return readSmallFile(file, 1 << 20, message).value_or("<unreadable>");
  }

  fs::path m_dir;
};

SoundingParameters sample() {
  SoundingParameters p = defaultSoundingParameters();
  p.tx = {1, 50, 0, 1, 0, 0, 0, 0, 0, 0};
  p.computing = {2000, -60, 100, 40, 1e6, 3, 1, 0, 0, 0};
  p.section[kLayerCount] = 2;
  p.section[1] = 5;
  p.section[2] = 100;
  p.section[3] = 150;
  p.section[4] = 20;
  return p;
}

// Every used slot of every record, in file order, for comparisons.
std::vector<double*> usedSlots(SoundingParameters& p) {
  std::vector<double*> slots;
  auto add = [&](auto& record, std::size_t used) {
    for (std::size_t i = 0; i < used; ++i) slots.push_back(&record[i]);
  };
  add(p.tx, kLoopUsedSlots);
  add(p.rx, kLoopUsedSlots);
  add(p.computing, kComputingUsedSlots);
  add(p.section, kSectionUsedSlots);
  add(p.target, kTargetUsedSlots);
  add(p.slope, kSlopeUsedSlots);
  add(p.frequencyShift, kFrequencyShiftUsedSlots);
  return slots;
}

TEST_F(ParameterFileTest, TxLineLayoutIsByteExact) {
  const std::string text = formatParameterFile(sample(), std::nullopt);
  const std::string txLine = "    1.00    50.00     0.00     1.00     0.00     0.00     0.00 \n";
  EXPECT_EQ(text.substr(0, txLine.size()), txLine);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 7);
  // The computing line holds the moment of 1 000 000 ten characters wide.
  EXPECT_NE(text.find(" 2000.00   -60.00   100.00    40.00 1000000.00     3.00     1.00 \n"),
            std::string::npos);
  // Line 4 has 13 values, line 7 has 21.
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
    lines.push_back(text.substr(start, nl - start));
  }
  const std::size_t counts[] = {7, 7, 7, 13, 16, 3, 21};
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(lines[i].size(), counts[i] * 9 + (i == 2 ? 2 : 0)) << i;
}

TEST_F(ParameterFileTest, WriteThenReadGivesValuesRoundedToHundredths) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> value(-20000, 20000);
  for (int trial = 0; trial < 50; ++trial) {
    SoundingParameters p;
    for (double* slot : usedSlots(p)) *slot = value(rng);
    const std::string file = (m_dir / "round.nmc").string();
    ASSERT_TRUE(writeParameterFile(file, "", ParameterFileMode::Parameters, m_dir, p).ok());
    SoundingParameters back;
    std::string first = file, second;
    ASSERT_TRUE(readParameterFile(first, second, ParameterFileMode::Parameters, m_dir, back).ok());
    const auto a = usedSlots(p), b = usedSlots(back);
    for (std::size_t i = 0; i < a.size(); ++i) {
      char ref[64];
      std::snprintf(ref, sizeof ref, "%.2f", *a[i]);
      ASSERT_EQ(*b[i], std::strtod(ref, nullptr)) << i;
      ASSERT_LE(std::fabs(*b[i] - *a[i]), 0.005 + 1e-9) << i;
    }
  }
}

TEST_F(ParameterFileTest, WideValuesReadBackUnchanged) {
  SoundingParameters p = sample();
  p.computing[kMaxPulseMoment] = 1000000;
  p.target[kTargetShiftSN] = -123456.78;
  const std::string file = (m_dir / "wide.nmc").string();
  ASSERT_TRUE(writeParameterFile(file, "", ParameterFileMode::Parameters, m_dir, p).ok());
  EXPECT_NE(get(file).find("-123456.78 "), std::string::npos);
  SoundingParameters back;
  std::string first = file, second;
  ASSERT_TRUE(readParameterFile(first, second, ParameterFileMode::Parameters, m_dir, back).ok());
  EXPECT_EQ(back.computing[kMaxPulseMoment], 1000000);
  EXPECT_EQ(back.target[kTargetShiftSN], -123456.78);
}

TEST_F(ParameterFileTest, WorkingFileCarriesBothNames) {
  const SoundingParameters p = sample();
  ASSERT_TRUE(writeParameterFile("/data/run1.nmc", "/data/list.mrl", ParameterFileMode::Working,
                                 m_dir, p)
                  .ok());
  const std::string text = get(m_dir / "KVO_comp_param.ncc");
  EXPECT_EQ(text.substr(0, text.find('\n') + 1), "/data/run1.nmc /data/list.mrl\n");
  EXPECT_EQ(text.substr(text.find('\n') + 1), formatParameterFile(p, std::nullopt));

  std::string first, second;
  SoundingParameters back = defaultSoundingParameters();
  ASSERT_TRUE(readParameterFile(first, second, ParameterFileMode::Working, m_dir, back).ok());
  EXPECT_EQ(first, "/data/run1.nmc");
  EXPECT_EQ(second, "/data/list.mrl");
  EXPECT_EQ(back, p);
}

TEST_F(ParameterFileTest, NamesWithBlanksAreQuoted) {
  const struct {
    std::string name;
    std::string written;
  } cases[] = {
      {"c:", "c:"},
      {"/my data/run 1.nmc", "\"/my data/run 1.nmc\""},
      {"", "\"\""},
      {"say \"hi\".nmc", "\"say \\\"hi\\\".nmc\""},
      {"back\\slash.nmc", "back\\slash.nmc"},
      {"tab\there \\ x", "\"tab\there \\\\ x\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(headerName(c.name), c.written);
    ASSERT_TRUE(writeParameterFile(c.name, "second name", ParameterFileMode::Working, m_dir,
                                   sample())
                    .ok());
    std::string first = "x", second = "y";
    SoundingParameters back;
    ASSERT_TRUE(readParameterFile(first, second, ParameterFileMode::Working, m_dir, back).ok())
        << c.name;
    EXPECT_EQ(first, c.name);
    EXPECT_EQ(second, "second name");
    EXPECT_EQ(back, sample());
  }
}

TEST_F(ParameterFileTest, HeaderOnlyWorkingFileIsValidInModeZero) {
  put(m_dir / "KVO_comp_param.ncc", "/a/b.nmc c:\n");
  SoundingParameters p = sample();
  std::string first, second;
  const FileOutcome r = readParameterFile(first, second, ParameterFileMode::HeaderOnly, m_dir, p);
  ASSERT_TRUE(r.ok()) << r.message;
  EXPECT_EQ(first, "/a/b.nmc");
  EXPECT_EQ(second, "c:");
  EXPECT_EQ(p, sample());
  // Mode 1 needs the body too.
  const FileOutcome full = readParameterFile(first, second, ParameterFileMode::Working, m_dir, p);
  EXPECT_EQ(full.status, FileOutcome::Status::Damaged);
  EXPECT_EQ(p, sample());
}

TEST_F(ParameterFileTest, MissingFileGivesTheNoFileNames) {
  std::string first = (m_dir / "absent.nmc").string(), second = "keep";
  SoundingParameters p = sample();
  const FileOutcome r = readParameterFile(first, second, ParameterFileMode::Parameters, m_dir, p);
  EXPECT_EQ(r.status, FileOutcome::Status::CannotOpen);
  EXPECT_NE(r.message.find("absent.nmc"), std::string::npos);
  EXPECT_EQ(first, "c:");
  EXPECT_EQ(second, "c:");
  EXPECT_EQ(p, sample());
  first = "x";
  EXPECT_EQ(readParameterFile(first, second, ParameterFileMode::Working, m_dir, p).status,
            FileOutcome::Status::CannotOpen);
  EXPECT_EQ(first, "c:");
}

TEST_F(ParameterFileTest, DamagedFilesAreRefusedNamingTheLine) {
  const std::string good = formatParameterFile(sample(), std::nullopt);
  auto replaceToken = [&](int line, int index, const std::string& with) {
    std::string text = good;
    std::size_t pos = 0;
    for (int l = 1; l < line; ++l) pos = text.find('\n', pos) + 1;
    for (int i = 0; i <= index; ++i) {
      pos = text.find_first_not_of(' ', pos);
      if (i < index) pos = text.find(' ', pos);
    }
    const std::size_t end = text.find(' ', pos);
    return text.replace(pos, end - pos, with);
  };
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {"", "line 1, the file ends before record 1 (Tx loop), value 1 of 7"},
      {good.substr(0, good.find("150.00")), "line 4, the file ends before record 4 (resistivity section), value 4 of 13"},
      {replaceToken(4, 2, "abc"), "line 4, record 4 (resistivity section), value 3 of 13: \"abc\" is not a number"},
      {replaceToken(3, 0, "2,000.00"), "line 3, record 3 (computing parameters), value 1 of 7: \"2,000.00\" is not a number"},
      {replaceToken(7, 20, "nan"), "line 7, record 7 (frequency shift), value 21 of 21: \"nan\" is not a number"},
      {replaceToken(1, 1, "12345678901234567890"), "line 1, record 1 (Tx loop), value 2 of 7: a token longer than 19 characters"},
      {replaceToken(2, 0, "1e999"), "line 2, record 2 (Rx loop), value 1 of 7: \"1e999\" is not a number"},
  };
  const fs::path file = m_dir / "bad.nmc";
  for (const auto& c : cases) {
    put(file, c.text);
    SoundingParameters p = sample();
    std::string first = file.string(), second = "second";
    const FileOutcome r = readParameterFile(first, second, ParameterFileMode::Parameters, m_dir, p);
    EXPECT_EQ(r.status, FileOutcome::Status::Damaged);
    EXPECT_EQ(r.message, "File \"" + file.string() + "\" is damaged: " + c.expected);
    EXPECT_EQ(p, sample());
    EXPECT_EQ(first, file.string());
    EXPECT_EQ(second, "second");
  }
  // A 19-character token is still a number.
  put(file, replaceToken(1, 1, "0000000000000050.00"));
  SoundingParameters p;
  std::string first = file.string(), second;
  EXPECT_TRUE(readParameterFile(first, second, ParameterFileMode::Parameters, m_dir, p).ok());
  EXPECT_EQ(p.tx[kLoopSize], 50);
}

TEST_F(ParameterFileTest, DamagedWorkingHeaderIsRefused) {
  for (const std::string text : {"", "only-one-name", "\"unterminated name c:\n"}) {
    put(m_dir / "KVO_comp_param.ncc", text);
    std::string first = "a", second = "b";
    SoundingParameters p = sample();
    const FileOutcome r = readParameterFile(first, second, ParameterFileMode::HeaderOnly, m_dir, p);
    EXPECT_EQ(r.status, FileOutcome::Status::Damaged) << text;
    EXPECT_NE(r.message.find("header"), std::string::npos) << r.message;
    EXPECT_EQ(first, "a");
    EXPECT_EQ(second, "b");
  }
}

TEST_F(ParameterFileTest, LineEndsAreOnlyWhitespace) {
  std::string text = formatParameterFile(sample(), std::nullopt);
  std::string oneLine;
  for (char c : text) oneLine += (c == '\n') ? ' ' : c;
  std::string crlf;
  for (char c : text) crlf += (c == '\n') ? std::string("\r\n") : std::string(1, c);
  for (const std::string& variant : {oneLine, crlf, text + "trailing words are ignored\n"}) {
    put(m_dir / "v.nmc", variant);
    SoundingParameters p;
    std::string first = (m_dir / "v.nmc").string(), second;
    ASSERT_TRUE(readParameterFile(first, second, ParameterFileMode::Parameters, m_dir, p).ok());
    EXPECT_EQ(p, sample());
  }
}

TEST_F(ParameterFileTest, FailedWriteKeepsTheOldFile) {
  const fs::path file = m_dir / "keep.nmc";
  ASSERT_TRUE(writeParameterFile(file.string(), "", ParameterFileMode::Parameters, m_dir, sample()).ok());
  const std::string before = get(file);
  // Values no reader would take back: not a number, or so large that their
  // "%8.2f" text is longer than a token may be (5e161 was found by fuzzing
  // the reader: it read it, and the copy it wrote could not be read).
  struct Case {
    double value;
    const char* expected;
  };
  for (const Case& c : {Case{std::nan(""), "value 2 of the topography is not a number"},
                        Case{5e161, "value 2 of the topography is too large"},
                        Case{-1e16, "value 2 of the topography is too large"}}) {
    SCOPED_TRACE(c.value);
    SoundingParameters bad = sample();
    bad.slope[kSlopeAzimuth] = c.value;
    const FileOutcome r = writeParameterFile(file.string(), "", ParameterFileMode::Parameters, m_dir, bad);
    EXPECT_EQ(r.status, FileOutcome::Status::CannotWrite);
    EXPECT_NE(r.message.find(c.expected), std::string::npos) << r.message;
    EXPECT_EQ(get(file), before);
  }
  // The largest values that fit are written and read back.
  SoundingParameters wide = sample();
  wide.slope[kSlopeAzimuth] = 9e15;
  wide.slope[kSlopeInclination] = -9e14;
  ASSERT_TRUE(writeParameterFile(file.string(), "", ParameterFileMode::Parameters, m_dir, wide).ok());
  SoundingParameters back;
  std::string first = file.string(), second;
  ASSERT_TRUE(readParameterFile(first, second, ParameterFileMode::Parameters, m_dir, back).ok());
  EXPECT_EQ(back.slope[kSlopeAzimuth], 9e15);
  EXPECT_EQ(back.slope[kSlopeInclination], -9e14);
  const FileOutcome noFolder = writeParameterFile((m_dir / "no" / "x.nmc").string(), "",
                                                  ParameterFileMode::Parameters, m_dir, sample());
  EXPECT_EQ(noFolder.status, FileOutcome::Status::CannotWrite);
  EXPECT_NE(noFolder.message.find("x.nmc"), std::string::npos);
  EXPECT_FALSE(writeParameterFile("x", "y", ParameterFileMode::HeaderOnly, m_dir, sample()).ok());
}

TEST_F(ParameterFileTest, DialogFolderAndRunParameterFile) {
  EXPECT_EQ(dialogFolderFor("c:", m_dir), m_dir);
  EXPECT_EQ(dialogFolderFor("", m_dir), m_dir);
  EXPECT_EQ(dialogFolderFor("plain.nmc", m_dir), m_dir);
  EXPECT_EQ(dialogFolderFor((m_dir / "sub" / "a.nmc").string(), m_dir), m_dir);  // no such folder
  fs::create_directories(m_dir / "sub");
  EXPECT_EQ(dialogFolderFor((m_dir / "sub" / "a.nmc").string(), m_dir), m_dir / "sub");
  EXPECT_EQ(parameterFileForResult("/data/run1.mrm"), "/data/run1.nmc");
  EXPECT_EQ(parameterFileForResult("run7.mrm"), "run7.nmc");
  EXPECT_EQ(parameterFileForResult("ab"), "nmc");
}

}  // namespace
}  // namespace kvo::core
