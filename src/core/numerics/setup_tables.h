#pragma once
// Sounding set-up tables: the working values and series that a computation
// unpacks from the stored records before it starts.
//
// Every routine here is a pure function of its arguments (no shared state; safe
// to call from several threads at once) and is called once per computation.
//
// Conventions:
// - Reals that carry counts, codes or flags are truncated toward zero. Values a
//   damaged file could hold (NaN, +-1e300) never reach the integer conversion
//   unguarded: NaN reads as 0, and values are clamped to the range the routine
//   can use before the cast.
// - Angles in the records are degrees; radians are formed as x * (1/180) * pi
//   with the stored pi of numerics/constants.h.

#include <array>
#include <cstddef>

#include "loops/loop_setup.h"
#include "model/sounding_parameters.h"

namespace kvo::core {

// ---------------------------------------------------------------------------
// Layered earth

// Capacity of the layer arrays: the added top layer plus up to 7 user layers.
inline constexpr std::size_t kLayerArraySize = 8;
// Added top layer: the thin, practically insulating skin in which the loop
// wires lie (they sit at 0.01 m).
inline constexpr double kTopLayerBottom = 0.02;        // m
inline constexpr double kTopLayerResistivity = 1.0e8;  // ohm-m

struct LayerArrays {
  // L = N + 1: the top layer and the user's N layers, 1..8.
  int count = 0;
  // Depth of each layer's bottom (m) and its resistivity (ohm-m).
  std::array<double, kLayerArraySize> bottom{};
  std::array<double, kLayerArraySize> resistivity{};
};

// Entry 0 is the added top layer (0.02 m, 1e8 ohm-m); entries 1..N are the
// layers of `section` (bottom in slot 2k-1, resistivity in slot 2k); the
// remaining entries are 0. L = trunc(N) + 1, where N is clamped to 0..7 (the
// arrays hold 8 layers; NaN reads as 0).
LayerArrays BuildLayerArrays(const ResistivitySection& section);

// ---------------------------------------------------------------------------
// Loops

// The working values of one loop record.
struct UnpackedLoop {
  int type = 0;                 // loop type code (see LoopType); 0 for NaN or |code| >= 5
  double size = 0.0;            // m, the real size (the wire takes it in whole metres)
  int turns = 0;                // trunc(turns), saturated to the int range, NaN -> 0
  double shiftNorth = 0.0;      // m (receiver only; 0 for the transmitter)
  double shiftEast = 0.0;       // m (receiver only; 0 for the transmitter)
  double halfSeparation = 0.0;  // m, half the gap between the two parts of an eight
};

// Receiver loop: type, size, turns, both shifts and half the separation.
UnpackedLoop UnpackLoop(const LoopSetup& receiver);
// Transmitter loop: type, size, turns and half the separation. The
// transmitter's centre is the origin, so its shifts are not read (left 0).
UnpackedLoop UnpackLoopShort(const LoopSetup& transmitter);

// ---------------------------------------------------------------------------
// 3D target
//
// (Named UnpackedTarget, like UnpackedLoop: TargetOutline is the outline
// type of numerics/target_geometry.h, and the driver uses both.)

inline constexpr int kTargetCornerCount = 4;

struct UnpackedTarget {
  int targetCount = 0;  // trunc(enabled), saturated to the int range, NaN -> 0
  // Only when targetCount > 0 are the fields below filled; otherwise they stay 0.
  int cornerCount = 0;  // 4
  // Footprint corners 0..3 (m, after turning and shifting); corner 4 repeats
  // corner 0 so that the outline is closed.
  std::array<double, kTargetCornerCount + 1> north{};
  std::array<double, kTargetCornerCount + 1> east{};
  double top = 0.0;     // m, depth of the target's top
  double bottom = 0.0;  // m, depth of the target's bottom
};

UnpackedTarget UnpackTargetOutline(const TargetSetup& target);

// ---------------------------------------------------------------------------
// Depth and pulse-moment series

inline constexpr std::size_t kGridPoints = 100;
using DepthGrid = std::array<double, kGridPoints>;   // m
using MomentGrid = std::array<double, kGridPoints>;  // A-ms

struct SoundingGrids {
  double larmorFrequency = 0.0;  // Hz
  double inclination = 0.0;      // degrees; < 0 northern hemisphere
  double pulseDuration = 0.0;    // ms
  int harmonicsCount = 1;        // trunc(pulse harmonics code), 1 when that is 0
  DepthGrid depths{};
  MomentGrid pulseMoments{};
};

// Depth series D (m):
//   D[0] = max(|d|, 0.01), D[1] = 0, where d is the stored maximum depth.
//   Normal mode (d > 0), with h = max(d, 1.0) and t = i/99, i = 0..99:
//     D[i] = ((h - 0.05 - h/25)^(1/2.5) * t)^2.5 + (h/25) * t + 0.05,
//   a sum of a t^2.5 and a linear term, strictly increasing from 0.05 m to h.
//   Single-depth mode (d <= 0): only D[0] and D[1] are set, the rest is 0;
//   D[1] = 0 is how the computation recognises the mode.
// Pulse-moment series Q (A-ms), with qmax the maximum pulse moment:
//     Q[i] = ((qmax - 1 - qmax/500)^(1/4) * t)^4 + (qmax/500) * t + 1,
//   strictly increasing from 1 to qmax. Valid for qmax > 500/499 (stored
//   parameters hold 50..1e6); below that the fourth root gives NaN.
SoundingGrids MakeSoundingGrids(const ComputingParameters& computing);

// ---------------------------------------------------------------------------
// Topography

inline constexpr double kSurfaceHeightOffset = 0.02;  // m

struct Topography {
  int on = 0;                // trunc(enabled), saturated to the int range, NaN -> 0
  double azimuth = 0.0;      // rad, azimuth of the slope
  double inclination = 0.0;  // rad, inclination of the slope
  double height = 0.0;       // m, surface height offset: 0.02 with a slope, else 0
  // Unit normal of the sloping surface in the computation frame:
  // (-sin i cos a, -sin i sin a, cos i); (0, 0, 1) for flat ground.
  double nx = 0.0;
  double ny = 0.0;
  double nz = 1.0;
};

// Flat ground when the enabled slot is exactly 0, else the slope of the record
// (azimuth and inclination in degrees, -90..90).
Topography UnpackTopography(const SlopeSetup& slope);

// ---------------------------------------------------------------------------
// Frequency shift

struct FrequencyShiftOffsets {
  int count = 1;         // table points used: n + 1 (1 without a table)
  MomentGrid offsets{};  // rad/s, offset of the signal from the Larmor frequency per pulse moment
};

// Angular frequency offset per pulse moment, piecewise linear in the pulse
// moment through the n+1 table points (x_k, w_k), x_k the pulse moment of row k
// and w_k = 2 pi (f_k - larmorFrequency):
//   - the last point's moment is lowered to Q[99] when it lies beyond it;
//   - a moment Q uses the first segment [x_c, x_c+1] with Q <= x_c+1, or the
//     last segment when there is none, and the straight line through that
//     segment, also outside it (extrapolation below x_0 and beyond x_n).
// n = trunc(zone count) clamped to 0..9 (NaN reads as 0); n = 0 gives all-zero
// offsets. Rows are expected ascending by moment with distinct moments; equal
// moments in one segment give a division by zero (inf or NaN offsets).
FrequencyShiftOffsets FrequencyShiftProfile(const FrequencyShiftTable& table, double larmorFrequency,
                                            const MomentGrid& pulseMoments);

}  // namespace kvo::core
