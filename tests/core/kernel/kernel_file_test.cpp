// Result files read back: what the writer wrote comes back field by field,
// and a damaged file is refused with its line named.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "compute/result_files.h"
#include "kernel/kernel_file.h"

namespace kvo::core {
namespace {

namespace fs = std::filesystem;

// A kernel with distinct values everywhere (and negative ones), on the grids
// of a computation, and the single-depth variant of it.
struct Written {
  MatrixFileHeader header;
  KernelMatrix kernel;
  MomentGrid moments{};
  DepthGrid depths{};
};

Written sample(bool singleDepth) {
  Written w;
  w.header.inclination = -60.7;
  w.header.txType = 2;
  w.header.txSize = 75.5;
  w.header.frequency = 2100.25;
  w.header.layers.count = 3;
  w.header.layers.bottom = {0.02, 5, 30, 150, 0, 0, 0, 0};
  w.header.layers.resistivity = {1e8, 100, 20, 300, 0, 0, 0, 0};
  for (std::size_t i = 0; i < kGridPoints; ++i) {
    w.moments[i] = 1.0 + 101.0 * static_cast<double>(i);
    w.depths[i] = singleDepth ? (i == 0 ? 20.0 : 0.0) : 0.05 + 1.5 * static_cast<double>(i);
  }
  for (std::size_t p = 0; p < kKernelMoments; ++p) {
    for (std::size_t z = 0; z < kKernelDepths; ++z) {
      w.kernel.re[p][z] = 1e-4 * (static_cast<double>(p * 131 + z * 17) - 4000.0) + 3e-5;
      w.kernel.im[p][z] = -1e-4 * static_cast<double>(p + 7 * z) - 2e-5;
    }
  }
  return w;
}

class KernelFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("kvo_kernel_file_" + std::to_string(::getpid()));
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }
  std::string write(const std::string& name, const std::string& text) {
    const fs::path path = m_dir / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }
  fs::path m_dir;
};

TEST_F(KernelFileTest, WhatTheWriterWroteComesBack) {
  for (const bool single : {false, true}) {
    SCOPED_TRACE(single ? "single depth" : "100 depths");
    const Written w = sample(single);
    write("run.mrm", formatMatrixFile(w.header, w.kernel, w.moments, w.depths));
    if (single) write("run.dat", formatSignalFile(w.kernel, w.moments));
    const KernelReadResult r = ReadKernelFile((m_dir / "run.mrm").string());
    ASSERT_TRUE(r.data) << r.message;
    const KernelData& d = *r.data;
    EXPECT_EQ(d.inclination, -60.0);  // whole degrees in the file
    EXPECT_EQ(d.txType, 2);
    EXPECT_DOUBLE_EQ(d.txSize, 75.5);
    EXPECT_DOUBLE_EQ(d.frequency, 2100.25);
    ASSERT_EQ(d.layers.size(), 7u);
    EXPECT_DOUBLE_EQ(d.layers[2].bottom, 30.0);
    EXPECT_DOUBLE_EQ(d.layers[3].resistivity, 300.0);
    ASSERT_EQ(d.pulseMoments.size(), 100u);
    EXPECT_DOUBLE_EQ(d.pulseMoments[99], w.moments[99]);
    ASSERT_EQ(d.depths.size(), single ? 1u : 100u);
    EXPECT_DOUBLE_EQ(d.depths.back(), single ? 20.0 : w.depths[99]);
    for (std::size_t p = 0; p < 100; ++p) {
      for (std::size_t z = 0; z < d.depths.size(); ++z) {
        // K in nV/m: the internal kernel x 10000, truncated.
        ASSERT_EQ(d.at(p, z), std::complex<double>(std::trunc(1e4 * w.kernel.re[p][z]), std::trunc(1e4 * w.kernel.im[p][z])))
            << p << " " << z;
      }
    }
    if (single) {
      // The signal table's amplitude comes from the unrounded kernel.
      ASSERT_EQ(d.amplitudes.size(), 100u);
      EXPECT_NEAR(d.amplitudes[5], 1e4 * std::hypot(w.kernel.re[5][0], w.kernel.im[5][0]), 0.005);
      EXPECT_NEAR(d.phases[5], kernelPhaseDegrees(w.kernel.re[5][0], w.kernel.im[5][0]), 0.005);
    }
  }
  // The signal file alone, written with Windows line ends by an earlier
  // version.
  const Written w = sample(true);
  std::string text;
  for (const char c : formatSignalFile(w.kernel, w.moments)) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const KernelReadResult r = ReadKernelFile(write("old.dat", text));
  ASSERT_TRUE(r.data) << r.message;
  EXPECT_FALSE(r.data->hasHeader);
  EXPECT_EQ(r.data->values[42], r.data->at(42, 0));
}

TEST_F(KernelFileTest, ADamagedFileIsRefusedWithItsLine) {
  const Written w = sample(false);
  const std::string good = formatMatrixFile(w.header, w.kernel, w.moments, w.depths);
  const std::string signal = formatSignalFile(w.kernel, w.moments);
  const auto replaceLine = [](const std::string& text, int line, const std::string& with) {
    std::size_t start = 0;
    for (int i = 1; i < line; ++i) start = text.find('\n', start) + 1;
    const std::size_t end = text.find('\n', start);
    return text.substr(0, start) + with + text.substr(end);
  };
  struct Case {
    const char* name;
    std::string text;
    const char* file;
    const char* expected;  // in the message
  };
  const Case cases[] = {
      {"empty", "", "a.mrm", "ends after line 0"},
      {"truncated", good.substr(0, good.size() / 2), "a.mrm", "ends after line"},
      {"a line too many", good + "1 2 \n", "a.mrm", "line 10109: more lines"},
      {"a letter in the kernel", replaceLine(good, 5000, "    12    x1 "), "a.mrm", "line 5000: \"x1\" is not a whole number"},
      {"a decimal in the kernel", replaceLine(good, 200, "  1.5  2 "), "a.mrm", "line 200: \"1.5\""},
      {"one value short", replaceLine(good, 3, "  5.0000 "), "a.mrm", "line 3: expected a layer's bottom depth"},
      {"not a number in the header", replaceLine(good, 1, " -60 2 nan 2000.00 "), "a.mrm", "line 1:"},
      {"a moment that is no number", replaceLine(good, 50, " 1e999 2 "), "a.mrm", "line 50:"},
      {"signal header", replaceLine(signal, 1, "N Q Re Im"), "a.dat", "line 1: expected the signal file's header"},
      {"pulse numbers out of order", replaceLine(signal, 4, "    7   1.0000  1  1  1.00  0.00 "), "a.dat",
       "line 4: pulse number 7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = write(c.file, c.text);
    const KernelReadResult r = ReadKernelFile(path);
    EXPECT_FALSE(r.data);
    EXPECT_NE(r.message.find(path), std::string::npos) << r.message;
    EXPECT_NE(r.message.find(c.expected), std::string::npos) << r.message;
  }
  const KernelReadResult missing = ReadKernelFile((m_dir / "none.mrm").string());
  EXPECT_FALSE(missing.data);
  EXPECT_NE(missing.message.find("none.mrm"), std::string::npos);
}

}  // namespace
}  // namespace kvo::core
