#include "compute_commands.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <optional>
#include <ostream>

#include "cli.h"
#include "compute/compute_sounding.h"
#include "model/number_text.h"
#include "model/parameter_checks.h"
#include "model/parameter_file.h"
#include "runlist/run_list_walker.h"

namespace kvo::cli {
namespace {

// A one-line progress bar on standard error, redrawn as the bars move.
class TerminalProgress : public core::ComputeProgress {
 public:
  TerminalProgress(std::ostream& err, bool enabled, std::string label)
      : m_err(err), m_enabled(enabled), m_label(std::move(label)) {}
  ~TerminalProgress() override {
    if (m_enabled && m_drawn) m_err << "\r\033[K" << std::flush;
  }
  void fieldMaximum(int maximum) override { set(m_fieldMax, maximum); }
  void fieldPosition(int position) override { set(m_field, position); }
  void layerMaximum(int maximum) override { set(m_layerMax, maximum); }
  void layerPosition(int position) override { set(m_layer, position); }

 private:
  void set(int& slot, int value) {
    if (!m_enabled) return;
    const std::lock_guard lock(m_mutex);
    slot = value;
    auto percent = [](int position, int maximum) {
      return maximum > 0 ? std::min(100, 100 * position / maximum) : 0;
    };
    m_err << "\r" << m_label << "  EM field " << percent(m_field, m_fieldMax) << " %  integration "
          << percent(m_layer, m_layerMax) << " %\033[K" << std::flush;
    m_drawn = true;
  }

  std::ostream& m_err;
  bool m_enabled;
  std::string m_label;
  std::mutex m_mutex;
  bool m_drawn = false;
  int m_field = 0, m_fieldMax = 0, m_layer = 0, m_layerMax = 0;
};

bool stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

// A computation's options from the command's, in the current folder.
core::ComputeOptions computeOptions(const ComputeRequest& a, std::stop_token stop, core::ComputeProgress& progress) {
  core::ComputeOptions options;
  options.threads = a.threads;
  options.sampling = a.sampling;
  options.tolerance = a.tolerance;
  options.stop = stop;
  options.progress = &progress;
  options.workingFolder = std::filesystem::current_path().string();
  return options;
}

std::string seconds(std::chrono::steady_clock::duration d) {
  return core::formatFixed(std::chrono::duration<double>(d).count(), 0, 2) + " s";
}

// The kernel in short: for a few pulse moments, the largest amplitude over
// depth (nV, for a water content of one) and the depth where it lies.
void printKernelTable(const core::ComputeResult& r, std::ostream& out) {
  if (!r.kernel) return;
  out << "  pulse moment (A-ms)   largest amplitude (nV)   at depth (m)\n";
  for (std::size_t p = 0; p < core::kKernelMoments; p += 11) {
    double best = -1.0;
    std::size_t bestZ = 0;
    for (std::size_t z = 0; z < std::max<std::size_t>(r.depthCount, 1); ++z) {
      const double a = 10000.0 * std::hypot(r.kernel->re[p][z], r.kernel->im[p][z]);
      if (a > best) best = a, bestZ = z;
    }
    out << core::formatFixed(r.pulseMoments[p], 21, 1) << core::formatFixed(best, 25, 2)
        << core::formatFixed(r.depths[bestZ], 15, 2) << "\n";
  }
}

// The sampling line of the summary: the scheme, and for the converged one
// the tolerance asked for and the largest error estimate reached.
std::string describeSampling(const core::ComputeResult& r, double tolerance) {
  if (r.sampling == core::Sampling::Classic) {
    return r.samplingNote.empty() ? "Sampling: classic (no error estimate)"
                                  : "Sampling: classic (no error estimate; " + r.samplingNote + ")";
  }
  char text[160];
  std::snprintf(text, sizeof text, "Sampling: converged, tolerance %.3g, error estimate %.2g%s",
                tolerance, r.errorEstimate,
                r.errorEstimate > tolerance ? " (above the tolerance at the finest lattice)" : "");
  return text;
}

std::string describeFiles(const core::ComputeResult& r) {
  std::string files;
  for (const std::string& f : r.filesWritten) files += (files.empty() ? "" : ", ") + f;
  return files;
}

// Exit code and message of a computation's outcome.
int report(const core::ComputeResult& r, const std::string& file, std::ostream& err) {
  switch (r.status) {
    case core::ComputeStatus::Written: return kExitOk;
    case core::ComputeStatus::Stopped:
      err << "kvo-compute: " << file << ": stopped; no result file was written\n";
      return kExitFailed;
    case core::ComputeStatus::FieldFailed:
      err << "kvo-compute: " << file << ": the field computation failed (bad input geometry)"
          << (r.message.empty() ? "" : ": " + r.message) << "\n";
      return kExitFailed;
    case core::ComputeStatus::FileFailed:
      err << "kvo-compute: " << file << ": " << r.message << "\n";
      return kExitFailed;
    case core::ComputeStatus::BadInput:
      err << "kvo-compute: " << file << ": " << r.message << "\n";
      return kExitBadInput;
  }
  return kExitFailed;
}

}  // namespace

std::optional<std::string> checkComputeArguments(const ComputeArguments& a, ComputeRequest& request) {
  if (a.files.empty()) return std::string("no file given");
  if (a.files.size() > 1) return "more than one file given (\"" + a.files[0] + "\" and \"" + a.files[1] + "\")";
  request.file = a.files[0];
  if (!a.resultFile.empty()) request.resultFile = a.resultFile;
  if (!a.sampling.empty()) {
    const auto sampling = core::parseSampling(a.sampling);
    if (!sampling) return "--sampling: \"" + a.sampling + "\" is not a sampling (classic or converged)";
    request.sampling = *sampling;
  }
  if (!a.tolerance.empty()) {
    const auto t = core::parseFieldNumber(a.tolerance);
    if (!t || !core::validTolerance(*t)) {
      return "--tolerance: \"" + a.tolerance + "\" is not a tolerance (a number from 1e-6 to 0.1)";
    }
    request.tolerance = *t;
  }
  if (!a.threads.empty()) {
    const auto n = core::parseFieldNumber(a.threads);
    if (!n || *n < 0 || *n > 256 || *n != std::trunc(*n)) {
      return "--threads: \"" + a.threads + "\" is not a number of threads (0 to 256, 0 = all cores)";
    }
    request.threads = static_cast<int>(*n);
  }
  request.threadsGiven = !a.threads.empty();
  request.quiet = a.quiet;
  if (!a.shard.empty()) {
    std::string message;
    request.shard = core::parseShard(a.shard, message);
    if (!request.shard) return "--shard: " + message;
  }
  request.sbatch = a.sbatch;
  if (!a.shards.empty()) {
    const auto n = core::parseFieldNumber(a.shards);
    if (!n || *n < 1 || *n > kMaxArrayTasks || *n != std::trunc(*n)) {
      return "--shards: \"" + a.shards + "\" is not a number of array tasks (1 to " +
             std::to_string(kMaxArrayTasks) + ")";
    }
    request.shards = static_cast<int>(*n);
    if (!a.sbatch) return std::string("--shards is an option of --sbatch");
  }
  if (request.sbatch && request.shard) return std::string("--shard and --sbatch exclude each other");
  if (request.sbatch && request.threadsGiven && request.threads == 0) {
    return std::string("--threads: a batch script needs a number of threads from 1 (its cpus-per-task)");
  }
  return std::nullopt;
}

int computeCommand(const ComputeRequest& a, std::ostream& out, std::ostream& err, std::stop_token stop) {
  core::SoundingParameters params;
  if (const auto problem = core::readCheckedParameterFile(a.file, params)) {
    err << (problem->failedCheck ? a.file + ": " : std::string()) << problem->message << "\n";
    return kExitBadInput;
  }
  TerminalProgress progress(err, !a.quiet && stderrIsTerminal(), a.file);
  core::ComputeOptions options = computeOptions(a, stop, progress);
  options.resultFile = a.resultFile;
  const auto start = std::chrono::steady_clock::now();
  const core::ComputeResult result = core::ComputeSounding(a.file, params, options);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const int code = report(result, a.file, err);
  if (code == kExitOk) {
    out << "Computed " << a.file << " in " << seconds(elapsed) << ": wrote " << describeFiles(result) << "\n";
    out << describeSampling(result, a.tolerance) << "\n";
    if (!a.quiet) printKernelTable(result, out);
  }
  return code;
}

core::RunListFormat runListFormat(const std::string& file) {
  // User lists (*.mrl) have no run-list file name in their first line.
  return std::filesystem::path(file).extension() == ".mrl" ? core::RunListFormat::User
                                                           : core::RunListFormat::Working;
}

core::EntryStatus computeRunListEntry(const ComputeRequest& a, const std::string& file,
                                      const core::SoundingParameters& params, std::stop_token stop,
                                      std::ostream* out, std::ostream& err, std::string& message) {
  TerminalProgress progress(err, !a.quiet && stderrIsTerminal(), file);
  const core::ComputeOptions options = computeOptions(a, stop, progress);
  const auto start = std::chrono::steady_clock::now();
  const core::ComputeResult r = core::ComputeSounding(file, params, options);
  switch (r.status) {
    case core::ComputeStatus::Written:
      if (out) {
        *out << "  wrote " << describeFiles(r) << " in " << seconds(std::chrono::steady_clock::now() - start)
             << "\n";
      }
      return core::EntryStatus::Written;
    case core::ComputeStatus::Stopped: return core::EntryStatus::Stopped;
    case core::ComputeStatus::FieldFailed:
      message = "the field computation failed (bad input geometry)";
      return core::EntryStatus::Failed;
    default:
      message = r.message;
      return core::EntryStatus::Failed;
  }
}

namespace {

// A word for the shell in single quotes.
std::string shellQuoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string exactNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string absolute(const std::string& file) {
  std::error_code ec;
  const std::filesystem::path path = std::filesystem::absolute(file, ec);
  return ec ? file : path.lexically_normal().string();
}

// The program that runs now, for the batch script to run again.
std::string thisProgram() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("kvo-compute") : self.string();
}

int sbatchCommand(const ComputeRequest& a, std::ostream& out, std::ostream& err) {
  core::RunListSession session;
  if (auto error = session.open(a.file, runListFormat(a.file), core::samplingTag(a.sampling, a.tolerance))) {
    err << *error << "\n";
    return kExitBadInput;
  }
  int remaining = 0;
  for (int n = session.begin(); n <= session.total(); ++n) {
    if (!session.completedAsOpened(n)) ++remaining;
  }
  if (remaining == 0) {
    err << "kvo-compute run-list: " << a.file << ": every entry from the start entry on is completed; "
        << "no batch script is needed\n";
    return kExitOk;
  }
  out << slurmBatchScript(a, thisProgram(), remaining);
  return kExitOk;
}

}  // namespace

std::string slurmBatchScript(const ComputeRequest& a, const std::string& program, int remaining) {
  const int shards = a.shards > 0 ? a.shards : std::clamp(remaining, 1, kMaxArrayTasks);
  const int threads = a.threadsGiven ? a.threads : 1;
  const std::string list = absolute(a.file);
  const std::string name = std::filesystem::path(a.file).stem().string();
  std::string jobName = "kvo-" + name;
  for (char& c : jobName) {
    if (c == ' ' || c == '\t' || c == '"' || c == '\'') c = '_';
  }
  std::error_code ec;
  const std::string folder = std::filesystem::current_path(ec).string();
  std::string s;
  s += "#!/bin/bash\n";
  const std::string n = std::to_string(shards);
  s += "# A Slurm job array over the run list " + list + ",\n";
  s += "# " + std::to_string(remaining) + " entries not yet completed. Array task I of " + n +
       " computes entries I, I+" + n + ",\n";
  s += "# I+" + std::to_string(2 * shards) + ", ... and records each one it completes in the journal\n";
  s += "# " + list + ".journal.\n";
  s += "# A task that is stopped (scancel, the time limit) leaves no half-written\n";
  s += "# result file; submitting this script again computes only what is missing.\n";
  s += "#SBATCH --job-name=" + jobName + "\n";
  s += "#SBATCH --array=1-" + std::to_string(shards) + "\n";
  s += "#SBATCH --ntasks=1\n";
  s += "#SBATCH --cpus-per-task=" + std::to_string(threads) + "\n";
  s += "#SBATCH --chdir=" + folder + "\n";
  s += "#SBATCH --output=" + name + "-%A_%a.out\n";
  s += "\n";
  s += "exec " + shellQuoted(program) + " run-list " + shellQuoted(list) + " --shard \"${SLURM_ARRAY_TASK_ID}/" +
       std::to_string(shards) + "\" --threads " + std::to_string(threads) + " --sampling " +
       std::string(core::samplingName(a.sampling)) +
       (a.sampling == core::Sampling::Converged ? " --tolerance " + exactNumber(a.tolerance) : "") +
       " --quiet\n";
  return s;
}

int runListCommand(const ComputeRequest& a, std::ostream& out, std::ostream& err, std::stop_token stop) {
  if (a.sbatch) return sbatchCommand(a, out, err);
  int written = 0, before = 0, failed = 0;
  core::RunListWalk walk;
  walk.stop = stop;
  walk.settings = core::samplingTag(a.sampling, a.tolerance);
  if (a.shard) walk.shard = *a.shard;
  walk.entryStarted = [&](int number, int total, const std::string& file) {
    if (!a.quiet) out << "entry " << number << "/" << total << ": " << file << "\n" << std::flush;
  };
  walk.compute = [&](const std::string& file, const core::SoundingParameters& params, std::string& message) {
    return computeRunListEntry(a, file, params, stop, a.quiet ? nullptr : &out, err, message);
  };
  walk.entryDone = [&](const core::EntryOutcome& outcome) {
    switch (outcome.status) {
      case core::EntryStatus::Written: ++written; break;
      case core::EntryStatus::Completed:
        ++before;
        if (!a.quiet) out << "entry " << outcome.number << ": " << outcome.file << ": computed before, kept\n";
        break;
      case core::EntryStatus::Failed:
      case core::EntryStatus::Skipped:
        ++failed;
        out << std::flush;
        err << "entry " << outcome.number << " "
            << (outcome.status == core::EntryStatus::Failed ? "failed" : "skipped") << ": " << outcome.message
            << "\n"
            << std::flush;
        break;
      case core::EntryStatus::Stopped: break;
    }
  };
  const auto start = std::chrono::steady_clock::now();
  const core::RunListWalkResult result = core::walkRunList(a.file, runListFormat(a.file), walk);
  const std::string part = a.shard ? " shard " + std::to_string(a.shard->index) + "/" +
                                         std::to_string(a.shard->count)
                                   : std::string();
  switch (result.status) {
    case core::RunListWalkResult::Status::Completed:
      out << "Run list " << a.file << part << " completed (" << result.entries.size() << " entries): " << written
          << " computed, " << before << " computed before, " << failed << " failed, in "
          << seconds(std::chrono::steady_clock::now() - start) << "\n";
      return failed > 0 ? kExitFailed : kExitOk;
    case core::RunListWalkResult::Status::Stopped:
      err << "kvo-compute run-list: stopped; the list resumes at entry " << result.nextEntry << "\n";
      return kExitFailed;
    case core::RunListWalkResult::Status::AlreadyFulfilled:
      out << result.message << "\n";
      return kExitOk;
    case core::RunListWalkResult::Status::ListUnreadable:
      err << result.message << "\n";
      return kExitBadInput;
    case core::RunListWalkResult::Status::ListUnwritable:
      err << result.message << "\n";
      return kExitFailed;
  }
  return kExitFailed;
}

}  // namespace kvo::cli
