#include "compute/sounding_setup.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "numerics/constants.h"

namespace kvo::core {
namespace {

constexpr int kHighestLoopType = 4;

// The pulse-moment series takes the fourth root of qmax - 1 - qmax/500,
// which is negative below 500/499.
constexpr double kSmallestMaximumMoment = 500.0 / 499.0;

template <std::size_t N>
bool allFinite(const std::array<double, N>& record) {
  return std::all_of(record.begin(), record.end(), [](double v) { return std::isfinite(v); });
}

std::optional<std::string> loopSizeMessage(const char* which, const UnpackedLoop& loop) {
  // The wire takes the size in whole metres: below 1 m every vertex of a
  // circle or square lies at the centre, and an eight shrinks to its two
  // inner points. Refused rather than computed.
  if (std::trunc(loop.size) < 1.0) {
    return std::string("The ") + which +
           " loop is smaller than 1 m: its wire, taken in whole metres, would have no size. "
           "Make the loop at least 1 m";
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::size_t> VisitedIndices(int step, std::size_t n) {
  std::vector<std::size_t> out;
  if (n == 0 || step < 1) return out;
  const std::size_t s = static_cast<std::size_t>(step);
  const std::size_t extra = (step == 1 || step == 3) ? 0 : 1;
  for (std::size_t k = 0; k < n + extra; k += s) out.push_back(std::min(k, n - 1));
  return out;
}

std::vector<TargetOutline> SoundingSetup::targetOutlines(std::size_t z) const {
  std::vector<TargetOutline> out;
  for (int q = 0; q < targetCount; ++q) {
    const TargetIndexRange& range = targetRanges[static_cast<std::size_t>(q)];
    out.push_back({Outline{targetX, targetY}, range.depth.first <= z && z <= range.depth.last,
                   target.top, target.bottom});
  }
  return out;
}

bool SoundingSetup::inDepthWindow(std::size_t z) const {
  return targetCount == 0 || (windowFirst <= z && z <= windowLast);
}

int SoundingSetup::depthFlag(std::size_t z) const {
  int flag = 1;
  if (targetCount > 0) {
    flag = 0;
    for (const TargetOutline& t : targetOutlines(z)) flag += t.active ? 1 : 0;
  }
  if (topography.on > 0 &&
      grids.depths[z] + kSurfaceHeightOffset < std::sin(std::fabs(topography.inclination)) * tx.size) {
    flag = 0;
  }
  return flag;
}

std::optional<std::string> BuildSoundingSetup(const SoundingParameters& params,
                                              SoundingSetup& setup) {
  if (!allFinite(params.tx) || !allFinite(params.rx) || !allFinite(params.computing) ||
      !allFinite(params.section) || !allFinite(params.target) || !allFinite(params.slope) ||
      !allFinite(params.frequencyShift)) {
    return std::string("The parameters hold a value that is not a finite number");
  }

  // Loops. The type codes are read by truncation (UnpackLoop reads codes of
  // 5 and more as 0, which would make a receiver coincident).
  const double txCode = std::trunc(params.tx[kLoopType]);
  const double rxCode = std::trunc(params.rx[kLoopType]);
  if (txCode < 1 || txCode > kHighestLoopType) {
    return std::string("The transmitter loop type must be 1 to 4");
  }
  if (rxCode < 0 || rxCode > kHighestLoopType) {
    return std::string("The receiver loop type must be 0 (coincident) to 4");
  }
  setup.tx = UnpackLoopShort(params.tx);
  setup.rx = UnpackLoop(params.rx);
  setup.separateReceiver = setup.rx.type != 0;
  if (auto message = loopSizeMessage("transmitter", setup.tx)) return message;
  if (setup.separateReceiver) {
    if (auto message = loopSizeMessage("receiver", setup.rx)) return message;
  }
  setup.txAzimuth = params.tx[kLoopAzimuth];
  setup.rxAzimuth = setup.separateReceiver ? params.rx[kLoopAzimuth] : setup.txAzimuth;

  // Series.
  setup.grids = MakeSoundingGrids(params.computing);
  if (!(setup.grids.pulseDuration > 0.0)) {
    return std::string("The pulse duration must be above 0 ms");
  }
  if (!(params.computing[kMaxPulseMoment] > kSmallestMaximumMoment)) {
    return std::string("The maximum pulse moment is too small for the pulse-moment series");
  }
  setup.inclination = degreesToRadians(setup.grids.inclination);
  setup.elliptical = params.computing[kEllipticalPolarisation] != 0.0;
  setup.depthCount = setup.grids.depths[1] == 0.0 ? 1 : kGridPoints;

  setup.target = UnpackTargetOutline(params.target);
  setup.shift = FrequencyShiftProfile(params.frequencyShift, setup.grids.larmorFrequency,
                                      setup.grids.pulseMoments);
  setup.topography = UnpackTopography(params.slope);
  setup.layers = BuildLayerArrays(params.section);

  // Sampling.
  setup.targetCount = setup.target.targetCount > 0 ? 1 : 0;
  setup.fine = setup.targetCount > 0 || setup.topography.on > 0;
  setup.flipStep = degreesToRadians(setup.fine ? kFineFlipStepDegrees : kCoarseFlipStepDegrees);
  setup.depthStep = setup.fine ? 1 : 2;
  setup.pulseStep = setup.fine ? 1 : 2;
  setup.depths = VisitedIndices(setup.depthStep, setup.depthCount);
  setup.pulses = VisitedIndices(setup.pulseStep, kGridPoints);

  // Wires and grids.
  if (LoopWire(setup.tx.type, setup.tx.size, setup.txWire, setup.tx.halfSeparation) != 0) {
    return std::string("The transmitter loop type must be 1 to 4");
  }
  MakeSurfaceGrid(setup.tx.type, setup.tx.size, setup.txGrid, setup.tx.halfSeparation);
  if (setup.separateReceiver) {
    if (setup.rx.size > setup.tx.size) {
      setup.txGrid.radii[kSurfaceRadialNodes - 1] = 10.0 * setup.rx.size;
    }
    LoopWire(setup.rx.type, setup.rx.size, setup.rxWire, setup.rx.halfSeparation);
    MakeSurfaceGrid(setup.rx.type, setup.rx.size, setup.rxGrid, setup.rx.halfSeparation);
    setup.rxCentreX = setup.rx.shiftNorth;
    setup.rxCentreY = setup.rx.shiftEast;
  } else {
    setup.rx.turns = setup.tx.turns;
    setup.rxWire = setup.txWire;
    setup.rxGrid = setup.txGrid;
  }

  // 3D target. Mended: the index ranges are taken on the grid that is
  // integrated (the receiver's, centred on the receiver), with the outline
  // moved into that grid's frame; the point tests use the transmitter's frame
  // of the outline itself.
  if (setup.targetCount > 0) {
    for (std::size_t k = 0; k <= kTargetCornerCount; ++k) {
      setup.targetX[k] = setup.target.north[k];
      setup.targetY[k] = setup.target.east[k];
      setup.targetGridX[k] = setup.target.north[k] - setup.rxCentreX;
      setup.targetGridY[k] = setup.target.east[k] - setup.rxCentreY;
    }
    const std::vector<TargetOutline> inGrid{
        {Outline{setup.targetGridX, setup.targetGridY}, true, setup.target.top, setup.target.bottom}};
    setup.targetRanges.resize(inGrid.size());
    const auto angleCount = static_cast<std::size_t>(setup.rxGrid.angleCount);
    TargetIndexRanges(inGrid, std::span<const double>(setup.rxGrid.angles.data(), angleCount),
                      setup.rxGrid.radii, setup.grids.depths, setup.targetRanges);
    if (setup.depthCount == 1) {
      // The single-depth mode computes its one depth inside the outline.
      for (TargetIndexRange& range : setup.targetRanges) range.depth = {0, 0};
    }
    setup.windowFirst = setup.targetRanges.front().depth.first;
    setup.windowLast = setup.targetRanges.front().depth.last;
  }
  return std::nullopt;
}

}  // namespace kvo::core
