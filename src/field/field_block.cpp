#include "field_block.h"

#include <cmath>
#include <limits>
#include <vector>

#include "layered_earth_field.h"

namespace kvo::field {

namespace {

// A count slot: finite and not below `minimum`, truncated toward zero; -1 otherwise.
long countOf(float value, long minimum) {
  if (!std::isfinite(value) || value < static_cast<float>(minimum) ||
      value > static_cast<float>(kFieldBlockSize)) {
    return -1;
  }
  return static_cast<long>(value);
}

FieldStatus run(std::span<float, kFieldBlockSize> block) {
  const long segments = countOf(block[0], 1);
  const long layers = countOf(block[1], 1);
  const long points = countOf(block[2], 0);
  if (segments < 0 || points < 0) return FieldStatus::BadBlock;
  if (layers < 0) return std::isfinite(block[1]) ? FieldStatus::BadLayers : FieldStatus::BadBlock;
  const long inputs = 6 + 2 * layers + 3 * (segments + 1) + 3 * points;
  const long outputs = 1 + 6 * points;
  const auto size = static_cast<long>(kFieldBlockSize);
  if (inputs > size || outputs > size) return FieldStatus::BadBlock;

  std::size_t at = 6;
  auto next = [&block, &at]() { return static_cast<double>(block[at++]); };
  std::vector<double> bottoms, resistivities;
  for (long k = 0; k < layers; ++k) {
    bottoms.push_back(next());
    resistivities.push_back(next());
  }
  std::vector<Vec3> wire, where;
  for (long k = 0; k <= segments; ++k) {
    const double x = next(), y = next(), z = next();
    wire.push_back({x, y, z});
  }
  for (long k = 0; k < points; ++k) {
    const double x = next(), y = next(), z = next();
    where.push_back({x, y, z});
  }
  const LayeredEarthField field(wire, bottoms, resistivities, block[3], block[4]);
  std::vector<FieldVector> h(where.size());
  const FieldStatus status = field.compute(where, h);
  if (status != FieldStatus::Ok) return status;

  // Every value must survive the narrowing to float.
  std::vector<double> values;
  values.reserve(6 * h.size());
  for (const FieldVector& v : h) {
    for (const Complex& c : v) values.push_back(c.real());
    for (const Complex& c : v) values.push_back(c.imag());
  }
  for (double v : values) {
    if (!(std::abs(v) <= std::numeric_limits<float>::max())) return FieldStatus::ResultNotFinite;
  }
  for (std::size_t i = 0; i < values.size(); ++i) block[1 + i] = static_cast<float>(values[i]);
  return FieldStatus::Ok;
}

}  // namespace

void computeFieldBlock(std::span<float, kFieldBlockSize> block, std::string_view /*scratchPath*/) {
  block[0] = static_cast<float>(static_cast<int>(run(block)));
}

}  // namespace kvo::field
