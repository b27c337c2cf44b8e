#pragma once
// Field slices: the complex magnetic field of one loop at every node of its
// polar surface grid carried down to one depth, and the amplitudes of that
// field perpendicular to the geomagnetic field.
//
// Frame: x North, y East, z depth (m, positive downward); angles (rad) from x
// towards y. A slice is first computed in the loop's own frame (the loop
// before its azimuth is applied), then turned by the loop's azimuth into the
// common frame.
//
// Two fields are held per node: the field over the layered model earth, and
// a reference field over a uniform earth of 1e5 ohm-m (one layer below the
// 0.02 m top skin). The elliptical split takes the secondary field as the
// difference of the two.
//
// The layered-earth field component is the expensive step, so it is called
// only for the angles the loop's mirror symmetries cannot give. With
// Q = (E-1)/4 and H = (E-1)/2 (E angles 0..2 pi, both ends present; angle
// index k lies at 2 pi k/(E-1)):
//
//   circle (type 1): only angle 0 is computed. The field is axisymmetric; at
//     angle 0 it is radial (x) and vertical, and at angle t the radial part
//     turns to (cos t, sin t).
//   square (type 2, corners on the axes): angles 0..Q/2 are computed; angle
//     Q-k is angle k mirrored across the diagonal y = x (x and y swapped).
//   eights (types 3, 4): angles 0..Q are computed.
//
// The other three quarters follow from the mirrors of each loop. Under a
// reflection M (det M = -1, M = M^-1) the mirrored currents make the field
// H'(p) = -M H(M p), H being an axial vector. When M maps the loop onto
// itself with its current reversed, H' = -H and H(M p) = M H(p); with its
// current unchanged, H(M p) = -M H(p). So:
//   x -> -x reverses the current of a circle or square:
//     H(-x, y, z) = (-Hx, Hy, Hz)(x, y, z);
//   x -> -x leaves an eight's current as it is (its second part is the
//     mirror image of the first, traced the other way round):
//     H(-x, y, z) = (Hx, -Hy, -Hz)(x, y, z);
//   y -> -y reverses the current of every loop type:
//     H(x, -y, z) = (Hx, -Hy, Hz)(x, y, z);
//   y <-> x reverses the square's current: H(y, x, z) = (Hy, Hx, Hz)(x, y, z).
// Hence, loaded from the mirror angle and multiplied componentwise:
//
//   range of k       from angle   circle, square   eights
//   Q < k <= H       H - k        (-1,  1,  1)     ( 1, -1, -1)
//   H < k < Q + H    k - H        (-1, -1,  1)     ( 1,  1, -1)
//   k >= Q + H       E - 1 - k    ( 1, -1,  1)     ( 1, -1,  1)
//
// (the middle row is both mirrors at once: a turn by pi).
//
// Sloping ground: the symmetries do not hold, so every angle is computed. A
// point p of the common frame is carried into the frame of the slope (in
// which the ground is level and the loop lies flat):
//   x1 = cos a x + sin a y,  y1 = -sin a x + cos a y,  z1 = z + 0.02,
//   x2 = cos i x1 + sin i z1,  z2 = -sin i x1 + cos i z1,
//   x3 = cos a x2 - sin a y1,  y3 = sin a x2 + cos a y1
// (a the slope's azimuth, i its inclination), i.e. p' = S (p + 0.02 z^) with
// the rotation S = R_a^-1 T_i R_a. The component returns the field in the
// slope's frame; it is turned back with S^-1 = R_a^-1 T_i^-1 R_a before it
// is stored, since the geomagnetic projection works in the level frame.
// z2 = nx x + ny y + nz (z + 0.02) is the height above the sloping ground
// (n its unit normal), so z2 < 0 is above the ground; the kernel leaves such
// points out.
//
// The table, the component and every routine here keep no hidden state: one
// SliceFieldTable per worker thread.

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "numerics/layered_field.h"
#include "numerics/loop_wire.h"
#include "numerics/perpendicular_field.h"
#include "numerics/setup_tables.h"
#include "numerics/surface_grid.h"

namespace kvo::core {

inline constexpr std::size_t kSlicePoints = kSurfaceRadialNodes;  // 75 radial nodes
inline constexpr std::size_t kSliceComponents = 3;
inline constexpr std::size_t kSliceAngles = 101;
inline constexpr std::size_t kSliceSlots = 5;

// Slots of the table.
inline constexpr std::size_t kTxModelSlot = 0;
inline constexpr std::size_t kTxReferenceSlot = 1;
inline constexpr std::size_t kRxModelSlot = 2;
inline constexpr std::size_t kRxReferenceSlot = 3;
inline constexpr std::size_t kTurnScratchSlot = 4;

// Resistivity of the uniform reference earth (ohm-m).
inline constexpr double kReferenceResistivity = 1.0e5;

// Field of one depth, indexed [point][component][angle][slot], real and
// imaginary parts apart; A/m per ampere of source current. About 1.8 MB:
// allocate it on the heap, one per worker.
struct SliceFieldTable {
  using Plane = std::array<
      std::array<std::array<std::array<double, kSliceSlots>, kSliceAngles>, kSliceComponents>,
      kSlicePoints>;
  Plane re{};
  Plane im{};
};

using ComponentSigns = std::array<double, 3>;
inline constexpr ComponentSigns kSameSigns{1.0, 1.0, 1.0};

// table[i][j][angle][slot] = signs[j] * value[i][j], i < re.size(), both parts.
void StoreFieldTable(SliceFieldTable& table, std::size_t angle, std::span<const FieldVector> re,
                     std::span<const FieldVector> im, std::size_t slot, const ComponentSigns& signs);
// value[i][j] = signs[j] * table[i][j][angle][slot], i < re.size(), both parts.
void LoadFieldTable(const SliceFieldTable& table, std::size_t angle, std::span<FieldVector> re,
                    std::span<FieldVector> im, std::size_t slot, const ComponentSigns& signs);
// The three components of both parts of points i < count.
void CopyFieldTableEntry(SliceFieldTable& table, std::size_t count, std::size_t fromSlot,
                         std::size_t toSlot, std::size_t fromAngle, std::size_t toAngle);

// Index of the grid angle nearest to the azimuth (degrees; a negative one is
// taken + 360): the first k minimising |angle[k] 180/pi - az|.
std::size_t RotationIndex(std::span<const double> angles, double azimuthDegrees);

// Turns the field of slots base and base + 1 by the grid angle t = angle[k0]
// nearest to the azimuth, k0 = RotationIndex (E = angles.size() nodes, the
// last one repeating the first at 2 pi): the field found at angle k - k0
// (cyclically over the E - 1 distinct angles) moves to angle k, and its
// horizontal components turn with it,
//     Hx' = cos t Hx - sin t Hy,   Hy' = sin t Hx + cos t Hy;
// angle E - 1 then repeats angle 0. Uses slot 4 as scratch. Returns t (rad).
double RotateFieldTable(SliceFieldTable& table, std::size_t count, std::span<const double> angles,
                        double azimuthDegrees, std::size_t baseSlot);

// The layered-earth field component, or a stand-in of the same entry point.
struct FieldComponent {
  FieldEntryPoint entry = nullptr;     // null: the layered-earth component
  std::string_view workingFolder = ".";  // folder of the component's scratch file

  // ComputeLayeredField through this entry point: 0, or 1 when it failed.
  int operator()(const LayeredFieldRequest& request, std::span<FieldVector> re,
                 std::span<FieldVector> im) const;
};

// The layers of the uniform reference earth: the model's top skin (bottom
// 0.02 m) alone, at 1e5 ohm-m.
LayerArrays ReferenceLayers(const LayerArrays& model);

// What a slice of one loop is computed from.
struct SliceSetup {
  int loopType = 1;                     // 1..4
  const SurfaceGrid* grid = nullptr;    // radii (75) and angles (E)
  const LoopWireShape* wire = nullptr;  // in the loop's own frame
  double frequency = 0.0;               // Hz
  const LayerArrays* model = nullptr;   // the model earth
  double inclination = 0.0;             // rad, of the geomagnetic field, signed
  bool elliptical = false;              // split off the co-rotating part
  // Compute the reference field (slot base + 1). Only the elliptical split
  // reads it; without the split it is left out and the slot left as it was.
  bool withReference = true;
  double azimuth = 0.0;                 // degrees, of the loop
  std::size_t baseSlot = kTxModelSlot;  // kTxModelSlot or kRxModelSlot
  Topography topography;                // on <= 0: level ground
  FieldComponent component;
};

// The field of angle index k (of E = angles.size()) into slot `slot`, by a
// component call with `layers` at `points` (the grid nodes at angle k) or by
// the symmetry copies above; `angles` must already hold the angles that the
// copies load. 0, or 1 when the component failed.
int FieldBySymmetry(SliceFieldTable& table, const SliceSetup& setup, std::size_t slot,
                    std::size_t k, const LayerArrays& layers, std::span<const FieldVector> points);

// Fills slots base and base + 1 (base alone without the reference) for every
// angle at depth z (m) and turns them by the loop's azimuth (loop types
// above 1). 0, or 1 when a component call
// failed (the table is then incomplete).
int FillFieldSlice(SliceFieldTable& table, const SliceSetup& setup, double depth);

// Amplitudes at the nodes of one angle, T/A: a the perpendicular field (as
// the receiver sees it), b the part that rotates with the spins (as the
// transmitter drives it). Index 0 of each pair is the real part's amplitude
// (signed, see PerpendicularAmplitudes), index 1 the imaginary part's.
// acute holds VectorCosine(re, im) of the model field, whose sign set the
// sign of a0 and b0 (negative where it is above 0).
struct SliceAmplitudes {
  std::array<double, kSlicePoints> acute{};
  std::array<double, kSlicePoints> a0{};
  std::array<double, kSlicePoints> a1{};
  std::array<double, kSlicePoints> b0{};
  std::array<double, kSlicePoints> b1{};
};

// A and B at angle d from a filled table: A = P of the model field; with the
// elliptical split B and the rescaled A of EllipticalSplit, else B = A/2.
SliceAmplitudes AmplitudesAtAngle(const SliceFieldTable& table, const SliceSetup& setup,
                                  std::size_t d);

// FillFieldSlice when d == 0, then AmplitudesAtAngle(d) into `out`. 0, or 1
// when a component call failed (`out` is then unchanged).
int EvaluateFieldSlice(SliceFieldTable& table, const SliceSetup& setup, double depth,
                       std::size_t d, SliceAmplitudes& out);

}  // namespace kvo::core
