#include "numerics/perpendicular_field.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>

#include "numerics/constants.h"

namespace kvo::core {

namespace {

double dot(const FieldVector& u, const FieldVector& v) { return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]; }

double norm(const FieldVector& u) { return std::sqrt(dot(u, u)); }

FieldVector absolute(const FieldVector& u) { return {std::fabs(u[0]), std::fabs(u[1]), std::fabs(u[2])}; }

}  // namespace

double VectorCosine(const FieldVector& u, const FieldVector& v) {
  const double nu = norm(u);
  const double nv = norm(v);
  double c = 1.0;
  if (nu * nv != 0.0) {
    c = dot(u, v) / (nu * nv);
  } else if (nu == 0.0 && nv != 0.0) {
    c = 0.0;
  }
  // Rounding can put the quotient of (nearly) parallel vectors just outside
  // [-1, 1]; callers take acos of it.
  return std::clamp(c, -1.0, 1.0);
}

namespace {

// w = cos(phase) re + sin(phase) im.
PlaneVector atPhase(const PlaneVector& re, const PlaneVector& im, double phase) {
  const double c = std::cos(phase);
  const double s = std::sin(phase);
  return {c * re[0] + s * im[0], c * re[1] + s * im[1]};
}

}  // namespace

double PhaseVectorCosine(const PlaneVector& re1, const PlaneVector& im1, const PlaneVector& re2,
                         const PlaneVector& im2, double phaseA, double phaseB) {
  const PlaneVector w1 = atPhase(re1, im1, phaseA);
  const PlaneVector w2 = atPhase(re2, im2, phaseB);
  const double n1 = std::sqrt(w1[0] * w1[0] + w1[1] * w1[1]);
  const double n2 = std::sqrt(w2[0] * w2[0] + w2[1] * w2[1]);
  if (n1 * n2 == 0.0) {
    return 1.0;
  }
  return (w1[0] * w2[0] + w1[1] * w2[1]) / (n1 * n2);
}

double PhaseVectorAngle(const PlaneVector& re1, const PlaneVector& im1, const PlaneVector& re2,
                        const PlaneVector& im2, double phaseA, double phaseB) {
  const PlaneVector w1 = atPhase(re1, im1, phaseA);
  const PlaneVector w2 = atPhase(re2, im2, phaseB);
  const double cross = w1[0] * w2[1] - w1[1] * w2[0];
  const double dot = w1[0] * w2[0] + w1[1] * w2[1];
  if (cross == 0.0 && dot == 0.0) return 0.0;
  return std::atan2(cross, dot);
}

namespace {

// The cosine and sine of the inclination, kept from the last call of the
// thread: a computation asks for one inclination at every point.
struct InclinationTurn {
  double inclination = 0.0, c = 1.0, s = 0.0;
};
const InclinationTurn& turnOf(double inclination) {
  thread_local InclinationTurn last;
  if (!(inclination == last.inclination)) last = {inclination, std::cos(inclination), std::sin(inclination)};
  return last;
}

}  // namespace

PerpendicularComponents PerpendicularPlaneComponents(double inclination, const ComplexField& field) {
  const InclinationTurn& turn = turnOf(inclination);
  const double ci = turn.c;
  const double si = turn.s;
  // u = h.(sin I, 0, cos I), v = h.(0, 1, 0), for the real and the imaginary part.
  return {{ci * field.re[2] + si * field.re[0], ci * field.im[2] + si * field.im[0]},
          {field.re[1], field.im[1]}};
}

PerpendicularPair PerpendicularAmplitudes(double inclination, const ComplexField& field) {
  const PerpendicularComponents c = PerpendicularPlaneComponents(inclination, field);
  PerpendicularPair p{kMu0 * std::sqrt(c.u[0] * c.u[0] + c.v[0] * c.v[0]),
                      kMu0 * std::sqrt(c.u[1] * c.u[1] + c.v[1] * c.v[1])};
  // The sign of p0 records whether the real and imaginary parts point
  // roughly the same way (acute angle) or not.
  if (VectorCosine(field.re, field.im) > 0.0) {
    p.p0 = -p.p0;
  }
  return p;
}

void PerpendicularAmplitudes(double inclination, std::span<const FieldVector> re,
                             std::span<const FieldVector> im, std::span<double> p0,
                             std::span<double> p1) {
  assert(im.size() == re.size() && p0.size() == re.size() && p1.size() == re.size());
  for (std::size_t i = 0; i < re.size(); ++i) {
    const PerpendicularPair p = PerpendicularAmplitudes(inclination, ComplexField{re[i], im[i]});
    p0[i] = p.p0;
    p1[i] = p.p1;
  }
}

EllipseAxesResult EllipseAxes(const ComplexField& secondary, const ComplexField& reference) {
  EllipseAxesResult r;
  r.rRef = std::sqrt(dot(reference.re, reference.re) + dot(reference.im, reference.im));
  r.rSec = std::sqrt(dot(secondary.re, secondary.re) + dot(secondary.im, secondary.im));
  r.alpha = std::acos(VectorCosine(absolute(secondary.re), absolute(secondary.im)));
  FieldVector dMod{};
  FieldVector fMod{};
  for (std::size_t j = 0; j < 3; ++j) {
    dMod[j] = std::sqrt(secondary.re[j] * secondary.re[j] + secondary.im[j] * secondary.im[j]);
    fMod[j] = std::sqrt(reference.re[j] * reference.re[j] + reference.im[j] * reference.im[j]);
  }
  r.beta = std::acos(VectorCosine(dMod, fMod));
  return r;
}

EllipticalSplitResult EllipticalSplit(const ComplexField& model, const ComplexField& reference,
                                      double inclination, PerpendicularPair p) {
  ComplexField secondary;
  for (std::size_t j = 0; j < 3; ++j) {
    secondary.re[j] = model.re[j] - reference.re[j];
    secondary.im[j] = model.im[j] - reference.im[j];
  }
  const EllipseAxesResult axes = EllipseAxes(secondary, reference);

  // Mended: the ratio rSec/rRef is undefined for a zero reference field; we
  // take e = 0 there (the non-elliptical split) instead of spreading NaN/inf.
  double e = 0.0;
  if (axes.rRef != 0.0) {
    e = std::cos(inclination) * std::sin(axes.alpha) * std::sin(axes.beta) * axes.rSec / axes.rRef;
  }
  if (reference.re[1] < 0.0) {
    e = -e;
  }

  EllipticalSplitResult r;
  r.e = e;
  r.b = {(0.5 * e + 0.5) * p.p0, (0.5 * e + 0.5) * p.p1};
  r.a = {(0.5 - 0.5 * e) * p.p0 * 2.0, (0.5 - 0.5 * e) * p.p1 * 2.0};
  return r;
}

}  // namespace kvo::core
