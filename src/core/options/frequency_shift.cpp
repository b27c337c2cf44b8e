#include "options/frequency_shift.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "model/number_text.h"

namespace kvo::core {

int shiftZoneCount(const FrequencyShiftTable& record) {
  return std::clamp(truncatedPosition(record[kZoneCount]), 0, kMaxZones);
}

ShiftGrid shiftGridFromRecord(const FrequencyShiftTable& record) {
  const int zones = shiftZoneCount(record);
  const bool inUse = record[kZoneCount] != 0;
  ShiftGrid grid;
  for (int k = 0; k <= zones; ++k) {
    grid.push_back({formatOneDecimal(inUse ? record[shiftMomentSlot(k)] : 0.0),
                    formatOneDecimal(inUse ? record[shiftFrequencySlot(k)] : 0.0)});
  }
  return grid;
}

namespace {

std::string cellName(std::size_t row, std::string_view column) {
  return "Row " + std::to_string(row + 1) + ", " + std::string(column);
}

}  // namespace

std::optional<std::string> readShiftGrid(const ShiftGrid& grid, std::vector<ShiftRow>& rows) {
  std::vector<ShiftRow> values(grid.size());
  for (std::size_t r = 0; r < grid.size(); ++r) {
    if (auto m = readNumberField(grid[r].moment, cellName(r, kShiftMomentColumn), values[r].moment)) return m;
    if (auto m = readNumberField(grid[r].frequency, cellName(r, kShiftFrequencyColumn), values[r].frequency)) {
      return m;
    }
  }
  rows = std::move(values);
  return std::nullopt;
}

std::optional<std::string> sortShiftTable(ShiftGrid& grid) {
  if (grid.size() < 2) return std::nullopt;
  std::vector<ShiftRow> values;
  if (auto message = readShiftGrid(grid, values)) return message;
  // Each swap either moves a larger moment down past a smaller one, or
  // rounds a value that was not yet on the 0.1 grid; both can happen only
  // finitely often, so the passes end.
  bool swapped = true;
  while (swapped) {
    swapped = false;
    for (std::size_t r = 0; r + 1 < grid.size(); ++r) {
      if (!(values[r].moment > values[r + 1].moment)) continue;
      const ShiftRow movedDown = values[r];
      grid[r] = grid[r + 1];
      values[r] = values[r + 1];
      grid[r + 1] = {formatOneDecimal(movedDown.moment), formatOneDecimal(movedDown.frequency)};
      // The grid is read again by the next comparison: the rounded value counts.
      values[r + 1] = {*parseFieldNumber(grid[r + 1].moment), *parseFieldNumber(grid[r + 1].frequency)};
      swapped = true;
    }
  }
  return std::nullopt;
}

ShiftCurves shiftCurves(const std::vector<ShiftRow>& rows, double larmorFrequency, double maxPulseMoment) {
  ShiftCurves curves;
  if (rows.size() < 2) return curves;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    curves.table.push_back({rows[i].moment, rows[i].frequency + 0.001 * static_cast<double>(i)});
    curves.larmor.push_back({rows[i].moment, larmorFrequency});
  }
  const ShiftRow& a = rows[rows.size() - 2];
  const PlotPoint last = curves.table.back();
  double y = last.y;
  if (last.x != a.moment) {
    y = a.frequency + (maxPulseMoment - a.moment) * (last.y - a.frequency) / (last.x - a.moment);
  }
  curves.table.push_back({maxPulseMoment, y});
  curves.larmor.push_back({maxPulseMoment, larmorFrequency});
  return curves;
}

std::optional<std::string> drawShiftTable(ShiftGrid& grid, std::string_view larmorText,
                                          std::string_view maxMomentText, ShiftCurves& curves) {
  curves = {};
  if (grid.size() < 2) return std::nullopt;
  double larmor = 0.0;
  double maxMoment = 0.0;
  if (auto m = readNumberField(larmorText, "Larmor frequency (Hz)", larmor)) return m;
  if (auto m = readNumberField(maxMomentText, "Max. pulse moment (A-ms)", maxMoment)) return m;
  if (auto m = sortShiftTable(grid)) return m;
  std::vector<ShiftRow> rows;
  readShiftGrid(grid, rows);  // cannot fail: the sort has read every cell
  curves = shiftCurves(rows, larmor, maxMoment);
  return std::nullopt;
}

std::optional<std::string> storeShiftTable(ShiftGrid& grid, int zones, FrequencyShiftTable& record) {
  if (zones == 0) {
    std::fill_n(record.begin(), kFrequencyShiftUsedSlots, 0.0);
    return std::nullopt;
  }
  if (auto m = sortShiftTable(grid)) return m;
  std::vector<ShiftRow> rows;
  if (auto m = readShiftGrid(grid, rows)) return m;  // a single row is not sorted, so not yet read
  record[kZoneCount] = zones;
  for (std::size_t slot = 1; slot < kFrequencyShiftUsedSlots; ++slot) record[slot] = 0.0;
  const std::size_t stored = std::min<std::size_t>(rows.size(), kMaxZones + 1);
  for (std::size_t k = 0; k < stored; ++k) {
    record[shiftMomentSlot(static_cast<int>(k))] = rows[k].moment;
    record[shiftFrequencySlot(static_cast<int>(k))] = rows[k].frequency;
  }
  return std::nullopt;
}

}  // namespace kvo::core
