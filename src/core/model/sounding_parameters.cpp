#include "model/sounding_parameters.h"

namespace kvo::core {

SoundingParameters defaultSoundingParameters() {
  SoundingParameters p{};
  p.computing[kPulseHarmonics] = kPulseHarmonicsOn;
  p.section[kLayerCount] = 1.0;
  p.section[layerResistivitySlot(1)] = 10000.0;
  return p;
}

}  // namespace kvo::core
