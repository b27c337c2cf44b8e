#include "numerics/field_slice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "fake_components.h"
#include "numerics/constants.h"

namespace kvo::core {
namespace {

using testing::Vec;

// One loop, its wire, grid and a two-layer earth, as a slice is made from.
struct LoopCase {
  const char* name;
  int type;
  double size;
  double separation;
  FieldEntryPoint entry;
};

struct SliceFixture {
  explicit SliceFixture(const LoopCase& c, double azimuth = 0.0) {
    LoopWire(c.type, c.size, wire, c.separation / 2);
    MakeSurfaceGrid(c.type, c.size, grid, c.separation / 2);
    ResistivitySection section{};
    section[kLayerCount] = 2;
    section[layerBottomSlot(1)] = 10;
    section[layerResistivitySlot(1)] = 50;
    section[layerResistivitySlot(2)] = 20;
    layers = BuildLayerArrays(section);
    setup.loopType = c.type;
    setup.grid = &grid;
    setup.wire = &wire;
    setup.frequency = 2000;
    setup.model = &layers;
    setup.inclination = degreesToRadians(-60);
    setup.azimuth = azimuth;
    setup.component.entry = c.entry;
  }

  std::size_t angleCount() const { return static_cast<std::size_t>(grid.angleCount); }
  std::vector<Vec> rayPoints(std::size_t k, double depth) const {
    std::vector<Vec> points;
    for (double r : grid.radii) {
      points.push_back({std::cos(grid.angles[k]) * r, std::sin(grid.angles[k]) * r, depth});
    }
    return points;
  }
  std::vector<Vec> wireVertices() const {
    return {wire.vertices.begin(), wire.vertices.begin() + wire.segmentCount + 1};
  }

  LoopWireShape wire;
  SurfaceGrid grid;
  LayerArrays layers;
  SliceSetup setup;
  std::unique_ptr<SliceFieldTable> table = std::make_unique<SliceFieldTable>();
};

Vec tableEntry(const SliceFieldTable& t, std::size_t i, std::size_t k, std::size_t slot) {
  return {t.re[i][0][k][slot], t.re[i][1][k][slot], t.re[i][2][k][slot]};
}

double largest(const std::vector<Vec>& v) {
  double m = 0;
  for (const Vec& h : v) m = std::max({m, std::fabs(h[0]), std::fabs(h[1]), std::fabs(h[2])});
  return m;
}

// Compares a table row with a reference field, to a tolerance relative to
// the largest component on the ray (the block carries floats).
void expectRow(const SliceFieldTable& t, std::size_t k, std::size_t slot,
               const std::vector<Vec>& expected, double tolerance, const std::string& what) {
  const double scale = largest(expected);
  int bad = 0;
  for (std::size_t i = 0; i < expected.size() && bad < 3; ++i) {
    const Vec got = tableEntry(t, i, k, slot);
    for (std::size_t j = 0; j < 3; ++j) {
      if (std::fabs(got[j] - expected[i][j]) > tolerance * scale) {
        ++bad;
        ADD_FAILURE() << what << ": angle " << k << " point " << i << " component " << j << ": "
                      << got[j] << " expected " << expected[i][j];
      }
    }
  }
}

const LoopCase kLoopCases[] = {
    {"circle", 1, 40.0, 0.0, &testing::exactCircleEntry},
    {"square", 2, 40.0, 0.0, &testing::freeSpaceEntry},
    {"eight", 3, 30.0, 0.0, &testing::freeSpaceEntry},
    {"eight square, wide gap", 4, 30.0, 10.0, &testing::freeSpaceEntry},
};

TEST(FieldBySymmetry, EveryCopiedAngleEqualsADirectComponentCall) {
  // The direct call at each angle is the reference; the copies must give
  // the same field (to the float rounding of the block). The eights' copies
  // with the sign rows of the circle and square fail here.
  for (const LoopCase& c : kLoopCases) {
    for (const double depth : {0.6, 7.0}) {
      SCOPED_TRACE(::testing::Message() << c.name << " at " << depth << " m");
      SliceFixture f(c);
      ASSERT_EQ(FillFieldSlice(*f.table, f.setup, depth), 0);
      for (std::size_t k = 0; k < f.angleCount(); ++k) {
        const std::vector<Vec> points = f.rayPoints(k, depth);
        std::vector<FieldVector> re(points.size());
        std::vector<FieldVector> im(points.size());
        LayeredFieldRequest request;
        request.segmentCount = f.wire.segmentCount;
        request.frequency = 2000;
        request.wire = f.wire.vertices;
        request.layerCount = f.layers.count;
        request.resistivities = f.layers.resistivity;
        request.bottoms = f.layers.bottom;
        request.pointCount = static_cast<int>(points.size());
        request.points = points;
        ASSERT_EQ(ComputeLayeredFieldUsing(c.entry, request, re, im), 0);
        expectRow(*f.table, k, kTxModelSlot, re, 2e-5, c.name);
      }
    }
  }
}

TEST(FieldBySymmetry, CallsTheComponentOnlyWhereNoSymmetryGivesTheField) {
  struct Case {
    LoopCase loop;
    bool reference;
    bool slope;
    int calls;
  };
  const Case cases[] = {
      {kLoopCases[0], false, false, 1},   // circle: angle 0
      {kLoopCases[0], true, false, 2},    // and the reference earth
      {kLoopCases[1], false, false, 5},   // square, E = 33: angles 0..4
      {kLoopCases[2], false, false, 16},  // eight, E = 61: angles 0..15
      {kLoopCases[3], true, false, 32},
      {kLoopCases[0], false, true, 33},  // sloping ground: every angle
      {kLoopCases[2], true, true, 122},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.loop.name << (c.reference ? " with reference" : "")
                                      << (c.slope ? " on a slope" : ""));
    SliceFixture f(c.loop);
    f.setup.withReference = c.reference;
    if (c.slope) {
      SlopeSetup slope{};
      slope[kSlopeEnabled] = 1;
      slope[kSlopeAzimuth] = 20;
      slope[kSlopeInclination] = 5;
      f.setup.topography = UnpackTopography(slope);
    }
    testing::g_calls = 0;
    ASSERT_EQ(FillFieldSlice(*f.table, f.setup, 2.0), 0);
    EXPECT_EQ(testing::g_calls.load(), c.calls);
  }
}

// The loop turned by the grid angle t nearest to its azimuth: the field of
// the turned wire itself, computed here from the wire's vertices.
std::vector<Vec> turnedWire(const SliceFixture& f, double t) {
  std::vector<Vec> w = f.wireVertices();
  for (Vec& v : w) v = {std::cos(t) * v[0] - std::sin(t) * v[1], std::sin(t) * v[0] + std::cos(t) * v[1], v[2]};
  return w;
}

TEST(RotateFieldTable, ATurnedLoopHasTheFieldOfItsTurnedWire) {
  // Both the positions and the horizontal components must turn, and every
  // angle (also those below the turn index) must hold its own field.
  for (const LoopCase& c : {kLoopCases[1], kLoopCases[2], kLoopCases[3]}) {
    for (const double azimuth : {90.0, 33.75, -90.0, 180.0, 100.0, 359.0}) {
      SCOPED_TRACE(::testing::Message() << c.name << " turned by " << azimuth);
      SliceFixture f(c, azimuth);
      const double depth = 3.0;
      ASSERT_EQ(FillFieldSlice(*f.table, f.setup, depth), 0);
      const std::span<const double> angles(f.grid.angles.data(), f.angleCount());
      const double t = angles[RotationIndex(angles, azimuth)];
      EXPECT_NEAR(t * 180 / kPi, azimuth < 0 ? azimuth + 360 : azimuth, 180.0 / (f.angleCount() - 1));
      const std::vector<Vec> wire = turnedWire(f, t);
      for (std::size_t k = 0; k < f.angleCount(); ++k) {
        std::vector<Vec> expected;
        for (const Vec& p : f.rayPoints(k, depth)) expected.push_back(testing::polygonField(wire, p));
        expectRow(*f.table, k, kTxModelSlot, expected, 2e-5, c.name);
      }
    }
  }
}

TEST(RotateFieldTable, SymmetricTurnsGiveTheUnturnedTable) {
  // A square turned by 90 degrees is the square it was; an eight turned by
  // 180 degrees is the eight it was with its current reversed (each part
  // lands on the other, traced the other way round), so its field changes
  // sign.
  struct Case {
    LoopCase loop;
    double azimuth;
    double sign;
  };
  for (const Case& c : {Case{kLoopCases[1], 90.0, 1.0}, Case{kLoopCases[1], -90.0, 1.0},
                        Case{kLoopCases[2], 180.0, -1.0}, Case{kLoopCases[3], 180.0, -1.0}}) {
    SCOPED_TRACE(::testing::Message() << c.loop.name << " turned by " << c.azimuth);
    SliceFixture turned(c.loop, c.azimuth);
    SliceFixture plain(c.loop);
    ASSERT_EQ(FillFieldSlice(*turned.table, turned.setup, 1.5), 0);
    ASSERT_EQ(FillFieldSlice(*plain.table, plain.setup, 1.5), 0);
    for (std::size_t k = 0; k < plain.angleCount(); ++k) {
      std::vector<Vec> expected;
      for (std::size_t i = 0; i < kSlicePoints; ++i) {
        const Vec h = tableEntry(*plain.table, i, k, kTxModelSlot);
        expected.push_back({c.sign * h[0], c.sign * h[1], c.sign * h[2]});
      }
      expectRow(*turned.table, k, kTxModelSlot, expected, 2e-5, c.loop.name);
    }
  }
}

// 3x3 rotations of the sloping ground, built as matrices: S = R_a^T T_i R_a
// with R_a the turn into the slope's azimuth and T_i the tilt about y.
using Matrix = std::array<Vec, 3>;
Matrix product(const Matrix& a, const Matrix& b) {
  Matrix m{};
  for (std::size_t i = 0; i < 3; ++i)
    for (std::size_t j = 0; j < 3; ++j)
      for (std::size_t k = 0; k < 3; ++k) m[i][j] += a[i][k] * b[k][j];
  return m;
}
Matrix transposed(const Matrix& a) {
  Matrix m{};
  for (std::size_t i = 0; i < 3; ++i)
    for (std::size_t j = 0; j < 3; ++j) m[i][j] = a[j][i];
  return m;
}
Vec rotate(const Matrix& m, const Vec& v) {
  return {m[0][0] * v[0] + m[0][1] * v[1] + m[0][2] * v[2], m[1][0] * v[0] + m[1][1] * v[1] + m[1][2] * v[2],
          m[2][0] * v[0] + m[2][1] * v[1] + m[2][2] * v[2]};
}

TEST(SlopeSlice, EveryAngleHoldsTheFieldOfTheTiltedLoopInTheLevelFrame) {
  // On sloping ground the loop lies in the ground's plane. In free space its
  // field is that of the tilted wire: S^-1 (turned wire) - 0.02 z, with the
  // vectors in the level frame. Points above the ground are left out.
  const double a = degreesToRadians(45);
  const double i = degreesToRadians(10);
  const Matrix ra{{{std::cos(a), std::sin(a), 0}, {-std::sin(a), std::cos(a), 0}, {0, 0, 1}}};
  const Matrix ti{{{std::cos(i), 0, std::sin(i)}, {0, 1, 0}, {-std::sin(i), 0, std::cos(i)}}};
  const Matrix slope = product(transposed(ra), product(ti, ra));
  SlopeSetup record{};
  record[kSlopeEnabled] = 1;
  record[kSlopeAzimuth] = 45;
  record[kSlopeInclination] = 10;
  const Topography topography = UnpackTopography(record);
  // The tilted plane's normal is the ground's normal.
  const Vec normal = rotate(transposed(slope), {0, 0, 1});
  EXPECT_NEAR(normal[0], topography.nx, 1e-12);
  EXPECT_NEAR(normal[1], topography.ny, 1e-12);
  EXPECT_NEAR(normal[2], topography.nz, 1e-12);

  for (const auto& [c, azimuth] : {std::pair{kLoopCases[1], 30.0}, std::pair{kLoopCases[2], 0.0}}) {
    SCOPED_TRACE(c.name);
    SliceFixture f(c, azimuth);
    f.setup.topography = topography;
    f.setup.withReference = true;
    const double depth = 2.0;
    ASSERT_EQ(FillFieldSlice(*f.table, f.setup, depth), 0);
    const std::span<const double> angles(f.grid.angles.data(), f.angleCount());
    std::vector<Vec> wire = turnedWire(f, angles[RotationIndex(angles, azimuth)]);
    for (Vec& v : wire) {
      v = rotate(transposed(slope), v);
      v[2] -= kSurfaceHeightOffset;
    }
    int leftOut = 0;
    int below = 0;
    for (std::size_t k = 0; k < f.angleCount(); ++k) {
      const std::vector<Vec> points = f.rayPoints(k, depth);
      bool firstAbove = true;
      for (std::size_t n = 0; n < points.size(); ++n) {
        const Vec& p = points[n];
        const double height = topography.nx * p[0] + topography.ny * p[1] + topography.nz * (p[2] + 0.02);
        const Vec got = tableEntry(*f.table, n, k, kTxModelSlot);
        if (height < 0.01) {
          if (!firstAbove) {
            ++leftOut;
            // 1e-10 in every component, turned with the loop.
            EXPECT_NEAR(std::hypot(got[0], got[1], got[2]), std::sqrt(3.0) * 1e-10, 1e-20)
                << "angle " << k << " point " << n;
          }
          firstAbove = false;
          continue;
        }
        ++below;
        const Vec expected = testing::polygonField(wire, p);
        const double scale = std::max({std::fabs(expected[0]), std::fabs(expected[1]), std::fabs(expected[2]), 1e-4});
        for (std::size_t j = 0; j < 3; ++j) {
          EXPECT_NEAR(got[j], expected[j], 1e-5 * scale) << "angle " << k << " point " << n << " component " << j;
          // The reference earth does not conduct either: the same field.
          EXPECT_NEAR(f.table->re[n][j][k][kTxReferenceSlot], expected[j], 1e-5 * scale);
        }
      }
    }
    EXPECT_GT(leftOut, 100);  // the set-up has points above the ground
    EXPECT_GT(below, 1000);
  }
}

}  // namespace
}  // namespace kvo::core
