#pragma once
// The field of a closed horizontal polygon as line integrals along its edges.
//
// Mathematics. A closed horizontal loop carrying current I equals a sheet of
// vertical magnetic dipoles of moment density I·ẑ over its area (for vertices
// ordered counter-clockwise in x, y; the other order flips the sign with the
// current). A vertical dipole has Hz = (m/4π)∫(λ³/u_s)F J0(λρ)dλ and
// Hρ = −(m/4π)∫(λ²/u_s)∂zF J1(λρ)dλ. With λ²J0(λ|r′−r|) = −∇′²J0 and the
// divergence theorem over the loop's area (n the outward normal of an edge,
// n = (t_y, −t_x) for the unit tangent t),
//     Hz(r)  = (I/4π) Σ_edges ∫ [n·(r′−r)/ρ] T1(ρ) dl′,
//     Hxy(r) = (I/4π) Σ_edges n ∫ T0(ρ) dl′,          ρ = |r′−r| horizontal,
// with T1, T0 the transforms of kernel_table.h. For the free-space static
// kernels (T1 = ρ/R³, T0 = Δz/R³) each edge's integral is exactly that
// edge's Biot–Savart field, which is therefore taken in closed form:
//     H = (I/4π) (â × r1)/|â × r1|² (â·r1/|r1| − â·r2/|r2|),
// r1, r2 from the edge's ends to the field point, â the edge direction.
// Inside a round wire of radius r_w the field of a straight conductor falls
// linearly to zero on its axis: |â × r1|² is replaced by max(|â × r1|², r_w²),
// which keeps the field finite on the wire (r_w = 1 mm) and changes nothing
// outside it.
//
// Quadrature along an edge. The integrand is analytic in the arc length s
// except at s0 ± i·d, d² = h² + a² (s0 the foot of the perpendicular, h the
// horizontal distance to the edge's line, a the table's vertical scale).
// The edge is cut into panels that grow geometrically away from s0, each no
// longer than 1.5 times its distance to the singularity, and each panel gets
// the Gauss–Legendre order n that makes ρ_e^{−2n} ≤ 1e-11, ρ_e the Bernstein
// ellipse parameter of the singularity for that panel (Trefethen 2008,
// "Is Gauss quadrature better than Clenshaw–Curtis?", SIAM Review 50).
// Relative accuracy about 1e-10 of the edge's contribution, whatever the
// distance of the field point from the wire.

#include <array>
#include <span>

#include "kernel_table.h"
#include "layered_earth.h"

namespace kvo::field {

struct Vec3 {
  double x = 0, y = 0, z = 0;
};

// Radius of the wire (m): the closed-form static field is that of a round
// conductor of this radius.
inline constexpr double kWireRadius = 1e-3;

// Static free-space field (A/m) of one straight segment a→b carrying 1 A, at p.
std::array<double, 3> segmentBiotSavart(const Vec3& a, const Vec3& b, const Vec3& p);

// Adds (1/4π)∫ [n T0, n·(r′−r)/ρ T1] dl′ along the horizontal edge a→b to h
// (unit current), with the transforms of `table`.
void addEdgeIntegral(const KernelTable& table, const Vec3& a, const Vec3& b, const Vec3& p,
                     std::array<Complex, 3>& h);

}  // namespace kvo::field
