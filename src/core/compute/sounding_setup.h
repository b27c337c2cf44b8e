#pragma once
// The working set-up of one kernel computation: everything the field and
// kernel phases read, unpacked once from the sounding parameters and never
// changed afterwards (so every worker thread may read it at once).
//
// Frame: x North, y East, z depth (m, positive downward), origin at the
// transmitter loop's centre; angles from x towards y. A separate receiver
// has its own polar grid centred on its own centre (rxShiftNorth,
// rxShiftEast).
//
// Sampling: the fine mode (flip-angle step 0.5 degrees, every depth and
// every pulse moment) is used with a 3D target or sloping ground, the coarse
// mode (10 degrees, every second depth and pulse moment plus the last)
// otherwise.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "model/sounding_parameters.h"
#include "numerics/loop_wire.h"
#include "numerics/setup_tables.h"
#include "numerics/surface_grid.h"
#include "numerics/target_geometry.h"

namespace kvo::core {

// Constants of the kernel (SI units unless stated).
inline constexpr double kHalfGyromagneticRatio = 133759850.0;  // rad/(s T), flip-angle table
inline constexpr double kGyromagneticRatio = 267519700.0;      // rad/(s T), point response
inline constexpr double kMagnetisationFactor = 1920000.0;      // final scaling
inline constexpr double kFrequencyFactor = 0.0004;             // final scaling, per Hz
inline constexpr double kMillisecond = 0.001;                  // s per ms
inline constexpr double kHarmonicAmplitude = 1.0 / 6.0;        // of each pulse harmonic
inline constexpr double kHarmonicOffset = 80.0;                // Hz, of each pulse harmonic
inline constexpr double kMinimumRadialStep = 0.001;            // m, narrower cells are skipped
inline constexpr double kAreaFactor = 0.001;                   // of every cell area
inline constexpr double kFineFlipStepDegrees = 0.5;
inline constexpr double kCoarseFlipStepDegrees = 10.0;
inline constexpr double kMaximumTargetSubStep = 2.0;  // m, sub-step length with a target

// Index stepping: k = 0, s, 2s, ... while k < n + x (x = 0 for s = 1 or 3,
// else 1), each index taken as min(k, n - 1). For the steps used (1 and 2)
// the last index is always among them; s = 2, n = 100 gives 0, 2, ..., 98,
// 99 (51 indices).
std::vector<std::size_t> VisitedIndices(int step, std::size_t n);

struct SoundingSetup {
  SoundingSetup() = default;
  SoundingSetup(const SoundingSetup&) = delete;  // the target outlines view own arrays
  SoundingSetup& operator=(const SoundingSetup&) = delete;

  // Loops. For coincident loops (Rx type 0) rx copies tx's turns and the
  // receiver grid is the transmitter grid.
  UnpackedLoop tx;
  UnpackedLoop rx;
  bool separateReceiver = false;
  double txAzimuth = 0.0;  // degrees
  double rxAzimuth = 0.0;  // degrees
  double rxCentreX = 0.0;  // m, north of the transmitter's centre
  double rxCentreY = 0.0;  // m, east of it

  // Series and sounding values.
  SoundingGrids grids;           // frequency, inclination (degrees), pulse duration, h, series
  double inclination = 0.0;      // rad
  bool elliptical = false;
  std::size_t depthCount = 100;  // G: 100, or 1 in the single-depth mode
  FrequencyShiftOffsets shift;   // rad/s per pulse moment
  Topography topography;
  LayerArrays layers;

  // Sampling.
  bool fine = false;
  double flipStep = 0.0;  // rad
  int depthStep = 2;      // sD
  int pulseStep = 2;      // sP
  std::vector<std::size_t> depths;  // visited depth indices
  std::vector<std::size_t> pulses;  // visited pulse indices

  // Wires and grids (each in its loop's own frame).
  LoopWireShape txWire;
  LoopWireShape rxWire;
  SurfaceGrid txGrid;
  SurfaceGrid rxGrid;

  // 3D target: the outline in the transmitter's frame (for the point tests)
  // and in the frame of the receiver's grid (for its index ranges), and the
  // index ranges on the receiver's grid, which is the one integrated.
  UnpackedTarget target;
  int targetCount = 0;  // 0 or 1
  std::array<double, kTargetCornerCount + 1> targetX{};
  std::array<double, kTargetCornerCount + 1> targetY{};
  std::array<double, kTargetCornerCount + 1> targetGridX{};
  std::array<double, kTargetCornerCount + 1> targetGridY{};
  std::vector<TargetIndexRange> targetRanges;
  std::size_t windowFirst = 0;  // depth window of the first target
  std::size_t windowLast = 0;

  // The outlines for PointInTargets and PointInTargetBoxes (views of the
  // arrays above; `active` set for the depth index z).
  std::vector<TargetOutline> targetOutlines(std::size_t z) const;
  // True when depth index z lies in the first target's depth window (or
  // there is no target): the depths whose fields are computed.
  bool inDepthWindow(std::size_t z) const;
  // The number of targets whose depth range holds depth index z (1 without
  // a target), and 0 on sloping ground for depths above the ground's rise
  // across the transmitter, depth + 0.02 < sin|i| * txSize. The kernel of a
  // depth with flag 0 is zero.
  int depthFlag(std::size_t z) const;
};

// Unpacks `params` into `setup`. Returns the message of a set-up that cannot
// be computed (a loop type out of range, a loop whose size is below 1 m and
// so would have a wire of zero size, parameters that are not finite, a
// maximum pulse moment too small for the series); `setup` is then partly
// filled and must not be used.
std::optional<std::string> BuildSoundingSetup(const SoundingParameters& params,
                                              SoundingSetup& setup);

}  // namespace kvo::core
