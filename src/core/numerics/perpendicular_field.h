#pragma once
// Field perpendicular to the geomagnetic field, and its elliptical split.
//
// Only the part of a loop's magnetic field that is perpendicular to the
// geomagnetic field tips the proton spins, and only that part is picked up
// from them. These routines turn the complex field vectors of the layered-earth
// field component into that perpendicular amplitude and, when elliptical
// polarisation is switched on, split it into the part that rotates with the
// spins and the rest.
//
// Frame: x, y horizontal, z depth (positive downward). Inclination I in
// radians, signed (negative in the northern hemisphere), |I| <= pi/2. The
// geomagnetic direction is g = (cos I, 0, -sin I); the plane perpendicular to
// g is spanned by p = (sin I, 0, cos I) and (0, 1, 0), so a field h has the
// in-plane components
//     u = h.p = cos I*hz + sin I*hx,   v = hy.
//
// Fields are complex 3-vectors: a real (in-phase) and an imaginary
// (quadrature) part, in A/m per ampere of source current. Amplitudes are mu0
// times the in-plane magnitude, in tesla per ampere.
//
// All functions are pure: no state, safe to call from several threads at once.

#include <array>
#include <span>

namespace kvo::core {

using FieldVector = std::array<double, 3>;  // (x, y, z) components
using PlaneVector = std::array<double, 2>;

// A complex field vector: real (in-phase) and imaginary (quadrature) parts.
struct ComplexField {
  FieldVector re{};
  FieldVector im{};
};

// The two in-plane components (u, v) of a complex field, each as
// (real part, imaginary part).
struct PerpendicularComponents {
  PlaneVector u{};  // along p = (sin I, 0, cos I)
  PlaneVector v{};  // along y
};

// Amplitudes of the real part (p0) and of the imaginary part (p1) of the
// perpendicular field, T/A. p0 carries a sign, see PerpendicularAmplitudes.
struct PerpendicularPair {
  double p0 = 0.0;
  double p1 = 0.0;
};

// Cosine of the angle between u and v, clamped to [-1, 1].
// Zero vectors: |u| = 0 and |v| != 0 gives 0; |v| = 0 gives 1 (whatever u is).
double VectorCosine(const FieldVector& u, const FieldVector& v);

// Cosine of the angle between two phase-shifted plane vectors
//     w1 = cos a*re1 + sin a*im1,   w2 = cos b*re2 + sin b*im2
// (phases a, b in radians), i.e. w1.w2/(|w1| |w2|); 1 when either is zero.
// Not clamped: rounding may put it a few ulp outside [-1, 1].
double PhaseVectorCosine(const PlaneVector& re1, const PlaneVector& im1, const PlaneVector& re2,
                         const PlaneVector& im2, double phaseA, double phaseB);

// Signed angle (rad, in [-pi, pi]) from w1 to w2, the same phase-shifted
// plane vectors, counted from the first in-plane component (u) towards the
// second (v); 0 when either is zero.
double PhaseVectorAngle(const PlaneVector& re1, const PlaneVector& im1, const PlaneVector& re2,
                        const PlaneVector& im2, double phaseA, double phaseB);

// The in-plane components (u, v) of `field` for the inclination I (radians).
PerpendicularComponents PerpendicularPlaneComponents(double inclination, const ComplexField& field);

// Perpendicular amplitudes of one field, T/A:
//     p0 = mu0*sqrt(u_re^2 + v_re^2),   p1 = mu0*sqrt(u_im^2 + v_im^2),
// and p0 is negated when the real and imaginary parts make an acute angle
// (VectorCosine(re, im) > 0).
PerpendicularPair PerpendicularAmplitudes(double inclination, const ComplexField& field);

// The same for count = re.size() points: field i is (re[i], im[i]), its
// amplitudes go to p0[i] and p1[i]. All four spans have the same size.
void PerpendicularAmplitudes(double inclination, std::span<const FieldVector> re,
                             std::span<const FieldVector> im, std::span<double> p0,
                             std::span<double> p1);

struct EllipseAxesResult {
  double rRef = 0.0;   // sqrt of the sum of the squares of the six reference values
  double rSec = 0.0;   // the same for the secondary field
  double alpha = 0.0;  // rad, angle between |re d| and |im d| (componentwise moduli)
  double beta = 0.0;   // rad, angle between (|dx|, |dy|, |dz|) and (|fx|, |fy|, |fz|)
};

// Shape measures of the secondary field d against the reference field f.
// |re d| is the vector of the moduli of the real components; |dx| is the
// complex modulus sqrt(re^2 + im^2) of a component. alpha, beta in [0, pi/2]
// since all entries are non-negative.
EllipseAxesResult EllipseAxes(const ComplexField& secondary, const ComplexField& reference);

struct EllipticalSplitResult {
  PerpendicularPair a;  // rescaled amplitudes, (1 - e)*P (twice the counter-rotating part)
  PerpendicularPair b;  // co-rotating part, (1 + e)/2*P
  double e = 0.0;       // ellipticity used
};

// Splits the perpendicular amplitudes P of `model` (from PerpendicularAmplitudes)
// into the part that rotates with the spins and the rest. The reference field
// is the field of the same loop over a uniform, highly resistive earth; the
// secondary field d = model - reference carries the phase-shifted part.
//     e = cos I * sin(alpha) * sin(beta) * rSec/rRef,  negated when re f_y < 0,
//     b = (1 + e)/2 * P,   a = (1 - e) * P.
// e = 0 gives the non-elliptical split b = P/2, a = P. A linearly polarised
// secondary field (alpha = 0) or one parallel to the reference (beta = 0)
// gives e = 0. For a horizontal geomagnetic field (I = 0), a real reference
// along z and an imaginary secondary along y no larger than it, |e| is the
// ratio of the minor to the major semi-axis of the polarisation ellipse of
// the model field (1: circular); other geometries are approximated.
// e is not clamped: rSec > rRef can give |e| > 1.
EllipticalSplitResult EllipticalSplit(const ComplexField& model, const ComplexField& reference,
                                      double inclination, PerpendicularPair p);

}  // namespace kvo::core
