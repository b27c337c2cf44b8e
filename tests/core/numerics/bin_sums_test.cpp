// Sums of measures' bins against a response row: against complex
// arithmetic, and the plain and AVX2 forms against each other to the bit.
#include "numerics/bin_sums.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

namespace kvo::core {
namespace {

using Complex = std::complex<double>;

// sum over k of mass_k G0_k + moment_k G1_k, in complex arithmetic.
Complex reference(const std::vector<double>& g, const std::vector<double>& v, std::size_t low, std::size_t high) {
  Complex s{};
  for (std::size_t k = low; k <= high; ++k) {
    const double* gk = &g[4 * k];
    const double* x = &v[4 * k];
    s += Complex{x[0], x[1]} * Complex{gk[0], gk[1]} + Complex{x[2], x[3]} * Complex{gk[2], gk[3]};
  }
  return s;
}

TEST(BinSums, AgreeWithComplexArithmeticAndAcrossTheirForms) {
  // Ranges of one bin, of a few (not a multiple of the lanes) and of
  // thousands; values over many orders of magnitude, as the bins of small
  // and large drives hold them.
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const std::size_t bins = 3000;
  std::vector<double> g(4 * bins), va(4 * bins), vb(4 * bins);
  for (std::size_t i = 0; i < g.size(); ++i) {
    const double scale = std::pow(10.0, -6.0 * static_cast<double>(i / 4) / bins);
    g[i] = unit(random);
    va[i] = scale * unit(random);
    vb[i] = scale * unit(random);
  }
  struct Range {
    std::size_t low, high;
  };
  for (const Range r : {Range{5, 5}, Range{10, 16}, Range{0, bins - 1}, Range{1234, 2999}}) {
    SCOPED_TRACE(::testing::Message() << "bins " << r.low << ".." << r.high);
    const Complex expectA = reference(g, va, r.low, r.high), expectB = reference(g, vb, r.low, r.high);
    BinSums one, two, unused;
    SumBins(g.data(), va.data(), nullptr, r.low, r.high, one, unused);
    SumBins(g.data(), va.data(), vb.data(), r.low, r.high, two, unused);
    // The pass over two measures gives the first the same bits as the pass over it alone.
    EXPECT_EQ(std::bit_cast<std::uint64_t>(one.re), std::bit_cast<std::uint64_t>(two.re));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(one.im), std::bit_cast<std::uint64_t>(two.im));
    EXPECT_NEAR(one.re, expectA.real(), 1e-12 * std::abs(expectA));
    EXPECT_NEAR(one.im, expectA.imag(), 1e-12 * std::abs(expectA));
    EXPECT_NEAR(unused.re, expectB.real(), 1e-12 * std::abs(expectB));
    EXPECT_NEAR(unused.im, expectB.imag(), 1e-12 * std::abs(expectB));
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx2")) {
      for (const bool twoMeasures : {false, true}) {
        BinSums pa, pb, wa, wb;
        const double* second = twoMeasures ? vb.data() : nullptr;
        SumBinsPlain(g.data(), va.data(), second, r.low, r.high, pa, pb);
        SumBinsWide(g.data(), va.data(), second, r.low, r.high, wa, wb);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(pa.re), std::bit_cast<std::uint64_t>(wa.re));
        EXPECT_EQ(std::bit_cast<std::uint64_t>(pa.im), std::bit_cast<std::uint64_t>(wa.im));
        if (twoMeasures) {
          EXPECT_EQ(std::bit_cast<std::uint64_t>(pb.re), std::bit_cast<std::uint64_t>(wb.re));
          EXPECT_EQ(std::bit_cast<std::uint64_t>(pb.im), std::bit_cast<std::uint64_t>(wb.im));
        }
      }
    }
#endif
  }
}

}  // namespace
}  // namespace kvo::core
