#pragma once
// Kernel phase of one depth: the magnetic-resonance response of the
// horizontal plane at depth z to every visited pulse moment.
//
//   K(q, z) = C * sum over cells of the trapezoid rule, along each ring of
//             the polar grid, of the point response (point_response.h),
//   C = rxTurns * 0.5 * 1920000 * pi * (0.0004 f)^2,
//
// where a cell of radial width dr and angular width dphi around the radius r
// has the area dS = dphi * dr * r * 0.001. Each point's response is turned
// by the phases of the fields that drive (B) and sense (A) it (SignalTurn),
// so that K carries the phase of the signal; the trapezoid rule then sums
// the turned responses (each point with its own turn, so that a turn that
// changes along the ring is integrated, not taken from one end of a
// sub-step).
//
// The fields come from the depth's node values through quadratic
// interpolation: along the radius with the parabola through three nodes of
// each angle row, then along the angle through the values so found.
//
// Sub-steps: a radial segment W is divided into nR = floor(radialSteps[W])
// + 1 parts, an angular one into nA = floor(azimuthSteps[W]) + 1, where
// the step measures are the change of the flip angle per ampere,
// theta = (gamma/2) tau |A| (rad/A), between neighbouring nodes divided by
// the flip-angle step (10 degrees coarse, 0.5 fine): cells where the field
// changes fast are divided finely. With a 3D target the sub-steps are at
// most 1 m long inside half the transmitter's size and 2 m outside. Radial
// sub-steps shorter than 0.001 m are skipped.
//
// Separate receivers: the integration runs over the receiver's grid; the
// transmitter's drive B and the perpendicular components of both fields are
// found by locating each point on the transmitter's grid. The response also
// turns by the signed angle between the two loops' perpendicular field
// directions, each taken at its phase (see SignalTurn).
//
// Each worker owns one DepthKernelWorker (parabola tables of 2.6 MB and
// sweep buffers); compute() depends only on its arguments, so a depth gives
// the same bits whichever worker computes it.

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

#include "compute/depth_fields.h"
#include "compute/point_response.h"
#include "compute/sounding_setup.h"
#include "numerics/interpolation.h"

namespace kvo::core {

// Kernel values of one depth: [pulse index], before the interpolation of
// the pulse moments that were not visited (those hold 0).
struct DepthKernel {
  std::array<double, kGridPoints> re{};
  std::array<double, kGridPoints> im{};
};

class DepthKernelWorker {
 public:
  explicit DepthKernelWorker(const SoundingSetup& setup);

  DepthKernel compute(std::size_t z, const DepthField& field);

 private:
  struct SweepPoint {
    double magA = 0.0;  // |A|, T/A
    double magB = 0.0;  // |B|, T/A
    double cosTurn = 1.0;  // of the point's SignalTurn
    double sinTurn = 0.0;
    bool needed = false;
  };
  struct SweepPair {  // from point j-1 to point j
    double area = 0.0;
    bool counted = false;
  };
  struct Window {
    std::size_t radialFirst = 0;
    std::size_t radialEnd = 0;  // exclusive
    std::size_t angleFirst = 0;
    std::size_t angleEnd = 0;  // exclusive
  };

  Window cellWindow() const;
  void buildTables(const DepthField& field);
  void buildSubSteps(const Window& window);
  void buildSweep(std::size_t z, std::size_t w, double r, double area, const Window& window);
  void accumulateSweep(std::size_t p, double& re, double& im);

  const SoundingSetup& m_setup;
  PulseSettings m_pulse;
  double m_scale = 0.0;  // final scaling C
  std::unique_ptr<ParabolaTables> m_tables;

  // Per depth.
  std::vector<int> m_radialCounts;   // nR per radial segment
  std::vector<int> m_angularCounts;  // nA per radial segment
  std::vector<TargetOutline> m_outlines;
  InterpolationCache m_cacheDrive, m_cacheAcute, m_cacheTxU, m_cacheTxV, m_cacheRxU, m_cacheRxV;

  // Per radial sub-step.
  std::vector<double> m_rowA0, m_rowA1, m_rowB0, m_rowB1;
  std::vector<double> m_angA0a, m_angA0b, m_angA0c, m_angA1a, m_angA1b, m_angA1c;
  std::vector<double> m_angB0a, m_angB0b, m_angB0c, m_angB1a, m_angB1b, m_angB1c;
  std::vector<double> m_rowAcute, m_angAcuteA, m_angAcuteB, m_angAcuteC;
  std::vector<SweepPoint> m_points;
  std::vector<SweepPair> m_pairs;
  std::vector<PointSignal> m_signals;  // turned responses of the points
};

}  // namespace kvo::core
