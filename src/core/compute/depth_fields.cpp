#include "compute/depth_fields.h"

#include "numerics/interpolation.h"

namespace kvo::core {
namespace {

SliceSetup sliceOf(const SoundingSetup& setup, const FieldComponent& component, bool receiver) {
  SliceSetup slice;
  const UnpackedLoop& loop = receiver ? setup.rx : setup.tx;
  slice.loopType = loop.type;
  slice.grid = receiver ? &setup.rxGrid : &setup.txGrid;
  slice.wire = receiver ? &setup.rxWire : &setup.txWire;
  slice.frequency = setup.grids.larmorFrequency;
  slice.model = &setup.layers;
  slice.inclination = setup.inclination;
  // The receiver's field enters only through its perpendicular amplitude.
  slice.elliptical = receiver ? false : setup.elliptical;
  slice.withReference = slice.elliptical;
  slice.azimuth = receiver ? setup.rxAzimuth : setup.txAzimuth;
  slice.baseSlot = receiver ? kRxModelSlot : kTxModelSlot;
  if (setup.topography.on > 0) slice.topography = setup.topography;
  slice.component = component;
  return slice;
}

void resizeRows(LoopFieldRows& rows, std::size_t angleCount, bool withDrive, bool withComponents) {
  const std::size_t n = angleCount * kSlicePoints;
  rows.angleCount = angleCount;
  rows.acute.assign(n, 0.0);
  rows.a0.assign(n, 0.0);
  rows.a1.assign(n, 0.0);
  rows.b0.assign(withDrive ? n : 0, 0.0);
  rows.b1.assign(withDrive ? n : 0, 0.0);
  for (std::vector<double>* q : {&rows.uRe, &rows.uIm, &rows.vRe, &rows.vIm}) {
    q->assign(withComponents ? n : 0, 0.0);
  }
}

}  // namespace

DepthFieldWorker::DepthFieldWorker(const SoundingSetup& setup, const FieldComponent& component)
    : m_setup(setup),
      m_txSlice(sliceOf(setup, component, false)),
      m_rxSlice(sliceOf(setup, component, true)),
      m_table(std::make_unique<SliceFieldTable>()) {}

int DepthFieldWorker::compute(std::size_t z, DepthField& out) {
  const double depth = m_setup.grids.depths[z];
  const bool separate = m_setup.separateReceiver;
  if (computeLoop(m_txSlice, depth, separate, true, out.tx) != 0) return 1;
  if (separate && computeLoop(m_rxSlice, depth, true, false, out.rx) != 0) return 1;
  return 0;
}

int DepthFieldWorker::computeLoop(const SliceSetup& slice, double depth, bool withComponents,
                                  bool withDrive, LoopFieldRows& out) {
  const auto angleCount = static_cast<std::size_t>(slice.grid->angleCount);
  resizeRows(out, angleCount, withDrive, withComponents);
  SliceAmplitudes amplitudes;
  for (std::size_t j = 0; j < angleCount; ++j) {
    if (EvaluateFieldSlice(*m_table, slice, depth, j, amplitudes) != 0) return 1;
    const std::size_t at = j * kSlicePoints;
    for (std::size_t r = 0; r < kSlicePoints; ++r) {
      // SignedAmplitude undoes itself: it takes the sign off here.
      const double acute = amplitudes.acute[r];
      out.acute[at + r] = acute;
      out.a0[at + r] = SignedAmplitude(amplitudes.a0[r], acute);
      out.a1[at + r] = amplitudes.a1[r];
      if (withDrive) {
        out.b0[at + r] = SignedAmplitude(amplitudes.b0[r], acute);
        out.b1[at + r] = amplitudes.b1[r];
      }
      if (withComponents) {
        const PerpendicularComponents c =
            TableFieldAtNode(m_table->re, m_table->im, r, j, slice.inclination, slice.baseSlot);
        out.uRe[at + r] = c.u[0];
        out.uIm[at + r] = c.u[1];
        out.vRe[at + r] = c.v[0];
        out.vIm[at + r] = c.v[1];
      }
    }
  }
  return 0;
}

}  // namespace kvo::core
