#include "numerics/biot_savart.h"

#include <cmath>

#include "numerics/constants.h"

namespace kvo::core {

FieldVector BiotSavartField(std::span<const Point3> vertices, const Point3& p) {
  return BiotSavartWire(vertices).at(p);
}

BiotSavartWire::BiotSavartWire(std::span<const Point3> vertices) {
  for (std::size_t k = 0; k + 1 < vertices.size(); ++k) {
    const Point3& a = vertices[k];
    const Point3& b = vertices[k + 1];
    const double ex = b[0] - a[0], ey = b[1] - a[1], ez = b[2] - a[2];
    const double len = std::sqrt(ex * ex + ey * ey + ez * ez);
    if (len == 0.0) continue;
    m_segments.push_back({a, {ex / len, ey / len, ez / len}, len});
  }
}

// u x d = u x r1 (u x u = 0), so |d|^2 = |u x r1|^2, and |r2|^2 = |d|^2 +
// (r1.u - length)^2: two square roots and one division per segment.
FieldVector BiotSavartWire::at(const Point3& p) const {
  double hx = 0.0, hy = 0.0, hz = 0.0;
  for (const Segment& s : m_segments) {
    const double r1x = p[0] - s.a[0], r1y = p[1] - s.a[1], r1z = p[2] - s.a[2];
    const double along1 = r1x * s.u[0] + r1y * s.u[1] + r1z * s.u[2];
    const double along2 = along1 - s.length;
    const double cx = s.u[1] * r1z - s.u[2] * r1y;
    const double cy = s.u[2] * r1x - s.u[0] * r1z;
    const double cz = s.u[0] * r1y - s.u[1] * r1x;
    const double d2 = cx * cx + cy * cy + cz * cz;
    if (d2 == 0.0) continue;
    const double n1 = std::sqrt(d2 + along1 * along1), n2 = std::sqrt(d2 + along2 * along2);
    const double f = (along1 * n2 - along2 * n1) / (4.0 * kPi * d2 * n1 * n2);
    hx += f * cx;
    hy += f * cy;
    hz += f * cz;
  }
  return {hx, hy, hz};
}

}  // namespace kvo::core
