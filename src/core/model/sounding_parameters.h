#pragma once
// The complete description of one forward computation: both loops, the
// computing parameters, the layered resistivity section and the three
// optional model records (3D target, topography, frequency shift).
//
// Every record is a fixed-size array of doubles, also where a value is a
// code, a count or a flag. Signs carry switches: a negative inclination means
// the northern hemisphere, a negative maximum depth the single-depth mode.

#include <array>
#include <cstddef>

#include "loops/loop_setup.h"

namespace kvo::core {

// ComputingParameters: 10 slots, 7 used.
using ComputingParameters = std::array<double, 10>;
inline constexpr std::size_t kLarmorFrequency = 0;          // Hz
inline constexpr std::size_t kInclination = 1;              // degrees; < 0 northern hemisphere
inline constexpr std::size_t kMaxDepth = 2;                 // m; < 0 single-depth mode
inline constexpr std::size_t kPulseDuration = 3;            // ms
inline constexpr std::size_t kMaxPulseMoment = 4;           // A-ms
inline constexpr std::size_t kPulseHarmonics = 5;           // 3.0 on, 0.0 off
inline constexpr std::size_t kEllipticalPolarisation = 6;   // 1.0 on, 0.0 off
inline constexpr std::size_t kComputingUsedSlots = 7;
inline constexpr double kPulseHarmonicsOn = 3.0;

// ResistivitySection: 30 slots, 13 used. Slot 0 holds the number of layers N
// (1..6); layer k = 1..N has its bottom depth ("To", m) in slot 2k-1 and its
// resistivity (ohm-m) in slot 2k. The top of layer 1 is 0 m.
using ResistivitySection = std::array<double, 30>;
inline constexpr std::size_t kLayerCount = 0;
inline constexpr std::size_t kSectionUsedSlots = 13;
inline constexpr int kMaxLayers = 6;
constexpr std::size_t layerBottomSlot(int layer) { return static_cast<std::size_t>(2 * layer - 1); }
constexpr std::size_t layerResistivitySlot(int layer) { return static_cast<std::size_t>(2 * layer); }

// TargetSetup (3D target): 30 slots, 16 used.
using TargetSetup = std::array<double, 30>;
inline constexpr std::size_t kTargetEnabled = 0;
// Footprint corner k = 0..3 after turning and shifting: north in 1+2k, east in 2+2k.
constexpr std::size_t targetCornerNorthSlot(int corner) { return static_cast<std::size_t>(1 + 2 * corner); }
constexpr std::size_t targetCornerEastSlot(int corner) { return static_cast<std::size_t>(2 + 2 * corner); }
inline constexpr std::size_t kTargetTop = 9;        // depth, m
inline constexpr std::size_t kTargetBottom = 10;    // depth, m
inline constexpr std::size_t kTargetWidthWE = 11;   // m
inline constexpr std::size_t kTargetLengthSN = 12;  // m
inline constexpr std::size_t kTargetAzimuth = 13;   // degrees
inline constexpr std::size_t kTargetShiftSN = 14;   // m, centre
inline constexpr std::size_t kTargetShiftWE = 15;   // m, centre
inline constexpr std::size_t kTargetUsedSlots = 16;

// SlopeSetup (topography): 30 slots, 3 used.
using SlopeSetup = std::array<double, 30>;
inline constexpr std::size_t kSlopeEnabled = 0;      // 1.0 in use
inline constexpr std::size_t kSlopeAzimuth = 1;      // degrees, -90..90
inline constexpr std::size_t kSlopeInclination = 2;  // degrees, -90..90
inline constexpr std::size_t kSlopeUsedSlots = 3;

// FrequencyShiftTable: 30 slots, 21 used. Slot 0 holds the zone count n
// (0..9, 0 = no shift); row k = 0..n has its pulse moment (A-ms) in slot 1+2k
// and its signal frequency (Hz) in slot 2+2k, rows ascending by moment.
using FrequencyShiftTable = std::array<double, 30>;
inline constexpr std::size_t kZoneCount = 0;
constexpr std::size_t shiftMomentSlot(int row) { return static_cast<std::size_t>(1 + 2 * row); }
constexpr std::size_t shiftFrequencySlot(int row) { return static_cast<std::size_t>(2 + 2 * row); }
inline constexpr std::size_t kFrequencyShiftUsedSlots = 21;

struct SoundingParameters {
  LoopSetup tx{};
  LoopSetup rx{};
  ComputingParameters computing{};
  ResistivitySection section{};
  TargetSetup target{};
  SlopeSetup slope{};
  FrequencyShiftTable frequencyShift{};

  friend bool operator==(const SoundingParameters&, const SoundingParameters&) = default;
};

// The values at start-up, before the working parameter file is read: every
// value 0, except pulse harmonics on (3.0) and one layer of 10 000 ohm-m.
SoundingParameters defaultSoundingParameters();

}  // namespace kvo::core
