#pragma once
// The computing sub-commands of kvo-compute: one parameter file, or a run list.

#include <iosfwd>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "compute/sampling.h"
#include "model/sounding_parameters.h"
#include "runlist/run_list_walker.h"

namespace kvo::cli {

// The arguments of a computation as typed (empty: not given).
struct ComputeArguments {
  std::vector<std::string> files;
  std::string resultFile;  // -o
  std::string sampling;
  std::string tolerance;
  std::string threads;
  bool quiet = false;
  // run-list only
  std::string shard;   // I/N
  bool sbatch = false;
  std::string shards;  // of --sbatch
};

// The same, checked.
struct ComputeRequest {
  std::string file;
  std::optional<std::string> resultFile;
  int threads = 0;  // 0: all cores
  bool quiet = false;
  core::Sampling sampling = core::Sampling::Converged;
  double tolerance = core::kDefaultTolerance;
  bool threadsGiven = false;
  std::optional<core::Shard> shard;
  bool sbatch = false;
  int shards = 0;  // 0: one per entry not yet completed, at most kMaxArrayTasks
};

// The most tasks --sbatch puts in one job array (Slurm's default
// MaxArraySize of 1001 allows indices up to 1000).
inline constexpr int kMaxArrayTasks = 1000;

// Checks `a` into `request`; the message names the argument that is wrong.
std::optional<std::string> checkComputeArguments(const ComputeArguments& a, ComputeRequest& request);

// kvo-compute FILE.nmc [-o RESULT.mrm] [--sampling S] [--tolerance T] [--threads N] [--quiet]
int computeCommand(const ComputeRequest& a, std::ostream& out, std::ostream& err, std::stop_token stop);

// kvo-compute run-list FILE [--sampling S] [--tolerance T] [--threads N] [--quiet]
//   [--shard I/N | --sbatch [--shards N]]
int runListCommand(const ComputeRequest& a, std::ostream& out, std::ostream& err, std::stop_token stop);

// The format of a run-list file by its name: *.mrl is a user list, anything
// else the working file.
core::RunListFormat runListFormat(const std::string& file);

// Computes one run-list entry as the run-list command does (its result files
// beside the parameter file); the message says why it failed. With `out`,
// names the files written and the time.
core::EntryStatus computeRunListEntry(const ComputeRequest& a, const std::string& file,
                                      const core::SoundingParameters& params, std::stop_token stop,
                                      std::ostream* out, std::ostream& err, std::string& message);

// The Slurm batch script of a job array over the list `a.file`.
std::string slurmBatchScript(const ComputeRequest& a, const std::string& program, int remaining);

}  // namespace kvo::cli
