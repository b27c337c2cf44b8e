#include "layered_earth_field.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>

#include "kernel_table.h"

namespace kvo::field {

namespace {

constexpr std::size_t kCacheSize = 64;
constexpr double kClosureTolerance = 1e-9;  // relative to the wire's extent
constexpr double kDepthTolerance = 1e-6;    // m

// The tables of one thread, least recently used first out. Tables are
// immutable once built, so sharing them between calls of one thread is safe,
// and no other thread ever sees them.
class TableCache {
 public:
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
    if (m_entries.size() >= kCacheSize) {
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
  std::vector<Entry> m_entries;
  std::uint64_t m_clock = 0;
};

TableCache& threadCache() {
  thread_local TableCache cache;
  return cache;
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

FieldStatus LayeredEarthField::compute(std::span<const Vec3> points, std::span<FieldVector> out) const {
  if (m_status != FieldStatus::Ok) return m_status;
  assert(out.size() == points.size());
  if (out.size() != points.size()) return FieldStatus::BadBlock;
  if (!std::all_of(points.begin(), points.end(), finite)) return FieldStatus::NotFinite;
  const double zs = m_wire.front().z;

  // Points grouped by depth: one table per depth, wide enough for the
  // farthest vertex of the wire seen from any point at that depth.
  std::map<double, double> rhoNeeded;
  for (const Vec3& p : points) {
    double far = 0;
    for (const Vec3& v : m_wire) far = std::max(far, std::hypot(v.x - p.x, v.y - p.y));
    double& need = rhoNeeded[p.z];
    need = std::max(need, far);
  }
  TableCache& cache = threadCache();
  std::map<double, std::shared_ptr<const KernelTable>> tables;
  for (const auto& [z, rho] : rhoNeeded) tables[z] = cache.get(m_earth, m_frequency, zs, z, std::max(rho, 1.0));

  for (std::size_t i = 0; i < points.size(); ++i) {
    const Vec3& p = points[i];
    const KernelTable& table = *tables.at(p.z);
    FieldVector h{};
    if (table.secondary()) {
      for (std::size_t k = 0; k + 1 < m_wire.size(); ++k) {
        const std::array<double, 3> bs = segmentBiotSavart(m_wire[k], m_wire[k + 1], p);
        for (std::size_t c = 0; c < 3; ++c) h[c] += bs[c];
      }
    }
    for (std::size_t k = 0; k + 1 < m_wire.size(); ++k) addEdgeIntegral(table, m_wire[k], m_wire[k + 1], p, h);
    for (std::size_t c = 0; c < 3; ++c) {
      h[c] *= m_current;
      if (!std::isfinite(h[c].real()) || !std::isfinite(h[c].imag())) return FieldStatus::ResultNotFinite;
    }
    out[i] = h;
  }
  return FieldStatus::Ok;
}

}  // namespace kvo::field
