#pragma once
// The computing sub-commands of kvo-compute: one parameter file, or a run list.

#include <iosfwd>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "compute/sampling.h"

namespace kvo::cli {

// The arguments of a computation as typed (empty: not given).
struct ComputeArguments {
  std::vector<std::string> files;
  std::string resultFile;  // -o
  std::string sampling;
  std::string tolerance;
  std::string threads;
  bool quiet = false;
};

// The same, checked.
struct ComputeRequest {
  std::string file;
  std::optional<std::string> resultFile;
  int threads = 0;  // 0: all cores
  bool quiet = false;
  core::Sampling sampling = core::Sampling::Converged;
  double tolerance = core::kDefaultTolerance;
};

// Checks `a` into `request`; the message names the argument that is wrong.
std::optional<std::string> checkComputeArguments(const ComputeArguments& a, ComputeRequest& request);

// kvo-compute FILE.nmc [-o RESULT.mrm] [--sampling S] [--tolerance T] [--threads N] [--quiet]
int computeCommand(const ComputeRequest& a, std::ostream& out, std::ostream& err, std::stop_token stop);

// kvo-compute run-list FILE [--sampling S] [--tolerance T] [--threads N] [--quiet]
int runListCommand(const ComputeRequest& a, std::ostream& out, std::ostream& err, std::stop_token stop);

}  // namespace kvo::cli
