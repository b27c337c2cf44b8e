#include "kernel/kernel_csv.h"

#include <charconv>
#include <cmath>

namespace kvo::gui {

std::string csvNumber(double value) {
  if (std::isnan(value)) return "nan";
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string matrixCsv(const std::vector<double>& pulseMoments, const std::vector<double>& depths,
                      const std::vector<double>& values, KernelQuantity quantity) {
  const std::string corner = (quantityName(quantity) + QStringLiteral(" (") + quantityUnit(quantity) +
                              QStringLiteral(") at depth (m) down and pulse moment (A-ms) across"))
                                 .toStdString();
  std::string text = corner;
  for (double q : pulseMoments) text += "," + csvNumber(q);
  text += "\n";
  for (std::size_t z = 0; z < depths.size(); ++z) {
    text += csvNumber(depths[z]);
    for (std::size_t p = 0; p < pulseMoments.size(); ++p) text += "," + csvNumber(values[p * depths.size() + z]);
    text += "\n";
  }
  return text;
}

std::string curveCsv(const Curve& curve, const std::string& amplitudeHeader) {
  std::string text = "Pulse moment (A-ms)," + amplitudeHeader + ",Phase (deg)\n";
  for (std::size_t p = 0; p < curve.pulseMoments.size(); ++p) {
    text += csvNumber(curve.pulseMoments[p]) + "," + csvNumber(curve.amplitudes[p]) + "," +
            csvNumber(curve.phases[p]) + "\n";
  }
  return text;
}

std::string profilesCsv(const std::vector<double>& depths, const std::vector<Profile>& profiles) {
  std::string text = "Depth (m)";
  for (const Profile& profile : profiles) text += ",|K| (nV/m) at " + profile.label.toStdString();
  text += "\n";
  for (std::size_t z = 0; z < depths.size(); ++z) {
    text += csvNumber(depths[z]);
    for (const Profile& profile : profiles) text += "," + csvNumber(profile.values[z]);
    text += "\n";
  }
  return text;
}

}  // namespace kvo::gui
