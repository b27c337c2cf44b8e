// Each optional model feature changes the computed kernel the way its
// physics says, against the same model without it.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "compute/compute_sounding.h"
#include "model/parameter_file.h"

namespace kvo::core {
namespace {

namespace fs = std::filesystem;

SoundingParameters example(const char* name) {
  std::string first = std::string(KVO_EXAMPLES_DIR) + "/" + name, second;
  SoundingParameters p = defaultSoundingParameters();
  EXPECT_TRUE(readParameterFile(first, second, ParameterFileMode::Parameters, {}, p).ok()) << name;
  return p;
}

ComputeResult compute(const SoundingParameters& p, const std::string& name) {
  const fs::path dir = fs::temp_directory_path() / "kvo_option_kernels";
  fs::create_directories(dir);
  ComputeOptions options;
  options.sampling = Sampling::Classic;  // what each option changes, not how finely
  ComputeResult r = ComputeSounding((dir / (name + ".nmc")).string(), p, options);
  EXPECT_EQ(r.status, ComputeStatus::Written) << name << ": " << r.message;
  return r;
}

double rowAmplitude(const KernelMatrix& k, std::size_t z) {
  double sum = 0.0;
  for (std::size_t p = 0; p < kKernelMoments; ++p) sum += std::hypot(k.re[p][z], k.im[p][z]);
  return sum;
}

double relativeDifference(const KernelMatrix& a, const KernelMatrix& b, std::size_t depths) {
  double diff = 0.0, norm = 0.0;
  for (std::size_t p = 0; p < kKernelMoments; ++p) {
    for (std::size_t z = 0; z < depths; ++z) {
      diff += std::hypot(a.re[p][z] - b.re[p][z], a.im[p][z] - b.im[p][z]);
      norm += std::hypot(b.re[p][z], b.im[p][z]);
    }
  }
  return diff / norm;
}

TEST(OptionKernels, TargetConfinesTheKernelToItsDepths) {
  const SoundingParameters p = example("target_3d.nmc");
  const ComputeResult r = compute(p, "target");
  ASSERT_TRUE(r.kernel);
  const double top = p.target[kTargetTop];
  const double bottom = p.target[kTargetBottom];
  int inside = 0;
  for (std::size_t z = 0; z < kKernelDepths; ++z) {
    const double depth = r.depths[z];
    const double amplitude = rowAmplitude(*r.kernel, z);
    // Depth rows well away from the block's depth range carry no signal.
    if (depth < top - 2.0 || depth > bottom + 2.0) {
      EXPECT_EQ(amplitude, 0.0) << "depth " << depth;
    } else if (depth > top + 0.5 && depth < bottom - 0.5) {
      EXPECT_GT(amplitude, 0.0) << "depth " << depth;
      ++inside;
    }
  }
  EXPECT_GT(inside, 3);
  // Inside the block the target's kernel is part of the layered kernel there.
  SoundingParameters whole = p;
  whole.target[kTargetEnabled] = 0;
  const ComputeResult full = compute(whole, "no_target");
  for (std::size_t z = 0; z < kKernelDepths; ++z) {
    if (r.depths[z] > top + 0.5 && r.depths[z] < bottom - 0.5) {
      EXPECT_LT(rowAmplitude(*r.kernel, z), rowAmplitude(*full.kernel, z)) << r.depths[z];
    }
  }
}

TEST(OptionKernels, FrequencyShiftDetunesTheLargePulses) {
  const SoundingParameters shifted = example("frequency_shift.nmc");
  SoundingParameters tuned = shifted;
  tuned.frequencyShift = {};
  const ComputeResult a = compute(shifted, "shifted");
  const ComputeResult b = compute(tuned, "tuned");
  // The table shifts the signal frequency from 0 Hz at the smallest pulse to
  // 10 Hz at the largest: small pulses see (almost) the same kernel, large
  // ones a different one.
  double smallDiff = 0.0, largeDiff = 0.0;
  for (std::size_t z = 0; z < kKernelDepths; ++z) {
    smallDiff += std::hypot(a.kernel->re[0][z] - b.kernel->re[0][z], a.kernel->im[0][z] - b.kernel->im[0][z]);
    largeDiff += std::hypot(a.kernel->re[99][z] - b.kernel->re[99][z], a.kernel->im[99][z] - b.kernel->im[99][z]);
  }
  EXPECT_GT(largeDiff, 10.0 * smallDiff);
  EXPECT_GT(relativeDifference(*a.kernel, *b.kernel, kKernelDepths), 1e-3);
}

#ifndef KVO_SANITIZE_BUILD
TEST(OptionKernels, SlopingGroundChangesTheSingleDepthResponse) {
  SoundingParameters sloped = example("topography_slope.nmc");
  sloped.computing[kMaxDepth] = -20.0;  // one depth keeps the sloping-ground run short
  SoundingParameters level = sloped;
  level.slope = {};
  const ComputeResult a = compute(sloped, "sloped");
  const ComputeResult b = compute(level, "level");
  EXPECT_GT(relativeDifference(*a.kernel, *b.kernel, 1), 1e-3);
  // A gentle slope changes the response by a fraction, not by its size.
  EXPECT_LT(relativeDifference(*a.kernel, *b.kernel, 1), 0.5);
}
#endif

}  // namespace
}  // namespace kvo::core
