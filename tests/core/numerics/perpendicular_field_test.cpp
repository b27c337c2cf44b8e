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

constexpr double kTightTol = 1e-12;

double dot3(const FieldVector& a, const FieldVector& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// |h - (h.g) g| for the unit geomagnetic direction g of inclination I: the
// magnitude of the part of h perpendicular to g, by direct projection.
double perpendicularNorm(const FieldVector& h, double inclination) {
  const FieldVector g{std::cos(inclination), 0.0, -std::sin(inclination)};
  const double along = dot3(h, g);
  const FieldVector perp{h[0] - along * g[0], h[1] - along * g[1], h[2] - along * g[2]};
  return std::sqrt(dot3(perp, perp));
}

TEST(VectorCosine, TableOfCases) {
  struct Case {
    const char* name;
    FieldVector u;
    FieldVector v;
    double expected;
  };
  const double s = std::sqrt(0.5);
  const std::vector<Case> cases = {
      {"both zero", {0, 0, 0}, {0, 0, 0}, 1.0},
      {"zero u, non-zero v", {0, 0, 0}, {1, 2, 3}, 0.0},
      {"non-zero u, zero v", {1, 2, 3}, {0, 0, 0}, 1.0},
      {"parallel", {1, 2, 3}, {2, 4, 6}, 1.0},
      {"antiparallel", {1, 2, 3}, {-3, -6, -9}, -1.0},
      {"orthogonal", {1, 0, 0}, {0, 0, 5}, 0.0},
      {"45 degrees", {1, 0, 0}, {1, 1, 0}, s},
      {"120 degrees", {1, 0, 0}, {-0.5, std::sqrt(3.0) / 2.0, 0}, -0.5},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(VectorCosine(c.u, c.v), c.expected, kTightTol) << c.name;
  }
}

TEST(VectorCosine, StaysInRangeForNearlyParallelVectors) {
  // Scaled copies are parallel; rounding must never push the cosine past
  // +-1, where acos would give NaN.
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> value(-1e3, 1e3);
  std::uniform_real_distribution<double> scale(1e-6, 1e6);
  for (int i = 0; i < 2000; ++i) {
    const FieldVector u{value(rng), value(rng), value(rng)};
    const double k = scale(rng);
    const FieldVector v{k * u[0], k * u[1], k * u[2]};
    const FieldVector w{-k * u[0], -k * u[1], -k * u[2]};
    EXPECT_FALSE(std::isnan(std::acos(VectorCosine(u, v))));
    EXPECT_FALSE(std::isnan(std::acos(VectorCosine(u, w))));
    EXPECT_NEAR(VectorCosine(u, v), 1.0, 1e-14);
    EXPECT_NEAR(VectorCosine(u, w), -1.0, 1e-14);
  }
}

TEST(PhaseVectorCosine, RotatingPhasorsGiveCosineOfPhaseDifference) {
  // re = (1, 0), im = (0, 1): w(a) = (cos a, sin a), so the cosine between
  // w1(a) and w2(b) is cos(a - b).
  const PlaneVector re{1.0, 0.0};
  const PlaneVector im{0.0, 1.0};
  for (double a : {-2.0, -0.3, 0.0, 0.7, 1.9, 3.0}) {
    for (double b : {-1.1, 0.0, 0.4, 2.5}) {
      EXPECT_NEAR(PhaseVectorCosine(re, im, re, im, a, b), std::cos(a - b), kTightTol) << a << " " << b;
    }
  }
}

TEST(PhaseVectorCosine, TableOfCases) {
  struct Case {
    const char* name;
    PlaneVector re1, im1, re2, im2;
    double a, b, expected;
  };
  const double h = std::numbers::pi / 2.0;
  const std::vector<Case> cases = {
      {"phase 0 uses the real parts", {1, 0}, {5, 5}, {0, 3}, {-7, 1}, 0.0, 0.0, 0.0},
      {"phase pi/2 uses the imaginary parts", {1, 0}, {2, 2}, {0, 3}, {-7, -7}, h, h, -1.0},
      {"first vector zero gives 1", {0, 0}, {0, 0}, {1, 2}, {3, 4}, 0.3, 0.1, 1.0},
      {"second vector zero gives 1", {1, 2}, {3, 4}, {0, 0}, {0, 0}, 0.3, 0.1, 1.0},
      {"scaling does not matter", {2, 0}, {0, 0}, {1000, 1000}, {0, 0}, 0.0, 0.0, std::sqrt(0.5)},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(PhaseVectorCosine(c.re1, c.im1, c.re2, c.im2, c.a, c.b), c.expected, 1e-9) << c.name;
  }
}

TEST(PerpendicularAmplitudes, FieldAlongGeomagneticDirectionGivesZero) {
  for (double inclination : {-1.5, -1.2, -0.6, 0.0, 0.4, 1.1, 1.5}) {
    const FieldVector g{std::cos(inclination), 0.0, -std::sin(inclination)};
    const ComplexField field{{3.0 * g[0], 3.0 * g[1], 3.0 * g[2]}, {-0.2 * g[0], -0.2 * g[1], -0.2 * g[2]}};
    const PerpendicularPair p = PerpendicularAmplitudes(inclination, field);
    EXPECT_NEAR(p.p0, 0.0, 1e-20) << inclination;
    EXPECT_NEAR(p.p1, 0.0, 1e-20) << inclination;
  }
}

TEST(PerpendicularAmplitudes, MatchDirectProjectionForRandomFields) {
  // Random fields and inclinations of both hemispheres, through the array
  // form. Magnitude: mu0 times the norm of the part perpendicular to g.
  // Sign of p0: negative exactly when re and im make an acute angle.
  std::mt19937_64 rng(20240611);
  std::uniform_real_distribution<double> value(-5.0, 5.0);
  std::uniform_real_distribution<double> incl(-std::numbers::pi / 2.0, std::numbers::pi / 2.0);
  constexpr std::size_t kCount = 200;
  for (int round = 0; round < 10; ++round) {
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
      const double expected0 = kMu0 * perpendicularNorm(re[i], inclination);
      const double expected1 = kMu0 * perpendicularNorm(im[i], inclination);
      EXPECT_NEAR(std::fabs(p0[i]), expected0, 1e-12 * expected0 + 1e-22);
      EXPECT_NEAR(p1[i], expected1, 1e-12 * expected1 + 1e-22);
      EXPECT_EQ(p0[i] < 0.0, dot3(re[i], im[i]) > 0.0) << "point " << i;
    }
  }
}

TEST(PerpendicularAmplitudes, AcuteAngleMakesRealAmplitudeNegative) {
  const ComplexField acute{{0, 1, 0}, {0, 1, 1}};
  const ComplexField obtuse{{0, 1, 0}, {0, -1, 1}};
  const ComplexField rightAngle{{0, 1, 0}, {0, 0, 1}};
  EXPECT_LT(PerpendicularAmplitudes(0.3, acute).p0, 0.0);
  EXPECT_GT(PerpendicularAmplitudes(0.3, obtuse).p0, 0.0);
  EXPECT_GT(PerpendicularAmplitudes(0.3, rightAngle).p0, 0.0);
  EXPECT_GT(PerpendicularAmplitudes(0.3, acute).p1, 0.0);
}

TEST(EllipseAxes, TableOfCases) {
  struct Case {
    const char* name;
    ComplexField secondary, reference;
    EllipseAxesResult expected;
  };
  const double q = std::numbers::pi / 4.0;
  const double h = std::numbers::pi / 2.0;
  const std::vector<Case> cases = {
      {"orthogonal real and imaginary parts",
       {{3, 0, 0}, {0, 4, 0}}, {{0, 0, 2}, {0, 0, 0}}, {2.0, 5.0, h, h}},
      {"signs do not matter: moduli are compared",
       {{-1, 0, 0}, {1, 0, 0}}, {{-1, 0, 0}, {0, 0, 0}}, {1.0, std::sqrt(2.0), 0.0, 0.0}},
      {"45 degrees between the parts",
       {{1, 0, 0}, {1, 1, 0}}, {{0, 0, 0}, {0, 3, 4}}, {5.0, std::sqrt(3.0), q, std::acos(3.0 / (std::sqrt(3.0) * 5.0))}},
      {"purely real secondary (zero imaginary part)",
       {{1, 2, 2}, {0, 0, 0}}, {{1, 2, 2}, {0, 0, 0}}, {3.0, 3.0, 0.0, 0.0}},
      {"purely imaginary secondary",
       {{0, 0, 0}, {0, 0, 7}}, {{1, 0, 0}, {0, 0, 0}}, {1.0, 7.0, h, h}},
  };
  for (const Case& c : cases) {
    const EllipseAxesResult r = EllipseAxes(c.secondary, c.reference);
    EXPECT_NEAR(r.rRef, c.expected.rRef, kTightTol) << c.name;
    EXPECT_NEAR(r.rSec, c.expected.rSec, kTightTol) << c.name;
    EXPECT_NEAR(r.alpha, c.expected.alpha, 1e-7) << c.name;
    EXPECT_NEAR(r.beta, c.expected.beta, 1e-7) << c.name;
  }
}

// Closed-form split of the perpendicular field (u, v) of a model field into
// its two circularly rotating parts, amplitudes |u + i v|/2 and |u - i v|/2.
// Their sum is the major semi-axis of the polarisation ellipse, their
// difference the minor one.
struct CircularParts {
  double larger;
  double smaller;
};
CircularParts circularParts(double inclination, const ComplexField& model) {
  const std::complex<double> i(0.0, 1.0);
  const std::complex<double> u(std::cos(inclination) * model.re[2] + std::sin(inclination) * model.re[0],
                               std::cos(inclination) * model.im[2] + std::sin(inclination) * model.im[0]);
  const std::complex<double> v(model.re[1], model.im[1]);
  const double c1 = std::abs(u + i * v) / 2.0;
  const double c2 = std::abs(u - i * v) / 2.0;
  return {std::max(c1, c2), std::min(c1, c2)};
}

TEST(EllipticalSplit, MatchesCircularDecompositionForHorizontalGeomagneticField) {
  // I = 0: the perpendicular plane is y-z. Reference: real field F along z
  // (or along -y); secondary: imaginary field G perpendicular to it. The
  // model field F + iG is an ellipse with semi-axes F and |G| (|G| <= F).
  // Normalised to the major axis, the co-rotating part carries
  // larger/(larger + smaller) of P and the rest smaller/(larger + smaller);
  // a (the rescaled P) is twice the rest. A reference pointing to -y swaps
  // the two roles.
  struct Case {
    const char* name;
    ComplexField reference;
    FieldVector secondaryIm;
    bool swapped;
  };
  const double f = 2.5;
  const std::vector<Case> cases = {
      {"linear", {{0, 0, f}, {}}, {0, 0, 0}, false},
      {"ellipse 1:4", {{0, 0, f}, {}}, {0, 0.25 * f, 0}, false},
      {"ellipse 1:2, opposite secondary", {{0, 0, f}, {}}, {0, -0.5 * f, 0}, false},
      {"ellipse 9:10", {{0, 0, f}, {}}, {0, 0.9 * f, 0}, false},
      {"circular", {{0, 0, f}, {}}, {0, f, 0}, false},
      {"reference along -y, ellipse 1:3", {{0, -f, 0}, {}}, {0, 0, f / 3.0}, true},
      {"reference along -y, circular", {{0, -f, 0}, {}}, {0, 0, f}, true},
  };
  for (const Case& c : cases) {
    const ComplexField model{c.reference.re, c.secondaryIm};
    const PerpendicularPair p = PerpendicularAmplitudes(0.0, model);
    const EllipticalSplitResult r = EllipticalSplit(model, c.reference, 0.0, p);
    const CircularParts parts = circularParts(0.0, model);
    const double major = parts.larger + parts.smaller;
    const double coFraction = (c.swapped ? parts.smaller : parts.larger) / major;
    const double restFraction = 1.0 - coFraction;
    EXPECT_NEAR(r.b.p0, coFraction * p.p0, 1e-12 * std::fabs(p.p0)) << c.name;
    EXPECT_NEAR(r.b.p1, coFraction * p.p1, 1e-12 * std::fabs(p.p0)) << c.name;
    EXPECT_NEAR(r.a.p0, 2.0 * restFraction * p.p0, 1e-12 * std::fabs(p.p0)) << c.name;
    EXPECT_NEAR(r.a.p1, 2.0 * restFraction * p.p1, 1e-12 * std::fabs(p.p0)) << c.name;
  }
}

TEST(EllipticalSplit, LinearSecondaryFieldSplitsIntoEqualHalves) {
  // Whatever the inclination and scale: a secondary field whose real and
  // imaginary parts are parallel (linear polarisation), or one parallel to
  // the reference, rotates neither way: b = P/2, a = P.
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> value(-3.0, 3.0);
  std::uniform_real_distribution<double> incl(-1.5, 1.5);
  for (int i = 0; i < 200; ++i) {
    const double inclination = incl(rng);
    const ComplexField reference{{value(rng), value(rng), value(rng)}, {value(rng), value(rng), value(rng)}};
    ComplexField model = reference;
    const FieldVector dir{value(rng), value(rng), value(rng)};
    const double phase = value(rng);
    if (i % 2 == 0) {  // linear secondary: d = dir * (cos phase + i sin phase)
      for (std::size_t j = 0; j < 3; ++j) {
        model.re[j] += dir[j] * std::cos(phase);
        model.im[j] += dir[j] * std::sin(phase);
      }
    } else {  // secondary parallel to the reference: d = 0.3 * f
      for (std::size_t j = 0; j < 3; ++j) {
        model.re[j] *= 1.3;
        model.im[j] *= 1.3;
      }
    }
    const PerpendicularPair p = PerpendicularAmplitudes(inclination, model);
    const EllipticalSplitResult r = EllipticalSplit(model, reference, inclination, p);
    const double tol = 1e-6 * (std::fabs(p.p0) + std::fabs(p.p1));
    EXPECT_NEAR(r.b.p0, 0.5 * p.p0, tol) << i;
    EXPECT_NEAR(r.b.p1, 0.5 * p.p1, tol) << i;
    EXPECT_NEAR(r.a.p0, p.p0, 2.0 * tol) << i;
    EXPECT_NEAR(r.a.p1, p.p1, 2.0 * tol) << i;
  }
}

TEST(EllipticalSplit, ZeroReferenceFieldGivesTheNonEllipticalSplit) {
  const ComplexField zero{};
  const ComplexField model{{0, 1, 2}, {3, 0, -1}};
  const PerpendicularPair p = PerpendicularAmplitudes(0.4, model);
  for (const ComplexField& m : {model, zero}) {
    const EllipticalSplitResult r = EllipticalSplit(m, zero, 0.4, p);
    EXPECT_EQ(r.e, 0.0);
    EXPECT_DOUBLE_EQ(r.b.p0, 0.5 * p.p0);
    EXPECT_DOUBLE_EQ(r.b.p1, 0.5 * p.p1);
    EXPECT_DOUBLE_EQ(r.a.p0, p.p0);
    EXPECT_DOUBLE_EQ(r.a.p1, p.p1);
  }
}

}  // namespace
}  // namespace kvo::core
