#include "kernel_table.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace kvo::field {

namespace {

constexpr int kKeySubdivisions = 4;          // Key grid step Δ/4 = 0.031
constexpr int kWerthmullerSubdivisions = 2;  // Werthmüller grid step Δ/2 = 0.029
constexpr int kStencil = 8;                  // Lagrange points
constexpr int kMargin = kStencil / 2;        // nodes beyond each end of a segment's range
constexpr double kRhoMinFactor = 1e-3;       // ρ_min = 1e-3·a
constexpr double kSwitchFactor = 2.0;        // Key below 2a, Werthmüller above
constexpr double kMinScale = 1e-4;           // m; floor of the vertical scale

// Smallest vertical length of the problem: |Δz|, or the path of a wave sent
// from the source to an interface and back to the receiver.
double verticalScale(const LayeredEarth& earth, double zs, double z) {
  double a = std::numeric_limits<double>::infinity();
  if (z != zs) a = std::abs(z - zs);
  for (std::size_t j = 1; j < earth.regions().size(); ++j) {
    const double d = earth.regions()[j].top;
    const double path = std::abs(zs - d) + std::abs(z - d);
    if (path > 0) a = std::min(a, path);
  }
  return std::isfinite(a) ? std::max(a, kMinScale) : kMinScale;  // all zero: source and receiver on one interface
}

// Lagrange weights of the stencil nodes 0..kStencil−1 at position p:
// w_j = Π_{m≠j}(p − m) / Π_{m≠j}(j − m), the denominators (−1)^{n−1−j} j!(n−1−j)!.
struct Weights {
  double w[kStencil];
};
// The inverses of the denominators prod (j - m), m != j.
constexpr std::array<double, kStencil> kInverseDenominators = [] {
  std::array<double, kStencil> d{};
  for (int j = 0; j < kStencil; ++j) {
    double prod = 1.0;
    for (int m = 0; m < kStencil; ++m)
      if (m != j) prod *= static_cast<double>(j - m);
    d[static_cast<std::size_t>(j)] = 1.0 / prod;
  }
  return d;
}();

inline Weights lagrangeWeights(double p) {
  // The products of the other factors by pairs and fours (a shallow tree
  // in place of two chains of seven products).
  static_assert(kStencil == 8);
  double d[kStencil];
  for (int m = 0; m < kStencil; ++m) d[m] = p - m;
  const double pair[4] = {d[0] * d[1], d[2] * d[3], d[4] * d[5], d[6] * d[7]};
  const double four[2] = {pair[0] * pair[1], pair[2] * pair[3]};
  Weights out{};
  for (int j = 0; j < kStencil; ++j) {
    const int q = j / 2, h = j / 4;
    const double partner = d[j ^ 1];
    const double otherPair = pair[q ^ 1];
    out.w[j] = (partner * otherPair) * four[h ^ 1] * kInverseDenominators[static_cast<std::size_t>(j)];
  }
  return out;
}

}  // namespace

inline std::size_t KernelTable::Segment::stencil(double logRho, double& position) const {
  const double x = (logRho - logRhoLow) / step;
  const std::size_t last = nodes.size() - kStencil;
  auto first = static_cast<std::size_t>(std::max(0.0, std::floor(x) - (kStencil / 2 - 1)));
  first = std::min(first, last);
  position = x - static_cast<double>(first);
  return first;
}

inline TransformPair KernelTable::Segment::atPlain(double logRho) const {
  double position = 0.0;
  const std::size_t first = stencil(logRho, position);
  const Weights w = lagrangeWeights(position);
  double a = 0, b = 0, c = 0, e = 0;
  for (int j = 0; j < kStencil; ++j) {
    const Node& n = nodes[first + static_cast<std::size_t>(j)];
    a += w.w[j] * n.t1re;
    b += w.w[j] * n.t1im;
    c += w.w[j] * n.t0re;
    e += w.w[j] * n.t0im;
  }
  return {{a, b}, {c, e}};
}

#if defined(__x86_64__)
// A node's four values are one AVX2 register (GCC vector extensions; the
// vectors stay within the function, so the vector calling convention that
// GCC's -Wpsabi notes does not matter).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
#endif
__attribute__((target("avx2"))) inline TransformPair KernelTable::Segment::atWide(double logRho) const {
  using Lanes = double __attribute__((vector_size(4 * sizeof(double))));
  static_assert(sizeof(Node) == sizeof(Lanes));
  double position = 0.0;
  const std::size_t first = stencil(logRho, position);
  const Weights w = lagrangeWeights(position);
  Lanes sum{};
  for (int j = 0; j < kStencil; ++j) {
    Lanes n;
    std::memcpy(&n, &nodes[first + static_cast<std::size_t>(j)], sizeof n);
    sum += w.w[j] * n;
  }
  return {{sum[0], sum[1]}, {sum[2], sum[3]}};
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

KernelTable::KernelTable(const LayeredEarth& earth, double frequencyHz, double sourceZ, double receiverZ,
                         double rhoMax, Representation representation) {
  m_scale = verticalScale(earth, sourceZ, receiverZ);
  m_rhoMin = kRhoMinFactor * m_scale;
  m_rhoSwitch = kSwitchFactor * std::max(m_scale, std::abs(receiverZ - sourceZ));
  m_rhoMax = std::max(rhoMax, 2.0 * m_rhoSwitch);
  const TeKernel kernel(earth, frequencyHz, sourceZ, receiverZ);

  // Both representations from one set of kernel evaluations: [i][0] secondary, [i][1] full.
  struct Raw {
    std::vector<TransformPair> values;
    double logLow, step;
  };
  auto tabulate = [&kernel](const HankelFilter& filter, int subdivisions, double rhoLow, double rhoHigh) {
    Raw raw;
    raw.step = filter.logSpacing / subdivisions;
    raw.logLow = std::log(rhoLow) - kMargin * raw.step;
    const double logHigh = std::log(rhoHigh) + kMargin * raw.step;
    const auto count = static_cast<std::size_t>(std::ceil((logHigh - raw.logLow) / raw.step)) + 1;
    raw.values.resize(count * 2);
    laggedConvolution(filter, std::exp(raw.logLow), subdivisions, 2,
                      [&kernel](double lambda, std::span<KernelPair> pairs) {
                        const SpectralKernels k = kernel(lambda);
                        pairs[0] = {k.secondary1, k.secondary0};
                        pairs[1] = {k.full1, k.full0};
                      },
                      raw.values);
    return raw;
  };
  const Raw key = tabulate(keyFilter201(), kKeySubdivisions, m_rhoMin, m_rhoSwitch);
  const Raw werthmuller = tabulate(werthmullerFilter201(), kWerthmullerSubdivisions, m_rhoSwitch, m_rhoMax);

  // Choose on the axis (node kMargin of Key's grid is ρ_min): |T1/ρ| + |T0|.
  const auto size = [this](const TransformPair& t) { return std::abs(t.t1) / m_rhoMin + std::abs(t.t0); };
  m_secondary = representation == Representation::Automatic
                    ? size(key.values[kMargin * 2]) <= size(key.values[kMargin * 2 + 1])
                    : representation == Representation::Secondary;
  const std::size_t pick = m_secondary ? 0 : 1;
  auto keep = [pick](const Raw& raw, Segment& segment) {
    segment.logRhoLow = raw.logLow;
    segment.step = raw.step;
    segment.nodes.resize(raw.values.size() / 2);
    for (std::size_t i = 0; i < segment.nodes.size(); ++i) {
      const TransformPair& t = raw.values[i * 2 + pick];
      segment.nodes[i] = {t.t1.real(), t.t1.imag(), t.t0.real(), t.t0.imag()};
    }
  };
  keep(key, m_key);
  keep(werthmuller, m_werthmuller);
  // Small-ρ limits: T1/ρ and T0 are even in ρ, A + Bρ² through ρ_min and 2ρ_min.
  const TransformPair g1 = m_key.atPlain(std::log(m_rhoMin));
  const TransformPair g2 = m_key.atPlain(std::log(2.0 * m_rhoMin));
  const double r2 = m_rhoMin * m_rhoMin;
  m_smallB = {(g2.t1 / 2.0 - g1.t1) / (3.0 * r2 * m_rhoMin), (g2.t0 - g1.t0) / (3.0 * r2)};
  m_smallA = {g1.t1 / m_rhoMin - m_smallB.t1 * r2, g1.t0 - m_smallB.t0 * r2};
}

TransformPair KernelTable::smallLimit(double rho) const {
  const double r2 = rho * rho;
  return {rho * (m_smallA.t1 + m_smallB.t1 * r2), m_smallA.t0 + m_smallB.t0 * r2};
}

TransformPair KernelTable::at(double rho) const {
  TransformPair out;
  at(std::span<const double>(&rho, 1), &out);
  return out;
}

void KernelTable::at(std::span<const double> rho, TransformPair* out) const {
#if defined(__x86_64__)
  static const bool wide = __builtin_cpu_supports("avx2");
  if (wide) {
    atWide(rho, out);
    return;
  }
#endif
  atPlain(rho, out);
}

void KernelTable::atPlain(std::span<const double> rho, TransformPair* out) const {
  for (std::size_t i = 0; i < rho.size(); ++i) {
    out[i] = small(rho[i]) ? smallLimit(rho[i]) : segment(rho[i]).atPlain(std::log(rho[i]));
  }
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void KernelTable::atWide(std::span<const double> rho, TransformPair* out) const {
  for (std::size_t i = 0; i < rho.size(); ++i) {
    out[i] = small(rho[i]) ? smallLimit(rho[i]) : segment(rho[i]).atWide(std::log(rho[i]));
  }
}
#endif

}  // namespace kvo::field
