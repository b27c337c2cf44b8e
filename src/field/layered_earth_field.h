#pragma once
// The magnetic field of a closed horizontal wire polygon carrying a current,
// at points anywhere in (or above) a horizontally layered earth, at one
// frequency: the C++ interface of the field component.
//
// Physics and conventions: frame x, y horizontal, z depth positive downward,
// right-handed; time dependence e^{+iωt}, quasi-static, non-magnetic earth;
// the real part of H is in phase with the current, the imaginary part in
// quadrature (negative at the centre of a loop on a conductor at low
// induction number: Im Hz ≈ −ωμ0σ·a·I/8 for a circle of radius a).
// Formulation: layered_earth.h (TE potential), kernel_table.h (Hankel
// transforms), wire_integrals.h (line integrals along the polygon).
//
// Accuracy (tests against an independent slow reference and closed forms):
// within 1e-7 of the local |H| at depths 0.05–200 m and horizontal distances
// 0–5 loop sizes for a 10 ohm-m half-space and a 100/5/50 ohm-m three-layer
// earth at 2 kHz (worst 6e-8, deep and far, where |H| is 1e-3 of its static
// value); the free-space Biot–Savart field to better than 1e-6 without
// conduction. Note that at 2 kHz a 1e6 ohm-m earth is not yet the static
// limit: induction leaves a quadrature part of about ωμ0σL²/4 (1e-5 at the
// centre of a 100 m loop, 1e-3 at 500 m), which this component computes.
//
// Points at many depths. The transforms are tabulated per depth (about a
// millisecond each), which is what a call pays for when every point has a
// depth of its own (a field on a tilted plane). When a call's points have
// more than kExactDepthLimit distinct depths, each point below the source
// depth takes its transforms' part of the field at fixed lattice depths
// instead, interpolated to its own depth: the lattice is uniform, with step
// kLatticeStep, in tau = ln s + s/delta (s = z - zs, delta the skin depth
// of the point's layer: steps of the field's own scale, s near the source,
// delta below) and holds every interface below the source; the stencil is
// the four lattice depths around the point within its own layer (the
// field's second derivative in depth jumps at an interface); the free-space
// static part, where the tables leave it out, is added at the point's own
// depth in closed form. The lattice tables are shared by every later call.
// Against tables at the points' own depths (tests): within 2e-8 of |H|.
// Points in the source's own layer and above it are computed at their own
// depths.
//
// Thread safety: a LayeredEarthField is immutable after construction and
// compute() may run on any number of threads at once. The tabulated
// transforms of each depth are cached per thread (thread_local, least
// recently used, 64 depths, and 1024 lattice depths), so a second call at
// a depth already seen by that thread skips the tabulation. Which depths a
// call uses depends only on that call's points, so the results are the
// same whichever thread computes them and whatever it computed before.

#include <array>
#include <complex>
#include <span>
#include <vector>

#include "layered_earth.h"
#include "wire_integrals.h"

namespace kvo::field {

// Outcome of a computation; the negative codes are what the float-block
// entry point writes into its status slot.
enum class FieldStatus : int {
  Ok = 0,
  BadBlock = -1,           // counts missing, negative or not fitting the block
  NotFinite = -2,          // a NaN or infinite input value
  BadLayers = -3,          // no layer, or a resistivity not positive
  BadFrequency = -4,       // negative frequency
  WireTooShort = -5,       // fewer than two vertices or zero length
  WireNotHorizontal = -6,  // vertices at different depths
  WireNotClosed = -7,      // last vertex not equal to the first
  ResultNotFinite = -8,    // a field value overflowed (never expected)
};

// Complex field vector H (A/m): components x, y, z.
using FieldVector = std::array<Complex, 3>;

// Above this number of distinct depths in one call, points use the depth
// lattice (see above).
inline constexpr std::size_t kExactDepthLimit = 16;
// Step of the depth lattice in its coordinate tau.
inline constexpr double kLatticeStep = 0.025;

// How compute() treats the depths of its points.
enum class DepthMode {
  Automatic,  // the lattice above kExactDepthLimit distinct depths
  Exact,      // a table at every point's own depth
  Lattice,    // the lattice wherever it applies
};

class LayeredEarthField {
 public:
  // wire: the closed polygon, S+1 vertices with the last equal to the first,
  // all at one depth (m). Layers as for LayeredEarth::fromLayers (bottoms in
  // m, resistivities in ohm-m, the last a half-space). frequencyHz ≥ 0.
  // current in A (the fields are linear in it). status() tells whether the
  // set-up is usable.
  LayeredEarthField(std::span<const Vec3> wire, std::span<const double> bottoms,
                    std::span<const double> resistivities, double frequencyHz, double current = 1.0);

  FieldStatus status() const { return m_status; }

  // H at every point into out (out.size() == points.size()). Returns the
  // set-up status if it is not Ok, NotFinite for a non-finite point,
  // ResultNotFinite if a value overflowed; out is unspecified then.
  FieldStatus compute(std::span<const Vec3> points, std::span<FieldVector> out,
                      DepthMode mode = DepthMode::Automatic) const;

 private:
  // The field at p through the depth lattice; false when p is not below the
  // source's layer (the caller then computes it at its own depth).
  bool latticeField(const Vec3& p, double rhoNeed, FieldVector& h) const;

  FieldStatus m_status = FieldStatus::Ok;
  std::vector<Vec3> m_wire;
  LayeredEarth m_earth;
  double m_frequency = 0;
  double m_current = 1;
};

}  // namespace kvo::field
