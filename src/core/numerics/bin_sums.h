#pragma once
// A measure's bins summed against one row of a response table: per bin k
// four numbers of the measure v (mass m0 + i m1, first moment n0 + i n1)
// and four of the table g (two complex factors), and
//     re = sum m0 g0 - m1 g1 + n0 g2 - n1 g3,
//     im = sum m0 g1 + m1 g0 + n0 g3 + n1 g2
// over the bins low..high. Two measures (vb too) take one pass over the
// row, which is read from memory once for both.
//
// The products are summed in four lanes, each in the same order in both
// forms and without fused multiply-adds, so that the plain form and the
// AVX2 one (chosen at run time) agree to the bit.

#include <cstddef>

namespace kvo::core {

struct BinSums {
  double re = 0.0, im = 0.0;
};

// b is written only when vb is given.
void SumBins(const double* g, const double* va, const double* vb, std::size_t low, std::size_t high, BinSums& a,
             BinSums& b);
void SumBinsPlain(const double* g, const double* va, const double* vb, std::size_t low, std::size_t high,
                  BinSums& a, BinSums& b);
#if defined(__x86_64__)
// Needs a processor with AVX2.
void SumBinsWide(const double* g, const double* va, const double* vb, std::size_t low, std::size_t high,
                 BinSums& a, BinSums& b);
#endif

}  // namespace kvo::core
