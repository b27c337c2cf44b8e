#pragma once
// Reading result files back: the matrix file ("*.mrm") and the signal file
// of the single-depth mode ("*.dat"), as this program and earlier versions
// write them (layouts in result_files.h and docs/result-files.md).
//
// Units. A kernel value K(q, z) is the initial signal, in nV, of a layer of
// water content 1 and thickness 1 m at depth z for pulse moment q: a
// density in depth (nV/m), so that a layer of thickness dz gives K dz. The
// files hold K in these units truncated to whole nV/m (the computation's
// internal kernel times 10000), which is what the reader returns. The phase
// convention (fields e^{+i w t}): docs/result-files.md.
//
// A file that is not one of these (short, a line with the wrong count of
// values, a value that is not a number) is refused with a message naming the
// file and the line; nothing of it is returned.

#include <complex>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvo::core {

struct KernelLayer {
  double bottom = 0.0;       // m
  double resistivity = 0.0;  // ohm-m
};

struct KernelData {
  std::string source;  // the file read (for messages and titles)
  // From the matrix file's first lines (absent when only a signal file was
  // read).
  bool hasHeader = false;
  double inclination = 0.0;  // degrees (whole degrees in the file)
  int txType = 0;
  double txSize = 0.0;     // m
  double frequency = 0.0;  // Hz
  std::vector<KernelLayer> layers;  // the rows written: row 0 the thin top layer, then the section, then zeros
  std::vector<double> pulseMoments;  // A-ms
  // m: 100 depths, or one in the single-depth mode (where the file's other
  // depths are 0); a signal file read alone does not say its depth (NaN).
  std::vector<double> depths;
  std::vector<std::complex<double>> values;  // K, nV/m, [p * depths.size() + z]
  // From a signal file: the amplitude (nV/m, from the unrounded kernel) and
  // the phase (degrees) of each pulse moment; empty otherwise.
  std::vector<double> amplitudes;
  std::vector<double> phases;
  // The values came from the full-precision archive beside the matrix file
  // (NAME.npz), not from its truncated integers.
  bool fullPrecision = false;

  bool singleDepth() const { return depths.size() == 1; }
  std::complex<double> at(std::size_t p, std::size_t z) const { return values[p * depths.size() + z]; }
};

struct KernelReadResult {
  std::optional<KernelData> data;
  std::string message;  // when data is empty: what is wrong, with the file and the line
};

// The texts of a matrix file and of a signal file; `name` stands for the
// file in messages.
KernelReadResult ParseMatrixText(std::string_view text, const std::string& name);
KernelReadResult ParseSignalText(std::string_view text, const std::string& name);

// Reads a file: a name ending in "npz" as a kernel archive
// (kernel/kernel_archive.h), one ending in "dat" as a signal file, anything
// else as a matrix file, whose values come from the archive beside it
// (NAME.npz) when that holds the same kernel. A single-depth matrix file takes the amplitudes and phases of
// the signal file beside it when that reads and agrees (same pulse moments
// and values); a signal file alone gives the pulse moments and kernel
// without a header or a depth.
KernelReadResult ReadKernelFile(const std::string& path);

}  // namespace kvo::core
