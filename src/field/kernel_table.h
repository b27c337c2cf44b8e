#pragma once
// Tabulated Hankel transforms of the loop kernels for one source depth, one
// receiver depth, one earth and one frequency.
//
// Mathematics. With k1, k0 the spectral kernels of layered_earth.h,
//     T1(ρ) = ∫₀^∞ k1(λ) J1(λρ) dλ,     T0(ρ) = ∫₀^∞ k0(λ) J0(λρ) dλ,
// either of the full kernels or of the secondary ones (full minus free-space
// static, whose transforms ρ/R³ and Δz/R³ the caller adds in closed form as
// Biot–Savart). The table holds the representation that loses fewer digits:
// the secondary one where it is not larger than the full one on the axis
// (ρ → 0) — near the wire's depth it is the only usable one, the full kernel
// being singular there — and the full one where the earth attenuates the
// field below its static value (deep in a conductor), where forming the
// secondary part would cancel digits.
//
// Method. Lagged convolution (Anderson 1982) of the kernels with two
// published 201-point filters, each where it is accurate: Key's (Key 2012,
// Geophysics 77(3), F21–F30) for ρ < 2a, whose long base reaches the small
// ρ/a, and Werthmüller's (Werthmüller, Key & Slob 2019, Geophysics 84(2),
// F47–F56) above, where Key's J1 transform at large ρ/a is off by up to 2e-4
// of itself deep in a conductor. a is the receiver's distance from the source
// depth, at least the shortest path reflected at an interface. Each filter's
// transforms sit on its own uniform grid in t = ln ρ, Key's at Δ/4 = 0.031,
// Werthmüller's at Δ/2 = 0.029, interleaving lagged convolutions; between the
// nodes an eight-point Lagrange interpolation in t. So fine a grid is needed
// because deep in a conductor, at ρ of many skin depths, the transforms turn
// their phase quickly with t (at 200 m depth and ρ = 500 m in 10 ohm-m at
// 2 kHz a six-point stencil on twice the step lost 5e-4 of T1).
// Below ρ_min = 1e-3·a, where even Key's filter loses digits, T1/ρ and T0,
// even functions of ρ, are continued as A + Bρ² through the values at ρ_min
// and 2ρ_min (neglected terms O(ρ⁴/a⁴) ~ 1e-11).
//
// Accuracy measured against quadrature with extrapolation of the Hankel
// integrals (tests): below 3e-7 of the largest (on-axis) transform at every
// ρ from 0 to 1.2 km, at depths 0.05–200 m.
//
// Cost: about 2000 kernel evaluations and 5e5 complex multiply-adds per
// table, 1–3 ms for eight layers.

#include <cstddef>
#include <span>
#include <vector>

#include "hankel_filter.h"
#include "layered_earth.h"

namespace kvo::field {

class KernelTable {
 public:
  // Which transforms to hold: the better one (as above), or one imposed
  // (tests compare the two routes).
  enum class Representation { Automatic, Secondary, Full };

  // Tabulates the transforms for ρ up to at least rhoMax (m).
  KernelTable(const LayeredEarth& earth, double frequencyHz, double sourceZ, double receiverZ, double rhoMax,
              Representation representation = Representation::Automatic);

  // True when the table holds the secondary transforms (add Biot–Savart).
  bool secondary() const { return m_secondary; }
  // Vertical scale a: the transforms are analytic for |Im ρ| < a.
  double singularDistance() const { return m_scale; }
  double rhoMax() const { return m_rhoMax; }

  // Interpolated transforms at ρ ≥ 0 (ρ ≤ rhoMax()). The eight-point
  // stencil's sum runs in AVX2 registers where the processor has them; the
  // two forms agree to the bit (each lane adds in the same order, without
  // fused multiply-adds), and a test holds them to it.
  TransformPair at(double rho) const;
  // The same at each rho[i] into out[i] (one call for the nodes of a panel),
  // and each form of it alone.
  void at(std::span<const double> rho, TransformPair* out) const;
  void atPlain(std::span<const double> rho, TransformPair* out) const;
#if defined(__x86_64__)
  void atWide(std::span<const double> rho, TransformPair* out) const;
#endif

 private:
  struct Node {
    double t1re, t1im, t0re, t0im;
  };
  // One filter's transforms on a uniform grid in t = ln ρ.
  struct Segment {
    std::vector<Node> nodes;
    double logRhoLow = 0;  // t of node 0
    double step = 0;
    // The first of the stencil's nodes and the position in it.
    std::size_t stencil(double logRho, double& position) const;
    TransformPair atPlain(double logRho) const;
#if defined(__x86_64__)
    TransformPair atWide(double logRho) const;
#endif
  };
  // Below ρ_min, or the segment holding ρ and ln ρ.
  bool small(double rho) const { return rho < m_rhoMin; }
  TransformPair smallLimit(double rho) const;
  const Segment& segment(double rho) const { return rho < m_rhoSwitch ? m_key : m_werthmuller; }
  Segment m_key;          // ρ < m_rhoSwitch
  Segment m_werthmuller;  // ρ ≥ m_rhoSwitch
  double m_rhoSwitch = 0;
  double m_rhoMin = 0;
  double m_rhoMax = 0;
  double m_scale = 0;
  // Below ρ_min: T1/ρ = A1 + B1ρ², T0 = A0 + B0ρ² (pairs hold (t1, t0)).
  TransformPair m_smallA{}, m_smallB{};
  bool m_secondary = true;
};

}  // namespace kvo::field
