#pragma once
// ComputeSounding: one complete forward computation of the kernel of a
// surface NMR sounding, from the sounding parameters to the result files.
//
// Phases, in this order:
//   1. unpacking: loops, series of 100 depths and 100 pulse moments, target,
//      frequency shift, topography, layers; wires and polar grids;
//   2. field phase: for every visited depth, the fields of the transmitter
//      (and of a separate receiver) on their polar grids;
//   3. kernel phase: for every visited depth, the response of the horizontal
//      plane to every visited pulse moment (compute/depth_kernel.h);
//   4. the entries not visited, along the pulse moments and then along the
//      depths (compute/kernel_interpolation.h);
//   5. the result files (compute/result_files.h): the signal file in the
//      single-depth mode, then the matrix file.
//
// Threads: the depths of phases 2 and 3 are independent and are shared out
// to a pool of workers, each with its own slice table, parabola tables and
// scratch; every depth writes only its own entries and is computed in the
// same order of operations whichever worker takes it, so the kernel is the
// same to the last bit for any number of threads.
//
// Stopping: the stop token is looked at before every depth of phases 2 and
// 3 and before the files are written; a stopped computation writes nothing.
// Result files are written through a temporary file renamed over the
// target, so a failed, stopped or interrupted computation leaves the
// previous result files as they were.

#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "compute/kernel_matrix.h"
#include "compute/sampling.h"
#include "model/sounding_parameters.h"
#include "numerics/layered_field.h"
#include "numerics/setup_tables.h"

namespace kvo::core {

enum class ComputeStatus {
  Written,      // the result files were written
  FieldFailed,  // the field component failed; nothing was written
  Stopped,      // stopped on request; nothing was written
  FileFailed,   // a result file could not be written (the message says which)
  BadInput,     // the parameters cannot be computed; nothing was written
};

// Progress of the two bars of the progress window: PBField (field phase)
// and PBLayer (kernel phase). A computation first sets each bar's position
// to 0 and its maximum, then raises the position by one per depth (by two
// per depth for the field bar with a separate receiver: once per loop).
// Positions may go beyond the maximum by one (the last depth is visited
// beside the stepped ones). Calls come from the worker threads, one at a
// time, positions in increasing order.
class ComputeProgress {
 public:
  virtual ~ComputeProgress() = default;
  virtual void fieldMaximum(int /*maximum*/) {}
  virtual void fieldPosition(int /*position*/) {}
  virtual void layerMaximum(int /*maximum*/) {}
  virtual void layerPosition(int /*position*/) {}
};

struct ComputeOptions {
  Sampling sampling = Sampling::Converged;
  double tolerance = kDefaultTolerance;   // converged: relative to each depth's largest |K|
  // Converged: false puts the classic Bloch-Siegert term w^2/w0 in place of
  // the physical w^2/(4 w0), to measure what the term changes.
  bool physicalBlochSiegert = true;
  int threads = 0;                        // workers; 0 = one per core
  std::stop_token stop;                   // honoured between depths
  ComputeProgress* progress = nullptr;    // may be null
  std::string workingFolder = ".";        // folder of the component's scratch file
  std::optional<std::string> resultFile;  // used instead of the file name when set
  FieldEntryPoint fieldEntry = nullptr;   // null: the layered-earth component
};

struct ComputeResult {
  ComputeStatus status = ComputeStatus::BadInput;
  // Empty when Written; for FileFailed it starts with "Could not write signal
  // file on the disk" or "Could not write matrix file on the disk" (the
  // matrix file's when both failed).
  std::string message;
  std::string matrixFile;  // the result files' names (signal: single-depth mode only)
  std::string signalFile;
  std::vector<std::string> filesWritten;
  // The kernel and its series, once computed (Written and FileFailed).
  std::unique_ptr<KernelMatrix> kernel;
  DepthGrid depths{};
  MomentGrid pulseMoments{};
  std::size_t depthCount = 0;  // 100, or 1 in the single-depth mode
  // The sampling used: the converged one falls back to the classic one for
  // what it does not handle yet (sloping ground, a single depth within the
  // wires' top layer), and `samplingNote` then says why.
  Sampling sampling = Sampling::Classic;
  std::string samplingNote;
  // Converged: the largest error estimate over the depths (relative to each
  // depth's largest |K|); 0 for the classic scheme.
  double errorEstimate = 0.0;

  bool written() const { return status == ComputeStatus::Written; }
};

// Computes the kernel of `params` and writes the result files under
// `fileName` (or options.resultFile) with its last three characters
// replaced by "mrm" (matrix file) and "dat" (signal file).
ComputeResult ComputeSounding(const std::string& fileName, const SoundingParameters& params,
                              const ComputeOptions& options = {});

}  // namespace kvo::core
