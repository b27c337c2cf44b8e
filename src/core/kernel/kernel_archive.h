#pragma once
// The full-precision kernel file ("NAME.npz" beside "NAME.mrm"), a NumPy
// archive that inversion tools read directly:
//   pulseMoments    (Q,)      pulse moments, A s
//   zVector         (L + 1,)  layer boundaries, m, from 0 down
//   kernel          (Q, L)    complex128: the signal, V, of each layer filled
//                             with water content 1, so that kernel @ w is the
//                             initial signal (V) of the water contents w
//   depths          (Z,)      the computation's depth nodes, m
//   kernelNodes     (Q, Z)    complex128: the kernel at the nodes, in the
//                             matrix file's unit before its x 10000 (times
//                             10000 it is nV per metre of pure water)
//   frequency, inclination, pulseDuration   scalars: Hz, degrees, s
//   layers          (N, 2)    the resistivity section's rows (the thin top
//                             layer first): bottom m, resistivity ohm-m
//   transmitterLoop, receiverLoop  (10,)  the loop records as computed
//   version         the program's version (a string)
// The layers of `kernel`: boundaries at 0, half way between successive
// depth nodes and at the deepest node; the kernel is linear between nodes
// and constant above the first (as in the forward rule, kernel/forward_model.h).
// In the single-depth mode (one node z) there is one layer, from z - 0.5 m
// to z + 0.5 m: its kernel is the node's kernel times 1 m.

#include <optional>
#include <string>

#include "compute/kernel_matrix.h"
#include "kernel/kernel_file.h"
#include "kernel/npz_archive.h"
#include "model/sounding_parameters.h"
#include "numerics/setup_tables.h"

namespace kvo::core {

struct KernelArchiveInput {
  const KernelMatrix* kernel = nullptr;  // the computation's own units
  const MomentGrid* pulseMoments = nullptr;  // A ms
  const DepthGrid* depths = nullptr;     // m
  std::size_t depthCount = 100;          // 100, or 1 in the single-depth mode
  const SoundingParameters* params = nullptr;
  const LayerArrays* layers = nullptr;
  std::string version;
};

// The archive's file name for a matrix file's: its last three characters
// replaced by "npz".
std::string KernelArchiveName(const std::string& matrixFile);

// The archive's arrays.
std::vector<NpzEntry> KernelArchiveEntries(const KernelArchiveInput& input);

// Writes the archive atomically; on failure returns the message.
std::optional<std::string> WriteKernelArchive(const std::string& path, const KernelArchiveInput& input);
// The archive's bytes, to be written with WriteNpzBytes (npz_archive.h); on
// failure returns why, without a file name.
std::optional<std::string> EncodeKernelArchive(const KernelArchiveInput& input, std::string& bytes);

// Reads an archive back as a kernel (values in nV/m, full precision).
KernelReadResult ReadKernelArchive(const std::string& path);

}  // namespace kvo::core
