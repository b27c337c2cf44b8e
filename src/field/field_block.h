#pragma once
// The float-block entry point of the field component.
//
// Block of kFieldBlockSize IEEE single floats. Inputs, in order:
//   [0] wire segments S (S+1 vertices, the last equal to the first)
//   [1] layers L, [2] field points M   (counts: truncated toward zero)
//   [3] frequency (Hz, ≥ 0)
//   [4] current (A; 1.0 in use: the results are for this value)
//   [5] reserved, ignored
//   [6 ...] L pairs (layer bottom depth m, resistivity ohm-m), from the
//           surface down; the last layer is a half-space
//   then S+1 wire vertices x, y, z (m), all at one depth
//   then M field points x, y, z (m)
// Inputs take 6 + 2L + 3(S+1) + 3M floats, outputs 1 + 6M; both must fit.
// Outputs, written over the block only on success: [0] = 0, then per point
// in order Re Hx, Re Hy, Re Hz, Im Hx, Im Hy, Im Hz (A/m), time dependence
// e^{+iωt}. On failure [0] is set to a negative FieldStatus code (≤ −1) and
// nothing else is written. Physics and accuracy: layered_earth_field.h.
//
// The scratch path is accepted for compatibility with the callers' calling
// convention; this component needs no scratch file and never opens it.
// Safe to call from several threads at once on different blocks.

#include <cstddef>
#include <span>
#include <string_view>

namespace kvo::field {

inline constexpr std::size_t kFieldBlockSize = 1182;

void computeFieldBlock(std::span<float, kFieldBlockSize> block, std::string_view scratchPath);

}  // namespace kvo::field
