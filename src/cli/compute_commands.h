#pragma once
// The computing sub-commands of kvo-compute: one parameter file, or a run list.

#include <iosfwd>
#include <stop_token>
#include <string>
#include <vector>

namespace kvo::cli {

// kvo-compute FILE.nmc [-o RESULT.mrm] [--threads N] [--quiet]
int computeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   std::stop_token stop);

// kvo-compute run-list FILE [--threads N] [--quiet]
int runListCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   std::stop_token stop);

}  // namespace kvo::cli
