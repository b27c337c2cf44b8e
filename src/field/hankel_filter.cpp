#include "hankel_filter.h"

#include <cassert>
#include <cmath>
#include <vector>

namespace kvo::field {

namespace {

#include "hankel_key_201_2012_j0j1.inc"
#include "hankel_wer_201_2018_j0j1.inc"

HankelFilter makeFilter(std::span<const HankelFilterRow> rows) {
  const double spacing = std::log(rows.back().base / rows.front().base) / static_cast<double>(rows.size() - 1);
  return {rows, spacing};
}

}  // namespace

const HankelFilter& keyFilter201() {
  static const HankelFilter filter = makeFilter(k_hankel_key_201_2012_j0j1);
  return filter;
}

const HankelFilter& werthmullerFilter201() {
  static const HankelFilter filter = makeFilter(k_hankel_wer_201_2018_j0j1);
  return filter;
}


void laggedConvolution(const HankelFilter& filter, double rhoLow, int subdivisions, std::size_t functions,
                       const KernelProvider& kernel, std::span<TransformPair> out) {
  assert(subdivisions >= 1 && functions >= 1 && out.size() % functions == 0);
  const std::size_t q = static_cast<std::size_t>(subdivisions);
  const std::size_t points = out.size() / functions;
  const std::size_t taps = filter.rows.size();
  const double delta = filter.logSpacing;
  std::vector<KernelPair> values;
  for (std::size_t c = 0; c < q && c < points; ++c) {
    // Class c holds the points i = c + q·m, ρ = ρ_c·e^{mΔ}.
    const std::size_t count = (points - c + q - 1) / q;
    const double rhoC = rhoLow * std::exp(static_cast<double>(c) * delta / static_cast<double>(q));
    // λ_p = (b_0/ρ_c)·e^{(p − count + 1)Δ}, p = 0..taps + count − 2: base n at point m uses p = n − m + count − 1.
    const std::size_t series = taps + count - 1;
    values.assign(series * functions, KernelPair{});
    const double lambda0 = filter.rows.front().base / rhoC;
    for (std::size_t p = 0; p < series; ++p) {
      const double lambda = lambda0 * std::exp((static_cast<double>(p) - static_cast<double>(count - 1)) * delta);
      kernel(lambda, std::span<KernelPair>(values).subspan(p * functions, functions));
    }
    for (std::size_t m = 0; m < count; ++m) {
      const double rho = rhoC * std::exp(static_cast<double>(m) * delta);
      const std::size_t i = c + q * m;
      for (std::size_t fn = 0; fn < functions; ++fn) {
        Complex s1 = 0.0;
        Complex s0 = 0.0;
        for (std::size_t n = 0; n < taps; ++n) {
          const KernelPair& kp = values[(n + count - 1 - m) * functions + fn];
          s1 += kp.k1 * filter.rows[n].j1;
          s0 += kp.k0 * filter.rows[n].j0;
        }
        out[i * functions + fn] = {s1 / rho, s0 / rho};
      }
    }
  }
}

}  // namespace kvo::field
