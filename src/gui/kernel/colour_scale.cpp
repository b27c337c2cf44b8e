#include "kernel/colour_scale.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>

namespace kvo::gui {
namespace {

struct Stop {
  double at;
  int r, g, b;
};

constexpr Stop kSequential[] = {{0.0, 68, 1, 84},      {0.125, 72, 40, 120},  {0.25, 62, 73, 137},
                                {0.375, 49, 104, 142}, {0.5, 38, 130, 142},   {0.625, 31, 158, 137},
                                {0.75, 53, 183, 121},  {0.875, 110, 206, 88}, {1.0, 253, 231, 37}};
constexpr Stop kDiverging[] = {{0.0, 33, 102, 172},  {0.25, 103, 169, 207}, {0.5, 247, 247, 247},
                               {0.75, 239, 138, 98}, {1.0, 178, 24, 43}};
constexpr Stop kPhase[] = {{0.0, 13, 8, 135},     {0.25, 126, 3, 168}, {0.5, 204, 71, 120},
                           {0.75, 248, 149, 64},  {1.0, 240, 249, 33}};

std::span<const Stop> stops(ColourMap map) {
  switch (map) {
    case ColourMap::Sequential: return kSequential;
    case ColourMap::Diverging: return kDiverging;
    case ColourMap::Phase: return kPhase;
  }
  return kSequential;
}

}  // namespace

ColourScale::ColourScale(double low, double high, ColourMap map) : m_low(low), m_high(high), m_map(map) {
  if (!std::isfinite(m_low)) m_low = 0.0;
  if (!(std::isfinite(m_high) && m_high > m_low)) m_high = m_low + std::max(1.0, std::fabs(m_low) * 1e-6);
  for (std::size_t i = 0; i < m_table.size(); ++i) {
    m_table[i] = mapColour(map, static_cast<double>(i) / static_cast<double>(m_table.size() - 1)).rgb();
  }
}

ColourScale ColourScale::forValues(const std::vector<double>& values, KernelQuantity quantity) {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -lo;
  for (double v : values) {
    if (std::isnan(v)) continue;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  if (lo > hi) lo = hi = 0.0;  // nothing but NaN, or no values
  switch (quantity) {
    case KernelQuantity::Amplitude: return {0.0, hi, ColourMap::Sequential};
    case KernelQuantity::Real:
    case KernelQuantity::Imaginary: {
      const double m = std::max(std::fabs(lo), std::fabs(hi));
      return m > 0.0 ? ColourScale(-m, m, ColourMap::Diverging) : ColourScale(-1.0, 1.0, ColourMap::Diverging);
    }
    case KernelQuantity::Phase: return {lo, hi, ColourMap::Phase};
  }
  return {};
}

QRgb ColourScale::rgb(double value) const {
  if (std::isnan(value)) return qRgba(0, 0, 0, 0);
  const double f = std::clamp((value - m_low) / (m_high - m_low), 0.0, 1.0);
  return m_table[static_cast<std::size_t>(std::lround(f * static_cast<double>(m_table.size() - 1)))];
}

QColor ColourScale::mapColour(ColourMap map, double fraction) {
  const std::span<const Stop> s = stops(map);
  const double f = std::clamp(fraction, 0.0, 1.0);
  std::size_t i = 0;
  while (i + 2 < s.size() && f > s[i + 1].at) ++i;
  const double t = (f - s[i].at) / (s[i + 1].at - s[i].at);
  auto mix = [t](int a, int b) { return static_cast<int>(std::lround(a + t * (b - a))); };
  return QColor(mix(s[i].r, s[i + 1].r), mix(s[i].g, s[i + 1].g), mix(s[i].b, s[i + 1].b));
}

QLinearGradient ColourScale::gradient() const {
  QLinearGradient g;
  for (const Stop& s : stops(m_map)) g.setColorAt(s.at, QColor(s.r, s.g, s.b));
  return g;
}

}  // namespace kvo::gui
