#include "numerics/interpolation.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

#include "numerics/constants.h"

namespace kvo::core {

ParabolaCoefficients ParabolaThrough3(double x0, double x1, double x2, double y0, double y1,
                                      double y2) {
  // Mended: coincident abscissae make den zero and every coefficient NaN or
  // inf. The grids never produce them, so a caller that does is wrong: stop
  // in debug builds rather than let NaN spread silently.
  assert(x0 != x1 && x1 != x2 && x0 != x2 && "ParabolaThrough3: coincident abscissae");
  const double s0 = x0 * x0;
  const double s1 = x1 * x1;
  const double s2 = x2 * x2;
  const double den = s0 * (x1 - x2) + s1 * (x2 - x0) + s2 * (x0 - x1);
  return {((x1 - x2) * y0 + (x2 - x0) * y1 + (x0 - x1) * y2) / den,
          (s0 * (y1 - y2) + s1 * (y2 - y0) + s2 * (y0 - y1)) / den,
          (s0 * (x1 * y2 - x2 * y1) + s1 * (x2 * y0 - x0 * y2) + s2 * (x0 * y1 - x1 * y0)) / den};
}

int ParabolaTable(std::span<const double> x, std::span<const double> y, const ParabolaRow& out) {
  const std::size_t n = x.size();
  assert(n >= 3 && y.size() >= n);
  assert(out.a.size() >= n - 1 && out.b.size() >= n - 1 && out.c.size() >= n - 1);
  for (std::size_t k = 0; k + 2 < n; ++k) {
    const ParabolaCoefficients p = ParabolaThrough3(x[k], x[k + 1], x[k + 2], y[k], y[k + 1], y[k + 2]);
    out.a[k] = p.a;
    out.b[k] = p.b;
    out.c[k] = p.c;
  }
  // The last segment n-2 has no third node beyond it: it shares the parabola
  // of segment n-3 (through the last three nodes).
  out.a[n - 2] = out.a[n - 3];
  out.b[n - 2] = out.b[n - 3];
  out.c[n - 2] = out.c[n - 3];
  return 0;
}

FieldPair InterpolateField2D(const ParabolaTables& tables, std::size_t set, std::size_t column,
                             double x, double a, std::size_t node, std::span<const double> q,
                             InterpolationCache& cache) {
  const std::size_t len = q.size();
  assert(len >= 3 && len <= kParabolaNodes);
  assert(set + 1 < kParabolaSets && column < kParabolaColumns);

  // The cache is keyed on the set and the radial segment as well as on the
  // node and x: a caller that interpolates several quantity pairs at one
  // point with one cache must not get the parabolas of another pair back.
  const bool hit = cache.valid && cache.set == set && cache.column == column && cache.node == node &&
                   cache.x == x;
  if (!hit) {
    const std::size_t k = std::min(node, len - 3);
    std::array<double, 3> g1{};
    std::array<double, 3> g2{};
    for (std::size_t i = 0; i < 3; ++i) {
      const ParabolaCoefficients p1{tables.a[set][k + i][column], tables.b[set][k + i][column],
                                    tables.c[set][k + i][column]};
      const ParabolaCoefficients p2{tables.a[set + 1][k + i][column],
                                    tables.b[set + 1][k + i][column],
                                    tables.c[set + 1][k + i][column]};
      g1[i] = p1(x);
      g2[i] = p2(x);
    }
    cache.first = ParabolaThrough3(q[k], q[k + 1], q[k + 2], g1[0], g1[1], g1[2]);
    cache.second = ParabolaThrough3(q[k], q[k + 1], q[k + 2], g2[0], g2[1], g2[2]);
    cache.valid = true;
    cache.set = set;
    cache.column = column;
    cache.node = node;
    cache.x = x;
  }
  return {cache.first(a), cache.second(a)};
}

namespace {

// (First index minimising |v - nodes[k]|) - 1, bounded to 0..nodes.size()-3.
// The search starts from a distance of 1e8 with a strict comparison, so the
// first of equally near nodes wins and a value 1e8 or more away from every
// node (or NaN) yields node 0.
std::size_t nearestStart(double v, std::span<const double> nodes) {
  double best = 1e8;
  std::size_t nearest = 0;
  for (std::size_t k = 0; k < nodes.size(); ++k) {
    const double d = std::fabs(v - nodes[k]);
    if (d < best) {
      best = d;
      nearest = k;
    }
  }
  const std::size_t start = nearest == 0 ? 0 : nearest - 1;
  return std::min(start, nodes.size() - 3);
}

}  // namespace

PolarLocation LocatePolar(double rho, double t, double cx, double cy, std::span<const double> radii,
                          std::span<const double> angles) {
  assert(radii.size() >= 3 && angles.size() >= 3);
  const double x = rho * std::cos(t) + cx;
  const double y = rho * std::sin(t) + cy;
  PolarLocation loc;
  loc.radius = std::sqrt(x * x + y * y);
  if (x != 0.0) {
    loc.phi = std::atan(y / x);
    if (x < 0.0) {
      loc.phi += kPi;
    }
    if (loc.phi < 0.0) {
      loc.phi += 2.0 * kPi;
    }
  } else {
    loc.phi = y >= 0.0 ? kPi / 2.0 : 1.5 * kPi;
  }
  loc.ir = nearestStart(loc.radius, radii);
  loc.ia = nearestStart(loc.phi, angles);
  return loc;
}

int SubdivisionCount(std::size_t start, std::size_t end, std::span<const double> m1,
                     std::span<const double> m2) {
  const auto count = [&](std::size_t i) {
    assert(i < m1.size() && i < m2.size());
    const double v = std::floor(std::max(m1[i], m2[i])) + 1.0;
    assert(std::isfinite(v) && v < static_cast<double>(std::numeric_limits<int>::max()));
    return static_cast<int>(v);
  };
  if (end < start + 2) {
    return count(start);
  }
  int n = count(start);
  for (std::size_t i = start + 1; i <= end; ++i) {
    n = std::max(n, count(i));
  }
  return n;
}

}  // namespace kvo::core
