#pragma once
// kvo-compute field: the magnetic field of a loop's wire over a layered
// earth at points read from standard input.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace kvo::cli {

// The arguments of field as typed (empty: not given; --layers as often as given).
struct FieldArguments {
  std::string frequency;
  std::vector<std::string> layers;
  std::string loop;
};

// The same, checked.
struct FieldRequest {
  double frequency = 0.0;
  std::vector<double> bottoms;
  std::vector<double> resistivities;
  int type = 0;
  double size = 0.0;
  double separation = 0.0;
};

// Checks `args` into `request`; the message names the option that is wrong.
std::optional<std::string> checkFieldArguments(const FieldArguments& args, FieldRequest& request);

// kvo-compute field --frequency HZ --layers BOTTOM:RES[,...] --loop TYPE:SIZE[:SEPARATION]
int fieldCommand(const FieldRequest& request, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace kvo::cli
