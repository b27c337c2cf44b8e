#include "compute/point_response.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>

namespace kvo::core {
namespace {

using Vector = std::array<double, 3>;

// The magnetisation after a rectangular pulse, by integrating the Bloch
// equation in the rotating frame, dM/dt = W x M with W = (w, 0, d), from
// M = (0, 0, 1) with classical Runge-Kutta steps (relaxation neglected).
Vector blochAfterPulse(double w, double d, double seconds) {
  const Vector field{w, 0, d};
  const auto rate = [&](const Vector& m) {
    return Vector{field[1] * m[2] - field[2] * m[1], field[2] * m[0] - field[0] * m[2],
                  field[0] * m[1] - field[1] * m[0]};
  };
  Vector m{0, 0, 1};
  const int steps = 20000;
  const double h = seconds / steps;
  for (int i = 0; i < steps; ++i) {
    const auto add = [](const Vector& a, const Vector& b, double f) {
      return Vector{a[0] + f * b[0], a[1] + f * b[1], a[2] + f * b[2]};
    };
    const Vector k1 = rate(m);
    const Vector k2 = rate(add(m, k1, h / 2));
    const Vector k3 = rate(add(m, k2, h / 2));
    const Vector k4 = rate(add(m, k3, h));
    for (std::size_t j = 0; j < 3; ++j) m[j] += h / 6 * (k1[j] + 2 * k2[j] + 2 * k3[j] + k4[j]);
  }
  return m;
}

TEST(PointResponse, IsTheTransverseMagnetisationOfTheBlochEquation) {
  // The in-phase part is -My and the quadrature part -Mx of the tipped
  // magnetisation, times the receiver's amplitude; the fundamental is off
  // resonance by the pulse's offset plus the Bloch-Siegert shift
  // w^2/(2 pi f + dw), each harmonic by the offset plus 2 pi 80 Hz, with w/6.
  struct Case {
    double rabi, offset, frequency, seconds;
    int harmonics;
  };
  const Case cases[] = {
      {20, 0, 2000, 0.04, 1},     {150, 0, 2000, 0.04, 1},     {60, -40, 2300, 0.02, 1},
      {60, 300, 1900, 0.04, 1},   {300, 25, 2000, 0.01, 3},    {5, 0, 2000, 0.04, 2},
  };
  const double receiver = 3e-7;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "w " << c.rabi << " dw " << c.offset << " h " << c.harmonics);
    const double pi = std::numbers::pi;
    const Vector fundamental = blochAfterPulse(c.rabi, c.offset + c.rabi * c.rabi / (2 * pi * c.frequency + c.offset), c.seconds);
    const Vector harmonic = blochAfterPulse(c.rabi / 6, c.offset + 2 * pi * 80, c.seconds);
    const double extra = c.harmonics - 1;
    const PointSignal s = PointResponse(c.rabi, receiver, c.offset, {c.frequency, c.seconds, c.harmonics});
    EXPECT_NEAR(s.inPhase, -receiver * (fundamental[1] + extra * harmonic[1]), 1e-9 * receiver);
    EXPECT_NEAR(s.quadrature, -receiver * (fundamental[0] + extra * harmonic[0]), 1e-9 * receiver);
  }
}

TEST(PointResponse, SmallFlipAnglesAreLinearInTheDrive) {
  // S = |A| w tau (1 - (w tau)^2/6 + ...) on resonance.
  for (const double rabi : {1e-3, 0.05, 0.25}) {
    const PointSignal s = PointResponse(rabi, 2.0, 0.0, {2000, 0.04, 1});
    EXPECT_NEAR(s.inPhase / (2.0 * rabi * 0.04), 1.0, 2e-4) << rabi;
  }
}

TEST(PointResponse, APointWithoutFieldOnResonanceGivesNothing) {
  const PointSignal s = PointResponse(0.0, 1e-6, 0.0, {2000, 0.04, 1});
  EXPECT_EQ(s.inPhase, 0.0);
  EXPECT_EQ(s.quadrature, 0.0);
}

TEST(PairPhase, CoversEveryQuadrantAndTheAxes) {
  const double pi = 3.1415926536;
  struct Case {
    double first, second, phase;
  };
  const Case cases[] = {
      {1, 1, pi / 4},       {-1, 1, 3 * pi / 4}, {-1, -1, 5 * pi / 4}, {1, -1, -pi / 4},
      {0, 2, pi / 2},       {0, -2, -pi / 2},    {0, 0, pi / 2},       {-3, 0, pi},
  };
  for (const Case& c : cases) EXPECT_NEAR(PairPhase(c.first, c.second), c.phase, 1e-10) << c.first << ", " << c.second;  // pi is the stored value
}

}  // namespace
}  // namespace kvo::core
