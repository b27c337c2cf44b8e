#include "layered_earth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <limits>
#include <vector>

#include "reference_field.h"

namespace kvo::field {
namespace {

using testing::RefLayer;
using testing::ReferenceEarth;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(LayeredEarth, RefusesWhatIsNotAnEarth) {
  struct Case {
    const char* what;
    std::vector<double> bottoms, resistivities;
  };
  const Case cases[] = {
      {"no layer", {}, {}},
      {"lengths differ", {1, 2}, {10}},
      {"NaN bottom", {kNaN, 0}, {10, 10}},
      {"NaN resistivity", {1, 0}, {10, kNaN}},
      {"zero resistivity", {1, 0}, {0, 10}},
      {"negative resistivity", {1, 0}, {10, -5}},
      {"infinite bottom", {std::numeric_limits<double>::infinity(), 0}, {10, 10}},
  };
  for (const Case& c : cases) EXPECT_FALSE(LayeredEarth::fromLayers(c.bottoms, c.resistivities)) << c.what;
}

TEST(LayeredEarth, SkipsEmptyLayersAndEndsInAHalfSpace) {
  // Bottoms 10, 5 (not below 10: empty), -3 (ignored: the last layer), 20.
  const auto earth = LayeredEarth::fromLayers(std::vector<double>{10, 5, 20, -3},
                                              std::vector<double>{100, 7, 50, 4});
  ASSERT_TRUE(earth);
  const auto r = earth->regions();
  ASSERT_EQ(r.size(), 4u);  // air, 0–10, 10–20, 20–inf
  EXPECT_EQ(r[0].conductivity, 0.0);
  EXPECT_EQ(r[1].top, 0.0);
  EXPECT_EQ(r[1].bottom, 10.0);
  EXPECT_DOUBLE_EQ(r[1].conductivity, 0.01);
  EXPECT_EQ(r[2].top, 10.0);
  EXPECT_EQ(r[2].bottom, 20.0);
  EXPECT_DOUBLE_EQ(r[2].conductivity, 0.02);
  EXPECT_EQ(r[3].top, 20.0);
  EXPECT_TRUE(std::isinf(r[3].bottom));
  EXPECT_DOUBLE_EQ(r[3].conductivity, 0.25);
  // A first layer with a bottom at or above the surface is empty too.
  const auto thin = LayeredEarth::fromLayers(std::vector<double>{0, 5}, std::vector<double>{1, 2});
  ASSERT_TRUE(thin);
  EXPECT_EQ(thin->regions().size(), 2u);
}

TEST(LayeredEarth, RegionOfADepthTakesInterfacesFromBelow) {
  const auto earth = LayeredEarth::fromLayers(std::vector<double>{0.02, 10, 0}, std::vector<double>{1e8, 10, 5});
  ASSERT_TRUE(earth);
  const struct {
    double z;
    std::size_t region;
  } cases[] = {{-1, 0}, {-1e-9, 0}, {0, 1}, {0.01, 1}, {0.02, 2}, {9.99, 2}, {10, 3}, {1e4, 3}};
  for (const auto& c : cases) EXPECT_EQ(earth->regionAt(c.z), c.region) << c.z;
}

// The reflection-coefficient kernels against the admittance recursion of the
// reference, for receivers above, inside and below the source layer, on and
// near interfaces.
TEST(TeKernel, AgreesWithAnAdmittanceRecursion) {
  const std::vector<double> bottoms{0.02, 10, 40, 0};
  const std::vector<double> resistivities{1e8, 100, 5, 50};
  const auto earth = LayeredEarth::fromLayers(bottoms, resistivities);
  ASSERT_TRUE(earth);
  const ReferenceEarth ref({{0.02, 1e8}, {10, 100}, {40, 5}, {0, 50}}, 2000);
  const double sources[] = {0.01, 25.0, -2.0};
  const double receivers[] = {-0.5, 0.0, 0.005, 0.01, 0.02, 0.05, 9.999, 10.0, 25.0, 40.0, 60.0, 200.0};
  const double lambdas[] = {1e-5, 1e-3, 0.01, 0.05, 0.3, 3.0, 30.0};
  double worst = 0;
  for (double zs : sources) {
    for (double z : receivers) {
      const TeKernel kernel(*earth, 2000, zs, z);
      for (double lambda : lambdas) {
        const SpectralKernels k = kernel(lambda);
        const auto g = ref.potential(lambda, zs, z);
        const Complex r1 = lambda * lambda * g[0];
        const Complex r0 = -lambda * g[1];
        // Relative to the size of the static kernel λe^{−λ|Δz|} or of the kernel itself.
        // (Both underflow to zero far from the source: the floor keeps that a pass.)
        const double scale = std::max({lambda * std::exp(-lambda * std::abs(z - zs)), std::abs(r1), 1e-300});
        ASSERT_TRUE(std::isfinite(std::abs(k.full1)) && std::isfinite(std::abs(k.full0)));
        const double e = std::max(std::abs(k.full1 - r1), std::abs(k.full0 - r0)) / scale;
        worst = std::max(worst, e);
        EXPECT_LT(e, 1e-11) << "zs " << zs << " z " << z << " lambda " << lambda;
      }
    }
  }
  RecordProperty("worst", std::to_string(worst));
}

TEST(TeKernel, SecondaryIsFullMinusStaticAndVanishesWithoutConduction) {
  const auto earth = LayeredEarth::fromLayers(std::vector<double>{0.02, 0}, std::vector<double>{1e8, 10});
  ASSERT_TRUE(earth);
  for (double z : {0.01, 0.05, 3.0}) {
    const TeKernel kernel(*earth, 2000, 0.01, z);
    const TeKernel still(*earth, 0.0, 0.01, z);
    for (double lambda : {1e-3, 0.1, 10.0}) {
      const SpectralKernels k = kernel(lambda);
      const double st = lambda * std::exp(-lambda * std::abs(z - 0.01));
      const double sgn = z > 0.01 ? 1.0 : 0.0;
      EXPECT_NEAR(std::abs(k.full1 - st - k.secondary1), 0.0, 1e-14 * st);
      EXPECT_NEAR(std::abs(k.full0 - sgn * st - k.secondary0), 0.0, 1e-14 * st);
      // At zero frequency nothing is induced: the kernels are the static ones.
      const SpectralKernels s = still(lambda);
      EXPECT_LT(std::abs(s.secondary1), 1e-14 * st);
      EXPECT_LT(std::abs(s.secondary0), 1e-14 * st);
    }
  }
}

// F and ∂F/∂z are continuous across interfaces (Hz and Hρ are).
TEST(TeKernel, IsContinuousAcrossInterfaces) {
  const auto earth = LayeredEarth::fromLayers(std::vector<double>{0.02, 10, 0}, std::vector<double>{1e8, 1, 50});
  ASSERT_TRUE(earth);
  for (double d : {0.0, 0.02, 10.0}) {
    const TeKernel above(*earth, 5000, 0.01, d - 1e-9);
    const TeKernel below(*earth, 5000, 0.01, d + 1e-9);
    for (double lambda : {1e-3, 0.1, 2.0}) {
      const SpectralKernels a = above(lambda), b = below(lambda);
      EXPECT_LT(std::abs(a.full1 - b.full1), 1e-7 * std::abs(a.full1)) << d;
      EXPECT_LT(std::abs(a.full0 - b.full0), 1e-7 * std::abs(a.full1)) << d;
    }
  }
}

}  // namespace
}  // namespace kvo::field
