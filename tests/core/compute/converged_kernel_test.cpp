// The converged sampling: invariances a correct integration keeps at every
// depth (the shallowest, where the field peaks within centimetres of the
// wire, included), bit-identical results for any number of threads, and
// what it hands to the classic sampling. Its accuracy against independent
// references: direct_integration_test.cpp and scripts/reference_check.sh.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <cmath>
#include <filesystem>
#include <random>
#include <vector>
#include <string>
#include <unistd.h>

#include "compute/compute_sounding.h"
#include "compute/converged_kernel.h"
#include "compute/sounding_setup.h"
#include "fake_components.h"
#include "model/sounding_parameters.h"

namespace kvo::core {
namespace {

namespace fs = std::filesystem;

class ConvergedKernelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("kvo_converged_" + std::to_string(::getpid()));
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  ComputeResult run(const SoundingParameters& p, int threads = 2, FieldEntryPoint entry = nullptr,
                    double tolerance = kDefaultTolerance) {
    ComputeOptions o;
    o.sampling = Sampling::Converged;
    o.tolerance = tolerance;
    o.threads = threads;
    o.fieldEntry = entry;
    o.workingFolder = m_dir.string();
    return ComputeSounding((m_dir / "run.nmc").string(), p, o);
  }
  fs::path m_dir;
};

// A loop over the three layers of the bundled example, one depth.
SoundingParameters sounding(LoopSetup tx, double depth) {
  SoundingParameters p{};
  p.tx = tx;
  p.computing = {2000, -60, -depth, 40, 10000, 0, 0};
  p.section[kLayerCount] = 3;
  p.section[layerBottomSlot(1)] = 5;
  p.section[layerResistivitySlot(1)] = 100;
  p.section[layerBottomSlot(2)] = 30;
  p.section[layerResistivitySlot(2)] = 20;
  p.section[layerBottomSlot(3)] = 150;
  p.section[layerResistivitySlot(3)] = 300;
  return p;
}

// Sloping ground turned on, towards `azimuth` degrees, inclined by
// `inclination` degrees (none: the ground only 0.02 m higher).
void slope(SoundingParameters& p, double azimuth, double inclination) {
  p.slope[kSlopeEnabled] = 1;
  p.slope[kSlopeAzimuth] = azimuth;
  p.slope[kSlopeInclination] = inclination;
}

// Largest |a - b| over the pulse moments at depth index 0, relative to the
// largest |b|.
double difference(const ComputeResult& a, const ComputeResult& b) {
  double diff = 0.0, size = 0.0;
  for (std::size_t p = 0; p < kKernelMoments; ++p) {
    size = std::max(size, std::hypot(b.kernel->re[p][0], b.kernel->im[p][0]));
    diff = std::max(diff, std::hypot(a.kernel->re[p][0] - b.kernel->re[p][0], a.kernel->im[p][0] - b.kernel->im[p][0]));
  }
  return diff / size;
}

TEST_F(ConvergedKernelTest, InvariancesHoldFromTheShallowestDepth) {
#ifdef KVO_SANITIZE_BUILD
  GTEST_SKIP() << "full-resolution kernels: too slow under the sanitizers";
#endif
  // A receiver identical to the transmitter is the coincident loop (its own
  // lattice carries half of the plane); a square turned by 90 degrees and an
  // eight turned by 180 degrees are the same loops.
  // On sloping ground the turned loops lie on the same slope.
  struct Case {
    const char* name;
    LoopSetup tx, changedTx, rx;
    double tolerance;
    bool slope;
  };
  const Case cases[] = {
      {"identical receiver", {1, 60, 0, 1, 0, 0, 0}, {1, 60, 0, 1, 0, 0, 0}, {1, 60, 0, 1, 0, 0, 0}, 5e-3, false},
      {"square turned 90", {2, 50, 20, 1, 0, 0, 0}, {2, 50, 110, 1, 0, 0, 0}, {}, 1e-3, false},
      {"eight turned 180", {3, 50, 30, 1, 0, 0, 0}, {3, 50, 210, 1, 0, 0, 0}, {}, 1e-3, false},
      {"square turned 90 on a slope", {2, 50, 20, 1, 0, 0, 0}, {2, 50, 110, 1, 0, 0, 0}, {}, 1e-3, true},
      {"eight turned 180 on a slope", {3, 50, 30, 1, 0, 0, 0}, {3, 50, 210, 1, 0, 0, 0}, {}, 1e-3, true},
  };
  for (const Case& c : cases) {
    // On the slope (15 degrees) the shallowest plane that passes below the
    // whole loop, and a deeper one.
    const std::array<double, 2> depths = c.slope ? std::array<double, 2>{13.0, 40.0} : std::array<double, 2>{0.05, 4.0};
    for (const double depth : depths) {
      SCOPED_TRACE(::testing::Message() << c.name << " at " << depth << " m");
      SoundingParameters a = sounding(c.tx, depth);
      SoundingParameters b = sounding(c.changedTx, depth);
      if (c.rx[0] != 0) b.rx = c.rx;
      if (c.slope) {
        slope(a, 70, 15);
        slope(b, 70, 15);
      }
      const ComputeResult ra = run(a);
      const ComputeResult rb = run(b);
      ASSERT_TRUE(ra.written() && rb.written()) << ra.message << rb.message;
      EXPECT_EQ(ra.sampling, Sampling::Converged);
      EXPECT_LT(difference(rb, ra), c.tolerance);
    }
  }
}

TEST_F(ConvergedKernelTest, TheErrorEstimateCoversTheErrorAgainstTheFinestLattices) {
#ifdef KVO_SANITIZE_BUILD
  GTEST_SKIP() << "full-resolution kernels: too slow under the sanitizers";
#endif
  // The estimate (the difference of the last two lattices) must cover what
  // the returned kernel still misses: measured against the same depth run
  // to a tolerance a hundred times tighter. The cells' curvature
  // corrections make the lattices converge faster than second order, which
  // keeps the difference above the finer lattice's error; a correction of
  // the wrong sign or size would break that.
  struct Case {
    const char* name;
    LoopSetup tx, rx;
    double depth;
  };
  const Case cases[] = {
      {"circle at the shallowest depth", {1, 50, 0, 1, 0, 0, 0}, {}, 0.05},
      {"circle", {1, 50, 0, 1, 0, 0, 0}, {}, 4.0},
      {"eight", {3, 50, 30, 1, 0, 0, 0}, {}, 1.0},
      {"square with a shifted receiver", {2, 50, 0, 1, 0, 0, 0}, {2, 50, 0, 1, 25, 0, 0}, 4.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SoundingParameters p = sounding(c.tx, c.depth);
    if (c.rx[0] != 0) p.rx = c.rx;
    const ComputeResult coarse = run(p);
    const ComputeResult fine = run(p, 2, nullptr, kDefaultTolerance / 100.0);
    ASSERT_TRUE(coarse.written() && fine.written()) << coarse.message << fine.message;
    ASSERT_EQ(coarse.sampling, Sampling::Converged) << coarse.samplingNote;
    EXPECT_LE(coarse.errorEstimate, kDefaultTolerance);
    EXPECT_LE(difference(coarse, fine), coarse.errorEstimate + fine.errorEstimate);
  }
}

// Level ground, and sloping ground, where the workers share the earth's
// part on the levels below the slope (whichever fills a level first).
TEST_F(ConvergedKernelTest, AnyNumberOfThreadsGivesTheSameBits) {
  for (const bool sloped : {false, true}) {
    SCOPED_TRACE(sloped ? "sloping ground" : "level ground");
    SoundingParameters p = sounding({1, 30, 0, 1, 0, 0, 0}, 0);
    p.computing[kMaxDepth] = 20.0;
    p.computing[kMaxPulseMoment] = 100;
    if (sloped) slope(p, 40, 5);
    const ComputeResult one = run(p, 1, nullptr, 1e-2);
    const ComputeResult two = run(p, 2, nullptr, 1e-2);
    ASSERT_TRUE(one.written() && two.written()) << one.message << two.message;
    ASSERT_EQ(two.sampling, Sampling::Converged) << two.samplingNote;
    EXPECT_EQ(0, std::memcmp(one.kernel.get(), two.kernel.get(), sizeof(KernelMatrix)));
  }
}

TEST_F(ConvergedKernelTest, ALevelSlopeIsLevelGroundTwoCentimetresLower) {
  // Sloping ground turned on with no inclination lifts the ground by the
  // slope's 0.02 m offset and changes nothing else: its kernel at depth z
  // is the level ground's at z + 0.02 m (the earth's part of the field then
  // comes from the table of levels below the slope instead of the plane's
  // own depth). Small enough for the sanitizers.
  for (const double depth : {0.2, 12.0}) {
    SCOPED_TRACE(::testing::Message() << "depth " << depth);
    SoundingParameters level = sounding({1, 20, 0, 1, 0, 0, 0}, depth + 0.02);
    level.computing[kMaxPulseMoment] = 1000;
    SoundingParameters sloped = sounding({1, 20, 0, 1, 0, 0, 0}, depth);
    sloped.computing[kMaxPulseMoment] = 1000;
    slope(sloped, 40, 0);
    const ComputeResult a = run(level, 2, nullptr, 1e-2);
    const ComputeResult b = run(sloped, 2, nullptr, 1e-2);
    ASSERT_TRUE(a.written() && b.written()) << a.message << b.message;
    ASSERT_EQ(b.sampling, Sampling::Converged) << b.samplingNote;
    EXPECT_LT(difference(b, a), 1e-4);
  }
}

TEST_F(ConvergedKernelTest, WhatItDoesNotHandleGoesToTheClassicSamplingAndSaysSo) {
  // A separate receiver on sloping ground, and a single depth in the
  // wires' own top layer (where the plane's integral diverges): classic
  // sampling, with the reason.
  struct Case {
    const char* name;
    double depth;
    bool slope;
    const char* reason;
  };
  const Case cases[] = {
      {"separate receiver on sloping ground", 10.0, true, "separate receiver on sloping ground"},
      {"depth 0.01 m", 0.01, false, "at least 0.03 m"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SoundingParameters p = sounding({1, 40, 0, 1, 0, 0, 0}, c.depth);
    if (c.slope) {
      p.rx = {1, 40, 0, 1, 0, 0, 0};
      slope(p, 30, 10);
    }
    const ComputeResult r = run(p, 2, &testing::freeSpaceEntry);
    ASSERT_TRUE(r.written()) << r.message;
    EXPECT_EQ(r.sampling, Sampling::Classic);
    EXPECT_NE(r.samplingNote.find(c.reason), std::string::npos) << r.samplingNote;
  }
  // A field failure writes nothing, as in the classic sampling.
  fs::remove(m_dir / "run.mrm");
  testing::g_calls = 0;
  testing::g_failAtCall = 1;
  const ComputeResult failed = run(sounding({1, 40, 0, 1, 0, 0, 0}, 5.0), 2, &testing::failingEntry);
  testing::g_failAtCall = 0;
  EXPECT_EQ(failed.status, ComputeStatus::FieldFailed);
  EXPECT_FALSE(fs::exists(m_dir / "run.mrm"));
}


// The binned measure against the triangles' distribution function applied
// bin by bin: drives over nine decades from the first bin up, triangles spanning from one bin to
// four decades. Every bin's mass and first moment agree to rounding
// (relative to what was added to that bin), and the whole keeps the mass
// and the mean drive the triangles put in.
TEST(BinnedMeasure, AgreesBinByBinWithTheDistributionFunction) {
  SoundingSetup setup;
  ASSERT_FALSE(BuildSoundingSetup(sounding({1, 100, 0, 1, 0, 0, 0}, 10.0), setup).has_value());
  const ResponseTable table(setup, 1.0);
  const std::size_t bins = table.binCount();
  std::vector<std::complex<double>> mass(bins), moment(bins);
  std::vector<double> scale(bins);  // what was added to each bin, in absolute value
  std::complex<double> totalMass{}, totalMean{};
  BinnedMeasure measure(table);
  measure.clear();
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  // From a third of the first bin's upper edge up to nine decades above it.
  const double first = table.edge(1), top = 1e9 * first;
  for (int t = 0; t < 20000; ++t) {
    const double low = first * std::pow(10.0, -0.5 + 9.4 * unit(random));
    const double high = std::min(low * std::pow(10.0, 4.0 * unit(random) * unit(random)), 0.999 * top);
    const double mid = t % 7 == 0 ? low : low + (high - low) * unit(random);
    const std::array<double, 3> b{mid, high, low};  // in no particular order
    const std::complex<double> m = std::polar(1.0 + unit(random), 6.28 * unit(random));
    measure.addTriangle(b[0], table.binOf(b[0]), b[1], table.binOf(b[1]), b[2], table.binOf(b[2]), m);
    totalMass += m;
    totalMean += m * ((low + mid + high) / 3.0);
    // The mass below x of the triangular density on [low, high] peaking at
    // mid, and its first moment about zero.
    const auto below = [&](double x) -> std::pair<double, double> {
      x = std::clamp(x, low, high);
      if (high == low) return {x >= high ? 1.0 : 0.0, x >= high ? high : 0.0};
      const double w = high - low;
      if (x <= mid && mid > low) {
        const double u = x - low, c = u * u / (w * (mid - low));
        return {c, c * (low + 2.0 * u / 3.0)};
      }
      const double v = high - x, tail = mid < high ? v * v / (w * (high - mid)) : 0.0;
      return {1.0 - tail, (low + mid + high) / 3.0 - tail * (high - 2.0 * v / 3.0)};
    };
    for (std::size_t k = table.binOf(low); k <= table.binOf(high); ++k) {
      const double e0 = table.edge(k), e1 = k + 1 == bins ? high : table.edge(k + 1);
      const auto [c0, f0] = below(e0);
      const auto [c1, f1] = below(e1);
      mass[k] += m * (c1 - c0);
      moment[k] += m * ((f1 - f0 - e0 * (c1 - c0)) * table.inverseWidth(k));
      scale[k] += std::abs(m) * (c1 - c0);
    }
  }
  measure.finish();
  std::complex<double> sumMass{}, sumMean{};
  double worst = 0.0;
  for (std::size_t k = 0; k < bins; ++k) {
    if (measure.empty() || k < measure.low() || k > measure.high()) {
      EXPECT_EQ(scale[k], 0.0) << "bin " << k;
      continue;
    }
    sumMass += measure.mass(k);
    sumMean += measure.mass(k) * table.edge(k) + measure.moment(k) / table.inverseWidth(k);
    if (scale[k] > 0.0) {
      worst = std::max({worst, std::abs(measure.mass(k) - mass[k]) / scale[k],
                        std::abs(measure.moment(k) - moment[k]) / scale[k]});
    }
  }
  EXPECT_LT(worst, 1e-9);
  EXPECT_LT(std::abs(sumMass - totalMass), 1e-9 * std::abs(totalMass));
  EXPECT_LT(std::abs(sumMean - totalMean), 1e-9 * std::abs(totalMean));
}

}  // namespace
}  // namespace kvo::core
