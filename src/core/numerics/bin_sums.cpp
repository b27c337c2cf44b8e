#include "numerics/bin_sums.h"

#include <array>
#include <cstring>

namespace kvo::core {

namespace {

BinSums laneTotals(const double* p, const double* q) {
  return {(p[0] - p[1]) + (p[2] - p[3]), (q[0] + q[1]) + (q[2] + q[3])};
}

}  // namespace

void SumBinsPlain(const double* g, const double* va, const double* vb, std::size_t low, std::size_t high,
                  BinSums& a, BinSums& b) {
  std::array<double, 4> pa{}, qa{}, pb{}, qb{};
  const auto add = [](const double* gk, const double* x, std::array<double, 4>& p, std::array<double, 4>& q) {
    for (std::size_t i = 0; i < 4; ++i) p[i] += x[i] * gk[i];
    q[0] += x[0] * gk[1];
    q[1] += x[1] * gk[0];
    q[2] += x[2] * gk[3];
    q[3] += x[3] * gk[2];
  };
  if (vb != nullptr) {
    for (std::size_t k = low; k <= high; ++k) {
      add(g + 4 * k, va + 4 * k, pa, qa);
      add(g + 4 * k, vb + 4 * k, pb, qb);
    }
    b = laneTotals(pb.data(), qb.data());
  } else {
    for (std::size_t k = low; k <= high; ++k) add(g + 4 * k, va + 4 * k, pa, qa);
  }
  a = laneTotals(pa.data(), qa.data());
}

#if defined(__x86_64__)
// The same in AVX2 registers (GCC vector extensions); the vectors stay
// within the function, so the vector calling convention (GCC's -Wpsabi
// note on it) does not matter.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
#endif
namespace {

using Lanes = double __attribute__((vector_size(4 * sizeof(double))));

__attribute__((target("avx2"), always_inline)) inline Lanes loadLanes(const double* x) {
  Lanes v;
  std::memcpy(&v, x, sizeof v);
  return v;
}

// (x1, x0, x3, x2).
__attribute__((target("avx2"), always_inline)) inline Lanes swapPairs(Lanes x) {
#if defined(__clang__)
  return __builtin_shufflevector(x, x, 1, 0, 3, 2);
#else
  using Index = long long __attribute__((vector_size(4 * sizeof(long long))));
  return __builtin_shuffle(x, Index{1, 0, 3, 2});
#endif
}

}  // namespace

__attribute__((target("avx2"))) void SumBinsWide(const double* g, const double* va, const double* vb,
                                                 std::size_t low, std::size_t high, BinSums& a, BinSums& b) {
  Lanes pa{}, qa{}, pb{}, qb{};
  if (vb != nullptr) {
    for (std::size_t k = low; k <= high; ++k) {
      const Lanes gk = loadLanes(g + 4 * k), swapped = swapPairs(gk);
      const Lanes x = loadLanes(va + 4 * k), y = loadLanes(vb + 4 * k);
      pa += x * gk;
      qa += x * swapped;
      pb += y * gk;
      qb += y * swapped;
    }
    const std::array<double, 4> p{pb[0], pb[1], pb[2], pb[3]}, q{qb[0], qb[1], qb[2], qb[3]};
    b = laneTotals(p.data(), q.data());
  } else {
    for (std::size_t k = low; k <= high; ++k) {
      const Lanes gk = loadLanes(g + 4 * k);
      const Lanes x = loadLanes(va + 4 * k);
      pa += x * gk;
      qa += x * swapPairs(gk);
    }
  }
  const std::array<double, 4> p{pa[0], pa[1], pa[2], pa[3]}, q{qa[0], qa[1], qa[2], qa[3]};
  a = laneTotals(p.data(), q.data());
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

void SumBins(const double* g, const double* va, const double* vb, std::size_t low, std::size_t high, BinSums& a,
             BinSums& b) {
#if defined(__x86_64__)
  static const bool wide = __builtin_cpu_supports("avx2");
  if (wide) {
    SumBinsWide(g, va, vb, low, high, a, b);
    return;
  }
#endif
  SumBinsPlain(g, va, vb, low, high, a, b);
}

}  // namespace kvo::core
