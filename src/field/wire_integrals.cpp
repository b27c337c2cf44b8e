#include "wire_integrals.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace kvo::field {

namespace {

constexpr int kMaxOrder = 24;
constexpr double kPanelGrowth = 1.5;  // panel length / distance to the singularity
// ln(1e11)/2: the order n with ρ_e^{−2n} ≤ 1e-11 is ceil(kOrderLog / ln ρ_e).
constexpr double kOrderLog = 12.66;

struct GaussRule {
  std::vector<double> nodes, weights;  // on [−1, 1]
};

// Gauss–Legendre rules of order 1..kMaxOrder by Newton's iteration on P_n
// (Golub & Welsch would do as well); nodes to full double precision.
const std::vector<GaussRule>& gaussRules() {
  static const std::vector<GaussRule> rules = [] {
    std::vector<GaussRule> all(kMaxOrder + 1);
    for (int n = 1; n <= kMaxOrder; ++n) {
      GaussRule& rule = all[static_cast<std::size_t>(n)];
      for (int i = 0; i < n; ++i) {
        double x = std::cos(kFieldPi * (i + 0.75) / (n + 0.5));
        double dp = 1.0;
        for (int it = 0; it < 100; ++it) {
          double p0 = 1.0, p1 = x;
          for (int k = 2; k <= n; ++k) {
            const double p2 = ((2.0 * k - 1.0) * x * p1 - (k - 1.0) * p0) / k;
            p0 = p1;
            p1 = p2;
          }
          const double pn = n == 1 ? x : p1;
          const double pm = n == 1 ? 1.0 : p0;
          dp = n * (x * pn - pm) / (x * x - 1.0);
          const double step = pn / dp;
          x -= step;
          if (std::abs(step) < 1e-16) break;
        }
        rule.nodes.push_back(x);
        rule.weights.push_back(2.0 / ((1.0 - x * x) * dp * dp));
      }
    }
    return all;
  }();
  return rules;
}

}  // namespace

std::array<double, 3> segmentBiotSavart(const Vec3& a, const Vec3& b, const Vec3& p) {
  const double lx = b.x - a.x, ly = b.y - a.y, lz = b.z - a.z;
  const double len = std::sqrt(lx * lx + ly * ly + lz * lz);
  if (len == 0.0) return {0.0, 0.0, 0.0};
  const double ux = lx / len, uy = ly / len, uz = lz / len;
  const double r1x = p.x - a.x, r1y = p.y - a.y, r1z = p.z - a.z;
  const double r2x = p.x - b.x, r2y = p.y - b.y, r2z = p.z - b.z;
  // â × r1: its length is the distance from p to the segment's line.
  const double cx = uy * r1z - uz * r1y;
  const double cy = uz * r1x - ux * r1z;
  const double cz = ux * r1y - uy * r1x;
  const double c2 = std::max(cx * cx + cy * cy + cz * cz, kWireRadius * kWireRadius);
  const double n1 = std::sqrt(r1x * r1x + r1y * r1y + r1z * r1z);
  const double n2 = std::sqrt(r2x * r2x + r2y * r2y + r2z * r2z);
  // On an end point the cosine of that end is taken as 0 (the limit along the normal).
  const double cos1 = n1 > 0 ? (ux * r1x + uy * r1y + uz * r1z) / n1 : 0.0;
  const double cos2 = n2 > 0 ? (ux * r2x + uy * r2y + uz * r2z) / n2 : 0.0;
  const double f = (cos1 - cos2) / (4.0 * kFieldPi * c2);
  return {f * cx, f * cy, f * cz};
}

namespace {

// A square root of w (either: the caller's use is symmetric in the sign),
// without the care for infinities and signed zeros of the library's.
Complex principalRoot(Complex w) {
  const double a = w.real(), b = w.imag();
  const double r = std::sqrt(a * a + b * b);
  if (a >= 0.0) {
    const double t = std::sqrt(0.5 * (r + a));
    return t > 0.0 ? Complex(t, 0.5 * b / t) : Complex(0.0, 0.0);
  }
  const double t = std::sqrt(0.5 * (r - a));
  return Complex(0.5 * std::fabs(b) / t, std::copysign(t, b));
}

}  // namespace

void addEdgeIntegral(const KernelTable& table, const Vec3& a, const Vec3& b, const Vec3& p,
                     std::array<Complex, 3>& h) {
  const double lx = b.x - a.x, ly = b.y - a.y;
  const double length = std::sqrt(lx * lx + ly * ly);
  if (length == 0.0) return;
  const double tx = lx / length, ty = ly / length;
  const double nx = ty, ny = -tx;  // outward normal of a counter-clockwise polygon
  const double px = p.x - a.x, py = p.y - a.y;
  const double s0 = px * tx + py * ty;     // foot of the perpendicular along the edge
  const double offset = px * nx + py * ny;  // signed horizontal distance from the edge's line
  const double proj = -offset;              // n·(r′ − r), the same all along the edge
  const double d = std::sqrt(offset * offset + table.singularDistance() * table.singularDistance());

  Complex sum0 = 0.0, sum1 = 0.0;  // ∫T0 dl′ and ∫T1/ρ dl′
  const std::vector<GaussRule>& rules = gaussRules();
  auto panel = [&](double s1, double s2) {
    const double c = 0.5 * (s1 + s2);
    const double half = 0.5 * (s2 - s1);
    if (half <= 0) return;
    // The Bernstein ellipse through the singularity: rho_e = |z +- sqrt(z^2 - 1)|,
    // the larger of two values whose product is 1, so either root serves and
    // ln rho_e = |ln |z + root|^2| / 2.
    const Complex z((s0 - c) / half, d / half);
    const Complex root = principalRoot(z * z - 1.0);
    const double logEllipse = 0.5 * std::fabs(std::log(std::norm(z + root)));
    int order = kMaxOrder;
    if (logEllipse > 0.0) order = static_cast<int>(std::ceil(kOrderLog / logEllipse));
    order = std::clamp(order, 2, kMaxOrder);
    const GaussRule& rule = rules[static_cast<std::size_t>(order)];
    const auto n = static_cast<std::size_t>(order);
    std::array<double, kMaxOrder> rho;
    std::array<TransformPair, kMaxOrder> t;
    for (std::size_t k = 0; k < n; ++k) {
      const double along = c + half * rule.nodes[k] - s0;
      rho[k] = std::sqrt(along * along + offset * offset);
    }
    table.at(std::span<const double>(rho.data(), n), t.data());
    for (std::size_t k = 0; k < n; ++k) {
      const double w = half * rule.weights[k];
      sum0 += w * t[k].t0;
      if (rho[k] > 0) sum1 += (w / rho[k]) * t[k].t1;
    }
  };
  // Panels growing away from the singularity, each at most kPanelGrowth
  // times as long as its distance from it; a short remainder joins the last.
  auto march = [&](double from, double to) {
    const double dir = to > from ? 1.0 : -1.0;
    double x = from;
    while ((to - x) * dir > 0) {
      const double len = kPanelGrowth * std::sqrt(d * d + (x - s0) * (x - s0));
      double next = x + dir * len;
      if ((to - next) * dir < 0.5 * len) next = to;
      panel(std::min(x, next), std::max(x, next));
      x = next;
    }
  };
  if (s0 <= 0) {
    march(0.0, length);
  } else if (s0 >= length) {
    march(length, 0.0);
  } else {
    const double lo = std::max(0.0, s0 - 0.5 * kPanelGrowth * d);
    const double hi = std::min(length, s0 + 0.5 * kPanelGrowth * d);
    panel(lo, hi);
    march(hi, length);
    march(lo, 0.0);
  }
  const double scale = 1.0 / (4.0 * kFieldPi);
  h[0] += scale * nx * sum0;
  h[1] += scale * ny * sum0;
  h[2] += scale * proj * sum1;
}

}  // namespace kvo::field
