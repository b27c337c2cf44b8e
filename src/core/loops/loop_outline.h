#pragma once
// The display outline of both loops, drawn on every map of the program.
//
// Two arrays of 100 coordinates (East, North, metres): the transmitter's
// vertices from slot 0, the receiver's from slot 50. Each loop's vertices are
// consecutive and the last one closes the outline. Slots past a loop's last
// vertex keep whatever they held. The computation never uses this outline.

#include <array>

#include "loops/loop_setup.h"

namespace kvo::core {

struct LoopOutline {
  std::array<double, 100> outlineEast{};
  std::array<double, 100> outlineNorth{};
  // Segment counts of the outlines last plotted (30, 4, 32 or 9).
  int txSegmentCount = 0;
  int rxSegmentCount = 0;
};

inline constexpr int kTxOutlineIndex = 0;
inline constexpr int kRxOutlineIndex = 1;
inline constexpr int kOutlineBaseSlot[2] = {0, 50};

// Number of outline segments of a loop type (vertices - 1): 30 circular,
// 4 square, 32 eight, 9 eight square; 0 for any other code.
int outlineSegmentCount(int typeCode);

// Turns a point (east, north) by `azimuthDeg` degrees about the origin,
// clockwise seen from above: E' = E cos A + N sin A, N' = -E sin A + N cos A,
// so that north turned by +90 points east. Degrees become radians with the
// program's pi.
void turnPoint(double& east, double& north, double azimuthDeg);

// Writes the vertices of `loop` into `outline` from the base slot of
// `loopIndex` (0 Tx, 1 Rx): built in the loop's own frame, turned (the eights
// first by a fixed 90 degrees, then every type but the circle by the loop's
// azimuth), then shifted by the record's own shift. A type code outside 1..4
// or an index other than 0 or 1 writes nothing.
void buildLoopOutline(LoopOutline& outline, int loopIndex, const LoopSetup& loop);

}  // namespace kvo::core
