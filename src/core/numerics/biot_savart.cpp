#include "numerics/biot_savart.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "numerics/constants.h"

namespace kvo::core {

FieldVector BiotSavartField(std::span<const Point3> vertices, const Point3& p) {
  return BiotSavartWire(vertices).at(p);
}

BiotSavartWire::BiotSavartWire(std::span<const Point3> vertices) {
  // Segments of zero length are left out; the chain stays connected, as
  // the next segment starts where the left-out one ends.
  std::vector<Point3> chain;
  for (std::size_t k = 0; k + 1 < vertices.size(); ++k) {
    const Point3& a = vertices[k];
    const Point3& b = vertices[k + 1];
    const double ex = b[0] - a[0], ey = b[1] - a[1], ez = b[2] - a[2];
    const double len = std::sqrt(ex * ex + ey * ey + ez * ez);
    if (len == 0.0) continue;
    if (chain.empty()) chain.push_back(a);
    const std::size_t segment = chain.size() - 1;
    if (segment % kLanes == 0) m_groups.push_back(Group{});
    Group& g = m_groups.back();
    const std::size_t i = segment % kLanes;
    g.ax[i] = a[0];
    g.ay[i] = a[1];
    g.az[i] = a[2];
    g.ux[i] = ex / len;
    g.uy[i] = ey / len;
    g.uz[i] = ez / len;
    g.length[i] = len;
    chain.push_back(b);
  }
  if (chain.empty()) return;
  m_corners.resize(m_groups.size() + 1);
  for (std::size_t k = 0; k < kLanes * m_corners.size(); ++k) {
    const Point3& c = chain[std::min(k, chain.size() - 1)];
    m_corners[k / kLanes].x[k % kLanes] = c[0];
    m_corners[k / kLanes].y[k % kLanes] = c[1];
    m_corners[k / kLanes].z[k % kLanes] = c[2];
  }
}

// u x d = u x r1 (u x u = 0), so |d|^2 = |u x r1|^2. The distances |r1| and
// |r2| are the corners', each worked out once for the two segments meeting
// there, which leaves one division per segment. A point on a segment's
// line (d = 0), and the zero-length fillers, add nothing. Each lane
// computes in the same order in both forms below, without fused
// multiply-adds, so that they agree to the bit (a test holds them to it).
// They are two texts: a template serving both would need the AVX2 target
// on its double form too, which the plain caller cannot inline.
FieldVector BiotSavartWire::at(const Point3& p) const {
#if defined(__x86_64__)
  static const bool wide = __builtin_cpu_supports("avx2");
  if (wide) return atWide(p);
#endif
  return atPlain(p);
}

FieldVector BiotSavartWire::atPlain(const Point3& p) const {
  if (m_groups.empty()) return {0.0, 0.0, 0.0};
  std::array<double, kLanes> hx{}, hy{}, hz{};
  std::array<double, kLanes + 1> n{};
  const auto distances = [&](const Corners& c, double* out) {
    for (std::size_t i = 0; i < kLanes; ++i) {
      const double rx = p[0] - c.x[i], ry = p[1] - c.y[i], rz = p[2] - c.z[i];
      out[i] = std::sqrt(rx * rx + ry * ry + rz * rz);
    }
  };
  distances(m_corners[0], n.data());
  for (std::size_t s = 0; s < m_groups.size(); ++s) {
    const Group& g = m_groups[s];
    std::array<double, kLanes> following;
    distances(m_corners[s + 1], following.data());
    n[kLanes] = following[0];
    for (std::size_t i = 0; i < kLanes; ++i) {
      const double n1 = n[i], n2 = n[i + 1];
      const double r1x = p[0] - g.ax[i], r1y = p[1] - g.ay[i], r1z = p[2] - g.az[i];
      const double along1 = r1x * g.ux[i] + r1y * g.uy[i] + r1z * g.uz[i];
      const double along2 = along1 - g.length[i];
      const double cx = g.uy[i] * r1z - g.uz[i] * r1y;
      const double cy = g.uz[i] * r1x - g.ux[i] * r1z;
      const double cz = g.ux[i] * r1y - g.uy[i] * r1x;
      const double d2 = cx * cx + cy * cy + cz * cz;
      const double off = d2 > 0.0 ? 0.0 : 1.0;
      const double f = (1.0 - off) * (along1 * n2 - along2 * n1) / ((4.0 * kPi) * (d2 + off) * (n1 + off) * (n2 + off));
      hx[i] += f * cx;
      hy[i] += f * cy;
      hz[i] += f * cz;
    }
    std::copy(following.begin(), following.end(), n.begin());
  }
  return {(hx[0] + hx[1]) + (hx[2] + hx[3]), (hy[0] + hy[1]) + (hy[2] + hy[3]), (hz[0] + hz[1]) + (hz[2] + hz[3])};
}

#if defined(__x86_64__)
namespace {

// Four doubles in one AVX register. The helpers are inlined into the AVX2
// function, so the vector calling convention (GCC's -Wpsabi note on it)
// does not matter.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
#endif
using Lanes = double __attribute__((vector_size(4 * sizeof(double))));

__attribute__((target("avx2"), always_inline)) inline Lanes load(const std::array<double, 4>& a) {
  Lanes v;
  std::memcpy(&v, a.data(), sizeof v);
  return v;
}

__attribute__((target("avx2"), always_inline)) inline Lanes squareRoot(Lanes x) {
  Lanes r;
  for (int i = 0; i < 4; ++i) r[i] = std::sqrt(x[i]);
  return r;
}

// (a1, a2, a3, b0): the lanes one corner on.
__attribute__((target("avx2"), always_inline)) inline Lanes nextCorners(Lanes a, Lanes b) {
#if defined(__clang__)
  return __builtin_shufflevector(a, b, 1, 2, 3, 4);
#else
  using Index = long long __attribute__((vector_size(4 * sizeof(long long))));
  return __builtin_shuffle(a, b, Index{1, 2, 3, 4});
#endif
}

__attribute__((target("avx2"), always_inline)) inline Lanes distances(const std::array<double, 4>& x,
                                                                      const std::array<double, 4>& y,
                                                                      const std::array<double, 4>& z, Lanes px,
                                                                      Lanes py, Lanes pz) {
  const Lanes rx = px - load(x), ry = py - load(y), rz = pz - load(z);
  return squareRoot(rx * rx + ry * ry + rz * rz);
}

}  // namespace

__attribute__((target("avx2"))) FieldVector BiotSavartWire::atWide(const Point3& p) const {
  static_assert(kLanes == 4);
  if (m_groups.empty()) return {0.0, 0.0, 0.0};
  const Lanes px = {p[0], p[0], p[0], p[0]}, py = {p[1], p[1], p[1], p[1]}, pz = {p[2], p[2], p[2], p[2]};
  const Lanes zero = {0.0, 0.0, 0.0, 0.0}, one = {1.0, 1.0, 1.0, 1.0};
  Lanes hx = zero, hy = zero, hz = zero;
  Lanes n1 = distances(m_corners[0].x, m_corners[0].y, m_corners[0].z, px, py, pz);
  for (std::size_t s = 0; s < m_groups.size(); ++s) {
    const Group& g = m_groups[s];
    const Corners& c = m_corners[s + 1];
    const Lanes following = distances(c.x, c.y, c.z, px, py, pz);
    const Lanes n2 = nextCorners(n1, following);
    const Lanes ux = load(g.ux), uy = load(g.uy), uz = load(g.uz);
    const Lanes r1x = px - load(g.ax), r1y = py - load(g.ay), r1z = pz - load(g.az);
    const Lanes along1 = r1x * ux + r1y * uy + r1z * uz;
    const Lanes along2 = along1 - load(g.length);
    const Lanes cx = uy * r1z - uz * r1y;
    const Lanes cy = uz * r1x - ux * r1z;
    const Lanes cz = ux * r1y - uy * r1x;
    const Lanes d2 = cx * cx + cy * cy + cz * cz;
    const Lanes off = d2 > zero ? zero : one;
    const Lanes f = (one - off) * (along1 * n2 - along2 * n1) / ((4.0 * kPi) * (d2 + off) * (n1 + off) * (n2 + off));
    hx += f * cx;
    hy += f * cy;
    hz += f * cz;
    n1 = following;
  }
  return {(hx[0] + hx[1]) + (hx[2] + hx[3]), (hy[0] + hy[1]) + (hy[2] + hy[3]), (hz[0] + hz[1]) + (hz[2] + hz[3])};
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

}  // namespace kvo::core
