#pragma once
// The result files of a computation.
//
// Matrix file ("*.mrm", always):
//   "%4i %4i %8.2f %8.2f \n"  inclination (truncated), Tx type, Tx size, frequency
//   7 x "%8.4f %13.2f \n"     layer rows 0..6: bottom depth, resistivity
//   100 x "%14.4f %12.4f \n"  pulse moment i, depth i
//   10000 x "%6i %6i \n"      for depth z (outer) and pulse p (inner): the
//                             real and imaginary kernel values x 10000, truncated
// Signal file ("*.dat", single-depth mode only):
//   "N Q Re(nV) Im(nV) Amplitude(nV) Phase(degr) \n"
//   100 x "%5i %14.4f %8i %8i %8.2f %6.2f \n"  p, moment, Re, Im (x 10000,
//   truncated), amplitude x 10000 from the unrounded values, phase (degrees,
//   -90..270)
// Both are written through a temporary file renamed over the target, so a
// failed write keeps the previous file.

#include <optional>
#include <string>

#include "compute/kernel_matrix.h"
#include "numerics/setup_tables.h"

namespace kvo::core {

struct MatrixFileHeader {
  double inclination = 0.0;  // degrees, signed
  int txType = 0;
  double txSize = 0.0;       // m
  double frequency = 0.0;    // Hz
  LayerArrays layers;        // rows 0..6 are written
};

inline constexpr char kSignalFileMessage[] = "Could not write signal file on the disk";
inline constexpr char kMatrixFileMessage[] = "Could not write matrix file on the disk";
inline constexpr char kKernelMatrixNotFinite[] =
    "The computed kernel holds values that are not numbers: no result file was written";

// The texts of the two files.
std::string formatMatrixFile(const MatrixFileHeader& header, const KernelMatrix& kernel,
                             const MomentGrid& moments, const DepthGrid& depths);
std::string formatSignalFile(const KernelMatrix& kernel, const MomentGrid& moments);

// Writes a file; on failure returns the message (the fixed text of the file
// kind, followed by the file and the reason).
std::optional<std::string> writeMatrixFile(const std::string& path, const MatrixFileHeader& header,
                                           const KernelMatrix& kernel, const MomentGrid& moments,
                                           const DepthGrid& depths);
std::optional<std::string> writeSignalFile(const std::string& path, const KernelMatrix& kernel,
                                           const MomentGrid& moments);

// The kernel value as written: value x 10000 truncated toward zero (12.97e-4
// gives 12, -12.97e-4 gives -12), saturated to the range of a long long.
long long kernelColumn(double value);

// Phase in degrees of re + i im: atan(im/re), plus pi when re < 0; pi/2 (or
// -pi/2 when im < 0) when re = 0. Lies in -90..270.
double kernelPhaseDegrees(double re, double im);

}  // namespace kvo::core
