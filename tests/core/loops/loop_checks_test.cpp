#include "loops/loop_checks.h"

#include <gtest/gtest.h>

#include <functional>

namespace kvo::core {
namespace {

LoopDialogFields validFields() {
  LoopDialogFields f;
  f.txType = "square (type 2)";
  f.txSize = "50";
  f.txAzimuth = "10";
  f.txTurns = "2";
  f.txSeparation = "0";
  f.rxEnabled = true;
  f.rxType = "circular (type 1)";
  f.rxSize = "40";
  f.rxAzimuth = "0";
  f.rxTurns = "1";
  f.rxShiftNorth = "5";
  f.rxShiftEast = "-5";
  f.rxSeparation = "0";
  return f;
}

const std::string kSep = "Tx: separation between the parts of 8 is wrong (-1000m < separation < 1000m)";

struct Bound {
  std::string LoopDialogFields::*field;
  const char* accepted[2];
  const char* refused[3];
  std::string message;
};

TEST(ReadLoopDialog, BoundsAreInclusiveAndJustBeyondFails) {
  const Bound bounds[] = {
      {&LoopDialogFields::txSize, {"0.1", "500"}, {"0.0999", "500.01", "-1"}, "Tx size is wrong (0.1m < size < 500m)"},
      {&LoopDialogFields::txAzimuth, {"-360", "360"}, {"360.5", "-360.5", "1e4"}, "Tx azimuth is wrong (-360\u00B0 < azimuth < 360\u00B0)"},
      {&LoopDialogFields::txTurns, {"1", "50000"}, {"50000.5", "0.99", "0"}, "Tx number of turns is wrong (1 < turns < 50000)"},
      {&LoopDialogFields::txSeparation, {"-1000", "1000"}, {"1000.1", "-1000.1", "1e9"}, kSep},
      {&LoopDialogFields::rxSize, {"0.1", "500"}, {"0.0999", "500.01", "0"}, "Rx size is wrong (0.1m < size < 500m)"},
      {&LoopDialogFields::rxAzimuth, {"-360", "360"}, {"360.5", "-361", "720"}, "Rx azimuth is wrong (-360\u00B0 < azimuth < 360\u00B0)"},
      {&LoopDialogFields::rxTurns, {"1", "50000"}, {"50000.5", "0.5", "-3"}, "Rx number of turns is wrong (1 < turns < 50000)"},
      {&LoopDialogFields::rxShiftNorth, {"-1000", "1000"}, {"1000.01", "-1001", "5000"}, "Rx shift (Nord) is wrong (-1000m < shift < 1000m)"},
      {&LoopDialogFields::rxShiftEast, {"-1000", "1000"}, {"1000.01", "-1001", "5000"}, "Rx shift (East) is wrong (-1000m < shift < 1000m)"},
      {&LoopDialogFields::rxSeparation, {"-1000", "1000"}, {"1000.01", "-1001", "5000"}, kSep},
  };
  for (const auto& b : bounds) {
    for (const char* text : b.accepted) {
      LoopDialogFields f = validFields();
      f.*b.field = text;
      LoopSetup tx{}, rx{};
      EXPECT_FALSE(readLoopDialog(f, tx, rx).has_value()) << b.message << " at " << text;
    }
    for (const char* text : b.refused) {
      LoopDialogFields f = validFields();
      f.*b.field = text;
      LoopSetup tx{}, rx{};
      EXPECT_EQ(readLoopDialog(f, tx, rx), b.message) << text;
    }
  }
}

TEST(ReadLoopDialog, StoresEveryValueWhenAllPass) {
  LoopSetup tx{}, rx{};
  tx[kLoopShiftNorth] = 3.0;  // the Tx shift is not edited by the dialog
  ASSERT_FALSE(readLoopDialog(validFields(), tx, rx).has_value());
  EXPECT_EQ(tx[kLoopType], 2);
  EXPECT_EQ(tx[kLoopSize], 50);
  EXPECT_EQ(tx[kLoopAzimuth], 10);
  EXPECT_EQ(tx[kLoopTurns], 2);
  EXPECT_EQ(tx[kLoopShiftNorth], 3.0);
  EXPECT_EQ(rx[kLoopType], 1);
  EXPECT_EQ(rx[kLoopSize], 40);
  EXPECT_EQ(rx[kLoopShiftNorth], 5);
  EXPECT_EQ(rx[kLoopShiftEast], -5);
}

TEST(ReadLoopDialog, KeepsWhatPassedBeforeTheFailureAndNothingAfter) {
  LoopDialogFields f = validFields();
  f.txTurns = "0";  // fails after type, size and azimuth
  LoopSetup tx{}, rx{};
  tx.fill(-7.0);
  EXPECT_EQ(readLoopDialog(f, tx, rx), "Tx number of turns is wrong (1 < turns < 50000)");
  EXPECT_EQ(tx[kLoopType], 2);
  EXPECT_EQ(tx[kLoopSize], 50);
  EXPECT_EQ(tx[kLoopAzimuth], 10);
  EXPECT_EQ(tx[kLoopTurns], -7.0);
  EXPECT_EQ(tx[kLoopSeparation], -7.0);
  EXPECT_EQ(rx[kLoopType], 0.0);  // the receiver is never reached
}

TEST(ReadLoopDialog, TypeIsStoredBeforeItsCheck) {
  for (const char* text : {"Square (type 2)", "square  (type 2)", "", "Select Tx loop"}) {
    LoopDialogFields f = validFields();
    f.txType = text;
    LoopSetup tx{}, rx{};
    tx[kLoopType] = 3;
    tx[kLoopSize] = 9;
    EXPECT_EQ(readLoopDialog(f, tx, rx), "Select Tx loop");
    EXPECT_EQ(tx[kLoopType], 0);
    EXPECT_EQ(tx[kLoopSize], 9);
  }
  LoopDialogFields f = validFields();
  f.rxType = "circular";
  LoopSetup tx{}, rx{};
  rx[kLoopType] = 1;
  EXPECT_EQ(readLoopDialog(f, tx, rx), "Select Rx loop");
  EXPECT_EQ(rx[kLoopType], 0);
}

TEST(ReadLoopDialog, DisabledReceiverIsNotRead) {
  LoopDialogFields f = validFields();
  f.rxEnabled = false;
  f.rxType = "nonsense";
  f.rxSize = "not a number";
  f.rxShiftEast = "99999";
  LoopSetup tx{}, rx{};
  rx.fill(4.0);
  ASSERT_FALSE(readLoopDialog(f, tx, rx).has_value());
  EXPECT_EQ(rx[kLoopType], 0.0);
  for (std::size_t i = 1; i < rx.size(); ++i) EXPECT_EQ(rx[i], 4.0) << i;
}

TEST(ReadLoopDialog, TextThatIsNotANumberNamesTheField) {
  LoopDialogFields f = validFields();
  f.rxAzimuth = "north";
  LoopSetup tx{}, rx{};
  EXPECT_EQ(readLoopDialog(f, tx, rx), "Rx azimuth: \"north\" is not a number");
  EXPECT_EQ(rx[kLoopSize], 40);  // read before the failing field
  f = validFields();
  f.txSize = "nan";
  EXPECT_EQ(readLoopDialog(f, tx, rx), "Tx size: \"nan\" is not a number");
}

TEST(ReadLoopDialog, SeparationIsCheckedForEveryType) {
  LoopDialogFields f = validFields();
  f.txType = "circular (type 1)";
  f.txSeparation = "-2000";
  LoopSetup tx{}, rx{};
  EXPECT_EQ(readLoopDialog(f, tx, rx), kSep);
  f.txSeparation = "-20";
  ASSERT_FALSE(readLoopDialog(f, tx, rx).has_value());
  EXPECT_EQ(tx[kLoopSeparation], -20);
}

}  // namespace
}  // namespace kvo::core
