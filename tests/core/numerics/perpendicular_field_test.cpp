#include "numerics/perpendicular_field.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "numerics/constants.h"

namespace kvo::core {
namespace {

constexpr double kHalfPi = std::numbers::pi / 2.0;

double dot3(const FieldVector& a, const FieldVector& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// mu0 |h - (h.g) g|: the part of h perpendicular to the geomagnetic
// direction g, by direct projection.
double projectedAmplitude(const FieldVector& h, double inclination) {
  const FieldVector g{std::cos(inclination), 0.0, -std::sin(inclination)};
  const double along = dot3(h, g);
  const FieldVector perp{h[0] - along * g[0], h[1] - along * g[1], h[2] - along * g[2]};
  return kMu0 * std::sqrt(dot3(perp, perp));
}

TEST(VectorCosine, TableOfCases) {
  struct Case {
    const char* name;
    FieldVector u, v;
    double expected;
  };
  const std::vector<Case> cases = {
      {"both zero", {0, 0, 0}, {0, 0, 0}, 1.0},        {"zero u", {0, 0, 0}, {1, 2, 3}, 0.0},
      {"zero v", {1, 2, 3}, {0, 0, 0}, 1.0},           {"parallel", {1, 2, 3}, {2, 4, 6}, 1.0},
      {"antiparallel", {1, 2, 3}, {-3, -6, -9}, -1.0}, {"orthogonal", {1, 0, 0}, {0, 0, 5}, 0.0},
      {"120 degrees", {1, 0, 0}, {-0.5, std::sqrt(3.0) / 2.0, 0}, -0.5},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(VectorCosine(c.u, c.v), c.expected, 1e-15) << c.name;
  }
  // Scaled copies: rounding must never push the cosine past +-1 (acos -> NaN).
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> value(-1e3, 1e3);
  for (int i = 0; i < 2000; ++i) {
    const FieldVector u{value(rng), value(rng), value(rng)};
    const double k = std::exp(value(rng) / 100.0);
    EXPECT_FALSE(std::isnan(std::acos(VectorCosine(u, {k * u[0], k * u[1], k * u[2]}))));
    EXPECT_FALSE(std::isnan(std::acos(VectorCosine(u, {-k * u[0], -k * u[1], -k * u[2]}))));
  }
}

TEST(PhaseVectorCosine, TableOfCases) {
  struct Case {
    const char* name;
    PlaneVector re1, im1, re2, im2;
    double a, b, expected;
  };
  const PlaneVector ex{1, 0};
  const PlaneVector ey{0, 1};
  const std::vector<Case> cases = {
      // re = ex, im = ey turn into (cos a, sin a): the cosine is cos(a - b).
      {"rotating phasors", ex, ey, ex, ey, 0.7, -1.1, std::cos(1.8)},
      {"rotating phasors", ex, ey, ex, ey, 3.0, 0.4, std::cos(2.6)},
      {"a = pi/2, b = 0 takes im1 and re2", {1, 2}, {3, -1}, {0, 1}, {2, 0}, kHalfPi, 0.0, -1 / std::sqrt(10.0)},
      {"a = pi, b = pi/2 takes -re1 and im2", {1, 2}, {3, -1}, {0, 1}, {2, 0}, 2 * kHalfPi, kHalfPi,
       -1 / std::sqrt(5.0)},
      {"first zero gives 1", {0, 0}, {0, 0}, {1, 2}, {3, 4}, 0.3, 0.1, 1.0},
      {"second zero gives 1", {1, 2}, {3, 4}, {0, 0}, {0, 0}, 0.3, 0.1, 1.0},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(PhaseVectorCosine(c.re1, c.im1, c.re2, c.im2, c.a, c.b), c.expected, 1e-12) << c.name;
  }
}

TEST(PerpendicularAmplitudes, MatchDirectProjection) {
  // Random fields and inclinations of both hemispheres, through the array
  // form: |p| is the projected amplitude; p0 < 0 exactly when re and im make
  // an acute angle. A field along g has no perpendicular part.
  std::mt19937_64 rng(20240611);
  std::uniform_real_distribution<double> value(-5.0, 5.0);
  std::uniform_real_distribution<double> incl(-kHalfPi, kHalfPi);
  constexpr std::size_t kCount = 500;
  for (int round = 0; round < 4; ++round) {
    const double inclination = incl(rng);
    std::vector<FieldVector> re(kCount);
    std::vector<FieldVector> im(kCount);
    for (std::size_t i = 0; i < kCount; ++i) {
      re[i] = {value(rng), value(rng), value(rng)};
      im[i] = {value(rng), value(rng), value(rng)};
    }
    std::vector<double> p0(kCount);
    std::vector<double> p1(kCount);
    PerpendicularAmplitudes(inclination, re, im, p0, p1);
    for (std::size_t i = 0; i < kCount; ++i) {
      const double e0 = projectedAmplitude(re[i], inclination);
      const double e1 = projectedAmplitude(im[i], inclination);
      EXPECT_NEAR(std::fabs(p0[i]), e0, 1e-12 * e0 + 1e-22);
      EXPECT_NEAR(p1[i], e1, 1e-12 * e1 + 1e-22);
      EXPECT_EQ(p0[i] < 0.0, dot3(re[i], im[i]) > 0.0) << i;
    }
    const FieldVector g{std::cos(inclination), 0.0, -std::sin(inclination)};
    const PerpendicularPair along =
        PerpendicularAmplitudes(inclination, {{3 * g[0], 3 * g[1], 3 * g[2]}, {-g[0], -g[1], -g[2]}});
    EXPECT_NEAR(along.p0, 0.0, 1e-20);
    EXPECT_NEAR(along.p1, 0.0, 1e-20);
  }
}

TEST(EllipseAxes, TableOfCases) {
  struct Case {
    const char* name;
    ComplexField secondary, reference;
    EllipseAxesResult expected;
  };
  const std::vector<Case> cases = {
      {"orthogonal parts", {{3, 0, 0}, {0, 4, 0}}, {{0, 0, 2}, {}}, {2.0, 5.0, kHalfPi, kHalfPi}},
      {"moduli, not signs, are compared", {{-1, 0, 0}, {1, 0, 0}}, {{-1, 0, 0}, {}}, {1.0, std::sqrt(2.0), 0, 0}},
      {"45 degrees between the parts", {{1, 0, 0}, {1, 1, 0}}, {{}, {0, 3, 4}},
       {5.0, std::sqrt(3.0), kHalfPi / 2, std::acos(3.0 / (std::sqrt(3.0) * 5.0))}},
  };
  for (const Case& c : cases) {
    const EllipseAxesResult r = EllipseAxes(c.secondary, c.reference);
    EXPECT_NEAR(r.rRef, c.expected.rRef, 1e-14) << c.name;
    EXPECT_NEAR(r.rSec, c.expected.rSec, 1e-14) << c.name;
    EXPECT_NEAR(r.alpha, c.expected.alpha, 1e-7) << c.name;
    EXPECT_NEAR(r.beta, c.expected.beta, 1e-7) << c.name;
  }
}

TEST(EllipticalSplit, MatchesCircularDecompositionForHorizontalGeomagneticField) {
  // I = 0: the perpendicular plane is y-z; (u, v) = (z, y) components. The
  // closed-form split of (u, v) into circular parts has amplitudes
  // |u + i v|/2 and |u - i v|/2; their sum is the major semi-axis. For a real
  // reference F along z and an imaginary secondary G (|G| <= F) along y, the
  // co-rotating part carries larger/major of P, a = 2 smaller/major of P. A
  // reference along -y swaps the roles.
  struct Case {
    const char* name;
    FieldVector referenceRe, secondaryIm;
    bool swapped;
  };
  const double f = 2.5;
  const std::vector<Case> cases = {
      {"linear", {0, 0, f}, {0, 0, 0}, false},
      {"ellipse 1:4", {0, 0, f}, {0, 0.25 * f, 0}, false},
      {"ellipse 1:2, opposite sense", {0, 0, f}, {0, -0.5 * f, 0}, false},
      {"circular", {0, 0, f}, {0, f, 0}, false},
      {"reference along -y, ellipse 1:3", {0, -f, 0}, {0, 0, f / 3}, true},
      {"reference along -y, circular", {0, -f, 0}, {0, 0, f}, true},
  };
  for (const Case& c : cases) {
    const ComplexField reference{c.referenceRe, {}};
    const ComplexField model{c.referenceRe, c.secondaryIm};
    const std::complex<double> u(model.re[2], model.im[2]);
    const std::complex<double> v(model.re[1], model.im[1]);
    const std::complex<double> i(0.0, 1.0);
    const double c1 = std::abs(u + i * v) / 2.0;
    const double c2 = std::abs(u - i * v) / 2.0;
    const double co = (c.swapped ? std::min(c1, c2) : std::max(c1, c2)) / (c1 + c2);

    const PerpendicularPair p = PerpendicularAmplitudes(0.0, model);
    const EllipticalSplitResult r = EllipticalSplit(model, reference, 0.0, p);
    const double tol = 1e-12 * std::fabs(p.p0);
    EXPECT_NEAR(r.b.p0, co * p.p0, tol) << c.name;
    EXPECT_NEAR(r.b.p1, co * p.p1, tol) << c.name;
    EXPECT_NEAR(r.a.p0, 2.0 * (1.0 - co) * p.p0, tol) << c.name;
    EXPECT_NEAR(r.a.p1, 2.0 * (1.0 - co) * p.p1, tol) << c.name;
  }
}

TEST(EllipticalSplit, NonEllipticalLimits) {
  // b = P/2 and a = P (e = 0) for: a linearly polarised secondary field
  // (parallel real and imaginary parts) or one parallel to the reference, at
  // any inclination; a vertical geomagnetic field; a zero reference field.
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> value(-3.0, 3.0);
  const auto expectHalves = [](const EllipticalSplitResult& r, PerpendicularPair p, double tol) {
    EXPECT_NEAR(r.b.p0, 0.5 * p.p0, tol);
    EXPECT_NEAR(r.b.p1, 0.5 * p.p1, tol);
    EXPECT_NEAR(r.a.p0, p.p0, 2 * tol);
    EXPECT_NEAR(r.a.p1, p.p1, 2 * tol);
  };
  for (int i = 0; i < 200; ++i) {
    const double inclination = value(rng) / 2.0;
    const ComplexField reference{{value(rng), value(rng), value(rng)}, {value(rng), value(rng), value(rng)}};
    ComplexField model = reference;
    const FieldVector dir{value(rng), value(rng), value(rng)};
    const double phase = value(rng);
    for (std::size_t j = 0; j < 3; ++j) {
      if (i % 2 == 0) {  // secondary dir * exp(i phase)
        model.re[j] += dir[j] * std::cos(phase);
        model.im[j] += dir[j] * std::sin(phase);
      } else {  // secondary 0.3 * reference
        model.re[j] *= 1.3;
        model.im[j] *= 1.3;
      }
    }
    const PerpendicularPair p = PerpendicularAmplitudes(inclination, model);
    expectHalves(EllipticalSplit(model, reference, inclination, p), p,
                 1e-6 * (std::fabs(p.p0) + std::fabs(p.p1)));
  }
  const ComplexField circularRef{{0, 0, 1.5}, {}};
  const ComplexField circular{{0, 0, 1.5}, {0, 1.5, 0}};
  EXPECT_NEAR(EllipticalSplit(circular, circularRef, 0.0, {1, 1}).e, 1.0, 1e-12);
  for (double pole : {-kHalfPi, kHalfPi}) {
    expectHalves(EllipticalSplit(circular, circularRef, pole, {1, 1}), {1, 1}, 1e-12);
  }
  for (const ComplexField& m : {circular, ComplexField{}}) {
    const EllipticalSplitResult r = EllipticalSplit(m, ComplexField{}, 0.4, {2, -3});
    EXPECT_EQ(r.e, 0.0);
    expectHalves(r, {2, -3}, 0.0);
  }
}

}  // namespace
}  // namespace kvo::core
