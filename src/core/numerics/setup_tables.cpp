#include "numerics/setup_tables.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "numerics/constants.h"

namespace kvo::core {

namespace {

// trunc(x) as an int in [lo, hi]: NaN reads as 0 (clamped into the range), and
// x is clamped before the cast so that no value makes the conversion undefined.
int truncateClamped(double x, int lo, int hi) {
  if (std::isnan(x)) return std::clamp(0, lo, hi);
  if (x <= static_cast<double>(lo)) return lo;
  if (x >= static_cast<double>(hi)) return hi;
  return static_cast<int>(x);  // truncation toward zero
}

int truncateToInt(double x) {
  return truncateClamped(x, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
}

// Largest user layer count the 8-entry layer arrays can take.
constexpr int kMaxArrayLayers = static_cast<int>(kLayerArraySize) - 1;

// Largest zone count whose rows lie inside the used slots of the table:
// row n occupies slots 1+2n and 2+2n.
constexpr int kMaxZones = static_cast<int>((kFrequencyShiftUsedSlots - 3) / 2);

UnpackedLoop unpackCommon(const LoopSetup& loop) {
  UnpackedLoop u;
  u.type = loopTypeCode(loop);
  u.size = loop[kLoopSize];
  u.turns = truncateToInt(loop[kLoopTurns]);
  u.halfSeparation = loop[kLoopSeparation] * 0.5;
  return u;
}

}  // namespace

LayerArrays BuildLayerArrays(const ResistivitySection& section) {
  LayerArrays layers;
  const int n = truncateClamped(section[kLayerCount], 0, kMaxArrayLayers);
  layers.count = n + 1;
  layers.bottom[0] = kTopLayerBottom;
  layers.resistivity[0] = kTopLayerResistivity;
  for (int k = 1; k < layers.count; ++k) {
    const auto i = static_cast<std::size_t>(k);
    layers.bottom[i] = section[layerBottomSlot(k)];
    layers.resistivity[i] = section[layerResistivitySlot(k)];
  }
  return layers;
}

UnpackedLoop UnpackLoop(const LoopSetup& receiver) {
  UnpackedLoop u = unpackCommon(receiver);
  u.shiftNorth = receiver[kLoopShiftNorth];
  u.shiftEast = receiver[kLoopShiftEast];
  return u;
}

UnpackedLoop UnpackLoopShort(const LoopSetup& transmitter) { return unpackCommon(transmitter); }

UnpackedTarget UnpackTargetOutline(const TargetSetup& target) {
  UnpackedTarget outline;
  outline.targetCount = truncateToInt(target[kTargetEnabled]);
  if (outline.targetCount <= 0) return outline;

  outline.cornerCount = kTargetCornerCount;
  for (int k = 0; k < kTargetCornerCount; ++k) {
    const auto i = static_cast<std::size_t>(k);
    outline.north[i] = target[targetCornerNorthSlot(k)];
    outline.east[i] = target[targetCornerEastSlot(k)];
  }
  outline.north[kTargetCornerCount] = outline.north[0];
  outline.east[kTargetCornerCount] = outline.east[0];
  outline.top = target[kTargetTop];
  outline.bottom = target[kTargetBottom];
  return outline;
}

SoundingGrids MakeSoundingGrids(const ComputingParameters& computing) {
  SoundingGrids g;
  g.larmorFrequency = computing[kLarmorFrequency];
  g.inclination = computing[kInclination];
  g.pulseDuration = computing[kPulseDuration];
  g.harmonicsCount = truncateToInt(computing[kPulseHarmonics]);
  if (g.harmonicsCount == 0) g.harmonicsCount = 1;

  const double maxDepth = computing[kMaxDepth];
  g.depths[0] = std::fabs(maxDepth);
  if (g.depths[0] < 0.01) g.depths[0] = 0.01;
  g.depths[1] = 0.0;

  if (maxDepth > 0.0) {
    // D(t) = (A t)^2.5 + B t + 0.05 with A^2.5 = h - 0.05 - h/25 and B = h/25,
    // so D(0) = 0.05 and D(1) = h; t = i/99.
    double h = maxDepth;
    if (h < 1.0) h = 1.0;
    const double a = std::pow(h - 0.05 - h / 25.0, 1.0 / 2.5);
    for (std::size_t i = 0; i < kGridPoints; ++i) {
      const double di = static_cast<double>(i);
      g.depths[i] = std::pow(a * di / 99.0, 2.5) + (h / 25.0) * di / 99.0 + 0.05;
    }
  }

  // Q(t) = (A t)^4 + B t + 1 with A^4 = qmax - 1 - qmax/500 and B = qmax/500,
  // so Q(0) = 1 and Q(1) = qmax.
  const double qmax = computing[kMaxPulseMoment];
  const double a = std::pow(qmax - 1.0 - qmax / 500.0, 1.0 / 4.0);
  for (std::size_t i = 0; i < kGridPoints; ++i) {
    const double di = static_cast<double>(i);
    g.pulseMoments[i] = std::pow(a * di / 99.0, 4.0) + (qmax / 500.0) * di / 99.0 + 1.0;
  }
  return g;
}

Topography UnpackTopography(const SlopeSetup& slope) {
  Topography t;
  t.on = truncateToInt(slope[kSlopeEnabled]);
  // The test is on the stored value itself, not on its truncation.
  if (slope[kSlopeEnabled] == 0.0) return t;

  t.azimuth = degreesToRadians(slope[kSlopeAzimuth]);
  t.inclination = degreesToRadians(slope[kSlopeInclination]);
  t.height = kSurfaceHeightOffset;
  t.nx = -std::sin(t.inclination) * std::cos(t.azimuth);
  t.ny = -std::sin(t.inclination) * std::sin(t.azimuth);
  t.nz = std::cos(t.inclination);
  return t;
}

FrequencyShiftOffsets FrequencyShiftProfile(const FrequencyShiftTable& table, double larmorFrequency,
                                            const MomentGrid& pulseMoments) {
  FrequencyShiftOffsets result;
  const int n = truncateClamped(table[kZoneCount], 0, kMaxZones);
  if (n == 0) return result;  // count 1, all offsets 0
  result.count = n + 1;

  // Table points: pulse moment x_k (A-ms) and angular offset w_k (rad/s).
  std::array<double, kMaxZones + 1> x{};
  std::array<double, kMaxZones + 1> w{};
  const auto last = static_cast<std::size_t>(n);
  for (std::size_t k = 0; k <= last; ++k) {
    x[k] = table[shiftMomentSlot(static_cast<int>(k))];
    w[k] = 2.0 * kPi * (table[shiftFrequencySlot(static_cast<int>(k))] - larmorFrequency);
  }
  if (pulseMoments[kGridPoints - 1] < x[last]) x[last] = pulseMoments[kGridPoints - 1];

  for (std::size_t j = 0; j < kGridPoints; ++j) {
    const double q = pulseMoments[j];
    std::size_t c = last - 1;  // no segment ends at or beyond q: extend the last one
    for (std::size_t k = 0; k < last; ++k) {
      if (q <= x[k + 1]) {
        c = k;
        break;
      }
    }
    result.offsets[j] = w[c] + (q - x[c]) * (w[c + 1] - w[c]) / (x[c + 1] - x[c]);
  }
  return result;
}

}  // namespace kvo::core
