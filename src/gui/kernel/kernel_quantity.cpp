#include "kernel/kernel_quantity.h"

#include <cmath>

#include "compute/result_files.h"

namespace kvo::gui {

QString quantityName(KernelQuantity quantity) {
  switch (quantity) {
    case KernelQuantity::Amplitude: return QStringLiteral("Amplitude");
    case KernelQuantity::Real: return QStringLiteral("Real part");
    case KernelQuantity::Imaginary: return QStringLiteral("Imaginary part");
    case KernelQuantity::Phase: return QStringLiteral("Phase");
  }
  return {};
}

QString quantityUnit(KernelQuantity quantity) {
  return quantity == KernelQuantity::Phase ? QStringLiteral("deg") : QStringLiteral("nV/m");
}

double quantityOf(std::complex<double> value, KernelQuantity quantity) {
  switch (quantity) {
    case KernelQuantity::Amplitude: return std::abs(value);
    case KernelQuantity::Real: return value.real();
    case KernelQuantity::Imaginary: return value.imag();
    case KernelQuantity::Phase: return core::kernelPhaseDegrees(value.real(), value.imag());
  }
  return std::nan("");
}

std::vector<double> quantityValues(const core::KernelData& kernel, KernelQuantity quantity) {
  std::vector<double> values;
  values.reserve(kernel.values.size());
  for (const std::complex<double>& k : kernel.values) values.push_back(quantityOf(k, quantity));
  return values;
}

}  // namespace kvo::gui
