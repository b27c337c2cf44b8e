// Forward responses against closed forms, the water model's refusals, and
// the noise's statistics for a fixed seed.
#include <gtest/gtest.h>

#include <cmath>

#include "kernel/forward_model.h"

namespace kvo::core {
namespace {

using Complex = std::complex<double>;

// A kernel on uneven depth nodes whose value at (q, z) is given.
template <typename F>
KernelData kernelOf(F value) {
  KernelData k;
  k.source = "test.mrm";
  for (int p = 0; p < 100; ++p) k.pulseMoments.push_back(1.0 + 100.0 * p);
  for (int i = 0; i < 100; ++i) k.depths.push_back(0.05 + 0.01 * i * i);
  for (std::size_t p = 0; p < 100; ++p) {
    for (const double z : k.depths) k.values.push_back(value(p, z));
  }
  return k;
}

TEST(ForwardModel, ClosedForms) {
  // A kernel constant in depth gives the constant times the water column;
  // a kernel linear in depth gives its exact integral over each layer (the
  // rule is exact for kernels linear between nodes), layers' ends between
  // nodes included.
  const KernelData constant = kernelOf([](std::size_t p, double) { return Complex(2.0 + p, -1.0); });
  const KernelData linear = kernelOf([](std::size_t p, double z) { return Complex(3.0 * z, -0.5 * z * (p + 1.0)); });
  const std::vector<WaterLayer> model{{0.3, 2.71, 0.25}, {10.0, 40.5, 0.1}, {50.0, 98.06, 1.0}};
  ASSERT_FALSE(CheckWaterModel(constant, model));
  const std::vector<Complex> a = ForwardResponse(constant, model);
  const std::vector<Complex> b = ForwardResponse(linear, model);
  double column = 0.0;
  Complex linearSum{};
  for (const WaterLayer& l : model) {
    column += l.content * (l.bottom - l.top);
    linearSum += l.content * 0.5 * (l.bottom * l.bottom - l.top * l.top);
  }
  for (std::size_t p = 0; p < 100; ++p) {
    const Complex k(2.0 + p, -1.0);
    EXPECT_NEAR(std::abs(a[p] - k * column), 0.0, 1e-9 * std::abs(k * column));
    const Complex expected(3.0 * linearSum.real(), -0.5 * (p + 1.0) * linearSum.real());
    EXPECT_NEAR(std::abs(b[p] - expected), 0.0, 1e-9 * std::abs(expected));
  }
  // Decay: each layer with its own T2*, none without.
  std::vector<WaterLayer> relaxing = model;
  relaxing[0].t2 = 0.1;
  relaxing[1].t2 = 0.4;
  const std::vector<double> times{0.0, 0.05, 0.2};
  const std::vector<Complex> cube = ForwardCube(constant, relaxing, times);
  for (std::size_t t = 0; t < times.size(); ++t) {
    const double water = 0.25 * 2.41 * std::exp(-times[t] / 0.1) + 0.1 * 30.5 * std::exp(-times[t] / 0.4) + 48.06;
    EXPECT_NEAR(std::abs(cube[7 * 3 + t] - Complex(9.0, -1.0) * water), 0.0, 1e-9 * std::abs(9.0 * water));
  }
}

TEST(ForwardModel, AModelTheKernelCannotTakeIsRefused) {
  const KernelData k = kernelOf([](std::size_t, double) { return Complex(1.0, 0.0); });
  KernelData single = k;
  single.depths = {20.0};
  single.values.resize(100);
  struct Case {
    const char* name;
    const KernelData* kernel;
    std::vector<WaterLayer> layers;
    const char* expected;
  };
  const Case cases[] = {
      {"single depth", &single, {{1, 2, 0.1}}, "single depth"},
      {"no layer", &k, {}, "no layer"},
      {"above the kernel", &k, {{0.0, 2.0, 0.1}}, "not within the kernel's depths, 0.05 m to 98.06 m"},
      {"below the kernel", &k, {{90.0, 99.0, 0.1}}, "not within"},
      {"upside down", &k, {{5.0, 4.0, 0.1}}, "layer 1: its top (5 m) is not above its bottom (4 m)"},
      {"overlap", &k, {{1, 5, 0.1}, {20, 30, 0.2}, {4, 6, 0.1}}, "1 m to 5 m and 4 m to 6 m overlap"},
      {"content", &k, {{1, 5, 1.5}}, "fraction from 0 to 1"},
      {"content not a number", &k, {{1, 5, std::nan("")}}, "fraction"},
      {"t2", &k, {{1, 5, 0.2, -1.0}}, "T2*"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto message = CheckWaterModel(*c.kernel, c.layers);
    ASSERT_TRUE(message);
    EXPECT_NE(message->find(c.expected), std::string::npos) << *message;
  }
  EXPECT_FALSE(CheckWaterModel(k, {{1, 5, 0.1}, {5, 6, 0.2}}));  // touching is not overlapping
}

TEST(ForwardModel, NoiseIsReproducibleAndOfTheAskedSize) {
  std::vector<Complex> a(20000), b(20000), c(20000);
  AddNoise(a, 3.0, 42);
  AddNoise(b, 3.0, 42);
  AddNoise(c, 3.0, 43);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  // Fixed seed: the sample's mean and standard deviation, of 40 000 values,
  // lie within a few standard errors (0.015 and 0.011) of 0 and 3.
  double sum = 0.0, squares = 0.0;
  for (const Complex& v : a) {
    sum += v.real() + v.imag();
    squares += v.real() * v.real() + v.imag() * v.imag();
  }
  const double n = 2.0 * static_cast<double>(a.size());
  const double mean = sum / n;
  EXPECT_NEAR(mean, 0.0, 0.06);
  EXPECT_NEAR(std::sqrt(squares / n - mean * mean), 3.0, 0.05);
}

}  // namespace
}  // namespace kvo::core
