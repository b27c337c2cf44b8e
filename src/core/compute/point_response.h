#pragma once
// The magnetic-resonance response of one point of the subsurface to one
// pulse, per unit water content, before the final scaling of the kernel.
//
// In the frame rotating with the transmitter current, the protons precess
// about the effective field made of the co-rotating part of the pulse field
// (Rabi frequency w = gamma |B| I, rad/s, with |B| the co-rotating amplitude
// per ampere, T/A, and I the current, A) and the offset d of the pulse from
// resonance (rad/s). With W = sqrt(w^2 + d^2) and the flip angle
// a = W tau (tau the pulse duration, s), the transverse magnetisation after
// the pulse has the in-phase part sin(a) w/W and the quadrature part
// -(1 - cos a) w d/W^2 (Bloch equations for a rectangular pulse, relaxation
// neglected); the receiver sees them with its amplitude |A| (T/A):
//     S = sin(a) |A| w/W,      R = -(1 - cos a) |A| w d/W^2.
// The offset of the fundamental term is the frequency offset of the pulse
// plus the Bloch-Siegert shift of the counter-rotating part. The linear
// pulse field 2B cos(w0 t) splits into a co-rotating and a counter-rotating
// field of amplitude B each; the counter-rotating one turns at -2 w0 in the
// rotating frame and, to second order, shifts the resonance by
//     w^2 / (4 (2 pi f + dw))                          (physical)
// (f the Larmor frequency, Hz; a laboratory-frame Bloch simulation agrees,
// see the tests). The classic scheme keeps the term of earlier versions,
//     (2w)^2 / (4 (2 pi f + dw)) = w^2 / (2 pi f + dw),
// four times the physical shift, so that earlier results can be reproduced. Each of the h - 1 further terms (pulse
// harmonics) has the field w/6 and the offset dw + 2 pi 80 Hz, without the
// Bloch-Siegert shift; they are equal, and their sum is added.
//
// w = 0 with d = 0 (a point without field, exactly on resonance) is the
// limit w -> 0 of both expressions: S = R = 0.
//
// Small flip angles (W tau << 1): S ~ |A| w tau, linear in the current, and
// R ~ -|A| w d tau^2/2.

#include <complex>

#include "numerics/perpendicular_field.h"

namespace kvo::core {

struct PulseSettings {
  double larmorFrequency = 0.0;  // Hz
  double pulseSeconds = 0.0;     // s, the pulse duration
  int harmonicsCount = 1;        // h >= 1: the fundamental and h - 1 harmonic terms
  bool physicalBlochSiegert = false;  // w^2/(4 w0) instead of the classic w^2/w0
};

struct PointSignal {
  double inPhase = 0.0;     // S
  double quadrature = 0.0;  // R
};

// Response of a point with Rabi frequency `rabi` (rad/s, >= 0), receiver
// amplitude `receiver` (T/A, >= 0) and frequency offset `offset` (rad/s).
PointSignal PointResponse(double rabi, double receiver, double offset,
                          const PulseSettings& pulse);

// Phase angle of the pair (first, second): atan(second/first), plus pi when
// first < 0; pi/2 (or -pi/2 when second < 0) when first = 0. In
// (-pi/2, 3 pi/2).
double PairPhase(double first, double second);

// The angle (rad) by which a point's signal (S + iR) turns before it is
// summed: (S + iR) e^{i turn}.
//
// Coincident loops: turn = psiA + psiB, the phases (PairPhase) of the
// receiver's amplitude pair a and of the drive's pair b.
//
// A separate receiver adds the signed angle G from the transmitter's field
// direction to the receiver's, in the plane perpendicular to the
// geomagnetic field, each field taken at its own phase,
//     w = Re((u, v) e^{i psi})  (psiB for the transmitter, psiA for the receiver),
// G counted from u towards v (PhaseVectorAngle). The magnetisation the
// pulse leaves behind rotates about the geomagnetic field, so a receiver
// whose field points elsewhere in that plane sees the same amplitude,
// delayed or advanced by the angle between the directions: the signal
// turns by G and keeps its size. (A weight cos G would make a receiver at
// right angles to the transmitter see nothing, and an unsigned angle turns
// half of the points the wrong way.) Each phase is defined up to pi, which
// turns its w by pi: G and the phase sum change by pi together, and the
// turn is the same.
double SignalTurn(double psiA, double psiB);
// txRe = (u, v) of the transmitter field's real part, txIm of its
// imaginary part; rxRe, rxIm the receiver's.
double SignalTurn(double psiA, double psiB, const PlaneVector& txRe, const PlaneVector& txIm,
                  const PlaneVector& rxRe, const PlaneVector& rxIm);

// e^{i turn} of the two SignalTurn forms, with the phases given by their
// pairs: psiA = PairPhase(a0, a1), psiB = PairPhase(b0, b1). Computed from
// the pairs' and the field vectors' directions, without angles (the
// converged sampling evaluates it for every sign choice of every node).
std::complex<double> SignalTurnPhasor(double a0, double a1, double b0, double b1);
std::complex<double> SignalTurnPhasor(double a0, double a1, double b0, double b1, const PlaneVector& txRe,
                                      const PlaneVector& txIm, const PlaneVector& rxRe, const PlaneVector& rxIm);

}  // namespace kvo::core
