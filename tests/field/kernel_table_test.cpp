#include "kernel_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "hankel_filter.h"
#include "reference_field.h"

namespace kvo::field {
namespace {

using testing::ReferenceEarth;

// Lagged convolution of λe^{−λa} against its closed-form transforms:
// ∫λe^{−λa}J1(λρ)dλ = ρ/R³ and ∫λe^{−λa}J0(λρ)dλ = a/R³ (R² = ρ² + a²).
TEST(LaggedConvolution, ReproducesClosedFormTransformsOnItsGrid) {
  struct Case {
    const char* name;
    const HankelFilter& filter;
    int subdivisions;
    double rhoLow;  // in units of a
    double tolerance;
  };
  const Case cases[] = {
      {"Key", keyFilter201(), 4, 1e-3, 1e-9},
      {"Werthmueller", werthmullerFilter201(), 2, 0.5, 1e-9},
  };
  const double a = 3.0;
  for (const Case& c : cases) {
    std::vector<TransformPair> out(60);
    laggedConvolution(c.filter, c.rhoLow * a, c.subdivisions, 1,
                      [a](double lambda, std::span<KernelPair> p) {
                        const double k = lambda * std::exp(-lambda * a);
                        p[0] = {k, k};
                      },
                      out);
    for (std::size_t i = 0; i < out.size(); ++i) {
      const double rho = c.rhoLow * a * std::exp(static_cast<double>(i) * c.filter.logSpacing / c.subdivisions);
      const double r3 = std::pow(rho * rho + a * a, 1.5);
      const double onAxis = 1.0 / (a * a);  // a/R³ at ρ = 0
      EXPECT_NEAR(out[i].t1.real(), rho / r3, c.tolerance * onAxis) << c.name << " rho " << rho;
      EXPECT_NEAR(out[i].t0.real(), a / r3, c.tolerance * onAxis) << c.name << " rho " << rho;
      EXPECT_EQ(out[i].t1.imag(), 0.0);
    }
  }
}

// The tabulated transforms against quadrature with extrapolation (the
// reference), between the nodes and across the switch of filters.
TEST(KernelTable, MatchesQuadratureOfTheHankelIntegrals) {
  const std::vector<double> bottoms{0.02, 0};
  const std::vector<double> resistivities{1e8, 10};
  const auto earth = LayeredEarth::fromLayers(bottoms, resistivities);
  ASSERT_TRUE(earth);
  const ReferenceEarth ref({{0.02, 1e8}, {0, 10}}, 2000);
  struct Case {
    double z;
    bool secondary;  // the representation the table should choose
  };
  const Case cases[] = {{0.05, true}, {5.0, true}, {200.0, false}};
  const double rhos[] = {1e-4, 0.013, 0.37, 2.9, 47.0, 123.0, 466.0, 1190.0};
  for (const Case& c : cases) {
    const KernelTable table(*earth, 2000, 0.01, c.z, 1200);
    EXPECT_EQ(table.secondary(), c.secondary) << c.z;
    const double dz = c.z - 0.01;
    // Scale: the largest transform, on the axis.
    const testing::RefTransforms axis = ref.transforms(0.0, 0.01, c.z);
    const double onAxis = std::abs(axis.t0 + 1.0 / (dz * dz));  // of the full transform
    for (double rho : rhos) {
      const testing::RefTransforms r = ref.transforms(rho, 0.01, c.z);
      const double r3 = std::pow(rho * rho + dz * dz, 1.5);
      const Complex t1 = c.secondary ? r.t1 : r.t1 + rho / r3;
      const Complex t0 = c.secondary ? r.t0 : r.t0 + dz / r3;
      const TransformPair t = table.at(rho);
      EXPECT_LT(std::abs(t.t1 - t1), 3e-7 * onAxis) << "z " << c.z << " rho " << rho;
      EXPECT_LT(std::abs(t.t0 - t0), 3e-7 * onAxis) << "z " << c.z << " rho " << rho;
    }
  }
}

// The stencil's sum in AVX2 registers and in plain arithmetic, to the bit,
// at ρ spread over both filters' ranges and the small-ρ limit.
TEST(KernelTable, BothFormsOfTheStencilGiveTheSameBits) {
#if defined(__x86_64__)
  if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "no AVX2";
  const auto earth = LayeredEarth::fromLayers(std::vector<double>{0.02, 5, 0}, std::vector<double>{1e8, 100, 3});
  ASSERT_TRUE(earth);
  for (const double z : {0.05, 20.0}) {
    const KernelTable table(*earth, 2000, 0.01, z, 1200);
    for (int i = 0; i <= 20000; ++i) {
      const double rho = 1e-6 * std::pow(1200.0 / 1e-6, i / 20000.0);
      TransformPair a, b;
      table.atPlain(std::span<const double>(&rho, 1), &a);
      table.atWide(std::span<const double>(&rho, 1), &b);
      ASSERT_TRUE(std::memcmp(&a, &b, sizeof a) == 0) << "z " << z << " rho " << rho;
    }
  }
#else
  GTEST_SKIP() << "one form only";
#endif
}

TEST(KernelTable, ChoosesTheSecondaryTransformsAtTheWireDepthAndInAirlikeEarth) {
  const auto conductive = LayeredEarth::fromLayers(std::vector<double>{0.02, 0}, std::vector<double>{1e8, 1});
  const auto resistive = LayeredEarth::fromLayers(std::vector<double>{0.02, 0}, std::vector<double>{1e8, 1e6});
  ASSERT_TRUE(conductive && resistive);
  EXPECT_TRUE(KernelTable(*conductive, 2000, 0.01, 0.01, 100).secondary());
  EXPECT_TRUE(KernelTable(*resistive, 2000, 0.01, 500.0, 100).secondary());
  EXPECT_FALSE(KernelTable(*conductive, 2000, 0.01, 500.0, 100).secondary());
  EXPECT_GE(KernelTable(*conductive, 2000, 0.01, 3.0, 777).rhoMax(), 777.0);
}

}  // namespace
}  // namespace kvo::field
