#pragma once
// The water-model table of the kernel window as texts, and its reading into
// the layers of the forward model (forward_model.h): every cell must be a
// number, except T2*, which may be left empty for no decay.

#include <optional>
#include <string>
#include <vector>

#include "kernel/forward_model.h"

namespace kvo::gui {

struct WaterLayerText {
  std::string top;      // m
  std::string bottom;   // m
  std::string content;  // fraction 0..1
  std::string t2;       // s, empty for none
};

// The numbers of `rows`, or the message naming the row and the column of
// the first cell that is not a number; `layers` is then unchanged.
std::optional<std::string> readWaterModel(const std::vector<WaterLayerText>& rows,
                                          std::vector<core::WaterLayer>& layers);

}  // namespace kvo::gui
