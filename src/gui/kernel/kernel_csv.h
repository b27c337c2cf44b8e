#pragma once
// The kernel window's "Save data": comma-separated texts of what it shows.
//   Matrix: a corner cell naming the quantity, its unit and the layout, then
//     the pulse moments (A-ms) across the first line and one line per depth
//     (m, first column) with the quantity at each pulse moment.
//   Curve: pulse moment (A-ms), amplitude, phase (degrees), one line each.
//   Profiles: depth (m), then |K| (nV/m) of each picked pulse moment.
// Numbers are written with the fewest digits that read back to the same
// double, with a decimal point whatever the locale.

#include <QString>

#include <string>
#include <vector>

#include "kernel/curve_chart.h"
#include "kernel/kernel_quantity.h"
#include "kernel/profile_chart.h"

namespace kvo::gui {

std::string csvNumber(double value);

std::string matrixCsv(const std::vector<double>& pulseMoments, const std::vector<double>& depths,
                      const std::vector<double>& values, KernelQuantity quantity);
// `amplitudeHeader` names the amplitude column with its unit.
std::string curveCsv(const Curve& curve, const std::string& amplitudeHeader);
std::string profilesCsv(const std::vector<double>& depths, const std::vector<Profile>& profiles);

}  // namespace kvo::gui
