#pragma once
// The record of one wire loop (transmitter or receiver) and the names of its slots.
//
// Ten doubles; slots 0..6 carry meaning and are stored in parameter files,
// slots 7..9 are neither read nor written. Every value is a double, also the
// type code and the number of turns (both read by truncation toward zero).
//
// Coordinates: East, North in metres, origin at the transmitter loop's
// centre; an azimuth is measured from North towards East in degrees.

#include <array>
#include <cstddef>
#include <string_view>

namespace kvo::core {

using LoopSetup = std::array<double, 10>;

inline constexpr std::size_t kLoopType = 0;        // 0 none, 1 circular, 2 square, 3 eight, 4 eight square
inline constexpr std::size_t kLoopSize = 1;        // m: diameter, side, or size of each part of an eight
inline constexpr std::size_t kLoopAzimuth = 2;     // degrees, turn about the loop's centre
inline constexpr std::size_t kLoopTurns = 3;       // number of turns (real, truncated by the computation)
inline constexpr std::size_t kLoopShiftNorth = 4;  // m, centre north of the origin
inline constexpr std::size_t kLoopShiftEast = 5;   // m, centre east of the origin
inline constexpr std::size_t kLoopSeparation = 6;  // m, gap between the two parts of an eight
inline constexpr std::size_t kLoopUsedSlots = 7;   // slots stored in parameter files

// Loop type codes.
enum class LoopType : int { None = 0, Circular = 1, Square = 2, Eight = 3, EightSquare = 4 };

// The exact item texts of the loop type lists, indexed by type code 1..4.
inline constexpr std::array<std::string_view, 4> kLoopTypeNames = {
    "circular (type 1)", "square (type 2)", "eight (type 3)", "eight square (type 4)"};

// Type code 1..4 when `text` equals one of the type names exactly
// (case-sensitive, whole text), else 0.
int loopTypeFromText(std::string_view text);

// The type code of a record, truncated toward zero (NaN and huge values give 0).
int loopTypeCode(const LoopSetup& loop);

}  // namespace kvo::core
