#pragma once
// The converged kernel: every depth and every pulse moment integrated to a
// tolerance, at a cost that does not grow with the pulse moment.
//
// Mathematics. The signal of a point is its receiver weight times a function
// of the drive alone:
//     s_q(x) = w(x) g_q(b(x)),   w = |A| e^{i turn},   b = |B| (T/A),
// where A is the receiver's perpendicular field, B the part of the
// transmitter's field that rotates with the spins, turn the phase turn of
// the point (SignalTurn) and g_q the point response per unit receiver
// amplitude at the current of pulse q (PointResponse with |A| = 1). So
//     K(q, z) = C * integral of g_q(b) dmu(b),
// mu the complex measure that the plane at depth z pushes forward onto b:
// mu(b1, b2) = integral of w dS over the points with b1 < b <= b2.
// mu does not depend on q: it is built once per depth, and each pulse
// moment then costs one sum over the bins of b.
//
//   Bins: [0, b0] and bins of nearly equal ratio up to b_max (the last bin
//     also takes anything above): each octave of b is cut into 256 equal
//     bins, numbered by the leading bits of b's floating-point pattern.
//     Within a bin the density of mu is taken as linear, fixed by the
//     bin's mass and first moment; the table holds, per bin, the
//     integrals of g_q and of s g_q over it (s the relative position in
//     the bin), from Filon's rule on the response's amplitudes and phase
//     at the bin's edges, which stays exact however many times g_q
//     oscillates across the bin (ResponseTable). Where g_q
//     turns many times within a bin (next to the wire at the largest
//     pulse moments of the shallowest depths), structure of mu finer than
//     a bin is lost: about 1e-3 of the depth's largest |K| at 0.05 m with
//     the 100 m loop, below 3e-4 from 0.3 m down (docs/accuracy.md).
//   Measure: the plane is cut into triangles on which b and w are linear.
//     A triangle of area S with mean weight w spreads the mass w S over
//     [b_min, b_max] with the triangular density of a linear function over a
//     triangle (the exact push-forward of its area), each bin taking its
//     share of the mass and of the first moment, so that a triangle across
//     which the flip turns many times still counts right.
//   Triangles: for each wire polygon (one per loop, two for the eights,
//     each around its own centre c), the wedge of edge P_k -> P_k+1 is
//     parametrised as c + rho (P_k + t (P_k+1 - P_k) - c), t in [0, 1],
//     rho >= 0: the wire lies at rho = 1 for every t, and lines of constant
//     rho run parallel to it. Nodes in rho crowd towards the wire with a
//     first step proportional to the depth below the wire (the field there
//     varies on that scale), nodes in t towards the corners. Away from the
//     wire fewer rays serve: the intervals of rho are swept in bands, each
//     with the rays that a plane as far below the wire as the band is from
//     it would need (a subset of the rays at the wire; the bands meet on
//     straight lines, so hanging nodes there leave no gaps). Between the
//     nodes of a ray, a cell is divided further where the flip at the
//     largest current or the weight is not linear across it, with values
//     interpolated from the ray's nodes: b^-2 (for a line current exactly
//     quadratic in the distance) and w/b (a ratio of fields of the same
//     wires), both smooth across the wire. Each cell then corrects the mean
//     weight and drive of its triangles for the curvature its nodes show:
//     across the rays from the bulge of each column's interval (the value
//     at its middle against the chord), along the edge from the parabola
//     through three neighbouring columns. The straight lines' error is
//     mostly that curvature, and one-signed (a chord under a convex
//     function), so it does not cancel over the plane; corrected, the
//     lattices need fewer parts per cell. The eights' lobes take the
//     half-planes x >= 0 and x < 0 of their own frame; the domain is the
//     disc of the loop's polar grid (both loops' with a separate receiver).
//   Signs: the real part's amplitude of each field carries the sign that
//     PerpendicularAmplitudes gives it, which flips where the field's real
//     and imaginary parts pass a right angle, and the turn flips with it.
//     Each node keeps the weight for every choice of the signs; cells are
//     cut along the lines where the choice changes.
//   Separate receivers: the plane is split by a partition of unity, the
//     receiver's lattice weighing d_tx^4/(d_tx^4 + d_rx^4) and the
//     transmitter's the rest (d the distance to each wire, depth included),
//     so that each lattice carries the part next to its own wire.
//   Field at a point: the Biot-Savart field of the loop's wire in free space
//     (biot_savart.h, exact at every point) plus the earth's part, the
//     component's field minus that static field on rays of the loop's
//     symmetry sector at the radii of its polar grid, interpolated with
//     four-point Lagrange stencils in radius and angle (the earth's part
//     varies on the scale of the depth and the skin depth, not of the
//     distance to the wire). The loop is turned by its exact azimuth.
//   Error control: each depth is integrated on two lattices (levels 1 and
//     2), the second finer by sqrt(2) in both directions; when the two
//     differ by more than the tolerance (relative to the depth's largest
//     |K|), finer lattices follow, up to kMaxLevel. The last difference is
//     the error estimate: the error falls by 2 to 2.5 from one level to the
//     next, so the difference is at least about the error of the finer
//     result, which is the one returned.
//
// The point response uses the physical Bloch-Siegert shift w^2/(4 w0).
//
// Not handled here: a separate receiver on sloping ground, and planes
// within the wires' top layer (callers check ConvergedSupport first;
// ComputeSounding then uses the classic scheme and says so).

#include <complex>
#include <cstdint>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "compute/depth_kernel.h"
#include "compute/point_response.h"
#include "compute/sounding_setup.h"
#include "numerics/field_slice.h"

namespace kvo::core {

// Why the converged scheme cannot compute `setup` (the classic one is then
// used), or nothing.
std::optional<std::string> ConvergedSupport(const SoundingSetup& setup);

// The point response per unit receiver amplitude, averaged over bins of the
// drive b (T/A), for every pulse moment.
class ResponseTable {
 public:
  // Bins per octave of the drive: each octave [2^e, 2^(e+1)) is cut into
  // 2^kMantissaBits equal bins (ratios 1.002 to 1.004, 1.0027 on average).
  static constexpr int kMantissaBits = 8;

  // Bins up to bHigh (T/A); the first bin holds the drives the largest pulse
  // flips by less than a milliradian (the response is linear there). The
  // classic Bloch-Siegert term (w^2/w0) only for comparisons. The rows are
  // filled by fillRow, one per pulse index (independent of each other, so
  // several threads may fill different rows at once).
  ResponseTable(const SoundingSetup& setup, double bHigh, bool physicalBlochSiegert = true);
  void fillRow(const SoundingSetup& setup, std::size_t p);

  std::size_t binCount() const { return m_edges.size() - 1; }
  std::size_t binOf(double b) const;
  double edge(std::size_t k) const { return m_edges[k]; }  // k = 0..binCount()
  double inverseWidth(std::size_t k) const { return m_inverseWidths[k]; }
  // For pulse index p, two factors per bin (2 binCount() entries): a bin
  // holding mass m0 with first moment m1 (in the bin's relative position)
  // contributes m0 row[2k] + m1 row[2k + 1].
  const std::complex<double>* row(std::size_t p) const { return m_values.data() + 2 * p * binCount(); }

 private:
  // The rows (tens of megabytes): left unwritten until fillRow, so that
  // each thread touches the pages of its own rows first, and in huge pages
  // where the system offers them (the kernel sums stream through them
  // once per depth).
  class TableStorage {
   public:
    TableStorage() = default;
    explicit TableStorage(std::size_t count);
    std::complex<double>* data() { return m_data.get(); }
    const std::complex<double>* data() const { return m_data.get(); }

   private:
    struct Free {
      void operator()(std::complex<double>* p) const;
    };
    std::unique_ptr<std::complex<double>[], Free> m_data;
  };

  std::vector<double> m_edges;
  TableStorage m_values;
  std::vector<double> m_inverseWidths;
  static constexpr int kPatternShift = 52 - kMantissaBits;
  double m_low = 0.0;
  std::uint64_t m_firstPattern = 0;
  PulseSettings m_pulse;
};

// The complex measure of a plane pushed forward onto the bins of the drive
// b: per bin its mass and its first moment (in the bin's relative
// position, 0 at the lower edge, 1 at the upper). A triangle on which b is
// linear spreads its mass with the triangular density of its three nodes'
// drives (the exact push-forward of its area). The bins holding the nodes
// take their share from the distribution function; the bins one side of
// the density covers whole take theirs through differences of the
// density's two coefficients (it is linear in b on either side of the
// middle node), summed up by finish(), so that a triangle costs the same
// however many bins it spans. The running sum starts afresh in every block
// of kBlockBins bins from the densities reaching into the block: over all
// bins, the rounding left by densities at small drives would grow, times
// ever wider bins, into errors at drives many orders larger.
class BinnedMeasure {
 public:
  static constexpr std::size_t kBlockBins = 32;

  explicit BinnedMeasure(const ResponseTable& table);
  void clear();
  // Adds mass m spread over the drives of three nodes (b, and the bin
  // binOf(b) of each).
  void addTriangle(double bp, std::size_t kp, double bq, std::size_t kq, double br, std::size_t kr,
                   std::complex<double> m);
  // Turns the differences into the bins' mass and first moment; call once
  // after the last triangle, before reading.
  void finish();

  bool empty() const { return m_low > m_high; }
  std::size_t low() const { return m_low; }    // the lowest bin with mass
  std::size_t high() const { return m_high; }  // the highest
  std::complex<double> mass(std::size_t k) const { return {m_bins[k].v[0], m_bins[k].v[1]}; }
  std::complex<double> moment(std::size_t k) const { return {m_bins[k].v[2], m_bins[k].v[3]}; }
  // Four numbers per bin: the mass's real and imaginary parts, then the
  // first moment's.
  const double* data() const { return m_bins.data()->v; }

 private:
  // Four real numbers kept side by side, so that a bin's update touches
  // one place in memory: mass and moment per bin, the density's two
  // coefficients (alpha, beta) per difference and per block's carry, each
  // complex as real and imaginary part. In real arithmetic throughout: the
  // compiler packs complex arguments into vectors through the stack, and
  // the stores then stall the loads.
  struct Quad {
    double v[4];
    void add(double a, double b, double c, double d) {
      v[0] += a;
      v[1] += b;
      v[2] += c;
      v[3] += d;
    }
  };
  static_assert(sizeof(Quad) == 4 * sizeof(double));
  void addDensity(std::size_t k0, std::size_t k1, double mr, double mi, double alpha, double beta);
  void direct(std::size_t k, double c0, double f0, double c1, double f1, double b1, double mr, double mi);

  const ResponseTable& m_table;
  std::vector<Quad> m_bins, m_steps, m_carries;
  std::size_t m_low = 1, m_high = 0;
};

// The largest drive any depth of `setup` can see, T/A: a bound for the
// response table.
double LargestDrive(const SoundingSetup& setup);

struct ConvergedDepth {
  DepthKernel kernel;
  double errorEstimate = 0.0;  // relative to the depth's largest |K|
  int level = 0;               // of the lattice used
};

// What the workers of one computation share: on sloping ground, the earth's
// part of the field on the levels below the slope, each level computed once
// by whichever worker needs it first (its values do not depend on which).
class ConvergedShared {
 public:
  ConvergedShared();
  ~ConvergedShared();
  ConvergedShared(const ConvergedShared&) = delete;
  ConvergedShared& operator=(const ConvergedShared&) = delete;

 private:
  friend class ConvergedKernelWorker;
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

class ConvergedKernelWorker {
 public:
  ConvergedKernelWorker(const SoundingSetup& setup, const FieldComponent& component,
                        const ResponseTable& table, double tolerance, ConvergedShared& shared);
  ~ConvergedKernelWorker();

  // The kernel of depth index z: 0, or 1 when the field component failed.
  int compute(std::size_t z, ConvergedDepth& out);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace kvo::core
