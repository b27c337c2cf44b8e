#pragma once
// A slow, independent reference for the loop field in a layered earth, for
// the tests only. It shares no code with the component:
//  - the TE potential comes from an admittance (impedance) recursion,
//    Y = F'/F propagated with tanh through the layers (Ward & Hohmann 1988,
//    eq. 4.133 ff.), instead of reflection coefficients;
//  - the Hankel transforms are computed by adaptive Gauss–Kronrod quadrature
//    between the zeros of J_ν with Wynn's epsilon extrapolation of the partial
//    sums (quadrature with extrapolation, Key 2012), with Bessel functions of
//    its own (power series / Hankel asymptotic expansion);
//  - the line integral along each edge is adaptive Gauss–Kronrod, with the
//    free-space static part of each edge taken in closed form (Biot–Savart).
// Accuracy about 1e-8 of the local field; about 20–60 ms per field point.

#include <array>
#include <complex>
#include <vector>

namespace kvo::field::testing {

using Cplx = std::complex<double>;

struct Point3 {
  double x = 0, y = 0, z = 0;
};

struct RefLayer {
  double bottom;       // m; ignored for the last layer (half-space)
  double resistivity;  // ohm-m
};

struct RefField {
  std::array<Cplx, 3> h;  // Hx, Hy, Hz (A/m) for 1 A
};

// J0 and J1 to about 1e-13 (absolute) for x ≥ 0.
double besselJ0(double x);
double besselJ1(double x);

// Free-space static field of a closed polygon (Biot–Savart), unit current.
std::array<double, 3> biotSavartPolygon(const std::vector<Point3>& wire, const Point3& p);

// Hankel transforms T1(ρ) = ∫(λ²/u_s)F J1(λρ)dλ − ρ/R³ and
// T0(ρ) = −∫(λ/u_s)F' J0(λρ)dλ − Δz/R³ (the parts beyond free-space statics).
struct RefTransforms {
  Cplx t1, t0;
};

class ReferenceEarth {
 public:
  ReferenceEarth(std::vector<RefLayer> layers, double frequency);
  // The spectral potential G = F/u_s and its z-derivative for a source at zs.
  std::array<Cplx, 2> potential(double lambda, double zs, double z) const;
  RefTransforms transforms(double rho, double zs, double z) const;
  // Field of the closed polygon `wire` (all vertices at one depth) at p.
  RefField field(const std::vector<Point3>& wire, const Point3& p) const;

 private:
  std::vector<double> m_tops;    // top of each earth layer
  std::vector<double> m_bottoms;  // bottom of each earth layer (+inf for the last)
  std::vector<Cplx> m_k2;        // iωμ0σ per earth layer
};

}  // namespace kvo::field::testing
