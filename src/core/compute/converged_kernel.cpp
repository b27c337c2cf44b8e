#include "compute/converged_kernel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <thread>

#include "compute/point_response.h"
#include "numerics/biot_savart.h"
#include "numerics/constants.h"
#include "numerics/perpendicular_field.h"
#include "numerics/target_geometry.h"

namespace kvo::core {
namespace {

using Complex = std::complex<double>;

constexpr int kMaxLevel = 4;
constexpr double kLowBinFraction = 1e-9;
// Lattice: first step at the wire, in units of the depth below the wire,
// growth of the steps, largest step (in apothems), and the same along the
// edges (in edge lengths).
constexpr double kWireStep = 0.03;
constexpr double kRadialGrowth = 0.3;
constexpr double kRadialLargest = 0.1;
constexpr double kCornerStep = 0.3;
constexpr double kAlongGrowth = 0.6;
constexpr double kAlongLargest = 0.12;
// Shallowest depth the converged scheme integrates (m): at the wires' own
// depth the plane's integral diverges.
constexpr double kShallowestDepth = 0.03;

struct GaussRule {
  std::array<double, 6> x{};
  std::array<double, 6> w{};
  int n = 0;
};

// Gauss-Legendre rules on [-1, 1].
const GaussRule& gaussRule(int n) {
  static const GaussRule two{{-0.5773502691896257, 0.5773502691896257}, {1.0, 1.0}, 2};
  static const GaussRule three{{-0.7745966692414834, 0.0, 0.7745966692414834},
                               {0.5555555555555556, 0.8888888888888888, 0.5555555555555556},
                               3};
  static const GaussRule six{{-0.9324695142031521, -0.6612093864662645, -0.2386191860831969,
                              0.2386191860831969, 0.6612093864662645, 0.9324695142031521},
                             {0.1713244923791704, 0.3607615730481386, 0.4679139345726910,
                              0.4679139345726910, 0.3607615730481386, 0.1713244923791704},
                             6};
  return n == 2 ? two : (n == 3 ? three : six);
}

Complex unitResponse(double b, double current, double offset, const PulseSettings& pulse) {
  const PointSignal s = PointResponse(kGyromagneticRatio * b * current, 1.0, offset, pulse);
  return {s.inPhase, s.quadrature};
}

PulseSettings physicalPulse(const SoundingSetup& setup) {
  PulseSettings pulse;
  pulse.larmorFrequency = setup.grids.larmorFrequency;
  pulse.pulseSeconds = setup.grids.pulseDuration * kMillisecond;
  pulse.harmonicsCount = std::max(setup.grids.harmonicsCount, 1);
  pulse.physicalBlochSiegert = true;
  return pulse;
}

double pulseCurrent(const SoundingSetup& setup, std::size_t p) {
  return setup.tx.turns * setup.grids.pulseMoments[p] / setup.grids.pulseDuration;
}

}  // namespace

std::optional<std::string> ConvergedSupport(const SoundingSetup& setup) {
  if (setup.topography.on > 0) {
    return std::string(
        "the converged sampling does not handle sloping ground yet; use --sampling classic");
  }
  for (const std::size_t z : setup.depths) {
    if (setup.grids.depths[z] < kShallowestDepth) {
      return "the converged sampling needs depths of at least 0.03 m (below the wires' 0.02 m "
             "top layer); the depth " + std::to_string(setup.grids.depths[z]) + " m is shallower";
    }
  }
  return std::nullopt;
}

double LargestDrive(const SoundingSetup& setup) {
  double shallowest = 1e300;
  for (const std::size_t z : setup.depths) shallowest = std::min(shallowest, setup.grids.depths[z]);
  const double gap = std::max(shallowest - kWireHeight, 1e-3);
  // Two segments meeting at a corner, the earth's part and an elliptical
  // split's factor (1 + e)/2 each stay within this.
  return 8.0 * kMu0 / (2.0 * kPi * gap);
}

ResponseTable::ResponseTable(const SoundingSetup& setup, double bHigh, int threads) {
  m_low = bHigh * kLowBinFraction;
  m_logRatio = std::log(kBinRatio);
  const auto logBins = static_cast<std::size_t>(std::ceil(std::log(1.0 / kLowBinFraction) / m_logRatio));
  m_edges.resize(logBins + 2);
  m_edges[0] = 0.0;
  for (std::size_t k = 0; k <= logBins; ++k) m_edges[k + 1] = m_low * std::exp(m_logRatio * static_cast<double>(k));
  const std::size_t bins = binCount();
  m_values.assign(kGridPoints * bins, Complex{});

  const PulseSettings pulse = physicalPulse(setup);
  const double larmor = 2.0 * kPi * setup.grids.larmorFrequency;
  const auto fillRow = [&](std::size_t p) {
    const double current = pulseCurrent(setup, p);
    const double offset = setup.shift.offsets[p];
    const double perDrive = kGyromagneticRatio * current * pulse.pulseSeconds;  // flip per T/A
    Complex* row = &m_values[p * bins];
    for (std::size_t k = 0; k < bins; ++k) {
      const double lo = m_edges[k];
      const double hi = m_edges[k + 1];
      // Upper bound of the change of the flip angle across the bin: the
      // Bloch-Siegert shift makes the nutation rate grow by up to w/(2 w0).
      const double rabiHigh = kGyromagneticRatio * current * hi;
      const double span = perDrive * (hi - lo) * (1.0 + rabiHigh / (2.0 * larmor));
      int n = 6;
      std::size_t pieces = 1;
      if (span < 0.05) {
        n = 2;
      } else if (span < 0.5) {
        n = 3;
      } else {
        pieces = static_cast<std::size_t>(std::ceil(span));
      }
      const GaussRule& rule = gaussRule(n);
      const double width = (hi - lo) / static_cast<double>(pieces);
      Complex sum{};
      for (std::size_t i = 0; i < pieces; ++i) {
        const double mid = lo + (static_cast<double>(i) + 0.5) * width;
        for (int j = 0; j < rule.n; ++j) {
          sum += rule.w[j] * unitResponse(mid + 0.5 * width * rule.x[j], current, offset, pulse);
        }
      }
      // The average: (1/(hi - lo)) * sum over pieces of (width/2) sum w f.
      row[k] = sum * (0.5 / static_cast<double>(pieces));
    }
  };
  const int workers = std::max(1, std::min(threads > 0 ? threads : static_cast<int>(std::thread::hardware_concurrency()),
                                           static_cast<int>(kGridPoints)));
  std::vector<std::jthread> pool;
  for (int t = 0; t < workers; ++t) {
    pool.emplace_back([&, t] {
      for (std::size_t p = static_cast<std::size_t>(t); p < kGridPoints; p += static_cast<std::size_t>(workers)) fillRow(p);
    });
  }
}

std::size_t ResponseTable::binOf(double b) const {
  if (!(b > m_low)) return 0;
  const double k = 1.0 + std::floor(std::log(b / m_low) / m_logRatio);
  const double last = static_cast<double>(binCount() - 1);
  return static_cast<std::size_t>(std::min(k, last));
}

// ---------------------------------------------------------------------------

namespace {

using RemainderRow = std::array<double, 6>;  // re x, y, z, im x, y, z

// The earth's part of one loop's field at one depth on the loop's polar
// grid, in the loop's own frame (before its azimuth).
struct LoopRemainder {
  const SurfaceGrid* grid = nullptr;
  bool circle = false;
  std::size_t angleCount = 0;
  std::vector<RemainderRow> model;      // [angle * kSlicePoints + radius]
  std::vector<RemainderRow> reference;  // the same, elliptical split only
  std::vector<Point3> wire;             // as the component sees it (single precision)
  double cosAz = 1.0, sinAz = 0.0;      // loop frame -> common frame
  double centreX = 0.0, centreY = 0.0;  // in the common frame

  // Lagrange stencils: radial start and weights, angular nodes and weights.
  bool stencil(double r, double phi, std::size_t& start, std::array<double, 4>& wr,
               std::array<std::size_t, 4>& ka, std::array<double, 4>& wa) const {
    const auto& radii = grid->radii;
    if (r > radii[kSlicePoints - 1]) return false;
    const std::size_t upper = static_cast<std::size_t>(std::upper_bound(radii.begin(), radii.end(), r) - radii.begin());
    const std::size_t i = upper == 0 ? 0 : upper - 1;
    start = std::min<std::size_t>(i == 0 ? 0 : i - 1, kSlicePoints - 4);
    for (std::size_t a = 0; a < 4; ++a) {
      double w = 1.0;
      for (std::size_t b = 0; b < 4; ++b) {
        if (a != b) w *= (r - radii[start + b]) / (radii[start + a] - radii[start + b]);
      }
      wr[a] = w;
    }
    if (circle) return true;
    const std::size_t distinct = angleCount - 1;
    const double step = 2.0 * kPi / static_cast<double>(distinct);
    double u = phi / step;
    u -= std::floor(u / static_cast<double>(distinct)) * static_cast<double>(distinct);
    const double k0 = std::floor(u);
    const double f = u - k0;
    // Cubic Lagrange on the uniform nodes -1, 0, 1, 2.
    wa = {-f * (f - 1.0) * (f - 2.0) / 6.0, (f + 1.0) * (f - 1.0) * (f - 2.0) / 2.0,
          -(f + 1.0) * f * (f - 2.0) / 2.0, (f + 1.0) * f * (f - 1.0) / 6.0};
    const auto base = static_cast<std::size_t>(k0) + distinct;
    for (std::size_t a = 0; a < 4; ++a) ka[a] = (base + a - 1) % distinct;
    return true;
  }

  ComplexField fieldAt(const std::vector<RemainderRow>& rows, double x, double y, double z) const {
    const FieldVector stat = BiotSavartField(wire, {x, y, z});
    ComplexField h{stat, {0.0, 0.0, 0.0}};
    const double r = std::hypot(x, y);
    const double phi = std::atan2(y, x);
    std::size_t start = 0;
    std::array<double, 4> wr{}, wa{};
    std::array<std::size_t, 4> ka{};
    if (stencil(r, phi, start, wr, ka, wa)) {
      RemainderRow v{};
      if (circle) {
        for (std::size_t a = 0; a < 4; ++a) {
          const RemainderRow& n = rows[start + a];
          for (std::size_t c = 0; c < 6; ++c) v[c] += wr[a] * n[c];
        }
        const double c = r > 0.0 ? x / r : 1.0;
        const double s = r > 0.0 ? y / r : 0.0;
        v = {c * v[0] - s * v[1], s * v[0] + c * v[1], v[2], c * v[3] - s * v[4], s * v[3] + c * v[4], v[5]};
      } else {
        for (std::size_t b = 0; b < 4; ++b) {
          for (std::size_t a = 0; a < 4; ++a) {
            const double w = wa[b] * wr[a];
            const RemainderRow& n = rows[ka[b] * kSlicePoints + start + a];
            for (std::size_t c = 0; c < 6; ++c) v[c] += w * n[c];
          }
        }
      }
      for (std::size_t c = 0; c < 3; ++c) {
        h.re[c] += v[c];
        h.im[c] += v[c + 3];
      }
    }
    return h;
  }

  // Into the common frame.
  FieldVector turned(const FieldVector& v) const {
    return {cosAz * v[0] - sinAz * v[1], sinAz * v[0] + cosAz * v[1], v[2]};
  }
  ComplexField commonField(const std::vector<RemainderRow>& rows, double x, double y, double z) const {
    const ComplexField h = fieldAt(rows, x, y, z);
    return {turned(h.re), turned(h.im)};
  }
};

std::vector<Point3> singlePrecisionWire(const LoopWireShape& wire) {
  std::vector<Point3> out(static_cast<std::size_t>(wire.segmentCount) + 1);
  for (std::size_t i = 0; i < out.size(); ++i) {
    for (std::size_t c = 0; c < 3; ++c) out[i][c] = static_cast<float>(wire.vertices[i][c]);
  }
  return out;
}

// A wire polygon of the lattice: closed vertex list around its centre, and
// the half-plane it keeps (eights: +1 x >= 0, -1 x < 0; 0 the whole plane).
struct WirePolygon {
  std::vector<std::array<double, 2>> vertices;
  double cx = 0.0, cy = 0.0;
  int side = 0;
};

std::vector<WirePolygon> wirePolygons(const LoopWireShape& wire, int type) {
  const auto vertex = [&](int i) {
    return std::array<double, 2>{wire.vertices[static_cast<std::size_t>(i)][0],
                                 wire.vertices[static_cast<std::size_t>(i)][1]};
  };
  const auto closed = [&](int first, int last, int side) {
    WirePolygon p;
    for (int i = first; i <= last; ++i) p.vertices.push_back(vertex(i));
    const std::size_t distinct = p.vertices.size() - 1;
    for (std::size_t i = 0; i < distinct; ++i) {
      p.cx += p.vertices[i][0] / static_cast<double>(distinct);
      p.cy += p.vertices[i][1] / static_cast<double>(distinct);
    }
    p.side = side;
    return p;
  };
  const int s = wire.segmentCount;
  if (type <= 2) return {closed(0, s, 0)};
  const int k = (s - 2) / 2;
  return {closed(0, k, +1), closed(k + 1, 2 * k + 1, -1)};
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

struct NodeValue {
  double x = 0.0, y = 0.0;  // loop frame of the transmitter, m
  double drive = 0.0;       // b, T/A
  Complex weight{};         // |A| e^{i turn}, T/A
};

}  // namespace

struct ConvergedKernelWorker::Impl {
  const SoundingSetup& setup;
  const FieldComponent& component;
  const ResponseTable& table;
  double tolerance;
  double scale = 0.0;
  std::unique_ptr<SliceFieldTable> slice = std::make_unique<SliceFieldTable>();
  LoopRemainder tx, rx;
  std::vector<WirePolygon> polygons;
  double discRadius = 0.0;
  std::vector<TargetOutline> outlines;
  std::vector<Complex> mass;
  std::size_t massLow = 0, massHigh = 0;

  Impl(const SoundingSetup& s, const FieldComponent& c, const ResponseTable& t, double tol)
      : setup(s), component(c), table(t), tolerance(tol) {
    const double f = kFrequencyFactor * s.grids.larmorFrequency;
    scale = static_cast<double>(s.rx.turns) * 0.5 * kMagnetisationFactor * kPi * f * f;
    setUpLoop(tx, s.txGrid, s.txWire, s.tx.type, s.txAzimuth, 0.0, 0.0);
    if (s.separateReceiver) setUpLoop(rx, s.rxGrid, s.rxWire, s.rx.type, s.rxAzimuth, s.rxCentreX, s.rxCentreY);
    polygons = wirePolygons(s.txWire, s.tx.type);
    discRadius = s.txGrid.radii[kSlicePoints - 1];
    if (s.separateReceiver) {
      discRadius = std::max(discRadius, std::hypot(s.rxCentreX, s.rxCentreY) + s.rxGrid.radii[kSlicePoints - 1]);
    }
    mass.assign(table.binCount(), Complex{});
  }

  static void setUpLoop(LoopRemainder& loop, const SurfaceGrid& grid, const LoopWireShape& wire, int type,
                        double azimuthDegrees, double cx, double cy) {
    loop.grid = &grid;
    loop.circle = type == 1;
    loop.angleCount = static_cast<std::size_t>(grid.angleCount);
    loop.wire = singlePrecisionWire(wire);
    const double az = degreesToRadians(azimuthDegrees);
    loop.cosAz = std::cos(az);
    loop.sinAz = std::sin(az);
    loop.centreX = cx;
    loop.centreY = cy;
  }

  SliceSetup sliceOf(bool receiver) const {
    SliceSetup s;
    const UnpackedLoop& loop = receiver ? setup.rx : setup.tx;
    s.loopType = loop.type;
    s.grid = receiver ? &setup.rxGrid : &setup.txGrid;
    s.wire = receiver ? &setup.rxWire : &setup.txWire;
    s.frequency = setup.grids.larmorFrequency;
    s.model = &setup.layers;
    s.inclination = setup.inclination;
    s.elliptical = receiver ? false : setup.elliptical;
    s.withReference = s.elliptical;
    s.azimuth = 0.0;  // the loop's own frame; the azimuth is applied exactly at every point
    s.baseSlot = receiver ? kRxModelSlot : kTxModelSlot;
    s.component = component;
    return s;
  }

  int fillRemainder(LoopRemainder& loop, bool receiver, double depth) {
    const SliceSetup s = sliceOf(receiver);
    if (FillFieldSlice(*slice, s, depth) != 0) return 1;
    const std::size_t angles = loop.circle ? 1 : loop.angleCount;
    const auto fill = [&](std::vector<RemainderRow>& rows, std::size_t slot) {
      rows.assign(angles * kSlicePoints, RemainderRow{});
      for (std::size_t k = 0; k < angles; ++k) {
        const double phi = loop.grid->angles[k];
        for (std::size_t i = 0; i < kSlicePoints; ++i) {
          const double r = loop.grid->radii[i];
          // The node as the component saw it (single precision).
          const Point3 p{static_cast<float>(std::cos(phi) * r), static_cast<float>(std::sin(phi) * r),
                         static_cast<float>(depth)};
          const FieldVector stat = BiotSavartField(loop.wire, p);
          RemainderRow& row = rows[k * kSlicePoints + i];
          for (std::size_t c = 0; c < 3; ++c) {
            row[c] = slice->re[i][c][k][slot] - stat[c];
            row[c + 3] = slice->im[i][c][k][slot];
          }
        }
      }
    };
    fill(loop.model, s.baseSlot);
    if (s.withReference) {
      fill(loop.reference, s.baseSlot + 1);
    } else {
      loop.reference.clear();
    }
    return 0;
  }

  NodeValue nodeValue(double x, double y, double depth) const {
    NodeValue n;
    n.x = x;
    n.y = y;
    const double inc = setup.inclination;
    const ComplexField txField = tx.commonField(tx.model, x, y, depth);
    const PerpendicularPair p = PerpendicularAmplitudes(inc, txField);
    PerpendicularPair a = p;
    PerpendicularPair b{p.p0 / 2.0, p.p1 / 2.0};
    if (setup.elliptical) {
      const ComplexField ref = tx.commonField(tx.reference, x, y, depth);
      const EllipticalSplitResult split = EllipticalSplit(txField, ref, inc, p);
      a = split.a;
      b = split.b;
    }
    double turn = 0.0;
    if (setup.separateReceiver) {
      const double cx = tx.cosAz * x - tx.sinAz * y - rx.centreX;
      const double cy = tx.sinAz * x + tx.cosAz * y - rx.centreY;
      const double lx = rx.cosAz * cx + rx.sinAz * cy;
      const double ly = -rx.sinAz * cx + rx.cosAz * cy;
      const ComplexField rxField = rx.commonField(rx.model, lx, ly, depth);
      a = PerpendicularAmplitudes(inc, rxField);
      const PerpendicularComponents tc = PerpendicularPlaneComponents(inc, txField);
      const PerpendicularComponents rc = PerpendicularPlaneComponents(inc, rxField);
      const PlaneVector txRe{tc.u[0], tc.v[0]}, txIm{tc.u[1], tc.v[1]};
      const PlaneVector rxRe{rc.u[0], rc.v[0]}, rxIm{rc.u[1], rc.v[1]};
      turn = SignalTurn(PairPhase(a.p0, a.p1), PairPhase(b.p0, b.p1), txRe, txIm, rxRe, rxIm);
    } else {
      turn = SignalTurn(PairPhase(a.p0, a.p1), PairPhase(b.p0, b.p1));
    }
    n.drive = std::hypot(b.p0, b.p1);
    n.weight = std::polar(std::hypot(a.p0, a.p1), turn);
    return n;
  }

  // Spreads `m` over [b1, b3] with the triangular density peaking at b2.
  void deposit(double b1, double b2, double b3, Complex m) {
    if (b1 > b2) std::swap(b1, b2);
    if (b2 > b3) std::swap(b2, b3);
    if (b1 > b2) std::swap(b1, b2);
    const std::size_t k1 = table.binOf(b1);
    const std::size_t k3 = table.binOf(b3);
    massLow = std::min(massLow, k1);
    massHigh = std::max(massHigh, k3);
    if (k1 == k3) {
      mass[k1] += m;
      return;
    }
    const double width = b3 - b1;
    const auto cdf = [&](double x) {
      if (x <= b1) return 0.0;
      if (x >= b3) return 1.0;
      if (x <= b2) return (x - b1) * (x - b1) / (width * (b2 - b1));
      return 1.0 - (b3 - x) * (b3 - x) / (width * (b3 - b2));
    };
    double previous = 0.0;
    for (std::size_t k = k1; k < k3; ++k) {
      const double next = cdf(table.edge(k + 1));
      mass[k] += m * (next - previous);
      previous = next;
    }
    mass[k3] += m * (1.0 - previous);
  }

  bool counted(const NodeValue& a, const NodeValue& b, const NodeValue& c) const {
    if (setup.targetCount == 0) return true;
    const double lx = (a.x + b.x + c.x) / 3.0;
    const double ly = (a.y + b.y + c.y) / 3.0;
    const double x = tx.cosAz * lx - tx.sinAz * ly;
    const double y = tx.sinAz * lx + tx.cosAz * ly;
    return PointInTargetBoxes(x, y, outlines) && PointInTargets(x, y, outlines) > 0;
  }

  void triangle(const NodeValue& a, const NodeValue& b, const NodeValue& c) {
    const double area = 0.5 * std::fabs((b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y));
    if (area == 0.0 || !counted(a, b, c)) return;
    deposit(a.drive, b.drive, c.drive, (a.weight + b.weight + c.weight) * (area * kAreaFactor / 3.0));
  }

  // The measure of the plane at `depth` on the lattice of `level`.
  void measure(double depth, int level) {
    std::fill(mass.begin(), mass.end(), Complex{});
    massLow = mass.size();
    massHigh = 0;
    const double refine = std::pow(2.0, -0.5 * level);
    const double below = std::max(depth - kWireHeight, 1e-3);
    std::vector<double> rho, along;
    std::vector<NodeValue> left, right;
    for (const WirePolygon& poly : polygons) {
      for (std::size_t k = 0; k + 1 < poly.vertices.size(); ++k) {
        const auto& p0 = poly.vertices[k];
        const auto& p1 = poly.vertices[k + 1];
        const double ex = p1[0] - p0[0], ey = p1[1] - p0[1];
        const double length = std::hypot(ex, ey);
        if (length == 0.0) continue;
        const double apothem = std::fabs((p0[0] - poly.cx) * ey - (p0[1] - poly.cy) * ex) / length;
        if (apothem == 0.0) continue;
        // Where the ray of t leaves the domain.
        const auto limit = [&](double t) {
          const double dx = p0[0] + t * ex - poly.cx, dy = p0[1] + t * ey - poly.cy;
          const double dd = dx * dx + dy * dy;
          const double cd = poly.cx * dx + poly.cy * dy;
          const double cc = poly.cx * poly.cx + poly.cy * poly.cy - discRadius * discRadius;
          double l = (-cd + std::sqrt(std::max(cd * cd - dd * cc, 0.0))) / dd;
          if (poly.side > 0 && dx < 0.0) l = std::min(l, -poly.cx / dx);
          if (poly.side < 0 && dx > 0.0) l = std::min(l, -poly.cx / dx);
          return std::max(l, 0.0);
        };
        along.clear();
        along.push_back(0.0);
        const double cornerStep = std::min(0.5, kCornerStep * refine * below / length);
        const double alongLargest = std::min(0.5, kAlongLargest * apothem / length) * refine;
        gradedNodes(0.0, 0.5, cornerStep, 1.0 + kAlongGrowth * refine,
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

        const auto column = [&](double t, std::vector<NodeValue>& out) {
          out.clear();
          const double l = limit(t);
          const double dx = p0[0] + t * ex - poly.cx, dy = p0[1] + t * ey - poly.cy;
          for (const double r0 : rho) {
            const double r = std::min(r0, l);
            out.push_back(nodeValue(poly.cx + r * dx, poly.cy + r * dy, depth));
            if (r0 >= l) break;
          }
        };
        column(along[0], left);
        for (std::size_t i = 1; i < along.size(); ++i) {
          column(along[i], right);
          const std::size_t n = std::max(left.size(), right.size());
          const auto at = [](const std::vector<NodeValue>& c, std::size_t j) -> const NodeValue& {
            return c[std::min(j, c.size() - 1)];
          };
          for (std::size_t j = 0; j + 1 < n; ++j) {
            triangle(at(left, j), at(right, j), at(right, j + 1));
            triangle(at(left, j), at(right, j + 1), at(left, j + 1));
          }
          std::swap(left, right);
        }
      }
    }
  }

  DepthKernel kernelOfMeasure() const {
    DepthKernel out;
    if (massLow > massHigh) return out;
    for (std::size_t p = 0; p < kGridPoints; ++p) {
      const Complex* g = table.row(p);
      Complex sum{};
      for (std::size_t k = massLow; k <= massHigh; ++k) sum += mass[k] * g[k];
      out.re[p] = scale * sum.real();
      out.im[p] = scale * sum.imag();
    }
    return out;
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
    if (fillRemainder(tx, false, depth) != 0) return 1;
    if (setup.separateReceiver && fillRemainder(rx, true, depth) != 0) return 1;
    outlines = setup.targetOutlines(z);
    measure(depth, 0);
    DepthKernel previous = kernelOfMeasure();
    for (int level = 1; level <= kMaxLevel; ++level) {
      measure(depth, level);
      out.kernel = kernelOfMeasure();
      out.level = level;
      out.errorEstimate = difference(previous, out.kernel);
      if (out.errorEstimate <= tolerance) break;
      previous = out.kernel;
    }
    return 0;
  }
};

ConvergedKernelWorker::ConvergedKernelWorker(const SoundingSetup& setup, const FieldComponent& component,
                                             const ResponseTable& table, double tolerance)
    : m_impl(std::make_unique<Impl>(setup, component, table, tolerance)) {}

ConvergedKernelWorker::~ConvergedKernelWorker() = default;

int ConvergedKernelWorker::compute(std::size_t z, ConvergedDepth& out) { return m_impl->compute(z, out); }

}  // namespace kvo::core
