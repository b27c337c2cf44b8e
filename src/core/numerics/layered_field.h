#pragma once
// ComputeLayeredField: the one way into the layered-earth field component.
//
// Packs the wire, the layers and the field points into the component's block
// of 1182 single-precision floats (every input rounded to the nearest float),
// calls its entry point with the block and the scratch-file path (the working
// folder followed by "zozada_zaruv.tmp"; the component never opens it), and
// unpacks the six values of each point: the real (in-phase) and imaginary
// (quadrature) parts of H (A/m), x, y, z, in point order.
//
// Status rule: block[0] truncated toward zero; below zero the call failed
// (-0.5 succeeds, -1.0 fails), and so does a status that is not a number.
// On failure nothing is written to the outputs and 1 is returned; else 0.
// A call whose counts do not fit the block (6 + 2L + 3(S+1) + 3M inputs,
// 1 + 6M outputs) or the given arrays fails the same way without calling the
// component.

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace kvo::core {

inline constexpr std::size_t kFieldBlockFloats = 1182;
inline constexpr std::string_view kFieldScratchFileName = "zozada_zaruv.tmp";

using FieldBlock = std::span<float, kFieldBlockFloats>;
// The component's entry point: (block, scratch path).
using FieldEntryPoint = void (*)(FieldBlock block, std::string_view scratchPath);

using SpaceVector = std::array<double, 3>;  // x, y, z

struct LayeredFieldRequest {
  int segmentCount = 0;                      // S; wire holds at least S+1 vertices
  double frequency = 0;                      // Hz
  double sourceStrength = 1.0;               // the results are for this value
  std::span<const SpaceVector> wire;         // closed polygon, vertex S == vertex 0
  int layerCount = 0;                        // L, the top layer included
  std::span<const double> resistivities;     // ohm-m, at least L
  std::span<const double> bottoms;           // m, at least L
  int pointCount = 0;                        // M; points holds at least M
  std::span<const SpaceVector> points;
  std::string_view workingFolder = ".";
};

// Outputs re[i] and im[i] for i < M (both spans at least M long).
int ComputeLayeredField(const LayeredFieldRequest& request, std::span<SpaceVector> re,
                        std::span<SpaceVector> im);

// The same with another entry point (tests stand in a component of their own).
int ComputeLayeredFieldUsing(FieldEntryPoint entry, const LayeredFieldRequest& request,
                             std::span<SpaceVector> re, std::span<SpaceVector> im);

}  // namespace kvo::core
