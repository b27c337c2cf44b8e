#include "loops/loop_outline.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kvo::core {
namespace {

constexpr double kTol = 1e-6;

LoopSetup loop(int type, double size, double azimuth = 0, double separation = 0,
               double shiftNorth = 0, double shiftEast = 0) {
  LoopSetup l{};
  l[kLoopType] = type;
  l[kLoopSize] = size;
  l[kLoopAzimuth] = azimuth;
  l[kLoopTurns] = 1;
  l[kLoopShiftNorth] = shiftNorth;
  l[kLoopShiftEast] = shiftEast;
  l[kLoopSeparation] = separation;
  return l;
}

struct Vertex {
  double east, north;
};

Vertex at(const LoopOutline& o, int slot) {
  return {o.outlineEast[static_cast<std::size_t>(slot)], o.outlineNorth[static_cast<std::size_t>(slot)]};
}

void expectAt(const LoopOutline& o, int slot, double east, double north) {
  const Vertex v = at(o, slot);
  EXPECT_NEAR(v.east, east, kTol) << "slot " << slot;
  EXPECT_NEAR(v.north, north, kTol) << "slot " << slot;
}

TEST(TurnPoint, NorthTurnedByNinetyPointsEast) {
  double e = 0, n = 1;
  turnPoint(e, n, 90);
  EXPECT_NEAR(e, 1, 1e-9);
  EXPECT_NEAR(n, 0, 1e-9);
  e = 3, n = 4;
  turnPoint(e, n, 37);
  EXPECT_NEAR(std::hypot(e, n), 5, 1e-12);  // a turn keeps lengths
}

TEST(BuildLoopOutline, SquareHasItsCornersOnTheAxes) {
  LoopOutline o;
  buildLoopOutline(o, kTxOutlineIndex, loop(2, 10));
  const double h = 10 * std::sqrt(2.0) / 2;
  expectAt(o, 0, -h, 0);
  expectAt(o, 1, 0, h);
  expectAt(o, 2, h, 0);
  expectAt(o, 3, 0, -h);
  expectAt(o, 4, -h, 0);
  EXPECT_NEAR(h, 7.0711, 1e-4);
}

TEST(BuildLoopOutline, SquareAtFortyFiveDegreesHasAxisParallelSides) {
  LoopOutline o;
  buildLoopOutline(o, kTxOutlineIndex, loop(2, 10, 45));
  for (int i = 0; i < 4; ++i) {
    const Vertex a = at(o, i), b = at(o, i + 1);
    const bool eastWest = std::fabs(a.north - b.north) < kTol;
    const bool northSouth = std::fabs(a.east - b.east) < kTol;
    EXPECT_TRUE(eastWest != northSouth) << "side " << i;
    EXPECT_NEAR(std::hypot(a.east - b.east, a.north - b.north), 10, kTol);
  }
}

TEST(BuildLoopOutline, CircleIgnoresAzimuthAndIsClosed) {
  LoopOutline a, b;
  buildLoopOutline(a, kTxOutlineIndex, loop(1, 100, 0));
  buildLoopOutline(b, kTxOutlineIndex, loop(1, 100, 90));
  for (int i = 0; i <= 30; ++i) {
    expectAt(b, i, at(a, i).east, at(a, i).north);
    EXPECT_NEAR(std::hypot(at(a, i).east, at(a, i).north), 50, kTol);
  }
  expectAt(a, 0, 50, 0);
  EXPECT_GT(at(a, 1).north, 0);  // second vertex north of east
  expectAt(a, 30, 50, 0);
}

TEST(BuildLoopOutline, EightHasItsFirstCircleNorth) {
  LoopOutline o;
  buildLoopOutline(o, kTxOutlineIndex, loop(3, 10, 0, 0));
  for (int slot : {15, 16, 17}) expectAt(o, slot, 0, 0);  // the parts touch at the centre
  // Vertices 0..15 lie on the circle of radius 5 about (0, 5), 17..32 about (0, -5).
  for (int i = 0; i <= 15; ++i) {
    EXPECT_NEAR(std::hypot(at(o, i).east, at(o, i).north - 5), 5, kTol) << i;
    EXPECT_NEAR(std::hypot(at(o, 17 + i).east, at(o, 17 + i).north + 5), 5, kTol) << i;
  }
  expectAt(o, 32, 0, 0);
}

TEST(BuildLoopOutline, EightSquareWithSeparation) {
  LoopOutline o;
  buildLoopOutline(o, kTxOutlineIndex, loop(4, 10, 0, 2));
  expectAt(o, 0, 0, -1);
  expectAt(o, 4, 0, -1);
  expectAt(o, 5, 0, 1);
  expectAt(o, 9, 0, 1);
  EXPECT_NEAR(at(o, 2).north, -15.142, 1e-3);  // the first square lies south
  EXPECT_NEAR(at(o, 7).north, 15.142, 1e-3);
}

TEST(BuildLoopOutline, NegativeSeparationMovesThePartsAcross) {
  LoopOutline o;
  buildLoopOutline(o, kTxOutlineIndex, loop(4, 10, 0, -2));
  expectAt(o, 0, 0, 1);
  expectAt(o, 5, 0, -1);
}

TEST(BuildLoopOutline, ReceiverGoesFromSlotFiftyWithItsShift) {
  LoopOutline o;
  o.outlineEast.fill(123.0);
  buildLoopOutline(o, kRxOutlineIndex, loop(2, 10, 0, 0, 20, -30));
  const double h = 10 * std::sqrt(2.0) / 2;
  expectAt(o, 50, -h - 30, 20);
  expectAt(o, 52, h - 30, 20);
  EXPECT_EQ(o.outlineEast[55], 123.0);  // beyond the last vertex: untouched
  EXPECT_EQ(o.outlineEast[0], 123.0);   // the Tx part: untouched
}

TEST(BuildLoopOutline, UnknownTypesAndIndicesWriteNothing) {
  for (double type : {0.0, 5.0, -1.0, 1e300, std::nan("")}) {
    LoopOutline o;
    o.outlineNorth.fill(7.0);
    LoopSetup l = loop(1, 10);
    l[kLoopType] = type;
    buildLoopOutline(o, kTxOutlineIndex, l);
    EXPECT_EQ(o.outlineNorth[0], 7.0) << type;
  }
  LoopOutline o;
  buildLoopOutline(o, 2, loop(1, 10));
  EXPECT_EQ(o.outlineEast[0], 0.0);
}

TEST(BuildLoopOutline, VertexCountsMatchSegmentCounts) {
  for (int type = 1; type <= 4; ++type) {
    LoopOutline o;
    o.outlineEast.fill(999.0);
    buildLoopOutline(o, kTxOutlineIndex, loop(type, 10, 0, 1));
    const int vertices = outlineSegmentCount(type) + 1;
    EXPECT_NE(o.outlineEast[static_cast<std::size_t>(vertices - 1)], 999.0) << type;
    EXPECT_EQ(o.outlineEast[static_cast<std::size_t>(vertices)], 999.0) << type;
  }
  EXPECT_EQ(outlineSegmentCount(0), 0);
}

TEST(LoopTypeFromText, MatchesOnlyTheExactNames) {
  EXPECT_EQ(loopTypeFromText("circular (type 1)"), 1);
  EXPECT_EQ(loopTypeFromText("square (type 2)"), 2);
  EXPECT_EQ(loopTypeFromText("eight (type 3)"), 3);
  EXPECT_EQ(loopTypeFromText("eight square (type 4)"), 4);
  for (const char* text : {"Circular (type 1)", "circular (type 1) ", "circular(type 1)", "",
                           "Select Tx loop", "eight square"}) {
    EXPECT_EQ(loopTypeFromText(text), 0) << text;
  }
}

}  // namespace
}  // namespace kvo::core
