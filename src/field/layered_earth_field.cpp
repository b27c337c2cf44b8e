#include "layered_earth_field.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <memory>

#include "kernel_table.h"

namespace kvo::field {

namespace {

constexpr std::size_t kCacheSize = 64;
constexpr std::size_t kLatticeCacheSize = 1024;
// Lattice depths closer than this fraction of a step to a layer's ends are
// left out of its stencils (the end itself is a node).
constexpr double kLatticeEndGap = 0.3;
constexpr std::size_t kStencilNodes = 4;
constexpr double kClosureTolerance = 1e-9;  // relative to the wire's extent
constexpr double kDepthTolerance = 1e-6;    // m

// The tables of one thread, least recently used first out. Tables are
// immutable once built, so sharing them between calls of one thread is safe,
// and no other thread ever sees them.
class TableCache {
 public:
  explicit TableCache(std::size_t capacity) : m_capacity(capacity) {}

  std::shared_ptr<const KernelTable> get(const LayeredEarth& earth, double frequency, double zs, double z,
                                         double rhoMax) {
    ++m_clock;
    for (Entry& e : m_entries) {
      if (e.frequency == frequency && e.zs == zs && e.z == z && e.earth == earth) {
        if (e.table->rhoMax() < rhoMax) {
          // Needs a longer range: rebuild with room to spare.
          e.table = std::make_shared<const KernelTable>(earth, frequency, zs, z, 2.0 * rhoMax);
        }
        e.lastUse = m_clock;
        return e.table;
      }
    }
    if (m_entries.size() >= m_capacity) {
      auto oldest = std::min_element(m_entries.begin(), m_entries.end(),
                                     [](const Entry& a, const Entry& b) { return a.lastUse < b.lastUse; });
      m_entries.erase(oldest);
    }
    m_entries.push_back({earth, frequency, zs, z,
                         std::make_shared<const KernelTable>(earth, frequency, zs, z, 2.0 * rhoMax), m_clock});
    return m_entries.back().table;
  }

 private:
  struct Entry {
    LayeredEarth earth;
    double frequency, zs, z;
    std::shared_ptr<const KernelTable> table;
    std::uint64_t lastUse;
  };
  std::size_t m_capacity;
  std::vector<Entry> m_entries;
  std::uint64_t m_clock = 0;
};

TableCache& threadCache() {
  thread_local TableCache cache(kCacheSize);
  return cache;
}

TableCache& latticeCache() {
  thread_local TableCache cache(kLatticeCacheSize);
  return cache;
}

// The horizontal distance from p to the farthest vertex of the wire.
double farthestVertex(std::span<const Vec3> wire, const Vec3& p) {
  double far = 0;
  for (const Vec3& v : wire) far = std::max(far, std::hypot(v.x - p.x, v.y - p.y));
  return far;
}

// The lattice's coordinate in one layer, of the distance s = z - zs below
// the source: tau = ln s + s/delta, delta the layer's skin depth. Its step
// ds = dtau s delta/(s + delta) follows the scale on which the field changes,
// s near the source and the skin depth below, and it is smooth (a coordinate
// with a kink would cost the interpolation its order there).
struct LatticeCoordinate {
  double zs = 0;
  double inverseDelta = 0;  // 1/m; 0 without conduction

  LatticeCoordinate(double sourceZ, double conductivity, double frequency) : zs(sourceZ) {
    const double omegaMuSigma = 2.0 * kFieldPi * frequency * kFieldMu0 * conductivity;
    if (omegaMuSigma > 0) inverseDelta = std::sqrt(omegaMuSigma / 2.0);
  }
  double tau(double z) const { return std::log(z - zs) + (z - zs) * inverseDelta; }
  // The inverse: x = ln s solves x + e^x/delta = t; Newton's steps from
  // x = t (above the root: the function is convex and increasing) come down
  // to it monotonically.
  double depth(double t) const {
    double x = t;
    for (int i = 0; i < 200; ++i) {
      const double e = std::exp(x) * inverseDelta;
      const double next = x - (x + e - t) / (1.0 + e);
      if (!(next < x)) break;
      x = next;
    }
    return zs + std::exp(x);
  }
};

// A stencil node: its depth and its lattice coordinate.
struct LatticeNode {
  double depth;
  double t;
};

// The (up to) four nodes around a point's coordinate, in increasing depth.
struct Stencil {
  std::array<LatticeNode, kStencilNodes> nodes{};
  std::size_t count = 0;
};

// The stencil of the point at coordinate t within the layer [top, bottom]
// (bottom infinite for the half-space): lattice points k * kLatticeStep
// inside it, and its two ends.
Stencil stencilAround(const LatticeCoordinate& x, double top, double bottom, double t) {
  const double step = kLatticeStep;
  const double tTop = x.tau(top);
  const double tBottom = std::isfinite(bottom) ? x.tau(bottom) : std::numeric_limits<double>::infinity();
  const double gap = kLatticeEndGap * step;
  const auto k0 = static_cast<long long>(std::floor(t / step));
  // Up to four candidates on each side, nearest first; a layer's end closes its side.
  std::array<LatticeNode, kStencilNodes> below{}, above{};
  std::size_t nBelow = 0, nAbove = 0;
  for (long long k = k0; nBelow < kStencilNodes; --k) {
    const double tk = static_cast<double>(k) * step;
    if (tk <= tTop + gap) {
      below[nBelow++] = {top, tTop};
      break;
    }
    if (tk < tBottom - gap) below[nBelow++] = {x.depth(tk), tk};
  }
  for (long long k = k0 + 1; nAbove < kStencilNodes; ++k) {
    const double tk = static_cast<double>(k) * step;
    if (tk >= tBottom - gap) {
      above[nAbove++] = {bottom, tBottom};
      break;
    }
    if (tk > tTop + gap) above[nAbove++] = {x.depth(tk), tk};
  }
  // Two on each side where both have them; else more from the other side.
  const std::size_t total = nBelow + nAbove;
  const std::size_t count = std::min(total, kStencilNodes);
  const std::size_t fromBelow = std::clamp<std::size_t>(2, count > nAbove ? count - nAbove : 0, std::min(nBelow, count));
  Stencil s;
  s.count = count;
  for (std::size_t j = 0; j < fromBelow; ++j) s.nodes[j] = below[fromBelow - 1 - j];
  for (std::size_t j = fromBelow; j < count; ++j) s.nodes[j] = above[j - fromBelow];
  return s;
}

// Lagrange weights of the stencil's nodes at t.
std::array<double, kStencilNodes> lagrangeAt(const Stencil& s, double t) {
  std::array<double, kStencilNodes> w{};
  for (std::size_t j = 0; j < s.count; ++j) {
    w[j] = 1.0;
    for (std::size_t m = 0; m < s.count; ++m) {
      if (m != j) w[j] *= (t - s.nodes[m].t) / (s.nodes[j].t - s.nodes[m].t);
    }
  }
  return w;
}

// The free-space static (Biot–Savart) field of the wire at p.
FieldVector staticField(std::span<const Vec3> wire, const Vec3& p) {
  FieldVector h{};
  for (std::size_t k = 0; k + 1 < wire.size(); ++k) {
    const std::array<double, 3> e = segmentBiotSavart(wire[k], wire[k + 1], p);
    for (std::size_t c = 0; c < 3; ++c) h[c] += e[c];
  }
  return h;
}

// Adds the table's part of the field at p: its transforms integrated along every edge.
void addTableField(const KernelTable& table, std::span<const Vec3> wire, const Vec3& p, FieldVector& h) {
  for (std::size_t k = 0; k + 1 < wire.size(); ++k) addEdgeIntegral(table, wire[k], wire[k + 1], p, h);
}

bool finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

LayeredEarthField::LayeredEarthField(std::span<const Vec3> wire, std::span<const double> bottoms,
                                     std::span<const double> resistivities, double frequencyHz,
                                     double current)
    : m_wire(wire.begin(), wire.end()), m_frequency(frequencyHz), m_current(current) {
  if (!std::isfinite(frequencyHz) || !std::isfinite(current) ||
      !std::all_of(wire.begin(), wire.end(), finite) ||
      !std::all_of(bottoms.begin(), bottoms.end(), [](double v) { return std::isfinite(v); }) ||
      !std::all_of(resistivities.begin(), resistivities.end(), [](double v) { return std::isfinite(v); })) {
    {
    m_status = FieldStatus::NotFinite;
    return;
  }
  }
  if (frequencyHz < 0) {
    m_status = FieldStatus::BadFrequency;
    return;
  }
  std::optional<LayeredEarth> earth = LayeredEarth::fromLayers(bottoms, resistivities);
  if (!earth) {
    m_status = FieldStatus::BadLayers;
    return;
  }
  m_earth = std::move(*earth);
  if (wire.size() < 2) {
    m_status = FieldStatus::WireTooShort;
    return;
  }
  double extent = 0, length = 0;
  for (std::size_t i = 0; i < wire.size(); ++i) {
    extent = std::max({extent, std::abs(wire[i].x), std::abs(wire[i].y)});
    if (std::abs(wire[i].z - wire[0].z) > kDepthTolerance) {
    m_status = FieldStatus::WireNotHorizontal;
    return;
  }
    if (i > 0) length += std::hypot(wire[i].x - wire[i - 1].x, wire[i].y - wire[i - 1].y);
  }
  const Vec3& first = wire.front();
  const Vec3& last = wire.back();
  if (std::hypot(last.x - first.x, last.y - first.y) > kClosureTolerance * (1.0 + extent)) {
    {
    m_status = FieldStatus::WireNotClosed;
    return;
  }
  }
  if (!(length > kClosureTolerance * (1.0 + extent))) {
    m_status = FieldStatus::WireTooShort;
    return;
  }
  // One source depth for the whole wire.
  for (Vec3& v : m_wire) v.z = first.z;
  m_wire.back() = m_wire.front();
}

bool LayeredEarthField::latticeField(const Vec3& p, double rhoNeed, FieldVector& h) const {
  const double zs = m_wire.front().z;
  const std::size_t source = m_earth.regionAt(zs);
  const std::size_t region = m_earth.regionAt(p.z);
  if (region <= source) return false;
  const EarthRegion& layer = m_earth.regions()[region];
  const LatticeCoordinate coordinate(zs, layer.conductivity, m_frequency);
  const double t = coordinate.tau(p.z);
  const Stencil stencil = stencilAround(coordinate, layer.top, layer.bottom, t);
  const std::array<double, kStencilNodes> weights = lagrangeAt(stencil, t);

  TableCache& cache = latticeCache();
  std::array<std::shared_ptr<const KernelTable>, kStencilNodes> tables;
  bool anySecondary = false;
  for (std::size_t k = 0; k < stencil.count; ++k) {
    tables[k] = cache.get(m_earth, m_frequency, zs, stencil.nodes[k].depth, std::max(rhoNeed, 1.0));
    anySecondary = anySecondary || tables[k]->secondary();
  }
  // All nodes in one representation: interpolate it. Mixed (about where the
  // two are of one size): the full ones are made secondary.
  h = FieldVector{};
  for (std::size_t k = 0; k < stencil.count; ++k) {
    const Vec3 q{p.x, p.y, stencil.nodes[k].depth};
    FieldVector hk{};
    addTableField(*tables[k], m_wire, q, hk);
    if (anySecondary && !tables[k]->secondary()) {
      const FieldVector bs = staticField(m_wire, q);
      for (std::size_t c = 0; c < 3; ++c) hk[c] -= bs[c];
    }
    for (std::size_t c = 0; c < 3; ++c) h[c] += weights[k] * hk[c];
  }
  if (anySecondary) {
    const FieldVector bs = staticField(m_wire, p);
    for (std::size_t c = 0; c < 3; ++c) h[c] += bs[c];
  }
  return true;
}

FieldStatus LayeredEarthField::compute(std::span<const Vec3> points, std::span<FieldVector> out,
                                       DepthMode mode) const {
  if (m_status != FieldStatus::Ok) return m_status;
  assert(out.size() == points.size());
  if (out.size() != points.size()) return FieldStatus::BadBlock;
  if (!std::all_of(points.begin(), points.end(), finite)) return FieldStatus::NotFinite;
  const double zs = m_wire.front().z;
  const auto store = [this, &out](std::size_t i, FieldVector h) {
    for (std::size_t c = 0; c < 3; ++c) {
      h[c] *= m_current;
      if (!std::isfinite(h[c].real()) || !std::isfinite(h[c].imag())) return false;
    }
    out[i] = h;
    return true;
  };

  // Through the depth lattice, where it applies.
  std::vector<bool> done(points.size(), false);
  std::set<double> depths;
  for (const Vec3& p : points) depths.insert(p.z);
  if (mode == DepthMode::Lattice || (mode == DepthMode::Automatic && depths.size() > kExactDepthLimit)) {
    for (std::size_t i = 0; i < points.size(); ++i) {
      FieldVector h;
      if (!latticeField(points[i], farthestVertex(m_wire, points[i]), h)) continue;
      if (!store(i, h)) return FieldStatus::ResultNotFinite;
      done[i] = true;
    }
  }

  // The others grouped by depth: one table per depth, wide enough for the
  // farthest vertex of the wire seen from any point at that depth.
  std::map<double, double> rhoNeeded;
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (done[i]) continue;
    double& need = rhoNeeded[points[i].z];
    need = std::max(need, farthestVertex(m_wire, points[i]));
  }
  TableCache& cache = threadCache();
  std::map<double, std::shared_ptr<const KernelTable>> tables;
  for (const auto& [z, rho] : rhoNeeded) tables[z] = cache.get(m_earth, m_frequency, zs, z, std::max(rho, 1.0));

  for (std::size_t i = 0; i < points.size(); ++i) {
    if (done[i]) continue;
    const Vec3& p = points[i];
    const KernelTable& table = *tables.at(p.z);
    FieldVector h = table.secondary() ? staticField(m_wire, p) : FieldVector{};
    addTableField(table, m_wire, p, h);
    if (!store(i, h)) return FieldStatus::ResultNotFinite;
  }
  return FieldStatus::Ok;
}

}  // namespace kvo::field
