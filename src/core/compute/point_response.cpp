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

namespace {

// e^{i PairPhase(first, second)}: the direction of (first, second), or
// +-i where first = 0.
std::complex<double> pairPhasor(double first, double second) {
  if (first == 0.0) return {0.0, second < 0.0 ? -1.0 : 1.0};
  const double r = std::sqrt(first * first + second * second);
  return {first / r, second / r};
}

}  // namespace

std::complex<double> SignalTurnPhasor(double a0, double a1, double b0, double b1) {
  return pairPhasor(a0, a1) * pairPhasor(b0, b1);
}

std::complex<double> SignalTurnPhasor(double a0, double a1, double b0, double b1, const PlaneVector& txRe,
                                      const PlaneVector& txIm, const PlaneVector& rxRe, const PlaneVector& rxIm) {
  const std::complex<double> pa = pairPhasor(a0, a1), pb = pairPhasor(b0, b1);
  // The directions at the phases -psiB and -psiA (PhaseVectorAngle): the
  // angle G between them is that of (dot, cross).
  const double w1x = pb.real() * txRe[0] - pb.imag() * txIm[0], w1y = pb.real() * txRe[1] - pb.imag() * txIm[1];
  const double w2x = pa.real() * rxRe[0] - pa.imag() * rxIm[0], w2y = pa.real() * rxRe[1] - pa.imag() * rxIm[1];
  const double cross = w1x * w2y - w1y * w2x;
  const double dot = w1x * w2x + w1y * w2y;
  const double r = std::sqrt(cross * cross + dot * dot);
  const std::complex<double> g = r > 0.0 ? std::complex<double>{dot / r, cross / r} : std::complex<double>{1.0, 0.0};
  return pa * pb * g;
}

}  // namespace kvo::core
