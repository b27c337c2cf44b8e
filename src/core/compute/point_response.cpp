#include "compute/point_response.h"

#include <cmath>

#include "compute/sounding_setup.h"
#include "numerics/constants.h"

namespace kvo::core {
namespace {

PointSignal term(double rabi, double receiver, double detuning, double pulseSeconds) {
  const double big = std::sqrt(rabi * rabi + detuning * detuning);
  if (big == 0.0) return {};
  const double flip = big * pulseSeconds;
  return {std::sin(flip) * receiver * rabi / big,
          -(1.0 - std::cos(flip)) * receiver * rabi * detuning / (big * big)};
}

}  // namespace

PointSignal PointResponse(double rabi, double receiver, double offset,
                          const PulseSettings& pulse) {
  const double larmor = 2.0 * kPi * pulse.larmorFrequency + offset;
  const double twice = 2.0 * rabi;
  const double blochSiegert = pulse.physicalBlochSiegert ? rabi * rabi / (4.0 * larmor)
                                                         : twice * twice / (4.0 * larmor);
  PointSignal sum = term(rabi, receiver, offset + blochSiegert, pulse.pulseSeconds);
  if (pulse.harmonicsCount > 1) {
    const PointSignal harmonic = term(rabi * kHarmonicAmplitude, receiver,
                                      offset + 2.0 * kPi * kHarmonicOffset, pulse.pulseSeconds);
    for (int k = 1; k < pulse.harmonicsCount; ++k) {
      sum.inPhase += harmonic.inPhase;
      sum.quadrature += harmonic.quadrature;
    }
  }
  return sum;
}

double PairPhase(double first, double second) {
  if (first == 0.0) return second < 0.0 ? -kPi / 2.0 : kPi / 2.0;
  const double psi = std::atan(second / first);
  return first < 0.0 ? psi + kPi : psi;
}

double SignalTurn(double psiA, double psiB) { return psiA + psiB; }

double SignalTurn(double psiA, double psiB, const PlaneVector& txRe, const PlaneVector& txIm,
                  const PlaneVector& rxRe, const PlaneVector& rxIm) {
  return psiA + psiB + PhaseVectorAngle(txRe, txIm, rxRe, rxIm, -psiB, -psiA);
}

}  // namespace kvo::core
