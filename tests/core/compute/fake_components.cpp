#include "fake_components.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace kvo::core::testing {

std::atomic<int> g_calls{0};
std::atomic<int> g_failAtCall{0};
std::atomic<double> g_skinDepth{40.0};

namespace {

constexpr double kPiExact = std::numbers::pi;

Vec minus(const Vec& a, const Vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec cross(const Vec& a, const Vec& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

}  // namespace

Vec polygonField(std::span<const Vec> wire, const Vec& p) {
  // Segment from A to B, a = A - p, b = B - p:
  //   H = (a x b)(|a| + |b|) / (4 pi |a||b| (|a||b| + a.b)).
  Vec h{};
  for (std::size_t k = 0; k + 1 < wire.size(); ++k) {
    const Vec a = minus(wire[k], p);
    const Vec b = minus(wire[k + 1], p);
    const double na = std::sqrt(dot(a, a));
    const double nb = std::sqrt(dot(b, b));
    const double den = 4.0 * kPiExact * na * nb * (na * nb + dot(a, b));
    if (den == 0.0) continue;
    const Vec c = cross(a, b);
    for (std::size_t j = 0; j < 3; ++j) h[j] += c[j] * (na + nb) / den;
  }
  return h;
}

Vec circleField(double a, double z0, const Vec& p) {
  const double rho = std::hypot(p[0], p[1]);
  const double zeta = p[2] - z0;
  const double far = (a + rho) * (a + rho) + zeta * zeta;
  const double near = (a - rho) * (a - rho) + zeta * zeta;
  const double k = std::sqrt(4.0 * a * rho / far);
  const double bigK = std::comp_ellint_1(k);
  const double bigE = std::comp_ellint_2(k);
  const double hz = 1.0 / (2.0 * kPiExact * std::sqrt(far)) *
                    (bigK + (a * a - rho * rho - zeta * zeta) / near * bigE);
  if (rho < 1e-12) return {0.0, 0.0, hz};
  const double hr = zeta / (2.0 * kPiExact * rho * std::sqrt(far)) *
                    (-bigK + (a * a + rho * rho + zeta * zeta) / near * bigE);
  return {hr * p[0] / rho, hr * p[1] / rho, hz};
}

DecodedBlock decodeBlock(std::span<const float> block) {
  DecodedBlock d;
  d.segments = static_cast<int>(block[0]);
  d.layers = static_cast<int>(block[1]);
  d.points = static_cast<int>(block[2]);
  d.frequency = block[3];
  std::size_t at = 6;
  for (int k = 0; k < d.layers; ++k) {
    d.bottoms.push_back(block[at++]);
    d.resistivities.push_back(block[at++]);
  }
  for (int k = 0; k <= d.segments; ++k, at += 3) d.wire.push_back({block[at], block[at + 1], block[at + 2]});
  for (int k = 0; k < d.points; ++k, at += 3) {
    d.fieldPoints.push_back({block[at], block[at + 1], block[at + 2]});
  }
  return d;
}

void encodeFields(std::span<float> block, const std::vector<Vec>& re, const std::vector<Vec>& im) {
  block[0] = 0.0f;
  for (std::size_t i = 0; i < re.size(); ++i) {
    for (std::size_t c = 0; c < 3; ++c) {
      block[1 + 6 * i + c] = static_cast<float>(re[i][c]);
      block[1 + 6 * i + 3 + c] = static_cast<float>(im[i][c]);
    }
  }
}

namespace {

void freeSpaceFields(FieldBlock block) {
  const DecodedBlock d = decodeBlock(block);
  std::vector<Vec> re;
  for (const Vec& p : d.fieldPoints) re.push_back(polygonField(d.wire, p));
  encodeFields(block, re, std::vector<Vec>(re.size()));
}

}  // namespace

void freeSpaceEntry(FieldBlock block, std::string_view) {
  ++g_calls;
  freeSpaceFields(block);
}

void exactCircleEntry(FieldBlock block, std::string_view) {
  ++g_calls;
  const DecodedBlock d = decodeBlock(block);
  const double a = std::hypot(d.wire[0][0], d.wire[0][1]);
  std::vector<Vec> re;
  for (const Vec& p : d.fieldPoints) re.push_back(circleField(a, d.wire[0][2], p));
  encodeFields(block, re, std::vector<Vec>(re.size()));
}

void conductiveEntry(FieldBlock block, std::string_view) {
  ++g_calls;
  const DecodedBlock d = decodeBlock(block);
  std::vector<Vec> re;
  std::vector<Vec> im;
  for (const Vec& p : d.fieldPoints) {
    const Vec h = polygonField(d.wire, p);
    const std::complex<double> factor =
        d.layers == 1 ? 1.0 : std::exp(std::complex<double>(-1.0, -1.0) * p[2] / g_skinDepth.load());
    re.push_back({h[0] * factor.real(), h[1] * factor.real(), h[2] * factor.real()});
    const double horizontal = d.layers == 1 ? 1.0 : 2.0;
    im.push_back({horizontal * h[0] * factor.imag(), horizontal * h[1] * factor.imag(), h[2] * factor.imag()});
  }
  encodeFields(block, re, im);
}

void failingEntry(FieldBlock block, std::string_view) {
  if (++g_calls == g_failAtCall.load()) {
    block[0] = -1.0f;
    return;
  }
  freeSpaceFields(block);
}

}  // namespace kvo::core::testing
