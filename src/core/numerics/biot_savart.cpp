#include "numerics/biot_savart.h"

#include <cmath>

#include "numerics/constants.h"

namespace kvo::core {

FieldVector BiotSavartField(std::span<const Point3> vertices, const Point3& p) {
  return BiotSavartWire(vertices).at(p);
}

BiotSavartWire::BiotSavartWire(std::span<const Point3> vertices) {
  std::size_t n = 0;
  for (std::size_t k = 0; k + 1 < vertices.size(); ++k) {
    const Point3& a = vertices[k];
    const Point3& b = vertices[k + 1];
    const double ex = b[0] - a[0], ey = b[1] - a[1], ez = b[2] - a[2];
    const double len = std::sqrt(ex * ex + ey * ey + ez * ez);
    if (len == 0.0) continue;
    if (n % kLanes == 0) m_groups.push_back(Group{});
    Group& g = m_groups.back();
    const std::size_t i = n % kLanes;
    g.ax[i] = a[0];
    g.ay[i] = a[1];
    g.az[i] = a[2];
    g.ux[i] = ex / len;
    g.uy[i] = ey / len;
    g.uz[i] = ez / len;
    g.length[i] = len;
    ++n;
  }
}

// u x d = u x r1 (u x u = 0), so |d|^2 = |u x r1|^2, and |r2|^2 = |d|^2 +
// (r1.u - length)^2: two square roots and one division per segment. A point
// on a segment's line (d = 0), and the zero-length fillers, add nothing.
FieldVector BiotSavartWire::at(const Point3& p) const {
  std::array<double, kLanes> hx{}, hy{}, hz{};
  for (const Group& g : m_groups) {
    std::array<double, kLanes> cx, cy, cz, f;
    for (std::size_t i = 0; i < kLanes; ++i) {
      const double r1x = p[0] - g.ax[i], r1y = p[1] - g.ay[i], r1z = p[2] - g.az[i];
      const double along1 = r1x * g.ux[i] + r1y * g.uy[i] + r1z * g.uz[i];
      const double along2 = along1 - g.length[i];
      cx[i] = g.uy[i] * r1z - g.uz[i] * r1y;
      cy[i] = g.uz[i] * r1x - g.ux[i] * r1z;
      cz[i] = g.ux[i] * r1y - g.uy[i] * r1x;
      const double d2 = cx[i] * cx[i] + cy[i] * cy[i] + cz[i] * cz[i];
      const double on = static_cast<double>(d2 > 0.0);  // 0 on the line: no branch
      const double safe = d2 + (1.0 - on);
      const double n1 = std::sqrt(safe + along1 * along1), n2 = std::sqrt(safe + along2 * along2);
      f[i] = on * (along1 * n2 - along2 * n1) / (4.0 * kPi * safe * n1 * n2);
    }
    for (std::size_t i = 0; i < kLanes; ++i) {
      hx[i] += f[i] * cx[i];
      hy[i] += f[i] * cy[i];
      hz[i] += f[i] * cz[i];
    }
  }
  return {(hx[0] + hx[1]) + (hx[2] + hx[3]), (hy[0] + hy[1]) + (hy[2] + hy[3]), (hz[0] + hz[1]) + (hz[2] + hz[3])};
}

}  // namespace kvo::core
