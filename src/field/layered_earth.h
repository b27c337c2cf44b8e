#pragma once
// The horizontally layered earth and the spectral TE kernels of a horizontal
// loop in it.
//
// Mathematics. Frame x, y horizontal, z depth (m) positive downward, the
// frame right-handed (x × y = z). Time dependence e^{+iωt}, quasi-static (no
// displacement currents), μ = μ0 everywhere. Air (σ = 0) fills z < 0; earth
// region j (1..N) spans [top_j, bottom_j) with conductivity σ_j; the last one
// is a half-space. In the Hankel domain a source of the TE mode at depth zs
// (a vertical magnetic dipole, and so any closed horizontal loop) gives the
// potential F(λ, z), which solves F'' = u_j² F in region j with
//     u_j = sqrt(λ² + iωμ0σ_j),  Re u_j > 0  (u = λ in the air),
// is continuous with F' across every interface (Hz and Hρ are), decays away
// from the source and contains the source term e^{−u_s|z−zs|}.
//
// It is built from reflection coefficients (Ward & Hohmann 1988, ch. 4;
// the layer recursion as in Wait 1982):
//     r_jk = (u_j − u_k)/(u_j + u_k) = iωμ0(σ_j − σ_k)/(u_j + u_k)²,
//     E_j  = e^{−2 u_j h_j},
//     R⁺_j = (r_{j,j+1} + R⁺_{j+1}E_{j+1}) / (1 + r_{j,j+1} R⁺_{j+1}E_{j+1}),  R⁺_last = 0,
//     R⁻_j = (r_{j,j−1} + R⁻_{j−1}E_{j−1}) / (1 + r_{j,j−1} R⁻_{j−1}E_{j−1}),  R⁻_air  = 0,
// R⁺ the ratio of up- to down-going amplitude at the bottom of layer j, R⁻
// that of down- to up-going amplitude at its top. In the source layer
// (top zt, bottom zb, h = zb − zt), with M = 1 − R⁺R⁻e^{−2u_s h},
//     F = e^{−u_s|z−zs|} + A e^{−u_s(z−zt)} + B e^{−u_s(zb−z)},
//     A = R⁻[e^{−u_s(zs−zt)} + R⁺e^{−u_s(2zb−zt−zs)}]/M,
//     B = R⁺[e^{−u_s(zb−zs)} + R⁻e^{−u_s(zs+zb−2zt)}]/M,
// (A from the condition "down-going = R⁻ · up-going" at zt, B from
// "up-going = R⁺ · down-going" at zb). Below the source the down-going
// amplitude at the top of layer j is D_j = Dbot_{j−1}(1 + R⁺_{j−1})/(1 + R⁺_j E_j)
// (continuity of F at the interface; Dbot the amplitude at a layer's bottom),
// and F = D_r[e^{−u_r(z−top_r)} + R⁺_r e^{−u_r(2 bottom_r − top_r − z)}];
// above the source the mirror image with R⁻. Every exponent is negative: the
// evaluation cannot overflow, whatever λ and the thicknesses.
//
// The two kernels of the loop's line integrals (see wire_integrals.h) are
//     k1(λ) = (λ²/u_s) F(λ, z),      k0(λ) = −(λ/u_s) ∂F/∂z (λ, z),
// and their free-space static parts (σ = 0 everywhere, ω → 0)
//     k1⁰ = λ e^{−λ|Δz|},             k0⁰ = sgn(Δz) λ e^{−λ|Δz|},   Δz = z − zs,
// whose Hankel transforms are ρ/R³ and Δz/R³ (R² = ρ² + Δz²). The
// secondary kernels k − k⁰ are formed without cancellation in the direct
// term: (λ/u_s)e^{−u_sΔ} − e^{−λΔ} = e^{−λΔ}[(λ/u_s)expm1(−δΔ) − δ/u_s],
// δ = u_s − λ = iωμ0σ_s/(u_s + λ).
//
// Units: m, S/m, Hz; λ in 1/m. Valid for any λ > 0, any depths and any
// conductivities ≥ 0; results are exact to rounding (relative ~1e-15).

#include <complex>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace kvo::field {

using Complex = std::complex<double>;

// Magnetic constant of this component, μ0 = 4π·10⁻⁷ H/m with the exact π
// (the component is independent of the program's ten-decimal pi).
inline constexpr double kFieldPi = 3.14159265358979323846;
inline constexpr double kFieldMu0 = 4.0e-7 * kFieldPi;

// One region of the earth: [top, bottom) with conductivity (S/m). The air
// has top = −inf, the last layer bottom = +inf.
struct EarthRegion {
  double top = 0;
  double bottom = 0;
  double conductivity = 0;
  bool operator==(const EarthRegion&) const = default;
};

class LayeredEarth {
 public:
  // Builds the earth from layer bottoms (m) and resistivities (ohm-m), in
  // order from the surface: layer k spans from the bottom of the last kept
  // layer (0 for the first) to its own bottom; a layer whose bottom does not
  // lie below that is empty and skipped; the last layer is a half-space and
  // its bottom is ignored. nullopt when there is no layer, the spans differ
  // in length, or a value is not finite or a resistivity is not positive.
  static std::optional<LayeredEarth> fromLayers(std::span<const double> bottoms,
                                                std::span<const double> resistivities);

  // Regions from the air (index 0) down to the half-space.
  std::span<const EarthRegion> regions() const { return m_regions; }

  // Index of the region holding depth z (a depth on an interface belongs to
  // the region below it; the fields are continuous there).
  std::size_t regionAt(double z) const;

  bool operator==(const LayeredEarth&) const = default;

 private:
  std::vector<EarthRegion> m_regions;
};

// The kernels k1 and k0 of one source depth and one receiver depth, full or
// secondary (full minus the free-space static part).
struct SpectralKernels {
  Complex full1, full0;
  Complex secondary1, secondary0;
};

// Evaluates the kernels at any λ for fixed earth, frequency and depths.
// Holds scratch space: one object per thread.
class TeKernel {
 public:
  TeKernel(const LayeredEarth& earth, double frequencyHz, double sourceZ, double receiverZ);

  SpectralKernels operator()(double lambda) const;

 private:
  std::vector<EarthRegion> m_regions;
  std::vector<Complex> m_iwmuSigma;  // iωμ0σ per region
  std::size_t m_source = 0;
  std::size_t m_receiver = 0;
  double m_sourceZ = 0;
  double m_receiverZ = 0;
  // Scratch per evaluation.
  mutable std::vector<Complex> m_u;
  mutable std::vector<Complex> m_rDown;  // R⁺ per region
  mutable std::vector<Complex> m_rUp;    // R⁻ per region
};

}  // namespace kvo::field
