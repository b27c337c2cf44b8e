#include "compute/result_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "model/parameter_file.h"
#include "util/atomic_file.h"

namespace kvo::core {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string printf2(const char* format, double a, double b) {
  char buf[128];
  std::snprintf(buf, sizeof buf, format, a, b);
  return buf;
}

struct Sample {
  MatrixFileHeader header;
  KernelMatrix kernel;
  MomentGrid moments{};
  DepthGrid depths{};
};

Sample sample() {
  Sample s;
  s.header.inclination = -60.7;
  s.header.txType = 1;
  s.header.txSize = 100;
  s.header.frequency = 2000;
  s.header.layers.count = 3;
  s.header.layers.bottom = {0.02, 5, 40, 0, 0, 0, 0, 0};
  s.header.layers.resistivity = {1e8, 100, 20, 0, 0, 0, 0, 0};
  for (std::size_t i = 0; i < 100; ++i) {
    s.moments[i] = 1.0 + 100.0 * static_cast<double>(i);
    s.depths[i] = 0.05 + static_cast<double>(i);
    for (std::size_t z = 0; z < 100; ++z) {
      s.kernel.re[i][z] = 1e-4 * std::sin(0.1 * static_cast<double>(i + z)) * 300;
      s.kernel.im[i][z] = -1e-4 * std::cos(0.07 * static_cast<double>(i * z)) * 250;
    }
  }
  return s;
}

TEST(MatrixFile, LayoutMatchesTheCFormats) {
  const Sample s = sample();
  const auto lines = linesOf(formatMatrixFile(s.header, s.kernel, s.moments, s.depths));
  ASSERT_EQ(lines.size(), 10108u);
  EXPECT_EQ(lines[0], " -60    1   100.00  2000.00 ");
  EXPECT_EQ(lines[1], "  0.0200  100000000.00 ");
  EXPECT_EQ(lines[2], printf2("%8.4f %13.2f ", 5, 100));
  EXPECT_EQ(lines[4], "  0.0000          0.00 ");  // rows beyond the section
  EXPECT_EQ(lines[7], "  0.0000          0.00 ");
  for (std::size_t i = 0; i < 100; ++i) {
    ASSERT_EQ(lines[8 + i], printf2("%14.4f %12.4f ", s.moments[i], s.depths[i])) << i;
  }
  for (std::size_t z = 0; z < 100; ++z) {
    for (std::size_t p = 0; p < 100; ++p) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%6d %6d ", static_cast<int>(s.kernel.re[p][z] * 10000),
                    static_cast<int>(s.kernel.im[p][z] * 10000));
      ASSERT_EQ(lines[108 + z * 100 + p], buf) << z << " " << p;
    }
  }
}

TEST(MatrixFile, SingleDepthRowsHoldZeros) {
  Sample s = sample();
  for (std::size_t p = 0; p < 100; ++p) {
    for (std::size_t z = 1; z < 100; ++z) s.kernel.re[p][z] = s.kernel.im[p][z] = 0.0;
  }
  const auto lines = linesOf(formatMatrixFile(s.header, s.kernel, s.moments, s.depths));
  EXPECT_EQ(lines[108 + 100 * 57 + 3], "     0      0 ");
}

TEST(KernelColumn, TruncatesTowardZero) {
  const std::pair<double, long long> cases[] = {
      {12.97e-4, 12}, {-12.97e-4, -12}, {0.0, 0}, {0.99e-4, 0}, {-0.99e-4, 0},
      {1e30, 9200000000000000000LL}, {std::nan(""), 0}};
  for (const auto& [value, column] : cases) EXPECT_EQ(kernelColumn(value), column) << value;
}

TEST(KernelPhase, QuadrantsAndAxes) {
  const struct {
    double re, im, lo, hi;
  } cases[] = {{0, 0, 90, 90}, {0, -1, -90, -90}, {1, 1, 45 - 1e-6, 45 + 1e-6},
               {-1, 1, 90, 180}, {-1, -1, 180, 270}, {1, -1, -90, 0}, {-1, 0, 180, 180}};
  for (const auto& c : cases) {
    const double phase = kernelPhaseDegrees(c.re, c.im);
    EXPECT_GE(phase, c.lo - 1e-6) << c.re << "," << c.im;
    EXPECT_LE(phase, c.hi + 1e-6) << c.re << "," << c.im;
  }
}

TEST(SignalFile, LayoutAmplitudeAndPhase) {
  Sample s = sample();
  s.kernel.re[0][0] = 0.0;
  s.kernel.im[0][0] = 0.0;
  s.kernel.re[1][0] = -3e-4;
  s.kernel.im[1][0] = 4e-4;
  const auto lines = linesOf(formatSignalFile(s.kernel, s.moments));
  ASSERT_EQ(lines.size(), 101u);
  EXPECT_EQ(lines[0], "N Q Re(nV) Im(nV) Amplitude(nV) Phase(degr) ");
  EXPECT_EQ(lines[1], "    0         1.0000        0        0     0.00  90.00 ");
  char buf[128];
  std::snprintf(buf, sizeof buf, "%5d %14.4f %8d %8d %8.2f %6.2f ", 1, 101.0,
                static_cast<int>(-3e-4 * 10000), static_cast<int>(4e-4 * 10000), 5.0,
                180.0 - std::atan(4.0 / 3.0) * 180.0 / M_PI);
  EXPECT_EQ(lines[2], buf);
}

class ResultFileWriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            (std::string("kvo_result_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }
  fs::path m_dir;
};

TEST_F(ResultFileWriteTest, FailuresKeepThePreviousFile) {
  Sample s = sample();
  const std::string file = (m_dir / "model.mrm").string();
  ASSERT_FALSE(writeMatrixFile(file, s.header, s.kernel, s.moments, s.depths).has_value());
  std::string message;
  const std::string before = readSmallFile(file, 1 << 20, message).value_or("");
  s.kernel.im[4][4] = std::nan("");
  EXPECT_EQ(writeMatrixFile(file, s.header, s.kernel, s.moments, s.depths), kKernelMatrixNotFinite);
  EXPECT_EQ(readSmallFile(file, 1 << 20, message).value_or(""), before);
  const auto e = writeSignalFile((m_dir / "none" / "model.dat").string(), sample().kernel, s.moments);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->rfind(kSignalFileMessage, 0), 0u) << *e;
}

TEST(ResultFileNames, LastThreeCharactersAreReplaced) {
  EXPECT_EQ(withLastThreeReplaced("model.nmc", "mrm"), "model.mrm");
  EXPECT_EQ(withLastThreeReplaced("model", "mrm"), "momrm");
  EXPECT_EQ(withLastThreeReplaced("model", "dat"), "modat");
}

}  // namespace
}  // namespace kvo::core
