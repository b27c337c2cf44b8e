#include "numerics/layered_field.h"

#include <cassert>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "field_block.h"

namespace kvo::core {

namespace {

static_assert(kFieldBlockFloats == kvo::field::kFieldBlockSize);

// Nearest float; beyond the float range an infinity of the same sign (the
// component refuses it), NaN stays NaN.
float toFloat(double v) {
  constexpr double kMax = std::numeric_limits<float>::max();
  if (v > kMax) return std::numeric_limits<float>::infinity();
  if (v < -kMax) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(v);
}

void callComponent(FieldBlock block, std::string_view path) { kvo::field::computeFieldBlock(block, path); }

}  // namespace

int ComputeLayeredField(const LayeredFieldRequest& request, std::span<SpaceVector> re, std::span<SpaceVector> im) {
  return ComputeLayeredFieldUsing(&callComponent, request, re, im);
}

int ComputeLayeredFieldUsing(FieldEntryPoint entry, const LayeredFieldRequest& request, std::span<SpaceVector> re,
                             std::span<SpaceVector> im) {
  const long s = request.segmentCount;
  const long l = request.layerCount;
  const long m = request.pointCount;
  const auto fits = [](long count, std::size_t size) { return count >= 0 && static_cast<std::size_t>(count) <= size; };
  const bool arraysHold = s >= 0 && fits(s + 1, request.wire.size()) && fits(l, request.resistivities.size()) &&
                          fits(l, request.bottoms.size()) && fits(m, request.points.size()) && fits(m, re.size()) &&
                          fits(m, im.size());
  assert(arraysHold && "ComputeLayeredField: a count exceeds its array");
  const auto blockSize = static_cast<long>(kFieldBlockFloats);
  if (!arraysHold || 6 + 2 * l + 3 * (s + 1) + 3 * m > blockSize || 1 + 6 * m > blockSize) return 1;

  std::vector<float> storage(kFieldBlockFloats, 0.0f);
  const FieldBlock block(storage.data(), kFieldBlockFloats);
  std::size_t at = 0;
  const auto put = [&block, &at](double v) { block[at++] = toFloat(v); };
  put(static_cast<double>(s));
  put(static_cast<double>(l));
  put(static_cast<double>(m));
  put(request.frequency);
  put(request.sourceStrength);
  put(0.0);
  for (std::size_t k = 0; k < static_cast<std::size_t>(l); ++k) {
    put(request.bottoms[k]);
    put(request.resistivities[k]);
  }
  for (std::size_t k = 0; k <= static_cast<std::size_t>(s); ++k) {
    for (double c : request.wire[k]) put(c);
  }
  for (std::size_t k = 0; k < static_cast<std::size_t>(m); ++k) {
    for (double c : request.points[k]) put(c);
  }
  std::string path = (std::filesystem::path(std::string(request.workingFolder)) / kFieldScratchFileName).string();
  if (path.size() > 511) path.resize(511);  // the caller's 512-character buffer

  entry(block, path);

  const float status = block[0];
  if (std::isnan(status) || std::trunc(status) < 0.0f) return 1;
  for (std::size_t i = 0; i < static_cast<std::size_t>(m); ++i) {
    for (std::size_t c = 0; c < 3; ++c) {
      re[i][c] = static_cast<double>(block[1 + 6 * i + c]);
      im[i][c] = static_cast<double>(block[1 + 6 * i + 3 + c]);
    }
  }
  return 0;
}

}  // namespace kvo::core
