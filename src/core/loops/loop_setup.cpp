#include "loops/loop_setup.h"

namespace kvo::core {

int loopTypeFromText(std::string_view text) {
  for (std::size_t i = 0; i < kLoopTypeNames.size(); ++i) {
    if (text == kLoopTypeNames[i]) return static_cast<int>(i) + 1;
  }
  return 0;
}

int loopTypeCode(const LoopSetup& loop) {
  const double t = loop[kLoopType];
  // Truncation toward zero; NaN and values far outside the code range give 0.
  if (!(t > -5.0 && t < 5.0)) return 0;
  return static_cast<int>(t);
}

}  // namespace kvo::core
