#include "options/target_box.h"

#include <algorithm>

#include "model/number_text.h"

namespace kvo::core {

std::optional<std::string> readTargetTable(const TargetTableTexts& texts, TargetBox& box) {
  std::array<double, kTargetRowCount> values{};
  for (int row = 0; row < kTargetRowCount; ++row) {
    const auto r = static_cast<std::size_t>(row);
    if (auto message = readNumberField(texts[r], kTargetRowNames[r], values[r])) return message;
  }
  box = TargetBox{values[kRowWidthWE], values[kRowLengthSN], values[kRowHeight], values[kRowTop],
                  values[kRowAzimuth], values[kRowShiftSN],  values[kRowShiftWE]};
  return std::nullopt;
}

TargetTableTexts targetTableTexts(const TargetSetup& record) {
  TargetTableTexts texts;
  const bool inUse = record[kTargetEnabled] != 0;
  const double values[kTargetRowCount] = {
      record[kTargetWidthWE], record[kTargetLengthSN], record[kTargetBottom] - record[kTargetTop],
      record[kTargetTop],     record[kTargetAzimuth],  record[kTargetShiftSN],
      record[kTargetShiftWE]};
  for (std::size_t r = 0; r < texts.size(); ++r) texts[r] = formatOneDecimal(inUse ? values[r] : 0.0);
  return texts;
}

void computeTargetCorners(const TargetBox& box, TargetSetup& record) {
  record[kTargetEnabled] = 1.0;
  const double halfL = box.lengthSN / 2;
  const double halfW = box.widthWE / 2;
  const double north[4] = {-halfL, halfL, halfL, -halfL};
  const double east[4] = {-halfW, -halfW, halfW, halfW};
  for (int c = 0; c < 4; ++c) {
    double e = east[c];
    double n = north[c];
    turnPoint(e, n, box.azimuth);
    record[targetCornerNorthSlot(c)] = n + box.shiftSN;
    record[targetCornerEastSlot(c)] = e + box.shiftWE;
  }
  record[kTargetTop] = box.top;
  record[kTargetBottom] = box.height + box.top;
  record[kTargetWidthWE] = box.widthWE;
  record[kTargetLengthSN] = box.lengthSN;
  record[kTargetAzimuth] = box.azimuth;
  record[kTargetShiftSN] = box.shiftSN;
  record[kTargetShiftWE] = box.shiftWE;
}

namespace {

// Smallest and largest of the four corners' north (or east) values.
PlotRange cornerExtent(const TargetSetup& record, bool northValues) {
  PlotRange extent{1e8, -1e8};
  for (int c = 0; c < 4; ++c) {
    const double v = record[northValues ? targetCornerNorthSlot(c) : targetCornerEastSlot(c)];
    extent.minimum = std::min(extent.minimum, v);
    extent.maximum = std::max(extent.maximum, v);
  }
  return extent;
}

}  // namespace

std::vector<PlotPoint> targetOutline(const TargetSetup& record, TargetView view) {
  std::vector<PlotPoint> points;
  if (record[kTargetEnabled] == 0) return points;
  points.reserve(4 * kPointsPerSide);
  const double top = record[kTargetTop];
  const double bottom = record[kTargetBottom];
  switch (view) {
    case TargetView::Map: {
      auto corner = [&](int c) {
        return PlotPoint{record[targetCornerEastSlot(c)], record[targetCornerNorthSlot(c)]};
      };
      appendClosedOutline(points, {corner(0), corner(1), corner(2), corner(3)}, kPointsPerSide);
      break;
    }
    case TargetView::WestEast: {
      const PlotRange e = cornerExtent(record, false);
      appendClosedOutline(points,
                          {{e.minimum, top}, {e.maximum, top}, {e.maximum, bottom}, {e.minimum, bottom}},
                          kPointsPerSide);
      break;
    }
    case TargetView::SouthNorth: {
      const PlotRange s = cornerExtent(record, true);
      appendClosedOutline(points,
                          {{top, s.maximum}, {bottom, s.maximum}, {bottom, s.minimum}, {top, s.minimum}},
                          kPointsPerSide);
      break;
    }
  }
  return points;
}

std::vector<PlotPoint> loopExtentLine(const LoopOutline& outline, int baseSlot, int segmentCount,
                                      TargetView view) {
  if (view == TargetView::Map || segmentCount <= 0 || baseSlot < 0 || baseSlot + segmentCount > 100) {
    return {};
  }
  PlotRange extent{1e8, -1e8};
  const auto& coordinates = view == TargetView::WestEast ? outline.outlineEast : outline.outlineNorth;
  for (int i = 0; i < segmentCount; ++i) {
    const double v = coordinates[static_cast<std::size_t>(baseSlot + i)];
    extent.minimum = std::min(extent.minimum, v);
    extent.maximum = std::max(extent.maximum, v);
  }
  if (view == TargetView::WestEast) {
    return straightLine({extent.minimum, 0.0}, {extent.maximum, 0.0}, kPointsPerSide);
  }
  return straightLine({0.0, extent.minimum}, {0.0, extent.maximum}, kPointsPerSide);
}

PlotRange targetDepthRange(double height, double top) {
  const double depth = height + top;
  return orderedRange(-depth * 0.08, depth * 1.08);
}

}  // namespace kvo::core
