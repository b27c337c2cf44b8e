#include "compute/compute_sounding.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <future>
#include <mutex>
#include <system_error>
#include <thread>

#include "compute/depth_fields.h"
#include "compute/converged_kernel.h"
#include "kernel/kernel_archive.h"
#include "kernel/npz_archive.h"
#include "compute/depth_kernel.h"
#include "compute/kernel_interpolation.h"
#include "compute/result_files.h"
#include "compute/sounding_setup.h"
#include "model/parameter_file.h"

namespace kvo::core {
namespace {

enum class RunOutcome { Completed, Failed, Stopped };

struct RunResult {
  RunOutcome outcome = RunOutcome::Completed;
  std::string message;  // of an exception that ended a worker
};

int workerCount(int requested, std::size_t items) {
  int n = requested > 0 ? requested : static_cast<int>(std::thread::hardware_concurrency());
  n = std::max(n, 1);
  return static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(n), std::max<std::size_t>(items, 1)));
}

// Runs work(state, i) for i = 0..count-1, each worker with its own state from
// makeState(); workers take the next index as they become free. work returns
// false on failure, which ends the run; the stop token is looked at before
// every item.
template <class MakeState, class Work>
RunResult runItems(std::size_t count, int threads, const std::stop_token& stop,
                   MakeState makeState, Work work) {
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::atomic<bool> stopped{false};
  std::mutex messageMutex;
  std::string message;
  const auto loop = [&] {
    try {
      auto state = makeState();
      while (!failed.load() && !stopped.load()) {
        if (stop.stop_requested()) {
          stopped = true;
          return;
        }
        const std::size_t i = next.fetch_add(1);
        if (i >= count) return;
        if (!work(*state, i)) failed = true;
      }
    } catch (const std::exception& e) {
      const std::lock_guard lock(messageMutex);
      message = e.what();
      failed = true;
    }
  };
  const int workers = workerCount(threads, count);
  {
    std::vector<std::jthread> pool;
    for (int k = 1; k < workers; ++k) pool.emplace_back(loop);
    loop();
  }
  RunResult result;
  result.outcome = failed ? RunOutcome::Failed : (stopped ? RunOutcome::Stopped : RunOutcome::Completed);
  result.message = message;
  return result;
}

// Serialises the progress calls of the workers.
class ProgressCounter {
 public:
  ProgressCounter(ComputeProgress* sink, bool field) : m_sink(sink), m_field(field) {}

  void start(int maximum) {
    if (m_sink == nullptr) return;
    if (m_field) {
      m_sink->fieldPosition(0);
      m_sink->fieldMaximum(maximum);
    } else {
      m_sink->layerPosition(0);
      m_sink->layerMaximum(maximum);
    }
  }

  void step() {
    if (m_sink == nullptr) return;
    const std::lock_guard lock(m_mutex);
    ++m_position;
    if (m_field) {
      m_sink->fieldPosition(m_position);
    } else {
      m_sink->layerPosition(m_position);
    }
  }

 private:
  ComputeProgress* m_sink;
  bool m_field;
  std::mutex m_mutex;
  int m_position = 0;
};

// The maximum of the bars: the number of stepped depths, or the width of
// the target's depth window.
int barMaximum(const SoundingSetup& setup) {
  if (setup.targetCount == 0) {
    return static_cast<int>(setup.depthCount) / setup.depthStep;
  }
  if (setup.depthCount == 1) return 1;
  return static_cast<int>(setup.windowLast) - static_cast<int>(setup.windowFirst);
}

ComputeResult stoppedResult(ComputeResult result) {
  result.status = ComputeStatus::Stopped;
  result.message = "Computing has been stopped by User";
  return result;
}

ComputeResult failedResult(ComputeResult result, const std::string& message) {
  result.status = ComputeStatus::FieldFailed;
  result.message = message.empty() ? "The field computation failed: no result file was written"
                                   : "The computation failed: " + message;
  return result;
}

}  // namespace

ComputeResult ComputeSounding(const std::string& fileName, const SoundingParameters& params,
                              const ComputeOptions& options) {
  ComputeResult result;
  const std::string base = options.resultFile.value_or(fileName);
  if (base.empty()) {
    result.message = "No result file name was given";
    return result;
  }
  const auto setup = std::make_unique<SoundingSetup>();
  if (auto message = BuildSoundingSetup(params, *setup)) {
    result.message = *message;
    return result;
  }
  result.depths = setup->grids.depths;
  result.pulseMoments = setup->grids.pulseMoments;
  result.depthCount = setup->depthCount;
  result.matrixFile = withLastThreeReplaced(base, "mrm");
  if (setup->depthCount == 1) result.signalFile = withLastThreeReplaced(base, "dat");

  const FieldComponent component{options.fieldEntry, options.workingFolder};
  result.sampling = options.sampling;
  if (options.sampling == Sampling::Converged) {
    if (auto why = ConvergedSupport(*setup)) {
      result.sampling = Sampling::Classic;
      result.samplingNote = *why;
    }
  }
  if (result.sampling == Sampling::Converged) {
    if (!validTolerance(options.tolerance)) {
      result.message = "The tolerance must lie between 1e-6 and 0.1";
      return result;
    }
    // Every depth and pulse moment is computed.
    setup->depthStep = 1;
    setup->pulseStep = 1;
    setup->depths = VisitedIndices(1, setup->depthCount);
    setup->pulses = VisitedIndices(1, kGridPoints);
  }
  const std::vector<std::size_t>& depths = setup->depths;
  std::vector<DepthKernel> columns(depths.size());

  if (result.sampling == Sampling::Converged) {
    ProgressCounter fieldBar(options.progress, true);
    ProgressCounter layerBar(options.progress, false);
    fieldBar.start(barMaximum(*setup));
    layerBar.start(barMaximum(*setup));
    ResponseTable table(*setup, LargestDrive(*setup), options.physicalBlochSiegert);
    const RunResult rows = runItems(
        kGridPoints, options.threads, options.stop, [] { return std::make_unique<int>(0); },
        [&](int&, std::size_t p) {
          table.fillRow(*setup, p);
          return true;
        });
    if (rows.outcome == RunOutcome::Stopped) return stoppedResult(std::move(result));
    std::vector<double> estimates(depths.size(), 0.0);
    ConvergedShared shared;
    const RunResult run = runItems(
        depths.size(), options.threads, options.stop,
        [&] { return std::make_unique<ConvergedKernelWorker>(*setup, component, table, options.tolerance, shared); },
        [&](ConvergedKernelWorker& worker, std::size_t i) {
          const std::size_t z = depths[i];
          if (!setup->inDepthWindow(z)) return true;
          ConvergedDepth d;
          if (worker.compute(z, d) != 0) return false;
          columns[i] = d.kernel;
          estimates[i] = d.errorEstimate;
          fieldBar.step();
          layerBar.step();
          return true;
        });
    if (run.outcome == RunOutcome::Stopped) return stoppedResult(std::move(result));
    if (run.outcome == RunOutcome::Failed) return failedResult(std::move(result), run.message);
    for (const double e : estimates) result.errorEstimate = std::max(result.errorEstimate, e);
  } else {
    // Field phase.
    ProgressCounter fieldBar(options.progress, true);
    fieldBar.start(barMaximum(*setup) * (setup->separateReceiver ? 2 : 1));
    std::vector<DepthField> fields(depths.size());
    const RunResult fieldRun = runItems(
        depths.size(), options.threads, options.stop,
        [&] { return std::make_unique<DepthFieldWorker>(*setup, component); },
        [&](DepthFieldWorker& worker, std::size_t i) {
          const std::size_t z = depths[i];
          if (!setup->inDepthWindow(z)) return true;
          // A depth whose kernel is zero needs no field.
          if (setup->depthFlag(z) != 0 && worker.compute(z, fields[i]) != 0) return false;
          fieldBar.step();
          if (setup->separateReceiver) fieldBar.step();
          return true;
        });
    if (fieldRun.outcome == RunOutcome::Stopped) return stoppedResult(std::move(result));
    if (fieldRun.outcome == RunOutcome::Failed) return failedResult(std::move(result), fieldRun.message);

    // Kernel phase.
    ProgressCounter layerBar(options.progress, false);
    layerBar.start(barMaximum(*setup));
    const RunResult kernelRun = runItems(
        depths.size(), options.threads, options.stop,
        [&] { return std::make_unique<DepthKernelWorker>(*setup); },
        [&](DepthKernelWorker& worker, std::size_t i) {
          const std::size_t z = depths[i];
          columns[i] = worker.compute(z, fields[i]);
          fields[i] = DepthField{};
          if (setup->inDepthWindow(z)) layerBar.step();
          return true;
        });
    if (kernelRun.outcome == RunOutcome::Stopped) return stoppedResult(std::move(result));
    if (kernelRun.outcome == RunOutcome::Failed) return failedResult(std::move(result), kernelRun.message);
  }

  // The kernel, and the entries between the visited ones.
  result.kernel = std::make_unique<KernelMatrix>();
  KernelMatrix& kernel = *result.kernel;
  for (std::size_t i = 0; i < depths.size(); ++i) {
    for (std::size_t p = 0; p < kKernelMoments; ++p) {
      kernel.re[p][depths[i]] = columns[i].re[p];
      kernel.im[p][depths[i]] = columns[i].im[p];
    }
  }
  // (The converged scheme computes every entry.)
  const bool classic = result.sampling == Sampling::Classic;
  if (classic) {
    InterpolateAlongMoments(kernel, setup->grids.pulseMoments, setup->pulses, setup->pulseStep, depths);
  }
  if (classic && setup->depthCount != 1) {
    InterpolateAlongDepths(kernel, setup->grids.depths, depths, setup->depthStep, setup->depthCount);
  }

  if (options.stop.stop_requested()) return stoppedResult(std::move(result));

  // Result files: the signal file first (single-depth mode), then the
  // matrix file, also when the signal file failed.
  result.status = ComputeStatus::Written;
  if (setup->depthCount == 1) {
    if (auto error = writeSignalFile(result.signalFile, kernel, setup->grids.pulseMoments)) {
      result.status = ComputeStatus::FileFailed;
      result.message = *error;
    } else {
      result.filesWritten.push_back(result.signalFile);
    }
  }
  MatrixFileHeader header;
  header.inclination = setup->grids.inclination;
  header.txType = setup->tx.type;
  header.txSize = setup->tx.size;
  header.frequency = setup->grids.larmorFrequency;
  header.layers = setup->layers;
  // The full-precision kernel beside the matrix file: the archive (its
  // depth integrals, the deflate) is made while the matrix file is
  // written, and written after it.
  const std::string archive = KernelArchiveName(result.matrixFile);
  KernelArchiveInput input;
  input.kernel = &kernel;
  input.pulseMoments = &setup->grids.pulseMoments;
  input.depths = &setup->grids.depths;
  input.depthCount = setup->depthCount;
  input.params = &params;
  input.layers = &setup->layers;
  input.version = KVO_VERSION;
  std::string archiveBytes;
  const auto encode = [&] { return EncodeKernelArchive(input, archiveBytes); };
  std::future<std::optional<std::string>> encoded;
  try {
    encoded = std::async(options.threads == 1 ? std::launch::deferred : std::launch::async, encode);
  } catch (const std::system_error&) {
    encoded = std::async(std::launch::deferred, encode);  // no thread to be had: after the matrix file
  }
  if (auto error = writeMatrixFile(result.matrixFile, header, kernel, setup->grids.pulseMoments,
                                   setup->grids.depths)) {
    result.status = ComputeStatus::FileFailed;
    result.message = *error;
    return result;
  }
  result.filesWritten.push_back(result.matrixFile);
  std::optional<std::string> error;
  if (auto why = encoded.get()) {
    error = NpzWriteMessage(archive, *why);
  } else {
    error = WriteNpzBytes(archive, archiveBytes);
  }
  if (error) {
    result.status = ComputeStatus::FileFailed;
    result.message = *error;
  } else {
    result.filesWritten.push_back(archive);
  }
  return result;
}

}  // namespace kvo::core
