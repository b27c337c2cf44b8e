#include "reference_field.h"

#include <cmath>
#include <algorithm>
#include <functional>
#include <limits>
#include <numbers>

namespace kvo::field::testing {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kMu0 = 4e-7 * kPi;

// --- Bessel functions -------------------------------------------------------
// Power series in long double for x ≤ 12 (largest term ~4e3, so ~1e-15 left);
// beyond, the Hankel asymptotic expansion summed to its smallest term
// (relative error below e^{−2x} < 4e-11 at x = 12). A&S 9.1.10, 9.2.5–9.2.10.
double besselSeries(int nu, double x) {
  const long double h = 0.5L * x;
  const long double h2 = h * h;
  long double term = (nu == 0) ? 1.0L : h;
  long double sum = term;
  for (int k = 1; k < 200; ++k) {
    term *= -h2 / (static_cast<long double>(k) * static_cast<long double>(k + nu));
    sum += term;
    if (std::fabs(term) < 1e-22L * std::fabs(sum)) break;
  }
  return static_cast<double>(sum);
}

double besselAsymptotic(int nu, double x) {
  const double mu = 4.0 * nu * nu;
  double p = 1.0, q = 0.0;
  double term = 1.0;  // a_k(ν)/x^k
  double last = std::numeric_limits<double>::infinity();
  for (int k = 1; k < 60; ++k) {
    const double odd = 2.0 * k - 1.0;
    term *= (mu - odd * odd) / (k * 8.0 * x);
    if (std::fabs(term) > last) break;
    last = std::fabs(term);
    // P collects the even k with sign (−1)^{k/2}, Q the odd k with sign (−1)^{(k−1)/2}.
    if (k % 2 == 1) {
      q += ((k / 2) % 2 == 0 ? 1.0 : -1.0) * term;
    } else {
      p += ((k / 2) % 2 == 0 ? 1.0 : -1.0) * term;
    }
    if (std::fabs(term) < 1e-17) break;
  }
  const double chi = x - (0.5 * nu + 0.25) * kPi;
  return std::sqrt(2.0 / (kPi * x)) * (p * std::cos(chi) - q * std::sin(chi));
}

// --- Gauss–Kronrod 7/15 -----------------------------------------------------
constexpr std::array<double, 8> kXk = {0.991455371120812639, 0.949107912342758525, 0.864864423359769073,
                                       0.741531185599394440, 0.586087235467691130, 0.405845151377397167,
                                       0.207784955007898468, 0.0};
constexpr std::array<double, 8> kWk = {0.022935322010529225, 0.063092092629978553, 0.104790010322250184,
                                       0.140653259715525919, 0.169004726639267903, 0.190350578064785410,
                                       0.204432940075298892, 0.209482141084727828};
constexpr std::array<double, 4> kWg = {0.129484966168869693, 0.279705391489276668, 0.381830050505118945,
                                       0.417959183673469388};

template <std::size_t N>
using Values = std::array<Cplx, N>;

// Adaptive G7K15 of a vector-valued integrand over [a, b]; the error test is
// on the largest component against tolAbs.
template <std::size_t N>
Values<N> gaussKronrod(const std::function<Values<N>(double)>& f, double a, double b, double tolRel, double tolAbs,
                       int depth = 0) {
  const double c = 0.5 * (a + b);
  const double h = 0.5 * (b - a);
  Values<N> kron{}, gauss{};
  double absolute = 0;  // Kronrod sum of the largest |component|: the rounding floor
  for (std::size_t i = 0; i < 8; ++i) {
    const auto add = [&](const Values<N>& v) {
      for (std::size_t n = 0; n < N; ++n) {
        kron[n] += kWk[i] * v[n];
        if (i % 2 == 1) gauss[n] += kWg[i / 2] * v[n];
        absolute += kWk[i] * std::abs(v[n]);
      }
    };
    if (i == 7) {
      const Values<N> v = f(c);
      for (std::size_t n = 0; n < N; ++n) {
        kron[n] += kWk[7] * v[n];
        gauss[n] += kWg[3] * v[n];
        absolute += kWk[7] * std::abs(v[n]);
      }
    } else {
      add(f(c - h * kXk[i]));
      add(f(c + h * kXk[i]));
    }
  }
  double err = 0;
  double size = 0;
  for (std::size_t n = 0; n < N; ++n) {
    kron[n] *= h;
    gauss[n] *= h;
    err = std::max(err, std::abs(kron[n] - gauss[n]));
    size = std::max(size, std::abs(kron[n]));
  }
  if (err <= std::max({tolAbs, tolRel * size, 1e-13 * absolute * h}) || depth > 24) return kron;
  const Values<N> left = gaussKronrod<N>(f, a, c, tolRel, 0.5 * tolAbs, depth + 1);
  const Values<N> right = gaussKronrod<N>(f, c, b, tolRel, 0.5 * tolAbs, depth + 1);
  Values<N> sum{};
  for (std::size_t n = 0; n < N; ++n) sum[n] = left[n] + right[n];
  return sum;
}

// Wynn's epsilon algorithm on a sequence of partial sums: the best estimate
// of its limit (the last even column entry).
Cplx wynnEpsilon(const std::vector<Cplx>& s) {
  const std::size_t n = s.size();
  std::vector<Cplx> prev(n + 1, 0.0), cur(s.begin(), s.end());
  Cplx best = s.back();
  for (std::size_t col = 1; col < n; ++col) {
    std::vector<Cplx> next(n - col);
    bool ok = true;
    for (std::size_t i = 0; i + col < n; ++i) {
      const Cplx d = cur[i + 1] - cur[i];
      if (std::abs(d) == 0.0) {
        ok = false;
        break;
      }
      next[i] = prev[i + 1] + 1.0 / d;
    }
    if (!ok) break;
    prev.assign(cur.begin(), cur.end());
    cur = next;
    if (col % 2 == 0) best = cur.back();
  }
  return best;
}

// Zeros of J1 by McMahon's expansion (A&S 9.5.12): β = (k + 1/4)π.
double besselJ1Zero(int k) {
  const double beta = (k + 0.25) * kPi;
  const double mu = 4.0;
  const double e = 8.0 * beta;
  return beta - (mu - 1) / e - 4 * (mu - 1) * (7 * mu - 31) / (3 * e * e * e);
}

}  // namespace

double besselJ0(double x) { return x <= 12.0 ? besselSeries(0, x) : besselAsymptotic(0, x); }
double besselJ1(double x) { return x <= 12.0 ? besselSeries(1, x) : besselAsymptotic(1, x); }

std::array<double, 3> biotSavartPolygon(const std::vector<Point3>& wire, const Point3& p) {
  // H = (I/4π) Σ (â × r1)/|â × r1|² (â·r1/|r1| − â·r2/|r2|), r_i = p − vertex_i.
  std::array<double, 3> h{0, 0, 0};
  for (std::size_t i = 0; i + 1 < wire.size(); ++i) {
    const Point3& a = wire[i];
    const Point3& b = wire[i + 1];
    const double lx = b.x - a.x, ly = b.y - a.y, lz = b.z - a.z;
    const double len = std::sqrt(lx * lx + ly * ly + lz * lz);
    const double ux = lx / len, uy = ly / len, uz = lz / len;
    const double r1x = p.x - a.x, r1y = p.y - a.y, r1z = p.z - a.z;
    const double r2x = p.x - b.x, r2y = p.y - b.y, r2z = p.z - b.z;
    const double cx = uy * r1z - uz * r1y, cy = uz * r1x - ux * r1z, cz = ux * r1y - uy * r1x;
    const double c2 = cx * cx + cy * cy + cz * cz;
    const double n1 = std::sqrt(r1x * r1x + r1y * r1y + r1z * r1z);
    const double n2 = std::sqrt(r2x * r2x + r2y * r2y + r2z * r2z);
    const double f = ((ux * r1x + uy * r1y + uz * r1z) / n1 - (ux * r2x + uy * r2y + uz * r2z) / n2) / c2;
    h[0] += f * cx / (4 * kPi);
    h[1] += f * cy / (4 * kPi);
    h[2] += f * cz / (4 * kPi);
  }
  return h;
}

ReferenceEarth::ReferenceEarth(std::vector<RefLayer> layers, double frequency) {
  double top = 0;
  for (std::size_t k = 0; k < layers.size(); ++k) {
    const bool last = k + 1 == layers.size();
    if (!last && !(layers[k].bottom > top)) continue;
    m_tops.push_back(top);
    m_bottoms.push_back(last ? std::numeric_limits<double>::infinity() : layers[k].bottom);
    m_k2.emplace_back(0.0, 2 * kPi * frequency * kMu0 / layers[k].resistivity);
    top = layers[k].bottom;
  }
}

std::array<Cplx, 2> ReferenceEarth::potential(double lambda, double zs, double z) const {
  // Media: index −1 the air (u = λ), 0.. the earth layers.
  const int n = static_cast<int>(m_tops.size());
  auto layerOf = [&](double depth) {
    if (depth < 0) return -1;
    int j = 0;
    while (j + 1 < n && depth >= m_bottoms[static_cast<std::size_t>(j)]) ++j;
    return j;
  };
  auto uOf = [&](int j) {
    return j < 0 ? Cplx(lambda) : std::sqrt(lambda * lambda + m_k2[static_cast<std::size_t>(j)]);
  };
  auto topOf = [&](int j) { return j < 0 ? -std::numeric_limits<double>::infinity() : m_tops[static_cast<std::size_t>(j)]; };
  auto bottomOf = [&](int j) { return j < 0 ? 0.0 : m_bottoms[static_cast<std::size_t>(j)]; };
  auto tanhOf = [](Cplx x) {
    const Cplx e = std::exp(-2.0 * x);
    return (1.0 - e) / (1.0 + e);
  };
  auto sechOf = [](Cplx x) {
    const Cplx e = std::exp(-x);
    return 2.0 * e / (1.0 + e * e);
  };
  // Admittance Y = G'/G of the solution that decays downward, at depth d.
  auto admittanceBelow = [&](double d) {
    const int jd = layerOf(d);
    Cplx y = -uOf(n - 1);
    for (int j = n - 2; j >= jd; --j) {
      const Cplx u = uOf(j);
      const double from = bottomOf(j);
      const double to = (j == jd) ? d : topOf(j);
      const Cplx t = tanhOf(u * (from - to));
      y = (y - u * t) / (1.0 - (y / u) * t);
    }
    return y;
  };
  // Admittance of the solution that decays upward.
  auto admittanceAbove = [&](double d) {
    const int jd = layerOf(d);
    Cplx y = Cplx(lambda);
    for (int j = 0; j <= jd; ++j) {
      const Cplx u = uOf(j);
      const double from = topOf(j);
      const double to = (j == jd) ? d : bottomOf(j);
      const Cplx t = tanhOf(u * (to - from));
      y = (u * t + y) / (1.0 + (y / u) * t);
    }
    return y;
  };
  // G(zs) from the jump G'(zs+) − G'(zs−) = −2.
  const Cplx g0 = 2.0 / (admittanceAbove(zs) - admittanceBelow(zs));
  // Carry G from zs to z through every interface between them.
  std::array<double, 64> breaks{};
  std::size_t count = 0;
  breaks[count++] = zs;
  const double lo = std::min(zs, z), hi = std::max(zs, z);
  auto interfaceAt = [&](int i) { return i == 0 ? 0.0 : m_bottoms[static_cast<std::size_t>(i - 1)]; };
  if (z >= zs) {
    for (int i = 0; i < n; ++i)
      if (interfaceAt(i) > lo && interfaceAt(i) < hi && count < 63) breaks[count++] = interfaceAt(i);
  } else {
    for (int i = n - 1; i >= 0; --i)
      if (interfaceAt(i) > lo && interfaceAt(i) < hi && count < 63) breaks[count++] = interfaceAt(i);
  }
  breaks[count++] = z;
  Cplx g = g0;
  for (std::size_t i = 0; i + 1 < count; ++i) {
    const double z1 = breaks[i], z2 = breaks[i + 1];
    if (z1 == z2) continue;
    const int j = layerOf(0.5 * (z1 + z2));
    const Cplx u = uOf(j);
    const double d = std::abs(z2 - z1);
    if (z2 > z1) {
      const Cplx y2 = admittanceBelow(z2);
      g *= sechOf(u * d) / (1.0 - (y2 / u) * tanhOf(u * d));
    } else {
      const Cplx y2 = admittanceAbove(z2);
      g *= sechOf(u * d) / (1.0 + (y2 / u) * tanhOf(u * d));
    }
  }
  Cplx y;
  if (z > zs) {
    y = admittanceBelow(z);
  } else if (z < zs) {
    y = admittanceAbove(z);
  } else {
    y = 0.5 * (admittanceBelow(z) + admittanceAbove(z));  // the mean of the two one-sided slopes
  }
  return {g, y * g};
}

RefTransforms ReferenceEarth::transforms(double rho, double zs, double z) const {
  const double dz = z - zs;
  const double adz = std::abs(dz);
  const double sgn = dz > 0 ? 1.0 : (dz < 0 ? -1.0 : 0.0);
  // Secondary kernels: λ²G − λe^{−λ|Δz|} and −λG' − sgn λe^{−λ|Δz|}.
  auto kernels = [&](double lambda) {
    const auto [g, gz] = potential(lambda, zs, z);
    const double st = lambda * std::exp(-lambda * adz);
    return std::array<Cplx, 2>{lambda * lambda * g - st, -lambda * gz - sgn * st};
  };
  const std::function<Values<2>(double)> integrand = [&](double lambda) {
    const auto k = kernels(lambda);
    return Values<2>{k[0] * besselJ1(lambda * rho), k[1] * besselJ0(lambda * rho)};
  };
  // Size of the static transforms here, for absolute tolerances.
  const double staticScale = 1.0 / (rho * rho + dz * dz + 1e-6);
  RefTransforms out{};
  if (rho == 0.0) {
    // Only T0 survives; the kernel is not oscillatory.
    const std::function<Values<1>(double)> f0 = [&](double lambda) { return Values<1>{kernels(lambda)[1]}; };
    Cplx sum = 0;
    double a = 0, b = 1e-6;
    for (int i = 0; i < 200; ++i) {
      const Cplx piece = gaussKronrod<1>(f0, a, b, 1e-12, 1e-15 * staticScale)[0];
      sum += piece;
      if (b > 1.0 && std::abs(piece) < 1e-15 * std::abs(sum)) break;
      a = b;
      b *= 2.0;
    }
    out.t0 = sum;
    return out;
  }
  // First interval, up to the first zero of J1, split geometrically.
  const double first = besselJ1Zero(1) / rho;
  Values<2> sum{};
  double a = 0;
  for (int m = 8; m >= 0; --m) {
    const double b = first / std::pow(4.0, m);
    const Values<2> piece = gaussKronrod<2>(integrand, a, b, 1e-12, 1e-15 * staticScale);
    sum[0] += piece[0];
    sum[1] += piece[1];
    a = b;
  }
  std::vector<Cplx> s1{sum[0]}, s0{sum[1]};
  Cplx prev1 = sum[0], prev0 = sum[1];
  int stable = 0;
  for (int k = 1; k < 600; ++k) {
    const double b = besselJ1Zero(k + 1) / rho;
    const double scale = std::max(std::abs(sum[0]), std::abs(sum[1]));
    const Values<2> piece = gaussKronrod<2>(integrand, a, b, 1e-12, 1e-14 * scale + 1e-15 * staticScale);
    sum[0] += piece[0];
    sum[1] += piece[1];
    a = b;
    s1.push_back(sum[0]);
    s0.push_back(sum[1]);
    if (std::max(std::abs(piece[0]), std::abs(piece[1])) < 1e-14 * scale) {
      prev1 = sum[0];
      prev0 = sum[1];
      break;  // the kernel has died out: the sum itself has converged
    }
    const std::size_t w = std::min<std::size_t>(s1.size(), 20);
    const std::vector<Cplx> t1(s1.end() - static_cast<std::ptrdiff_t>(w), s1.end());
    const std::vector<Cplx> t0(s0.end() - static_cast<std::ptrdiff_t>(w), s0.end());
    const Cplx e1 = wynnEpsilon(t1), e0 = wynnEpsilon(t0);
    const double change = std::max(std::abs(e1 - prev1), std::abs(e0 - prev0));
    prev1 = e1;
    prev0 = e0;
    if (k >= 6 && change < 1e-12 * std::max(std::abs(e1), std::abs(e0))) {
      if (++stable >= 3) break;
    } else {
      stable = 0;
    }
  }
  out.t1 = prev1;
  out.t0 = prev0;
  return out;
}

RefField ReferenceEarth::field(const std::vector<Point3>& wire, const Point3& p) const {
  const std::array<double, 3> bs = biotSavartPolygon(wire, p);
  const double scale = std::sqrt(bs[0] * bs[0] + bs[1] * bs[1] + bs[2] * bs[2]);
  RefField out{};
  for (int c = 0; c < 3; ++c) out.h[static_cast<std::size_t>(c)] = bs[static_cast<std::size_t>(c)];
  const double zs = wire.front().z;
  for (std::size_t i = 0; i + 1 < wire.size(); ++i) {
    const Point3& a = wire[i];
    const Point3& b = wire[i + 1];
    const double lx = b.x - a.x, ly = b.y - a.y;
    const double len = std::hypot(lx, ly);
    const double nx = ly / len, ny = -lx / len;  // outward normal of a counter-clockwise polygon
    // (1/4π) ∫ [ n·(r'−r)/ρ T1(ρ) ẑ + n T0(ρ) ] dl' over the edge.
    const std::function<Values<3>(double)> f = [&](double s) {
      const double x = a.x + s * lx / len - p.x;
      const double y = a.y + s * ly / len - p.y;
      const double rho = std::hypot(x, y);
      const RefTransforms t = transforms(rho, zs, p.z);
      const double proj = rho > 0 ? (nx * x + ny * y) / rho : 0.0;
      return Values<3>{nx * t.t0, ny * t.t0, proj * t.t1};
    };
    const Values<3> edge = gaussKronrod<3>(f, 0.0, len, 1e-9, 1e-9 * scale * 4 * kPi / 30.0);
    for (std::size_t c = 0; c < 3; ++c) out.h[c] += edge[c] / (4 * kPi);
  }
  return out;
}

}  // namespace kvo::field::testing
