#pragma once
// The frame of the sloping ground: the rotation S = R_a^-1 T_i R_a about
// the point 'height' above the loop's centre, for the slope's azimuth a and
// inclination i taken in the frame the points are given in. In the slope's
// frame the ground is level, the layers are parallel to it and the wire
// lies flat on it; the level frame's points are turned into it, and the
// fields found there turned back.

#include <cmath>

#include "numerics/perpendicular_field.h"

namespace kvo::core {

class SlopeFrame {
 public:
  SlopeFrame(double azimuth, double inclination, double height)
      : m_ca(std::cos(azimuth)),
        m_sa(std::sin(azimuth)),
        m_ci(std::cos(inclination)),
        m_si(std::sin(inclination)),
        m_height(height) {}

  // A point of the level frame in the slope's frame.
  FieldVector pointIntoSlope(const FieldVector& p) const {
    const double x1 = m_ca * p[0] + m_sa * p[1];
    const double y1 = -m_sa * p[0] + m_ca * p[1];
    const double z1 = p[2] + m_height;
    const double x2 = m_ci * x1 + m_si * z1;
    const double z2 = -m_si * x1 + m_ci * z1;
    return {m_ca * x2 - m_sa * y1, m_sa * x2 + m_ca * y1, z2};
  }

  // A point of the slope's frame in the level frame (the inverse).
  FieldVector pointFromSlope(const FieldVector& q) const {
    const double x2 = m_ca * q[0] + m_sa * q[1];
    const double y1 = -m_sa * q[0] + m_ca * q[1];
    const double x1 = m_ci * x2 - m_si * q[2];
    const double z1 = m_si * x2 + m_ci * q[2];
    return {m_ca * x1 - m_sa * y1, m_sa * x1 + m_ca * y1, z1 - m_height};
  }

  // A field vector of the slope's frame in the level frame: S^-1 v.
  FieldVector vectorFromSlope(const FieldVector& v) const {
    const double x1 = m_ca * v[0] + m_sa * v[1];
    const double y1 = -m_sa * v[0] + m_ca * v[1];
    const double x2 = m_ci * x1 - m_si * v[2];
    const double z2 = m_si * x1 + m_ci * v[2];
    return {m_ca * x2 - m_sa * y1, m_sa * x2 + m_ca * y1, z2};
  }

  // The depth below the slope of a level point is e0 x + e1 y + e2 with
  // these coefficients (the slope frame's z as a function of x and y at
  // level depth z).
  std::array<double, 3> depthBelowGround(double z) const {
    return {-m_si * m_ca, -m_si * m_sa, m_ci * (z + m_height)};
  }

 private:
  double m_ca;
  double m_sa;
  double m_ci;
  double m_si;
  double m_height;
};

}  // namespace kvo::core
