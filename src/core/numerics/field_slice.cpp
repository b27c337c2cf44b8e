#include "numerics/field_slice.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <vector>

#include "numerics/constants.h"
#include "numerics/slope_frame.h"

namespace kvo::core {
namespace {

// Sign rows of the symmetry copies, per loop family.
struct MirrorRows {
  ComponentSigns secondQuarter;  // Q < k <= H, from H - k
  ComponentSigns turnedByPi;     // H < k < Q + H, from k - H
  ComponentSigns lastQuarter;    // k >= Q + H, from E - 1 - k
};
constexpr MirrorRows kSingleLoopRows{{-1.0, 1.0, 1.0}, {-1.0, -1.0, 1.0}, {1.0, -1.0, 1.0}};
constexpr MirrorRows kEightRows{{1.0, -1.0, -1.0}, {1.0, 1.0, -1.0}, {1.0, -1.0, 1.0}};

constexpr int kCircle = 1;
constexpr int kSquare = 2;

using FieldRow = std::array<FieldVector, kSlicePoints>;

// Turns the horizontal part of a vector by t (from x towards y).
FieldVector turned(const FieldVector& v, double c, double s) {
  return {c * v[0] - s * v[1], s * v[0] + c * v[1], v[2]};
}

// Lowest height above the ground (in the slope's frame, m) at which a point
// is handed to the component: the wires lie at 0.01 m.
constexpr double kLowestPointHeight = 0.01;
// Every component of a point left out of the component call.
constexpr double kLeftOutField = 1e-10;

int callComponent(const SliceSetup& setup, const LayerArrays& layers,
                  std::span<const FieldVector> points, std::span<FieldVector> re,
                  std::span<FieldVector> im) {
  LayeredFieldRequest request;
  request.segmentCount = setup.wire->segmentCount;
  request.frequency = setup.frequency;
  request.sourceStrength = 1.0;
  request.wire = setup.wire->vertices;
  request.layerCount = layers.count;
  request.resistivities = layers.resistivity;
  request.bottoms = layers.bottom;
  request.pointCount = static_cast<int>(points.size());
  request.points = points;
  request.workingFolder = setup.component.workingFolder;
  return setup.component(request, re, im);
}

// The nodes of angle `angle` (rad) at depth z in the loop's frame.
void raySlicePoints(const SurfaceGrid& grid, double angle, double depth, FieldRow& points) {
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  for (std::size_t i = 0; i < kSlicePoints; ++i) {
    points[i] = {c * grid.radii[i], s * grid.radii[i], depth};
  }
}

// Sloping ground: the field of both slots at every angle, computed in the
// slope's frame and turned back into the level frame of the loop.
int fillSlopeSlice(SliceFieldTable& table, const SliceSetup& setup, double depth,
                   double turnAngle) {
  const SurfaceGrid& grid = *setup.grid;
  const auto angleCount = static_cast<std::size_t>(grid.angleCount);
  const LayerArrays reference = ReferenceLayers(*setup.model);
  // The slice is computed in the loop's own frame; the table is turned by
  // the loop's azimuth afterwards, so the slope's azimuth is taken relative
  // to the loop.
  const SlopeFrame slope(setup.topography.azimuth - turnAngle, setup.topography.inclination,
                         kSurfaceHeightOffset);
  int status = 0;
  FieldRow level{};
  FieldRow sent{};
  std::array<bool, kSlicePoints> leftOut{};
  std::vector<FieldVector> re(kSlicePoints);
  std::vector<FieldVector> im(kSlicePoints);
  FieldRow rowRe{};
  FieldRow rowIm{};
  for (std::size_t k = 0; k < angleCount; ++k) {
    raySlicePoints(grid, grid.angles[k], depth, level);
    // Points above the wires are mirrored below the ground; the first of them
    // is kept as it is, every later one is raised to the wires' height and
    // left out of the call (its field set to 1e-10: such points lie above
    // the ground, where the kernel does not count them).
    std::size_t count = 0;
    bool mirroredOne = false;
    for (std::size_t i = 0; i < kSlicePoints; ++i) {
      FieldVector p = slope.pointIntoSlope(level[i]);
      leftOut[i] = false;
      if (p[2] < kLowestPointHeight) {
        p[2] = -p[2];
        if (mirroredOne) {
          p[2] = std::max(p[2], kLowestPointHeight);
          leftOut[i] = true;
        }
        mirroredOne = true;
      }
      if (!leftOut[i]) sent[count++] = p;
    }
    const std::span<const FieldVector> points(sent.data(), count);
    for (const std::size_t slot : {setup.baseSlot + 1, setup.baseSlot}) {
      if (slot != setup.baseSlot && !setup.withReference) continue;
      const LayerArrays& layers = slot == setup.baseSlot ? *setup.model : reference;
      // Mended: the slope results are entered in the table for every angle,
      // turned back into the level frame; a failure of any call fails the
      // slice.
      if (callComponent(setup, layers, points, std::span(re).first(count),
                        std::span(im).first(count)) != 0) {
        status = 1;
        continue;
      }
      std::size_t next = 0;
      for (std::size_t i = 0; i < kSlicePoints; ++i) {
        if (leftOut[i]) {
          rowRe[i] = {kLeftOutField, kLeftOutField, kLeftOutField};
          rowIm[i] = rowRe[i];
        } else {
          rowRe[i] = slope.vectorFromSlope(re[next]);
          rowIm[i] = slope.vectorFromSlope(im[next]);
          ++next;
        }
      }
      StoreFieldTable(table, k, rowRe, rowIm, slot, kSameSigns);
    }
  }
  return status;
}

}  // namespace

void StoreFieldTable(SliceFieldTable& table, std::size_t angle, std::span<const FieldVector> re,
                     std::span<const FieldVector> im, std::size_t slot, const ComponentSigns& signs) {
  assert(re.size() == im.size() && re.size() <= kSlicePoints);
  assert(angle < kSliceAngles && slot < kSliceSlots);
  for (std::size_t i = 0; i < re.size(); ++i) {
    for (std::size_t j = 0; j < kSliceComponents; ++j) {
      table.re[i][j][angle][slot] = signs[j] * re[i][j];
      table.im[i][j][angle][slot] = signs[j] * im[i][j];
    }
  }
}

void LoadFieldTable(const SliceFieldTable& table, std::size_t angle, std::span<FieldVector> re,
                    std::span<FieldVector> im, std::size_t slot, const ComponentSigns& signs) {
  assert(re.size() == im.size() && re.size() <= kSlicePoints);
  assert(angle < kSliceAngles && slot < kSliceSlots);
  for (std::size_t i = 0; i < re.size(); ++i) {
    for (std::size_t j = 0; j < kSliceComponents; ++j) {
      re[i][j] = signs[j] * table.re[i][j][angle][slot];
      im[i][j] = signs[j] * table.im[i][j][angle][slot];
    }
  }
}

void CopyFieldTableEntry(SliceFieldTable& table, std::size_t count, std::size_t fromSlot,
                         std::size_t toSlot, std::size_t fromAngle, std::size_t toAngle) {
  assert(count <= kSlicePoints);
  for (std::size_t i = 0; i < count; ++i) {
    for (std::size_t j = 0; j < kSliceComponents; ++j) {
      table.re[i][j][toAngle][toSlot] = table.re[i][j][fromAngle][fromSlot];
      table.im[i][j][toAngle][toSlot] = table.im[i][j][fromAngle][fromSlot];
    }
  }
}

std::size_t RotationIndex(std::span<const double> angles, double azimuthDegrees) {
  const double az = azimuthDegrees < 0.0 ? azimuthDegrees + 360.0 : azimuthDegrees;
  double best = 1e8;
  std::size_t k0 = 0;
  for (std::size_t k = 0; k < angles.size(); ++k) {
    const double d = std::fabs(angles[k] * 180.0 / kPi - az);
    if (d < best) {
      best = d;
      k0 = k;
    }
  }
  return k0;
}

double RotateFieldTable(SliceFieldTable& table, std::size_t count, std::span<const double> angles,
                        double azimuthDegrees, std::size_t baseSlot) {
  const std::size_t e = angles.size();
  assert(e >= 2 && e <= kSliceAngles && baseSlot + 1 < kTurnScratchSlot);
  const std::size_t k0 = RotationIndex(angles, azimuthDegrees);
  const double t = angles[k0];
  const double c = std::cos(t);
  const double s = std::sin(t);
  // Angles 0 .. E-2 are distinct; angle E-1 (2 pi) repeats angle 0. Mended:
  // the shift runs over the E-1 distinct angles (a shift over all E put the
  // field of angle k-k0+1 at the angles k < k0), and the horizontal
  // components turn with the positions.
  const std::size_t distinct = e - 1;
  for (const std::size_t slot : {baseSlot, baseSlot + 1}) {
    for (std::size_t k = 0; k < e; ++k) CopyFieldTableEntry(table, count, slot, kTurnScratchSlot, k, k);
    for (std::size_t k = 0; k < e; ++k) {
      const std::size_t from = (k % distinct + distinct - k0 % distinct) % distinct;
      for (std::size_t i = 0; i < count; ++i) {
        FieldVector re{};
        FieldVector im{};
        for (std::size_t j = 0; j < kSliceComponents; ++j) {
          re[j] = table.re[i][j][from][kTurnScratchSlot];
          im[j] = table.im[i][j][from][kTurnScratchSlot];
        }
        re = turned(re, c, s);
        im = turned(im, c, s);
        for (std::size_t j = 0; j < kSliceComponents; ++j) {
          table.re[i][j][k][slot] = re[j];
          table.im[i][j][k][slot] = im[j];
        }
      }
    }
  }
  return t;
}

int FieldComponent::operator()(const LayeredFieldRequest& request, std::span<FieldVector> re,
                               std::span<FieldVector> im) const {
  return entry == nullptr ? ComputeLayeredField(request, re, im)
                          : ComputeLayeredFieldUsing(entry, request, re, im);
}

LayerArrays ReferenceLayers(const LayerArrays& model) {
  LayerArrays reference;
  reference.count = 1;
  reference.bottom = model.bottom;
  reference.resistivity.fill(kReferenceResistivity);
  return reference;
}

int FieldBySymmetry(SliceFieldTable& table, const SliceSetup& setup, std::size_t slot,
                    std::size_t k, const LayerArrays& layers, std::span<const FieldVector> points) {
  const std::span<const double> angles(setup.grid->angles.data(),
                                       static_cast<std::size_t>(setup.grid->angleCount));
  const std::size_t e = angles.size();
  const std::size_t q = (e - 1) / 4;
  const std::size_t h = (e - 1) / 2;
  const std::size_t m = points.size();
  FieldRow re{};
  FieldRow im{};
  const std::span<FieldVector> outRe(re.data(), m);
  const std::span<FieldVector> outIm(im.data(), m);

  if (k <= q) {
    if (setup.loopType == kCircle && k > 0) {
      LoadFieldTable(table, 0, outRe, outIm, slot, kSameSigns);
      const double c = std::cos(angles[k]);
      const double s = std::sin(angles[k]);
      for (std::size_t i = 0; i < m; ++i) {
        const double tRe = re[i][0];
        const double tIm = im[i][0];
        re[i][0] = c * tRe;
        re[i][1] = s * tRe;
        im[i][0] = c * tIm;
        im[i][1] = s * tIm;
      }
    } else if (setup.loopType == kSquare && k > q / 2) {
      LoadFieldTable(table, q - k, outRe, outIm, slot, kSameSigns);
      for (std::size_t i = 0; i < m; ++i) {
        std::swap(re[i][0], re[i][1]);
        std::swap(im[i][0], im[i][1]);
      }
    } else if (callComponent(setup, layers, points, outRe, outIm) != 0) {
      return 1;
    }
    StoreFieldTable(table, k, outRe, outIm, slot, kSameSigns);
    return 0;
  }

  // Mended: the eights' rows follow from their own mirror symmetry (see the
  // header); they differ from the single loops' in the signs of x and y.
  const MirrorRows& rows = setup.loopType > kSquare ? kEightRows : kSingleLoopRows;
  std::size_t from = 0;
  const ComponentSigns* signs = nullptr;
  if (k <= h) {
    from = h - k;
    signs = &rows.secondQuarter;
  } else if (k < q + h) {
    from = k - h;
    signs = &rows.turnedByPi;
  } else {
    from = e - k - 1;
    signs = &rows.lastQuarter;
  }
  LoadFieldTable(table, from, outRe, outIm, slot, *signs);
  StoreFieldTable(table, k, outRe, outIm, slot, kSameSigns);
  return 0;
}

int FillFieldSlice(SliceFieldTable& table, const SliceSetup& setup, double depth) {
  assert(setup.grid != nullptr && setup.wire != nullptr && setup.model != nullptr);
  const SurfaceGrid& grid = *setup.grid;
  const auto angleCount = static_cast<std::size_t>(grid.angleCount);
  assert(angleCount >= 5 && angleCount <= kSliceAngles);
  const std::span<const double> angles(grid.angles.data(), angleCount);
  const bool turns = setup.loopType > kCircle;

  if (setup.topography.on > 0) {
    const double turnAngle = turns ? angles[RotationIndex(angles, setup.azimuth)] : 0.0;
    const int status = fillSlopeSlice(table, setup, depth, turnAngle);
    if (status != 0) return status;
  } else {
    const LayerArrays reference = ReferenceLayers(*setup.model);
    const std::size_t q = (angleCount - 1) / 4;
    FieldRow points{};
    for (std::size_t k = 0; k < angleCount; ++k) {
      if (k <= q) raySlicePoints(grid, angles[k], depth, points);
      if (setup.withReference &&
          FieldBySymmetry(table, setup, setup.baseSlot + 1, k, reference, points) != 0) {
        return 1;
      }
      if (FieldBySymmetry(table, setup, setup.baseSlot, k, *setup.model, points) != 0) return 1;
    }
  }
  if (turns) RotateFieldTable(table, kSlicePoints, angles, setup.azimuth, setup.baseSlot);
  return 0;
}

SliceAmplitudes AmplitudesAtAngle(const SliceFieldTable& table, const SliceSetup& setup,
                                  std::size_t d) {
  FieldRow modelRe{};
  FieldRow modelIm{};
  FieldRow refRe{};
  FieldRow refIm{};
  LoadFieldTable(table, d, modelRe, modelIm, setup.baseSlot, kSameSigns);
  LoadFieldTable(table, d, refRe, refIm, setup.baseSlot + 1, kSameSigns);
  SliceAmplitudes out;
  for (std::size_t i = 0; i < kSlicePoints; ++i) {
    const ComplexField model{modelRe[i], modelIm[i]};
    const PerpendicularPair p = PerpendicularAmplitudes(setup.inclination, model);
    out.acute[i] = VectorCosine(model.re, model.im);
    if (setup.elliptical) {
      const EllipticalSplitResult split =
          EllipticalSplit(model, ComplexField{refRe[i], refIm[i]}, setup.inclination, p);
      out.a0[i] = split.a.p0;
      out.a1[i] = split.a.p1;
      out.b0[i] = split.b.p0;
      out.b1[i] = split.b.p1;
    } else {
      out.a0[i] = p.p0;
      out.a1[i] = p.p1;
      out.b0[i] = p.p0 / 2.0;
      out.b1[i] = p.p1 / 2.0;
    }
  }
  return out;
}

int EvaluateFieldSlice(SliceFieldTable& table, const SliceSetup& setup, double depth,
                       std::size_t d, SliceAmplitudes& out) {
  if (d == 0 && FillFieldSlice(table, setup, depth) != 0) return 1;
  out = AmplitudesAtAngle(table, setup, d);
  return 0;
}

}  // namespace kvo::core
