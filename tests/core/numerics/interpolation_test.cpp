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

// Three abscissae in [lo, hi], pairwise at least (hi - lo)/10 apart, in random order.
std::array<double, 3> distinctAbscissae(std::mt19937_64& rng, double lo, double hi) {
  std::uniform_real_distribution<double> u(lo, hi);
  for (;;) {
    std::array<double, 3> x{u(rng), u(rng), u(rng)};
    std::array<double, 3> s = x;
    std::sort(s.begin(), s.end());
    if (s[1] - s[0] >= (hi - lo) / 10 && s[2] - s[1] >= (hi - lo) / 10) {
      return x;
    }
  }
}

TEST(ParabolaThrough3, TableOfExactCases) {
  struct Case {
    const char* name;
    std::array<double, 3> x, y;
    ParabolaCoefficients expected;
  };
  const std::vector<Case> cases = {
      {"straight line", {0, 1, 2}, {1, 3, 5}, {0, 2, 1}},
      {"unit parabola", {-1, 0, 1}, {1, 0, 1}, {1, 0, 0}},
      {"constant", {3, 7, 11}, {4, 4, 4}, {0, 0, 4}},
      {"abscissae in any order", {2, -1, 0}, {-5, -2, -1}, {-1, 0, -1}},
      {"shifted parabola", {1, 2, 4}, {0, -1, 3}, {1, -4, 3}},
  };
  for (const Case& c : cases) {
    const ParabolaCoefficients p = ParabolaThrough3(c.x[0], c.x[1], c.x[2], c.y[0], c.y[1], c.y[2]);
    EXPECT_NEAR(p.a, c.expected.a, 1e-13) << c.name;
    EXPECT_NEAR(p.b, c.expected.b, 1e-13) << c.name;
    EXPECT_NEAR(p.c, c.expected.c, 1e-13) << c.name;
  }
}

TEST(ParabolaThrough3, ReproducesRandomQuadratics) {
  // Abscissa ranges as met on the grids: around 0, angles, radii, pulse moments.
  struct Range {
    double lo, hi;
  };
  std::mt19937_64 rng(1234);
  std::uniform_real_distribution<double> coeff(-10.0, 10.0);
  for (const Range r : {Range{-3, 3}, Range{0, 2 * std::numbers::pi}, Range{0, 500}, Range{1, 1000}}) {
    for (int i = 0; i < 300; ++i) {
      const ParabolaCoefficients q{coeff(rng), coeff(rng), coeff(rng)};
      const auto x = distinctAbscissae(rng, r.lo, r.hi);
      const ParabolaCoefficients p = ParabolaThrough3(x[0], x[1], x[2], q(x[0]), q(x[1]), q(x[2]));
      const double scale = std::max(1.0, r.hi * r.hi);
      EXPECT_NEAR(p.a, q.a, 1e-10 * std::fabs(q.a) + 1e-11) << r.hi;
      EXPECT_NEAR(p.b, q.b, 1e-9 * (std::fabs(q.b) + std::fabs(q.a) * r.hi) + 1e-10) << r.hi;
      EXPECT_NEAR(p.c, q.c, 1e-12 * scale * (std::fabs(q.a) + std::fabs(q.b) + std::fabs(q.c))) << r.hi;
      for (double xi : x) {
        EXPECT_NEAR(p(xi), q(xi), 1e-12 * scale * (std::fabs(q.a) + 1.0));
      }
    }
  }
}

TEST(ParabolaThrough3, CollinearPointsGiveTheStraightLine) {
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> value(-20.0, 20.0);
  for (int i = 0; i < 300; ++i) {
    const double slope = value(rng);
    const double intercept = value(rng);
    const auto x = distinctAbscissae(rng, -50.0, 50.0);
    const ParabolaCoefficients p = ParabolaThrough3(x[0], x[1], x[2], slope * x[0] + intercept,
                                                    slope * x[1] + intercept, slope * x[2] + intercept);
    EXPECT_NEAR(p.a, 0.0, 1e-13);
    EXPECT_NEAR(p.b, slope, 1e-11);
    EXPECT_NEAR(p.c, intercept, 1e-10);
  }
}

TEST(ParabolaThroughDeathTest, CoincidentAbscissaeAreRejectedInDebugBuilds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEBUG_DEATH(ParabolaThrough3(1.0, 1.0, 2.0, 0.0, 1.0, 2.0), "coincident");
  EXPECT_DEBUG_DEATH(ParabolaThrough3(1.0, 2.0, 1.0, 0.0, 1.0, 2.0), "coincident");
  EXPECT_DEBUG_DEATH(ParabolaThrough3(3.0, 3.0, 3.0, 0.0, 1.0, 2.0), "coincident");
}

TEST(ParabolaTable, EveryEntryPassesThroughItsThreeNodes) {
  // A non-polynomial row: entry k must interpolate nodes k..k+2 exactly, and
  // the extra entry n-2 (the last segment) the last three nodes.
  for (std::size_t n : {3u, 4u, 10u, 75u}) {
    std::vector<double> x(n);
    std::vector<double> y(n);
    for (std::size_t k = 0; k < n; ++k) {
      x[k] = 0.5 * static_cast<double>(k * k) + static_cast<double>(k);
      y[k] = std::sin(0.3 * x[k]) + 0.1 * x[k];
    }
    std::vector<double> a(n - 1, NAN);
    std::vector<double> b(n - 1, NAN);
    std::vector<double> c(n - 1, NAN);
    EXPECT_EQ(ParabolaTable(x, y, {a, b, c}), 0);
    for (std::size_t k = 0; k + 1 < n; ++k) {
      const std::size_t first = std::min(k, n - 3);
      const ParabolaCoefficients p{a[k], b[k], c[k]};
      for (std::size_t i = first; i < first + 3; ++i) {
        EXPECT_NEAR(p(x[i]), y[i], 1e-9 * (1.0 + x[i] * x[i] / 100.0)) << "n " << n << " entry " << k;
      }
    }
  }
}

TEST(ParabolaTable, QuadraticRowGivesTheSameParabolaEverywhere) {
  const ParabolaCoefficients q{0.02, -1.5, 7.0};
  const std::vector<double> x{0.0, 0.4, 1.5, 3.0, 5.5, 9.0, 14.0, 20.0};
  std::vector<double> y;
  for (double xi : x) {
    y.push_back(q(xi));
  }
  std::vector<double> a(x.size() - 1);
  std::vector<double> b(x.size() - 1);
  std::vector<double> c(x.size() - 1);
  ParabolaTable(x, y, {a, b, c});
  for (std::size_t k = 0; k < a.size(); ++k) {
    EXPECT_NEAR(a[k], q.a, 1e-12) << k;
    EXPECT_NEAR(b[k], q.b, 1e-11) << k;
    EXPECT_NEAR(c[k], q.c, 1e-11) << k;
  }
}

// A polar grid with parabola tables filled from functions of (radius, angle).
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

  // Radial segment containing x (the last one for x at or beyond the end).
  std::size_t column(double x) const {
    std::size_t b = 0;
    while (b + 2 < kRadii && radii[b + 1] <= x) {
      ++b;
    }
    return b;
  }

  std::unique_ptr<ParabolaTables> tables = std::make_unique<ParabolaTables>();
  std::array<double, kRadii> radii{};
  std::array<double, kAngles> angles{};
};

// Quadratic in both directions: every stencil reproduces them exactly.
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
  std::uniform_int_distribution<int> roffset(-3, 3);
  InterpolationCache cache;
  for (int i = 0; i < 500; ++i) {
    const double x = rx(rng);
    const double a = ra(rng);
    // Any stencil reproduces a quadratic, the local one, a neighbouring one
    // or one past the end (clamped to the last full stencil).
    const int nearest = static_cast<int>(std::lround(a / (2.0 * kPi) * (kAngles - 1)));
    const auto node = static_cast<std::size_t>(std::max(0, nearest - 1 + roffset(rng)));
    const FieldPair v = InterpolateField2D(*tables, 4, column(x), x, a, node, angles, cache);
    EXPECT_NEAR(v.first, quadF(x, a), 1e-10 * (1.0 + std::fabs(quadF(x, a))));
    EXPECT_NEAR(v.second, quadG(x, a), 1e-10 * (1.0 + std::fabs(quadG(x, a))));
  }
}

TEST_F(Field2DTest, UsesTheLocalStencilForSmoothFunctions) {
  // Not a quadratic: the error is that of local parabolas (O(h^3)), far
  // larger when another stencil than the one asked for is used.
  const auto f = [](double x, double a) { return std::exp(-x / 60.0) * std::cos(a); };
  const auto g = [](double x, double a) { return std::sin(x / 30.0) * std::sin(2.0 * a); };
  fill(0, f);
  fill(1, g);
  std::mt19937_64 rng(6);
  std::uniform_real_distribution<double> rx(0.0, 100.0);
  std::uniform_real_distribution<double> ra(0.0, 2.0 * kPi);
  InterpolationCache cache;
  for (int i = 0; i < 500; ++i) {
    const double x = rx(rng);
    const double a = ra(rng);
    const PolarLocation loc = LocatePolar(x, a, 0.0, 0.0, radii, angles);
    const FieldPair v = InterpolateField2D(*tables, 0, column(x), x, a, loc.ia, angles, cache);
    EXPECT_NEAR(v.first, f(x, a), 2e-3) << x << " " << a;
    EXPECT_NEAR(v.second, g(x, a), 2e-2) << x << " " << a;
  }
  // A node past the end is taken as the last full stencil.
  const double x = 37.0;
  const double a = 2.0 * kPi - 0.05;
  const FieldPair clamped = InterpolateField2D(*tables, 0, column(x), x, a, kAngles - 1, angles, cache);
  const FieldPair last = InterpolateField2D(*tables, 0, column(x), x, a, kAngles - 3, angles, cache);
  EXPECT_DOUBLE_EQ(clamped.first, last.first);
  EXPECT_DOUBLE_EQ(clamped.second, last.second);
  EXPECT_NEAR(clamped.first, f(x, a), 2e-3);
}

TEST_F(Field2DTest, OneCacheServesSeveralQuantityPairs) {
  // Same point, node and x for two sets in turn: each call must answer for
  // its own set, never with the parabolas cached for the other.
  fill(0, quadF);
  fill(1, quadG);
  fill(2, [](double x, double a) { return 2.0 * quadF(x, a) + 1.0; });
  fill(3, [](double x, double a) { return -quadG(x, a); });
  InterpolationCache cache;
  const double x = 42.0;
  for (double a : {0.5, 0.6, 3.0}) {
    for (int round = 0; round < 2; ++round) {
      const FieldPair v0 = InterpolateField2D(*tables, 0, column(x), x, a, 2, angles, cache);
      const FieldPair v2 = InterpolateField2D(*tables, 2, column(x), x, a, 2, angles, cache);
      EXPECT_NEAR(v0.first, quadF(x, a), 1e-9);
      EXPECT_NEAR(v0.second, quadG(x, a), 1e-9);
      EXPECT_NEAR(v2.first, 2.0 * quadF(x, a) + 1.0, 1e-9);
      EXPECT_NEAR(v2.second, -quadG(x, a), 1e-9);
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
  // Start of the three nodes around v: nearest node (first of equals) - 1, clamped.
  const auto expectedStart = [](double v, std::span<const double> nodes) {
    const auto nearest = std::min_element(nodes.begin(), nodes.end(), [v](double p, double q) {
      return std::fabs(v - p) < std::fabs(v - q);
    });
    const long k = static_cast<long>(nearest - nodes.begin()) - 1;
    return static_cast<std::size_t>(std::clamp(k, 0L, static_cast<long>(nodes.size()) - 3));
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
    const double direct = std::atan2(y, x);
    EXPECT_NEAR(std::remainder(loc.phi - direct, 2.0 * std::numbers::pi), 0.0, 1e-9);
    EXPECT_GE(loc.phi, 0.0);
    EXPECT_LT(loc.phi, 2.0 * kPi);
    EXPECT_EQ(loc.ir, expectedStart(std::hypot(x, y), radii));
    // Away from the wrap at 2 pi, where phi and atan2 + 2 pi may differ in
    // the last digits, the angle index follows the direct angle.
    const double directPhi = direct < 0.0 ? direct + 2.0 * std::numbers::pi : direct;
    if (directPhi > 1e-6 && directPhi < 2.0 * std::numbers::pi - 1e-6) {
      EXPECT_EQ(loc.ia, expectedStart(directPhi, angles));
    }
  }
}

TEST(LocatePolar, TableOfEdgeCases) {
  const std::array<double, 5> radii{0.0, 1.0, 2.0, 4.0, 8.0};
  const std::array<double, 5> angles{0.0, 0.5 * kPi, kPi, 1.5 * kPi, 2.0 * kPi};
  struct Case {
    const char* name;
    double rho, t, cx, cy;
    double phi;
    std::size_t ir, ia;
  };
  const std::vector<Case> cases = {
      {"negative x axis", 0.0, 0.0, -3.0, 0.0, kPi, 1, 1},
      {"negative x axis, reached by the distance", 3.0, kPi, 0.0, 0.0, kPi, 1, 1},
      {"negative y axis", 0.0, 0.0, 0.0, -2.0, 1.5 * kPi, 1, 2},
      {"positive y axis", 0.0, 0.0, 0.0, 5.0, 0.5 * kPi, 2, 0},
      {"centre", 0.0, 0.0, 0.0, 0.0, 0.5 * kPi, 0, 0},
      {"positive x axis", 1.0, 0.0, 0.0, 0.0, 0.0, 0, 0},
      {"beyond the last radius", 0.0, 0.0, 100.0, 0.0, 0.0, 2, 0},
      {"just below 2 pi", 0.0, 0.0, 3.0, -1e-9, 2.0 * kPi - 1e-9 / 3.0, 1, 2},
  };
  for (const Case& c : cases) {
    const PolarLocation loc = LocatePolar(c.rho, c.t, c.cx, c.cy, radii, angles);
    EXPECT_NEAR(loc.phi, c.phi, 1e-10) << c.name;
    EXPECT_EQ(loc.ir, c.ir) << c.name;
    EXPECT_EQ(loc.ia, c.ia) << c.name;
  }
}

TEST(TableFieldAtNode, ReadsTheAddressedEntryAndProjectsIt) {
  // A slice field table laid out [point][component][angle][slot].
  using Plane = std::array<std::array<std::array<std::array<double, 5>, 101>, 3>, 75>;
  auto re = std::make_unique<Plane>();
  auto im = std::make_unique<Plane>();
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> value(-2.0, 2.0);
  for (auto* plane : {re.get(), im.get()}) {
    for (auto& point : *plane) {
      for (auto& component : point) {
        for (auto& angle : component) {
          for (double& slot : angle) {
            slot = value(rng);
          }
        }
      }
    }
  }
  struct Case {
    std::size_t point, angle, slot;
    double inclination;
  };
  for (const Case c : {Case{0, 0, 0, 0.0}, Case{74, 100, 4, -1.2}, Case{13, 57, 2, 0.9}, Case{40, 3, 1, -0.4}}) {
    const PerpendicularComponents pc = TableFieldAtNode(*re, *im, c.point, c.angle, c.inclination, c.slot);
    for (int part = 0; part < 2; ++part) {
      const Plane& plane = part == 0 ? *re : *im;
      const std::array<double, 3> h{plane[c.point][0][c.angle][c.slot], plane[c.point][1][c.angle][c.slot],
                                    plane[c.point][2][c.angle][c.slot]};
      // u and v are the coordinates of h in the plane perpendicular to
      // g = (cos I, 0, -sin I): u along (sin I, 0, cos I), v along y.
      const double u = h[0] * std::sin(c.inclination) + h[2] * std::cos(c.inclination);
      EXPECT_NEAR(pc.u[part], u, 1e-14);
      EXPECT_EQ(pc.v[part], h[1]);
      const double along = h[0] * std::cos(c.inclination) - h[2] * std::sin(c.inclination);
      EXPECT_NEAR(pc.u[part] * pc.u[part] + pc.v[part] * pc.v[part] + along * along,
                  h[0] * h[0] + h[1] * h[1] + h[2] * h[2], 1e-12);
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
      {"single index, zero steps round up to 1", 0, 0, 1},
      {"end = start + 1 looks at start only", 2, 3, 4},
      {"end = start + 1 ignores a larger end", 4, 5, 2},
      {"end before start looks at start only", 3, 1, 7},
      {"span of three takes the maximum, end included", 0, 2, 4},
      {"span up to the last index", 3, 5, 10},
      {"span over everything", 0, 5, 10},
      {"integer measure adds one", 1, 1, 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SubdivisionCount(c.start, c.end, m1, m2), c.expected) << c.name;
    EXPECT_EQ(SubdivisionCount(c.start, c.end, m2, m1), c.expected) << c.name << " (loops swapped)";
  }
}

}  // namespace
}  // namespace kvo::core
