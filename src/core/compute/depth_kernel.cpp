#include "compute/depth_kernel.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "numerics/constants.h"
#include "numerics/perpendicular_field.h"
#include "numerics/target_geometry.h"

namespace kvo::core {
namespace {

// Sets of the radial parabola tables (each with its partner set + 1).
constexpr std::size_t kSetDrive = 0;   // transmitter's b = (b0, b1)
constexpr std::size_t kSetTxU = 2;     // transmitter's u = (re, im)
constexpr std::size_t kSetTxV = 4;     // transmitter's v = (re, im)
constexpr std::size_t kSetRxU = 6;     // receiver's u
constexpr std::size_t kSetRxV = 8;     // receiver's v
constexpr std::size_t kSetSense = 10;  // receiver's a = (a0, a1)
// The transmitter's acute (the drive's sign), and the receiver's: a pair
// only because InterpolateField2D reads pairs (the transmitter's is read
// through it, the receiver's radially and then along the angles).
constexpr std::size_t kSetAcute = 12;
constexpr std::size_t kSetSenseAcute = 13;

constexpr std::size_t kRadialSegments = kSlicePoints - 1;
// Step measures are clamped to this (a million sub-steps per segment), and
// one that is not a number counts as 0: a damaged field must not turn into
// an unbounded loop or an undefined conversion.
constexpr double kLargestStepMeasure = 1e6;

std::span<const double> anglesOf(const SurfaceGrid& grid) {
  return {grid.angles.data(), static_cast<std::size_t>(grid.angleCount)};
}

ParabolaCoefficients radialParabola(const ParabolaTables& t, std::size_t set, std::size_t j,
                                    std::size_t column) {
  return {t.a[set][j][column], t.b[set][j][column], t.c[set][j][column]};
}

void fillRadial(ParabolaTables& t, std::size_t set, std::span<const double> radii,
                const LoopFieldRows& rows, const std::vector<double>& quantity) {
  for (std::size_t j = 0; j < rows.angleCount; ++j) {
    ParabolaTable(radii, rows.row(quantity, j), {t.a[set][j], t.b[set][j], t.c[set][j]});
  }
}

double boundedMeasure(double v) {
  if (!(v >= 0.0)) return 0.0;
  return std::min(v, kLargestStepMeasure);
}

struct StepMeasures {
  std::array<double, kRadialSegments> radial{};
  std::array<double, kRadialSegments> azimuth{};
};

// The flip angle per ampere, theta = (gamma/2) tau |pair| (rad/A), on the
// last two angle rows (just below 2 pi, and 2 pi), at every radial node r
// from the parabola of segment r - 1 (segment 0 at node 0); then
//   radial[r]  = |theta0(r+1) - theta0(r)| / step,
//   azimuth[r] = |theta1(r+1) - theta0(r+1)| / step.
StepMeasures stepMeasures(const ParabolaTables& t, std::size_t set, std::size_t angleCount,
                          std::span<const double> radii, double perAmpere, double flipStep) {
  std::array<std::array<double, kSlicePoints>, 2> theta{};
  for (std::size_t k = 0; k < 2; ++k) {
    const std::size_t row = angleCount - 2 + k;
    for (std::size_t r = 0; r < kSlicePoints; ++r) {
      const std::size_t segment = r == 0 ? 0 : r - 1;
      const double p0 = radialParabola(t, set, row, segment)(radii[r]);
      const double p1 = radialParabola(t, set + 1, row, segment)(radii[r]);
      theta[k][r] = perAmpere * std::sqrt(p0 * p0 + p1 * p1);
    }
  }
  StepMeasures m;
  for (std::size_t r = 0; r < kRadialSegments; ++r) {
    m.radial[r] = boundedMeasure(std::fabs(theta[0][r + 1] - theta[0][r]) / flipStep);
    m.azimuth[r] = boundedMeasure(std::fabs(theta[1][r + 1] - theta[0][r + 1]) / flipStep);
  }
  return m;
}

int countOf(double measure) { return static_cast<int>(std::floor(measure) + 1.0); }

// Sub-step count limited so that steps are at most Lmax/2 long inside half
// the transmitter's size and Lmax outside (3D targets).
int limitedCount(int n, double step, double r, double halfTx) {
  const double lmax = kMaximumTargetSubStep;
  if (halfTx > r && step > lmax / 2.0) return countOf(n * step / lmax * 2.0);
  if (halfTx <= r && step > lmax) return countOf(n * step / lmax);
  return n;
}

}  // namespace

DepthKernelWorker::DepthKernelWorker(const SoundingSetup& setup)
    : m_setup(setup), m_tables(std::make_unique<ParabolaTables>()) {
  m_pulse.larmorFrequency = setup.grids.larmorFrequency;
  m_pulse.pulseSeconds = setup.grids.pulseDuration * kMillisecond;
  m_pulse.harmonicsCount = std::max(setup.grids.harmonicsCount, 1);
  const double f = kFrequencyFactor * setup.grids.larmorFrequency;
  m_scale = static_cast<double>(setup.rx.turns) * 0.5 * kMagnetisationFactor * kPi * f * f;
  const std::size_t n = kSliceAngles;
  for (std::vector<double>* v : {&m_rowA0, &m_rowA1, &m_rowB0, &m_rowB1, &m_angA0a, &m_angA0b,
                                 &m_angA0c, &m_angA1a, &m_angA1b, &m_angA1c, &m_angB0a, &m_angB0b,
                                 &m_angB0c, &m_angB1a, &m_angB1b, &m_angB1c, &m_rowAcute, &m_angAcuteA,
                                 &m_angAcuteB, &m_angAcuteC}) {
    v->assign(n, 0.0);
  }
  m_radialCounts.assign(kRadialSegments, 1);
  m_angularCounts.assign(kRadialSegments, 1);
}

DepthKernelWorker::Window DepthKernelWorker::cellWindow() const {
  Window w;
  w.radialEnd = kRadialSegments;
  w.angleEnd = static_cast<std::size_t>(m_setup.rxGrid.angleCount) - 1;
  if (m_setup.targetCount > 0) {
    const auto& ranges = m_setup.targetRanges;
    w.radialFirst = ranges.front().ring.first;
    w.radialEnd = ranges.front().ring.last;
    w.angleFirst = ranges.front().sector.first;
    w.angleEnd = ranges.front().sector.last;
    for (const TargetIndexRange& range : ranges) {
      w.radialFirst = std::min(w.radialFirst, range.ring.first);
      w.radialEnd = std::max(w.radialEnd, range.ring.last);
      w.angleFirst = std::min(w.angleFirst, range.sector.first);
      w.angleEnd = std::max(w.angleEnd, range.sector.last);
    }
  }
  return w;
}

void DepthKernelWorker::buildTables(const DepthField& field) {
  ParabolaTables& t = *m_tables;
  const bool separate = m_setup.separateReceiver;
  const LoopFieldRows& sense = separate ? field.rx : field.tx;
  const auto& rRx = m_setup.rxGrid.radii;
  const auto& rTx = m_setup.txGrid.radii;
  fillRadial(t, kSetSense, rRx, sense, sense.a0);
  fillRadial(t, kSetSense + 1, rRx, sense, sense.a1);
  fillRadial(t, kSetSenseAcute, rRx, sense, sense.acute);
  if (separate || m_setup.elliptical) {
    fillRadial(t, kSetDrive, rTx, field.tx, field.tx.b0);
    fillRadial(t, kSetDrive + 1, rTx, field.tx, field.tx.b1);
  }
  if (separate) {
    fillRadial(t, kSetAcute, rTx, field.tx, field.tx.acute);
    fillRadial(t, kSetTxU, rTx, field.tx, field.tx.uRe);
    fillRadial(t, kSetTxU + 1, rTx, field.tx, field.tx.uIm);
    fillRadial(t, kSetTxV, rTx, field.tx, field.tx.vRe);
    fillRadial(t, kSetTxV + 1, rTx, field.tx, field.tx.vIm);
    fillRadial(t, kSetRxU, rRx, field.rx, field.rx.uRe);
    fillRadial(t, kSetRxU + 1, rRx, field.rx, field.rx.uIm);
    fillRadial(t, kSetRxV, rRx, field.rx, field.rx.vRe);
    fillRadial(t, kSetRxV + 1, rRx, field.rx, field.rx.vIm);
  }
}

void DepthKernelWorker::buildSubSteps(const Window& window) {
  const double perAmpere = kHalfGyromagneticRatio * m_setup.grids.pulseDuration * kMillisecond;
  const auto rxAngles = static_cast<std::size_t>(m_setup.rxGrid.angleCount);
  const StepMeasures rx = stepMeasures(*m_tables, kSetSense, rxAngles, m_setup.rxGrid.radii,
                                       perAmpere, m_setup.flipStep);
  if (!m_setup.separateReceiver) {
    for (std::size_t w = window.radialFirst; w < window.radialEnd; ++w) {
      m_radialCounts[w] = countOf(rx.radial[w]);
      m_angularCounts[w] = countOf(rx.azimuth[w]);
    }
    return;
  }
  // Separate receiver: each receiver cell is located on the transmitter's
  // grid and takes the finest division of the transmitter's rings it spans
  // (the larger step measure of the two loops at each ring index).
  const auto txAngleCount = static_cast<std::size_t>(m_setup.txGrid.angleCount);
  const StepMeasures tx = stepMeasures(*m_tables, kSetDrive, txAngleCount, m_setup.txGrid.radii,
                                       perAmpere, m_setup.flipStep);
  const auto& rRx = m_setup.rxGrid.radii;
  const std::span<const double> phiRx = anglesOf(m_setup.rxGrid);
  const std::span<const double> phiTx = anglesOf(m_setup.txGrid);
  for (std::size_t w = window.radialFirst; w < window.radialEnd; ++w) {
    int nR = 1;
    int nA = 1;
    for (std::size_t s = 0; s + 1 < rxAngles; ++s) {
      const PolarLocation c1 = LocatePolar(rRx[w], phiRx[s], m_setup.rxCentreX,
                                           m_setup.rxCentreY, m_setup.txGrid.radii, phiTx);
      const PolarLocation c2 = LocatePolar(rRx[w + 1], phiRx[s + 1], m_setup.rxCentreX,
                                           m_setup.rxCentreY, m_setup.txGrid.radii, phiTx);
      // LocatePolar gives the node below the one nearest to each corner, so
      // the cell's far corner may lie in the segment above it: the span
      // runs one segment further. (Without it a receiver cell of an
      // unshifted identical receiver took the count of the segment below
      // its own, too few where the field peaks at the wire.)
      const std::size_t first = std::min(c1.ir, c2.ir);
      const std::size_t last = std::max(c1.ir, c2.ir) + 1;
      nR = std::max(nR, SubdivisionCount(first, last, tx.radial, rx.radial));
      nA = std::max(nA, SubdivisionCount(first, last, tx.azimuth, rx.azimuth));
    }
    m_radialCounts[w] = nR;
    m_angularCounts[w] = nA;
  }
}

void DepthKernelWorker::buildSweep(std::size_t z, std::size_t w, double r, double area,
                                   const Window& window) {
  const ParabolaTables& t = *m_tables;
  const bool separate = m_setup.separateReceiver;
  const bool ellipticalDrive = m_setup.elliptical && !separate;
  const std::span<const double> phiRx = anglesOf(m_setup.rxGrid);
  const std::span<const double> phiTx = anglesOf(m_setup.txGrid);
  const std::size_t d = phiRx.size();

  // Angle parabolas through the values at radius r of every angle row.
  for (std::size_t j = 0; j < d; ++j) {
    m_rowA0[j] = radialParabola(t, kSetSense, j, w)(r);
    m_rowA1[j] = radialParabola(t, kSetSense + 1, j, w)(r);
    m_rowAcute[j] = radialParabola(t, kSetSenseAcute, j, w)(r);
  }
  ParabolaTable(phiRx, m_rowA0, {m_angA0a, m_angA0b, m_angA0c});
  ParabolaTable(phiRx, m_rowA1, {m_angA1a, m_angA1b, m_angA1c});
  ParabolaTable(phiRx, m_rowAcute, {m_angAcuteA, m_angAcuteB, m_angAcuteC});
  if (ellipticalDrive) {
    for (std::size_t j = 0; j < d; ++j) {
      m_rowB0[j] = radialParabola(t, kSetDrive, j, w)(r);
      m_rowB1[j] = radialParabola(t, kSetDrive + 1, j, w)(r);
    }
    ParabolaTable(phiRx, m_rowB0, {m_angB0a, m_angB0b, m_angB0c});
    ParabolaTable(phiRx, m_rowB1, {m_angB1a, m_angB1b, m_angB1c});
  }

  struct Values {
    double a0, a1, b0, b1;
    PlaneVector txRe, txIm, rxRe, rxIm;  // (u, v) real and imaginary parts
  };
  const auto valuesAt = [&](std::size_t s, double phi) {
    Values v{};
    const double senseAcute = ParabolaCoefficients{m_angAcuteA[s], m_angAcuteB[s], m_angAcuteC[s]}(phi);
    v.a0 = SignedAmplitude(ParabolaCoefficients{m_angA0a[s], m_angA0b[s], m_angA0c[s]}(phi), senseAcute);
    v.a1 = ParabolaCoefficients{m_angA1a[s], m_angA1b[s], m_angA1c[s]}(phi);
    if (separate) {
      const PolarLocation loc = LocatePolar(r, phi, m_setup.rxCentreX, m_setup.rxCentreY,
                                            m_setup.txGrid.radii, phiTx);
      const FieldPair b = InterpolateField2D(t, kSetDrive, loc.ir, loc.radius, loc.phi, loc.ia,
                                             phiTx, m_cacheDrive);
      const FieldPair acute = InterpolateField2D(t, kSetAcute, loc.ir, loc.radius, loc.phi,
                                                 loc.ia, phiTx, m_cacheAcute);
      const FieldPair tu = InterpolateField2D(t, kSetTxU, loc.ir, loc.radius, loc.phi, loc.ia,
                                              phiTx, m_cacheTxU);
      const FieldPair tv = InterpolateField2D(t, kSetTxV, loc.ir, loc.radius, loc.phi, loc.ia,
                                              phiTx, m_cacheTxV);
      const FieldPair ru = InterpolateField2D(t, kSetRxU, w, r, phi, s, phiRx, m_cacheRxU);
      const FieldPair rv = InterpolateField2D(t, kSetRxV, w, r, phi, s, phiRx, m_cacheRxV);
      v.b0 = SignedAmplitude(b.first, acute.first);
      v.b1 = b.second;
      v.txRe = {tu.first, tv.first};
      v.txIm = {tu.second, tv.second};
      v.rxRe = {ru.first, rv.first};
      v.rxIm = {ru.second, rv.second};
    } else if (ellipticalDrive) {
      v.b0 = SignedAmplitude(ParabolaCoefficients{m_angB0a[s], m_angB0b[s], m_angB0c[s]}(phi),
                             senseAcute);
      v.b1 = ParabolaCoefficients{m_angB1a[s], m_angB1b[s], m_angB1c[s]}(phi);
    } else {
      v.b0 = v.a0 / 2.0;
      v.b1 = v.a1 / 2.0;
    }
    return v;
  };
  const auto pointOf = [separate](const Values& v) {
    SweepPoint p;
    p.magA = std::sqrt(v.a0 * v.a0 + v.a1 * v.a1);
    p.magB = std::sqrt(v.b0 * v.b0 + v.b1 * v.b1);
    const double psiA = PairPhase(v.a0, v.a1);
    const double psiB = PairPhase(v.b0, v.b1);
    const double turn =
        separate ? SignalTurn(psiA, psiB, v.txRe, v.txIm, v.rxRe, v.rxIm) : SignalTurn(psiA, psiB);
    p.cosTurn = std::cos(turn);
    p.sinTurn = std::sin(turn);
    return p;
  };

  m_points.clear();
  m_pairs.clear();
  const std::size_t s0 = window.angleFirst;
  m_points.push_back(pointOf(valuesAt(s0, phiRx[s0])));
  m_pairs.push_back({});

  const bool targets = m_setup.targetCount > 0;
  const double halfTx = 0.5 * m_setup.tx.size;
  int nA = m_angularCounts[w];
  if (targets) nA = limitedCount(nA, r * (phiRx[s0 + 1] - phiRx[s0]) / nA, r, halfTx);
  const std::vector<TargetOutline>& outlines = m_outlines;
  const Topography& topo = m_setup.topography;
  const double height = m_setup.grids.depths[z] + kSurfaceHeightOffset;

  for (std::size_t s = s0; s < window.angleEnd; ++s) {
    const double dphi = (phiRx[s + 1] - phiRx[s]) / nA;
    double phi = phiRx[s] + dphi;
    const double cellArea = dphi * area;
    for (int k = 0; k < nA; ++k) {
      const Values v = valuesAt(s, phi);
      SweepPair pair;
      pair.area = cellArea;
      // Point tests at the middle of the sub-step, in the transmitter's frame.
      const double x = r * std::cos(phi - dphi / 2.0) + m_setup.rxCentreX;
      const double y = r * std::sin(phi - dphi / 2.0) + m_setup.rxCentreY;
      pair.counted = !targets || (PointInTargetBoxes(x, y, outlines) && PointInTargets(x, y, outlines) > 0);
      if (topo.on > 0 && topo.nx * x + topo.ny * y + topo.nz * height < 0.0) pair.counted = false;
      m_points.push_back(pointOf(v));
      m_pairs.push_back(pair);
      phi += dphi;
    }
  }
  const std::size_t n = m_points.size();
  for (std::size_t j = 0; j < n; ++j) {
    m_points[j].needed = (j > 0 && m_pairs[j].counted) || (j + 1 < n && m_pairs[j + 1].counted);
  }
  m_signals.resize(n);
}

void DepthKernelWorker::accumulateSweep(std::size_t p, double& re, double& im) {
  const double current = m_setup.tx.turns * m_setup.grids.pulseMoments[p] / m_setup.grids.pulseDuration;
  const double offset = m_setup.shift.offsets[p];
  const std::size_t n = m_points.size();
  for (std::size_t j = 0; j < n; ++j) {
    const SweepPoint& pt = m_points[j];
    if (!pt.needed) continue;
    const PointSignal s = PointResponse(kGyromagneticRatio * pt.magB * current, pt.magA, offset, m_pulse);
    m_signals[j] = {pt.cosTurn * s.inPhase - pt.sinTurn * s.quadrature,
                    pt.sinTurn * s.inPhase + pt.cosTurn * s.quadrature};
  }
  re = 0.0;
  im = 0.0;
  for (std::size_t j = 1; j < n; ++j) {
    const SweepPair& pair = m_pairs[j];
    if (!pair.counted) continue;
    re += (m_signals[j - 1].inPhase + m_signals[j].inPhase) * pair.area * 0.5;
    im += (m_signals[j - 1].quadrature + m_signals[j].quadrature) * pair.area * 0.5;
  }
}

DepthKernel DepthKernelWorker::compute(std::size_t z, const DepthField& field) {
  DepthKernel out;
  if (m_setup.depthFlag(z) == 0) return out;
  const Window window = cellWindow();
  if (window.radialFirst >= window.radialEnd || window.angleFirst >= window.angleEnd) return out;

  buildTables(field);
  buildSubSteps(window);
  m_outlines = m_setup.targetOutlines(z);
  m_cacheDrive = {};
  m_cacheAcute = {};
  m_cacheTxU = {};
  m_cacheTxV = {};
  m_cacheRxU = {};
  m_cacheRxV = {};

  const auto& rRx = m_setup.rxGrid.radii;
  const bool targets = m_setup.targetCount > 0;
  const double halfTx = 0.5 * m_setup.tx.size;
  for (std::size_t w = window.radialFirst; w < window.radialEnd; ++w) {
    const double width = rRx[w + 1] - rRx[w];
    int nR = m_radialCounts[w];
    double dr = width / nR;
    double r = rRx[w];
    if (targets) {
      nR = limitedCount(nR, dr, r, halfTx);
      dr = width / nR;
    }
    if (dr <= kMinimumRadialStep) continue;
    for (int i = 0; i < nR; ++i) {
      const double area = dr * (dr / 2.0 + r) * kAreaFactor;
      r += dr / 2.0;
      buildSweep(z, w, r, area, window);
      for (const std::size_t p : m_setup.pulses) {
        double re = 0.0;
        double im = 0.0;
        accumulateSweep(p, re, im);
        out.re[p] += re;
        out.im[p] += im;
      }
      r += dr / 2.0;
    }
  }
  for (const std::size_t p : m_setup.pulses) {
    out.re[p] *= m_scale;
    out.im[p] *= m_scale;
  }
  return out;
}

}  // namespace kvo::core
