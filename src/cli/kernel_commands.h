#pragma once
// The sub-commands of kvo-compute that work on a computed kernel.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "kernel/forward_model.h"

namespace kvo::cli {

// The arguments of forward as typed (empty: not given; the list options as
// often as given).
struct ForwardArguments {
  std::vector<std::string> files;
  std::vector<std::string> water;
  std::vector<std::string> t2;
  std::string times;
  std::string noise;
  std::string seed;
  std::string format;
};

// The same, checked.
struct ForwardRequest {
  std::string file;
  std::vector<core::WaterLayer> layers;  // with their T2* when --t2 is given
  bool haveTimes = false;
  double first = 0.0, last = 0.0;
  std::size_t count = 0;
  double noise = 0.0;
  std::uint64_t seed = 1;
  bool csv = false;
};

// Checks `args` into `request`; the message names the argument that is wrong.
std::optional<std::string> checkForwardArguments(const ForwardArguments& args, ForwardRequest& request);

// kvo-compute forward RESULT.mrm --water TOP:BOTTOM:CONTENT[,...] [--t2 T2[,...]]
//     [--times FIRST:LAST:COUNT] [--noise SIGMA_NV] [--seed N] [--format tsv|csv]
int forwardCommand(const ForwardRequest& request, std::ostream& out, std::ostream& err);

// The arguments of export as typed, and checked.
struct ExportArguments {
  std::vector<std::string> files;
  std::string format;
  std::string output;
};
struct ExportRequest {
  std::string archive;
  std::string output;
  bool mrsk = true;
};
std::optional<std::string> checkExportArguments(const ExportArguments& args, ExportRequest& request);

// kvo-compute export NAME.npz --format mrsk|csv [-o OUTPUT]
int exportCommand(const ExportRequest& request, std::ostream& out, std::ostream& err);

}  // namespace kvo::cli
