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
// plus the Bloch-Siegert shift of the counter-rotating part,
//     d = dw + (2w)^2 / (4 (2 pi f + dw)),
// f the Larmor frequency (Hz). Each of the h - 1 further terms (pulse
// harmonics) has the field w/6 and the offset dw + 2 pi 80 Hz, without the
// Bloch-Siegert shift; they are equal, and their sum is added.
//
// w = 0 with d = 0 (a point without field, exactly on resonance) is the
// limit w -> 0 of both expressions: S = R = 0.
//
// Small flip angles (W tau << 1): S ~ |A| w tau, linear in the current, and
// R ~ -|A| w d tau^2/2.

namespace kvo::core {

struct PulseSettings {
  double larmorFrequency = 0.0;  // Hz
  double pulseSeconds = 0.0;     // s, the pulse duration
  int harmonicsCount = 1;        // h >= 1: the fundamental and h - 1 harmonic terms
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

}  // namespace kvo::core
