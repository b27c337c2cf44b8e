#pragma once
// Stand-ins for the layered-earth field component, behind its float-block
// entry point, and the free-space fields they are made of. They are the
// independent references of the kernel tests: the free-space field is the
// exact limit of the layered earth's field when the earth does not conduct.
//
// Entry points are plain functions, so their settings and call counters are
// globals of the tests (atomics: the driver calls them from several threads).

#include <array>
#include <atomic>
#include <span>
#include <string_view>
#include <vector>

#include "numerics/layered_field.h"

namespace kvo::core::testing {

using Vec = std::array<double, 3>;

// H (A/m) of the closed polygon `wire` carrying 1 A at `p`, free space:
// the sum over its straight segments (Biot-Savart, closed form per segment).
Vec polygonField(std::span<const Vec> wire, const Vec& p);

// H (A/m) of a circular loop of radius a at depth z0, centred on the z axis,
// 1 A from x towards y, at `p`: complete elliptic integrals (Smythe).
Vec circleField(double a, double z0, const Vec& p);

// The block decoded.
struct DecodedBlock {
  int segments = 0;
  int layers = 0;
  int points = 0;
  double frequency = 0.0;
  std::vector<double> bottoms, resistivities;
  std::vector<Vec> wire, fieldPoints;
};
DecodedBlock decodeBlock(std::span<const float> block);
// Writes status 0 and the fields of every point.
void encodeFields(std::span<float> block, const std::vector<Vec>& re, const std::vector<Vec>& im);

// Counters of every entry point below.
extern std::atomic<int> g_calls;
// A call number (counted from 1) at which the failing entry fails; 0: never.
extern std::atomic<int> g_failAtCall;
// Skin depth (m) of the conductive entry point.
extern std::atomic<double> g_skinDepth;

// Free-space field of the polygon, no imaginary part.
void freeSpaceEntry(FieldBlock block, std::string_view path);
// Free-space field of the exact circle through the polygon's vertices (a
// circular loop's 30-gon read as the circle it stands for).
void exactCircleEntry(FieldBlock block, std::string_view path);
// A conducting earth in caricature: the model field is the free-space field
// H times exp(-(1 + i) z/delta) (z the point's depth, delta the skin depth),
// its imaginary part with the horizontal components doubled, so that its
// phase turns with depth and it is elliptically polarised; the reference
// earth (one layer) gives the free-space field. It keeps the loops' mirror
// symmetries (the doubling commutes with them).
void conductiveEntry(FieldBlock block, std::string_view path);
// freeSpaceEntry, failing (status -1) at call g_failAtCall.
void failingEntry(FieldBlock block, std::string_view path);

}  // namespace kvo::core::testing
