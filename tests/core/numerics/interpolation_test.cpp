#include "numerics/interpolation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "numerics/constants.h"

namespace kvo::core {
namespace {

TEST(ParabolaThrough3, ReproducesQuadraticsAndLines) {
  // Random quadratics (and straight lines, A = 0) through three abscissae at
  // least a tenth of the range apart, in ranges met on the grids: around 0,
  // angles, radii, pulse moments.
  std::mt19937_64 rng(1234);
  std::uniform_real_distribution<double> coeff(-10.0, 10.0);
  for (const double hi : {3.0, 2 * std::numbers::pi, 500.0, 1000.0}) {
    std::uniform_real_distribution<double> ux(hi > 10 ? 0.0 : -hi, hi);
    for (int i = 0; i < 600; ++i) {
      const ParabolaCoefficients q{i % 2 == 0 ? coeff(rng) : 0.0, coeff(rng), coeff(rng)};
      std::array<double, 3> x{};
      std::array<double, 3> s{};
      do {
        x = {ux(rng), ux(rng), ux(rng)};
        s = x;
        std::sort(s.begin(), s.end());
      } while (s[1] - s[0] < hi / 10 || s[2] - s[1] < hi / 10);
      const ParabolaCoefficients p = ParabolaThrough3(x[0], x[1], x[2], q(x[0]), q(x[1]), q(x[2]));
      const double size = std::fabs(q.a) * hi * hi + std::fabs(q.b) * hi + std::fabs(q.c);
      EXPECT_NEAR(p.a, q.a, 1e-13 * size / (hi * hi)) << hi;
      EXPECT_NEAR(p.b, q.b, 1e-12 * size / hi) << hi;
      EXPECT_NEAR(p.c, q.c, 1e-12 * size) << hi;
    }
  }
}

TEST(ParabolaThroughDeathTest, CoincidentAbscissaeAreRejectedInDebugBuilds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEBUG_DEATH(ParabolaThrough3(1.0, 1.0, 2.0, 0.0, 1.0, 2.0), "coincident");
  EXPECT_DEBUG_DEATH(ParabolaThrough3(1.0, 2.0, 1.0, 0.0, 1.0, 2.0), "coincident");
}

TEST(ParabolaTable, EveryEntryPassesThroughItsThreeNodes) {
  // A non-polynomial row: entry k interpolates nodes k..k+2; the extra
  // entry n-2 (the last segment) the last three nodes.
  for (std::size_t n : {3u, 4u, 75u}) {
    std::vector<double> x(n);
    std::vector<double> y(n);
    for (std::size_t k = 0; k < n; ++k) {
      x[k] = 0.05 * static_cast<double>(k * k) + static_cast<double>(k);
      y[k] = std::sin(0.3 * x[k]) + 0.1 * x[k];
    }
    std::vector<double> a(n - 1, NAN);
    std::vector<double> b(n - 1, NAN);
    std::vector<double> c(n - 1, NAN);
    EXPECT_EQ(ParabolaTable(x, y, {a, b, c}), 0);
    for (std::size_t k = 0; k + 1 < n; ++k) {
      const ParabolaCoefficients p{a[k], b[k], c[k]};
      for (std::size_t i = std::min(k, n - 3); i < std::min(k, n - 3) + 3; ++i) {
        EXPECT_NEAR(p(x[i]), y[i], 1e-10 * (1.0 + x[i])) << "n " << n << " entry " << k;
      }
    }
  }
}

// A polar grid (radii 0..100 m, 33 angles) with parabola tables filled from
// functions of (radius, angle).
class Field2DTest : public ::testing::Test {
 protected:
  static constexpr std::size_t kRadii = 20;
  static constexpr std::size_t kAngles = 33;

  void SetUp() override {
    for (std::size_t k = 0; k < kRadii; ++k) {
      radii[k] = 100.0 * std::pow(static_cast<double>(k) / (kRadii - 1), 1.3);
    }
    for (std::size_t j = 0; j < kAngles; ++j) {
      angles[j] = 2.0 * kPi * static_cast<double>(j) / (kAngles - 1);
    }
  }
  template <class F>
  void fill(std::size_t set, F f) {
    for (std::size_t j = 0; j < kAngles; ++j) {
      std::array<double, kRadii> row{};
      for (std::size_t k = 0; k < kRadii; ++k) {
        row[k] = f(radii[k], angles[j]);
      }
      ParabolaTable(radii, row, {tables->a[set][j], tables->b[set][j], tables->c[set][j]});
    }
  }
  // Radial segment containing x.
  std::size_t column(double x) const {
    std::size_t b = 0;
    while (b + 2 < kRadii && radii[b + 1] <= x) {
      ++b;
    }
    return b;
  }
  // Start of the angular stencil around a.
  static std::size_t node(double a) {
    return static_cast<std::size_t>(std::max(0L, std::lround(a / (2.0 * kPi) * (kAngles - 1)) - 1));
  }

  std::unique_ptr<ParabolaTables> tables = std::make_unique<ParabolaTables>();
  std::array<double, kRadii> radii{};
  std::array<double, kAngles> angles{};
};

// Quadratic in both directions.
double quadF(double x, double a) {
  return 0.3 + 0.02 * x - 1e-4 * x * x + (0.5 - 0.01 * x + 2e-5 * x * x) * a +
         (-0.07 + 3e-4 * x - 1e-6 * x * x) * a * a;
}
double quadG(double x, double a) { return -1.0 + 0.001 * x * x - 0.2 * a * x + 0.05 * a * a; }

TEST_F(Field2DTest, ReproducesFunctionsQuadraticInBothDirections) {
  fill(4, quadF);
  fill(5, quadG);
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> rx(0.0, 100.0);
  std::uniform_real_distribution<double> ra(0.0, 2.0 * kPi);
  std::uniform_int_distribution<std::size_t> shift(0, 3);
  InterpolationCache cache;
  for (int i = 0; i < 500; ++i) {
    const double x = rx(rng);
    const double a = ra(rng);
    // Any stencil reproduces a quadratic: the local one, a neighbour, one
    // past the end (taken as the last full stencil).
    const FieldPair v = InterpolateField2D(*tables, 4, column(x), x, a, node(a) + shift(rng), angles, cache);
    EXPECT_NEAR(v.first, quadF(x, a), 1e-10 * (1.0 + std::fabs(quadF(x, a))));
    EXPECT_NEAR(v.second, quadG(x, a), 1e-10 * (1.0 + std::fabs(quadG(x, a))));
  }
}

TEST_F(Field2DTest, UsesTheLocalStencilAndOneCacheForSeveralPairs) {
  // Smooth, not quadratic: the error is that of local parabolas, far larger
  // for any other stencil. Sets 0/1 and 2/3 hold different functions and are
  // interpolated in turn at the same point through one cache.
  const auto f = [](double x, double a) { return std::exp(-x / 60.0) * std::cos(a); };
  const auto g = [](double x, double a) { return std::sin(x / 30.0) * std::sin(2.0 * a); };
  fill(0, f);
  fill(1, g);
  fill(2, g);
  fill(3, f);
  std::mt19937_64 rng(6);
  std::uniform_real_distribution<double> rx(0.0, 100.0);
  std::uniform_real_distribution<double> ra(0.0, 2.0 * kPi);
  InterpolationCache cache;
  for (int i = 0; i < 500; ++i) {
    const double x = rx(rng);
    const double a = ra(rng);
    for (std::size_t set : {0u, 2u, 0u}) {
      const FieldPair v = InterpolateField2D(*tables, set, column(x), x, a, node(a), angles, cache);
      EXPECT_NEAR(v.first, set == 0 ? f(x, a) : g(x, a), 2e-2) << x << " " << a;
      EXPECT_NEAR(v.second, set == 0 ? g(x, a) : f(x, a), 2e-2) << x << " " << a;
      EXPECT_NEAR(set == 0 ? v.first : v.second, f(x, a), 2e-3) << x << " " << a;
    }
  }
}

TEST(LocatePolar, MatchesDirectPolarCoordinates) {
  std::array<double, 75> radii{};
  for (std::size_t k = 0; k < radii.size(); ++k) {
    radii[k] = 400.0 * std::pow(static_cast<double>(k) / 74.0, 2.0);
  }
  std::array<double, 61> angles{};
  for (std::size_t j = 0; j < angles.size(); ++j) {
    angles[j] = 2.0 * kPi * static_cast<double>(j) / 60.0;
  }
  // (First nearest node) - 1, clamped to 0..size-3.
  const auto expectedStart = [](double v, std::span<const double> nodes) {
    const auto nearest = std::min_element(nodes.begin(), nodes.end(),
                                          [v](double p, double q) { return std::fabs(v - p) < std::fabs(v - q); });
    return static_cast<std::size_t>(
        std::clamp(nearest - nodes.begin() - 1, std::ptrdiff_t{0}, std::ssize(nodes) - 3));
  };
  std::mt19937_64 rng(77);
  std::uniform_real_distribution<double> rrho(0.0, 300.0);
  std::uniform_real_distribution<double> rt(-7.0, 7.0);
  std::uniform_real_distribution<double> rc(-60.0, 60.0);
  for (int i = 0; i < 3000; ++i) {
    const double rho = rrho(rng);
    const double t = rt(rng);
    const double cx = rc(rng);
    const double cy = rc(rng);
    const double x = rho * std::cos(t) + cx;
    const double y = rho * std::sin(t) + cy;
    const PolarLocation loc = LocatePolar(rho, t, cx, cy, radii, angles);
    EXPECT_NEAR(loc.radius, std::hypot(x, y), 1e-12 * std::hypot(x, y));
    const double direct = std::atan2(y, x) + (y < 0 ? 2.0 * std::numbers::pi : 0.0);
    EXPECT_NEAR(std::remainder(loc.phi - direct, 2.0 * std::numbers::pi), 0.0, 1e-9);
    EXPECT_TRUE(loc.phi >= 0.0 && loc.phi < 2.0 * kPi) << loc.phi;
    EXPECT_EQ(loc.ir, expectedStart(std::hypot(x, y), radii));
    if (direct > 1e-6 && direct < 2.0 * std::numbers::pi - 1e-6) {  // away from the wrap
      EXPECT_EQ(loc.ia, expectedStart(direct, angles));
    }
  }
}

TEST(LocatePolar, TableOfEdgeCases) {
  const std::array<double, 5> radii{0.0, 1.0, 2.0, 4.0, 8.0};
  const std::array<double, 5> angles{0.0, 0.5 * kPi, kPi, 1.5 * kPi, 2.0 * kPi};
  struct Case {
    const char* name;
    double rho, t, cx, cy, phi;
    std::size_t ir, ia;
  };
  const std::vector<Case> cases = {
      {"negative x axis", 0, 0, -3, 0, kPi, 1, 1},
      {"negative x axis, by the distance", 3, kPi, 0, 0, kPi, 1, 1},
      {"negative y axis", 0, 0, 0, -2, 1.5 * kPi, 1, 2},
      {"positive y axis", 0, 0, 0, 5, 0.5 * kPi, 2, 0},
      {"centre", 0, 0, 0, 0, 0.5 * kPi, 0, 0},
      {"beyond the last radius", 0, 0, 100, 0, 0, 2, 0},
      {"just below 2 pi", 0, 0, 3, -1e-9, 2 * kPi - 1e-9 / 3, 1, 2},
  };
  for (const Case& c : cases) {
    const PolarLocation loc = LocatePolar(c.rho, c.t, c.cx, c.cy, radii, angles);
    EXPECT_NEAR(loc.phi, c.phi, 1e-10) << c.name;
    EXPECT_EQ(loc.ir, c.ir) << c.name;
    EXPECT_EQ(loc.ia, c.ia) << c.name;
  }
}

TEST(TableFieldAtNode, ReadsTheAddressedEntryAndProjectsIt) {
  // Slice field table planes [point][component][angle][slot], random entries.
  using Plane = std::array<std::array<std::array<std::array<double, 5>, 101>, 3>, 75>;
  const auto re = std::make_unique<Plane>();
  const auto im = std::make_unique<Plane>();
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> value(-2.0, 2.0);
  for (Plane* plane : {re.get(), im.get()}) {
    for (auto& point : *plane) {
      for (auto& component : point) {
        for (auto& angle : component) {
          std::generate(angle.begin(), angle.end(), [&] { return value(rng); });
        }
      }
    }
  }
  struct Case {
    std::size_t point, angle, slot;
    double inclination;
  };
  for (const Case c : {Case{0, 0, 0, 0.0}, Case{74, 100, 4, -1.2}, Case{13, 57, 2, 0.9}}) {
    const PerpendicularComponents pc = TableFieldAtNode(*re, *im, c.point, c.angle, c.inclination, c.slot);
    for (std::size_t part = 0; part < 2; ++part) {
      const Plane& plane = part == 0 ? *re : *im;
      const double hx = plane[c.point][0][c.angle][c.slot];
      const double hy = plane[c.point][1][c.angle][c.slot];
      const double hz = plane[c.point][2][c.angle][c.slot];
      // (u, v, along g) are the coordinates of h in the orthonormal frame
      // ((sin I, 0, cos I), y, g = (cos I, 0, -sin I)): they keep its norm.
      const double along = hx * std::cos(c.inclination) - hz * std::sin(c.inclination);
      EXPECT_EQ(pc.v[part], hy);
      EXPECT_NEAR(pc.u[part], hx * std::sin(c.inclination) + hz * std::cos(c.inclination), 1e-14);
      EXPECT_NEAR(pc.u[part] * pc.u[part] + hy * hy + along * along, hx * hx + hy * hy + hz * hz, 1e-12);
    }
  }
}

TEST(SubdivisionCount, TableOfCases) {
  const std::vector<double> m1{0.0, 2.0, 0.5, 6.9, 1.0, 0.0};
  const std::vector<double> m2{0.3, 1.0, 3.2, 0.0, 1.0, 9.99};
  struct Case {
    const char* name;
    std::size_t start, end;
    int expected;
  };
  const std::vector<Case> cases = {
      {"single index, zero steps give 1", 0, 0, 1},
      {"integer measure adds one", 1, 1, 3},
      {"end = start + 1 looks at start only", 2, 3, 4},
      {"end = start + 1 ignores a larger end", 4, 5, 2},
      {"end before start looks at start only", 3, 1, 7},
      {"three indices: maximum, end included", 0, 2, 4},
      {"up to the last index", 3, 5, 10},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SubdivisionCount(c.start, c.end, m1, m2), c.expected) << c.name;
    EXPECT_EQ(SubdivisionCount(c.start, c.end, m2, m1), c.expected) << c.name << " (loops swapped)";
  }
}

}  // namespace
}  // namespace kvo::core
