// The full-precision kernel archive: what is written comes back exactly,
// its layer kernel is the depth integral of the nodes, and the reader of a
// matrix file takes the archive beside it only when it holds that kernel.
// (Read by numpy and scipy themselves: tests/python/kernel_archive_check.py.)
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "compute/result_files.h"
#include "kernel/kernel_archive.h"
#include "kernel/kernel_export.h"
#include "kernel/npz_archive.h"

namespace kvo::core {
namespace {

namespace fs = std::filesystem;
using Complex = std::complex<double>;

class KernelArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("kvo_kernel_archive_" + std::to_string(::getpid()));
    fs::create_directories(m_dir);
    m_params = defaultSoundingParameters();
    m_params.computing = {2000, -60, 100, 40, 10000, 0, 0};
    m_params.tx = {1, 100, 0, 1, 0, 0, 0};
    m_layers.count = 2;
    m_layers.bottom = {0.02, 10, 0, 0, 0, 0, 0, 0};
    m_layers.resistivity = {1e8, 50, 0, 0, 0, 0, 0, 0};
    for (std::size_t i = 0; i < 100; ++i) {
      m_moments[i] = 1.0 + 100.0 * static_cast<double>(i);
      m_depths[i] = 0.5 + static_cast<double>(i);
    }
    // Linear in depth: K = (q + 2 z, -z) 1e-4 (nV/m once times 10000).
    for (std::size_t q = 0; q < 100; ++q) {
      for (std::size_t z = 0; z < 100; ++z) {
        m_kernel.re[q][z] = 1e-4 * (m_moments[q] + 2.0 * m_depths[z]) + 1.234e-9;
        m_kernel.im[q][z] = -1e-4 * m_depths[z];
      }
    }
  }
  void TearDown() override { fs::remove_all(m_dir); }

  std::string writeBoth(const std::string& stem, const KernelMatrix& archived) {
    const std::string mrm = (m_dir / (stem + ".mrm")).string();
    std::ofstream(mrm) << formatMatrixFile({}, m_kernel, m_moments, m_depths);
    KernelArchiveInput in{&archived, &m_moments, &m_depths, 100, &m_params, &m_layers, "test"};
    EXPECT_FALSE(WriteKernelArchive(KernelArchiveName(mrm), in));
    return mrm;
  }

  fs::path m_dir;
  SoundingParameters m_params;
  LayerArrays m_layers;
  MomentGrid m_moments{};
  DepthGrid m_depths{};
  KernelMatrix m_kernel;
};

TEST_F(KernelArchiveTest, WhatIsWrittenComesBackAndTheLayersIntegrateTheNodes) {
  const std::string mrm = writeBoth("run", m_kernel);
  const KernelReadResult r = ReadKernelArchive(KernelArchiveName(mrm));
  ASSERT_TRUE(r.data) << r.message;
  for (std::size_t q = 0; q < 100; q += 7) {
    for (std::size_t z = 0; z < 100; z += 3) {
      EXPECT_EQ(r.data->at(q, z), 1e4 * Complex(m_kernel.re[q][z], m_kernel.im[q][z]));
    }
  }
  for (std::size_t q = 0; q < 100; ++q) EXPECT_NEAR(r.data->pulseMoments[q], m_moments[q], 1e-12 * m_moments[q]);
  EXPECT_EQ(r.data->frequency, 2000.0);
  EXPECT_EQ(r.data->txSize, 100.0);

  std::string message;
  const auto entries = ReadNpz(KernelArchiveName(mrm), message);
  ASSERT_TRUE(entries) << message;
  const auto get = [&](const char* name) -> const NpyArray& {
    for (const NpzEntry& e : *entries) {
      if (e.name == name) return e.array;
    }
    ADD_FAILURE() << name;
    return entries->front().array;
  };
  // Boundaries 0, half way between nodes (1, 2, ..., 99), the last node;
  // layer l's kernel (V) is the integral of the linear kernel over it, the
  // first one constant above the first node.
  const NpyArray& z = get("zVector");
  ASSERT_EQ(z.reals.size(), 101u);
  EXPECT_EQ(z.reals[0], 0.0);
  EXPECT_DOUBLE_EQ(z.reals[1], 1.0);
  EXPECT_DOUBLE_EQ(z.reals[100], 99.5);
  const NpyArray& k = get("kernel");
  ASSERT_EQ(k.shape, (std::vector<std::size_t>{100, 100}));
  for (const std::size_t q : {0u, 50u, 99u}) {
    for (std::size_t l = 0; l < 100; ++l) {
      const double a = z.reals[l], b = z.reals[l + 1];
      const double top = std::max(a, 0.5);
      // integral of (q + 2 z) over [top, b] plus the constant part above 0.5 m
      double re = m_moments[q] * (b - top) + (b * b - top * top) + (top - a) * (m_moments[q] + 1.0);
      double im = -0.5 * (b * b - top * top) - (top - a) * 0.5;
      re += 1e4 * 1.234e-9 * (b - a);
      EXPECT_NEAR(k.complexes[q * 100 + l].real(), 1e-9 * re, 1e-12 * std::fabs(1e-9 * re)) << q << " " << l;
      EXPECT_NEAR(k.complexes[q * 100 + l].imag(), 1e-9 * im, 1e-12 * std::fabs(1e-9 * im)) << q << " " << l;
    }
  }
}

TEST_F(KernelArchiveTest, AMatrixFileTakesTheArchiveBesideItOnlyWhenItHoldsTheSameKernel) {
  KernelMatrix other = m_kernel;
  other.re[10][20] += 5e-4;  // 5 nV/m: beyond the matrix file's truncation
  struct Case {
    const char* name;
    std::function<std::string()> make;
    bool fullPrecision;
  };
  const Case cases[] = {
      {"its own archive", [&] { return writeBoth("a", m_kernel); }, true},
      {"an archive of another kernel", [&] { return writeBoth("b", other); }, false},
      {"a damaged archive",
       [&] {
         const std::string mrm = writeBoth("c", m_kernel);
         fs::resize_file(KernelArchiveName(mrm), fs::file_size(KernelArchiveName(mrm)) / 2);
         return mrm;
       },
       false},
      {"no archive",
       [&] {
         const std::string mrm = writeBoth("d", m_kernel);
         fs::remove(KernelArchiveName(mrm));
         return mrm;
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const KernelReadResult r = ReadKernelFile(c.make());
    ASSERT_TRUE(r.data) << r.message;
    EXPECT_EQ(r.data->fullPrecision, c.fullPrecision);
    const Complex expected(1e4 * m_kernel.re[10][20], 1e4 * m_kernel.im[10][20]);
    if (c.fullPrecision) {
      EXPECT_EQ(r.data->at(10, 20), expected);
    } else {
      EXPECT_EQ(r.data->at(10, 20), Complex(std::trunc(expected.real()), std::trunc(expected.imag())));
    }
  }
  // The archive read on its own, damaged: refused with its name.
  const KernelReadResult damaged = ReadKernelFile((m_dir / "c.npz").string());
  EXPECT_FALSE(damaged.data);
  EXPECT_NE(damaged.message.find("c.npz"), std::string::npos) << damaged.message;
}

TEST_F(KernelArchiveTest, ExportsGiveTheArchivesLayerKernel) {
  // CSV: the layer kernel in full precision; MATLAB: written (scipy reads it
  // in tests/python/kernel_archive_check.py); something that is not a
  // kernel archive: refused, nothing written.
  const std::string mrm = writeBoth("e", m_kernel);
  const std::string csv = (m_dir / "e.csv").string();
  ASSERT_FALSE(ExportKernelArchive(KernelArchiveName(mrm), csv, KernelExportFormat::Csv));
  std::ifstream in(csv);
  std::string header, row;
  std::getline(in, header);
  EXPECT_EQ(header.rfind("pulse_moment_As,re_0_1m,im_0_1m,re_1_2m,", 0), 0u) << header.substr(0, 60);
  std::getline(in, row);
  std::string message;
  const auto entries = ReadNpz(KernelArchiveName(mrm), message);
  ASSERT_TRUE(entries);
  for (const NpzEntry& e : *entries) {
    if (e.name != "kernel") continue;
    std::istringstream cells(row);
    std::string cell;
    std::getline(cells, cell, ',');
    EXPECT_EQ(std::stod(cell), 0.001);
    std::getline(cells, cell, ',');
    EXPECT_EQ(std::stod(cell), e.array.complexes[0].real());
    std::getline(cells, cell, ',');
    EXPECT_EQ(std::stod(cell), e.array.complexes[0].imag());
  }
  const std::string mat = (m_dir / "e.mat").string();
  ASSERT_FALSE(ExportKernelArchive(KernelArchiveName(mrm), mat, KernelExportFormat::Mrsk));
  EXPECT_GT(fs::file_size(mat), 100u * 100u * 16u);
  const auto refused = ExportKernelArchive(mrm, (m_dir / "f.mat").string(), KernelExportFormat::Mrsk);
  ASSERT_TRUE(refused);
  EXPECT_NE(refused->find("e.mrm"), std::string::npos) << *refused;
  EXPECT_FALSE(fs::exists(m_dir / "f.mat"));
}

}  // namespace
}  // namespace kvo::core
