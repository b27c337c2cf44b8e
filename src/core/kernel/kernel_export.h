#pragma once
// Kernel archives (kernel_archive.h) in the formats of other tools:
//   Mrsk: a MATLAB v5 file holding the struct "kdata" with K (pulse moments
//         x layers, complex, V per unit water content of each layer),
//         model.z (the layers' lower boundaries, m) and measure.pm_vec (the
//         pulse moments, A s), the layout MATLAB inversion tools and
//         pyGIMLi's MRS.loadKernel read;
//   Csv:  a plain table: a header line, then one row per pulse moment: the
//         pulse moment (A s), then the real and imaginary parts of each
//         layer's kernel (V), the header naming each column with its layer.

#include <optional>
#include <string>

namespace kvo::core {

enum class KernelExportFormat { Mrsk, Csv };

// Reads the archive `archivePath` and writes `outPath` atomically; on
// failure returns the message (naming the file) and writes nothing.
std::optional<std::string> ExportKernelArchive(const std::string& archivePath, const std::string& outPath,
                                               KernelExportFormat format);

}  // namespace kvo::core
