#pragma once
// The field of a unit current in a loop's wire (built as a computation
// builds it) over a layered earth, at any number of points: the component
// is called with as many points as its block holds at a time.

#include <optional>
#include <string>
#include <vector>

#include "numerics/layered_field.h"

namespace kvo::core {

struct LoopFieldRequest {
  double frequency = 0.0;             // Hz
  std::vector<double> bottoms;        // m, the thin top layer first; the last layer is a half-space
  std::vector<double> resistivities;  // ohm-m
  int loopType = 1;                   // 1 circle, 2 square, 3 eight, 4 square eight
  double loopSize = 0.0;              // m (whole metres, as a computation takes it)
  double separation = 0.0;            // m, between the parts of an eight
  std::vector<SpaceVector> points;    // m, z down
};

// The in-phase and quadrature fields (A/m per A) at the points. On failure
// returns the message (a loop that cannot be built, the component failing
// for a range of points) and leaves re and im empty.
std::optional<std::string> ComputeLoopField(const LoopFieldRequest& request, std::vector<SpaceVector>& re,
                                            std::vector<SpaceVector>& im);

}  // namespace kvo::core
