#include "field_block.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cmath>
#include <limits>
#include <vector>

#include "layered_earth_field.h"
#include "test_wires.h"

namespace kvo::field {
namespace {

using Block = std::array<float, kFieldBlockSize>;

// Writes a block as the callers do: counts, frequency, 1.0, 0.0, layer pairs,
// wire, points.
Block makeBlock(const std::vector<Vec3>& wire, const std::vector<double>& bottoms,
                const std::vector<double>& resistivities, const std::vector<Vec3>& points, double frequency) {
  Block b{};
  std::size_t at = 0;
  auto put = [&](double v) { b[at++] = static_cast<float>(v); };
  put(static_cast<double>(wire.size() - 1));
  put(static_cast<double>(bottoms.size()));
  put(static_cast<double>(points.size()));
  put(frequency);
  put(1.0);
  put(0.0);
  for (std::size_t k = 0; k < bottoms.size(); ++k) {
    put(bottoms[k]);
    put(resistivities[k]);
  }
  for (const Vec3& v : wire) put(v.x), put(v.y), put(v.z);
  for (const Vec3& v : points) put(v.x), put(v.y), put(v.z);
  return b;
}

Vec3 asFloat(const Vec3& v) {
  return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

// The block carries the same numbers as the C++ interface fed with the
// float-rounded inputs, six per point in point order.
TEST(FieldBlock, WritesStatusZeroAndSixValuesPerPointInOrder) {
  const std::vector<Vec3> wire = testing::polygonWire(30, 37.3);
  const std::vector<double> bottoms{0.02, 12.5, 0}, resistivities{1e8, 33, 7};
  std::vector<Vec3> points;
  for (int i = 0; i < 75; ++i) points.push_back({1.3 * i, 0.4 * i, 3.7});
  Block block = makeBlock(wire, bottoms, resistivities, points, 2345.6);
  computeFieldBlock(block, "/nowhere/zozada_zaruv.tmp");
  ASSERT_EQ(block[0], 0.0f);

  std::vector<Vec3> fw, fp;
  for (const Vec3& v : wire) fw.push_back(asFloat(v));
  for (const Vec3& v : points) fp.push_back(asFloat(v));
  std::vector<double> fb, fr;
  for (double v : bottoms) fb.push_back(static_cast<float>(v));
  for (double v : resistivities) fr.push_back(static_cast<float>(v));
  const LayeredEarthField field(fw, fb, fr, static_cast<float>(2345.6));
  std::vector<FieldVector> h(fp.size());
  ASSERT_EQ(field.compute(fp, h), FieldStatus::Ok);
  for (std::size_t i = 0; i < fp.size(); ++i) {
    const double tol = 1e-6 * testing::magnitude(h[i]);  // float rounding
    for (std::size_t c = 0; c < 3; ++c) {
      EXPECT_NEAR(block[1 + 6 * i + c], h[i][c].real(), tol) << i;
      EXPECT_NEAR(block[1 + 6 * i + 3 + c], h[i][c].imag(), tol) << i;
    }
  }
  // The one-layer reference earth (0.02, 1e5) works as well.
  Block reference = makeBlock(wire, {0.02}, {1e5}, points, 2000);
  computeFieldBlock(reference, "");
  EXPECT_EQ(reference[0], 0.0f);
}

// Bad input: a negative status, the rest of the block untouched.
TEST(FieldBlock, FailsWithoutWritingOnBadInput) {
  const std::vector<Vec3> wire = testing::polygonWire(30, 20);
  const std::vector<double> bottoms{0.02, 0}, resistivities{1e8, 10};
  const std::vector<Vec3> points{{0, 0, 1}, {5, 5, 2}};
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  const struct {
    const char* what;
    std::size_t slot;
    float value;
  } cases[] = {
      {"NaN segment count", 0, kNaN},
      {"no segments", 0, 0.0f},
      {"no layers", 1, 0.0f},
      {"negative point count", 2, -1.0f},
      {"points do not fit", 2, 197.0f},
      {"inputs do not fit", 0, 390.0f},
      {"NaN frequency", 3, kNaN},
      {"negative frequency", 3, -50.0f},
      {"NaN current", 4, kNaN},
      {"NaN resistivity", 7, kNaN},
      {"zero resistivity", 9, 0.0f},
      {"NaN vertex", 12, kNaN},
      {"wire not closed", 6 + 4 + 3 * 30, 99.0f},
      {"NaN point", 6 + 4 + 3 * 31 + 4, kNaN},
  };
  for (const auto& c : cases) {
    Block block = makeBlock(wire, bottoms, resistivities, points, 2000);
    block[c.slot] = c.value;
    const Block before = block;
    computeFieldBlock(block, "x");
    EXPECT_LE(block[0], -1.0f) << c.what;
    for (std::size_t i = 1; i < block.size(); ++i) ASSERT_EQ(std::bit_cast<std::uint32_t>(block[i]), std::bit_cast<std::uint32_t>(before[i])) << c.what << " slot " << i;
  }
  // A wire collapsed to a point (a loop smaller than a metre in whole metres).
  Block collapsed = makeBlock(testing::polygonWire(30, 0.0), bottoms, resistivities, points, 2000);
  computeFieldBlock(collapsed, "x");
  EXPECT_LE(collapsed[0], -1.0f);
}

}  // namespace
}  // namespace kvo::field
