#pragma once
// The sub-commands of kvo-compute that work on a computed kernel.

#include <iosfwd>
#include <string>
#include <vector>

namespace kvo::cli {

// kvo-compute forward RESULT.mrm --water TOP:BOTTOM:CONTENT[,...] [--t2 T2[,...]]
//     [--times FIRST:LAST:COUNT] [--noise SIGMA_NV] [--seed N] [--format tsv|csv]
int forwardCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kvo::cli
