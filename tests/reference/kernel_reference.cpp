// kvo_kernel_reference: a brute-force reference for the kernel of one depth,
// to check the converged sampling against.
//
// The plane is integrated with the midpoint rule on cells of a wire-aligned
// lattice (for each edge of each wire polygon, the wedge c + rho (P_k + t
// (P_k+1 - P_k) - c) around the polygon's centre c, with the exact area of
// every cell), the loop fields taken from the layered-earth component at
// every midpoint (no static part split off, no interpolation), and the
// point response evaluated at every midpoint for every pulse moment asked
// for (no binning of the drive). Cells are sized by the flip: next to the
// wire a cell turns the flip at the largest current by at most 0.3 rad
// (times the refinement factor) and is at most a quarter of the distance to
// the wire (depth included); along the wire the cells follow the same rule
// for the flip's change along it. The only symmetry used is the exact one of
// the circle's 30-gon and of the square: each wedge's field is the first
// wedge's, turned. A separate receiver's plane is split as the converged
// scheme splits it (a partition of unity: d_tx^4/(d_tx^4 + d_rx^4) on the
// receiver's wedges, the rest on the transmitter's), which is exact.
//
// Usage: kvo_kernel_reference FILE.nmc --depths Z1,Z2,... [--refine F]
//                             [--pulses all|I1,I2,...] [--max-flip RAD] [--compare]
// prints per depth and pulse index: pulse moment, Re K, Im K of the
// reference and (with --compare) of the converged sampling, and the
// difference relative to the largest |K| of the reference at that depth.
//
//        kvo_kernel_reference FILE.nmc --dump classic|converged [--tolerance T]
//                             [--classic-bloch-siegert]
// prints the whole kernel of a computation in full precision (pulse index,
// depth index, pulse moment, depth, Re K, Im K), for error maps.
// Cost: minutes per depth at shallow depths; shallower than about
// 0.04 m * (largest pulse moment / 1000 A-ms) / 4 the flip cannot be resolved in
// reasonable time, and such depths are limited to the pulse moments whose
// flip next to the wire stays below --max-flip (1000 rad; said in the
// output). Loops without a rotational symmetry (eights, separate receivers)
// compute every wedge and want a lower limit.
#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "compute/compute_sounding.h"
#include "compute/point_response.h"
#include "compute/sounding_setup.h"
#include "model/parameter_checks.h"
#include "numerics/constants.h"
#include "numerics/field_slice.h"
#include "numerics/layered_field.h"
#include "numerics/perpendicular_field.h"
#include "numerics/slope_frame.h"
#include "numerics/target_geometry.h"

namespace {

using namespace kvo::core;
using Complex = std::complex<double>;
constexpr std::size_t kPointsPerCall = 190;

struct Polygon {
  std::vector<std::array<double, 2>> v;  // closed, in the common frame
  double cx = 0, cy = 0;
  double nx = 0, ny = 0, offset = 0;  // kept half-plane (eights)
  bool receiver = false;
  bool regular = false;  // a circle's 30-gon or a square: wedges are turned copies
};

// The loop's wire in the common frame (turned by its exact azimuth, moved to
// its centre), as vertices for the component and as polygons.
struct Loop {
  std::vector<SpaceVector> wire;
  std::vector<Polygon> polygons;
};

Loop makeLoop(const LoopWireShape& shape, int type, double azimuthDegrees, double cx, double cy, bool receiver) {
  Loop loop;
  const double a = degreesToRadians(azimuthDegrees);
  const double c = std::cos(a), s = std::sin(a);
  for (int i = 0; i <= shape.segmentCount; ++i) {
    const auto& v = shape.vertices[static_cast<std::size_t>(i)];
    loop.wire.push_back({c * v[0] - s * v[1] + cx, s * v[0] + c * v[1] + cy, v[2]});
  }
  const auto closed = [&](int first, int last, double side) {
    Polygon p;
    for (int i = first; i <= last; ++i) p.v.push_back({loop.wire[i][0], loop.wire[i][1]});
    const double n = static_cast<double>(p.v.size() - 1);
    for (std::size_t i = 0; i + 1 < p.v.size(); ++i) {
      p.cx += p.v[i][0] / n;
      p.cy += p.v[i][1] / n;
    }
    p.nx = side * c;
    p.ny = side * s;
    p.offset = p.nx * cx + p.ny * cy;
    p.receiver = receiver;
    p.regular = type <= 2;
    return p;
  };
  if (type <= 2) {
    loop.polygons.push_back(closed(0, shape.segmentCount, 0.0));
  } else {
    const int k = (shape.segmentCount - 2) / 2;
    loop.polygons.push_back(closed(0, k, 1.0));
    loop.polygons.push_back(closed(k + 1, 2 * k + 1, -1.0));
  }
  return loop;
}

double distanceTo(const std::vector<Polygon>& polys, double x, double y) {
  double best = 1e300;
  for (const Polygon& p : polys) {
    for (std::size_t k = 0; k + 1 < p.v.size(); ++k) {
      const double ex = p.v[k + 1][0] - p.v[k][0], ey = p.v[k + 1][1] - p.v[k][1];
      const double l2 = ex * ex + ey * ey;
      const double f = std::clamp(l2 > 0 ? ((x - p.v[k][0]) * ex + (y - p.v[k][1]) * ey) / l2 : 0.0, 0.0, 1.0);
      best = std::min(best, std::hypot(x - p.v[k][0] - f * ex, y - p.v[k][1] - f * ey));
    }
  }
  return best;
}

struct Fields {
  std::vector<SpaceVector> re, im;
};

Fields componentField(const SoundingSetup& s, const std::vector<SpaceVector>& wire, const LayerArrays& layers,
                      const std::vector<SpaceVector>& points) {
  Fields f;
  f.re.resize(points.size());
  f.im.resize(points.size());
  for (std::size_t first = 0; first < points.size(); first += kPointsPerCall) {
    const std::size_t count = std::min(kPointsPerCall, points.size() - first);
    LayeredFieldRequest q;
    q.segmentCount = static_cast<int>(wire.size()) - 1;
    q.frequency = s.grids.larmorFrequency;
    q.wire = wire;
    q.layerCount = layers.count;
    q.resistivities = layers.resistivity;
    q.bottoms = layers.bottom;
    q.pointCount = static_cast<int>(count);
    q.points = std::span(points).subspan(first, count);
    if (ComputeLayeredField(q, std::span(f.re).subspan(first, count), std::span(f.im).subspan(first, count)) != 0) {
      std::cerr << "the field component failed\n";
      std::exit(1);
    }
  }
  return f;
}

FieldVector turn(const SpaceVector& v, double c, double s) { return {c * v[0] - s * v[1], s * v[0] + c * v[1], v[2]}; }

struct Reference {
  std::vector<Complex> kernel;  // per pulse in `pulses`
  std::size_t points = 0;
};

Reference referenceKernel(const SoundingSetup& s, double depth, const std::vector<std::size_t>& pulses, double refine) {
  const Loop tx = makeLoop(s.txWire, s.tx.type, s.txAzimuth, 0, 0, false);
  Loop rx;
  if (s.separateReceiver) rx = makeLoop(s.rxWire, s.rx.type, s.rxAzimuth, s.rxCentreX, s.rxCentreY, true);
  std::vector<Polygon> polys = tx.polygons;
  polys.insert(polys.end(), rx.polygons.begin(), rx.polygons.end());
  double disc = s.txGrid.radii.back();
  if (s.separateReceiver) disc = std::max(disc, std::hypot(s.rxCentreX, s.rxCentreY) + s.rxGrid.radii.back());
  const LayerArrays reference = ReferenceLayers(s.layers);

  const PulseSettings pulse{s.grids.larmorFrequency, s.grids.pulseDuration * 0.001,
                            std::max(1, s.grids.harmonicsCount), true};
  double flipPerDrive = 0.0;  // rad per T/A at the largest current
  for (const std::size_t p : pulses) {
    flipPerDrive = std::max(flipPerDrive, kGyromagneticRatio * s.tx.turns * s.grids.pulseMoments[p] /
                                              s.grids.pulseDuration * pulse.pulseSeconds);
  }
  // Sloping ground: the points are turned into the slope's frame (common
  // frame: the slope's own azimuth), where the wire lies flat on level
  // layers, and the fields turned back; points above the slope do not
  // count. The plane's distance below the wire is the least over the wire's
  // vertices.
  std::optional<SlopeFrame> slope;
  double below = depth - kWireHeight;
  if (s.topography.on > 0) {
    slope.emplace(s.topography.azimuth, s.topography.inclination, s.topography.height);
    for (const SpaceVector& v : tx.wire) below = std::min(below, depth - slope->pointFromSlope({v[0], v[1], v[2]})[2]);
  }
  const auto fieldAt = [&](const std::vector<SpaceVector>& wire, const LayerArrays& layers,
                           const std::vector<SpaceVector>& points) {
    if (!slope) return componentField(s, wire, layers, points);
    std::vector<SpaceVector> turned(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
      const FieldVector q = slope->pointIntoSlope({points[i][0], points[i][1], points[i][2]});
      turned[i] = {q[0], q[1], std::max(q[2], 0.01)};
    }
    Fields f = componentField(s, wire, layers, turned);
    for (std::size_t i = 0; i < points.size(); ++i) {
      const FieldVector re = slope->vectorFromSlope({f.re[i][0], f.re[i][1], f.re[i][2]});
      const FieldVector im = slope->vectorFromSlope({f.im[i][0], f.im[i][1], f.im[i][2]});
      f.re[i] = {re[0], re[1], re[2]};
      f.im[i] = {im[0], im[1], im[2]};
    }
    return f;
  };
  const double lineField = kMu0 / (2.0 * kPi);  // T/A at 1 m from a line current
  const std::vector<TargetOutline> outlines = s.targetOutlines(0);

  Reference out;
  out.kernel.assign(pulses.size(), Complex{});
  for (const Polygon& poly : polys) {
    const std::size_t edges = poly.v.size() - 1;
    std::vector<SpaceVector> cached;  // field of wedge 0 (regular polygons)
    Fields wedge0, wedge0ref, wedge0rx;
    for (std::size_t k = 0; k < edges; ++k) {
      const auto& p0 = poly.v[k];
      const auto& p1 = poly.v[k + 1];
      const double ex = p1[0] - p0[0], ey = p1[1] - p0[1];
      const double length = std::hypot(ex, ey);
      const double twice = std::fabs((p0[0] - poly.cx) * ey - (p0[1] - poly.cy) * ex);  // 2 x triangle area
      const double apothem = twice / length;
      const auto limit = [&](double t) {
        const double dx = p0[0] + t * ex - poly.cx, dy = p0[1] + t * ey - poly.cy;
        const double dd = dx * dx + dy * dy, cd = poly.cx * dx + poly.cy * dy;
        const double cc = poly.cx * poly.cx + poly.cy * poly.cy - disc * disc;
        double l = (-cd + std::sqrt(std::max(cd * cd - dd * cc, 0.0))) / dd;
        const double nd = poly.nx * dx + poly.ny * dy;
        if (nd < 0) l = std::min(l, (poly.offset - poly.nx * poly.cx - poly.ny * poly.cy) / nd);
        return std::max(l, 0.0);
      };
      // Cell width (m) at distance d from the wire (depth included): flip
      // resolved, a quarter of the distance, and at most 2 % of the apothem.
      const auto width = [&](double d) {
        const double grad = flipPerDrive * lineField / (d * d);  // rad/m of a line current's flip
        return refine * std::min({0.3 / grad, 0.25 * d, 0.02 * apothem * std::max(1.0, d / apothem)});
      };
      // Rho cells: outwards and inwards from the wire (rho = 1).
      std::vector<double> edgesRho{1.0};
      for (double r = 1.0; r > 0.0;) {
        const double d = std::hypot((1.0 - r) * apothem, below);
        r = std::max(0.0, r - width(d) / apothem);
        edgesRho.insert(edgesRho.begin(), r);
      }
      double rhoMax = 0.0;
      for (int i = 0; i <= 64; ++i) rhoMax = std::max(rhoMax, limit(i / 64.0));
      for (double r = 1.0; r < rhoMax;) {
        const double d = std::hypot((r - 1.0) * apothem, below);
        r = std::min(rhoMax, r + width(d) / apothem);
        edgesRho.push_back(r);
      }
      // Along the edge: the flip's change along the wire (its projection on
      // the perpendicular plane turns over the loop's size), and near the
      // corners a quarter of the distance.
      std::vector<double> edgesT{0.0};
      {
        const double peak = flipPerDrive * lineField / below;
        const double along = refine * std::min(0.3 * apothem / std::max(peak, 1e-9), 0.02 * apothem);
        for (double t = 0.0; t < 1.0;) {
          const double fromCorner = std::min(t, 1.0 - t) * length;
          const double step = std::min(along, refine * 0.25 * std::hypot(fromCorner, below)) + 1e-9 * length;
          t = std::min(1.0, t + step / length);
          edgesT.push_back(t);
        }
      }
      // Midpoints and areas.
      std::vector<SpaceVector> points;
      std::vector<double> areas;
      for (std::size_t i = 0; i + 1 < edgesT.size(); ++i) {
        const double t = 0.5 * (edgesT[i] + edgesT[i + 1]);
        const double dt = edgesT[i + 1] - edgesT[i];
        const double l = limit(t);
        const double dx = p0[0] + t * ex - poly.cx, dy = p0[1] + t * ey - poly.cy;
        for (std::size_t j = 0; j + 1 < edgesRho.size(); ++j) {
          const double r1 = edgesRho[j];
          const double r2 = std::min(edgesRho[j + 1], l);
          if (r2 <= r1) break;
          const double r = 0.5 * (r1 + r2);
          points.push_back({poly.cx + r * dx, poly.cy + r * dy, depth});
          areas.push_back(twice * 0.5 * (r2 * r2 - r1 * r1) * dt);
        }
      }
      out.points += points.size();
      // Fields: a regular polygon's wedge k is wedge 0 turned by 2 pi k/edges
      // (the same cells, turned); the rest are computed.
      Fields f, fref, frx;
      const bool copy = poly.regular && !poly.receiver && !s.separateReceiver && !slope && k > 0;
      if (copy) {
        const double a = 2.0 * kPi * static_cast<double>(k) / static_cast<double>(edges);
        const double c = std::cos(a), sn = std::sin(a);
        f = wedge0;
        fref = wedge0ref;
        for (std::size_t i = 0; i < f.re.size(); ++i) {
          f.re[i] = turn(wedge0.re[i], c, sn);
          f.im[i] = turn(wedge0.im[i], c, sn);
          if (s.elliptical) {
            fref.re[i] = turn(wedge0ref.re[i], c, sn);
            fref.im[i] = turn(wedge0ref.im[i], c, sn);
          }
        }
      } else {
        f = fieldAt(tx.wire, s.layers, points);
        if (s.elliptical) fref = fieldAt(tx.wire, reference, points);
        if (s.separateReceiver) frx = fieldAt(rx.wire, s.layers, points);
        if (k == 0) {
          wedge0 = f;
          wedge0ref = fref;
        }
      }
      for (std::size_t i = 0; i < points.size(); ++i) {
        const double x = points[i][0], y = points[i][1];
        if (s.targetCount > 0 && !(PointInTargetBoxes(x, y, outlines) && PointInTargets(x, y, outlines) > 0)) continue;
        if (slope && slope->pointIntoSlope({x, y, depth})[2] < 0.0) continue;
        const ComplexField txField{f.re[i], f.im[i]};
        const PerpendicularPair pp = PerpendicularAmplitudes(s.inclination, txField);
        PerpendicularPair a = pp, b{pp.p0 / 2, pp.p1 / 2};
        if (s.elliptical) {
          const EllipticalSplitResult split = EllipticalSplit(txField, ComplexField{fref.re[i], fref.im[i]}, s.inclination, pp);
          a = split.a;
          b = split.b;
        }
        double turnAngle = 0.0;
        double share = 1.0;
        if (s.separateReceiver) {
          const ComplexField rxField{frx.re[i], frx.im[i]};
          a = PerpendicularAmplitudes(s.inclination, rxField);
          const PerpendicularComponents tc = PerpendicularPlaneComponents(s.inclination, txField);
          const PerpendicularComponents rc = PerpendicularPlaneComponents(s.inclination, rxField);
          turnAngle = SignalTurn(PairPhase(a.p0, a.p1), PairPhase(b.p0, b.p1), {tc.u[0], tc.v[0]}, {tc.u[1], tc.v[1]},
                                 {rc.u[0], rc.v[0]}, {rc.u[1], rc.v[1]});
          const double dt = std::hypot(distanceTo(tx.polygons, x, y), below);
          const double dr = std::hypot(distanceTo(rx.polygons, x, y), below);
          const double t4 = std::pow(dt, 4), r4 = std::pow(dr, 4);
          share = poly.receiver ? t4 / (t4 + r4) : r4 / (t4 + r4);
        } else {
          turnAngle = SignalTurn(PairPhase(a.p0, a.p1), PairPhase(b.p0, b.p1));
        }
        const double magA = std::hypot(a.p0, a.p1), magB = std::hypot(b.p0, b.p1);
        const Complex w = std::polar(magA * areas[i] * kAreaFactor * share, turnAngle);
        for (std::size_t q = 0; q < pulses.size(); ++q) {
          const std::size_t p = pulses[q];
          const double current = s.tx.turns * s.grids.pulseMoments[p] / s.grids.pulseDuration;
          const PointSignal sig = PointResponse(kGyromagneticRatio * magB * current, 1.0, s.shift.offsets[p], pulse);
          out.kernel[q] += w * Complex(sig.inPhase, sig.quadrature);
        }
      }
    }
  }
  const double f = kFrequencyFactor * s.grids.larmorFrequency;
  const double scale = s.rx.turns * 0.5 * kMagnetisationFactor * kPi * f * f;
  for (Complex& k : out.kernel) k *= scale;
  return out;
}

// ComputeSounding with its result files in a folder of its own, removed
// afterwards; a failure's message goes to standard error.
ComputeResult computeAside(const SoundingParameters& params, const ComputeOptions& options) {
  const auto dir = std::filesystem::temp_directory_path() / ("kvo_reference_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  ComputeResult r = ComputeSounding((dir / "x.nmc").string(), params, options);
  std::filesystem::remove_all(dir);
  if (!r.written()) std::cerr << r.message << "\n";
  return r;
}

std::vector<double> numbers(const std::string& text) {
  std::vector<double> v;
  std::stringstream ss(text);
  std::string item;
  while (std::getline(ss, item, ',')) v.push_back(std::atof(item.c_str()));
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: kvo_kernel_reference FILE.nmc --depths Z1,Z2 [--refine F] [--pulses all|I,J] [--compare]\n";
    return 2;
  }
  const std::string file = argv[1];
  if (argc >= 4 && std::string(argv[2]) == "--dump") {
    SoundingParameters params;
    if (const auto problem = readCheckedParameterFile(file, params)) {
      std::cerr << problem->message << "\n";
      return 2;
    }
    ComputeOptions options;
    options.sampling = parseSampling(argv[3]).value_or(Sampling::Converged);
    for (int i = 4; i < argc; ++i) {
      const std::string a = argv[i];
      if (a == "--tolerance" && i + 1 < argc) options.tolerance = std::atof(argv[++i]);
      if (a == "--classic-bloch-siegert") options.physicalBlochSiegert = false;
    }
    const ComputeResult r = computeAside(params, options);
    if (!r.written()) return 1;
    std::printf("# sampling %s, error estimate %.3e\n", std::string(samplingName(r.sampling)).c_str(), r.errorEstimate);
    for (std::size_t z = 0; z < r.depthCount; ++z) {
      for (std::size_t p = 0; p < kGridPoints; ++p) {
        std::printf("%zu %zu %.6f %.6f %.10e %.10e\n", p, z, r.pulseMoments[p], r.depths[z], r.kernel->re[p][z],
                    r.kernel->im[p][z]);
      }
    }
    return 0;
  }
  std::vector<double> depths{1.0};
  double refine = 1.0;
  std::string pulseText = "all";
  bool compare = false;
  double maxFlip = 1000.0;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--max-flip" && i + 1 < argc) {
      maxFlip = std::atof(argv[++i]);
      continue;
    }
    if (a == "--depths" && i + 1 < argc) depths = numbers(argv[++i]);
    else if (a == "--refine" && i + 1 < argc) refine = std::atof(argv[++i]);
    else if (a == "--pulses" && i + 1 < argc) pulseText = argv[++i];
    else if (a == "--compare") compare = true;
    else {
      std::cerr << "unknown argument " << a << "\n";
      return 2;
    }
  }
  SoundingParameters params;
  if (const auto problem = readCheckedParameterFile(file, params)) {
    std::cerr << problem->message << "\n";
    return 2;
  }
  for (const double depth : depths) {
    SoundingParameters p = params;
    p.computing[kMaxDepth] = -depth;
    SoundingSetup s;
    if (auto m = BuildSoundingSetup(p, s)) {
      std::cerr << *m << "\n";
      return 2;
    }
    std::vector<std::size_t> pulses;
    if (pulseText == "all") {
      for (std::size_t i = 0; i < kGridPoints; ++i) pulses.push_back(i);
    } else {
      for (const double v : numbers(pulseText)) pulses.push_back(static_cast<std::size_t>(v));
    }
    // Keep the pulse moments whose flip next to the wire stays resolvable.
    const double below = depth - kWireHeight;
    std::vector<std::size_t> kept;
    for (const std::size_t q : pulses) {
      const double flip = kGyromagneticRatio * s.tx.turns * s.grids.pulseMoments[q] / s.grids.pulseDuration *
                          s.grids.pulseDuration * 1e-3 * kMu0 / (2 * kPi * below);
      if (flip <= maxFlip) kept.push_back(q);
    }
    if (kept.size() < pulses.size()) {
      std::printf("# depth %g: %zu pulse moments above a flip of %g rad next to the wire left out\n", depth,
                  pulses.size() - kept.size(), maxFlip);
    }
    if (kept.empty()) continue;
    const Reference ref = referenceKernel(s, depth, kept, refine);
    std::vector<Complex> conv(kept.size()), classic(kept.size());
    double estimate = 0.0;
    if (compare) {
      for (const Sampling sampling : {Sampling::Converged, Sampling::Classic}) {
        ComputeOptions options;
        options.sampling = sampling;
        const ComputeResult r = computeAside(p, options);
        if (!r.written()) return 1;
        if (sampling == Sampling::Converged) estimate = r.errorEstimate;
        std::vector<Complex>& out = sampling == Sampling::Converged ? conv : classic;
        for (std::size_t i = 0; i < kept.size(); ++i) out[i] = {r.kernel->re[kept[i]][0], r.kernel->im[kept[i]][0]};
      }
    }
    double largest = 0.0, worst = 0.0, worstClassic = 0.0;
    for (const Complex& k : ref.kernel) largest = std::max(largest, std::abs(k));
    std::printf("# depth %g m, %zu points, refine %g\n# p  pulse moment  Re ref  Im ref%s\n", depth, ref.points, refine,
                compare ? "  Re converged  Im converged  |diff|/max|K|" : "");
    for (std::size_t i = 0; i < kept.size(); ++i) {
      std::printf("%3zu %12.4f %14.7e %14.7e", kept[i], s.grids.pulseMoments[kept[i]], ref.kernel[i].real(),
                  ref.kernel[i].imag());
      if (compare) {
        const double d = std::abs(conv[i] - ref.kernel[i]) / largest;
        worst = std::max(worst, d);
        worstClassic = std::max(worstClassic, std::abs(classic[i] - ref.kernel[i]) / largest);
        std::printf(" %14.7e %14.7e %9.2e", conv[i].real(), conv[i].imag(), d);
      }
      std::printf("\n");
    }
    if (compare) {
      std::printf("# depth %g m: worst difference %.3e of the largest |K| (converged, its estimate %.1e; classic %.3e)\n",
                  depth, worst, estimate, worstClassic);
    }
  }
  return 0;
}
