#pragma once
// A colour scale: values from `low` to `high` mapped linearly onto one of
// three colour maps, through a table of 256 colours.
//   Sequential (amplitudes): dark blue through green to yellow, perceptually
//     even (the control points of matplotlib's "viridis"), so a larger
//     value always looks brighter.
//   Diverging (real and imaginary parts): blue, white at the middle, red;
//     the range is made symmetric about zero, so white is zero.
//   Phase: dark violet through red to yellow ("plasma"), distinct from the
//     amplitude's map so the two views are not confused.
// A value outside the range takes the end colour; a value that is not a
// number is transparent.

#include <QColor>
#include <QLinearGradient>
#include <QRgb>

#include <array>
#include <vector>

#include "kernel/kernel_quantity.h"

namespace kvo::gui {

enum class ColourMap { Sequential, Diverging, Phase };

class ColourScale {
 public:
  ColourScale() : ColourScale(0.0, 1.0, ColourMap::Sequential) {}
  // `low` < `high`; an empty or inverted range is widened around `low`.
  ColourScale(double low, double high, ColourMap map);

  // The scale for `values` of `quantity`: 0 to the largest amplitude, -m to m
  // for a real or imaginary part (m the largest magnitude), the smallest to
  // the largest phase. Values that are not numbers are left out.
  static ColourScale forValues(const std::vector<double>& values, KernelQuantity quantity);

  double low() const { return m_low; }
  double high() const { return m_high; }
  ColourMap map() const { return m_map; }

  QRgb rgb(double value) const;
  // The colour at `fraction` (0..1) of the map.
  static QColor mapColour(ColourMap map, double fraction);
  // The map as a gradient from 0 to 1 (for the colour axis).
  QLinearGradient gradient() const;

 private:
  double m_low;
  double m_high;
  ColourMap m_map;
  std::array<QRgb, 256> m_table{};
};

}  // namespace kvo::gui
