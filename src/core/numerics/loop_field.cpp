#include "numerics/loop_field.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "numerics/loop_wire.h"

namespace kvo::core {

std::optional<std::string> ComputeLoopField(const LoopFieldRequest& r, std::vector<SpaceVector>& re,
                                            std::vector<SpaceVector>& im) {
  re.clear();
  im.clear();
  if (r.bottoms.empty() || r.bottoms.size() != r.resistivities.size() || r.bottoms.size() > 8) {
    return std::string("from 1 to 8 layers (bottom and resistivity each) are needed");
  }
  LoopWireShape wire;
  if (LoopWire(r.loopType, std::trunc(r.loopSize), wire, r.separation * 0.5) != 0) {
    return "cannot build the wire of loop type " + std::to_string(r.loopType);
  }
  const int layers = static_cast<int>(r.bottoms.size());
  const int segments = wire.segmentCount;
  const int perCall = std::min<int>((static_cast<int>(kFieldBlockFloats) - 1) / 6,
                                    (static_cast<int>(kFieldBlockFloats) - 6 - 2 * layers - 3 * (segments + 1)) / 3);
  std::vector<SpaceVector> outRe(r.points.size()), outIm(r.points.size());
  for (std::size_t first = 0; first < r.points.size(); first += static_cast<std::size_t>(perCall)) {
    const std::size_t count = std::min(r.points.size() - first, static_cast<std::size_t>(perCall));
    LayeredFieldRequest q;
    q.segmentCount = segments;
    q.frequency = r.frequency;
    q.wire = std::span<const SpaceVector>(wire.vertices.data(), static_cast<std::size_t>(segments) + 1);
    q.layerCount = layers;
    q.resistivities = r.resistivities;
    q.bottoms = r.bottoms;
    q.pointCount = static_cast<int>(count);
    q.points = std::span<const SpaceVector>(r.points).subspan(first, count);
    if (ComputeLayeredField(q, std::span(outRe).subspan(first, count), std::span(outIm).subspan(first, count)) != 0) {
      return "the field computation failed for points " + std::to_string(first + 1) + " to " +
             std::to_string(first + count);
    }
  }
  re = std::move(outRe);
  im = std::move(outIm);
  return std::nullopt;
}

}  // namespace kvo::core
