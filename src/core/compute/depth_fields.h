#pragma once
// Field phase of one depth: the loop fields on the polar grid, reduced to
// what the kernel phase reads.
//
// Per loop and per node (angle j, radial node r), T/A or A/m per ampere:
//   a = (a0, a1): perpendicular amplitudes of the loop's field as a receiver
//       sees it (real part, imaginary part; see PerpendicularAmplitudes);
//   b = (b0, b1): the part that rotates with the spins (the transmitter's
//       drive), a/2 without the elliptical split;
//   acute: VectorCosine of the real and imaginary parts of the field.
// PerpendicularAmplitudes negates the real part's amplitude where acute is
// above 0. That sign jumps where the two parts pass through a right angle
// (close to the wire, where the field is largest), and a parabola through
// nodes on both sides of the jump is far off between them. So a0 and b0 are
// kept here without that sign, which makes them smooth, and acute is kept
// beside them (it passes smoothly through 0): whoever interpolates them
// interpolates acute too and gives a0 and b0 their sign afterwards
// (SignedAmplitude).
//   u, v: the two complex components of the field in the plane
//       perpendicular to the geomagnetic field (separate receivers only),
//       A/m per ampere. They are kept per depth like a and b: the angle
//       between the two loops' fields at a point is that of the point's
//       own depth, not of the last slice computed.

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "compute/sounding_setup.h"
#include "numerics/field_slice.h"

namespace kvo::core {

struct LoopFieldRows {
  std::size_t angleCount = 0;
  // angleCount rows of kSlicePoints values each, row j at [j * kSlicePoints].
  std::vector<double> acute, a0, a1, b0, b1;
  std::vector<double> uRe, uIm, vRe, vIm;  // separate receivers only

  std::span<const double> row(const std::vector<double>& quantity, std::size_t j) const {
    return std::span<const double>(quantity).subspan(j * kSlicePoints, kSlicePoints);
  }
};

struct DepthField {
  LoopFieldRows tx;
  LoopFieldRows rx;  // separate receivers only
};

// The real part's amplitude with the sign PerpendicularAmplitudes gives it,
// from the amplitude without that sign and the (interpolated) acute.
inline double SignedAmplitude(double unsignedAmplitude, double acute) {
  return acute > 0.0 ? -unsignedAmplitude : unsignedAmplitude;
}

// Computes the fields of one depth with its own slice table (one per worker).
class DepthFieldWorker {
 public:
  DepthFieldWorker(const SoundingSetup& setup, const FieldComponent& component);

  // The fields at depth index z into `out`. 0, or 1 when the field component
  // failed.
  int compute(std::size_t z, DepthField& out);

 private:
  int computeLoop(const SliceSetup& slice, double depth, bool withComponents, bool withDrive,
                  LoopFieldRows& out);

  const SoundingSetup& m_setup;
  SliceSetup m_txSlice;
  SliceSetup m_rxSlice;
  std::unique_ptr<SliceFieldTable> m_table;
};

}  // namespace kvo::core
