#pragma once
// Digital linear filters for Hankel transforms of order 0 and 1, and their
// lagged convolution.
//
// Mathematics. For a kernel f(λ) (λ in 1/m) the transforms
//     T_ν(ρ) = ∫₀^∞ f(λ) J_ν(λρ) dλ,   ν = 0, 1,   ρ > 0 (m),
// are approximated by a digital filter with geometrically spaced bases
// b_n = b_0 e^{nΔ} and weights w_{ν,n} (Ghosh 1971; Anderson 1982):
//     T_ν(ρ) ≈ (1/ρ) Σ_n f(b_n/ρ) w_{ν,n}.
// Lagged convolution (Anderson 1982) evaluates the transform at ρ_k = ρ_0 e^{−kΔ},
// k = 0..K−1: the kernel arguments b_n/ρ_k = (b_0/ρ_0) e^{(n+k)Δ} form one
// geometric series, so K transforms cost N + K − 1 kernel evaluations instead
// of N·K. Evaluating the kernel on q interleaved series (ρ_0 shifted by
// e^{−iΔ/q}) gives the transforms on a grid q times finer.
//
// Filters (coefficients from the libdlf collection, CC BY 4.0, kept verbatim
// with their headers in data/ and embedded at configure time):
//  - Key (2012), "Is the fast Hankel transform faster than quadrature?",
//    Geophysics 77(3), F21–F30, DOI 10.1190/geo2011-0237.1: 201 points,
//    Δ = 0.124, bases 4.1e-6 to 2.4e5.
//  - Werthmüller, Key & Slob (2019), "A tool for designing digital filters for
//    the Hankel and Fourier transforms in potential, diffusive, and wavefield
//    modeling", Geophysics 84(2), F47–F56, DOI 10.1190/geo2018-0069.1:
//    201 points, Δ = 0.058, bases 8.7e-4 to 94.
// Where each is used and the accuracy reached: kernel_table.h.

#include <array>
#include <cstddef>
#include <functional>
#include <span>

#include "layered_earth.h"

namespace kvo::field {

struct HankelFilterRow {
  double base;
  double j0;
  double j1;
};

struct HankelFilter {
  std::span<const HankelFilterRow> rows;
  double logSpacing = 0;  // Δ = ln(b_{n+1}/b_n)
};

const HankelFilter& keyFilter201();
const HankelFilter& werthmullerFilter201();

// Transforms of the two kernels of one λ: the kernel provider fills
// (k1, k0) for the J1 and the J0 transform respectively.
struct KernelPair {
  Complex k1, k0;
};
struct TransformPair {
  Complex t1, t0;
};

// Lagged convolution. Fills out[i] with the transforms at
// ρ_i = rhoLow·e^{iΔ/q}, i = 0..out.size()−1 (q = subdivisions ≥ 1), from the
// kernel `kernel(λ, pairs)` which writes `pairs.size()` kernel pairs, one per
// transformed function (several functions share one kernel evaluation).
// out is laid out [i][function].
using KernelProvider = std::function<void(double lambda, std::span<KernelPair> pairs)>;
void laggedConvolution(const HankelFilter& filter, double rhoLow, int subdivisions, std::size_t functions,
                       const KernelProvider& kernel, std::span<TransformPair> out);

}  // namespace kvo::field
