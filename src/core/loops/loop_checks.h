#pragma once
// The checks of the loop dialog, applied to the texts its fields hold.

#include <optional>
#include <string>

#include "loops/loop_setup.h"

namespace kvo::core {

// What the loop dialog shows: the type lists' texts and the edits' texts.
struct LoopDialogFields {
  std::string txType;
  std::string txSize;
  std::string txAzimuth;
  std::string txTurns;
  std::string txSeparation;
  bool rxEnabled = false;
  std::string rxType;
  std::string rxSize;
  std::string rxAzimuth;
  std::string rxTurns;
  std::string rxShiftNorth;
  std::string rxShiftEast;
  std::string rxSeparation;
};

// Reads the fields in a fixed order (Tx type, size, azimuth, turns,
// separation; then, when the receiver is enabled, Rx type, size, azimuth,
// turns, shift north, shift east, separation) and stores each value into `tx`
// or `rx` as soon as it has passed its closed-interval check. A type code is
// stored before its check, so a failing type leaves 0. The first failure ends
// the reading with its message; the values accepted before it stay stored,
// later slots keep their contents. A text that is not a number fails with a
// message naming the field. With the receiver disabled only the Rx type is
// set (to 0) and the Rx texts are not read.
std::optional<std::string> readLoopDialog(const LoopDialogFields& fields, LoopSetup& tx,
                                          LoopSetup& rx);

}  // namespace kvo::core
