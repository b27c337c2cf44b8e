#include "kernel/water_model_fields.h"

#include "model/number_text.h"

namespace kvo::gui {

std::optional<std::string> readWaterModel(const std::vector<WaterLayerText>& rows,
                                          std::vector<core::WaterLayer>& layers) {
  std::vector<core::WaterLayer> read;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const WaterLayerText& row = rows[r];
    const std::string prefix = "Water model, layer " + std::to_string(r + 1) + ", ";
    core::WaterLayer layer;
    const std::pair<const std::string*, std::pair<const char*, double*>> cells[] = {
        {&row.top, {"top (m)", &layer.top}},
        {&row.bottom, {"bottom (m)", &layer.bottom}},
        {&row.content, {"water content", &layer.content}},
        {&row.t2, {"T2* (s)", &layer.t2}}};
    for (const auto& [text, field] : cells) {
      if (field.second == &layer.t2 && text->find_first_not_of(" \t") == std::string::npos) continue;
      if (auto message = core::readNumberField(*text, prefix + field.first, *field.second)) return message;
    }
    read.push_back(layer);
  }
  layers = std::move(read);
  return std::nullopt;
}

}  // namespace kvo::gui
