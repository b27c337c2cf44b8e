#include "loops/loop_checks.h"

#include <string_view>

#include "model/number_text.h"

namespace kvo::core {
namespace {

// One numeric field of the dialog: its name in messages, its slot, its closed range.
struct FieldRule {
  std::string_view fieldName;
  std::size_t slot;
  double low;
  double high;
  std::string_view message;
};

constexpr std::string_view kSeparationMessage =
    "Tx: separation between the parts of 8 is wrong (-1000m < separation < 1000m)";

// Converts and checks one field; stores the value when it passed.
std::optional<std::string> readField(std::string_view text, const FieldRule& rule,
                                     LoopSetup& loop) {
  double value = 0.0;
  if (auto error = readNumberField(text, rule.fieldName, value)) return error;
  if (!inClosedRange(value, rule.low, rule.high)) return std::string(rule.message);
  loop[rule.slot] = value;
  return std::nullopt;
}

}  // namespace

std::optional<std::string> readLoopDialog(const LoopDialogFields& fields, LoopSetup& tx,
                                          LoopSetup& rx) {
  tx[kLoopType] = loopTypeFromText(fields.txType);
  if (tx[kLoopType] == 0) return std::string("Select Tx loop");

  const std::pair<const std::string*, FieldRule> txRules[] = {
      {&fields.txSize, {"Tx size", kLoopSize, 0.1, 500, "Tx size is wrong (0.1m < size < 500m)"}},
      {&fields.txAzimuth,
       {"Tx azimuth", kLoopAzimuth, -360, 360, "Tx azimuth is wrong (-360\u00B0 < azimuth < 360\u00B0)"}},
      {&fields.txTurns,
       {"Tx turns", kLoopTurns, 1, 50000, "Tx number of turns is wrong (1 < turns < 50000)"}},
      {&fields.txSeparation,
       {"Tx 8-loop separation", kLoopSeparation, -1000, 1000, kSeparationMessage}},
  };
  for (const auto& [text, rule] : txRules) {
    if (auto error = readField(*text, rule, tx)) return error;
  }

  if (!fields.rxEnabled) {
    rx[kLoopType] = 0.0;
    return std::nullopt;
  }
  rx[kLoopType] = loopTypeFromText(fields.rxType);
  if (rx[kLoopType] == 0) return std::string("Select Rx loop");

  // The receiver's separation check reports the transmitter's message, as the
  // dialog always has.
  const std::pair<const std::string*, FieldRule> rxRules[] = {
      {&fields.rxSize, {"Rx size", kLoopSize, 0.1, 500, "Rx size is wrong (0.1m < size < 500m)"}},
      {&fields.rxAzimuth,
       {"Rx azimuth", kLoopAzimuth, -360, 360, "Rx azimuth is wrong (-360\u00B0 < azimuth < 360\u00B0)"}},
      {&fields.rxTurns,
       {"Rx turns", kLoopTurns, 1, 50000, "Rx number of turns is wrong (1 < turns < 50000)"}},
      {&fields.rxShiftNorth,
       {"Rx shift N-S", kLoopShiftNorth, -1000, 1000, "Rx shift (Nord) is wrong (-1000m < shift < 1000m)"}},
      {&fields.rxShiftEast,
       {"Rx shift W-E", kLoopShiftEast, -1000, 1000, "Rx shift (East) is wrong (-1000m < shift < 1000m)"}},
      {&fields.rxSeparation,
       {"Rx 8-loop separation", kLoopSeparation, -1000, 1000, kSeparationMessage}},
  };
  for (const auto& [text, rule] : rxRules) {
    if (auto error = readField(*text, rule, rx)) return error;
  }
  return std::nullopt;
}

}  // namespace kvo::core
