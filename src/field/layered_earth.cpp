#include "layered_earth.h"

#include <cmath>
#include <limits>

namespace kvo::field {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// e^w − 1 for complex w without cancellation when |w| is small:
// e^{x+iy} − 1 = expm1(x)cos y − 2 sin²(y/2) + i e^x sin y.
Complex expm1(Complex w) {
  const double x = w.real();
  const double y = w.imag();
  const double s = std::sin(0.5 * y);
  return {std::expm1(x) * std::cos(y) - 2.0 * s * s, std::exp(x) * std::sin(y)};
}

}  // namespace

std::optional<LayeredEarth> LayeredEarth::fromLayers(std::span<const double> bottoms,
                                                     std::span<const double> resistivities) {
  if (bottoms.empty() || bottoms.size() != resistivities.size()) return std::nullopt;
  for (std::size_t k = 0; k < bottoms.size(); ++k) {
    if (!std::isfinite(bottoms[k]) || !std::isfinite(resistivities[k]) || !(resistivities[k] > 0)) {
      return std::nullopt;
    }
  }
  LayeredEarth earth;
  earth.m_regions.push_back({-kInf, 0.0, 0.0});
  double top = 0.0;
  for (std::size_t k = 0; k + 1 < bottoms.size(); ++k) {
    if (!(bottoms[k] > top)) continue;  // empty layer
    earth.m_regions.push_back({top, bottoms[k], 1.0 / resistivities[k]});
    top = bottoms[k];
  }
  earth.m_regions.push_back({top, kInf, 1.0 / resistivities.back()});
  return earth;
}

std::size_t LayeredEarth::regionAt(double z) const {
  std::size_t j = 0;
  while (j + 1 < m_regions.size() && z >= m_regions[j + 1].top) ++j;
  return j;
}

TeKernel::TeKernel(const LayeredEarth& earth, double frequencyHz, double sourceZ, double receiverZ)
    : m_regions(earth.regions().begin(), earth.regions().end()),
      m_source(earth.regionAt(sourceZ)),
      m_receiver(earth.regionAt(receiverZ)),
      m_sourceZ(sourceZ),
      m_receiverZ(receiverZ),
      m_u(m_regions.size()),
      m_rDown(m_regions.size()),
      m_rUp(m_regions.size()) {
  const double omegaMu = 2.0 * kFieldPi * frequencyHz * kFieldMu0;
  for (const EarthRegion& region : m_regions) m_iwmuSigma.emplace_back(0.0, omegaMu * region.conductivity);
}

SpectralKernels TeKernel::operator()(double lambda) const {
  const std::size_t n = m_regions.size();
  const std::size_t last = n - 1;
  const std::size_t s = m_source;
  const std::size_t r = m_receiver;
  const std::size_t lo = std::min(s, r);
  const std::size_t hi = std::max(s, r);
  const double l2 = lambda * lambda;

  for (std::size_t j = 0; j < n; ++j) m_u[j] = std::sqrt(Complex(l2, 0.0) + m_iwmuSigma[j]);
  auto thickness = [&](std::size_t j) { return m_regions[j].bottom - m_regions[j].top; };
  // r_jk = (u_j − u_k)/(u_j + u_k), written so that a small contrast keeps its digits.
  auto reflection = [&](std::size_t j, std::size_t k) {
    const Complex sum = m_u[j] + m_u[k];
    return (m_iwmuSigma[j] - m_iwmuSigma[k]) / (sum * sum);
  };

  // R⁺ from the half-space up to the shallower of source and receiver.
  m_rDown[last] = 0.0;
  for (std::size_t j = last; j-- > lo;) {
    const Complex below = (j + 1 == last) ? Complex(0.0)
                                          : m_rDown[j + 1] * std::exp(-2.0 * m_u[j + 1] * thickness(j + 1));
    const Complex rc = reflection(j, j + 1);
    m_rDown[j] = (rc + below) / (1.0 + rc * below);
  }
  // R⁻ from the air down to the deeper of the two.
  m_rUp[0] = 0.0;
  for (std::size_t j = 1; j <= hi; ++j) {
    const Complex above = (j - 1 == 0) ? Complex(0.0)
                                       : m_rUp[j - 1] * std::exp(-2.0 * m_u[j - 1] * thickness(j - 1));
    const Complex rc = reflection(j, j - 1);
    m_rUp[j] = (rc + above) / (1.0 + rc * above);
  }

  // Source layer: the amplitudes A (wave sent down from its top) and B (up from its bottom).
  const Complex us = m_u[s];
  const double zt = m_regions[s].top;
  const double zb = m_regions[s].bottom;
  const bool hasTop = s > 0;
  const bool hasBottom = s < last;
  const Complex rp = hasBottom ? m_rDown[s] : Complex(0.0);
  const Complex rm = hasTop ? m_rUp[s] : Complex(0.0);
  const Complex eUp = hasTop ? std::exp(-us * (m_sourceZ - zt)) : Complex(0.0);
  const Complex eDown = hasBottom ? std::exp(-us * (zb - m_sourceZ)) : Complex(0.0);
  const Complex eLayer = (hasTop && hasBottom) ? std::exp(-us * (zb - zt)) : Complex(0.0);
  const Complex m = 1.0 - rp * rm * eLayer * eLayer;
  const Complex a = rm * (eUp + rp * eLayer * eDown) / m;
  const Complex b = rp * (eDown + rm * eLayer * eUp) / m;

  const double z = m_receiverZ;
  const double dz = z - m_sourceZ;
  const double adz = std::abs(dz);
  const double sgn = dz > 0 ? 1.0 : (dz < 0 ? -1.0 : 0.0);
  const double staticExp = std::exp(-lambda * adz);

  Complex f, fz;            // F and ∂F/∂z without the direct term when r == s
  Complex direct1, direct0;  // secondary part of the direct term (r == s only)
  bool directSeparate = false;
  if (r == s) {
    f = 0.0;
    fz = 0.0;
    if (hasTop) {
      const Complex e = a * std::exp(-us * (z - zt));
      f += e;
      fz += -us * e;
    }
    if (hasBottom) {
      const Complex e = b * std::exp(-us * (zb - z));
      f += e;
      fz += us * e;
    }
    // Direct term minus its static part, without cancellation.
    const Complex delta = m_iwmuSigma[s] / (us + lambda);
    const Complex em1 = expm1(-delta * adz);
    direct1 = lambda * staticExp * ((lambda / us) * em1 - delta / us);
    direct0 = sgn * lambda * staticExp * em1;
    directSeparate = true;
  } else if (r > s) {
    Complex down = eDown + a * eLayer;  // down-going amplitude at the bottom of layer s
    Complex d = 0.0;
    for (std::size_t j = s + 1; j <= r; ++j) {
      const Complex ej = (j == last) ? Complex(0.0) : m_rDown[j] * std::exp(-2.0 * m_u[j] * thickness(j));
      d = down * (1.0 + m_rDown[j - 1]) / (1.0 + ej);
      if (j < r) down = d * std::exp(-m_u[j] * thickness(j));
    }
    const Complex ur = m_u[r];
    const Complex first = std::exp(-ur * (z - m_regions[r].top));
    const Complex second = (r == last) ? Complex(0.0)
                                       : m_rDown[r] * std::exp(-ur * (2.0 * m_regions[r].bottom - m_regions[r].top - z));
    f = d * (first + second);
    fz = -ur * d * (first - second);
  } else {
    Complex up = eUp + b * eLayer;  // up-going amplitude at the top of layer s
    Complex d = 0.0;
    for (std::size_t j = s; j-- > r;) {
      const Complex ej = (j == 0) ? Complex(0.0) : m_rUp[j] * std::exp(-2.0 * m_u[j] * thickness(j));
      d = up * (1.0 + m_rUp[j + 1]) / (1.0 + ej);
      if (j > r) up = d * std::exp(-m_u[j] * thickness(j));
    }
    const Complex ur = m_u[r];
    const Complex first = std::exp(-ur * (m_regions[r].bottom - z));
    const Complex second = (r == 0) ? Complex(0.0)
                                    : m_rUp[r] * std::exp(-ur * (m_regions[r].bottom - 2.0 * m_regions[r].top + z));
    f = d * (first + second);
    fz = ur * d * (first - second);
  }

  const Complex c1 = l2 / us;
  const Complex c0 = -lambda / us;
  SpectralKernels k;
  const double static1 = lambda * staticExp;
  const double static0 = sgn * lambda * staticExp;
  if (directSeparate) {
    k.secondary1 = c1 * f + direct1;
    k.secondary0 = c0 * fz + direct0;
    k.full1 = k.secondary1 + static1;
    k.full0 = k.secondary0 + static0;
  } else {
    k.full1 = c1 * f;
    k.full0 = c0 * fz;
    k.secondary1 = k.full1 - static1;
    k.secondary0 = k.full0 - static0;
  }
  return k;
}

}  // namespace kvo::field
