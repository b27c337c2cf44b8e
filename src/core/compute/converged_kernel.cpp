#include "compute/converged_kernel.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <mutex>
#include <utility>

#include <sys/mman.h>

#include "compute/point_response.h"
#include "numerics/bin_sums.h"
#include "numerics/biot_savart.h"
#include "numerics/constants.h"
#include "numerics/perpendicular_field.h"
#include "numerics/slope_frame.h"
#include "numerics/target_geometry.h"

namespace kvo::core {
namespace {

using Complex = std::complex<double>;

// |(x, y)| without hypot's care for overflow, which the fields (T/A) and
// distances (m) here are far from: hypot costs several times as much.
inline double magnitude(double x, double y) { return std::sqrt(x * x + y * y); }
inline double magnitude(const Complex& c) { return magnitude(c.real(), c.imag()); }

// The lattices of each depth: the first and the finest level. Level 0's
// cells are twice as large; starting from it took as long over the bundled
// examples (it mostly needed two refinements where level 1 needs one) and
// returned the coarser kernel more often.
constexpr int kFirstLevel = 1;
constexpr int kMaxLevel = 5;
// The first bin holds the drives up to where the largest pulse flips by
// kLinearFlip (rad): below it the response is linear in the drive to
// kLinearFlip^2/6 = 1.7e-7 (also off resonance and with the harmonics), so
// the bin's mass and first moment integrate it exactly to that, whatever
// the measure's shape. It starts no higher than kHighestFirstEdge of the
// largest drive, so that a weak pulse still gets its bins.
constexpr double kLinearFlip = 1e-3;
constexpr double kHighestFirstEdge = 1e-3;
// The earth's part of the field: radial nodes per interval of the polar
// grid, and points per call of the component.
constexpr int kRemainderDivisions = 1;
constexpr std::size_t kPointsPerCall = 190;
// Lattice: first step at the wire, in units of the depth below the wire,
// growth of the steps, largest step (in apothems), and the same along the
// edges (in edge lengths); the flip's deviation from linear allowed in one
// part of a cell (rad), and the weight's (relative; the cells' curvature
// corrections take up most of what the weight's deviation would cost).
// All shrink with the level: lengths by 2^(-level/2), deviations by
// 2^-level.
constexpr double kWireStep = 0.03;
constexpr double kRadialGrowth = 0.3;
constexpr double kRadialLargest = 0.15;
constexpr double kCornerStep = 1.0;
constexpr double kAlongGrowth = 0.9;
constexpr double kPhaseStep = 0.05;
constexpr double kWeightStep = 4e-3;
constexpr double kAlongLargest = 0.12;
// Shallowest depth the converged scheme integrates (m): at the wires' own
// depth the plane's integral diverges.
constexpr double kShallowestDepth = 0.03;
// Corners a triangle can have once clipped: 3, and one more for each edge
// it is clipped to (the ground's line and a convex target's four edges).
constexpr std::size_t kMaxClipCorners = 3 + 1 + static_cast<std::size_t>(kTargetCornerCount);
// Sloping ground: the earth's part of the field is tabulated on depths
// below the slope from this one up, each this much deeper than the last.
constexpr double kFirstSlopeLevel = 0.02;
constexpr double kSlopeLevelRatio = 1.15;

double pulseCurrent(const SoundingSetup& setup, std::size_t p) {
  return setup.tx.turns * setup.grids.pulseMoments[p] / setup.grids.pulseDuration;
}

// The flip per T/A of drive at the largest pulse moment (rad per T/A).
double largestFlipPerDrive(const SoundingSetup& setup) {
  double flip = 0.0;
  for (std::size_t p = 0; p < kGridPoints; ++p) {
    flip = std::max(flip, kGyromagneticRatio * pulseCurrent(setup, p) * setup.grids.pulseDuration * kMillisecond);
  }
  return flip;
}


// One term of the point response per unit receiver amplitude at one drive:
//     g = a1 sin(theta) + i a2 (1 - cos theta),
// theta = W tau, a1 = w/W, a2 = -w d/W^2 (point_response.h).
struct ResponseTerm {
  double theta = 0.0;
  double a1 = 0.0;
  double a2 = 0.0;
  Complex turn{1.0, 0.0};  // e^{i theta}
};

ResponseTerm responseTerm(double rabi, double detuning, double seconds) {
  const double big = std::sqrt(rabi * rabi + detuning * detuning);
  if (big == 0.0) return {};
  return {big * seconds, rabi / big, -rabi * detuning / (big * big), std::polar(1.0, big * seconds)};
}

struct EdgeTerms {
  ResponseTerm fundamental;
  ResponseTerm harmonic;
};

// The terms at drive b (T/A): the fundamental with the Bloch-Siegert shift
// (the physical w^2/(4 w0), or the classic w^2/w0 for comparisons), each
// harmonic with w/6 and the 80 Hz offset (when the pulse has harmonics).
EdgeTerms edgeTerms(double b, double current, double offset, const PulseSettings& pulse) {
  const double rabi = kGyromagneticRatio * b * current;
  const double larmor = 2.0 * kPi * pulse.larmorFrequency + offset;
  EdgeTerms t;
  const double shift = pulse.physicalBlochSiegert ? rabi * rabi / (4.0 * larmor) : rabi * rabi / larmor;
  t.fundamental = responseTerm(rabi, offset + shift, pulse.pulseSeconds);
  if (pulse.harmonicsCount > 1) {
    t.harmonic = responseTerm(rabi * kHarmonicAmplitude, offset + 2.0 * kPi * kHarmonicOffset, pulse.pulseSeconds);
  }
  return t;
}

// The series' coefficients: (i D)^k is real for even k and imaginary for
// odd k, so each part is a polynomial in D^2 (times D for the imaginary
// part), summed by Horner's rule: term k of J_n is (i D)^k / (k! (n + k + 1)),
// k = 0..9.
struct MomentSeries {
  std::array<std::array<double, 5>, 3> even{}, odd{};  // [n][m]: k = 2m, k = 2m + 1
};

constexpr MomentSeries momentSeries() {
  MomentSeries s;
  double factorial = 1.0;
  for (int k = 0; k <= 9; ++k) {
    if (k > 0) factorial *= k;
    const double sign = (k / 2) % 2 == 0 ? 1.0 : -1.0;
    for (int n = 0; n < 3; ++n) {
      const double c = sign / (factorial * (n + k + 1));
      if (k % 2 == 0) s.even[static_cast<std::size_t>(n)][static_cast<std::size_t>(k / 2)] = c;
      else s.odd[static_cast<std::size_t>(n)][static_cast<std::size_t>(k / 2)] = c;
    }
  }
  return s;
}

constexpr MomentSeries kMomentSeries = momentSeries();

// J_n = integral over s in [0, 1] of s^n e^{i D s}, n = 0, 1, 2: by the
// series for small |D|, else by J_0 = (e - 1)/(iD), J_n = (e - n J_n-1)/(iD)
// (e = e^{iD}, given; the recursion loses about eps/|D|^3, below 1e-12 here).
std::array<Complex, 3> oscillatoryMoments(double d, Complex e) {
  std::array<Complex, 3> j{};
  if (std::fabs(d) < 0.1) {
    const double d2 = d * d;
    for (std::size_t n = 0; n < 3; ++n) {
      const auto& even = kMomentSeries.even[n];
      const auto& odd = kMomentSeries.odd[n];
      double re = even[4], im = odd[4];
      for (std::size_t m = 4; m-- > 0;) {
        re = re * d2 + even[m];
        im = im * d2 + odd[m];
      }
      j[n] = Complex{re, im * d};
    }
    return j;
  }
  // x / (iD) = -i x / D.
  const double inverse = 1.0 / d;
  const auto overID = [inverse](Complex x) { return Complex{x.imag() * inverse, -x.real() * inverse}; };
  j[0] = overID(e - 1.0);
  j[1] = overID(e - j[0]);
  j[2] = overID(e - 2.0 * j[1]);
  return j;
}

// Over one bin, with s in [0, 1] its relative position: the integrals of
// the term g = a1 sin(theta) + i a2 (1 - cos theta) and of s g, from the
// values at the bin's edges. Filon's rule: the integrals of
// (A0 + (A1 - A0) s) e^{i (theta0 + D s)} and of s times it, D = theta1 -
// theta0, are exact for a linear amplitude and phase however large D.
std::array<Complex, 2> binMoments(const ResponseTerm& lo, const ResponseTerm& hi) {
  // e^{iD} from the edges' own turns, each worked out once per edge.
  const Complex a = hi.turn, b = lo.turn;
  const Complex e{a.real() * b.real() + a.imag() * b.imag(), a.imag() * b.real() - a.real() * b.imag()};
  const auto j = oscillatoryMoments(hi.theta - lo.theta, e);
  const Complex turn = lo.turn;
  const auto filon = [&](double a0, double a1) -> std::array<Complex, 2> {
    const double da = a1 - a0;
    return {turn * (a0 * j[0] + da * j[1]), turn * (a0 * j[1] + da * j[2])};
  };
  const auto sinPart = filon(lo.a1, hi.a1);
  const auto cosPart = filon(lo.a2, hi.a2);
  const double plain0 = 0.5 * (lo.a2 + hi.a2);
  const double plain1 = lo.a2 / 6.0 + hi.a2 / 3.0;
  return {Complex{sinPart[0].imag(), plain0 - cosPart[0].real()},
          Complex{sinPart[1].imag(), plain1 - cosPart[1].real()}};
}

}  // namespace

namespace {

// How far the plane at `depth` lies below the transmitter's wire (m): the
// least over its vertices, which on sloping ground lie at different depths.
double wireClearance(const SoundingSetup& setup, double depth) {
  if (setup.topography.on <= 0) return depth - kWireHeight;
  const Topography& topo = setup.topography;
  const SlopeFrame slope(topo.azimuth - degreesToRadians(setup.txAzimuth), topo.inclination, topo.height);
  double least = 1e300;
  for (std::size_t i = 0; i <= static_cast<std::size_t>(setup.txWire.segmentCount); ++i) {
    const auto& v = setup.txWire.vertices[i];
    least = std::min(least, depth - slope.pointFromSlope({v[0], v[1], v[2]})[2]);
  }
  return least;
}

bool computed(const SoundingSetup& setup, std::size_t z) {
  return setup.inDepthWindow(z) && setup.depthFlag(z) != 0;
}

}  // namespace

std::optional<std::string> ConvergedSupport(const SoundingSetup& setup) {
  const bool sloping = setup.topography.on > 0;
  if (sloping && setup.separateReceiver) {
    return std::string("the converged sampling does not handle a separate receiver on sloping ground yet");
  }
  for (const std::size_t z : setup.depths) {
    if (!computed(setup, z)) continue;
    if (wireClearance(setup, setup.grids.depths[z]) < kShallowestDepth - kWireHeight) {
      return std::string(sloping ? "the converged sampling needs the planes at least 0.02 m below the wires on the slope"
                                 : "the converged sampling needs depths of at least 0.03 m, below the wires' top layer");
    }
  }
  return std::nullopt;
}

double LargestDrive(const SoundingSetup& setup) {
  double gap = 1e300;
  for (const std::size_t z : setup.depths) {
    if (computed(setup, z)) gap = std::min(gap, wireClearance(setup, setup.grids.depths[z]));
  }
  gap = std::max(gap == 1e300 ? 1.0 : gap, 1e-3);
  // Two segments meeting at a corner, the earth's part and an elliptical
  // split's factor (1 + e)/2 each stay within this.
  return 8.0 * kMu0 / (2.0 * kPi * gap);
}

ResponseTable::TableStorage::TableStorage(std::size_t count) {
  constexpr std::size_t kHugePage = std::size_t{1} << 21;
  const std::size_t bytes = (count * sizeof(Complex) + kHugePage - 1) / kHugePage * kHugePage;
  void* memory = std::aligned_alloc(kHugePage, bytes);
  if (memory == nullptr) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  ::madvise(memory, bytes, MADV_HUGEPAGE);  // advice only: without it, ordinary pages
#endif
  m_data.reset(static_cast<Complex*>(memory));
}

void ResponseTable::TableStorage::Free::operator()(std::complex<double>* p) const { std::free(p); }

ResponseTable::ResponseTable(const SoundingSetup& setup, double bHigh, bool physicalBlochSiegert) {
  const double flipPerDrive = largestFlipPerDrive(setup);
  const double firstEdge =
      flipPerDrive > 0.0 ? std::min(kLinearFlip / flipPerDrive, kHighestFirstEdge * bHigh) : kHighestFirstEdge * bHigh;
  // The lowest edge rounded down to a bin edge, so that every edge is a
  // bit pattern with the low mantissa bits clear.
  m_firstPattern = std::bit_cast<std::uint64_t>(firstEdge) >> kPatternShift;
  const std::uint64_t lastPattern = (std::bit_cast<std::uint64_t>(bHigh) >> kPatternShift) + 1;
  m_low = std::bit_cast<double>(m_firstPattern << kPatternShift);
  m_edges.resize(static_cast<std::size_t>(lastPattern - m_firstPattern) + 2);
  m_edges[0] = 0.0;
  for (std::size_t k = 1; k < m_edges.size(); ++k) {
    m_edges[k] = std::bit_cast<double>((m_firstPattern + (k - 1)) << kPatternShift);
  }
  const std::size_t bins = binCount();
  m_values = TableStorage(2 * kGridPoints * bins);
  m_inverseWidths.resize(bins);
  for (std::size_t k = 0; k < bins; ++k) m_inverseWidths[k] = 1.0 / (m_edges[k + 1] - m_edges[k]);

  m_pulse.larmorFrequency = setup.grids.larmorFrequency;
  m_pulse.pulseSeconds = setup.grids.pulseDuration * kMillisecond;
  m_pulse.harmonicsCount = std::max(setup.grids.harmonicsCount, 1);
  m_pulse.physicalBlochSiegert = physicalBlochSiegert;
}

void ResponseTable::fillRow(const SoundingSetup& setup, std::size_t p) {
  const std::size_t bins = binCount();
  const double current = pulseCurrent(setup, p);
  const double offset = setup.shift.offsets[p];
  std::vector<EdgeTerms> edges(m_edges.size());
  for (std::size_t k = 0; k < m_edges.size(); ++k) edges[k] = edgeTerms(m_edges[k], current, offset, m_pulse);
  const double harmonics = static_cast<double>(m_pulse.harmonicsCount - 1);
  Complex* row = m_values.data() + 2 * p * bins;
  for (std::size_t k = 0; k < bins; ++k) {
    const EdgeTerms& lo = edges[k];
    const EdgeTerms& hi = edges[k + 1];
    auto g = binMoments(lo.fundamental, hi.fundamental);
    if (harmonics > 0.0) {
      const auto h = binMoments(lo.harmonic, hi.harmonic);
      g[0] += harmonics * h[0];
      g[1] += harmonics * h[1];
    }
    // A density a + b s over the bin with mass m0 and first moment m1 (in
    // s) integrates g to m0 (4 G0 - 6 G1) + m1 (12 G1 - 6 G0).
    row[2 * k] = 4.0 * g[0] - 6.0 * g[1];
    row[2 * k + 1] = 12.0 * g[1] - 6.0 * g[0];
  }
}

// The bin from the bits of b: for positive doubles the order of the bit
// patterns is the order of the values, so the pattern's leading bits (the
// exponent and the first kMantissaBits of the mantissa) number the bins and
// edge(k) <= b < edge(k + 1) holds exactly.
std::size_t ResponseTable::binOf(double b) const {
  if (!(b > m_low)) return 0;
  const std::uint64_t pattern = std::bit_cast<std::uint64_t>(b) >> kPatternShift;
  const std::size_t last = binCount() - 1;
  const std::uint64_t k = pattern - m_firstPattern + 1;
  return k > last ? last : static_cast<std::size_t>(k);
}

// ---------------------------------------------------------------------------

BinnedMeasure::BinnedMeasure(const ResponseTable& table)
    : m_table(table),
      m_bins(table.binCount()),
      m_steps(table.binCount() + 1),
      m_carries(table.binCount() / kBlockBins + 2) {}

void BinnedMeasure::clear() {
  // Only the bins the last measure reached hold anything (finish() leaves
  // the differences and carries at zero).
  if (!empty()) {
    std::fill(m_bins.begin() + static_cast<std::ptrdiff_t>(m_low), m_bins.begin() + static_cast<std::ptrdiff_t>(m_high) + 1,
              Quad{});
  }
  m_low = m_bins.size();
  m_high = 0;
}

void BinnedMeasure::addTriangle(double bp, std::size_t kp, double bq, std::size_t kq, double br,
                                std::size_t kr, std::complex<double> m) {
  const double mr = m.real(), mi = m.imag();
  // The nodes in the order of their drives; bins follow the drive.
  std::array<std::pair<double, std::size_t>, 3> n{{{bp, kp}, {bq, kq}, {br, kr}}};
  if (n[0].first > n[1].first) std::swap(n[0], n[1]);
  if (n[1].first > n[2].first) std::swap(n[1], n[2]);
  if (n[0].first > n[1].first) std::swap(n[0], n[1]);
  const double b1 = n[0].first, b2 = n[1].first, b3 = n[2].first;
  const std::size_t k1 = std::min({kp, kq, kr});
  const std::size_t k3 = std::max({kp, kq, kr});
  const std::size_t k2 = std::clamp(n[1].second, k1, k3);
  m_low = std::min(m_low, k1);
  m_high = std::max(m_high, k3);
  if (k1 == k3) {
    const double f = ((b1 + b2 + b3) / 3.0 - m_table.edge(k1)) * m_table.inverseWidth(k1);
    m_bins[k1].add(mr, mi, mr * f, mi * f);
    return;
  }
  const double width = b3 - b1;
  const double rising = b2 > b1 ? 1.0 / (width * (b2 - b1)) : 0.0;
  const double falling = b3 > b2 ? 1.0 / (width * (b3 - b2)) : 0.0;
  const double total = (b2 + b3 - 2.0 * b1) / 3.0;
  // The mass below x and its first moment about b1: on the rising side
  // (u = x - b1) and on the falling one (v = b3 - x).
  const auto below = [&](double x) -> std::pair<double, double> {
    if (x <= b2) {
      const double u = x - b1;
      const double c = u * u * rising;
      return {c, (2.0 / 3.0) * u * c};
    }
    const double v = b3 - x;
    const double tail = v * v * falling;
    return {1.0 - tail, total - tail * (width - (2.0 / 3.0) * v)};
  };
  // The bins holding the nodes: k1 from b1 to its upper edge, k3 from its
  // lower edge to b3, and k2 (when apart from both) across its two edges.
  const auto [c1, f1] = below(m_table.edge(k1 + 1));
  direct(k1, 0.0, 0.0, c1, f1, b1, mr, mi);
  if (k2 != k1 && k2 != k3) {
    const auto [c0, f0] = below(m_table.edge(k2));
    const auto [c2, f2] = below(m_table.edge(k2 + 1));
    direct(k2, c0, f0, c2, f2, b1, mr, mi);
  }
  const auto [c3, f3] = below(m_table.edge(k3));
  direct(k3, c3, f3, 1.0, total, b1, mr, mi);
  // Whole bins: the density is 2 rising (b - b1) below b2, 2 falling (b3 - b) above.
  if (k2 > k1 + 1) addDensity(k1 + 1, k2, mr, mi, -2.0 * rising * b1, 2.0 * rising);
  if (k3 > k2 + 1) addDensity(k2 + 1, k3, mr, mi, 2.0 * falling * b3, -2.0 * falling);
}

// Bin k takes the mass m (c1 - c0) and the first moment m (f1 - f0 + (b1 -
// edge) (c1 - c0)) / width, from the distribution function's values (c,
// mass below; f, first moment about b1) at its two ends.
void BinnedMeasure::direct(std::size_t k, double c0, double f0, double c1, double f1, double b1, double mr,
                           double mi) {
  const double share = c1 - c0;
  const double f = (f1 - f0 + (b1 - m_table.edge(k)) * share) * m_table.inverseWidth(k);
  m_bins[k].add(mr * share, mi * share, mr * f, mi * f);
}

// The density m (alpha + beta b) over the bins k0 .. k1 - 1.
void BinnedMeasure::addDensity(std::size_t k0, std::size_t k1, double mr, double mi, double alpha, double beta) {
  const double ar = mr * alpha, ai = mi * alpha, br = mr * beta, bi = mi * beta;
  m_steps[k0].add(ar, ai, br, bi);
  for (std::size_t block = k0 / kBlockBins + 1; block * kBlockBins < k1; ++block) m_carries[block].add(ar, ai, br, bi);
  if (k1 % kBlockBins != 0) m_steps[k1].add(-ar, -ai, -br, -bi);
}

void BinnedMeasure::finish() {
  if (empty()) return;
  // A density alpha + beta b over the bin [e, e + w] has the mass
  // alpha w + beta w (e + w/2) and the first moment (in the relative
  // position) alpha w/2 + beta w (e/2 + w/3).
  double ar = 0.0, ai = 0.0, br = 0.0, bi = 0.0;
  for (std::size_t k = m_low; k <= m_high; ++k) {
    if (k % kBlockBins == 0) {
      const Quad carry = std::exchange(m_carries[k / kBlockBins], Quad{});
      ar = carry.v[0];
      ai = carry.v[1];
      br = carry.v[2];
      bi = carry.v[3];
    }
    const Quad step = std::exchange(m_steps[k], Quad{});
    ar += step.v[0];
    ai += step.v[1];
    br += step.v[2];
    bi += step.v[3];
    const double e = m_table.edge(k), w = m_table.edge(k + 1) - e;
    const double massB = w * (e + 0.5 * w), momentA = 0.5 * w, momentB = w * (0.5 * e + w / 3.0);
    m_bins[k].add(ar * w + br * massB, ai * w + bi * massB, ar * momentA + br * momentB, ai * momentA + bi * momentB);
  }
}

namespace {

using RemainderRow = std::array<double, 6>;  // re x, y, z, im x, y, z

// Lagrange interpolation on up to four nodes x[0..count-1]: the inverses of
// the weights' denominators (fixed for a stencil, so kept where the stencil
// is used again), and the weights at r from them.
using Weights4 = std::array<double, 4>;
Weights4 lagrangeInverseDenominators(const double* x, std::size_t count) {
  Weights4 inv{};
  for (std::size_t i = 0; i < count; ++i) {
    double d = 1.0;
    for (std::size_t k = 0; k < count; ++k) {
      if (k != i) d *= x[i] - x[k];
    }
    inv[i] = 1.0 / d;
  }
  return inv;
}
Weights4 lagrangeWeights(double r, const double* x, std::size_t count, const Weights4& inverseDenominators) {
  Weights4 d{};
  for (std::size_t i = 0; i < count; ++i) d[i] = r - x[i];
  Weights4 w{};
  double before = 1.0;
  for (std::size_t i = 0; i < count; ++i) {
    double after = 1.0;
    for (std::size_t k = i + 1; k < count; ++k) after *= d[k];
    w[i] = before * after * inverseDenominators[i];
    before *= d[i];
  }
  return w;
}

// The earth's part on the levels below a sloping ground, for the model and
// (elliptical split) the reference earth: level j is read only after
// filled[j] is seen set, and filled under locks[j] by the first worker to
// need it.
struct SlopeLevels {
  std::mutex sizing;
  std::size_t count = 0;
  std::vector<std::vector<RemainderRow>> model, reference;
  std::unique_ptr<std::atomic<bool>[]> filled;
  std::unique_ptr<std::mutex[]> locks;

  // Every worker finds the same levels; the first one sizes the store.
  void size(std::size_t n) {
    const std::lock_guard<std::mutex> guard(sizing);
    if (count != 0) return;
    model.assign(n, {});
    reference.assign(n, {});
    filled = std::make_unique<std::atomic<bool>[]>(n);
    locks = std::make_unique<std::mutex[]>(n);
    count = n;
  }
};

// The earth's part of one loop's field at one depth, in the loop's own
// frame (before its azimuth): the component's field minus the wire's
// static field, on rays of a fundamental sector of the loop's symmetry
// (the circle's 30-gon: the ray through a corner, turned to every angle;
// the square: 0 to pi/4, mirrored across the diagonal and the axes; the
// eights: 0 to pi/2, mirrored across the axes) at the radii of the loop's
// polar grid. Mirrors (see numerics/field_slice.h): y -> -y
// gives (Hx, -Hy, Hz) for every loop; x -> -x gives (-Hx, Hy, Hz) for a
// single loop and (Hx, -Hy, -Hz) for an eight; the square's diagonal swaps
// Hx and Hy.
struct LoopRemainder {
  int type = 1;
  std::vector<double> radii;            // m
  std::size_t lastAngle = 0;            // the sector's rays are k * step, k = 0..lastAngle
  double step = 0.0;                    // rad
  std::vector<RemainderRow> model;      // [angle * radii.size() + radius]
  std::vector<RemainderRow> reference;  // the same, elliptical split only
  std::vector<Point3> wire;             // as the component sees it (single precision)
  BiotSavartWire staticField;           // of that wire
  double cosAz = 1.0, sinAz = 0.0;      // loop frame -> common frame
  double centreX = 0.0, centreY = 0.0;  // in the common frame
  // Sloping ground: the slope's frame of this loop, and the earth's part on
  // levels of depth below the slope (filled as depths need them, shared by
  // the workers).
  std::optional<SlopeFrame> slope;
  std::vector<double> levels;  // m below the slope, increasing
  SlopeLevels* levelRows = nullptr;

  bool circle() const { return type == 1; }
  bool square() const { return type == 2; }

  static RemainderRow mirrorY(RemainderRow v) {
    v[1] = -v[1];
    v[4] = -v[4];
    return v;
  }
  RemainderRow mirrorX(RemainderRow v) const {
    if (type <= 2) {
      v[0] = -v[0];
      v[3] = -v[3];
    } else {
      v[1] = -v[1];
      v[4] = -v[4];
      v[2] = -v[2];
      v[5] = -v[5];
    }
    return v;
  }
  static RemainderRow diagonal(RemainderRow v) {
    std::swap(v[0], v[1]);
    std::swap(v[3], v[4]);
    return v;
  }

  // Ray k of the whole circle of rays is the sector's ray sectorRay(k),
  // its rows turned by unfold(v, k) (linear, so a sum of rows is unfolded
  // at once).
  std::size_t sectorRay(long k) const {
    const long last = static_cast<long>(lastAngle);
    if (k < 0) return sectorRay(-k);
    if (k > last) return sectorRay(2 * last - k);
    return static_cast<std::size_t>(k);
  }
  RemainderRow unfold(const RemainderRow& v, long k) const {
    const long last = static_cast<long>(lastAngle);
    if (k < 0) return mirrorY(unfold(v, -k));
    if (k > last) {
      const RemainderRow u = unfold(v, 2 * last - k);
      return square() ? diagonal(u) : mirrorX(u);
    }
    return v;
  }

  // The inverse denominators of the radial Lagrange weights of the stencil
  // starting at each radius.
  std::vector<Weights4> radialDenominators;
  void setUpRadialStencils() {
    radialDenominators.clear();
    for (std::size_t start = 0; start + 4 <= radii.size(); ++start) {
      radialDenominators.push_back(lagrangeInverseDenominators(&radii[start], 4));
    }
  }

  // The rows of N earths at once (the model's and, for the elliptical
  // split, the reference's): the stencils are the same.
  template <std::size_t N>
  using RowSets = std::array<const std::vector<RemainderRow>*, N>;
  template <std::size_t N>
  using Rows = std::array<RemainderRow, N>;

  template <std::size_t N>
  Rows<N> interpolate(const RowSets<N>& rows, double x, double y) const {
    Rows<N> v{};
    const double r = magnitude(x, y);
    if (r > radii.back()) return v;
    // Radial stencil: four nodes around r.
    const std::size_t n = radii.size();
    const std::size_t upper = static_cast<std::size_t>(std::upper_bound(radii.begin(), radii.end(), r) - radii.begin());
    const std::size_t i0 = upper == 0 ? 0 : upper - 1;
    const std::size_t start = std::min<std::size_t>(i0 == 0 ? 0 : i0 - 1, n - 4);
    const Weights4 wr = lagrangeWeights(r, &radii[start], 4, radialDenominators[start]);
    if (circle()) {
      const double c = r > 0.0 ? x / r : 1.0;
      const double sn = r > 0.0 ? y / r : 0.0;
      for (std::size_t e = 0; e < N; ++e) {
        RemainderRow& u = v[e];
        for (std::size_t a = 0; a < 4; ++a) {
          for (std::size_t k = 0; k < 6; ++k) u[k] += wr[a] * (*rows[e])[start + a][k];
        }
        u = {c * u[0] - sn * u[1], sn * u[0] + c * u[1], u[2], c * u[3] - sn * u[4], sn * u[3] + c * u[4], u[5]};
      }
      return v;
    }
    // Fold the point into the sector, interpolate there, unfold the field.
    const bool flipX = x < 0.0, flipY = y < 0.0;
    double fx = std::fabs(x), fy = std::fabs(y);
    const bool swapped = square() && fy > fx;
    if (swapped) std::swap(fx, fy);
    const double u = std::atan2(fy, fx) / step;
    const double k0 = std::floor(u);
    const double f = u - k0;
    const std::array<double, 4> wa{-f * (f - 1.0) * (f - 2.0) / 6.0, (f + 1.0) * (f - 1.0) * (f - 2.0) / 2.0,
                                   -(f + 1.0) * f * (f - 2.0) / 2.0, (f + 1.0) * f * (f - 1.0) / 6.0};
    for (std::size_t b = 0; b < 4; ++b) {
      const long k = static_cast<long>(k0) + static_cast<long>(b) - 1;
      const std::size_t ray = sectorRay(k);
      for (std::size_t e = 0; e < N; ++e) {
        const RemainderRow* base = &(*rows[e])[ray * n + start];
        RemainderRow along{};
        for (std::size_t a = 0; a < 4; ++a) {
          for (std::size_t c = 0; c < 6; ++c) along[c] += wr[a] * base[a][c];
        }
        const RemainderRow turned = unfold(along, k);
        for (std::size_t c = 0; c < 6; ++c) v[e][c] += wa[b] * turned[c];
      }
    }
    for (RemainderRow& w : v) {
      if (swapped) w = diagonal(w);
      if (flipY) w = mirrorY(w);
      if (flipX) w = mirrorX(w);
    }
    return v;
  }

  // The earth's part at (x, y) of the loop's (slope) frame and depth zs
  // below the slope: four-point Lagrange between the levels (points above
  // the slope's first level take that level's values).
  template <std::size_t N>
  Rows<N> interpolateLevels(const std::array<const std::vector<std::vector<RemainderRow>>*, N>& rows, double x,
                            double y, double zs) const {
    const double z = std::clamp(zs, levels.front(), levels.back());
    const std::size_t n = levels.size();
    const std::size_t upper = static_cast<std::size_t>(std::upper_bound(levels.begin(), levels.end(), z) - levels.begin());
    const std::size_t j0 = upper == 0 ? 0 : upper - 1;
    const std::size_t start = std::min<std::size_t>(j0 == 0 ? 0 : j0 - 1, n - 4);
    const Weights4 w = lagrangeWeights(z, &levels[start], 4, lagrangeInverseDenominators(&levels[start], 4));
    Rows<N> v{};
    for (std::size_t a = 0; a < 4; ++a) {
      RowSets<N> level;
      for (std::size_t e = 0; e < N; ++e) level[e] = &(*rows[e])[start + a];
      const Rows<N> r = interpolate<N>(level, x, y);
      for (std::size_t e = 0; e < N; ++e) {
        for (std::size_t c = 0; c < 6; ++c) v[e][c] += w[a] * r[e][c];
      }
    }
    return v;
  }

  // A point of the plane in this loop's frame (level, or the slope's), with
  // the wire's static field there.
  struct Located {
    double x = 0.0, y = 0.0, zs = 0.0;
    FieldVector stat{};
  };
  Located locate(double x, double y, double depth) const {
    Located p;
    if (slope) {
      const FieldVector q = slope->pointIntoSlope({x, y, depth});
      p = {q[0], q[1], q[2], {}};
    } else {
      p = {x, y, depth, {}};
    }
    p.stat = staticField.at({p.x, p.y, p.zs});
    return p;
  }

  // The loop's field at a located point, for the model earth (N = 1) and
  // the reference earth (N = 2, the elliptical split), in the common frame.
  template <std::size_t N>
  std::array<ComplexField, N> fieldsAt(const Located& p) const {
    Rows<N> v;
    if (slope) {
      std::array<const std::vector<std::vector<RemainderRow>>*, N> sets{&levelRows->model};
      if constexpr (N == 2) sets[1] = &levelRows->reference;
      v = interpolateLevels<N>(sets, p.x, p.y, p.zs);
    } else {
      RowSets<N> sets{&model};
      if constexpr (N == 2) sets[1] = &reference;
      v = interpolate<N>(sets, p.x, p.y);
    }
    std::array<ComplexField, N> out;
    for (std::size_t e = 0; e < N; ++e) {
      FieldVector re{p.stat[0] + v[e][0], p.stat[1] + v[e][1], p.stat[2] + v[e][2]};
      FieldVector im{v[e][3], v[e][4], v[e][5]};
      if (slope) {
        re = slope->vectorFromSlope(re);
        im = slope->vectorFromSlope(im);
      }
      out[e] = {turned(re), turned(im)};
    }
    return out;
  }

  // Into the common frame.
  FieldVector turned(const FieldVector& v) const {
    return {cosAz * v[0] - sinAz * v[1], sinAz * v[0] + cosAz * v[1], v[2]};
  }
};

std::vector<Point3> singlePrecisionWire(const LoopWireShape& wire) {
  std::vector<Point3> out(static_cast<std::size_t>(wire.segmentCount) + 1);
  for (std::size_t i = 0; i < out.size(); ++i) {
    for (std::size_t c = 0; c < 3; ++c) out[i][c] = static_cast<float>(wire.vertices[i][c]);
  }
  return out;
}

// A wire polygon of the lattice: closed vertex list around its centre, in
// the transmitter's own frame, and the half-plane its wedges keep (the
// eights' lobes: points p with normal . p >= offset; a zero normal keeps
// the whole plane). `receiver` marks the receiver's polygons.
struct WirePolygon {
  std::vector<std::array<double, 2>> vertices;
  std::vector<double> depths;  // of the vertices, m
  double cx = 0.0, cy = 0.0;
  double nx = 0.0, ny = 0.0, offset = 0.0;
  bool receiver = false;
};

// The polygons of a wire (one, or an eight's two lobes), moved by the turn
// (cos, sin) and then the shift (sx, sy).
std::vector<WirePolygon> wirePolygons(const LoopWireShape& wire, int type, double c, double s,
                                      double sx, double sy, bool receiver) {
  const auto vertex = [&](int i) {
    const auto& v = wire.vertices[static_cast<std::size_t>(i)];
    return std::array<double, 2>{c * v[0] - s * v[1] + sx, s * v[0] + c * v[1] + sy};
  };
  const auto closed = [&](int first, int last, double side) {
    WirePolygon p;
    for (int i = first; i <= last; ++i) {
      p.vertices.push_back(vertex(i));
      p.depths.push_back(wire.vertices[static_cast<std::size_t>(i)][2]);
    }
    const std::size_t distinct = p.vertices.size() - 1;
    for (std::size_t i = 0; i < distinct; ++i) {
      p.cx += p.vertices[i][0] / static_cast<double>(distinct);
      p.cy += p.vertices[i][1] / static_cast<double>(distinct);
    }
    p.nx = side * c;
    p.ny = side * s;
    p.offset = p.nx * sx + p.ny * sy;
    p.receiver = receiver;
    return p;
  };
  const int n = wire.segmentCount;
  if (type <= 2) return {closed(0, n, 0.0)};
  const int k = (n - 2) / 2;
  return {closed(0, k, 1.0), closed(k + 1, 2 * k + 1, -1.0)};
}

// Shortest distance (m) from (x, y) to the polygons of one loop, horizontally.
double distanceToWire(const std::vector<WirePolygon>& polygons, bool receiver, double x, double y) {
  double best = 1e300;
  for (const WirePolygon& poly : polygons) {
    if (poly.receiver != receiver) continue;
    for (std::size_t k = 0; k + 1 < poly.vertices.size(); ++k) {
      const auto& a = poly.vertices[k];
      const auto& b = poly.vertices[k + 1];
      const double ex = b[0] - a[0], ey = b[1] - a[1];
      const double len2 = ex * ex + ey * ey;
      double f = len2 > 0.0 ? ((x - a[0]) * ex + (y - a[1]) * ey) / len2 : 0.0;
      f = std::clamp(f, 0.0, 1.0);
      best = std::min(best, magnitude(x - a[0] - f * ex, y - a[1] - f * ey));
    }
  }
  return best;
}

// Nodes from `from` towards `to` with the first step `first`, growing by
// `growth` up to `largest(x)`; the last node is `to`.
template <class Largest>
void gradedNodes(double from, double to, double first, double growth, Largest largest,
                 std::vector<double>& out) {
  const double dir = to > from ? 1.0 : -1.0;
  double x = from;
  double step = first;
  while (true) {
    step = std::min(step, largest(x));
    const double next = x + dir * step;
    if ((to - next) * dir <= 0.25 * step) break;
    out.push_back(next);
    x = next;
    step *= growth;
  }
  out.push_back(to);
}

// The subset of an edge's along nodes (graded from both corners, t = 0 and
// t = 1) that a coarser grading with first step `first`, growth `growth`
// and largest step `largest` keeps: each of its gaps is made of whole gaps
// of `along`, and spans at most first + (growth - 1) d or `largest` (d the
// distance of its nearer end from a corner), or else one gap; into `out`.
void thinnedAlong(const std::vector<double>& along, double first, double growth, double largest,
                  std::vector<double>& out) {
  out.assign(1, along.front());
  std::size_t i = 0;
  while (i + 1 < along.size()) {
    std::size_t k = i + 1;
    while (k + 1 < along.size()) {
      const double t0 = along[i], t1 = along[k + 1];
      const double allowed = std::min(largest, first + (growth - 1.0) * std::min(t0, 1.0 - t1));
      if (t1 - t0 > allowed * (1.0 + 1e-9)) break;
      ++k;
    }
    out.push_back(along[k]);
    i = k;
  }
}

// The real part's perpendicular amplitude of each loop's field carries a
// sign (PerpendicularAmplitudes: negated where the field's real and
// imaginary parts make an acute angle), and the signal's turn follows it:
// the turn jumps where that angle passes a right angle. Each node keeps
// the weight for all four choices of the two signs (bit 0 the
// transmitter's amplitude negated, bit 1 the receiver's), each smooth, and
// the two cosines that choose among them; cells across a jump are cut
// along it (the cosines are linear on a triangle).
constexpr std::size_t kVariants = 4;

struct NodeValue {
  double x = 0.0, y = 0.0;                   // loop frame of the transmitter, m
  double drive = 0.0;                        // b, T/A
  std::array<Complex, kVariants> weight{};   // |A| e^{i turn}, T/A, per sign choice
  double acuteTx = -1.0, acuteRx = -1.0;     // VectorCosine of each loop's field

  std::size_t variant() const { return (acuteTx > 0.0 ? 1u : 0u) | (acuteRx > 0.0 ? 2u : 0u); }
  Complex w() const { return weight[variant()]; }
};

NodeValue between(const NodeValue& a, const NodeValue& b, double f, std::size_t variants) {
  NodeValue v;
  v.x = a.x + f * (b.x - a.x);
  v.y = a.y + f * (b.y - a.y);
  v.drive = a.drive + f * (b.drive - a.drive);
  for (std::size_t k = 0; k < variants; ++k) v.weight[k] = a.weight[k] + f * (b.weight[k] - a.weight[k]);
  v.acuteTx = a.acuteTx + f * (b.acuteTx - a.acuteTx);
  v.acuteRx = a.acuteRx + f * (b.acuteRx - a.acuteRx);
  return v;
}

}  // namespace

// The curvature the lattice's straight lines miss, for the weight of each
// sign choice and for the drive (an interval's bulge, a node's second
// derivative along the edge).
struct Curvature {
  std::array<Complex, kVariants> weight{};
  double drive = 0.0;
};

// The drive is smooth enough for curvature and four-point stencils across
// nodes whose drives stay within this ratio (and above zero).
constexpr double kSmoothDriveRatio = 30.0;

// The nodes of one ray of a wedge (a column of the lattice), and values
// between them: b^-2 and w/b are smooth across the wire (for a line current
// b^-2 is a quadratic in the distance, and w/b the ratio of two fields of
// the same wire), so both are interpolated with Lagrange stencils of up to
// four nodes and b, w recovered from them; next to a zero of b (where b^-2
// is not smooth) the values are linear between the two nodes.
struct Column {
  double cx = 0.0, cy = 0.0, dx = 0.0, dy = 0.0;  // point = c + rho d
  std::size_t variants = 2;                        // weights in use per node
  // Without a separate receiver the second weight is the first's conjugate:
  // only the first is worked on, and the second mirrored from it (real
  // arithmetic is symmetric in the sign, so that is the same to the bit).
  std::size_t own() const { return variants == 2 ? 1 : variants; }
  void mirror(std::array<Complex, kVariants>& w) const {
    if (variants == 2) w[1] = std::conj(w[0]);
  }
  std::vector<double> rho;
  std::vector<NodeValue> nodes;
  std::vector<double> inverseSquare;                  // b^-2, 0 where b = 0
  std::vector<std::array<Complex, kVariants>> ratio;  // w / b
  std::vector<int> parts;                             // divisions of each interval
  // What the straight line between an interval's nodes misses at its
  // middle: the value there (from the stencils) minus the mean of the two
  // nodes'.
  std::vector<Curvature> bulges;                      // of each interval
  struct Stencil {
    std::size_t lo = 0, hi = 0;
    bool smooth = false;
  };
  std::vector<Stencil> stencils;                          // of each interval
  std::vector<Weights4> inverseDenominators;              // of its Lagrange weights
  std::vector<std::vector<NodeValue>> subCache;             // subNodes() of each interval
  std::vector<int> subCacheParts;                           // and its division (0: none yet)

  void clear() {
    rho.clear();
    nodes.clear();
    inverseSquare.clear();
    ratio.clear();
    parts.clear();
  }
  std::size_t size() const { return nodes.size(); }
  void add(double r, const NodeValue& v) {
    rho.push_back(r);
    nodes.push_back(v);
    inverseSquare.push_back(v.drive > 0.0 ? 1.0 / (v.drive * v.drive) : 0.0);
    std::array<Complex, kVariants> q{};
    for (std::size_t k = 0; k < own(); ++k) q[k] = v.drive > 0.0 ? v.weight[k] / v.drive : Complex{};
    ratio.push_back(q);
  }

  // The stencil of interval j: nodes lo..hi (two to four), and whether b^-2
  // may be interpolated there.
  Stencil stencil(std::size_t j) const {
    Stencil st;
    const std::size_t n = nodes.size();
    st.lo = j == 0 ? 0 : j - 1;
    st.hi = std::min(n - 1, j + 2);
    double smallest = 1e300, largest = 0.0;
    for (std::size_t i = st.lo; i <= st.hi; ++i) {
      smallest = std::min(smallest, nodes[i].drive);
      largest = std::max(largest, nodes[i].drive);
    }
    st.smooth = smallest > 0.0 && largest < kSmoothDriveRatio * smallest;
    return st;
  }

  // The value at fraction f of interval j (nodes j, j + 1).
  NodeValue at(std::size_t j, double f, const Stencil& st) const {
    const double r = rho[j] + f * (rho[j + 1] - rho[j]);
    // Lagrange weights: the product of (r - rho_k) over k != i, times the
    // node's inverse denominator (fixed per interval).
    const Weights4 lw = lagrangeWeights(r, &rho[st.lo], st.hi - st.lo + 1, inverseDenominators[j]);
    NodeValue v;
    v.x = cx + r * dx;
    v.y = cy + r * dy;
    v.acuteTx = 0.0;
    v.acuteRx = 0.0;
    double u = 0.0;
    std::array<Complex, kVariants> q{};
    for (std::size_t i = st.lo; i <= st.hi; ++i) {
      const double w = lw[i - st.lo];
      v.acuteTx += w * nodes[i].acuteTx;
      v.acuteRx += w * nodes[i].acuteRx;
      u += w * inverseSquare[i];
      for (std::size_t k = 0; k < own(); ++k) q[k] += w * ratio[i][k];
    }
    if (st.smooth && u > 0.0) {
      v.drive = 1.0 / std::sqrt(u);
      for (std::size_t k = 0; k < own(); ++k) v.weight[k] = q[k] * v.drive;
      mirror(v.weight);
    } else {
      const NodeValue linear = between(nodes[j], nodes[j + 1], f, variants);
      v.drive = linear.drive;
      v.weight = linear.weight;
    }
    return v;
  }

  // How many parts interval j needs so that b and w are linear on each to
  // the allowed deviations: the flip's deviation (rad) counts in full where
  // a part turns the flip by less than a radian, and in proportion where it
  // turns it by more (there the part's signal cancels itself and so does
  // its error).
  // The interval's bulge goes into bulges[j].
  int divisions(std::size_t j, double phaseScale, double phaseStep, double weightStep) {
    Curvature& bulge = bulges[j];
    bulge = Curvature{};
    if (j + 1 >= nodes.size()) return 1;
    const NodeValue mid = at(j, 0.5, stencils[j]);
    const NodeValue& a = nodes[j];
    const NodeValue& b = nodes[j + 1];
    for (std::size_t k = 0; k < own(); ++k) bulge.weight[k] = mid.weight[k] - 0.5 * (a.weight[k] + b.weight[k]);
    mirror(bulge.weight);
    bulge.drive = mid.drive - 0.5 * (a.drive + b.drive);
    const double dev = std::fabs(mid.drive - 0.5 * (a.drive + b.drive)) * phaseScale;
    const double span = std::fabs(b.drive - a.drive) * phaseScale;
    double m = std::ceil(std::sqrt(dev / phaseStep));
    if (span > 0.0) {
      const double turning = std::ceil(dev / (span * phaseStep));
      if (turning < span) m = std::min(m, std::max(turning, 1.0));
    }
    double wdev = 0.0;
    for (std::size_t k = 0; k < own(); ++k) {
      const double size = std::max(magnitude(a.weight[k]), magnitude(b.weight[k]));
      if (size > 0.0) wdev = std::max(wdev, magnitude(bulge.weight[k]) / size);
    }
    m = std::max(m, std::ceil(std::sqrt(wdev / weightStep)));
    return static_cast<int>(std::clamp(m, 1.0, 512.0));
  }

  // Fills the stencils and parts[] once the column's nodes are in.
  void finish(double phaseScale, double phaseStep, double weightStep) {
    stencils.resize(nodes.size());
    inverseDenominators.resize(nodes.size());
    for (std::size_t j = 0; j + 1 < nodes.size(); ++j) {
      stencils[j] = stencil(j);
      inverseDenominators[j] = lagrangeInverseDenominators(&rho[stencils[j].lo], stencils[j].hi - stencils[j].lo + 1);
    }
    parts.resize(nodes.size());
    bulges.resize(nodes.size());
    for (std::size_t j = 0; j < nodes.size(); ++j) parts[j] = divisions(j, phaseScale, phaseStep, weightStep);
    if (subCache.size() < nodes.size()) subCache.resize(nodes.size());
    subCacheParts.assign(nodes.size(), 0);
  }
  int partsOf(std::size_t j) const { return j < parts.size() ? parts[j] : 1; }
  Curvature bulgeOf(std::size_t j) const { return j < bulges.size() ? bulges[j] : Curvature{}; }

  // The m + 1 nodes that divide interval j into m parts. Kept until the
  // column is refilled: a column is the right side of one pair of columns
  // and the left of the next, which mostly asks for the same division.
  const std::vector<NodeValue>& subNodes(std::size_t j, int m) {
    if (j >= subCacheParts.size()) {
      // Past the column's last node (its neighbour reaches further out).
      subCache.resize(std::max(subCache.size(), j + 1));
      subCacheParts.resize(j + 1, 0);
    }
    std::vector<NodeValue>& out = subCache[j];
    if (subCacheParts[j] == m) return out;
    subCacheParts[j] = m;
    out.resize(static_cast<std::size_t>(m) + 1);
    if (j + 1 >= nodes.size()) {
      std::fill(out.begin(), out.end(), nodes.back());
      return out;
    }
    const Stencil& st = stencils[j];
    out.front() = nodes[j];
    for (int k = 1; k < m; ++k) out[static_cast<std::size_t>(k)] = at(j, static_cast<double>(k) / m, st);
    out.back() = nodes[j + 1];
    return out;
  }
};

namespace {

// The second derivatives along the edge (in t) of the weights and the drive
// at the nodes of column b, from the parabola through three neighbouring
// columns a, b, c of one band (at ta, tb, tc); zero at nodes the three do
// not share (a column ends at the domain's edge) and where the drive is
// not smooth across them (near a zero of b).
void bendsAlong(const Column& a, const Column& b, const Column& c, double ta, double tb, double tc,
                std::vector<Curvature>& out) {
  out.assign(b.size(), Curvature{});
  const std::size_t n = std::min({a.size(), b.size(), c.size()});
  const double left = 1.0 / (tb - ta), right = 1.0 / (tc - tb), whole = 2.0 / (tc - ta);
  for (std::size_t q = 0; q < n; ++q) {
    if (a.rho[q] != b.rho[q] || c.rho[q] != b.rho[q]) continue;
    const NodeValue &u = a.nodes[q], &v = b.nodes[q], &w = c.nodes[q];
    const double lowest = std::min({u.drive, v.drive, w.drive});
    if (!(lowest > 0.0) || std::max({u.drive, v.drive, w.drive}) > kSmoothDriveRatio * lowest) continue;
    Curvature& bend = out[q];
    for (std::size_t k = 0; k < b.own(); ++k) {
      bend.weight[k] = ((w.weight[k] - v.weight[k]) * right - (v.weight[k] - u.weight[k]) * left) * whole;
    }
    b.mirror(bend.weight);
    bend.drive = ((w.drive - v.drive) * right - (v.drive - u.drive) * left) * whole;
  }
}

}  // namespace

struct ConvergedKernelWorker::Impl {
  const SoundingSetup& setup;
  const FieldComponent& component;
  const ResponseTable& table;
  double tolerance;
  double scale = 0.0;
  LoopRemainder tx, rx;
  std::vector<WirePolygon> polygons;
  double discRadius = 0.0;
  double flipPerDrive = 0.0;  // rad per T/A at the largest current
  std::size_t variants = 2;          // sign choices in use: 4 with a separate receiver
  std::vector<TargetOutline> outlines;
  // A convex target outline as half-planes e0 x + e1 y + e2 >= 0 in the
  // transmitter's frame; empty without a target or for an outline that is
  // not convex.
  std::vector<std::array<double, 3>> targetEdges;
  // What a triangle is clipped to at the current depth: the sloping
  // ground's half-plane and the convex target outline's edges.
  std::vector<std::array<double, 3>> clipEdges;
  // The measures of two lattices: each depth's first two are summed over
  // the response table in one pass. `bins` is the one being filled.
  BinnedMeasure lowerMeasure, upperMeasure;
  BinnedMeasure* bins = &lowerMeasure;
  // The current cell's corrections of the mean weight (per sign choice) and
  // of the drive, for the triangles it deposits.
  std::array<Complex, kVariants> cellWeight{};
  double cellDrive = 0.0;

  Impl(const SoundingSetup& s, const FieldComponent& c, const ResponseTable& t, double tol, SlopeLevels& levels)
      : setup(s), component(c), table(t), tolerance(tol), lowerMeasure(t), upperMeasure(t) {
    const double f = kFrequencyFactor * s.grids.larmorFrequency;
    scale = static_cast<double>(s.rx.turns) * 0.5 * kMagnetisationFactor * kPi * f * f;
    discRadius = s.txGrid.radii[kSlicePoints - 1];
    const double rxOffset = std::hypot(s.rxCentreX, s.rxCentreY);
    if (s.separateReceiver) discRadius = std::max(discRadius, rxOffset + s.rxGrid.radii[kSlicePoints - 1]);
    // Each loop's earth part reaches every point of the disc.
    setUpLoop(tx, s.txGrid, s.txWire, s.tx.type, s.txAzimuth, 0.0, 0.0, discRadius);
    if (s.separateReceiver) {
      setUpLoop(rx, s.rxGrid, s.rxWire, s.rx.type, s.rxAzimuth, s.rxCentreX, s.rxCentreY, discRadius + rxOffset);
    }
    if (s.topography.on > 0) {
      setUpSlope(levels);
    } else {
      polygons = wirePolygons(s.txWire, s.tx.type, 1.0, 0.0, 0.0, 0.0, false);
    }
    if (s.separateReceiver) {
      // The receiver's wire in the transmitter's frame.
      const double turn = degreesToRadians(s.rxAzimuth - s.txAzimuth);
      const double sx = tx.cosAz * s.rxCentreX + tx.sinAz * s.rxCentreY;
      const double sy = -tx.sinAz * s.rxCentreX + tx.cosAz * s.rxCentreY;
      const auto more = wirePolygons(s.rxWire, s.rx.type, std::cos(turn), std::sin(turn), sx, sy, true);
      polygons.insert(polygons.end(), more.begin(), more.end());
    }
    variants = s.separateReceiver ? 4 : 2;
    if (s.targetCount > 0) setUpTarget();
    flipPerDrive = largestFlipPerDrive(s);
  }

  // Sloping ground (a single loop): the slope's frame in the loop's frame,
  // the levels of depth below the slope that the planes reach (their rows
  // kept in the workers' shared store), and the lattice's polygons from the
  // wire as it lies on the slope, seen from above.
  void setUpSlope(SlopeLevels& shared) {
    const Topography& topo = setup.topography;
    tx.slope.emplace(topo.azimuth - degreesToRadians(setup.txAzimuth), topo.inclination, topo.height);
    double deepest = 0.0;
    for (const std::size_t z : setup.depths) {
      if (setup.depthFlag(z) == 0) continue;
      const std::array<double, 3> e = tx.slope->depthBelowGround(setup.grids.depths[z]);
      deepest = std::max(deepest, e[2] + std::hypot(e[0], e[1]) * discRadius);
    }
    tx.levels = {kFirstSlopeLevel};
    while (tx.levels.size() < 4 || tx.levels[tx.levels.size() - 3] < deepest) {
      tx.levels.push_back(tx.levels.back() * kSlopeLevelRatio);
    }
    tx.levelRows = &shared;
    shared.size(tx.levels.size());
    LoopWireShape level = setup.txWire;
    for (std::size_t i = 0; i <= static_cast<std::size_t>(level.segmentCount); ++i) {
      auto& v = level.vertices[i];
      const FieldVector l = tx.slope->pointFromSlope({v[0], v[1], v[2]});
      v = {l[0], l[1], l[2]};
    }
    polygons = wirePolygons(level, setup.tx.type, 1.0, 0.0, 0.0, 0.0, false);
    if (polygons.size() == 2) {
      // The eight's lobes part along its middle line as it lies on the
      // slope, seen from above.
      const FieldVector a = tx.slope->pointFromSlope({0.0, -1.0, kWireHeight});
      const FieldVector b = tx.slope->pointFromSlope({0.0, 1.0, kWireHeight});
      double nx = b[1] - a[1], ny = a[0] - b[0];
      const double norm = std::hypot(nx, ny);
      nx /= norm;
      ny /= norm;
      if (nx * (polygons[0].cx - a[0]) + ny * (polygons[0].cy - a[1]) < 0.0) {
        nx = -nx;
        ny = -ny;
      }
      const double offset = nx * a[0] + ny * a[1];
      polygons[0].nx = nx;
      polygons[0].ny = ny;
      polygons[0].offset = offset;
      polygons[1].nx = -nx;
      polygons[1].ny = -ny;
      polygons[1].offset = -offset;
    }
  }

  void setUpTarget() {
    std::array<std::array<double, 2>, kTargetCornerCount> c{};
    for (std::size_t i = 0; i < kTargetCornerCount; ++i) {
      c[i] = {tx.cosAz * setup.targetX[i] + tx.sinAz * setup.targetY[i],
              -tx.sinAz * setup.targetX[i] + tx.cosAz * setup.targetY[i]};
    }
    double orientation = 0.0;
    for (std::size_t i = 0; i < kTargetCornerCount; ++i) {
      const auto& p = c[i];
      const auto& q = c[(i + 1) % kTargetCornerCount];
      const auto& r = c[(i + 2) % kTargetCornerCount];
      const double turn = (q[0] - p[0]) * (r[1] - q[1]) - (q[1] - p[1]) * (r[0] - q[0]);
      if (turn == 0.0 || (orientation != 0.0 && (turn > 0.0) != (orientation > 0.0))) return;  // not convex
      orientation = turn;
    }
    const double sign = orientation > 0.0 ? 1.0 : -1.0;
    for (std::size_t i = 0; i < kTargetCornerCount; ++i) {
      const auto& p = c[i];
      const auto& q = c[(i + 1) % kTargetCornerCount];
      const double ex = q[0] - p[0], ey = q[1] - p[1];
      // sign * (e x (v - p)) >= 0 inside.
      targetEdges.push_back({-sign * ey, sign * ex, sign * (ey * p[0] - ex * p[1])});
    }
  }

  // The rays of the loop's earth part: the polar grid's radii, continued
  // with its last ratio up to `reach` (m) where the domain reaches further
  // (a separate receiver's disc holds both loops').
  static void setUpLoop(LoopRemainder& loop, const SurfaceGrid& grid, const LoopWireShape& wire, int type,
                        double azimuthDegrees, double cx, double cy, double reach) {
    loop.type = type;
    loop.radii.clear();
    for (std::size_t i = 0; i + 1 < kSlicePoints; ++i) {
      for (int k = 0; k < kRemainderDivisions; ++k) {
        loop.radii.push_back(grid.radii[i] + (grid.radii[i + 1] - grid.radii[i]) * k / kRemainderDivisions);
      }
    }
    loop.radii.push_back(grid.radii[kSlicePoints - 1]);
    const double ratio = grid.radii[kSlicePoints - 1] / grid.radii[kSlicePoints - 2];
    while (loop.radii.back() < reach && ratio > 1.0) loop.radii.push_back(loop.radii.back() * ratio);
    const std::size_t quarter = static_cast<std::size_t>(grid.angleCount - 1) / 4;
    loop.lastAngle = type == 1 ? 0 : (type == 2 ? quarter / 2 : quarter);
    loop.step = 2.0 * kPi / static_cast<double>(grid.angleCount - 1);
    loop.setUpRadialStencils();
    loop.wire = singlePrecisionWire(wire);
    loop.staticField = BiotSavartWire(loop.wire);
    const double az = degreesToRadians(azimuthDegrees);
    loop.cosAz = std::cos(az);
    loop.sinAz = std::sin(az);
    loop.centreX = cx;
    loop.centreY = cy;
  }

  // Sloping ground: the levels of the earth's part that the plane at
  // `depth` reaches (depths below the slope across the disc, and the
  // interpolation's stencils), those not filled yet.
  int fillLevels(double depth) {
    const std::array<double, 3> e = tx.slope->depthBelowGround(depth);
    const double reach = std::hypot(e[0], e[1]) * discRadius;
    const auto index = [&](double zs) {
      const auto it = std::upper_bound(tx.levels.begin(), tx.levels.end(), zs);
      return static_cast<std::size_t>(std::max<std::ptrdiff_t>(it - tx.levels.begin() - 1, 0));
    };
    const std::size_t first = index(e[2] - reach) >= 2 ? index(e[2] - reach) - 2 : 0;
    const std::size_t last = std::min(index(e[2] + reach) + 3, tx.levels.size() - 1);
    SlopeLevels& rows = *tx.levelRows;
    // Levels another worker is filling are passed over and waited for at
    // the end, so that workers needing the same levels fill different ones.
    std::vector<std::size_t> busy;
    const auto fill = [&](std::size_t j) {
      if (rows.filled[j].load(std::memory_order_relaxed)) return 0;
      if (fillRows(tx, false, tx.levels[j], rows.model[j], rows.reference[j]) != 0) return 1;
      rows.filled[j].store(true, std::memory_order_release);
      return 0;
    };
    for (std::size_t j = first; j <= last; ++j) {
      if (rows.filled[j].load(std::memory_order_acquire)) continue;
      std::unique_lock<std::mutex> guard(rows.locks[j], std::try_to_lock);
      if (!guard.owns_lock()) {
        busy.push_back(j);
        continue;
      }
      if (fill(j) != 0) return 1;
    }
    for (const std::size_t j : busy) {
      const std::lock_guard<std::mutex> guard(rows.locks[j]);
      if (fill(j) != 0) return 1;
    }
    return 0;
  }

  int fillRemainder(LoopRemainder& loop, bool receiver, double depth) {
    return fillRows(loop, receiver, depth, loop.model, loop.reference);
  }

  // The earth's part at depth z below the loop's (level or sloping)
  // ground on the loop's rays, into `model` and, with the elliptical split,
  // `referenceRows`.
  int fillRows(const LoopRemainder& loop, bool receiver, double depth, std::vector<RemainderRow>& model,
               std::vector<RemainderRow>& referenceRows) const {
    const LoopWireShape& shape = receiver ? setup.rxWire : setup.txWire;
    std::vector<SpaceVector> wire(static_cast<std::size_t>(shape.segmentCount) + 1);
    for (std::size_t i = 0; i < wire.size(); ++i) wire[i] = {shape.vertices[i][0], shape.vertices[i][1], shape.vertices[i][2]};
    const std::size_t n = loop.radii.size();
    const bool withReference = !receiver && setup.elliptical;
    const LayerArrays reference = ReferenceLayers(setup.layers);
    model.assign((loop.lastAngle + 1) * n, RemainderRow{});
    referenceRows.assign(withReference ? model.size() : 0, RemainderRow{});
    std::vector<SpaceVector> points(n), re(n), im(n);
    for (std::size_t k = 0; k <= loop.lastAngle; ++k) {
      const double phi = loop.step * static_cast<double>(k);
      for (std::size_t i = 0; i < n; ++i) points[i] = {std::cos(phi) * loop.radii[i], std::sin(phi) * loop.radii[i], depth};
      for (int pass = 0; pass < (withReference ? 2 : 1); ++pass) {
        const LayerArrays& layers = pass == 0 ? setup.layers : reference;
        std::vector<RemainderRow>& rows = pass == 0 ? model : referenceRows;
        for (std::size_t first = 0; first < n; first += kPointsPerCall) {
          const std::size_t count = std::min(kPointsPerCall, n - first);
          LayeredFieldRequest q;
          q.segmentCount = shape.segmentCount;
          q.frequency = setup.grids.larmorFrequency;
          q.wire = wire;
          q.layerCount = layers.count;
          q.resistivities = layers.resistivity;
          q.bottoms = layers.bottom;
          q.pointCount = static_cast<int>(count);
          q.points = std::span<const SpaceVector>(points).subspan(first, count);
          q.workingFolder = component.workingFolder;
          if (component(q, std::span(re).subspan(first, count), std::span(im).subspan(first, count)) != 0) return 1;
        }
        for (std::size_t i = 0; i < n; ++i) {
          // The node as the component saw it (single precision).
          const Point3 p{static_cast<float>(points[i][0]), static_cast<float>(points[i][1]), static_cast<float>(depth)};
          const FieldVector stat = loop.staticField.at(p);
          RemainderRow& row = rows[k * n + i];
          for (std::size_t c = 0; c < 3; ++c) {
            row[c] = re[i][c] - stat[c];
            row[c + 3] = im[i][c];
          }
        }
      }
    }
    return 0;
  }

  // A separate receiver's plane is the sum of two parts, each integrated on
  // the lattice of one loop: the part of the receiver's lattice weighs
  // d_tx^4 / (d_tx^4 + d_rx^4), the transmitter's the rest (d the distance
  // to each wire, the depth below the wires included), so that each lattice
  // carries the field next to its own wire, where it is fine, and little
  // next to the other's.
  double share(double x, double y, double depth, bool receiver) const {
    const double below = depth - kWireHeight;
    const double dt = magnitude(distanceToWire(polygons, false, x, y), below);
    const double dr = magnitude(distanceToWire(polygons, true, x, y), below);
    const double t4 = dt * dt * dt * dt;
    const double r4 = dr * dr * dr * dr;
    const double toReceiver = t4 / (t4 + r4);
    return receiver ? toReceiver : 1.0 - toReceiver;
  }

  NodeValue nodeValue(double x, double y, double depth) const {
    NodeValue n;
    n.x = x;
    n.y = y;
    const double inc = setup.inclination;
    // The static part once for the model and the reference earth.
    const LoopRemainder::Located txPoint = tx.locate(x, y, depth);
    std::array<ComplexField, 2> fields{};
    if (setup.elliptical) {
      fields = tx.fieldsAt<2>(txPoint);
    } else {
      fields[0] = tx.fieldsAt<1>(txPoint)[0];
    }
    const ComplexField& txField = fields[0];
    // Amplitudes without the sign of the real part; the sign is chosen per
    // variant below.
    PerpendicularPair p = PerpendicularAmplitudes(inc, txField);
    p.p0 = std::fabs(p.p0);
    n.acuteTx = VectorCosine(txField.re, txField.im);
    PerpendicularPair a = p;
    PerpendicularPair b{p.p0 / 2.0, p.p1 / 2.0};
    if (setup.elliptical) {
      const EllipticalSplitResult split = EllipticalSplit(txField, fields[1], inc, p);
      a = split.a;
      b = split.b;
    }
    n.drive = magnitude(b.p0, b.p1);
    if (!setup.separateReceiver) {
      const double size = magnitude(a.p0, a.p1);
      n.weight[0] = size * SignalTurnPhasor(a.p0, a.p1, b.p0, b.p1);
      // Both real parts' amplitudes negated: each pair's direction is
      // mirrored, so the turn's phasor is the conjugate (to the bit).
      n.weight[1] = std::conj(n.weight[0]);
      return n;
    }
    const double cx = tx.cosAz * x - tx.sinAz * y - rx.centreX;
    const double cy = tx.sinAz * x + tx.cosAz * y - rx.centreY;
    const double lx = rx.cosAz * cx + rx.sinAz * cy;
    const double ly = -rx.sinAz * cx + rx.cosAz * cy;
    const ComplexField rxField = rx.fieldsAt<1>(rx.locate(lx, ly, depth))[0];
    a = PerpendicularAmplitudes(inc, rxField);
    a.p0 = std::fabs(a.p0);
    n.acuteRx = VectorCosine(rxField.re, rxField.im);
    const PerpendicularComponents tc = PerpendicularPlaneComponents(inc, txField);
    const PerpendicularComponents rc = PerpendicularPlaneComponents(inc, rxField);
    const PlaneVector txRe{tc.u[0], tc.v[0]}, txIm{tc.u[1], tc.v[1]};
    const PlaneVector rxRe{rc.u[0], rc.v[0]}, rxIm{rc.u[1], rc.v[1]};
    const double size = magnitude(a.p0, a.p1);
    for (std::size_t k = 0; k < kVariants; ++k) {
      const double signB = (k & 1u) != 0 ? -1.0 : 1.0;
      const double signA = (k & 2u) != 0 ? -1.0 : 1.0;
      n.weight[k] = size * SignalTurnPhasor(signA * a.p0, a.p1, signB * b.p0, b.p1, txRe, txIm, rxRe, rxIm);
    }
    return n;
  }

  bool counted(double lx, double ly) const {
    if (setup.targetCount == 0) return true;
    const double x = tx.cosAz * lx - tx.sinAz * ly;
    const double y = tx.sinAz * lx + tx.cosAz * ly;
    return PointInTargetBoxes(x, y, outlines) && PointInTargets(x, y, outlines) > 0;
  }

  void depositTriangle(const NodeValue& a, const NodeValue& b, const NodeValue& c, std::size_t k) {
    const double area = 0.5 * std::fabs((b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y));
    if (area == 0.0) return;
    const Complex mass = ((a.weight[k] + b.weight[k] + c.weight[k]) / 3.0 + cellWeight[k]) * (area * kAreaFactor);
    // The drive's correction moves the three drives together, never by
    // more than half the lowest of them down.
    const double shift = std::max(cellDrive, -0.5 * std::min({a.drive, b.drive, c.drive}));
    const double ba = a.drive + shift, bb = b.drive + shift, bc = c.drive + shift;
    bins->addTriangle(ba, table.binOf(ba), bb, table.binOf(bb), bc, table.binOf(bc), mass);
  }

  void flatTriangle(const NodeValue& a, const NodeValue& b, const NodeValue& c, std::size_t k) {
    // A target outline that is not convex: the triangle counts by its centroid.
    if (setup.targetCount > 0 && targetEdges.empty() &&
        !counted((a.x + b.x + c.x) / 3.0, (a.y + b.y + c.y) / 3.0)) {
      return;
    }
    if (clipEdges.empty()) {
      depositTriangle(a, b, c, k);
      return;
    }
    // Wholly inside every edge (most triangles): as it is; wholly outside
    // one: nothing.
    bool whole = true;
    for (const auto& e : clipEdges) {
      const double fa = e[0] * a.x + e[1] * a.y + e[2];
      const double fb = e[0] * b.x + e[1] * b.y + e[2];
      const double fc = e[0] * c.x + e[1] * c.y + e[2];
      if (fa < 0.0 && fb < 0.0 && fc < 0.0) return;
      if (fa < 0.0 || fb < 0.0 || fc < 0.0) whole = false;
    }
    if (whole) {
      depositTriangle(a, b, c, k);
      return;
    }
    // The triangle clipped to the ground and a convex target outline, edge
    // by edge (the values are linear on the triangle, so the cut points
    // take them linearly); each edge adds at most one corner.
    std::array<std::array<NodeValue, kMaxClipCorners>, 2> pieces;
    std::array<std::size_t, 2> sizes{3, 0};
    pieces[0][0] = a;
    pieces[0][1] = b;
    pieces[0][2] = c;
    std::size_t current = 0;
    for (const auto& e : clipEdges) {
      const auto inside = [&](const NodeValue& v) { return e[0] * v.x + e[1] * v.y + e[2]; };
      const auto& piece = pieces[current];
      auto& next = pieces[1 - current];
      std::size_t count = 0;
      for (std::size_t i = 0; i < sizes[current]; ++i) {
        const NodeValue& p = piece[i];
        const NodeValue& q = piece[(i + 1) % sizes[current]];
        const double fp = inside(p), fq = inside(q);
        if (fp >= 0.0) next[count++] = p;
        if ((fp >= 0.0) != (fq >= 0.0)) next[count++] = between(p, q, fp / (fp - fq), variants);
      }
      current = 1 - current;
      sizes[current] = count;
      if (count < 3) return;
    }
    const auto& piece = pieces[current];
    for (std::size_t i = 1; i + 1 < sizes[current]; ++i) depositTriangle(piece[0], piece[i], piece[i + 1], k);
  }

  // Whether the sign choice of one loop (bit) changes the weight anywhere
  // on the polygon by more than rounding.
  bool signMatters(std::span<const NodeValue> poly, std::size_t bit) const {
    for (const NodeValue& v : poly) {
      for (std::size_t k = 0; k < variants; ++k) {
        if ((k & bit) != 0) continue;
        const Complex d = v.weight[k | bit] - v.weight[k];
        if (magnitude(d) > 1e-9 * magnitude(v.weight[k])) return true;
      }
    }
    return false;
  }

  // A convex polygon of the lattice, cut along the zero lines of the two
  // cosines where they change sign on it; each piece takes the weights of
  // its own signs.
  void polygon(std::span<const NodeValue> poly, int stage) {
    for (; stage < 2; ++stage) {
      const std::size_t bit = stage == 0 ? 1u : 2u;
      const auto cosine = [&](const NodeValue& v) { return stage == 0 ? v.acuteTx : v.acuteRx; };
      bool above = false, below = false;
      for (const NodeValue& v : poly) (cosine(v) > 0.0 ? above : below) = true;
      if (!(above && below) || !signMatters(poly, bit)) continue;
      std::vector<NodeValue> upper, lower;
      for (std::size_t i = 0; i < poly.size(); ++i) {
        const NodeValue& a = poly[i];
        const NodeValue& b = poly[(i + 1) % poly.size()];
        (cosine(a) > 0.0 ? upper : lower).push_back(a);
        if ((cosine(a) > 0.0) != (cosine(b) > 0.0)) {
          NodeValue cut = between(a, b, cosine(a) / (cosine(a) - cosine(b)), variants);
          // The cut belongs to both sides, each with its own sign.
          NodeValue up = cut, down = cut;
          (stage == 0 ? up.acuteTx : up.acuteRx) = 1e-300;
          (stage == 0 ? down.acuteTx : down.acuteRx) = 0.0;
          upper.push_back(up);
          lower.push_back(down);
        }
      }
      if (upper.size() >= 3) polygon(upper, stage + 1);
      if (lower.size() >= 3) polygon(lower, stage + 1);
      return;
    }
    // One sign choice on the whole polygon: the one of its vertex farthest
    // from a zero line decides (the cut vertices lie on them).
    double byTx = 0.0, byRx = 0.0;
    for (const NodeValue& v : poly) {
      if (std::fabs(v.acuteTx) > std::fabs(byTx)) byTx = v.acuteTx;
      if (std::fabs(v.acuteRx) > std::fabs(byRx)) byRx = v.acuteRx;
    }
    const std::size_t k = (byTx > 0.0 ? 1u : 0u) | (byRx > 0.0 ? 2u : 0u);
    for (std::size_t i = 1; i + 1 < poly.size(); ++i) flatTriangle(poly[0], poly[i], poly[i + 1], k);
  }

  void triangle(const NodeValue& a, const NodeValue& b, const NodeValue& c) {
    const std::size_t k = a.variant();
    if (b.variant() == k && c.variant() == k) {
      flatTriangle(a, b, c, k);
      return;
    }
    const std::array<NodeValue, 3> poly{a, b, c};
    polygon(poly, 0);
  }

  // The measure of the plane at `depth` on the lattice of `level`, into
  // `into`.
  void measure(double depth, int level, BinnedMeasure& into) {
    bins = &into;
    bins->clear();
    const double refine = std::pow(2.0, -0.5 * level);
    std::vector<double> rho, along;
    // Four columns in turn: the previous, the pair being swept (left,
    // right) and the next; moved on by turning the pointers.
    std::array<Column, 4> columnStore;
    std::array<Column*, 4> turn{&columnStore[0], &columnStore[1], &columnStore[2], &columnStore[3]};
    std::vector<Curvature> bendsLeft, bendsRight;
    // Sub-division of the cells along the rays: the flip at the largest
    // current per T/A of drive, and the allowed deviations.
    const double phaseScale = flipPerDrive;
    const double phaseStep = kPhaseStep * refine * refine;
    const double weightStep = kWeightStep * refine * refine;
    for (const WirePolygon& poly : polygons) {
      for (std::size_t k = 0; k + 1 < poly.vertices.size(); ++k) {
        const auto& p0 = poly.vertices[k];
        const auto& p1 = poly.vertices[k + 1];
        const double ex = p1[0] - p0[0], ey = p1[1] - p0[1];
        const double length = std::hypot(ex, ey);
        if (length == 0.0) continue;
        const double apothem = std::fabs((p0[0] - poly.cx) * ey - (p0[1] - poly.cy) * ex) / length;
        // Depth of the plane below this edge of the wire.
        const double below = std::max(depth - std::max(poly.depths[k], poly.depths[k + 1]), 1e-3);
        if (apothem == 0.0) continue;
        // Where the ray of t leaves the domain.
        const auto limit = [&](double t) {
          const double dx = p0[0] + t * ex - poly.cx, dy = p0[1] + t * ey - poly.cy;
          const double dd = dx * dx + dy * dy;
          const double cd = poly.cx * dx + poly.cy * dy;
          const double cc = poly.cx * poly.cx + poly.cy * poly.cy - discRadius * discRadius;
          double l = (-cd + std::sqrt(std::max(cd * cd - dd * cc, 0.0))) / dd;
          const double nd = poly.nx * dx + poly.ny * dy;
          if (nd < 0.0) l = std::min(l, (poly.offset - poly.nx * poly.cx - poly.ny * poly.cy) / nd);
          return std::max(l, 0.0);
        };
        along.clear();
        along.push_back(0.0);
        const double cornerStep = std::min(0.5, kCornerStep * refine * below / length);
        const double alongLargest = std::min(0.5, kAlongLargest * apothem / length) * refine;
        const double alongGrowth = 1.0 + kAlongGrowth * refine;
        gradedNodes(0.0, 0.5, cornerStep, alongGrowth,
                    [&](double) { return alongLargest; }, along);
        for (std::size_t i = along.size() - 1; i-- > 0;) along.push_back(1.0 - along[i]);
        double rhoMax = 0.0;
        for (const double t : along) rhoMax = std::max(rhoMax, limit(t));
        rho.clear();
        const double first = kWireStep * refine * below / apothem;
        const double growth = 1.0 + kRadialGrowth * refine;
        const auto largest = [&](double x) { return kRadialLargest * refine * std::max(1.0, x); };
        std::vector<double> inner{1.0};
        gradedNodes(1.0, 0.0, first, growth, largest, inner);
        rho.assign(inner.rbegin(), inner.rend());
        if (rhoMax > 1.0) gradedNodes(1.0, rhoMax, first, growth, largest, rho);
        else rho.erase(std::remove_if(rho.begin(), rho.end(), [&](double r) { return r > rhoMax; }), rho.end());

        // The rho intervals in bands, each swept with its own columns: at a
        // horizontal distance d from the wire the cells need the along
        // resolution next to a corner of a plane hypot(below, d) below the
        // wire, a subset of the columns at the wire. Hanging nodes where
        // bands meet are harmless: a band's edge lies on the edge's line
        // scaled about the centre, straight between any of its columns.
        struct Band {
          std::size_t first = 0, last = 0;  // rho intervals
          std::vector<double> along;
        };
        std::vector<Band> bands;
        std::vector<double> columns;  // of one interval, kept between them
        for (std::size_t j = 0; j + 1 < rho.size(); ++j) {
          const bool across = rho[j] <= 1.0 && rho[j + 1] >= 1.0;
          const double d = across ? 0.0 : std::min(std::fabs(rho[j] - 1.0), std::fabs(rho[j + 1] - 1.0)) * apothem;
          const double reach = std::min(0.5, kCornerStep * refine * magnitude(below, d) / length);
          thinnedAlong(along, reach, alongGrowth, alongLargest, columns);
          if (!bands.empty() && bands.back().along == columns) {
            bands.back().last = j;
          } else {
            bands.push_back({j, j, columns});
          }
        }

        // A band's columns hold its rho nodes and one more either side,
        // for the stencils of its first and last intervals.
        std::size_t base = 0, top = 0;
        const auto column = [&](double t, Column& out) {
          out.clear();
          out.variants = variants;
          const double l = limit(t);
          out.cx = poly.cx;
          out.cy = poly.cy;
          out.dx = p0[0] + t * ex - poly.cx;
          out.dy = p0[1] + t * ey - poly.cy;
          for (std::size_t q = base; q <= top; ++q) {
            const double r = std::min(rho[q], l);
            if (!out.rho.empty() && r <= out.rho.back()) break;
            NodeValue v = nodeValue(poly.cx + r * out.dx, poly.cy + r * out.dy, depth);
            if (setup.separateReceiver) {
              const double part = share(v.x, v.y, depth, poly.receiver);
              for (Complex& w : v.weight) w *= part;
            }
            out.add(r, v);
            if (rho[q] >= l) break;
          }
          out.finish(phaseScale, phaseStep, weightStep);
        };
        // The triangles are linear between the nodes; each cell corrects
        // their mean weight and drive for the curvature the nodes show. Across
        // the rays: a parabola's mean over an interval lies 2/3 of its bulge
        // above the chord, and each of m parts of an interval bulges by 1/m^2
        // of it. Along the edge: the mean lies -(dt^2/12) f'' off the chord,
        // f'' from the parabola through three neighbouring columns at the
        // cell's four corners.
        for (const Band& band : bands) {
          base = band.first > 0 ? band.first - 1 : 0;
          top = std::min(rho.size() - 1, band.last + 2);
          const std::vector<double>& t = band.along;
          const std::size_t count = t.size();
          column(t[0], *turn[1]);
          if (count > 1) column(t[1], *turn[2]);
          for (std::size_t i = 1; i < count; ++i) {
            Column& previous = *turn[0];
            Column& left = *turn[1];
            Column& right = *turn[2];
            Column& next = *turn[3];
            // left and right are columns i - 1 and i, previous column i - 2.
            const bool last = i + 1 == count;
            if (!last) column(t[i + 1], next);
            if (count >= 3) {
              // Column i - 1's bends are the last pair's right ones.
              if (i == 1) bendsAlong(left, right, next, t[0], t[1], t[2], bendsLeft);
              else std::swap(bendsLeft, bendsRight);
              if (!last) bendsAlong(left, right, next, t[i - 1], t[i], t[i + 1], bendsRight);
              else bendsAlong(previous, left, right, t[i - 2], t[i - 1], t[i], bendsRight);
            } else {
              bendsLeft.clear();
              bendsRight.clear();
            }
            const double bendShare = -(t[i] - t[i - 1]) * (t[i] - t[i - 1]) / 48.0;
            const std::size_t n = std::max(left.size(), right.size());
            for (std::size_t j = band.first - base; j <= band.last - base && j + 1 < n; ++j) {
              const int m = std::max(left.partsOf(j), right.partsOf(j));
              const std::vector<NodeValue>& subLeft = left.subNodes(j, m);
              const std::vector<NodeValue>& subRight = right.subNodes(j, m);
              const Curvature bl = left.bulgeOf(j), br = right.bulgeOf(j);
              const double across = 1.0 / (3.0 * m * m);
              for (std::size_t v = 0; v < variants; ++v) cellWeight[v] = (bl.weight[v] + br.weight[v]) * across;
              cellDrive = (bl.drive + br.drive) * across;
              for (const std::vector<Curvature>* bends : {&bendsLeft, &bendsRight}) {
                for (std::size_t q = j; q <= j + 1 && q < bends->size(); ++q) {
                  const Curvature& bend = (*bends)[q];
                  for (std::size_t v = 0; v < variants; ++v) cellWeight[v] += bendShare * bend.weight[v];
                  cellDrive += bendShare * bend.drive;
                }
              }
              for (std::size_t h = 0; h < static_cast<std::size_t>(m); ++h) {
                triangle(subLeft[h], subRight[h], subRight[h + 1]);
                triangle(subLeft[h], subRight[h + 1], subLeft[h + 1]);
              }
            }
            std::rotate(turn.begin(), turn.begin() + 1, turn.end());
          }
        }
      }
    }
    cellWeight = {};
    cellDrive = 0.0;
    bins->finish();
  }

  // The kernels of one measure, or of two in one pass over the response
  // table: its rows (megabytes) are read from memory once for both. A
  // measure's bins outside its own range hold zeros.
  void kernelsOf(const BinnedMeasure& a, DepthKernel& ka, const BinnedMeasure* b = nullptr,
                 DepthKernel* kb = nullptr) const {
    ka = DepthKernel{};
    if (kb != nullptr) *kb = DepthKernel{};
    const bool both = b != nullptr && !b->empty();
    if (a.empty() && !both) return;
    const std::size_t low = both ? std::min(a.low(), b->low()) : a.low();
    const std::size_t high = both ? std::max(a.empty() ? 0 : a.high(), b->high()) : a.high();
    const double* va = a.data();
    const double* vb = both ? b->data() : nullptr;
    for (std::size_t p = 0; p < kGridPoints; ++p) {
      BinSums sa, sb;
      SumBins(reinterpret_cast<const double*>(table.row(p)), va, vb, low, high, sa, sb);
      ka.re[p] = scale * sa.re;
      ka.im[p] = scale * sa.im;
      if (both) {
        kb->re[p] = scale * sb.re;
        kb->im[p] = scale * sb.im;
      }
    }
  }

  static double difference(const DepthKernel& a, const DepthKernel& b) {
    double largest = 0.0, diff = 0.0;
    for (std::size_t p = 0; p < kGridPoints; ++p) {
      largest = std::max(largest, std::hypot(b.re[p], b.im[p]));
      diff = std::max(diff, std::hypot(b.re[p] - a.re[p], b.im[p] - a.im[p]));
    }
    return largest > 0.0 ? diff / largest : 0.0;
  }

  int compute(std::size_t z, ConvergedDepth& out) {
    out = ConvergedDepth{};
    if (setup.depthFlag(z) == 0) return 0;
    const double depth = setup.grids.depths[z];
    clipEdges = targetEdges;
    if (tx.slope) {
      if (fillLevels(depth) != 0) return 1;
      clipEdges.push_back(tx.slope->depthBelowGround(depth));
    } else {
      if (fillRemainder(tx, false, depth) != 0) return 1;
      if (setup.separateReceiver && fillRemainder(rx, true, depth) != 0) return 1;
    }
    outlines = setup.targetOutlines(z);
    measure(depth, kFirstLevel, lowerMeasure);
    measure(depth, kFirstLevel + 1, upperMeasure);
    DepthKernel previous;
    kernelsOf(lowerMeasure, previous, &upperMeasure, &out.kernel);
    for (int level = kFirstLevel + 1; level <= kMaxLevel; ++level) {
      if (level > kFirstLevel + 1) {
        measure(depth, level, lowerMeasure);
        kernelsOf(lowerMeasure, out.kernel);
      }
      out.level = level;
      out.errorEstimate = difference(previous, out.kernel);
      if (out.errorEstimate <= tolerance) break;
      previous = out.kernel;
    }
    return 0;
  }
};

struct ConvergedShared::Impl {
  SlopeLevels levels;
};

ConvergedShared::ConvergedShared() : m_impl(std::make_unique<Impl>()) {}
ConvergedShared::~ConvergedShared() = default;

ConvergedKernelWorker::ConvergedKernelWorker(const SoundingSetup& setup, const FieldComponent& component,
                                             const ResponseTable& table, double tolerance, ConvergedShared& shared)
    : m_impl(std::make_unique<Impl>(setup, component, table, tolerance, shared.m_impl->levels)) {}

ConvergedKernelWorker::~ConvergedKernelWorker() = default;

int ConvergedKernelWorker::compute(std::size_t z, ConvergedDepth& out) { return m_impl->compute(z, out); }

}  // namespace kvo::core
